// Pictures that the game replaces (every resize reloads them at the new
// resolution) must not pile up: their pixels live outside the collector's
// heap, yet the collector has to free them before they add up, and once the
// reloading is over nothing but the pictures in use may stay.
#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "framework/app.h"
#include "graphics/graphics.h"
#include "tests/support/test_host.h"

namespace {

// The process's resident size in bytes.
long long residentBytes() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<long long>(resident) * sysconf(_SC_PAGESIZE);
}

// The real graphics driver loads a 16 MB picture over and over through the
// host, dropping each one, with a collector step after each load as the loop
// runs one after every delegate call.
TEST(PictureMemory, ReplacedPicturesAreFreed) {
  VoTestHost host;
  vo_framework_Init();
  vo_app__game = &host;
  gc_mark_roots_hook = vo_framework_MarkRoots;
  vo_graphics_SetGraphicsDevice(new gxtkGraphics());
  const String path("./data/menu-hd2.png");  // 2048 x 2048, 16 MB of pixels

  const long long before = residentBytes();
  long long most = 0;
  for (int i = 0; i < 40; ++i) {
    c_Image* image = vo_graphics_LoadImage(path, 1, 0);
    ASSERT_NE(image, nullptr) << "run the test in the build folder, which holds data/";
    host.gc_collect();
    most = std::max(most, residentBytes() - before);
  }
  // 40 pictures held at once would be 640 MB. A few at a time is the aim;
  // the sanitizer build adds up to 256 MB of freed blocks it holds back.
  EXPECT_LT(most, 400LL << 20) << "the resident size grew by up to " << most << " bytes";
}

// A surface that counts how many of its kind are alive.
class CountedSurface : public gxtkSurface {
 public:
  CountedSurface() { ++alive; }
  ~CountedSurface() override { --alive; }
  static int alive;
};
int CountedSurface::alive = 0;

gxtkGraphics* driver = nullptr;
gxtkSurface* inUse = nullptr;

// A game that replaces its picture in each of its first updates, as the game
// does while it reloads, and then runs on without loading: the replaced
// pictures are small and the game allocates nothing else, so allocation alone
// would not finish a collection cycle for a long time.
TEST(PictureMemory, PicturesReplacedWhileLoadingAreDestroyedOnceLoadingEnds) {
  VoTestHost host;
  auto* delegate = new VoRecordingDelegate();
  host.SetDelegate(delegate);
  gc_mark_roots_hook = [] {
    gc_mark(driver);
    gc_mark(inUse);
  };
  gc_assign(driver, new gxtkGraphics());
  constexpr int kLoads = 6;
  int loads = 0;
  delegate->onUpdate = [&] {
    if (loads == kLoads) return;
    ++loads;
    gxtkSurface* s = driver->LoadSurface__UNSAFE__(new CountedSurface(), String("./data/parts.png"));
    ASSERT_NE(s, nullptr) << "run the test in the build folder, which holds data/";
    gc_assign(inUse, s);
  };
  host.SetUpdateRate(60);
  host.Begin();
  while (loads < kLoads) ASSERT_TRUE(host.Pass());
  host.RunUntil(host.Now() + 3.0 / 60);
  EXPECT_EQ(CountedSurface::alive, 1);
  EXPECT_GT(delegate->Count("update"), kLoads);
}

}  // namespace
