// The music player. A tune is a picture of 64 patterns; the render pump decodes
// it frame by frame through the screen, the update pump steps five voices
// through it, and a seeded generator picks instruments, patterns, mutes,
// section lengths and chord shifts so one sheet yields long, reproducible music.
//
// Invariants kept here:
// - m_Pattern[v] always lies in 0..63, so every cell read stays inside m_Notes;
//   a pattern jump that would leave that range leaves the voice where it is.
// - Playback only advances while m_PlayState is 2 and m_LoadStep is 0.
// - Every generator stream leaves its last state in vo_random_Seed, where the
//   game's own random numbers continue.
#include "music/sqplayer.h"

#include <cmath>
#include <cstdint>

#include "audio/audio.h"
#include "framework/app.h"
#include "framework/numbers.h"
#include "graphics/graphics.h"

namespace {

constexpr int kPatternSize = 4096;  // 8 tracks x 64 steps x 8 columns
constexpr int kTrackSize = 512;     // 64 steps x 8 columns
constexpr int kLastPattern = 63;
constexpr int kLoadSteps = 70;
constexpr int kFarAhead = 123456;  // a next tick further ahead than this is due

// Pitch numbers 1..32 as rate factors (equal-tempered, 13 = the sample's own
// pitch) and the chord character that names each of them.
constexpr float kPitch[32] = {0.5f,    0.5295f, 0.561f, 0.5945f, 0.63f,  0.6675f, 0.707f, 0.749f,
                              0.7935f, 0.841f,  0.891f, 0.944f,  1.0f,   1.059f,  1.122f, 1.189f,
                              1.26f,   1.335f,  1.414f, 1.498f,  1.587f, 1.682f,  1.782f, 1.888f,
                              2.0f,    2.118f,  2.244f, 2.378f,  2.52f,  2.67f,   2.828f, 2.996f};
constexpr char kPitchChars[] = "zsxdcvgbhnjmq2w3er5t6y7ui9o0p[=]";

// Drum voices: note number -> sample entry 1..8 of the kit, 0 for none.
int drumEntry(int note) {
  switch (note) {
    case 13:
      return 1;
    case 15:
      return 2;
    case 17:
      return 3;
    case 18:
      return 4;
    case 20:
      return 5;
    case 22:
      return 6;
    case 24:
      return 7;
    case 25:
      return 8;
    default:
      return 0;
  }
}

// One stream of the player's generator: the runtime's linear congruential
// step, started from a base and warmed up, each draw stepping once more.
class Stream {
 public:
  Stream(int base, int warmUp) : s_(static_cast<uint32_t>(base)) {
    for (int i = 0; i < warmUp; ++i) step();
  }
  // Continues from the shared seed.
  static Stream shared() { return Stream(vo_random_Seed, 0); }

  void step() { s_ = s_ * 1664525u + 1013904223u; }
  float fraction() {
    step();
    return static_cast<float>(s_ >> 8) * 5.9604645e-08f;
  }
  // 0 .. k-1, the top value very slightly rarer.
  int below(int k) { return static_cast<int>(std::floor(fraction() * (k - 0.01f))); }
  // 1 .. k.
  int from_one(int k) { return static_cast<int>(std::floor(fraction() * (k - 0.01f) + 1.0f)); }
  // Hands the state on to the game's generator.
  void leave() const { vo_random_Seed = static_cast<int>(s_); }

