// The one calendar of the project: the proleptic Gregorian calendar on days and seconds since
// 1970-01-01 00:00:00, for the scenario language's `time`, the replay's virtual clock, the
// recorder, and the panel emulator's own clock.
#pragma once

#include <cstdint>

#include "base/platform.h"

namespace lumora {

// The days of a month (1 to 12) of a year.
unsigned DaysInMonth(int64_t year, unsigned month);
// Days since 1970-01-01 of a date, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day);
// Seconds since 1970-01-01 00:00:00 of a local time, and back.
int64_t EpochSecondsOf(const LocalTime& time);
LocalTime LocalTimeOf(int64_t epochSeconds);

}  // namespace lumora
