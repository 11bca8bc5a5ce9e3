// Test fixture for the framework on the headless test host: an application
// that records its calls and runs hooks, and a host that records which
// joystick ports were polled.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/app.h"
#include "tests/support/test_host.h"

// An application that logs "create", "update", "render", "suspend" and
// "resume" and runs the matching hook, if any, at that point.
class ProbeApp : public c_App {
 public:
  std::vector<std::string> log;
  std::function<void()> onCreate;
  std::function<void()> onUpdate;
  std::function<void()> onRender;

  int p_OnCreate() override { return Note("create", onCreate); }
  int p_OnSuspend() override { return Note("suspend", nullptr); }
  int p_OnResume() override { return Note("resume", nullptr); }
  int p_OnUpdate() override { return Note("update", onUpdate); }
  int p_OnRender() override { return Note("render", onRender); }

 private:
  int Note(const char* call, const std::function<void()>& hook) {
    log.push_back(call);
    if (hook) hook();
    return 0;
  }
};

class ProbeHost : public VoTestHost {
 public:
  std::vector<int> polled;

  bool PollJoystick(int port, Array<float> joyx, Array<float> joyy, Array<float> joyz, Array<bool> buttons) override {
    polled.push_back(port);
    return VoTestHost::PollJoystick(port, joyx, joyy, joyz, buttons);
  }
};

// A fresh framework with a ProbeApp created on a ProbeHost; the test calls
// host.Begin() when its hooks are in place.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vo_framework_Init();
    gc_mark_roots_hook = vo_framework_MarkRoots;
    app = new ProbeApp;
    app->m_new();
    vo_app_SetUpdateRate(60);
  }

  // Runs the loop until the given number of updates has happened.
  void RunUpdates(int count) {
    int target = Updates() + count;
    while (Updates() < target && host.Pass()) {
    }
  }

  int Updates() const {
    int n = 0;
    for (const std::string& call : app->log) n += call == "update";
    return n;
  }

  ProbeHost host;
  ProbeApp* app = nullptr;
};
