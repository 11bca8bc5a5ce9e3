// One frame of a busy display-list replay, measured in a real 640 x 480
// window: 2,500 rotated, scaled, alpha-blended images from one texture, each
// preceded by the state calls a replay makes (alpha, colour, blend). Runs the
// same frames with the driver's skip-unchanged rule on and off and prints draw
// calls and CPU milliseconds per frame for both, and their ratio.
//
// Run under an X server, e.g.  xvfb-run -a build/bench/graphics_replay_bench
// from the build folder (it draws frames of data/common/Buttons.png).
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "graphics/graphics.h"
#include "host/game.h"

namespace {

constexpr int kImages = 2500;
constexpr int kFrames = 60;

double cpuNowMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double wallNowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Result {
  double drawCalls, cpuMs, wallMs;
};

// Draws kFrames frames and returns per-frame averages.
Result drawFrames(gxtkGraphics* dev, c_Image* img, bool skip) {
  dev->skipUnchangedState = skip;
  Array<int> probe(1);
  const long long calls0 = dev->counters.drawCalls;
  const double cpu0 = cpuNowMs(), wall0 = wallNowMs();
  for (int f = 0; f < kFrames; ++f) {
    dev->BeginRender();
    vo_graphics_BeginRender();
    vo_graphics_Cls(0, 0, 40);
    unsigned seed = 1234;
    for (int i = 0; i < kImages; ++i) {
      seed = seed * 1103515245u + 12345u;
      const float r = (seed >> 8 & 0xffff) / 65536.0f;
      vo_graphics_SetAlpha(0.4f + 0.6f * r);
      vo_graphics_SetColor(255, 128 + 127 * r, 255 * (1 - r));
      vo_graphics_SetBlend(0);
      vo_graphics_DrawImage2(img, (i * 53 + f) % 640, (i * 29) % 480, i * 7.0f + f, 0.5f + r, 0.5f + r, i % 3);
    }
    // Reading one pixel waits until OpenGL has drawn the frame.
    vo_graphics_ReadPixels(probe, 0, 0, 1, 1, 0, 0);
    vo_graphics_EndRender();
    dev->EndRender();
  }
  return Result{static_cast<double>(dev->counters.drawCalls - calls0) / kFrames, (cpuNowMs() - cpu0) / kFrames,
                (wallNowMs() - wall0) / kFrames};
}

class BenchDelegate : public VoGameDelegate {
 public:
  void RenderGame() override {
    gxtkGraphics* dev = new gxtkGraphics();
    vo_graphics_SetGraphicsDevice(dev);
    gc_assign(vo_graphics_context, (new c_GraphicsContext())->m_new());
    c_Image* img = vo_graphics_LoadImage2(String("common/Buttons.png"), 64, 64, 16, c_Image::CenterHandle);
    if (!img) {
      std::puts("data/common/Buttons.png not found: run from the build folder");
      std::exit(1);
    }
    drawFrames(dev, img, true);  // warm up textures and caches
    const Result with = drawFrames(dev, img, true);
    const Result without = drawFrames(dev, img, false);
    std::printf("%d images per frame, %d frames each, %d x %d window\n", kImages, kFrames, dev->Width(), dev->Height());
    std::printf("%-22s %12s %12s %12s\n", "", "draw calls", "CPU ms", "wall ms");
    std::printf("%-22s %12.0f %12.2f %12.2f\n", "skip unchanged state", with.drawCalls, with.cpuMs, with.wallMs);
    std::printf("%-22s %12.0f %12.2f %12.2f\n", "flush on every call", without.drawCalls, without.cpuMs,
                without.wallMs);
    std::printf("%-22s %12.1fx %11.2fx %11.2fx\n", "ratio (without/with)", without.drawCalls / with.drawCalls,
                without.cpuMs / with.cpuMs, without.wallMs / with.wallMs);
    std::fflush(stdout);
    std::exit(0);
  }
};

}  // namespace

int voInit() { return 0; }

int voMain() {
  VoGame::_game->SetDelegate(new BenchDelegate());
  return 0;
}
