// The program entry with stand-in voInit/voMain, run as a child process
// (CTest runs this test inside xvfb-run; one case hides the display).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string out;
};

// Runs the start-up probe with the given environment prefix and no stdin.
Outcome Launch(const std::string& environment) {
  std::string command = environment + " " STARTUP_PROBE " one two < /dev/null 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  Outcome outcome{-1, ""};
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) outcome.out.append(buffer, n);
  int status = pclose(p);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(StartUp, WithoutDisplayGlfwInitFails) {
  Outcome o = Launch("env -u DISPLAY -u WAYLAND_DISPLAY");
  EXPECT_EQ(o.out, "glfwInit failed\n");
  EXPECT_EQ(o.status, 255);
}

TEST(StartUp, ArgumentsHandlerAndEmptyListsComeBeforeInit) {
  Outcome o = Launch("QUILLET_STARTUP=none");
  EXPECT_EQ(o.out, "init 3 two 1 1\n");
  EXPECT_EQ(o.status, 0) << "no delegate: no loop, normal end";
}

TEST(StartUp, ExceptionDuringStartUpIsFatal) {
  Outcome o = Launch("QUILLET_STARTUP=throw");
  EXPECT_EQ(o.out, "init 3 two 1 1\nDovel Runtime Error : Uncaught Dovel Exception\n");
  EXPECT_EQ(o.status, 255);
}

TEST(StartUp, FatalSignalReportsAndEnds) {
  Outcome o = Launch("QUILLET_STARTUP=segv");
  EXPECT_EQ(o.out, "init 3 two 1 1\nDovel Runtime Error : Memory access violation\n\n");
  EXPECT_EQ(o.status, 255);
}

TEST(StartUp, LoopStartsRendersThenUpdates) {
  Outcome o = Launch("QUILLET_STARTUP=run");
  EXPECT_EQ(o.out, "init 3 two 1 1\nstart\nrender\nupdate\n");
  EXPECT_EQ(o.status, 0);
}

}  // namespace
