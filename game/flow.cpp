// Game flow: start-up of the module globals, creation of the application, the
// per-update dispatch over the screen state, the stepwise asset loader with its
// loading screen, and suspension.
//
// Screen states: 1 title menu (with the game-over panel, credits box and badge
// box over it), 2 record a finished game and return to 1, 10 playing (with the
// pause menu over it), 11 start a new game. While m_LoadStep is above 0 the
// loader runs instead of the screens, one asset group per update.
#include <cmath>

#include "game/myapp.h"
#include "music/sqplayer.h"

namespace {

// The credits text: an empty first line, sections between "-=-=-" lines, and a
// last line that the scrolling credits never reach.
const char* const kCreditLines[] = {
    "",
    "Quillet",
    "A controller and drawing test",
    "",
    "-=-=-",
    "",
    "Design and Code",
    "The Quillet Team",
    "",
    "-=-=-",
    "",
    "Pictures",
    "Generated Tiles",
    "Procedural Sprites",
    "",
    "-=-=-",
    "",
    "Sound and Music",
    "Synthesised Effects",
    "Tune Sheet Sequencer",
    "",
    "-=-=-",
    "",
    "Runtime",
    "Dovel Language Runtime",
    "GLFW, OpenGL, OpenAL",
    "",
    "-=-=-",
    "",
    "Testing",
    "Every Keyboard",
    "Every Joystick",
    "",
    "-=-=-",
    "",
    "Thanks For Playing",
    "",
    "-=-=-",
    "End",
};
const int kCreditLineCount = sizeof(kCreditLines) / sizeof(kCreditLines[0]);
static_assert(kCreditLineCount == 39, "the credits box expects 39 lines");

// The loader's work, one asset group per step; images are loaded with
// centred handles (flags 1).
enum class LoadKind { Image, Font, Sound };
struct LoadItem {
  int step;
  LoadKind kind;
  int slot;
  const char* path;
  int w, h, frames;
};
const LoadItem kLoadItems[] = {
    {1, LoadKind::Image, kImgIcons, "common/icons", 32, 32, 16},
    {2, LoadKind::Image, kImgButtons, "common/Buttons", 64, 64, 16},
    {3, LoadKind::Image, kImgDpad, "common/dpad", 32, 32, 16},
    {4, LoadKind::Image, kImgICade, "common/icade", 64, 64, 2},
    {5, LoadKind::Image, kImgStudioLogo, "common/BrevoLogo", 256, 256, 1},
    {5, LoadKind::Image, kImgCreditsLogo, "common/Testcard_Circle", 256, 256, 1},
    {6, LoadKind::Font, kImgFont, "fonts/tessel", 7, 10, 128},
    {7, LoadKind::Sound, 1, nullptr, 0, 0, 0},
    {8, LoadKind::Sound, 95, nullptr, 0, 0, 0},
    {9, LoadKind::Sound, 98, nullptr, 0, 0, 0},
    {10, LoadKind::Sound, 99, nullptr, 0, 0, 0},
    {11, LoadKind::Image, kImgMenu, "menu", 256, 256, 4},
    {12, LoadKind::Image, kImgLogo, "logo", 256, 128, 1},
    {13, LoadKind::Image, kImgParts, "parts", 8, 8, 16},
    {14, LoadKind::Image, kImgBadges, "BadgesA", 64, 64, 64},
};

// The controls whose hold keeps a consumed press latched, in test order: every
// control number and the iCade pad entries 16 and 17.
const int kLatchControls[] = {0, 3, 5, 8, 10, 11, 12, 13, 14, 15, 16, 17, 99};

// F10 toggles the debug text.
const int kKeyF10 = 121;

const float kDegToRad = 0.017453292f;

// Queues the framework's roots, then the game module's one object global.
void markRoots() {
  vo_framework_MarkRoots();
  gc_mark_q(vo_Game_CreditText);
}

// Eleven spinner dots around the centre, fading in from i = 0 to i = 10.
void spinner(c_MyApp& app, float r, float g, float b, int angleOffset) {
  const float radius = static_cast<float>(app.m_SpinRadius) / 4.0f;
  for (int i = 0; i <= 10; i++) {
    app.p_SetCol(r, g, b);
    app.p_Alpha(static_cast<float>(i) / 10.0f);
    const float a = static_cast<float>(app.m_SpinAngle + angleOffset + 16 * i) * kDegToRad;
    app.p_Oval(0.5f * vo_Game_jscrw + std::sin(a) * radius, 0.5f * vo_Game_jscrh - std::cos(a) * radius, 8, 8);
  }
}

// Opens the pause menu when a game is running or starting, else clears it;
// suspension and resumption both apply this rule.
void pauseForSuspension(c_MyApp& app) {
  if (app.m_State >= kStatePlaying) {
    app.m_Paused = 1;
    app.m_PauseMove = 1;
    app.m_PauseY = static_cast<int>(0.5f * vo_Game_jscrh);
  } else {
    app.m_Paused = 0;
    app.m_PauseMove = 0;
    app.m_PauseY = 0;
  }
}

// Update step 8: a held control stays consumed until released; back on the
// title menu closes an open box and consumes the press, so the menu under it
// does not also react.
void backHandling(c_MyApp& app) {
  bool held = false;
  for (int control : kLatchControls) {
    if (app.p_PlayKey(control, 0)) {
      held = true;
      break;
    }
  }
  if (!held) app.m_KeyLatch = 0;
  if ((held && app.m_KeyLatch == 1) || app.m_TouchLatch == 1) return;
  if (app.p_PlayKey(kControlBack, 0) && app.m_State == kStateTitle &&
      (app.m_CreditsOpen == 1 || app.m_BadgesOpen == 1)) {
    app.m_CreditsOpen = 0;
    app.m_BadgesOpen = 0;
    app.m_KeyLatch = 1;
    app.m_TouchLatch = 1;
  }
}

// Update step 9: the screen of the current state and the overlays over it.
void screens(c_MyApp& app) {
  switch (app.m_State) {
    case kStateTitle:
      app.p_Menu();
      break;
    case kStateRecordGame:
      app.p_LoadMenu();
      app.m_State = kStateTitle;
      break;
    case kStatePlaying:
      app.p_Game();
      app.p_InGame();
      break;
    case kStateStartGame:
      app.p_LoadGame();
      break;
    default:
      break;
  }
  if (app.m_State == kStatePlaying && app.m_GameOverNow > 0) app.p_GameOver();
  if (app.m_State == kStateTitle || app.m_State == kStateRecordGame) app.p_GameOver();
  if (app.m_State == kStateTitle && (app.m_CreditsOpen == 1 || app.m_CreditsSlide > 0)) app.p_CreditBox();

  if (app.m_CreditsOpen == 1) {
    if (app.m_CreditsSlide < 30) app.m_CreditsSlide++;
  } else if (app.m_CreditsSlide > 0) {
    app.m_CreditsSlide--;
  }
  if (app.m_State == kStateTitle && app.m_BadgesOpen == 1) app.p_BadgesBox();
}

// Update step 12: frame rate and screen scale, for checking a device by eye.
void debugText(c_MyApp& app) {
  app.p_ResetDraw();
  String text = String(app.m_FpsAvg) + String(":") + String(app.m_ScaleX) + String(",") + String(app.m_ScaleY);
  if (vo_Game_AccelerometerControls == 1) {
    app.p_Text(16, 0.5f * vo_Game_jscrh, text, 0, 0);
    if (vo_Game_iCadeControls != 1) return;
  }
  app.p_Text(16, vo_Game_jscrh, text, 0, 0);
}

}  // namespace

