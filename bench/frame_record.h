// One recorded play frame: the batches the graphics driver sent to OpenGL,
// with their vertices, textures and blend modes, written by the play
// benchmark and drawn by the floor benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/graphics.h"

// One batch as the driver flushed it (primitive kind as in the driver: 1
// points, 2 lines, 3 triangles, 4 quads, n >= 5 polygons of n vertices).
struct RecordedBatch {
  const gxtkSurface* surface = nullptr;
  int blend = 0;
  int type = 0;
  std::vector<gxtkVertex> vertices;
};

// A texture of the frame: premultiplied pixels placed at the top left of a
// texW x texH texture (the size the driver gave OpenGL).
struct RecordedTexture {
  int width = 0, height = 0, depth = 0, texW = 0, texH = 0;
  std::vector<unsigned char> pixels;
};

// The frame as the floor reads it back; batches refer to textures by index
// (-1 untextured).
struct FrameRecord {
  int width = 0, height = 0;
  std::vector<RecordedTexture> textures;
  struct Batch {
    int texture = -1;
    int blend = 0;
    int type = 0;
    std::vector<gxtkVertex> vertices;
  };
  std::vector<Batch> batches;
};

bool WriteFrameRecord(const std::string& path, int width, int height, const std::vector<RecordedBatch>& batches);
bool ReadFrameRecord(const std::string& path, FrameRecord* frame);
