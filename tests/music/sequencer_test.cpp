// The music player's sequencer on the headless test host: the test moves the
// host's clock, plays the game's part by calling the update pump, and reads
// what reached the audio driver from the recording stand-in. The tune data is
// written straight into m_Notes; the expected seeds and picks were worked out
// by hand from the generator's rule (LCG step, fraction of the top 24 bits,
// 11 warm-up steps per stream).
#include <gtest/gtest.h>

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

class SequencerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vo_framework_Init();
    audio = new RecordingAudio();
    vo_audio_SetAudioDevice(audio);
    host.Advance(10.0);
    player = NewPlayer();
  }

  // A player set up as the music build does, with a sample in every slot.
  c_SqPlayer* NewPlayer() {
    c_SqPlayer* p = (new c_SqPlayer())->m_new();
    p->p_Sq_Init(32, 4, 3, 3, 4);
    for (int d = 1; d <= 8; ++d) {
      gc_assign(p->m_DrumsA[d], Sound());
      gc_assign(p->m_DrumsB[d], Sound());
    }
    for (int v = 2; v <= 4; ++v) gc_assign(p->m_Instruments[v], Sound());
    return p;
  }

  static c_Sound* Sound() { return (new c_Sound)->m_new(new gxtkSample()); }

  // Starts a tune and treats its sheet as loaded, every voice audible.
  void Ready(int seed = 37171650) {
    player->p_Sq_StartTune(String("test"), seed, 100);
    player->m_LoadStep = 0;
    for (int v = 0; v < 5; ++v) player->m_Mute[v] = 0;
    player->m_NextTick = Now() - 1;  // the first step is due
    audio->calls.clear();
  }

  int Now() { return vo_app_Millisecs(); }

  void Cell(int pattern, int track, int row, int note, int volume, int effect = 0, int param = 0) {
    int at = pattern * 4096 + track * 512 + row * 8;
    player->m_Notes[at] = note;
    player->m_Notes[at + 1] = volume;
    player->m_Notes[at + 2] = effect;
    player->m_Notes[at + 3] = param;
  }

  // One update of the game with the music on, after `ms` of clock.
  void Update(int ms = 0) {
    host.Advance(ms / 1000.0);
    player->p_Sq_Alive_U(0, 1);
  }

  // Plays exactly one step now.
  void Step() {
    player->m_NextTick = Now() - 1;
    player->p_Sq_MusicPlay();
  }

  // Plays row 5 of the lead from a pattern with a bar count; gives the rate
  // of the note that was played.
  float LeadAtRow5(int pattern, int bars) {
    player->m_Pattern[2] = pattern;
    player->m_Bars = bars;
    player->m_Row = 5;
    audio->calls.clear();
    Step();
    return audio->On("rate", kLead).at(0);
  }

  // The plan of one run over 24 pattern boundaries: at each, the section and
  // chord string and every voice's pattern and mute flag.
  std::vector<std::string> Plan(c_SqPlayer* p, int seed) {
    int last[5] = {4, 3, 5, 4, 4};
    p->p_Sq_StartTune(String("plan"), seed, 100);
    for (int v = 0; v < 5; ++v) p->m_LastPattern[v] = last[v];
    p->p_Sq_StartTune(String("plan"), seed, 100);
    p->m_LoadStep = 0;
    std::vector<std::string> plan;
    for (int update = 0; update < 64 * 48 && plan.size() < 24; ++update) {
      host.Advance(0.08);
      p->p_Sq_Alive_U(0, 1);
      if (p->m_Row != 0) continue;
      std::string line = std::to_string(p->m_Section) + ":" + p->m_Chords.ToUtf8();
      for (int v = 0; v < 5; ++v) {
        line += " " + std::to_string(p->m_Pattern[v]) + "/" + std::to_string(p->m_Mute[v]);
      }
      plan.push_back(line);
    }
    return plan;
  }

  VoTestHost host;
  RecordingAudio* audio = nullptr;
  c_SqPlayer* player = nullptr;
};

std::vector<int> Ints(const Array<int>& a, int n) { return std::vector<int>(a.Data(), a.Data() + n); }

