// PNG decoding: well-formed files decode with their own channel count, and
// broken, hostile or oversized files give null without crashing (the sanitizer
// build turns any out-of-bounds access in these loops into a failure).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/image_codec.h"
#include "tests/graphics/png_fixture.h"

namespace {

std::vector<unsigned char> Gradient(int w, int h, int comp) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * comp);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i * 7 + i / 5);
  return px;
}

// Big-endian store, as PNG keeps its numbers.
void PutBe32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
  b[at] = static_cast<unsigned char>(v >> 24);
  b[at + 1] = static_cast<unsigned char>(v >> 16);
  b[at + 2] = static_cast<unsigned char>(v >> 8);
  b[at + 3] = static_cast<unsigned char>(v);
}

unsigned char* Decode(const std::vector<unsigned char>& b, int* w, int* h, int* d) {
  return vo_decode_png_memory(b.data(), b.size(), w, h, d);
}

TEST(PngDecoding, KeepsTheFilesChannelCountAndPixels) {
  for (int comp = 1; comp <= 4; ++comp) {
    const std::vector<unsigned char> px = Gradient(13, 7, comp);
    const std::vector<unsigned char> png = EncodePng(13, 7, comp, px);
    int w = 0, h = 0, d = 0;
    unsigned char* out = Decode(png, &w, &h, &d);
    ASSERT_NE(out, nullptr) << "channels " << comp;
    EXPECT_EQ(w, 13);
    EXPECT_EQ(h, 7);
    EXPECT_EQ(d, comp);
    EXPECT_EQ(std::vector<unsigned char>(out, out + px.size()), px);
    std::free(out);
  }
}

TEST(PngDecoding, ReadsFromAnOpenFile) {
  const std::vector<unsigned char> px = Gradient(5, 4, 4);
  const std::vector<unsigned char> png = EncodePng(5, 4, 4, px);
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fwrite(png.data(), 1, png.size(), f);
  std::rewind(f);
  int w = 0, h = 0, d = 0;
  unsigned char* out = vo_decode_png_file(f, &w, &h, &d);
  std::fclose(f);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(w * h * d, 80);
  EXPECT_EQ(std::vector<unsigned char>(out, out + px.size()), px);
  std::free(out);
}

TEST(PngDecoding, RefusesWhatIsNotAPng) {
  int w = 7, h = 7, d = 7;
  // A GIF and a BMP header: other formats are not compiled in.
  const std::vector<unsigned char> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  const std::vector<unsigned char> bmp = {'B', 'M', 30, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0};
  EXPECT_EQ(Decode(gif, &w, &h, &d), nullptr);
  EXPECT_EQ(Decode(bmp, &w, &h, &d), nullptr);
  EXPECT_EQ(vo_decode_png_memory(nullptr, 10, &w, &h, &d), nullptr);
  EXPECT_EQ(vo_decode_png_file(nullptr, &w, &h, &d), nullptr);
  // Outputs are written only on success.
  EXPECT_EQ(w, 7);
  EXPECT_EQ(d, 7);
}

// The header is checked before any pixel memory is asked for: a side above
// 8192 or a pixel count above the budget is refused even though the file
// itself is tiny.
TEST(PngDecoding, RefusesOversizedHeaders) {
  const std::vector<unsigned char> png = EncodePng(4, 4, 4, Gradient(4, 4, 4));
  const struct {
    uint32_t w, h;
  } sizes[] = {{8193, 1}, {1, 8193}, {8192, 8192}, {5000, 5000}, {0x7fffffff, 0x7fffffff}};
  for (const auto& s : sizes) {
    std::vector<unsigned char> b = png;
    PutBe32(b, 16, s.w);  // IHDR width and height follow the signature and chunk header
    PutBe32(b, 20, s.h);
    int w, h, d;
    EXPECT_EQ(Decode(b, &w, &h, &d), nullptr) << s.w << " x " << s.h;
  }
  // The largest accepted side still decodes when the budget allows it.
  const std::vector<unsigned char> wide = EncodePng(kMaxImageSide, 1, 1, Gradient(kMaxImageSide, 1, 1));
  int w, h, d;
  unsigned char* out = Decode(wide, &w, &h, &d);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(w, kMaxImageSide);
  std::free(out);
}

TEST(PngDecoding, TruncatedFilesGiveNull) {
  const std::vector<unsigned char> png = EncodePng(16, 16, 3, Gradient(16, 16, 3));
  for (size_t n = 0; n < png.size(); ++n) {
    std::vector<unsigned char> b(png.begin(), png.begin() + n);
    int w, h, d;
    unsigned char* out = n ? Decode(b, &w, &h, &d) : nullptr;
    // A cut inside the trailing chunk may still leave a complete image;
    // a cut before the end of the pixel data never does.
    if (out) {
      EXPECT_GT(n, png.size() - 16);
      std::free(out);
    }
  }
}

// Every single-byte corruption of a small file either decodes to an image of
// sane size or gives null.
TEST(PngDecoding, CorruptedBytesNeverCrash) {
  const std::vector<unsigned char> png = EncodePng(9, 6, 4, Gradient(9, 6, 4));
  for (size_t i = 0; i < png.size(); ++i)
    for (unsigned char v : {0x00, 0xff, 0x80, 0x01}) {
      std::vector<unsigned char> b = png;
      b[i] = static_cast<unsigned char>(b[i] ^ v);
      int w, h, d;
      unsigned char* out = Decode(b, &w, &h, &d);
      if (!out) continue;
      EXPECT_LE(static_cast<long long>(w) * h, kMaxImagePixels);
      EXPECT_GE(d, 1);
      EXPECT_LE(d, 4);
      std::free(out);
    }
}

}  // namespace
