// File format (native byte order; written and read on one machine):
//   "QFRM" width height textureCount
//   per texture: width height depth texW texH, width*height*depth bytes
//   batchCount, per batch: texture blend type vertexCount, the vertices
#include "bench/frame_record.h"

#include <cstdio>
#include <map>
#include <memory>

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

void putInts(FILE* f, std::initializer_list<int> values) {
  for (int v : values) std::fwrite(&v, sizeof v, 1, f);
}

bool getInts(FILE* f, std::initializer_list<int*> values) {
  for (int* v : values)
    if (std::fread(v, sizeof *v, 1, f) != 1) return false;
  return true;
}

// Reads n items of T into out; false on a short file or an absurd count.
template <class T>
bool getItems(FILE* f, long long n, std::vector<T>* out) {
  if (n < 0 || n > (1 << 26)) return false;
  out->resize(static_cast<size_t>(n));
  return std::fread(out->data(), sizeof(T), out->size(), f) == out->size();
}

}  // namespace

bool WriteFrameRecord(const std::string& path, int width, int height, const std::vector<RecordedBatch>& batches) {
  File f(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!f) return false;
  std::map<const gxtkSurface*, int> index;
  std::vector<const gxtkSurface*> surfaces;
  for (const RecordedBatch& b : batches) {
    if (b.surface && index.emplace(b.surface, static_cast<int>(surfaces.size())).second) surfaces.push_back(b.surface);
  }
  std::fwrite("QFRM", 1, 4, f.get());
  putInts(f.get(), {width, height, static_cast<int>(surfaces.size())});
  for (const gxtkSurface* s : surfaces) {
    // The driver's texture coordinates are texels times uscale / vscale.
    const int texW = static_cast<int>(1.0f / s->uscale + 0.5f);
    const int texH = static_cast<int>(1.0f / s->vscale + 0.5f);
    putInts(f.get(), {s->width, s->height, s->depth, texW, texH});
    const size_t bytes = static_cast<size_t>(s->width) * s->height * s->depth;
    if (s->data) {
      std::fwrite(s->data, 1, bytes, f.get());
    } else {
      std::vector<unsigned char> blank(bytes);
      std::fwrite(blank.data(), 1, bytes, f.get());
    }
  }
  putInts(f.get(), {static_cast<int>(batches.size())});
  for (const RecordedBatch& b : batches) {
    const int tex = b.surface ? index[b.surface] : -1;
    putInts(f.get(), {tex, b.blend, b.type, static_cast<int>(b.vertices.size())});
    std::fwrite(b.vertices.data(), sizeof(gxtkVertex), b.vertices.size(), f.get());
  }
  return std::ferror(f.get()) == 0;
}

bool ReadFrameRecord(const std::string& path, FrameRecord* frame) {
  File f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return false;
  char magic[4];
  int textures = 0, batches = 0;
  if (std::fread(magic, 1, 4, f.get()) != 4 || std::string(magic, 4) != "QFRM") return false;
  if (!getInts(f.get(), {&frame->width, &frame->height, &textures}) || textures < 0) return false;
  frame->textures.resize(static_cast<size_t>(textures));
  for (RecordedTexture& t : frame->textures) {
    if (!getInts(f.get(), {&t.width, &t.height, &t.depth, &t.texW, &t.texH})) return false;
    if (!getItems(f.get(), static_cast<long long>(t.width) * t.height * t.depth, &t.pixels)) return false;
  }
  if (!getInts(f.get(), {&batches}) || batches < 0) return false;
  frame->batches.resize(static_cast<size_t>(batches));
  for (FrameRecord::Batch& b : frame->batches) {
    int count = 0;
    if (!getInts(f.get(), {&b.texture, &b.blend, &b.type, &count})) return false;
    if (b.texture < -1 || b.texture >= textures || !getItems(f.get(), count, &b.vertices)) return false;
  }
  return true;
}
