// The OpenAL driver and the audio module on a real OpenAL Soft device (the
// null backend, so no sound card is needed): the channel state machine, the
// suspend/resume pairing, lazily made sources and deferred buffer deletion.
// OpenAL is asked directly where the test needs to know what really sounds.
#include <AL/al.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "tools/wav_file.h"

namespace {

// Objects the test keeps alive across collections, besides the driver.
std::vector<Object*> testRoots;

void markTestRoots() {
  gc_mark_q(vo_audio_device);
  for (Object* o : testRoots) gc_mark_q(o);
}

// Writes a mono 16-bit tone of the given length into the test's folder.
std::string toneFile(const char* name, double seconds, int channels = 1) {
  std::vector<int16_t> samples;
  for (int i = 0; i < int(seconds * 22050); ++i)
    for (int c = 0; c < channels; ++c) samples.push_back(int16_t(8000 * std::sin(i * 0.12)));
  std::string path = testing::TempDir() + "/driver_test_" + name;
  EXPECT_TRUE(write_wav(path, samples, channels, 22050));
  return path;
}

ALint sourceState(ALuint source) {
  ALint state = 0;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state;
}

bool bufferExists(unsigned int name) { return alIsBuffer(name) == AL_TRUE; }

// Waits for OpenAL's mixer to finish a source. The limit only guards against a
// hang; nothing is asserted about how long it takes.
bool waitUntilStopped(ALuint source) {
  for (int i = 0; i < 1000; ++i) {
    if (sourceState(source) == AL_STOPPED) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Runs one full collection with immediate destruction of the garbage.
void collect() {
  gc_stress = true;
  gc_mark();
  gc_collect();
  gc_stress = false;
}

class Driver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    host = new VoGlfwGame();
    shortTone = toneFile("short.wav", 0.05);
    longTone = toneFile("long.wav", 1.0);
    threeChannels = toneFile("three.wav", 0.1, 3);
    gc_mark_roots_hook = markTestRoots;
  }

  void SetUp() override {
    audio = new gxtkAudio();
    vo_audio_SetAudioDevice(audio);
    testRoots.clear();
    collect();
  }

  // Leaves no buffer of this test's device in the discarded list, since the
  // next test makes another device current.
  void TearDown() override {
    for (int channel = 0; channel < gxtkAudio::kChannels; ++channel) audio->StopChannel(channel);
    testRoots.clear();
    collect();
    audio->FlushDiscarded();
    EXPECT_EQ(gxtkDiscardedCount(), 0);
  }

  // Loads a sample and keeps it alive until the test ends.
  gxtkSample* load(const std::string& path) {
    gxtkSample* sample = audio->LoadSample(String(path.c_str()));
    EXPECT_NE(sample, nullptr) << path;
    testRoots.push_back(sample);
    return sample;
  }

  ALuint source(int channel) { return audio->channels[channel].source; }

  static VoGlfwGame* host;
  static std::string shortTone, longTone, threeChannels;
  gxtkAudio* audio = nullptr;
};

VoGlfwGame* Driver::host;
std::string Driver::shortTone, Driver::longTone, Driver::threeChannels;

TEST_F(Driver, SourcesAreMadeOnFirstUseAndKept) {
  for (const gxtkChannel& chan : audio->channels) EXPECT_EQ(chan.source, 0u);
  audio->SetVolume(5, 0.5f);
  ALuint made = source(5);
  EXPECT_NE(made, 0u);
  EXPECT_EQ(source(4), 0u);
  audio->PlaySample(load(shortTone), 5, 0);
  EXPECT_EQ(source(5), made);
}

TEST_F(Driver, SampleThatEndsByItselfReadsStopped) {
  audio->PlaySample(load(shortTone), 3, 0);
  EXPECT_EQ(audio->channels[3].state, 1);
  ASSERT_TRUE(waitUntilStopped(source(3)));
  // Only OpenAL knows yet; the driver's record still says playing.
  EXPECT_EQ(audio->channels[3].state, 1);
  EXPECT_EQ(audio->ChannelState(3), 0);
  EXPECT_EQ(audio->channels[3].state, 0);
}

TEST_F(Driver, PausingAnEndedSampleStopsTheChannel) {
  audio->PlaySample(load(shortTone), 3, 0);
  ASSERT_TRUE(waitUntilStopped(source(3)));
  audio->PauseChannel(3);
  EXPECT_EQ(audio->channels[3].state, 0);
  EXPECT_EQ(sourceState(source(3)), AL_STOPPED);
  audio->ResumeChannel(3);
  EXPECT_EQ(sourceState(source(3)), AL_STOPPED);
}

TEST_F(Driver, PauseAndResumeActOnlyInTheirStates) {
  audio->PlaySample(load(longTone), 0, 1);
  audio->ResumeChannel(0);  // playing: nothing to resume
  EXPECT_EQ(audio->ChannelState(0), 1);
  audio->PauseChannel(0);
  EXPECT_EQ(audio->ChannelState(0), 2);
  EXPECT_EQ(sourceState(source(0)), AL_PAUSED);
  audio->PauseChannel(0);  // already paused
  EXPECT_EQ(audio->ChannelState(0), 2);
  audio->ResumeChannel(0);
  EXPECT_EQ(audio->ChannelState(0), 1);
  EXPECT_EQ(sourceState(source(0)), AL_PLAYING);
  audio->StopChannel(0);
  EXPECT_EQ(audio->ChannelState(0), 0);
  EXPECT_EQ(sourceState(source(0)), AL_STOPPED);
  audio->PauseChannel(0);
  audio->ResumeChannel(0);
  EXPECT_EQ(audio->ChannelState(0), 0);
  EXPECT_EQ(sourceState(source(0)), AL_STOPPED);
}

TEST_F(Driver, SuspendAndResumeRestartOnlyWhatWasSounding) {
  audio->PlaySample(load(longTone), 0, 1);  // sounding
  audio->PlaySample(load(longTone), 1, 1);  // paused by the game
  audio->PauseChannel(1);
  audio->PlaySample(load(shortTone), 2, 0);  // ended by itself
  ASSERT_TRUE(waitUntilStopped(source(2)));

  audio->Suspend();
  EXPECT_EQ(sourceState(source(0)), AL_PAUSED);
  EXPECT_EQ(audio->ChannelState(0), 1);
  EXPECT_EQ(sourceState(source(1)), AL_PAUSED);
  EXPECT_EQ(sourceState(source(2)), AL_STOPPED);

  audio->Resume();
  EXPECT_EQ(sourceState(source(0)), AL_PLAYING);
  EXPECT_EQ(audio->ChannelState(0), 1);
  EXPECT_EQ(sourceState(source(1)), AL_PAUSED);
  EXPECT_EQ(audio->ChannelState(1), 2);
  EXPECT_EQ(sourceState(source(2)), AL_STOPPED);
  EXPECT_EQ(audio->ChannelState(2), 0);
}

// Deleted buffer names are handed out again at once, so these tests flush by
// playing an already loaded sample rather than by loading a new one.
TEST_F(Driver, DiscardedBufferWaitsUntilItsChannelStops) {
  gxtkSample* playing = load(longTone);
  gxtkSample* other = load(shortTone);
  unsigned int buffer = playing->al_buffer;
  audio->PlaySample(playing, 0, 1);
  playing->Discard();
  EXPECT_EQ(playing->al_buffer, 0u);
  audio->PlaySample(other, 1, 0);  // flushes: the buffer is in use
  EXPECT_TRUE(bufferExists(buffer));
  EXPECT_EQ(gxtkDiscardedCount(), 1);
  EXPECT_EQ(audio->ChannelState(0), 1);

  audio->StopChannel(0);
  audio->PlaySample(other, 1, 0);  // the next flush deletes it
  EXPECT_FALSE(bufferExists(buffer));
  EXPECT_EQ(gxtkDiscardedCount(), 0);
}

TEST_F(Driver, BufferOfASampleThatEndedByItselfIsDeleted) {
  gxtkSample* sample = load(shortTone);
  gxtkSample* other = load(shortTone);
  unsigned int buffer = sample->al_buffer;
  audio->PlaySample(sample, 2, 0);
  ASSERT_TRUE(waitUntilStopped(source(2)));
  sample->Discard();
  audio->PlaySample(other, 1, 0);
  EXPECT_FALSE(bufferExists(buffer));
  EXPECT_EQ(gxtkDiscardedCount(), 0);
}

TEST_F(Driver, SoundingSampleOutlivesItsLastReference) {
  gxtkSample* other = load(shortTone);
  c_Sound* sound = vo_audio_LoadSound(String(longTone.c_str()));
  ASSERT_NE(sound, nullptr);
  unsigned int buffer = sound->m_sample->al_buffer;
  vo_audio_PlaySound(sound, 0, 1);
  sound = nullptr;
  collect();
  // The channel still marks the sample, so its buffer was never discarded.
  EXPECT_EQ(gxtkDiscardedCount(), 0);
  EXPECT_TRUE(bufferExists(buffer));
  EXPECT_EQ(sourceState(source(0)), AL_PLAYING);

  vo_audio_StopChannel(0);
  collect();
  EXPECT_EQ(gxtkDiscardedCount(), 1);
  audio->PlaySample(other, 1, 0);
  EXPECT_FALSE(bufferExists(buffer));
}

TEST_F(Driver, RefusedUploadDoesNotKeepOtherBuffersFromDeletion) {
  // Three channels have no OpenAL format: the sample keeps an empty buffer
  // and OpenAL is left holding the upload's error.
  gxtkSample* odd = load(threeChannels);
  ALint size = -1;
  alGetBufferi(odd->al_buffer, AL_SIZE, &size);
  EXPECT_EQ(size, 0);
  gxtkSample* sample = load(shortTone);
  gxtkSample* other = load(shortTone);
  unsigned int buffer = sample->al_buffer;
  load(threeChannels);
  sample->Discard();
  audio->PlaySample(other, 1, 0);
  EXPECT_FALSE(bufferExists(buffer));
  EXPECT_EQ(gxtkDiscardedCount(), 0);
}

TEST_F(Driver, BufferFormatFollowsSampleSizeAndChannels) {
  std::string eight = testing::TempDir() + "/driver_test_eight.wav";
  // An 8-bit mono file: the 16-bit writer's bytes with the format patched.
  std::vector<unsigned char> bytes = wav_bytes(std::vector<int16_t>(500, 0x4080), 1, 8000);
  bytes[32] = 1;  // block align
  bytes[34] = 8;  // bits per sample
  FILE* f = std::fopen(eight.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  struct Expected {
    std::string path;
    ALint bits, channels, size;
  };
  for (const Expected& e : {Expected{eight, 8, 1, 1000}, Expected{toneFile("stereo.wav", 0.1, 2), 16, 2, 8820}}) {
    gxtkSample* sample = load(e.path);
    ALint bits = 0, channels = 0, size = 0;
    alGetBufferi(sample->al_buffer, AL_BITS, &bits);
    alGetBufferi(sample->al_buffer, AL_CHANNELS, &channels);
    alGetBufferi(sample->al_buffer, AL_SIZE, &size);
    EXPECT_EQ(bits, e.bits) << e.path;
    EXPECT_EQ(channels, e.channels) << e.path;
    EXPECT_EQ(size, e.size) << e.path;
  }
}

TEST_F(Driver, MusicUsesTheLastChannel) {
  EXPECT_EQ(audio->PlayMusic(String("/no/such/file.wav"), 1), -1);
  EXPECT_EQ(audio->PlayMusic(String(longTone.c_str()), 1), 0);
  EXPECT_EQ(audio->MusicState(), 1);
  EXPECT_EQ(audio->ChannelState(gxtkAudio::kMusicChannel), 1);
  audio->PauseMusic();
  EXPECT_EQ(audio->ChannelState(gxtkAudio::kMusicChannel), 2);
  audio->ResumeMusic();
  audio->StopMusic();
  EXPECT_EQ(audio->MusicState(), 0);
  EXPECT_EQ(sourceState(source(gxtkAudio::kMusicChannel)), AL_STOPPED);
}

TEST_F(Driver, ChannelsOutsideTheBankAreIgnored) {
  gxtkSample* sample = load(shortTone);
  for (int channel : {-1, 33, 1000}) {
    audio->PlaySample(sample, channel, 1);
    audio->SetVolume(channel, 1);
    audio->SetPan(channel, 1);
    audio->SetRate(channel, 1);
    audio->PauseChannel(channel);
    audio->ResumeChannel(channel);
    audio->StopChannel(channel);
    EXPECT_EQ(audio->ChannelState(channel), 0);
  }
  for (const gxtkChannel& chan : audio->channels) EXPECT_EQ(chan.state, 0);
}

TEST_F(Driver, CapitalisedExtensionIsStillAWav) {
  std::string upper = testing::TempDir() + "/driver_test_SHORT.WAV";
  ASSERT_EQ(std::rename(toneFile("upper.wav", 0.05).c_str(), upper.c_str()), 0);
  EXPECT_NE(audio->LoadSample(String(upper.c_str())), nullptr);
  EXPECT_EQ(audio->LoadSample(String((shortTone + ".txt").c_str())), nullptr);
}

TEST_F(Driver, ModuleIgnoresMissingSoundsAndEmptySounds) {
  EXPECT_EQ(vo_audio_LoadSound(String("sfx/no-such-sound.wav")), nullptr);
  vo_audio_PlaySound(nullptr, 0, 0);
  vo_audio_PlaySound((new c_Sound())->m_new2(), 1, 0);
  for (const gxtkChannel& chan : audio->channels) {
    EXPECT_EQ(chan.state, 0);
    EXPECT_EQ(chan.source, 0u);
  }
}

// The generated effects are found through the data folder and load as short
// mono clips (the test runs in the build folder, next to data/).
TEST_F(Driver, GeneratedEffectsLoadFromTheDataFolder) {
  for (const char* name : {"sfx/001.wav", "sfx/095.wav", "sfx/098.wav", "sfx/099.wav"}) {
    c_Sound* sound = vo_audio_LoadSound(String(name));
    ASSERT_NE(sound, nullptr) << name;
    ALint channels = 0, bits = 0, size = 0, rate = 0;
    alGetBufferi(sound->m_sample->al_buffer, AL_CHANNELS, &channels);
    alGetBufferi(sound->m_sample->al_buffer, AL_BITS, &bits);
    alGetBufferi(sound->m_sample->al_buffer, AL_SIZE, &size);
    alGetBufferi(sound->m_sample->al_buffer, AL_FREQUENCY, &rate);
    EXPECT_EQ(channels, 1) << name;
    EXPECT_EQ(bits, 16) << name;
    double seconds = size / 2.0 / rate;
    EXPECT_GT(seconds, 0.02) << name;
    EXPECT_LT(seconds, 0.6) << name;
  }
}

}  // namespace
