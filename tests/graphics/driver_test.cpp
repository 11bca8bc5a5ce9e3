// The driver's batch on the headless test host (no GL context, so the batch,
// colours and counters are all there is): when batches are cut, what each
// vertex holds, and how surfaces keep and convert their pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "graphics/graphics.h"
#include "tests/support/test_host.h"

namespace {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g = new gxtkGraphics();
    g->BeginRender();
  }
  // Draw calls made so far, after sending what is pending.
  long long Draws() {
    g->Flush();
    return g->counters.drawCalls;
  }
  gxtkSurface* Surface(int w, int h) {
    gxtkSurface* s = new gxtkSurface();
    s->SetData(static_cast<unsigned char*>(std::calloc(static_cast<size_t>(w) * h, 4)), w, h, 4);
    return s;
  }
  VoTestHost host;
  gxtkGraphics* g = nullptr;
};

unsigned char Byte(uint32_t c, int i) { return static_cast<unsigned char>(c >> (8 * i)); }

TEST_F(DriverTest, QuadsShareOneIndexedDrawUntilTheBatchIsFull) {
  for (int i = 0; i < 256; ++i) g->DrawRect(i, 0, 1, 1);
  EXPECT_EQ(g->primType, 4);
  EXPECT_EQ(g->primCount, 1024);
  EXPECT_EQ(g->counters.drawCalls, 0);
  g->DrawRect(0, 1, 1, 1);  // the 257th starts a new batch
  EXPECT_EQ(g->counters.drawCalls, 1);
  EXPECT_EQ(g->primCount, 4);
  EXPECT_EQ(Draws(), 2);
  // The prebuilt index list: two triangles per quad.
  const uint16_t last[] = {1020, 1021, 1022, 1020, 1022, 1023};
  EXPECT_EQ(std::memcmp(g->quadIndices + 1530, last, sizeof last), 0);
}

TEST_F(DriverTest, ChangingTextureOrKindCutsTheBatch) {
  gxtkSurface* a = Surface(8, 8);
  gxtkSurface* b = Surface(8, 8);
  g->DrawSurface(a, 0, 0);
  g->DrawSurface2(a, 10, 0, 0, 0, 4, 4);
  EXPECT_EQ(g->counters.drawCalls, 0) << "same surface batches";
  g->DrawRect(0, 0, 5, 5);
  EXPECT_EQ(g->counters.drawCalls, 1) << "untextured after textured";
  g->DrawSurface(b, 0, 0);
  g->DrawSurface(a, 0, 0);
  EXPECT_EQ(g->counters.drawCalls, 3);
  g->DrawLine(0, 0, 1, 1);
  g->DrawLine(0, 0, 2, 2);
  g->DrawPoint(3, 3);
  EXPECT_EQ(Draws(), 6);
}

TEST_F(DriverTest, ClsDiscardsTheUndrawnBatch) {
  g->DrawRect(0, 0, 10, 10);
  g->DrawRect(0, 0, 10, 10);
  g->Cls(0, 0, 0);
  EXPECT_EQ(Draws(), 0);
  EXPECT_EQ(g->counters.flushes, 0);
}

// Consecutive polygons with the same vertex count share a batch and draw as
// one fan each, all fans in one call; 3- and 4-gons join the triangle and
// quad batches.
TEST_F(DriverTest, PolygonsBatchByVertexCount) {
  Array<float> pent(10), quad(8), tooMany(2050), none;
  for (int i = 0; i < 3; ++i) g->DrawPoly(pent);
  EXPECT_EQ(g->primType, 5);
  EXPECT_EQ(g->primCount, 15);
  g->DrawPoly(quad);
  EXPECT_EQ(g->counters.drawCalls, 1) << "three fans, one call";
  const int firsts[] = {0, 5, 10}, counts[] = {5, 5, 5};
  EXPECT_EQ(std::memcmp(g->fanFirsts, firsts, sizeof firsts), 0);
  EXPECT_EQ(std::memcmp(g->fanCounts, counts, sizeof counts), 0);
  g->DrawRect(0, 0, 1, 1);
  EXPECT_EQ(g->primCount, 8) << "a 4-gon is a quad";
  g->DrawPoly(tooMany);
  g->DrawPoly(none);
  EXPECT_EQ(Draws(), 2);
}

