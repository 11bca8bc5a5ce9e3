// libFuzzer target: any byte string handed to the PNG decoder gives either
// null or an image within the size limits, never a crash or a bad access.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "host/image_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int w = 0, h = 0, depth = 0;
  unsigned char* pixels = vo_decode_png_memory(data, size, &w, &h, &depth);
  if (!pixels) return 0;
  if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide || static_cast<long long>(w) * h > kMaxImagePixels ||
      depth < 1 || depth > 4)
    std::abort();
  // Touch the last byte: the block must really be w * h * depth long.
  volatile unsigned char last = pixels[static_cast<size_t>(w) * h * depth - 1];
  (void)last;
  std::free(pixels);
  return 0;
}
