// The fixed-rate loop of the desktop host. It turns the platform's clock and
// window state into start, suspend, resume, update and render calls:
//
// - updates are due every _updatePeriod seconds; the loop sleeps until the
//   next one is due instead of spinning;
// - at most 4 updates run before each render; a longer backlog is dropped so
//   a slow machine slows the game down instead of freezing it;
// - an iconified window suspends the game and draws nothing; a window without
//   the focus suspends it but keeps drawing after each batch of events;
// - while nothing is due (rate 0 or suspended) the loop blocks on events.
//
// A pass never blocks: it says when it wants the next one, and the desktop's
// Step waits that long on the platform. A browser page, which must return to
// the browser every frame, runs one pass per animation frame instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/game.h"

namespace {

// With QUILLET_MEMLOG=1 in the environment the loop prints one line a second,
// "mem: gc=<bytes the collector holds> rss=<resident kB>", so that a long run
// can be watched from outside the process.
bool memLog = false;
double nextMemLog = 0;

void printMemLog() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  long kb = resident * (sysconf(_SC_PAGESIZE) / 1024);
  voPrint(String("mem: gc=") + String(gc_held_bytes()) + String(" rss=") + String(static_cast<int>(kb)));
}

}  // namespace

void VoGlfwGame::SetUpdateRate(int hertz) {
  _updateRate = hertz;
  if (hertz == 0) return;
  _updatePeriod = 1.0 / hertz;
  _nextUpdate = _platform->Time() + _updatePeriod;
}

int VoGlfwGame::Millisecs() { return WrapMillisecs(static_cast<long long>(_platform->Time() * 1000.0)); }

void VoGlfwGame::Run() {
  BeginRun();
  while (Step()) {
  }
}

bool VoGlfwGame::Step() {
  VoNextPass next = RunPass();
  if (next.kind == VoNextPass::Stop) return false;
  _platform->Wait(next);
  return true;
}

void VoGlfwGame::BeginRun() {
  const char* log = std::getenv("QUILLET_MEMLOG");
  memLog = log && std::strcmp(log, "1") == 0;
  nextMemLog = _platform->Time() + 1.0;
  SetGlfwWindow(640, 480, 8, 8, 8, 0, 0, 0, false);
  // Without a window there is no GL context to start the drivers on; the
  // first pass then finds no open window and ends the loop.
  if (!_platform->WindowOpen()) {
    voPrint(String("The window could not be opened"));
    return;
  }
  StartGame();
  RenderGame();
}

VoNextPass VoGlfwGame::RunPass() {
  VoPlatform& platform = *_platform;
  platform.PollEvents();
  if (!platform.WindowOpen()) return {VoNextPass::Stop};
  if (memLog && platform.Time() >= nextMemLog) {
    printMemLog();
    nextMemLog += 1.0;
    if (nextMemLog < platform.Time()) nextMemLog = platform.Time() + 1.0;
  }

  if (platform.Iconified()) {
    // Also when the focus went first: an iconified window is never drawn.
    _iconified = true;
    if (!_suspended) SuspendGame();
  } else if (platform.Active()) {
    if (_suspended) {
      _iconified = false;
      ResumeGame();
      // No burst of catch-up updates for the time spent away.
      _nextUpdate = platform.Time();
    }
  } else {
    // Visible again but without the focus: drawn, not updated.
    _iconified = false;
    if (!_suspended) SuspendGame();
  }

  if (_updateRate == 0 || _suspended) {
    if (!_iconified) RenderGame();
    return {VoNextPass::OnEvent};
  }

  double delay = _nextUpdate - platform.Time();
  if (delay > _earlyUpdate) return {VoNextPass::After, delay};

  bool behind = true;
  for (int i = 0; i < 4; ++i) {
    _nextUpdate += _updatePeriod;
    UpdateGame();
    if (_updateRate == 0 || _nextUpdate - platform.Time() > 0) {
      behind = false;
      break;
    }
  }
  RenderGame();
  if (behind && _updateRate != 0) _nextUpdate = platform.Time();
  return {VoNextPass::Now};
}

// The game reloads every picture, one group an update, whenever the window
// changes resolution, and drops the old ones. Paced by allocation alone, the
// last of them would stay alive until the game, which allocates little once it
// runs, had allocated enough to finish a cycle: tens of megabytes held for
// minutes. So the first update that loads nothing after a run of loads
// collects at once.
void VoGlfwGame::UpdateGame() {
  const int loadsBefore = _pictureLoads;
  VoGame::UpdateGame();
  if (_pictureLoads > 0 && _pictureLoads == loadsBefore) ReleaseReplacedPictures();
}

void VoGlfwGame::ReleaseReplacedPictures() {
  gc_release_garbage(_delegate);
  _pictureLoads = 0;
}

bool VoGlfwGame::PollJoystick(int port, Array<float> joyx, Array<float> joyy, Array<float> joyz, Array<bool> buttons) {
  if (port < 0 || port > 3) return false;
  VoJoystickState state;
  if (!_platform->ReadJoystick(port, &state)) return false;
  VoMapJoystick(state, joyx, joyy, joyz, buttons);
  return true;
}
