// The music player's assets: three tune sheets and the instrument samples.
//
// Instruments. Melodic samples are one-second loops built by additive
// synthesis at whole-number frequencies, so every partial (and every vibrato,
// tremolo or chorus cycle) completes an exact number of periods and the loop
// joins without a click. Rate 1.0 is the reference note: C5 for leads, C4 for
// accompaniments, C3 for basses (pitch number 13 in the sheets). Drum kits are
// one-shot hits: 1 kick, 2 snare, 3 closed hat, 4 open hat, 5 low tom, 6 high
// tom, 7 crash, 8 small percussion, in four styles (studio, chip, electro,
// brushes).
//
// Tunes. Each sheet is written from a short score in text form: drum grids
// with one character per step, and melodic lines as note tokens "A4:8" (pitch
// and length in steps) with "r:8" for rests. Every pattern of every track sits
// over the same in-pattern chord changes, so the player may combine any
// patterns of the five tracks; it moves the whole pattern by its chord shift.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "tools/assets.h"
#include "tools/wav_file.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "music: %s\n", what.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// Sample building blocks
// ---------------------------------------------------------------------------

using Wave = std::vector<double>;

// A small deterministic noise source in [-1, 1).
class Noise {
 public:
  explicit Noise(uint32_t seed) : s_(seed) {}
  double next() {
    s_ = s_ * 1664525u + 1013904223u;
    return (s_ >> 8) * (2.0 / 16777216.0) - 1.0;
  }

 private:
  uint32_t s_;
};

// A biquad filter (the usual audio-cookbook forms), run over a whole wave.
struct Biquad {
  double b0, b1, b2, a1, a2;

  static Biquad make(double freq, double q, int kind) {
    double w = 2 * kPi * freq / kRate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
    double b0, b1, b2;
    if (kind == 0) {  // low-pass
      b0 = (1 - c) / 2, b1 = 1 - c, b2 = (1 - c) / 2;
    } else if (kind == 1) {  // high-pass
      b0 = (1 + c) / 2, b1 = -(1 + c), b2 = (1 + c) / 2;
    } else {  // band-pass, 0 dB peak
      b0 = alpha, b1 = 0, b2 = -alpha;
    }
    double a0 = 1 + alpha;
    return {b0 / a0, b1 / a0, b2 / a0, -2 * c / a0, (1 - alpha) / a0};
  }
  Wave run(const Wave& in) const {
    Wave out(in.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < in.size(); ++i) {
      double y = b0 * in[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1, x1 = in[i], y2 = y1, y1 = y;
      out[i] = y;
    }
    return out;
  }
};

Wave lowpass(const Wave& w, double f) { return Biquad::make(f, 0.707, 0).run(w); }
Wave highpass(const Wave& w, double f) { return Biquad::make(f, 0.707, 1).run(w); }
Wave bandpass(const Wave& w, double f, double q) { return Biquad::make(f, q, 2).run(w); }

// Scales a wave so its loudest sample is `peak` and writes it as 16-bit PCM.
void save(const std::string& path, const Wave& w, double peak) {
  double top = 1e-9;
  for (double x : w) top = std::fmax(top, std::fabs(x));
  std::vector<int16_t> pcm(w.size());
  for (size_t i = 0; i < w.size(); ++i) pcm[i] = static_cast<int16_t>(std::lround(w[i] / top * peak * 32767));
  if (!write_wav(path, pcm, 1, kRate)) fail("cannot write " + path);
}

// ---------------------------------------------------------------------------
// Melodic loops
// ---------------------------------------------------------------------------

// The timbre of a looped instrument tone: harmonic k has amplitude amp(k)
// before the low-pass roll-off; copies add chorus at whole-hertz offsets;
// vibrato and tremolo use whole-hertz rates so they also fit the one-second
// loop.
struct Timbre {
  double refHz;                     // the note that rate 1.0 plays
  std::function<double(int)> amp;   // harmonic amplitudes
  double cutoffHz;                  // gentle roll-off above this
  double limitHz;                   // no partial above this (no aliasing when pitched up)
  std::vector<int> chorusHz = {0};  // offsets of detuned copies
  double vibratoDepth = 0;          // fraction of the frequency
  int vibratoHz = 5;
  double tremoloDepth = 0;
  int tremoloHz = 6;
  double breath = 0;  // band-passed noise added
};

Wave loopedTone(const Timbre& tone) {
  const int n = kRate;  // one second: every whole-hertz cycle closes exactly
  Wave w(n, 0.0);
  int base = static_cast<int>(std::lround(tone.refHz));
  for (int offset : tone.chorusHz) {
    double f = base + offset;
    for (int k = 1; k * f * (1 + tone.vibratoDepth) < tone.limitHz; ++k) {
      double roll = 1.0 / (1.0 + std::pow(k * f / tone.cutoffHz, 2));
      double a = tone.amp(k) * roll;
      if (a == 0) continue;
      double beta = tone.vibratoDepth > 0 ? k * f * tone.vibratoDepth / tone.vibratoHz : 0;
      for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / kRate;
        w[i] += a * std::sin(2 * kPi * k * f * t + beta * std::sin(2 * kPi * tone.vibratoHz * t));
      }
    }
  }
  if (tone.breath > 0) {
    Noise noise(77);
    Wave air(n);
    for (double& x : air) x = noise.next();
    air = bandpass(air, tone.refHz * 3, 0.8);
    for (int i = 0; i < n; ++i) w[i] += tone.breath * air[i];
  }
  for (int i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / kRate;
    w[i] *= 1.0 - tone.tremoloDepth * (0.5 + 0.5 * std::sin(2 * kPi * tone.tremoloHz * t));
  }
  return w;
}

