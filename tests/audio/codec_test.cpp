// WAV and Ogg decoding: good files decode to the samples they hold, and every
// kind of damaged or unsupported file is refused without touching memory it
// does not own (the sanitizer build runs these too).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/audio_codec.h"
#include "tools/wav_file.h"

namespace {

using Bytes = std::vector<unsigned char>;

// What a reader produced: the PCM block (freed with the result) and its shape.
struct Decoded {
  unsigned char* pcm = nullptr;
  int length = -1, channels = -1, format = -1, hertz = -1;
  Decoded() = default;
  Decoded(const Decoded&) = delete;
  ~Decoded() { std::free(pcm); }
};

using Reader = unsigned char* (*)(FILE*, int*, int*, int*, int*);

// Runs a reader on a temporary file holding the bytes.
void decode(Reader reader, const Bytes& bytes, Decoded* out) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  std::rewind(f);
  out->pcm = reader(f, &out->length, &out->channels, &out->format, &out->hertz);
  std::fclose(f);
}

// A sine tone as 16-bit samples, the same in every channel.
std::vector<int16_t> tone(int frames, int channels) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) samples.push_back(int16_t(9000 * std::sin(i * 0.05)));
  return samples;
}

// Builds RIFF files chunk by chunk, so each test states the layout it reads.
class Riff {
 public:
  Riff() { bytes_ = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}; }
  // A chunk with its stated size; the pad byte follows an odd-sized body.
  Riff& chunk(const char* tag, const Bytes& body) { return chunkSized(tag, uint32_t(body.size()), body); }
  // A chunk whose stated size need not match the body that follows.
  Riff& chunkSized(const char* tag, uint32_t size, const Bytes& body) {
    bytes_.insert(bytes_.end(), tag, tag + 4);
    put(size, 4);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    if (body.size() % 2) bytes_.push_back(0);
    return *this;
  }
  Riff& fmt(int format, int channels, int rate, int bits, int extra = 0) {
    Bytes body;
    auto add = [&](uint32_t v, int n) {
      for (int i = 0; i < n; ++i) body.push_back((v >> (8 * i)) & 0xff);
    };
    add(format, 2);
    add(channels, 2);
    add(rate, 4);
    add(rate * channels * bits / 8, 4);
    add(channels * bits / 8, 2);
    add(bits, 2);
    body.resize(body.size() + extra, 0);
    return chunk("fmt ", body);
  }
  Bytes bytes() const { return bytes_; }

 private:
  void put(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back((v >> (8 * i)) & 0xff);
  }
  Bytes bytes_;
};

Bytes counting(int n) {
  Bytes b(n);
  for (int i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 1);
  return b;
}

TEST(WavReader, WrittenFileDecodesToItsSamples) {
  std::vector<int16_t> samples = tone(1000, 1);
  Decoded d;
  decode(LoadWAV, wav_bytes(samples, 1, 22050), &d);
  ASSERT_NE(d.pcm, nullptr);
  EXPECT_EQ(d.length, 1000);
  EXPECT_EQ(d.channels, 1);
  EXPECT_EQ(d.format, 2);
  EXPECT_EQ(d.hertz, 22050);
  EXPECT_EQ(std::memcmp(d.pcm, samples.data(), samples.size() * 2), 0);
}

TEST(WavReader, EightBitStereoCountsFramesOfBothChannels) {
  Bytes data = counting(300);
  Decoded d;
  decode(LoadWAV, Riff().fmt(1, 2, 11025, 8).chunk("data", data).bytes(), &d);
  ASSERT_NE(d.pcm, nullptr);
  EXPECT_EQ(d.length, 150);
  EXPECT_EQ(d.channels, 2);
  EXPECT_EQ(d.format, 1);
  EXPECT_EQ(d.hertz, 11025);
  EXPECT_EQ(std::memcmp(d.pcm, data.data(), data.size()), 0);
}

