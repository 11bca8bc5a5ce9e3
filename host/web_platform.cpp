// The platform of the browser build: the page's canvas as the window, a
// WebGL 1 context under Emscripten's OpenGL emulation, the page's keyboard,
// mouse, touch, focus and visibility events through <emscripten/html5.h>,
// the browser's gamepads, localStorage for the state text and the page's own
// clock. The page (host/web/index.html) lays the canvas out; this file reads
// its size.
//
// Events reach the host as the browser dispatches them, which is always
// between two animation frames, so between two passes of the loop as on the
// desktop. Focus and visibility changes also run a pass at once: a hidden
// page gets no animation frames, and the game must suspend (and save) before
// the tab may be closed.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "host/game.h"

namespace {

// The element every canvas call names.
const char kCanvas[] = "#canvas";

// The browser's name for the standard gamepad layout.
const char kStandardMapping[] = "standard";

// Buttons of the standard layout that the GLFW gamepad layout has too, in
// GLFW's order (A B X Y LB RB BACK START GUIDE LEFT_THUMB RIGHT_THUMB UP
// RIGHT DOWN LEFT); the standard layout's triggers are buttons 6 and 7.
constexpr int kStandardButtons[15] = {0, 1, 2, 3, 4, 5, 8, 9, 16, 10, 11, 12, 15, 13, 14};
constexpr int kStandardLeftTrigger = 6;
constexpr int kStandardRightTrigger = 7;
constexpr int kStandardAxes = 4;

// GLFW 3 key numbers of the keys the runtime translates, by the DOM's
// physical key name (KeyboardEvent.code), so that the browser gives the same
// runtime key codes as the desktop's GLFW for the same key.
struct DomKey {
  const char* code;
  int glfw;
};
constexpr DomKey kDomKeys[] = {
    {"Space", 32},        {"Quote", 39},      {"Comma", 44},        {"Minus", 45},       {"Period", 46},
    {"Slash", 47},        {"Semicolon", 59},  {"Equal", 61},        {"BracketLeft", 91}, {"Backslash", 92},
    {"BracketRight", 93}, {"Backquote", 96},  {"Escape", 256},      {"Enter", 257},      {"Tab", 258},
    {"Backspace", 259},   {"Insert", 260},    {"Delete", 261},      {"ArrowRight", 262}, {"ArrowLeft", 263},
    {"ArrowDown", 264},   {"ArrowUp", 265},   {"PageUp", 266},      {"PageDown", 267},   {"Home", 268},
    {"End", 269},         {"ShiftLeft", 340}, {"ControlLeft", 341}, {"ShiftRight", 344}, {"ControlRight", 345},
};
constexpr int kGlfwF1 = 290;
constexpr int kFunctionKeys = 12;
constexpr int kGlfwKeyCount = 349;
// F9 and F10 are the game's; the other function keys keep the browser's
// meaning (reload, full screen, developer tools).
constexpr int kGameF9 = kGlfwF1 + 8;
constexpr int kGameF10 = kGlfwF1 + 9;

// GLFW key number for a DOM key name; 0 for a key the runtime ignores.
int glfwKeyOf(const char* code) {
  if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && code[4] == '\0') return code[3];
  if (std::strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9' && code[6] == '\0') return code[5];
  if (code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
    int n = std::atoi(code + 1);
    if (n >= 1 && n <= kFunctionKeys) return kGlfwF1 + n - 1;
  }
  for (const DomKey& key : kDomKeys)
    if (std::strcmp(key.code, code) == 0) return key.glfw;
  return 0;
}

// The one code point of a UTF-8 text, or -1 when it has more or none (a
// key's name such as "Enter", "Dead" or "Shift").
int singleCodePoint(const char* text) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  int length = s[0] < 0x80 ? 1 : s[0] >= 0xF0 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC0 ? 2 : 0;
  if (s[0] == 0 || length == 0) return -1;
  int cp = length == 1 ? s[0] : s[0] & (0x3F >> (length - 1));
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (s[i] & 0x3F);
  }
  return s[length] == 0 ? cp : -1;
}

