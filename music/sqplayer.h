// The procedural music player: tune sheets (PNG pictures whose blue channel
// holds note data) decoded at render time, numbered instrument samples picked
// with a seeded generator, and a five-voice step sequencer.
//
// How the game switches the player on. The build, not the running program,
// decides whether the game uses this player: the CMake option QUILLET_MUSIC
// (`make MUSIC=1`) defines QUILLET_HAS_MUSIC=1 for every target that links
// quillet_music, and the default build defines it as 0. The game's module
// initialiser reads it once:
//
//     vo_Game_HasMusic = QUILLET_HAS_MUSIC;
//
// and every hook (p_Sq_Init at creation, p_Sq_Alive_U per update, p_Sq_Alive_R
// at the start of each render) stays behind `if (vo_Game_HasMusic == 1)`.
// p_Sq_StartTune and p_Sq_Stop are called in both builds; with the switch at 0
// they only record the tune and its state, and nothing is loaded or sounds.
#pragma once

#include "runtime/dovel.h"

#ifndef QUILLET_HAS_MUSIC
#define QUILLET_HAS_MUSIC 0
#endif

class c_Sound;
class c_Image;

class c_SqPlayer : public Object {
 public:
  int m_BaseChannel = 0;
  Array<int> m_InstCount;
  int m_LoadStep = 0;
  Array<int> m_InstPick;
  Array<c_Sound*> m_DrumsA;
  Array<c_Sound*> m_DrumsB;
  Array<c_Sound*> m_Instruments;
  String m_TunePath;
  c_Image* m_TuneImage = nullptr;
  Array<int> m_Notes;
  Array<int> m_LastPattern;
  int m_NextTick = 0;
  int m_PlayState = 0;
  int m_Voices = 5;
  Array<int> m_VoiceChannel;
  Array<int> m_VoiceOn;
  Array<int> m_Pattern;
  int m_Row = 0;
  int m_Bars = 0;
  Array<int> m_Mute;
  Array<int> m_FillIn;
  Array<int> m_NextMute;
  float m_Transpose = 0.0f;
  String m_Chords;
  Array<float> m_Rate;
  Array<float> m_Envelope;
  float m_Volume = 0.5f;
  Array<float> m_Level;
  int m_Tempo = 95;
  int m_Seed = 0;
  int m_Section = 0;

  // Allocates every array at its documented size; the game then calls m_new.
  c_SqPlayer();
  c_SqPlayer* m_new();

  // Sets the highest channel and the number of variants of each instrument.
  int p_Sq_Init(int base, int drums, int lead, int accompany, int bass);
  // Starts (or restarts) the tune "tunes/<name>.png" with a seed and tempo.
  int p_Sq_StartTune(String name, int seed, int tempo);
  // Stops the sounding voices; full = 1 also ends the tune.
  int p_Sq_Stop(int full);
  // One of the 70 loading steps; only the render pump calls it.
  int p_Sq_LoadChunk();
  // The update pump: plays, pauses or silences the tune.
  int p_Sq_Alive_U(int paused, int musicOn);
  // The render pump: up to three loading steps, then a black screen.
  int p_Sq_Alive_R();
  // Plays one step when it is due.
  int p_Sq_MusicPlay();
  // Applies one cell (note, volume, effect, parameter) to one voice.
  int p_Sq_PlayNote(int voice, int note, int volume, int effect, int parameter);
  // Rate factor of pitch number n (13 is the sample's own pitch), 0 if unknown.
  float p_GetPitch(int n);
  // Rate factor of a chord character ("q" = 1.0), 0 if unknown.
  float p_GetPitch_Alpha(String c);
  // The four-pattern chord progression number k.
  String p_Sq_GetChord(int k);
  // One step of the shared generator as an int from low to high.
  int p_Rand(float low, float high);

  void mark() override;
};
