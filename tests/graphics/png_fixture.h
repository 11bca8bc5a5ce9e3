// PNG files for graphics tests, encoded with stb_image_write.
#pragma once
#include <string>
#include <vector>

// Encodes w x h pixels of comp channels (rows top first) as a PNG file image.
std::vector<unsigned char> EncodePng(int w, int h, int comp, const std::vector<unsigned char>& px);
// An RGBA picture of w x h filled by colour(x, y) = 0xAARRGGBB.
std::vector<unsigned char> RgbaPixels(int w, int h, unsigned (*colour)(int x, int y));
// Writes bytes to path, creating parent folders; false on failure.
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);
// Writes a w x h RGBA PNG of one opaque colour.
bool WriteSolidPng(const std::string& path, int w, int h, unsigned argb = 0xffffffffu);