 private:
  uint32_t s_;
};

// Base of a voice's stream: v*7 + section*9 + seed with 32-bit wrap-around.
int voiceBase(int v, int section, int seed) {
  return static_cast<int>(static_cast<uint32_t>(v) * 7u + static_cast<uint32_t>(section) * 9u +
                          static_cast<uint32_t>(seed));
}

// Index of column 0 of a cell in m_Notes.
int cellIndex(int pattern, int track, int row) { return pattern * kPatternSize + track * kTrackSize + row * 8; }

// An instrument file: "inst/" + stem + variant number + suffix + ".wav".
String instPath(const char* stem, int variant, const String& suffix) {
  return String("inst/") + String(stem) + String(variant) + suffix + String(".wav");
}

// Decodes pattern p of the tune sheet by drawing its frame at the top left of
// the render target and reading the pixels back: each blue byte >> 3 is one value.
void decodeFrame(c_SqPlayer& sq, int p) {
  Array<int> pixels(64 * 64);
  // The scratch square is drawn over a near-black backdrop so that the
  // frame's own pixels, not whatever was on screen, are read back.
  vo_graphics_Cls(1, 0, 0);
  vo_graphics_SetAlpha(1);
  vo_graphics_SetColor(1, 0, 0);
  vo_graphics_DrawRect(0, 0, 64, 64);
  vo_graphics_SetColor(255, 255, 255);
  vo_graphics_DrawImage(sq.m_TuneImage, 32, 32, p);
  vo_graphics_ReadPixels(pixels, 0, 0, 64, 64, 0, 64);

  for (int y = 0; y < 64; ++y) {
    for (int t = 0; t < 8; ++t) {
      for (int j = 0; j < 8; ++j) {
        int value = (pixels[y * 64 + t * 8 + j] & 0xFF) >> 3;
        sq.m_Notes[p * kPatternSize + t * kTrackSize + y * 8 + j] = value;
        if (value != 0) sq.m_LastPattern[t] = p;
      }
    }
  }
}

// Milliseconds per step; a tempo below 1 counts as 1 so the clock stays finite.
double stepMillis(int tempo) { return 8000.0 / (tempo >= 1 ? tempo : 1); }

}  // namespace

c_SqPlayer::c_SqPlayer() {
  gc_assign(m_InstCount, Array<int>(8));
  gc_assign(m_InstPick, Array<int>(8));
  gc_assign(m_DrumsA, Array<c_Sound*>(9));
  gc_assign(m_DrumsB, Array<c_Sound*>(9));
  gc_assign(m_Instruments, Array<c_Sound*>(8));
  gc_assign(m_Notes, Array<int>(64 * kPatternSize + 1));
  gc_assign(m_LastPattern, Array<int>(8));
  gc_assign(m_VoiceChannel, Array<int>(8));
  gc_assign(m_VoiceOn, Array<int>(8));
  gc_assign(m_Pattern, Array<int>(8));
  gc_assign(m_Mute, Array<int>(8));
  gc_assign(m_FillIn, Array<int>(8));
  gc_assign(m_NextMute, Array<int>(8));
  gc_assign(m_Rate, Array<float>(8));
  gc_assign(m_Envelope, Array<float>(8));
  gc_assign(m_Level, Array<float>(8));
}

c_SqPlayer* c_SqPlayer::m_new() { return this; }

int c_SqPlayer::p_Sq_Init(int base, int drums, int lead, int accompany, int bass) {
  m_BaseChannel = base;
  m_InstCount[1] = drums;
  m_InstCount[2] = lead;
  m_InstCount[3] = accompany;
  m_InstCount[4] = bass;
  return 0;
}