TEST_F(SequencerTest, StartDrawsInstrumentsPatternsAndMutesFromTheSeed) {
  player->p_Sq_StartTune(String("test"), 37171650, 100);
  EXPECT_EQ(player->m_LoadStep, 1);
  EXPECT_EQ(Ints(player->m_Pattern, 5), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(Ints(player->m_VoiceChannel, 5), (std::vector<int>{32, 31, 30, 29, 28}));

  // Restarting the loaded tune keeps the decoded patterns and draws from them.
  player->m_LoadStep = 0;
  int last[5] = {4, 3, 5, 4, 4};
  for (int v = 0; v < 5; ++v) player->m_LastPattern[v] = last[v];
  player->p_Sq_StartTune(String("test"), 37171650, 100);
  EXPECT_EQ(player->m_LoadStep, 0);
  EXPECT_EQ(std::vector<int>(player->m_InstPick.Data() + 1, player->m_InstPick.Data() + 6),
            (std::vector<int>{1, 3, 2, 2, 1}));
  EXPECT_EQ(Ints(player->m_Pattern, 5), (std::vector<int>{0, 3, 3, 2, 1}));
  EXPECT_EQ(Ints(player->m_NextMute, 5), (std::vector<int>{1, 0, 0, 0, 1}));
  EXPECT_EQ(Ints(player->m_FillIn, 5), (std::vector<int>{0, 0, 1, 0, 0}));
  EXPECT_EQ(Ints(player->m_Mute, 5), (std::vector<int>{0, 0, 1, 0, 1}));
  EXPECT_EQ(player->m_Bars, 2);
  EXPECT_EQ(player->m_Chords, String("qqjj"));
  EXPECT_EQ(player->m_PlayState, 2);
  // The game's own random numbers continue where the player left the seed.
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 464377262u);

  player->p_Sq_StartTune(String("test"), 12345, 100);
  EXPECT_EQ(std::vector<int>(player->m_InstPick.Data() + 1, player->m_InstPick.Data() + 6),
            (std::vector<int>{3, 4, 1, 3, 2}));
  EXPECT_EQ(Ints(player->m_Pattern, 5), (std::vector<int>{3, 2, 1, 0, 4}));
  EXPECT_EQ(Ints(player->m_Mute, 5), (std::vector<int>{1, 0, 1, 0, 0}));
  EXPECT_EQ(player->m_Bars, 4);
}

// With seed 1007 both drum voices draw mute; kit A is switched back on.
TEST_F(SequencerTest, BothDrumKitsDrawnMuteLeavesKitAPlaying) {
  player->p_Sq_StartTune(String("test"), 1007, 100);
  int last[5] = {4, 3, 5, 4, 4};
  for (int v = 0; v < 5; ++v) player->m_LastPattern[v] = last[v];
  player->p_Sq_StartTune(String("test"), 1007, 100);
  player->m_LoadStep = 0;
  EXPECT_EQ(player->m_Mute[0], 0);
  EXPECT_EQ(player->m_Mute[1], 1);

  for (int p = 0; p < 64; ++p) {
    Cell(p, 0, 0, 13, 20);
    Cell(p, 1, 0, 13, 20);
  }
  audio->calls.clear();
  Step();
  EXPECT_EQ(audio->On("play", kKitA).size(), 1u);
  EXPECT_TRUE(audio->On("play", kKitB).empty());
  ASSERT_EQ(audio->On("pan", kKitA).size(), 1u);
  EXPECT_FLOAT_EQ(audio->On("pan", kKitA)[0], -0.35f);
}

TEST_F(SequencerTest, TheSameSeedReplaysTheSamePatternsMutesAndChords) {
  std::vector<std::string> first = Plan(player, 37171650);
  std::vector<std::string> again = Plan(NewPlayer(), 37171650);
  std::vector<std::string> other = Plan(NewPlayer(), 37171651);
  ASSERT_EQ(first.size(), 24u);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  // Sections advance, and every chord step is one of the progression characters.
  EXPECT_NE(first.front().substr(0, 2), first.back().substr(0, 2));
  for (const std::string& line : first) {
    char chord = line[line.find(':') + 1];
    EXPECT_TRUE(chord == 'q' || chord == 'j' || chord == 'b') << line;
  }
}

