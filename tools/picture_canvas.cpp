#include "tools/picture_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

// stb_image_write is compiled once for the generator (stb_image_write_impl.c);
// stb_truetype is used only here.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb_image_write.h>
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr float kPi = 3.14159265f;

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Distance from p to the segment a-b.
float segDist(float px, float py, Pt a, Pt b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0;
  t = clamp01(t);
  return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

// Signed distance to a closed polygon: negative inside (even-odd rule).
float polySdf(const std::vector<Pt>& p, float x, float y) {
  float d = 1e30f;
  bool inside = false;
  for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    d = std::min(d, segDist(x, y, p[j], p[i]));
    if ((p[i].y > y) != (p[j].y > y) && x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      inside = !inside;
  }
  return inside ? -d : d;
}

const stbtt_fontinfo* infoOf(const void* p) { return static_cast<const stbtt_fontinfo*>(p); }

}  // namespace

Rgba rgb(int r, int g, int b, float a) { return Rgba{r / 255.0f, g / 255.0f, b / 255.0f, a}; }
Rgba fade(Rgba c, float k) { return Rgba{c.r, c.g, c.b, c.a * k}; }
Rgba mix(Rgba a, Rgba b, float t) {
  return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// ---------------------------------------------------------------------------
// Canvas
// ---------------------------------------------------------------------------

Canvas::Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h * 4, 0.0f) {}

void Canvas::blend(int x, int y, Rgba c, float k) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  const float a = clamp01(c.a * k);
  if (a <= 0) return;
  float* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
  p[0] = c.r * a + p[0] * (1 - a);
  p[1] = c.g * a + p[1] * (1 - a);
  p[2] = c.b * a + p[2] * (1 - a);
  p[3] = a + p[3] * (1 - a);
}

void Canvas::draw(const Canvas& src, int dx, int dy, int zoom) {
  for (int y = 0; y < src.h_ * zoom; ++y)
    for (int x = 0; x < src.w_ * zoom; ++x) {
      const float* s = &src.px_[(static_cast<size_t>(y / zoom) * src.w_ + x / zoom) * 4];
      if (s[3] <= 0) continue;
      blend(dx + x, dy + y, Rgba{s[0] / s[3], s[1] / s[3], s[2] / s[3], s[3]}, 1.0f);
    }
}

std::vector<unsigned char> Canvas::bytes() const {
  std::vector<unsigned char> out(px_.size());
  for (size_t i = 0; i < px_.size(); i += 4) {
    const float a = clamp01(px_[i + 3]);
    for (int c = 0; c < 3; ++c) {
      const float v = a > 0 ? clamp01(px_[i + c] / a) : 0.0f;
      out[i + c] = static_cast<unsigned char>(std::lround(v * 255.0f));
    }
    out[i + 3] = static_cast<unsigned char>(std::lround(a * 255.0f));
  }
  return out;
}

bool Canvas::save_png(const std::string& path) const {
  const std::vector<unsigned char> b = bytes();
  return stbi_write_png(path.c_str(), w_, h_, 4, b.data(), w_ * 4) != 0;
}

// ---------------------------------------------------------------------------
// Font
// ---------------------------------------------------------------------------

Font::Font(const std::string& path) : info_(new stbtt_fontinfo()) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open font " + path);
  std::fseek(f, 0, SEEK_END);
  data_.resize(static_cast<size_t>(std::ftell(f)));
  std::fseek(f, 0, SEEK_SET);
  const size_t got = std::fread(data_.data(), 1, data_.size(), f);
  std::fclose(f);
  if (got != data_.size() || !stbtt_InitFont(static_cast<stbtt_fontinfo*>(info_), data_.data(), 0))
    throw std::runtime_error("cannot read font " + path);
}

Font::~Font() { delete static_cast<stbtt_fontinfo*>(info_); }

float Font::ascent(float lineHeight) const {
  int asc, desc, gap;
  stbtt_GetFontVMetrics(infoOf(info_), &asc, &desc, &gap);
  return asc * stbtt_ScaleForPixelHeight(infoOf(info_), lineHeight);
}

