// The game's drawing, controls and sound effects on the headless game: what
// the display list holds and what a render replays, how keys, sticks, touches
// and the iCade letters become controls, and how effects are loaded and played.
#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace {

using gametest::Floats;
using gametest::GameTest;
using Draw = GameTest;
using Controls = GameTest;
using Effects = GameTest;

c_Image* blankImage(int w, int h, int frames, int midHandle = 0) {
  return (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(w, h), frames, midHandle);
}

TEST_F(Draw, TextLayout) {
  app->p_LoadFont(90, String("fonts/tessel"), 7, 10);
  const struct {
    const char* text;
    int alignX, alignY;
    float rot, size;
    Floats frameXY;  // frame, x, y of each glyph entry
  } cases[] = {
      {"A B", 0, 1, 0, 1, {33, 100, 50, 34, 114, 50}},
      {"x\\ny\\nz", 0, 1, 0, 1, {88, 100, 50, 89, 100, 60, 90, 100, 70}},
      {"a\\", 0, 1, 0, 1, {65, 100, 50, 60, 107, 50}},
      {"abc", 1, 1, 0, 1, {65, 93, 50, 66, 100, 50, 67, 107, 50}},
      {"ab", 2, 0, 0, 1, {65, 93, 55, 66, 100, 55}},
      {"ab", 0, 2, 0, 1, {65, 100, 45, 66, 107, 45}},
      {"ab\\ncd", 2, 1, 0, 1, {65, 65, 50, 66, 72, 50, 67, 65, 60, 68, 72, 60}},
      {"ab\\nc", 0, 1, 90, 2, {65, 100, 50, 66, 100, 64, 67, 80, 50}},
  };
  for (const auto& c : cases) {
    app->p_CLS2D();
    app->p_SetSize(c.size);
    app->p_SetRot(c.rot);
    app->p_Text(100, 50, String(c.text), c.alignX, c.alignY);
    Floats got;
    for (int n = 0; n < entries(); ++n) got.insert(got.end(), {entry(n, 6), entry(n, 1), entry(n, 2)});
    for (float& v : got) v = std::round(v * 1000) / 1000;
    EXPECT_EQ(got, c.frameXY) << c.text;
  }
  // Code 0 draws nothing and does not advance; 160 and 31 advance undrawn; 159 is the last glyph.
  app->p_CLS2D();
  const Char odd[] = {'A', 0, 160, 31, 'B', 159, 0x263A};
  app->p_Text(0, 0, String(odd, 7), 0, 1);
  ASSERT_EQ(entries(), 3);
  EXPECT_NEAR(entry(1, 1), 21, 1e-4);
  EXPECT_EQ(entry(2, 6), 127);
  EXPECT_EQ(app->p_rstr(42, 5, String("0")), String("00042"));
  EXPECT_EQ(app->p_rstr(123456, 3, String(" ")), String("456"));
}

