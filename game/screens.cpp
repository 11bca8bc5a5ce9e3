// The screens: title menu, play screen with its overlay and pause menu, the
// game-over panel and the credits box. Each runs once per update from the flow,
// reads the numbered controls, changes game fields and records its picture
// into the display list.
//
// Latch rule: a touch action needs m_TouchLatch at 0 and sets it; a control
// action needs m_KeyLatch at 0 and sets it. The update clears each latch when
// nothing is touched or held, so one press acts once.
#include <cmath>

#include "game/myapp.h"
#include "music/sqplayer.h"

namespace {

// Frames of the button sheet (kImgButtons) and the icon sheet (kImgIcons).
const int kButtonSelected = 15;
const int kButtonCredits = 12;
const int kIconPause = 0;
const int kIconQuit = 1;
const int kIconResume = 3;
const int kIconSoundOn = 4;
const int kIconSoundOff = 5;
const int kIconSelected = 6;
const int kIconFirstModeMark = 7;

// Sound effects: the interface click and the toggle / count-change sound.
const int kSfxClick = 98;
const int kSfxToggle = 99;

// The plus button stops adding sprites above this count.
const int kLastSpriteStep = 2479;

// The display list holds 2499 entries, fewer than the largest sprite field
// plus what is drawn over it. The field stops this many entries short of
// full, so the buttons, dots, score, pause menu and game-over panel drawn
// after it always fit; a field of 2,480 then shows 2,371 sprites.
const int kOverlayEntries = 128;
const int kSpriteFieldEnd = DrawListLastAppend + 1 - kOverlayEntries * DrawEntrySize;

// Pause menu selections.
const int kSelQuit = -1;
const int kSelResume = 0;
const int kSelSound = 1;

bool boxesClosed(const c_MyApp& app) { return app.m_CreditsOpen == 0 && app.m_BadgesOpen == 0; }

// A touch that acts: true once per touch, latching it.
bool takeTouch(c_MyApp& app, bool touched) {
  if (!touched || app.m_TouchLatch != 0) return false;
  app.m_TouchLatch = 1;
  return true;
}

// A control that acts: true once per hold, latching it.
bool takeKey(c_MyApp& app, bool held) {
  if (!held || app.m_KeyLatch != 0) return false;
  app.m_KeyLatch = 1;
  return true;
}

bool anyAction(c_MyApp& app) {
  for (int control = kControlAction; control <= kControlLastButton; control++)
    if (app.p_PlayKey(control)) return true;
  return false;
}

// The pause menu's control step through all four modes.
int soundCycle(int mode) { return mode >= kSoundOff && mode < kSoundMusicOnly ? mode + 1 : kSoundOff; }

// The title menu's step of the sound mode: all four modes with music, else
// a plain on/off switch.
int soundToggle(int mode) {
  if (vo_Game_HasMusic == 1) return soundCycle(mode);
  return mode == kSoundOff ? kSoundEffectsAndMusic : kSoundOff;
}

// The green sound button of the title and pause menus: a touch steps the
// sound mode and clicks when effects are on; with music a mark tells the mode.
void soundButton(c_MyApp& app, float x, float y) {
  app.p_SetSize(2);
  app.p_SetCol(50, 250, 50, 1);
  const int frame = app.m_Settings[kSettingSoundMode] == kSoundOff ? kIconSoundOff : kIconSoundOn;
  if (takeTouch(app, app.p_Button(kImgIcons, x, y, frame) == 1)) {
    app.m_Settings[kSettingSoundMode] = soundToggle(app.m_Settings[kSettingSoundMode]);
    if (SoundEffectsOn(app.m_Settings[kSettingSoundMode])) app.p_PlaySFX(kSfxClick, 1, 0.5f, 0);
  }
  const int mode = app.m_Settings[kSettingSoundMode];
  if (mode >= kSoundEffectsAndMusic && mode <= kSoundMusicOnly && vo_Game_HasMusic == 1) {
    app.p_SetSize(1.5f);
    app.p_SetCol(180, 255, 255);
    app.p_DrawImg(kImgIcons, x + 20, y, kIconFirstModeMark + mode);
  }
}

// Leaves the title menu for a new game in the given mode.
void startGame(c_MyApp& app, int mode) {
  app.m_State = kStateStartGame;
  app.m_TouchLatch = 1;
  app.m_KeyLatch = 1;
  app.m_GameMode = mode;
  app.p_PlaySFX(kSfxClick, 1, 0.5f, 0);
}

// One of the two score columns of the title menu: a caption and one padded
// score per row, rows separated by the text layout's line break.
String scoreBlock(c_MyApp& app, const char* caption, const char* single, int base) {
  String block = app.m_Rows == 1 ? String(single) : String(caption) + String(app.m_Rows);
  for (int i = 0; i < app.m_Rows; i++) block += String("\\n") + app.p_rstr(app.m_HighScores[base + i], 11, String(" "));
  return block;
}

void titleScores(c_MyApp& app, int s) {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  app.m_LineH = static_cast<int>(1.5f * static_cast<float>(app.m_ImgInfo[app.m_Font * 3 + 1]));
  // A font without a height would give no rows; one line unit keeps the
  // division defined and the panel then shows its ten rows at most.
  const int lineH = app.m_LineH > 0 ? app.m_LineH : 1;
  app.m_Rows = static_cast<int>(0.5f * h - 90) / lineH;
  if (app.m_Rows < 1) app.m_Rows = 1;
  if (app.m_Rows > 10) app.m_Rows = 10;
  if (!boxesClosed(app)) return;

  const int base = 10 * (app.m_GameMode - 1);
  const float x = w - 140 - 4.0f * s + 20;
  app.p_SetCol(255, 200, 100, 1);
  app.p_SetSize(1.5f);
  app.p_Text(x, 60, scoreBlock(app, "Top ", "Highscore", base), 0, 0);
  app.p_SetCol(200, 255, 100);
  app.p_SetSize(1.5f);
  app.p_Text(x, 0.5f * h + 20, scoreBlock(app, "Last ", "Last", base + 30), 0, 0);
}

void modeButtons(c_MyApp& app, int s) {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  const float fs = static_cast<float>(s);
  const float landscape[3][2] = {
      {0.2f * w, 0.7f * h - 8 * fs}, {0.4f * w, 0.7f * h - 12 * fs}, {0.6f * w, 0.7f * h - 10 * fs}};
  const float portrait[3][2] = {
      {0.3f * w - 8 * fs, 0.45f * h}, {0.3f * w, 0.65f * h - 12 * fs}, {0.3f * w + 8 * fs, 0.85f * h}};
  for (int i = 0; i < 3; i++) {
    const float* pos = app.m_Landscape == 1 ? landscape[i] : portrait[i];
    app.p_SetCol(255, 255, 255, 1);
    app.p_SetSize(1.5f);
    const bool touched = app.p_Button(kImgButtons, pos[0], pos[1], i) == 1;
    if (touched && app.m_TouchLatch == 0 && boxesClosed(app)) startGame(app, i + 1);
    if (app.m_GameMode == i + 1) {
      app.p_Alpha(0.75f);
      app.p_DrawImg(kImgButtons, pos[0], pos[1], kButtonSelected);
    }
  }
}

void menuKeys(c_MyApp& app) {
  if (!boxesClosed(app)) return;
  if (app.m_GameMode > 1 && takeKey(app, app.p_PlayKey(kControlUp) || app.p_PlayKey(kControlLeft))) {
    app.m_GameMode--;
    app.p_PlaySFX(kSfxClick, 0.8f, 0.5f, 0);
  }
  if (app.m_GameMode <= 2 && takeKey(app, app.p_PlayKey(kControlDown) || app.p_PlayKey(kControlRight))) {
    app.m_GameMode++;
    app.p_PlaySFX(kSfxClick, 1.2f, 0.5f, 0);
  }
  if (app.m_KeyLatch == 0 && anyAction(app)) startGame(app, app.m_GameMode);
}

// A play-screen dot: red, turning yellow while its control is held.
void controlDot(c_MyApp& app, int control, float x, float y) {
  if (app.p_PlayKey(control))
    app.p_SetCol(255, 255, 0, 0.8f);
  else
    app.p_SetCol(255, 0, 0, 0.5f);
  app.p_Oval(x, y, 32, 32);
}

void hub(c_MyApp& app, float x, float y) {
  app.p_SetCol(80, 155, 80, 0.5f);
  app.p_Oval(x, y, 16, 16);
}

// A stick or trigger position; a trigger dot turns cyan while its button holds.
void stickDot(c_MyApp& app, float x, float y, bool lit) {
  if (lit)
    app.p_SetCol(80, 255, 255, 0.5f);
  else
    app.p_SetCol(150, 255, 150, 0.5f);
  app.p_Oval(x, y, 24, 24);
}

// The four direction or button dots around a centre, then its hub.
void dotCross(c_MyApp& app, float cx, float cy, int left, int right, int up, int down) {
  controlDot(app, left, cx - 64, cy);
  controlDot(app, right, cx + 64, cy);
  controlDot(app, up, cx, cy - 64);
  controlDot(app, down, cx, cy + 64);
  hub(app, cx, cy);
}

void controlDots(c_MyApp& app) {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  // The input device's raw y axes: stick 0 is drawn up-positive, stick 1
  // down-positive; p_StickY(0) already returns the negated raw value.
  dotCross(app, 0.3f * w, 0.75f * h, 3, 5, 0, 8);
  stickDot(app, 0.3f * w + 64 * app.p_StickX(0, 0), 0.75f * h + 64 * app.p_StickY(0, 0), false);
  hub(app, 0.3f * w, 0.3f * h);
  stickDot(app, 0.3f * w, 0.3f * h + 64 * app.p_Trigger(0, 0), app.p_PlayKey(14));
  dotCross(app, 0.7f * w, 0.75f * h, 12, 11, 13, 10);
  stickDot(app, 0.7f * w + 64 * app.p_StickX(1, 0), 0.75f * h + 64 * app.p_StickY(1, 0), false);
  hub(app, 0.7f * w, 0.3f * h);
  stickDot(app, 0.7f * w, 0.3f * h + 64 * app.p_Trigger(1, 0), app.p_PlayKey(15));
}

void spriteField(c_MyApp& app) {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  for (int i = 1; i <= app.m_SpriteCount && app.m_DrawCount < kSpriteFieldEnd; i++) {
    app.p_SetRot(vo_random_Rnd() * 360);
    const float sy = 4 * vo_random_Rnd() - 2;
    const float sx = 4 * vo_random_Rnd() - 2;
    app.p_SetSize(sx, sy);
    const float x = static_cast<float>(static_cast<int>(vo_random_Rnd() * w));
    const float y = static_cast<float>(static_cast<int>(vo_random_Rnd() * h));
    app.p_Alpha(0.5f + 0.25f * vo_random_Rnd());
    int image = kImgLogo + static_cast<int>(12 * vo_random_Rnd());
    if (image > kImgMenu || i > 10) image = kImgParts;
    int frame = 0;
    if (app.m_GameMode == 3) {
      image = kImgMenu;
      frame = static_cast<int>(3 * vo_random_Rnd());
    } else if (app.m_GameMode == 2) {
      image = kImgLogo;
    } else if (image == kImgParts || image == kImgMenu) {
      frame = static_cast<int>(3 * vo_random_Rnd());
    }
    app.p_DrawImg(image, x, y, static_cast<float>(frame));
  }
}

// The pause panel's three bars: colour, alpha, and the rectangle relative to
// (0.5 W, y) in the landscape and in the portrait layout.
struct PanelBar {
  float r, g, b, alpha;
  float land[4];
  float port[4];
};
const PanelBar kPanelBars[] = {
    {255, 255, 10, 0.6f, {-128, -64, 256, 8}, {-96, -92, 192, 8}},
    {255, 150, 10, 0.7f, {-140, -52, 280, 104}, {-128, -80, 256, 160}},
    {10, 150, 255, 0.6f, {-128, 56, 256, 8}, {-96, 84, 192, 8}},
};

void pausePanel(c_MyApp& app, float y) {
  for (const PanelBar& bar : kPanelBars) {
    const float* r = app.m_Landscape == 1 ? bar.land : bar.port;
    app.p_SetCol(bar.r, bar.g, bar.b, bar.alpha);
    app.p_Rect(0.5f * vo_Game_jscrw + r[0], y + r[1], r[2], r[3]);
  }
}

// The pause menu's selection mark over the button at (x, y).
void selectionMark(c_MyApp& app, float x, float y) {
  app.p_SetSize(2.5f);
  app.p_SetCol(255, 255, 100);
  app.p_DrawImg(kImgIcons, x, y, kIconSelected);
}

// Starts closing the pause panel; play continues once it has slid out.
void resumePlay(c_MyApp& app) {
  app.m_PauseMove = -1;
  app.p_PlaySFX(kSfxClick, 1, 0.5f, 0);
}

void selectPause(c_MyApp& app, int selection, float rate) {
  app.m_PauseSel = selection;
  app.p_PlaySFX(kSfxClick, rate, 0.5f, 0);
}

void openPause(c_MyApp& app) {
  app.m_Paused = 1;
  app.m_PauseMove = 1;
  app.m_PauseSel = kSelResume;
  app.p_PlaySFX(kSfxClick, 1, 0.5f, 0);
}

// Clamps a bar colour channel to 0..255 (a NaN counts as 0) and truncates it.
float channel(float v) {
  if (!(v > 0)) return 0;
  if (v > 255) return 255;
  return static_cast<float>(static_cast<int>(v));
}

// Offset of tile i from the grid centre, skipping 0 so both halves move out.
int tileOffset(int i, int n) {
  const int u = i - n / 2;
  return u > 0 ? u : u - 1;
}

// The flying tile grid of the credits box at slide t.
void creditTiles(c_MyApp& app, float c, int nx, int ny, float x0, float y0, int t) {
  const int k = 30 - t;
  const float d = t < 20 ? c * static_cast<float>(t) / 20 : c;
  // A very narrow window gives fewer than three columns or rows; the bar
  // gradients then use one step instead of dividing by zero.
  const float spanX = static_cast<float>(nx - 2 > 0 ? nx - 2 : 1);
  const float spanY = static_cast<float>(ny - 2 > 0 ? ny - 2 : 1);
  for (int i = 0; i <= nx; i++) {
    for (int j = 0; j <= ny; j++) {
      const int u = tileOffset(i, nx);
      const int v = tileOffset(j, ny);
      const float x = static_cast<float>(i) * c + static_cast<float>(k * u * std::abs(u)) + x0 - d / 2;
      const float y = static_cast<float>(j) * c + static_cast<float>(k * v * std::abs(v)) + y0 - d / 2;
      const bool left = i == 0, right = i == nx, top = j == 0, bottom = j == ny;
      const bool outer = left || right || top || bottom;
      if (outer)
        app.p_SetCol(0, 0, 0);
      else
        app.p_SetCol(255, 255, 255);
      app.p_Rect(x, y, d + 1, d + 1);
      if (!outer) {
        float a = 2, wd = 4;
        if (j == ny - 1 && i >= 4 && i < nx - 2) {
          a = -6;
          wd = i == nx - 3 ? -4 : -24;
        }
        app.p_SetCol(128, 128, 128);
        app.p_Rect(x + a, y + 2, d - wd, d - 4);
        continue;
      }
      if ((left || right) && (top || bottom)) continue;
      const float p = 512 / spanX * static_cast<float>(i - 1);
      const float q = 512 / spanY * static_cast<float>(j - 1);
      if (top)
        app.p_SetCol(channel(p), channel(512 - p), 0);
      else if (left)
        app.p_SetCol(0, channel(512 - q), channel(q));
      else if (right)
        app.p_SetCol(channel(512 - q), 0, channel(q));
      else {
        const float g = channel(255 / spanX * static_cast<float>(i - 1));
        app.p_SetCol(g, g, g);
      }
      if (left || right)
        app.p_Rect(x, y + 8, d, d - 16);
      else
        app.p_Rect(x + 8, y, d - 16, d);
    }
  }
}

void creditLines(c_MyApp& app, int k) {
  // The last line is never shown; with no lines to show there is nothing to do.
  const int n = vo_Game_CreditText.Length() - 1;
  if (n < 1) return;
  app.m_CreditScroll -= 0.3f;
  if (app.m_CreditScroll < -16) {
    app.m_CreditScroll += 16;
    // Kept within the text so the counter never runs out of range.
    app.m_CreditLine = (app.m_CreditLine + 1) % n;
  }
  for (int l = -3; l <= 4; l++) {
    int index = (app.m_CreditLine + l) % n;
    if (index < 0) index += n;
    float a = 1 - (std::fabs((app.m_CreditScroll + 16.0f * l) / 40) - 0.3f);
    if (a < 0) a = 0;
    if (a > 1) a = 1;
    app.p_Alpha(a);
    app.p_Text(0.5f * vo_Game_jscrw + 24, 0.5f * vo_Game_jscrh - 24.0f * k + 16.0f * l + app.m_CreditScroll,
               vo_Game_CreditText[index], 0.8f, 0.8f);
  }
}

// A round corner knob of the credits box: white rim, grey face.
void knob(c_MyApp& app, float x, float y, float d) {
  app.p_SetSize(1);
  app.p_SetCol(255, 255, 255);
  app.p_Oval(x, y, d, d);
  app.p_SetCol(128, 128, 128);
  app.p_Oval(x, y, d - 3, d - 3);
  app.p_SetCol(255, 255, 255);
}

// Three read-out lines centred on a knob.
void readOut(c_MyApp& app, float x, float y, int a, int b, int c) {
  app.p_Text(x, y - 16, String(" ") + String(a), 0.8f, 0.8f);
  app.p_Text(x, y, String(" ") + String(b), 0.8f, 0.8f);
  app.p_Text(x, y + 16, String(" ") + String(c), 0.8f, 0.8f);
}

}  // namespace

