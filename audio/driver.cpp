// The OpenAL driver: one device and context, a bank of 33 channels whose
// sources are created on first use, buffers uploaded from decoded PCM, and the
// deferred deletion of buffers whose samples have gone.
//
// OpenAL mixes on its own thread, so a channel's state 1 (playing) may be stale:
// a sample that ends by itself changes only OpenAL's source state. Every place
// where the difference matters asks OpenAL first.
#include "audio/audio.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/game.h"

namespace {

// Buffer names of discarded samples. A buffer still attached to a source cannot
// be deleted, so names wait here until FlushDiscarded succeeds with them.
std::vector<ALuint> discarded;

// OpenAL's state of a source. Without a current context OpenAL writes nothing;
// then nothing can sound, so the answer is "stopped".
ALint sourceState(ALuint source) {
  ALint state = AL_STOPPED;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state;
}

// The OpenAL format for PCM of this sample size and channel count; 0 when
// there is none, and OpenAL then refuses the upload.
ALenum pcmFormat(int bytesPerSample, int channels) {
  if (bytesPerSample == 1 && channels == 1) return AL_FORMAT_MONO8;
  if (bytesPerSample == 1 && channels == 2) return AL_FORMAT_STEREO8;
  if (bytesPerSample == 2 && channels == 1) return AL_FORMAT_MONO16;
  if (bytesPerSample == 2 && channels == 2) return AL_FORMAT_STEREO16;
  return 0;
}

// Moves a nonzero buffer name to the discarded list and clears it.
void discardBuffer(unsigned int& buffer) {
  if (buffer == 0) return;
  discarded.push_back(buffer);
  buffer = 0;
}

// Marks a channel stopped. It lets go of its sample too: nothing marks the
// sample of a stopped channel, so the collector may destroy it, and a record
// kept past that would point at a destroyed object.
void setStopped(gxtkChannel& chan) {
  chan.state = 0;
  chan.sample = nullptr;
}

// Channel numbers outside the bank are ignored instead of indexing past it.
bool inBank(int channel) { return channel >= 0 && channel < gxtkAudio::kChannels; }

// False while the platform keeps sound silent (a browser page before the
// player's first key, click or touch). A sample played then would wait and
// sound later, together with every other one, so it is not started at all.
bool soundAllowed() { return !VoGlfwGame::_glfwGame || VoGlfwGame::_glfwGame->SoundAllowed(); }

}  // namespace

int gxtkDiscardedCount() { return int(discarded.size()); }

gxtkSample::gxtkSample() {}

gxtkSample::gxtkSample(unsigned int buffer) : al_buffer(buffer) {}

gxtkSample::~gxtkSample() { discardBuffer(al_buffer); }

void gxtkSample::SetBuffer(unsigned int buffer) { al_buffer = buffer; }

int gxtkSample::Discard() {
  discardBuffer(al_buffer);
  return 0;
}

unsigned int gxtkChannel::AL_Source() {
  if (source == 0) alGenSources(1, &source);
  return source;
}

gxtkAudio::gxtkAudio() {
  ALCdevice* device = alcOpenDevice(nullptr);
  if (!device) {
    voPrint(String("OpenAl error: alcOpenDevice failed"));
  } else {
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (!context) {
      voPrint(String("OpenAl error: alcCreateContext failed"));
    } else if (!alcMakeContextCurrent(context)) {
      voPrint(String("OpenAl error: alcMakeContextCurrent failed"));
    }
    alcContext = context;
  }
  alcDevice = device;
  // Effects are placed by direction only (SetPan); distance plays no part.
  alDistanceModel(AL_NONE);
}

// A channel whose sample has ended by itself is found stopped here, as
// ChannelState would find it, so that its unmarked sample leaves the record
// before the collector can destroy it.
void gxtkAudio::mark() {
  for (gxtkChannel& chan : channels) {
    if (chan.state == 0) continue;
    if (sourceState(chan.source) == AL_STOPPED) {
      setStopped(chan);
    } else {
      gc_mark_q(chan.sample);
    }
  }
}

int gxtkAudio::Suspend() {
  for (gxtkChannel& chan : channels)
    if (chan.state == 1 && sourceState(chan.AL_Source()) == AL_PLAYING) alSourcePause(chan.source);
  return 0;
}

int gxtkAudio::Resume() {
  for (gxtkChannel& chan : channels)
    if (chan.state == 1 && sourceState(chan.AL_Source()) == AL_PAUSED) alSourcePlay(chan.source);
  return 0;
}

