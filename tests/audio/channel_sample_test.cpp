// A channel lets go of its sample in every way it can come to stop. The
// collections run with the stress switch on, so garbage is destroyed at once
// and a channel record still holding its sample would point at a destroyed
// object.
#include <AL/al.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "tools/wav_file.h"

namespace {

gxtkAudio* audio = nullptr;

// A full collection that destroys the garbage it finds.
void collectNow() {
  gc_stress = true;
  gc_mark();
  gc_collect();
  gc_stress = false;
}

TEST(ChannelSample, StoppedChannelLetsGoOfItsSample) {
  new VoGlfwGame();
  const std::string path = testing::TempDir() + "/channel_sample.wav";
  ASSERT_TRUE(write_wav(path, std::vector<int16_t>(441, 1000), 1, 22050));
  audio = new gxtkAudio();
  gc_mark_roots_hook = [] { gc_mark_q(audio); };
  // Stopped by the game; or played to its end and then asked for its state,
  // paused, or only found by a collection.
  for (int way = 0; way < 4; ++way) {
    audio->PlaySample(audio->LoadSample(String(path.c_str())), 0, 0);  // the sample's only holder
    ALint state = AL_PLAYING;
    for (int i = 0; way > 0 && i < 1000 && state != AL_STOPPED; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      alGetSourcei(audio->channels[0].source, AL_SOURCE_STATE, &state);
    }
    if (way == 0) audio->StopChannel(0);
    if (way == 1) audio->ChannelState(0);
    if (way == 2) audio->PauseChannel(0);
    collectNow();
    EXPECT_EQ(audio->channels[0].sample, nullptr) << way;
    EXPECT_EQ(audio->ChannelState(0), 0) << way;
    // An OpenAL that reported the detached source as initial instead of
    // stopped must not lead the next collection to the destroyed sample.
    audio->FlushDiscarded();
    alSourceRewind(audio->channels[0].source);
    collectNow();
    audio->PlaySample(audio->LoadSample(String(path.c_str())), 0, 0);
    EXPECT_EQ(audio->ChannelState(0), 1) << way;
    audio->StopChannel(0);
  }
}

}  // namespace
