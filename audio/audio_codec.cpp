// WAV and Ogg Vorbis decoding. Files come from the data folder but are read as
// if hostile: a stated size is trusted only once the file is known to hold that
// many bytes, so a damaged header can neither over-allocate nor over-read.
#include "audio/audio_codec.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

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
bool skipBody(FILE* f, uint32_t n) {
    return std::fseek(f, long(n) + long(n & 1), SEEK_CUR) == 0;
}

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
    if (!readLE(f, 2, &audioFormat) || !readLE(f, 2, &channels) || !readLE(f, 4, &rate) ||
        !readLE(f, 4, &byteRate) || !readLE(f, 2, &blockAlign) || !readLE(f, 2, &bits))
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
    if (end < 0 || !readTag(f, "RIFF") || !readLE(f, 4, &riffSize) || !readTag(f, "WAVE"))
        return nullptr;
    // The format chunk has to come first: sample data cannot be read without it.
    Chunk chunk;
    WavFormat fmt;
    if (!readChunk(f, end, &chunk) || !chunk.is("fmt ") || !readFormat(f, chunk.size, &fmt))
        return nullptr;
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
    if (!file) return nullptr;
    std::unique_ptr<char[]> arena(new char[kOggArenaBytes]);
    stb_vorbis_alloc alloc{arena.get(), kOggArenaBytes};
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_memory(file.get(), size, &error, &alloc);
    if (!v) return nullptr;
    // Checked before any audio packet is decoded: the decoder's frame buffers
    // and our block sizes both follow from these two numbers.
    stb_vorbis_info info = stb_vorbis_get_info(v);
    short* pcm = nullptr;
    int frames = 0;
    if ((info.channels == 1 || info.channels == 2) && info.sample_rate >= unsigned(kMinOggRate) &&
        info.sample_rate <= unsigned(kMaxOggRate))
        pcm = decodeAll(v, info.channels, &frames);
    stb_vorbis_close(v);
    if (!pcm) return nullptr;
    *length = frames;
    *channels = info.channels;
    *format = 2;
    *hertz = int(info.sample_rate);
    return reinterpret_cast<unsigned char*>(pcm);
}
