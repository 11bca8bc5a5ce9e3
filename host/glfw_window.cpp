// Everything of the desktop host that talks to GLFW 3: the platform the host
// runs on there, with its window, callbacks, cursor, display modes, clock,
// event waits and joystick reads.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "host/game.h"

namespace {

// The desktop: GLFW's window, context, events, clock and joysticks, the
// state file in the working folder and xdg-open for links.
class GlfwPlatform : public VoPlatform {
 public:
  bool OpenWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                  bool fullscreen) override;

  // A close request is refused in its callback, so the window stays open
  // until the application ends the process.
  bool WindowOpen() override { return window_ && !glfwWindowShouldClose(window_); }
  bool HasContext() override { return glfwGetCurrentContext() != nullptr; }
  void SwapBuffers() override {
    if (window_) glfwSwapBuffers(window_);
  }
  void FramebufferSize(int* width, int* height) override {
    *width = 0;
    *height = 0;
    if (window_) glfwGetFramebufferSize(window_, width, height);
  }
  void SetCursorVisible(bool visible) override {
    if (window_) glfwSetInputMode(window_, GLFW_CURSOR, visible ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_HIDDEN);
  }
  VoDisplayMode DesktopMode() override {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    return mode ? toMode(*mode) : VoDisplayMode();
  }
  std::vector<VoDisplayMode> DisplayModes() override {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    int count = 0;
    const GLFWvidmode* modes = monitor ? glfwGetVideoModes(monitor, &count) : nullptr;
    std::vector<VoDisplayMode> result;
    for (int i = 0; modes && i < count; ++i) result.push_back(toMode(modes[i]));
    return result;
  }

  double Time() override { return glfwGetTime(); }
  void PollEvents() override { glfwPollEvents(); }

  // A plain sleep: events that arrive meanwhile wait for the next poll, so
  // callbacks still run only inside PollEvents and the wait for events.
  void Wait(const VoNextPass& next) override {
    if (next.kind == VoNextPass::OnEvent) {
      glfwWaitEvents();
      return;
    }
    if (next.kind != VoNextPass::After || !(next.seconds > 0)) return;
    std::timespec span;
    span.tv_sec = static_cast<time_t>(next.seconds);
    span.tv_nsec = static_cast<long>((next.seconds - static_cast<double>(span.tv_sec)) * 1e9);
    while (nanosleep(&span, &span) != 0 && errno == EINTR) {
    }
  }

  bool Iconified() override { return Attribute(GLFW_ICONIFIED); }
  bool Active() override { return Attribute(GLFW_FOCUSED); }
  bool ReadJoystick(int port, VoJoystickState* state) override {
    int jid = GLFW_JOYSTICK_1 + port;
    if (!glfwJoystickPresent(jid)) return false;
    GLFWgamepadstate pad;
    if (glfwJoystickIsGamepad(jid) && glfwGetGamepadState(jid, &pad)) {
      state->gamepad = true;
      for (int i = 0; i < 6; ++i) state->padAxes[i] = pad.axes[i];
      for (int i = 0; i < 15; ++i) state->padButtons[i] = pad.buttons[i] == GLFW_PRESS;
      return true;
    }
    int n = 0;
    const float* axes = glfwGetJoystickAxes(jid, &n);
    // The device may have gone between the two calls.
    if (!axes) return false;
    state->axisCount = n;
    for (int i = 0; i < n && i < 6; ++i) state->axes[i] = axes[i];
    int m = 0;
    const unsigned char* buttons = glfwGetJoystickButtons(jid, &m);
    if (!buttons) m = 0;
    state->buttonCount = m;
    for (int i = 0; i < m && i < 32; ++i) state->buttons[i] = buttons[i] == GLFW_PRESS;
    return true;
  }

  // Any read coming back empty means the device went while it was being
  // read: it then counts as gone, rather than half described.
  bool DescribeJoystick(int port, VoJoystickInfo* info) override {
    int jid = GLFW_JOYSTICK_1 + port;
    if (!glfwJoystickPresent(jid)) return false;
    const char* name = glfwGetJoystickName(jid);
    const char* guid = glfwGetJoystickGUID(jid);
    int n = 0, m = 0, h = 0;
    const float* axes = glfwGetJoystickAxes(jid, &n);
    const unsigned char* buttons = glfwGetJoystickButtons(jid, &m);
    const unsigned char* hats = glfwGetJoystickHats(jid, &h);
    if (!name || !guid || !axes || !buttons || (!hats && h > 0)) return false;
    info->name = name;
    info->guid = guid;
    const char* mapping = glfwJoystickIsGamepad(jid) ? glfwGetGamepadName(jid) : nullptr;
    info->mapping = mapping ? mapping : "";
    info->axisCount = std::min(n, VoJoystickInfo::MaxAxes);
    for (int i = 0; i < info->axisCount; ++i) info->axes[i] = axes[i];
    // The button list ends with four buttons per hat; the hats are shown apart.
    info->buttonCount = std::min(std::max(m - 4 * h, 0), VoJoystickInfo::MaxButtons);
    for (int i = 0; i < info->buttonCount; ++i) {
      info->buttons[i] = buttons[i] == GLFW_PRESS;
      info->buttonValues[i] = info->buttons[i] ? 1.0f : 0.0f;
    }
    info->hatCount = std::min(h, VoJoystickInfo::MaxHats);
    for (int i = 0; i < info->hatCount; ++i) info->hats[i] = hats[i];
    return ReadJoystick(port, &info->state);
  }

