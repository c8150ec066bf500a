// The time of day as the agent writes it on line 3: 12-hour form, " h:mm:ss AM" with the hour
// right-aligned in two places ("  9:07:30 PM", " 12:00:00 AM" at midnight). Every face that
// shows a clock on the panel's glass shows it in this one form.
#pragma once

#include <cstddef>

#include "base/platform.h"

namespace lumora {

inline constexpr size_t kClockTimeTextMax = 32;

// Writes the text into out (size bytes at most, terminated) and returns its length.
size_t FormatClockTime(const LocalTime& time, char* out, size_t size);

}  // namespace lumora
