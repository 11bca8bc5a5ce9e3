// Asset loading: file names by resolution, slot info, sound-effect names, the
// channel rotation of sound effects and its sound-mode gate, pixel read-back.
#include "tests/game/game_fixture.h"

namespace {

using gametest::GameTest;

class Assets : public GameTest {
 protected:
  bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
  }
  // Registers a logo and a font sheet of the right size for every resolution.
  void provideLoadingScreenFiles() {
    const char* suffixes[] = {".png", "-hd.png", "-hd2.png"};
    for (int i = 0; i < 3; ++i) {
      const int res = 1 << i;
      gfx->files.push_back({std::string("common/BrevoLogo") + suffixes[i], {256 * res, 256 * res}});
      gfx->files.push_back({std::string("fonts/tessel") + suffixes[i], {256 * res, 128 * res}});
    }
  }
};

TEST_F(Assets, ReloadPicksTheResolutionFromTheWindow) {
  provideLoadingScreenFiles();
  const struct {
    int w, h, res;
    const char* logo;
  } cases[] = {{640, 480, 2, "common/BrevoLogo-hd.png"},
               {1280, 720, 4, "common/BrevoLogo-hd2.png"},
               {630, 630, 1, "common/BrevoLogo.png"},
               {631, 200, 2, "common/BrevoLogo-hd.png"},
               {100, 1231, 4, "common/BrevoLogo-hd2.png"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    resize(c.w, c.h);
    gfx->loaded.clear();
    app->m_LoadStep = 0;
    app->p_Reload();
    EXPECT_EQ(app->m_ImgRes, c.res);
    EXPECT_EQ(app->m_ImgScale, 1.0f / float(c.res));
    EXPECT_EQ(app->m_LoadStep, 1);
    ASSERT_EQ(gfx->loaded.size(), 2u);
    EXPECT_TRUE(endsWith(gfx->loaded[0], c.logo)) << gfx->loaded[0];
    // The logo is one frame of 256 units at the chosen resolution.
    c_Image* logo = app->m_Images[93];
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->m_width, 256 * c.res);
    EXPECT_EQ(app->m_ImgInfo[93 * 3], 256 * c.res);
    EXPECT_EQ(app->m_ImgInfo[93 * 3 + 2], 1);
    // The font's cells grow with the resolution; its info stays in design units.
    c_Image* font = app->m_Images[90];
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->m_width, 16 * c.res);
    EXPECT_EQ(font->m_frames.Length(), 128);
    EXPECT_EQ(app->m_ImgInfo[270], 7);
    EXPECT_EQ(app->m_ImgInfo[271], 10);
    EXPECT_EQ(app->m_ImgInfo[272], 128);
    EXPECT_EQ(app->m_Font, 90);
    EXPECT_EQ(app->m_ClsR, 0.0f);
    EXPECT_EQ(app->m_ClsAlpha, 1.0f);
  }
}

TEST_F(Assets, LoadImgCutsAGridAndRecordsInfoEvenWhenMissing) {
  gfx->files.push_back({"parts-hd.png", {64, 32}});
  app->m_ImgRes = 2;
  app->p_LoadImg(96, String("parts"), 8, 8, 8, 1);
  c_Image* parts = app->m_Images[96];
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(parts->m_frames.Length(), 8);
  EXPECT_EQ(parts->m_width, 16);
  EXPECT_EQ(parts->m_frames[5]->m_x, 16);  // second row: 4 frames of 16 per row
  EXPECT_EQ(parts->m_frames[5]->m_y, 16);
  EXPECT_EQ(parts->m_tx, 8.0f);  // centred handle
  EXPECT_EQ(app->m_ImgInfo[288], 16);
  EXPECT_EQ(app->m_ImgInfo[290], 8);

  // A missing file empties the slot but still records the sizes.
  app->p_LoadImg(96, String("gone"), 32, 16, 3, 1);
  EXPECT_EQ(app->m_Images[96], nullptr);
  EXPECT_EQ(app->m_ImgInfo[288], 64);
  EXPECT_EQ(app->m_ImgInfo[289], 32);
  EXPECT_EQ(app->m_ImgInfo[290], 3);
}