int c_MyApp::p_Menu() {
  p_CLS2D(0, 0, 80, 1);
  if (m_MenuSlide < 0) m_MenuSlide = static_cast<int>(static_cast<float>(m_MenuSlide) + 0.25f);
  const int s = m_MenuSlide;
  const float fs = static_cast<float>(s);
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  m_PanelW = 140;

  p_SetSize(3);
  p_DrawImg(kImgMenu, 0.5f * w, 0.5f * h + 16 * fs, 0);
  p_SetSize(2);
  p_DrawImg(kImgMenu, 0.4f * w + 20 * fs, 0.5f * h, 2);
  p_SetSize(3);
  p_DrawImg(kImgMenu, 0.5f * w, 0.5f * h - 24 * fs, 1);
  p_SetSize(1);
  p_DrawImg(kImgLogo, 0.4f * w, 0.2f * h + 12 * fs, 0);

  p_SetCol(0, 0, 0, 0.4f);
  p_Rect(w - 140 - 4 * fs, 0, 140, h);

  if (m_Landscape == 1)
    soundButton(*this, 4 * fs + 32, static_cast<float>(static_cast<int>(0.5f * h)));
  else
    soundButton(*this, static_cast<float>(static_cast<int>(0.5f * w)), 4 * fs + 32);

  titleScores(*this, s);
  modeButtons(*this, s);
  menuKeys(*this);

  p_ResetDraw();
  const bool icade = p_Button(kImgICade, w - 38, 4 * fs + 38, vo_Game_iCadeControls) == 1;
  if (boxesClosed(*this) && takeTouch(*this, icade)) {
    p_iCade(1 - vo_Game_iCadeControls);
    p_PlaySFX(kSfxToggle, 1, 1, 0);
  }
  p_SetSize(0.5f);
  const bool credits = p_Button(kImgStudioLogo, w - 70, h - 40 - 4 * fs, 0) == 1;
  if (boxesClosed(*this) && takeTouch(*this, credits)) {
    p_PlaySFX(kSfxToggle, 1, 1, 0);
    m_CreditsOpen = 1;
  }
  return 0;
}

