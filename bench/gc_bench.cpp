// Allocation with incremental collection, as a game frame sees it: frames of
// 10,000 small allocations each while a live set of 50,000 objects is kept and
// mutated through the write barrier, one collector step per frame. The same
// workload with plain new/delete of the same sizes is the baseline.
//
// The two workloads run in alternating rounds on one pinned core, so a change
// in machine load or clock speed touches both alike; each round yields one
// ratio of the per-object costs. Times are the thread's CPU time, so time the
// thread spends switched out does not count.
//
// The rounds run in several fresh processes, one after another, each pinned in
// turn to one of the cores the program may use. On a virtual machine a core is
// a thread of a host whose other tenants share its caches, and how much they
// take differs from core to core and from second to second. The collected
// workload feels that more than the plain one, because its heap also holds the
// garbage of a whole collection cycle, so at the same moment the same program
// can measure a fifth or more apart on two cores. Taking every core in equal
// shares keeps one core from deciding the figure, and the median of each core
// shows how far they differed during the run.
//
// Prints the medians over all rounds of ns per allocated object (frame work,
// collector steps and lazy destruction included) and of the ratio with its
// spread (largest round ratio over smallest), the median ratio of each core and
// the longest single collector step.
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/dovel.h"

namespace {

constexpr int kAllocationsPerFrame = 10000;
constexpr int kLiveSet = 50000;
constexpr int kFramesPerRound = 120;
constexpr int kRoundsPerProcess = 9;
// Processes measured on each core; GC_BENCH_PROCESSES overrides the total.
constexpr int kProcessesPerCore = 3;
// Frames run before measuring, so that the collector has gone through enough
// cycles for its lists and free blocks to reach their steady, mixed order.
constexpr int kWarmUpFrames = 240;
// One allocation in this many replaces a live-set entry.
constexpr int kReplaceEvery = 10;

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

// CPU time of this thread in ns.
double nowNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

Array<GcNode*> g_live;

void markLiveSet() { gc_mark_q(g_live); }

// The collected workload: each allocation links to a live object, one in
// kReplaceEvery replaces a live-set entry (the old one becomes garbage), the
// others are dropped at frame end; every allocation also rewires one live
// object's reference.
class Collected {
 public:
  Collected() {
    gc_mark_roots_hook = markLiveSet;
    gc_assign(g_live, Array<GcNode*>(kLiveSet));
    for (int i = 0; i < kLiveSet; ++i) gc_assign(g_live[i], make<GcNode, GcSized>(i % 3, nullptr));
    gc_release_garbage(nullptr);
  }
  ~Collected() {
    gc_assign(g_live, Array<GcNode*>());
    gc_release_garbage(nullptr);
    gc_mark_roots_hook = nullptr;
  }

  // Runs `frames` frames; returns their CPU time in ns.
  double Run(int frames) {
    double total = 0;
    for (int f = 0; f < frames; ++f) {
      double start = nowNs();
      for (int i = 0; i < kAllocationsPerFrame; ++i) {
        GcNode* obj = make<GcNode, GcSized>(i % 3, g_live[rng_.Below(kLiveSet)]);
        if (i % kReplaceEvery == 0) gc_assign(g_live[rng_.Below(kLiveSet)], obj);
        gc_assign(g_live[rng_.Below(kLiveSet)]->m_link, g_live[rng_.Below(kLiveSet)]);
      }
      double step = nowNs();
      gc_collect();
      double end = nowNs();
      longest_step_ns_ = std::max(longest_step_ns_, end - step);
      total += end - start;
    }
    return total;
  }

  double longest_step_ns() const { return longest_step_ns_; }
  void ForgetLongestStep() { longest_step_ns_ = 0; }

 private:
  Lcg rng_;
  double longest_step_ns_ = 0;
};

// The same workload with new and delete: replaced live objects and the
// frame's temporaries are deleted at once.
class Plain {
 public:
  Plain() : live_(kLiveSet) {
    temporaries_.reserve(kAllocationsPerFrame);
    for (int i = 0; i < kLiveSet; ++i) live_[i] = make<PlainNode, PlainSized>(i % 3, nullptr);
  }
  ~Plain() {
    for (PlainNode* p : live_) delete p;
  }

  // Runs `frames` frames; returns their CPU time in ns.
  double Run(int frames) {
    double start = nowNs();
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < kAllocationsPerFrame; ++i) {
        PlainNode* obj = make<PlainNode, PlainSized>(i % 3, live_[rng_.Below(kLiveSet)]);
        if (i % kReplaceEvery == 0) {
          PlainNode*& slot = live_[rng_.Below(kLiveSet)];
          delete slot;
          slot = obj;
        } else {
          temporaries_.push_back(obj);
        }
        live_[rng_.Below(kLiveSet)]->m_link = live_[rng_.Below(kLiveSet)];
      }
      for (PlainNode* p : temporaries_) delete p;
      temporaries_.clear();
    }
    return nowNs() - start;
  }

 private:
  Lcg rng_;
  std::vector<PlainNode*> live_;
  std::vector<PlainNode*> temporaries_;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Keeps the process on one core, so that both workloads see the same caches