int voInit() {
  vo_framework_Init();
  gc_mark_roots_hook = markRoots;
  vo_Game_HasMusic = QUILLET_HAS_MUSIC;
  vo_Game_DebugMode = 0;
  vo_Game_rawscrw = 640.0f;
  vo_Game_rawscrh = 480.0f;
  vo_Game_jscrw = 640.0f;
  vo_Game_jscrh = 480.0f;
  vo_Game_iCadeControls = 0;
  Array<String> credits(kCreditLineCount);
  for (int i = 0; i < kCreditLineCount; i++) credits[i] = String(kCreditLines[i]);
  gc_assign(vo_Game_CreditText, credits);
  vo_Game_OnScreenControls = 0;
  vo_Game_AccelerometerControls = 0;
  return 0;
}

int voMain() {
  (new c_MyApp())->m_new();
  return 0;
}

int c_MyApp::p_OnCreate() {
  m_State = kStateTitle;
  vo_app_SetUpdateRate(60);
  m_DevWidth = vo_graphics_DeviceWidth();
  m_DevHeight = vo_graphics_DeviceHeight();
  if (vo_Game_HasMusic == 1) m_Player->p_Sq_Init(32, 4, 3, 3, 4);
  m_TiltZeroX = 0;
  m_TiltZeroY = 0;
  p_Reload();

  m_GameMode = 2;
  m_MenuSlide = -32;
  m_SpriteCount = 50;
  m_Paused = 0;
  m_PauseMove = -1;
  m_PauseY = -64;

  for (int i = 0; i < 15; i++) {
    m_BadgeShowId[i] = 0;
    m_BadgeShowTime[i] = 0;
  }
  for (int i = 0; i < 128; i++) m_Badges[i] = false;
  for (int i = 0; i < 19; i++) m_PadState[i] = 0;
  for (int i = 0; i < 25; i++) m_Settings[i] = 0;
  for (int i = 0; i < 31; i++) m_HighScores[i] = 0;
  m_Settings[kSettingSoundMode] = kSoundEffectsAndMusic;

  p_Load();
  for (int i = 0; i < 33; i++) m_SfxChannels[i] = i;
  return 0;
}

