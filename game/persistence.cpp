// Saved state, score tables and badges.
//
// Everything that lasts between runs travels as one text of 98 values, each
// followed by "|": 25 settings and their checksum, eight badge words and their
// checksum, then for each of the three modes ten (best, last) score pairs and
// that block's checksum. Loading takes the text section by section with one
// read position; a section whose fields are missing is skipped without moving
// it, and a checksum mismatch resets only the section concerned.
//
// The checksums are 32-bit sums of products that are expected to wrap. They are
// accumulated as unsigned values, where wrapping is defined, and written back as
// the signed 32-bit number with the same bits, so stored files stay readable.
#include <cstdint>
#include <string>

#include "game/myapp.h"
#include "music/sqplayer.h"

namespace {

const int kSettings = 25;
const int kBadgeWords = 8;
const int kPlaces = 10;
const int kModes = 3;
const int kLastBase = 30;

// The place texts for places 1 to 10.
const char* const kPlaceText[kPlaces] = {"1st!", "2nd", "3rd", "4th", "5th", "6th", "7th", "8th", "9th", "10th"};

// The tunes of modes 1 to 3.
const char* const kModeTune[kModes] = {"Hollow Road/Tune_12", "Retro/Cavern Walk", "Retro/Brick Hop"};

uint32_t bits(int v) { return static_cast<uint32_t>(v); }

// The signed 32-bit number with the same bits as a wrapped unsigned sum.
int32_t signedOf(uint32_t v) { return static_cast<int32_t>(v); }

// Appends one value and its "|" to the state text.
void put(std::string& out, int32_t v) {
  out += std::to_string(v);
  out += '|';
}

uint32_t settingsSum(const Array<int>& s) {
  uint32_t sum = 0;
  for (int i = 0; i < kSettings; i++) sum += bits(i) * bits(s[i]);
  return sum;
}

// One block of the scores checksum: (p + 4)·best + (m + p + 3)·last.
uint32_t scoreSum(const Array<int>& hs, int m) {
  uint32_t sum = 0;
  for (int p = 0; p < kPlaces; p++) {
    sum += bits(p + 4) * bits(hs[10 * m + p]);
    sum += bits(m + p + 3) * bits(hs[kLastBase + 10 * m + p]);
  }
  return sum;
}

// Badge word k: badges 32k to 32k + 31, badge 32k + j in bit j.
uint32_t badgeWord(const Array<bool>& badges, int k) {
  uint32_t w = 0;
  for (int j = 0; j < 32; j++)
    if (badges[32 * k + j]) w |= 1u << j;
  return w;
}

int fieldInt(const Array<String>& f, int i) { return f[i].ToInt(); }

// The state text as saved: settings, badges and the three score blocks.
String stateText(const c_MyApp& app) {
  std::string out;
  for (int i = 0; i < kSettings; i++) put(out, app.m_Settings[i]);
  put(out, signedOf(settingsSum(app.m_Settings)));

  uint32_t badgeSum = 0;
  for (int k = 0; k < kBadgeWords; k++) {
    uint32_t w = badgeWord(app.m_Badges, k);
    badgeSum += w;
    put(out, signedOf(w));
  }
  put(out, signedOf(badgeSum));

  for (int m = 0; m < kModes; m++) {
    for (int p = 0; p < kPlaces; p++) {
      put(out, app.m_HighScores[10 * m + p]);
      put(out, app.m_HighScores[kLastBase + 10 * m + p]);
    }
    put(out, signedOf(scoreSum(app.m_HighScores, m)));
  }
  return String(out.c_str());
}

}  // namespace

int c_MyApp::p_Save() {
  String state = stateText(*this);
  if (vo_Game_DebugMode == 1) voDebugLog(state);
  vo_app_SaveState(state);
  return 0;
}

int c_MyApp::p_Load() {
  String state = vo_app_LoadState();
  if (vo_Game_DebugMode == 1) voDebugLog(state);
  Array<String> f = state.Split(String("|"));
  const int n = f.Length();
  int pos = 0;

  if (n >= kSettings + 1) {
    for (int i = 0; i < kSettings; i++) m_Settings[i] = fieldInt(f, i);
    pos += kSettings;
    uint32_t stored = bits(fieldInt(f, pos));
    pos += 1;
    if (stored == settingsSum(m_Settings)) {
      voPrint(String("Settings Loaded"));
    } else {
      voPrint(String("Settings Checksum Invalid"));
      for (int i = 0; i < kSettings; i++) m_Settings[i] = 0;
      m_Settings[kSettingSoundMode] = kSoundEffectsAndMusic;
    }
  }

  // The on-screen pad's position and size have floors whether or not the
  // settings were read, so a first run places the pad on the screen.
  if (m_Settings[kSettingPadX] < 64) m_Settings[kSettingPadX] = 64;
  if (m_Settings[kSettingPadY] < 64) m_Settings[kSettingPadY] = 64;
  if (m_Settings[kSettingPadSize] < 8) m_Settings[kSettingPadSize] = 10;

  if (pos + kBadgeWords < n) {
    uint32_t sum = 0;
    for (int k = 0; k < kBadgeWords; k++) {
      uint32_t w = bits(fieldInt(f, pos + k));
      sum += w;
      for (int j = 0; j < 32; j++) m_Badges[32 * k + j] = ((w >> j) & 1u) != 0;
    }
    pos += kBadgeWords;
    uint32_t stored = bits(fieldInt(f, pos));
    pos += 1;
    if (stored == sum) {
      voPrint(String("Badges Loaded"));
    } else {
      voPrint(String("Badge Checksum Invalid"));
      for (int b = 0; b < 32 * kBadgeWords; b++) m_Badges[b] = false;
    }
  }

  for (int m = 0; m < kModes; m++) {
    if (pos + 2 * kPlaces >= n) continue;
    for (int p = 0; p < kPlaces; p++) {
      m_HighScores[10 * m + p] = fieldInt(f, pos + 2 * p);
      m_HighScores[kLastBase + 10 * m + p] = fieldInt(f, pos + 2 * p + 1);
    }
    pos += 2 * kPlaces;
    uint32_t stored = bits(fieldInt(f, pos));
    pos += 1;
    String head = String("Highscore ") + String(m);
    if (stored == scoreSum(m_HighScores, m)) {
      voPrint(head + String(" Loaded"));
    } else {
      voPrint(head + String(" Checksum Invalid"));
      for (int p = 0; p < kPlaces; p++) {
        m_HighScores[10 * m + p] = 0;
        m_HighScores[kLastBase + 10 * m + p] = 0;
      }
    }
  }
  return 0;
}

