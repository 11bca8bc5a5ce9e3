// The loop's opt-in memory log: with QUILLET_MEMLOG=1 one line a second of
// the host's clock, giving the collector's heap and the resident size;
// without it, nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_host.h"

namespace {

// The lines the loop printed while the fake clock ran to `seconds`.
std::vector<std::string> runLoop(double seconds) {
  VoTestHost host;
  host.SetDelegate(new VoRecordingDelegate());
  host.SetUpdateRate(60);
  testing::internal::CaptureStdout();
  host.Begin();
  host.RunUntil(seconds);
  std::istringstream out(testing::internal::GetCapturedStdout());
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  return lines;
}

TEST(MemLog, OneLineASecondWhenAskedFor) {
  setenv("QUILLET_MEMLOG", "1", 1);
  std::vector<std::string> lines = runLoop(3.5);
  unsetenv("QUILLET_MEMLOG");
  ASSERT_EQ(lines.size(), 3u);
  std::regex form("mem: gc=([0-9]+) rss=([0-9]+)");
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, form)) << line;
    EXPECT_GT(std::stol(m[2]), 1000) << "a running process holds more than 1 MB";
  }
}

TEST(MemLog, SilentByDefault) {
  unsetenv("QUILLET_MEMLOG");
  EXPECT_TRUE(runLoop(3.5).empty());
}

}  // namespace
