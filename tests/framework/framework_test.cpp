// The framework on the headless host: the app's calls, input as an update reads
// it, how the program ends, and random numbers.
#include <gtest/gtest.h>

#include <climits>
#include <regex>

#include "audio/audio.h"
#include "framework/app.h"
#include "graphics/graphics.h"
#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace {

// An application that logs its calls (c create, S suspend, R resume, u update,
// r render) and runs hooks in its create and update.
class ProbeApp : public c_App {
 public:
  std::string log;
  std::function<void()> onUpdate, onCreate;
  int p_OnCreate() override { return Note('c', onCreate); }
  int p_OnSuspend() override { return Note('S', nullptr); }
  int p_OnResume() override { return Note('R', nullptr); }
  int p_OnUpdate() override { return Note('u', onUpdate); }
  int p_OnRender() override { return Note('r', nullptr); }

 private:
  int Note(char call, const std::function<void()>& hook) {
    log += call;
    return hook ? (hook(), 0) : 0;
  }
};

class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    vo_framework_Init();
    gc_mark_roots_hook = vo_framework_MarkRoots;
    (app = new ProbeApp)->m_new();
    vo_app_SetUpdateRate(60);
  }
  // Runs one update and returns what `read` saw inside it.
  template <class T>
  T InUpdate(std::function<T()> read) {
    T seen{};
    app->onUpdate = [&] { seen = read(); };
    const size_t before = app->log.size();
    while (app->log.find('u', before) == std::string::npos) host.Pass();
    app->onUpdate = nullptr;
    return seen;
  }
  static int TotalHits() {
    int total = 0;
    for (int code = 0; code < 600; ++code) total += vo_input_KeyHit(code);
    return total;
  }
  VoTestHost host;
  ProbeApp* app = nullptr;
};

TEST_F(Framework, CallsReachTheAppInOrderWithTheDriversInPlace) {
  app->onCreate = [] { EXPECT_TRUE(vo_graphics_device && vo_audio_device && vo_input_device); };
  host.At(0.1, [&] { host.iconified = true; });
  host.At(0.2, [&] { host.iconified = false; });
  gc_stress = true;  // every collection after a host call destroys all garbage
  host.Mouse(0.001, VoGameEvent::MouseDown, 0, 5, 5);
  host.Begin();
  host.RunUntil(0.25);
  gc_stress = false;
  EXPECT_TRUE(std::regex_match(app->log, std::regex("cr(ur){5,6}SRur(ur)*"))) << app->log;
  EXPECT_TRUE(vo_input_MouseDown(0));
  EXPECT_EQ(host.swaps, static_cast<int>(std::count(app->log.begin(), app->log.end(), 'r')));
}

TEST_F(Framework, KeysCharactersAndHitsPerUpdate) {
  host.Begin();
  host.KeyEvent(VoGameEvent::KeyDown, 70);
  host.KeyEvent(VoGameEvent::KeyDown, 70);  // auto-repeat while held
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(70); }), 1);
  host.KeyEvent(VoGameEvent::KeyUp, 70);
  host.KeyEvent(VoGameEvent::KeyDown, 70);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(70); }), 1);
  for (int code = 100; code < 140; ++code) host.KeyEvent(VoGameEvent::KeyDown, code);
  for (int i = 0; i < 40; ++i) host.KeyEvent(VoGameEvent::KeyChar, 'A' + i);
  std::string chars;
  EXPECT_EQ(InUpdate<int>([&] {
              while (int c = vo_input_GetChar()) chars += static_cast<char>(c);
              return TotalHits();
            }),
            33);
  EXPECT_EQ(chars, std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"));
  EXPECT_TRUE(vo_input_KeyDown(139)) << "every key is down, hit or not";
  EXPECT_EQ(vo_input_KeyHit(100), 0) << "hits are forgotten after the update";
  for (int code : {0, 512, -3, 100000}) host.KeyEvent(VoGameEvent::KeyDown, code);
  host.MouseEvent(VoGameEvent::MouseDown, INT_MAX, 1, 1);
  EXPECT_EQ(InUpdate<int>([] { return TotalHits(); }), 0);
}

