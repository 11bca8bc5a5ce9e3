// The game object as created: start values, sizes of its tables, its place as
// the application, and marking that keeps every table alive through
// collections.
#include "music/sqplayer.h"
#include "tests/game/game_fixture.h"

namespace {

using gametest::GameTest;
using GameObject = GameTest;

TEST_F(GameObject, CreationInstallsTheApplication) {
  EXPECT_EQ(vo_app__app, app);
  ASSERT_NE(vo_app__delegate, nullptr);
  EXPECT_EQ(host.Delegate(), vo_app__delegate);
  ASSERT_NE(app->m_Player, nullptr);
}

TEST_F(GameObject, TablesHaveTheirFixedSizesAndStartEmpty) {
  const struct {
    int length, expected;
  } sizes[] = {{app->m_Images.Length(), 100},       {app->m_ImgInfo.Length(), 300},
               {app->m_BadgeShowId.Length(), 15},   {app->m_BadgeShowTime.Length(), 15},
               {app->m_Badges.Length(), 256},       {app->m_PadState.Length(), 20},
               {app->m_Settings.Length(), 25},      {app->m_HighScores.Length(), 150},
               {app->m_SfxChannels.Length(), 33},   {app->m_PixelBuf.Length(), 16384},
               {app->m_DrawList.Length(), 37500},   {app->m_TouchDown.Length(), 10},
               {app->m_TouchX.Length(), 10},        {app->m_TouchY.Length(), 10},
               {app->m_Sounds.Length(), 100}};
  for (const auto& s : sizes) EXPECT_EQ(s.length, s.expected);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(app->m_Images[i], nullptr);
    EXPECT_EQ(app->m_Sounds[i], nullptr);
  }
  for (int i = 0; i < 33; ++i) EXPECT_EQ(app->m_SfxChannels[i], 0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(app->m_TouchX[i], 0);
}

TEST_F(GameObject, ScalarsStartAtZero) {
  EXPECT_EQ(app->m_State, 0);
  EXPECT_EQ(app->m_LoadStep, 0);
  EXPECT_EQ(app->m_DrawCount, 0);
  EXPECT_EQ(app->m_ImgRes, 0);
  EXPECT_EQ(app->m_ImgScale, 0.0f);
  EXPECT_EQ(app->m_ScaleX, 0.0f);
  EXPECT_EQ(app->m_SfxChan, 0);
  EXPECT_EQ(app->m_MenuSlide, 0);
  EXPECT_EQ(app->m_PauseY, 0);
  // The draw state has no values until the first reset.
  EXPECT_EQ(app->m_DrawScaleX, 0.0f);
  EXPECT_EQ(app->m_DrawR, 0.0f);
  EXPECT_EQ(app->m_DrawAlpha, 0.0f);
  EXPECT_EQ(app->m_DrawBlend, 0);
  EXPECT_EQ(app->m_ClsAlpha, 0.0f);
}

// The roots that reach the game object and the drivers it draws and plays on.
void markGameRoots() {
  gc_mark_q(vo_app__app);
  gc_mark_q(vo_graphics_device);
  gc_mark_q(vo_graphics_context);
  gc_mark_q(vo_audio_device);
  gc_mark_q(vo_input_device);
}

TEST_F(GameObject, MarkingKeepsEveryTableThroughCollections) {
  gc_mark_roots_hook = markGameRoots;
  c_Image* img = (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(8, 8), 1, 0);
  gc_assign(app->m_Images[99], img);
  gc_assign(app->m_Sounds[3], (new c_Sound)->m_new2());
  app->m_DrawList[37499] = 5;
  app->m_PixelBuf[16383] = 6;
  app->m_TouchY[9] = 7;
  app->m_Badges[255] = true;
  gc_stress = true;
  for (int i = 0; i < 3; ++i) {
    gc_collect_all();
    // Garbage in between reuses freed blocks, so a lost table would be overwritten.
    for (int j = 0; j < 50; ++j) {
      Array<float> junk(1000);
      junk[0] = -1;
    }
  }
  gc_stress = false;
  EXPECT_EQ(app->m_Images[99], img);
  EXPECT_EQ(img->m_frames.Length(), 1);
  EXPECT_NE(app->m_Sounds[3], nullptr);
  EXPECT_EQ(app->m_DrawList[37499], 5);
  EXPECT_EQ(app->m_PixelBuf[16383], 6);
  EXPECT_EQ(app->m_TouchY[9], 7);
  EXPECT_TRUE(app->m_Badges[255]);
  EXPECT_EQ(app->m_Player->m_Tempo, 95);
}

}  // namespace
