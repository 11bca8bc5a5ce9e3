// The fixed-rate loop and the fenced delegate calls, driven by the headless
// test host's fake clock and window.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/host/child.h"
#include "tests/support/test_host.h"

namespace {

constexpr double kPeriod = 1.0 / 60;

class LoopTest : public ::testing::Test {
 protected:
  VoTestHost host;
  VoRecordingDelegate* delegate = new VoRecordingDelegate();

  void SetUp() override { host.SetDelegate(delegate); }

  // The log with consecutive renders and updates kept, lines after `from`.
  std::vector<std::string> LogFrom(size_t from) const {
    return {delegate->log.begin() + static_cast<long>(from), delegate->log.end()};
  }
};

TEST_F(LoopTest, RateZeroStartsRendersAndNeverUpdates) {
  host.Begin();
  ASSERT_EQ(delegate->log, (std::vector<std::string>{"start", "render"}));
  host.Key(0.5, VoGameEvent::KeyDown, 65);
  host.RunUntil(0.6);
  EXPECT_EQ(delegate->Count("update"), 0);
  // Each wait for events is followed by another render.
  auto key = std::find(delegate->log.begin(), delegate->log.end(), "key 1 65");
  ASSERT_NE(key, delegate->log.end());
  ASSERT_NE(key + 1, delegate->log.end());
  EXPECT_EQ(*(key + 1), "render");
}

TEST_F(LoopTest, FirstUpdateIsOnePeriodAfterSettingTheRate) {
  std::vector<double> times;
  delegate->onUpdate = [&] { times.push_back(host.Now()); };
  host.Advance(3.0);
  host.SetUpdateRate(60);
  host.Begin();
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"start", "render"}));
  host.RunUntil(3.0 + 10 * kPeriod);
  ASSERT_GE(times.size(), 2u);
  EXPECT_DOUBLE_EQ(times[0], 3.0 + kPeriod);
  EXPECT_DOUBLE_EQ(times[1], 3.0 + 2 * kPeriod);
}

TEST_F(LoopTest, OnTimeMachineRendersAfterEveryUpdate) {
  host.SetUpdateRate(60);
  host.Begin();
  size_t mark = delegate->log.size();
  host.RunUntil(1.0 + kPeriod / 2);
  auto log = LogFrom(mark);
  EXPECT_EQ(delegate->Count("update"), 60);
  for (size_t i = 0; i + 1 < log.size(); i += 2) {
    EXPECT_EQ(log[i], "update");
    EXPECT_EQ(log[i + 1], "render");
  }
}

TEST_F(LoopTest, SmallBacklogIsCaughtUpWithoutDroppingTheSchedule) {
  host.SetUpdateRate(60);
  host.Begin();
  host.Advance(2.5 * kPeriod);
  size_t mark = delegate->log.size();
  host.Pass();
  EXPECT_EQ(LogFrom(mark), (std::vector<std::string>{"update", "update", "render"}));
  // Still on the original grid: the next update is due at 3 periods.
  EXPECT_DOUBLE_EQ(host._nextUpdate, 3 * kPeriod);
}

TEST_F(LoopTest, MachineThatFallsBehindRunsFourUpdatesThenRestartsTheSchedule) {
  host.SetUpdateRate(60);
  host.Begin();
  host.updateCost = 6 * kPeriod;
  host.Advance(kPeriod);
  size_t mark = delegate->log.size();
  host.Pass();
  EXPECT_EQ(LogFrom(mark), (std::vector<std::string>{"update", "update", "update", "update", "render"}));
  EXPECT_DOUBLE_EQ(host._nextUpdate, host.Now());
  // The next pass does not try to make up the 20 periods that were lost.
  mark = delegate->log.size();
  host.Pass();
  EXPECT_EQ(LogFrom(mark), (std::vector<std::string>{"update", "update", "update", "update", "render"}));
}

