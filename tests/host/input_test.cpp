// Key translation, key characters, the callbacks' event sequences and the
// joystick mapping, without a window.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "tests/support/test_host.h"

namespace {

// Letters and digits keep their codes; a few anchors of the other keys, and keys without a code. Delete and
// Backspace: below.
TEST(Input, KeyCodesAndCharacters) {
  for (int c = '0'; c <= 'Z'; c += c == '9' ? 'A' - '9' : 1)
    EXPECT_EQ(VoGlfwGame::TransKey(c), c) << "keeps its letter";
  const int codes[][2] = {{GLFW_KEY_F1, 112},         {GLFW_KEY_F10, 121},       {GLFW_KEY_F12, 123},
                          {GLFW_KEY_BACKSLASH, 220},  {GLFW_KEY_ESCAPE, 27},     {GLFW_KEY_LEFT, 37},
                          {GLFW_KEY_APOSTROPHE, 222}, {GLFW_KEY_RIGHT_SHIFT, 16}};
  for (const auto& c : codes) EXPECT_EQ(VoGlfwGame::TransKey(c[0]), c[1]) << "GLFW key " << c[0];
  for (int key : {GLFW_KEY_F13, GLFW_KEY_KP_0, GLFW_KEY_LEFT_ALT, GLFW_KEY_CAPS_LOCK, int('a'), -1, 400})
    EXPECT_EQ(VoGlfwGame::TransKey(key), 0) << "GLFW key " << key;
  const int chars[][2] = {{13, 13}, {37, 65573}, {65, 0}, {16, 0}};
  for (const auto& c : chars) EXPECT_EQ(VoGlfwGame::KeyToChar(c[0]), c[1]) << "key " << c[0];
}

TEST(Input, CallbacksSendDownCharacterAndUp) {
  VoTestHost host;
  auto* delegate = new VoRecordingDelegate();
  host.SetDelegate(delegate);
  host.StartGame();
  delegate->log.clear();
  VoGlfwGame::OnKey(GLFW_KEY_DELETE, GLFW_PRESS);
  VoGlfwGame::OnKey(GLFW_KEY_DELETE, GLFW_RELEASE);
  VoGlfwGame::OnKey(GLFW_KEY_BACKSPACE, GLFW_REPEAT);
  VoGlfwGame::OnKey(GLFW_KEY_LEFT_ALT, GLFW_PRESS);
  VoGlfwGame::OnKey('A', GLFW_PRESS);
  VoGlfwGame::OnChar('a', GLFW_PRESS);
  VoGlfwGame::OnChar(0x1F600, GLFW_PRESS);
  VoGlfwGame::OnMousePos(12, 34);
  EXPECT_EQ(VoGlfwGame::OnWindowClose(), 0);
  EXPECT_EQ(delegate->log,
            (std::vector<std::string>{"key 1 46", "key 3 127", "key 2 46", "key 1 8", "key 3 8", "key 1 65", "key 3 97",
                                      "key 3 55357", "key 3 56832", "mouse 6 -1 12 34", "key 1 432", "key 2 432"}));
}

TEST(Input, JoystickMapping) {
  Array<float> x(2), y(2), z(2);
  Array<bool> buttons(32);
  auto sticks = [&] { return std::vector<float>{x[0], y[0], z[0], x[1], y[1], z[1]}; };
  VoJoystickState s;
  s.axisCount = 5;  // a five-axis pad swaps axes 3 and 4
  for (int i = 0; i < 5; ++i) s.axes[i] = 0.1f * static_cast<float>(i + 1);
  s.buttonCount = 3;
  s.buttons[1] = s.buttons[5] = true;
  buttons[20] = true;
  VoMapJoystick(s, x, y, z, buttons);
  EXPECT_EQ(sticks(), (std::vector<float>{0.1f, -0.2f, 0.3f, 0.5f, -0.4f, 0}));
  EXPECT_TRUE(buttons[1]);
  EXPECT_FALSE(buttons[5]) << "beyond the count: not read";
  EXPECT_TRUE(buttons[20]);
  VoJoystickState pad;
  pad.gamepad = true;
  const float axes[6] = {0.5f, -1.0f, -0.25f, 0.75f, -1.0f, 1.0f};
  std::copy(axes, axes + 6, pad.padAxes);
  for (int b : {GLFW_GAMEPAD_BUTTON_A, GLFW_GAMEPAD_BUTTON_BACK, GLFW_GAMEPAD_BUTTON_DPAD_UP,
                GLFW_GAMEPAD_BUTTON_DPAD_LEFT, GLFW_GAMEPAD_BUTTON_GUIDE})
    pad.padButtons[b] = true;
  VoMapJoystick(pad, x, y, z, buttons);
  EXPECT_EQ(sticks(), (std::vector<float>{0.5f, 1, 0, -0.25f, -0.75f, 1}));
  std::vector<int> down;
  for (int i = 0; i < 32; ++i)
    if (buttons[i]) down.push_back(i);
  EXPECT_EQ(down, (std::vector<int>{0, 6, 8, 9})) << "A, BACK, LEFT and UP; not the guide button";
}

}  // namespace
