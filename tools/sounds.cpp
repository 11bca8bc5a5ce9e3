// The game's sound effects, synthesized: each is a few short tones with a
// pitch glide, a handful of harmonics and a soft attack and exponential decay,
// so they are brief and free of clicks. Mono 16-bit PCM at 22050 Hz.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tools/assets.h"
#include "tools/wav_file.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;
// Loudest sample of every effect, as a fraction of full scale.
constexpr double kPeak = 0.6;

// One note of an effect: when it starts and how long it lasts (seconds), the
// frequency it glides between (Hz), the strength of harmonics 1 to 3 and how
// fast it dies away (per second).
struct Tone {
  double start;
  double length;
  double freqFrom;
  double freqTo;
  double harmonics[3];
  double decay;
};

// Envelope of a tone at `t` seconds into it: 4 ms attack, exponential decay and
// a 5 ms fade at the end so the last sample meets silence.
double envelope(const Tone& tone, double t) {
  double attack = std::min(1.0, t / 0.004);
  double release = std::min(1.0, (tone.length - t) / 0.005);
  return attack * release * std::exp(-tone.decay * t);
}

// Adds one tone into the mix, integrating the gliding frequency into a phase.
void addTone(std::vector<double>& mix, const Tone& tone) {
  size_t first = size_t(tone.start * kRate);
  size_t count = size_t(tone.length * kRate);
  double phase = 0;
  for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
    double t = double(i) / kRate;
    double freq = tone.freqFrom + (tone.freqTo - tone.freqFrom) * t / tone.length;
    phase += 2 * kPi * freq / kRate;
    double wave = 0;
    for (int h = 0; h < 3; ++h) wave += tone.harmonics[h] * std::sin((h + 1) * phase);
    mix[first + i] += envelope(tone, t) * wave;
  }
}

// Mixes the tones into an effect of the given length, scaled to the common peak.
std::vector<int16_t> render(const std::vector<Tone>& tones, double seconds) {
  std::vector<double> mix(size_t(seconds * kRate), 0.0);
  for (const Tone& tone : tones) addTone(mix, tone);
  double peak = 1e-9;
  for (double s : mix) peak = std::max(peak, std::fabs(s));
  std::vector<int16_t> samples;
  samples.reserve(mix.size());
  for (double s : mix) samples.push_back(int16_t(std::lround(s / peak * kPeak * 32767)));
  return samples;
}

void writeEffect(const std::string& dataDir, const char* name, const std::vector<Tone>& tones, double seconds) {
  std::string path = dataDir + "/sfx/" + name;
  if (!write_wav(path, render(tones, seconds), 1, kRate)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

}  // namespace

void generate_sounds(const std::string& dataDir) {
  std::filesystem::create_directories(dataDir + "/sfx");
  // A rising bloop.
  writeEffect(dataDir, "001.wav", {{0.0, 0.18, 300, 900, {1.0, 0.25, 0.1}, 12}}, 0.18);
  // A bright three-note chime, C6 E6 G6.
  writeEffect(dataDir, "095.wav",
              {{0.00, 0.30, 1046.5, 1046.5, {1.0, 0.2, 0.05}, 8},
               {0.08, 0.30, 1318.5, 1318.5, {1.0, 0.2, 0.05}, 8},
               {0.16, 0.30, 1568.0, 1568.0, {1.0, 0.2, 0.05}, 8}},
              0.46);
  // The interface click: a short falling tick.
  writeEffect(dataDir, "098.wav", {{0.0, 0.045, 1800, 1200, {1.0, 0.3, 0.0}, 90}}, 0.045);
  // The toggle and count-change sound: two quick notes a fourth apart.
  writeEffect(dataDir, "099.wav",
              {{0.00, 0.07, 880.0, 880.0, {1.0, 0.0, 0.2}, 25}, {0.06, 0.09, 1174.7, 1174.7, {1.0, 0.0, 0.2}, 25}},
              0.15);
}