TEST_F(LoopTest, UpdateThatStopsTheRateEndsTheCatchUp) {
  host.SetUpdateRate(60);
  host.Begin();
  delegate->onUpdate = [&] { host.SetUpdateRate(0); };
  host.Advance(10 * kPeriod);
  size_t mark = delegate->log.size();
  host.Pass();
  EXPECT_EQ(LogFrom(mark), (std::vector<std::string>{"update", "render"}));
  // The schedule was advanced by one period and not reset to the clock.
  EXPECT_DOUBLE_EQ(host._nextUpdate, 2 * kPeriod);
  host.RunUntil(1.0);
  EXPECT_EQ(delegate->Count("update"), 1);
}

TEST_F(LoopTest, IconifiedGameIsSuspendedUndrawnAndResumesWithoutBurst) {
  host.SetUpdateRate(60);
  host.Begin();
  host.At(0.5, [&] { host.iconified = true; });
  host.At(2.0, [&] { host.iconified = false; });
  host.RunUntil(2.5);
  const auto& log = delegate->log;
  auto suspend = std::find(log.begin(), log.end(), "suspend");
  auto resume = std::find(log.begin(), log.end(), "resume");
  ASSERT_NE(suspend, log.end());
  ASSERT_NE(resume, log.end());
  EXPECT_EQ(resume, suspend + 1) << "nothing runs while iconified";
  EXPECT_EQ(delegate->Count("suspend"), 1);
  EXPECT_EQ(delegate->Count("resume"), 1);
  // One update right after the restore, then the normal one-per-render rhythm.
  ASSERT_GE(log.end() - resume, 3);
  EXPECT_EQ(*(resume + 1), "update");
  EXPECT_EQ(*(resume + 2), "render");
  EXPECT_NEAR(delegate->Count("update"), 60, 2) << "30 before, 30 after, none for the pause";
}

TEST_F(LoopTest, LostFocusSuspendsButKeepsRendering) {
  host.SetUpdateRate(60);
  host.Begin();
  host.At(0.5, [&] { host.active = false; });
  host.Key(0.75, VoGameEvent::KeyDown, 65);
  host.At(1.0, [&] { host.active = true; });
  host.RunUntil(1.5);
  const auto& log = delegate->log;
  auto suspend = std::find(log.begin(), log.end(), "suspend");
  auto resume = std::find(log.begin(), log.end(), "resume");
  ASSERT_LT(suspend, resume);
  EXPECT_EQ(std::count(suspend, resume, "update"), 0);
  EXPECT_GT(std::count(suspend, resume, "render"), 1);
  // The key arrives while suspended and is followed by a render.
  auto key = std::find(suspend, resume, "key 1 65");
  ASSERT_NE(key, resume);
  EXPECT_EQ(*(key + 1), "render");
  EXPECT_EQ(*(resume + 1), "update");
}

TEST_F(LoopTest, IconifyAfterLosingFocusStopsRendering) {
  host.SetUpdateRate(60);
  host.Begin();
  host.At(0.5, [&] { host.active = false; });
  host.At(0.7, [&] { host.iconified = true; });
  host.At(1.0, [&] {
    host.iconified = false;
    host.active = true;
  });
  size_t renderAtIconify = 0;
  host.At(0.7, [&] { renderAtIconify = static_cast<size_t>(delegate->Count("render")); });
  host.RunUntil(1.0);
  EXPECT_EQ(static_cast<size_t>(delegate->Count("render")), renderAtIconify);
  EXPECT_EQ(delegate->Count("suspend"), 1);
}

TEST_F(LoopTest, RestoredWithoutFocusIsDrawnAgainButNotUpdated) {
  host.SetUpdateRate(60);
  host.Begin();
  host.At(0.5, [&] { host.iconified = true; });
  host.At(1.0, [&] {
    host.iconified = false;
    host.active = false;
  });
  host.Key(1.5, VoGameEvent::KeyDown, 65);
  host.RunUntil(2.0);
  const auto& log = delegate->log;
  auto key = std::find(log.begin(), log.end(), "key 1 65");
  ASSERT_NE(key, log.end());
  ASSERT_NE(key + 1, log.end());
  EXPECT_EQ(*(key + 1), "render");
  EXPECT_EQ(delegate->Count("resume"), 0);
  EXPECT_EQ(std::count(std::find(log.begin(), log.end(), "suspend"), log.end(), "update"), 0);
}