int c_MyApp::p_Game() {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  p_CLS2D(0, 0, 80, 1);
  // Every update replays the field from one seed; a pause keeps the seed.
  vo_random_Seed = m_PlaySeed;
  if (m_Paused != 1) m_PlaySeed = vo_app_Millisecs();
  spriteField(*this);

  p_ResetDraw();
  if (takeTouch(*this, p_Button(kImgButtons, 0.2f * w, 0.5f * h, 0) == 1 && m_SpriteCount > 0)) {
    m_SpriteCount -= 10;
    p_PlaySFX(kSfxToggle, 0.8f, 0.5f, 0);
  }
  if (takeTouch(*this, p_Button(kImgButtons, 0.8f * w, 0.5f * h, 2) == 1 && m_SpriteCount <= kLastSpriteStep)) {
    m_SpriteCount += 10;
    p_PlaySFX(kSfxToggle, 1.2f, 0.5f, 0);
  }

  p_SetSize(2);
  p_SetCol(100, 255, 100, 0.75f);
  p_Text(0.5f * w, 100, String(m_SpriteCount), 1, 1);
  p_ResetDraw();
  p_DrawImg(kImgLogo, 0.5f * w, 0.5f * h, 0);
  m_Score = m_SpriteCount;

  p_SetCol(255, 255, 255, 1);
  for (int i = 0; i < 10; i++) {
    if (m_TouchDown[i] == 0) continue;
    const float x = static_cast<float>(m_TouchX[i]);
    const float y = static_cast<float>(m_TouchY[i]);
    p_Line(x - 50, y - 50, x + 50, y + 50);
    p_Line(x - 50, y + 50, x + 50, y - 50);
  }
  controlDots(*this);

  m_ShownScore -= (m_ShownScore - m_Score) / 6;
  if (vo_math_Abs(m_ShownScore - m_Score) <= 5) m_ShownScore = m_Score;
  p_SetCol(100, 255, 100, 0.8f);
  p_SetSize(2);
  p_Text(0.5f * w, 32, p_rstr(m_ShownScore, 8, String("0")), 1, 1);
  return 0;
}

