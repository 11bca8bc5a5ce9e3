// The graphics module on the headless test host: images and their frame
// grids and flags, the fatal grab error, the matrix stack and its lazy hand
// over to the driver, the default font, and every picture the game loads.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "graphics/graphics.h"
#include "tests/graphics/png_fixture.h"
#include "tests/support/test_host.h"

namespace fs = std::filesystem;

namespace {

// A fatal runtime error: the process ended with a non-zero status.
bool FatalExit(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }

// Runs each test in a fresh working folder whose data/ the test fills.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    char tmpl[] = "/tmp/quillet-graphics-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::current_path(dir_);
    dev = new gxtkGraphics();
    vo_graphics_SetGraphicsDevice(dev);
    gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
    dev->BeginRender();
    vo_graphics_BeginRender();
  }
  void TearDown() override {
    vo_graphics_EndRender();
    vo_graphics_device = nullptr;
    vo_graphics_context = nullptr;
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  // Writes data/<name> as a w x h opaque white PNG.
  static void Picture(const std::string& name, int w, int h) { ASSERT_TRUE(WriteSolidPng("data/" + name, w, h)); }
  static std::vector<std::pair<int, int>> Frames(c_Image* img) {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < img->m_frames.Length(); ++i) out.emplace_back(img->m_frames[i]->m_x, img->m_frames[i]->m_y);
    return out;
  }
  using Frames_t = std::vector<std::pair<int, int>>;

  VoTestHost host;
  gxtkGraphics* dev = nullptr;
  fs::path old_, dir_;
};

TEST_F(ModuleTest, StripImageCutsEqualFrames) {
  Picture("strip.png", 64, 16);
  c_Image* img = vo_graphics_LoadImage(String("strip.png"), 4, 0);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->m_width, 16);
  EXPECT_EQ(img->m_height, 16);
  EXPECT_EQ(Frames(img), (Frames_t{{0, 0}, {16, 0}, {32, 0}, {48, 0}}));
  EXPECT_EQ(img->m_flags, 0);
  EXPECT_EQ(img->m_source, nullptr);
}

TEST_F(ModuleTest, GridImageWrapsRowByRow) {
  Picture("grid.png", 64, 32);
  c_Image* img = vo_graphics_LoadImage2(String("grid.png"), 16, 16, 6, 0);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(Frames(img), (Frames_t{{0, 0}, {16, 0}, {32, 0}, {48, 0}, {0, 16}, {16, 16}}));
  ASSERT_NE(img->m_source, nullptr);
  EXPECT_EQ(img->m_surface, img->m_source->m_surface) << "frames share one surface";
  // Exactly filling the grid is still inside.
  EXPECT_NE(vo_graphics_LoadImage2(String("grid.png"), 16, 16, 8, 0), nullptr);
}

// A grab that leaves the surface is fatal; run in a child process whose
// standard output (where the runtime reports) goes to its error stream.
TEST_F(ModuleTest, GrabOutsideTheSurfaceIsFatal) {
  Picture("grid.png", 64, 32);
  auto grab = [](int w, int h, int n) {
    std::freopen("/dev/null", "r", stdin);  // no debugger answers
    dup2(2, 1);
    vo_graphics_LoadImage2(String("grid.png"), w, h, n, 0);
    std::exit(0);
  };
  EXPECT_EXIT(grab(16, 16, 9), FatalExit, "Dovel Runtime Error : Image frame outside surface");
  EXPECT_EXIT(grab(65, 16, 1), FatalExit, "Image frame outside surface");
  EXPECT_EXIT(grab(16, 16, 8), ::testing::ExitedWithCode(0), "");
}

TEST_F(ModuleTest, PaddedFramesLoseTheirBorder) {
  Picture("pad.png", 30, 10);
  c_Image* img = vo_graphics_LoadImage(String("pad.png"), 3, c_Image::PadFramesX);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->m_width, 8);
  EXPECT_EQ(img->m_height, 10);
  EXPECT_EQ(Frames(img), (Frames_t{{1, 0}, {11, 0}, {21, 0}}));
  c_Image* both = vo_graphics_LoadImage(String("pad.png"), 1, c_Image::PadFramesX | c_Image::PadFramesY);
  EXPECT_EQ(Frames(both), (Frames_t{{1, 1}}));
  EXPECT_EQ(both->m_height, 8);
  EXPECT_FALSE(both->m_flags & c_Image::WholeSurfaceFrame);
}

