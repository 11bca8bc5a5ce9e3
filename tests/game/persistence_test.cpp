// The saved state: its exact text, round trips, each checksum failure and the
// read-position rules; entering finished games in the score tables, the place
// text, and the badge catalogue.
#include <cstdint>

#include "music/sqplayer.h"
#include "tests/game/flow_fixture.h"

namespace {

using gametest::SessionTest;
using Persistence = SessionTest;

// Defaults as creation leaves them: slot 5 = 1 and the pad floors.
void defaultSettings(c_MyApp* app) {
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = 0;
  app->m_Settings[5] = 1;
  app->m_Settings[10] = 64;
  app->m_Settings[11] = 64;
  app->m_Settings[12] = 10;
}

// Loads the state file into `app` and returns what was printed.
std::string loadPrinting(c_MyApp* app) {
  testing::internal::CaptureStdout();
  app->p_Load();
  return testing::internal::GetCapturedStdout();
}

TEST_F(Persistence, StateTextHasTheDocumentedLayout) {
  defaultSettings(app);
  app->m_Badges[0] = true;
  app->m_Badges[33] = true;
  app->m_HighScores[0] = 100;   // mode 1 best, place 0
  app->m_HighScores[1] = 50;    // mode 1 best, place 1
  app->m_HighScores[30] = 50;   // mode 1 last, place 0
  app->m_HighScores[31] = 100;  // mode 1 last, place 1
  app->m_HighScores[10] = 7;    // mode 2 best, place 0
  app->m_HighScores[40] = 7;    // mode 2 last, place 0
  app->p_Save();

  std::string zeros16;
  for (int i = 0; i < 16; ++i) zeros16 += "0|";
  std::string zeros18 = zeros16 + "0|0|";
  std::string zeros20 = zeros18 + "0|0|";
  const std::string expected =
      "0|0|0|0|0|1|0|0|0|0|64|64|10|0|0|0|0|0|0|0|0|0|0|0|0|"
      "1469|"  // 5·1 + 10·64 + 11·64 + 12·10
      "1|2|0|0|0|0|0|0|3|"
      "100|50|50|100|" +
      zeros16 +
      "1200|"  // 4·100 + 3·50 + 5·50 + 4·100
      "7|7|" +
      zeros18 + "56|"  // 4·7 + 4·7
      + zeros20 + "0|";
  EXPECT_EQ(saved().ToUtf8(), expected);
  EXPECT_EQ(fields(saved()).size(), 99u);  // 98 values and the empty field after the last "|"
}

TEST_F(Persistence, RoundTripRestoresEverySectionAndSaysSo) {
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = 100 + i * 3;
  app->m_Settings[7] = -5;
  for (int b = 0; b < 256; b += 7) app->m_Badges[b] = true;
  for (int i = 0; i < 60; ++i) app->m_HighScores[i] = 1000 - i * 11;
  app->p_Save();
  String before = saved();

  c_MyApp* other = new c_MyApp();
  std::string out = loadPrinting(other);
  EXPECT_EQ(out,
            "Settings Loaded\nBadges Loaded\nHighscore 0 Loaded\nHighscore 1 Loaded\n"
            "Highscore 2 Loaded\n");
  for (int i = 0; i < 25; ++i) EXPECT_EQ(other->m_Settings[i], app->m_Settings[i]) << i;
  for (int b = 0; b < 256; ++b) EXPECT_EQ(other->m_Badges[b], app->m_Badges[b]) << b;
  for (int i = 0; i < 60; ++i) EXPECT_EQ(other->m_HighScores[i], app->m_HighScores[i]) << i;
  // Saving what was loaded gives the same text.
  other->p_Save();
  EXPECT_EQ(saved(), before);
}

TEST_F(Persistence, ChecksumsWrapAt32Bits) {
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = INT32_MAX;
  for (int i = 0; i < 60; ++i) app->m_HighScores[i] = INT32_MIN + i;
  app->p_Save();
  auto f = fields(saved());
  uint64_t sum = 0;
  for (uint64_t i = 0; i < 25; ++i) sum += i * static_cast<uint64_t>(INT32_MAX);
  EXPECT_EQ(f[25], std::to_string(static_cast<int32_t>(static_cast<uint32_t>(sum))));

  c_MyApp* other = new c_MyApp();
  std::string out = loadPrinting(other);
  EXPECT_EQ(out.find("Invalid"), std::string::npos) << out;
  EXPECT_EQ(other->m_Settings[24], INT32_MAX);
  EXPECT_EQ(other->m_HighScores[59], INT32_MIN + 59);
}

TEST_F(Persistence, Badge31AloneIsTheMostNegativeWord) {
  app->m_Badges[31] = true;
  app->p_Save();
  auto f = fields(saved());
  EXPECT_EQ(f[26], "-2147483648");  // word 0
  EXPECT_EQ(f[34], "-2147483648");  // badge checksum
  c_MyApp* other = new c_MyApp();
  loadPrinting(other);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(other->m_Badges[b], b == 31) << b;
}

TEST_F(Persistence, FirstRunKeepsDefaultsAndAppliesThePadFloors) {
  app->m_Settings[5] = 1;
  std::string out = loadPrinting(app);
  EXPECT_EQ(out, "");
  EXPECT_EQ(app->m_Settings[5], 1);
  EXPECT_EQ(app->m_Settings[10], 64);
  EXPECT_EQ(app->m_Settings[11], 64);
  EXPECT_EQ(app->m_Settings[12], 10);
}

TEST_F(Persistence, PadFloorsApplyToLoadedSettings) {
  defaultSettings(app);
  app->m_Settings[10] = 63;
  app->m_Settings[11] = 200;
  app->m_Settings[12] = 7;
  app->p_Save();
  c_MyApp* other = new c_MyApp();
  loadPrinting(other);
  EXPECT_EQ(other->m_Settings[10], 64);
  EXPECT_EQ(other->m_Settings[11], 200);
  EXPECT_EQ(other->m_Settings[12], 10);  // below 8 becomes 10, not 8
}

TEST_F(Persistence, SettingsOnlyRestoresSettingsSilentlyForTheRest) {
  defaultSettings(app);
  app->m_Settings[3] = 9;
  app->p_Save();
  auto f = fields(saved());
  f.resize(27);  // 26 values and the empty field after the last "|"
  f[26] = "";
  c_MyApp* other = new c_MyApp();
  other->m_HighScores[0] = 77;
  writeState(join(f));
  std::string out = loadPrinting(other);
  EXPECT_EQ(out, "Settings Loaded\n");
  EXPECT_EQ(other->m_Settings[3], 9);
  EXPECT_EQ(other->m_HighScores[0], 77);
}

TEST_F(Persistence, TamperedSettingsResetOnlyTheSettings) {
  defaultSettings(app);
  app->m_Settings[2] = 40;
  app->m_Badges[5] = true;
  app->m_HighScores[0] = 30;
  app->p_Save();
  auto f = fields(saved());
  f[2] = "41";
  c_MyApp* other = new c_MyApp();
  writeState(join(f));
  std::string out = loadPrinting(other);
  EXPECT_EQ(out,
            "Settings Checksum Invalid\nBadges Loaded\nHighscore 0 Loaded\nHighscore 1 Loaded\n"
            "Highscore 2 Loaded\n");
  EXPECT_EQ(other->m_Settings[2], 0);
  EXPECT_EQ(other->m_Settings[5], 1);
  EXPECT_EQ(other->m_Settings[10], 64);
  EXPECT_TRUE(other->m_Badges[5]);
  EXPECT_EQ(other->m_HighScores[0], 30);
}

TEST_F(Persistence, TamperedBadgesResetOnlyTheBadges) {
  defaultSettings(app);
  app->m_Settings[1] = 3;
  app->m_Badges[40] = true;
  app->m_HighScores[12] = 5;
  app->p_Save();
  auto f = fields(saved());
  f[27] = "1";  // word 1 loses bit 8 and gains bit 0
  c_MyApp* other = new c_MyApp();
  writeState(join(f));
  std::string out = loadPrinting(other);
  EXPECT_EQ(out,
            "Settings Loaded\nBadge Checksum Invalid\nHighscore 0 Loaded\nHighscore 1 Loaded\n"
            "Highscore 2 Loaded\n");
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(other->m_Badges[b]) << b;
  EXPECT_EQ(other->m_Settings[1], 3);
  EXPECT_EQ(other->m_HighScores[12], 5);
}

TEST_F(Persistence, RaisingOneScoreFailsOnlyThatMode) {
  for (int m = 0; m < 3; ++m) {
    defaultSettings(app);
    for (int i = 0; i < 60; ++i) app->m_HighScores[i] = 500 - i;
    app->p_Save();
    auto f = fields(saved());
    const int block = 35 + 21 * m;
    f[block + 4] = std::to_string(std::stoi(f[block + 4]) + 1);  // best score, place 2

    c_MyApp* other = new c_MyApp();
    writeState(join(f));
    std::string out = loadPrinting(other);
    std::string expected = "Settings Loaded\nBadges Loaded\n";
    for (int k = 0; k < 3; ++k)
      expected += "Highscore " + std::to_string(k) + (k == m ? " Checksum Invalid\n" : " Loaded\n");
    EXPECT_EQ(out, expected);
    for (int k = 0; k < 3; ++k) {
      for (int p = 0; p < 10; ++p) {
        EXPECT_EQ(other->m_HighScores[10 * k + p], k == m ? 0 : 500 - (10 * k + p));
        EXPECT_EQ(other->m_HighScores[30 + 10 * k + p], k == m ? 0 : 500 - (30 + 10 * k + p));
      }
    }
  }
}

TEST_F(Persistence, NonNumbersReadAsZeroAndFailTheirChecksum) {
  defaultSettings(app);
  app->m_Settings[4] = 12;
  app->p_Save();
  auto f = fields(saved());
  f[4] = "twelve";
  c_MyApp* other = new c_MyApp();
  writeState(join(f));
  std::string out = loadPrinting(other);
  EXPECT_EQ(out.rfind("Settings Checksum Invalid\n", 0), 0u) << out;
}

// Fills mode 1's best table with 100, 90, ..., 10 and enters a score.
class Tables : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    app->m_GameMode = 1;
    for (int p = 0; p < 10; ++p) app->m_HighScores[p] = 100 - 10 * p;
  }
  std::vector<int> best(int mode) {
    std::vector<int> out;
    for (int p = 0; p < 10; ++p) out.push_back(app->m_HighScores[10 * (mode - 1) + p]);
    return out;
  }
  std::vector<int> last(int mode) {
    std::vector<int> out;
    for (int p = 0; p < 10; ++p) out.push_back(app->m_HighScores[30 + 10 * (mode - 1) + p]);
    return out;
  }
};