TEST(WavReader, SkipsOtherChunksAndTheirPadBytes) {
  Bytes data = counting(64);
  // An odd-sized chunk is followed by a pad byte that is not part of the next
  // chunk's tag; a longer format chunk's extra bytes are skipped too.
  for (const Bytes& file : {Riff().fmt(1, 1, 8000, 16).chunk("LIST", counting(10)).chunk("data", data).bytes(),
                            Riff().fmt(1, 1, 8000, 16).chunk("junk", counting(3)).chunk("data", data).bytes(),
                            Riff().fmt(1, 1, 8000, 16, 3).chunk("data", data).bytes()}) {
    Decoded d;
    decode(LoadWAV, file, &d);
    ASSERT_NE(d.pcm, nullptr);
    EXPECT_EQ(d.length, 32);
    EXPECT_EQ(std::memcmp(d.pcm, data.data(), data.size()), 0);
  }
}

TEST(WavReader, PartialLastFrameIsLeftOut) {
  Decoded d;
  decode(LoadWAV, Riff().fmt(1, 2, 8000, 16).chunk("data", counting(10)).bytes(), &d);
  ASSERT_NE(d.pcm, nullptr);
  EXPECT_EQ(d.length, 2);
}

struct RefusedWav {
  const char* why;
  Bytes file;
};

std::vector<RefusedWav> refusedWavs() {
  Bytes data = counting(40);
  Bytes good = Riff().fmt(1, 1, 8000, 16).chunk("data", data).bytes();
  Bytes notRiff = good;
  notRiff[0] = 'X';
  Bytes notWave = good;
  notWave[8] = 'X';
  Bytes fmtTooShort = Riff().chunkSized("fmt ", 14, counting(14)).chunk("data", data).bytes();
  Bytes fmtPastEnd = Riff().fmt(1, 1, 8000, 16).bytes();
  fmtPastEnd[16] = 200;  // the format chunk claims 200 bytes
  Bytes dataPastEnd = Riff().fmt(1, 1, 8000, 16).chunkSized("data", 1000000, data).bytes();
  Bytes dataHuge = Riff().fmt(1, 1, 8000, 16).chunkSized("data", 0xfffffff0u, data).bytes();
  Bytes otherPastEnd = Riff().fmt(1, 1, 8000, 16).chunkSized("LIST", 0x7ffffff0u, data).bytes();
  return {
      {"empty file", {}},
      {"not RIFF", notRiff},
      {"not WAVE", notWave},
      {"other chunk before the format",
       Riff().chunk("LIST", counting(4)).fmt(1, 1, 8000, 16).chunk("data", data).bytes()},
      {"data before the format", Riff().chunk("data", data).fmt(1, 1, 8000, 16).bytes()},
      {"format chunk shorter than 16 bytes", fmtTooShort},
      {"format chunk beyond the file", fmtPastEnd},
      {"float samples", Riff().fmt(3, 1, 8000, 32).chunk("data", data).bytes()},
      {"extensible format", Riff().fmt(0xfffe, 1, 8000, 16, 24).chunk("data", data).bytes()},
      {"no channels", Riff().fmt(1, 0, 8000, 16).chunk("data", data).bytes()},
      {"no bits", Riff().fmt(1, 1, 8000, 0).chunk("data", data).bytes()},
      {"bits not whole bytes", Riff().fmt(1, 1, 8000, 12).chunk("data", data).bytes()},
      {"no sample rate", Riff().fmt(1, 1, 0, 16).chunk("data", data).bytes()},
      {"second format chunk", Riff().fmt(1, 1, 8000, 16).fmt(1, 2, 8000, 8).chunk("data", data).bytes()},
      {"data beyond the file", dataPastEnd},
      {"data size near 4 GiB", dataHuge},
      {"other chunk beyond the file", otherPastEnd},
      {"data without a whole frame", Riff().fmt(1, 2, 8000, 16).chunk("data", counting(3)).bytes()},
      {"no data chunk", Riff().fmt(1, 1, 8000, 16).chunk("LIST", counting(8)).bytes()},
      {"cut inside the format", Bytes(good.begin(), good.begin() + 30)},
  };
}

TEST(WavReader, RefusesDamagedAndUnsupportedFiles) {
  for (const RefusedWav& c : refusedWavs()) {
    Decoded d;
    decode(LoadWAV, c.file, &d);
    EXPECT_EQ(d.pcm, nullptr) << c.why;
  }
}

