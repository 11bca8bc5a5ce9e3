// The real game on the real desktop host, driven by the benchmark instead of
// the 60 Hz loop. Two modes, both run from the build folder (data/ is there):
//
//   play_bench MODE FRAMES [RECORD_FILE]
//     Opens the window, lets the loader finish, starts a game in game mode
//     MODE (1 to 3) with the maximum of 2,480 sprites and runs FRAMES frames
//     of update + render + buffer swap as fast as possible (swap interval 0)
//     after FRAMES / 4 warm-up frames. Prints `play_fps=… draws_per_frame=…
//     rss_mib=…`; rss_mib is the peak resident size of the whole process.
//     With RECORD_FILE it also writes the batches of one play frame (vertices,
//     textures, blend) for the floor benchmark to draw.
//
//   play_bench --startup
//     Runs the ordinary host loop and prints `startup_ms=…`: the time from
//     process start to the end of the first title-menu frame. Process start is
//     QUILLET_START_NS (CLOCK_REALTIME ns, set by the caller just before it
//     starts this program), else the time main was entered.
#include <GLFW/glfw3.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/clock.h"
#include "bench/frame_record.h"
#include "game/myapp.h"
#include "host/game.h"

namespace {

constexpr int kMaxSprites = 2480;

c_MyApp* currentApp() { return static_cast<c_MyApp*>(vo_app__app); }

// Batches of the frame being recorded, in the order they reach OpenGL.
std::vector<RecordedBatch>* g_recording = nullptr;

void recordBatch(const gxtkGraphics& batch, int blend) {
  RecordedBatch b;
  b.surface = batch.primSurf;
  b.blend = blend;
  b.type = batch.primType;
  b.vertices.assign(batch.vertices, batch.vertices + batch.primCount);
  g_recording->push_back(std::move(b));
}

// The desktop host with the benchmark's two drivers on top.
class BenchHost : public VoGlfwGame {
 public:
  // Marks the first update that draws the title menu; the render after it
  // ends the start-up measurement.
  void UpdateGame() override {
    c_MyApp* app = currentApp();
    if (_startupT0 > 0 && app && app->m_LoadStep == 0 && app->m_State == kStateTitle) _menuUpdated = true;
    VoGlfwGame::UpdateGame();
  }

  void RenderGame() override {
    VoGlfwGame::RenderGame();
    if (_startupT0 > 0 && _menuUpdated) {
      std::printf("startup_ms=%.1f\n", (RealtimeNs() - _startupT0) / 1e6);
      std::fflush(stdout);
      std::exit(0);
    }
  }

  void Startup(double t0) {
    _startupT0 = t0;
    Run();
  }

  // One frame as the loop runs it, without the wait for the next update.
  void Frame() {
    _platform->PollEvents();
    UpdateGame();
    RenderGame();
  }

  int Play(int mode, int frames, const char* recordPath) {
    BeginRun();
    if (!_platform->WindowOpen()) return 1;
    glfwSwapInterval(0);
    c_MyApp* app = currentApp();
    while (app->m_LoadStep != 0) UpdateGame();
    // What a mode button does; the next update starts the game.
    app->m_GameMode = mode;
    app->m_State = kStateStartGame;
    UpdateGame();
    if (app->m_State != kStatePlaying) {
      std::puts("play_bench: the game did not start");
      return 1;
    }
    app->m_SpriteCount = kMaxSprites;
    for (int i = 0; i < frames / 4; ++i) Frame();

    gxtkGraphics* dev = vo_graphics_device;
    const long long calls0 = dev->counters.drawCalls;
    const double t0 = MonotonicS();
    for (int i = 0; i < frames; ++i) Frame();
    const double seconds = MonotonicS() - t0;
    const double draws = static_cast<double>(dev->counters.drawCalls - calls0) / frames;

    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("play_fps=%.2f draws_per_frame=%.1f rss_mib=%.1f sprites=%d\n", frames / seconds, draws,
                static_cast<double>(usage.ru_maxrss) / 1024.0, app->m_SpriteCount);

    if (recordPath) {
      std::vector<RecordedBatch> batches;
      g_recording = &batches;
      gxtkGraphics::flushObserver = recordBatch;
      Frame();
      gxtkGraphics::flushObserver = nullptr;
      if (!WriteFrameRecord(recordPath, dev->Width(), dev->Height(), batches)) {
        std::printf("play_bench: cannot write %s\n", recordPath);
        return 1;
      }
    }
    return 0;
  }

 private:
  double _startupT0 = 0;
  bool _menuUpdated = false;
};

}  // namespace

int main(int argc, const char* argv[]) {
  const double entered = RealtimeNs();
  if (!glfwInit()) {
    std::puts("glfwInit failed");
    return 1;
  }
  BenchHost* host = new BenchHost();
  // The language start-up as the program's entry runs it: the module globals,
  // the roots, then the application object, which installs its delegate.
  gc_init1();
  voInit();
  gc_init2();
  voMain();
  if (!host->Delegate()) return 1;

  if (argc > 1 && std::strcmp(argv[1], "--startup") == 0) {
    const char* t0 = std::getenv("QUILLET_START_NS");
    host->Startup(t0 ? std::atof(t0) : entered);
    return 1;  // the window closed before the title menu was drawn
  }
  const int mode = argc > 1 ? std::atoi(argv[1]) : 0;
  const int frames = argc > 2 ? std::atoi(argv[2]) : 0;
  if (mode < 1 || mode > 3 || frames < 1) {
    std::puts("usage: play_bench MODE(1-3) FRAMES [RECORD_FILE] | play_bench --startup");
    return 1;
  }
  const int status = host->Play(mode, frames, argc > 3 ? argv[3] : nullptr);
  std::fflush(stdout);
  std::_Exit(status);
}
