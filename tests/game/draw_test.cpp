// The game's drawing, controls and assets on the headless game: what the
// display list holds and what a render replays, how keys, sticks, touches and
// the on-screen pad become controls, and how pictures and effects are loaded.
#include <cmath>

#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace {

using gametest::GameTest;
using Draw = GameTest;
using Controls = GameTest;
using Assets = GameTest;
using Floats = std::vector<float>;

c_Image* blankImage(int w, int h, int frames, int midHandle = 0) {
  return (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(w, h), frames, midHandle);
}

// Each entry takes the draw state of its moment; the render test shows how
// the state is used.
TEST_F(Draw, EntriesCopyTheDrawStateAndStopAtTheLastFullEntry) {
  app->p_Rect(0, 0, 1, 1);
  EXPECT_EQ(entry(0, 13), 0) << "blend stays 0 until the first reset";
  app->p_CLS2D();
  app->p_SetCol(10, 20, 30, 0.25f);
  app->p_SetSize(2, 3);
  app->p_SetRot(45);
  app->m_DrawBlend = 3;
  app->p_DrawImg(7, 100, 200, 4);
  app->p_SetCol(1, 1, 1);  // an omitted alpha keeps the current one
  app->p_Line(9, 10, 11, 12);
  ASSERT_EQ(entries(), 2);
  EXPECT_EQ(Floats(&app->m_DrawList[0], &app->m_DrawList[14]),
            Floats({7, 100, 200, -45, 2, 3, 4, 0.25f, 0, 0, 10, 20, 30, 3}));
  EXPECT_EQ(Floats(&app->m_DrawList[15], &app->m_DrawList[29]),
            Floats({DrawKindLine, 9, 10, -45, 11, 12, 0, 0.25f, 0, 0, 1, 1, 1, 3}));
  app->p_SetSize(3, -5000);  // below the omitted marker: y takes x
  EXPECT_EQ(app->m_DrawScaleY, 3.0f);
  app->p_CLS2D(9);  // a passed red sets all four background values
  EXPECT_EQ(app->m_ClsG, -3717);
  EXPECT_EQ(app->m_DrawBlend, 1);
  for (int i = 0; i < 3000; ++i) app->p_Oval(float(i), 0, 1, 1);
  EXPECT_EQ(entries(), 2499);
  EXPECT_EQ(entry(2498, 1), 2498);
}

