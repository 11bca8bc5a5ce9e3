// The real program under Xvfb played with xdotool, without a sound device, which it reports once and then plays
// silently: mode 3, sprites raised to 80, sound mode 2 from the pause menu, quit. The state file must then hold
// exactly the new tables, and a second run, with a sound device, loads it section by section. Closing the window
// ends either run with status 0 and nothing on standard error: the sound device is closed on the way out.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/process.h"

namespace {

std::string Zeros(int n) { return n ? "0|" + Zeros(n - 1) : ""; }

// Sound mode 2 and the pad floors (checksum 5·2 + 10·64 + 11·64 + 12·10 = 1474),
// no badges, and 80 as mode 3's best and last (checksum 4·80 + 5·80 = 720).
const std::string kState = "0|0|0|0|0|2|0|0|0|0|64|64|10|0|0|0|0|0|0|0|0|0|0|0|0|1474|" + Zeros(9) + Zeros(21) +
                           Zeros(21) + "80|80|" + Zeros(18) + "720|";

TEST(Session, PlayedGameIsSavedAndLoadedByTheNextRun) {
  char tmpl[] = "/tmp/quillet-e2e-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  ASSERT_EQ(symlink(DATA_DIR, (dir + "/data").c_str()), 0);
  {
    Program game({QUILLET_PATH}, dir, {"ALSOFT_DRIVERS=no-such-driver"});
    ASSERT_NE(game.Window(), "") << game.Saw();
    Pause(1.5);  // the loading screen, then the title menu slides in
    game.Key("Down");
    game.Key("z");
    Pause(0.3);
    for (int i = 0; i < 3; ++i) game.Click(512, 240);                             // plus: 50 -> 80
    for (const char* key : {"Escape", "Right", "z", "Down", "z"}) game.Key(key);  // sound 1 -> 2, resume
    Pause(0.8);
    for (const char* key : {"Escape", "Left", "z"}) game.Key(key);  // quit: the game-over panel builds up
    // 90 updates, which a slow software renderer may stretch; a focus change may save an earlier state meanwhile.
    for (int i = 0; i < 150 && ReadFile(dir + "/.dovelstate") != kState; ++i) Pause(0.2);
    EXPECT_EQ(ReadFile(dir + "/.dovelstate"), kState);
    Sh(std::string(X_WINDOW_STATE_PATH) + " close " + game.Window());
    EXPECT_EQ(game.Wait(10), 0) << game.Saw();
    EXPECT_EQ(game.Output(), "OpenAl error: alcOpenDevice failed\n");
    EXPECT_EQ(game.Errors(), "");
  }
  Program again({QUILLET_PATH}, dir, {"ALSOFT_DRIVERS=null"});
  ASSERT_NE(again.Window(), "") << again.Saw();
  Pause(1.0);
  Sh(std::string(X_WINDOW_STATE_PATH) + " close " + again.Window());
  EXPECT_EQ(again.Wait(10), 0) << again.Saw();
  EXPECT_EQ(again.Output(),
            "Settings Loaded\nBadges Loaded\nHighscore 0 Loaded\nHighscore 1 Loaded\nHighscore 2 Loaded\n");
  EXPECT_EQ(again.Errors(), "");
  Sh("rm -rf " + dir);
}

}  // namespace