TEST_F(Tables, TieWithTheBestIsAnnouncedFirstButStoredSecond) {
  app->m_Score = 100;
  EXPECT_EQ(app->p_MyNth().ToUtf8(), "1st!");
  EXPECT_EQ(app->m_Loop, 1);
  app->p_LoadMenu();
  EXPECT_EQ(best(1), (std::vector<int>{100, 100, 90, 80, 70, 60, 50, 40, 30, 20}));
  EXPECT_EQ(last(1)[0], 100);
  EXPECT_TRUE(stateSaved());
}

TEST_F(Tables, TieWithTheTenthIsAnnouncedButOnlyEntersTheLastList) {
  app->m_Score = 10;
  EXPECT_EQ(app->p_MyNth().ToUtf8(), "10th");
  EXPECT_EQ(app->m_Loop, 10);
  app->p_LoadMenu();
  EXPECT_EQ(best(1), (std::vector<int>{100, 90, 80, 70, 60, 50, 40, 30, 20, 10}));
  EXPECT_EQ(last(1), (std::vector<int>{10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Tables, LowScoreChangesOnlyTheLastList) {
  for (int i = 0; i < 4; ++i) {
    app->m_Score = i + 1;
    EXPECT_EQ(app->p_MyNth().ToUtf8(), "");
    EXPECT_EQ(app->m_Loop, 0);
    app->p_LoadMenu();
  }
  EXPECT_EQ(best(1), (std::vector<int>{100, 90, 80, 70, 60, 50, 40, 30, 20, 10}));
  EXPECT_EQ(last(1), (std::vector<int>{4, 3, 2, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(best(2), std::vector<int>(10, 0));
  EXPECT_EQ(last(2), std::vector<int>(10, 0));
}

TEST_F(Tables, NewScoreMovesLowerEntriesDown) {
  app->m_Score = 75;
  EXPECT_EQ(app->p_MyNth().ToUtf8(), "4th");
  app->p_LoadMenu();
  EXPECT_EQ(best(1), (std::vector<int>{100, 90, 80, 75, 70, 60, 50, 40, 30, 20}));
}

TEST_F(Tables, ZeroOnAnEmptyTableIsAnnouncedAndNotStored) {
  app->m_GameMode = 3;
  app->m_Score = 0;
  EXPECT_EQ(app->p_MyNth().ToUtf8(), "1st!");
  app->p_LoadMenu();
  EXPECT_EQ(best(3), std::vector<int>(10, 0));
  // The save carries the entered tables.
  auto f = fields(saved());
  EXPECT_EQ(f[35 + 42], "0");
}

TEST_F(Persistence, StartingAGameResetsItAndHandsTheModeTuneToThePlayer) {
  app->m_Score = 90;
  app->m_Paused = 1;
  app->m_GameOverNow = 1;
  app->m_GameOverTime = 40;
  app->m_GameMode = 3;
  app->p_LoadGame();
  EXPECT_EQ(app->m_State, 10);
  EXPECT_EQ(app->m_Score, 0);
  EXPECT_EQ(app->m_Paused, 0);
  EXPECT_EQ(app->m_GameOverNow, 0);
  EXPECT_EQ(app->m_GameOverTime, 0);
  EXPECT_EQ(app->m_Player->m_TunePath.ToUtf8(), "tunes/Retro/Brick Hop.png");
  EXPECT_EQ(app->m_Player->m_Seed, 37171650);
  EXPECT_EQ(app->m_Player->m_Tempo, 100);
}

TEST_F(Persistence, BadgeCatalogue) {
  EXPECT_EQ(app->p_BadgeName(0).ToUtf8(), "Test Badge");
  EXPECT_EQ(app->p_BadgeDetail(0).ToUtf8(), "This is a Test Badge which has no purpose.");
  EXPECT_EQ(app->p_BadgeID(5).ToUtf8(), "");
  EXPECT_EQ(app->p_BadgeName(5).ToUtf8(), "");
  EXPECT_EQ(app->p_BadgeDetail(5).ToUtf8(), "");
}

TEST_F(Persistence, BadgeNoticeSlidesInHoldsAndFrees) {
  useFont();
  app->m_BadgeShowId[0] = 0;
  app->m_BadgeShowTime[0] = 1;
  std::vector<float> xs;
  for (int frame = 0; frame < 240; ++frame) {
    app->p_CLS2D();
    app->p_ShowBadges();
    ASSERT_GE(entries(), 1);
    ASSERT_EQ(entry(0, 0), DrawKindRect);
    xs.push_back(entry(0, 1));
  }
  EXPECT_EQ(xs[0], -128);  // timer 2
  EXPECT_EQ(xs[8], 0);     // timer 10: fully in
  EXPECT_EQ(xs[200], 0);
  EXPECT_EQ(xs[229], -16);                // timer 231: sliding out
  EXPECT_EQ(app->m_BadgeShowTime[0], 0);  // freed after timer 241, drawn once more
  app->p_CLS2D();
  app->p_ShowBadges();
  EXPECT_EQ(entries(), 0);
}

}  // namespace