int c_MyApp::p_OnUpdate() {
  p_ControllerInput();
  m_PadState[19] = vo_input_KeyHit(KEY_BACK);
  if (vo_input_KeyHit(KEY_CLOSE) > 0) vo_app_EndApp();
  if (vo_input_KeyHit(kKeyF10) > 0) vo_Game_DebugMode = 1 - vo_Game_DebugMode;
  vo_asyncevent_UpdateAsyncEvents();

  const int now = vo_app_Millisecs();
  const int sinceLast = vo_app_MillisecsBetween(m_LastUpdateMs, now);
  if (sinceLast > 0) m_Ups = 1000 / sinceLast;
  m_UpsAvg = (m_UpsAvg * 9 + m_Ups) / 10;
  m_LastUpdateMs = now;

  if (vo_Game_HasMusic == 1) {
    m_Player->p_Sq_Alive_U(m_Paused, MusicOn(m_Settings[kSettingSoundMode]) ? 1 : 0);
  }

  p_SampleTouch();
  if (m_Touching == 0) m_TouchLatch = 0;
  backHandling(*this);

  if (m_LoadStep == 0) screens(*this);
  if (m_LoadStep > 0) p_Loader();

  p_UpdateControls();
  if (vo_Game_DebugMode == 1) debugText(*this);
  p_ShowBadges();
  p_ControllerPanel();
  return 0;
}

// One loader step per update: choose the resolution, load one asset group,
// advance, and draw the loading screen.
int c_MyApp::p_Loader() {
  p_PickResolution();

  bool loaded = false;
  for (const LoadItem& item : kLoadItems) {
    if (item.step != m_LoadStep) continue;
    loaded = true;
    switch (item.kind) {
      case LoadKind::Image:
        p_LoadImg(item.slot, String(item.path), item.w, item.h, item.frames, 1);
        break;
      case LoadKind::Font:
        p_LoadFont(item.slot, String(item.path), item.w, item.h);
        break;
      case LoadKind::Sound:
        p_LoadSFX(item.slot);
        break;
    }
  }
  // A step with nothing to load is past the last one: loading is finished.
  m_LoadStep = loaded ? m_LoadStep + 1 : 0;
  p_WaitStart(1);
  return 0;
}

// The loading screen: two counter-rotating spinners around the logo.
int c_MyApp::p_WaitStart(int) {
  m_DrawCount = 0;
  m_ClsR = 40;
  m_ClsG = 40;
  m_ClsB = 80;
  m_ClsAlpha = 1.0f;
  p_ResetDraw();
  m_SpinRadius = static_cast<int>(vo_math_Max2(vo_Game_jscrw, vo_Game_jscrh));
  m_SpinAngle += 16;
  const float r = static_cast<float>(m_SpinRadius);

  spinner(*this, 250, 250, 250, 180);

  p_SetCol(255, 255, 0, 0.8f);
  p_Oval(0.5f * vo_Game_jscrw, 0.5f * vo_Game_jscrh, 0.3f * r, 0.3f * r);
  p_SetCol(250, 160, 60, 0.7f);
  p_Rect(0, 0.4f * vo_Game_jscrh, vo_Game_jscrw, 0.2f * vo_Game_jscrh);
  p_ResetDraw();
  p_DrawImg(kImgStudioLogo, 0.5f * vo_Game_jscrw, 0.48f * vo_Game_jscrh, 0);

  spinner(*this, 50, 50, 50, 0);
  m_Loop = 11;
  return 0;
}

int c_MyApp::p_OnSuspend() {
  p_iCade(0);
  pauseForSuspension(*this);
  vo_app_SetUpdateRate(5);
  p_Save();
  return 0;
}

int c_MyApp::p_OnResume() {
  pauseForSuspension(*this);
  vo_app_SetUpdateRate(60);
  p_iCade(0);
  return 0;
}
