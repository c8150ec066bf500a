// The system's monotonic clock, for the POSIX programs: the time the emulated panel's own clock,
// the Linux host's timers and waits and the benchmarks run on. It never jumps when the wall clock
// is set. (The Windows agent takes its time through the Platform only.)
#pragma once

#include <time.h>

#include <cstdint>

namespace lumora {

// Nanoseconds since an arbitrary fixed point.
inline int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Milliseconds since the same point.
inline int64_t MonotonicMs() {
  return MonotonicNs() / 1000000;
}

}  // namespace lumora