// and no migration costs.
void pinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  if (sched_setaffinity(0, sizeof(set), &set) != 0) std::perror("gc_bench: sched_setaffinity");
}

// One process's measurement on core `cpu`: prints a line "round <gc ns>
// <new ns> <ratio>" per round, then "step <longest collector step in ns>".
int measureRounds(int cpu) {
  pinTo(cpu);
  Collected collected;
  Plain plain;
  collected.Run(kWarmUpFrames);
  plain.Run(kFramesPerRound);
  collected.ForgetLongestStep();

  const double objects = static_cast<double>(kFramesPerRound) * kAllocationsPerFrame;
  for (int round = 0; round < kRoundsPerProcess; ++round) {
    // Alternate which workload goes first, so neither always follows the other.
    double g, p;
    if (round % 2 == 0) {
      g = collected.Run(kFramesPerRound);
      p = plain.Run(kFramesPerRound);
    } else {
      p = plain.Run(kFramesPerRound);
      g = collected.Run(kFramesPerRound);
    }
    std::printf("round %f %f %f\n", g / objects, p / objects, g / p);
  }
  std::printf("step %f\n", collected.longest_step_ns());
  return 0;
}

// The rounds measured on one core.
struct Figures {
  std::vector<double> gc_ns, new_ns, ratios;
};

// Runs this program once more with --rounds on core `cpu` and adds what it
// prints to that core's `figures` and to `longest_step_ns`.
bool runProcess(const char* self, int cpu, Figures& figures, double& longest_step_ns) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  char rounds_flag[] = "--rounds";
  std::string cpu_arg = std::to_string(cpu);
  char* argv[] = {const_cast<char*>(self), rounds_flag, cpu_arg.data(), nullptr};
  pid_t pid;
  int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return false;
  }
  const size_t first = figures.ratios.size();
  FILE* out = fdopen(fds[0], "r");
  char line[256];
  while (out && std::fgets(line, sizeof line, out)) {
    double g, p, r;
    if (std::sscanf(line, "round %lf %lf %lf", &g, &p, &r) == 3) {
      figures.gc_ns.push_back(g);
      figures.new_ns.push_back(p);
      figures.ratios.push_back(r);
    } else if (std::sscanf(line, "step %lf", &g) == 1) {
      longest_step_ns = std::max(longest_step_ns, g);
    }
  }
  if (out) std::fclose(out);
  int status = 0;
  waitpid(pid, &status, 0);
  if (figures.ratios.size() == first) return false;
  std::vector<double> own(figures.ratios.begin() + static_cast<long>(first), figures.ratios.end());
  std::fprintf(stderr, "gc_bench: process on core %d, median ratio %.2f\n", cpu, median(own));
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--rounds") == 0) return measureRounds(std::atoi(argv[2]));

  cpu_set_t allowed;
  std::vector<int> cores;
  if (sched_getaffinity(0, sizeof(allowed), &allowed) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &allowed)) cores.push_back(cpu);
    }
  }
  if (cores.empty()) cores.push_back(std::max(sched_getcpu(), 0));
  const char* env = std::getenv("GC_BENCH_PROCESSES");
  const int processes = env && std::atoi(env) > 0 ? std::atoi(env) : kProcessesPerCore * static_cast<int>(cores.size());
  std::vector<Figures> per_core(cores.size());
  double longest_step_ns = 0;
  for (int i = 0; i < processes; ++i) {
    const size_t core = static_cast<size_t>(i) % cores.size();
    if (!runProcess("/proc/self/exe", cores[core], per_core[core], longest_step_ns)) {
      std::fprintf(stderr, "gc_bench: measuring process %d failed\n", i + 1);
      return 1;
    }
  }
  Figures all;
  for (const Figures& f : per_core) {
    all.gc_ns.insert(all.gc_ns.end(), f.gc_ns.begin(), f.gc_ns.end());
    all.new_ns.insert(all.new_ns.end(), f.new_ns.begin(), f.new_ns.end());
    all.ratios.insert(all.ratios.end(), f.ratios.begin(), f.ratios.end());
  }
  const std::vector<double>& ratios = all.ratios;
  const double spread =
      *std::max_element(ratios.begin(), ratios.end()) / *std::min_element(ratios.begin(), ratios.end());
  std::printf("collected: %.1f ns per allocated object, longest collector step %.1f us\n", median(all.gc_ns),
              longest_step_ns / 1000.0);
  std::printf("new/delete baseline: %.1f ns per object; collected / baseline = %.2f\n", median(all.new_ns),
              median(ratios));
  std::printf("median of %d interleaved rounds of %d frames in %d processes; round ratios spread (max/min) %.2f\n",
              static_cast<int>(ratios.size()), kFramesPerRound, processes, spread);
  std::printf("median ratio per core:");
  for (size_t core = 0; core < cores.size(); ++core) {
    if (!per_core[core].ratios.empty()) std::printf(" core %d %.2f", cores[core], median(per_core[core].ratios));
  }
  std::printf("\n");
  return 0;
}
