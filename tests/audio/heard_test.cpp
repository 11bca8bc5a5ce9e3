// What is actually heard: OpenAL Soft's wave-file backend (configured by the
// file that ALSOFT_CONF names) records the mix of one device while the test
// plays a tone four times, each time followed by silence: in the middle, panned
// right, panned left, and at rate 2. The recording is then cut at the silences
// and each burst is measured.
#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "tools/wav_file.h"

namespace {

constexpr double kToneSeconds = 0.4;
constexpr double kPi = 3.14159265358979323846;

// The recorded stereo frames as left and right sample values.
struct Recording {
  int rate = 0;
  std::vector<int> left, right;
};

// A burst of sound: first and last loud frame, and the energy of each side.
struct Burst {
  size_t first = 0, last = 0;
  double leftEnergy = 0, rightEnergy = 0;
  double seconds(int rate) const { return double(last - first) / rate; }
};

uint32_t le(const std::vector<unsigned char>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

// Reads the backend's 16-bit stereo file; the data runs to the end of the file
// whatever its header says, since the device is never closed by the driver.
Recording readRecording(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b(std::istreambuf_iterator<char>(in), {});
  Recording r;
  size_t at = 12;
  int channels = 0, bits = 0;
  while (at + 8 <= b.size()) {
    std::string tag(b.begin() + at, b.begin() + at + 4);
    uint32_t size = le(b, at + 4, 4);
    if (tag == "fmt ") {
      channels = int(le(b, at + 10, 2));
      r.rate = int(le(b, at + 12, 4));
      bits = int(le(b, at + 22, 2));
    }
    if (tag == "data") {
      at += 8;
      break;
    }
    at += 8 + size + (size & 1);
  }
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(bits, 16);
  for (; at + 4 <= b.size(); at += 4) {
    r.left.push_back(int16_t(le(b, at, 2)));
    r.right.push_back(int16_t(le(b, at + 2, 2)));
  }
  return r;
}

// Splits the recording into bursts separated by at least 30 ms of near silence.
std::vector<Burst> bursts(const Recording& r) {
  const int loud = 300;
  const size_t gap = size_t(r.rate * 0.03);
  std::vector<Burst> found;
  bool open = false;
  for (size_t i = 0; i < r.left.size(); ++i) {
    int l = std::abs(r.left[i]), rt = std::abs(r.right[i]);
    if (open && i - found.back().last > gap) open = false;
    if (std::max(l, rt) < loud) continue;
    if (!open) {
      found.push_back(Burst{i, i, 0, 0});
      open = true;
    }
    Burst& b = found.back();
    b.last = i;
    b.leftEnergy += double(l) * l;
    b.rightEnergy += double(rt) * rt;
  }
  return found;
}

// Plays the tone on channel 0 with the given pan and rate, waits until OpenAL
// has finished it, and leaves a stretch of silence after it.
void playAndWait(gxtkAudio* audio, c_Sound* tone, float pan, float rate) {
  vo_audio_SetChannelPan(0, pan);
  vo_audio_SetChannelRate(0, rate);
  vo_audio_SetChannelVolume(0, 1);
  vo_audio_PlaySound(tone, 0, 0);
  for (int i = 0; i < 1000 && audio->ChannelState(0) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Plays the tone four times on a fresh device and reads back what the backend
// wrote; an empty recording when the tone could not be loaded.
Recording record() {
  std::remove(QUILLET_WAVE_OUT);
  static VoGlfwGame host;
  std::vector<int16_t> samples;
  int frames = int(kToneSeconds * 22050);
  for (int i = 0; i < frames; ++i) {
    double fade = std::min(1.0, std::min(i, frames - 1 - i) / 100.0);
    samples.push_back(int16_t(16000 * fade * std::sin(2 * kPi * 440 * i / 22050)));
  }
  std::string path = testing::TempDir() + "/heard_test_tone.wav";
  gxtkAudio* audio = new gxtkAudio();
  vo_audio_SetAudioDevice(audio);
  c_Sound* tone = write_wav(path, samples, 1, 22050) ? vo_audio_LoadSound(String(path.c_str())) : nullptr;
  if (!tone) return Recording();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  playAndWait(audio, tone, 0, 1);
  playAndWait(audio, tone, float(kPi / 2), 1);
  playAndWait(audio, tone, float(-kPi / 2), 1);
  playAndWait(audio, tone, 0, 2);
  // Closing the device makes the backend finish its file.
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(static_cast<ALCcontext*>(audio->alcContext));
  alcCloseDevice(static_cast<ALCdevice*>(audio->alcDevice));
  return readRecording(QUILLET_WAVE_OUT);
}

class Heard : public ::testing::Test {
 protected:
  // Records once for all tests of the suite.
  static void SetUpTestSuite() {
    recording = record();
    found = bursts(recording);
  }

  static Recording recording;
  static std::vector<Burst> found;
};

Recording Heard::recording;
std::vector<Burst> Heard::found;

TEST_F(Heard, EachPlayIsOneBurst) {
  ASSERT_GT(recording.rate, 0);
  EXPECT_EQ(found.size(), 4u);
}

TEST_F(Heard, PlayedEffectLastsAsLongAsItsFile) {
  ASSERT_GE(found.size(), 1u);
  EXPECT_NEAR(found[0].seconds(recording.rate), kToneSeconds, 0.02);
  // In the middle both sides carry it about equally.
  EXPECT_NEAR(found[0].leftEnergy / found[0].rightEnergy, 1.0, 0.2);
}

TEST_F(Heard, PanMovesItBetweenRightAndLeft) {
  ASSERT_GE(found.size(), 3u);
  EXPECT_GT(found[1].rightEnergy, 4 * found[1].leftEnergy);
  EXPECT_GT(found[2].leftEnergy, 4 * found[2].rightEnergy);
}

TEST_F(Heard, RateTwoHalvesItsLength) {
  ASSERT_GE(found.size(), 4u);
  EXPECT_NEAR(found[3].seconds(recording.rate), kToneSeconds / 2, 0.02);
}

}  // namespace
