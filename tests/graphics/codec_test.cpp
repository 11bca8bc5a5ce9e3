// PNG decoding: well-formed files keep their channel count and pixels; other
// formats and oversized files give null. Broken and hostile files are the
// fuzzer's (png_fuzzer.cpp and its kept findings).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "host/image_codec.h"
#include "tests/graphics/png.h"

namespace {

unsigned Gradient(int x, int y) {
  return static_cast<unsigned>(x) * 0x01020304u + static_cast<unsigned>(y) * 0x50607080u;
}

unsigned char* Decode(const std::vector<unsigned char>& b, int* w, int* h, int* d) {
  return vo_decode_png_memory(b.data(), b.size(), w, h, d);
}

TEST(Png, DecodesEveryChannelCountAndRefusesWhatItMust) {
  for (int comp = 1; comp <= 4; ++comp) {
    int w = 0, h = 0, d = 0;
    unsigned char* out = Decode(EncodePng(13, 7, comp, Gradient), &w, &h, &d);
    ASSERT_NE(out, nullptr) << comp;
    EXPECT_EQ(w * 100 + h * 10 + d, 1370 + comp);
    EXPECT_EQ(out[(6 * 13 + 12) * comp], static_cast<unsigned char>(Gradient(12, 6) >> 16));
    std::free(out);
  }
  int w = 7, h = 7, d = 7;
  EXPECT_EQ(Decode({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, &w, &h, &d), nullptr);
  EXPECT_EQ(Decode({'B', 'M', 30, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0}, &w, &h, &d), nullptr);
  EXPECT_EQ(w + h + d, 21) << "outputs are written only on success";
  // Sizes are checked in the header, before any pixel memory is asked for.
  const std::vector<unsigned char> png = EncodePng(4, 4, 4, Gradient);
  const uint32_t sizes[][2] = {{8193, 1}, {1, 8193}, {4097, 4096}, {0x7fffffff, 0x7fffffff}};
  for (const auto& s : sizes) {
    std::vector<unsigned char> b = png;
    for (int i = 0; i < 8; ++i) b[16 + i] = static_cast<unsigned char>(s[i / 4] >> (24 - 8 * (i % 4)));
    EXPECT_EQ(Decode(b, &w, &h, &d), nullptr) << s[0] << " x " << s[1];
  }
  unsigned char* wide = Decode(EncodePng(8192, 1, 1, Gradient), &w, &h, &d);
  EXPECT_NE(wide, nullptr) << "the largest side still decodes";
  std::free(wide);
}

}  // namespace