float Font::cap_height(float lineHeight) const {
  int x0, y0, x1, y1;
  stbtt_GetCodepointBox(infoOf(info_), 'H', &x0, &y0, &x1, &y1);
  return y1 * stbtt_ScaleForPixelHeight(infoOf(info_), lineHeight);
}

std::vector<float> Font::mask(const std::string& text, float lineHeight, int* w, int* h, int* baseline,
                              float* advance) const {
  const stbtt_fontinfo* fi = infoOf(info_);
  const float scale = stbtt_ScaleForPixelHeight(fi, lineHeight);
  int asc, desc, gap;
  stbtt_GetFontVMetrics(fi, &asc, &desc, &gap);
  float total = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    int adv, lsb;
    stbtt_GetCodepointHMetrics(fi, static_cast<unsigned char>(text[i]), &adv, &lsb);
    total += adv * scale;
    if (i + 1 < text.size())
      total += scale * stbtt_GetCodepointKernAdvance(fi, static_cast<unsigned char>(text[i]),
                                                     static_cast<unsigned char>(text[i + 1]));
  }
  *advance = total;
  *w = static_cast<int>(std::ceil(total)) + 2 * kMargin + 2;
  *h = static_cast<int>(std::ceil((asc - desc) * scale)) + 2 * kMargin + 2;
  *baseline = kMargin + static_cast<int>(std::lround(asc * scale));
  std::vector<float> m(static_cast<size_t>(*w) * *h, 0.0f);
  float penx = kMargin;
  for (size_t i = 0; i < text.size(); ++i) {
    const int code = static_cast<unsigned char>(text[i]);
    const float sub = penx - std::floor(penx);
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBoxSubpixel(fi, code, scale, scale, sub, 0, &x0, &y0, &x1, &y1);
    const int gw = x1 - x0, gh = y1 - y0;
    if (gw > 0 && gh > 0) {
      std::vector<unsigned char> g(static_cast<size_t>(gw) * gh);
      stbtt_MakeCodepointBitmapSubpixel(fi, g.data(), gw, gh, gw, scale, scale, sub, 0, code);
      for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
          const int mx = static_cast<int>(std::floor(penx)) + x0 + x;
          const int my = *baseline + y0 + y;
          if (mx < 0 || my < 0 || mx >= *w || my >= *h) continue;
          float& d = m[static_cast<size_t>(my) * *w + mx];
          d = std::min(1.0f, d + g[static_cast<size_t>(y) * gw + x] / 255.0f);
        }
    }
    int adv, lsb;
    stbtt_GetCodepointHMetrics(fi, code, &adv, &lsb);
    penx += adv * scale;
    if (i + 1 < text.size())
      penx += scale * stbtt_GetCodepointKernAdvance(fi, code, static_cast<unsigned char>(text[i + 1]));
  }
  return m;
}

// ---------------------------------------------------------------------------
// Pen
// ---------------------------------------------------------------------------

// Paints every pixel of the design-unit box (x0, y0)-(x1, y1) whose centre
// lies inside the shape; sdf takes design units and returns design units.
template <class Sdf>
void Pen::fill(float x0, float y0, float x1, float y1, Sdf sdf, Rgba c) {
  const int px0 = static_cast<int>(std::floor(ox_ + x0 * s_)) - 1;
  const int py0 = static_cast<int>(std::floor(oy_ + y0 * s_)) - 1;
  const int px1 = static_cast<int>(std::ceil(ox_ + x1 * s_)) + 1;
  const int py1 = static_cast<int>(std::ceil(oy_ + y1 * s_)) + 1;
  for (int y = py0; y <= py1; ++y)
    for (int x = px0; x <= px1; ++x) {
      const float ux = (x + 0.5f - ox_) / s_;
      const float uy = (y + 0.5f - oy_) / s_;
      const float d = sdf(ux, uy) * s_;  // in pixels
      const float k = clamp01(0.5f - d);
      if (k > 0) c_.blend(x, y, c, k);
    }
}