  bool AddGamepadMappings(const std::string& lines) override {
    return glfwUpdateGamepadMappings(lines.c_str()) == GLFW_TRUE;
  }
  void SetClipboard(const std::string& text) override { glfwSetClipboardString(window_, text.c_str()); }

  int SaveState(String state) override { return VoSaveStateFile(state); }
  String LoadState() override { return VoLoadStateFile(); }
  void OpenUrl(String url) override { VoOpenUrlOnDesktop(url); }
  bool SoundAllowed() override { return true; }

  // The open window; null before the first open or when opening failed.
  GLFWwindow* window_ = nullptr;

 private:
  bool Attribute(int attribute) { return window_ && glfwGetWindowAttrib(window_, attribute); }
  static VoDisplayMode toMode(const GLFWvidmode& m) { return {m.width, m.height, m.redBits, m.greenBits, m.blueBits}; }
};

GlfwPlatform glfwPlatform;

// GLFW 3 callbacks, forwarded to the host's own.
void keyCallback(GLFWwindow*, int key, int, int action, int) { VoGlfwGame::OnKey(key, action); }
void charCallback(GLFWwindow*, unsigned int codepoint) { VoGlfwGame::OnChar(static_cast<int>(codepoint), 1); }
void mouseButtonCallback(GLFWwindow*, int button, int action, int) { VoGlfwGame::OnMouseButton(button, action); }
void cursorPosCallback(GLFWwindow*, double x, double y) {
  VoGlfwGame::OnMousePos(static_cast<int>(x), static_cast<int>(y));
}
void closeCallback(GLFWwindow* window) {
  if (VoGlfwGame::OnWindowClose() == 0) glfwSetWindowShouldClose(window, GLFW_FALSE);
}

bool GlfwPlatform::OpenWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                              bool fullscreen) {
  // No key may stay down across a window re-creation.
  if (window_ && VoGame::_game) {
    for (int key = 0; key <= GLFW_KEY_LAST; ++key) {
      int code = VoGlfwGame::TransKey(key);
      if (code && glfwGetKey(window_, key) == GLFW_PRESS) VoGame::_game->KeyEvent(VoGameEvent::KeyUp, code);
    }
  }
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  const GLFWvidmode* desktop = monitor ? glfwGetVideoMode(monitor) : nullptr;
  if (window_) {
    glfwDestroyWindow(window_);
    window_ = nullptr;
  }

  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
  glfwWindowHint(GLFW_RED_BITS, red);
  glfwWindowHint(GLFW_GREEN_BITS, green);
  glfwWindowHint(GLFW_BLUE_BITS, blue);
  glfwWindowHint(GLFW_ALPHA_BITS, alpha);
  glfwWindowHint(GLFW_DEPTH_BITS, depth);
  glfwWindowHint(GLFW_STENCIL_BITS, stencil);
  // The driver draws with the fixed-function pipeline: ask for a legacy
  // context (any version, no core profile).
  glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_ANY_PROFILE);
  window_ = glfwCreateWindow(width, height, "Quillet", fullscreen ? monitor : nullptr, nullptr);
  if (!window_) return false;
  glfwMakeContextCurrent(window_);

  if (!fullscreen && desktop) {
    glfwSetWindowPos(window_, (desktop->width - width) / 2, (desktop->height - height) / 2);
    glfwSetWindowTitle(window_, "Quillet");
  }
  // GLFW 3 always repeats held keys (as GLFW_REPEAT) and never polls events
  // on its own, so there is nothing to switch for either.
  glfwSetKeyCallback(window_, keyCallback);
  glfwSetCharCallback(window_, charCallback);
  glfwSetMouseButtonCallback(window_, mouseButtonCallback);
  glfwSetCursorPosCallback(window_, cursorPosCallback);
  glfwSetWindowCloseCallback(window_, closeCallback);
  return true;
}

}  // namespace

VoPlatform* VoDefaultPlatform() { return &glfwPlatform; }

// Only the left (0), right (1) and middle (2) buttons are reported.
void VoGlfwGame::OnMouseButton(int button, int action) {
  GLFWwindow* window = glfwPlatform.window_;
  if (button < 0 || button > 2 || !_glfwGame || !window) return;
  double x = 0, y = 0;
  glfwGetCursorPos(window, &x, &y);
  int event = action == GLFW_PRESS ? VoGameEvent::MouseDown : VoGameEvent::MouseUp;
  _glfwGame->MouseEvent(event, button, static_cast<float>(x), static_cast<float>(y));
}
