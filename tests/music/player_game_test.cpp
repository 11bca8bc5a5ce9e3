// The music player inside the headless game: the build's music switch, a tune
// sheet decoded through the screen (the recording driver reads the frames back
// with known blue values), and which sound modes let the tune play.
#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace {

using Music = gametest::GameTest;

// The blue value the sheet holds at pixel (x, y) of frame p.
int Blue(int p, int x, int y) { return (p * 37 + y * 11 + x * 5) & 255; }

TEST(MusicSwitch, FollowsTheBuild) {
  voInit();
  EXPECT_EQ(vo_Game_HasMusic, MUSIC_BUILD);
}

TEST_F(Music, ASheetDecodesToItsBlueValues) {
  vo_Game_HasMusic = 1;
  // Frames are read one after another, 64 x 64 pixels each, rows top first.
  std::vector<uint8_t> sheet;
  for (int p = 0; p < 64; ++p)
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) sheet.push_back(static_cast<uint8_t>(Blue(p, x, y)));
  gfx->files.push_back({"tunes/Retro/Cavern Walk.png", {512, 512}});
  gfx->input = sheet.data();
  gfx->size = sheet.size();
  toMenu();
  tap(90);  // Z starts mode 2, Cavern Walk
  for (int i = 0; i < 40 && app->m_Player->m_LoadStep > 0; ++i) render();
  c_SqPlayer* player = app->m_Player;
  ASSERT_EQ(player->m_LoadStep, 0);
  gfx->input = nullptr;
  int wrong = 0;
  for (int p = 0; p < 63; ++p)  // frame 63 is never read
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        wrong += player->m_Notes[p * 4096 + (x / 8) * 512 + y * 8 + x % 8] != Blue(p, x, y) >> 3;
  EXPECT_EQ(wrong, 0);
  for (int t = 0; t < 8; ++t) EXPECT_EQ(player->m_LastPattern[t], 62) << "every track has notes up to frame 62";
  player->p_Sq_StartTune(String("Retro/Cavern Walk"), 1, 100);
  EXPECT_EQ(player->m_LoadStep, 0) << "starting the loaded tune again loads nothing";
}

TEST_F(Music, SoundModesOneAndThreePlayTheTuneAndTheSwitchOffOnlyRecordsIt) {
  gfx->files.push_back({"tunes/Retro/Cavern Walk.png", {512, 512}});
  gfx->readColor = static_cast<int>(0xFF000000u | (13u << 3));  // every cell a note at the reference pitch
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) {
      render();
      update();
    }
  };
  auto played = [&] { return !audio->On("play", 28).empty(); };  // the accompaniment's channel
  vo_Game_HasMusic = 1;
  toMenu();
  app->m_Settings[5] = 0;
  tap(90);
  frames(30);
  EXPECT_EQ(app->m_Player->m_LoadStep, 0);
  EXPECT_FALSE(played()) << "sound mode 0 is silent";
  app->m_Settings[5] = 2;
  frames(30);
  EXPECT_FALSE(played()) << "sound mode 2 is effects only";
  for (int mode : {3, 1}) {
    app->m_Settings[5] = mode;
    audio->calls.clear();
    frames(30);
    EXPECT_TRUE(played()) << mode;
  }
  EXPECT_GT(app->m_Player->m_Row, 0);
}

TEST_F(Music, WithTheSwitchOffThePlayerOnlyRecordsTheTune) {
  gfx->files.push_back({"tunes/Retro/Cavern Walk.png", {512, 512}});
  vo_Game_HasMusic = 0;
  toMenu();
  tap(90);
  for (int i = 0; i < 60; ++i) render(), update();
  c_SqPlayer* player = app->m_Player;
  EXPECT_EQ(player->m_TunePath, String("tunes/Retro/Cavern Walk.png"));
  EXPECT_EQ(player->m_LoadStep, 1);
  EXPECT_EQ(player->m_Row, 0);
  for (const std::string& path : gfx->loaded) EXPECT_EQ(path.find("tunes/"), std::string::npos) << path;
}

}  // namespace
