// The display list: update code appends fixed-size entries, the render step
// replays them through the graphics module, scaled to the window.
//
// Invariant: m_DrawCount is a multiple of DrawEntrySize and never exceeds
// DrawListLastAppend + DrawEntrySize, so every entry below it lies inside
// m_DrawList. Slots 8, 9 and 14 of an entry are never written or read.
#include <cmath>

#include "game/myapp.h"
#include "music/sqplayer.h"

namespace {

// Degrees to radians in single precision, as the text layout uses it.
constexpr float kDegToRad = 0.017453292f;

// A trailing float argument counts as passed only above the omitted marker.
bool passed(float arg) { return arg > DrawArgOmitted; }

// Writes one entry with the current draw state; a full list drops it silently.
void appendEntry(c_MyApp& app, float kind, float a, float b, float c, float d, float frame) {
  if (app.m_DrawCount > DrawListLastAppend) return;
  float* e = app.m_DrawList.Data() + app.m_DrawCount;
  e[0] = kind;
  e[1] = a;
  e[2] = b;
  e[3] = app.m_DrawRot;
  e[4] = c;
  e[5] = d;
  e[6] = frame;
  e[7] = app.m_DrawAlpha;
  e[10] = app.m_DrawR;
  e[11] = app.m_DrawG;
  e[12] = app.m_DrawB;
  e[13] = static_cast<float>(app.m_DrawBlend);
  app.m_DrawCount += DrawEntrySize;
}

// Glyph frame of a character code, or -1 when the character draws nothing.
int glyphOf(int c) {
  if (c == '\\') return 60;
  if (c >= 33 && c <= 159) return c - 32;
  return -1;
}

// Draws one image entry; slots outside the table and empty slots are skipped
// (the graphics module skips frames the image does not have).
void replayImage(c_MyApp& app, const float* e, float s) {
  const int slot = static_cast<int>(e[0]);
  if (slot >= app.m_Images.Length()) return;
  c_Image* img = app.m_Images[slot];
  if (img == nullptr) return;
  vo_graphics_DrawImage2(img, e[1] * s, e[2] * s, e[3], e[4] * s * app.m_ImgScale, e[5] * s * app.m_ImgScale,
                         static_cast<int>(e[6]));
}

// Replays one entry: colour, alpha and blend first, then the shape or image.
void replayEntry(c_MyApp& app, const float* e, float s) {
  vo_graphics_SetAlpha(e[7]);
  vo_graphics_SetColor(e[10], e[11], e[12]);
  vo_graphics_SetBlend(0);
  if (e[13] == 3.0f) vo_graphics_SetBlend(1);
  if (e[0] == DrawKindRect) {
    vo_graphics_DrawRect(e[1] * s, e[2] * s, e[4] * s, e[5] * s);
  } else if (e[0] == DrawKindOval) {
    vo_graphics_DrawEllipse(e[1] * s, e[2] * s, e[4] * s, e[5] * s);
  } else if (e[0] == DrawKindLine) {
    vo_graphics_DrawLine(e[1] * s, e[2] * s, e[4] * s, e[5] * s);
  } else if (e[0] > kDrawKindNoImage) {
    replayImage(app, e, s);
  }
}

}  // namespace

int c_MyApp::p_ResetDraw() {
  m_DrawScaleX = 1.0f;
  m_DrawScaleY = 1.0f;
  m_DrawRot = 0.0f;
  m_DrawR = 255.0f;
  m_DrawG = 255.0f;
  m_DrawB = 255.0f;
  m_DrawAlpha = 1.0f;
  m_DrawBlend = 1;
  return 0;
}

// Starts a frame: optionally a new background, then reset state and an empty list.
int c_MyApp::p_CLS2D(float r, float g, float b, float a) {
  if (passed(r)) {
    m_ClsR = r;
    m_ClsG = g;
    m_ClsB = b;
    m_ClsAlpha = a;
  }
  p_ResetDraw();
  m_DrawCount = 0;
  return 0;
}

int c_MyApp::p_SetSize(float sx, float sy) {
  m_DrawScaleX = sx;
  m_DrawScaleY = passed(sy) ? sy : sx;
  return 0;
}

// Stores the negated angle, the sense in which the replay rotates images.
int c_MyApp::p_SetRot(float angle) {
  m_DrawRot = -angle;
  return 0;
}

int c_MyApp::p_SetCol(float r, float g, float b, float a) {
  m_DrawR = r;
  m_DrawG = g;
  m_DrawB = b;
  if (passed(a)) m_DrawAlpha = a;
  return 0;
}

int c_MyApp::p_Alpha(float a) {
  m_DrawAlpha = a;
  return 0;
}

int c_MyApp::p_DrawImg(int image, float x, float y, float frame) {
  appendEntry(*this, static_cast<float>(image), x, y, m_DrawScaleX, m_DrawScaleY, frame);
  return 0;
}

