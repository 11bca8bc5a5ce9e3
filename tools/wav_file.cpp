#include "tools/wav_file.h"

#include <cstdio>

namespace {

// Appends a value as n little-endian bytes.
void putLE(std::vector<unsigned char>& out, uint32_t value, int n) {
  for (int i = 0; i < n; ++i) out.push_back((value >> (8 * i)) & 0xff);
}

void putTag(std::vector<unsigned char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::vector<unsigned char> wav_bytes(const std::vector<int16_t>& samples, int channels, int rate) {
  uint32_t dataBytes = uint32_t(samples.size() * 2);
  std::vector<unsigned char> out;
  putTag(out, "RIFF");
  putLE(out, 36 + dataBytes, 4);
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  putLE(out, 16, 4);
  putLE(out, 1, 2);  // plain PCM
  putLE(out, channels, 2);
  putLE(out, rate, 4);
  putLE(out, rate * channels * 2, 4);  // byte rate
  putLE(out, channels * 2, 2);         // block align
  putLE(out, 16, 2);                   // bits per sample
  putTag(out, "data");
  putLE(out, dataBytes, 4);
  for (int16_t s : samples) putLE(out, uint16_t(s), 2);
  return out;
}

bool write_wav(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate) {
  std::vector<unsigned char> bytes = wav_bytes(samples, channels, rate);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool complete = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && complete;
}