TEST_F(DriverTest, SameBlendOrScissorDoesNotFlush) {
  g->SetScissor(0, 0, 640, 480);  // as the module does after BeginRender
  g->DrawRect(0, 0, 1, 1);
  g->SetBlend(0);  // BeginRender left the normal blend in force
  g->SetScissor(0, 0, 640, 480);
  EXPECT_EQ(g->counters.flushes, 0);
  g->SetBlend(1);
  EXPECT_EQ(g->counters.flushes, 1);
  g->DrawRect(0, 0, 1, 1);
  g->SetBlend(7);  // anything but 1 is the normal blend
  EXPECT_EQ(g->counters.flushes, 2);
  g->DrawRect(0, 0, 1, 1);
  g->SetBlend(0);
  g->SetScissor(10, 10, 20, 20);
  EXPECT_EQ(g->counters.flushes, 3);
  g->DrawRect(0, 0, 1, 1);
  g->SetScissor(10, 10, 20, 20);
  EXPECT_EQ(g->counters.flushes, 3);
}

TEST_F(DriverTest, WithoutTheSkipRuleEveryStateCallFlushes) {
  g->skipUnchangedState = false;
  for (int i = 0; i < 5; ++i) {
    g->DrawRect(0, 0, 1, 1);
    g->SetBlend(0);
  }
  EXPECT_EQ(g->counters.flushes, 5);
}

// A new frame may run on a new context, so the state is sent again once.
TEST_F(DriverTest, BeginRenderForgetsTheScissorInForce) {
  g->SetScissor(1, 2, 3, 4);
  g->BeginRender();
  g->DrawRect(0, 0, 1, 1);
  g->SetScissor(1, 2, 3, 4);
  EXPECT_EQ(g->counters.flushes, 1);
}

TEST_F(DriverTest, ColourIsPackedPremultiplied) {
  g->SetColor(255, 128, 0);
  g->SetAlpha(0.5f);
  EXPECT_EQ(Byte(g->color, 0), 127);
  EXPECT_EQ(Byte(g->color, 1), 64);
  EXPECT_EQ(Byte(g->color, 2), 0);
  EXPECT_EQ(Byte(g->color, 3), 127);
  g->DrawRect(0, 0, 1, 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g->vertices[i].color, g->color);
}

// Out-of-range values clamp to 0..255 instead of spilling into the
// neighbouring channels of the packed colour.
TEST_F(DriverTest, OutOfRangeColourClampsPerChannel) {
  g->SetColor(300, -5, 10);
  g->SetAlpha(2);
  EXPECT_EQ(g->color, 0xff1400ffu);
}

TEST_F(DriverTest, RectCornersAreTransformedInOrder) {
  g->SetMatrix(0, 1, -1, 0, 100, 50);  // 90 degrees, then moved
  EXPECT_TRUE(g->tformed);
  g->DrawRect(10, 20, 4, 2);
  const float want[4][2] = {{80, 60}, {80, 64}, {78, 64}, {78, 60}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(g->vertices[i].x, want[i][0]) << i;
    EXPECT_FLOAT_EQ(g->vertices[i].y, want[i][1]) << i;
  }
  g->SetMatrix(1, 0, 0, 1, 0, 0);
  EXPECT_FALSE(g->tformed);
}

TEST_F(DriverTest, SurfaceTextureCoordinatesUseTheTextureScale) {
  gxtkSurface* s = Surface(100, 50);
  s->uscale = 1.0f / 128;  // as after a power-of-two retry
  s->vscale = 1.0f / 64;
  g->DrawSurface2(s, 5, 6, 10, 20, 30, 10);
  EXPECT_FLOAT_EQ(g->vertices[0].x, 5);
  EXPECT_FLOAT_EQ(g->vertices[2].x, 35);
  EXPECT_FLOAT_EQ(g->vertices[2].y, 16);
  EXPECT_FLOAT_EQ(g->vertices[0].u, 10.0f / 128);
  EXPECT_FLOAT_EQ(g->vertices[0].v, 20.0f / 64);
  EXPECT_FLOAT_EQ(g->vertices[2].u, 40.0f / 128);
  EXPECT_FLOAT_EQ(g->vertices[2].v, 30.0f / 64);
  g->DrawSurface(s, 0, 0);
  EXPECT_FLOAT_EQ(g->vertices[6].u, 100.0f / 128);
  EXPECT_FLOAT_EQ(g->vertices[6].v, 50.0f / 64);
}

