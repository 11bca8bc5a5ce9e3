// The real program entry and window under Xvfb (CTest wraps this test in
// scripts/xvfb-run.sh): the start-up order with stand-in voInit and voMain,
// then the window's size and place, keys, characters, buttons and motion
// injected with xdotool, focus and iconify changes played by x_window_state,
// and a re-open with a key held. Every mismatch prints what the probe printed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

// Unbuffered, so that even a run that crashes shows what it printed.
[[maybe_unused]] const int kUnbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);

// One probe run: stdout, stderr and status for a failure message.
std::string Saw(Program& p, int status) {
  return "status " + std::to_string(status) + "\n--- stdout\n" + p.Output() + "--- stderr\n" + p.Errors();
}

TEST(Startup, OrderAndFatalPaths) {
  const struct {
    std::vector<std::string> env;
    std::string out;
    int status;
  } cases[] = {
      {{"DISPLAY", "WAYLAND_DISPLAY"}, "glfwInit failed\n", -1},
      {{"QUILLET_STARTUP=none"}, "init 3 two 1 1\n", 0},
      {{"QUILLET_STARTUP=throw"}, "init 3 two 1 1\nDovel Runtime Error : Uncaught Dovel Exception\n", -1},
      {{"QUILLET_STARTUP=segv"}, "init 3 two 1 1\nDovel Runtime Error : Memory access violation\n\n", -1},
      {{"QUILLET_STARTUP=run"}, "init 3 two 1 1\nstart\nrender\nupdate\n", 0},
  };
  char dir[] = "/tmp/quillet-startup-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (const auto& c : cases) {
    Program probe({STARTUP_PROBE, "one", "two"}, dir, c.env);
    const int status = probe.Wait(30);
    EXPECT_TRUE(status == c.status && probe.Output() == c.out)
        << c.env[0] << ": expected status " << c.status << " and\n"
        << c.out << "saw " << Saw(probe, status);
  }
  Sh(std::string("rm -rf ") + dir);
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(probe.WaitLine("ready 640 480 1"), "") << Saw(probe, probe.Wait(0));
    ASSERT_NE(probe.WaitLine("desktop 1280 1024 8 8 8 "), "") << Saw(probe, probe.Wait(0));
    wid = Search();
    ASSERT_NE(wid, "");
  }
  static std::string Search() {
    FILE* p = popen("xdotool search --name '^Quillet$' | head -1", "r");
    char line[64] = "";
    if (!std::fgets(line, sizeof line, p)) line[0] = 0;
    pclose(p);
    return std::string(line).substr(0, std::string(line).find('\n'));
  }
  static std::string Geometry(const std::string& window) {
    FILE* p = popen(("xdotool getwindowgeometry " + window + " | tr -s ' \\n' ' '").c_str(), "r");
    char line[256] = "";
    if (!std::fgets(line, sizeof line, p)) line[0] = 0;
    pclose(p);
    return line;
  }
  void Wm(const std::string& args) { Sh(std::string(X_WINDOW_STATE_PATH) + " " + args); }
  // Runs a step and compares the event lines it produces with the expected
  // ones, waiting a little longer so that any surplus line shows up too.
  void Check(const std::string& name, const std::vector<std::string>& expected, const std::function<void()>& step) {
    const size_t before = probe.Lines().size();
    step();
    for (int i = 0; i < 200 && probe.Lines(before).size() < expected.size(); ++i) Pause(0.05);
    Pause(0.3);
    EXPECT_EQ(probe.Lines(before), expected) << name;
  }
  std::string tmp = [] {
    char dir[] = "/tmp/quillet-window-XXXXXX";
    return std::string(mkdtemp(dir));
  }();
  Program probe{{WINDOW_PROBE_PATH}, tmp};
  std::string wid;
};

TEST_F(Window, PlaceEventsFocusIconifyAndReopen) {
  EXPECT_NE(Geometry(wid).find("Position: 320,272 (screen: 0) Geometry: 640x480"), std::string::npos)
      << "centred on 1280 x 1024: " << Geometry(wid);
  Wm("focus " + wid);
  Pause(0.3);
  auto key = [](const std::string& keys) { return [keys] { Sh("xdotool " + keys); }; };
  Check("delete", {"key 1 46", "key 3 127", "key 2 46"}, key("key Delete"));
  Check("left", {"key 1 37", "key 3 65573", "key 2 37"}, key("key Left"));
  Check("letter", {"key 1 65", "key 3 97", "key 2 65"}, key("key a"));
  Check("shifted", {"key 1 16", "key 1 65", "key 3 65", "key 2 65", "key 2 16"},
        key("keydown Shift_L key a keyup Shift_L"));
  Check("alt is ignored", {}, key("key Alt_L"));
  Check("keypad only types", {"key 3 53"}, key("key KP_5"));
  Check("motion", {"mouse 6 -1 100 50"}, key("mousemove --window " + wid + " 100 50"));
  Check("left button", {"mouse 4 0 100 50", "mouse 5 0 100 50"}, key("click 1"));
  Check("right button", {"mouse 4 1 100 50", "mouse 5 1 100 50"}, key("click 3"));
  Check("middle button", {"mouse 4 2 100 50", "mouse 5 2 100 50"}, key("click 2"));
  Check("extra button is ignored", {}, key("click 8"));
  Check("close", {"key 1 432", "key 2 432"}, [&] { Wm("close " + wid); });
  EXPECT_EQ(Search(), wid) << "the window stays after a close request";
  // Focus lost: suspended, drawn, not updated. Iconified: neither drawn nor updated.
  size_t start = probe.Lines().size();
  Wm("unfocus");
  ASSERT_NE(probe.WaitLine("suspend", start), "");
  Pause(0.3);
  Wm("focus " + wid);
  std::string resume = probe.WaitLine("resume ", start);
  EXPECT_TRUE(resume.size() > 9 && resume.substr(resume.size() - 2) == " 0" && resume != "resume 0 0") << resume;
  start = probe.Lines().size();
  Wm("iconify " + wid);
  ASSERT_NE(probe.WaitLine("suspend", start), "");
  Pause(0.3);
  Wm("restore " + wid);
  EXPECT_EQ(probe.WaitLine("resume ", start), "resume 0 0");
  // Re-opening the window while Shift is held releases Shift first.
  Pause(0.2);
  start = probe.Lines().size();
  Sh("xdotool keydown Shift_L");
  probe.WaitLine("key 1 16", start);
  Sh("xdotool key F2");
  probe.WaitLine("reopened 2", start);
  Sh("xdotool keyup Shift_L");
  std::vector<std::string> seen;
  for (const std::string& line : probe.Lines(start))
    if (line != "key 2 113" && seen.size() < 4) seen.push_back(line);
  EXPECT_EQ(seen, (std::vector<std::string>{"key 1 16", "key 1 113", "key 2 16", "reopened 2"}));
  wid = Search();
  EXPECT_NE(Geometry(wid).find("Position: 320,"), std::string::npos) << "re-opened centred: " << Geometry(wid);
  Wm("focus " + wid);
  Sh("xdotool key F3");
  EXPECT_EQ(probe.Wait(10), 0) << Saw(probe, 0);
  Sh("rm -rf " + tmp);
}

}  // namespace