TEST_F(LoopTest, WrongStateCallsAreIgnored) {
  host.KeyEvent(VoGameEvent::KeyDown, 65);
  host.MouseEvent(VoGameEvent::MouseDown, 0, 1, 2);
  host.RenderGame();
  host.UpdateGame();
  host.SuspendGame();
  EXPECT_TRUE(delegate->log.empty()) << "nothing reaches the delegate before the start";
  host.StartGame();
  host.StartGame();
  host.ResumeGame();
  host.SuspendGame();
  host.SuspendGame();
  host.UpdateGame();
  host.RenderGame();
  host.TouchEvent(VoGameEvent::TouchDown, 1, 3, 4);
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"start", "suspend", "render", "touch 7 1 3 4"}));
  EXPECT_TRUE(host.Suspended());
}

TEST_F(LoopTest, CloseButtonSendsCloseKeyAndKeepsTheWindow) {
  host.Begin();
  host.Close(0.1);
  host.RunUntil(0.5);
  auto down = std::find(delegate->log.begin(), delegate->log.end(), "key 1 432");
  ASSERT_NE(down, delegate->log.end());
  EXPECT_EQ(*(down + 1), "key 2 432");
  EXPECT_TRUE(host.open);
}

TEST_F(LoopTest, RunReturnsOnceTheWindowIsGone) {
  host.SetUpdateRate(60);
  host.At(1.0, [&] { host.open = false; });
  host.Run();
  EXPECT_EQ(host.windowOpens, 1);
  EXPECT_EQ(delegate->Count("start"), 1);
  EXPECT_NEAR(delegate->Count("update"), 60, 1);
}

TEST_F(LoopTest, MillisecsFollowsTheClock) {
  host.Advance(1.2345);
  EXPECT_EQ(host.Millisecs(), 1234);
}

// Counts its own destruction so a test can see whether the collector kept it.
class Mortal : public VoRecordingDelegate {
 public:
  static int destroyed;
  Mortal() {}
  ~Mortal() override { ++destroyed; }
};
int Mortal::destroyed = 0;

TEST(HostCollector, DelegateSurvivesFullCollectionsAfterEveryCall) {
  VoTestHost host;
  auto* delegate = new Mortal();
  host.SetDelegate(delegate);
  // Garbage each update makes the collector destroy whatever it finds dead.
  delegate->onUpdate = [] {
    for (int i = 0; i < 10; ++i) new Object;
  };
  bool stress = gc_stress;
  gc_stress = true;
  host.SetUpdateRate(60);
  host.Begin();
  host.RunUntil(0.5);
  gc_stress = stress;
  EXPECT_EQ(Mortal::destroyed, 0);
  EXPECT_GE(delegate->Count("update"), 29);
}

class Thrown : public ThrowableObject {
 public:
  Thrown() {}
};

TEST(HostFence, ExceptionFromUpdateEndsTheProgram) {
  ChildResult result = RunInChild([] {
    VoTestHost host;
    auto* delegate = new VoRecordingDelegate();
    delegate->onUpdate = [] { throw new Thrown(); };
    host.SetDelegate(delegate);
    host.SetUpdateRate(60);
    host.Begin();
    host.RunUntil(1.0);
  });
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Dovel Runtime Error : Uncaught Dovel Exception\n");
}

TEST(HostFence, OtherExceptionsPassThroughTheFence) {
  VoTestHost host;
  auto* delegate = new VoRecordingDelegate();
  delegate->onRender = [] { throw 7; };
  host.SetDelegate(delegate);
  host.StartGame();
  EXPECT_THROW(host.RenderGame(), int);
}

}  // namespace