double oddOnly(int k, double a) { return k % 2 == 1 ? a : 0.0; }
double saw(int k) { return 1.0 / k; }
double square(int k) { return oddOnly(k, 1.0 / k); }
double triangle(int k) { return oddOnly(k, ((k / 2) % 2 == 0 ? 1.0 : -1.0) / (k * k)); }
std::function<double(int)> pulse(double width) {
  return [width](int k) { return std::sin(kPi * k * width) / k; };
}

void writeMelodic(const std::string& inst) {
  const double c5 = 523.25, c4 = 261.63, c3 = 130.81;

  Timbre lead1{c5, [](int k) { return k == 1 ? 1.0 : k == 2 ? 0.22 : k == 3 ? 0.1 : k == 4 ? 0.04 : 0.0; }, 8000, 9000};
  lead1.vibratoDepth = 0.004;
  lead1.breath = 0.04;
  Timbre lead2{c5, square, 2600, 7000};
  lead2.vibratoDepth = 0.003;
  lead2.vibratoHz = 6;
  Timbre lead3{c5, saw, 3200, 7000, {0, 2}};
  lead3.vibratoDepth = 0.003;

  Timbre acc1{c4,
              [](int k) {
                return k == 1 ? 1.0 : k == 2 ? 0.6 : k == 3 ? 0.4 : k == 4 ? 0.3 : k == 6 ? 0.2 : k == 8 ? 0.15 : 0.0;
              },
              6000, 8000};
  acc1.tremoloDepth = 0.12;
  Timbre acc2{c4, pulse(0.25), 2000, 8000, {0, 1}};
  Timbre acc3{c4, saw, 1800, 8000, {-1, 0, 1}};

  Timbre bass1{c3, triangle, 4000, 5000};
  Timbre bass2{c3, [](int k) { return k == 1 ? 1.0 : k == 2 ? 0.3 : k == 3 ? 0.12 : 0.0; }, 4000, 5000};
  Timbre bass3{c3, saw, 650, 5000};
  Timbre bass4{c3, square, 900, 5000, {0, 1}};

  save(inst + "lead1.wav", loopedTone(lead1), 0.7);
  save(inst + "lead2.wav", loopedTone(lead2), 0.7);
  save(inst + "lead3.wav", loopedTone(lead3), 0.7);
  save(inst + "accompany1.wav", loopedTone(acc1), 0.7);
  save(inst + "accompany2.wav", loopedTone(acc2), 0.7);
  save(inst + "accompany3.wav", loopedTone(acc3), 0.7);
  save(inst + "bass1.wav", loopedTone(bass1), 0.8);
  save(inst + "bass2.wav", loopedTone(bass2), 0.8);
  save(inst + "bass3.wav", loopedTone(bass3), 0.8);
  save(inst + "bass4.wav", loopedTone(bass4), 0.8);
}

// ---------------------------------------------------------------------------
// Drum hits
// ---------------------------------------------------------------------------

Wave silence(double seconds) { return Wave(static_cast<size_t>(seconds * kRate), 0.0); }

// A sine (or, with `squareness` 1, a square) whose frequency glides
// exponentially from f0 to f1 while its level decays with time constant tau.
Wave glide(double seconds, double f0, double f1, double glideTau, double tau, double squareness = 0) {
  Wave w = silence(seconds);
  double phase = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    double f = f1 + (f0 - f1) * std::exp(-t / glideTau);
    phase += 2 * kPi * f / kRate;
    double s = std::sin(phase);
    double sq = s >= 0 ? 1.0 : -1.0;
    w[i] = ((1 - squareness) * s + squareness * sq) * std::exp(-t / tau);
  }
  return w;
}

