// Input-to-screen latency: the time from a key press sent to the X server
// (through XTest, as xdotool sends it) until the program's window shows the
// change, read back with XGetImage.
//
//   latency_bench game|floor PRESSES PROGRAM [ARGS...]
//
// Starts PROGRAM in the current folder (its output goes to standard error),
// waits for its window ("Quillet" for the game, "latency floor" for
// latency_floor) and gives it the focus. For the game it then selects game
// mode 1 on the title menu and starts it: the play benchmark's mode, whose
// small sprites leave the frame cheap. On the play screen the dot of the up
// control turns from red to yellow while Up is held; latency_floor paints
// its whole window the same two colours. Each of the PRESSES measured presses
// (after a few unmeasured ones) waits a random time, so that presses fall at
// every point of the game's update period, presses Up, polls one pixel of the
// dot until it is yellow, releases Up and waits for red again.
//
// Prints `median_ms=… p95_ms=… min_ms=… max_ms=… presses=…`.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench/clock.h"

namespace {

// The up control's dot on the 640 x 480 play screen: centred at 0.3 of the
// width and 64 above three quarters of the height.
constexpr int kDotX = 192;
constexpr int kDotY = 296;
// The dot is drawn red at alpha 0.5 (green at most 127 over any background)
// and yellow at alpha 0.8 (green at least 204).
constexpr double kLitGreen = 170;

constexpr int kWarmupPresses = 5;
// A fixed seed: every run presses at the same moments after each release.
constexpr unsigned kGapSeed = 17;
// Random wait before each press: three update periods at 60 Hz.
constexpr double kMaxPressGapS = 0.05;
// Each poll is a round trip through the X server, which also has to take the
// frames in: polling faster would slow the contender.
constexpr double kPollGapS = 0.0005;
constexpr double kChangeTimeoutS = 2.0;
constexpr double kWindowTimeoutS = 30.0;
constexpr double kWindowPollS = 0.05;
// The game's loader and the title menu's slide-in, then the play screen's; on
// a busy machine the title menu may come later, so starting is retried.
constexpr double kTitleSettleS = 2.0;
constexpr int kStartAttempts = 5;
constexpr double kKeyHoldS = 0.3;
// Up steps the title menu's mode down by one per press, from at most mode 3.
constexpr int kModeSteps = 2;
constexpr double kPlaySettleS = 1.5;

pid_t child = 0;

void Fail(const char* message) {
  std::fprintf(stderr, "latency_bench: %s\n", message);
  if (child > 0) kill(child, SIGTERM);
  std::exit(1);
}

void SleepS(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

pid_t Start(char** argv) {
  pid_t pid = fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    // Standard output is this program's result line.
    dup2(2, 1);
    execvp(argv[0], argv);
    std::perror(argv[0]);
    _exit(127);
  }
  return pid;
}

// The viewable top-level window titled `name`, or 0.
Window FindWindow(Display* dpy, const char* name) {
  Window root = DefaultRootWindow(dpy), parent, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(dpy, root, &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* title = nullptr;
    XWindowAttributes attributes;
    if (XFetchName(dpy, children[i], &title) && title && std::strcmp(title, name) == 0 &&
        XGetWindowAttributes(dpy, children[i], &attributes) && attributes.map_state == IsViewable)
      found = children[i];
    if (title) XFree(title);
  }
  if (children) XFree(children);
  return found;
}

// Reads the green channel of the dot's pixel, scaled to 0..255.
class DotProbe {
 public:
  DotProbe(Display* dpy, Window window) : dpy_(dpy), window_(window) {
    XWindowAttributes attributes;
    XGetWindowAttributes(dpy, window, &attributes);
    mask_ = attributes.visual->green_mask;
    while (mask_ && !(mask_ & (1ul << shift_))) ++shift_;
  }

  double Green() {
    XImage* image = XGetImage(dpy_, window_, kDotX, kDotY, 1, 1, AllPlanes, ZPixmap);
    if (!image) Fail("XGetImage failed");
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return 255.0 * static_cast<double>((pixel & mask_) >> shift_) / static_cast<double>(mask_ >> shift_);
  }

