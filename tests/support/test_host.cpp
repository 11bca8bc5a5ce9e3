// The headless test host: a fake platform over a scripted clock and window.
#include "tests/support/test_host.h"

#include <algorithm>
#include <sstream>

// How far a wait with nothing scheduled moves the clock: one 60 Hz frame.
constexpr double kWaitStep = 1.0 / 60;

class VoTestHost::Platform : public VoPlatform {
 public:
  explicit Platform(VoTestHost* host) : host_(host) {}

  // A window without a context: the graphics driver makes no GL calls.
  bool OpenWindow(int, int, int, int, int, int, int, int, bool) override {
    ++host_->windowOpens, host_->open = true;
    return true;
  }
  bool WindowOpen() override { return host_->open; }
  bool HasContext() override { return false; }
  void SwapBuffers() override { ++host_->swaps; }
  void FramebufferSize(int* w, int* h) override { *w = host_->width, *h = host_->height; }
  void SetCursorVisible(bool) override {}
  VoDisplayMode DesktopMode() override { return {host_->width, host_->height, 8, 8, 8}; }
  std::vector<VoDisplayMode> DisplayModes() override { return {DesktopMode()}; }

  double Time() override { return host_->now_; }
  void PollEvents() override { host_->Deliver(); }

  // A sleep moves the clock; a wait for events is like a real one: nothing
  // happens until the next event arrives.
  void Wait(const VoNextPass& next) override {
    if (next.kind == VoNextPass::After) host_->now_ += next.seconds;
    if (next.kind != VoNextPass::OnEvent) return;
    auto& script = host_->script_;
    if (script.empty())
      host_->now_ += kWaitStep;
    else
      host_->now_ = std::max(host_->now_, script.begin()->first);
    host_->Deliver();
  }

  bool Iconified() override { return host_->iconified; }
  bool Active() override { return host_->active; }

  bool ReadJoystick(int port, VoJoystickState* state) override {
    VoJoystickInfo info;
    if (!DescribeJoystick(port, &info)) return false;
    *state = info.state;
    return true;
  }

  bool DescribeJoystick(int port, VoJoystickInfo* info) override {
    if (!host_->joyPresent_[port]) return false;
    *info = host_->joy_[port];
    // The last mapping added for the GUID wins, as in the window system.
    for (const std::string& line : host_->mappingLines) {
      VoGamepadMapping mapping;
      std::string error;
      if (VoCheckGamepadMapping(line, &mapping, &error) == VoMappingCheck::Valid && mapping.guid == info->guid) {
        info->mapping = mapping.name;
        info->state.gamepad = true;
      }
    }
    if (host_->afterJoystickRead) host_->afterJoystickRead(port);
    return true;
  }

  bool AddGamepadMappings(const std::string& lines) override {
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) host_->mappingLines.push_back(line);
    return true;
  }
  void SetClipboard(const std::string& text) override { host_->clipboard = text; }

  // The desktop's state file and links, in the test's working folder.
  int SaveState(String state) override { return VoSaveStateFile(state); }
  String LoadState() override { return VoLoadStateFile(); }
  void OpenUrl(String url) override { VoOpenUrlOnDesktop(url); }
  bool SoundAllowed() override { return host_->soundAllowed; }

 private:
  VoTestHost* host_;
};

VoTestHost::VoTestHost() : fake_(new Platform(this)) { _platform = fake_; }

VoTestHost::~VoTestHost() { delete fake_; }

void VoTestHost::At(double t, std::function<void()> action) { script_.emplace(t, std::move(action)); }

void VoTestHost::SetJoystick(int port, const VoJoystickState* state) {
  joyPresent_[port] = state != nullptr;
  joy_[port] = VoJoystickInfo();
  if (state) joy_[port].state = *state;
}

void VoTestHost::PlugJoystick(int port, const VoJoystickInfo& info) {
  joyPresent_[port] = true;
  joy_[port] = info;
}

VoJoystickInfo VoTestHost::LinuxPad(const std::string& name) {
  VoJoystickInfo pad;
  pad.name = name;
  pad.guid = "030000004c050000c405000011810000";
  pad.axisCount = pad.state.axisCount = 6;
  pad.axes[2] = pad.axes[5] = pad.state.axes[2] = pad.state.axes[5] = -1;
  pad.buttonCount = 13;
  pad.state.buttonCount = 17;
  pad.hatCount = 1;
  return pad;
}

void VoTestHost::Deliver() {
  // An action may schedule further actions; take them one at a time.
  while (!script_.empty() && script_.begin()->first <= now_) {
    auto action = std::move(script_.begin()->second);
    script_.erase(script_.begin());
    action();
  }
}