TEST_F(Assets, SoundEffectFileNames) {
  app->p_LoadSFX(7);
  app->p_LoadSFX(95);
  app->p_LoadSFX(0);
  // Numbers without a slot load nothing (and write no slot).
  app->p_LoadSFX(100);
  app->p_LoadSFX(-1);
  ASSERT_EQ(audio->loaded.size(), 3u);
  EXPECT_TRUE(endsWith(audio->loaded[0], "data/sfx/007.wav")) << audio->loaded[0];
  EXPECT_TRUE(endsWith(audio->loaded[1], "data/sfx/095.wav")) << audio->loaded[1];
  EXPECT_TRUE(endsWith(audio->loaded[2], "data/sfx/000.wav")) << audio->loaded[2];
  EXPECT_NE(app->m_Sounds[7], nullptr);
}

TEST_F(Assets, EffectsRotateOverTwentyFourChannels) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = i;
  app->m_Settings[5] = 1;
  app->p_LoadSFX(98);
  app->p_PlaySFX(98, 1.5f, 0.5f, -1);
  const std::vector<std::string> first = {"stop 1", "play 1 0", "rate 1 1.5", "volume 1 0.5", "pan 1 -1"};
  EXPECT_EQ(audio->calls, first);
  std::vector<int> stopped;
  for (int i = 0; i < 24; ++i) {
    audio->calls.clear();
    app->p_PlaySFX(98, 1, 1, 0);
    stopped.push_back(std::stoi(audio->calls[0].substr(5)));
  }
  // Channels 2 .. 23, then 0, then the first effect's channel again.
  std::vector<int> expected;
  for (int c = 2; c < 24; ++c) expected.push_back(c);
  expected.push_back(0);
  expected.push_back(1);
  EXPECT_EQ(stopped, expected);
  EXPECT_EQ(app->m_SfxChan, 1);
}

TEST_F(Assets, EffectsFollowTheChannelTable) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = 32 - i;
  app->m_Settings[5] = 2;
  app->p_PlaySFX(5, 1, 1, 0);
  ASSERT_FALSE(audio->calls.empty());
  EXPECT_EQ(audio->calls[0], "stop 31");
}

TEST_F(Assets, MissingSoundOnlyStopsAndSetsTheChannel) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = i;
  app->m_Settings[5] = 1;
  app->p_PlaySFX(40, 2, 0.25f, 0.5f);
  const std::vector<std::string> expected = {"stop 1", "rate 1 2", "volume 1 0.25", "pan 1 0.5"};
  EXPECT_EQ(audio->calls, expected);
}

TEST_F(Assets, SilentSoundModesDoNothingAtAll) {
  for (int i = 0; i < 33; ++i) app->m_SfxChannels[i] = i;
  app->p_LoadSFX(98);
  for (int mode : {0, 3, 4, -1}) {
    app->m_Settings[5] = mode;
    app->p_PlaySFX(98, 1, 1, 0);
    EXPECT_TRUE(audio->calls.empty()) << mode;
    EXPECT_EQ(app->m_SfxChan, 0) << mode;
  }
}

TEST_F(Assets, GrabReducesEachChannelWithRounding) {
  c_Image* img = (new c_Image)->m_new()->p_Init(gametest::RecordingGraphics::blankSurface(64, 64), 1, 0);
  gc_assign(app->m_Images[4], img);
  gfx->readColor = static_cast<int>(0xFF0304FCu);  // red 3, green 4, blue 252
  vo_graphics_BeginRender();
  gfx->calls.clear();
  app->p_GrabImageData(4, 1);
  vo_graphics_EndRender();
  EXPECT_EQ(app->m_PixelBuf[4095 * 4], 0);
  EXPECT_EQ(app->m_PixelBuf[4095 * 4 + 1], 1);
  EXPECT_EQ(app->m_PixelBuf[4095 * 4 + 2], 32);
  // Near-black square first, the image over it, read back, cleared again.
  std::vector<std::string> ops;
  for (const auto& c : gfx->calls)
    if (c.op != "SetMatrix") ops.push_back(c.op);
  const std::vector<std::string> expected = {"Cls",      "SetAlpha",    "SetColor",   "DrawRect",
                                             "SetColor", "DrawSurface", "ReadPixels", "Cls"};
  EXPECT_EQ(ops, expected);
  EXPECT_EQ(gfx->calls[0].args, (std::vector<float>{1, 0, 0}));
  // An empty slot reads back the bare square.
  gfx->calls.clear();
  vo_graphics_BeginRender();
  app->p_GrabImageData(5, 1);
  vo_graphics_EndRender();
  EXPECT_TRUE(gfx->only("DrawSurface").empty());
  EXPECT_EQ(gfx->only("ReadPixels").size(), 1u);
}

}  // namespace