// JavaScript halves of the calls below.

// Creates the WebGL 1 context on the page's canvas through Emscripten's
// browser layer, which also starts its OpenGL emulation on it. The
// attributes are the desktop window's: no alpha, depth or stencil buffer,
// no antialiasing.
EM_JS(int, webCreateContext, (), {
  var attributes = {antialias : false, alpha : false, depth : false, stencil : false, majorVersion : 1};
  return Browser.createContext(Module["canvas"], true, true, attributes) ? 1 : 0;
});

EM_JS(void, webCountFrame, (), { window["quilletFrames"] = (window["quilletFrames"] || 0) + 1; });

EM_JS(void, webSetCursor, (int visible), { Module["canvas"].style.cursor = visible ? "" : "none"; });

EM_JS(int, webScreenWidth, (), { return Math.round(screen.width * (window.devicePixelRatio || 1)); });
EM_JS(int, webScreenHeight, (), { return Math.round(screen.height * (window.devicePixelRatio || 1)); });

EM_JS(int, webPageHidden, (), { return document.hidden ? 1 : 0; });

// localStorage is synchronous: once setItem returns, the text is the
// browser's, even if the tab closes right after. A refusal (storage full,
// storage switched off) is said once on the console.
EM_JS(int, webStoreState, (const char* text), {
  try {
    localStorage.setItem(".dovelstate", UTF8ToString(text));
    return 0;
  } catch (e) {
    if (!Module["quilletStorageRefused"]) {
      Module["quilletStorageRefused"] = true;
      console.warn("The game state could not be kept in the browser's storage: " + e);
    }
    return -1;
  }
});

// The page's clipboard takes text only while the page has the focus; a
// refusal changes nothing for the game.
EM_JS(void, webSetClipboard, (const char* text), {
  if (navigator.clipboard) navigator.clipboard.writeText(UTF8ToString(text)).catch(function(){});
});

// The stored text as malloc'd UTF-8 (the caller frees it); null when none.
EM_JS(char*, webLoadState, (), {
  var text = null;
  try {
    text = localStorage.getItem(".dovelstate");
  } catch (e) {
    console.warn("The game state could not be read from the browser's storage: " + e);
  }
  if (text == null) return 0;
  var size = lengthBytesUTF8(text) + 1;
  var p = _malloc(size);
  stringToUTF8(text, p, size);
  return p;
});

EM_JS(void, webOpenUrl, (const char* url), { window.open(UTF8ToString(url), "_blank", "noopener"); });

// The autoplay rule keeps the page's audio context suspended until the
// player's first key, click or touch; Emscripten's OpenAL resumes it then.
EM_JS(int, webSoundRunning, (),
      { return typeof AL != "undefined" && AL.currentCtx && AL.currentCtx.audioCtx.state == "running" ? 1 : 0; });

class WebPlatform : public VoPlatform {
 public:
  WebPlatform() { std::fill(std::begin(fingers_), std::end(fingers_), kNoFinger); }

  // The page has one canvas and one context for its whole life; a second
  // open keeps them (only the held keys are let go, as on the desktop).
  bool OpenWindow(int, int, int, int, int, int, int, int, bool) override {
    releaseKeys();
    if (open_) return true;
    if (!webCreateContext()) {
      voPrint(String("WebGL is not available in this browser"));
      return false;
    }
    open_ = true;
    start_ = emscripten_get_now();
    hidden_ = webPageHidden() != 0;
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(window, this, true, onKey);
    emscripten_set_keyup_callback(window, this, true, onKey);
    emscripten_set_mousedown_callback(kCanvas, this, true, onMouse);
    emscripten_set_mouseup_callback(kCanvas, this, true, onMouse);
    emscripten_set_mousemove_callback(kCanvas, this, true, onMouse);
    emscripten_set_touchstart_callback(kCanvas, this, true, onTouch);
    emscripten_set_touchend_callback(kCanvas, this, true, onTouch);
    emscripten_set_touchmove_callback(kCanvas, this, true, onTouch);
    emscripten_set_touchcancel_callback(kCanvas, this, true, onTouch);
    // Not captured: the window's own focus changes only, not those of the
    // elements in the page (focus and blur do not bubble).
    emscripten_set_focus_callback(window, this, false, onFocus);
    emscripten_set_blur_callback(window, this, false, onFocus);
    emscripten_set_visibilitychange_callback(this, true, onVisibility);
    return true;
  }

