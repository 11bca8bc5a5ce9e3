// Unified controls: both control tables, the stick thresholds, iCade letters,
// pad-state decay, touch sampling, buttons, the on-screen pad and tilt.
#include <utility>

#include "tests/game/game_fixture.h"

namespace {

using gametest::GameTest;

class Controls : public GameTest {
 public:
  void key(int code, bool down) { input->p_KeyEvent(down ? VoGameEvent::KeyDown : VoGameEvent::KeyUp, code); }
  void type(int c) { input->p_KeyEvent(VoGameEvent::KeyChar, c); }
  // A joystick with only stick 0 pushed, or only one button held.
  void stick0(float x, float y) { joystick(x, y, 0, 0, 0, 0, {}); }
  void button(int b) { joystick(0, 0, 0, 0, 0, 0, {b}); }
  void noJoystickInput() { joystick(0, 0, 0, 0, 0, 0, {}); }
  void touch(int index, bool down, float x = 0, float y = 0) {
    input->p_TouchEvent(down ? VoGameEvent::TouchDown : VoGameEvent::TouchUp, index, x, y);
  }
  // The controls that read as held, in table order.
  std::vector<int> held() {
    std::vector<int> out;
    for (int c : {0, 3, 5, 8, 10, 11, 12, 13, 14, 15, 99})
      if (app->p_PlayKey(c, 0)) out.push_back(c);
    return out;
  }
  // Design units equal pixels, as after a render of a 640 x 480 window.
  void unitScale() {
    app->m_ScaleX = 1;
    app->m_ScaleY = 1;
  }
  // Button images of 64 x 64 design units at image resolution res.
  void buttonImage(int slot, int res) {
    app->m_ImgRes = res;
    app->m_ImgScale = 1.0f / float(res);
    app->m_ImgInfo[slot * 3] = 64 * res;
    app->m_ImgInfo[slot * 3 + 1] = 64 * res;
  }
};

// One row of a control table as the keyboard, joystick and pad see it.
struct Row {
  int control;
  std::vector<int> keys;
  std::vector<int> buttons;
  std::vector<int> pads;
};

const std::vector<Row> NormalRows = {
    {0, {38, 87}, {9}, {0}},
    {3, {37, 65}, {8}, {3}},
    {5, {39, 68}, {10}, {5}},
    {8, {40, 83}, {11}, {8}},
    {10, {90, 74, 32, 13}, {0}, {10}},
    {11, {88, 75, 17}, {1}, {11}},
    {12, {67, 76, 16}, {2}, {12}},
    {13, {86, 73}, {3}, {13}},
    {14, {66, 85}, {4}, {14}},
    {15, {78, 79}, {5}, {15}},
    {99, {27, 46, 8}, {6, 7}, {16, 17, 19}},
};

const std::vector<Row> ICadeRows = {
    {0, {38}, {9}, {0}},
    {3, {37}, {8}, {3}},
    {5, {39}, {10}, {5}},
    {8, {40}, {11}, {8}},
    {10, {32, 13}, {0}, {10}},
    {11, {17}, {1}, {11}},
    {12, {16}, {2}, {12}},
    {13, {}, {3}, {13}},
    {14, {}, {4}, {14}},
    {15, {}, {5}, {15}},
    {99, {27, 46, 8}, {7}, {16, 17, 19}},
};

// Each input of each row, alone, holds exactly that row's control; pad entries
// count at every value in padValues.
void expectRowsHold(Controls& t, const std::vector<Row>& rows, std::vector<int> padValues) {
  for (const Row& r : rows) {
    SCOPED_TRACE(r.control);
    for (int k : r.keys) {
      t.key(k, true);
      EXPECT_EQ(t.held(), std::vector<int>{r.control}) << "key " << k;
      t.key(k, false);
    }
    for (int b : r.buttons) {
      t.button(b);
      EXPECT_EQ(t.held(), std::vector<int>{r.control}) << "button " << b;
      t.noJoystickInput();
    }
    for (int p : r.pads) {
      for (int v : padValues) {
        t.app->m_PadState[p] = v;
        EXPECT_EQ(t.held(), std::vector<int>{r.control}) << "pad " << p;
      }
      t.app->m_PadState[p] = 0;
    }
  }
  EXPECT_TRUE(t.held().empty());
}

TEST_F(Controls, EveryNormalRowHoldsOnlyItsControl) { expectRowsHold(*this, NormalRows, {1, 2}); }

TEST_F(Controls, EveryICadeRowHoldsOnlyItsControl) {
  vo_Game_iCadeControls = 1;
  expectRowsHold(*this, ICadeRows, {2});
}

TEST_F(Controls, ICadeModeIgnoresLetterKeysTheStickAndBack) {
  vo_Game_iCadeControls = 1;
  for (int k : {87, 65, 68, 83, 90, 74, 88, 75, 67, 76, 86, 73, 66, 85, 78, 79}) {
    key(k, true);
    EXPECT_TRUE(held().empty()) << "key " << k;
    key(k, false);
  }
  joystick(1, 1, 0, 0, 0, 0, {6});  // stick 0 up-right, BACK
  EXPECT_TRUE(held().empty());
}

TEST_F(Controls, OtherControlNumbersAndModesReadAsNotHeld) {
  app->m_PadState[16] = 2;
  EXPECT_FALSE(app->p_PlayKey(16, 0));
  EXPECT_TRUE(app->p_PlayKey(99, 0));
  key(38, true);
  EXPECT_FALSE(app->p_PlayKey(1, 0));
  EXPECT_FALSE(app->p_PlayKey(-1, 0));
  vo_Game_iCadeControls = 2;
  EXPECT_TRUE(held().empty());
}

TEST_F(Controls, StickThresholdsAreStrict) {
  const std::pair<float, std::vector<int>> xs[] = {{0.4f, {}}, {0.41f, {5}}, {-0.4f, {}}, {-0.41f, {3}}};
  for (const auto& c : xs) {
    stick0(c.first, 0);
    EXPECT_EQ(held(), c.second) << "x " << c.first;
  }
  const std::pair<float, std::vector<int>> ys[] = {{0.4f, {}}, {0.41f, {0}}, {-0.4f, {}}, {-0.41f, {8}}};
  for (const auto& c : ys) {
    stick0(0, c.first);
    EXPECT_EQ(held(), c.second) << "y " << c.first;
  }
  // Stick 1 does not steer.
  joystick(0, 0, 1, 1, 0, 0, {});
  EXPECT_TRUE(held().empty());
}

TEST_F(Controls, JoystickUnitsBeyondTheDeviceReadNothing) {
  joystick(1, 0, 0, 0, 0, 0, {0});
  EXPECT_TRUE(app->p_PlayKey(10, 0));
  EXPECT_FALSE(app->p_PlayKey(10, 1));
  EXPECT_FALSE(app->p_PlayKey(5, 9));
  EXPECT_FALSE(app->p_PlayKey(5, -1));
  EXPECT_EQ(app->p_StickX(0, 7), 0.0f);
  EXPECT_EQ(app->p_Trigger(0, -3), 0.0f);
}

TEST_F(Controls, AnalogueAccessors) {
  joystick(0.25f, 0.5f, -0.75f, 0.5f, 0, 0.875f, {});
  EXPECT_EQ(app->p_StickX(0, 0), 0.25f);
  EXPECT_EQ(app->p_StickX(1, 0), -0.75f);
  // The two sticks read with opposite y conventions.
  EXPECT_EQ(app->p_StickY(0, 0), -0.5f);
  EXPECT_EQ(app->p_StickY(1, 0), 0.5f);
  EXPECT_EQ(app->p_Trigger(1, 0), 0.875f);
  EXPECT_EQ(app->p_Trigger(0, 0), 0.0f);
}

TEST_F(Controls, ICadeLetterPairsPressAndRelease) {
  app->p_iCade(1);
  const struct {
    char press, release;
    int control;
  } pairs[] = {{'w', 'e', 0},  {'x', 'z', 8},  {'a', 'q', 3},  {'d', 'c', 5},  {'y', 't', 13}, {'u', 'f', 14},
               {'i', 'm', 15}, {'h', 'r', 10}, {'j', 'n', 11}, {'k', 'p', 12}, {'o', 'g', 99}, {'l', 'v', 99}};
  for (const auto& p : pairs) {
    for (int upper : {0, 1}) {
      SCOPED_TRACE(testing::Message() << p.press << upper);
      type(upper ? p.press - 32 : p.press);
      app->p_UpdateControls();
      input->p_EndUpdate();
      EXPECT_EQ(held(), std::vector<int>{p.control});
      // Held letters survive the decay of further updates.
      app->p_UpdateControls();
      EXPECT_EQ(held(), std::vector<int>{p.control});
      type(upper ? p.release - 32 : p.release);
      app->p_UpdateControls();
      input->p_EndUpdate();
      EXPECT_TRUE(held().empty());
    }
  }
  // Other characters change nothing; the queue is read to its end.
  type('b');
  type('1');
  type('W');
  app->p_UpdateControls();
  EXPECT_EQ(held(), std::vector<int>{0});
  EXPECT_EQ(app->m_LastChar, 0);
  EXPECT_EQ(app->m_PadState[16], 0);
}

TEST_F(Controls, LettersAreIgnoredOutsideICadeMode) {
  type('w');
  app->p_UpdateControls();
  EXPECT_EQ(app->m_PadState[0], 0);
  EXPECT_EQ(input->p_GetChar(), 'w');  // left for others to read
}

TEST_F(Controls, SwitchingICadeMode) {
  type('q');
  type('w');
  app->p_iCade(1);
  EXPECT_EQ(vo_Game_iCadeControls, 1);
  EXPECT_TRUE(host.KeyboardEnabled());
  EXPECT_EQ(input->p_GetChar(), 0);  // the queue was drained and discarded
  EXPECT_EQ(app->m_LastChar, 0);

  for (int i = 0; i < 20; ++i) app->m_PadState[i] = 2;
  app->p_iCade(0);
  EXPECT_EQ(vo_Game_iCadeControls, 0);
  EXPECT_FALSE(host.KeyboardEnabled());
  for (int i = 0; i < 19; ++i) EXPECT_EQ(app->m_PadState[i], 0) << i;
  EXPECT_EQ(app->m_PadState[19], 2);

  app->p_iCade(5);
  EXPECT_EQ(vo_Game_iCadeControls, 0);
  EXPECT_FALSE(host.KeyboardEnabled());
}

TEST_F(Controls, PadDecayClearsOnePressAfterTheScreenSawIt) {
  for (int i = 0; i < 20; ++i) app->m_PadState[i] = i % 2 + 1;  // 1, 2, 1, 2...
  app->p_UpdateControls();
  for (int i = 0; i < 19; ++i) EXPECT_EQ(app->m_PadState[i], i % 2 == 0 ? 0 : 2) << i;
  EXPECT_EQ(app->m_PadState[19], 2);
  app->m_PadState[19] = 1;
  app->p_DecayPad();
  EXPECT_EQ(app->m_PadState[19], 1);
}

TEST_F(Controls, ICadeTranslationRunsBeforeTheDecay) {
  // A press letter of an entry that an on-screen press left at 1 is held on.
  app->p_iCade(1);
  app->m_PadState[10] = 1;
  type('h');
  app->p_UpdateControls();
  EXPECT_EQ(app->m_PadState[10], 2);
}

TEST_F(Controls, TouchSamplingInDesignUnits) {
  app->m_ScaleX = 2;
  app->m_ScaleY = 2;
  input->p_MouseEvent(VoGameEvent::MouseMove, 0, 101, 51);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_MouseX, 50);
  EXPECT_EQ(app->m_MouseY, 25);
  EXPECT_EQ(app->m_Touching, 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(app->m_TouchDown[i], 0);
    EXPECT_EQ(app->m_TouchX[i], -3717);
    EXPECT_EQ(app->m_TouchY[i], -3717);
  }
  // A press after a move shows no movement on its first update.
  input->p_MouseEvent(VoGameEvent::MouseDown, 0, 201, 99);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_MouseX, 100);
  EXPECT_EQ(app->m_MousePrevX, 100);
  EXPECT_EQ(app->m_MousePrevY, 49);
  EXPECT_EQ(app->m_Touching, 1);
  EXPECT_EQ(app->m_MouseHit, 1);
  EXPECT_EQ(app->m_TouchDown[0], 1);  // a click is also touch 0
  EXPECT_EQ(app->m_TouchX[0], 100);
  input->p_EndUpdate();
  // Dragging then does show movement.
  input->p_MouseEvent(VoGameEvent::MouseMove, 0, 221, 99);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_MousePrevX, 100);
  EXPECT_EQ(app->m_MouseX, 110);
  EXPECT_EQ(app->m_MouseHit, 0);
  // Touch 9 counts, touch 10 is beyond the sampled ten.
  input->p_MouseEvent(VoGameEvent::MouseUp, 0, 0, 0);
  touch(9, true, 40, 60);
  touch(10, true, 40, 60);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_TouchDown[9], 1);
  EXPECT_EQ(app->m_TouchX[9], 20);
  EXPECT_EQ(app->m_TouchY[9], 30);
  EXPECT_EQ(app->m_Touching, 1);
  touch(9, false);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_Touching, 0);
}

