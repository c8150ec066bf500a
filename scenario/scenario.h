// Scenarios of lumora-replay: one directive a line, checked whole before the agent starts, so a
// malformed scenario prints no trace at all. A scenario is read line by line (ScenarioParser),
// so that a recording of any length is never held whole.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "base/platform.h"

namespace lumora::scenario {

// The stage before any set-up directive: the local time and the locale query's answer.
inline constexpr LocalTime kDefaultTime{2006, 1, 5, 21, 7, 30};
inline constexpr std::string_view kDefaultLanguage = "0409";

enum class DirectiveKind {
  // Set-up: take effect from the next call that reads them.
  Time,
  Lang,      // text = the answer of the locale query
  LangNone,  // the locale query fails
  DeviceNone,
  // Messages.
  Event,
  CopyData,
  Power,
  EndSession,
  Tick,
  Timer,
  Close,
  // A run boundary: the agent ends as after close, and the next message starts a new one on
  // a fresh machine (default time and locale, the device opening), as when it is started again.
  Run,
};

struct Directive {
  DirectiveKind kind = DirectiveKind::Close;
  size_t line = 0;           // 1-based line number in the scenario
  std::string source;        // the line as written, without surrounding blanks
  int64_t epochSeconds = 0;  // kTime: local time as seconds since 1970-01-01 00:00:00
  std::string text;          // kLang: the answer
  int32_t error = 0;         // kDeviceNone
  int32_t sessionId = 0;     // kEvent
  uint16_t code = 0;         // kEvent
  std::string bytes;         // kEvent: the text field's bytes; kCopyData: the data
  // kCopyData: the size of the data as the sender gave it, when the line keeps only their first
  // bytes (`copydata DWDATA HEX of SIZE`); 0 when the bytes are all of them.
  uint64_t sentSize = 0;
  uint64_t number = 0;  // kCopyData dwData, kPower/kEndSession wParam, kTick N, kTimer id
  // The captions written for the directive: the texts of the "#> TEXT" comment lines since the
  // directive before it, in order. Only the pictures show them; the run ignores them.
  std::vector<std::string> captions;
  // The pauses written before the directive ("# wait N", N seconds from 0 to 600) since the
  // directive before it, in milliseconds: how long a player that plays the scenario in real time
  // waits first. The run ignores them (a comment moves no virtual clock); the page plays by them.
  int64_t waitMs = 0;

  bool IsSetUp() const { return kind <= DirectiveKind::DeviceNone; }
};

struct Scenario {
  std::vector<Directive> directives;
};

struct ParseError {
  size_t line = 0;
  std::string reason;
};

// A decimal number as the scenario language writes it: digits with an optional minus for a
// signed type, no plus, nothing else, within the type's range.
template <typename T>
bool ParseDecimal(std::string_view word, T& value) {
  if (word.empty() || word.front() == '+') return false;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size();
}

// Seconds as a pause is written ("# wait N"): digits, optionally a point and more digits, at
// most maxSeconds; ms the milliseconds, rounded. False for anything else. (Whole-number
// arithmetic: a floating-point reader would weigh on the senders that carry this language.)
bool ParseSeconds(std::string_view word, int64_t maxSeconds, int64_t& ms);

// Reads a scenario line by line, in order, holding nothing of the lines before but what the
// checks need (whether the agent was closed, whether a message came, the ticks so far) and the
// captions waiting for their directive.
class ScenarioParser {
 public:
  // keepCaptions false: "#>" lines are comments like any other (only the pictures show them).
  explicit ScenarioParser(bool keepCaptions = true) : keepCaptions_(keepCaptions) {}

  // The next line, without its line feed. True when it is well-formed, with isDirective telling
  // whether it holds a directive (then in directive, with its captions); false on a malformed
  // line, with its number and the reason.
  bool Line(std::string_view line, Directive& directive, bool& isDirective, ParseError& error);

 private:
  bool keepCaptions_;
  size_t number_ = 0;  // the lines read so far
  bool closed_ = false;
  bool messageSeen_ = false;
  uint64_t ticks_ = 0;                 // the seconds the ticks so far advance the time by
  std::vector<std::string> captions_;  // "#>" lines waiting for their directive
  int64_t waitMs_ = 0;                 // "# wait" pauses waiting for their directive
};

// Parses a whole scenario; on the first malformed line returns false with its number and the
// reason.
bool ParseScenario(std::string_view text, Scenario& scenario, ParseError& error);

// The line that says a directive, without its line feed: what ParseScenario reads back as the
// same directive (events by their catalogue name, texts quoted, `lang text` for an answer that
// is not 1 to 4 hexadecimal digits).
std::string FormatDirective(const Directive& directive);

// The project's one calendar (base/calendar.h), as the scenario language has always named it.
using lumora::CivilFromDays;
using lumora::DaysFromCivil;
using lumora::EpochSecondsOf;
using lumora::LocalTimeOf;
// A local time as `time` writes it: "YYYY-MM-DD HH:MM:SS".
std::string FormatDateTime(const LocalTime& time);

}  // namespace lumora::scenario
