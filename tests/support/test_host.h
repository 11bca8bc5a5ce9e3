// A headless host for tests: a VoGlfwGame whose clock, window and input are
// driven by the test instead of GLFW, so the loop and everything above it
// (framework, game) run without a display. It becomes VoGame::_game; only one
// may exist at a time. The fake clock starts at 0 and moves only when the loop
// sleeps (by exactly the time asked), when it waits for events (to the next
// scripted event, or by one 60 Hz frame when none is due), when the test calls
// Advance, and by updateCost after each update. Scripted actions run inside
// PollEvents and WaitEvents, in time order, like window callbacks. Run() also
// works: it returns once the window is closed (open = false).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/game.h"

class VoTestHost : public VoGlfwGame {
 public:
  VoTestHost();
  ~VoTestHost() override;

  // Window state the loop reads; the test may change it at any time.
  bool open = false;
  bool iconified = false;
  bool active = true;
  // Framebuffer size reported to the graphics driver.
  int width = 640;
  int height = 480;
  // Fake seconds added after each update, to play a slow machine.
  double updateCost = 0;
  // Counters of the window services.
  int windowOpens = 0;
  int swaps = 0;

  double Now() const { return now_; }
  void Advance(double seconds) { now_ += seconds; }

  // Schedules an action for the first event poll at or after time t.
  void At(double t, std::function<void()> action);
  // Scheduled host events in runtime codes.
  void Key(double t, int event, int code) {
    At(t, [=] { KeyEvent(event, code); });
  }
  void Mouse(double t, int event, int button, float x, float y) {
    At(t, [=] { MouseEvent(event, button, x, y); });
  }
  // The window's close button.
  void Close(double t) {
    At(t, [] { OnWindowClose(); });
  }

  // Plugs a device into a joystick port (0-3); null unplugs it.
  void SetJoystick(int port, const VoJoystickState* state);
  // Plugs a described device (name, GUID, raw report, and in info.state what
  // the game reads). When a mapping for its GUID was added, the device reads
  // as a gamepad under that mapping's name, as with the window system.
  void PlugJoystick(int port, const VoJoystickInfo& info);
  // Called after each read of a present joystick, to script what happens
  // between two reads of one frame (a device pulled out, say).
  std::function<void(int port)> afterJoystickRead;
  // Mapping lines the host handed to the platform, in order.
  std::vector<std::string> mappingLines;

  // Run's prelude: opens the fake window, starts the game and renders once.
  void Begin() { BeginRun(); }
  // One loop pass; false once the window is no longer open.
  bool Pass() { return RunPass(); }
  // Loop passes until the clock reaches t or the window closes.
  void RunUntil(double t) {
    while (now_ < t && RunPass()) {
    }
  }

  void SetGlfwWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                     bool fullscreen) override;
  void SwapBuffers() override { ++swaps; }
  void GetWindowSize(int* w, int* h) override;
  void UpdateGame() override;

 private:
  class Platform;
  friend class Platform;
  // Runs every scripted action due by now.
  void Deliver();

  double now_ = 0;
  std::multimap<double, std::function<void()>> script_;
  bool joyPresent_[4] = {};
  VoJoystickInfo joy_[4];
  Platform* fake_;
};

// A delegate that records every call as one line ("start", "update",
// "render", "key 1 65", "mouse 4 0 10 20", ...) and runs optional hooks.
class VoRecordingDelegate : public VoGameDelegate {
 public:
  // User-provided: value-initialising `new T()` of a class without one zeroes
  // the whole object, the collector's header included. Subclasses need one too.
  VoRecordingDelegate() {}
  std::vector<std::string> log;
  std::function<void()> onUpdate;
  std::function<void()> onRender;

  void StartGame() override;
  void SuspendGame() override;
  void ResumeGame() override;
  void UpdateGame() override;
  void RenderGame() override;
  void KeyEvent(int event, int data) override;
  void MouseEvent(int event, int data, float x, float y) override;
  void TouchEvent(int event, int data, float x, float y) override;
  void MotionEvent(int event, int data, float x, float y, float z) override;
  void DiscardGraphics() override;
};
