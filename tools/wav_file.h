// RIFF WAVE output for the generated sounds: plain 16-bit PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a WAV file holding interleaved 16-bit samples.
std::vector<unsigned char> wav_bytes(const std::vector<int16_t>& samples, int channels, int rate);
// Writes such a file; false when it cannot be written completely.
bool write_wav(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate);
