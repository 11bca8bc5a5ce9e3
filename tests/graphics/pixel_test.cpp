// The real OpenGL driver under Xvfb: the first render draws premultiplied colours, both blends, a scissor box, an
// ellipse, an image rotated and scaled about its handle and a font glyph, and reads the pixels back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "graphics/graphics.h"
#include "host/game.h"
#include "tests/graphics/png.h"

namespace {

int failures = 0;

// The pixel at (x, y), top-down window coordinates, as 0xRRGGBB.
unsigned At(int x, int y) {
  Array<int> px(1);
  vo_graphics_ReadPixels(px, x, y, 1, 1, 0, 0);
  return static_cast<unsigned>(px[0]) & 0xffffffu;
}

struct Pixel {
  int x, y;
  unsigned rgb;
};

// Checks each pixel's channels within 2 of the expected 0xRRGGBB.
void Expect(const char* what, std::initializer_list<Pixel> probes) {
  for (const Pixel& p : probes) {
    const unsigned got = At(p.x, p.y);
    bool near = true;
    for (int s = 0; s < 24; s += 8) near &= std::abs(int((got >> s) & 255) - int((p.rgb >> s) & 255)) <= 2;
    if (!near) std::printf("%s: (%d, %d) is %06x, not %06x\n", what, p.x, p.y, got, p.rgb), ++failures;
  }
}

class Probe : public VoGameDelegate {
 public:
  void RenderGame() override {
    vo_graphics_SetGraphicsDevice(new gxtkGraphics());
    gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
    vo_graphics_device->BeginRender();
    vo_graphics_BeginRender();
    vo_graphics_Cls(50, 50, 50);
    vo_graphics_SetColor(255, 128, 0);
    vo_graphics_SetAlpha(0.5f);
    vo_graphics_DrawRect(10, 10, 20, 20);
    vo_graphics_SetAlpha(1);
    vo_graphics_SetBlend(1);
    vo_graphics_SetColor(100, 20, 0);
    vo_graphics_DrawRect(40, 10, 10, 10);
    vo_graphics_SetBlend(0);
    Expect("premultiplied colour over grey", {{15, 15, 0x985919}, {35, 15, 0x323232}});
    Expect("additive blend", {{45, 15, 0x964632}});
    vo_graphics_SetScissor(100, 50, 40, 30);
    vo_graphics_SetColor(255, 0, 0);
    vo_graphics_DrawRect(0, 0, 640, 480);
    vo_graphics_SetScissor(0, 0, 640, 480);
    Expect("scissor, top-down",
           {{100, 50, 0xff0000}, {139, 79, 0xff0000}, {99, 50, 0x323232}, {140, 79, 0x323232}, {100, 80, 0x323232}});
    vo_graphics_SetColor(255, 255, 255);
    vo_graphics_DrawEllipse(320, 240, 100, 50);
    Expect("ellipse", {{414, 240, 0xffffff}, {320, 286, 0xffffff}, {426, 240, 0x323232}, {410, 285, 0x323232}});
    // Named per process: the sanitizer build's probe may run at the same time.
    const std::string png = "/tmp/quillet-pixels-" + std::to_string(getpid()) + ".png";
    WritePng(png.c_str(), 20, 10, [](int x, int) { return x < 10 ? 0xffff0000u : 0x800000ffu; });
    c_Image* img = vo_graphics_LoadImage(String(png.c_str()), 1, c_Image::CenterHandle);
    std::remove(png.c_str());
    vo_graphics_DrawImage2(img, 200, 200, 90, 2, 2, 0);
    // The image's x axis points up; its red left half lies below the handle, its half-transparent blue above.
    Expect(
        "rotated, scaled image",
        {{200, 210, 0xff0000}, {191, 218, 0xff0000}, {200, 190, 0x191999}, {212, 200, 0x323232}, {200, 221, 0x323232}});
    // The default font: a strip of 96 glyph cells, each padded by a column on either side.
    vo_graphics_SetFont(nullptr, 32);
    c_Image* font = vo_graphics_context->m_font;
    if (!font || font->m_width != font->m_surface->Width() / 96 - 2) {
      std::printf("no padded default font\n");
      std::exit(1);
    }
    // A glyph four times larger lights pixels inside its cell and none outside it.
    vo_graphics_DrawImage2(font, 500, 100, 0, 4, 4, 'H' - 32);
    const int w = font->m_width * 4, h = font->m_height * 4;
    int lit = 0;
    for (int i = 0; i < w * h; ++i) lit += (At(500 + i % w, 100 + i / w) & 0xff) > 128;
    if (lit < w * h / 8) std::printf("glyph H: only %d pixels lit\n", lit), ++failures;
    for (int y = -4; y < h + 4; ++y)
      Expect("outside the glyph cell", {{496, 100 + y, 0x323232}, {500 + w + 3, 100 + y, 0x323232}});
    std::printf("%d wrong pixels\n", failures);
    std::exit(failures ? 1 : 0);
  }
};

}  // namespace

int voInit() { return 0; }

int voMain() {
  VoGame::_game->SetDelegate(new Probe());
  return 0;
}
