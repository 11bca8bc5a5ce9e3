// Whole sessions of the headless game: the loader and its rerun on resize,
// latches, suspension, the saved state's exact text and its checksums, the
// score tables, and the screens' rules that a picture cannot show.
#include <cstdint>

#include "tests/support/game_fixture.h"

namespace {

using gametest::GameTest;
using Session = GameTest;

const int kEscape = 27, kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kZ = 90, kF10 = 121;
const char* const kAllLoaded =
    "Settings Loaded\nBadges Loaded\nHighscore 0 Loaded\nHighscore 1 Loaded\nHighscore 2 Loaded\n";

// From the title menu into a game of the selected mode.
void toGame(GameTest& t) {
  t.toMenu();
  t.key(kZ, true);
  t.update(2);
  t.key(kZ, false);
  t.update();
  ASSERT_EQ(t.app->m_State, 10);
}

TEST_F(Session, LoaderTakesFifteenUpdatesAndReloadsWhenTheWindowGrows) {
  gfx->files.push_back({"common/icons-hd.png", {1024, 256}});
  app->p_OnCreate();
  render();
  EXPECT_EQ(host.UpdateRate(), 60);
  for (int u = 1; u <= 15; ++u) {
    update();
    ASSERT_EQ(app->m_LoadStep, u < 15 ? u + 1 : 0) << u;
  }
  EXPECT_EQ(app->m_MenuSlide, -32);
  update();
  EXPECT_EQ(app->m_MenuSlide, -31) << "the menu runs from the next update";
  EXPECT_EQ(audio->loaded.size(), 4u);
  EXPECT_EQ(app->m_ImgInfo[97 * 3], 64);
  gfx->files.push_back({"common/icons-hd2.png", {2048, 512}});
  host.width = 1280;
  host.height = 720;
  render();
  EXPECT_EQ(app->m_LoadStep, 1);
  update(15);
  EXPECT_EQ(app->m_ImgRes, 4);
  EXPECT_EQ(app->m_ImgInfo[97 * 3], 128);
}

TEST_F(Session, LatchesAndF10) {
  toMenu();
  app->m_CreditsOpen = 1;
  key(kEscape, true);
  update();
  EXPECT_EQ(app->m_CreditsOpen, 0);
  key(kDown, true);
  update(3);
  EXPECT_EQ(app->m_GameMode, 2) << "nothing moves while the back key is held";
  key(kEscape, false);
  key(kDown, false);
  update();
  EXPECT_EQ(app->m_KeyLatch, 0);
  key(kUp, true);
  update(5);
  EXPECT_EQ(app->m_GameMode, 1) << "a held key moves the selection once";
  key(kUp, false);
  for (int want : {1, 0}) {
    tap(kF10);
    EXPECT_EQ(vo_Game_DebugMode, want);
  }
}

TEST_F(Session, SuspendSavesPausesPlayAndSwitchesICadeOff) {
  toMenu();
  app->p_iCade(1);
  app->m_Settings[5] = 0;
  app->p_OnSuspend();
  EXPECT_EQ(fields(saved())[5], "0");
  EXPECT_EQ(vo_Game_iCadeControls, 0);
  app->p_OnResume();
  EXPECT_EQ(app->m_Paused, 0) << "the menu is not paused";
  toGame(*this);
  std::remove(".dovelstate");
  app->p_OnSuspend();
  EXPECT_TRUE(stateSaved());
  EXPECT_EQ(host.UpdateRate(), 5);
  app->p_OnResume();
  EXPECT_EQ(host.UpdateRate(), 60);
  EXPECT_EQ(app->m_PauseY, 240);
  update();
  EXPECT_EQ(app->m_Paused, 1);
  // The close key ends the program from the update. The audio library runs
  // threads, so the child starts afresh instead of forking them.
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  key(KEY_CLOSE, true);
  EXPECT_EXIT(update(), testing::ExitedWithCode(0), "");
}

TEST_F(Session, StateTextRoundTripAndWrappingChecksums) {
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = 0;
  app->m_Settings[5] = 1;
  app->m_Settings[10] = app->m_Settings[11] = 64;
  app->m_Settings[12] = 10;
  app->m_Badges[0] = app->m_Badges[33] = true;
  app->m_HighScores[0] = app->m_HighScores[31] = 100;  // mode 1 best place 0, last place 1
  app->m_HighScores[1] = app->m_HighScores[30] = 50;
  app->m_HighScores[10] = app->m_HighScores[40] = 7;  // mode 2 best and last
  app->p_Save();
  auto zeros = [](int n) {
    std::string s;
    while (n--) s += "0|";
    return s;
  };
  EXPECT_EQ(saved(),
            "0|0|0|0|0|1|0|0|0|0|64|64|10|0|0|0|0|0|0|0|0|0|0|0|0|1469|"  // 5·1 + 10·64 + 11·64 + 12·10
            "1|2|0|0|0|0|0|0|3|100|50|50|100|" +
                zeros(16) + "1200|7|7|" + zeros(18) + "56|" + zeros(20) + "0|");

  for (int i = 0; i < 25; ++i) app->m_Settings[i] = INT32_MAX - i;
  for (int i = 0; i < 60; ++i) app->m_HighScores[i] = INT32_MIN + i * 7;
  for (int b = 0; b < 256; ++b) app->m_Badges[b] = b % 3 == 0 || b == 31;
  app->p_Save();
  const std::string text = saved();
  c_MyApp* other;
  EXPECT_EQ(loadInto(&other), kAllLoaded);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(other->m_HighScores[i], INT32_MIN + i * 7) << i;
  for (int b = 0; b < 256; ++b) EXPECT_EQ(other->m_Badges[b], b % 3 == 0 || b == 31) << b;
  EXPECT_EQ(other->m_Settings[24], INT32_MAX - 24);
  other->p_Save();
  EXPECT_EQ(saved(), text);
}

// Each tampered section fails alone and is reset; the others still load.
TEST_F(Session, TamperedSectionsFailAloneWithTheirMessage) {
  const struct {
    int field;
    const char* value;
    int section;
    const char* message;
  } cases[] = {{2, "41", 0, "Settings Checksum Invalid"},
               {4, "twelve", 0, "Settings Checksum Invalid"},
               {27, "1", 1, "Badge Checksum Invalid"},
               {35 + 4, "+1", 2, "Highscore 0 Checksum Invalid"},
               {56 + 4, "+1", 3, "Highscore 1 Checksum Invalid"},
               {77 + 4, "+1", 4, "Highscore 2 Checksum Invalid"}};
  const char* loaded[] = {"Settings Loaded", "Badges Loaded", "Highscore 0 Loaded", "Highscore 1 Loaded",
                          "Highscore 2 Loaded"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    for (int i = 0; i < 25; ++i) app->m_Settings[i] = 70 + i;
    app->m_Badges[40] = true;
    for (int i = 0; i < 60; ++i) app->m_HighScores[i] = 500 - i;
    app->p_Save();
    auto f = fields(saved());
    f[c.field] = c.value[0] == '+' ? std::to_string(std::stoi(f[c.field]) + 1) : c.value;
    writeFields(f);
    std::string want;
    for (int k = 0; k < 5; ++k) want += std::string(k == c.section ? c.message : loaded[k]) + "\n";
    c_MyApp* other;
    EXPECT_EQ(loadInto(&other), want);
    const bool settings = c.field < 25, badges = c.field == 27;
    EXPECT_EQ(other->m_Settings[3], settings ? 0 : 73);
    EXPECT_EQ(other->m_Settings[10], settings ? 64 : 80) << "the pad floors apply after a reset";
    EXPECT_EQ(other->m_Badges[40], !badges);
    for (int m = 0; m < 3; ++m) {
      const bool bad = c.section == m + 2;
      EXPECT_EQ(other->m_HighScores[10 * m + 9], bad ? 0 : 500 - 10 * m - 9) << m;
      EXPECT_EQ(other->m_HighScores[30 + 10 * m], bad ? 0 : 500 - 30 - 10 * m) << m;
    }
  }
}

TEST_F(Session, FirstRunSettingsOnlyFilesAndThePadFloors) {
  c_MyApp* other;
  EXPECT_EQ(loadInto(&other), "") << "no state file: nothing said";
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = 0;
  app->m_Settings[10] = 63;
  app->m_Settings[11] = 200;
  app->m_Settings[12] = 7;
  app->p_Save();
  auto f = fields(saved());
  f.resize(27);
  f[26] = "";
  writeFields(f);
  EXPECT_EQ(loadInto(&other), "Settings Loaded\n");
  EXPECT_EQ(std::vector<int>(other->m_Settings.Data() + 10, other->m_Settings.Data() + 13),
            std::vector<int>({64, 200, 10}))
      << "below 8 becomes 10";
}

TEST_F(Session, FinishedGamesEnterTheTables) {
  // Mode 1's best ten start at 100, 90, ... 10 below; mode 3's are all zero.
  const struct {
    int mode, score;
    const char* nth;
    int place;  // where the score lands in the best ten, or -1
  } cases[] = {{1, 100, "1st!", 0}, {1, 75, "4th", 3}, {1, 10, "10th", 9}, {1, 3, "", -1}, {3, 0, "1st!", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.score);
    for (int i = 0; i < 60; ++i) app->m_HighScores[i] = i < 10 ? 100 - 10 * i : 0;
    std::vector<int> want(app->m_HighScores.Data() + 10 * (c.mode - 1), app->m_HighScores.Data() + 10 * c.mode);
    if (c.place >= 0) want.insert(want.begin() + c.place, c.score), want.pop_back();
    std::vector<int> wantLast(10, 0);
    wantLast[0] = c.score;
    app->m_GameMode = c.mode;
    app->m_Score = c.score;
    EXPECT_EQ(app->p_MyNth().ToUtf8(), c.nth);
    app->p_LoadMenu();
    const int* best = app->m_HighScores.Data() + 10 * (c.mode - 1);
    EXPECT_EQ(std::vector<int>(best, best + 10), want);
    EXPECT_EQ(std::vector<int>(best + 30, best + 40), wantLast);
    EXPECT_EQ(fields(saved())[35 + 21 * (c.mode - 1)], std::to_string(want[0])) << "the tables are saved";
  }
}

TEST_F(Session, SpriteGridAndThePausePanel) {
  toGame(*this);
  touch(128, 240);  // minus at (0.2 W, 0.5 H)
  EXPECT_EQ(app->m_SpriteCount, 40);
  app->m_SpriteCount = 0;
  touch(128, 240);
  EXPECT_EQ(app->m_SpriteCount, 0);
  app->m_SpriteCount = 2470;
  touch(512, 240);
  touch(512, 240);
  EXPECT_EQ(app->m_SpriteCount, 2480);
  EXPECT_EQ(app->m_Score, 2480);
  update();
  auto list = [&] { return std::vector<float>(app->m_DrawList.Data(), app->m_DrawList.Data() + 750); };
  const std::vector<float> moving = list();
  tap(kEscape);
  ASSERT_EQ(app->m_Paused, 1);
  update(14);
  EXPECT_EQ(app->m_PauseY, 248);
  const std::vector<float> frozen = list();
  update();
  EXPECT_EQ(frozen, list());
  EXPECT_NE(frozen, moving);
  tap(kRight);
  for (int want : {2, 3, 0, 1}) {
    tap(kZ);
    EXPECT_EQ(app->m_Settings[5], want) << "the sound button steps through four modes";
  }
  tap(kDown);
  tap(kLeft);
  EXPECT_EQ(app->m_PauseSel, -1);
}

TEST_F(Session, QuitBuildsTheGameOverPanelThenRecordsTheGame) {
  toGame(*this);
  useFont();
  app->m_SpriteCount = 70;
  tap(kEscape);
  tap(kLeft);
  std::remove(".dovelstate");
  key(kZ, true);
  update();
  key(kZ, false);
  EXPECT_EQ(app->m_GameOverNow, 1);
  int updates = 1;
  for (; app->m_State == 10 && updates < 200; ++updates) update();
  EXPECT_EQ(updates, 90);
  EXPECT_NE(drawnText().find("NewHighscore1st!"), std::string::npos) << drawnText();
  EXPECT_FALSE(stateSaved()) << "the game is recorded once the panel is done";
  update();
  EXPECT_EQ(app->m_State, 1);
  EXPECT_TRUE(stateSaved());
}

TEST_F(Session, MenuButtonsCreditsAndScoreCaptions) {
  toMenu();
  useFont();
  update(40);
  touch(32, 240);  // the sound button at (32, 0.5 H)
  EXPECT_EQ(app->m_Settings[5], 0);
  touch(570, 440);  // the credits button at (W - 70, H - 40)
  EXPECT_EQ(app->m_CreditsOpen, 1);
  update(35);
  EXPECT_EQ(app->m_CreditsSlide, 30);
  touch(128, 336);  // over mode 1's button: only the box sees it
  EXPECT_EQ(app->m_CreditsOpen, 0);
  EXPECT_EQ(app->m_State, 1);
  std::string seen;
  app->m_CreditsOpen = 1;
  app->m_CreditsSlide = 30;
  for (int i = 0; i < 2 * 38 * 54; ++i) {
    app->p_CLS2D();
    app->p_CreditBox();
    if (i % 10 == 0) seen += drawnText();
  }
  EXPECT_NE(seen.find("-=-=-"), std::string::npos);
  EXPECT_EQ(seen.find("End"), std::string::npos) << "the last line is never shown";
  EXPECT_LT(app->m_CreditLine, 38);
  vo_Game_jscrh = 150;
  update();
  EXPECT_EQ(app->m_Rows, 1);
  EXPECT_EQ(drawnText().find("Top"), std::string::npos) << "one row uses the single captions";
}

}  // namespace