TEST_F(Controls, TouchSamplingBeforeTheFirstRender) {
  // The scale is 0 until the first render; positions pass through.
  input->p_MouseEvent(VoGameEvent::MouseDown, 0, 30, 40);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_MouseX, 30);
  EXPECT_EQ(app->m_MouseY, 40);
  EXPECT_EQ(app->m_TouchX[0], 30);
}

TEST_F(Controls, ButtonHitBoxesAtEveryResolution) {
  unitScale();
  for (int res : {1, 2, 4}) {
    SCOPED_TRACE(res);
    buttonImage(95, res);
    app->p_CLS2D();
    touch(0, true, 100 + 31, 200 - 31);
    app->p_SampleTouch();
    EXPECT_EQ(app->p_Button(95, 100, 200, 3), 1);
    EXPECT_EQ(app->m_ButtonHit, 1);
    touch(0, false);
    touch(0, true, 100 + 32, 200);  // on the edge: outside
    app->p_SampleTouch();
    EXPECT_EQ(app->p_Button(95, 100, 200, 3), 0);
    app->p_SetSize(1.5f);
    EXPECT_EQ(app->p_Button(95, 100, 200, 3), 1);  // 48 units wide each side now
    touch(0, false);
    app->p_SampleTouch();
    EXPECT_EQ(app->p_Button(95, 100, 200, 3), 0);
    // The button is drawn every time, centred on its position.
    EXPECT_EQ(entries(), 4);
    EXPECT_EQ(entry(0, 0), 95);
    EXPECT_EQ(entry(0, 1), 100);
    EXPECT_EQ(entry(0, 6), 3);
  }
}

