// stb_image compiled here with the PNG decoder only, so no other format's
// parser is reachable from a file in the data folder.
#include "host/image_codec.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#define STBI_ONLY_PNG
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS kMaxImageSide
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// True when a header's size and channel count are ones we are willing to decode.
bool acceptable(int w, int h, int comp) {
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return false;
  if (static_cast<long long>(w) * h > kMaxImagePixels) return false;
  return comp >= 1 && comp <= 4;
}

// The largest PNG file we read; far above any compressed image within the
// pixel budget.
constexpr size_t kMaxFileBytes = 128u << 20;

uint32_t be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

// A PNG file starts with an 8-byte signature; each chunk adds a 4-byte length,
// a 4-byte type and a 4-byte CRC around its data.
constexpr size_t kSignatureBytes = 8;
constexpr size_t kChunkOverhead = 12;

// True when every chunk's stated length fits in the bytes that follow it.
// stb_image grows its compressed-data buffer to whatever length an IDAT chunk
// claims before reading it, so a few hostile bytes could otherwise ask for
// gigabytes; with this check its buffers stay within twice the file size.
// A chunk cut short by the end of the file, even one missing only its CRC,
// does not fit.
bool chunksFit(const unsigned char* p, size_t n) {
  size_t pos = kSignatureBytes;
  while (pos < n) {
    if (n - pos < kChunkOverhead) return false;
    size_t len = be32(p + pos);
    if (len > n - pos - kChunkOverhead) return false;
    if (std::memcmp(p + pos + 4, "IEND", 4) == 0) break;
    pos += kChunkOverhead + len;
  }
  return true;
}

// Checks what the decoder produced against the header it promised, then
// hands the block out or frees it.
unsigned char* acceptResult(unsigned char* pixels, int iw, int ih, int ic, int w0, int h0, int* w, int* h, int* depth) {
  if (!pixels) return nullptr;
  if (iw != w0 || ih != h0 || !acceptable(iw, ih, ic)) {
    stbi_image_free(pixels);
    return nullptr;
  }
  *w = iw;
  *h = ih;
  *depth = ic;
  return pixels;
}

}  // namespace

unsigned char* vo_decode_png_file(FILE* f, int* w, int* h, int* depth) {
  if (!f || !w || !h || !depth) return nullptr;
  // Read the whole file (within a cap) so its chunks can be checked first.
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes.size() + n > kMaxFileBytes) return nullptr;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return vo_decode_png_memory(bytes.data(), bytes.size(), w, h, depth);
}

unsigned char* vo_decode_png_memory(const unsigned char* data, size_t size, int* w, int* h, int* depth) {
  if (!data || !w || !h || !depth || size == 0 || size > kMaxFileBytes) return nullptr;
  const int len = static_cast<int>(size);
  int iw = 0, ih = 0, ic = 0;
  if (!stbi_info_from_memory(data, len, &iw, &ih, &ic) || !acceptable(iw, ih, ic)) return nullptr;
  if (!chunksFit(data, size)) return nullptr;
  int lw = 0, lh = 0, lc = 0;
  unsigned char* pixels = stbi_load_from_memory(data, len, &lw, &lh, &lc, 0);
  return acceptResult(pixels, lw, lh, lc, iw, ih, w, h, depth);
}