  bool WindowOpen() override { return open_; }
  bool HasContext() override { return open_; }

  // The browser shows the frame when the animation frame returns.
  void SwapBuffers() override { webCountFrame(); }

  void FramebufferSize(int* width, int* height) override {
    *width = 0;
    *height = 0;
    if (open_) emscripten_get_canvas_element_size(kCanvas, width, height);
  }

  void SetCursorVisible(bool visible) override { webSetCursor(visible); }

  VoDisplayMode DesktopMode() override { return {webScreenWidth(), webScreenHeight(), 8, 8, 8}; }
  std::vector<VoDisplayMode> DisplayModes() override { return {DesktopMode()}; }

  double Time() override { return (emscripten_get_now() - start_) / 1000.0; }

  // Gamepads are sampled once a pass; the other events have arrived already.
  void PollEvents() override { gamepadsSampled_ = emscripten_sample_gamepad_data() == EMSCRIPTEN_RESULT_SUCCESS; }

  // The page never blocks: the next pass is the next animation frame.
  void Wait(const VoNextPass&) override {}

  bool Iconified() override { return hidden_; }
  bool Active() override { return focused_; }

  bool ReadJoystick(int port, VoJoystickState* state) override {
    EmscriptenGamepadEvent pad;
    if (!readPad(port, &pad)) return false;
    if (std::strcmp(pad.mapping, kStandardMapping) == 0) {
      state->gamepad = true;
      for (int i = 0; i < kStandardAxes; ++i) state->padAxes[i] = i < pad.numAxes ? float(pad.axis[i]) : 0.0f;
      // The gamepad layout's triggers rest at -1 and reach 1 fully pressed.
      state->padAxes[4] = float(buttonValue(pad, kStandardLeftTrigger) * 2 - 1);
      state->padAxes[5] = float(buttonValue(pad, kStandardRightTrigger) * 2 - 1);
      for (int i = 0; i < 15; ++i) state->padButtons[i] = buttonPressed(pad, kStandardButtons[i]);
      return true;
    }
    state->axisCount = pad.numAxes;
    for (int i = 0; i < pad.numAxes && i < 6; ++i) state->axes[i] = float(pad.axis[i]);
    state->buttonCount = std::min(pad.numButtons, 32);
    for (int i = 0; i < state->buttonCount; ++i) state->buttons[i] = buttonPressed(pad, i);
    return true;
  }

  // The browser has no GUIDs and no hats (a d-pad is buttons 12 to 15 of
  // the standard layout) and maps devices itself, so no mapping line applies.
  bool DescribeJoystick(int port, VoJoystickInfo* info) override {
    EmscriptenGamepadEvent pad;
    if (!readPad(port, &pad)) return false;
    info->name = pad.id;
    info->guid.clear();
    info->mapping = pad.mapping;
    info->mappingLinesApply = false;
    info->axisCount = std::min(pad.numAxes, VoJoystickInfo::MaxAxes);
    for (int i = 0; i < info->axisCount; ++i) info->axes[i] = float(pad.axis[i]);
    info->buttonCount = std::min(pad.numButtons, VoJoystickInfo::MaxButtons);
    for (int i = 0; i < info->buttonCount; ++i) {
      info->buttons[i] = pad.digitalButton[i] != 0;
      info->buttonValues[i] = float(pad.analogButton[i]);
    }
    info->hatCount = 0;
    return ReadJoystick(port, &info->state);
  }

