// WAV and Ogg Vorbis decoding. Files come from the data folder but are read as
// if hostile: a stated size is trusted only once the file is known to hold that
// many bytes, so a damaged header can neither over-allocate nor over-read.
#include "host/audio_codec.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

// The decoder's working memory for one Ogg file comes from one arena of this
// size, so hostile codebook sizes fail inside the arena instead of reaching
// the heap.
constexpr int kOggArenaBytes = 4 << 20;
// One decoded Vorbis frame holds at most this many sample frames per channel.
constexpr long kOggMaxFrameSamples = 4096;

// The offset just past the file's last byte, leaving the read position where
// it was; -1 when the file cannot tell.
long fileEnd(FILE* f) {
  long pos = std::ftell(f);
  if (pos < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(f);
  if (std::fseek(f, pos, SEEK_SET) != 0 || end < pos) return -1;
  return end;
}

// Reads n (at most 4) bytes as a little-endian unsigned value.
bool readLE(FILE* f, int n, uint32_t* out) {
  unsigned char b[4];
  if (std::fread(b, 1, n, f) != size_t(n)) return false;
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[i];
  *out = v;
  return true;
}

// Reads a four-character tag and tells whether it is the expected one.
bool readTag(FILE* f, const char* expected) {
  char tag[4];
  return std::fread(tag, 1, 4, f) == 4 && std::memcmp(tag, expected, 4) == 0;
}

// A RIFF chunk header: its tag and the size of its body.
struct Chunk {
  char tag[4];
  uint32_t size;
  bool is(const char* name) const { return std::memcmp(tag, name, 4) == 0; }
};

// Reads a chunk header whose body must lie wholly inside the file (the pad
// byte after an odd-sized last chunk may be missing).
bool readChunk(FILE* f, long end, Chunk* c) {
  if (std::fread(c->tag, 1, 4, f) != 4 || !readLE(f, 4, &c->size)) return false;
  long pos = std::ftell(f);
  return pos >= 0 && c->size <= uint32_t(end - pos) && c->size <= uint32_t(INT_MAX);
}

// Moves past n body bytes and the pad byte that keeps chunks at even offsets.
bool skipBody(FILE* f, uint32_t n) { return std::fseek(f, long(n) + long(n & 1), SEEK_CUR) == 0; }

// The fields of a "fmt " chunk that decoding needs.
struct WavFormat {
  int channels;
  int bits;
  int rate;
};

// Reads the body of a "fmt " chunk of the given size and accepts only plain
// integer PCM with at least one channel, whole bytes per sample and a rate.
bool readFormat(FILE* f, uint32_t size, WavFormat* fmt) {
  uint32_t audioFormat, channels, rate, byteRate, blockAlign, bits;
  if (size < 16) return false;
  if (!readLE(f, 2, &audioFormat) || !readLE(f, 2, &channels) || !readLE(f, 4, &rate) || !readLE(f, 4, &byteRate) ||
      !readLE(f, 2, &blockAlign) || !readLE(f, 2, &bits))
    return false;
  if (audioFormat != 1 || channels == 0 || bits == 0 || bits % 8 != 0) return false;
  if (rate == 0 || rate > uint32_t(INT_MAX)) return false;
  *fmt = WavFormat{int(channels), int(bits), int(rate)};
  return skipBody(f, size - 16);
}

// Reads a "data" chunk body of the given size into a new block; null when it
// holds no whole sample frame or cannot be read completely.
unsigned char* readData(FILE* f, uint32_t size, int frameBytes) {
  if (size < uint32_t(frameBytes)) return nullptr;
  auto* data = static_cast<unsigned char*>(std::malloc(size));
  if (data && std::fread(data, 1, size, f) == size) return data;
  std::free(data);
  return nullptr;
}

// Reads everything from the read position to the end of the file when it is
// no larger than the cap.
std::unique_ptr<unsigned char[]> readCapped(FILE* f, long cap, int* size) {
  long pos = std::ftell(f);
  long end = fileEnd(f);
  if (pos < 0 || end <= pos || end - pos > cap) return nullptr;
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[end - pos]);
  if (std::fread(bytes.get(), 1, end - pos, f) != size_t(end - pos)) return nullptr;
  *size = int(end - pos);
  return bytes;
}

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Walks the Ogg pages of an in-memory file in order, as stb_vorbis does while
// it opens a stream. Only whole pages whose data lies inside the file count.
class OggPages {
 public:
  OggPages(const unsigned char* file, long size) : file_(file), size_(size) {}

  // Moves to the next page; false when there is no whole page there.
  bool next() {
    if (pos_ + 27 > size_ || std::memcmp(file_ + pos_, "OggS", 4) != 0 || file_[pos_ + 4] != 0) return false;
    flags = file_[pos_ + 5];
    count = file_[pos_ + 26];
    lacing = file_ + pos_ + 27;
    long data = pos_ + 27 + count;
    long end = data;
    for (int i = 0; i < count && end <= size_; ++i) end += lacing[i];
    if (count == 0 || end > size_) return false;
    body = file_ + data;
    pos_ = end;
    return true;
  }

  // Header flags of the page: a packet continued from the last page, first page.
  static constexpr int kContinued = 1;
  static constexpr int kFirst = 2;

  int flags = 0;
  int count = 0;
  const unsigned char* lacing = nullptr;
  const unsigned char* body = nullptr;

 private:
  const unsigned char* file_;
  long size_;
  long pos_ = 0;
};

