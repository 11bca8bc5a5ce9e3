// Replaced pictures' pixels live outside the collector's heap, yet must not pile up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "framework/app.h"
#include "graphics/graphics.h"
#include "tests/support/test_host.h"

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer holds freed blocks back before reusing them, 256 MiB of them by default, which would
// count as resident here. Held back only up to 8 MiB, each freed picture goes back at once, while smaller
// blocks are still checked for late use.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=8"; }
#endif

namespace {

// The pixels of one decoded data/menu-hd2.png (2048 x 2048, four bytes a pixel).
constexpr long long kPictureBytes = 16LL << 20;

long long ResidentBytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<long long>(resident) * sysconf(_SC_PAGESIZE);
}

class CountedSurface : public gxtkSurface {
 public:
  CountedSurface() { ++alive; }
  ~CountedSurface() override { --alive; }
  static int alive;
};
int CountedSurface::alive = 0;

gxtkGraphics* driver = nullptr;
gxtkSurface* inUse = nullptr;

TEST(PictureMemory, ReplacedPicturesAreFreed) {
  VoTestHost host;
  vo_framework_Init();
  vo_app__game = &host;
  gc_mark_roots_hook = [] {
    vo_framework_MarkRoots();
    gc_mark(driver);
    gc_mark(inUse);
  };
  vo_graphics_SetGraphicsDevice(new gxtkGraphics());
  const long long before = ResidentBytes();
  long long most = 0;
  for (int i = 0; i < 40; ++i) {  // a collector step after each, as the loop runs
    ASSERT_NE(vo_graphics_LoadImage(String("./data/menu-hd2.png"), 1, 0), nullptr) << "run in the build folder";
    host.gc_collect();
    most = std::max(most, ResidentBytes() - before);
  }
  // The newest picture, the one it replaced until a step finds it dead, the decoder's buffers and the heap
  // that the C library keeps for the next one come to about four pictures (two and a half in the sanitizer
  // build). Six catch pacing that lets a second replaced picture live on, such as pictures counted at a
  // quarter of their bytes.
  EXPECT_LT(most, 6 * kPictureBytes) << "the resident size grew by up to " << most << " bytes";

  // Replaced in the first updates only: allocation alone would not finish a cycle.
  auto* delegate = new VoRecordingDelegate();
  host.SetDelegate(delegate);
  gc_assign(driver, new gxtkGraphics());
  int loads = 0;
  delegate->onUpdate = [&] {
    if (loads == 6) return;
    ++loads;
    gc_assign(inUse, driver->LoadSurface__UNSAFE__(new CountedSurface(), String("./data/parts.png")));
  };
  host.SetUpdateRate(60);
  host.Begin();
  while (loads < 6) ASSERT_TRUE(host.Pass());
  host.RunUntil(host.Now() + 3.0 / 60);
  EXPECT_EQ(CountedSurface::alive, 1);
}

}  // namespace
