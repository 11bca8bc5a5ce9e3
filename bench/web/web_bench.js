// The web build's speed in headless chromium (SwiftShader's WebGL), printed
// as one line:
//   web_play_fps=… web_floor_fps=… web_draws_per_frame=… web_sprites=…
//   web_title_ms=… web_gzip_kib=…
//
// play   the page playing game mode 1 at 2,480 sprites (reached as a player
//        does: Up, Z, then the plus button), frames counted by the page
// floor  the draws of one recorded play frame drawn by plain WebGL (floor.js)
// title  navigation start to the first title-menu frame on the page's clock
// gzip   the four files of the folder, each gzipped at level 9, summed
//
// Chromium ties animation frames to a 60 Hz clock; both pages run with that
// limit lifted (--disable-frame-rate-limit --disable-gpu-vsync), so each draws
// as fast as SwiftShader lets it.
//   node web_bench.js [WEB_BUILD] [SECONDS]
// With QUILLET_BENCH_SHOTS set to a folder it also writes web-play.png and
// web-floor.png there, to check by eye that the floor draws the play frame.
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

if (process.argv[2]) process.env.QUILLET_WEB_BUILD = path.resolve(process.argv[2]);
const { start, openPage, sleep, firstFrame, key, click, stored, WEB_BUILD } = require('../../tests/web/browser');
const { installRecorder } = require('./record');
const { runFloor } = require('./floor');

const SECONDS = Number(process.argv[3] || 10);
const FILES = ['index.html', 'quillet.js', 'quillet.wasm', 'quillet.data'];
// 50 sprites at the start, ten more per press of plus, 2,480 at most.
const PLUS_PRESSES = (2480 - 50) / 10;
const PRESS_MS = 50;
// The best score of mode 1 is the 36th field of the state text.
const MODE_1_BEST = 35;

// Frames the page draws in `seconds`, on its own clock.
const pageFps = (page, seconds) =>
  page.evaluate(async (ms) => {
    const f0 = window.quilletFrames;
    const t0 = performance.now();
    await new Promise((resolve) => setTimeout(resolve, ms));
    return ((window.quilletFrames - f0) * 1000) / (performance.now() - t0);
  }, seconds * 1000);

async function main() {
  const gzipBytes = FILES.reduce(
    (sum, file) => sum + zlib.gzipSync(fs.readFileSync(path.join(WEB_BUILD, file)), { level: 9 }).length,
    0,
  );
  const web = await start(['--disable-frame-rate-limit', '--disable-gpu-vsync']);
  try {
    const page = await openPage(web.browser, null);
    await page.context().addInitScript(installRecorder);
    await page.goto(web.url);
    await firstFrame(page);
    await page.waitForFunction(() => window.quilletBench.titleMs !== null, null, { timeout: 60000 });
    const titleMs = await page.evaluate(() => window.quilletBench.titleMs);

    await key(page, 'ArrowUp');
    await key(page, 'z');
    await sleep(300);
    for (let i = 0; i < PLUS_PRESSES; ++i) await click(page, 512, 240, PRESS_MS);
    await sleep(1000);
    const playFps = await pageFps(page, SECONDS);
    const record = await page.evaluate(() => window.quilletBench.recordFrame());
    const shots = process.env.QUILLET_BENCH_SHOTS;
    if (shots) await page.screenshot({ path: path.join(shots, 'web-play.png') });
    // Quitting enters the sprite count as mode 1's best score.
    for (const name of ['Escape', 'ArrowLeft', 'z']) await key(page, name);
    let sprites = '';
    for (let i = 0; i < 150 && !sprites; ++i, await sleep(200)) sprites = ((await stored(page)) || '').split('|')[MODE_1_BEST];
    await page.context().close();

    const floorPage = await openPage(web.browser, null);
    await floorPage.setContent('<body style="margin:0"><canvas id="floor"></canvas></body>');
    const floor = await floorPage.evaluate(runFloor, { record, seconds: SECONDS });
    if (shots) await floorPage.screenshot({ path: path.join(shots, 'web-floor.png') });
    await floorPage.context().close();
    console.log(
      `web_play_fps=${playFps.toFixed(2)} web_floor_fps=${floor.fps.toFixed(2)} web_draws_per_frame=${floor.draws}` +
        ` web_sprites=${sprites || '?'} web_title_ms=${titleMs.toFixed(1)} web_gzip_kib=${(gzipBytes / 1024).toFixed(1)}`,
    );
  } finally {
    await web.close();
  }
}

main().catch((err) => {
  console.error(`web_bench: ${err.stack || err}`);
  process.exit(1);
});
