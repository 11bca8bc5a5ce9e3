// WAV and Ogg decoding: good files decode to the samples they hold, and every
// kind of damaged, hostile or unsupported file is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "host/audio_codec.h"
#include "tools/wav_file.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Reader = unsigned char* (*)(FILE*, int*, int*, int*, int*);

struct Decoded {
  unsigned char* pcm = nullptr;
  int length = 0, channels = 0, format = 0, hertz = 0;
  ~Decoded() { std::free(pcm); }
};

// Runs a reader on the bytes, through a file as the driver does.
void decode(Reader reader, const Bytes& bytes, Decoded* d) {
  FILE* f = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  d->pcm = reader(f, &d->length, &d->channels, &d->format, &d->hertz);
  std::fclose(f);
}

std::vector<int16_t> tone(int frames, int channels) {
  std::vector<int16_t> s;
  for (int i = 0; i < frames * channels; ++i) s.push_back(static_cast<int16_t>(9000 * std::sin(i / channels * 0.05)));
  return s;
}

// A RIFF file of chunks given as tag, stated size and body (odd bodies get their pad byte).
Bytes riff(std::initializer_list<std::tuple<const char*, uint32_t, Bytes>> chunks) {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const auto& [tag, size, body] : chunks) {
    b.insert(b.end(), tag, tag + 4);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(size >> (8 * i)));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);
  }
  return b;
}

std::tuple<const char*, uint32_t, Bytes> fmt(int format, int channels, int rate, int bits) {
  Bytes f;
  const int fields[][2] = {
      {format, 2}, {channels, 2}, {rate, 4}, {rate * channels * bits / 8, 4}, {channels * bits / 8, 2}, {bits, 2}};
  for (auto [v, n] : fields)
    for (int i = 0; i < n; ++i) f.push_back(static_cast<unsigned char>(v >> (8 * i)));
  return {"fmt ", 16, f};
}

TEST(Wav, DecodesWhatItHoldsAndRefusesTheRest) {
  Decoded good;
  decode(LoadWAV, wav_bytes(tone(1000, 2), 2, 22050), &good);
  ASSERT_NE(good.pcm, nullptr);
  EXPECT_EQ(good.length * 1000 + good.channels * 100 + good.format, 1000 * 1000 + 202);
  EXPECT_EQ(reinterpret_cast<int16_t*>(good.pcm)[1999], tone(1000, 2)[1999]);
  const Bytes data(40, 7);
  Decoded odd;  // other chunks and their pad bytes are skipped; a partial last frame is left out
  decode(LoadWAV, riff({fmt(1, 2, 8000, 8), {"LIST", 3, {1, 2, 3}}, {"data", 7, Bytes(7, 9)}}), &odd);
  ASSERT_NE(odd.pcm, nullptr);
  EXPECT_EQ(odd.length, 3);
  Bytes notWave = riff({fmt(1, 1, 8000, 16), {"data", 40, data}});
  notWave[8] = 'X';
  const std::pair<const char*, Bytes> refused[] = {
      {"empty", {}},
      {"not WAVE", notWave},
      {"data first", riff({{"data", 40, data}, fmt(1, 1, 8000, 16)})},
      {"short format", riff({{"fmt ", 14, Bytes(14, 1)}, {"data", 40, data}})},
      {"float samples", riff({fmt(3, 1, 8000, 32), {"data", 40, data}})},
      {"no channels", riff({fmt(1, 0, 8000, 16), {"data", 40, data}})},
      {"12 bits", riff({fmt(1, 1, 8000, 12), {"data", 40, data}})},
      {"no rate", riff({fmt(1, 1, 0, 16), {"data", 40, data}})},
      {"two formats", riff({fmt(1, 1, 8000, 16), fmt(1, 2, 8000, 8), {"data", 40, data}})},
      {"data beyond the file", riff({fmt(1, 1, 8000, 16), {"data", 1000000, data}})},
      {"chunk beyond the file", riff({fmt(1, 1, 8000, 16), {"LIST", 0x7ffffff0u, data}})},
      {"no whole frame", riff({fmt(1, 2, 8000, 16), {"data", 3, Bytes(3, 1)}})},
      {"no data", riff({fmt(1, 1, 8000, 16)})},
  };
  for (const auto& [why, bytes] : refused) {
    Decoded d;
    decode(LoadWAV, bytes, &d);
    EXPECT_EQ(d.pcm, nullptr) << why;
  }
}

// Encodes with the system's Vorbis encoder.
Bytes ogg(int channels, int frames = 4000) {
  // Named per process: the sanitizer build's suite may encode at the same time.
  const std::string stem = testing::TempDir() + "/codec_" + std::to_string(getpid());
  const std::string wav = stem + ".wav", out = stem + ".ogg";
  EXPECT_TRUE(write_wav(wav, tone(frames, channels), channels, 22050));
  EXPECT_EQ(std::system(("oggenc -Q --serial 7 -o '" + out + "' '" + wav + "'").c_str()), 0);
  std::ifstream in(out, std::ios::binary);
  Bytes bytes(std::istreambuf_iterator<char>(in), {});
  std::remove(wav.c_str());
  std::remove(out.c_str());
  return bytes;
}

TEST(Ogg, DecodesMonoAndStereoAndRefusesTheRest) {
  for (int channels : {1, 2}) {
    Decoded d;
    decode(LoadOGG, ogg(channels, 30000), &d);
    ASSERT_NE(d.pcm, nullptr) << channels;
    EXPECT_EQ(d.channels * 100000 + d.hertz, channels * 100000 + 22050);
    EXPECT_NEAR(d.length, 30000, 2048);
    const int16_t* s = reinterpret_cast<int16_t*>(d.pcm);
    EXPECT_NEAR(*std::max_element(s, s + d.length * channels), 9000, 1500);
  }
  const Bytes mono = ogg(1);
  const size_t rate =
      static_cast<size_t>(std::search(mono.begin(), mono.end(), "\x01vorbis", "\x01vorbis" + 7) - mono.begin()) + 12;
  Bytes padded = mono;  // a valid stream made too large by padding alone
  padded.resize(kMaxOggFileBytes + 1);
  std::vector<Bytes> refused = {ogg(3), Bytes(mono.begin(), mono.begin() + 200), Bytes(5000, 7), padded};
  for (uint32_t hz : {uint32_t(kMinOggRate - 1), uint32_t(kMaxOggRate + 1), uint32_t(kMaxOggRate)}) {
    refused.push_back(mono);
    for (int i = 0; i < 4; ++i) refused.back()[rate + i] = static_cast<unsigned char>(hz >> (8 * i));
  }
  for (size_t i = 0; i < refused.size(); ++i) {
    Decoded d;
    decode(LoadOGG, refused[i], &d);
    EXPECT_EQ(d.pcm == nullptr, i + 1 < refused.size()) << "case " << i << "; the highest sane rate loads";
  }
}

}  // namespace
