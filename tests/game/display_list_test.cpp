// The display list: what each primitive and the text layout append, the list's
// limit, the number formatter, and what the render step replays.
#include <cmath>

#include "tests/game/game_fixture.h"

namespace {

using gametest::GameTest;
using DisplayList = GameTest;

TEST_F(DisplayList, ImageEntryCopiesTheDrawState) {
  app->p_CLS2D();
  app->p_SetCol(10, 20, 30, 0.25f);
  app->p_SetSize(2, 3);
  app->p_SetRot(45);
  app->m_DrawBlend = 3;
  app->p_DrawImg(7, 100, 200, 4);
  ASSERT_EQ(app->m_DrawCount, 15);
  EXPECT_EQ(entry(0, 0), 7);
  EXPECT_EQ(entry(0, 1), 100);
  EXPECT_EQ(entry(0, 2), 200);
  EXPECT_EQ(entry(0, 3), -45);
  EXPECT_EQ(entry(0, 4), 2);
  EXPECT_EQ(entry(0, 5), 3);
  EXPECT_EQ(entry(0, 6), 4);
  EXPECT_EQ(entry(0, 7), 0.25f);
  EXPECT_EQ(entry(0, 10), 10);
  EXPECT_EQ(entry(0, 11), 20);
  EXPECT_EQ(entry(0, 12), 30);
  EXPECT_EQ(entry(0, 13), 3);
  // Later changes leave the appended entry alone.
  app->p_SetCol(1, 1, 1, 1);
  EXPECT_EQ(entry(0, 10), 10);
}

TEST_F(DisplayList, ShapesCarryTheirKindAndGeometry) {
  app->p_CLS2D();
  for (int i = 0; i < 45; ++i) app->m_DrawList[i] = 777;
  app->p_Rect(1, 2, 3, 4);
  app->p_Oval(5, 6, 7, 8);
  app->p_Line(9, 10, 11, 12);
  ASSERT_EQ(entries(), 3);
  const float kinds[] = {-3717, -3716, -3715};
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(entry(n, 0), kinds[n]);
    EXPECT_EQ(entry(n, 1), 1 + 4 * n);
    EXPECT_EQ(entry(n, 2), 2 + 4 * n);
    EXPECT_EQ(entry(n, 4), 3 + 4 * n);
    EXPECT_EQ(entry(n, 5), 4 + 4 * n);
    EXPECT_EQ(entry(n, 6), 0);
    EXPECT_EQ(entry(n, 13), 1);  // the reset blend code
    // The reserved slots are never written.
    EXPECT_EQ(entry(n, 8), 777);
    EXPECT_EQ(entry(n, 9), 777);
    EXPECT_EQ(entry(n, 14), 777);
  }
}

TEST_F(DisplayList, ConstructorLeavesBlendZeroUntilTheFirstReset) {
  EXPECT_EQ(app->m_DrawCount, 0);
  EXPECT_EQ(app->m_DrawList.Length(), 37500);
  app->p_Rect(0, 0, 1, 1);
  EXPECT_EQ(entry(0, 13), 0);
  EXPECT_EQ(entry(0, 4), 1);
  app->p_ResetDraw();
  EXPECT_EQ(app->m_DrawCount, 15);  // the list is untouched
  app->p_Rect(0, 0, 1, 1);
  EXPECT_EQ(entry(1, 13), 1);
  EXPECT_EQ(entry(1, 7), 1);
}

TEST_F(DisplayList, AppendsStopAtTheLastFullEntry) {
  app->p_CLS2D();
  app->m_DrawCount = 37470;
  app->p_Rect(0, 0, 1, 1);
  EXPECT_EQ(app->m_DrawCount, 37485);
  app->p_Rect(0, 0, 1, 1);
  app->p_DrawImg(1, 0, 0, 0);
  EXPECT_EQ(app->m_DrawCount, 37485);
  // Filling from empty stops at 2499 entries.
  app->p_CLS2D();
  for (int i = 0; i < 3000; ++i) app->p_Oval(float(i), 0, 1, 1);
  EXPECT_EQ(entries(), 2499);
  EXPECT_EQ(entry(2498, 1), 2498);
  // CLS2D empties the list and drawing resumes.
  app->p_CLS2D();
  EXPECT_EQ(app->m_DrawCount, 0);
  app->p_Line(1, 2, 3, 4);
  EXPECT_EQ(app->m_DrawCount, 15);
}