// Enters the finished game: a score strictly greater than an entry takes its
// place in the best table, and every score heads the last-scores table.
int c_MyApp::p_LoadMenu() {
  const int base = 10 * (m_GameMode - 1);
  int place = -1;
  for (int p = 0; p < kPlaces; p++) {
    if (m_Score > m_HighScores[base + p]) {
      place = p;
      break;
    }
  }
  if (place >= 0) {
    for (int p = kPlaces - 1; p > place; p--) m_HighScores[base + p] = m_HighScores[base + p - 1];
    m_HighScores[base + place] = m_Score;
  }
  const int last = kLastBase + base;
  for (int p = kPlaces - 1; p > 0; p--) m_HighScores[last + p] = m_HighScores[last + p - 1];
  m_HighScores[last] = m_Score;
  p_Save();
  return 0;
}

// The place text of the score; a tie with an entry counts as reaching it.
String c_MyApp::p_MyNth() {
  const int base = 10 * (m_GameMode - 1);
  m_Loop = 0;
  for (int p = 0; p < kPlaces; p++) {
    if (m_Score >= m_HighScores[base + p]) {
      m_Loop = p + 1;
      break;
    }
  }
  return m_Loop > 0 ? String(kPlaceText[m_Loop - 1]) : String();
}

int c_MyApp::p_LoadGame() {
  m_State = kStatePlaying;
  m_Paused = 0;
  m_Score = 0;
  m_GameOverNow = 0;
  m_GameOverTime = 0;
  if (m_GameMode >= 1 && m_GameMode <= kModes)
    m_Player->p_Sq_StartTune(String(kModeTune[m_GameMode - 1]), 37171650, 100);
  return 0;
}

String c_MyApp::p_BadgeID(int n) {
  if (n == 0) return String("Test Badge|This is a Test Badge which has no purpose.");
  return String();
}

String c_MyApp::p_BadgeName(int n) {
  String id = p_BadgeID(n);
  int bar = id.Find(String("|"));
  return bar < 0 ? id : id.Slice(0, bar);
}

String c_MyApp::p_BadgeDetail(int n) {
  String id = p_BadgeID(n);
  int bar = id.Find(String("|"));
  if (bar < 0) return String();
  int end = id.Find(String("|"), bar + 1);
  return end < 0 ? id.Slice(bar + 1) : id.Slice(bar + 1, end);
}

// Slides each active badge notice in from the left, holds it and slides it out.
int c_MyApp::p_ShowBadges() {
  const int slots = 13;
  for (int slot = 0; slot < slots; slot++) {
    if (m_BadgeShowTime[slot] <= 0) continue;
    const int t = ++m_BadgeShowTime[slot];
    int x = t * 16 - 160;
    if (t > 230) x = (240 - t) * 16 - 160;
    if (x > 0) x = 0;
    if (t > 240) m_BadgeShowTime[slot] = 0;
    const float y = vo_Game_jscrh - 34.0f * (slot + 1);
    const int id = m_BadgeShowId[slot];

    p_SetRot(0);
    p_SetCol(0, 0, 80, 0.8f);
    p_Rect(x, y, 160, 32);
    p_SetCol(255, 255, 255, 1);
    p_Text(x + 16, y + 4, p_BadgeName(id), 0, 0);
    // Only the first 64 badges have an icon in the sheet.
    if (id < 64) {
      p_SetSize(0.5f);
      p_DrawImg(kImgBadges, x + 144, y + 16, id);
      p_SetSize(1);
    }
  }
  return 0;
}

// The badge panel's frame and its eased scrolling; its rows are not drawn.
int c_MyApp::p_BadgesBox() {
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  p_SetCol(255, 125, 0, 0.8f);
  p_Rect(0.1f * w, -1, 0.8f * w, h + 2);
  p_SetCol(100, 0, 0, 0.8f);
  p_Rect(0.12f * w, -1, 0.76f * w, h + 2);
  p_SetCol(255, 255, 255, 1);

  if (p_PlayKey(kControlUp, 0)) m_BadgesScrollTo -= 16;
  if (p_PlayKey(kControlDown, 0)) m_BadgesScrollTo += 16;
  if (m_BadgesScrollTo > 0) m_BadgesScrollTo = 0;
  if (m_Touching > 0 && m_MouseX > 0.12f * w) m_BadgesScrollTo -= 1.5f * static_cast<float>(m_MouseY - m_MousePrevY);

  m_BadgesScroll -= (m_BadgesScroll - m_BadgesScrollTo) / 6;
  if (vo_math_Abs2(m_BadgesScroll - m_BadgesScrollTo) < 6) m_BadgesScroll = m_BadgesScrollTo;
  return 0;
}

// An online score and achievement service has no counterpart here.
int c_MyApp::p_GC_PostScore(int, int) { return 0; }
int c_MyApp::p_GC_Badges() { return 0; }
