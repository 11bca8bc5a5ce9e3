// What the music build sounds like: the game runs in the X server that wraps
// this test, OpenAL Soft's wave-file backend (configured by ALSOFT_CONF)
// records its mix, and xdotool plays a short session: start a game from the
// title menu, listen, pause, quit. The recording is then measured in
// half-second windows aligned to those moments.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Holds a key long enough for the game's updates to see it down.
void Press(const char* key) {
  std::string down = std::string("xdotool keydown ") + key;
  std::string up = std::string("xdotool keyup ") + key;
  ASSERT_EQ(std::system(down.c_str()), 0);
  Sleep(0.15);
  ASSERT_EQ(std::system(up.c_str()), 0);
}

// Loudness (RMS of both channels) of each half second of a 16-bit stereo WAV
// file; the data runs to the end of the file, since the game is ended before
// the backend can finish the header.
std::vector<double> Loudness(const std::string& path, int* rate) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b(std::istreambuf_iterator<char>(in), {});
  auto le = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
  };
  size_t at = 12;
  *rate = 0;
  while (at + 8 <= b.size()) {
    uint32_t size = le(at + 4, 4);
    std::string tag(b.begin() + at, b.begin() + at + 4);
    if (tag == "fmt ") *rate = static_cast<int>(le(at + 12, 4));
    at += 8;
    if (tag == "data") break;
    at += size + (size & 1);
  }
  std::vector<double> windows;
  if (*rate <= 0) return windows;
  size_t frames = (b.size() - at) / 4, per = static_cast<size_t>(*rate) / 2;
  for (size_t w = 0; (w + 1) * per <= frames; ++w) {
    double sum = 0;
    for (size_t f = w * per; f < (w + 1) * per; ++f) {
      double l = static_cast<int16_t>(le(at + 4 * f, 2)), r = static_cast<int16_t>(le(at + 4 * f + 2, 2));
      sum += l * l + r * r;
    }
    windows.push_back(std::sqrt(sum / (2.0 * per)));
  }
  return windows;
}

// The windows that lie wholly between two moments of the recording (seconds).
std::vector<double> Between(const std::vector<double>& windows, double from, double to) {
  std::vector<double> out;
  for (size_t w = 0; w < windows.size(); ++w) {
    if (w * 0.5 >= from && w * 0.5 + 0.5 <= to) out.push_back(windows[w]);
  }
  return out;
}

// The game as a child process, ended when the test is done with it, however
// the test ends.
class Game {
 public:
  explicit Game(const char* path) {
    char* args[] = {const_cast<char*>(path), nullptr};
    if (posix_spawn(&pid_, path, nullptr, nullptr, args, environ) != 0) pid_ = -1;
  }
  ~Game() { End(); }
  bool Running() const { return pid_ > 0; }
  void End() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

TEST(MusicHeard, AGameSessionPlaysVaryingMusicAndStopsAfterQuitting) {
  // A folder of its own (it also receives the game's state file).
  char folder[] = "/tmp/quillet-music-heard-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string dir = folder;
  std::filesystem::create_directory_symlink(QUILLET_RUN_DIR "/data", dir + "/data");
  std::string wav = dir + "/heard.wav", conf = dir + "/wave.conf";
  std::ofstream(conf) << "drivers = wave\nchannels = stereo\nsample-type = int16\nfrequency = 44100\n"
                         "hrtf = false\n[wave]\nfile = "
                      << wav << "\n";
  setenv("ALSOFT_CONF", conf.c_str(), 1);
  ASSERT_EQ(chdir(dir.c_str()), 0);

  Clock::time_point t0 = Clock::now();
  Game game(QUILLET_PATH);
  ASSERT_TRUE(game.Running());

  // Title menu, then Space starts the selected mode (2 at first: Cavern Walk).
  Sleep(4);
  ASSERT_EQ(std::system("xdotool search --sync --name Quillet windowfocus --sync > /dev/null"), 0);
  double start = Since(t0);
  Press("space");
  Sleep(16);
  // Escape pauses; Left selects quit; Space quits to the game-over panel,
  // which gives way to the title menu after 90 updates.
  double pause = Since(t0);
  Press("Escape");
  Sleep(2.0);
  double quit = Since(t0);
  Press("Left");
  Sleep(0.3);
  Press("space");
  Sleep(5);
  double end = Since(t0);
  game.End();

  int rate = 0;
  std::vector<double> windows = Loudness(wav, &rate);
  ASSERT_EQ(chdir("/"), 0);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(rate, 44100);
  // The recording ends when the game does; align its end with that moment.
  double offset = end - windows.size() * 0.5;
  auto span = [&](double from, double to) { return Between(windows, from - offset, to - offset); };

  // Every check gives the whole loudness profile when it fails.
  std::string profile = "\nloudness per half second from the start of the recording:";
  for (double w : windows) profile += " " + std::to_string(static_cast<int>(w));
  profile += "\nstart " + std::to_string(start - offset) + " pause " + std::to_string(pause - offset) + " quit " +
             std::to_string(quit - offset);

  // Each span keeps three quarters of a second from the moments that bound
  // it: keys take an update or two to act, and the recording's clock
  // need not match the test's to the millisecond.
  const double silent = 50, margin = 0.75;
  for (double w : span(margin, start - margin)) EXPECT_LT(w, silent) << "music on the title menu" << profile;

  // The tune loads in a fraction of a second and then plays throughout.
  std::vector<double> play = span(start + 1.5 + margin, pause - margin);
  ASSERT_GE(play.size(), 20u) << profile;
  double sum = 0;
  int heard = 0;
  for (double w : play) {
    sum += w;
    heard += w > 100;
  }
  EXPECT_GT(sum / play.size(), 500) << "the music is too quiet" << profile;
  EXPECT_GE(heard, static_cast<int>(play.size() * 0.9)) << "the music falls silent while playing" << profile;
  // Patterns, voices and sections change what is heard: two-second blocks differ.
  std::vector<double> blocks;
  for (size_t i = 0; i + 4 <= play.size(); i += 4) {
    blocks.push_back((play[i] + play[i + 1] + play[i + 2] + play[i + 3]) / 4);
  }
  double loudest = *std::max_element(blocks.begin(), blocks.end());
  double quietest = *std::min_element(blocks.begin(), blocks.end());
  EXPECT_GT(loudest, 1.3 * quietest) << profile;

  // Paused: the voices stop.
  std::vector<double> paused = span(pause + margin, quit);
  ASSERT_GE(paused.size(), 2u) << profile;
  for (double w : paused) EXPECT_LT(w, silent) << "music while paused" << profile;
  // After the game-over panel (1.5 s from the quit key) the tune is stopped for good.
  std::vector<double> after = span(quit + 0.45 + 1.5 + margin, end - margin);
  ASSERT_GE(after.size(), 3u) << profile;
  for (double w : after) EXPECT_LT(w, silent) << "music after quitting to the title menu" << profile;
}

}  // namespace
