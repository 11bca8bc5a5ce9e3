// Saves survive a crash: a child process saves the game's state in a loop
// through the real save path and is killed with SIGKILL at random moments.
// After every kill the state file must exist and load with all three of its
// sections' checksums valid, and the start-up load must clear away the
// temporary file that a save killed before its rename leaves behind.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "tests/game/flow_fixture.h"

namespace {

using SaveKill = gametest::SessionTest;

const int kKills = 200;

// The names of the save's temporary files in the working folder.
std::vector<std::string> tempFiles() {
  std::vector<std::string> names;
  DIR* dir = opendir(".");
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.rfind(".dovelstate.tmp.", 0) == 0) names.push_back(name);
  }
  closedir(dir);
  return names;
}

// Fills every saved field with random values of random width, so that a file
// cut short or mixed from two saves cannot pass its checksums by chance.
void scramble(c_MyApp* app, std::mt19937& rng) {
  std::uniform_int_distribution<int> any(-2000000000, 2000000000);
  std::uniform_int_distribution<int> digits(0, 9);
  auto value = [&] { return digits(rng) < 5 ? any(rng) % 1000 : any(rng); };
  for (int i = 0; i < app->m_Settings.Length(); ++i) app->m_Settings[i] = value();
  for (int b = 0; b < app->m_Badges.Length(); ++b) app->m_Badges[b] = (rng() & 1) != 0;
  for (int i = 0; i < app->m_HighScores.Length(); ++i) app->m_HighScores[i] = value();
}

// The child: the game's start-up load, a byte to say it is running, then
// saves as fast as it can until it is killed.
[[noreturn]] void saveForever(c_MyApp* app, int ready) {
  testing::internal::CaptureStdout();  // keep the load's messages out of the log
  app->p_Load();
  std::mt19937 rng(static_cast<unsigned>(getpid()));
  char byte = 'r';
  if (write(ready, &byte, 1) != 1) _exit(2);
  for (;;) {
    scramble(app, rng);
    app->p_Save();
  }
}

TEST_F(SaveKill, EveryKillLeavesALoadableStateFile) {
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> delayUs(0, 20000);
  scramble(app, rng);
  app->p_Save();
  ASSERT_TRUE(stateSaved());

  int leftovers = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      saveForever(app, fds[1]);
    }
    close(fds[1]);
    char byte;
    ASSERT_EQ(read(fds[0], &byte, 1), 1) << "child " << kill << " did not start";
    close(fds[0]);
    usleep(static_cast<useconds_t>(delayUs(rng)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child " << kill << " ended on its own";

    ASSERT_TRUE(stateSaved()) << "after kill " << kill;
    leftovers += static_cast<int>(tempFiles().size());
    testing::internal::CaptureStdout();
    app->p_Load();
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(printed,
              "Settings Loaded\nBadges Loaded\nHighscore 0 Loaded\n"
              "Highscore 1 Loaded\nHighscore 2 Loaded\n")
        << "after kill " << kill << ", state: " << saved().ToUtf8();
    EXPECT_TRUE(tempFiles().empty()) << "the load left a dead save's temporary file";
  }
  std::printf("%d kills, %d of them left a temporary file behind\n", kKills, leftovers);
}

// A temporary file whose process still runs belongs to a save in progress:
// the start-up load leaves it alone.
TEST_F(SaveKill, ALiveSaversTemporaryFileStays) {
  pid_t parent = getppid();
  std::string live = ".dovelstate.tmp." + std::to_string(parent);
  std::string dead = ".dovelstate.tmp.999999999";
  std::string other = ".dovelstate.tmp.notapid";
  for (const std::string& name : {live, dead, other}) {
    FILE* f = std::fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  testing::internal::CaptureStdout();
  app->p_Load();
  testing::internal::GetCapturedStdout();
  std::vector<std::string> left = tempFiles();
  EXPECT_EQ(left.size(), 2u);
  EXPECT_EQ(access(live.c_str(), F_OK), 0);
  EXPECT_EQ(access(other.c_str(), F_OK), 0);
  EXPECT_NE(access(dead.c_str(), F_OK), 0);
  std::remove(live.c_str());
  std::remove(other.c_str());
}

}  // namespace