TEST_F(DisplayList, SettersAndOmittedArguments) {
  app->p_CLS2D(1, 2, 3, 0.5f);
  app->p_SetCol(255, 0, 0);
  EXPECT_EQ(app->m_DrawAlpha, 1.0f);
  app->p_SetCol(255, 0, 0, 0.5f);
  EXPECT_EQ(app->m_DrawAlpha, 0.5f);
  app->p_Alpha(0.2f);
  EXPECT_EQ(app->m_DrawAlpha, 0.2f);
  app->p_SetSize(2);
  EXPECT_EQ(app->m_DrawScaleX, 2.0f);
  EXPECT_EQ(app->m_DrawScaleY, 2.0f);
  app->p_SetSize(2, -3716.5f);  // just above the marker: passed
  EXPECT_EQ(app->m_DrawScaleY, -3716.5f);
  app->p_SetSize(3, -5000);  // below the marker: omitted
  EXPECT_EQ(app->m_DrawScaleY, 3.0f);
  app->p_SetRot(30);
  EXPECT_EQ(app->m_DrawRot, -30.0f);

  // No arguments: the background stays, the list and state are reset.
  app->p_Rect(0, 0, 1, 1);
  app->p_CLS2D();
  EXPECT_EQ(app->m_ClsR, 1);
  EXPECT_EQ(app->m_ClsG, 2);
  EXPECT_EQ(app->m_ClsB, 3);
  EXPECT_EQ(app->m_ClsAlpha, 0.5f);
  EXPECT_EQ(app->m_DrawCount, 0);
  EXPECT_EQ(app->m_DrawScaleX, 1.0f);
  EXPECT_EQ(app->m_DrawRot, 0.0f);
  EXPECT_EQ(app->m_DrawR, 255.0f);
  EXPECT_EQ(app->m_DrawAlpha, 1.0f);
  EXPECT_EQ(app->m_DrawBlend, 1);
  // A passed red sets all four, whatever the others are.
  app->p_CLS2D(9);
  EXPECT_EQ(app->m_ClsR, 9);
  EXPECT_EQ(app->m_ClsG, -3717);
  EXPECT_EQ(app->m_ClsAlpha, -3717);
}

TEST_F(DisplayList, TextAdvancesOverSpacesAndSkipsNothingElse) {
  useFont();
  app->p_CLS2D();
  app->p_Text(100, 50, String(""), 0, 0);
  EXPECT_EQ(app->m_DrawCount, 0);

  app->p_Text(100, 50, String("A B"), 0, 1);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(entry(0, 0), 90);
  EXPECT_EQ(entry(0, 6), 33);  // 'A' - 32
  EXPECT_FLOAT_EQ(entry(0, 1), 100);
  EXPECT_FLOAT_EQ(entry(0, 2), 50);
  EXPECT_EQ(entry(1, 6), 34);
  EXPECT_NEAR(entry(1, 1), 114, 1e-4);
  EXPECT_NEAR(entry(1, 2), 50, 1e-4);
}

TEST_F(DisplayList, TextControlCodesAndHighCodes) {
  useFont();
  app->p_CLS2D();
  const Char withNul[] = {'A', 0, 'B'};
  app->p_Text(0, 0, String(withNul, 3), 0, 1);
  ASSERT_EQ(entries(), 2);
  EXPECT_NEAR(entry(1, 1), 7, 1e-4);  // code 0: no advance

  app->p_CLS2D();
  const Char high[] = {'A', 160, 31, 'B', 159, 0x263A};
  app->p_Text(0, 0, String(high, 6), 0, 1);
  ASSERT_EQ(entries(), 3);
  EXPECT_NEAR(entry(1, 1), 21, 1e-4);  // 160 and 31 advance without drawing
  EXPECT_EQ(entry(2, 6), 127);         // code 159 is the last glyph
}

