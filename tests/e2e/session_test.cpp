// End-to-end: the real program in an X server (the test command is wrapped in
// xvfb-run), played with xdotool as a player would. Keys and buttons are held
// for several updates so that the game sees every press.
//
// The session: loading screen and title menu, mode 3 chosen with the down key,
// a game started, the sprite count raised to 80 with the plus button, the
// pause menu opened, the sound mode stepped to 2 and play resumed, then paused
// again and quit; after the game-over panel the title menu is back and the
// state file holds the new tables. A second run loads that file section by
// section, and a tampered file fails exactly the section that was changed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

// Runs a command through the shell and returns its exit status.
int Sh(const std::string& command) { return std::system(command.c_str()); }

void Pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// n copies of "0|".
std::string Zeros(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "0|";
  return s;
}

// The state after the scripted session: sound mode 2 and the pad floors in
// the settings (checksum 5·2 + 10·64 + 11·64 + 12·10 = 1474), no badges, and
// a score of 80 as mode 3's best and last (checksum 4·80 + 5·80 = 720).
const std::string kSessionState = "0|0|0|0|0|2|0|0|0|0|64|64|10|0|0|0|0|0|0|0|0|0|0|0|0|1474|" + Zeros(9) + Zeros(21) +
                                  Zeros(21) + "80|80|" + Zeros(18) + "720|";

// How long a key or button stays down, and up again before the next one.
// Every action of the session is latched by the game, so a long hold still
// acts once.
const double kHold = 0.4;

// One run of the program in a scratch folder that links the built data
// folder; standard output goes to out.log there.
class Program {
 public:
  explicit Program(const std::string& folder) : folder_(folder) {}

  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool Start() {
    if (chdir(folder_.c_str()) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "out.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "err.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* args[] = {const_cast<char*>(QUILLET_PATH), nullptr};
    int rc = posix_spawn(&pid_, QUILLET_PATH, &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
    Sh("timeout 20 xdotool search --sync --onlyvisible --name '^Quillet$' > window.txt");
    window_ = ReadFile(folder_ + "/window.txt");
    window_ = window_.substr(0, window_.find('\n'));
    if (window_.empty()) return false;
    Sh("xdotool windowfocus --sync " + window_);
    return true;
  }

  // Holds a key long enough for an update to see it even when a frame of
  // the software renderer on a busy machine takes a while, then lets go.
  void Key(const std::string& key) {
    Sh("xdotool keydown " + key);
    Pause(kHold);
    Sh("xdotool keyup " + key);
    Pause(kHold);
  }

  // A click at a window position (640 x 480 window: design units), held like a key.
  void Click(int x, int y) {
    Sh("xdotool mousemove --window " + window_ + " " + std::to_string(x) + " " + std::to_string(y));
    Sh("xdotool mousedown 1");
    Pause(kHold);
    Sh("xdotool mouseup 1");
    Pause(kHold);
  }

  // Closes the window and returns the exit status (-1 when it did not end).
  int Close() {
    // The window manager's close button, played by the host tests' X tool.
    Sh(std::string(X_WINDOW_STATE_PATH) + " close " + window_);
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      Pause(0.1);
    }
    return -1;
  }

  std::string Output() const { return ReadFile(folder_ + "/out.log"); }

 private:
  std::string folder_;
  std::string window_;
  pid_t pid_ = -1;
};

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/quillet-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    folder_ = dir;
    ASSERT_EQ(symlink(DATA_DIR, (folder_ + "/data").c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir("/"), 0);
    Sh("rm -rf " + folder_);
  }

  std::string State() const { return ReadFile(folder_ + "/.dovelstate"); }
  // The state file once it holds `expected`, or as it is after 30 s: the
  // game-over panel takes 90 updates, which a slow software renderer may
  // stretch, and a focus change may have saved an earlier state meanwhile.
  std::string AwaitState(const std::string& expected) const {
    for (int i = 0; i < 150 && State() != expected; ++i) Pause(0.2);
    return State();
  }
  void SetState(const std::string& s) const { WriteFile(folder_ + "/.dovelstate", s); }

  // Runs the program on the current state file, closes it at once and
  // returns its output; the exit status must be 0.
  std::string LoadOnly() {
    Program run(folder_);
    EXPECT_TRUE(run.Start());
    Pause(1.0);
    EXPECT_EQ(run.Close(), 0);
    return run.Output();
  }

  std::string folder_;
};

// The lines of `text` that contain `word`.
std::vector<std::string> LinesWith(const std::string& text, const std::string& word) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(word) != std::string::npos) out.push_back(line);
  return out;
}

TEST_F(Session, PlayedGameIsSavedAndLoadedByTheNextRun) {
  {
    Program run(folder_);
    ASSERT_TRUE(run.Start());
    Pause(1.5);       // loading screen, then the title menu slides in
    run.Key("Down");  // mode 2 -> 3
    run.Key("z");     // start the game
    Pause(0.3);
    for (int i = 0; i < 3; ++i) run.Click(512, 240);  // plus: 50 -> 80
    run.Key("Escape");                                // pause
    Pause(0.5);
    run.Key("Right");  // select the sound button
    run.Key("z");      // sound mode 1 -> 2
    run.Key("Down");   // back to resume
    run.Key("z");      // resume
    Pause(0.8);
    run.Key("Escape");  // pause again
    Pause(0.5);
    run.Key("Left");                                      // select quit
    run.Key("z");                                         // quit: the game-over panel builds up
    EXPECT_EQ(AwaitState(kSessionState), kSessionState);  // recorded, back on the title menu
    EXPECT_EQ(run.Close(), 0);
    EXPECT_TRUE(LinesWith(run.Output(), "Loaded").empty()) << run.Output();
  }
  std::string out = LoadOnly();
  EXPECT_EQ(LinesWith(out, "Loaded"),
            (std::vector<std::string>{"Settings Loaded", "Badges Loaded", "Highscore 0 Loaded", "Highscore 1 Loaded",
                                      "Highscore 2 Loaded"}))
      << out;
  EXPECT_TRUE(LinesWith(out, "Invalid").empty()) << out;
}

// A changed value fails only its own section; every other section still loads.
TEST_F(Session, TamperedFileFailsOnlyTheChangedSection) {
  struct Case {
    std::string from, to, invalid;
  };
  const Case cases[] = {
      {"|2|0|0|0|0|64|", "|3|0|0|0|0|64|", "Settings Checksum Invalid"},
      {"|1474|0|", "|1474|4|", "Badge Checksum Invalid"},
      {"|80|80|", "|81|80|", "Highscore 2 Checksum Invalid"},
  };
  for (const Case& c : cases) {
    std::string state = kSessionState;
    size_t at = state.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    state.replace(at, c.from.size(), c.to);
    SetState(state);
    std::string out = LoadOnly();
    EXPECT_EQ(LinesWith(out, "Invalid"), std::vector<std::string>{c.invalid}) << out;
    EXPECT_EQ(LinesWith(out, "Loaded").size(), 4u) << out;
  }
}

}  // namespace
