// The music player's sequencer on the headless test host: the test moves the
// host's clock, plays the game's part by calling the update pump, and reads
// what reached the audio driver from the recording stand-in. The tune data is
// written straight into m_Notes; the expected seeds and picks were worked out
// by hand from the generator's rule (LCG step, fraction of the top 24 bits,
// 11 warm-up steps per stream, 16 for the chord draw).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "framework/app.h"
#include "music/sqplayer.h"
#include "tests/support/recording_audio.h"
#include "tests/support/test_host.h"

namespace {

// Channels of the five voices with the game's base channel 32.
constexpr int kKitA = 31, kKitB = 30, kLead = 29, kAccompany = 28, kBass = 27;
using Ints = std::vector<int>;
using PerVoice = std::vector<Ints>;

Ints ints(const Array<int>& a, int from, int n) { return Ints(a.Data() + from, a.Data() + from + n); }

class SequencerTest : public ::testing::Test {
 protected:
  // A player set up as the music build does, with a sample in every slot.
  void SetUp() override {
    vo_framework_Init();
    vo_audio_SetAudioDevice(audio = new RecordingAudio());
    host.Advance(10.0);
    player = (new c_SqPlayer())->m_new();
    player->p_Sq_Init(32, 4, 3, 3, 4);
    auto sound = [] { return (new c_Sound)->m_new(new gxtkSample()); };
    for (int d = 1; d <= 8; ++d) gc_assign(player->m_DrumsA[d], sound()), gc_assign(player->m_DrumsB[d], sound());
    for (int v = 2; v <= 4; ++v) gc_assign(player->m_Instruments[v], sound());
  }

  // Starts a tune whose sheet is loaded with 5, 4, 6, 5 and 5 patterns per voice.
  void StartLoaded(int seed) {
    player->p_Sq_StartTune(String("test"), seed, 100);
    const int last[5] = {4, 3, 5, 4, 4};
    for (int v = 0; v < 5; ++v) player->m_LastPattern[v] = last[v];
    player->p_Sq_StartTune(String("test"), seed, 100);
    player->m_LoadStep = 0;
  }

  // Starts a tune and treats its sheet as loaded, every voice audible.
  void Ready() {
    player->p_Sq_StartTune(String("test"), 37171650, 100);
    player->m_LoadStep = 0;
    for (int v = 0; v < 5; ++v) player->m_Mute[v] = 0;
    player->m_NextTick = Now() - 1;  // the first step is due
    audio->calls.clear();
  }

  int Now() { return vo_app_Millisecs(); }

  void Cell(int pattern, int track, int row, int note, int volume, int effect = 0, int param = 0) {
    int at = pattern * 4096 + track * 512 + row * 8;
    for (int v : {note, volume, effect, param}) player->m_Notes[at++] = v;
  }

  // One update of the game with the music on, after `ms` of clock.
  void Update(int ms = 0, int paused = 0) {
    host.Advance(ms / 1000.0);
    player->p_Sq_Alive_U(paused, 1);
  }

  // Plays exactly one step now.
  void Step(int n = 1) {
    while (n--) {
      player->m_NextTick = Now() - 1;
      player->p_Sq_MusicPlay();
    }
  }

  // One kind of call on each voice's channel since the calls were cleared, in
  // thousandths: a rate of 1.498 reads 1498, a play with the loop flag 1000.
  PerVoice Sent(const char* op) {
    PerVoice sent;
    for (int channel : {kKitA, kKitB, kLead, kAccompany, kBass}) {
      sent.emplace_back();
      for (float v : audio->On(op, channel)) sent.back().push_back(static_cast<int>(std::lround(v * 1000)));
    }
    return sent;
  }

