// Fatal signals reported from a broken process: each case faults in a child
// whose malloc aborts once the fault has begun, so a report that takes heap
// memory ends by SIGABRT instead of its message and status. This file is
// linked with -Wl,--wrap=malloc.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "runtime/dovel.h"

extern "C" void* __real_malloc(size_t size);

namespace {

volatile std::sig_atomic_t fault_begun = 0;
// Never reached: only keeps the compiler from seeing an endless recursion.
volatile int recursion_end = -1;

// Recurses until the stack runs out; the volatile frame and the use of the
// result after the call keep the compiler from turning it into a loop.
int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  if (depth == recursion_end) return 0;
  return Recurse(depth + 1) + frame[0];
}

struct Outcome {
  int status = -1;     // exit status, or -1 when killed by a signal
  std::string output;  // standard output, then standard error
};

// Runs `fault` in a child with standard input closed, standard output and
// error on one pipe, and the signal handlers installed as at start-up.
Outcome FaultInChild(const std::function<void()>& fault) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    close(STDIN_FILENO);
    voInstallSignalHandlers();
    fault_begun = 1;
    fault();
    _exit(100);
  }
  close(pipeFds[1]);
  Outcome outcome;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) outcome.output.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  return outcome;
}

TEST(FatalSignal, IsReportedWithoutHeapOrStack) {
  const struct {
    const char* name;
    std::function<void()> fault;
    const char* output;
  } cases[] = {
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
  for (const auto& c : cases) {
    Outcome outcome = FaultInChild(c.fault);
    EXPECT_EQ(outcome.output, c.output) << c.name;
    EXPECT_EQ(outcome.status, 255) << c.name;
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
