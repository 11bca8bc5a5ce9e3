// Tune decoding through a real render: the test writes a sheet with known
// pixels, the decoding application loads it on the real host in the X server
// that wraps this test (xvfb-run), and the values it prints are compared with
// what the pixels' blue channel encodes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image_write.h>

namespace {

// The sheet: 512 x 512 RGBA, frame p at column p mod 8, row p div 8.
class KnownSheet {
 public:
  KnownSheet() : rgba_(512 * 512 * 4, 0) {
    for (size_t i = 3; i < rgba_.size(); i += 4) rgba_[i] = 255;
  }

  // Sets pixel (x, y) of frame p; red and green are noise the decoder ignores.
  void Pixel(int p, int x, int y, int blue, int red = 0, int green = 0) {
    unsigned char* px = &rgba_[(((p / 8) * 64 + y) * 512 + (p % 8) * 64 + x) * 4];
    px[0] = static_cast<unsigned char>(red);
    px[1] = static_cast<unsigned char>(green);
    px[2] = static_cast<unsigned char>(blue);
    // Frame 63 is never read, and values below 8 decode to 0.
    if (p < 63 && blue >= 8) expected[p * 4096 + (x / 8) * 512 + y * 8 + x % 8] = blue >> 3;
  }

  bool Write(const std::string& path) const {
    return stbi_write_png(path.c_str(), 512, 512, 4, rgba_.data(), 512 * 4) != 0;
  }

  std::map<int, int> expected;  // m_Notes index -> value, nonzero only

 private:
  std::vector<unsigned char> rgba_;
};

std::vector<std::string> RunApp(const std::string& dir) {
  std::string command = "cd '" + dir + "' && ALSOFT_DRIVERS=null '" DECODE_APP_PATH "'";
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return lines;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines.push_back(line);
  }
  EXPECT_EQ(pclose(pipe), 0);
  return lines;
}

TEST(TuneDecoding, ASheetDecodesThroughTheScreenToItsBlueValues) {
  KnownSheet sheet;
  sheet.Pixel(0, 16, 0, 255, 10, 200);                     // track 2, column 0: 255 -> 31
  sheet.Pixel(1, 17, 5, 7, 255, 255);                      // track 2, column 1: 7 -> 0
  sheet.Pixel(2, 23, 63, 8);                               // track 2, column 7, last step: 8 -> 1
  sheet.Pixel(3, 19, 10, 100, 50, 50);                     // track 2 ends in frame 3
  for (int y = 0; y < 64; ++y) sheet.Pixel(10, 32, y, 7);  // track 4: only values below 8
  sheet.Pixel(62, 0, 0, 16);                               // track 0 in the last frame read
  sheet.Pixel(63, 8, 0, 200);                              // track 1 only in frame 63, never read
  // Every blue value once, in tracks 5 to 7 of frame 7, under changing red.
  for (int i = 0; i < 264; ++i) sheet.Pixel(7, 40 + i % 24, i / 24, i & 255, 255 - (i & 255), 77);

  // A folder of its own, so builds testing side by side never share it.
  char folder[] = "/tmp/quillet-music-decode-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string dir = folder;
  std::filesystem::create_directories(dir + "/data/tunes");
  ASSERT_TRUE(sheet.Write(dir + "/data/tunes/known.png"));

  std::vector<std::string> lines = RunApp(dir);
  std::filesystem::remove_all(dir);
  std::map<int, int> values;
  std::map<std::string, int> facts;
  int last[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string key;
    int a = 0, b = 0;
    in >> key >> a;
    if (key == "value" && in >> b)
      values[a] = b;
    else if (key == "last" && in >> b && a >= 0 && a < 8)
      last[a] = b;
    else
      facts[key] = a;
  }
  ASSERT_EQ(facts.count("restart-loadstep"), 1u) << "the application did not finish loading";

  EXPECT_EQ(values, sheet.expected);
  EXPECT_EQ(values[0 * 4096 + 2 * 512 + 0 * 8 + 0], 31);
  EXPECT_EQ(values.count(1 * 4096 + 2 * 512 + 5 * 8 + 1), 0u);
  EXPECT_EQ(values[2 * 4096 + 2 * 512 + 63 * 8 + 7], 1);
  EXPECT_EQ(std::vector<int>(last, last + 8), (std::vector<int>{62, 0, 3, 0, 0, 7, 7, 7}));

  // 70 loading steps, three per render; the scratch drawing is cleared away.
  EXPECT_EQ(facts["loading-renders"], 24);
  EXPECT_EQ(facts["black"], 1);
  // Starting the loaded tune again loads nothing.
  EXPECT_EQ(facts["restart-loadstep"], 0);
}

}  // namespace