int c_SqPlayer::p_Sq_StartTune(String name, int seed, int tempo) {
  String path = String("tunes/") + name + String(".png");
  m_Section = 0;
  m_Seed = seed;
  m_NextTick = vo_app_MillisecsAfter(vo_app_Millisecs(), 100);
  m_Row = 0;
  m_Tempo = tempo;
  m_PlayState = 2;
  if (path != m_TunePath) {
    m_LoadStep = 1;
    m_TunePath = path;
    for (int i = 0; i < m_Voices; ++i) {
      m_LastPattern[i] = 0;
      m_Pattern[i] = 0;
    }
  }
  for (int i = 0; i < m_Voices; ++i) m_VoiceChannel[i] = m_BaseChannel - i;

  // Instruments: kit B takes its bound from the drum count, like kit A.
  Stream inst(m_Seed + m_Section, 11);
  m_InstPick[1] = inst.from_one(m_InstCount[1]);
  m_InstPick[2] = inst.from_one(m_InstCount[1]);
  m_InstPick[3] = inst.from_one(m_InstCount[2]);
  m_InstPick[4] = inst.from_one(m_InstCount[3]);
  m_InstPick[5] = inst.from_one(m_InstCount[4]);
  inst.leave();

  for (int v = 0; v < m_Voices; ++v) {
    Stream voice(voiceBase(v, m_Section, m_Seed), 11);
    m_Pattern[v] = voice.below(m_LastPattern[v] + 1);
    m_NextMute[v] = voice.below(2);
    m_FillIn[v] = voice.below(2);
    m_Mute[v] = voice.below(2);
    voice.leave();
  }
  if (m_Mute[0] == 1 && m_Mute[1] == 1) m_Mute[0] = 0;

  Stream bars = Stream::shared();
  m_Bars = 2 * bars.from_one(2);
  bars.leave();
  m_Chords = String("qqjj");
  return 0;
}

int c_SqPlayer::p_Sq_Stop(int full) {
  for (int i = 0; i < m_Voices; ++i) {
    if (m_VoiceChannel[i] > 0 && m_VoiceOn[i] == 1) {
      vo_audio_StopChannel(m_VoiceChannel[i]);
      m_VoiceOn[i] = 0;
    }
  }
  if (full == 1) m_PlayState = 0;
  return 0;
}

int c_SqPlayer::p_Sq_LoadChunk() {
  int step = m_LoadStep;
  if (step == 1) {
    gc_assign(m_TuneImage, vo_graphics_LoadImage2(m_TunePath, 64, 64, 64, 1));
  } else if (step >= 2 && step <= 9) {
    gc_assign(m_DrumsA[step - 1], vo_audio_LoadSound(instPath("d", m_InstPick[1], String("-") + String(step - 1))));
  } else if (step >= 12 && step <= 19) {
    gc_assign(m_DrumsB[step - 11], vo_audio_LoadSound(instPath("d", m_InstPick[2], String("-") + String(step - 11))));
  } else if (step == 21) {
    gc_assign(m_Instruments[2], vo_audio_LoadSound(instPath("lead", m_InstPick[3], String())));
  } else if (step == 22) {
    gc_assign(m_Instruments[3], vo_audio_LoadSound(instPath("accompany", m_InstPick[4], String())));
  } else if (step == 23) {
    gc_assign(m_Instruments[4], vo_audio_LoadSound(instPath("bass", m_InstPick[5], String())));
  }
  if (step >= 5 && step <= 67 && m_TuneImage != nullptr) decodeFrame(*this, step - 5);

  m_LoadStep += 1;
  m_NextTick = vo_app_MillisecsAfter(vo_app_Millisecs(), 100);
  if (m_LoadStep > kLoadSteps) m_LoadStep = 0;
  return 0;
}

int c_SqPlayer::p_Sq_Alive_U(int paused, int musicOn) {
  if (m_PlayState == 0) p_Sq_Stop(0);
  if (m_PlayState == 2 && m_LoadStep == 0 && paused == 0) {
    if (musicOn == 1) p_Sq_MusicPlay();
    if (musicOn == 0) p_Sq_Stop(0);
  } else if (paused == 1) {
    m_NextTick = vo_app_MillisecsAfter(vo_app_Millisecs(), 150);
    if (m_PlayState == 2) p_Sq_Stop(0);
  } else if (m_PlayState == 2 && musicOn == 0) {
    p_Sq_Stop(0);
  }
  return 0;
}

int c_SqPlayer::p_Sq_Alive_R() {
  for (int i = 0; i < 3 && m_LoadStep > 0; ++i) p_Sq_LoadChunk();
  vo_graphics_Cls(0, 0, 0);
  return 0;
}