TEST_F(Controls, AnyOfTenTouchesHitsAButtonButOnlyTouchZeroHitsButton0) {
  unitScale();
  buttonImage(94, 1);
  app->p_ResetDraw();
  touch(3, true, 10, 10);
  app->p_SampleTouch();
  app->m_ButtonHit = 7;
  EXPECT_FALSE(app->p_Button0(94, 10, 10, 0));
  EXPECT_EQ(app->m_ButtonHit, 7);
  EXPECT_EQ(app->p_Button(94, 10, 10, 0), 1);
  touch(0, true, 12, 8);
  app->p_SampleTouch();
  app->m_ButtonHit = 0;
  EXPECT_TRUE(app->p_Button0(94, 10, 10, 0));
  EXPECT_EQ(app->m_ButtonHit, 0);
}

class OnScreenPad : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    vo_Game_OnScreenControls = 1;
    app->m_State = 10;
    unitScale();
    buttonImage(94, 1);
    app->m_ImgInfo[94 * 3] = 32;
    app->m_ImgInfo[94 * 3 + 1] = 32;
    app->m_Settings[10] = 100;
    app->m_Settings[11] = 100;
    app->m_Settings[12] = 10;
  }
  // One update's control steps with the given touches down.
  void update(std::vector<std::pair<float, float>> touches) {
    for (int i = 0; i < 2; ++i) {
      if (i < int(touches.size())) {
        touch(i, false);
        touch(i, true, touches[i].first, touches[i].second);
      } else {
        touch(i, false);
      }
    }
    app->p_SampleTouch();
    app->p_CLS2D();
    app->p_UpdateControls();
  }
};

