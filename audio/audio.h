// Sound: the OpenAL driver (gxtkAudio with its bank of 33 channels, gxtkSample
// holding one OpenAL buffer) and the audio module above it (c_Sound and the
// vo_audio_* functions). Only audio/ calls OpenAL; this header exposes no
// OpenAL types, so callers compile without OpenAL headers.
//
// Channel states: 0 stopped, 1 playing, 2 paused. State 1 is the driver's own
// record; a sample that ends by itself changes only OpenAL's source state, so
// the driver asks OpenAL before trusting a 1.
#pragma once

#include "runtime/dovel.h"

// ---------------------------------------------------------------------------
// Driver
// ---------------------------------------------------------------------------

// One loaded sound: the OpenAL buffer holding its PCM (0 = none). Its buffer
// is never deleted directly; Discard and the destructor hand it to the
// driver's deferred deletion, because a sounding source may still use it.
class gxtkSample : public Object {
 public:
  unsigned int al_buffer = 0;

  gxtkSample();
  explicit gxtkSample(unsigned int buffer);
  ~gxtkSample() override;
  void SetBuffer(unsigned int buffer);
  virtual int Discard();
};

// One channel of the bank, a plain record inside gxtkAudio.
struct gxtkChannel {
  unsigned int source = 0;       // OpenAL source, 0 until first needed
  gxtkSample* sample = nullptr;  // sample last started here
  int flags = 0;                 // play flags last given; nonzero loops
  int state = 0;                 // 0 stopped, 1 playing, 2 paused

  // The channel's source, created on first use and kept for good.
  unsigned int AL_Source();
};

class gxtkAudio : public Object {
 public:
  static constexpr int kChannels = 33;
  static constexpr int kMusicChannel = 32;

  void* alcDevice = nullptr;   // ALCdevice*, null when no device opened
  void* alcContext = nullptr;  // ALCcontext*, null when none was made
  gxtkChannel channels[kChannels];

  // Opens the default device; on failure prints why and goes on silently.
  gxtkAudio();
  // Keeps alive the samples of channels that still sound or are paused; a
  // channel whose sample has ended is marked stopped and lets go of it.
  void mark() override;

  // Window lost: pauses the sounding channels, keeping their state 1.
  virtual int Suspend();
  // Window back: plays again the channels that Suspend paused.
  virtual int Resume();
  // Decodes the file into a new buffer stored in the sample; null if no data.
  virtual gxtkSample* LoadSample__UNSAFE__(gxtkSample* sample, String path);
  virtual gxtkSample* LoadSample(String path);
  virtual int PlaySample(gxtkSample* sample, int channel, int flags);
  virtual int StopChannel(int channel);
  virtual int PauseChannel(int channel);
  virtual int ResumeChannel(int channel);
  virtual int ChannelState(int channel);
  virtual int SetVolume(int channel, float volume);
  // Pan in radians: the source sits at (sin pan, 0, -cos pan).
  virtual int SetPan(int channel, float pan);
  virtual int SetRate(int channel, float rate);
  // The same operations on the music channel; PlayMusic gives -1 when the
  // file does not load.
  virtual int PlayMusic(String path, int flags);
  virtual int StopMusic();
  virtual int PauseMusic();
  virtual int ResumeMusic();
  virtual int MusicState();
  virtual int SetMusicVolume(float volume);

  // Deletes the buffers of collected samples that no source holds any more.
  void FlushDiscarded();
};

// OpenAL buffer names of discarded samples waiting to be deleted.
int gxtkDiscardedCount();

// ---------------------------------------------------------------------------
// Audio module
// ---------------------------------------------------------------------------

// A sound the language loaded: wraps one driver sample (null allowed).
class c_Sound : public Object {
 public:
  gxtkSample* m_sample = nullptr;

  c_Sound* m_new(gxtkSample* sample);
  c_Sound* m_new2();
  void mark() override;
};

// The current driver; null until the app delegate sets it.
extern gxtkAudio* vo_audio_device;

int vo_audio_SetAudioDevice(gxtkAudio* device);
// Loads a data-folder sound; null when the file is missing or refused.
c_Sound* vo_audio_LoadSound(String path);
// Plays the sound on a channel (0-32); flags nonzero loops. Null sounds and
// sounds without a sample are ignored.
int vo_audio_PlaySound(c_Sound* sound, int channel, int flags);
int vo_audio_StopChannel(int channel);
// OpenAL gain: 1 plays as recorded.
int vo_audio_SetChannelVolume(int channel, float volume);
// Pan in radians, passed through unchanged.
int vo_audio_SetChannelPan(int channel, float pan);
// OpenAL pitch factor: 1 as recorded, 2 one octave up.
int vo_audio_SetChannelRate(int channel, float rate);
