// The audio module: the one current driver and thin forwarding functions, so
// language code names sounds by data path and channels by number.
#include "audio/audio.h"

#include "host/game.h"

gxtkAudio* vo_audio_device = nullptr;

c_Sound* c_Sound::m_new(gxtkSample* sample) {
  gc_assign(m_sample, sample);
  return this;
}

c_Sound* c_Sound::m_new2() { return this; }

void c_Sound::mark() { gc_mark_q(m_sample); }

int vo_audio_SetAudioDevice(gxtkAudio* device) {
  gc_assign(vo_audio_device, device);
  return 0;
}

// Without a driver (before the game starts) nothing loads and nothing plays.
c_Sound* vo_audio_LoadSound(String path) {
  if (!vo_audio_device) return nullptr;
  gxtkSample* sample = vo_audio_device->LoadSample(vo_data_FixDataPath(path));
  if (!sample) return nullptr;
  return (new c_Sound())->m_new(sample);
}

int vo_audio_PlaySound(c_Sound* sound, int channel, int flags) {
  if (vo_audio_device && sound && sound->m_sample) vo_audio_device->PlaySample(sound->m_sample, channel, flags);
  return 0;
}

int vo_audio_StopChannel(int channel) {
  if (vo_audio_device) vo_audio_device->StopChannel(channel);
  return 0;
}

int vo_audio_SetChannelVolume(int channel, float volume) {
  if (vo_audio_device) vo_audio_device->SetVolume(channel, volume);
  return 0;
}

int vo_audio_SetChannelPan(int channel, float pan) {
  if (vo_audio_device) vo_audio_device->SetPan(channel, pan);
  return 0;
}

int vo_audio_SetChannelRate(int channel, float rate) {
  if (vo_audio_device) vo_audio_device->SetRate(channel, rate);
  return 0;
}
