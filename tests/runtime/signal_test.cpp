// Fatal signals reported without the heap: linked with -Wl,--wrap=malloc, a
// child's malloc aborts once its fault has begun.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <new>

#include "runtime/dovel.h"
#include "tests/support/process.h"

extern "C" void* __real_malloc(size_t size);

namespace {

volatile std::sig_atomic_t fault_begun = 0;
volatile int recursion_end = -1;  // never reached: hides the endless recursion from the compiler

// Recurses until the stack runs out; the volatile frame keeps it from becoming a loop.
int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  if (depth == recursion_end) return 0;
  return Recurse(depth + 1) + frame[0];
}

TEST(FatalSignal, IsReportedWithoutHeapOrStack) {
  const std::tuple<const char*, std::function<void()>, const char*> cases[] = {
      {"unbounded recursion", [] { Recurse(0); },
       "Dovel Runtime Error : Memory access violation\n\n{{~~(null)~~}}\n\n"},
      // A position text at a bad address faults again inside the report.
      {"fault while reporting",
       [] {
         dbg_info = reinterpret_cast<const char*>(16);
         std::raise(SIGSEGV);
       },
       "Dovel Runtime Error : Memory access violation\n"},
  };
  for (const auto& [name, fault, output] : cases) {
    ChildResult result = RunInChild([&fault = fault] {
      dup2(STDOUT_FILENO, STDERR_FILENO);
      close(STDIN_FILENO);
      voInstallSignalHandlers();
      fault_begun = 1;
      fault();
    });
    EXPECT_EQ(result.out, output) << name;
    EXPECT_EQ(result.status, -1) << name;  // 255 as a signed byte
  }
}

}  // namespace

// Once the fault has begun, any heap allocation ends the child.
extern "C" void* __wrap_malloc(size_t size) {
  if (fault_begun) std::abort();
  return __real_malloc(size);
}

// C++ allocations go through the wrapped malloc as well.
void* operator new(size_t size) {
  void* p = std::malloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
