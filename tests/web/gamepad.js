// A scripted gamepad with the "standard" mapping in place of the browser's:
// a page script (run before the page's own) replaces navigator.getGamepads and
// gives the test window.testPad to plug the pad in and out and to hold its
// buttons. The events carry the pad as real ones do.
'use strict';

function installTestPad() {
  let pad = null;
  const STANDARD_BUTTONS = 17;
  const STANDARD_AXES = 4;
  navigator.getGamepads = () => [pad, null, null, null];
  const announce = (type, gamepad) => {
    const event = new Event(type);
    Object.defineProperty(event, 'gamepad', { value: gamepad });
    window.dispatchEvent(event);
  };
  window.testPad = {
    connect(id) {
      pad = {
        id,
        index: 0,
        connected: true,
        mapping: 'standard',
        timestamp: performance.now(),
        axes: new Array(STANDARD_AXES).fill(0),
        buttons: Array.from({ length: STANDARD_BUTTONS }, () => ({ pressed: false, touched: false, value: 0 })),
      };
      announce('gamepadconnected', pad);
    },
    disconnect() {
      const gone = pad;
      pad = null;
      gone.connected = false;
      announce('gamepaddisconnected', gone);
    },
    hold(button, down) {
      pad.buttons[button] = { pressed: down, touched: down, value: down ? 1 : 0 };
      pad.timestamp = performance.now();
    },
  };
}

// Standard-mapping button numbers.
const PAD = { A: 0, START: 9, UP: 12, DOWN: 13, LEFT: 14, RIGHT: 15 };

module.exports = { installTestPad, PAD };