  // Polls until the dot is lit (or unlit); the seconds that took, or -1.
  double WaitFor(bool lit, double since) {
    for (;;) {
      const bool now = Green() >= kLitGreen;
      const double t = MonotonicS();
      if (now == lit) return t - since;
      if (t - since > kChangeTimeoutS) return -1;
      SleepS(kPollGapS);
    }
  }

 private:
  Display* dpy_;
  Window window_;
  unsigned long mask_ = 0;
  int shift_ = 0;
};

void Key(Display* dpy, KeySym key, bool down) {
  XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), down ? True : False, CurrentTime);
  XFlush(dpy);
}

// Holds a key long enough for an update to see it, then releases it for as
// long: the title menu acts once per press.
void Tap(Display* dpy, KeySym key) {
  Key(dpy, key, true);
  SleepS(kKeyHoldS);
  Key(dpy, key, false);
  SleepS(kKeyHoldS);
}

// Selects game mode 1 on the title menu and starts it, until the play screen's
// up dot is red and lights while Up is held.
void StartPlay(Display* dpy, DotProbe* probe) {
  SleepS(kTitleSettleS);
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    for (int i = 0; i < kModeSteps; ++i) Tap(dpy, XK_Up);
    Tap(dpy, XK_z);
    SleepS(kPlaySettleS);
    if (probe->WaitFor(false, MonotonicS()) < 0) continue;
    Key(dpy, XK_Up, true);
    const bool lit = probe->WaitFor(true, MonotonicS()) >= 0;
    Key(dpy, XK_Up, false);
    if (lit) return;
  }
  Fail("the play screen did not appear");
}

// The value below which `share` of the sorted samples lie (nearest rank).
double Quantile(const std::vector<double>& sorted, double share) {
  size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
  return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

}  // namespace

int main(int argc, char** argv) {
  const bool game = argc > 1 && std::strcmp(argv[1], "game") == 0;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 0;
  if (argc < 4 || (!game && std::strcmp(argv[1], "floor") != 0) || presses < 1) {
    std::fprintf(stderr, "usage: latency_bench game|floor PRESSES PROGRAM [ARGS...]\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) Fail("no X display");
  int event, error, major, minor;
  if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) Fail("the X server has no XTest");

  child = Start(argv + 3);
  Window window = 0;
  for (double start = MonotonicS(); !window; SleepS(kWindowPollS)) {
    if (waitpid(child, nullptr, WNOHANG) == child) {
      child = 0;
      Fail("the program ended before its window appeared");
    }
    if (MonotonicS() - start > kWindowTimeoutS) Fail("the window did not appear");
    window = FindWindow(dpy, game ? "Quillet" : "latency floor");
  }
  // Without the focus the game is suspended and never updates.
  XSetInputFocus(dpy, window, RevertToParent, CurrentTime);
  XSync(dpy, False);
  DotProbe probe(dpy, window);
  if (game) StartPlay(dpy, &probe);
  std::mt19937 random(kGapSeed);
  std::uniform_real_distribution<double> gap(0.0, kMaxPressGapS);
  std::vector<double> samples;
  for (int i = 0; i < kWarmupPresses + presses; ++i) {
    if (probe.WaitFor(false, MonotonicS()) < 0) Fail("the dot stays lit");
    SleepS(gap(random));
    const double pressed = MonotonicS();
    Key(dpy, XK_Up, true);
    const double latency = probe.WaitFor(true, pressed);
    Key(dpy, XK_Up, false);
    if (latency < 0) Fail("the dot did not light");
    if (i >= kWarmupPresses) samples.push_back(latency * 1000.0);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  XCloseDisplay(dpy);

  std::sort(samples.begin(), samples.end());
  std::printf("median_ms=%.2f p95_ms=%.2f min_ms=%.2f max_ms=%.2f presses=%d\n", Quantile(samples, 0.5),
              Quantile(samples, 0.95), samples.front(), samples.back(), presses);
  return 0;
}
