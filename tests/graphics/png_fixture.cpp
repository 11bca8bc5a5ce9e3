#include "tests/graphics/png_fixture.h"

#include <cstdio>
#include <filesystem>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {
void Append(void* ctx, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(ctx);
  const auto* p = static_cast<const unsigned char*>(data);
  out->insert(out->end(), p, p + size);
}
}  // namespace

std::vector<unsigned char> EncodePng(int w, int h, int comp, const std::vector<unsigned char>& px) {
  std::vector<unsigned char> out;
  stbi_write_png_to_func(Append, &out, w, h, comp, px.data(), w * comp);
  return out;
}

std::vector<unsigned char> RgbaPixels(int w, int h, unsigned (*colour)(int x, int y)) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned c = colour(x, y);
      unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<unsigned char>(c >> 16);
      p[1] = static_cast<unsigned char>(c >> 8);
      p[2] = static_cast<unsigned char>(c);
      p[3] = static_cast<unsigned char>(c >> 24);
    }
  return px;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool WriteSolidPng(const std::string& path, int w, int h, unsigned argb) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = static_cast<unsigned char>(argb >> 16);
    px[i + 1] = static_cast<unsigned char>(argb >> 8);
    px[i + 2] = static_cast<unsigned char>(argb);
    px[i + 3] = static_cast<unsigned char>(argb >> 24);
  }
  return WriteFile(path, EncodePng(w, h, 4, px));
}
