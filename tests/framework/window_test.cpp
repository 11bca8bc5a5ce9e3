// Runs the window test application on the real host in an X server (the test
// command is wrapped in xvfb-run) and drives it with xdotool: a real window,
// real key and mouse events and the fixed update rate must reach the
// application through host, delegate and input device.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

// Output of a shell command, trailing newline removed.
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The application as a child process whose standard output is collected line
// by line on a reader thread.
class AppProcess {
 public:
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    char* args[] = {const_cast<char*>(WINDOW_APP_PATH), nullptr};
    int rc = posix_spawn(&pid_, WINDOW_APP_PATH, &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
      close(fds[0]);
      pid_ = -1;
      return false;
    }
    reader_ = std::thread([this, fd = fds[0]] { Read(fd); });
    return true;
  }

  ~AppProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (reader_.joinable()) reader_.join();
  }

  // Waits for the next line (after those already taken) that starts with
  // prefix; empty when none came before the deadline or the output ended.
  std::string Expect(const std::string& prefix, int seconds = 20) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      while (taken_ < lines_.size()) {
        const std::string& line = lines_[taken_++];
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
      }
      if (ended_) return "";
      if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return "";
    }
  }

  // Exit status of the process, -1000 when it did not end normally in time.
  int Wait(int seconds = 20) {
    for (int i = 0; i < seconds * 20 && pid_ > 0; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
      }
      usleep(50000);
    }
    return -1000;
  }

 private:
  void Read(int fd) {
    std::string partial;
    char buffer[512];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      partial.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = partial.find('\n')) != std::string::npos) {
        lines_.push_back(partial.substr(0, end));
        partial.erase(0, end + 1);
      }
      changed_.notify_all();
    }
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

  pid_t pid_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  size_t taken_ = 0;
  bool ended_ = false;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The application runs in a scratch folder so its state file goes there.
    char dir[] = "/tmp/quillet-window-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    scratch_ = dir;
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    ASSERT_TRUE(app_.Start());
    ASSERT_EQ(app_.Expect("create"), "create");
    window_ = Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Quillet$' | head -n 1");
    ASSERT_FALSE(window_.empty()) << "no window titled Quillet";
    Shell("xdotool windowfocus --sync " + window_);
  }

  void TearDown() override { Shell("rm -rf " + scratch_); }

  // The colour of a window pixel as "#RRGGBB".
  std::string Pixel(int x, int y) {
    std::string out = Shell("import -window " + window_ + " -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                            " -depth 8 txt:- 2>/dev/null");
    size_t hash = out.find('#', out.find('\n'));
    return hash == std::string::npos ? out : out.substr(hash, 7);
  }

  AppProcess app_;
  std::string window_;
  std::string scratch_;
};

TEST_F(WindowTest, OpensA640By480WindowAndDrawsEachFrame) {
  std::string geometry = Shell("xdotool getwindowgeometry " + window_);
  EXPECT_NE(geometry.find("Geometry: 640x480"), std::string::npos) << geometry;
  // Let a few frames go by, then read the picture back from the X server.
  ASSERT_FALSE(app_.Expect("ups ").empty());
  EXPECT_EQ(Pixel(20, 20), "#000080");
  EXPECT_EQ(Pixel(150, 150), "#FF0000");
  EXPECT_EQ(Pixel(299, 249), "#FF0000");
  EXPECT_EQ(Pixel(301, 251), "#000080");
}

TEST_F(WindowTest, RunsSixtyUpdatesPerSecondAndRendersToo) {
  // The first second includes start-up; judge the next five.
  ASSERT_FALSE(app_.Expect("ups ").empty());
  int best = 0;
  for (int second = 0; second < 5; ++second) {
    std::string line = app_.Expect("ups ");
    ASSERT_FALSE(line.empty());
    int updates = 0;
    int renders = 0;
    ASSERT_EQ(sscanf(line.c_str(), "ups %d renders %d", &updates, &renders), 2) << line;
    // The fixed-rate loop never runs ahead of its schedule.
    EXPECT_LE(updates, 62) << line;
    EXPECT_GT(renders, 0) << line;
    best = std::max(best, updates);
  }
  EXPECT_GE(best, 58);
}

TEST_F(WindowTest, KeyboardReachesTheApplication) {
  Shell("xdotool key --delay 100 a shift+b");
  EXPECT_EQ(app_.Expect("hit 65"), "hit 65 1");
  EXPECT_EQ(app_.Expect("char "), "char 97");
  EXPECT_EQ(app_.Expect("hit 66"), "hit 66 1");
  EXPECT_EQ(app_.Expect("char "), "char 66");
}

TEST_F(WindowTest, MouseReachesTheApplicationAsPointerAndTouch) {
  Shell("xdotool mousemove --window " + window_ + " 100 120");
  EXPECT_EQ(app_.Expect("mouse 100"), "mouse 100 120");
  Shell("xdotool click 1");
  // Button 0 is code 1 and presses touch 0 (code 384) with it.
  EXPECT_EQ(app_.Expect("hit 1 "), "hit 1 1");
  EXPECT_EQ(app_.Expect("hit 384"), "hit 384 1");
  Shell("xdotool click 3");
  EXPECT_EQ(app_.Expect("hit 2 "), "hit 2 1");
}

// The close button's request becomes the close key, which ends the program
// with status 0.
TEST_F(WindowTest, ClosingTheWindowEndsWithStatusZero) {
  // The host tests' stand-in window manager sends WM_DELETE_WINDOW.
  Shell(std::string(X_WINDOW_STATE_PATH) + " close " + window_);
  EXPECT_EQ(app_.Wait(), 0);
}

}  // namespace
