// Debian's chromium, headless, driven by playwright-core, against the web
// build served on the loopback interface. Chromium's own background services
// are switched off: the machine has no network beyond loopback, and their
// connection attempts would otherwise fail noisily or delay start-up. Each
// launch gets a fresh profile folder from playwright (its --user-data-dir).
'use strict';
const path = require('path');
const { chromium } = require('playwright-core');
const { serve } = require('./server');

const CHROMIUM = process.env.QUILLET_CHROMIUM || '/usr/bin/chromium';
const WEB_BUILD = path.resolve(process.env.QUILLET_WEB_BUILD || path.join(__dirname, '../../build-web'));

// Starts the server and a browser with a fresh profile; close() ends both.
async function start(extraArgs = []) {
  const { server, url } = await serve(WEB_BUILD);
  const browser = await chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      ...extraArgs,
    ],
  });
  return {
    browser,
    url,
    async close() {
      await browser.close();
      server.close();
    },
  };
}

// A page of its own context (so storage starts empty) that keeps every
// console line in `lines`.
async function openPage(browser, url, contextOptions = {}) {
  const context = await browser.newContext({ viewport: { width: 640, height: 480 }, ...contextOptions });
  const page = await context.newPage();
  page.lines = [];
  page.on('console', (msg) => page.lines.push(msg.text()));
  page.on('pageerror', (err) => page.lines.push(`pageerror: ${err.message}`));
  if (url) await page.goto(url);
  return page;
}

module.exports = { start, openPage, WEB_BUILD };