TEST_F(DriverTest, OvalSegmentsFollowTheDrawnSize) {
  g->DrawOval(0, 0, 10, 10);
  EXPECT_EQ(g->primType, 12);
  g->DrawOval(0, 0, 100, 60);
  EXPECT_EQ(g->primType, 80);
  g->DrawOval(0, 0, 1e6f, 1e6f);
  EXPECT_EQ(g->primType, 1024);
  g->DrawOval(0, 0, 102, 60);  // 51 + 30 = 81, down to a multiple of 4
  EXPECT_EQ(g->primType, 80);
  g->SetMatrix(2, 0, 0, 2, 0, 0);
  g->DrawOval(0, 0, 100, 60);
  EXPECT_EQ(g->primType, 160);
  // Vertex 0 is the rightmost point, the next ones run counter-clockwise.
  EXPECT_FLOAT_EQ(g->vertices[0].x, 200);
  EXPECT_FLOAT_EQ(g->vertices[0].y, 60);
  EXPECT_LT(g->vertices[1].y, 60);
}

TEST_F(DriverTest, EndRenderSendsTheBatchAndSwaps) {
  g->DrawRect(0, 0, 1, 1);
  g->EndRender();
  EXPECT_EQ(g->counters.drawCalls, 1);
  EXPECT_EQ(host.swaps, 1);
}

TEST(SurfaceTest, SetDataPremultipliesTwoAndFourChannels) {
  gxtkSurface* s = new gxtkSurface();
  unsigned char* rgba = static_cast<unsigned char*>(std::malloc(8));
  const unsigned char in[8] = {200, 100, 50, 128, 255, 255, 255, 0};
  std::memcpy(rgba, in, 8);
  s->SetData(rgba, 2, 1, 4);
  const unsigned char want[8] = {100, 50, 25, 128, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(s->data, want, 8), 0);
  EXPECT_EQ(s->Width(), 2);

  unsigned char* la = static_cast<unsigned char*>(std::malloc(4));
  la[0] = 255, la[1] = 51, la[2] = 90, la[3] = 255;
  s->SetData(la, 2, 1, 2);
  EXPECT_EQ(la[0], 51);
  EXPECT_EQ(la[2], 90);
  EXPECT_EQ(s->depth, 2);
  s->Discard();
  EXPECT_EQ(s->data, nullptr);
}

TEST(SurfaceTest, SubDataStoresPremultipliedRowsAndIgnoresOutsideRectangles) {
  gxtkSurface* s = new gxtkSurface();
  s->SetData(static_cast<unsigned char*>(std::calloc(4 * 3, 4)), 4, 3, 4);
  // Two rows of two pixels, read with a pitch of 3.
  unsigned int src[6] = {0x80ff0000u, 0xff00ff00u, 0, 0xff0000ffu, 0x00ffffffu, 0};
  s->SetSubData(1, 1, 2, 2, src, 3);
  const unsigned char* row1 = s->data + 4 * 4;
  const unsigned char want1[8] = {128, 0, 0, 128, 0, 255, 0, 255};
  EXPECT_EQ(std::memcmp(row1 + 4, want1, 8), 0);
  const unsigned char* row2 = s->data + 8 * 4;
  const unsigned char want2[8] = {0, 0, 255, 255, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(row2 + 4, want2, 8), 0);
  EXPECT_EQ(s->data[0], 0) << "outside the rectangle untouched";
  // Rectangles reaching outside the surface would write past its pixels.
  s->SetSubData(3, 0, 2, 1, src, 2);
  s->SetSubData(0, -1, 1, 1, src, 1);
  EXPECT_EQ(s->data[3 * 4 + 3], 0);
}

}  // namespace
