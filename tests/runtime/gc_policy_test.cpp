// The collector's interface for the host: outside memory counted as
// allocation, garbage released on demand, and the stress check of stores.
#include <gtest/gtest.h>
#include <unistd.h>

#include "runtime/dovel.h"

namespace {

int g_destroyed = 0;

// A small collected object that counts its destruction and holds one reference.
class Cell : public Object {
 public:
  ~Cell() override { ++g_destroyed; }
  void mark() override { gc_mark_q(m_next); }
  Cell* m_next = nullptr;
};

Cell* g_root = nullptr;

void mark_root() { gc_mark_q(g_root); }

// More than this much new memory since the last cycle starts a full collection.
constexpr int kFullCollectionBytes = 8 << 20;

class GcPolicy : public ::testing::Test {
 protected:
  void SetUp() override {
    gc_mark_roots_hook = mark_root;
    g_root = nullptr;
    gc_release_garbage(nullptr);
    g_destroyed = 0;
  }
  void TearDown() override {
    gc_stress = false;
    g_root = nullptr;
    gc_release_garbage(nullptr);
    gc_mark_roots_hook = nullptr;
  }

  // Makes `n` cells that nothing references and lets two full collections
  // find them dead, without destroying them yet.
  static int make_swept_garbage(int n) {
    for (int i = 0; i < n; ++i) new Cell();
    gc_collect_all();
    gc_collect_all();
    return gc_free_bytes;
  }
};

// Outside memory destroys garbage worth its size first, counts towards the
// next full collection, and absurd sizes neither overflow the count nor
// destroy anything when negative.
TEST_F(GcPolicy, OutsideMemoryCountsAsAllocation) {
  const int garbage = make_swept_garbage(10);
  ASSERT_GT(garbage, 0);
  const int cell = garbage / 10;

  gc_count_external(-5);
  EXPECT_EQ(g_destroyed, 0);
  gc_count_external(2 * cell);
  EXPECT_EQ(g_destroyed, 2);

  gc_new_bytes = 0;
  const int markbit = gc_markbit;
  gc_count_external(kFullCollectionBytes);
  gc_collect();
  EXPECT_EQ(gc_markbit, markbit) << "exactly the threshold: still an incremental step";
  gc_count_external(1LL << 40);
  gc_count_external(1LL << 40);
  EXPECT_GT(gc_new_bytes, kFullCollectionBytes);
  gc_collect();
  EXPECT_NE(gc_markbit, markbit) << "above the threshold: a full collection";
  EXPECT_EQ(gc_new_bytes, 0);
}

// Releasing garbage destroys even an object the running cycle had already
// marked before it was dropped, keeps the extra root and what it reaches (two
// more cells would die otherwise), and starts the pacing afresh.
TEST_F(GcPolicy, ReleasingGarbageDestroysEverythingUnreachable) {
  g_root = new Cell();
  g_root->m_next = new Cell();
  Cell* extra = new Cell();
  gc_assign(extra->m_next, new Cell());
  gc_mark(extra);  // the host marks its own root before every step
  gc_collect_all();
  gc_mark_queued(gc_unlimited);  // the cycle has marked both root cells
  g_root = nullptr;
  gc_new_bytes = 1000;

  gc_release_garbage(extra);
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(gc_free_bytes, 0);
  EXPECT_EQ(gc_new_bytes, 0);
}

// Under stress, storing a reference to an object that was already destroyed
// stops the program at the store instead of corrupting the heap later.
TEST_F(GcPolicy, StressStopsAtAStoreOfADestroyedObject) {
  g_root = new Cell();
  Cell* dangling = new Cell();
  gc_release_garbage(nullptr);
  ASSERT_EQ(g_destroyed, 1);
  gc_stress = true;
  gc_assign(g_root->m_next, g_root);  // a live object passes the check
  // Runtime errors are printed on standard output; the death test reads errors.
  EXPECT_DEATH(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        gc_assign(g_root->m_next, dangling);
      },
      "no longer holds");
}

}  // namespace