int c_MyApp::p_Rect(float x, float y, float w, float h) {
  appendEntry(*this, DrawKindRect, x, y, w, h, 0.0f);
  return 0;
}

int c_MyApp::p_Oval(float x, float y, float rx, float ry) {
  appendEntry(*this, DrawKindOval, x, y, rx, ry, 0.0f);
  return 0;
}

int c_MyApp::p_Line(float x1, float y1, float x2, float y2) {
  appendEntry(*this, DrawKindLine, x1, y1, x2, y2, 0.0f);
  return 0;
}

// Lays text out along the current rotation: one image entry of the current font
// per visible character. The alignment offset comes from the whole string's
// length, and every line starts at the same point.
int c_MyApp::p_Text(float x, float y, String text, float alignX, float alignY) {
  const float a = m_DrawRot;
  const float cw = static_cast<float>(m_ImgInfo[m_Font * 3]);
  const float ch = static_cast<float>(m_ImgInfo[m_Font * 3 + 1]);
  const int n = text.Length();
  const float w = cw * m_DrawScaleX * static_cast<float>(n - 1);
  const float h = ch * m_DrawScaleY;
  const float ay = (alignY - 1.0f) * 0.5f;
  const float p = (-a - 90.0f) * kDegToRad;
  const float q = -a * kDegToRad;
  const float x0 = x + std::sin(p) * w * alignX * 0.5f + std::sin(q) * h * ay;
  const float y0 = y - std::cos(p) * w * alignX * 0.5f - std::cos(q) * h * ay;
  if (n < 1) return 0;

  const float r = (180.0f - a) * kDegToRad;
  const float t = (90.0f - a) * kDegToRad;
  const float advance = cw * m_DrawScaleX;
  float penX = x0;
  float penY = y0;
  int lines = 0;
  int i = 0;
  while (i < n) {
    const int c = text[i];
    if (c == '\\' && i + 1 < n && text[i + 1] == 'n') {
      ++lines;
      const float d = ch * m_DrawScaleY * static_cast<float>(lines);
      penX = x0 + std::sin(r) * d;
      penY = y0 - std::cos(r) * d;
      i += 2;
      continue;
    }
    ++i;
    if (c == 0) continue;
    const int glyph = glyphOf(c);
    if (glyph >= 0) p_DrawImg(m_Font, penX, penY, static_cast<float>(glyph));
    penX += std::sin(t) * advance;
    penY -= std::cos(t) * advance;
  }
  return 0;
}

// Right-aligns value in a field of width characters filled with pad; digits
// beyond the width are cut from the front.
String c_MyApp::p_rstr(int value, int width, String pad) {
  String s;
  const int copies = width < 1 ? 1 : width + 1;
  for (int i = 0; i < copies; ++i) s += pad;
  s += String(value);
  return s.Slice(-width);
}

// Replays the list scaled from design units to the window. Entries are drawn in
// the order appended, each setting its own colour, alpha and blend.
int c_MyApp::p_OnRender() {
  if (vo_Game_HasMusic == 1) m_Player->p_Sq_Alive_R();
  if (m_GrabFrame > 0) {
    p_GrabImageData(m_GrabImage, m_GrabFrame);
    m_GrabImage = 0;
    m_GrabFrame = 0;
  }

  MeasureRate(m_LastRenderMs, m_Fps, m_FpsAvg);

  const int devW = vo_graphics_DeviceWidth();
  const int devH = vo_graphics_DeviceHeight();
  vo_graphics_SetColor(m_ClsR, m_ClsG, m_ClsB);
  vo_graphics_SetAlpha(m_ClsAlpha);
  vo_graphics_DrawRect(-1.0f, -1.0f, static_cast<float>(devW + 2), static_cast<float>(devH + 2));
  vo_graphics_SetColor(255.0f, 255.0f, 255.0f);
  vo_graphics_SetAlpha(1.0f);

  if (devW != m_DevWidth || devH != m_DevHeight) {
    m_LoadStep = 1;
    m_DevWidth = devW;
    m_DevHeight = devH;
  }
  // A minimised window has no area to fit the design into: keep the last
  // fitting and draw nothing over the background.
  if (devW == 0 || devH == 0) return 0;

  const float sx = static_cast<float>(devW) / vo_Game_rawscrw;
  const float sy = static_cast<float>(devH) / vo_Game_rawscrh;
  float s = sx;
  m_ScaleMode = 1;
  if (sy > sx) {
    s = sy;
    m_ScaleMode = 2;
  }
  m_ScaleX = s;
  m_ScaleY = s;
  vo_Game_jscrw = static_cast<float>(devW) / s;
  vo_Game_jscrh = static_cast<float>(devH) / s;
  m_Landscape = vo_Game_jscrw < vo_Game_jscrh ? 0 : 1;

  const float* list = m_DrawList.Data();
  for (int i = 0; i + DrawEntrySize <= m_DrawCount; i += DrawEntrySize) {
    replayEntry(*this, list + i, s);
  }
  return 0;
}