// Each entry holds the draw state of its moment. A render fits the design to
// the window by the larger ratio, times the frame and replays the list in
// order, scaled; the list stays for the next render. The list leaves its last
// entry free.
TEST_F(Draw, RenderFitsTheDesignAndReplaysTheListInOrderScaled) {
  host.width = 480;
  host.height = 640;
  host.Advance(1.0);
  render();
  EXPECT_EQ(Floats({app->m_ScaleX, vo_Game_jscrw, vo_Game_jscrh, float(app->m_Landscape)}),
            Floats({640.0f / 480, 360, 480, 0}));
  host.width = 1280;
  host.height = 480;
  gc_assign(app->m_Images[5], blankImage(64, 32, 2, 1));
  app->m_ImgScale = 0.5f;
  app->p_CLS2D(10, 20, 30, 0.5f);
  app->p_SetCol(1, 2, 3, 0.75f);
  app->p_Rect(10, 20, 30, 40);
  app->m_DrawBlend = 3;
  app->p_Oval(50, 60, 5, 6);
  app->m_DrawBlend = 2;
  app->p_SetRot(45);
  app->p_SetCol(4, 5, 6);  // an omitted alpha keeps the current one
  app->p_Line(1, 2, 3, 4);
  app->p_SetRot(0);
  app->p_SetSize(3, 4);
  app->p_DrawImg(5, 100, 50, 1);
  app->p_DrawImg(6, 100, 50, 0);    // empty slot
  app->p_DrawImg(150, 100, 50, 0);  // beyond the slot table
  host.Advance(0.015625);           // 15.6 ms: 15 whole milliseconds
  EXPECT_EQ(Floats(&app->m_DrawList[30], &app->m_DrawList[44]),
            Floats({DrawKindLine, 1, 2, -45, 3, 4, 0, 0.75f, 0, 0, 4, 5, 6, 2}));
  render();
  EXPECT_EQ(Floats({app->m_ScaleX, vo_Game_jscrw, vo_Game_jscrh, float(app->m_Landscape)}), Floats({2, 640, 240, 1}));
  EXPECT_EQ(std::vector<int>({app->m_Fps, app->m_FpsAvg}), std::vector<int>({66, 6}));
  auto rects = gfx->only("DrawRect");
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].args, Floats({-1, -1, 1282, 482}));
  EXPECT_EQ(rects[1].args, Floats({20, 40, 60, 80}));
  EXPECT_EQ(gfx->only("DrawOval")[0].args, Floats({90, 108, 20, 24}));
  EXPECT_EQ(gfx->only("DrawLine")[0].args, Floats({2, 4, 6, 8}));
  EXPECT_EQ(gfx->only("SetColor")[1].args, Floats({10, 20, 30}));
  EXPECT_EQ(gfx->only("SetAlpha")[1].args[0], 0.5f);
  Floats blends;
  for (const auto& c : gfx->only("SetBlend")) blends.push_back(c.args[0]);
  EXPECT_EQ(blends, Floats({0, 0, 0, 1, 0, 0, 0, 0})) << "0 for every entry, additive only for code 3";
  auto images = gfx->only("DrawSurface2");
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].args[2], 32);  // frame 1 of two 32 x 32 frames
  // The handle lands on (200, 100), scaled by 2 * 3 * 0.5 and 2 * 4 * 0.5.
  EXPECT_EQ(gfx->only("SetMatrix").back().args, Floats({3, 0, 0, 4, 200 - 16 * 3, 100 - 16 * 4}));
  // A minimised window keeps the fitting and draws only the background.
  host.width = 0;
  render();
  EXPECT_EQ(app->m_ScaleX, 2);
  EXPECT_EQ(gfx->only("DrawRect").size(), 1u);
  for (int i = 0; i < 3000; ++i) app->p_Oval(float(i), 0, 1, 1);
  EXPECT_EQ(entries(), 2499);
  EXPECT_EQ(entry(2498, 1), 2492);
}

// The controls that read as held.
std::vector<int> held(c_MyApp* app) {
  std::vector<int> out;
  for (int c : {0, 3, 5, 8, 10, 11, 12, 13, 14, 15, 99})
    if (app->p_PlayKey(c, 0)) out.push_back(c);
  return out;
}

void joystick(GameTest& t, float lx, float ly, std::vector<int> pressed, float rx = 0) {
  VoJoystickState s;
  s.axisCount = 6;
  const float axes[6] = {lx, -ly, 0, rx, 0, 0};  // the window system's y runs down
  std::copy(axes, axes + 6, s.axes);
  s.buttonCount = 32;
  for (int b : pressed) s.buttons[b] = true;
  t.host.SetJoystick(0, &s);
  t.input->p_BeginUpdate();
}

// A grab requested for the next render reads the 64 x 64 pixels back into
// the pixel buffer, each channel reduced to 0..32 with rounding, leaves every
// fourth element alone and ends the request.
TEST_F(Draw, RenderReadsARequestedGrabIntoThePixelBuffer) {
  const int last = 63 * 64 + 63;
  app->m_PixelBuf[4 * last + 3] = 7;
  gfx->readColor = static_cast<int>(0xFFFF8003u);
  app->m_GrabImage = 5;  // an empty slot: the bare square is read back
  app->m_GrabFrame = 1;
  render();
  EXPECT_EQ(std::vector<int>(&app->m_PixelBuf[4 * last], &app->m_PixelBuf[4 * last] + 4),
            (std::vector<int>{32, 16, 0, 7}));
  EXPECT_EQ(std::vector<int>(&app->m_PixelBuf[0], &app->m_PixelBuf[0] + 3), (std::vector<int>{32, 16, 0}));
  EXPECT_EQ(app->m_GrabFrame, 0);
  EXPECT_EQ(gfx->only("ReadPixels").size(), 1u);
}