TEST_F(ModuleTest, WholeSurfaceFrameOnlyForTheWholePicture) {
  Picture("one.png", 16, 16);
  c_Image* whole = vo_graphics_LoadImage(String("one.png"), 1, c_Image::CenterHandle);
  EXPECT_EQ(whole->m_flags, c_Image::WholeSurfaceFrame);
  EXPECT_FLOAT_EQ(whole->m_tx, 8);
  EXPECT_FLOAT_EQ(whole->m_ty, 8);
  c_Image* part = vo_graphics_LoadImage2(String("one.png"), 8, 16, 1, 0);
  EXPECT_EQ(part->m_flags, 0);
  // A caller cannot claim the whole-surface path for a partial frame.
  part->p_ApplyFlags(c_Image::WholeSurfaceFrame);
  EXPECT_EQ(part->m_flags, 0);
  part->p_SetHandle(1, 2);
  EXPECT_FLOAT_EQ(part->m_ty, 2);
  // Grabbing works only from a one-frame image.
  c_Image* strip = vo_graphics_LoadImage(String("one.png"), 2, 0);
  EXPECT_EQ(strip->p_GrabImage(0, 0, 4, 4, 1, 0), nullptr);
}

TEST_F(ModuleTest, MissingOrBrokenFilesGiveNull) {
  EXPECT_EQ(vo_graphics_LoadImage(String("nothing.png"), 1, 0), nullptr);
  EXPECT_EQ(vo_graphics_LoadImage2(String("nothing.png"), 4, 4, 1, 0), nullptr);
  ASSERT_TRUE(WriteFile("data/broken.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}));
  EXPECT_EQ(vo_graphics_LoadImage(String("broken.png"), 1, 0), nullptr);
}

TEST_F(ModuleTest, DrawImageUsesTheFrameAndHandle) {
  Picture("grid.png", 64, 32);
  c_Image* img = vo_graphics_LoadImage2(String("grid.png"), 16, 16, 8, c_Image::CenterHandle);
  vo_graphics_DrawImage(img, 100, 50, 5);
  const gxtkVertex* v = dev->vertices;
  EXPECT_FLOAT_EQ(v[0].x, 92);
  EXPECT_FLOAT_EQ(v[0].y, 42);
  // Texture coordinates are fractions of the surface from the first draw on,
  // before any texture exists.
  EXPECT_FLOAT_EQ(v[0].u, 0.25f);
  EXPECT_FLOAT_EQ(v[0].v, 0.5f);
  EXPECT_FLOAT_EQ(v[2].x, 108);
}

// Calls outside the contract that would divide by zero or read past the
// frame array: no frames asked for gives one frame, and a frame index
// outside the image draws nothing.
TEST_F(ModuleTest, BadFrameCountsAndIndicesAreHarmless) {
  Picture("strip.png", 64, 16);
  c_Image* img = vo_graphics_LoadImage(String("strip.png"), 0, 0);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->m_frames.Length(), 1);
  EXPECT_EQ(img->m_width, 64);
  c_Image* strip = vo_graphics_LoadImage(String("strip.png"), 4, 0);
  vo_graphics_DrawImage(strip, 0, 0, 4);
  vo_graphics_DrawImage2(strip, 0, 0, 0, 1, 1, -1);
  EXPECT_EQ(dev->primCount, 0);
  vo_graphics_DrawImage(strip, 0, 0, 3);
  EXPECT_EQ(dev->primCount, 4);
}

TEST_F(ModuleTest, RotatedImageTurnsAboutItsHandle) {
  Picture("one.png", 20, 10);
  c_Image* img = vo_graphics_LoadImage(String("one.png"), 1, 0);
  img->p_SetHandle(4, 2);
  vo_graphics_DrawImage2(img, 100, 50, 90, 1, 1, 0);
  // The handle lands on (100, 50); the image's x axis now points up.
  const gxtkVertex* v = dev->vertices;
  EXPECT_NEAR(v[0].x, 98, 1e-4);
  EXPECT_NEAR(v[0].y, 54, 1e-4);
  EXPECT_NEAR(v[1].x, 98, 1e-4);  // top-right corner: 20 units along x
  EXPECT_NEAR(v[1].y, 34, 1e-4);
  EXPECT_EQ(vo_graphics_context->m_matrixSp, 0);
  EXPECT_FALSE(vo_graphics_context->m_tformed) << "matrix restored";
}

TEST_F(ModuleTest, ScaledImageGrowsAboutItsHandle) {
  Picture("one.png", 20, 10);
  c_Image* img = vo_graphics_LoadImage(String("one.png"), 1, c_Image::CenterHandle);
  vo_graphics_DrawImage2(img, 50, 50, 0, 2, 3, 0);
  const gxtkVertex* v = dev->vertices;
  EXPECT_FLOAT_EQ(v[0].x, 30);
  EXPECT_FLOAT_EQ(v[0].y, 35);
  EXPECT_FLOAT_EQ(v[2].x, 70);
  EXPECT_FLOAT_EQ(v[2].y, 65);
}

TEST_F(ModuleTest, MatrixReachesTheDriverOnlyWhenSomethingIsDrawn) {
  vo_graphics_DrawRect(0, 0, 1, 1);  // hands over BeginRender's identity
  vo_graphics_Translate(10, 20);
  vo_graphics_Scale(2, 2);
  vo_graphics_Rotate(0);
  EXPECT_FLOAT_EQ(dev->tx, 0);
  EXPECT_TRUE(vo_graphics_context->m_matDirty);
  vo_graphics_DrawRect(1, 1, 1, 1);
  EXPECT_FLOAT_EQ(dev->tx, 10);
  EXPECT_FLOAT_EQ(dev->ix, 2);
  EXPECT_FALSE(vo_graphics_context->m_matDirty);
  EXPECT_FLOAT_EQ(dev->vertices[4].x, 12);
  EXPECT_FLOAT_EQ(dev->vertices[4].y, 22);
}

TEST_F(ModuleTest, PushTranslatePopRestoresTheMatrix) {
  c_GraphicsContext* c = vo_graphics_context;
  vo_graphics_SetMatrix(1, 2, 3, 4, 5, 6);
  vo_graphics_DrawRect(0, 0, 1, 1);
  vo_graphics_PushMatrix();
  vo_graphics_Translate(7, 8);
  EXPECT_FLOAT_EQ(c->m_tx, 1 * 7 + 3 * 8 + 5);
  EXPECT_FLOAT_EQ(c->m_ty, 2 * 7 + 4 * 8 + 6);
  vo_graphics_PopMatrix();
  EXPECT_FLOAT_EQ(c->m_tx, 5);
  EXPECT_FLOAT_EQ(c->m_jy, 4);
  EXPECT_TRUE(c->m_matDirty);
  EXPECT_EQ(c->m_matrixSp, 0);
  Array<float> m(6);
  m[0] = 1, m[3] = 1;
  vo_graphics_SetMatrix2(m);
  EXPECT_FALSE(c->m_tformed);
}

TEST_F(ModuleTest, MatrixStackMisuseIsFatal) {
  EXPECT_EXIT(
      {
        std::freopen("/dev/null", "r", stdin);
        dup2(2, 1);
        vo_graphics_PopMatrix();
      },
      FatalExit, "Matrix stack underflow");
  EXPECT_EXIT(
      {
        std::freopen("/dev/null", "r", stdin);
        dup2(2, 1);
        for (int i = 0; i < 33; ++i) vo_graphics_PushMatrix();
      },
      FatalExit, "Matrix stack overflow");
}

TEST_F(ModuleTest, BeginRenderResetsTheDrawingState) {
  vo_graphics_SetColor(1, 2, 3);
  vo_graphics_SetAlpha(0.5f);
  vo_graphics_SetBlend(1);
  vo_graphics_SetScissor(1.9f, 2.5f, 30.7f, 40.2f);
  EXPECT_FLOAT_EQ(vo_graphics_context->m_scissor_width, 30.7f);
  vo_graphics_Translate(5, 5);
  vo_graphics_PushMatrix();
  vo_graphics_BeginRender();
  c_GraphicsContext* c = vo_graphics_context;
  EXPECT_EQ(c->m_matrixSp, 0);
  EXPECT_FALSE(c->m_tformed);
  EXPECT_FLOAT_EQ(c->m_color_g, 255);
  EXPECT_FLOAT_EQ(c->m_alpha, 1);
  EXPECT_EQ(c->m_blend, 0);
  EXPECT_FLOAT_EQ(c->m_scissor_width, 640);
  EXPECT_EQ(dev->color, 0xffffffffu);
  EXPECT_EQ(vo_graphics_renderDevice, dev);
}

// A display-list replay sets colour, alpha and blend before every entry; with
// the blend unchanged all of one texture's images stay in one draw call.
TEST_F(ModuleTest, ReplayingStateChangesKeepsOneBatch) {
  Picture("one.png", 8, 8);
  c_Image* img = vo_graphics_LoadImage(String("one.png"), 1, c_Image::CenterHandle);
  const long long before = dev->counters.drawCalls;
  for (int i = 0; i < 200; ++i) {
    vo_graphics_SetAlpha(0.5f);
    vo_graphics_SetColor(255, i, 0);
    vo_graphics_SetBlend(0);
    vo_graphics_DrawImage2(img, i, i, i * 3.0f, 1.5f, 1.5f, 0);
  }
  dev->Flush();
  EXPECT_EQ(dev->counters.drawCalls - before, 1);
  vo_graphics_SetBlend(1);
  vo_graphics_DrawImage(img, 0, 0, 0);
  vo_graphics_SetBlend(0);
  EXPECT_EQ(dev->counters.drawCalls - before, 2);
}

TEST_F(ModuleTest, DefaultFontIsLoadedOnceAsAPaddedStrip) {
  Picture("lumo_font.png", 96 * 12, 16);
  vo_graphics_SetFont(nullptr, 0);
  c_GraphicsContext* c = vo_graphics_context;
  ASSERT_NE(c->m_font, nullptr);
  EXPECT_EQ(c->m_font, c->m_defaultFont);
  EXPECT_EQ(c->m_firstChar, 32);
  EXPECT_EQ(c->m_font->m_frames.Length(), 96);
  EXPECT_EQ(c->m_font->m_width, 10);
  EXPECT_EQ(c->m_font->m_frames[1]->m_x, 13);
  c_Image* first = c->m_defaultFont;
  c_Image* other = vo_graphics_LoadImage(String("lumo_font.png"), 1, 0);
  vo_graphics_SetFont(other, 65);
  EXPECT_EQ(c->m_font, other);
  EXPECT_EQ(c->m_firstChar, 65);
  vo_graphics_SetFont(nullptr, 65);
  EXPECT_EQ(c->m_font, first) << "not loaded again";
}

TEST_F(ModuleTest, WithoutTheDefaultFontTheFontIsNull) {
  vo_graphics_SetFont(nullptr, 32);
  EXPECT_EQ(vo_graphics_context->m_font, nullptr);
}

// Every picture the game names, at resolution 1, 2 and 4, from the data
// folder the asset generator wrote: each loads and its frame grid fits.
TEST(GeneratedPictures, EveryGamePictureLoadsWithItsGridAtEveryResolution) {
  const fs::path old = fs::current_path();
  fs::current_path(QUILLET_RUN_DIR);
  VoTestHost host;
  vo_graphics_SetGraphicsDevice(new gxtkGraphics());
  gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
  const struct {
    const char* name;
    int w, h, frames;
  } pictures[] = {{"common/icons", 32, 32, 16},
                  {"common/Buttons", 64, 64, 16},
                  {"common/dpad", 32, 32, 16},
                  {"common/icade", 64, 64, 2},
                  {"common/BrevoLogo", 256, 256, 1},
                  {"common/Testcard_Circle", 256, 256, 1},
                  {"fonts/tessel", 16, 16, 128},
                  {"menu", 256, 256, 4},
                  {"logo", 256, 128, 1},
                  {"parts", 8, 8, 16},
                  {"BadgesA", 64, 64, 64}};
  for (const auto& p : pictures)
    for (int res : {1, 2, 4}) {
      const std::string file = std::string(p.name) + (res == 1 ? "" : res == 2 ? "-hd" : "-hd2") + ".png";
      c_Image* img =
          vo_graphics_LoadImage2(String(file.c_str()), p.w * res, p.h * res, p.frames, c_Image::CenterHandle);
      ASSERT_NE(img, nullptr) << file;
      EXPECT_EQ(img->m_frames.Length(), p.frames) << file;
      EXPECT_FLOAT_EQ(img->m_tx, p.w * res / 2.0f) << file;
    }
  c_Image* font = vo_graphics_LoadImage(String("lumo_font.png"), 96, c_Image::PadFramesX);
  ASSERT_NE(font, nullptr);
  EXPECT_GT(font->m_width, 4);
  vo_graphics_device = nullptr;
  vo_graphics_context = nullptr;
  fs::current_path(old);
}

}  // namespace