TEST_F(DisplayList, TextBackslashes) {
  useFont();
  app->p_CLS2D();
  app->p_Text(10, 20, String("x\\ny"), 0, 1);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(entry(1, 6), 'y' - 32);
  EXPECT_NEAR(entry(1, 1), 10, 1e-4);  // the row start
  EXPECT_NEAR(entry(1, 2), 30, 1e-4);  // one line height lower

  app->p_CLS2D();
  app->p_Text(10, 20, String("a\\"), 0, 1);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(entry(1, 6), 60);
  app->p_CLS2D();
  app->p_Text(10, 20, String("\\q"), 0, 1);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(entry(0, 6), 60);
  EXPECT_EQ(entry(1, 6), 'q' - 32);
}

TEST_F(DisplayList, TextAlignmentUsesTheWholeStringLength) {
  useFont();
  app->p_CLS2D();
  // alignX 1 centres the handles: 3 glyphs span 2 advances of 7.
  app->p_Text(100, 50, String("abc"), 1, 1);
  EXPECT_NEAR(entry(0, 1), 93, 1e-4);
  EXPECT_NEAR(entry(2, 1), 107, 1e-4);
  // alignX 2 puts the last handle at x; alignY 0 is half a line lower, 2 higher.
  app->p_CLS2D();
  app->p_Text(100, 50, String("abc"), 2, 0);
  EXPECT_NEAR(entry(2, 1), 100, 1e-4);
  EXPECT_NEAR(entry(0, 2), 55, 1e-4);
  app->p_CLS2D();
  app->p_Text(100, 50, String("ab"), 0, 2);
  EXPECT_NEAR(entry(0, 2), 45, 1e-4);
  // Every row starts at the same point, offset by the escaped length.
  app->p_CLS2D();
  app->p_Text(100, 50, String("ab\\ncd"), 2, 1);
  ASSERT_EQ(entries(), 4);
  EXPECT_NEAR(entry(0, 1), 65, 1e-4);  // 100 - 7 * 5
  EXPECT_NEAR(entry(2, 1), 65, 1e-4);
  EXPECT_NEAR(entry(2, 2), 60, 1e-4);
}

TEST_F(DisplayList, TextFollowsRotationAndScale) {
  useFont();
  app->p_CLS2D();
  app->p_SetSize(2);
  app->p_SetRot(90);
  app->p_Text(100, 50, String("ab\\nc"), 0, 1);
  ASSERT_EQ(entries(), 3);
  EXPECT_EQ(entry(0, 3), -90);
  EXPECT_EQ(entry(0, 4), 2);
  // Turned a quarter: glyphs run down the screen 14 apart, lines step left 20.
  EXPECT_NEAR(entry(1, 1), 100, 1e-3);
  EXPECT_NEAR(entry(1, 2), 64, 1e-3);
  EXPECT_NEAR(entry(2, 1), 80, 1e-3);
  EXPECT_NEAR(entry(2, 2), 50, 1e-3);
}

TEST_F(DisplayList, TextStopsAppendingWhenFullButKeepsLayingOut) {
  useFont();
  app->p_CLS2D();
  app->m_DrawCount = 37470;
  app->p_Text(0, 0, String("abc"), 0, 1);
  EXPECT_EQ(app->m_DrawCount, 37485);
  EXPECT_EQ(app->m_DrawList[37470 + 6], 'a' - 32);
}

TEST_F(DisplayList, RstrPadsAndCuts) {
  EXPECT_EQ(app->p_rstr(42, 5, String("0")), String("00042"));
  EXPECT_EQ(app->p_rstr(123456, 3, String(" ")), String("456"));
  EXPECT_EQ(app->p_rstr(-7, 4, String(" ")), String("  -7"));
  EXPECT_EQ(app->p_rstr(0, 11, String(" ")), String("          0"));
  EXPECT_EQ(app->p_rstr(5, 1, String("ab")), String("5"));
}

// The scale and visible size that one render leaves for a window size.
struct Fitting {
  int w, h;
  float scale, visW, visH;
  int mode, landscape;
};