TEST_F(Controls, KeysButtonsSticksICadeLettersAndTouches) {
  // Anchors: arrows and WASD steer, Z, space and Enter fire, Escape is back.
  const std::pair<int, int> keys[] = {{38, 0},  {87, 0},  {37, 3},  {68, 5}, {40, 8},
                                      {90, 10}, {32, 10}, {13, 10}, {27, 99}};
  for (auto [code, control] : keys) {
    key(code, true);
    EXPECT_EQ(held(app), std::vector<int>{control}) << "key " << code;
    key(code, false);
  }
  // In iCade mode the letters stop steering and the letter pairs press and release.
  vo_Game_iCadeControls = 1;
  key(87, true);
  EXPECT_TRUE(held(app).empty());
  key(87, false);
  const struct {
    char press, release;
    int control;
  } pairs[] = {{'w', 'e', 0}, {'X', 'Z', 8}, {'h', 'r', 10}, {'o', 'g', 99}};
  for (const auto& p : pairs) {
    input->p_KeyEvent(VoGameEvent::KeyChar, p.press);
    app->p_UpdateControls();
    app->p_UpdateControls();  // held letters survive the decay
    EXPECT_EQ(held(app), std::vector<int>{p.control}) << p.press;
    input->p_KeyEvent(VoGameEvent::KeyChar, p.release);
    app->p_UpdateControls();
    EXPECT_TRUE(held(app).empty()) << p.release;
  }
  app->p_iCade(0);
  EXPECT_FALSE(host.KeyboardEnabled());
  // Stick thresholds are strict; stick 1 does not steer; button 0 fires, 6 is back.
  const std::tuple<float, float, std::vector<int>> sticks[] = {{0.4f, 0, {}},   {0.41f, 0, {5}}, {-0.41f, 0, {3}},
                                                               {0, 0.41f, {0}}, {0, -0.4f, {}},  {0, -0.41f, {8}}};
  for (const auto& [x, y, want] : sticks) {
    joystick(*this, x, y, {});
    EXPECT_EQ(held(app), want) << x << " " << y;
  }
  joystick(*this, 0, 0, {0, 6}, 1);
  EXPECT_EQ(held(app), (std::vector<int>{10, 99}));
  EXPECT_FALSE(app->p_PlayKey(10, 1)) << "unit 1 is not plugged in";

  // Touches in whole design units, truncated; only the first ten are sampled.
  app->m_ScaleX = app->m_ScaleY = 2;
  input->p_TouchEvent(VoGameEvent::TouchDown, 9, 41, 99);
  input->p_TouchEvent(VoGameEvent::TouchDown, 10, 40, 60);
  app->p_SampleTouch();
  EXPECT_EQ(std::vector<int>({app->m_TouchX[9], app->m_TouchY[9], app->m_Touching}), std::vector<int>({20, 49, 1}));
  input->p_TouchEvent(VoGameEvent::TouchUp, 9, 0, 0);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_Touching, 0) << "touch 10 is beyond the sampled ten";

  // A 64-unit button at every image resolution: 31 units off is inside, 32 is not.
  app->m_ScaleX = app->m_ScaleY = 1;
  for (int res : {1, 2, 4}) {
    app->m_ImgRes = res;
    app->m_ImgScale = 1.0f / float(res);
    app->m_ImgInfo[95 * 3] = app->m_ImgInfo[95 * 3 + 1] = 64 * res;
    for (auto [dx, dy, hit] : {std::tuple{31, -31, 1}, std::tuple{32, 0, 0}}) {
      input->p_TouchEvent(VoGameEvent::TouchUp, 3, 0, 0);
      input->p_TouchEvent(VoGameEvent::TouchDown, 3, 100.0f + dx, 200.0f + dy);
      app->p_SampleTouch();
      app->p_ResetDraw();
      EXPECT_EQ(app->p_Button(95, 100, 200, 3), hit) << res << " " << dx;
    }
  }
}

TEST_F(Effects, RotateOverTwentyFourChannelsInSoundModesOneAndTwo) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = 32 - i;
  app->p_LoadSFX(98);
  app->m_Settings[5] = 1;
  app->p_PlaySFX(98, 1.5f, 0.5f, -1);
  app->p_PlaySFX(40, 1, 1, 0);  // no sound loaded: the channel is only stopped and set
  EXPECT_EQ(audio->Lines(), (std::vector<std::string>{"stop 31", "play 31 0", "rate 31 1.5", "volume 31 0.5",
                                                      "pan 31 -1", "stop 30", "rate 30 1", "volume 30 1", "pan 30 0"}));
  std::vector<int> stopped, want;
  app->m_Settings[5] = 2;
  for (int i = 0; i < 23; ++i) {
    audio->calls.clear();
    app->p_PlaySFX(98, 1, 1, 0);
    stopped.push_back(32 - audio->calls[0].channel);
    want.push_back((i + 3) % 24);
  }
  EXPECT_EQ(stopped, want);
  for (int mode : {0, 3}) {
    app->m_Settings[5] = mode;
    audio->calls.clear();
    app->p_PlaySFX(98, 1, 1, 0);
    EXPECT_TRUE(audio->calls.empty()) << mode;
  }
}

}  // namespace
