// PNG decoding for every image the program reads. Anyone can drop a file into
// the data folder, so the decoder checks the header before it allocates and
// gives null, never a crash, for a broken, truncated or oversized file.
#pragma once
#include <cstddef>
#include <cstdio>

// The largest side and the largest pixel count an image may have. A 4096 x
// 4096 RGBA image is 64 MiB, far beyond anything the game ships.
constexpr int kMaxImageSide = 8192;
constexpr long long kMaxImagePixels = 4096LL * 4096LL;

// Decodes the PNG read from f (from its current position) into 8-bit pixels,
// rows top to bottom, with the file's own channel count (1 to 4) in *depth.
// Returns a block released with free(), or null on any failure; the output
// parameters are written only on success. The file stays open.
unsigned char* vo_decode_png_file(FILE* f, int* w, int* h, int* depth);

// The same for a PNG held in memory.
unsigned char* vo_decode_png_memory(const unsigned char* data, size_t size, int* w, int* h, int* depth);
