// A headless host (VoGame::_game, one at a time) whose clock, window and input the test drives instead of GLFW.
// The fake clock starts at 0 and moves only by the loop's sleeps, its waits (to the next scripted event, else one
// 60 Hz frame) and Advance. Scripted actions run in time order inside event polls.
#pragma once

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/game.h"

class VoTestHost : public VoGlfwGame {
 public:
  VoTestHost();
  ~VoTestHost() override;

  bool open = false, iconified = false, active = true;  // window state; the test may change it at any time
  int width = 640, height = 480;                        // the framebuffer size the graphics driver reads
  int windowOpens = 0, swaps = 0;
  bool soundAllowed = true;  // false: sound kept silent, as a page does before the player's first gesture

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
  // Plugs a described device; with a mapping added for its GUID it reads as a gamepad under that mapping's name.
  void PlugJoystick(int port, const VoJoystickInfo& info);
  // A pad as a common Linux driver reports it, GUID 030000004c050000c405000011810000: six axes (the triggers, 2
  // and 5, rest at -1), 13 buttons and a hat that the window system also reports as four buttons after them.
  static VoJoystickInfo LinuxPad(const std::string& name);
  std::function<void(int port)> afterJoystickRead;  // runs after each read, to script a mid-frame unplug
  std::vector<std::string> mappingLines;            // mapping lines handed to the platform, in order
  std::string clipboard;                            // the text last put on the clipboard

  // Run's prelude: opens the fake window, starts the game and renders once.
  void Begin() { BeginRun(); }
  // One loop pass and the wait it asks for; false once the window is no longer open.
  bool Pass() { return Step(); }
  // Loop passes until the clock reaches t or the window closes.
  void RunUntil(double t) {
    while (now_ < t && Step()) {
    }
  }

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

// A delegate that records the calls the host tests look at as lines ("start", "update", "render", "key 1 65",
// "mouse 4 0 10 20", ...) and runs optional hooks.
class VoRecordingDelegate : public VoGameDelegate {
 public:
  // User-provided: `new T()` of a class without one zeroes the collector's header too. Subclasses need one too.
  VoRecordingDelegate() {}
  std::vector<std::string> log;
  std::function<void()> onUpdate;
  std::function<void()> onRender;

  void StartGame() override { log.push_back("start"); }
  void SuspendGame() override { log.push_back("suspend"); }
  void ResumeGame() override { log.push_back("resume"); }
  void UpdateGame() override {
    log.push_back("update");
    if (onUpdate) onUpdate();
  }
  void RenderGame() override {
    log.push_back("render");
    if (onRender) onRender();
  }
  void KeyEvent(int event, int data) override { Note("key", {double(event), double(data)}); }
  void MouseEvent(int event, int data, float x, float y) override {
    Note("mouse", {double(event), double(data), x, y});
  }
  void TouchEvent(int event, int data, float x, float y) override {
    Note("touch", {double(event), double(data), x, y});
  }

 private:
  void Note(const char* name, std::initializer_list<double> values) {
    std::ostringstream line;
    line << name;
    for (double v : values) line << ' ' << v;
    log.push_back(line.str());
  }
};
