// Without any usable OpenAL device (the test runs with no backend allowed) the
// driver prints why once and every later operation is harmless and silent.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "tools/wav_file.h"

namespace {

TEST(NoDevice, DriverReportsTheFailureAndStaysSilent) {
  VoGlfwGame host;
  std::string path = testing::TempDir() + "/no_device_test.wav";
  ASSERT_TRUE(write_wav(path, std::vector<int16_t>(2000, 1000), 1, 22050));

  testing::internal::CaptureStdout();
  gxtkAudio* audio = new gxtkAudio();
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "OpenAl error: alcOpenDevice failed\n");
  EXPECT_EQ(audio->alcDevice, nullptr);

  testing::internal::CaptureStdout();
  gxtkSample* sample = audio->LoadSample(String(path.c_str()));
  ASSERT_NE(sample, nullptr);
  audio->PlaySample(sample, 0, 1);
  audio->SetVolume(0, 0.5f);
  audio->SetPan(0, 1);
  audio->SetRate(0, 2);
  audio->Suspend();
  audio->Resume();
  // Nothing can be sounding, so the channel reads stopped.
  EXPECT_EQ(audio->ChannelState(0), 0);
  sample->Discard();
  EXPECT_EQ(audio->PlayMusic(String(path.c_str()), 0), 0);
  EXPECT_EQ(audio->MusicState(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