gxtkSample* gxtkAudio::LoadSample__UNSAFE__(gxtkSample* sample, String path) {
  int length = 0, channelCount = 0, bytesPerSample = 0, hertz = 0;
  VoGlfwGame* host = VoGlfwGame::_glfwGame;
  unsigned char* pcm = host ? host->LoadAudioData(path, &length, &channelCount, &bytesPerSample, &hertz) : nullptr;
  if (!pcm) return nullptr;
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  alBufferData(buffer, pcmFormat(bytesPerSample, channelCount), pcm, length * channelCount * bytesPerSample, hertz);
  std::free(pcm);
  sample->SetBuffer(buffer);
  return sample;
}

gxtkSample* gxtkAudio::LoadSample(String path) {
  FlushDiscarded();
  return LoadSample__UNSAFE__(new gxtkSample(), path);
}

int gxtkAudio::PlaySample(gxtkSample* sample, int channel, int flags) {
  FlushDiscarded();
  if (!inBank(channel)) return 0;
  gxtkChannel& chan = channels[channel];
  ALuint source = chan.AL_Source();
  alSourceStop(source);
  if (!soundAllowed()) {
    setStopped(chan);
    return 0;
  }
  alSourcei(source, AL_BUFFER, ALint(sample->al_buffer));
  alSourcei(source, AL_LOOPING, flags != 0 ? AL_TRUE : AL_FALSE);
  alSourcePlay(source);
  gc_assign(chan.sample, sample);
  chan.flags = flags;
  chan.state = 1;
  return 0;
}

int gxtkAudio::StopChannel(int channel) {
  if (!inBank(channel)) return 0;
  gxtkChannel& chan = channels[channel];
  if (chan.state != 0) {
    alSourceStop(chan.AL_Source());
    setStopped(chan);
  }
  return 0;
}

int gxtkAudio::PauseChannel(int channel) {
  if (!inBank(channel)) return 0;
  gxtkChannel& chan = channels[channel];
  if (chan.state != 1) return 0;
  if (sourceState(chan.AL_Source()) == AL_STOPPED) {
    setStopped(chan);
  } else {
    alSourcePause(chan.source);
    chan.state = 2;
  }
  return 0;
}

int gxtkAudio::ResumeChannel(int channel) {
  if (!inBank(channel)) return 0;
  gxtkChannel& chan = channels[channel];
  if (chan.state == 2) {
    alSourcePlay(chan.AL_Source());
    chan.state = 1;
  }
  return 0;
}

int gxtkAudio::ChannelState(int channel) {
  if (!inBank(channel)) return 0;
  gxtkChannel& chan = channels[channel];
  if (chan.state == 1 && sourceState(chan.AL_Source()) == AL_STOPPED) setStopped(chan);
  return chan.state;
}

int gxtkAudio::SetVolume(int channel, float volume) {
  if (inBank(channel)) alSourcef(channels[channel].AL_Source(), AL_GAIN, volume);
  return 0;
}

int gxtkAudio::SetPan(int channel, float pan) {
  if (inBank(channel)) alSource3f(channels[channel].AL_Source(), AL_POSITION, std::sin(pan), 0.0f, -std::cos(pan));
  return 0;
}

int gxtkAudio::SetRate(int channel, float rate) {
  if (inBank(channel)) alSourcef(channels[channel].AL_Source(), AL_PITCH, rate);
  return 0;
}

int gxtkAudio::PlayMusic(String path, int flags) {
  StopMusic();
  gxtkSample* sample = LoadSample(path);
  if (!sample) return -1;
  PlaySample(sample, kMusicChannel, flags);
  return 0;
}

int gxtkAudio::StopMusic() { return StopChannel(kMusicChannel); }

int gxtkAudio::PauseMusic() { return PauseChannel(kMusicChannel); }

int gxtkAudio::ResumeMusic() { return ResumeChannel(kMusicChannel); }

int gxtkAudio::MusicState() { return ChannelState(kMusicChannel); }

int gxtkAudio::SetMusicVolume(float volume) { return SetVolume(kMusicChannel, volume); }

void gxtkAudio::FlushDiscarded() {
  if (discarded.empty()) return;
  // OpenAL refuses to delete a buffer attached to a source, so stopped sources
  // let go of theirs first. That includes channels stopped by StopChannel:
  // they would otherwise hold a discarded buffer until their next play.
  for (gxtkChannel& chan : channels)
    if (chan.source != 0 && sourceState(chan.source) == AL_STOPPED) alSourcei(chan.source, AL_BUFFER, 0);
  std::vector<ALuint> kept;
  for (ALuint name : discarded) {
    // OpenAL keeps the first error until asked; clearing it first means the
    // check below judges this deletion, not an earlier unchecked call.
    alGetError();
    alDeleteBuffers(1, &name);
    if (alGetError() != AL_NO_ERROR) kept.push_back(name);
  }
  discarded.swap(kept);
}