void Pen::circle(float cx, float cy, float r, Rgba c) {
  fill(
      cx - r, cy - r, cx + r, cy + r, [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; }, c);
}

void Pen::ring(float cx, float cy, float r, float width, Rgba c) {
  const float e = r + width;
  fill(
      cx - e, cy - e, cx + e, cy + e,
      [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - r) - width / 2; }, c);
}

void Pen::arc(float cx, float cy, float r, float width, float a0, float a1, Rgba c) {
  const float e = r + width;
  const float mid = (a0 + a1) * 0.5f * kPi / 180.0f;
  const float half = (a1 - a0) * 0.5f * kPi / 180.0f;
  fill(
      cx - e, cy - e, cx + e, cy + e,
      [=](float x, float y) {
        const float dx = x - cx, dy = cy - y;
        float ang = std::atan2(dy, dx) - mid;
        while (ang > kPi) ang -= 2 * kPi;
        while (ang < -kPi) ang += 2 * kPi;
        const float band = std::fabs(std::hypot(dx, dy) - r) - width / 2;
        // Outside the angle range: distance along the circle beyond it.
        const float over = (std::fabs(ang) - half) * r;
        return std::max(band, over);
      },
      c);
}

void Pen::ellipse(float cx, float cy, float rx, float ry, Rgba c) {
  fill(
      cx - rx, cy - ry, cx + rx, cy + ry,
      [=](float x, float y) {
        const float nx = (x - cx) / rx, ny = (y - cy) / ry;
        const float k = std::hypot(nx, ny);
        return (k - 1) * std::min(rx, ry);
      },
      c);
}

void Pen::box(float cx, float cy, float hw, float hh, float rad, Rgba c) {
  fill(
      cx - hw, cy - hh, cx + hw, cy + hh,
      [=](float x, float y) {
        const float qx = std::fabs(x - cx) - (hw - rad);
        const float qy = std::fabs(y - cy) - (hh - rad);
        const float out = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return out + std::min(std::max(qx, qy), 0.0f) - rad;
      },
      c);
}

void Pen::line(float x0, float y0, float x1, float y1, float width, Rgba c) {
  const float e = width;
  fill(
      std::min(x0, x1) - e, std::min(y0, y1) - e, std::max(x0, x1) + e, std::max(y0, y1) + e,
      [=](float x, float y) {
        return segDist(x, y, Pt{x0, y0}, Pt{x1, y1}) - width / 2;
      },
      c);
}

void Pen::poly(const std::vector<Pt>& pts, Rgba c) {
  float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
  for (const Pt& p : pts) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  fill(
      x0, y0, x1, y1, [&](float x, float y) { return polySdf(pts, x, y); }, c);
}

void Pen::glow(float cx, float cy, float r, Rgba c, float power) {
  const int px0 = static_cast<int>(std::floor(ox_ + (cx - r) * s_));
  const int py0 = static_cast<int>(std::floor(oy_ + (cy - r) * s_));
  const int px1 = static_cast<int>(std::ceil(ox_ + (cx + r) * s_));
  const int py1 = static_cast<int>(std::ceil(oy_ + (cy + r) * s_));
  for (int y = py0; y <= py1; ++y)
    for (int x = px0; x <= px1; ++x) {
      const float d = std::hypot((x + 0.5f - ox_) / s_ - cx, (y + 0.5f - oy_) / s_ - cy) / r;
      if (d < 1) c_.blend(x, y, c, std::pow(1 - d, power));
    }
}