int c_MyApp::p_InGame() {
  p_ResetDraw();
  m_MenuSlide = -32;
  if (m_Paused == 0 && takeKey(*this, p_PlayKey(kControlBack))) openPause(*this);
  // The pause button acts on any touch while playing (no latch test), but
  // latches the touch so the opened menu does not also take it.
  if (p_Button(kImgIcons, 16, 16, kIconPause) == 1 && m_Paused == 0) {
    openPause(*this);
    m_TouchLatch = 1;
  }
  if (m_Paused == 1) p_PauseMenu();
  return 0;
}

int c_MyApp::p_PauseMenu() {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  p_SetSize(1);
  p_SetRot(0);
  m_DrawBlend = 1;
  p_SetCol(0, 0, 0, std::fabs(static_cast<float>(m_PauseY)) / (0.8f * h));
  p_Rect(0, 0, w, h);

  if (m_PauseMove == 1 && m_PauseY < 0.5f * h) m_PauseY += 24;
  if (m_PauseMove == -1) {
    if (m_PauseY < -63) {
      m_Paused = 0;
    } else {
      m_PauseY -= 24;
      if (m_PauseY < -32) m_Paused = 0;
    }
  }
  const float y = static_cast<float>(m_PauseY);
  const bool land = m_Landscape == 1;

  p_ResetDraw();
  pausePanel(*this, y);

  const float rx = static_cast<float>(static_cast<int>(0.5f * w));
  p_SetSize(2);
  p_SetCol(50, 50, 250, 1);
  const bool resumeTouched = p_Button(kImgIcons, rx, y, kIconResume) == 1;
  if (m_PauseSel == kSelResume) selectionMark(*this, rx, y);
  if (takeTouch(*this, resumeTouched)) resumePlay(*this);
  if (m_PauseSel == kSelResume) {
    if (takeKey(*this, p_PlayKey(kControlAction))) resumePlay(*this);
    if (takeKey(*this, p_PlayKey(kControlLeft) || p_PlayKey(kControlUp))) selectPause(*this, kSelQuit, 0.8f);
    if (takeKey(*this, p_PlayKey(kControlRight))) selectPause(*this, kSelSound, 1.2f);
  }

  const float qx = static_cast<float>(static_cast<int>(land ? 0.5f * w - 140 : 0.5f * w - 96));
  const float by = land ? y - 64 : y - 96;
  p_SetSize(2);
  p_SetCol(255, 50, 50, 1);
  const bool quitTouched = p_Button(kImgIcons, qx, by, kIconQuit) == 1;
  if (m_PauseSel == kSelQuit) selectionMark(*this, qx, by);
  const bool quitKey = m_PauseSel == kSelQuit && takeKey(*this, p_PlayKey(kControlAction));
  if (takeTouch(*this, quitTouched) || quitKey) {
    m_Paused = 0;
    m_PauseMove = -1;
    m_PauseY = -64;
    m_GameOverNow = 1;
    p_PlaySFX(kSfxClick, 0.5f, 0.5f, 0);
  }
  if (m_PauseSel == kSelQuit && takeKey(*this, p_PlayKey(kControlRight) || p_PlayKey(kControlDown)))
    selectPause(*this, kSelResume, 0.8f);

  const float sx = static_cast<float>(static_cast<int>(land ? 0.5f * w + 140 : 0.5f * w + 96));
  soundButton(*this, sx, by);
  if (m_PauseSel == kSelSound) {
    selectionMark(*this, sx, by);
    if (takeKey(*this, p_PlayKey(kControlAction))) {
      m_Settings[kSettingSoundMode] = soundCycle(m_Settings[kSettingSoundMode]);
      p_PlaySFX(kSfxClick, 1, 0.5f, 0);
    }
    if (takeKey(*this, p_PlayKey(kControlLeft) || p_PlayKey(kControlDown))) selectPause(*this, kSelResume, 0.8f);
  }

  if (takeKey(*this, p_PlayKey(kControlBack))) resumePlay(*this);
  return 0;
}

