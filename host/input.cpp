// Input translation: GLFW key codes to the runtime's key codes (the Windows
// virtual-key numbering), keys to the characters they type, window callbacks
// to game events, and joystick device state to the input device's arrays.
// Nothing here calls GLFW, so all of it is tested without a window.
#include "host/game.h"

namespace {

// GLFW 3 key codes of the keys outside the letter, digit and F-key runs.
struct KeyPair {
  int glfw;
  int code;
};
constexpr KeyPair kKeys[] = {
    {32, 32},   // space
    {39, 222},  // apostrophe (and quote)
    {44, 188},  // comma
    {45, 189},  // minus
    {46, 190},  // period
    {47, 191},  // slash
    {59, 186},  // semicolon
    {61, 187},  // equal
    {91, 219},  // left bracket
    {92, 220},  // backslash
    {93, 221},  // right bracket
    {96, 192},  // grave accent (and tilde)
    {256, 27},  // escape
    {257, 13},  // enter
    {258, 9},   // tab
    {259, 8},   // backspace
    {260, 45},  // insert
    {261, 46},  // delete
    {262, 39},  // right
    {263, 37},  // left
    {264, 40},  // down
    {265, 38},  // up
    {266, 33},  // page up
    {267, 34},  // page down
    {268, 36},  // home
    {269, 35},  // end
    {340, 16},  // left shift
    {341, 17},  // left control
    {344, 16},  // right shift
    {345, 17},  // right control
};
constexpr int kGlfwF1 = 290;

// GLFW 3 gamepad layout indices.
enum PadButton {
  kPadA,
  kPadB,
  kPadX,
  kPadY,
  kPadLB,
  kPadRB,
  kPadBack,
  kPadStart,
  kPadGuide,
  kPadLeftThumb,
  kPadRightThumb,
  kPadUp,
  kPadRight,
  kPadDown,
  kPadLeft
};
enum PadAxis { kPadLeftX, kPadLeftY, kPadRightX, kPadRightY, kPadLeftTrigger, kPadRightTrigger };

// The game's button number for each gamepad button it knows (-1: none).
constexpr int kPadToGame[15] = {0, 1, 2, 3, 4, 5, 6, 7, -1, -1, -1, 9, 10, 11, 8};

// Stores v at index i when the array reaches that far.
template <class T>
void put(Array<T> array, int i, T v) {
  if (i < array.Length()) array[i] = v;
}

// The six axes p0..p5 of a device without a gamepad mapping, rearranged by
// axis count as the input device expects them.
void rawAxes(const VoJoystickState& state, float p[6]) {
  int n = state.axisCount;
  for (int i = 0; i < 6; ++i) p[i] = i < n ? state.axes[i] : 0.0f;
  if (n == 4) {
    // A four-axis pad has its right stick in axes 2 and 3.
    p[4] = p[2];
    p[2] = 0;
  } else if (n == 5) {
    float t = p[3];
    p[3] = p[4];
    p[4] = t;
  }
}

}  // namespace

int VoGlfwGame::TransKey(int key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return key;
  if (key >= kGlfwF1 && key < kGlfwF1 + 12) return 112 + (key - kGlfwF1);
  for (const KeyPair& pair : kKeys)
    if (pair.glfw == key) return pair.code;
  return 0;
}

int VoGlfwGame::KeyToChar(int key) {
  switch (key) {
    case 8:
    case 9:
    case 13:
    case 27:
      return key;
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 39:
    case 40:
    case 45:
      return key | 0x10000;
    case 46:
      return 127;
    default:
      return 0;
  }
}

// Action 0 is a release; 1 a press and 2 (GLFW 3's key repeat) a repeated
// press, which sends the same pair again.
void VoGlfwGame::OnKey(int key, int action) {
  int code = TransKey(key);
  if (code == 0 || !_game) return;
  if (action == 0) {
    _game->KeyEvent(VoGameEvent::KeyUp, code);
    return;
  }
  _game->KeyEvent(VoGameEvent::KeyDown, code);
  if (int chr = KeyToChar(code)) _game->KeyEvent(VoGameEvent::KeyChar, chr);
}

// Characters are UTF-16 units for the language: a code point beyond the
// 16-bit range goes out as its surrogate pair, so it can never be mistaken
// for the navigation keys' codes above 0x10000.
void VoGlfwGame::OnChar(int chr, int action) {
  if (action != 1 || !_game || chr < 0 || chr > 0x10FFFF) return;
  if (chr < 0x10000) {
    _game->KeyEvent(VoGameEvent::KeyChar, chr);
    return;
  }
  chr -= 0x10000;
  _game->KeyEvent(VoGameEvent::KeyChar, 0xD800 + (chr >> 10));
  _game->KeyEvent(VoGameEvent::KeyChar, 0xDC00 + (chr & 0x3FF));
}

void VoGlfwGame::OnMousePos(int x, int y) {
  if (!_game) return;
  _game->MouseEvent(VoGameEvent::MouseMove, -1, static_cast<float>(x), static_cast<float>(y));
}

// The close button never closes the window by itself: the application sees
// KEY_CLOSE and decides. Returns 0: the close is refused.
int VoGlfwGame::OnWindowClose() {
  if (_game) {
    _game->KeyEvent(VoGameEvent::KeyDown, KEY_CLOSE);
    _game->KeyEvent(VoGameEvent::KeyUp, KEY_CLOSE);
  }
  return 0;
}

int VoGamepadButtonToGame(int padButton) { return padButton >= 0 && padButton < 15 ? kPadToGame[padButton] : -1; }

void VoMapJoystick(const VoJoystickState& state, Array<float> joyx, Array<float> joyy, Array<float> joyz,
                   Array<bool> buttons) {
  float p[6];
  if (state.gamepad) {
    const float* a = state.padAxes;
    // Triggers rest at -1 and reach 1 fully pressed; the game wants 0 to 1.
    float axes[6] = {a[kPadLeftX],  a[kPadLeftY],  (a[kPadLeftTrigger] + 1) * 0.5f,
                     a[kPadRightX], a[kPadRightY], (a[kPadRightTrigger] + 1) * 0.5f};
    for (int i = 0; i < 6; ++i) p[i] = axes[i];
    for (int i = 0; i < 32; ++i) put(buttons, i, false);
    for (int b = 0; b < 15; ++b)
      if (kPadToGame[b] >= 0) put(buttons, kPadToGame[b], state.padButtons[b]);
  } else {
    rawAxes(state, p);
    for (int i = 0; i < state.buttonCount && i < 32; ++i) put(buttons, i, state.buttons[i]);
  }
  // The window system reports down as positive; the game wants up positive.
  put(joyx, 0, p[0]);
  put(joyy, 0, -p[1]);
  put(joyz, 0, p[2]);
  put(joyx, 1, p[3]);
  put(joyy, 1, -p[4]);
  put(joyz, 1, p[5]);
}
