// An audio driver that records channel commands and sample loads instead of
// sending them to OpenAL, for the game and the music player's tests.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "audio/audio.h"

class RecordingAudio : public gxtkAudio {
 public:
  struct Call {
    std::string op;  // play (value: the loop flag), stop, volume, pan, rate
    int channel;
    float value;
  };
  std::vector<Call> calls;
  std::vector<std::string> loaded;

  gxtkSample* LoadSample(String path) override {
    loaded.push_back(path.ToUtf8());
    return new gxtkSample();
  }
  int PlaySample(gxtkSample*, int channel, int flags) override { return Note("play", channel, float(flags)); }
  int StopChannel(int channel) override { return Note("stop", channel, 0); }
  int SetRate(int channel, float v) override { return Note("rate", channel, v); }
  int SetVolume(int channel, float v) override { return Note("volume", channel, v); }
  int SetPan(int channel, float v) override { return Note("pan", channel, v); }

  // The values of one kind of call on one channel, in order.
  std::vector<float> On(const std::string& op, int channel) const {
    std::vector<float> out;
    for (const Call& c : calls)
      if (c.op == op && c.channel == channel) out.push_back(c.value);
    return out;
  }
  // Every call as a line: "stop 3", "rate 31 1.5".
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const Call& c : calls) {
      std::ostringstream line;
      line << c.op << ' ' << c.channel;
      if (c.op != "stop") line << ' ' << c.value;
      out.push_back(line.str());
    }
    return out;
  }

 private:
  int Note(const char* op, int channel, float value) {
    calls.push_back({op, channel, value});
    return 0;
  }
};
