// A child saving random states is killed at random moments: the state file must
// load whole, and the load clears dead saves' temporary files but not live ones.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/support/game_fixture.h"

namespace {

using SaveKill = gametest::GameTest;

int TempFiles() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("."))
    n += e.path().filename().string().rfind(".dovelstate.tmp.", 0) == 0;
  return n;
}

// Random values of random width, so a torn file cannot pass its checksums by chance.
void Scramble(c_MyApp* app, std::mt19937& rng) {
  auto value = [&] { return static_cast<int>(rng()) / (rng() % 2 ? 1 : 1000000); };
  for (int i = 0; i < app->m_Settings.Length(); ++i) app->m_Settings[i] = value();
  for (int b = 0; b < app->m_Badges.Length(); ++b) app->m_Badges[b] = rng() & 1;
  for (int i = 0; i < app->m_HighScores.Length(); ++i) app->m_HighScores[i] = value();
}

TEST_F(SaveKill, EveryKillLeavesALoadableStateFile) {
  std::mt19937 rng(20261207);
  Scramble(app, rng);
  app->p_Save();
  c_MyApp* other;
  for (int kill = 0; kill < 200; ++kill) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      testing::internal::CaptureStdout();
      std::mt19937 own(static_cast<unsigned>(getpid()));
      if (write(ready[1], "r", 1) != 1) _exit(2);
      for (;;) {
        Scramble(app, own);
        app->p_Save();
      }
    }
    char byte;
    close(ready[1]);
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    usleep(static_cast<useconds_t>(rng() % 20000));
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_EQ(loadInto(&other),
              "Settings Loaded\nBadges Loaded\nHighscore 0 Loaded\nHighscore 1 Loaded\nHighscore 2 Loaded\n")
        << "after kill " << kill << ": " << saved();
    ASSERT_EQ(TempFiles(), 0) << "the load left a dead save's temporary file";
  }
  const std::string live = ".dovelstate.tmp." + std::to_string(getppid());
  for (const std::string& name : {live, std::string(".dovelstate.tmp.999999999")}) std::ofstream(name) << "x";
  loadInto(&other);
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_TRUE(std::filesystem::exists(live)) << "a running save's file stays";
}

}  // namespace