TEST_F(OnScreenPad, PressIsSeenByTheNextScreenAndGoneAfterItsDecay) {
  update({{68, 380}});  // the left button: (100 - 32, 480 - 100)
  EXPECT_EQ(app->m_PadState[3], 1);
  EXPECT_EQ(held(), std::vector<int>{3});
  update({});
  EXPECT_EQ(app->m_PadState[3], 0);
  EXPECT_TRUE(held().empty());
}

TEST_F(OnScreenPad, DirectionsAndActionButtons) {
  const std::pair<std::pair<float, float>, int> presses[] = {{{100, 348}, 0},
                                                             {{100, 412}, 8},
                                                             {{132, 380}, 5},
                                                             // Action buttons mirror the pad: (640 - (100 - 24), 380 -
                                                             // 24) and (640 - (100 + 24), 380 + 24).
                                                             {{564, 356}, 10},
                                                             {{516, 404}, 11}};
  for (const auto& p : presses) {
    update({p.first});
    EXPECT_EQ(app->m_PadState[p.second], 1) << p.second;
    update({});
  }
}

TEST_F(OnScreenPad, ClampsTheSavedPlaceAndSize) {
  app->m_Settings[10] = 5;
  app->m_Settings[11] = 1000;
  app->m_Settings[12] = 40;
  update({});
  EXPECT_EQ(app->m_PadX, 32);
  EXPECT_EQ(app->m_Settings[11], 448);
  EXPECT_EQ(app->m_PadY, 32);
  EXPECT_EQ(app->m_PadScale, 2.5f);
  EXPECT_EQ(app->m_Settings[12], 25);
  // The centre is drawn at the clamped place with the pad's scale.
  bool centre = false;
  for (int n = 0; n < entries(); ++n)
    if (entry(n, 0) == 94 && entry(n, 6) == 5)
      centre = entry(n, 1) == 32 && entry(n, 2) == 32 && entry(n, 4) == 2.5f && entry(n, 7) == 0.6f;
  EXPECT_TRUE(centre);
  app->m_Settings[12] = 2;
  update({});
  EXPECT_EQ(app->m_PadScale, 0.8f);
}

