// Runs the render probe (the real host and OpenGL driver under Xvfb) and checks
// the pixels of a known display list at two window sizes, and how few draw
// calls a replay of 2,000 entries of one image costs.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using Rgb = std::tuple<int, int, int>;

struct ProbeRun {
  std::map<std::string, Rgb> pixels;  // "<w>x<h> <name>" -> colour
  int entries = -1;
  long long drawCalls = -1;
  int status = -1;
};

ProbeRun runProbe() {
  ProbeRun run;
  FILE* out = popen(RENDER_PROBE " 2>&1", "r");
  if (!out) return run;
  char line[256];
  while (std::fgets(line, sizeof line, out)) {
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    if (kind == "pixel") {
      int w, h, r, g, b;
      std::string name;
      in >> w >> h >> name >> r >> g >> b;
      run.pixels[std::to_string(w) + "x" + std::to_string(h) + " " + name] = Rgb(r, g, b);
    } else if (kind == "drawcalls") {
      in >> run.entries >> run.drawCalls;
    }
  }
  run.status = pclose(out);
  return run;
}

void expectColour(const ProbeRun& run, const std::string& key, Rgb want) {
  auto it = run.pixels.find(key);
  ASSERT_NE(it, run.pixels.end()) << key;
  auto [r, g, b] = it->second;
  auto [wr, wg, wb] = want;
  EXPECT_NEAR(r, wr, 2) << key;
  EXPECT_NEAR(g, wg, 2) << key;
  EXPECT_NEAR(b, wb, 2) << key;
}

TEST(Render, KnownListAtTwoWindowSizesAndBatchedReplay) {
  const ProbeRun run = runProbe();
  EXPECT_EQ(run.status, 0);
  for (const char* size : {"640x480", "1280x480"}) {
    SCOPED_TRACE(size);
    const std::string s = std::string(size) + " ";
    expectColour(run, s + "background", Rgb(0, 0, 80));
    expectColour(run, s + "rect", Rgb(255, 0, 0));
    expectColour(run, s + "image", Rgb(0, 255, 0));
    expectColour(run, s + "oval", Rgb(0, 0, 255));
    expectColour(run, s + "text", Rgb(255, 255, 0));
    expectColour(run, s + "blend", Rgb(200, 0, 80));
  }
  // One image over and over: the unchanged colour, alpha and blend of every
  // entry must not split the batch.
  EXPECT_EQ(run.entries, 2000);
  EXPECT_GT(run.drawCalls, 0);
  EXPECT_LE(run.drawCalls, 12);
}

}  // namespace
