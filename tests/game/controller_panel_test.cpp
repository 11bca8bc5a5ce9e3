// The controller panel (F9) and the joystick notices, on the test host with
// scripted joysticks: what each port shows, the mapping path, that the panel
// leaves the game alone, and devices coming and going (also mid-frame).
#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr int kF9 = 120;
using Floats = std::vector<float>;
constexpr const char* kRawGuid = "0300000012340000abcd000001000000";
constexpr const char* kPadGuid = "03000000de280000ff11000001000000";

class ControllerPanelTest : public GameTest {
 public:
  void SetUp() override {
    GameTest::SetUp();
    useFont();
  }
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
  // The text the list holds from entry `from` on, a line per row of glyphs
  // from the top; a gap of whole cells reads as spaces.
  std::string text(int from) const {
    std::map<std::pair<long, float>, char> glyphs;
    for (int n = from; n < entries(); ++n)
      if (entry(n, 0) == 90.0f) glyphs[{std::lround(entry(n, 2)), entry(n, 1)}] = static_cast<char>(entry(n, 6) + 32);
    std::string out;
    long row = LONG_MIN;
    float x = 0;
    for (const auto& [at, c] : glyphs) {
      if (at.first != row) out += '\n', row = at.first, x = at.second - 7;
      out.append(static_cast<size_t>(std::lround((at.second - x) / 7)) - 1, ' ') += c;
      x = at.second;
    }
    return out;
  }
  bool shows(int from, const std::string& s) const { return text(from).find(s) != std::string::npos; }
  // Marks drawn lit from entry `from` on.
  int litMarks(int from) const {
    int lit = 0;
    for (int n = from; n < entries(); ++n)
      lit += entry(n, 0) == DrawKindRect && entry(n, 10) == 255 && entry(n, 11) == 220 && entry(n, 12) == 0;
    return lit;
  }
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
  host.AddGamepadMappings(std::string(kPadGuid) + ",My Pad,a:b0,b:b1,platform:Linux,\n", "SDL_GAMECONTROLLERCONFIG");
  const struct {
    int port;
    VoJoystickInfo info;
    std::vector<std::string> shown;
    int lit;
  } cases[] = {
      // An unmapped device on the game's port: raw inputs and the controls they hold.
      {0,
       rawStick(),
       {"Port 1 (drives the game): connected", "Raw Stick", std::string("GUID ") + kRawGuid, "no mapping: raw layout",
        "+0.50 3/5", "-1.00 0/8", "10 11 12", "U0 R0 D0 L0", "13 14 15 99", "Port 2: not connected",
        "Port 4: not connected"},
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
    for (const std::string& s : c.shown) EXPECT_TRUE(shows(from, s)) << s << " in" << text(from);
    EXPECT_EQ(litMarks(from), c.lit) << c.shown[0];
  }
}

// A device plugged in and pulled out mid-frame is printed and noticed for two
// seconds; F9 opens the panel over the game's list and draw state untouched.
TEST_F(ControllerPanelTest, NoticesAndF9LeaveTheGameAlone) {
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
  EXPECT_EQ(text(update()), "") << "the notice is gone after two seconds";

  host.PlugJoystick(0, rawStick());
  update();
  host.Advance(3);
  app->m_DrawCount = 0;
  app->p_SetCol(10, 20, 30, 0.5f);
  app->p_SetSize(2);
  app->p_Rect(1, 2, 3, 4);
  const int settings = app->m_Settings[5], state = app->m_State, pad = app->m_PadState[10];
  const int from = update(true);
  EXPECT_EQ(from, 1);  // the game's own entry is left as it was
  EXPECT_EQ(entry(0, 0), DrawKindRect);
  EXPECT_TRUE(shows(from, "Controllers"));
  EXPECT_EQ(Floats({app->m_DrawR, app->m_DrawAlpha, app->m_DrawScaleX}), Floats({10, 0.5f, 2}));
  EXPECT_EQ(std::vector<int>({app->m_Settings[5], app->m_State, app->m_PadState[10]}),
            std::vector<int>({settings, state, pad}));
  app->m_DrawCount = DrawEntrySize;
  EXPECT_TRUE(shows(update(), "Controllers")) << "the panel stays until F9 again";
  app->m_DrawCount = DrawEntrySize;
  EXPECT_EQ(text(update(true)), "") << "a second F9 closes it";
}

}  // namespace
}  // namespace gametest