void Pen::gradient_box(float cx, float cy, float hw, float hh, float rad, Rgba top, Rgba bottom) {
  // One row band at a time, each clipped to the rounded box.
  const int rows = static_cast<int>(std::ceil(2 * hh * s_)) + 2;
  for (int i = 0; i < rows; ++i) {
    const float y0 = cy - hh + i / s_ - 1 / s_;
    const float y1 = y0 + 1 / s_;
    const Rgba c = mix(top, bottom, clamp01((y0 - (cy - hh)) / (2 * hh)));
    fill(
        cx - hw, y0, cx + hw, y1,
        [=](float x, float y) {
          if (y < y0 || y >= y1) return 1e9f;
          const float qx = std::fabs(x - cx) - (hw - rad);
          const float qy = std::fabs(y - cy) - (hh - rad);
          const float out = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
          return out + std::min(std::max(qx, qy), 0.0f) - rad;
        },
        c);
  }
}

void Pen::paint_mask(const std::vector<float>& m, int mw, int mh, float left, float top, Rgba c, float outline,
                     Rgba outlineColor) {
  const int lx = static_cast<int>(std::lround(left));
  const int ty = static_cast<int>(std::lround(top));
  if (outline > 0) {
    const int r = static_cast<int>(std::ceil(outline));
    for (int y = -r; y < mh + r; ++y)
      for (int x = -r; x < mw + r; ++x) {
        float k = 0;
        for (int dy = -r; dy <= r; ++dy)
          for (int dx = -r; dx <= r; ++dx) {
            const int sx = x + dx, sy = y + dy;
            if (sx < 0 || sy < 0 || sx >= mw || sy >= mh) continue;
            const float reach = clamp01(outline + 0.5f - std::hypot(float(dx), float(dy)));
            k = std::max(k, m[static_cast<size_t>(sy) * mw + sx] * reach);
          }
        if (k > 0) c_.blend(lx + x, ty + y, outlineColor, k);
      }
  }
  for (int y = 0; y < mh; ++y)
    for (int x = 0; x < mw; ++x) {
      const float k = m[static_cast<size_t>(y) * mw + x];
      if (k > 0) c_.blend(lx + x, ty + y, c, k);
    }
}

void Pen::text(const Font& f, const std::string& s, float cx, float cy, float lineHeight, Rgba c, float outline,
               Rgba outlineColor) {
  int mw, mh, base;
  float adv;
  const std::vector<float> m = f.mask(s, lineHeight * s_, &mw, &mh, &base, &adv);
  const float left = ox_ + cx * s_ - adv / 2 - Font::kMargin;
  const float baseline = oy_ + cy * s_ + f.cap_height(lineHeight * s_) / 2;
  paint_mask(m, mw, mh, left, baseline - base, c, outline * s_, outlineColor);
}

void Pen::glyph(const Font& f, int code, float cx, float cy, float lineHeight, Rgba c) {
  int mw, mh, base;
  float adv;
  const std::string s(1, static_cast<char>(code));
  const std::vector<float> m = f.mask(s, lineHeight * s_, &mw, &mh, &base, &adv);
  const float asc = f.ascent(lineHeight * s_);
  const float left = ox_ + cx * s_ - adv / 2 - Font::kMargin;
  // The line box spans lineHeight; its top is half a line above the centre.
  const float baseline = oy_ + cy * s_ - lineHeight * s_ / 2 + asc;
  paint_mask(m, mw, mh, left, baseline - base, c, 0, c);
}

std::vector<Pt> regular(float cx, float cy, float r, int n, float rot) {
  std::vector<Pt> p;
  for (int i = 0; i < n; ++i) {
    const float a = (rot + 360.0f * i / n) * kPi / 180.0f;
    p.push_back(Pt{cx + r * std::sin(a), cy - r * std::cos(a)});
  }
  return p;
}

std::vector<Pt> star(float cx, float cy, float outer, float inner, int n, float rot) {
  std::vector<Pt> p;
  for (int i = 0; i < 2 * n; ++i) {
    const float a = (rot + 180.0f * i / n) * kPi / 180.0f;
    const float r = (i % 2) ? inner : outer;
    p.push_back(Pt{cx + r * std::sin(a), cy - r * std::cos(a)});
  }
  return p;
}
