// The language's random and math modules: a handful of integer and float
// operations that game code calls inside its per-frame loops, so they are
// inline here.
#pragma once

#include <cstdint>

// State of the random-number generator, shared with every module that replays
// a sequence by assigning it directly. Starts at 1234 (vo_framework_Init).
extern int vo_random_Seed;

// Advances the seed one linear-congruential step modulo 2^32 and returns its
// top 24 bits scaled into [0, 1). The step is done on unsigned values so the
// wrap-around is defined behaviour.
inline float vo_random_Rnd() {
  uint32_t next = static_cast<uint32_t>(vo_random_Seed) * 1664525u + 1013904223u;
  vo_random_Seed = static_cast<int>(next);
  return static_cast<float>(next >> 8) * 5.9604645e-08f;
}

// A number in [low, high); still advances the seed when low == high.
inline float vo_random_Rnd2(float low, float high) { return low + (high - low) * vo_random_Rnd(); }

// A number in [0, range).
inline float vo_random_Rnd3(float range) { return vo_random_Rnd() * range; }

// Absolute value; the most negative int wraps to itself, computed without
// signed overflow.
inline int vo_math_Abs(int x) { return x >= 0 ? x : static_cast<int>(0u - static_cast<uint32_t>(x)); }

inline float vo_math_Abs2(float x) { return x >= 0 ? x : -x; }

// The larger value; on a tie (and for a float NaN) the second argument.
inline int vo_math_Max(int a, int b) { return a > b ? a : b; }

inline float vo_math_Max2(float a, float b) { return a > b ? a : b; }
