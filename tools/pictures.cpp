// Every picture the program reads: fonts, interface icons and buttons, the
// on-screen pad, title art, particles and badges. Each picture is a grid of
// frames drawn in design units, written at resolution 1 and, where the game
// loads them, as "-hd" (2x) and "-hd2" (4x). A contact sheet of the pictures
// goes next to the data folder so a person can check them at a glance.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/assets.h"
#include "tools/picture_canvas.h"

namespace {

const char* const kFontDir = "/usr/share/fonts/truetype/dejavu/";

struct Fonts {
  Font sans{std::string(kFontDir) + "DejaVuSans-Bold.ttf"};
  Font mono{std::string(kFontDir) + "DejaVuSansMono-Bold.ttf"};
};

// One picture: a grid of frames, `columns` wide, read left to right and top
// to bottom as the graphics module cuts them.
struct Sheet {
  std::string name;
  int frameW, frameH, frames, columns;
  bool hd;  // also written at resolutions 2 and 4
  std::function<void(Pen&, int)> draw;
};

const Rgba kWhite = rgb(255, 255, 255);
const Rgba kInk = rgb(20, 24, 40);

// ---------------------------------------------------------------------------
// Shared symbols, drawn white in a box of about 2r around (cx, cy).
// ---------------------------------------------------------------------------

enum Symbol { Pause, Quit, Play, SoundOn, SoundOff, Home, Star, Heart, Check, Minus, Plus, Dot, Gear, Arrow };

void speaker(Pen& p, float cx, float cy, float r, Rgba c) {
  p.box(cx - 0.55f * r, cy, 0.22f * r, 0.28f * r, 0.05f * r, c);
  p.poly({{cx - 0.45f * r, cy - 0.28f * r},
          {cx + 0.05f * r, cy - 0.7f * r},
          {cx + 0.05f * r, cy + 0.7f * r},
          {cx - 0.45f * r, cy + 0.28f * r}},
         c);
}

void symbol(Pen& p, Symbol s, float cx, float cy, float r, Rgba c) {
  const float w = 0.2f * r;  // stroke width
  switch (s) {
    case Pause:
      p.box(cx - 0.3f * r, cy, 0.14f * r, 0.55f * r, 0.05f * r, c);
      p.box(cx + 0.3f * r, cy, 0.14f * r, 0.55f * r, 0.05f * r, c);
      break;
    case Quit:
      p.line(cx - 0.5f * r, cy - 0.5f * r, cx + 0.5f * r, cy + 0.5f * r, 1.3f * w, c);
      p.line(cx + 0.5f * r, cy - 0.5f * r, cx - 0.5f * r, cy + 0.5f * r, 1.3f * w, c);
      break;
    case Play:
      p.poly({{cx - 0.38f * r, cy - 0.6f * r}, {cx + 0.6f * r, cy}, {cx - 0.38f * r, cy + 0.6f * r}}, c);
      break;
    case SoundOn:
      speaker(p, cx - 0.15f * r, cy, r, c);
      p.arc(cx - 0.1f * r, cy, 0.45f * r, 0.7f * w, -50, 50, c);
      p.arc(cx - 0.1f * r, cy, 0.78f * r, 0.7f * w, -50, 50, c);
      break;
    case SoundOff:
      speaker(p, cx - 0.25f * r, cy, r, c);
      p.line(cx + 0.25f * r, cy - 0.3f * r, cx + 0.75f * r, cy + 0.3f * r, w, c);
      p.line(cx + 0.75f * r, cy - 0.3f * r, cx + 0.25f * r, cy + 0.3f * r, w, c);
      break;
    case Home:
      p.poly({{cx, cy - 0.7f * r},
              {cx + 0.7f * r, cy - 0.05f * r},
              {cx + 0.45f * r, cy - 0.05f * r},
              {cx + 0.45f * r, cy + 0.6f * r},
              {cx - 0.45f * r, cy + 0.6f * r},
              {cx - 0.45f * r, cy - 0.05f * r},
              {cx - 0.7f * r, cy - 0.05f * r}},
             c);
      break;
    case Star:
      p.poly(star(cx, cy + 0.05f * r, 0.75f * r, 0.32f * r, 5), c);
      break;
    case Heart:
      p.circle(cx - 0.28f * r, cy - 0.2f * r, 0.32f * r, c);
      p.circle(cx + 0.28f * r, cy - 0.2f * r, 0.32f * r, c);
      p.poly({{cx - 0.58f * r, cy - 0.1f * r}, {cx + 0.58f * r, cy - 0.1f * r}, {cx, cy + 0.62f * r}}, c);
      break;
    case Check:
      p.line(cx - 0.5f * r, cy, cx - 0.15f * r, cy + 0.4f * r, 1.3f * w, c);
      p.line(cx - 0.15f * r, cy + 0.4f * r, cx + 0.55f * r, cy - 0.45f * r, 1.3f * w, c);
      break;
    case Minus:
      p.box(cx, cy, 0.6f * r, 0.15f * r, 0.08f * r, c);
      break;
    case Plus:
      p.box(cx, cy, 0.6f * r, 0.15f * r, 0.08f * r, c);
      p.box(cx, cy, 0.15f * r, 0.6f * r, 0.08f * r, c);
      break;
    case Dot:
      p.ring(cx, cy, 0.42f * r, w, c);
      p.circle(cx, cy, 0.18f * r, c);
      break;
    case Gear:
      p.poly(star(cx, cy, 0.72f * r, 0.55f * r, 8, 11.25f), c);
      p.circle(cx, cy, 0.58f * r, c);
      p.circle(cx, cy, 0.22f * r, rgb(0, 0, 0, 0.6f));
      break;
    case Arrow:
      p.poly({{cx, cy - 0.65f * r},
              {cx + 0.6f * r, cy + 0.05f * r},
              {cx + 0.22f * r, cy + 0.05f * r},
              {cx + 0.22f * r, cy + 0.6f * r},
              {cx - 0.22f * r, cy + 0.6f * r},
              {cx - 0.22f * r, cy + 0.05f * r},
              {cx - 0.6f * r, cy + 0.05f * r}},
             c);
      break;
  }
}

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

// common/icons, 32 x 32: 0 pause, 1 quit, 3 resume, 4 sound on, 5 sound off,
// 6 selection mark, 7-10 sound-mode marks (7 also the tilt calibration).
// The symbols are white so the game's tint colours them.
void drawIcon(Pen& p, int f) {
  const float c = 16;
  auto backed = [&](Symbol s) {
    p.circle(c, c, 14.5f, rgb(0, 0, 0, 0.5f));
    p.ring(c, c, 13.5f, 1.6f, fade(kWhite, 0.9f));
    symbol(p, s, c, c, 11, kWhite);
  };
  switch (f) {
    case 0:
      backed(Pause);
      break;
    case 1:
      backed(Quit);
      break;
    case 2:
      backed(Home);
      break;
    case 3:
      backed(Play);
      break;
    case 4:
      backed(SoundOn);
      break;
    case 5:
      backed(SoundOff);
      break;
    case 6:
      // Drawn larger than the button it marks, so it frames it.
      p.ring(c, c, 13, 2, kWhite);
      // Four arrowheads on the diagonals pointing at the marked button.
      {
        const std::vector<Pt> tips = regular(c, c, 10.5f, 4, 45);
        const std::vector<Pt> left = regular(c, c, 16, 4, 33);
        const std::vector<Pt> right = regular(c, c, 16, 4, 57);
        for (int i = 0; i < 4; ++i) p.poly({tips[i], left[i], right[i]}, kWhite);
      }
      break;
    case 7:
      p.circle(c, c, 14.5f, rgb(0, 0, 0, 0.5f));
      p.ring(c, c, 9, 2, kWhite);
      p.line(c, 3, c, 29, 2, kWhite);
      p.line(3, c, 29, c, 2, kWhite);
      p.circle(c, c, 3, kWhite);
      break;
    case 8:
    case 9:
    case 10: {
      // One, two or three pips in a small dark lozenge.
      const int n = f - 7;
      p.box(c, c, 4.5f + 4.5f * n, 7, 7, rgb(0, 0, 0, 0.55f));
      for (int i = 0; i < n; ++i) p.circle(c + (i - (n - 1) / 2.0f) * 9, c, 3.4f, kWhite);
      break;
    }
    case 11:
      backed(Star);
      break;
    case 12:
      backed(Heart);
      break;
    case 13:
      backed(Gear);
      break;
    case 14:
      backed(Check);
      break;
    default:
      backed(Arrow);
      break;
  }
}

// A shaded round button of radius r in colour base with a white symbol.
void roundButton(Pen& p, float cx, float cy, float r, Rgba base, Symbol s) {
  p.circle(cx, cy + 1.5f, r, rgb(0, 0, 0, 0.35f));
  p.circle(cx, cy, r, mix(base, kInk, 0.45f));
  p.circle(cx, cy, r - 2.5f, base);
  p.ellipse(cx, cy - r * 0.45f, r * 0.62f, r * 0.36f, fade(kWhite, 0.28f));
  symbol(p, s, cx + 0.8f, cy + 1.2f, r * 0.62f, rgb(0, 0, 0, 0.35f));
  symbol(p, s, cx, cy, r * 0.62f, kWhite);
}

// common/Buttons, 64 x 64: 0-2 the three mode buttons, which double as the
// play screen's minus (0) and plus (2) buttons: "-", "o", "+" read as
// fewer / normal / more in both places. 12 a decoration, 15 the selection ring.
void drawButton(Pen& p, int f) {
  const float c = 32;
  static const Rgba hues[] = {rgb(60, 130, 235), rgb(50, 185, 95),   rgb(240, 130, 40), rgb(200, 70, 200),
                              rgb(230, 60, 70),  rgb(40, 190, 200),  rgb(230, 200, 50), rgb(120, 100, 230),
                              rgb(110, 200, 60), rgb(240, 100, 150), rgb(90, 110, 140), rgb(180, 120, 70),
                              rgb(0, 0, 0),      rgb(150, 160, 180), rgb(70, 170, 150)};
  static const Symbol symbols[] = {Minus, Dot,  Plus, Star,  Heart, Play,    Pause,   Home,
                                   Check, Gear, Quit, Arrow, Dot,   SoundOn, SoundOff};
  if (f == 12) {
    // Ornament: a gold four-point star with a ring of dots.
    p.glow(c, c, 30, rgb(255, 210, 120, 0.5f));
    p.poly(star(c, c, 26, 7, 4), rgb(255, 200, 80));
    p.poly(star(c, c, 15, 5, 4, 45), rgb(255, 240, 190));
    for (int i = 0; i < 8; ++i) {
      const Pt d = regular(c, c, 20, 8, 22.5f)[i];
      p.circle(d.x, d.y, 2.2f, rgb(255, 220, 140));
    }
    return;
  }
  if (f == 15) {
    p.ring(c, c, 29, 6, rgb(255, 240, 120, 0.35f));
    p.ring(c, c, 29, 3, rgb(255, 250, 200));
    return;
  }
  roundButton(p, c, c, 28, hues[f], symbols[f]);
}

// common/dpad, 32 x 32: 0 the action button; the cross laid out as a 3 x 3
// block in a 4-wide grid: 1 up, 4 left, 5 centre, 6 right, 9 down.
void drawDpad(Pen& p, int f) {
  const float c = 16;
  if (f == 0) {
    p.circle(c, c + 1, 14, rgb(0, 0, 0, 0.4f));
    p.circle(c, c, 14, rgb(150, 30, 40));
    p.circle(c, c, 12, rgb(225, 60, 70));
    p.ellipse(c, c - 5, 8, 4.5f, fade(kWhite, 0.3f));
    p.ring(c, c, 6, 1.6f, fade(kWhite, 0.85f));
    return;
  }
  float angle;
  switch (f) {
    case 1:
      angle = 0;
      break;
    case 4:
      angle = 270;
      break;
    case 6:
      angle = 90;
      break;
    case 9:
      angle = 180;
      break;
    case 5:
      p.box(c, c, 15, 15, 2, rgb(70, 76, 92, 0.9f));
      p.circle(c, c, 5, rgb(40, 44, 56));
      return;
    default:
      return;
  }
  p.box(c, c, 15, 15, 4, rgb(70, 76, 92, 0.9f));
  p.box(c, c, 13, 13, 3, rgb(95, 102, 120, 0.9f));
  p.poly(regular(c, c + 0.5f, 8, 3, angle), kWhite);
}

// common/icade: a small arcade stick, 0 off (grey) and 1 on (lit).
void drawIcade(Pen& p, int f, const Fonts& fonts) {
  const bool on = f == 1;
  const Rgba ball = on ? rgb(235, 50, 60) : rgb(120, 120, 128);
  p.box(32, 47, 24, 9, 4, on ? rgb(40, 40, 60) : rgb(60, 60, 66));
  p.box(32, 45, 22, 6, 3, on ? rgb(70, 70, 100) : rgb(90, 90, 96));
  p.line(32, 44, 32, 20, 5, rgb(190, 190, 200));
  p.circle(32, 17, 10, ball);
  p.ellipse(29, 13, 5, 3, fade(kWhite, 0.45f));
  p.circle(50, 45, 3.5f, on ? rgb(90, 255, 120) : rgb(40, 60, 44));
  p.text(fonts.sans, on ? "ON" : "OFF", 32, 59, 8, on ? rgb(150, 255, 160) : rgb(170, 170, 175), 0.8f, kInk);
}

// common/BrevoLogo: the studio mark, a quill in a medallion.
void drawBrevo(Pen& p, const Fonts& fonts) {
  p.glow(128, 128, 128, rgb(80, 200, 220, 0.5f));
  p.circle(128, 128, 110, rgb(14, 40, 62));
  p.ring(128, 128, 104, 5, rgb(240, 200, 90));
  p.ring(128, 128, 94, 1.5f, rgb(240, 200, 90, 0.7f));
  // The quill: a leaning feather vane with its shaft.
  const std::vector<Pt> vane = {{165, 40},  {178, 52},  {170, 80}, {150, 112}, {122, 142},
                                {104, 150}, {112, 128}, {128, 96}, {146, 62}};
  p.poly(vane, rgb(235, 240, 250));
  p.line(170, 46, 100, 160, 3, rgb(200, 160, 70));
  for (int i = 0; i < 5; ++i) {
    const float t = 0.2f + 0.14f * i;
    p.line(170 - 70 * t, 46 + 114 * t, 170 - 70 * t + 16, 46 + 114 * t - 4, 1.5f, rgb(150, 170, 200));
  }
  p.text(fonts.sans, "BREVO", 128, 186, 40, rgb(250, 215, 110), 1.5f, kInk);
  p.text(fonts.sans, "GAMES", 128, 214, 16, rgb(160, 220, 235));
}

// common/Testcard_Circle: a classic circle test card.
void drawTestcard(Pen& p, const Fonts& fonts) {
  p.box(128, 128, 128, 128, 0, rgb(110, 110, 116));
  for (int i = 0; i <= 16; ++i) {
    p.line(i * 16.0f, 0, i * 16.0f, 256, 1, rgb(235, 235, 235));
    p.line(0, i * 16.0f, 256, i * 16.0f, 1, rgb(235, 235, 235));
  }
  p.circle(128, 128, 112, rgb(30, 30, 34));
  static const Rgba bars[] = {rgb(235, 235, 235), rgb(235, 235, 20), rgb(20, 235, 235), rgb(20, 235, 20),
                              rgb(235, 20, 235),  rgb(235, 20, 20),  rgb(20, 20, 235),  rgb(16, 16, 16)};
  // Colour bars and a grey ramp, cut to the circle's inside.
  for (int i = 0; i < 8; ++i) {
    const float x0 = 40 + i * 22.0f;
    for (float x = x0; x < x0 + 22; x += 1) {
      const float half = std::sqrt(std::max(0.0f, 108 * 108 - (x + 0.5f - 128) * (x + 0.5f - 128)));
      const float top = std::max(128 - half, 62.0f);
      if (top < 112) p.box(x + 0.5f, (top + 112) / 2, 0.5f, (112 - top) / 2, 0, bars[i]);
    }
    const int g = i * 255 / 7;
    p.box(x0 + 11, 161, 11, 15, 0, rgb(g, g, g));
  }
  p.box(128, 128, 66, 14, 2, kInk);
  p.text(fonts.sans, "QUILLET", 128, 128, 20, kWhite);
  p.ring(128, 128, 112, 3, kWhite);
  p.line(128, 186, 128, 236, 2, kWhite);
  p.line(103, 211, 153, 211, 2, kWhite);
  p.ring(128, 211, 10, 2, kWhite);
  p.circle(16, 16, 10, rgb(235, 20, 20));
  p.circle(240, 16, 10, rgb(20, 235, 20));
  p.circle(16, 240, 10, rgb(20, 20, 235));
  p.circle(240, 240, 10, kWhite);
}

// menu, 256 x 256: soft title art (drawn at scales 2 and 3) that also
// serves as play-screen sprites: 0 nebula, 1 sunburst, 2 halo, 3 crystal.
void drawMenu(Pen& p, int f) {
  const float c = 128;
  switch (f) {
    case 0:
      p.glow(c, c, 126, rgb(120, 60, 220, 0.8f), 1.6f);
      p.glow(c - 34, c - 20, 70, rgb(230, 90, 200, 0.7f));
      p.glow(c + 40, c + 24, 64, rgb(70, 150, 255, 0.7f));
      p.glow(c, c, 40, rgb(255, 230, 255, 0.9f));
      break;
    case 1:
      p.glow(c, c, 126, rgb(255, 170, 40, 0.55f), 1.4f);
      p.poly(star(c, c, 118, 40, 12), rgb(255, 200, 60, 0.35f));
      p.poly(star(c, c, 92, 30, 12, 15), rgb(255, 225, 110, 0.5f));
      p.glow(c, c, 60, rgb(255, 250, 220));
      break;
    case 2:
      p.glow(c, c, 126, rgb(40, 200, 230, 0.35f));
      for (int i = 0; i < 10; ++i) p.ring(c, c, 82, 36 - i * 3.4f, rgb(80, 220, 255, 0.12f));
      p.ring(c, c, 82, 5, rgb(220, 250, 255, 0.8f));
      break;
    default:
      p.glow(c, c, 126, rgb(255, 90, 150, 0.4f));
      p.poly(regular(c, c, 100, 4), rgb(255, 110, 170, 0.55f));
      p.poly(regular(c, c, 70, 4), rgb(255, 170, 210, 0.7f));
      p.poly(regular(c - 12, c - 12, 28, 4), rgb(255, 235, 245, 0.8f));
      break;
  }
}

// logo, 256 x 128: the title.
void drawLogo(Pen& p, const Fonts& fonts) {
  p.glow(128, 64, 120, rgb(255, 190, 80, 0.25f));
  // A quill stroke underlining the title.
  p.poly({{30, 96}, {226, 84}, {232, 88}, {34, 102}}, rgb(120, 200, 255, 0.85f));
  p.text(fonts.sans, "Quillet", 130, 62, 78, rgb(20, 10, 40, 0.6f));
  p.text(fonts.sans, "Quillet", 128, 58, 78, rgb(255, 210, 90), 3, kInk);
  p.text(fonts.sans, "Quillet", 128, 58, 78, rgb(255, 210, 90));
}

// parts, 8 x 8: small particles; 8-15 are warm versions of 0-7.
void drawPart(Pen& p, int f) {
  const Rgba c = f < 8 ? kWhite : mix(rgb(255, 120, 40), rgb(255, 230, 80), (f - 8) / 7.0f);
  switch (f % 8) {
    case 0:
      p.glow(4, 4, 4, c, 1.2f);
      break;
    case 1:
      p.circle(4, 4, 3, c);
      break;
    case 2:
      p.poly(star(4, 4, 4, 1.1f, 4), c);
      break;
    case 3:
      p.box(4, 4, 2.6f, 2.6f, 0.5f, c);
      break;
    case 4:
      p.ring(4, 4, 2.6f, 1.2f, c);
      break;
    case 5:
      p.box(4, 4, 3.5f, 1, 0, c);
      p.box(4, 4, 1, 3.5f, 0, c);
      break;
    case 6:
      p.poly(regular(4, 4, 3.6f, 4), c);
      break;
    default:
      p.poly(regular(4, 4.5f, 3.6f, 3), c);
      break;
  }
}

// BadgesA, 64 x 64: 64 medallions, each its own shape, colour and number.
void drawBadge(Pen& p, int f, const Fonts& fonts) {
  const float c = 32;
  const float hue = std::fmod(f * 0.618034f, 1.0f);
  // A simple hue wheel: three cosine lobes.
  auto lobe = [&](float off) { return static_cast<int>(130 + 110 * std::cos(6.2831853f * (hue - off))); };
  const Rgba base = rgb(lobe(0), lobe(1 / 3.0f), lobe(2 / 3.0f));
  const Rgba dark = mix(base, kInk, 0.55f);
  std::vector<Pt> outline;
  switch (f % 4) {
    case 0:
      outline = regular(c, c, 29, 48);
      break;
    case 1:
      outline = regular(c, c, 30, 6);
      break;
    case 2:
      outline = star(c, c, 30, 25, 12);
      break;
    default:
      outline = regular(c, c, 31, 4);
      break;
  }
  p.poly(outline, dark);
  p.circle(c, c, 21, base);
  p.ring(c, c, 21, 1.5f, mix(base, kWhite, 0.6f));
  p.ellipse(c, c - 9, 14, 7, fade(kWhite, 0.25f));
  p.text(fonts.sans, std::to_string(f + 1), c, c + 1, 20, kWhite, 1.2f, dark);
}

// fonts/tessel, 16 x 16 cells: frame f holds character f + 32 centred in its
// cell, sized for a 7-unit advance and a 10-unit line.
void drawTessel(Pen& p, int f, const Fonts& fonts) {
  const int code = f + 32;
  if (code > 32 && code < 127) p.glyph(fonts.mono, code, 8, 8, 10.5f, kWhite);
}

// lumo_font.png: 96 glyphs of characters 32-127 in one strip, each frame 12
// pixels wide including one pixel of padding left and right.
void drawLumo(Pen& p, int f, const Fonts& fonts) {
  const int code = f + 32;
  if (code > 32 && code < 127) p.glyph(fonts.mono, code, 6, 8, 14, kWhite);
}

// Paints every frame of a sheet at the given resolution.
Canvas render(const Sheet& s, int res) {
  const int rows = (s.frames + s.columns - 1) / s.columns;
  Canvas c(s.frameW * s.columns * res, s.frameH * rows * res);
  for (int f = 0; f < s.frames; ++f) {
    Pen pen(c, static_cast<float>(res), static_cast<float>((f % s.columns) * s.frameW * res),
            static_cast<float>((f / s.columns) * s.frameH * res));
    s.draw(pen, f);
  }
  return c;
}

void write(const Canvas& c, const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  if (!c.save_png(path)) throw std::runtime_error("cannot write " + path);
}

// Lays the pictures out on a checkerboard (so transparency shows), labelled.
void writeContactSheet(const std::vector<std::pair<std::string, Canvas>>& pics, const Fonts& fonts,
                       const std::string& path) {
  const int width = 2200, gap = 24, label = 22;
  int x = gap, y = gap, rowH = 0, height = gap;
  std::vector<Pt> at;
  for (const auto& [name, pic] : pics) {
    if (x + pic.width() > width - gap) {
      x = gap;
      y += rowH + gap + label;
      rowH = 0;
    }
    at.push_back(Pt{static_cast<float>(x), static_cast<float>(y + label)});
    x += pic.width() + gap;
    rowH = std::max(rowH, pic.height());
    height = y + label + rowH + gap;
  }
  Canvas sheet(width, height);
  Pen pen(sheet, 1, 0, 0);
  for (int ty = 0; ty < height; ty += 16)
    for (int tx = 0; tx < width; tx += 16)
      pen.box(tx + 8.0f, ty + 8.0f, 8, 8, 0, ((tx + ty) / 16) % 2 ? rgb(70, 70, 78) : rgb(100, 100, 110));
  for (size_t i = 0; i < pics.size(); ++i) {
    const Canvas& pic = pics[i].second;
    pen.box(at[i].x + pic.width() / 2.0f, at[i].y - 11, pic.width() / 2.0f, 10, 0, kInk);
    pen.text(fonts.sans, pics[i].first, at[i].x + pic.width() / 2.0f, at[i].y - 11, 14, kWhite);
    sheet.draw(pic, static_cast<int>(at[i].x), static_cast<int>(at[i].y));
  }
  write(sheet, path);
}

}  // namespace