int c_SqPlayer::p_Sq_MusicPlay() {
  // Compared by difference, so the step stays due on time across the clock's wrap.
  const int ahead = vo_app_MillisecsBetween(vo_app_Millisecs(), m_NextTick);
  if (ahead >= 0 && ahead <= kFarAhead) return 0;

  // A pattern break ends the pattern after this step; the voices after the
  // one that asks for it still play this step's row, not the last one.
  bool patternBreak = false;
  for (int v = 0; v < m_Voices; ++v) {
    int cell = cellIndex(m_Pattern[v], v, m_Row);
    if (m_Notes[cell + 2] == 27) {
      int jump = 0;
      if (m_Notes[cell + 3] == 1 && (m_Bars & 1) == 1) jump = 1;
      if (m_Notes[cell + 3] == 2 && (m_Bars & 1) == 0) jump = -1;
      int target = m_Pattern[v] + jump;
      if (jump != 0 && target >= 0 && target <= kLastPattern) {
        m_Pattern[v] = target;
        cell = cellIndex(target, v, m_Row);
      }
    }
    int effect = m_Notes[cell + 2];
    p_Sq_PlayNote(v, m_Notes[cell], m_Notes[cell + 1], effect, m_Notes[cell + 3]);
    if (effect == 8) patternBreak = true;
  }
  if (patternBreak) m_Row = 63;

  // Timed from the previous step, so a late update catches up one step at a time.
  m_NextTick = vo_app_MillisecsAfter(m_NextTick, static_cast<int>(stepMillis(m_Tempo)));
  m_Row = (m_Row + 1) % 64;
  if (m_Row != 0) return 0;

  Stream boundary(voiceBase(0, m_Section, m_Seed), 16);
  if (m_Chords.Length() == 1) {
    m_Chords = String(" ") + p_Sq_GetChord(boundary.below(5));
  }
  boundary.leave();
  if (m_Chords.Length() > 1) m_Chords = m_Chords.Slice(1);

  m_Bars -= 1;
  if (m_Bars > 0) return 0;

  Stream section(voiceBase(0, m_Section, m_Seed), 11);
  m_Bars = 2 * section.from_one(2);
  section.leave();
  m_Section += 1;

  for (int v = 0; v < m_Voices; ++v) {
    Stream voice(voiceBase(v, m_Section, m_Seed), 11);
    m_Pattern[v] = voice.below(m_LastPattern[v] + 1);
    if (m_PlayState > 1) m_Mute[v] = m_NextMute[v];
    m_NextMute[v] = voice.below(2);
    m_FillIn[v] = voice.below(2);
    voice.leave();
  }
  if (m_PlayState >= 2 && m_Mute[0] == 1 && m_Mute[1] == 1) m_Mute[0] = 0;
  return 0;
}

