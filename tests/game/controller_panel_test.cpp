// The controller panel (F9) and the joystick notices, on the test host with
// scripted joysticks: what each port shows, the mapping path, that the panel
// leaves the game alone, and devices coming and going (also mid-frame).
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr int kF1 = 112, kF5 = 116, kF6 = 117, kF7 = 118, kF9 = 120;
constexpr const char* kRawGuid = "0300000012340000abcd000001000000";
constexpr const char* kPadGuid = "03000000de280000ff11000001000000";

class ControllerPanelTest : public GameTest {
 public:
  // One update of the panel, with F9 pressed first when asked; returns the
  // first display-list entry the panel appended. The host's collector step
  // follows, as after every update.
  int update(bool f9 = false) {
    if (f9) {
      key(kF9, true);
      key(kF9, false);
    }
    input->p_BeginUpdate();
    const int before = entries();
    app->p_ControllerInput();
    app->p_ControllerPanel();
    input->p_EndUpdate();
    host.gc_collect();
    return before;
  }
  // An update drawn into an empty display list, which a full panel would otherwise overflow after a few.
  int frame() {
    app->m_DrawCount = 0;
    return update();
  }
  // Whether the text is drawn, read across the rows that the panel breaks long lines into.
  bool shows(int from, const std::string& s) const {
    std::string text = drawnText(from);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text.find(s) != std::string::npos;
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
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
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
// seconds, also across the clock's wrap; F9 opens the panel over the game's list and draw state untouched.
TEST_F(ControllerPanelTest, NoticesAndF9LeaveTheGameAlone) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  host.Advance(2147483.648 - 1.5);  // the second notice's two seconds straddle the millisecond counter's wrap
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The panel names the line that applies and where it came from. A line in SDL's newer GUID form (CRC digits
// b7e6) applies to the device reported with them zeroed, but a line giving the zeroed GUID wins in either order,
// also over a converted line of the environment, which otherwise wins over the file.
TEST_F(ControllerPanelTest, MappingLinesOfBothGuidFormsAndTheirOrigin) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  const std::string crc = "0300b7e6de280000ff11000001000000,CRC Pad,a:b0,platform:Linux,\n";
  const std::string zeroed = std::string(kPadGuid) + ",Zeroed Pad,a:b0,\n";
  const struct {
    std::string file, env, shown;
  } cases[] = {
      {crc, "", "mapping: CRC Pad (gamecontrollerdb.txt line 1)"},
      {crc + zeroed, "", "mapping: Zeroed Pad (gamecontrollerdb.txt line 2)"},
      {zeroed + crc, "", "mapping: Zeroed Pad (gamecontrollerdb.txt line 1)"},
      {zeroed, "\n" + crc, "mapping: Zeroed Pad (gamecontrollerdb.txt line 1)"},
      {crc, zeroed, "mapping: Zeroed Pad (SDL_GAMECONTROLLERCONFIG line 1)"},
      {"", "", "mapping: Known Pad (built in)"},  // the window system's own mapping
  };
  for (const auto& c : cases) {
    host.mappingLines.clear();
    host._mappingOrigins.clear();
    std::ofstream("gamecontrollerdb.txt") << c.file;
    setenv("SDL_GAMECONTROLLERCONFIG", c.env.c_str(), 1);
    host.LoadGamepadMappings();
    unsetenv("SDL_GAMECONTROLLERCONFIG");
    VoJoystickInfo device = pad(kPadGuid);
    if (c.file.empty()) device.mapping = "Known Pad";
    host.PlugJoystick(0, device);
    app->m_Controllers.open = true;
    EXPECT_TRUE(shows(frame(), c.shown)) << c.shown << " in" << drawnText();
  }
}

VoJoystickInfo testPad() { return VoTestHost::LinuxPad("Test, Pad"); }
using Change = std::function<void(VoJoystickInfo&)>;
Change Button(int b) {
  return [b](VoJoystickInfo& i) { i.buttons[b] = i.state.buttons[b] = true; };
}
Change Hat(int bits) {
  return [bits](VoJoystickInfo& i) { i.hats[0] = bits; };
}
Change Axis(int a, float v) {
  return [a, v](VoJoystickInfo& i) { i.axes[a] = i.state.axes[a] = v; };
}
Change Both(Change f, Change g) {
  return [f, g](VoJoystickInfo& i) { f(i), g(i); };
}

// A session through the wizard over the title menu. Held inputs reach the game released, so nothing starts; an
// input still held is not taken again; the trigger's axis wins over the button it also presses; F5 skips guide and
// F6 takes back a wrong d-pad answer. The line, worked out by hand for the device, replaces both old lines of its
// GUID (one in the newer form) in the file behind a link, keeps every other byte and the file's mode, applies at
// once and goes to standard output and the clipboard.
TEST_F(ControllerPanelTest, WizardSessionWritesTheMappingLine) {
  const std::string want =
      "030000004c050000c405000011810000,Test  Pad,a:b0,b:b1,x:b3,y:b2,back:b8,start:b9,leftstick:b11,"
      "rightstick:b12,leftshoulder:b4,rightshoulder:b5,dpup:h0.1,dpright:h0.2,dpdown:h0.4,dpleft:h0.8,"
      "lefttrigger:a2,righttrigger:a5,leftx:a0,lefty:a1,rightx:a3,righty:a4~,platform:Linux,";
  const std::string head = "# mine\r\n\r\n", other = "03000000de280000ff11000001000000,Other,a:b0,\n";
  const std::string mac = "030000004c050000c405000011810000,Mac Pad,a:b1,platform:Mac OS X,\n";
  std::filesystem::create_directory("real");
  std::ofstream("real/db.txt", std::ios::binary) << head << "030000004c050000c405000011810000,Old,a:b1,\n"
                                                 << mac << "0300b7e64c050000c405000011810000,Old CRC,a:b1,\n"
                                                 << other << "\xff\xfe no newline";
  chmod("real/db.txt", 0640);
  std::filesystem::create_symlink("real/db.txt", "gamecontrollerdb.txt");
  toMenu();
  const VoJoystickInfo rest = testPad();
  host.PlugJoystick(0, rest);
  tap(kF9);
  tap(kF1);
  const std::pair<int, Change> session[] = {{0, Button(0)},
                                            {0, Both(Button(0), Button(1))},
                                            {0, Button(3)},
                                            {0, Button(2)},
                                            {0, Button(8)},
                                            {kF5, nullptr},
                                            {0, Button(9)},
                                            {0, Button(11)},
                                            {0, Button(12)},
                                            {0, Button(4)},
                                            {0, Button(5)},
                                            {0, Hat(1)},
                                            {0, Hat(2)},
                                            {0, Hat(8)},
                                            {kF6, nullptr},
                                            {0, Hat(4)},
                                            {0, Hat(8)},
                                            {0, Both(Axis(2, 1), Button(6))},
                                            {0, Both(Both(Axis(2, 1), Button(6)), Both(Axis(5, 0.8f), Button(7)))},
                                            {0, Axis(0, 1)},
                                            {0, Axis(1, 0.9f)},
                                            {0, Axis(3, 1)},
                                            {0, Axis(4, -1)}};
  testing::internal::CaptureStdout();
  for (const auto& [key, change] : session) {
    if (key) {
      tap(key);
      continue;
    }
    VoJoystickInfo held = rest;
    change(held);
    host.PlugJoystick(0, held);
    GameTest::update();
    for (int b = 0; b < 32; ++b) EXPECT_FALSE(vo_input_JoyDown(b, 0)) << "button " << b;
    EXPECT_EQ(Floats({vo_input_JoyX(0, 0), vo_input_JoyY(0, 0), vo_input_JoyZ(0, 0)}), Floats({0, 0, 0}));
    host.PlugJoystick(0, rest);
    GameTest::update();
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(app->m_State, 1) << "the title menu stays";
  EXPECT_EQ(out, want + "\nMapping written to ./gamecontrollerdb.txt, applied and copied to the clipboard\n");
  EXPECT_EQ(ReadFile("real/db.txt"), head + want + "\n" + mac + other + "\xff\xfe no newline");
  EXPECT_TRUE(std::filesystem::is_symlink("gamecontrollerdb.txt"));
  struct stat st;
  ASSERT_EQ(stat("real/db.txt", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(host.clipboard, want);
  EXPECT_EQ(host.mappingLines.back(), want);
  EXPECT_TRUE(shows(frame(), "mapping: Test  Pad (made in the panel)"));
}

// The wizard ends without writing when F9 closes the panel, when its device goes, or when another takes its port.
TEST_F(ControllerPanelTest, WizardLeftOrUnpluggedWritesNothing) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  VoJoystickInfo other = testPad();
  other.guid = kPadGuid;
  const struct {
    std::function<void()> end;
    std::string told;
  } cases[] = {
      {[&] { key(kF9, true); }, "Mapping wizard left; nothing written"},
      {[&] { host.SetJoystick(0, nullptr); }, "Mapping wizard ended: the device on port 1 went; nothing written"},
      {[&] { host.PlugJoystick(0, other); }, "Mapping wizard ended: the device on port 1 went; nothing written"},
  };
  for (const auto& c : cases) {
    std::ofstream("gamecontrollerdb.txt") << "kept\n";
    VoJoystickInfo device = testPad();
    host.PlugJoystick(0, device);
    app->m_Controllers = c_MyApp::ControllerWatch();
    app->m_Controllers.open = true;
    frame();
    key(kF1, true);
    frame();
    key(kF1, false);
    Button(0)(device);
    host.PlugJoystick(0, device);
    frame();
    ASSERT_TRUE(shows(frame(), "element 2 of 21")) << drawnText();
    testing::internal::CaptureStdout();
    c.end();
    frame();
    key(kF9, false);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(c.told + "\n"), std::string::npos) << c.told;
    EXPECT_FALSE(app->m_Controllers.wizard.Running());
    EXPECT_EQ(ReadFile("gamecontrollerdb.txt"), "kept\n");
    EXPECT_TRUE(host.mappingLines.empty());
  }
}

// The tester on a stick turned round a perfect circle and one turned round a square gate, with triggers at half
// travel: circularity is the mean of |r - 1| over 36 sectors of 10 degrees, r the largest radius seen in each.
// The circle gives 0. The square's edge lies at r = 1 / cos(a), a the angle from the nearest axis, so each
// sector's largest r is at its edge nearest a diagonal: in a quadrant 1/cos 10, 1/cos 20, 1/cos 30, 1/cos 40,
// sqrt 2, then the same back, which is (2 (0.015427 + 0.064178 + 0.154701 + 0.305407) + 0.414214) / 9 = 16.60%.
// Drift is the stick's distance from the centre once nothing has changed for half a second: (0.06, -0.08) reads
// 0.100. F7 starts the measurement afresh.
TEST_F(ControllerPanelTest, SticksTriggersDriftAndCircularity) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  host.AddGamepadMappings(std::string(kPadGuid) + ",My Pad,a:b0,\n", "SDL_GAMECONTROLLERCONFIG");
  VoJoystickInfo device = pad(kPadGuid);
  device.state.padAxes[4] = 0;
  app->m_Controllers.open = true;
  // One update of the panel's input with the sticks at a position, then 1/60 s.
  auto at = [&](float lx, float ly, float rx, float ry) {
    device.state.padAxes[0] = lx, device.state.padAxes[1] = ly;
    device.state.padAxes[2] = rx, device.state.padAxes[3] = ry;
    host.PlugJoystick(0, device);
    input->p_BeginUpdate();
    app->p_ControllerInput();
    input->p_EndUpdate();
    host.Advance(1.0 / 60);
  };
  // 0.01-degree steps: the largest radius of a sector is then reached to within 0.01 percentage points.
  for (int step = 0; step < 36000; ++step) {
    const double a = step * M_PI / 18000;
    const double square = 1 / std::max(std::fabs(std::cos(a)), std::fabs(std::sin(a)));
    at(float(std::cos(a)), float(std::sin(a)), float(std::cos(a) * square), float(std::sin(a) * square));
  }
  const padtest::StickTester* sticks = app->m_Controllers.testers[0].sticks;
  EXPECT_NEAR(sticks[0].Circularity(), 0, 0.0005) << "a circle: 0% within 0.05 percentage points";
  EXPECT_NEAR(sticks[1].Circularity(), 0.1660, 0.0005) << "a square gate: 16.60% within 0.05 percentage points";
  for (const char* shown : {"circularity 0.0% 16.6%", "LT", "0.50"}) EXPECT_TRUE(shows(frame(), shown)) << shown;
  // Moved at time T, then updates at T + 1/60 ... T + 29/60: not yet half a second; the next one at T + 30/60 is.
  for (int step = 0; step < 30; ++step) at(0.06f, -0.08f, 0, 0);
  host.Advance(-1.0 / 60);
  EXPECT_TRUE(shows(frame(), "drift: leave the device alone")) << "before half a second";
  host.Advance(1.0 / 60);
  EXPECT_TRUE(shows(frame(), "drift 0.100 0.000")) << drawnText();
  device.buttons[1] = true;
  at(0.06f, -0.08f, 0, 0);
  EXPECT_TRUE(shows(frame(), "drift: leave the device alone")) << "a button changed";
  key(kF7, true);
  EXPECT_TRUE(shows(frame(), "circularity: turn the sticks round"));
  key(kF7, false);
  // A stick that stops short, at 0.9 all round, is 10% off the circle too.
  for (int degree = 0; degree < 360; ++degree) {
    const double a = degree * M_PI / 180;
    at(float(0.9 * std::cos(a)), float(0.9 * std::sin(a)), 0, 0);
  }
  EXPECT_NEAR(sticks[0].Circularity(), 0.1, 0.0005);
}

// In a browser the page maps the device: no GUID (not even in the connect line), no mapping line, no wizard, but the
// tester still works, the triggers from the standard layout's analog buttons 6 and 7.
TEST_F(ControllerPanelTest, BrowserDevicesGetTheTesterButNoMappingLines) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  VoJoystickInfo device;
  device.name = "Xbox 360 Controller (STANDARD GAMEPAD)";
  device.mapping = "standard";
  device.mappingLinesApply = false;
  device.axisCount = 4;
  device.axes[0] = 0.5f;
  device.buttonCount = 17;
  device.buttonValues[7] = 0.75f;
  host.PlugJoystick(0, device);
  app->m_Controllers.open = true;
  testing::internal::CaptureStdout();
  frame();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Joystick 1 connected: Xbox 360 Controller (STANDARD GAMEPAD)\n");
  const int from = frame(), f1 = (key(kF1, true), frame());
  for (const char* shown : {"GUIDs and mapping lines do not apply: the browser maps the device itself", "0.75",
                            "circularity: turn the sticks round"})
    EXPECT_TRUE(shows(from, shown)) << shown << " in" << drawnText(from);
  for (const char* hidden : {"GUID ", "mapping:", "no mapping"}) EXPECT_FALSE(shows(from, hidden)) << hidden;
  EXPECT_FALSE(shows(f1, "Mapping wizard")) << "F1 offers no wizard";
}

}  // namespace
}  // namespace gametest
