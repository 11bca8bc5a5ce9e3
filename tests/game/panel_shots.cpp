// The controller panel with a scripted device, drawn by the program's own
// window and OpenGL driver for scripts/screens-panel.sh. The machines that
// make the pictures have no joystick, so the test host stands in for the
// joystick ports and the clock (with scripted keys); the game, the panel, the
// drivers and the window are the program's own.
//   panel_shots wizard   the wizard after three answers
//   panel_shots trace    a stick turned round a circle and one round a square gate
// Runs from the folder that holds data/, prints "ready" once the picture is on
// the window and keeps it there until standard input closes.
#include <GLFW/glfw3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "game/myapp.h"
#include "tests/support/test_host.h"

namespace {

constexpr int kF1 = 112, kF9 = 120;
constexpr double kFrame = 1.0 / 60;
constexpr double kPanelOpens = 3;  // seconds: the loader is done by then
constexpr int kRedraws = 30;
constexpr useconds_t kRedrawMicroseconds = 33000;

// The desktop's window, context and frames; the test host's clock, events,
// joystick ports and everything else.
class ShotPlatform : public VoPlatform {
 public:
  ShotPlatform(VoPlatform* window, VoPlatform* fake) : window_(window), fake_(fake) {}
  bool OpenWindow(int w, int h, int r, int g, int b, int a, int d, int s, bool full) override {
    return window_->OpenWindow(w, h, r, g, b, a, d, s, full) && fake_->OpenWindow(w, h, r, g, b, a, d, s, full);
  }
  bool WindowOpen() override { return fake_->WindowOpen(); }
  bool HasContext() override { return window_->HasContext(); }
  void SwapBuffers() override { window_->SwapBuffers(); }
  void FramebufferSize(int* w, int* h) override { window_->FramebufferSize(w, h); }
  void SetCursorVisible(bool visible) override { window_->SetCursorVisible(visible); }
  VoDisplayMode DesktopMode() override { return window_->DesktopMode(); }
  std::vector<VoDisplayMode> DisplayModes() override { return window_->DisplayModes(); }
  double Time() override { return fake_->Time(); }
  void PollEvents() override { fake_->PollEvents(); }
  void Wait(const VoNextPass& next) override { fake_->Wait(next); }
  bool Iconified() override { return fake_->Iconified(); }
  bool Active() override { return fake_->Active(); }
  bool ReadJoystick(int port, VoJoystickState* state) override { return fake_->ReadJoystick(port, state); }
  bool DescribeJoystick(int port, VoJoystickInfo* info) override { return fake_->DescribeJoystick(port, info); }
  bool AddGamepadMappings(const std::string& lines) override { return fake_->AddGamepadMappings(lines); }
  int SaveState(String state) override { return fake_->SaveState(state); }
  String LoadState() override { return fake_->LoadState(); }
  void OpenUrl(String url) override { fake_->OpenUrl(url); }
  bool SoundAllowed() override { return fake_->SoundAllowed(); }
  void SetClipboard(const std::string& text) override { fake_->SetClipboard(text); }

 private:
  VoPlatform* window_;
  VoPlatform* fake_;
};

class ShotHost : public VoTestHost {
 public:
  ShotHost() : shot_(VoDefaultPlatform(), _platform) { _platform = &shot_; }

  void Tap(double t, int code) {
    Key(t, VoGameEvent::KeyDown, code);
    Key(t + 0.1, VoGameEvent::KeyUp, code);
  }

 private:
  ShotPlatform shot_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "wizard" && mode != "trace") {
    std::fputs("usage: panel_shots wizard|trace\n", stderr);
    return 2;
  }
  if (!glfwInit()) return 1;
  ShotHost host;
  gc_init1();
  voInit();
  gc_init2();
  voMain();
  // Named for what it is.
  const VoJoystickInfo rest = VoTestHost::LinuxPad("Scripted Pad (test host, no real device)");
  host.PlugJoystick(0, rest);
  host.Tap(kPanelOpens, kF9);
  double end;
  if (mode == "wizard") {
    host.Tap(kPanelOpens + 0.5, kF1);
    // Three answers: a, b and x, each pressed for a fifth of a second.
    double t = kPanelOpens + 1;
    for (int button : {0, 1, 3}) {
      VoJoystickInfo held = rest;
      held.buttons[button] = held.state.buttons[button] = true;
      host.At(t, [&host, held] { host.PlugJoystick(0, held); });
      host.At(t + 0.2, [&host, rest] { host.PlugJoystick(0, rest); });
      t += 0.5;
    }
    end = t + 0.5;
  } else {
    // Read through a mapping, as the standard layout; the left stick turns
    // round a circle once a second, the right one round a square gate once in
    // four seconds: five seconds see both all round. The left trigger rests
    // half pressed.
    host.AddGamepadMappings(rest.guid + ",Scripted Pad,a:b0,leftx:a0,lefty:a1,rightx:a3,righty:a4,platform:Linux,",
                            "scripted by the test host", false);
    const double from = kPanelOpens + 0.5;
    end = from + 5;
    for (double t = from; t < end; t += kFrame) {
      const double left = 2 * M_PI * (t - from), right = left / 4;
      const double square = 1 / std::max(std::fabs(std::cos(right)), std::fabs(std::sin(right)));
      VoJoystickInfo moved = rest;
      moved.axes[0] = moved.state.axes[0] = static_cast<float>(std::cos(left));
      moved.axes[1] = moved.state.axes[1] = static_cast<float>(std::sin(left));
      moved.axes[3] = moved.state.axes[3] = static_cast<float>(std::cos(right) * square);
      moved.axes[4] = moved.state.axes[4] = static_cast<float>(std::sin(right) * square);
      for (int a = 0; a < 4; ++a) moved.state.padAxes[a] = moved.axes[a < 2 ? a : a + 1];
      moved.state.padAxes[4] = 0;
      moved.state.padAxes[5] = -1;
      host.At(t, [&host, moved] { host.PlugJoystick(0, moved); });
    }
  }
  host.Begin();
  host.RunUntil(end);
  // The fake clock runs the script in a moment of real time, perhaps before
  // the window is on the screen: the last frame is drawn again for a while.
  for (int frame = 0; frame < kRedraws; ++frame) {
    usleep(kRedrawMicroseconds);
    glfwPollEvents();
    host.RenderGame();
    host.SwapBuffers();
  }
  std::puts("ready");
  std::fflush(stdout);
  for (int c; (c = std::getchar()) != EOF;) {
  }
  glfwTerminate();
  return 0;
}
