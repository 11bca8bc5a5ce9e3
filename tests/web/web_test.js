// The web build in headless chromium, each case a fault that only a browser
// shows: drawing through WebGL, the page's storage, its visibility, browser
// gamepads and touches, the page's own key actions, and errors on the page.
'use strict';
const { after, before, test } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('child_process');
const path = require('path');
const { start, openPage, sleep, firstFrame, key, click, onCanvas, stored, storedBecomes } = require('./browser');
const { installTestPad, PAD } = require('./gamepad');
const { decode, shareOff } = require('./pixels');

const NATIVE_BUILD = path.resolve(process.env.QUILLET_NATIVE_BUILD || path.join(__dirname, '../../build'));
const SCREENS = path.join(NATIVE_BUILD, 'screens');
// The loading screen, then the title menu's slide-in.
const TITLE_MS = 1500;
// Both title shots are taken this long after the first frame; the title's
// rays turn meanwhile, which the tolerance below leaves room for.
const SHOT_SECONDS = 2;
const MAX_SHARE_OFF = 0.03;
const LEVELS = 8;
const PLUS = [512, 240];

const zeros = (n) => '0|'.repeat(n);
// Settings with sound mode `sound` and the pad floors: checksum 5·sound + 10·64 + 11·64 + 12·10.
const settings = (sound, checksum) => `0|0|0|0|0|${sound}|0|0|0|0|64|64|10|${zeros(12)}${checksum}|`;
const NO_BADGES = zeros(9);
const NO_SCORES = zeros(21);
// One game of `score` in mode m (0-based) as best and last: checksum 4·score + (m + 3)·score.
const oneGame = (score, checksum) => `${score}|${score}|${zeros(18)}${checksum}|`;

// The native session's game: sound 2 (checksum 1474) and 80 in mode 3 (4·80 + 5·80 = 720).
const SESSION_STATE = settings(2, 1474) + NO_BADGES + NO_SCORES + NO_SCORES + oneGame(80, 720);
// Sound 2 and no game finished.
const SOUND_2_STATE = settings(2, 1474) + NO_BADGES + NO_SCORES + NO_SCORES + NO_SCORES;
// Default sound 1 (5 + 640 + 704 + 120 = 1469); 50 in mode 3 (4·50 + 5·50 = 450).
const PAD_STATE = settings(1, 1469) + NO_BADGES + NO_SCORES + NO_SCORES + oneGame(50, 450);
// 80 in mode 2 (4·80 + 4·80 = 640).
const TAP_STATE = settings(1, 1469) + NO_BADGES + NO_SCORES + oneGame(80, 640) + NO_SCORES;

const LOADED = ['Settings Loaded', 'Badges Loaded', 'Highscore 0 Loaded', 'Highscore 1 Loaded', 'Highscore 2 Loaded'];
const loadLines = (page) => page.lines.filter((line) => /^(Settings|Badges|Highscore \d) /.test(line));

let web;
before(async () => {
  web = await start();
});
after(() => web.close());

async function title(contextOptions) {
  const page = await openPage(web.browser, web.url, contextOptions);
  await firstFrame(page);
  await sleep(TITLE_MS);
  return page;
}

// Pauses the game, picks quit and waits for the game-over panel to save.
async function quit(page, expected) {
  for (const name of ['Escape', 'ArrowLeft', 'z']) await key(page, name);
  return storedBecomes(page, expected);
}