// Reassembles the packet that starts on the next page: segments run on while
// they are 255 bytes long, onto following pages marked as continued.
bool readPacket(OggPages& pages, std::vector<unsigned char>& packet) {
  if (!pages.next() || (pages.flags & OggPages::kContinued)) return false;
  for (;;) {
    const unsigned char* at = pages.body;
    for (int i = 0; i < pages.count; ++i) {
      packet.insert(packet.end(), at, at + pages.lacing[i]);
      at += pages.lacing[i];
      if (pages.lacing[i] < 255) return true;
    }
    if (!pages.next() || !(pages.flags & OggPages::kContinued)) return false;
  }
}

// The identification header, alone on the first page: a plain Vorbis stream of
// one or two channels at a sane rate.
bool identificationSane(OggPages& pages) {
  if (!pages.next() || !(pages.flags & OggPages::kFirst) || pages.count != 1 || pages.lacing[0] != 30) return false;
  const unsigned char* id = pages.body;
  if (id[0] != 1 || std::memcmp(id + 1, "vorbis", 6) != 0 || le32(id + 7) != 0) return false;
  uint32_t rate = le32(id + 12);
  return (id[11] == 1 || id[11] == 2) && rate >= uint32_t(kMinOggRate) && rate <= uint32_t(kMaxOggRate);
}

// The comment header: every length it states must fit in the packet. The
// decoder trusts these lengths, and a huge one makes it write far outside the
// block it allocated for the text.
bool commentSane(const std::vector<unsigned char>& c) {
  if (c.size() < 7 || c[0] != 3 || std::memcmp(c.data() + 1, "vorbis", 6) != 0) return false;
  size_t at = 7;
  auto field = [&](uint32_t* value) {
    if (c.size() - at < 4) return false;
    *value = le32(c.data() + at);
    at += 4;
    return true;
  };
  uint32_t length, comments;
  if (!field(&length) || length > c.size() - at) return false;
  at += length;
  if (!field(&comments) || comments > (c.size() - at) / 4) return false;
  for (uint32_t i = 0; i < comments; ++i) {
    if (!field(&length) || length > c.size() - at) return false;
    at += length;
  }
  return at < c.size();  // the framing byte follows
}

// Checks the first two Vorbis headers before the decoder sees the file.
bool oggHeadersSane(const unsigned char* file, long size) {
  OggPages pages(file, size);
  std::vector<unsigned char> comment;
  return identificationSane(pages) && readPacket(pages, comment) && commentSane(comment);
}

// Decodes every frame of an opened stream as interleaved 16-bit samples into a
// block that doubles whenever less than one more frame fits; null past the PCM
// cap or when nothing decodes.
short* decodeAll(stb_vorbis* v, int c, int* frames) {
  long room = c * kOggMaxFrameSamples;
  long offset = 0;
  auto* pcm = static_cast<short*>(std::malloc(room * sizeof(short)));
  *frames = 0;
  while (pcm) {
    int n = stb_vorbis_get_frame_short_interleaved(v, c, pcm + offset, int(room - offset));
    if (n == 0) {
      if (*frames > 0) return pcm;
      break;
    }
    *frames += n;
    offset += long(c) * n;
    if (offset + c * kOggMaxFrameSamples <= room) continue;
    short* grown = nullptr;
    if (2 * room * long(sizeof(short)) <= kMaxOggPcmBytes)
      grown = static_cast<short*>(std::realloc(pcm, 2 * room * sizeof(short)));
    if (!grown) break;
    pcm = grown;
    room *= 2;
  }
  std::free(pcm);
  return nullptr;
}

}  // namespace

unsigned char* LoadWAV(FILE* f, int* length, int* channels, int* format, int* hertz) {
  long end = fileEnd(f);
  uint32_t riffSize;
  if (end < 0 || !readTag(f, "RIFF") || !readLE(f, 4, &riffSize) || !readTag(f, "WAVE")) return nullptr;
  // The format chunk has to come first: sample data cannot be read without it.
  Chunk chunk;
  WavFormat fmt;
  if (!readChunk(f, end, &chunk) || !chunk.is("fmt ") || !readFormat(f, chunk.size, &fmt)) return nullptr;
  int frameBytes = fmt.channels * (fmt.bits / 8);
  while (readChunk(f, end, &chunk)) {
    // A second format chunk would contradict the first.
    if (chunk.is("fmt ")) return nullptr;
    if (chunk.is("data")) {
      unsigned char* data = readData(f, chunk.size, frameBytes);
      if (!data) return nullptr;
      *length = int(chunk.size / uint32_t(frameBytes));
      *channels = fmt.channels;
      *format = fmt.bits / 8;
      *hertz = fmt.rate;
      return data;
    }
    if (!skipBody(f, chunk.size)) return nullptr;
  }
  return nullptr;
}

unsigned char* LoadOGG(FILE* f, int* length, int* channels, int* format, int* hertz) {
  int size = 0;
  std::unique_ptr<unsigned char[]> file = readCapped(f, kMaxOggFileBytes, &size);
  if (!file || !oggHeadersSane(file.get(), size)) return nullptr;
  std::unique_ptr<char[]> arena(new char[kOggArenaBytes]);
  stb_vorbis_alloc alloc{arena.get(), kOggArenaBytes};
  int error = 0;
  stb_vorbis* v = stb_vorbis_open_memory(file.get(), size, &error, &alloc);
  if (!v) return nullptr;
  // The channel count and rate were checked with the headers above.
  stb_vorbis_info info = stb_vorbis_get_info(v);
  int frames = 0;
  short* pcm = decodeAll(v, info.channels, &frames);
  stb_vorbis_close(v);
  if (!pcm) return nullptr;
  *length = frames;
  *channels = info.channels;
  *format = 2;
  *hertz = int(info.sample_rate);
  return reinterpret_cast<unsigned char*>(pcm);
}
