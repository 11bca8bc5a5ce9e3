// A small anti-aliased painter for the generated pictures. Shapes are given in
// design units through a Pen (origin and resolution scale), so one drawing
// routine produces the same picture at resolution 1, 2 and 4.
#pragma once
#include <string>
#include <vector>

// Straight (not premultiplied) colour, channels 0..1.
struct Rgba {
  float r, g, b, a;
};

// Colour from 0..255 channels and alpha 0..1.
Rgba rgb(int r, int g, int b, float a = 1.0f);
// The same colour with alpha multiplied by k.
Rgba fade(Rgba c, float k);
// Linear mix of two colours, t = 0 gives a.
Rgba mix(Rgba a, Rgba b, float t);

struct Pt {
  float x, y;
};

// RGBA pixels, premultiplied floats while painting.
class Canvas {
 public:
  Canvas(int w, int h);
  int width() const { return w_; }
  int height() const { return h_; }
  // Composites colour c with coverage k (0..1) over pixel (x, y).
  void blend(int x, int y, Rgba c, float k);
  // Copies src with its top-left corner at (dx, dy), scaled up by an
  // integer factor (nearest neighbour), composited over this canvas.
  void draw(const Canvas& src, int dx, int dy, int zoom = 1);
  // 8-bit straight-alpha RGBA, rows top first.
  std::vector<unsigned char> bytes() const;
  // Writes the canvas as a PNG; false on failure.
  bool save_png(const std::string& path) const;

 private:
  int w_, h_;
  std::vector<float> px_;
};

// A TrueType font read from a file (DejaVu from fonts-dejavu-core).
class Font {
 public:
  explicit Font(const std::string& path);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  // Blank pixels around the glyphs on every side of a mask.
  static constexpr int kMargin = 2;
  // Glyph coverage (0..1) of text at the given line height (pixels, ascent
  // to descent); *w and *h give the mask size, *baseline the baseline row
  // and *advance the text's width. The pen starts kMargin pixels in.
  std::vector<float> mask(const std::string& text, float lineHeight, int* w, int* h, int* baseline,
                          float* advance) const;
  // Height of a capital letter and the ascent, in pixels, at a line height.
  float cap_height(float lineHeight) const;
  float ascent(float lineHeight) const;

 private:
  std::vector<unsigned char> data_;
  void* info_;
};

// Draws in design units onto a canvas: pixel = origin + unit * scale.
class Pen {
 public:
  Pen(Canvas& c, float scale, float ox, float oy) : c_(c), s_(scale), ox_(ox), oy_(oy) {}
  float scale() const { return s_; }

  void circle(float cx, float cy, float r, Rgba c);
  void ring(float cx, float cy, float r, float width, Rgba c);
  // Ring limited to the angles a0..a1 (degrees, 0 to the right, counter-clockwise).
  void arc(float cx, float cy, float r, float width, float a0, float a1, Rgba c);
  void ellipse(float cx, float cy, float rx, float ry, Rgba c);
  // Box centred at (cx, cy) with half sizes hw, hh and corner radius rad.
  void box(float cx, float cy, float hw, float hh, float rad, Rgba c);
  void line(float x0, float y0, float x1, float y1, float width, Rgba c);
  void poly(const std::vector<Pt>& pts, Rgba c);
  // Soft disc: full colour at the centre fading to nothing at radius r.
  void glow(float cx, float cy, float r, Rgba c, float power = 2.0f);
  // Vertical gradient inside a box, from top colour to bottom colour.
  void gradient_box(float cx, float cy, float hw, float hh, float rad, Rgba top, Rgba bottom);
  // Text centred on (cx, cy) (cap height centred vertically), with an
  // optional outline of the given width in design units.
  void text(const Font& f, const std::string& s, float cx, float cy, float lineHeight, Rgba c, float outline = 0.0f,
            Rgba outlineColor = Rgba{0, 0, 0, 0});

  // One character centred in a cell: its advance horizontally and its
  // line box (ascent to descent) vertically around (cx, cy).
  void glyph(const Font& f, int code, float cx, float cy, float lineHeight, Rgba c);

 private:
  // Paints a coverage mask of mw x mh pixels with its top-left at pixel
  // (left, top), first its outline (radius in pixels) then the fill.
  void paint_mask(const std::vector<float>& m, int mw, int mh, float left, float top, Rgba c, float outline,
                  Rgba outlineColor);
  template <class Sdf>
  void fill(float x0, float y0, float x1, float y1, Sdf sdf, Rgba c);
  Canvas& c_;
  float s_, ox_, oy_;
};

// Regular polygon and star outlines (angles in degrees, 0 pointing up).
std::vector<Pt> regular(float cx, float cy, float r, int n, float rot = 0.0f);
std::vector<Pt> star(float cx, float cy, float outer, float inner, int n, float rot = 0.0f);
