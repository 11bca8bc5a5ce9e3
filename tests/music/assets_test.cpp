// The generated music assets, read as the player will find them in data/:
// sheets whose tracks hold what the sequencer expects, and instrument samples
// that exist, sound, loop cleanly and are pitched where the sheets assume.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/audio_codec.h"

namespace {

// A sheet decoded as the player decodes it: value = blue >> 3 for frames 0-62.
class Sheet {
 public:
  explicit Sheet(const std::string& path) {
    int w = 0, h = 0, n = 0;
    unsigned char* px = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (!px) return;
    width = w, height = h;
    values.assign(64 * 4096, 0);
    for (int p = 0; p < 63 && w == 512 && h == 512; ++p) {
      for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
          int blue = px[(((p / 8) * 64 + y) * 512 + (p % 8) * 64 + x) * 4 + 2];
          values[p * 4096 + (x / 8) * 512 + y * 8 + x % 8] = blue >> 3;
        }
      }
    }
    stbi_image_free(px);
  }
  int At(int p, int t, int row, int column) const { return values[p * 4096 + t * 512 + row * 8 + column]; }
  // Highest pattern in which the track holds anything: what m_LastPattern becomes.
  int Last(int t) const {
    int last = 0;
    for (int p = 0; p < 63; ++p) {
      for (int i = 0; i < 512; ++i) {
        if (values[p * 4096 + t * 512 + i] != 0) last = p;
      }
    }
    return last;
  }
  int width = 0, height = 0;
  std::vector<int> values;
};

const char* const kTunes[] = {"tunes/Hollow Road/Tune_12.png", "tunes/Retro/Cavern Walk.png",
                              "tunes/Retro/Brick Hop.png"};

TEST(MusicAssets, EachSheetGivesEveryTrackSeveralPlayablePatterns) {
  const std::set<int> drumNotes = {13, 15, 17, 18, 20, 22, 24, 25};
  for (const char* name : kTunes) {
    Sheet sheet(std::string("data/") + name);
    ASSERT_EQ(sheet.width, 512) << name;
    ASSERT_EQ(sheet.height, 512) << name;
    for (int t = 0; t < 5; ++t) {
      int last = sheet.Last(t);
      EXPECT_GE(last, 3) << name << " track " << t << " has too few patterns to vary";
      for (int p = 0; p <= last; ++p) {
        int notes = 0;
        for (int row = 0; row < 64; ++row) {
          int note = sheet.At(p, t, row, 0), volume = sheet.At(p, t, row, 1);
          if (note == 0) continue;
          ++notes;
          // Every note brings its own level, so none inherits a faded one.
          EXPECT_GE(volume, 1) << name << " pattern " << p << " track " << t << " row " << row;
          if (t < 2) {
            EXPECT_EQ(drumNotes.count(note), 1u) << name << " drum note " << note;
          }
        }
        // Any pattern the generator may pick plays something.
        EXPECT_GT(notes, 0) << name << " pattern " << p << " track " << t << " is empty";
      }
    }
    for (int t = 5; t < 8; ++t) EXPECT_EQ(sheet.Last(t), 0) << name;
  }
}

// Cavern Walk is in three-four time: every kit A pattern breaks after 48 steps.
// Brick Hop's lead swaps the halves of patterns 0 and 1 with pattern jumps.
TEST(MusicAssets, PatternBreaksAndJumpsSitWhereTheTunesNeedThem) {
  Sheet walk("data/tunes/Retro/Cavern Walk.png");
  ASSERT_EQ(walk.width, 512);
  for (int p = 0; p <= walk.Last(0); ++p) {
    for (int row = 0; row < 64; ++row) {
      EXPECT_EQ(walk.At(p, 0, row, 2) == 8, row == 47) << "pattern " << p << " row " << row;
    }
  }
  Sheet hop("data/tunes/Retro/Brick Hop.png");
  ASSERT_EQ(hop.width, 512);
  EXPECT_EQ(hop.At(0, 2, 32, 2), 27);
  EXPECT_EQ(hop.At(0, 2, 32, 3), 1);
  EXPECT_EQ(hop.At(1, 2, 32, 2), 27);
  EXPECT_EQ(hop.At(1, 2, 32, 3), 2);
  for (int row = 0; row < 32; ++row) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(hop.At(0, 2, row, c), hop.At(1, 2, row, c)) << row;
  }
}

// 16-bit mono samples of a generated WAV file, empty when it cannot be read.
std::vector<int> Samples(const std::string& path, int* hertz) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  std::vector<int> out;
  if (!f) return out;
  int length = 0, channels = 0, format = 0;
  unsigned char* pcm = LoadWAV(f.get(), &length, &channels, &format, hertz);
  if (pcm && channels == 1 && format == 2) {
    const int16_t* s = reinterpret_cast<const int16_t*>(pcm);
    out.assign(s, s + length);
  }
  std::free(pcm);
  return out;
}

// Melodic samples loop: the step from the last sample back to the first is no
// bigger than the steps inside, and rate 1.0 plays the reference C.
TEST(MusicAssets, MelodicSamplesLoopCleanlyAtTheirReferencePitch) {
  struct Family {
    const char* stem;
    int variants;
    double hz;
  };
  const Family families[] = {{"lead", 3, 523.25}, {"accompany", 3, 261.63}, {"bass", 4, 130.81}};
  for (const Family& family : families) {
    for (int n = 1; n <= family.variants; ++n) {
      std::string path = std::string("data/inst/") + family.stem + std::to_string(n) + ".wav";
      int hertz = 0;
      std::vector<int> s = Samples(path, &hertz);
      ASSERT_GT(s.size(), 1000u) << path;
      int biggest = 0;
      for (size_t i = 1; i < s.size(); ++i) biggest = std::max(biggest, std::abs(s[i] - s[i - 1]));
      EXPECT_LE(std::abs(s.back() - s.front()), biggest) << path;
      EXPECT_GT(biggest, 100) << path << " is silent";
      // Pitch: the strongest of the candidate periods near the reference
      // by autocorrelation, within a quarter of a semitone.
      double period = hertz / family.hz;
      int best = 0;
      double bestScore = -1e300;
      for (int lag = static_cast<int>(period * 0.95); lag <= static_cast<int>(period * 1.05) + 1; ++lag) {
        double score = 0;
        for (size_t i = 0; i + lag < s.size(); ++i) score += double(s[i]) * s[i + lag];
        if (score > bestScore) bestScore = score, best = lag;
      }
      EXPECT_NEAR(hertz / double(best) / family.hz, 1.0, 0.015) << path;
    }
  }
}

TEST(MusicAssets, EveryDrumOfEveryKitSoundsAndEndsInSilence) {
  for (int kit = 1; kit <= 4; ++kit) {
    for (int drum = 1; drum <= 8; ++drum) {
      std::string path = "data/inst/d" + std::to_string(kit) + "-" + std::to_string(drum) + ".wav";
      int hertz = 0;
      std::vector<int> s = Samples(path, &hertz);
      ASSERT_GT(s.size(), 100u) << path;
      int peak = 0;
      for (int x : s) peak = std::max(peak, std::abs(x));
      EXPECT_GT(peak, 8000) << path;
      EXPECT_LT(std::abs(s.back()), 300) << path;
    }
  }
}

}  // namespace