TEST_F(DisplayList, RenderFitsTheDesignByTheLargerRatio) {
  const Fitting cases[] = {
      {640, 480, 1.0f, 640, 480, 1, 1},
      {1280, 480, 2.0f, 640, 240, 1, 1},
      {480, 640, 640.0f / 480.0f, 360, 480, 2, 0},
      {1280, 960, 2.0f, 640, 480, 1, 1},
  };
  for (const Fitting& c : cases) {
    host.width = c.w;
    host.height = c.h;
    render();
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_FLOAT_EQ(app->m_ScaleX, c.scale);
    EXPECT_FLOAT_EQ(app->m_ScaleY, c.scale);
    EXPECT_NEAR(vo_Game_jscrw, c.visW, 1e-3);
    EXPECT_NEAR(vo_Game_jscrh, c.visH, 1e-3);
    EXPECT_EQ(app->m_ScaleMode, c.mode);
    EXPECT_EQ(app->m_Landscape, c.landscape);
    EXPECT_EQ(app->m_DevWidth, c.w);
    EXPECT_EQ(app->m_DevHeight, c.h);
  }
}

TEST_F(DisplayList, RenderLaysTheBackgroundThenReplaysInOrder) {
  host.width = 1280;
  host.height = 480;
  app->p_CLS2D(10, 20, 30, 0.5f);
  app->p_SetCol(1, 2, 3, 0.75f);
  app->p_Rect(10, 20, 30, 40);
  app->m_DrawBlend = 3;
  app->p_Oval(50, 60, 5, 6);
  app->m_DrawBlend = 2;
  app->p_Line(1, 2, 3, 4);
  render();

  std::vector<std::string> ops;
  for (const auto& c : gfx->calls)
    if (c.op != "SetMatrix" && c.op != "SetBlend") ops.push_back(c.op);
  const std::vector<std::string> expected = {// vo_graphics_BeginRender's own reset, then the background.
                                             "SetColor", "SetAlpha", "SetColor", "SetAlpha", "DrawRect", "SetColor",
                                             "SetAlpha", "SetAlpha", "SetColor", "DrawRect", "SetAlpha", "SetColor",
                                             "DrawOval", "SetAlpha", "SetColor", "DrawLine"};
  EXPECT_EQ(ops, expected);
  auto rects = gfx->only("DrawRect");
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].args, (std::vector<float>{-1, -1, 1282, 482}));
  EXPECT_EQ(rects[1].args, (std::vector<float>{20, 40, 60, 80}));
  // An oval entry holds centre and radii; the driver gets its box.
  EXPECT_EQ(gfx->only("DrawOval")[0].args, (std::vector<float>{90, 108, 20, 24}));
  EXPECT_EQ(gfx->only("DrawLine")[0].args, (std::vector<float>{2, 4, 6, 8}));
  auto colors = gfx->only("SetColor");
  EXPECT_EQ(colors[1].args, (std::vector<float>{10, 20, 30}));
  EXPECT_EQ(colors[3].args, (std::vector<float>{1, 2, 3}));
  auto alphas = gfx->only("SetAlpha");
  EXPECT_EQ(alphas[1].args[0], 0.5f);
  EXPECT_EQ(alphas[3].args[0], 0.75f);
  // Blend: 0 for every entry, additive only for code 3.
  std::vector<float> blends;
  for (const auto& c : gfx->only("SetBlend")) blends.push_back(c.args[0]);
  EXPECT_EQ(blends, (std::vector<float>{0, 0, 0, 1, 0}));
}

TEST_F(DisplayList, RenderDrawsImagesScaledAndSkipsEmptySlots) {
  host.width = 1280;
  host.height = 960;
  c_Image* img = (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(64, 32), 2, 1);
  gc_assign(app->m_Images[5], img);
  app->m_ImgScale = 0.5f;
  app->p_CLS2D();
  app->p_SetSize(3, 4);
  app->p_DrawImg(5, 100, 50, 1);
  app->p_DrawImg(6, 100, 50, 0);    // empty slot
  app->p_DrawImg(150, 100, 50, 0);  // beyond the slot table
  app->p_Rect(0, 0, 1, 1);
  app->m_DrawList[app->m_DrawCount - 15] = -2;  // neither a shape nor an image
  render();
  auto surfaces = gfx->only("DrawSurface2");
  ASSERT_EQ(surfaces.size(), 1u);
  EXPECT_EQ(surfaces[0].args[2], 32);  // frame 1 of two 32 x 32 frames
  // The image's handle lands on (200, 100), scaled by 2 * 3 * 0.5 and 2 * 4 * 0.5.
  auto matrices = gfx->only("SetMatrix");
  ASSERT_GE(matrices.size(), 1u);
  const std::vector<float>& m = matrices.back().args;
  EXPECT_FLOAT_EQ(m[0], 3);
  EXPECT_FLOAT_EQ(m[3], 4);
  EXPECT_FLOAT_EQ(m[4], 200 - 16 * 3);
  EXPECT_FLOAT_EQ(m[5], 100 - 16 * 4);
  EXPECT_EQ(gfx->only("DrawRect").size(), 1u);  // only the background
}