TEST_F(Draw, TextLayout) {
  useFont();
  const struct {
    const char* text;
    int alignX, alignY;
    float rot, size;
    Floats frameXY;  // frame, x, y of each glyph entry
  } cases[] = {
      {"A B", 0, 1, 0, 1, {33, 100, 50, 34, 114, 50}},
      {"x\\ny", 0, 1, 0, 1, {88, 100, 50, 89, 100, 60}},
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
  EXPECT_EQ(app->p_rstr(-7, 4, String(" ")), String("  -7"));
}

TEST_F(Draw, RenderFitsTheDesignByTheLargerRatio) {
  const struct {
    int w, h;
    float scale, visW, visH;
    int landscape;
  } cases[] = {{640, 480, 1, 640, 480, 1}, {1280, 480, 2, 640, 240, 1}, {480, 640, 640.0f / 480, 360, 480, 0}};
  for (const auto& c : cases) {
    host.width = c.w, host.height = c.h;
    render();
    EXPECT_EQ(Floats({app->m_ScaleX, vo_Game_jscrw, vo_Game_jscrh, float(app->m_Landscape)}),
              Floats({c.scale, c.visW, c.visH, float(c.landscape)}))
        << c.w;
  }
  // A minimised window keeps the fitting, draws only the background, and its
  // size change restarts the loader.
  app->m_LoadStep = 0;
  app->p_CLS2D(5, 5, 5, 1);
  app->p_Rect(1, 1, 2, 2);
  host.width = host.height = 0;
  render();
  EXPECT_FLOAT_EQ(app->m_ScaleX, 640.0f / 480);
  ASSERT_EQ(gfx->only("DrawRect").size(), 1u);
  EXPECT_EQ(gfx->only("DrawRect")[0].args, Floats({-1, -1, 2, 2}));
  EXPECT_EQ(app->m_LoadStep, 1);
}

TEST_F(Draw, RenderReplaysTheListInOrderScaled) {
  host.width = 1280, host.height = 480;
  gc_assign(app->m_Images[5], blankImage(64, 32, 2, 1));
  app->m_ImgScale = 0.5f;
  app->p_CLS2D(10, 20, 30, 0.5f);
  app->p_SetCol(1, 2, 3, 0.75f);
  app->p_Rect(10, 20, 30, 40);
  app->m_DrawBlend = 3;
  app->p_Oval(50, 60, 5, 6);
  app->m_DrawBlend = 2;
  app->p_Line(1, 2, 3, 4);
  app->p_SetSize(3, 4);
  app->p_DrawImg(5, 100, 50, 1);
  app->p_DrawImg(6, 100, 50, 0);    // empty slot
  app->p_DrawImg(150, 100, 50, 0);  // beyond the slot table
  render();
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
  EXPECT_EQ(app->m_DrawCount, 6 * DrawEntrySize) << "the list stays for the next render";
}

TEST_F(Draw, FrameTimingAndTheGrabInsideTheRender) {
  host.Advance(1.0);
  render();
  host.Advance(0.015625);  // 15.6 ms: 15 whole milliseconds
  render();
  EXPECT_EQ(app->m_Fps, 66);
  EXPECT_EQ(app->m_FpsAvg, 6);
  gc_assign(app->m_Images[3], blankImage(64, 64, 1));
  gfx->readColor = static_cast<int>(0xFF0304FCu);  // red 3, green 4, blue 252
  app->m_GrabImage = 3;
  app->m_GrabFrame = 1;
  render();
  EXPECT_EQ(app->m_GrabImage, 0);
  // Each channel divided by 8, rounded.
  EXPECT_EQ(std::vector<int>(app->m_PixelBuf.Data(), app->m_PixelBuf.Data() + 3), std::vector<int>({0, 1, 32}));
  EXPECT_EQ(gfx->only("Cls").size(), 2u) << "the grab's square is cleared before the frame is drawn";
  EXPECT_EQ(gfx->only("ReadPixels").size(), 1u);
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

TEST_F(Controls, KeysButtonsSticksAndICadeLetters) {
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
}

TEST_F(Controls, PadDecayTouchSamplingAndButtons) {
  for (int i = 0; i < 20; ++i) app->m_PadState[i] = i % 2 + 1;
  app->p_UpdateControls();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(app->m_PadState[i], i % 2 || i == 19 ? 2 : 0) << "19 does not decay; " << i;

  app->m_ScaleX = app->m_ScaleY = 2;
  input->p_MouseEvent(VoGameEvent::MouseMove, 0, 101, 51);
  input->p_MouseEvent(VoGameEvent::MouseDown, 0, 201, 99);
  app->p_SampleTouch();
  // A press shows no movement on its first update.
  EXPECT_EQ(std::vector<int>({app->m_MouseX, app->m_MousePrevX, app->m_TouchDown[0], app->m_TouchY[0]}),
            std::vector<int>({100, 100, 1, 49}));
  input->p_MouseEvent(VoGameEvent::MouseUp, 0, 0, 0);
  input->p_TouchEvent(VoGameEvent::TouchDown, 9, 40, 60);
  input->p_TouchEvent(VoGameEvent::TouchDown, 10, 40, 60);
  app->p_SampleTouch();
  EXPECT_EQ(app->m_TouchX[9], 20);
  EXPECT_EQ(app->m_Touching, 1);
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
    EXPECT_FALSE(app->p_Button0(95, 100, 200, 3)) << "only touch 0 hits Button0";
  }
}

TEST_F(Assets, ResolutionFollowsTheWindowAndSlotsKeepDesignSizes) {
  for (auto [tail, res] : {std::pair{".png", 1}, {"-hd.png", 2}, {"-hd2.png", 4}}) {
    gfx->files.push_back({std::string("common/BrevoLogo") + tail, {256 * res, 256 * res}});
    gfx->files.push_back({std::string("fonts/tessel") + tail, {256 * res, 128 * res}});
  }
  for (auto [w, h, res] : {std::tuple{640, 480, 2}, {1280, 720, 4}, {630, 630, 1}, {631, 200, 2}, {100, 1231, 4}}) {
    host.width = w, host.height = h;
    gfx->BeginRender();
    app->p_Reload();
    EXPECT_EQ(app->m_ImgRes, res) << w;
    ASSERT_NE(app->m_Images[90], nullptr);
    EXPECT_EQ(app->m_Images[90]->m_width, 16 * res);
    EXPECT_EQ(app->m_ImgInfo[270], 7) << "the font's info stays in design units";
  }
  gfx->files.push_back({"parts-hd.png", {64, 32}});
  app->m_ImgRes = 2;
  app->p_LoadImg(96, String("parts"), 8, 8, 8, 1);
  EXPECT_EQ(app->m_Images[96]->m_frames[5]->m_y, 16);
  app->p_LoadImg(96, String("gone"), 32, 16, 3, 1);
  EXPECT_EQ(app->m_Images[96], nullptr);
  EXPECT_EQ(app->m_ImgInfo[289], 32) << "a missing file still records its sizes";
}

TEST_F(Assets, EffectsRotateOverTwentyFourChannelsInSoundModesOneAndTwo) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = 32 - i;
  for (int n : {98, 7, 100}) app->p_LoadSFX(n);
  ASSERT_EQ(audio->loaded.size(), 2u);
  EXPECT_NE(audio->loaded[1].find("data/sfx/007.wav"), std::string::npos) << audio->loaded[1];
  EXPECT_EQ(audio->loaded[1].size() - audio->loaded[1].find("data/sfx/007.wav"), 16u);
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

// Everything the game object holds survives full collections with garbage in between.
TEST_F(Draw, MarkingKeepsEveryTableThroughCollections) {
  gc_mark_roots_hook = [] {
    for (Object* o : std::initializer_list<Object*>{vo_app__app, vo_graphics_device, vo_audio_device, vo_input_device})
      gc_mark_q(o);
  };
  c_Image* img = blankImage(8, 8, 1);
  gc_assign(app->m_Images[99], img);
  gc_assign(app->m_Sounds[3], (new c_Sound)->m_new2());
  Array<int> c_MyApp::*const ints[] = {&c_MyApp::m_ImgInfo,     &c_MyApp::m_BadgeShowId, &c_MyApp::m_BadgeShowTime,
                                       &c_MyApp::m_PadState,    &c_MyApp::m_Settings,    &c_MyApp::m_HighScores,
                                       &c_MyApp::m_SfxChannels, &c_MyApp::m_PixelBuf,    &c_MyApp::m_TouchDown,
                                       &c_MyApp::m_TouchX,      &c_MyApp::m_TouchY};
  for (int i = 0; i < 11; ++i) (app->*ints[i])[(app->*ints[i]).Length() - 1] = 100 + i;
  app->m_DrawList[37499] = 5;
  app->m_Badges[255] = true;
  gc_stress = true;
  for (int i = 0; i < 3; ++i) {
    gc_collect_all();
    for (int j = 0; j < 50; ++j) Array<float>(1000)[0] = -1;  // reuses freed blocks
  }
  gc_stress = false;
  gc_mark_roots_hook = nullptr;
  EXPECT_EQ(app->m_Images[99], img);
  EXPECT_EQ(img->m_frames.Length(), 1);
  EXPECT_NE(app->m_Sounds[3], nullptr);
  for (int i = 0; i < 11; ++i) EXPECT_EQ((app->*ints[i])[(app->*ints[i]).Length() - 1], 100 + i) << i;
  EXPECT_EQ(app->m_DrawList[37499], 5);
  EXPECT_TRUE(app->m_Badges[255]);
  EXPECT_EQ(app->m_Player->m_Tempo, 95);
}

}  // namespace