  VoTestHost host;
  RecordingAudio* audio = nullptr;
  c_SqPlayer* player = nullptr;
};

TEST_F(SequencerTest, StartDrawsInstrumentsPatternsAndMutesFromTheSeed) {
  // Restarting the loaded tune keeps the decoded patterns and draws from them.
  StartLoaded(37171650);
  EXPECT_EQ(ints(player->m_InstPick, 1, 5), Ints({1, 3, 2, 2, 1}));
  EXPECT_EQ(ints(player->m_Pattern, 0, 5), Ints({0, 3, 3, 2, 1}));
  EXPECT_EQ(ints(player->m_NextMute, 0, 5), Ints({1, 0, 0, 0, 1}));
  EXPECT_EQ(ints(player->m_FillIn, 0, 5), Ints({0, 0, 1, 0, 0}));
  EXPECT_EQ(ints(player->m_Mute, 0, 5), Ints({0, 0, 1, 0, 1}));
  EXPECT_EQ(player->m_Bars, 2);
  EXPECT_EQ(player->m_Chords, String("qqjj"));
  // The game's own random numbers continue where the player left the seed.
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 464377262u);
  // Seed 1007 draws four bars and mutes both drum kits; kit A is switched back
  // on and plays, panned left.
  StartLoaded(1007);
  EXPECT_EQ(player->m_Bars, 4);
  for (int p = 0; p < 64; ++p)
    for (int v = 0; v < 5; ++v) Cell(p, v, 0, 13, 20);
  audio->calls.clear();
  Step();
  EXPECT_EQ(Sent("play"), (PerVoice{{0}, {}, {1000}, {}, {1000}})) << "melodic samples loop, drum hits do not";
  EXPECT_EQ(Sent("pan"), (PerVoice{{-350}, {}, {}, {}, {}}));
}

// At a section's end the bar count, the next chord and every voice's pattern
// are drawn again, and each voice takes the mute it drew as its next one (kit A
// plays when both kits would be mute). Seeds 34 and 41 draw the bar fraction
// 0.021 and 0.815, near the ends of the range; the other two wrap in the
// generator's 32-bit arithmetic instead of overflowing (which the sanitizer
// build reports).
TEST_F(SequencerTest, ASectionEndDrawsItsBarsChordPatternsAndMutes) {
  const struct {
    int seed, bars;
    const char* chord;
    Ints patterns;
    PerVoice played;
  } cases[] = {{34, 2, "qqqj", {0, 3, 4, 2, 1}, {{0}, {}, {}, {1000}, {1000}}},
               {41, 4, "qqqj", {4, 3, 3, 1, 0}, {{0}, {}, {1000}, {1000}, {1000}}},
               {2147483647, 4, "qqqq", {3, 2, 1, 0, 4}, {{0}, {}, {}, {}, {1000}}},
               {-2147483647 - 1, 2, "qqjj", {2, 0, 5, 3, 2}, {{0}, {}, {}, {}, {1000}}}};
  for (int p = 0; p < 64; ++p)
    for (int v = 0; v < 5; ++v) Cell(p, v, 0, 13, 20);
  for (const auto& c : cases) {
    StartLoaded(c.seed);
    player->m_Bars = 1;
    player->m_Row = 63;
    player->m_Chords = String("q");  // the last chord step: the next progression is drawn
    Step();
    EXPECT_EQ(player->m_Section * 10 + player->m_Bars, 10 + c.bars) << c.seed;
    EXPECT_EQ(player->m_Chords, String(c.chord)) << c.seed;
    EXPECT_EQ(ints(player->m_Pattern, 0, 5), c.patterns) << c.seed;
    audio->calls.clear();
    Step();
    EXPECT_EQ(Sent("play"), c.played) << c.seed;
  }
}

TEST_F(SequencerTest, AGivenVolumeHoldsAFewStepsAndThenFades) {
  Ready();
  Cell(0, 3, 0, 13, 30);
  Step(4);
  EXPECT_EQ(audio->On("volume", kAccompany), std::vector<float>({0.5f})) << "full level times m_Volume, held";
  Step(14);
  std::vector<float> fade = audio->On("volume", kAccompany);
  ASSERT_GE(fade.size(), 4u);
  for (size_t i = 1; i < fade.size(); ++i) EXPECT_LE(fade[i], fade[i - 1]);
  EXPECT_LT(fade[2], 0.5f);
  EXPECT_EQ(fade.back(), 0.0f);
}

// Chord j lowers melodic notes but not drums.
TEST_F(SequencerTest, ChordJLowersMelodicNotesButNotDrums) {
  Ready();
  player->m_Chords = String("jjjj");
  Cell(0, 0, 0, 13, 20);  // kick of kit A
  Cell(0, 2, 0, 20, 20);  // lead, pitch 20 (rate 1.498)
  Cell(0, 4, 0, 13, 20);  // bass at its own pitch
  Step();
  EXPECT_EQ(Sent("rate"), (PerVoice{{}, {}, {1335}, {}, {891}}));  // 1.498 * 0.891 and 0.891
  EXPECT_EQ(player->m_Rate[0], 1.0f);
}

