// Clocks shared by the benchmark programs.
#pragma once

#include <ctime>

// Wall-clock time in nanoseconds, comparable across processes (start-up is
// measured from a time stamp the launching script takes).
inline double RealtimeNs() {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Seconds on the monotonic clock, for frame timing.
inline double MonotonicS() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
