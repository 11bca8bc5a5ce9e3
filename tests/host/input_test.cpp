// Key translation, key characters, the callbacks' event sequences and the
// joystick mapping, all without a window.
#include <gtest/gtest.h>

#include "tests/support/test_host.h"

namespace {

// GLFW 3 key codes used below (from GLFW's key table).
enum {
  kSpace = 32,
  kApostrophe = 39,
  kComma = 44,
  kMinus = 45,
  kPeriod = 46,
  kSlash = 47,
  kSemicolon = 59,
  kEqual = 61,
  kLeftBracket = 91,
  kBackslash = 92,
  kRightBracket = 93,
  kGrave = 96,
  kEscape = 256,
  kEnter = 257,
  kTab = 258,
  kBackspace = 259,
  kInsert = 260,
  kDelete = 261,
  kRight = 262,
  kLeft = 263,
  kDown = 264,
  kUp = 265,
  kPageUp = 266,
  kPageDown = 267,
  kHome = 268,
  kEnd = 269,
  kCapsLock = 280,
  kF1 = 290,
  kF12 = 301,
  kF13 = 302,
  kKeypad0 = 320,
  kKeypadEnter = 335,
  kLeftShift = 340,
  kLeftControl = 341,
  kLeftAlt = 342,
  kLeftSuper = 343,
  kRightShift = 344,
  kRightControl = 345,
  kRightAlt = 346,
  kMenu = 348,
};

TEST(TransKey, FollowsTheVirtualKeyNumbering) {
  const int pairs[][2] = {
      {kSpace, 32},        {kApostrophe, 222}, {kComma, 188},        {kMinus, 189},   {kPeriod, 190}, {kSlash, 191},
      {'0', 48},           {'9', 57},          {kSemicolon, 186},    {kEqual, 187},   {'A', 65},      {'Z', 90},
      {kLeftBracket, 219}, {kBackslash, 220},  {kRightBracket, 221}, {kGrave, 192},   {kEscape, 27},  {kF1, 112},
      {kF12, 123},         {kUp, 38},          {kDown, 40},          {kLeft, 37},     {kRight, 39},   {kLeftShift, 16},
      {kRightShift, 16},   {kLeftControl, 17}, {kRightControl, 17},  {kTab, 9},       {kEnter, 13},   {kBackspace, 8},
      {kInsert, 45},       {kDelete, 46},      {kPageUp, 33},        {kPageDown, 34}, {kHome, 36},    {kEnd, 35},
  };
  for (const auto& p : pairs) EXPECT_EQ(VoGlfwGame::TransKey(p[0]), p[1]) << "GLFW key " << p[0];
}

TEST(TransKey, IgnoresKeysOutsideTheTable) {
  for (int key : std::initializer_list<int>{kLeftAlt, kRightAlt, kLeftSuper, kKeypad0, kKeypadEnter, kF13, kCapsLock,
                                            kMenu, -1, 0, 31, 'a', 126, 400})
    EXPECT_EQ(VoGlfwGame::TransKey(key), 0) << "GLFW key " << key;
}

TEST(KeyToChar, EditingKeysTypeControlCodesNavigationKeysPrivateCodes) {
  EXPECT_EQ(VoGlfwGame::KeyToChar(8), 8);
  EXPECT_EQ(VoGlfwGame::KeyToChar(9), 9);
  EXPECT_EQ(VoGlfwGame::KeyToChar(13), 13);
  EXPECT_EQ(VoGlfwGame::KeyToChar(27), 27);
  EXPECT_EQ(VoGlfwGame::KeyToChar(46), 127);
  for (int key : {33, 34, 35, 36, 37, 38, 39, 40, 45}) EXPECT_EQ(VoGlfwGame::KeyToChar(key), key + 65536) << key;
  for (int key : {16, 17, 32, 41, 44, 65, 112, 222}) EXPECT_EQ(VoGlfwGame::KeyToChar(key), 0);
}

class CallbackTest : public ::testing::Test {
 protected:
  VoTestHost host;
  VoRecordingDelegate* delegate = new VoRecordingDelegate();
  void SetUp() override {
    host.SetDelegate(delegate);
    host.StartGame();
    delegate->log.clear();
  }
  using Log = std::vector<std::string>;
};

TEST_F(CallbackTest, KeysSendDownCharacterAndUp) {
  VoGlfwGame::OnKey(kDelete, 1);
  VoGlfwGame::OnKey(kDelete, 0);
  VoGlfwGame::OnKey(kLeft, 1);
  VoGlfwGame::OnKey('A', 1);
  VoGlfwGame::OnChar('a', 1);
  EXPECT_EQ(delegate->log,
            (Log{"key 1 46", "key 3 127", "key 2 46", "key 1 37", "key 3 65573", "key 1 65", "key 3 97"}));
}

TEST_F(CallbackTest, RepeatIsAnotherPressAndUnknownKeysAreDropped) {
  VoGlfwGame::OnKey(kBackspace, 1);
  VoGlfwGame::OnKey(kBackspace, 2);
  VoGlfwGame::OnKey(kLeftAlt, 1);
  VoGlfwGame::OnKey(kKeypad0, 1);
  VoGlfwGame::OnKey(kRightShift, 1);
  EXPECT_EQ(delegate->log, (Log{"key 1 8", "key 3 8", "key 1 8", "key 3 8", "key 1 16"}));
}

TEST_F(CallbackTest, CharactersBeyondSixteenBitsArriveAsSurrogatePairs) {
  VoGlfwGame::OnChar(0xE9, 1);
  VoGlfwGame::OnChar(0x1F600, 1);
  VoGlfwGame::OnChar('x', 0);
  EXPECT_EQ(delegate->log, (Log{"key 3 233", "key 3 55357", "key 3 56832"}));
}

TEST_F(CallbackTest, MotionAndClose) {
  VoGlfwGame::OnMousePos(12, 34);
  EXPECT_EQ(VoGlfwGame::OnWindowClose(), 0);
  EXPECT_EQ(delegate->log, (Log{"mouse 6 -1 12 34", "key 1 432", "key 2 432"}));
}

// The four arrays of one joystick unit as the input device holds them.
struct Unit {
  Array<float> x{2}, y{2}, z{2};
  Array<bool> buttons{32};
};

TEST(JoystickMapping, FourAxisPadHasItsSecondStickInSlotOneAndNoTriggers) {
  VoJoystickState s;
  s.axisCount = 4;
  float axes[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  for (int i = 0; i < 4; ++i) s.axes[i] = axes[i];
  Unit u;
  VoMapJoystick(s, u.x, u.y, u.z, u.buttons);
  EXPECT_FLOAT_EQ(u.x[0], 0.1f);
  EXPECT_FLOAT_EQ(u.y[0], -0.2f) << "up is positive";
  EXPECT_FLOAT_EQ(u.x[1], 0.4f);
  EXPECT_FLOAT_EQ(u.y[1], -0.3f);
  EXPECT_EQ(u.z[0], 0.0f);
  EXPECT_EQ(u.z[1], 0.0f);
}

TEST(JoystickMapping, FiveAxisPadSwapsAxesThreeAndFour) {
  VoJoystickState s;
  s.axisCount = 5;
  for (int i = 0; i < 5; ++i) s.axes[i] = 0.1f * static_cast<float>(i + 1);
  Unit u;
  VoMapJoystick(s, u.x, u.y, u.z, u.buttons);
  EXPECT_FLOAT_EQ(u.z[0], 0.3f);
  EXPECT_FLOAT_EQ(u.x[1], 0.5f);
  EXPECT_FLOAT_EQ(u.y[1], -0.4f);
  EXPECT_EQ(u.z[1], 0.0f);
}

TEST(JoystickMapping, RawButtonsBeyondTheCountKeepTheirValues) {
  VoJoystickState s;
  s.axisCount = 6;
  s.buttonCount = 3;
  s.buttons[1] = true;
  s.buttons[5] = true;  // beyond the count: not read
  Unit u;
  u.buttons[0] = true;
  u.buttons[20] = true;
  VoMapJoystick(s, u.x, u.y, u.z, u.buttons);
  EXPECT_FALSE(u.buttons[0]);
  EXPECT_TRUE(u.buttons[1]);
  EXPECT_FALSE(u.buttons[5]);
  EXPECT_TRUE(u.buttons[20]);
}

TEST(JoystickMapping, GamepadUsesTheGamesButtonNumbersAndTriggerRange) {
  VoJoystickState s;
  s.gamepad = true;
  // GLFW gamepad axes: left x, left y, right x, right y, left trigger, right trigger.
  float axes[6] = {0.5f, -1.0f, -0.25f, 0.75f, -1.0f, 1.0f};
  for (int i = 0; i < 6; ++i) s.padAxes[i] = axes[i];
  // GLFW gamepad buttons: 0 A, 6 back, 11 d-pad up, 14 d-pad left, 8 guide.
  s.padButtons[0] = true;
  s.padButtons[6] = true;
  s.padButtons[11] = true;
  s.padButtons[14] = true;
  s.padButtons[8] = true;
  Unit u;
  u.buttons[20] = true;
  VoMapJoystick(s, u.x, u.y, u.z, u.buttons);
  EXPECT_FLOAT_EQ(u.x[0], 0.5f);
  EXPECT_FLOAT_EQ(u.y[0], 1.0f) << "stick pushed up";
  EXPECT_FLOAT_EQ(u.x[1], -0.25f);
  EXPECT_FLOAT_EQ(u.y[1], -0.75f);
  EXPECT_FLOAT_EQ(u.z[0], 0.0f) << "released trigger";
  EXPECT_FLOAT_EQ(u.z[1], 1.0f) << "pressed trigger";
  std::vector<int> down;
  for (int i = 0; i < 32; ++i)
    if (u.buttons[i]) down.push_back(i);
  // A 0, BACK 6, LEFT 8, UP 9; the guide button and stale entries are not held.
  EXPECT_EQ(down, (std::vector<int>{0, 6, 8, 9}));
}

TEST(PollJoystick, MissingPadLeavesTheArraysAlone) {
  VoTestHost host;
  Unit u;
  u.x[0] = 0.5f;
  EXPECT_FALSE(host.PollJoystick(0, u.x, u.y, u.z, u.buttons));
  EXPECT_FALSE(host.PollJoystick(7, u.x, u.y, u.z, u.buttons));
  EXPECT_FLOAT_EQ(u.x[0], 0.5f);
  VoJoystickState pad;
  pad.axisCount = 2;
  pad.axes[0] = -1.0f;
  host.SetJoystick(2, &pad);
  EXPECT_TRUE(host.PollJoystick(2, u.x, u.y, u.z, u.buttons));
  EXPECT_FLOAT_EQ(u.x[0], -1.0f);
  host.SetJoystick(2, nullptr);
  EXPECT_FALSE(host.PollJoystick(2, u.x, u.y, u.z, u.buttons));
}

}  // namespace