  bool AddGamepadMappings(const std::string&) override { return false; }

  int SaveState(String state) override { return webStoreState(state.ToUtf8().c_str()); }

  String LoadState() override {
    char* text = webLoadState();
    if (!text) return String();
    String state = String::Load(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
    std::free(text);
    return state;
  }

  void OpenUrl(String url) override { webOpenUrl(url.ToUtf8().c_str()); }

  bool SoundAllowed() override { return webSoundRunning() != 0; }

  void SetClipboard(const std::string& text) override { webSetClipboard(text.c_str()); }

 private:
  static VoGlfwGame* host() { return VoGlfwGame::_glfwGame; }

  // A focus or visibility change takes effect at once: suspending saves the
  // game, and a hidden page may get no further animation frame.
  static void passNow() {
    if (host()) host()->RunPass();
  }

  bool readPad(int port, EmscriptenGamepadEvent* pad) {
    if (!gamepadsSampled_ || port < 0 || port >= emscripten_get_num_gamepads()) return false;
    return emscripten_get_gamepad_status(port, pad) == EMSCRIPTEN_RESULT_SUCCESS && pad->connected;
  }
  static bool buttonPressed(const EmscriptenGamepadEvent& pad, int i) {
    return i < pad.numButtons && pad.digitalButton[i] != 0;
  }
  static double buttonValue(const EmscriptenGamepadEvent& pad, int i) {
    return i < pad.numButtons ? pad.analogButton[i] : 0.0;
  }

  // Canvas pixels per CSS pixel: positions come in CSS pixels, the game
  // draws in the canvas's own (device) pixels.
  void scale(float* sx, float* sy) {
    double cssWidth = 0, cssHeight = 0;
    int width = 0, height = 0;
    emscripten_get_element_css_size(kCanvas, &cssWidth, &cssHeight);
    emscripten_get_canvas_element_size(kCanvas, &width, &height);
    *sx = cssWidth > 0 ? float(width / cssWidth) : 1.0f;
    *sy = cssHeight > 0 ? float(height / cssHeight) : 1.0f;
  }

  // Lets go of every held key, as the desktop's window system does when the
  // window loses the focus: the page gets no key-up for a key released
  // elsewhere.
  void releaseKeys() {
    for (int key = 0; key < kGlfwKeyCount; ++key) {
      if (!held_[key]) continue;
      held_[key] = false;
      VoGlfwGame::OnKey(key, 0);
    }
  }

  // Keys go through the desktop's own translation (VoGlfwGame::OnKey), so
  // the codes are the same. The character a key types comes from the
  // event's key text, as the desktop's character callback gives it. The
  // browser's own action for a game key (scrolling for arrows and Space,
  // going back for Backspace) is suppressed; shortcuts with Control or Meta
  // and the function keys other than F9 and F10 stay the browser's.
  static EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void* data) {
    auto* self = static_cast<WebPlatform*>(data);
    const bool shortcut = e->ctrlKey || e->metaKey;
    const int key = glfwKeyOf(e->code);
    if (type == EMSCRIPTEN_EVENT_KEYUP) {
      if (key == 0 || !self->held_[key]) return EM_FALSE;
      self->held_[key] = false;
      VoGlfwGame::OnKey(key, 0);
      return EM_TRUE;
    }
    if (key != 0) {
      VoGlfwGame::OnKey(key, self->held_[key] ? 2 : 1);
      self->held_[key] = true;
    }
    // Control with Alt is AltGr on many layouts, which types characters.
    const int chr = singleCodePoint(e->key);
    if (chr >= 0 && (!shortcut || e->altKey)) VoGlfwGame::OnChar(chr, 1);
    const bool browserKey = key >= kGlfwF1 && key < kGlfwF1 + kFunctionKeys && key != kGameF9 && key != kGameF10;
    return key != 0 && !shortcut && !browserKey;
  }

