// The game object as created: its place as the application, and marking that
// keeps every table alive through collections.
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
  Array<int> c_MyApp::*const ints[] = {&c_MyApp::m_ImgInfo,     &c_MyApp::m_BadgeShowId, &c_MyApp::m_BadgeShowTime,
                                       &c_MyApp::m_PadState,    &c_MyApp::m_Settings,    &c_MyApp::m_HighScores,
                                       &c_MyApp::m_SfxChannels, &c_MyApp::m_PixelBuf,    &c_MyApp::m_TouchDown,
                                       &c_MyApp::m_TouchX,      &c_MyApp::m_TouchY};
  for (int i = 0; i < 11; ++i) {
    Array<int>& a = app->*ints[i];
    a[a.Length() - 1] = 100 + i;
  }
  app->m_DrawList[37499] = 5;
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
  for (int i = 0; i < 11; ++i) {
    Array<int>& a = app->*ints[i];
    EXPECT_EQ(a[a.Length() - 1], 100 + i) << i;
  }
  EXPECT_EQ(app->m_DrawList[37499], 5);
  EXPECT_TRUE(app->m_Badges[255]);
  EXPECT_EQ(app->m_Player->m_Tempo, 95);
}

}  // namespace
