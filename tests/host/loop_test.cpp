// The fixed-rate loop and fenced delegate calls on the fake clock: each scenario's log, written compactly (s start,
// r render, u update, S suspend, R resume, other lines in brackets), must match the row's pattern.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <regex>

#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace {

constexpr double kPeriod = 1.0 / 60;

std::string Compact(const std::vector<std::string>& log) {
  const std::map<std::string, std::string> letters = {
      {"start", "s"}, {"render", "r"}, {"update", "u"}, {"suspend", "S"}, {"resume", "R"}};
  std::string out;
  for (const std::string& line : log) out += letters.count(line) ? letters.at(line) : "[" + line + "]";
  return out;
}

struct Scenario {
  const char* name;
  int rate;  // set before Run's prelude; -1: the scenario starts the host itself
  std::function<void(VoTestHost&, VoRecordingDelegate&)> run;
  const char* pattern;
};

TEST(Loop, Rules) {
  const Scenario scenarios[] = {
      {"the first update is one period after the rate is set; the game reads the clock in whole milliseconds", -1,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         h.Advance(3.0);
         h.SetUpdateRate(60);
         d.onUpdate = [&] { d.log.push_back(std::to_string(h.Millisecs())); };
         h.Begin();
         h.RunUntil(3.0 + 2.5 * kPeriod);
       },
       "sru\\[3016\\]ru\\[3033\\]r"},
      {"a small backlog is caught up on the original grid", 60,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         h.Advance(2.5 * kPeriod);
         h.Pass();
         d.log.push_back("next " + std::to_string(std::lround(h._nextUpdate / kPeriod)));  // in periods
       },
       "sruur\\[next 3\\]"},
      {"falling behind runs four updates and restarts the schedule", 60,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         d.onUpdate = [&] { h.Advance(6 * kPeriod); };  // a slow machine
         h.Advance(kPeriod);
         h.Pass();
         d.log.push_back(h._nextUpdate == h.Now() ? "now" : "later");
         h.Pass();
       },
       "sruuuur\\[now\\]uuuur"},
      {"an update that stops the rate ends the catch-up", 60,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         d.onUpdate = [&] { h.SetUpdateRate(0); };
         h.Advance(10 * kPeriod);
         h.Pass();
         d.log.push_back("next " + std::to_string(std::lround(h._nextUpdate / kPeriod)));  // in periods
         h.RunUntil(1.0);
       },
       "srur\\[next 2\\]r*"},
      {"iconified: idle, one update on restore; unfocused: drawn after events, not while iconified", 60,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         h.At(0.5, [&] { h.iconified = true; });
         h.At(1.0, [&] { h.iconified = false; });
         h.At(1.5, [&] { h.active = false; });
         h.Key(1.6, VoGameEvent::KeyDown, 65);
         h.At(1.7, [&] {
           h.iconified = true;
           d.log.push_back("iconified");
         });
         h.At(2.0, [&] { h.iconified = false; });
         h.Key(2.5, VoGameEvent::KeyDown, 65);
         h.RunUntil(3.0);
       },
       "sr(ur){29,31}SRur(ur){28,31}Sr+\\[key 1 65\\]r\\[iconified\\]r\\[key 1 65\\]r+"},
      {"a page's pass runs an update due within its early allowance, and not one due later", 60,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         h._earlyUpdate = kPeriod / 2;
         h.Advance(0.6 * kPeriod);  // the first update is due in 0.4 periods
         h.RunPass();
         d.log.push_back("a");
         h.Advance(0.3 * kPeriod);  // the second is due in 1.1 periods
         h.RunPass();
         d.log.push_back("b");
       },
       "srur\\[a\\]\\[b\\]"},
      {"calls in the wrong state are ignored", -1,
       [](VoTestHost& h, VoRecordingDelegate&) {
         h.KeyEvent(VoGameEvent::KeyDown, 65);
         for (auto call : {&VoGame::RenderGame, &VoGame::UpdateGame, &VoGame::SuspendGame, &VoGame::StartGame,
                           &VoGame::StartGame, &VoGame::ResumeGame, &VoGame::SuspendGame, &VoGame::SuspendGame,
                           &VoGame::UpdateGame, &VoGame::RenderGame})
           (h.*call)();
         h.TouchEvent(VoGameEvent::TouchDown, 1, 3, 4);
       },
       "sSr\\[touch 7 1 3 4\\]"},
      {"Run returns once the window is gone", -1,
       [](VoTestHost& h, VoRecordingDelegate& d) {
         h.SetUpdateRate(60);
         h.At(1.0, [&] { h.open = false; });
         h.Run();
         d.log.push_back("opens " + std::to_string(h.windowOpens));
       },
       "sr(ur){59,60}\\[opens 1\\]"},
  };
  for (const Scenario& s : scenarios) {
    VoTestHost host;
    auto* delegate = new VoRecordingDelegate();
    host.SetDelegate(delegate);
    if (s.rate >= 0) {
      host.SetUpdateRate(s.rate);
      host.Begin();
    }
    s.run(host, *delegate);
    EXPECT_TRUE(std::regex_match(Compact(delegate->log), std::regex(s.pattern)))
        << s.name << "\n  log: " << Compact(delegate->log) << "\n  pattern: " << s.pattern;
  }
}

struct Mortal : VoRecordingDelegate {
  Mortal() {}
  ~Mortal() override { ++destroyed; }
  static inline int destroyed = 0;
};

TEST(Loop, DelegateSurvivesCollectionsAndExceptionsEndTheProgram) {
  VoTestHost host;
  auto* delegate = new Mortal();
  host.SetDelegate(delegate);
  delegate->onUpdate = [] {
    for (int i = 0; i < 10; ++i) new Object;  // garbage for the collector to destroy
  };
  gc_stress = true;
  host.SetUpdateRate(60);
  host.Begin();
  host.RunUntil(0.5);
  gc_stress = false;
  EXPECT_EQ(Mortal::destroyed, 0);
  delegate->onUpdate = [] { throw new ThrowableObject(); };
  ChildResult r = RunInChild([&] { host.RunUntil(1.0); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Uncaught Dovel Exception\n");
  delegate->onUpdate = [] { throw 7; };
  EXPECT_THROW(host.UpdateGame(), int) << "other exceptions pass the fence";
}

}  // namespace
