// A child saving random states is killed at random moments: the state file must
// load whole, and the load clears dead saves' temporary files but not live ones.
// The same for a child writing mapping lines from the controller panel.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "tests/support/game_fixture.h"

namespace {

using SaveKill = gametest::GameTest;

int TempFiles(const std::string& of = ".dovelstate") {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("."))
    n += e.path().filename().string().rfind(of + ".tmp.", 0) == 0;
  return n;
}

// Forks a child that signals it runs and then repeats `work` until it is
// killed, which happens after a random moment of up to 20 ms.
void KillMidway(std::mt19937& rng, const std::function<void()>& work) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    testing::internal::CaptureStdout();
    if (write(ready[1], "r", 1) != 1) _exit(2);
    for (;;) work();
  }
  char byte;
  close(ready[1]);
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  usleep(static_cast<useconds_t>(rng() % 20000));
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
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
    std::mt19937 own(rng());
    KillMidway(rng, [&] {
      Scramble(app, own);
      app->p_Save();
    });
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

// A child that writes the panel's mapping line for one pad, alternating between two, at random moments: the file
// behind the link then holds the 5,000 other lines and one of the two whole, and the next start clears the dead
// write's temporary file.
TEST_F(SaveKill, EveryKillLeavesTheMappingFileWhole) {
  const std::string guid = "030000004c050000c405000011810000";
  const std::string lines[] = {guid + ",Pad A,a:b0,platform:Linux,", guid + ",Pad B,a:b1,b:b0,platform:Linux,"};
  std::string others;
  char other[40];
  for (int i = 1; i <= 5000; ++i)
    others += (std::snprintf(other, sizeof other, "%032x", i), other) + std::string(",O,a:b0,\n");
  std::ofstream("db.txt", std::ios::binary) << others << lines[0] << "\n";
  std::filesystem::create_symlink("db.txt", "gamecontrollerdb.txt");
  std::mt19937 rng(20261208);
  for (int kill = 0; kill < 100; ++kill) {
    int n = 0;
    KillMidway(rng, [&] { host.SaveGamepadMapping(lines[n++ % 2]); });
    std::ostringstream text;
    text << std::ifstream("db.txt", std::ios::binary).rdbuf();
    ASSERT_TRUE(text.str() == others + lines[0] + "\n" || text.str() == others + lines[1] + "\n")
        << "after kill " << kill;
    host.LoadGamepadMappings();
    ASSERT_EQ(TempFiles("db.txt"), 0) << "the start left a dead write's temporary file";
  }
}

}  // namespace
