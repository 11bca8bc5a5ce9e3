// The driver's batch and the graphics module on the headless test host (no GL
// context, so batches, colours, vertices and counters are what there is to
// see), and pictures loaded through the module with their frame grids.
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
  long long Draws() {
    g->Flush();
    return g->counters.drawCalls;
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
  EXPECT_EQ(Draws(), 5);
  Array<float> pent(10);
  for (int i = 0; i < 3; ++i) g->DrawPoly(pent);
  EXPECT_EQ(Draws(), 6) << "same-size polygons draw as fans in one call";
  g->DrawRect(0, 0, 10, 10);
  g->Cls(0, 0, 0);
  EXPECT_EQ(Draws(), 6) << "Cls drops the undrawn batch";
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
  g->EndRender();
  EXPECT_EQ(host.swaps, 1);
}

// Premultiplied colour, blending, ovals and pictures on screen are the pixel probe's.
TEST_F(Graphics, VerticesColoursAndSurfaces) {
  g->SetColor(300, -5, 10);
  g->SetAlpha(2);
  EXPECT_EQ(g->color, 0xff1400ffu) << "each channel clamps on its own";
  g->SetMatrix(0, 1, -1, 0, 100, 50);
  g->DrawRect(10, 20, 4, 2);
  const float corners[4][2] = {{80, 60}, {80, 64}, {78, 64}, {78, 60}};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(g->vertices[i].x * 1000 + g->vertices[i].y, corners[i][0] * 1000 + corners[i][1]);
  const std::pair<float, int> ovals[] = {{10, 12}, {100, 80}, {102, 80}, {1e6f, 1024}};
  g->SetMatrix(1, 0, 0, 1, 0, 0);
  for (auto [size, segments] : ovals) {
    g->DrawOval(0, 0, size, size * 0.6f);
    EXPECT_EQ(g->primType, segments) << size;
  }
  gxtkSurface* s = new gxtkSurface();
  s->SetData(static_cast<unsigned char*>(std::calloc(8, 1)), 2, 1, 4);
  unsigned int src[2] = {0x80ff0000u, 0xff00ff00u};
  s->SetSubData(1, 0, 1, 1, src, 1);
  EXPECT_EQ(s->data[4] * 1000 + s->data[7], 128 * 1000 + 128);
  s->SetSubData(1, 0, 2, 1, src, 2);
  s->SetSubData(0, -1, 1, 1, src, 1);
  EXPECT_EQ(s->data[0], 0) << "rectangles reaching outside are ignored";
}

TEST_F(Graphics, FrameGridsHandlesAndMatrices) {
  c_Image* grid = Load(64, 32, 6, 0, 16, 16);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->m_frames[5]->m_x * 100 + grid->m_frames[5]->m_y, 1616) << "frames wrap row by row";
  EXPECT_NE(Load(64, 32, 8, 0, 16, 16), nullptr) << "exactly filling the grid is inside";
  c_Image* padded = Load(30, 10, 3, c_Image::PadFramesX);
  EXPECT_EQ(padded->m_width, 8);
  EXPECT_EQ(padded->m_frames[2]->m_x, 21);
  EXPECT_EQ(Load(16, 16, 1, c_Image::CenterHandle)->m_flags, c_Image::WholeSurfaceFrame);
  EXPECT_EQ(Load(16, 16, 1, 0, 8, 16)->m_flags, 0);
  EXPECT_EQ(Load(64, 16, 0, 0)->m_frames.Length(), 1) << "no frames asked for gives one";
  EXPECT_EQ(vo_graphics_LoadImage(String("missing.png"), 1, 0), nullptr);
  c_Image* img = Load(20, 10, 1, 0);
  img->p_SetHandle(4, 2);
  vo_graphics_DrawImage(img, 100, 50, 0);
  EXPECT_FLOAT_EQ(g->vertices[0].x * 1000 + g->vertices[0].y, 96 * 1000 + 48) << "the handle lands on the position";
  vo_graphics_DrawImage(grid, 0, 0, 5);
  vo_graphics_DrawImage(grid, 0, 0, 6);  // a frame index outside the image draws nothing
  EXPECT_EQ(g->primCount, 4);
  vo_graphics_SetMatrix(1, 2, 3, 4, 5, 6);
  vo_graphics_PushMatrix();
  vo_graphics_Translate(7, 8);
  EXPECT_FLOAT_EQ(vo_graphics_context->m_tx, 1 * 7 + 3 * 8 + 5);
  EXPECT_FLOAT_EQ(g->tx, 0) << "the matrix reaches the driver only when something is drawn";
  vo_graphics_DrawRect(0, 0, 1, 1);
  EXPECT_FLOAT_EQ(g->tx, 36);
  vo_graphics_PopMatrix();
  EXPECT_FLOAT_EQ(vo_graphics_context->m_tx, 5);
  const std::pair<std::function<void()>, const char*> fatal[] = {
      {[&] { Load(64, 32, 9, 0, 16, 16); }, "Image frame outside surface"},
      {[&] { Load(64, 32, 1, 0, 65, 16); }, "Image frame outside surface"},
      {[] { vo_graphics_PopMatrix(); }, "Matrix stack underflow"},
      {[] {
         for (int i = 0; i < 33; ++i) vo_graphics_PushMatrix();
       },
       "Matrix stack overflow"}};
  for (const auto& [body, message] : fatal) {
    ChildResult r = RunInChild(body);
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
  }
}

TEST_F(Graphics, DefaultFontIsLoadedOnceAsAPaddedStrip) {
  vo_graphics_SetFont(nullptr, 32);
  EXPECT_EQ(vo_graphics_context->m_font, nullptr) << "no font file: no font";
  WritePng("data/lumo_font.png", 96 * 12, 16, [](int, int) { return 0xffffffffu; });
  vo_graphics_SetFont(nullptr, 0);
  c_Image* font = vo_graphics_context->m_font;
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->m_frames[95]->m_x * 100 + font->m_width, 114110) << "96 frames padded left and right";
  vo_graphics_SetFont(Load(8, 8, 1, 0), 65);
  vo_graphics_SetFont(nullptr, 65);
  EXPECT_EQ(vo_graphics_context->m_font, font) << "not loaded again";
}

}  // namespace