TEST_F(DisplayList, RenderTwiceDrawsTheSameFrameTwice) {
  app->p_CLS2D(0, 0, 80, 0.5f);
  app->p_Rect(1, 1, 2, 2);
  render();
  auto first = gfx->calls;
  render();
  ASSERT_EQ(gfx->calls.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(gfx->calls[i].op, first[i].op);
    EXPECT_EQ(gfx->calls[i].args, first[i].args);
  }
  EXPECT_EQ(app->m_DrawCount, 15);
}

TEST_F(DisplayList, MinimisedWindowKeepsTheFittingAndDrawsOnlyTheBackground) {
  host.width = 1280;
  host.height = 480;
  render();
  app->m_LoadStep = 0;
  app->p_CLS2D(5, 5, 5, 1);
  app->p_Rect(1, 1, 2, 2);
  host.width = 0;
  host.height = 0;
  render();
  EXPECT_EQ(app->m_ScaleX, 2.0f);
  EXPECT_EQ(vo_Game_jscrw, 640.0f);
  EXPECT_EQ(vo_Game_jscrh, 240.0f);
  auto rects = gfx->only("DrawRect");
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].args, (std::vector<float>{-1, -1, 2, 2}));
  // The size change is still seen, so the loader runs again.
  EXPECT_EQ(app->m_LoadStep, 1);
  EXPECT_EQ(app->m_DevWidth, 0);
}

TEST_F(DisplayList, DeviceSizeChangeRestartsTheLoaderOnce) {
  render();
  app->m_LoadStep = 0;
  render();
  EXPECT_EQ(app->m_LoadStep, 0);
  host.width = 800;
  render();
  EXPECT_EQ(app->m_LoadStep, 1);
}

TEST_F(DisplayList, FrameTiming) {
  host.Advance(1.0);
  render();
  EXPECT_EQ(app->m_Fps, 1);
  EXPECT_EQ(app->m_FpsAvg, 0);
  EXPECT_EQ(app->m_LastRenderMs, 1000);
  host.Advance(0.015625);  // 15.6 ms: 15 whole milliseconds
  render();
  EXPECT_EQ(app->m_Fps, 66);
  EXPECT_EQ(app->m_FpsAvg, 6);
  render();  // no time passed: the rate is kept, the average still moves
  EXPECT_EQ(app->m_Fps, 66);
  EXPECT_EQ(app->m_FpsAvg, 12);
}

TEST_F(DisplayList, PendingGrabRunsInsideTheRenderAndIsCleared) {
  c_Image* img = (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(64, 64), 1, 0);
  gc_assign(app->m_Images[3], img);
  gfx->readColor = static_cast<int>(0xFFFFFFFFu);
  app->m_PixelBuf[3] = 99;
  app->m_GrabImage = 3;
  app->m_GrabFrame = 1;
  render();
  EXPECT_EQ(app->m_GrabFrame, 0);
  EXPECT_EQ(app->m_GrabImage, 0);
  EXPECT_EQ(app->m_PixelBuf[0], 32);
  EXPECT_EQ(app->m_PixelBuf[1], 32);
  EXPECT_EQ(app->m_PixelBuf[2], 32);
  EXPECT_EQ(app->m_PixelBuf[3], 99);
  EXPECT_EQ(gfx->only("Cls").size(), 2u);
  EXPECT_EQ(gfx->only("ReadPixels").size(), 1u);
}

}  // namespace