TEST_F(OnScreenPad, OffOutsidePlayAndInICadeMode) {
  app->m_State = 5;
  update({{68, 380}});
  EXPECT_EQ(app->m_DrawCount, 0);
  app->m_State = 10;
  vo_Game_iCadeControls = 1;
  update({{68, 380}});
  EXPECT_EQ(app->m_DrawCount, 0);
  EXPECT_EQ(app->m_PadState[3], 0);
}

TEST_F(OnScreenPad, PausedDirectionsDoNothingButActionsWork) {
  app->m_Paused = 1;
  update({{564, 356}});
  EXPECT_EQ(app->m_PadState[10], 1);
  update({{68, 380}});
  EXPECT_EQ(app->m_PadState[3], 0);
  // The left button lies inside the paused pad's grab box, so the pad follows.
  EXPECT_EQ(app->m_Settings[10], 68);
}

TEST_F(OnScreenPad, PausedPadFollowsTheFingerAndPinchResizes) {
  app->m_Paused = 1;
  update({{120, 390}});  // inside the centre's 3x box
  EXPECT_EQ(app->m_Settings[10], 120);
  EXPECT_EQ(app->m_Settings[11], 90);
  update({{200, 300}});  // outside: the pad stays
  EXPECT_EQ(app->m_Settings[10], 120);

  // Two fingers 32 apart, then 64 apart: two tenths larger.
  update({{300, 100}, {332, 100}});
  EXPECT_EQ(app->m_PinchOn, 1);
  EXPECT_EQ(app->m_PinchLast, -2);
  EXPECT_EQ(app->m_Settings[12], 10);
  update({{300, 100}, {364, 100}});
  EXPECT_EQ(app->m_Settings[12], 12);
  update({{300, 100}});
  EXPECT_EQ(app->m_PinchOn, 0);
  EXPECT_EQ(app->m_PinchLast, 0);
}

TEST_F(Controls, TiltSmoothsCalibratesAndDrawsItsDot) {
  vo_Game_AccelerometerControls = 1;
  unitScale();
  buttonImage(97, 1);
  input->p_MotionEvent(VoGameEvent::MotionAccel, 0, 1.0f, -0.5f, 0);
  app->p_CLS2D();
  app->p_TiltIndicator();
  EXPECT_EQ(app->m_TiltX, 1.0f);
  EXPECT_EQ(app->m_TiltSmoothX, 0.25f);
  EXPECT_EQ(app->m_TiltSmoothY, -0.125f);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(entry(0, 0), 97);  // the calibration button
  EXPECT_EQ(entry(0, 4), 1.5f);
  EXPECT_EQ(entry(1, 0), DrawKindOval);
  EXPECT_EQ(entry(1, 1), 29);
  EXPECT_EQ(entry(1, 2), 456 - 2.5f);
  EXPECT_EQ(entry(1, 11), 255);
  EXPECT_EQ(entry(1, 7), 0.6f);
  for (int i = 0; i < 60; ++i) app->p_TiltIndicator();
  EXPECT_EQ(app->m_TiltSmoothX, 1.0f);  // snapped once close
  // Touching the button takes the current reading as level.
  touch(0, true, 24, 456);
  app->p_SampleTouch();
  app->p_TiltIndicator();
  EXPECT_EQ(app->m_TiltZeroX, 1.0f);
  EXPECT_EQ(app->m_TiltZeroY, -0.5f);
  app->p_TiltIndicator();
  EXPECT_EQ(app->m_TiltX, 0.0f);
  // iCade mode holds all four values at 0 and draws nothing.
  vo_Game_iCadeControls = 1;
  app->p_CLS2D();
  app->p_TiltIndicator();
  EXPECT_EQ(app->m_TiltSmoothX, 0.0f);
  EXPECT_EQ(app->m_TiltY, 0.0f);
  EXPECT_EQ(app->m_DrawCount, 0);
}

}  // namespace
