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

// Milliseconds from now until a deadline on this clock given in microseconds (as a bus library
// gives its timeouts), rounded up, at most capMs; 0 once it has passed.
inline int MillisecondsUntilUs(uint64_t deadlineUs, int capMs) {
  const auto nowUs = static_cast<uint64_t>(MonotonicNs() / 1000);
  if (deadlineUs <= nowUs) return 0;
  const uint64_t ms = (deadlineUs - nowUs + 999u) / 1000u;
  return ms > static_cast<uint64_t>(capMs) ? capMs : static_cast<int>(ms);
}

}  // namespace lumora