// Makes the page hidden as switching tabs does (headless chromium never hides
// a page itself) and returns the stored state as it is right after the event:
// a hidden page gets no animation frames, so the save must not wait for one.
const hide = (page) =>
  page.evaluate(() => {
    Object.defineProperty(document, 'visibilityState', { value: 'hidden', configurable: true });
    Object.defineProperty(document, 'hidden', { value: true, configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
    return localStorage.getItem('.dovelstate');
  });

test('the title menu matches the native one: no drawing call renders differently in WebGL', async () => {
  const native = path.join(SCREENS, 'web-title-menu-native.png');
  execFileSync('bash', [path.join(__dirname, 'native-shot.sh'), NATIVE_BUILD, String(SHOT_SECONDS), native]);
  const page = await openPage(web.browser, web.url);
  await firstFrame(page);
  await sleep(SHOT_SECONDS * 1000);
  const shot = path.join(SCREENS, 'web-title-menu.png');
  await page.locator('#canvas').screenshot({ path: shot });
  const off = shareOff(decode(shot), decode(native), LEVELS);
  console.log(`title menu: ${(off * 100).toFixed(2)}% of pixels off by more than ${LEVELS} levels (${shot}, ${native})`);
  assert.ok(off <= MAX_SHARE_OFF, `${(off * 100).toFixed(2)}% of pixels differ`);
  await page.context().close();
});

test('a played session stores the desktop state text, and a reload loads all five sections', async () => {
  const page = await title();
  await key(page, 'ArrowDown');
  await key(page, 'z');
  await sleep(300);
  for (let i = 0; i < 3; ++i) await click(page, ...PLUS); // 50 -> 80
  for (const name of ['Escape', 'ArrowRight', 'z', 'ArrowDown', 'z']) await key(page, name); // sound 1 -> 2, resume
  await sleep(800);
  assert.equal(await quit(page, SESSION_STATE), SESSION_STATE);
  page.lines.length = 0;
  await page.reload();
  await firstFrame(page);
  assert.deepEqual(loadLines(page), LOADED);
  await page.context().close();
});

test('hiding the page saves at once, and a reload right after keeps the change', async () => {
  const page = await title();
  await key(page, 'z');
  for (const name of ['Escape', 'ArrowRight', 'z', 'ArrowDown', 'z']) await key(page, name); // sound 1 -> 2, resume
  assert.equal(await hide(page), SOUND_2_STATE);
  await page.reload();
  await firstFrame(page);
  // The reloaded game holds sound 2 and saves it again when hidden.
  assert.equal(await hide(page), SOUND_2_STATE);
  await page.context().close();
});

test('a standard browser gamepad drives the game controls, and the panel shows its browser id', async () => {
  const context = await web.browser.newContext({ viewport: { width: 640, height: 480 } });
  await context.addInitScript(installTestPad);
  const page = await context.newPage();
  page.lines = [];
  page.on('console', (msg) => page.lines.push(msg.text()));
  await page.goto(web.url);
  await firstFrame(page);
  await sleep(TITLE_MS);
  await page.evaluate(() => window.testPad.connect('Quillet Test Pad A (STANDARD GAMEPAD)'));
  const press = async (button) => {
    await page.evaluate((b) => window.testPad.hold(b, true), button);
    await sleep(400);
    await page.evaluate((b) => window.testPad.hold(b, false), button);
    await sleep(400);
  };
  // Down to mode 3, start; then Start pauses, left picks quit and A quits.
  for (const button of [PAD.DOWN, PAD.A]) await press(button);
  await sleep(300);
  for (const button of [PAD.START, PAD.LEFT, PAD.A]) await press(button);
  assert.equal(await storedBecomes(page, PAD_STATE), PAD_STATE);
  assert.ok(
    page.lines.some((line) => line.startsWith('Joystick 1 connected: Quillet Test Pad A')),
    page.lines.join('\n'),
  );

  // Port 1's block of the panel with the pad, then with a pad that differs
  // in its id alone: only drawn id text can tell them apart.
  await key(page, 'F9');
  const block = { ...(await onCanvas(page, 2, 18)), width: 316, height: 228 };
  const before = decode(await page.screenshot({ clip: block }));
  await page.evaluate(() => {
    window.testPad.disconnect();
    window.testPad.connect('Quillet Test Pad B (STANDARD GAMEPAD)');
  });
  await sleep(500);
  const afterSwap = decode(await page.screenshot({ clip: block }));
  assert.ok(shareOff(before, afterSwap, LEVELS) > 0, 'the panel looks the same for another pad id');
  await context.close();
});

test('a tap on plus is one press: it raises the sprite count by ten', async () => {
  const page = await title({ hasTouch: true });
  await key(page, 'z');
  await sleep(300);
  const cdp = await page.context().newCDPSession(page);
  const at = await onCanvas(page, ...PLUS);
  for (let i = 0; i < 3; ++i) {
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [at] });
    await sleep(100);
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    await sleep(400);
  }
  assert.equal(await quit(page, TAP_STATE), TAP_STATE);
  await page.context().close();
});

test('arrow keys and Space do not scroll the page', async () => {
  const page = await title();
  // Room to scroll both ways, whatever the page's own layout allows.
  await page.evaluate(() => {
    for (const element of [document.documentElement, document.body]) {
      element.style.overflow = 'visible';
      element.style.height = 'auto';
    }
    const room = document.createElement('div');
    room.style.cssText = 'width: 4000px; height: 4000px';
    document.body.appendChild(room);
    window.scrollTo(0, 0);
  });
  for (const name of ['ArrowDown', 'ArrowRight', 'Space', 'ArrowUp', 'ArrowLeft']) {
    await page.keyboard.press(name);
    await sleep(300);
    assert.deepEqual(await page.evaluate(() => [window.scrollX, window.scrollY]), [0, 0], `${name} scrolled`);
  }
  await page.context().close();
});

test('a runtime error is shown on the page and printed', async () => {
  const page = await title();
  const message = 'forced by the browser test';
  await page
    .evaluate((text) => window.Module.ccall('quillet_error', null, ['string'], [text]), message)
    .catch(() => {}); // the error may end the call with an exception
  const line = `Dovel Runtime Error : ${message}`;
  await page.waitForFunction((text) => document.getElementById('error')?.textContent.includes(text), line);
  assert.ok(page.lines.includes(line), page.lines.join('\n'));
  await page.context().close();
});
