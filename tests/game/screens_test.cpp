// The screens' rules that a picture cannot show: latches, the sprite count's
// grid, the frozen field while paused, the pause panel's movement and
// selection, the game-over sequence into the tables, the credits box and the
// score panel captions.
#include <cmath>

#include "tests/game/flow_fixture.h"

namespace {

using gametest::SessionTest;

const int kEscape = 27;
const int kLeft = 37;
const int kRight = 39;
const int kDown = 40;
const int kZ = 90;

class Screens : public SessionTest {
 protected:
  // From the title menu into a game of the selected mode.
  void toGame() {
    toMenu();
    keyDown(kZ);
    updates(2);
    keyUp(kZ);
    update();
    ASSERT_EQ(app->m_State, 10);
  }
  // A touch held for one update at a design position, then released.
  void touch(float x, float y) {
    mouseDown(x, y);
    update();
    mouseUp();
    update();
  }
  // The first n entries of the display list.
  std::vector<float> list(int n) const {
    return std::vector<float>(app->m_DrawList.Data(), app->m_DrawList.Data() + n * DrawEntrySize);
  }
};

TEST_F(Screens, HoldingAModeButtonStartsOneGame) {
  toMenu();
  // Mode 1's button sits at (0.2 W, 0.7 H) in landscape once the menu has slid in.
  updates(40);
  mouseDown(128, 336);
  update();
  EXPECT_EQ(app->m_State, 11);
  EXPECT_EQ(app->m_GameMode, 1);
  update();
  EXPECT_EQ(app->m_State, 10);
  updates(5);  // still held: no second start
  EXPECT_EQ(app->m_State, 10);
  mouseUp();
  update();
  EXPECT_EQ(app->m_TouchLatch, 0);
}

TEST_F(Screens, SpriteCountStaysOnItsGrid) {
  toGame();
  touch(128, 240);  // minus at (0.2 W, 0.5 H)
  EXPECT_EQ(app->m_SpriteCount, 40);
  app->m_SpriteCount = 0;
  touch(128, 240);
  EXPECT_EQ(app->m_SpriteCount, 0);
  app->m_SpriteCount = 2470;
  touch(512, 240);  // plus at (0.8 W, 0.5 H)
  EXPECT_EQ(app->m_SpriteCount, 2480);
  touch(512, 240);
  EXPECT_EQ(app->m_SpriteCount, 2480);
  EXPECT_EQ(app->m_Score, 2480);
}

TEST_F(Screens, ZeroSpritesDrawNoSprites) {
  toGame();
  app->m_SpriteCount = 0;
  update();
  // The first entry after the clear is the minus button, not a sprite.
  EXPECT_EQ(entry(0, 0), 95.0f);
}

// The largest field leaves room in the display list for everything over it:
// the pause button, the pause panel and, last of all, the game-over text.
TEST_F(Screens, OverlaysFitOverTheLargestField) {
  toGame();
  useFont();
  app->m_SpriteCount = 2480;
  app->m_Paused = 1;
  app->m_PauseMove = 1;
  app->m_GameOverNow = 1;
  app->m_GameOverTime = 30;
  update();
  int sprites = 0, pauseButtons = 0, panels = 0;
  for (int n = 0; n < entries(); ++n) {
    if (entry(n, 0) == 96.0f || entry(n, 0) == 98.0f || entry(n, 0) == 99.0f) ++sprites;
    if (entry(n, 0) == 97.0f && entry(n, 1) == 16 && entry(n, 2) == 16) ++pauseButtons;
    if (entry(n, 0) == DrawKindRect && entry(n, 10) == 255 && entry(n, 11) == 150 && entry(n, 12) == 10) ++panels;
  }
  EXPECT_GT(sprites, 2000);
  EXPECT_EQ(pauseButtons, 1);
  EXPECT_EQ(panels, 1);
  EXPECT_NE(drawnText().find("NewHighscore1st!"), std::string::npos);
}

TEST_F(Screens, SpriteFieldIsFrozenWhilePaused) {
  toGame();
  update();
  auto a = list(50);
  update();
  EXPECT_NE(a, list(50));  // the clock moved, so a new field
  app->m_Paused = 1;
  app->m_PauseMove = 1;
  update();
  auto b = list(50);
  update();
  EXPECT_EQ(b, list(50));
}

TEST_F(Screens, PausePanelSlidesInThenOut) {
  toGame();
  keyDown(kEscape);
  update();
  keyUp(kEscape);
  EXPECT_EQ(app->m_Paused, 1);
  EXPECT_EQ(app->m_PauseSel, 0);
  std::vector<int> ys;
  for (int i = 0; i < 14; ++i) {
    update();
    ys.push_back(app->m_PauseY);
  }
  EXPECT_EQ(ys.back(), 248);  // first step at or past 0.5 H, then it stays
  EXPECT_EQ(ys[ys.size() - 2], 248);
  keyDown(kEscape);
  update();
  keyUp(kEscape);
  EXPECT_EQ(app->m_PauseMove, -1);
  int steps = 0;
  while (app->m_Paused == 1 && steps < 30) {
    update();
    ++steps;
  }
  EXPECT_EQ(app->m_Paused, 0);
  EXPECT_LT(app->m_PauseY, -32);
  EXPECT_EQ(app->m_State, 10);
}

TEST_F(Screens, PauseSelectionStepsTheSoundModeThroughAllFour) {
  toGame();
  tap(kEscape);
  ASSERT_EQ(app->m_Paused, 1);
  tap(kRight);
  EXPECT_EQ(app->m_PauseSel, 1);
  for (int expected : {2, 3, 0, 1}) {
    tap(kZ);
    EXPECT_EQ(app->m_Settings[5], expected);
  }
  tap(kDown);
  EXPECT_EQ(app->m_PauseSel, 0);
  tap(kLeft);
  EXPECT_EQ(app->m_PauseSel, -1);
}

TEST_F(Screens, QuitPlaysTheGameOverPanelAndEntersTheScore) {
  toGame();
  app->m_SpriteCount = 70;
  tap(kEscape);
  tap(kLeft);
  forgetState();
  keyDown(kZ);
  update();
  keyUp(kZ);
  EXPECT_EQ(app->m_GameOverNow, 1);
  EXPECT_EQ(app->m_Paused, 0);
  int updatesToMenu = 1;
  while (app->m_State == 10 && updatesToMenu < 200) {
    update();
    ++updatesToMenu;
  }
  // The panel builds up over 90 play updates; the next update records the
  // game and returns to the title menu.
  EXPECT_EQ(updatesToMenu, 90);
  EXPECT_EQ(app->m_State, 2);
  EXPECT_FALSE(stateSaved());
  update();
  EXPECT_EQ(app->m_State, 1);
  EXPECT_TRUE(stateSaved());
  EXPECT_EQ(app->m_HighScores[10], 70);  // mode 2 best
  EXPECT_EQ(app->m_HighScores[40], 70);  // mode 2 last
  // Over the menu it fades back out and stops at 0.
  updates(60);
  EXPECT_EQ(app->m_GameOverTime, 0);
}

TEST_F(Screens, NewHighScoreTextIsShownOnTheGameOverPanel) {
  toGame();
  useFont();
  app->m_GameOverNow = 1;
  app->m_GameOverTime = 30;
  update();
  EXPECT_NE(drawnText().find("NewHighscore1st!"), std::string::npos) << drawnText();
}

TEST_F(Screens, GameOverTimerAtZeroDrawsNothingFirst) {
  toMenu();
  app->p_CLS2D();
  app->m_State = 10;
  app->m_GameOverTime = 0;
  app->p_GameOver();
  EXPECT_EQ(entries(), 0);
  EXPECT_EQ(app->m_GameOverTime, 1);
}

TEST_F(Screens, CreditsOpenFlyInAndCloseOnAnyTouch) {
  toMenu();
  updates(40);
  touch(570, 440);  // the credits button at (W - 70, H - 40)
  EXPECT_EQ(app->m_CreditsOpen, 1);
  updates(35);
  EXPECT_EQ(app->m_CreditsSlide, 30);
  const int mode = app->m_GameMode;
  touch(128, 336);  // over mode 1's button: only the box sees it
  EXPECT_EQ(app->m_CreditsOpen, 0);
  EXPECT_EQ(app->m_State, 1);
  EXPECT_EQ(app->m_GameMode, mode);
  updates(30);
  EXPECT_EQ(app->m_CreditsSlide, 0);
}

TEST_F(Screens, CreditsScrollThroughEveryLineButTheLast) {
  toMenu();
  useFont();
  app->m_CreditsOpen = 1;
  app->m_CreditsSlide = 30;
  // A line moves on every 16 / 0.3 updates; two rounds of the 38 shown lines.
  std::string seen;
  for (int i = 0; i < 2 * 38 * 54; ++i) {
    app->p_CLS2D();
    app->p_CreditBox();
    if (i % 10 == 0) seen += drawnText();
  }
  for (int i = 0; i < 38; ++i) {
    std::string line;
    for (char c : vo_Game_CreditText[i].ToUtf8())
      if (c != ' ') line += c;
    EXPECT_NE(seen.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(seen.find("End"), std::string::npos);
  EXPECT_GE(app->m_CreditLine, 0);  // the line counter stays within the text
  EXPECT_LT(app->m_CreditLine, 38);
}

TEST_F(Screens, CreditsBoxInANarrowWindowStaysFinite) {
  toMenu();
  vo_Game_jscrw = 60;  // fewer than three tile columns
  app->m_CreditsSlide = 30;
  app->p_CLS2D();
  app->p_CreditBox();
  ASSERT_GT(entries(), 0);
  for (int n = 0; n < entries(); ++n)
    for (int s : {1, 2, 4, 5, 10, 11, 12}) ASSERT_TRUE(std::isfinite(entry(n, s))) << n << " " << s;
}

TEST_F(Screens, OneScoreRowUsesTheSingleCaptions) {
  toMenu();
  useFont();
  vo_Game_jscrh = 150;  // (75 - 90) / 15 rows: clamped to one
  update();
  EXPECT_EQ(app->m_Rows, 1);
  std::string text = drawnText();
  EXPECT_NE(text.find("Highscore"), std::string::npos) << text;
  EXPECT_NE(text.find("Last"), std::string::npos) << text;
  EXPECT_EQ(text.find("Top"), std::string::npos) << text;
}

TEST_F(Screens, SoundButtonTogglesWithoutMusic) {
  toMenu();
  updates(40);
  touch(32, 240);  // landscape: (32, 0.5 H)
  EXPECT_EQ(app->m_Settings[5], 0);
  touch(32, 240);
  EXPECT_EQ(app->m_Settings[5], 1);
  app->m_Settings[5] = 3;
  touch(32, 240);
  EXPECT_EQ(app->m_Settings[5], 0);
}

}  // namespace
