// The real program entry and window under Xvfb with stand-in voInit and voMain: start-up order and fatal paths,
// then the window's place, input injected with xdotool, focus and iconify, and a re-open with a key held.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/process.h"

namespace {

// Unbuffered, so that even a run that crashes shows what it printed.
[[maybe_unused]] const int kUnbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);

// One probe run: stdout, stderr and status for a failure message.
std::string Saw(Program& p, int status) { return "status " + std::to_string(status) + "\n" + p.Saw(); }

std::string Geometry(const std::string& window) {
  return FirstLine("xdotool getwindowgeometry " + window + " | tr -s ' \\n' ' '");
}

void Wm(const std::string& args) { Sh(std::string(X_WINDOW_STATE_PATH) + " " + args); }

// voInit sees argc and argv and the fatal-signal handlers, and the objects it makes stay on the collector's lists; a
// language exception out of voMain ends the program with its message; without a delegate the program ends at once.
TEST(Startup, OrderAndFatalPaths) {
  char dir[] = "/tmp/quillet-startup-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (auto [mode, error] : {std::pair{"none", ""}, {"throw", "Dovel Runtime Error : Uncaught Dovel Exception\n"}}) {
    Program probe({STARTUP_PROBE, "one", "two"}, dir, {std::string("QUILLET_STARTUP=") + mode});
    const int status = probe.Wait(30);
    EXPECT_TRUE(status == (*error ? -1 : 0) && probe.Output() == "init 3 two 1 1\n" + std::string(error))
        << mode << ": saw " << Saw(probe, status);
  }
  Sh(std::string("rm -rf ") + dir);
}

TEST(Window, PlaceEventsFocusIconifyAndReopen) {
  char dir[] = "/tmp/quillet-window-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  Program probe({STARTUP_PROBE}, dir, {"QUILLET_STARTUP=window"});
  ASSERT_EQ(probe.WaitLine("ready "), "ready 640 480 1 1280 1024 8 8 8") << Saw(probe, probe.Wait(0));
  EXPECT_EQ(probe.Lines().at(1), "start") << "drawn once started";
  std::string wid = probe.Window();
  EXPECT_NE(Geometry(wid).find("Position: 320,272 (screen: 0) Geometry: 640x480"), std::string::npos)
      << "centred on 1280 x 1024: " << Geometry(wid);
  // Each step's event lines, after a wait long enough for a surplus line to show up too.
  auto check = [&](const std::string& step, const std::vector<std::string>& expected) {
    const size_t before = probe.Lines().size();
    step[0] == '!' ? Wm(step.substr(1)) : probe.Xdotool(step);
    for (int i = 0; i < 200 && probe.Lines(before).size() < expected.size(); ++i) Pause(0.05);
    Pause(0.3);
    EXPECT_EQ(probe.Lines(before), expected) << step;
  };
  check("key a", {"key 1 65", "key 3 97", "key 2 65"});
  check("mousemove --window " + wid + " 100 50", {"mouse 6 -1 100 50"});
  for (auto [xbutton, button] : {std::pair{1, "0"}, {3, "1"}, {2, "2"}})  // left, right, middle
    check("click " + std::to_string(xbutton),
          {"mouse 4 " + std::string(button) + " 100 50", "mouse 5 " + std::string(button) + " 100 50"});
  check("click 8", {});
  check("!close " + wid, {"key 1 432", "key 2 432"});
  EXPECT_EQ(FirstLine("xdotool search --name '^Quillet$'"), wid) << "the window stays after a close request";
  // Focus lost: suspended, drawn, not updated. Iconified: neither drawn nor updated.
  for (const bool iconify : {false, true}) {
    const size_t start = probe.Lines().size();
    Wm(iconify ? "iconify " + wid : "unfocus");
    ASSERT_NE(probe.WaitLine("suspend", start), "");
    Pause(0.3);
    Wm((iconify ? "restore " : "focus ") + wid);
    const std::string resume = probe.WaitLine("resume ", start);
    EXPECT_TRUE(std::regex_match(resume, std::regex(iconify ? "resume 0 0" : "resume [1-9]\\d* 0"))) << resume;
  }
  // Re-opening the window while Shift is held releases Shift first.
  Pause(0.2);
  const size_t start = probe.Lines().size();
  probe.Xdotool("keydown Shift_L");
  probe.WaitLine("key 1 16", start);
  probe.Xdotool("key F2");
  probe.WaitLine("reopened 2", start);
  probe.Xdotool("keyup Shift_L");
  std::vector<std::string> seen;
  for (const std::string& line : probe.Lines(start))
    if (line != "key 2 113" && seen.size() < 4) seen.push_back(line);
  EXPECT_EQ(seen, (std::vector<std::string>{"key 1 16", "key 1 113", "key 2 16", "reopened 2"}));
  wid = FirstLine("xdotool search --name '^Quillet$'");
  EXPECT_NE(Geometry(wid).find("Position: 320,"), std::string::npos) << "re-opened centred: " << Geometry(wid);
  Wm("focus " + wid);
  probe.Xdotool("key F3");
  EXPECT_EQ(probe.Wait(10), 0) << Saw(probe, 0);
  Sh(std::string("rm -rf ") + dir);
}

}  // namespace