  // DOM buttons are 0 left, 1 middle, 2 right; the runtime's 0 left,
  // 1 right, 2 middle, as GLFW numbers them.
  static EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void* data) {
    auto* self = static_cast<WebPlatform*>(data);
    VoGlfwGame* game = host();
    if (!game) return EM_FALSE;
    float sx, sy;
    self->scale(&sx, &sy);
    const float x = float(int(float(e->targetX) * sx));
    const float y = float(int(float(e->targetY) * sy));
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
      VoGlfwGame::OnMousePos(int(x), int(y));
      return EM_FALSE;
    }
    static constexpr int kRuntimeButton[3] = {0, 2, 1};
    if (e->button > 2) return EM_FALSE;
    const int event = type == EMSCRIPTEN_EVENT_MOUSEDOWN ? VoGameEvent::MouseDown : VoGameEvent::MouseUp;
    game->MouseEvent(event, kRuntimeButton[e->button], x, y);
    return EM_TRUE;
  }

  // Each finger keeps the lowest free index from touch start to end, as
  // the runtime's touch numbers expect. Handled touches are not turned into
  // mouse events by the browser, and do not scroll or zoom the page.
  static EM_BOOL onTouch(int type, const EmscriptenTouchEvent* e, void* data) {
    auto* self = static_cast<WebPlatform*>(data);
    VoGlfwGame* game = host();
    if (!game) return EM_FALSE;
    float sx, sy;
    self->scale(&sx, &sy);
    for (int i = 0; i < e->numTouches; ++i) {
      const EmscriptenTouchPoint& t = e->touches[i];
      if (!t.isChanged) continue;
      const float x = float(t.targetX) * sx;
      const float y = float(t.targetY) * sy;
      int finger = self->fingerOf(t.identifier);
      if (type == EMSCRIPTEN_EVENT_TOUCHSTART) {
        if (finger < 0) finger = self->claimFinger(t.identifier);
        if (finger >= 0) game->TouchEvent(VoGameEvent::TouchDown, finger, x, y);
      } else if (type == EMSCRIPTEN_EVENT_TOUCHMOVE) {
        if (finger >= 0) game->TouchEvent(VoGameEvent::TouchMove, finger, x, y);
      } else if (finger >= 0) {
        self->fingers_[finger] = kNoFinger;
        game->TouchEvent(VoGameEvent::TouchUp, finger, x, y);
      }
    }
    return EM_TRUE;
  }

  static EM_BOOL onFocus(int type, const EmscriptenFocusEvent*, void* data) {
    auto* self = static_cast<WebPlatform*>(data);
    self->focused_ = type == EMSCRIPTEN_EVENT_FOCUS;
    if (!self->focused_) self->releaseKeys();
    passNow();
    return EM_FALSE;
  }

  static EM_BOOL onVisibility(int, const EmscriptenVisibilityChangeEvent* e, void* data) {
    static_cast<WebPlatform*>(data)->hidden_ = e->hidden != 0;
    passNow();
    return EM_FALSE;
  }

  int fingerOf(long identifier) const {
    for (int i = 0; i < kFingers; ++i)
      if (fingers_[i] == identifier) return i;
    return -1;
  }
  int claimFinger(long identifier) {
    for (int i = 0; i < kFingers; ++i) {
      if (fingers_[i] != kNoFinger) continue;
      fingers_[i] = identifier;
      return i;
    }
    return -1;
  }

  // The runtime's touch indices (the input device keeps 32).
  static constexpr int kFingers = 32;
  static constexpr long kNoFinger = -1;

  bool open_ = false;
  double start_ = 0;
  // A page starts with the focus; the window's blur and focus events say
  // when that changes.
  bool focused_ = true;
  bool hidden_ = false;
  bool gamepadsSampled_ = false;
  std::bitset<kGlfwKeyCount> held_;
  long fingers_[kFingers];
};

WebPlatform webPlatform;

}  // namespace

VoPlatform* VoDefaultPlatform() { return &webPlatform; }
