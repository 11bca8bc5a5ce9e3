// PNG files for graphics tests, encoded with stb_image_write.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

// w x h pixels of comp channels from colour(x, y) = 0xAARRGGBB (comp 4) or
// its low comp bytes, encoded as a PNG file image.
inline std::vector<unsigned char> EncodePng(int w, int h, int comp, unsigned (*colour)(int x, int y)) {
  std::vector<unsigned char> px, out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned c = colour(x, y);
      const unsigned char rgba[4] = {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                     static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 24)};
      px.insert(px.end(), rgba, rgba + comp);
    }
  stbi_write_png_to_func(
      [](void* ctx, void* data, int size) {
        auto* o = static_cast<std::vector<unsigned char>*>(ctx);
        o->insert(o->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
      },
      &out, w, h, comp, px.data(), w * comp);
  return out;
}

// Writes a PNG made by EncodePng with 4 channels to path.
inline bool WritePng(const std::string& path, int w, int h, unsigned (*colour)(int x, int y)) {
  const std::vector<unsigned char> bytes = EncodePng(w, h, 4, colour);
  FILE* f = std::fopen(path.c_str(), "wb");
  return f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fclose(f) == 0;
}
