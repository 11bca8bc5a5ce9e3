// Replaced pictures' pixels live outside the collector's heap, yet must not pile up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "framework/app.h"
#include "graphics/graphics.h"
#include "tests/support/test_host.h"

namespace {

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
  for (int i = 0; i < 40; ++i) {  // 16 MB of pixels each, a collector step after each as the loop runs
    ASSERT_NE(vo_graphics_LoadImage(String("./data/menu-hd2.png"), 1, 0), nullptr) << "run in the build folder";
    host.gc_collect();
    most = std::max(most, ResidentBytes() - before);
  }
  // 40 held at once would be 640 MB; the sanitizer build holds back up to 256 MB of freed blocks.
  EXPECT_LT(most, 400LL << 20) << "the resident size grew by up to " << most << " bytes";

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