void generate_pictures(const std::string& dataDir) {
  const Fonts fonts;
  using namespace std::placeholders;
  const std::vector<Sheet> sheets = {
      {"lumo_font", 12, 16, 96, 96, false, [&](Pen& p, int f) { drawLumo(p, f, fonts); }},
      {"fonts/tessel", 16, 16, 128, 16, true, [&](Pen& p, int f) { drawTessel(p, f, fonts); }},
      {"common/icons", 32, 32, 16, 4, true, drawIcon},
      {"common/Buttons", 64, 64, 16, 4, true, drawButton},
      {"common/dpad", 32, 32, 16, 4, true, drawDpad},
      {"common/icade", 64, 64, 2, 2, true, [&](Pen& p, int f) { drawIcade(p, f, fonts); }},
      {"common/BrevoLogo", 256, 256, 1, 1, true, [&](Pen& p, int) { drawBrevo(p, fonts); }},
      {"common/Testcard_Circle", 256, 256, 1, 1, true, [&](Pen& p, int) { drawTestcard(p, fonts); }},
      {"menu", 256, 256, 4, 2, true, drawMenu},
      {"logo", 256, 128, 1, 1, true, [&](Pen& p, int) { drawLogo(p, fonts); }},
      {"parts", 8, 8, 16, 4, true, drawPart},
      {"BadgesA", 64, 64, 64, 8, true, [&](Pen& p, int f) { drawBadge(p, f, fonts); }},
  };
  // The contact sheet shows what a 640 x 480 window loads: the "-hd" files.
  std::vector<std::pair<std::string, Canvas>> shown;
  for (const Sheet& s : sheets) {
    for (int res : {1, 2, 4}) {
      if (res > 1 && !s.hd) break;
      const char* suffix = res == 1 ? "" : (res == 2 ? "-hd" : "-hd2");
      Canvas c = render(s, res);
      write(c, dataDir + "/" + s.name + suffix + ".png");
      if (res == (s.hd ? 2 : 1)) shown.emplace_back(s.name + suffix, std::move(c));
    }
  }
  writeContactSheet(shown, fonts, (std::filesystem::path(dataDir).parent_path() / "pictures.png").string());
}
