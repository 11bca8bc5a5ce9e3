// The game object as a whole: its start values, its collector marking and the
// game module's globals.
#include "game/myapp.h"

#include "music/sqplayer.h"

// Start values; voInit assigns them again in its documented order.
int vo_Game_DebugMode = 0;
int vo_Game_HasMusic = 0;
int vo_Game_OnScreenControls = 0;
int vo_Game_iCadeControls = 0;
int vo_Game_AccelerometerControls = 0;
float vo_Game_rawscrw = 640.0f;
float vo_Game_rawscrh = 480.0f;
float vo_Game_jscrw = 640.0f;
float vo_Game_jscrh = 480.0f;
Array<String> vo_Game_CreditText;

// Every array is created at its fixed size here and never replaced; the fields
// without a listed start value keep their zero initialisers, the draw state
// included (the first p_CLS2D or p_ResetDraw gives it its reset values).
c_MyApp::c_MyApp() {
  gc_assign(m_Player, (new c_SqPlayer())->m_new());
  gc_assign(m_Images, Array<c_Image*>(100));
  gc_assign(m_ImgInfo, Array<int>(300));
  gc_assign(m_BadgeShowId, Array<int>(15));
  gc_assign(m_BadgeShowTime, Array<int>(15));
  gc_assign(m_Badges, Array<bool>(256));
  gc_assign(m_PadState, Array<int>(20));
  gc_assign(m_Settings, Array<int>(25));
  gc_assign(m_HighScores, Array<int>(150));
  gc_assign(m_SfxChannels, Array<int>(33));
  gc_assign(m_PixelBuf, Array<int>(16384));
  gc_assign(m_DrawList, Array<float>(DrawListSize));
  gc_assign(m_TouchDown, Array<int>(10));
  gc_assign(m_TouchX, Array<int>(10));
  gc_assign(m_TouchY, Array<int>(10));
  gc_assign(m_Sounds, Array<c_Sound*>(100));
}

c_MyApp* c_MyApp::m_new() {
  c_App::m_new();
  return this;
}

void c_MyApp::mark() {
  c_App::mark();
  gc_mark_q(m_Player);
  gc_mark_q(m_Images);
  gc_mark_q(m_ImgInfo);
  gc_mark_q(m_BadgeShowId);
  gc_mark_q(m_BadgeShowTime);
  gc_mark_q(m_Badges);
  gc_mark_q(m_PadState);
  gc_mark_q(m_Settings);
  gc_mark_q(m_HighScores);
  gc_mark_q(m_SfxChannels);
  gc_mark_q(m_PixelBuf);
  gc_mark_q(m_DrawList);
  gc_mark_q(m_TouchDown);
  gc_mark_q(m_TouchX);
  gc_mark_q(m_TouchY);
  gc_mark_q(m_Sounds);
}