int c_MyApp::p_GameOver() {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  const int t = m_GameOverTime;
  if (t >= 1) {
    const float shade = static_cast<float>(t) / 40;
    p_SetCol(0, 0, 0, shade < 0.7f ? shade : 0.7f);
    p_Rect(-1, -1, w + 2, h + 2);
    int b = 12 * t;
    const int maxB = static_cast<int>(0.45f * h);
    if (b > maxB) b = maxB;
    const float fb = static_cast<float>(b);
    p_SetSize(1);
    m_DrawBlend = 1;
    p_SetCol(255, 255, 0, 0.5f);
    p_Rect(-1, 0.45f * h - 8, 2 * fb, 16);
    p_SetCol(255, 128, 0);
    p_Rect(w - 2 * fb, 0.55f * h - 8, 2 * fb + 1, 16);
    p_SetSize(4);
    p_SetCol(255, 180, 180, 1);
    p_Text(0.35f * w, fb, String("GAME"), 1, 1);
    p_Text(0.65f * w, h - fb, String("OVER"), 1, 1);

    p_MyNth();
    if (m_Loop > 0) {
      p_SetCol(0, 125, 255, 0.5f);
      p_SetSize(1);
      p_Rect(0.35f * w, h - fb / 1.5f - 16, 0.3f * w, 32);
      p_SetSize(2);
      p_SetCol(100, 255, 100, 1);
      p_Text(0.5f * w, h - fb / 1.5f, String("New Highscore\\n           ") + p_MyNth(), 0.5f, 2);
    }
  }

  if (m_State == kStatePlaying) {
    m_GameOverTime++;
    if (m_GameOverTime >= 90) {
      m_State = kStateRecordGame;
      m_GameOverTime = 75;
      m_Player->p_Sq_Stop(1);
    }
  }
  if (m_State < kStatePlaying) {
    m_GameOverTime -= 2;
    if (m_GameOverTime < 0) m_GameOverTime = 0;
  }
  return 0;
}

