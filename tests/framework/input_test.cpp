// The input device's rules, fed through the test host and read from the
// application's update as game code reads them.
#include <climits>

#include "tests/framework/probe_app.h"

namespace {

class InputTest : public FrameworkTest {
 protected:
  // Runs one update and returns what `read` saw inside it.
  template <class T>
  T InUpdate(std::function<T()> read) {
    T seen{};
    app->onUpdate = [&] { seen = read(); };
    RunUpdates(1);
    app->onUpdate = nullptr;
    return seen;
  }

  int TotalHits() {
    int total = 0;
    for (int code = 0; code < 600; ++code) total += vo_input_KeyHit(code);
    return total;
  }

  // Events sent now are picked up by the next update.
  void Key(int event, int code) { host.KeyEvent(event, code); }

  void SetUp() override {
    FrameworkTest::SetUp();
    host.Begin();
  }
};

TEST_F(InputTest, HeldKeyCountsOnceAndRepeatedPressesCountEach) {
  Key(VoGameEvent::KeyDown, 70);
  Key(VoGameEvent::KeyDown, 70);  // auto-repeat while held
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(70); }), 1);
  Key(VoGameEvent::KeyUp, 70);
  Key(VoGameEvent::KeyDown, 70);
  Key(VoGameEvent::KeyUp, 70);
  Key(VoGameEvent::KeyDown, 70);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(70); }), 2);
  EXPECT_TRUE(vo_input_KeyDown(70));
  Key(VoGameEvent::KeyUp, 70);
  Key(VoGameEvent::KeyUp, 70);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(70); }), 0);
  EXPECT_FALSE(vo_input_KeyDown(70));
}

TEST_F(InputTest, AtMost33HitsPerUpdateButEveryKeyIsDown) {
  for (int code = 100; code < 140; ++code) Key(VoGameEvent::KeyDown, code);
  EXPECT_EQ(InUpdate<int>([this] { return TotalHits(); }), 33);
  EXPECT_EQ(vo_input_KeyHit(132), 0);  // hits were forgotten after the update
  for (int code = 100; code < 140; ++code) EXPECT_TRUE(vo_input_KeyDown(code)) << code;
  // The next update has room again.
  Key(VoGameEvent::KeyDown, 200);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(200); }), 1);
}

TEST_F(InputTest, AtMost32CharactersPerUpdateInOrder) {
  for (int i = 0; i < 40; ++i) Key(VoGameEvent::KeyChar, 'A' + i);
  std::vector<int> chars = InUpdate<std::vector<int>>([] {
    std::vector<int> read;
    while (int c = vo_input_GetChar()) read.push_back(c);
    read.push_back(vo_input_GetChar());
    return read;
  });
  ASSERT_EQ(chars.size(), 33u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(chars[i], 'A' + i);
  EXPECT_EQ(chars[32], 0);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_GetChar(); }), 0);
}

TEST_F(InputTest, MouseButtonZeroIsTouchZero) {
  host.MouseEvent(VoGameEvent::MouseDown, 0, 12, 34);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); }), 11);
  EXPECT_TRUE(vo_input_TouchDown(0));
  EXPECT_EQ(vo_input_TouchX(0), 12.0f);
  EXPECT_EQ(vo_input_TouchY(0), 34.0f);
  // Mouse-up leaves the position where it was.
  host.MouseEvent(VoGameEvent::MouseUp, 0, 50, 60);
  EXPECT_FALSE(vo_input_TouchDown(0));
  EXPECT_FALSE(vo_input_MouseDown(0));
  EXPECT_EQ(vo_input_MouseX(), 12.0f);
  // And the other way round: touch 0 presses mouse button 0.
  host.TouchEvent(VoGameEvent::TouchDown, 0, 5, 6);
  EXPECT_TRUE(vo_input_MouseDown(0));
  EXPECT_EQ(vo_input_MouseX(), 5.0f);
  host.TouchEvent(VoGameEvent::TouchUp, 0, 5, 6);
  EXPECT_FALSE(vo_input_MouseDown(0));
  // Other buttons and touches stand alone.
  host.MouseEvent(VoGameEvent::MouseDown, 1, 70, 80);
  EXPECT_TRUE(vo_input_KeyDown(2));
  EXPECT_FALSE(vo_input_TouchDown(1));
  host.TouchEvent(VoGameEvent::TouchDown, 1, 90, 91);
  EXPECT_EQ(vo_input_MouseX(), 70.0f);
  EXPECT_EQ(vo_input_TouchX(1), 90.0f);
  EXPECT_FALSE(vo_input_MouseDown(1) && vo_input_KeyDown(3));
}

// With the hit queue full, button 0's own hit still counts as the 33rd but
// the linked touch gets no hit; both are down.
TEST_F(InputTest, LinkedTouchHitNeedsRoomInTheQueue) {
  for (int code = 100; code < 132; ++code) Key(VoGameEvent::KeyDown, code);
  host.MouseEvent(VoGameEvent::MouseDown, 0, 1, 1);
  int hits = InUpdate<int>([] { return vo_input_MouseHit(0) * 10 + vo_input_KeyHit(384); });
  EXPECT_EQ(hits, 10);
  EXPECT_TRUE(vo_input_TouchDown(0));
}

