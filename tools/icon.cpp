// The program's desktop icon: a gamepad on a rounded tile, 256 x 256 pixels.
#include "tools/assets.h"
#include "tools/picture_canvas.h"

namespace {

// The icon's size in pixels, which is also its design size.
constexpr int kIconSize = 256;

// The pad's four face buttons: offsets from their centre and colours.
struct FaceButton {
  float dx, dy;
  Rgba color;
};

}  // namespace

bool generate_icon(const std::string& path) {
  Canvas canvas(kIconSize, kIconSize);
  Pen p(canvas, 1.0f, 0.0f, 0.0f);
  const Rgba body = rgb(236, 238, 248);
  const Rgba ink = rgb(34, 38, 64);
  p.gradient_box(128, 128, 120, 120, 44, rgb(92, 112, 232), rgb(40, 36, 120));
  p.glow(128, 96, 120, rgb(255, 255, 255, 0.25f));
  // Body and grips.
  p.ellipse(74, 150, 40, 54, body);
  p.ellipse(182, 150, 40, 54, body);
  p.box(128, 128, 92, 44, 44, body);
  // D-pad.
  p.box(82, 126, 8, 24, 3, ink);
  p.box(82, 126, 24, 8, 3, ink);
  const FaceButton buttons[] = {
      {0, -17, rgb(80, 200, 120)}, {17, 0, rgb(232, 72, 80)}, {-17, 0, rgb(72, 140, 232)}, {0, 17, rgb(244, 196, 48)}};
  for (const FaceButton& b : buttons) p.circle(174 + b.dx, 126 + b.dy, 9, b.color);
  // Back and start.
  p.box(116, 108, 8, 4, 4, ink);
  p.box(140, 108, 8, 4, 4, ink);
  return canvas.save_png(path);
}
