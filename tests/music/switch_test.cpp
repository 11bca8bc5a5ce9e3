// The game's music switch. The module initialiser takes it from the build
// (0 by default, 1 with QUILLET_MUSIC); then a game session runs with the
// switch at 1, as the music build runs it, and at 0, as the default build
// does: only the first sets up, loads and ticks the player.
#include <algorithm>

#include "music/sqplayer.h"
#include "tests/game/flow_fixture.h"

namespace {

using gametest::SessionTest;

const int kZ = 90;  // control 10: starts the selected mode (2, Cavern Walk)

TEST(MusicSwitch, TheModuleInitialiserFollowsTheBuild) {
  voInit();
  EXPECT_EQ(vo_Game_HasMusic, MUSIC_BUILD);
}

class MusicSession : public SessionTest {
 protected:
  // From creation to a game of mode 2 with `frames` renders and updates,
  // the switch at `music` and the sound mode chosen on the title menu. The sheet loads as a blank 512 x 512 picture
  // and every pixel reads back with blue 104, so every decoded value is 13:
  // a note at the reference pitch with a volume in every cell.
  void Play(int music, int frames, int soundMode = 1) {
    vo_Game_HasMusic = music;
    gfx->files.push_back({"tunes/Retro/Cavern Walk.png", {512, 512}});
    gfx->readColor = static_cast<int>(0xFF000000u | (13u << 3));
    toMenu();
    app->m_Settings[5] = soundMode;
    keyDown(kZ);
    update();
    keyUp(kZ);
    Frames(frames);
  }

  // Renders and updates in turn, as the host's loop runs them.
  void Frames(int n) {
    for (int i = 0; i < n; ++i) {
      render();
      update();
    }
  }

  bool Heard(const std::string& call) const {
    return std::find(audio->calls.begin(), audio->calls.end(), call) != audio->calls.end();
  }
  bool Loaded(const std::string& suffix) const {
    for (const std::string& path : gfx->loaded) {
      if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(MusicSession, WithTheSwitchOnTheTuneLoadsAndPlays) {
  Play(1, 60);
  c_SqPlayer* player = app->m_Player;
  EXPECT_EQ(player->m_BaseChannel, 32);
  EXPECT_EQ(player->m_InstCount[1], 4);
  EXPECT_EQ(player->m_TunePath, String("tunes/Retro/Cavern Walk.png"));
  EXPECT_TRUE(Loaded("tunes/Retro/Cavern Walk.png"));
  EXPECT_EQ(player->m_LoadStep, 0);
  EXPECT_EQ(player->m_LastPattern[2], 62);
  // Kit A, kit B and the accompaniment are heard in the first section with
  // the game's seed; lead and bass sit it out.
  EXPECT_TRUE(Heard("play 31 0"));
  EXPECT_TRUE(Heard("play 30 0"));
  EXPECT_TRUE(Heard("play 28 1"));
  EXPECT_FALSE(Heard("play 29 1"));
  EXPECT_GT(player->m_Row, 0);
}

// Sound modes 1 and 3 play the music; 0 (silent) and 2 (effects only) load
// the tune but never step it.
TEST_F(MusicSession, SoundModeThreePlaysTheTune) {
  Play(1, 60, 3);
  EXPECT_TRUE(Heard("play 28 1"));
  EXPECT_GT(app->m_Player->m_Row, 0);
}

TEST_F(MusicSession, SoundModesZeroAndTwoLeaveTheTuneSilent) {
  Play(1, 30, 0);
  EXPECT_EQ(app->m_Player->m_LoadStep, 0);
  EXPECT_FALSE(Heard("play 28 1"));
  EXPECT_EQ(app->m_Player->m_Row, 0);
  // Switched to effects only from the pause menu's sound button.
  app->m_Settings[5] = 2;
  Frames(30);
  EXPECT_FALSE(Heard("play 28 1"));
  EXPECT_EQ(app->m_Player->m_Row, 0);
  app->m_Settings[5] = 1;
  Frames(30);
  EXPECT_TRUE(Heard("play 28 1"));
}

TEST_F(MusicSession, WithTheSwitchOffThePlayerOnlyRecordsTheTune) {
  Play(0, 60);
  c_SqPlayer* player = app->m_Player;
  EXPECT_EQ(player->m_BaseChannel, 0);
  EXPECT_EQ(player->m_TunePath, String("tunes/Retro/Cavern Walk.png"));
  EXPECT_EQ(player->m_PlayState, 2);
  EXPECT_EQ(player->m_LoadStep, 1);
  EXPECT_FALSE(Loaded("tunes/Retro/Cavern Walk.png"));
  EXPECT_EQ(player->m_Row, 0);
  for (const std::string& call : audio->calls) EXPECT_EQ(call.find("play 3"), std::string::npos) << call;
}

}  // namespace
