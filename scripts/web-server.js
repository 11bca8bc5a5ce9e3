// A static file server for the web build, on the loopback interface only. It
// sends plain files with their content type and nothing else (no caching or
// isolation headers), so what works here works on any static host.
//
//   node web-server.js FOLDER [PORT]  serves FOLDER (port 0 or none: any
//                                     free port) and prints its address
//   require('./web-server').serve(FOLDER, PORT) -> Promise of { server, url }
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.png': 'image/png',
  '.css': 'text/css; charset=utf-8',
};

function serve(folder, port = 0) {
  const root = path.resolve(folder);
  const server = http.createServer((req, res) => {
    let urlPath;
    try {
      urlPath = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
    } catch {
      res.writeHead(400).end();
      return;
    }
    let file = path.join(root, path.normalize(urlPath));
    // A path that climbs out of the folder, or that no file system takes, is refused.
    if ((file !== root && !file.startsWith(root + path.sep)) || file.includes('\0')) {
      res.writeHead(403).end();
      return;
    }
    if (urlPath.endsWith('/')) file = path.join(file, 'index.html');
    fs.readFile(file, (err, body) => {
      if (err) {
        res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Content-Length': body.length,
      });
      res.end(body);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

module.exports = { serve };

if (require.main === module) {
  const [folder, port] = process.argv.slice(2);
  if (!folder || !fs.existsSync(path.join(folder, 'index.html'))) {
    console.error(`web-server.js: no index.html in ${folder || '(no folder given)'}; build it with make web`);
    process.exit(2);
  }
  serve(folder, Number(port || 0)).then(({ url }) => console.log(`Serving ${path.resolve(folder)} at ${url}`));
}
