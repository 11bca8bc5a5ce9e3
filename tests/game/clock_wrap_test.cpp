// A long session across the wrap of the 32-bit millisecond counter (2^31 ms,
// 24.8 days after start-up): the host's loop, the game's reading of it and
// the music player keep their rates.
#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr double kWrapSeconds = 2147483.648;
constexpr int kTempo = 100;  // 8000 / 100 = 80 ms per step of the music

TEST_F(GameTest, LoopAndMusicKeepTheirRatesAcrossTheClockWrap) {
  host.Advance(kWrapSeconds - 0.1);  // the loader's quarter second straddles the wrap
  app->p_OnCreate();
  render();
  c_SqPlayer* player = app->m_Player;
  player->p_Sq_Init(32, 4, 3, 3, 4);
  player->p_Sq_StartTune(String("wrap"), 37171650, kTempo);
  player->m_LoadStep = 0;
  int updatesAfter = 0, stepsAfter = 0;
  auto* loop = new VoRecordingDelegate();
  loop->onUpdate = [&] {
    const int row = player->m_Row;
    input->p_BeginUpdate();
    app->p_OnUpdate();
    input->p_EndUpdate();
    player->p_Sq_Alive_U(0, 1);
    if (host.Now() >= kWrapSeconds) {
      updatesAfter++;
      stepsAfter += player->m_Row != row;
    }
  };
  loop->onRender = [&] { render(); };
  host.SetDelegate(loop);
  host.Begin();
  host.RunUntil(kWrapSeconds + 2);
  EXPECT_NEAR(updatesAfter, 120, 1);
  EXPECT_NEAR(app->m_Ups, 60, 3) << "the game's own reading of the update rate";
  EXPECT_EQ(app->m_LoadStep, 0);
  EXPECT_NEAR(stepsAfter, 2 * kTempo / 8, 1);
}

}  // namespace
}  // namespace gametest
