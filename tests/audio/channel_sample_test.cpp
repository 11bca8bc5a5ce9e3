// A channel lets go of its sample in every way it can come to stop. The
// collections here run with the stress switch on, so garbage is destroyed at
// once and a channel record still holding its sample would point at a
// destroyed object.
#include <AL/al.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "tools/wav_file.h"

namespace {

gxtkAudio* audio = nullptr;

void markAudio() { gc_mark_q(audio); }

// A full collection that destroys the garbage it finds.
void collectNow() {
  gc_stress = true;
  gc_mark();
  gc_collect();
  gc_stress = false;
}

// Waits until OpenAL's mixer has played the channel's sample to its end; the
// bound only guards against a hang.
void waitForEnd(int channel) {
  ALint state = AL_PLAYING;
  for (int i = 0; i < 1000 && state != AL_STOPPED; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    alGetSourcei(audio->channels[channel].source, AL_SOURCE_STATE, &state);
  }
  ASSERT_EQ(state, AL_STOPPED);
}

TEST(ChannelSample, StoppedChannelLetsGoOfItsSample) {
  new VoGlfwGame();
  const std::string path = testing::TempDir() + "/channel_sample.wav";
  ASSERT_TRUE(write_wav(path, std::vector<int16_t>(441, 1000), 1, 22050));
  audio = new gxtkAudio();
  gc_mark_roots_hook = markAudio;
  const struct {
    const char* name;
    std::function<void(int)> stop;
  } ways[] = {
      {"stopped by the game", [](int c) { audio->StopChannel(c); }},
      {"ended, then asked for its state",
       [](int c) {
         waitForEnd(c);
         audio->ChannelState(c);
       }},
      {"ended, then paused",
       [](int c) {
         waitForEnd(c);
         audio->PauseChannel(c);
       }},
      {"ended, then found by a collection", [](int c) { waitForEnd(c); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    // The channel is the sample's only holder.
    audio->PlaySample(audio->LoadSample(String(path.c_str())), 0, 0);
    way.stop(0);
    collectNow();
    EXPECT_EQ(audio->channels[0].sample, nullptr);
    EXPECT_EQ(audio->ChannelState(0), 0);
    // An OpenAL that reported the detached source as initial instead of
    // stopped must not lead the next collection to the destroyed sample.
    audio->FlushDiscarded();
    alSourceRewind(audio->channels[0].source);
    collectNow();
    audio->PlaySample(audio->LoadSample(String(path.c_str())), 0, 0);
    EXPECT_EQ(audio->ChannelState(0), 1);
    audio->StopChannel(0);
  }
}

}  // namespace
