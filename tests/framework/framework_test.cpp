// The framework on the headless host: the app's calls, input as an update reads
// it, how the program ends, and random numbers, math and event sources.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
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

class ProbeHost : public VoTestHost {
 public:
  std::vector<int> polled;
  bool PollJoystick(int port, Array<float> x, Array<float> y, Array<float> z, Array<bool> buttons) override {
    polled.push_back(port);
    return VoTestHost::PollJoystick(port, x, y, z, buttons);
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
  ProbeHost host;
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
  EXPECT_EQ(vo_graphics_renderDevice, nullptr) << "the module frame ends with the render";
}

// A driver whose BeginRender reports the given mode.
class ModeGraphics : public gxtkGraphics {
 public:
  explicit ModeGraphics(int mode) : mode(mode) {}
  int BeginRender() override {
    gxtkGraphics::BeginRender();
    return mode;
  }
  int mode;
};

TEST_F(Framework, LoadingOrUndrawableModesSkipTheRenderButEndTheFrame) {
  host.Begin();
  for (int mode : {2, 0}) {
    gc_assign(vo_app__delegate->_graphics, static_cast<gxtkGraphics*>(new ModeGraphics(mode)));
    const int swaps = host.swaps;
    app->log.clear();
    host.RenderGame();
    EXPECT_TRUE(app->log.empty()) << mode;
    EXPECT_EQ(host.swaps, swaps + 1) << mode;
  }
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
  host.TouchEvent(VoGameEvent::TouchDown, 32, 1, 2);  // would alias the back key
  host.TouchEvent(VoGameEvent::TouchDown, 200, 1, 2);
  EXPECT_EQ(InUpdate<int>([] { return TotalHits(); }), 0);
  EXPECT_FALSE(vo_input_KeyDown(416));
  EXPECT_EQ(vo_input_TouchX(-1) + vo_input_TouchY(32), 0.0f);
}

TEST_F(Framework, MouseButtonZeroIsTouchZero) {
  host.Begin();
  host.MouseEvent(VoGameEvent::MouseDown, 0, 12, 34);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); }), 11);
  EXPECT_EQ(vo_input_TouchX(0) * 100 + vo_input_TouchY(0), 1234);
  host.MouseEvent(VoGameEvent::MouseUp, 0, 50, 60);
  EXPECT_FALSE(vo_input_TouchDown(0));
  EXPECT_EQ(vo_input_MouseX(), 12.0f) << "mouse-up leaves the position";
  host.TouchEvent(VoGameEvent::TouchDown, 0, 5, 6);
  EXPECT_TRUE(vo_input_MouseDown(0));
  host.TouchEvent(VoGameEvent::TouchUp, 0, 5, 6);
  host.MouseEvent(VoGameEvent::MouseDown, 1, 70, 80);
  EXPECT_FALSE(vo_input_TouchDown(1)) << "other buttons stand alone";
  InUpdate<int>([] { return 0; });
  for (int code = 100; code < 132; ++code) host.KeyEvent(VoGameEvent::KeyDown, code);
  host.MouseEvent(VoGameEvent::MouseDown, 0, 1, 1);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); }), 10)
      << "with the queue full, the linked touch gets no hit";
}

TEST_F(Framework, JoysticksArePolledInOrderUpToTheFirstMissingUnit) {
  host.Begin();
  VoJoystickState pad, idle;
  pad.buttonCount = 32;
  pad.buttons[5] = true;
  pad.axisCount = 3;
  pad.axes[1] = 0.5f;
  host.SetJoystick(1, &pad);
  host.polled.clear();
  EXPECT_FALSE(InUpdate<bool>([] { return vo_input_JoyDown(5, 1); }));
  EXPECT_EQ(host.polled, (std::vector<int>{0}));
  host.SetJoystick(0, &idle);
  host.SetJoystick(3, &pad);
  host.polled.clear();
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(256 + 32 + 5); }), 1);
  EXPECT_EQ(host.polled, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(vo_input_JoyDown(5, 1));
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(256 + 32 + 5); }), 0) << "held: no second hit";
  EXPECT_EQ(vo_input_JoyY(0, 1), -0.5f);
  EXPECT_FALSE(vo_input_JoyDown(5, 3));
  EXPECT_EQ(vo_input_JoyX(2, 0) + vo_input_JoyZ(0, 4) + vo_input_JoyX(0, -1), 0.0f);
  host.SetJoystick(1, nullptr);
  EXPECT_FALSE(InUpdate<bool>([] { return vo_input_JoyDown(5, 1); })) << "a pad pulled out releases its buttons";
}

