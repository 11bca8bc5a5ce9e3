// The game flow: module start values, creation, the 15-update loader and its
// rerun on resize, the update's back handling and latches, F10, suspension and
// resumption.
#include "music/sqplayer.h"
#include "tests/game/flow_fixture.h"

namespace {

using gametest::SessionTest;
using Flow = SessionTest;

const int kEscape = 27;
const int kUp = 38;
const int kDown = 40;
const int kF10 = 121;

TEST(FlowInit, CreditTextAndScreenSizes) {
  voInit();
  ASSERT_EQ(vo_Game_CreditText.Length(), 39);
  EXPECT_EQ(vo_Game_CreditText[0].ToUtf8(), "");
  EXPECT_EQ(vo_Game_CreditText[38].ToUtf8(), "End");
  int separators = 0;
  for (int i = 0; i < 39; ++i)
    if (vo_Game_CreditText[i].ToUtf8() == "-=-=-") ++separators;
  EXPECT_GE(separators, 2);
  EXPECT_EQ(vo_Game_rawscrw, 640.0f);
  EXPECT_EQ(vo_Game_rawscrh, 480.0f);
  EXPECT_EQ(vo_Game_HasMusic, QUILLET_HAS_MUSIC);  // 0 unless built with QUILLET_MUSIC
  EXPECT_EQ(vo_Game_DebugMode, 0);
  EXPECT_EQ(vo_random_Seed, 1234);
}

TEST_F(Flow, CreationPresetsAndStartsTheLoader) {
  create();
  EXPECT_EQ(app->m_State, 1);
  EXPECT_EQ(host.UpdateRate(), 60);
  EXPECT_EQ(app->m_LoadStep, 1);
  EXPECT_EQ(app->m_GameMode, 2);
  EXPECT_EQ(app->m_SpriteCount, 50);
  EXPECT_EQ(app->m_MenuSlide, -32);
  EXPECT_EQ(app->m_PauseY, -64);
  EXPECT_EQ(app->m_PauseMove, -1);
  EXPECT_EQ(app->m_Settings[5], 1);
  EXPECT_EQ(app->m_Settings[12], 10);
  for (int i = 0; i < 33; ++i) EXPECT_EQ(app->m_SfxChannels[i], i);
  // Music is off in this build: the player is made but never set up.
  ASSERT_NE(app->m_Player, nullptr);
  EXPECT_EQ(app->m_Player->m_BaseChannel, 0);
}

TEST_F(Flow, CreationLoadsTheSavedState) {
  app->m_Settings[5] = 2;
  app->m_HighScores[3] = 44;
  app->p_Save();
  vo_app__app = nullptr;
  app = (new c_MyApp())->m_new();
  testing::internal::CaptureStdout();
  create();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Settings Loaded"), std::string::npos);
  EXPECT_EQ(app->m_Settings[5], 2);
  EXPECT_EQ(app->m_HighScores[3], 44);
}

TEST_F(Flow, LoaderTakesFifteenUpdatesThenTheMenuRuns) {
  gfx->files.push_back({"common/icons-hd.png", {1024, 256}});
  create();
  for (int u = 1; u <= 14; ++u) {
    update();
    EXPECT_EQ(app->m_LoadStep, u + 1) << u;
    EXPECT_EQ(app->m_ClsR, 40);  // the loading screen's background
  }
  EXPECT_EQ(app->m_MenuSlide, -32);
  update();  // step 15 finishes loading
  EXPECT_EQ(app->m_LoadStep, 0);
  EXPECT_EQ(app->m_MenuSlide, -32);
  update();  // the first menu update
  EXPECT_EQ(app->m_MenuSlide, -31);

  // Every asset group was asked for once, at resolution 2 for 640 x 480.
  auto asked = [&](const std::string& tail) {
    int n = 0;
    for (const std::string& p : gfx->loaded)
      if (p.size() >= tail.size() && p.compare(p.size() - tail.size(), tail.size(), tail) == 0) ++n;
    return n;
  };
  EXPECT_EQ(asked("common/icons-hd.png"), 1);
  EXPECT_EQ(asked("BadgesA-hd.png"), 1);
  EXPECT_EQ(asked("menu-hd.png"), 1);
  EXPECT_EQ(asked("fonts/tessel-hd.png"), 2);  // by the reload and by step 6
  EXPECT_EQ(audio->loaded.size(), 4u);
  EXPECT_NE(app->m_Images[97], nullptr);
  EXPECT_EQ(app->m_ImgInfo[97 * 3], 64);
}

TEST_F(Flow, GrowingTheWindowReloadsAtTheHigherResolution) {
  toMenu();
  gfx->loaded.clear();
  resize(1280, 720);
  render();
  EXPECT_EQ(app->m_LoadStep, 1);
  updates(15);
  EXPECT_EQ(app->m_LoadStep, 0);
  EXPECT_EQ(app->m_ImgRes, 4);
  bool hd2 = false;
  for (const std::string& p : gfx->loaded) hd2 = hd2 || p.find("common/icons-hd2.png") != std::string::npos;
  EXPECT_TRUE(hd2);
  EXPECT_EQ(app->m_ImgInfo[97 * 3], 128);
}

TEST_F(Flow, BackClosesTheCreditsWithoutTheMenuSeeingIt) {
  toMenu();
  app->m_CreditsOpen = 1;
  keyDown(kEscape);
  update();
  EXPECT_EQ(app->m_CreditsOpen, 0);
  EXPECT_EQ(app->m_KeyLatch, 1);
  // Still held: the latch stays and nothing reopens or moves.
  keyDown(kDown);
  updates(3);
  EXPECT_EQ(app->m_KeyLatch, 1);
  EXPECT_EQ(app->m_GameMode, 2);
  keyUp(kEscape);
  keyUp(kDown);
  update();
  EXPECT_EQ(app->m_KeyLatch, 0);
  EXPECT_EQ(app->m_State, 1);
}

TEST_F(Flow, HeldControlMovesTheModeSelectionOnce) {
  toMenu();
  keyDown(kUp);
  updates(5);
  EXPECT_EQ(app->m_GameMode, 1);
  keyUp(kUp);
  update();
  keyDown(kDown);
  updates(5);
  EXPECT_EQ(app->m_GameMode, 2);
}

TEST_F(Flow, F10TogglesTheDebugTextOnEveryPress) {
  toMenu();
  tap(kF10);
  EXPECT_EQ(vo_Game_DebugMode, 1);
  tap(kF10);
  EXPECT_EQ(vo_Game_DebugMode, 0);
}

// The close key reaches the update when the delegate did not end the program
// on the key event itself; the update then ends it with status 0.
TEST_F(Flow, CloseKeyEndsTheProgramFromTheUpdate) {
  // The audio library runs threads, so the child starts afresh instead of forking them.
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  toMenu();
  keyDown(KEY_CLOSE);
  EXPECT_EXIT(update(), testing::ExitedWithCode(0), "");
}

TEST_F(Flow, UpdateRateIsMeasuredFromTheClock) {
  toMenu();
  const int last = app->m_LastUpdateMs;
  host.Advance(0.1);
  update();
  const int interval = app->m_LastUpdateMs - last;
  ASSERT_GT(interval, 100);
  EXPECT_EQ(app->m_Ups, 1000 / interval);
}

TEST_F(Flow, SuspendDuringPlaySavesAndComesBackPaused) {
  toMenu();
  keyDown(90);  // Z: start the selected mode
  updates(2);
  keyUp(90);
  ASSERT_EQ(app->m_State, 10);
  forgetState();
  app->p_OnSuspend();
  EXPECT_TRUE(stateSaved());
  EXPECT_EQ(host.UpdateRate(), 5);
  EXPECT_EQ(app->m_Paused, 1);
  app->p_OnResume();
  EXPECT_EQ(host.UpdateRate(), 60);
  EXPECT_EQ(app->m_Paused, 1);
  EXPECT_EQ(app->m_PauseMove, 1);
  EXPECT_EQ(app->m_PauseY, 240);
  update();
  EXPECT_EQ(app->m_Paused, 1);  // the pause menu is up and stays
  EXPECT_EQ(app->m_State, 10);
}

TEST_F(Flow, SuspendOnTheMenuSavesWithoutPausing) {
  toMenu();
  app->m_Settings[5] = 0;
  app->p_OnSuspend();
  EXPECT_EQ(fields(saved())[5], "0");
  app->p_OnResume();
  EXPECT_EQ(app->m_Paused, 0);
  EXPECT_EQ(app->m_PauseY, 0);
}

TEST_F(Flow, SuspendSwitchesICadeOff) {
  toMenu();
  app->p_iCade(1);
  ASSERT_EQ(vo_Game_iCadeControls, 1);
  app->p_OnSuspend();
  EXPECT_EQ(vo_Game_iCadeControls, 0);
}

}  // namespace
