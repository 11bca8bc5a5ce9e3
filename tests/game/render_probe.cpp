// The real program (host entry, window, OpenGL driver) running a game object
// whose update records a known display list instead of the game's screens.
// Its render replays the list through c_MyApp::p_OnRender and then reads the
// back buffer, printing one line per check for the Xvfb render test:
//   pixel <window w> <window h> <name> <r> <g> <b>
//   drawcalls <entries> <calls>
// It reopens the window at a second size, then replays 2,000 entries of one
// image, and ends the program.
#include <cstdio>
#include <cstdlib>

#include "game/myapp.h"
#include "host/game.h"

namespace {

// A surface of w x h pixels of one colour (0xAARRGGBB), or with only a
// centred 8 x 8 block of it in every 16 x 16 cell when cells is set.
gxtkSurface* solidSurface(int w, int h, unsigned int argb, bool cells) {
  unsigned char* px = static_cast<unsigned char*>(std::calloc(size_t(w) * h, 4));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (cells && (x % 16 < 4 || x % 16 >= 12 || y % 16 < 4 || y % 16 >= 12)) continue;
      unsigned char* p = px + (size_t(y) * w + x) * 4;
      p[0] = (argb >> 16) & 255;
      p[1] = (argb >> 8) & 255;
      p[2] = argb & 255;
      p[3] = argb >> 24;
    }
  }
  gxtkSurface* s = new gxtkSurface;
  s->SetData(px, w, h, 4);
  return s;
}

// The places the checks read, in design units: name, x, y.
struct Probe {
  const char* name;
  float x, y;
};
const Probe Probes[] = {{"background", 5, 5}, {"rect", 90, 65},   {"image", 320, 120},
                        {"oval", 150, 200},   {"text", 500, 100}, {"blend", 600, 30}};

class ProbeApp : public c_MyApp {
 public:
  ProbeApp() {}

  int p_OnCreate() override {
    vo_app_SetUpdateRate(30);
    m_ImgRes = 1;
    m_ImgScale = 1.0f;
    // Slot 5: a green 32 x 32 picture with its handle at the centre.
    gc_assign(m_Images[5], (new c_Image)->m_new()->p_Init(solidSurface(32, 32, 0xFF00FF00u, false), 1, 1));
    // Slot 90: a font whose glyphs are white 8 x 8 blocks in 16 x 16 cells.
    gc_assign(m_Images[90], (new c_Image)->m_new()->p_Init(solidSurface(2048, 16, 0xFFFFFFFFu, true), 128, 1));
    m_ImgInfo[270] = 7;
    m_ImgInfo[271] = 10;
    m_ImgInfo[272] = 128;
    m_Font = 90;
    return 0;
  }

  // Losing the focus under Xvfb must not write a state file.
  int p_OnSuspend() override { return 0; }
  int p_OnResume() override { return 0; }

  int p_OnUpdate() override {
    ++updates_;
    if (stage_ == 0) {
      knownList();
      stage_ = 1;
    } else if (stage_ == 2) {
      VoGlfwGame::_glfwGame->SetGlfwWindow(1280, 480, 8, 8, 8, 0, 0, 0, false);
      stage_ = 3;
    } else if (stage_ == 4) {
      p_CLS2D(0, 0, 0, 1);
      for (int i = 0; i < 2000; ++i) p_DrawImg(5, float(i % 600), float(i / 600 * 40), 0);
      stage_ = 5;
    } else if (stage_ == 6 || updates_ > 600) {
      std::fflush(stdout);
      vo_app_EndApp();
    }
    return 0;
  }

  int p_OnRender() override {
    const long long before = vo_graphics_device->counters.drawCalls;
    c_MyApp::p_OnRender();
    if (stage_ == 1 || stage_ == 3) {
      readBack();
      ++stage_;
    } else if (stage_ == 5) {
      vo_graphics_device->Flush();
      std::printf("drawcalls %d %lld\n", m_DrawCount / DrawEntrySize, vo_graphics_device->counters.drawCalls - before);
      stage_ = 6;
    }
    return 0;
  }

 private:
  // Background, a rectangle, an image, an oval, text and an additive square.
  void knownList() {
    p_CLS2D(0, 0, 80, 1);
    p_SetCol(255, 0, 0);
    p_Rect(40, 40, 100, 50);
    p_ResetDraw();
    p_SetSize(2);
    p_DrawImg(5, 320, 120, 0);
    p_ResetDraw();
    p_SetCol(0, 0, 255);
    p_Oval(150, 200, 20, 20);
    p_SetCol(255, 255, 0);
    p_Text(500, 100, String("II"), 0, 1);
    // Additive blending adds red to the blue background.
    p_SetCol(200, 0, 0);
    m_DrawBlend = 3;
    p_Rect(580, 10, 40, 40);
  }

  void readBack() {
    const int w = vo_graphics_DeviceWidth();
    const int h = vo_graphics_DeviceHeight();
    Array<int> px(1);
    for (const Probe& p : Probes) {
      vo_graphics_ReadPixels(px, int(p.x * m_ScaleX), int(p.y * m_ScaleY), 1, 1, 0, 0);
      const unsigned int v = static_cast<unsigned int>(px[0]);
      std::printf("pixel %d %d %s %u %u %u\n", w, h, p.name, (v >> 16) & 255, (v >> 8) & 255, v & 255);
    }
  }

  int stage_ = 0;
  int updates_ = 0;
};

}  // namespace

// Replaces the game's voMain, whose symbol the link wraps: the probe's game
// object instead of the game's.
extern "C" int __wrap__Z6voMainv() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  (new ProbeApp())->m_new();
  return 0;
}