// White noise decaying with time constant tau; `hold` > 1 repeats each value
// that many samples, the grainy noise of old sound chips.
Wave noiseBurst(double seconds, double tau, uint32_t seed, int hold = 1) {
  Wave w = silence(seconds);
  Noise noise(seed);
  double value = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    if (i % hold == 0) value = noise.next();
    w[i] = value * std::exp(-static_cast<double>(i) / kRate / tau);
  }
  return w;
}

// Six detuned square waves: the metallic body of electronic hats and cymbals.
Wave metal(double seconds, double tau, double scale) {
  const double freqs[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  Wave w = silence(seconds);
  for (size_t i = 0; i < w.size(); ++i) {
    double t = static_cast<double>(i) / kRate, s = 0;
    for (double f : freqs) s += std::sin(2 * kPi * f * scale * t) >= 0 ? 1.0 : -1.0;
    w[i] = s / 6 * std::exp(-t / tau);
  }
  return w;
}

// Sums waves with gains into one as long as the longest.
Wave mix(std::initializer_list<std::pair<double, Wave>> parts) {
  size_t n = 0;
  for (const auto& p : parts) n = std::max(n, p.second.size());
  Wave w(n, 0.0);
  for (const auto& p : parts) {
    for (size_t i = 0; i < p.second.size(); ++i) w[i] += p.first * p.second[i];
  }
  return w;
}

// Softens the first milliseconds (no click unless the hit wants one) and
// fades the last ones so the sample ends at silence.
Wave shaped(Wave w, double attackMs) {
  size_t attack = static_cast<size_t>(attackMs * kRate / 1000), fade = kRate / 200;
  for (size_t i = 0; i < w.size(); ++i) {
    double a = attack > 0 && i < attack ? static_cast<double>(i) / attack : 1.0;
    double r = i + fade > w.size() ? static_cast<double>(w.size() - i) / fade : 1.0;
    w[i] *= a * r;
  }
  return w;
}

// The eight hits of one kit, in drum order 1..8.
std::vector<Wave> kit(int style) {
  switch (style) {
    case 1:  // studio: round kick, bright snare, airy hats
      return {
          mix({{1.0, glide(0.45, 140, 48, 0.03, 0.16)}, {0.3, lowpass(noiseBurst(0.01, 0.003, 1), 3000)}}),
          mix({{0.6, glide(0.3, 200, 175, 0.02, 0.05)}, {0.9, bandpass(noiseBurst(0.3, 0.08, 2), 3000, 0.6)}}),
          highpass(noiseBurst(0.12, 0.022, 3), 7000),
          highpass(noiseBurst(0.6, 0.16, 4), 6500),
          mix({{1.0, glide(0.6, 140, 95, 0.08, 0.22)}, {0.15, lowpass(noiseBurst(0.05, 0.01, 5), 2000)}}),
          mix({{1.0, glide(0.5, 210, 150, 0.06, 0.18)}, {0.15, lowpass(noiseBurst(0.05, 0.01, 6), 2500)}}),
          mix({{1.0, highpass(noiseBurst(1.6, 0.5, 7), 4000)}, {0.4, highpass(metal(1.6, 0.6, 1.7), 3000)}}),
          mix({{1.0, glide(0.08, 1700, 1600, 0.01, 0.012)}, {0.4, bandpass(noiseBurst(0.05, 0.008, 8), 2500, 1)}}),
      };
    case 2:  // chip: square-wave sweeps and grainy noise
      return {
          glide(0.25, 200, 40, 0.02, 0.08, 1.0),
          mix({{0.5, glide(0.2, 240, 180, 0.03, 0.04, 1.0)}, {1.0, noiseBurst(0.2, 0.06, 9, 3)}}),
          noiseBurst(0.08, 0.018, 10, 1),
          noiseBurst(0.4, 0.12, 11, 1),
          glide(0.35, 180, 90, 0.06, 0.12, 0.6),
          glide(0.3, 300, 160, 0.05, 0.1, 0.6),
          noiseBurst(1.2, 0.35, 12, 4),
          glide(0.1, 900, 1800, 0.02, 0.03, 1.0),
      };
    case 3:  // electro: long sine kick, clap, metallic hats, cowbell
    {
      Wave clap = silence(0.35);
      for (int burst = 0; burst < 3; ++burst) {
        Wave b = noiseBurst(0.35 - burst * 0.011, burst == 2 ? 0.09 : 0.006, 20 + burst);
        size_t at = static_cast<size_t>(burst * 0.011 * kRate);
        for (size_t i = 0; i < b.size() && at + i < clap.size(); ++i) clap[at + i] += b[i];
      }
      Wave bell = mix({{1.0, glide(0.4, 540, 540, 1, 0.1, 1.0)}, {0.8, glide(0.4, 800, 800, 1, 0.1, 1.0)}});
      return {
          glide(0.9, 95, 45, 0.05, 0.35),
          bandpass(clap, 1200, 0.8),
          highpass(metal(0.12, 0.025, 1.0), 7000),
          highpass(metal(0.6, 0.18, 1.0), 6500),
          glide(0.5, 170, 150, 0.1, 0.15),
          glide(0.4, 290, 260, 0.1, 0.11),
          mix({{1.0, highpass(metal(1.5, 0.5, 1.0), 4000)}, {0.6, highpass(noiseBurst(1.5, 0.4, 23), 5000)}}),
          bandpass(bell, 700, 1.2),
      };
    }
    default:  // brushes: soft, low-passed, slow attacks
      return {
          lowpass(glide(0.4, 100, 55, 0.04, 0.14), 800),
          lowpass(bandpass(noiseBurst(0.35, 0.12, 30), 2500, 0.5), 5000),
          bandpass(noiseBurst(0.1, 0.03, 31), 8000, 0.8),
          bandpass(noiseBurst(0.5, 0.15, 32), 7000, 0.7),
          lowpass(glide(0.5, 110, 90, 0.1, 0.2), 1500),
          lowpass(glide(0.4, 170, 140, 0.1, 0.15), 1800),
          mix({{0.7, bandpass(metal(1.4, 0.7, 2.3), 5000, 0.5)}, {0.4, highpass(noiseBurst(1.4, 0.5, 33), 6000)}}),
          bandpass(noiseBurst(0.12, 0.04, 34), 5000, 1.2),
      };
  }
}

void writeDrums(const std::string& inst) {
  // Peaks per drum: kicks and snares lead, hats and percussion sit lower.
  const double peak[8] = {0.9, 0.8, 0.5, 0.5, 0.8, 0.8, 0.6, 0.6};
  for (int style = 1; style <= 4; ++style) {
    std::vector<Wave> hits = kit(style);
    for (int d = 0; d < 8; ++d) {
      double attackMs = style == 4 ? 4.0 : 0.5;
      save(inst + "d" + std::to_string(style) + "-" + std::to_string(d + 1) + ".wav", shaped(hits[d], attackMs),
           peak[d]);
    }
  }
}

// ---------------------------------------------------------------------------
// Tune sheets
// ---------------------------------------------------------------------------

constexpr int kDrumA = 0, kDrumB = 1, kLead = 2, kAccompany = 3, kBass = 4;

// The values of one tune: 64 patterns x 8 tracks x 64 steps x 8 columns.
class Sheet {
 public:
  explicit Sheet(std::string name) : name_(std::move(name)), v_(64 * 4096, 0) {}

  void set(int p, int track, int row, int column, int value) {
    if (value < 0 || value > 31) fail(name_ + ": value out of range");
    v_[p * 4096 + track * 512 + row * 8 + column] = static_cast<uint8_t>(value);
  }
  int get(int p, int track, int row, int column) const { return v_[p * 4096 + track * 512 + row * 8 + column]; }
  const std::string& name() const { return name_; }

  // Frame p sits at column p mod 8, row p div 8 of the 512 x 512 sheet; a
  // value v is stored as blue 8v + 4, the middle of the range that decodes
  // back to v, and shows as grey.
  void write(const std::string& path) const {
    std::vector<unsigned char> rgba(512 * 512 * 4, 0);
    for (int p = 0; p < 64; ++p) {
      for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
          int v = v_[p * 4096 + (x / 8) * 512 + y * 8 + x % 8];
          unsigned char level = v == 0 ? 0 : static_cast<unsigned char>(v * 8 + 4);
          unsigned char* px = &rgba[(((p / 8) * 64 + y) * 512 + (p % 8) * 64 + x) * 4];
          px[0] = px[1] = px[2] = level;
          px[3] = 255;
        }
      }
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (!stbi_write_png(path.c_str(), 512, 512, 4, rgba.data(), 512 * 4)) fail("cannot write " + path);
  }

 private:
  std::string name_;
  std::vector<uint8_t> v_;
};