int c_SqPlayer::p_Sq_PlayNote(int voice, int note, int volume, int effect, int parameter) {
  int v = voice;
  int muted = m_Mute[v];
  // A voice that enters in the next section may lead in over the last 8 steps.
  if (m_PlayState == 2 && m_Bars <= 1 && m_Row > 55 && m_FillIn[v] == 1 && m_NextMute[v] == 0) {
    muted = 0;
  }
  m_Transpose = 1.0f;
  if (m_PlayState == 2 && m_Chords.Length() > 0) m_Transpose = p_GetPitch_Alpha(m_Chords.Slice(0, 1));
  for (int i = 0; i < m_Voices; ++i) m_VoiceChannel[i] = m_BaseChannel - 1 - i;
  int ch = m_VoiceChannel[v];

  bool drum = v == 0 || v == 1;
  if (drum && note >= 1 && muted == 0 && ch >= 1) {
    vo_audio_StopChannel(ch);
    int entry = drumEntry(note);
    c_Sound* sound = entry == 0 ? nullptr : (v == 0 ? m_DrumsA : m_DrumsB)[entry];
    if (sound != nullptr) {
      m_VoiceOn[v] = 1;
      vo_audio_PlaySound(sound, ch, 0);
      vo_audio_SetChannelPan(ch, v == 0 ? -0.35f : 0.35f);
    }
    m_Rate[v] = 1.0f;
    m_Envelope[v] = 4.0f;
  }

  float f = (volume - 1) / 29.0f;
  if (f > 1.0f) {
    m_Envelope[v] = 0.0f;
    f = 0.0f;
  }
  if (f < 0.0f) f = 0.0f;
  if (volume < 1 || ch < 1 || muted != 0) {
    f = m_Level[v];
  } else {
    m_Envelope[v] = 1.5f;
    vo_audio_SetChannelVolume(ch, m_Volume * f);
    m_Level[v] = f;
  }

  float e = m_Envelope[v] - 0.1f;
  if (e < 0.0f) e = 0.0f;
  m_Envelope[v] = e;
  if (e < 1.0f && ch >= 1) {
    vo_audio_SetChannelVolume(ch, m_Volume * e * f);
    m_Level[v] = e * f;
  }

  if (!drum && note >= 1) {
    if (muted != 0 || ch < 1) return 0;
    vo_audio_StopChannel(ch);
    float rate = p_GetPitch(note) * m_Transpose;
    m_Rate[v] = rate;
    m_Envelope[v] = 1.5f;
    vo_audio_SetChannelRate(ch, rate);
    if (m_Instruments[v] != nullptr) {
      m_VoiceOn[v] = 1;
      vo_audio_PlaySound(m_Instruments[v], ch, 1);
    }
  } else if (muted != 0) {
    return 0;
  }
  if (ch < 1) return 0;

  // Pitch slides, on every step whose cell carries one.
  float rate = m_Rate[v];
  switch (effect) {
    case 1:
      rate = std::fmin(rate + parameter / 180.0f, 4.0f);
      break;
    case 2:
      rate = std::fmax(rate - parameter / 180.0f, 0.25f);
      break;
    case 3:
      rate = std::fmin(rate + parameter / 15.0f, 4.0f);
      break;
    case 4:
      rate = std::fmax(rate - parameter / 15.0f, 0.25f);
      break;
    default:
      return 0;
  }
  m_Rate[v] = rate;
  vo_audio_SetChannelRate(ch, rate);
  return 0;
}

float c_SqPlayer::p_GetPitch(int n) { return n >= 1 && n <= 32 ? kPitch[n - 1] : 0.0f; }

float c_SqPlayer::p_GetPitch_Alpha(String c) {
  if (c.Length() != 1) return 0.0f;
  for (int i = 0; i < 32; ++i) {
    if (c[0] == static_cast<Char>(kPitchChars[i])) return kPitch[i];
  }
  return 0.0f;
}

String c_SqPlayer::p_Sq_GetChord(int k) {
  switch (k) {
    case 0:
      return String("qqqq");
    case 2:
      return String("qqbb");
    case 3:
      return String("qbqb");
    case 4:
      return String("qqqj");
    case 5:
      return String("qqzz");
    default:
      return String("qqjj");
  }
}

int c_SqPlayer::p_Rand(float low, float high) {
  return static_cast<int>(std::floor(low + (high + 0.99f - low) * vo_random_Rnd()));
}

void c_SqPlayer::mark() {
  gc_mark_q(m_InstCount);
  gc_mark_q(m_InstPick);
  gc_mark_q(m_DrumsA);
  gc_mark_q(m_DrumsB);
  gc_mark_q(m_Instruments);
  gc_mark_q(m_TuneImage);
  gc_mark_q(m_Notes);
  gc_mark_q(m_LastPattern);
  gc_mark_q(m_VoiceChannel);
  gc_mark_q(m_VoiceOn);
  gc_mark_q(m_Pattern);
  gc_mark_q(m_Mute);
  gc_mark_q(m_FillIn);
  gc_mark_q(m_NextMute);
  gc_mark_q(m_Rate);
  gc_mark_q(m_Envelope);
  gc_mark_q(m_Level);
}