int c_MyApp::p_CreditBox() {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  const int t = m_CreditsSlide;
  const float fade = static_cast<float>(t) / 30;
  p_SetSize(1);
  p_SetRot(0);
  p_SetCol(255, 255, 255, fade);
  m_DrawBlend = 1;

  const float c = vo_math_Max2(w / 12, h / 12);
  const int k = 30 - t;
  const float fk = static_cast<float>(k);
  const float d = t < 20 ? c * static_cast<float>(t) / 20 : c;
  // A window with no visible area has no grid to lay out.
  if (!(c > 0)) return 0;
  const int nx = static_cast<int>(w / c);
  const int ny = static_cast<int>(h / c);
  const float x0 = 0.5f * w - 0.5f * c * static_cast<float>(nx);
  const float y0 = 0.5f * h - 0.5f * c * static_cast<float>(ny);
  creditTiles(*this, c, nx, ny, x0, y0, t);

  p_SetSize(1);
  p_SetCol(255, 255, 255);
  p_DrawImg(kImgCreditsLogo, 0.5f * w, 0.5f * h - 24 * fk, 0);
  creditLines(*this, k);

  p_Alpha(fade);
  p_SetCol(255, 255, 255);
  p_SetSize(0.4f);
  p_DrawImg(kImgLogo, 0.5f * w, y0 + static_cast<float>(ny - 1) * c + 4 * fk, 0);

  const float leftX = x0 + 1.5f * c - 6 * fk;
  const float rightX = x0 + (static_cast<float>(nx) - 1.5f) * c + 6 * fk;
  const float topY = y0 + 1.5f * c - 3 * fk;
  const float bottomY = y0 + (static_cast<float>(ny) - 1.5f) * c + 3 * fk;
  knob(*this, leftX, topY, d);
  readOut(*this, leftX, topY, m_DevWidth, m_DevHeight, m_UpsAvg);
  knob(*this, rightX, topY, d);
  readOut(*this, rightX, topY, static_cast<int>(std::floor(w)), static_cast<int>(std::floor(h)), m_FpsAvg);
  knob(*this, leftX, bottomY, d);
  p_DrawImg(kImgButtons, leftX, bottomY, kButtonCredits);
  knob(*this, rightX, bottomY, d);
  p_SetSize(0.3f);
  p_DrawImg(kImgStudioLogo, rightX, bottomY, 0);

  if (m_Touching > 0 && takeTouch(*this, true)) {
    m_CreditsOpen = 0;
    p_PlaySFX(kSfxToggle, 1, 1, 0);
  }
  return 0;
}
