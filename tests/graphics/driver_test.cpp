// The driver's batch and the graphics module on the headless test host (no GL
// context, so batches, colours, vertices and counters are what there is to
// see), and pictures loaded through the module with their frame grids. The
// default font is the pixel probe's.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "graphics/graphics.h"
#include "tests/graphics/png.h"
#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace {

class Graphics : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillet-graphics-XXXXXX";
    dir = mkdtemp(tmpl);
    std::filesystem::current_path(dir);
    std::filesystem::create_directory("data");
    vo_graphics_SetGraphicsDevice(g = new gxtkGraphics());
    gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
    g->BeginRender();
    vo_graphics_BeginRender();
  }
  void TearDown() override {
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
  }
  // A w x h picture in data/ and the image loaded from it.
  c_Image* Load(int w, int h, int frames, int flags, int fw = 0, int fh = 0) {
    WritePng("data/p.png", w, h, [](int, int) { return 0xffffffffu; });
    return fw ? vo_graphics_LoadImage2(String("p.png"), fw, fh, frames, flags)
              : vo_graphics_LoadImage(String("p.png"), frames, flags);
  }
  VoTestHost host;
  gxtkGraphics* g = nullptr;
  std::string dir;
};

TEST_F(Graphics, BatchesAreCutOnlyWhenTheyMustBe) {
  for (int i = 0; i < 256; ++i) g->DrawRect(i, 0, 1, 1);
  EXPECT_EQ(g->counters.drawCalls, 0) << "256 quads share one batch";
  g->DrawRect(0, 1, 1, 1);
  EXPECT_EQ(g->counters.drawCalls, 1);
  const uint16_t last[] = {1020, 1021, 1022, 1020, 1022, 1023};
  EXPECT_EQ(std::memcmp(g->quadIndices + 1530, last, sizeof last), 0);
  gxtkSurface* a = Load(8, 8, 1, 0)->m_surface;
  gxtkSurface* b = Load(8, 8, 1, 0)->m_surface;
  g->DrawSurface(a, 0, 0);
  g->DrawSurface2(a, 10, 0, 0, 0, 4, 4);
  g->DrawSurface(b, 0, 0);
  g->DrawLine(0, 0, 1, 1);
  g->DrawLine(0, 0, 2, 2);
  g->Flush();
  EXPECT_EQ(g->counters.drawCalls, 5);
  g->DrawRect(0, 0, 10, 10);
  g->Cls(0, 0, 0);
  g->Flush();
  EXPECT_EQ(g->counters.drawCalls, 5) << "Cls drops the undrawn batch";
  g->SetScissor(0, 0, 640, 480);
  g->DrawRect(0, 0, 1, 1);
  const long long flushes = g->counters.flushes;
  g->SetBlend(0);
  g->SetScissor(0, 0, 640, 480);
  EXPECT_EQ(g->counters.flushes, flushes) << "unchanged state does not flush";
  g->DrawRect(0, 0, 1, 1);
  g->SetBlend(7);
  EXPECT_EQ(g->counters.flushes, flushes) << "anything but 1 is the normal blend";
  g->DrawRect(0, 0, 1, 1);
  g->SetBlend(1);
  EXPECT_EQ(g->counters.flushes, flushes + 1);
  g->BeginRender();
  g->DrawRect(0, 0, 1, 1);
  g->SetScissor(0, 0, 640, 480);
  EXPECT_EQ(g->counters.flushes, flushes + 2) << "a new frame sends the state again";
}

// Premultiplied colour, blending, ovals, transformed vertices and pictures on
// screen are the pixel probe's.
TEST_F(Graphics, ColoursClampAndOvalsHaveBoundedSegments) {
  g->SetColor(300, -5, 10);
  g->SetAlpha(2);
  EXPECT_EQ(g->color, 0xff1400ffu) << "each channel clamps on its own";
  const std::pair<float, int> ovals[] = {{10, 12}, {100, 80}, {102, 80}, {1e6f, 1024}};
  for (auto [size, segments] : ovals) {
    g->DrawOval(0, 0, size, size * 0.6f);
    EXPECT_EQ(g->primType, segments) << size;
  }
}

TEST_F(Graphics, FrameGridsHandlesAndMatrices) {
  c_Image* grid = Load(64, 32, 6, 0, 16, 16);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->m_frames[5]->m_x * 100 + grid->m_frames[5]->m_y, 1616) << "frames wrap row by row";
  EXPECT_NE(Load(64, 32, 8, 0, 16, 16), nullptr) << "exactly filling the grid is inside";
  c_Image* padded = Load(30, 10, 3, c_Image::PadFramesX);
  EXPECT_EQ(padded->m_width, 8);
  EXPECT_EQ(padded->m_frames[2]->m_x, 21);
  EXPECT_EQ(Load(16, 16, 1, 0, 8, 16)->m_flags, 0) << "a frame of half the picture is not drawn whole";
  EXPECT_EQ(Load(64, 16, 0, 0)->m_frames.Length(), 1) << "no frames asked for gives one";
  EXPECT_EQ(vo_graphics_LoadImage(String("missing.png"), 1, 0), nullptr);
  c_Image* img = Load(20, 10, 1, 0);
  img->p_SetHandle(4, 2);
  vo_graphics_DrawImage(img, 100, 50, 0);
  EXPECT_FLOAT_EQ(g->vertices[0].x * 1000 + g->vertices[0].y, 96 * 1000 + 48) << "the handle lands on the position";
  vo_graphics_DrawImage(grid, 0, 0, 5);
  vo_graphics_DrawImage(grid, 0, 0, 6);  // a frame index outside the image draws nothing
  EXPECT_EQ(g->primCount, 4);
  // Composed matrices are the pixel probe's; popping gives back every entry.
  vo_graphics_SetMatrix(1, 2, 3, 4, 5, 6);
  vo_graphics_PushMatrix();
  vo_graphics_Rotate(90);
  vo_graphics_PopMatrix();
  const c_GraphicsContext& c = *vo_graphics_context;
  EXPECT_EQ(std::vector<float>({c.m_ix, c.m_iy, c.m_jx, c.m_jy, c.m_tx, c.m_ty}),
            std::vector<float>({1, 2, 3, 4, 5, 6}));
  // Nine 16 x 16 frames, or one 65 wide, do not fit a 64 x 32 picture.
  for (const auto& frames : {std::pair{9, 16}, {1, 65}}) {
    ChildResult r = RunInChild([&] { Load(64, 32, frames.first, 0, frames.second, 16); });
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find("Image frame outside surface"), std::string::npos) << r.out;
  }
}

}  // namespace
