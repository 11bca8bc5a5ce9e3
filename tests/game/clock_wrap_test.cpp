// The game's readings of the clock: the update and frame rates read it anew
// for each use, and a long session across the wrap of the 32-bit millisecond
// counter (2^31 ms, 24.8 days after start-up) keeps the host's loop, the
// game's reading of it and the music player at their rates.
#include <functional>

#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace gametest {
namespace {

constexpr double kWrapSeconds = 2147483.648;
constexpr int kTempo = 100;  // 8000 / 100 = 80 ms per step of the music

// A rate measurement reads the clock for the test of the interval, again for
// the division and once more for its new time stamp. Here the counter gains
// `step` ms at every reading, after a first reading at `at` seconds. Every
// case starts from a rate of 30 and an average of 50.
TEST(GameClock, RatesTakeAReadingForTheTestTheDivisionAndTheStamp) {
  struct Measured {
    const char* name;
    int c_MyApp::*last;
    int c_MyApp::*rate;
    int c_MyApp::*avg;
    std::function<void(HeadlessGame&)> run;
  };
  // The update reads the clock for other uses before it measures, so its
  // measurement is taken on its own here; the render reads it for nothing else.
  const Measured measured[] = {
      {"update", &c_MyApp::m_LastUpdateMs, &c_MyApp::m_Ups, &c_MyApp::m_UpsAvg,
       [](HeadlessGame& g) { MeasureRate(g.app->m_LastUpdateMs, g.app->m_Ups, g.app->m_UpsAvg); }},
      {"render", &c_MyApp::m_LastRenderMs, &c_MyApp::m_Fps, &c_MyApp::m_FpsAvg, [](HeadlessGame& g) { g.Render(); }},
  };
  const struct {
    double at;
    int last, step;
    int rate, avg, stamp;
  } cases[] = {
      {1.0, 996, 1, 200, 65, 1002},  // 4 ms at the test, 5 at the division
      {1.0, 999, 3, 250, 70, 1006},  // 1 ms, then 4
      {1.0, 1000, 0, 30, 48, 1000},  // no time has passed: the rate is kept
      {1.0, 1000, 5, 30, 48, 1005},  // nor when the test sees none: no division, two readings
      // Between the test (2 ms) and the division (25 ms) the counter wraps
      // from 2^31 - 23 to -2^31; the stamp is 2^31 + 23 - 2^32.
      {2147483.625, 2147483623, 23, 40, 49, -2147483625},
  };
  for (const Measured& m : measured) {
    for (const auto& c : cases) {
      HeadlessGame game;
      game.Advance(c.at);
      game.msPerRead = c.step;
      c_MyApp* app = game.app;
      app->*m.last = c.last;
      app->*m.rate = 30;
      app->*m.avg = 50;
      m.run(game);
      EXPECT_EQ(std::vector<int>({app->*m.rate, app->*m.avg, app->*m.last}), std::vector<int>({c.rate, c.avg, c.stamp}))
          << m.name << " from " << c.last << " by " << c.step;
    }
  }
}

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