TEST_F(Framework, MouseButtonZeroIsTouchZero) {
  host.Begin();
  host.MouseEvent(VoGameEvent::MouseDown, 0, 12, 34);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); }), 11);
  EXPECT_EQ(vo_input_TouchX(0) * 100 + vo_input_TouchY(0), 1234);
  host.MouseEvent(VoGameEvent::MouseUp, 0, 50, 60);
  EXPECT_FALSE(vo_input_TouchDown(0));
  EXPECT_EQ(vo_input_MouseX(), 12.0f) << "mouse-up leaves the position";
  host.MouseEvent(VoGameEvent::MouseDown, 1, 70, 80);
  EXPECT_FALSE(vo_input_TouchDown(1)) << "other buttons stand alone";
  InUpdate<int>([] { return 0; });
  for (int code = 100; code < 132; ++code) host.KeyEvent(VoGameEvent::KeyDown, code);
  host.MouseEvent(VoGameEvent::MouseDown, 0, 1, 1);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); }), 10)
      << "with the queue full, the linked touch gets no hit";
  // The pointer's position is kept in the collected touch arrays: two
  // collections that destroy all garbage, then new arrays that take over the
  // freed blocks, leave it as it was.
  host.MouseEvent(VoGameEvent::MouseMove, -1, 5, 6);
  gc_stress = true;
  gc_collect();
  gc_collect();
  gc_stress = false;
  for (int i = 0; i < 50; ++i) Array<float>(c_InputDevice::TOUCHES)[0] = -1;
  EXPECT_EQ(vo_input_TouchX(0) * 10 + vo_input_TouchY(0), 56);
}

TEST_F(Framework, JoysticksArePolledInOrderUpToTheFirstMissingUnit) {
  host.Begin();
  VoJoystickState pad, idle;
  pad.buttonCount = 32;
  pad.buttons[5] = true;
  pad.axisCount = 3;
  pad.axes[1] = 0.5f;
  host.SetJoystick(1, &pad);
  EXPECT_FALSE(InUpdate<bool>([] { return vo_input_JoyDown(5, 1); })) << "unit 0 is missing";
  host.SetJoystick(0, &idle);
  host.SetJoystick(3, &pad);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(256 + 32 + 5); }), 1);
  EXPECT_TRUE(vo_input_JoyDown(5, 1));
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(256 + 32 + 5); }), 0) << "held: no second hit";
  EXPECT_EQ(vo_input_JoyY(0, 1), -0.5f);
  EXPECT_FALSE(vo_input_JoyDown(5, 3)) << "unit 2 is missing";
  EXPECT_EQ(vo_input_JoyX(2, 0) + vo_input_JoyZ(0, 4) + vo_input_JoyX(0, -1), 0.0f);
  host.SetJoystick(1, nullptr);
  EXPECT_FALSE(InUpdate<bool>([] { return vo_input_JoyDown(5, 1); })) << "a pad pulled out releases its buttons";
}

TEST(Exit, TheCloseKeyEndsTheProgram) {
  // An event at 0.5 s (a second app created instead when `event` is -1), the
  // exit status and what is printed. The close button sends the close key.
  const std::tuple<int, int, int, std::string> cases[] = {
      {VoGameEvent::KeyDown, KEY_CLOSE, 0, ""},
      {VoGameEvent::KeyUp, KEY_CLOSE, 0, "returned\n"},
      {VoGameEvent::KeyChar, KEY_CLOSE, 0, "returned\n"},  // the character U+01B0 typed
      {-1, KEY_CLOSE, -1, "Dovel Runtime Error : App has already been created\n\n"}};
  for (const auto& [event, code, status, out] : cases) {
    ChildResult r = RunInChild([event = event, code = code] {
      VoTestHost host;
      vo_framework_Init();
      (new c_App)->m_new();
      if (event < 0) (new c_App)->m_new();
      vo_app_SetUpdateRate(60);
      host.Key(0.5, event, code);
      host.Begin();
      host.RunUntil(1.0);
      std::printf("returned\n");
      std::exit(0);
    });
    EXPECT_EQ(r.status, status) << event << " " << code;
    EXPECT_EQ(r.out, out) << event << " " << code;
  }
}

TEST(Modules, RandomNumbersFollowTheSeed) {
  vo_framework_Init();                                    // the seed starts at 1234
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.7143076658248901);  // the top 24 bits of the next seed
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 1234u * 1664525u + 1013904223u);
  vo_random_Seed = static_cast<int>((0xFFFFFFFFu - 1013904223u) * 4276115653u);  // the step gives 0xFFFFFFFF
  EXPECT_FLOAT_EQ(vo_random_Rnd(), 16777215.0f / 16777216.0f) << "still below 1";
}

}  // namespace