TEST_F(SequencerTest, AGivenVolumeHoldsAFewStepsAndThenFades) {
  Ready();
  Cell(0, 3, 0, 13, 30);
  Step();
  ASSERT_EQ(audio->On("volume", kAccompany).size(), 1u);
  EXPECT_FLOAT_EQ(audio->On("volume", kAccompany)[0], 0.5f);  // full level times m_Volume
  for (int i = 0; i < 3; ++i) Step();
  EXPECT_EQ(audio->On("volume", kAccompany).size(), 1u);
  for (int i = 0; i < 14; ++i) Step();
  std::vector<float> fade = audio->On("volume", kAccompany);
  ASSERT_GE(fade.size(), 4u);
  for (size_t i = 1; i < fade.size(); ++i) EXPECT_LE(fade[i], fade[i - 1]);
  EXPECT_LT(fade[2], 0.5f);
  EXPECT_EQ(fade.back(), 0.0f);
}

TEST_F(SequencerTest, ChordJLowersMelodicNotesButNotDrums) {
  Ready();
  player->m_Chords = String("jjjj");
  Cell(0, 0, 0, 13, 20);  // kick of kit A
  Cell(0, 2, 0, 20, 20);  // lead, pitch 20 (rate 1.498)
  Cell(0, 4, 0, 13, 20);  // bass at its own pitch
  Step();
  ASSERT_EQ(audio->On("rate", kLead).size(), 1u);
  EXPECT_NEAR(audio->On("rate", kLead)[0], 1.498f * 0.891f, 1e-5);
  ASSERT_EQ(audio->On("rate", kBass).size(), 1u);
  EXPECT_NEAR(audio->On("rate", kBass)[0], 0.891f, 1e-6);
  EXPECT_TRUE(audio->On("rate", kKitA).empty());
  EXPECT_EQ(audio->On("play", kKitA).size(), 1u);
  EXPECT_EQ(player->m_Rate[0], 1.0f);
  // The melodic sample loops; the drum hit does not.
  EXPECT_EQ(audio->On("play", kLead)[0], 1.0f);
  EXPECT_EQ(audio->On("play", kKitA)[0], 0.0f);
}

TEST_F(SequencerTest, EffectEightEndsThePatternAfterThatStep) {
  Ready();
  player->m_Bars = 4;
  Cell(0, 3, 0, 13, 20);
  Cell(0, 3, 10, 0, 0, 8, 0);
  Cell(0, 3, 11, 15, 20);  // never reached
  for (int i = 0; i < 10; ++i) Step();
  EXPECT_EQ(player->m_Row, 10);
  audio->calls.clear();
  Step();
  EXPECT_EQ(player->m_Row, 0);
  EXPECT_EQ(player->m_Chords, String("qjj"));
  EXPECT_EQ(player->m_Bars, 3);
  Step();
  ASSERT_EQ(audio->On("rate", kAccompany).size(), 1u);
  EXPECT_NEAR(audio->On("rate", kAccompany)[0], 1.0f, 1e-6);  // row 0 again, not row 11
}

// The voices after the breaking one still play the breaking step's row.
TEST_F(SequencerTest, APatternBreakLetsTheOtherVoicesFinishTheirStep) {
  Ready();
  Cell(0, 0, 10, 13, 20, 8, 0);  // kit A breaks at row 10
  Cell(0, 3, 10, 20, 20);        // accompaniment note on the same step
  Cell(0, 4, 63, 15, 20);        // bass on the last row: not this step
  player->m_Row = 10;
  Step();
  EXPECT_EQ(player->m_Row, 0);
  ASSERT_EQ(audio->On("rate", kAccompany).size(), 1u);
  EXPECT_NEAR(audio->On("rate", kAccompany)[0], 1.498f, 1e-6);
  EXPECT_TRUE(audio->On("rate", kBass).empty());
}

TEST_F(SequencerTest, EffectTwentySevenJumpsOnlyOnTheRightParity) {
  Ready();
  // Pattern 0 asks to go forward, pattern 1 back; each holds a note of its own.
  Cell(0, 2, 5, 13, 20, 27, 1);
  Cell(1, 2, 5, 20, 20, 27, 2);
  EXPECT_NEAR(LeadAtRow5(0, 3), 1.498f, 1e-6);  // odd: forward, plays pattern 1's note
  EXPECT_EQ(player->m_Pattern[2], 1);
  EXPECT_NEAR(LeadAtRow5(0, 2), 1.0f, 1e-6);  // even: stays
  EXPECT_EQ(player->m_Pattern[2], 0);
  EXPECT_NEAR(LeadAtRow5(1, 2), 1.0f, 1e-6);  // even: back to pattern 0
  EXPECT_EQ(player->m_Pattern[2], 0);
  EXPECT_NEAR(LeadAtRow5(1, 1), 1.498f, 1e-6);  // odd: stays
  EXPECT_EQ(player->m_Pattern[2], 1);
}

