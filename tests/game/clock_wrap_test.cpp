// A long session: the clock starts just before the millisecond counter wraps
// (2^31 ms, 24.8 days after start-up), and the host's loop drives the game and
// its music player across the wrap at their usual rates.
#include <vector>

#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr double kWrapSeconds = 2147483.648;
constexpr int kUpdateRate = 60;
constexpr int kTempo = 100;  // 8000 / 100 = 80 ms per step of the music
constexpr double kSecondsAfterWrap = 2.0;

using ClockWrap = GameTest;

TEST_F(ClockWrap, LoopLoaderSpinnerAndMusicKeepTheirRates) {
  // The loader's 15 updates (a quarter of a second) straddle the wrap.
  host.Advance(kWrapSeconds - 0.1);
  app->p_OnCreate();
  render();
  c_SqPlayer* player = app->m_Player;
  player->p_Sq_Init(32, 4, 3, 3, 4);
  player->p_Sq_StartTune(String("wrap"), 37171650, kTempo);
  player->m_LoadStep = 0;

  int updatesAfterWrap = 0, stepsAfterWrap = 0, loaderUpdates = 0, spinTurned = 0;
  bool loadedBeforeWrap = false;
  auto* loop = new VoRecordingDelegate();
  loop->onUpdate = [&] {
    const int angle = app->m_SpinAngle;
    const bool loading = app->m_LoadStep > 0;
    const int row = player->m_Row;
    input->p_BeginUpdate();
    app->p_OnUpdate();
    input->p_EndUpdate();
    player->p_Sq_Alive_U(0, 1);
    if (loading) {
      ++loaderUpdates;
      spinTurned += app->m_SpinAngle - angle;
      if (host.Now() < kWrapSeconds) loadedBeforeWrap = true;
    }
    if (host.Now() < kWrapSeconds) return;
    ++updatesAfterWrap;
    if (player->m_Row != row) ++stepsAfterWrap;
  };
  loop->onRender = [&] { render(); };
  host.SetDelegate(loop);
  host.SetUpdateRate(kUpdateRate);
  host.Begin();
  host.RunUntil(kWrapSeconds + kSecondsAfterWrap);

  EXPECT_NEAR(updatesAfterWrap, kUpdateRate * kSecondsAfterWrap, 1);
  EXPECT_NEAR(app->m_Ups, kUpdateRate, 3) << "the game's own reading of the update rate";
  EXPECT_TRUE(loadedBeforeWrap);
  EXPECT_EQ(app->m_LoadStep, 0);
  EXPECT_EQ(spinTurned, 16 * loaderUpdates) << "one turn of the spinner per update";
  EXPECT_NEAR(stepsAfterWrap, kSecondsAfterWrap * kTempo / 8, 1);
}

}  // namespace
}  // namespace gametest
