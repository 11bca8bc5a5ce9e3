// A small application that the real host runs in a window, for the window
// integration test. It draws a fixed picture each render and writes one line
// to standard output for everything it notices:
//   "create", "suspend", "resume"
//   "ups N"         updates counted in each full second of the app's clock
//   "renders N"     renders in that second
//   "hit CODE N"    key code hit N times in an update
//   "char C"        typed character code
//   "mouse X Y"     pointer moved to X, Y
#include <string>

#include "framework/app.h"
#include "graphics/graphics.h"

namespace {

void Log(const std::string& line) { voPrint(String(line.c_str())); }

class c_WindowApp : public c_App {
 public:
  int p_OnCreate() override {
    vo_app_SetUpdateRate(60);
    secondStart = vo_app_Millisecs();
    Log("create");
    return 0;
  }

  int p_OnSuspend() override {
    Log("suspend");
    return 0;
  }

  int p_OnResume() override {
    Log("resume");
    return 0;
  }

  int p_OnUpdate() override {
    int now = vo_app_Millisecs();
    while (now - secondStart >= 1000) {
      Log("ups " + std::to_string(updates) + " renders " + std::to_string(renders));
      updates = 0;
      renders = 0;
      secondStart += 1000;
    }
    ++updates;
    for (int code = 1; code < c_InputDevice::KEY_CODES; ++code) {
      if (int hits = vo_input_KeyHit(code)) {
        Log("hit " + std::to_string(code) + " " + std::to_string(hits));
      }
    }
    while (int chr = vo_input_GetChar()) Log("char " + std::to_string(chr));
    int x = static_cast<int>(vo_input_MouseX());
    int y = static_cast<int>(vo_input_MouseY());
    if (x != mouseX || y != mouseY) {
      mouseX = x;
      mouseY = y;
      Log("mouse " + std::to_string(x) + " " + std::to_string(y));
    }
    return 0;
  }

  // Dark blue background with a red box at (100, 100), 200 x 150.
  int p_OnRender() override {
    ++renders;
    vo_graphics_Cls(0, 0, 128);
    vo_graphics_SetColor(255, 0, 0);
    vo_graphics_DrawRect(100, 100, 200, 150);
    return 0;
  }

 private:
  int secondStart = 0;
  int updates = 0;
  int renders = 0;
  int mouseX = -1;
  int mouseY = -1;
};

}  // namespace

int voInit() {
  vo_framework_Init();
  gc_mark_roots_hook = vo_framework_MarkRoots;
  return 0;
}

int voMain() {
  (new c_WindowApp)->m_new();
  return 0;
}
