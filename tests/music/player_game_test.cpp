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
  c_SqPlayer* player = app->m_Player;
  for (int i = 0; i < 40 && player->m_LoadStep > 0; ++i) render();
  ASSERT_EQ(player->m_LoadStep, 0);
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

// Starts mode 2's tune, whose every cell is a note at the reference pitch,
// and plays 30 frames in each sound mode: sound modes 1 and 3 play the tune,
// and with the build's switch off the player only records which tune it was
// asked for.
void PlayEachSoundMode(gametest::GameTest& t, int hasMusic) {
  t.gfx->files.push_back({"tunes/Retro/Cavern Walk.png", {512, 512}});
  t.gfx->readColor = static_cast<int>(0xFF000000u | (13u << 3));
  vo_Game_HasMusic = hasMusic;
  t.toMenu();
  t.tap(90);
  const std::pair<int, bool> modes[] = {
      {kSoundOff, false}, {kSoundEffectsOnly, false}, {kSoundMusicOnly, true}, {kSoundEffectsAndMusic, true}};
  for (auto [mode, music] : modes) {
    t.app->m_Settings[kSettingSoundMode] = mode;
    t.audio->calls.clear();
    for (int i = 0; i < 30; ++i) t.render(), t.update();
    EXPECT_EQ(t.audio->On("play", 28).empty(), !(hasMusic && music)) << mode;  // the accompaniment
  }
  EXPECT_EQ(t.app->m_Player->m_TunePath, String("tunes/Retro/Cavern Walk.png"));
  EXPECT_EQ(t.app->m_Player->m_LoadStep, hasMusic ? 0 : 1);
}

TEST_F(Music, SoundModesOneAndThreePlayTheTune) { PlayEachSoundMode(*this, 1); }

TEST_F(Music, WithTheSwitchOffThePlayerOnlyRecordsTheTune) {
  PlayEachSoundMode(*this, 0);
  EXPECT_EQ(app->m_Player->m_Row, 0);
  for (const std::string& path : gfx->loaded) EXPECT_EQ(path.find("tunes/"), std::string::npos) << path;
}

}  // namespace
