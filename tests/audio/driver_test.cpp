// The OpenAL driver and the audio module on OpenAL Soft's null device: the
// channel state machine, suspend and resume, pan and rate as OpenAL holds
// them, buffers deleted only once no channel plays them, and samples let go
// by the channels that stopped playing them.
#include <AL/al.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "audio/audio.h"
#include "host/game.h"
#include "tests/support/test_host.h"
#include "tools/wav_file.h"

namespace {

std::vector<Object*> roots;
std::vector<std::string> written;

// A path in the test's folder named for this process (tests running side by
// side must not rewrite each other's files); the file goes after the test.
std::string tempFile(const char* name) {
  written.push_back(testing::TempDir() + "/driver_" + std::to_string(getpid()) + name);
  return written.back();
}

// A 16-bit tone of the given length.
std::string tone(const char* name, double seconds, int channels = 1) {
  const std::string path = tempFile(name);
  EXPECT_TRUE(
      write_wav(path, std::vector<int16_t>(static_cast<size_t>(seconds * 22050) * channels, 8000), channels, 22050));
  return path;
}

ALint state(ALuint source) {
  ALint s = 0;
  alGetSourcei(source, AL_SOURCE_STATE, &s);
  return s;
}

// Waits for OpenAL's mixer to finish a source (the limit only guards against a hang).
void waitStopped(ALuint source) {
  for (int i = 0; i < 1000 && state(source) != AL_STOPPED; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// One full collection with immediate destruction of the garbage.
void collect() {
  gc_stress = true;
  gc_mark();
  gc_collect();
  gc_stress = false;
}

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    gc_mark_roots_hook = [] {
      gc_mark_q(vo_audio_device);
      for (Object* o : roots) gc_mark_q(o);
    };
    vo_audio_SetAudioDevice(audio = new gxtkAudio());
  }
  void TearDown() override {
    for (int channel = 0; channel < gxtkAudio::kChannels; ++channel) audio->StopChannel(channel);
    roots.clear();
    collect();
    audio->FlushDiscarded();
    EXPECT_EQ(gxtkDiscardedCount(), 0);
    for (const std::string& path : written) std::remove(path.c_str());
  }
  gxtkSample* load(const std::string& path) {
    gxtkSample* s = audio->LoadSample(String(path.c_str()));
    EXPECT_NE(s, nullptr) << path;
    roots.push_back(s);
    return s;
  }
  ALuint source(int channel) { return audio->channels[channel].source; }
  VoGlfwGame host;
  gxtkAudio* audio = nullptr;
  std::string shortTone = tone("short.wav", 0.05), longTone = tone("long.wav", 1.0);
};

TEST_F(Driver, ChannelStatesSuspendPanAndRate) {
  audio->PlaySample(load(longTone), 0, 1);
  audio->PlaySample(load(longTone), 1, 1);
  audio->PauseChannel(1);
  audio->PauseChannel(1);
  EXPECT_EQ(audio->ChannelState(1), 2);
  audio->PlaySample(load(shortTone), 2, 0);
  waitStopped(source(2));
  EXPECT_EQ(audio->ChannelState(2), 0) << "ended: only OpenAL knew";
  audio->Suspend();
  EXPECT_EQ(state(source(0)), AL_PAUSED);
  EXPECT_EQ(audio->ChannelState(0), 1);
  audio->Resume();
  EXPECT_EQ(state(source(0)), AL_PLAYING) << "what was sounding restarts";
  EXPECT_EQ(state(source(1)), AL_PAUSED) << "what the game paused stays paused";
  audio->StopChannel(0);
  audio->ResumeChannel(0);
  EXPECT_EQ(state(source(0)), AL_STOPPED);
  audio->SetPan(3, 0.5f);
  audio->SetRate(3, 1.5f);
  ALfloat x, y, z, pitch;
  alGetSource3f(source(3), AL_POSITION, &x, &y, &z);
  alGetSourcef(source(3), AL_PITCH, &pitch);
  EXPECT_EQ(std::tuple(std::lround(x * 1000), std::lround(z * 1000), pitch), std::tuple(479L, -878L, 1.5f))
      << "half a radian to the right of straight ahead";
}

TEST_F(Driver, BuffersOutliveTheirSampleWhileAChannelPlaysThem) {
  gxtkSample* other = load(shortTone);
  c_Sound* sound = vo_audio_LoadSound(String(longTone.c_str()));
  ASSERT_NE(sound, nullptr);
  const unsigned buffer = sound->m_sample->al_buffer;
  vo_audio_PlaySound(sound, 0, 1);
  collect();
  EXPECT_TRUE(alIsBuffer(buffer)) << "the channel still marks the sample";
  EXPECT_EQ(state(source(0)), AL_PLAYING);
  vo_audio_StopChannel(0);
  collect();
  EXPECT_EQ(gxtkDiscardedCount(), 1);
  audio->PlaySample(other, 1, 0);  // the next flush deletes it
  EXPECT_FALSE(alIsBuffer(buffer));
  gxtkSample* playing = load(longTone);
  const unsigned second = playing->al_buffer;
  audio->PlaySample(playing, 0, 1);
  playing->Discard();
  audio->PlaySample(other, 1, 0);
  EXPECT_TRUE(alIsBuffer(second)) << "a discarded buffer waits for its channel to stop";
  load(tone("three.wav", 0.1, 3));  // refused upload: OpenAL is left holding an error
  audio->StopChannel(0);
  audio->PlaySample(other, 1, 0);
  EXPECT_FALSE(alIsBuffer(second));
}

TEST_F(Driver, FormatsExtensionsAndTheGeneratedEffects) {
  std::vector<unsigned char> bytes = wav_bytes(std::vector<int16_t>(500, 0x4080), 1, 8000);
  bytes[32] = 1;  // an 8-bit file: block align and bits patched
  bytes[34] = 8;
  const std::string eight = tempFile("EIGHT.WAV");
  std::ofstream(eight, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (auto [path, bits, channels, size] : {std::tuple{eight, 8, 1, 1000}, {tone("stereo.wav", 0.1, 2), 16, 2, 8820}}) {
    ALint b = 0, c = 0, s = 0;
    const unsigned buffer = load(path)->al_buffer;
    alGetBufferi(buffer, AL_BITS, &b);
    alGetBufferi(buffer, AL_CHANNELS, &c);
    alGetBufferi(buffer, AL_SIZE, &s);
    EXPECT_EQ(std::tuple(b, c, s), std::tuple(bits, channels, size)) << path;
  }
  EXPECT_EQ(audio->LoadSample(String((shortTone + ".txt").c_str())), nullptr);
  EXPECT_EQ(vo_audio_LoadSound(String("sfx/no-such-sound.wav")), nullptr);
  for (const char* name : {"sfx/001.wav", "sfx/098.wav"}) EXPECT_NE(vo_audio_LoadSound(String(name)), nullptr) << name;
}

// A channel lets go of its sample in every way it can come to stop: stopped by
// the game; or played to its end and then asked for its state, paused, or only
// found by a collection. The collections destroy garbage at once, so a channel
// still holding its sample would point at a destroyed object.
TEST_F(Driver, AStoppedChannelLetsGoOfItsSample) {
  for (int way = 0; way < 4; ++way) {
    audio->PlaySample(audio->LoadSample(String(shortTone.c_str())), 0, 0);  // the sample's only holder
    if (way > 0) waitStopped(source(0));
    if (way == 0) audio->StopChannel(0);
    if (way == 1) audio->ChannelState(0);
    if (way == 2) audio->PauseChannel(0);
    collect();
    EXPECT_EQ(audio->channels[0].sample, nullptr) << way;
    EXPECT_EQ(audio->ChannelState(0), 0) << way;
    // An OpenAL that reported the detached source as initial instead of
    // stopped must not lead the next collection to the destroyed sample.
    audio->FlushDiscarded();
    alSourceRewind(source(0));
    collect();
    audio->PlaySample(load(shortTone), 0, 0);
    EXPECT_EQ(audio->ChannelState(0), 1) << way;
    audio->StopChannel(0);
  }
}

// A browser page keeps sound silent until the player's first key, click or
// touch. A sample played before that must not start: it would wait and then
// sound together with every other one. Once sound is allowed it plays.
TEST_F(Driver, NothingStartsWhileThePlatformKeepsSoundSilent) {
  gxtkSample* sample = load(longTone);
  VoTestHost page;
  page.soundAllowed = false;
  audio->PlaySample(sample, 0, 1);
  EXPECT_EQ(std::pair(audio->ChannelState(0), state(source(0)) == AL_PLAYING), std::pair(0, false));
  page.soundAllowed = true;
  audio->PlaySample(sample, 0, 1);
  EXPECT_EQ(std::pair(audio->ChannelState(0), state(source(0)) == AL_PLAYING), std::pair(1, true));
}

}  // namespace
