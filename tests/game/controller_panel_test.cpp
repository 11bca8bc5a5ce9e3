// The controller panel (F9) and the joystick notices, on the test host with
// scripted joysticks: what each port shows, the mapping path, that the panel
// leaves the game alone, and devices coming and going (also mid-frame).
#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr int kF9 = 120;
constexpr const char* kRawGuid = "0300000012340000abcd000001000000";
constexpr const char* kPadGuid = "03000000de280000ff11000001000000";

class ControllerPanelTest : public GameTest {
 public:
  // One update of the panel, with F9 pressed first when asked; returns the
  // first display-list entry the panel appended.
  int update(bool f9 = false) {
    if (f9) {
      key(kF9, true);
      key(kF9, false);
    }
    input->p_BeginUpdate();
    const int before = entries();
    app->p_ControllerPanel();
    input->p_EndUpdate();
    return before;
  }
  bool shows(int from, const std::string& s) const { return drawnText(from).find(s) != std::string::npos; }
};

// Two axes, three buttons with the second pressed, and a hat pushed up, which
// the window system also reports as the fourth button.
VoJoystickInfo rawStick() {
  VoJoystickInfo info;
  info.name = "Raw Stick";
  info.guid = kRawGuid;
  info.axisCount = info.state.axisCount = 2;
  info.axes[0] = info.state.axes[0] = 0.5f;
  info.axes[1] = info.state.axes[1] = -1.0f;
  info.buttonCount = 3;
  info.buttons[1] = true;
  info.hatCount = 1;
  info.hats[0] = 1;
  info.state.buttonCount = 7;
  info.state.buttons[1] = info.state.buttons[3] = true;
  return info;
}

VoJoystickInfo pad(const char* guid) {
  VoJoystickInfo info;
  info.name = "Some Pad";
  info.guid = guid;
  info.buttonCount = 2;
  info.buttons[0] = true;
  info.state.padButtons[0] = true;  // A, as the mapping reads raw button 0
  info.state.padAxes[4] = -1;
  return info;
}

TEST_F(ControllerPanelTest, ShowsEachPortAsTheHostDescribesIt) {
  app->p_LoadFont(kImgFont, String("fonts/tessel"), 7, 10);
  host.AddGamepadMappings(std::string(kPadGuid) + ",My Pad,a:b0,b:b1,platform:Linux,\n", "SDL_GAMECONTROLLERCONFIG");
  const struct {
    int port;
    VoJoystickInfo info;
    std::vector<std::string> shown;
    int lit;  // marks drawn lit
  } cases[] = {
      // An unmapped device on the game's port: raw inputs and the controls they hold.
      {0,
       rawStick(),
       {"Port 1 (drives the game): connected", "Raw Stick", std::string("GUID ") + kRawGuid, "no mapping: raw layout",
        "+0.50 3/5", "-1.00 0/8", "10 11 12", "U0 R0 D0 L0", "13 14 15 99", "Port 4: not connected"},
       2},
      // A mapped device on the game's port: the gamepad layout and its controls.
      {0,
       pad(kPadGuid),
       {"mapping: My Pad", "LX", "-1.00 -", "A  B  X  Y  LB RB", "10 11 12 13 14 15 99 99 -  -  -  0  5  8  3"},
       2},
      // A mapped device on another port drives no control.
      {2, pad(kPadGuid), {"Port 3: connected", "mapping: My Pad", "-  -  -  -  -  -  -  -"}, 2},
      // A GUID with no mapping added stays raw.
      {3, pad("03000000000000000000000000000000"), {"no mapping: raw layout"}, 1},
  };
  for (const auto& c : cases) {
    for (int port = 0; port < 4; ++port) host.SetJoystick(port, nullptr);
    host.PlugJoystick(c.port, c.info);
    app->m_Controllers.open = true;
    const int from = update();
    for (const std::string& s : c.shown) EXPECT_TRUE(shows(from, s)) << s << " in" << drawnText(from);
    EXPECT_EQ(drawn(DrawKindRect, {255, 220, 0}, from).size(), size_t(c.lit)) << "lit marks; " << c.shown[0];
  }
}

// A device plugged in and pulled out mid-frame is printed and noticed for two
// seconds; F9 opens the panel over the game's list and draw state untouched.
TEST_F(ControllerPanelTest, NoticesAndF9LeaveTheGameAlone) {
  app->p_LoadFont(kImgFont, String("fonts/tessel"), 7, 10);
  host.PlugJoystick(0, rawStick());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(shows(update(), "Joystick 1 connected: Raw Stick"));
  // Pulled out between the input device's read and the panel's, in one update.
  host.afterJoystickRead = [&](int) { host.SetJoystick(0, nullptr); };
  host.Advance(1);
  const int pulled = update();
  host.afterJoystickRead = nullptr;
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string("Joystick 1 connected: Raw Stick (") + kRawGuid + ")\nJoystick 1 disconnected\n");
  EXPECT_TRUE(shows(pulled, "Joystick 1 disconnected"));
  EXPECT_FALSE(shows(pulled, "connected:"));
  host.Advance(1.9);
  EXPECT_TRUE(shows(update(), "Joystick 1 disconnected"));
  host.Advance(0.2);
  EXPECT_EQ(drawnText(update()), "") << "the notice is gone after two seconds";

  host.PlugJoystick(0, rawStick());
  update();
  host.Advance(3);
  app->m_DrawCount = 0;
  app->p_SetCol(10, 20, 30, 0.5f);
  app->p_SetSize(2);
  app->p_Rect(1, 2, 3, 4);
  EXPECT_TRUE(shows(update(true), "Controllers"));
  EXPECT_EQ(Floats({entry(0, 0), entry(0, 1), entry(0, 10)}), Floats({DrawKindRect, 1, 10})) << "the game's own";
  EXPECT_EQ(Floats({app->m_DrawR, app->m_DrawAlpha, app->m_DrawScaleX}), Floats({10, 0.5f, 2}));
  EXPECT_TRUE(shows(update(), "Controllers")) << "the panel stays until F9 again";
  EXPECT_EQ(drawnText(update(true)), "") << "a second F9 closes it";
}

}  // namespace
}  // namespace gametest