TEST_F(InputTest, CodesOutsideTheKeySpaceAreNeverDownOrHit) {
  Key(VoGameEvent::KeyDown, 0);
  Key(VoGameEvent::KeyDown, 512);
  Key(VoGameEvent::KeyDown, -3);
  Key(VoGameEvent::KeyDown, 100000);
  host.MouseEvent(VoGameEvent::MouseDown, 600, 1, 1);
  host.MouseEvent(VoGameEvent::MouseDown, INT_MAX, 1, 1);
  EXPECT_EQ(InUpdate<int>([this] { return TotalHits(); }), 0);
  EXPECT_FALSE(vo_input_MouseDown(INT_MAX));
  // Touch -1 is not code 383 (joystick unit 3's last button).
  Key(VoGameEvent::KeyDown, 383);
  EXPECT_FALSE(vo_input_TouchDown(-1));
  EXPECT_FALSE(vo_input_KeyDown(0));
  EXPECT_EQ(vo_input_KeyHit(512), 0);
  EXPECT_FALSE(vo_input_MouseDown(-1));
  EXPECT_FALSE(vo_input_MouseDown(511));
  EXPECT_EQ(vo_input_MouseHit(-2), 0);
  EXPECT_EQ(vo_input_TouchX(32), 0.0f);
  EXPECT_EQ(vo_input_TouchY(-1), 0.0f);
}

// Touch indices beyond 31 have no code of their own: index 32 would alias the
// back key (416) and index 200 would reach past the tables.
TEST_F(InputTest, TouchesBeyondTheLastAreIgnored) {
  host.TouchEvent(VoGameEvent::TouchDown, 32, 1, 2);
  host.TouchEvent(VoGameEvent::TouchDown, 200, 1, 2);
  host.TouchEvent(VoGameEvent::TouchMove, -1, 1, 2);
  EXPECT_EQ(InUpdate<int>([this] { return TotalHits(); }), 0);
  EXPECT_FALSE(vo_input_KeyDown(416));
  EXPECT_EQ(vo_input_MouseX(), 0.0f);
}

TEST_F(InputTest, JoysticksArePolledInOrderUpToTheFirstMissingUnit) {
  VoJoystickState pad;
  pad.buttonCount = 32;
  pad.buttons[5] = true;
  host.SetJoystick(1, &pad);  // unit 0 is missing
  host.polled.clear();
  EXPECT_FALSE(InUpdate<bool>([] { return vo_input_JoyDown(5, 1); }));
  EXPECT_EQ(host.polled, (std::vector<int>{0}));

  VoJoystickState idle;
  idle.buttonCount = 32;
  host.SetJoystick(0, &idle);
  host.SetJoystick(3, &pad);  // after the gap at unit 2
  host.polled.clear();
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(293); }), 1);  // 256 + 32 + 5
  EXPECT_EQ(host.polled, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(vo_input_JoyDown(5, 1));
  EXPECT_FALSE(vo_input_JoyDown(5, 3));
  EXPECT_FALSE(vo_input_JoyDown(5, 0));
}

TEST_F(InputTest, JoystickButtonsFollowThePolls) {
  VoJoystickState pad;
  pad.buttonCount = 32;
  pad.buttons[31] = true;
  pad.axisCount = 2;
  pad.axes[0] = 0.5f;
  host.SetJoystick(0, &pad);
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(287); }), 1);
  // Held: down, but no second hit.
  EXPECT_EQ(InUpdate<int>([] { return vo_input_KeyHit(287); }), 0);
  EXPECT_TRUE(vo_input_JoyDown(31, 0));
  EXPECT_EQ(vo_input_JoyX(0, 0), 0.5f);
  pad.buttons[31] = false;
  host.SetJoystick(0, &pad);
  RunUpdates(1);
  EXPECT_FALSE(vo_input_JoyDown(31, 0));
  // A unit pulled out while a button is held releases that button.
  pad.buttons[31] = true;
  host.SetJoystick(0, &pad);
  RunUpdates(1);
  host.SetJoystick(0, nullptr);
  RunUpdates(1);
  EXPECT_FALSE(vo_input_JoyDown(31, 0));
}

TEST_F(InputTest, JoystickAxesOutsideTheUnitsReadZero) {
  VoJoystickState pad;
  pad.axisCount = 3;
  pad.axes[0] = 0.25f;
  pad.axes[1] = 0.5f;
  pad.axes[2] = 0.75f;
  host.SetJoystick(0, &pad);
  RunUpdates(1);
  EXPECT_EQ(vo_input_JoyX(0, 0), 0.25f);
  EXPECT_EQ(vo_input_JoyY(0, 0), -0.5f);  // the host turns down-positive into up-positive
  EXPECT_EQ(vo_input_JoyZ(0, 0), 0.75f);
  EXPECT_EQ(vo_input_JoyX(2, 0), 0.0f);
  EXPECT_EQ(vo_input_JoyY(-1, 0), 0.0f);
  EXPECT_EQ(vo_input_JoyZ(0, 4), 0.0f);
  EXPECT_EQ(vo_input_JoyX(0, -1), 0.0f);
  EXPECT_FALSE(vo_input_JoyDown(0, 1 << 30));
}

}  // namespace
