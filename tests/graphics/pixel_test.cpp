// Pixel tests: the real host opens its window (under Xvfb, Mesa llvmpipe),
// and the first render runs these tests against the live OpenGL context,
// reading the results back with ReadPixels.
//
// The program is the host's main with this file's voInit and voMain: the
// delegate installed by voMain runs every test on its first RenderGame and
// ends the process with the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "host/game.h"
#include "tests/graphics/png_fixture.h"

namespace {

// The picture folder for files written by the tests.
std::string TempPng(const std::string& name) { return "/tmp/quillet-pixels-" + name + ".png"; }

unsigned RedLeftBlueRight(int x, int) { return x < 10 ? 0xffff0000u : 0xff0000ffu; }
unsigned RedLeftBlueRight100(int x, int) { return x < 50 ? 0xffff0000u : 0xff0000ffu; }
unsigned HalfRed(int, int) { return 0x80ff0000u; }

// The pixel at (x, y), top-down window coordinates, as 0xRRGGBB.
unsigned At(int x, int y) {
  Array<int> px(1);
  vo_graphics_ReadPixels(px, x, y, 1, 1, 0, 0);
  return static_cast<unsigned>(px[0]) & 0xffffffu;
}

// One expected pixel: position and colour 0xRRGGBB.
struct Probe {
  int x, y;
  unsigned rgb;
};

void ExpectColours(std::initializer_list<Probe> probes) {
  for (const Probe& p : probes) EXPECT_EQ(At(p.x, p.y), p.rgb) << "at " << p.x << ", " << p.y;
}

class Pixels : public ::testing::Test {
 protected:
  void SetUp() override {
    dev = vo_graphics_device;
    dev->BeginRender();
    vo_graphics_BeginRender();
    vo_graphics_Cls(0, 0, 0);
  }
  void TearDown() override {
    dev->skipUnchangedState = true;
    vo_graphics_EndRender();
  }
  static c_Image* Load(const std::string& name, int w, int h, unsigned (*colour)(int, int), int frames = 1,
                       int flags = 0) {
    const std::string path = TempPng(name);
    if (!WriteFile(path, EncodePng(w, h, 4, RgbaPixels(w, h, colour)))) return nullptr;
    return vo_graphics_LoadImage(String(path.c_str()), frames, flags);
  }
  gxtkGraphics* dev = nullptr;
};

// True when each channel of a and b differs by at most tol.
::testing::AssertionResult Near(unsigned a, unsigned b, int tol = 2) {
  for (int s = 0; s < 24; s += 8) {
    const int d = static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255);
    if (d > tol || d < -tol) {
      char msg[64];
      std::snprintf(msg, sizeof msg, "%06x is not %06x", a, b);
      return ::testing::AssertionFailure() << msg;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Pixels, ColourAndAlphaArePremultiplied) {
  vo_graphics_SetColor(255, 128, 0);
  vo_graphics_SetAlpha(0.5f);
  vo_graphics_DrawRect(10, 10, 20, 20);
  EXPECT_TRUE(Near(At(15, 15), 0x7f4000));
  EXPECT_EQ(At(35, 15), 0u);
  vo_graphics_Cls(255, 255, 255);
  vo_graphics_DrawRect(10, 10, 20, 20);
  EXPECT_TRUE(Near(At(15, 15), 0xffc080));
}

TEST_F(Pixels, TexturesArePremultipliedToo) {
  c_Image* img = Load("halfred", 4, 4, HalfRed);
  ASSERT_NE(img, nullptr);
  vo_graphics_Cls(255, 255, 255);
  vo_graphics_DrawImage(img, 0, 0, 0);
  EXPECT_TRUE(Near(At(1, 1), 0xff7f7f));
}

TEST_F(Pixels, AdditiveBlendAddsAndNormalBlendCovers) {
  vo_graphics_Cls(50, 50, 50);
  vo_graphics_SetBlend(1);
  vo_graphics_SetColor(100, 20, 0);
  vo_graphics_DrawRect(0, 0, 10, 10);
  EXPECT_TRUE(Near(At(5, 5), 0x964632));
  vo_graphics_SetBlend(0);
  vo_graphics_DrawRect(0, 0, 10, 10);
  EXPECT_TRUE(Near(At(5, 5), 0x641400));
}

TEST_F(Pixels, ScissorClipsTopDownAndFullWindowDisablesIt) {
  vo_graphics_SetScissor(100, 50, 40, 30);
  vo_graphics_SetColor(255, 0, 0);
  vo_graphics_DrawRect(0, 0, 640, 480);
  ExpectColours(
      {{100, 50, 0xff0000u}, {139, 79, 0xff0000u}, {99, 50, 0u}, {100, 49, 0u}, {140, 79, 0u}, {100, 80, 0u}});
  EXPECT_EQ(At(120, 480 - 65), 0u) << "not flipped";
  vo_graphics_SetScissor(0, 0, 640, 480);
  vo_graphics_DrawRect(0, 0, 640, 480);
  EXPECT_EQ(At(0, 0), 0xff0000u);
  EXPECT_EQ(At(639, 479), 0xff0000u);
}

// OpenGL rejects a box of negative size and would keep the previous one; the
// driver makes it an empty box, so nothing is drawn.
TEST_F(Pixels, NegativeScissorClipsEverything) {
  vo_graphics_SetScissor(0, 0, 100, 100);
  vo_graphics_SetScissor(10, 10, -5, 20);
  vo_graphics_DrawRect(0, 0, 640, 480);
  ExpectColours({{5, 15, 0u}, {50, 50, 0u}, {300, 300, 0u}});
}

TEST_F(Pixels, EllipseCoversItsInside) {
  vo_graphics_DrawEllipse(320, 240, 100, 50);
  ExpectColours({{320, 240, 0xffffffu},
                 {414, 240, 0xffffffu},
                 {320, 286, 0xffffffu},
                 {226, 240, 0xffffffu},
                 {426, 240, 0u},
                 {320, 296, 0u}});
  EXPECT_EQ(At(410, 285), 0u) << "box corner is outside";
  EXPECT_EQ(At(320, 187), 0u);
}

// Rotated 90 degrees and doubled about its centre: the image's x axis points
// up the screen, its left (red) half lies below the handle.
TEST_F(Pixels, RotatedScaledImageTurnsAboutTheHandle) {
  c_Image* img = Load("redblue", 20, 10, RedLeftBlueRight, 1, c_Image::CenterHandle);
  ASSERT_NE(img, nullptr);
  vo_graphics_DrawImage2(img, 200, 200, 90, 2, 2, 0);
  ExpectColours({{200, 210, 0xff0000u},
                 {191, 218, 0xff0000u},
                 {200, 190, 0x0000ffu},
                 {208, 182, 0x0000ffu},
                 {212, 200, 0u},
                 {187, 200, 0u},
                 {200, 221, 0u},
                 {200, 178, 0u}});
}

// A context that refuses sizes other than powers of two gets a larger
// texture; the image still draws exactly its own pixels.
TEST_F(Pixels, PowerOfTwoRetryKeepsTheImageIntact) {
  auto saved = gxtkSurface::textureRefused;
  gxtkSurface::textureRefused = [](int w, int h) { return (w & (w - 1)) != 0 || (h & (h - 1)) != 0; };
  c_Image* img = Load("npot", 100, 50, RedLeftBlueRight100);
  gxtkSurface::textureRefused = saved;
  ASSERT_NE(img, nullptr);
  EXPECT_FLOAT_EQ(img->m_surface->uscale, 1.0f / 128);
  EXPECT_FLOAT_EQ(img->m_surface->vscale, 1.0f / 64);
  vo_graphics_DrawImage(img, 10, 10, 0);
  ExpectColours({{10, 10, 0xff0000u},
                 {59, 59, 0xff0000u},
                 {60, 10, 0x0000ffu},
                 {109, 59, 0x0000ffu},
                 {110, 30, 0u},
                 {50, 60, 0u}});
}

TEST_F(Pixels, ReadPixelsStoresRowsTopFirstAtOffsetAndPitch) {
  vo_graphics_SetColor(255, 0, 0);
  vo_graphics_DrawRect(0, 0, 2, 1);
  vo_graphics_SetColor(0, 255, 0);
  vo_graphics_DrawRect(0, 1, 2, 1);
  Array<int> px(3 + 5 + 2);
  for (int i = 0; i < px.Length(); ++i) px[i] = 7;
  vo_graphics_ReadPixels(px, 0, 0, 2, 2, 3, 5);
  EXPECT_EQ(px[2], 7);
  EXPECT_EQ(static_cast<unsigned>(px[3]), 0xffff0000u);
  EXPECT_EQ(static_cast<unsigned>(px[4]), 0xffff0000u);
  EXPECT_EQ(px[5], 7);
  EXPECT_EQ(static_cast<unsigned>(px[8]), 0xff00ff00u);
  // A block that does not fit the array is not read at all.
  Array<int> small(3);
  small[0] = 7;
  vo_graphics_ReadPixels(small, 0, 0, 2, 2, 0, 0);
  EXPECT_EQ(small[0], 7);
}

TEST_F(Pixels, WrittenPixelsReachTheTexture) {
  gxtkSurface* s = dev->CreateSurface(4, 4);
  Array<int> px(16);
  for (int i = 0; i < 16; ++i) px[i] = static_cast<int>(i < 8 ? 0xffff0000u : 0x8000ff00u);
  dev->WritePixels2(s, px, 0, 0, 4, 4, 0, 4);
  dev->DrawSurface(s, 20, 20);
  EXPECT_EQ(At(21, 21), 0xff0000u);
  EXPECT_TRUE(Near(At(21, 23), 0x008000));
  // Only the rectangle given changes.
  Array<int> blue(1);
  blue[0] = static_cast<int>(0xff0000ffu);
  dev->WritePixels2(s, blue, 3, 0, 1, 1, 0, 1);
  dev->DrawSurface(s, 20, 20);
  EXPECT_EQ(At(23, 20), 0x0000ffu);
  EXPECT_EQ(At(22, 20), 0xff0000u);
}

TEST_F(Pixels, FontGlyphsDrawInsideTheirCell) {
  vo_graphics_SetFont(nullptr, 32);
  c_Image* font = vo_graphics_context->m_font;
  ASSERT_NE(font, nullptr);
  // 'H' four times larger, top-left at (100, 100).
  vo_graphics_DrawImage2(font, 100, 100, 0, 4, 4, 'H' - 32);
  const int w = font->m_width * 4, h = font->m_height * 4;
  Array<int> px(w * h);
  vo_graphics_ReadPixels(px, 100, 100, w, h, 0, 0);
  // Per row, the number of separate runs of lit pixels and the longest run.
  int twoRuns = 0, bar = 0;
  for (int y = 0; y < h; ++y) {
    int runs = 0, len = 0, longest = 0;
    for (int x = 0; x < w; ++x) {
      const bool lit = (px[y * w + x] & 0xff) > 128;
      len = lit ? len + 1 : 0;
      if (len == 1) ++runs;
      longest = std::max(longest, len);
    }
    twoRuns += runs == 2;
    bar += runs == 1 && longest > w / 3;
  }
  EXPECT_GT(twoRuns, h / 4) << "two stems";
  EXPECT_GT(bar, 0) << "a crossbar";
  // Nothing outside the cell: the padding columns are not drawn.
  for (int y = -4; y < h + 4; ++y) {
    EXPECT_EQ(At(96, 100 + y), 0u);
    EXPECT_EQ(At(100 + w + 3, 100 + y), 0u);
  }
  // A space draws nothing.
  vo_graphics_Cls(0, 0, 0);
  vo_graphics_DrawImage2(font, 100, 100, 0, 4, 4, 0);
  vo_graphics_ReadPixels(px, 100, 100, w, h, 0, 0);
  for (int i = 0; i < px.Length(); ++i) ASSERT_EQ(px[i] & 0xffffff, 0);
}

// The skip-unchanged rule saves draw calls and nothing else: a busy scene
// reads back identically with and without it.
TEST_F(Pixels, SkippingUnchangedStateChangesNoPixel) {
  c_Image* img = Load("redblue", 20, 10, RedLeftBlueRight, 1, c_Image::CenterHandle);
  ASSERT_NE(img, nullptr);
  long long calls = 0;
  auto scene = [&](bool skip) {
    dev->BeginRender();
    vo_graphics_BeginRender();
    dev->skipUnchangedState = skip;
    vo_graphics_Cls(10, 20, 30);
    const long long before = dev->counters.drawCalls;
    for (int i = 0; i < 400; ++i) {
      vo_graphics_SetAlpha(0.3f + (i % 7) * 0.1f);
      vo_graphics_SetColor(255, (i * 37) % 256, (i * 11) % 256);
      vo_graphics_SetBlend(i % 50 == 0 ? 1 : 0);
      vo_graphics_SetScissor(0, 0, 640, 480);
      vo_graphics_DrawImage2(img, (i * 53) % 640, (i * 29) % 480, i * 7.0f, 1 + i % 3, 1 + i % 2, 0);
    }
    Array<int> px(640 * 480);
    vo_graphics_ReadPixels(px, 0, 0, 640, 480, 0, 0);
    calls = dev->counters.drawCalls - before;
    return std::vector<int>(px.Data(), px.Data() + px.Length());
  };
  const std::vector<int> with = scene(true);
  const long long fewer = calls;
  const std::vector<int> without = scene(false);
  EXPECT_LT(fewer * 10, calls);
  EXPECT_TRUE(with == without);
}

class PixelDelegate : public VoGameDelegate {
 public:
  PixelDelegate() {}
  void RenderGame() override {
    // Everything is created here: no collection runs during the tests.
    vo_graphics_SetGraphicsDevice(new gxtkGraphics());
    gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
    int n = ::argc;
    ::testing::InitGoogleTest(&n, const_cast<char**>(::argv));
    const int failed = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::exit(failed);
  }
};

}  // namespace

int voInit() { return 0; }

int voMain() {
  VoGame::_game->SetDelegate(new PixelDelegate());
  return 0;
}
