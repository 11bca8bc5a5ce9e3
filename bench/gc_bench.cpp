// Allocation with incremental collection, as a game frame sees it: 600 frames
// of N small allocations each while a live set of 50,000 objects is kept and
// mutated, one collector step per frame. The same workload with plain
// new/delete of the same sizes is the baseline.
//
// Figures: ns per allocated object (frame work, collector steps and lazy
// destruction included), the longest single collector step, and the ratio of
// the two per-object costs. Times are the thread's CPU time, so other load on
// the machine does not inflate them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "runtime/dovel.h"

namespace {

constexpr int kFrames = 600;
constexpr int kLiveSet = 50000;

// Deterministic 32-bit generator (unsigned, so it wraps without overflow).
class Lcg {
 public:
  uint32_t Next() { return state_ = state_ * 1664525u + 1013904223u; }
  int Below(int n) { return static_cast<int>((Next() >> 8) % static_cast<uint32_t>(n)); }

 private:
  uint32_t state_ = 12345u;
};

// Collected objects of three small sizes (40, 48 and 56 bytes), each with one
// reference to another object.
class GcNode : public Object {
 public:
  explicit GcNode(GcNode* link) : m_link(link) {}
  void mark() override { gc_mark_q(m_link); }
  GcNode* m_link;
};

template <int K>
class GcSized : public GcNode {
 public:
  explicit GcSized(GcNode* link) : GcNode(link), m_pad() {}
  int m_pad[K];
};

// The same shapes on the general-purpose heap: a virtual destructor and the
// same header size, so the blocks match the collected ones byte for byte.
struct PlainNode {
  explicit PlainNode(PlainNode* link) : m_link(link) {}
  virtual ~PlainNode() = default;
  void* succ = nullptr;
  void* pred = nullptr;
  uint32_t flags = 0;
  PlainNode* m_link;
};

template <int K>
struct PlainSized : PlainNode {
  explicit PlainSized(PlainNode* link) : PlainNode(link), m_pad() {}
  int m_pad[K];
};

static_assert(sizeof(GcNode) == sizeof(PlainNode), "block sizes differ");
static_assert(sizeof(GcSized<3>) == sizeof(PlainSized<3>), "block sizes differ");

Array<GcNode*> g_live;

void markLiveSet() { gc_mark_q(g_live); }

template <class Base, template <int> class Sized>
Base* make(int kind, Base* link) {
  switch (kind) {
    case 0:
      return new Base(link);
    case 1:
      return new Sized<1>(link);
    default:
      return new Sized<3>(link);
  }
}

// Figures of the last run of each workload, for the summary.
double g_gc_ns_per_object = 0;
double g_plain_ns_per_object = 0;
double g_longest_step_us = 0;

// CPU time of this thread in ns.
double nowNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Runs kFrames calls of frame (n allocations each) per benchmark iteration;
// returns the CPU time per allocated object in ns.
template <class Frame>
double timeFrames(benchmark::State& state, int n, Frame frame) {
  double total_ns = 0;
  int64_t objects = 0;
  for (auto _ : state) {
    double start = nowNs();
    for (int f = 0; f < kFrames; ++f) frame();
    total_ns += nowNs() - start;
    objects += static_cast<int64_t>(kFrames) * n;
  }
  return total_ns / static_cast<double>(objects);
}

// Each allocation: one in ten replaces a live-set entry (the old one becomes
// garbage); the others link to a live object and are dropped at frame end.
// Every allocation also rewires one live object's reference.
void BM_CollectedFrames(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  gc_mark_roots_hook = markLiveSet;
  gc_assign(g_live, Array<GcNode*>(kLiveSet));
  Lcg rng;
  for (int i = 0; i < kLiveSet; ++i) gc_assign(g_live[i], make<GcNode, GcSized>(i % 3, nullptr));
  gc_collect_all();
  gc_collect_all();

  double longest = 0;
  g_gc_ns_per_object = timeFrames(state, n, [&] {
    for (int i = 0; i < n; ++i) {
      GcNode* obj = make<GcNode, GcSized>(i % 3, g_live[rng.Below(kLiveSet)]);
      if (i % 10 == 0) gc_assign(g_live[rng.Below(kLiveSet)], obj);
      gc_assign(g_live[rng.Below(kLiveSet)]->m_link, g_live[rng.Below(kLiveSet)]);
    }
    double step = nowNs();
    gc_collect();
    longest = std::max(longest, nowNs() - step);
  });
  g_longest_step_us = longest / 1000.0;
  state.counters["ns_per_object"] = g_gc_ns_per_object;
  state.counters["longest_step_us"] = g_longest_step_us;

  gc_assign(g_live, Array<GcNode*>());
  gc_collect_all();
  gc_collect_all();
  gc_flush_free(0x7fffffff);
  gc_mark_roots_hook = nullptr;
}

void BM_NewDeleteFrames(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<PlainNode*> live(kLiveSet);
  std::vector<PlainNode*> temporaries;
  temporaries.reserve(static_cast<size_t>(n));
  Lcg rng;
  for (int i = 0; i < kLiveSet; ++i) live[i] = make<PlainNode, PlainSized>(i % 3, nullptr);

  g_plain_ns_per_object = timeFrames(state, n, [&] {
    for (int i = 0; i < n; ++i) {
      PlainNode* obj = make<PlainNode, PlainSized>(i % 3, live[rng.Below(kLiveSet)]);
      if (i % 10 == 0) {
        PlainNode*& slot = live[rng.Below(kLiveSet)];
        delete slot;
        slot = obj;
      } else {
        temporaries.push_back(obj);
      }
      live[rng.Below(kLiveSet)]->m_link = live[rng.Below(kLiveSet)];
    }
    for (PlainNode* p : temporaries) delete p;
    temporaries.clear();
  });
  state.counters["ns_per_object"] = g_plain_ns_per_object;
  for (PlainNode* p : live) delete p;
}

}  // namespace

BENCHMARK(BM_CollectedFrames)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NewDeleteFrames)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CollectedFrames)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_NewDeleteFrames)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The summary covers the last pair that ran (the largest N by default).
  if (g_plain_ns_per_object > 0 && g_gc_ns_per_object > 0) {
    std::printf("collected: %.1f ns per allocated object, longest collector step %.1f us\n", g_gc_ns_per_object,
                g_longest_step_us);
    std::printf("new/delete baseline: %.1f ns per object; collected / baseline = %.2f\n", g_plain_ns_per_object,
                g_gc_ns_per_object / g_plain_ns_per_object);
  }
  return 0;
}