TEST_F(SequencerTest, EffectEightEndsThePatternAfterThatStep) {
  Ready();
  player->m_Bars = 4;
  Cell(0, 3, 0, 13, 20);
  Cell(0, 3, 10, 0, 0, 8, 0);
  Cell(0, 3, 11, 15, 20);  // never reached
  Step(10);
  audio->calls.clear();
  Step();
  EXPECT_EQ(player->m_Row, 0);
  EXPECT_EQ(player->m_Chords, String("qjj"));
  EXPECT_EQ(player->m_Bars, 3);
  Step();
  EXPECT_EQ(Sent("rate")[3], Ints({1000})) << "row 0 again, not row 11";
  // The voices after the breaking one still play the breaking step's row.
  Ready();
  Cell(0, 0, 10, 13, 20, 8, 0);  // kit A breaks at row 10
  Cell(0, 3, 10, 20, 20);        // accompaniment note on the same step
  Cell(0, 4, 63, 15, 20);        // bass on the last row: not this step
  player->m_Row = 10;
  Step();
  EXPECT_EQ(player->m_Row, 0);
  EXPECT_EQ(Sent("rate"), (PerVoice{{}, {}, {}, {1498}, {}}));
}

TEST_F(SequencerTest, EffectTwentySevenJumpsOnlyOnTheRightParity) {
  Ready();
  // Pattern 0 asks to go forward, pattern 1 back; each holds a note of its own.
  Cell(0, 2, 5, 13, 20, 27, 1);
  Cell(1, 2, 5, 20, 20, 27, 2);
  const struct {
    int from, bars, to, rate;
  } cases[] = {{0, 3, 1, 1498}, {0, 2, 0, 1000}, {1, 2, 0, 1000}, {1, 1, 1, 1498}};
  for (const auto& c : cases) {
    player->m_Pattern[2] = c.from;
    player->m_Bars = c.bars;
    player->m_Row = 5;
    audio->calls.clear();
    Step();
    EXPECT_EQ(Sent("rate")[2], Ints({c.rate})) << c.from << " " << c.bars;
    EXPECT_EQ(player->m_Pattern[2], c.to);
  }
}

TEST_F(SequencerTest, SlidesMoveTheRateWithinLimits) {
  Ready();
  Cell(0, 2, 0, 13, 20, 1, 18);  // a note and +0.1 at once
  Cell(0, 2, 1, 0, 0, 4, 15);    // -1.0 on the next step
  Cell(0, 2, 2, 0, 0, 4, 15);    // would go below 0.25
  Cell(0, 2, 3, 0, 0, 3, 60);    // +4 would go past 4.0
  Step(4);
  EXPECT_EQ(Sent("rate")[2], Ints({1000, 1100, 250, 250, 4000}));  // the note's rate, then one per slide
}

TEST_F(SequencerTest, AMissedSecondIsCaughtUpOneStepPerUpdate) {
  Ready();
  Update();  // plays the due step; the next one is 80 ms after it
  EXPECT_EQ(player->m_Row, 1);
  host.Advance(1.0);
  // 1000 ms late with steps every 80 ms from 79 ms: steps at 79 + 80k < 1000,
  // so twelve overdue steps, one per update.
  Ints rows;
  for (int i = 0; i < 15; ++i) Update(), rows.push_back(player->m_Row);
  EXPECT_EQ(rows, Ints({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 13, 13, 13}));
  Update(41);
  EXPECT_EQ(player->m_Row, 14);
}

TEST_F(SequencerTest, PausingResumesAfterAHundredFiftyMillisecondsAndMusicOffStops) {
  Ready();
  Cell(0, 2, 0, 13, 20);
  Update();
  audio->calls.clear();
  Update(500, 1);  // paused
  EXPECT_EQ(audio->On("stop", kLead).size(), 1u);
  EXPECT_EQ(player->m_Row, 1);
  EXPECT_EQ(player->m_NextTick, Now() + 150);
  Update(100);
  EXPECT_EQ(player->m_Row, 1);
  Cell(0, 2, 1, 13, 20);
  Update(60);
  EXPECT_EQ(player->m_Row, 2);
  // With the music off the voices stop once and the tune does not advance.
  audio->calls.clear();
  for (int i = 0; i < 20; ++i) host.Advance(0.08), player->p_Sq_Alive_U(0, 0);
  EXPECT_EQ(player->m_Row, 2);
  EXPECT_EQ(audio->On("stop", kLead).size(), 1u);
}

}  // namespace