TEST_F(SequencerTest, SlidesMoveTheRateWithinLimits) {
  Ready();
  Cell(0, 2, 0, 13, 20, 1, 18);  // a note and +0.1 at once
  Cell(0, 2, 1, 0, 0, 4, 15);    // -1.0 on the next step
  Cell(0, 2, 2, 0, 0, 4, 15);    // would go below 0.25
  Cell(0, 2, 3, 0, 0, 3, 60);    // +4 would go past 4.0
  for (int i = 0; i < 4; ++i) Step();
  std::vector<float> rates = audio->On("rate", kLead);
  ASSERT_EQ(rates.size(), 5u);  // the note's rate, then one per slide
  EXPECT_NEAR(rates[0], 1.0f, 1e-6);
  EXPECT_NEAR(rates[1], 1.1f, 1e-5);
  EXPECT_NEAR(rates[2], 0.25f, 1e-6);
  EXPECT_NEAR(rates[3], 0.25f, 1e-6);
  EXPECT_NEAR(rates[4], 4.0f, 1e-6);
}

TEST_F(SequencerTest, AMissedSecondIsCaughtUpOneStepPerUpdate) {
  Ready();
  Update();  // plays the due step; the next one is 80 ms after it
  EXPECT_EQ(player->m_Row, 1);
  host.Advance(1.0);
  // 1000 ms late with steps every 80 ms from 79 ms: steps at 79 + 80k < 1000,
  // so twelve overdue steps, one per update.
  std::vector<int> rows;
  for (int i = 0; i < 15; ++i) {
    Update();
    rows.push_back(player->m_Row);
  }
  EXPECT_EQ(rows, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 13, 13, 13}));
  Update(41);
  EXPECT_EQ(player->m_Row, 14);
}

TEST_F(SequencerTest, PausingSilencesAndResumesAfterAHundredFiftyMilliseconds) {
  Ready();
  Cell(0, 2, 0, 13, 20);
  Update();
  EXPECT_EQ(player->m_VoiceOn[2], 1);
  audio->calls.clear();
  host.Advance(0.5);
  player->p_Sq_Alive_U(1, 1);
  EXPECT_EQ(audio->On("stop", kLead).size(), 1u);
  EXPECT_EQ(player->m_Row, 1);
  EXPECT_EQ(player->m_NextTick, Now() + 150);
  Update(100);
  EXPECT_EQ(player->m_Row, 1);
  Update(60);
  EXPECT_EQ(player->m_Row, 2);
}

TEST_F(SequencerTest, MusicOffStopsTheVoicesAndDoesNotAdvance) {
  Ready();
  Cell(0, 2, 0, 13, 20);
  Update();
  audio->calls.clear();
  for (int i = 0; i < 20; ++i) {
    host.Advance(0.08);
    player->p_Sq_Alive_U(0, 0);
  }
  EXPECT_EQ(player->m_Row, 1);
  EXPECT_EQ(audio->On("stop", kLead).size(), 1u);  // once: the voice is then off
  EXPECT_EQ(player->m_VoiceOn[2], 0);
  EXPECT_TRUE(audio->On("play", kLead).empty());
}

// A tempo below 1 would make the step length infinite; it counts as tempo 1.
TEST_F(SequencerTest, ATempoBelowOneStepsOnceEveryEightSeconds) {
  player->p_Sq_StartTune(String("test"), 1, 0);
  player->m_LoadStep = 0;
  int tick = Now() - 1;
  player->m_NextTick = tick;
  player->p_Sq_MusicPlay();
  EXPECT_EQ(player->m_Row, 1);
  EXPECT_EQ(player->m_NextTick, tick + 8000);
}

// Seeds near the top of the int range wrap in the generator's 32-bit
// arithmetic instead of overflowing, and still replay.
TEST_F(SequencerTest, SeedsAtTheEdgeOfTheIntRangeReplay) {
  std::vector<std::string> first = Plan(player, 2147483647);
  EXPECT_EQ(first, Plan(NewPlayer(), 2147483647));
  EXPECT_EQ(Plan(NewPlayer(), -2147483647 - 1), Plan(NewPlayer(), -2147483647 - 1));
}

}  // namespace
