// Debian's chromium, headless, driven by playwright-core, against the web
// build served on the loopback interface. Chromium's own background services
// are switched off: the machine has no network beyond loopback, and their
// connection attempts would otherwise fail noisily or delay start-up. Each
// launch gets a fresh profile folder from playwright (its --user-data-dir).
'use strict';
const path = require('path');
const { chromium } = require('playwright-core');
const { serve } = require('../../scripts/web-server');

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



const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until the game has drawn its first frame; fails at once on an error
// the page shows instead.
async function firstFrame(page) {
  await page.waitForFunction(
    () => (window.quilletFrames || 0) > 0 || document.getElementById('error')?.textContent,
    null,
    { polling: 10, timeout: 60000 },
  );
  const error = await page.evaluate(() => document.getElementById('error')?.textContent);
  if (error) throw new Error(`the page failed before its first frame: ${error}`);
}

// A key or the left mouse button is held long enough for an update to see it
// on a slow software renderer, then left as long, as the native session does.
const HOLD_MS = 400;
async function key(page, name) {
  await page.keyboard.down(name);
  await sleep(HOLD_MS);
  await page.keyboard.up(name);
  await sleep(HOLD_MS);
}

// Design coordinates (640 x 480 at scale 1) to the page's.
async function onCanvas(page, x, y) {
  const box = await page.locator('#canvas').boundingBox();
  return { x: box.x + x, y: box.y + y };
}

async function click(page, x, y, holdMs = HOLD_MS) {
  const at = await onCanvas(page, x, y);
  await page.mouse.move(at.x, at.y);
  await page.mouse.down();
  await sleep(holdMs);
  await page.mouse.up();
  await sleep(holdMs);
}

// The state text as the page keeps it.
const stored = (page) => page.evaluate(() => localStorage.getItem('.dovelstate'));

// Waits at most `seconds` for the stored state to become `text`; the text it has then.
async function storedBecomes(page, text, seconds = 30) {
  for (let waited = 0; waited < seconds * 1000 && (await stored(page)) !== text; waited += 200) await sleep(200);
  return stored(page);
}

module.exports = { start, openPage, WEB_BUILD, sleep, firstFrame, key, click, onCanvas, stored, storedBecomes };