// Encodes samples with the system's Vorbis encoder into a file in the test's
// temporary folder and returns its bytes.
Bytes encodeOgg(const std::vector<int16_t>& samples, int channels, int rate) {
  std::string dir = testing::TempDir();
  std::string wav = dir + "/codec_test_in.wav";
  std::string ogg = dir + "/codec_test_out.ogg";
  EXPECT_TRUE(write_wav(wav, samples, channels, rate));
  std::string command = "oggenc -Q --serial 7 -o '" + ogg + "' '" + wav + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << "oggenc (vorbis-tools) is needed";
  std::ifstream in(ogg, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Offset of the identification header's channel byte ("\x01vorbis", version).
size_t identChannelsOffset(const Bytes& ogg) {
  static const char kIdent[] = "\x01vorbis";
  auto at = std::search(ogg.begin(), ogg.end(), kIdent, kIdent + 7);
  EXPECT_NE(at, ogg.end());
  return size_t(at - ogg.begin()) + 7 + 4;
}

void putRate(Bytes& ogg, uint32_t rate) {
  size_t at = identChannelsOffset(ogg) + 1;
  for (int i = 0; i < 4; ++i) ogg[at + i] = (rate >> (8 * i)) & 0xff;
}

// Largest absolute sample of a 16-bit block.
int peak(const unsigned char* pcm, int samples) {
  const int16_t* s = reinterpret_cast<const int16_t*>(pcm);
  int most = 0;
  for (int i = 0; i < samples; ++i) most = std::max(most, std::abs(int(s[i])));
  return most;
}

TEST(OggReader, EncodedMonoAndStereoDecodeToTheirShape) {
  for (int channels : {1, 2}) {
    // Long enough that the PCM block has to grow several times.
    Bytes ogg = encodeOgg(tone(30000, channels), channels, 22050);
    Decoded d;
    decode(LoadOGG, ogg, &d);
    ASSERT_NE(d.pcm, nullptr) << channels;
    EXPECT_EQ(d.channels, channels);
    EXPECT_EQ(d.format, 2);
    EXPECT_EQ(d.hertz, 22050);
    // Vorbis may round the length to its block size at either end.
    EXPECT_NEAR(d.length, 30000, 2048);
    // The tone's peak is 9000; lossy coding keeps it roughly.
    EXPECT_NEAR(peak(d.pcm, d.length * channels), 9000, 1500);
  }
}

TEST(OggReader, RefusesMoreThanTwoChannels) {
  Decoded d;
  decode(LoadOGG, encodeOgg(tone(4000, 3), 3, 22050), &d);
  EXPECT_EQ(d.pcm, nullptr);
}

TEST(OggReader, RefusesRatesOutsideTheSaneRange) {
  Bytes ogg = encodeOgg(tone(4000, 1), 1, 22050);
  for (uint32_t rate : {uint32_t(kMinOggRate - 1), uint32_t(kMaxOggRate + 1), 0x7fffffffu}) {
    Bytes patched = ogg;
    putRate(patched, rate);
    Decoded d;
    decode(LoadOGG, patched, &d);
    EXPECT_EQ(d.pcm, nullptr) << rate;
  }
  Bytes patched = ogg;
  putRate(patched, kMaxOggRate);
  Decoded d;
  decode(LoadOGG, patched, &d);
  EXPECT_NE(d.pcm, nullptr) << "the highest sane rate still loads";
}

TEST(OggReader, RefusesDamagedFiles) {
  Bytes ogg = encodeOgg(tone(4000, 1), 1, 22050);
  Bytes garbage = counting(5000);
  for (const Bytes& file : {Bytes(), Bytes(ogg.begin(), ogg.begin() + 200), garbage}) {
    Decoded d;
    decode(LoadOGG, file, &d);
    EXPECT_EQ(d.pcm, nullptr) << file.size();
  }
}

TEST(OggReader, RefusesFilesOverTheSizeCapBeforeDecoding) {
  // A valid stream followed by padding: only its size makes it unacceptable.
  Bytes ogg = encodeOgg(tone(4000, 1), 1, 22050);
  std::string path = testing::TempDir() + "/codec_test_big.ogg";
  FILE* f = std::fopen(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(ogg.data(), 1, ogg.size(), f), ogg.size());
  std::fflush(f);
  ASSERT_EQ(ftruncate(fileno(f), kMaxOggFileBytes + 1), 0);
  std::rewind(f);
  int length, channels, format, hertz;
  EXPECT_EQ(LoadOGG(f, &length, &channels, &format, &hertz), nullptr);
  std::fclose(f);
  std::filesystem::remove(path);
}

}  // namespace