TEST(Exit, CloseBackAndTheCloseButtonEndTheProgram) {
  // An event at 0.5 s (a close button press when `code` is 0) and what follows the loop.
  const std::tuple<int, int, std::string> cases[] = {{VoGameEvent::KeyDown, KEY_CLOSE, ""},
                                                     {VoGameEvent::KeyDown, KEY_BACK, ""},
                                                     {VoGameEvent::KeyDown, 0, ""},
                                                     {VoGameEvent::KeyUp, KEY_CLOSE, "returned\n"},
                                                     {VoGameEvent::KeyChar, KEY_CLOSE, "returned\n"}};
  for (const auto& [event, code, out] : cases) {
    ChildResult r = RunInChild([event = event, code = code] {
      VoTestHost host;
      vo_framework_Init();
      (new c_App)->m_new();
      vo_app_SetUpdateRate(60);
      code ? host.Key(0.5, event, code) : host.Close(0.5);
      host.Begin();
      host.RunUntil(1.0);
      std::printf("returned\n");
      std::exit(0);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, out) << code;
  }
  ChildResult r = RunInChild([] {
    VoTestHost host;
    vo_framework_Init();
    (new c_App)->m_new();
    (new c_App)->m_new();
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out.rfind("Dovel Runtime Error : App has already been created\n", 0), 0u) << r.out;
}

// Logs its polls, polls again inside (which returns at once) and may leave the stack while polled.
class LogSource : public Object, public virtual c_IAsyncEventSource {
 public:
  LogSource(std::string name, std::string* log, bool leave) : name(name), log(log), leave(leave) {}
  int p_UpdateAsyncEvents() override {
    *log += name;
    vo_asyncevent_UpdateAsyncEvents();
    if (leave) {
      c_Stack* stack = vo_asyncevent__sources;
      const int n = stack->p_Length2();
      int at = 0;
      while (stack->p_Get(at) != this) ++at;
      for (int i = at; i + 1 < n; ++i) gc_assign(stack->m_data[i], stack->m_data[i + 1]);
      stack->p_Length(n - 1);
      vo_asyncevent__current = nullptr;
    }
    return 0;
  }
  std::string name, *log;
  bool leave;
};

TEST(Modules, RandomMathAndEventSources) {
  vo_framework_Init();
  EXPECT_EQ(vo_random_Seed, 1234);
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.7143076658248901);
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.2070130705833435);
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 889114580u);
  vo_random_Seed = static_cast<int>((0xFFFFFFFFu - 1013904223u) * 4276115653u);  // the step gives 0xFFFFFFFF
  EXPECT_FLOAT_EQ(vo_random_Rnd(), 16777215.0f / 16777216.0f) << "still below 1";
  vo_random_Seed = 1234;
  EXPECT_FLOAT_EQ(vo_random_Rnd2(-1, 1), -1 + 2 * 0.7143076658248901f);
  EXPECT_FLOAT_EQ(vo_random_Rnd3(10), 2.070130705833435f);
  EXPECT_EQ(vo_math_Abs(INT_MIN), INT_MIN);
  // On a tie or an unordered comparison the second argument wins.
  EXPECT_TRUE(std::signbit(vo_math_Max2(0.0f, -0.0f)) && std::isnan(vo_math_Max2(1.0f, NAN)) &&
              vo_math_Max2(NAN, 1.0f) == 1.0f);
  std::string log;
  c_Stack* stack = vo_asyncevent__sources;
  for (const char* name : {"a", "b", "c"}) {
    stack->p_Length(stack->p_Length2() + 1);
    gc_assign(stack->m_data[stack->p_Length2() - 1],
              static_cast<c_IAsyncEventSource*>(new LogSource(name, &log, name[0] == 'b')));
  }
  vo_asyncevent_UpdateAsyncEvents();
  vo_asyncevent_UpdateAsyncEvents();
  EXPECT_EQ(log, "abcac") << "a source leaving during its poll does not skip the next";
  EXPECT_EQ(stack->p_Length2(), 2);
  stack = (new c_Stack)->m_new();
  stack->p_Length(3);
  gc_assign(stack->m_data[2], vo_asyncevent__sources->m_data[0]);
  stack->p_Length(2);
  EXPECT_EQ(stack->m_data[2], nullptr) << "vacated slots are cleared";
  EXPECT_EQ(stack->p_Get(1000), nullptr);
}

}  // namespace