// Drum grid: one character per step (spaces and '|' only group the steps).
// K/k kick loud/soft, S/s snare/ghost, h/H closed hat soft/accented, o open hat,
// L low tom, T/t high tom loud/soft, C crash, p percussion, '.' nothing.
void drums(Sheet& sheet, int p, int track, int length, const char* grid) {
  struct Hit {
    char symbol;
    int note;
    int volume;
  };
  const Hit hits[] = {{'K', 13, 27}, {'k', 13, 19}, {'S', 15, 24}, {'s', 15, 11}, {'h', 17, 11}, {'H', 17, 17},
                      {'o', 18, 14}, {'L', 20, 21}, {'T', 22, 20}, {'C', 24, 22}, {'t', 22, 12}, {'p', 25, 14}};
  int row = 0;
  for (const char* c = grid; *c; ++c) {
    if (*c == ' ' || *c == '|') continue;
    if (row >= length) fail(sheet.name() + ": drum grid too long");
    for (const Hit& h : hits) {
      if (h.symbol == *c) {
        sheet.set(p, track, row, 0, h.note);
        sheet.set(p, track, row, 1, h.volume);
      }
    }
    ++row;
  }
  if (row != length) fail(sheet.name() + ": drum grid too short");
}

// Semitones of a note name such as "A4", "F#3" or "Bb2" above C0.
int semitones(const std::string& name) {
  static const int letter[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') fail("bad note " + name);
  int s = letter[name[0] - 'A'];
  size_t i = 1;
  if (name[i] == '#')
    s += 1, ++i;
  else if (name[i] == 'b')
    s -= 1, ++i;
  return s + 12 * std::atoi(name.c_str() + i);
}

// A melodic line in note tokens "NOTE:steps" with optional marks after the
// length: '.' staccato (cut one step early), '~' vibrato, '\' fall at the end,
// '!' accent; "r:steps" is a rest. `refOctave` is the octave of the C that the
// instrument plays at rate 1.0 (pitch 13); five bits hold pitches 1 to 31
// (C an octave below the reference up to F# an octave and a half above). Held notes get a fresh volume every
// four steps, which keeps the player's envelope from fading them early.
void line(Sheet& sheet, int p, int track, int length, int refOctave, int volume, const char* text) {
  std::istringstream in(text);
  std::string token;
  int row = 0;
  while (in >> token) {
    if (token == "|") continue;
    size_t colon = token.find(':');
    if (colon == std::string::npos) fail(sheet.name() + ": bad token " + token);
    size_t marks = token.find_first_not_of("0123456789", colon + 1);
    int steps = std::atoi(token.c_str() + colon + 1);
    std::string flags = marks == std::string::npos ? "" : token.substr(marks);
    std::string pitch = token.substr(0, colon);
    if (steps < 1 || row + steps > length) fail(sheet.name() + ": line too long at " + token);
    if (pitch != "r") {
      int note = 13 + semitones(pitch) - 12 * refOctave;
      if (note < 1 || note > 31) fail(sheet.name() + ": note out of range " + token);
      int vol = flags.find('!') != std::string::npos ? std::min(30, volume + 4) : volume;
      sheet.set(p, track, row, 0, note);
      sheet.set(p, track, row, 1, vol);
      int end = row + steps;
      if (flags.find('.') != std::string::npos && steps >= 2) {
        end = row + steps - 1;
        sheet.set(p, track, end, 1, 31);
      }
      for (int r = row + 4; r + 2 <= end; r += 4) sheet.set(p, track, r, 1, std::max(1, vol - (r - row) / 8));
      if (flags.find('~') != std::string::npos) {
        // A gentle wobble: up, down, down, up, a few cents each way.
        const int shape[4] = {1, 2, 2, 1};
        for (int r = row + 3, i = 0; r < end; ++r, ++i) {
          sheet.set(p, track, r, 2, shape[i % 4]);
          sheet.set(p, track, r, 3, 2);
        }
      }
      if (flags.find('\\') != std::string::npos) {
        for (int r = std::max(row + 1, end - 3); r < end; ++r) {
          sheet.set(p, track, r, 2, 2);
          sheet.set(p, track, r, 3, 7);
        }
      }
    }
    row += steps;
  }
  if (row != length) fail(sheet.name() + ": line too short (" + std::to_string(row) + " steps)");
}

// Reference octaves of the three melodic instrument families.
constexpr int kLeadC = 5, kAccompanyC = 4, kBassC = 3;

// One tune's score: the patterns of each track, in pattern order, and the
// level of each melodic track.
struct Score {
  int length;  // steps per pattern
  std::vector<std::string> kitA, kitB, lead, accompany, bass;
  int leadVolume, accompanyVolume, bassVolume;
};

void compose(Sheet& sheet, const Score& score) {
  for (size_t p = 0; p < score.kitA.size(); ++p) drums(sheet, p, kDrumA, score.length, score.kitA[p].c_str());
  for (size_t p = 0; p < score.kitB.size(); ++p) drums(sheet, p, kDrumB, score.length, score.kitB[p].c_str());
  for (size_t p = 0; p < score.lead.size(); ++p) {
    line(sheet, p, kLead, score.length, kLeadC, score.leadVolume, score.lead[p].c_str());
  }
  for (size_t p = 0; p < score.accompany.size(); ++p) {
    line(sheet, p, kAccompany, score.length, kAccompanyC, score.accompanyVolume, score.accompany[p].c_str());
  }
  for (size_t p = 0; p < score.bass.size(); ++p) {
    line(sheet, p, kBass, score.length, kBassC, score.bassVolume, score.bass[p].c_str());
  }
}

// Hollow Road: a slow A minor ballad in half time (a beat is eight steps),
// each pattern two bars, Am then F. Plucked broken chords, a singing lead
// with vibrato and falls, a bass that walks between the roots.
void hollowRoad(const std::string& dir) {
  Sheet s("Hollow Road");
  Score score;
  score.length = 64;
  score.kitA = {
      "K....... ........ S....... ........ K....... ..K..... S....... ........",
      "K....... ....k... S....... ........ K....... ..K..... S....... ....s.s.",
      "K....... ........ S....... ........ K....... ........ S....T.. T...L.L.",
      "C....... ....k... S....... ........ K....... ..K..... S....... ........",
      "K....... ........ p....... ........ K....... ........ p....... ..p.....",
  };
  score.kitB = {
      "h...h... h...h... h...h... h...o... h...h... h...h... h...h... h...o...",
      "H.h.h.h. H.h.h.h. H.h.h.h. H.h.o... H.h.h.h. H.h.h.h. H.h.h.h. H.h.o...",
      "........ ....t... ........ ....t... ........ ....t... ........ ..t.t...",
      "o....... o....... o....... o....... o....... o....... o....... o...h.h.",
  };
  score.lead = {
      "A4:8 C5:8 E5:12 D5:4 | C5:12 D5:4 A4:16~",
      "E5:24~ G5:4 E5:4 | F5:8 E5:8 C5:16\\",
      "r:8 A5:8 G5:8 E5:8 | D5:8 C5:8 A4:16\\",
      "C6:16~ B5:8 A5:8 | A5:8 G5:4 F5:4 E5:16~",
      "r:16 E5:4 D5:4 C5:8 | A4:32~",
      "A4:4 C5:4 D5:4 E5:4 G5:8 E5:8 | F5:8 E5:4 D5:4 C5:16~",
  };
  score.accompany = {
      "A3:4 C4:4 E4:4 A4:4 E4:4 C4:4 A3:4 C4:4 | F3:4 A3:4 C4:4 F4:4 C4:4 A3:4 F3:4 A3:4",
      "A3:4 E4:4 C4:4 E4:4 A3:4 E4:4 C4:4 E4:4 | F3:4 C4:4 A3:4 C4:4 F3:4 C4:4 A3:4 C4:4",
      "E4:16 C4:16 | C4:16 A3:16",
      "A3:2 C4:2 E4:2 A4:2 E4:2 C4:2 A3:2 C4:2 A3:2 C4:2 E4:2 A4:2 E4:2 C4:2 A3:2 E4:2 | "
      "F3:2 A3:2 C4:2 F4:2 C4:2 A3:2 F3:2 A3:2 F3:2 A3:2 C4:2 F4:2 C4:2 A3:2 F3:2 C4:2",
      "r:8 E4:8 r:8 C4:8 | r:8 C4:8 r:8 A3:8",
  };
  score.bass = {
      "A2:24 E2:8 | F2:24 C3:8",
      "A2:8 r:8 A2:8 C3:8 | F2:8 r:8 F2:8 A2:8",
      "A2:12 A2:4 G2:8 E2:8 | F2:12 F2:4 G2:8 E2:8",
      "A2:8 A3:8 A2:8 E2:8 | F2:8 F3:8 F2:8 C3:8",
      "A2:32 | F2:32",
  };
  score.leadVolume = 24, score.accompanyVolume = 15, score.bassVolume = 25;
  compose(s, score);
  s.write(dir + "Hollow Road/Tune_12.png");
}

// Cavern Walk: a D minor walk in 3/4, a beat four steps, each pattern four
// bars (Dm, Bb, Gm, A) of 48 steps: the kit A track ends every pattern early
// with a pattern break. Staccato walking bass, chip arpeggios, a lead that
// drips down from the top.
void cavernWalk(const std::string& dir) {
  Sheet s("Cavern Walk");
  Score score;
  score.length = 48;
  score.kitA = {
      "K...s...s... K...s...s... K...s...s... K...S...S...",
      "K.......S... K..k....S... K.......S... K..k..S.S.S.",
      "K........... ........S... K........... ....T..T.L.L",
      "C...s...s... K...s...s... K...s...s... K...S...SSSS",
  };
  score.kitB = {
      "h.h.h.h.h.h. h.h.h.h.h.h. h.h.h.h.h.h. h.h.h.h.h.h.",
      "....T....... ......p..... ....T....... ..p...p.....",
      "o...h...h... o...h...h... o...h...h... o...h...h...",
      "H.hhH.hhH.hh H.hhH.hhH.hh H.hhH.hhH.hh H.hhH.hhH.hh",
  };
  score.lead = {
      "A5:8 G5:2 F5:2 | F5:6 E5:2 D5:4 | D5:4 E5:4 F5:4 | E5:12~",
      "D5:4 F5:4 A5:4 | Bb5:8 A5:4 | G5:6 F5:2 E5:4 | C#5:4 E5:4 A5:4",
      "r:12 | D6:4 C6:4 Bb5:4 | Bb5:6 A5:2 G5:4 | A5:12\\",
      "F5:2 E5:2 D5:8 | F5:2 E5:2 D5:8 | G5:2 F5:2 D5:8 | E5:4 C#5:4 A4:4",
      "D5:12~ | D5:12 | Bb4:12~ | C#5:12~",
  };
  score.accompany = {
      "D4:2 F4:2 A4:2 D4:2 F4:2 A4:2 | Bb3:2 D4:2 F4:2 Bb3:2 D4:2 F4:2 | "
      "G3:2 Bb3:2 D4:2 G3:2 Bb3:2 D4:2 | A3:2 C#4:2 E4:2 A3:2 C#4:2 E4:2",
      "D4:2 F4:2 A4:2 F4:2 D4:2 F4:2 | Bb3:2 D4:2 F4:2 D4:2 Bb3:2 D4:2 | "
      "G3:2 Bb3:2 D4:2 Bb3:2 G3:2 Bb3:2 | A3:2 C#4:2 E4:2 C#4:2 A3:2 C#4:2",
      "D4:1 F4:1 A4:1 D4:1 F4:1 A4:1 D4:1 F4:1 A4:1 D4:1 F4:1 A4:1 | "
      "Bb3:1 D4:1 F4:1 Bb3:1 D4:1 F4:1 Bb3:1 D4:1 F4:1 Bb3:1 D4:1 F4:1 | "
      "G3:1 Bb3:1 D4:1 G3:1 Bb3:1 D4:1 G3:1 Bb3:1 D4:1 G3:1 Bb3:1 D4:1 | "
      "A3:1 C#4:1 E4:1 A3:1 C#4:1 E4:1 A3:1 C#4:1 E4:1 A3:1 C#4:1 E4:1",
      "r:4 F4:4. A4:4. | r:4 F4:4. D4:4. | r:4 D4:4. Bb3:4. | r:4 C#4:4. E4:4.",
  };
  score.bass = {
      "D3:4. A2:4. F2:4. | Bb2:4. F2:4. D3:4. | G2:4. D3:4. Bb2:4. | A2:4. E2:4. C#3:4.",
      "D2:12 | Bb2:12 | G2:12 | A2:12",
      "D3:4. D2:4. D3:4. | Bb2:4. F2:4. Bb2:4. | G2:4. D2:4. G2:4. | A2:4. E2:4. A2:4.",
      "D2:4 E2:4 F2:4 | Bb2:4 A2:4 G2:4 | G2:4 A2:4 Bb2:4 | A2:4 C#3:4 E3:4",
  };
  score.leadVolume = 23, score.accompanyVolume = 14, score.bassVolume = 26;
  compose(s, score);
  // Pattern break on the last step: three-four bars, 48 steps a pattern.
  for (size_t p = 0; p < score.kitA.size(); ++p) s.set(p, kDrumA, score.length - 1, 2, 8);
  s.write(dir + "Retro/Cavern Walk.png");
}

// Brick Hop: a bouncy C major tune, four steps a beat, each pattern four
// bars (C, C, F, G). Octave-hopping bass, off-beat stabs and a syncopated
// lead. Lead patterns 0 and 1 share their first half; a pattern jump at the
// half swaps their second halves by the parity of the section's bar count.
void brickHop(const std::string& dir) {
  Sheet s("Brick Hop");
  Score score;
  score.length = 64;
  score.kitA = {
      "K.......S....... K.......S....... K.......S....... K.......S.......",
      "K.......S....... K.....K.S....... K.......S....... K.....K.S...S.S.",
      "K.......S....... K.......S....... K.......S....... K...T.T.L.L.S.S.",
      "C.......S....... K.......S....... K.K.....S....... K.......S.....s.",
      "K...K...S....... K...K...S....... K...K...S....... K...K...S...SSSS",
  };
  score.kitB = {
      "h.h.h.h.h.h.h.h. h.h.h.h.h.h.h.h. h.h.h.h.h.h.h.h. h.h.h.h.h.h.o...",
      "..o...o...o...o. ..o...o...o...o. ..o...o...o...o. ..o...o...o...o.",
      "p.....p...p..... p.....p...p..... p.....p...p..... p.....p...p.p.p.",
      "HhhhHhhhHhhhHhhh HhhhHhhhHhhhHhhh HhhhHhhhHhhhHhhh HhhhHhhhHhhho...",
  };
  // The two halves of patterns 0 and 1 that the jump exchanges.
  const std::string opening = "G5:2 G5:2 E5:2 G5:4 A5:2 G5:2 E5:2 | C5:4 D5:2 E5:6 r:4 | ";
  const std::string lead01[2] = {
      opening + "F5:2 F5:2 A5:2 C6:4 A5:2 F5:2 A5:2 | G5:6 F5:2 D5:4 B4:4",
      opening + "A5:2 G5:2 F5:2 A5:6 r:4 | B5:2 A5:2 G5:2 D6:6. r:4",
  };
  score.lead = {
      lead01[0],
      lead01[1],
      "C5:2 E5:2 G5:2 C6:4. r:6 | C6:2 B5:2 G5:2 E5:4. r:6 | F5:2 A5:2 C6:2 F5:4. r:6 | G5:2 B5:2 D6:2 G5:4. r:6",
      "E5:6 D5:2 C5:8 | r:4 G4:2 A4:2 C5:4 E5:4 | F5:6 E5:2 C5:4 A4:4 | B4:6 C5:2 D5:8~",
      "r:16 | r:8 G5:2 A5:2 G5:4 | F5:4. E5:4. D5:4. C5:4. | D5:12~ r:4",
  };
  score.accompany = {
      "r:2 E4:2. r:2 G4:2. r:2 E4:2. r:2 C5:2. | r:2 E4:2. r:2 G4:2. r:2 E4:2. r:2 C5:2. | "
      "r:2 F4:2. r:2 A4:2. r:2 F4:2. r:2 C5:2. | r:2 D4:2. r:2 G4:2. r:2 B4:2. r:2 G4:2.",
      "C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 | "
      "C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 C4:1 E4:1 G4:1 C5:1 | "
      "F4:1 A4:1 C5:1 F5:1 F4:1 A4:1 C5:1 F5:1 F4:1 A4:1 C5:1 F5:1 F4:1 A4:1 C5:1 F5:1 | "
      "D4:1 G4:1 B4:1 D5:1 D4:1 G4:1 B4:1 D5:1 D4:1 G4:1 B4:1 D5:1 D4:1 G4:1 B4:1 D5:1",
      "C4:2 G4:2 E4:2 G4:2 C4:2 G4:2 E4:2 G4:2 | C4:2 G4:2 E4:2 G4:2 C4:2 G4:2 E4:2 G4:2 | "
      "F4:2 C5:2 A4:2 C5:2 F4:2 C5:2 A4:2 C5:2 | G4:2 D5:2 B4:2 D5:2 G4:2 D5:2 B4:2 D5:2",
      "E4:16 | G4:16 | A4:16 | B4:16",
  };
  score.bass = {
      "C2:2. C3:2. C2:2. C3:2. C2:2. C3:2. C2:2. C3:2. | C2:2. C3:2. C2:2. C3:2. C2:2. C3:2. C2:2. C3:2. | "
      "F2:2. F3:2. F2:2. F3:2. F2:2. F3:2. F2:2. F3:2. | G2:2. G3:2. G2:2. G3:2. G2:2. G3:2. G2:2. G3:2.",
      "C3:4. G2:4. C3:4. G2:4. | C3:4. G2:4. C3:4. G2:4. | F2:4. C3:4. F2:4. C3:4. | G2:4. D3:4. G2:4. D3:4.",
      "C3:3. C3:3. C3:2. r:2 C3:2. E3:2. G3:2. | C3:3. C3:3. C3:2. r:2 C3:2. E3:2. G3:2. | "
      "F2:3. F2:3. F2:2. r:2 F2:2. A2:2. C3:2. | G2:3. G2:3. G2:2. r:2 G2:2. B2:2. D3:2.",
      "C3:4. D3:4. E3:4. G3:4. | C3:4. B2:4. A2:4. G2:4. | F2:4. G2:4. A2:4. C3:4. | G2:4. A2:4. B2:4. D3:4.",
  };
  score.leadVolume = 24, score.accompanyVolume = 14, score.bassVolume = 26;
  compose(s, score);
  // Pattern jumps at the half: 0 -> 1 while the bar count is odd, 1 -> 0 while it is even.
  s.set(0, kLead, 32, 2, 27);
  s.set(0, kLead, 32, 3, 1);
  s.set(1, kLead, 32, 2, 27);
  s.set(1, kLead, 32, 3, 2);
  s.write(dir + "Retro/Brick Hop.png");
}

}  // namespace

void generate_music(const std::string& dataDir) {
  std::string inst = dataDir + "/inst/";
  std::string tunes = dataDir + "/tunes/";
  std::filesystem::create_directories(inst);
  writeMelodic(inst);
  writeDrums(inst);
  hollowRoad(tunes);
  cavernWalk(tunes);
  brickHop(tunes);
}
