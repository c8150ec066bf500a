#include "scenario/scenario.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "base/event_catalogue.h"
#include "base/hex.h"
#include "base/text_encoding.h"
#include "base/text_quote.h"
#include "scenario/event_names.h"

namespace lumora::scenario {

namespace {

constexpr size_t kEventTextMax = 33;
constexpr uint64_t kTickMax = 1000000;
// The virtual time a whole scenario may advance with its ticks, in seconds (about 116 days): far
// beyond any recording, and it keeps a small hostile file from printing without end.
constexpr uint64_t kTotalTickMax = 10000000;
// The largest WM_COPYDATA: its size is a 32-bit count.
constexpr uint64_t kCopyDataSizeMax = 0xFFFFFFFF;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// A locale language identifier as `lang` takes it: 1 to 4 hexadecimal digits.
bool IsLanguageId(std::string_view text) {
  bool hex = !text.empty() && text.size() <= 4;
  for (const char c : text)
    hex = hex && HexDigitValue(c) >= 0;
  return hex;
}

// A piece of an event's text as written: characters as they stand, or one byte written \xHH.
struct TextPiece {
  bool escaped = false;
  std::string bytes;
};

// The bytes of an event's text, the one rule of every reader of scenarios (lumora-replay,
// `lumora send --file`, `lumora demo`, lumora-send.exe): the characters as they stand are UTF-8,
// as typed on a command line, and become the panel's Windows-1252, like the senders' arguments;
// a text whose characters are not UTF-8 is taken as the Windows-1252 bytes it holds, as a file
// written in that set means them. A \xHH escape is always the byte HH. False with a reason for
// a UTF-8 character that Windows-1252 cannot hold.
bool TextBytes(const std::vector<TextPiece>& pieces, std::string& bytes, std::string& reason) {
  bool utf8 = true;
  for (const TextPiece& piece : pieces)
    utf8 = utf8 && (piece.escaped || IsUtf8(piece.bytes));
  bytes.clear();
  std::string converted;
  for (const TextPiece& piece : pieces) {
    if (piece.escaped || !utf8) {
      bytes += piece.bytes;
      continue;
    }
    if (!Utf8ToWindows1252(piece.bytes, converted, reason)) {
      reason += "; write \\xHH for a byte as it is";
      return false;
    }
    bytes += converted;
  }
  return true;
}

// Reads the words of one line; the text of an event may be a quoted string with blanks.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : line_(line) {}

  bool AtEnd() {
    SkipBlanks();
    return pos_ == line_.size();
  }

  std::string_view Word() {
    SkipBlanks();
    const size_t start = pos_;
    while (pos_ < line_.size() && !IsBlank(line_[pos_]))
      ++pos_;
    return line_.substr(start, pos_ - start);
  }

  // The next word, left to be read.
  std::string_view Peek() {
    const size_t start = pos_;
    const std::string_view word = Word();
    pos_ = start;
    return word;
  }

  bool NextIsQuote() {
    SkipBlanks();
    return pos_ < line_.size() && line_[pos_] == '"';
  }

  // A double-quoted string with \" \\ and \xHH, as its pieces; false with a reason when it is
  // malformed.
  bool Quoted(std::vector<TextPiece>& pieces, std::string& reason) {
    ++pos_;  // the opening quote
    auto literal = [&pieces]() -> std::string& {
      if (pieces.empty() || pieces.back().escaped) pieces.push_back({false, {}});
      return pieces.back().bytes;
    };
    while (pos_ < line_.size()) {
      const char c = line_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        literal() += c;
        continue;
      }
      if (pos_ >= line_.size()) break;
      const char e = line_[pos_++];
      if (e == '"' || e == '\\') {
        literal() += e;
      } else if (e == 'x' && pos_ + 2 <= line_.size() && HexDigitValue(line_[pos_]) >= 0 &&
                 HexDigitValue(line_[pos_ + 1]) >= 0) {
        pieces.push_back({true, std::string(1, static_cast<char>(HexDigitValue(line_[pos_]) * 16 +
                                                                 HexDigitValue(line_[pos_ + 1])))});
        pos_ += 2;
      } else {
        reason = "bad escape in quoted text (use \\\", \\\\ or \\xHH)";
        return false;
      }
    }
    reason = "quoted text has no closing quote";
    return false;
  }

 private:
  void SkipBlanks() {
    while (pos_ < line_.size() && IsBlank(line_[pos_]))
      ++pos_;
  }

  std::string_view line_;
  size_t pos_ = 0;
};

bool ParseFixedDigits(std::string_view word, unsigned& value) {
  value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return !word.empty();
}

bool ParseTime(std::string_view date, std::string_view time, int64_t& epochSeconds) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
  if (time.size() != 8 || time[2] != ':' || time[5] != ':') return false;
  if (!ParseFixedDigits(date.substr(0, 4), year) || !ParseFixedDigits(date.substr(5, 2), month) ||
      !ParseFixedDigits(date.substr(8, 2), day) || !ParseFixedDigits(time.substr(0, 2), hour) ||
      !ParseFixedDigits(time.substr(3, 2), minute) ||
      !ParseFixedDigits(time.substr(6, 2), second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  epochSeconds = DaysFromCivil(year, month, day) * 86400 + int64_t{hour} * 3600 +
                 int64_t{minute} * 60 + second;
  return true;
}

// The directives' own syntax, line by line; ScenarioParser keeps what lies between the lines.
class Parser {
 public:
  static bool Read(std::string_view name, LineReader& reader, Directive& d, std::string& reason) {
    if (name == "time") {
      d.kind = DirectiveKind::Time;
      const std::string_view date = reader.Word();
      const std::string_view time = reader.Word();
      if (!ParseTime(date, time, d.epochSeconds)) {
        reason = "time wants a valid YYYY-MM-DD HH:MM:SS";
        return false;
      }
      return true;
    }
    if (name == "lang") {
      const std::string_view word = reader.Word();
      if (word == "none") {
        d.kind = DirectiveKind::LangNone;
        return true;
      }
      d.kind = DirectiveKind::Lang;
      if (word == "text") {
        d.text = reader.Word();
        if (d.text.empty()) {
          reason = "lang text wants a word";
          return false;
        }
        return true;
      }
      if (!IsLanguageId(word)) {
        reason = "lang wants 1 to 4 hexadecimal digits, none, or text WORD";
        return false;
      }
      d.text = word;
      return true;
    }
    if (name == "device") {
      d.kind = DirectiveKind::DeviceNone;
      if (reader.Word() != "none") {
        reason = "device wants none [ERR]";
        return false;
      }
      if (!reader.AtEnd() && !ParseDecimal(reader.Word(), d.error)) {
        reason = "device none wants a decimal error code";
        return false;
      }
      return true;
    }
    if (name == "event") return Event(reader, d, reason);
    if (name == "copydata") {
      d.kind = DirectiveKind::CopyData;
      if (!ParseDecimal(reader.Word(), d.number)) {
        reason = "copydata wants a decimal dwData";
        return false;
      }
      const std::string_view hex = reader.Word();
      if (hex.empty() || (hex != "-" && hex.size() % 2 != 0)) {
        reason = "copydata wants an even number of hexadecimal digits, or -";
        return false;
      }
      for (size_t i = 0; hex != "-" && i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
          reason = "copydata data is not hexadecimal";
          return false;
        }
        d.bytes += static_cast<char>(high * 16 + low);
      }
      // `of SIZE`: the sender gave SIZE bytes, of which the line keeps the first.
      if (reader.AtEnd() || reader.Peek() != "of") return true;
      reader.Word();
      if (!ParseDecimal(reader.Word(), d.sentSize) || d.sentSize <= d.bytes.size() ||
          d.sentSize > kCopyDataSizeMax) {
        reason = "copydata of wants a size larger than the bytes given, at most 4294967295";
        return false;
      }
      return true;
    }
    if (name == "power" || name == "endsession" || name == "timer") {
      d.kind = name == "power"        ? DirectiveKind::Power
               : name == "endsession" ? DirectiveKind::EndSession
                                      : DirectiveKind::Timer;
      if (!ParseDecimal(reader.Word(), d.number)) {
        reason = std::string(name) + " wants a decimal number";
        return false;
      }
      return true;
    }
    if (name == "tick") {
      d.kind = DirectiveKind::Tick;
      d.number = 1;
      if (!reader.AtEnd() && (!ParseDecimal(reader.Word(), d.number) || d.number > kTickMax)) {
        reason = "tick wants a count from 0 to 1000000";
        return false;
      }
      return true;
    }
    if (name == "close") {
      d.kind = DirectiveKind::Close;
      return true;
    }
    if (name == "run") {
      d.kind = DirectiveKind::Run;
      return true;
    }
    reason = "unknown directive '" + std::string(name) + "'";
    return false;
  }

 private:
  static bool Event(LineReader& reader, Directive& d, std::string& reason) {
    d.kind = DirectiveKind::Event;
    if (!ParseDecimal(reader.Word(), d.sessionId)) {
      reason = "event wants a decimal session identifier (a 32-bit signed number)";
      return false;
    }
    const std::string_view code = reader.Word();
    if (!ParseDecimal(code, d.code)) {
      const EventInfo* info = FindEventByName(code);
      if (info == nullptr) {
        // The names are exact here; a hint names the closest ones.
        reason = "event code '" + std::string(code) + "' is neither 0 to 65535 nor an event name" +
                 DidYouMean(code);
        return false;
      }
      d.code = ToCode(info->code);
    }
    if (reader.AtEnd()) return true;
    std::vector<TextPiece> pieces;
    if (reader.NextIsQuote()) {
      if (!reader.Quoted(pieces, reason)) return false;
    } else {
      pieces.push_back({false, std::string(reader.Word())});
    }
    if (!TextBytes(pieces, d.bytes, reason)) return false;
    if (d.bytes.size() > kEventTextMax) {
      reason = "event text longer than 33 bytes";
      return false;
    }
    return true;
  }
};

// The milliseconds of a "# wait N" comment (N seconds, a decimal number from 0 to 600); -1 for
// any other line. A wait that does not read as one is an ordinary comment.
int64_t WaitOf(std::string_view line) {
  if (!line.starts_with("#") || line.starts_with("#>")) return -1;
  line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.front()))
    line.remove_prefix(1);
  if (!line.starts_with("wait") || line.size() < 5 || !IsBlank(line[4])) return -1;
  line.remove_prefix(5);
  while (!line.empty() && IsBlank(line.front()))
    line.remove_prefix(1);
  int64_t ms = 0;
  return ParseSeconds(line, 600, ms) ? ms : -1;
}

}  // namespace

bool ParseSeconds(std::string_view word, int64_t maxSeconds, int64_t& ms) {
  const size_t point = word.find('.');
  const std::string_view whole = word.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : word.substr(point + 1);
  const auto digits = [](std::string_view text) {
    for (const char c : text) {
      if (c < '0' || c > '9') return false;
    }
    return true;
  };
  if (whole.empty() || whole.size() > 6 || !digits(whole) || !digits(fraction) ||
      (point != std::string_view::npos && fraction.empty())) {
    return false;
  }
  int64_t value = 0;
  for (const char c : whole)
    value = value * 10 + (c - '0');
  value *= 1000;
  int64_t scale = 100;
  for (size_t i = 0; i < fraction.size() && i < 3; ++i, scale /= 10)
    value += (fraction[i] - '0') * scale;
  if (fraction.size() > 3 && fraction[3] >= '5') ++value;  // rounded to the millisecond
  if (value > maxSeconds * 1000) return false;
  ms = value;
  return true;
}

bool ScenarioParser::Line(std::string_view line, Directive& d, bool& isDirective,
                          ParseError& error) {
  ++number_;
  isDirective = false;
  LineReader reader(line);
  if (reader.AtEnd()) return true;
  const std::string_view name = reader.Word();
  std::string_view source = line;
  while (!source.empty() && IsBlank(source.front()))
    source.remove_prefix(1);
  while (!source.empty() && IsBlank(source.back()))
    source.remove_suffix(1);
  if (name.front() == '#') {
    if (const int64_t wait = WaitOf(source); wait >= 0) {
      waitMs_ += wait;
    } else if (keepCaptions_ && source.starts_with("#>")) {
      source.remove_prefix(2);
      while (!source.empty() && IsBlank(source.front()))
        source.remove_prefix(1);
      captions_.emplace_back(source);
    }
    return true;
  }
  std::string reason;
  if (closed_ && name != "run") {
    error = {number_, "directive after close"};
    return false;
  }
  d = Directive{};
  d.line = number_;
  if (!Parser::Read(name, reader, d, reason)) {
    error = {number_, reason};
    return false;
  }
  if (!reader.AtEnd()) {
    error = {number_, "unexpected '" + std::string(reader.Word()) + "' after the directive"};
    return false;
  }
  if (d.kind == DirectiveKind::DeviceNone && messageSeen_) {
    error = {number_, "device none must come before the first message directive"};
    return false;
  }
  if (d.kind == DirectiveKind::Tick) {
    ticks_ += d.number;
    if (ticks_ > kTotalTickMax) {
      error = {number_, "the ticks advance the time past 10000000 seconds in all"};
      return false;
    }
  }
  if (!d.IsSetUp()) messageSeen_ = d.kind != DirectiveKind::Run;
  if (d.kind == DirectiveKind::Close) closed_ = true;
  if (d.kind == DirectiveKind::Run) closed_ = false;
  d.source = source;
  d.captions = std::move(captions_);
  captions_.clear();
  d.waitMs = waitMs_;
  waitMs_ = 0;
  isDirective = true;
  return true;
}

bool ParseScenario(std::string_view text, Scenario& scenario, ParseError& error) {
  ScenarioParser parser;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    Directive d;
    bool isDirective = false;
    if (!parser.Line(text.substr(start, end - start), d, isDirective, error)) return false;
    if (isDirective) scenario.directives.push_back(std::move(d));
    start = end + 1;
  }
  return true;
}

namespace {

std::string HexOf(std::string_view bytes) {
  if (bytes.empty()) return "-";
  std::string hex;
  for (const char c : bytes) {
    hex += kHexDigits[static_cast<uint8_t>(c) >> 4];
    hex += kHexDigits[static_cast<uint8_t>(c) & 0xF];
  }
  return hex;
}

}  // namespace

std::string FormatDirective(const Directive& d) {
  switch (d.kind) {
    case DirectiveKind::Time:
      return "time " + FormatDateTime(LocalTimeOf(d.epochSeconds));
    case DirectiveKind::Lang:
      return IsLanguageId(d.text) ? "lang " + d.text : "lang text " + d.text;
    case DirectiveKind::LangNone:
      return "lang none";
    case DirectiveKind::DeviceNone:
      return "device none " + std::to_string(d.error);
    case DirectiveKind::Event: {
      const EventInfo* info = FindEvent(d.code);
      std::string line = "event " + std::to_string(d.sessionId) + " " +
                         (info != nullptr ? std::string(info->name) : std::to_string(d.code));
      if (!d.bytes.empty()) line += " " + QuoteText(d.bytes);
      return line;
    }
    case DirectiveKind::CopyData:
      return "copydata " + std::to_string(d.number) + " " + HexOf(d.bytes) +
             (d.sentSize > d.bytes.size() ? " of " + std::to_string(d.sentSize) : "");
    case DirectiveKind::Power:
      return "power " + std::to_string(d.number);
    case DirectiveKind::EndSession:
      return "endsession " + std::to_string(d.number);
    case DirectiveKind::Tick:
      return d.number == 1 ? "tick" : "tick " + std::to_string(d.number);
    case DirectiveKind::Timer:
      return "timer " + std::to_string(d.number);
    case DirectiveKind::Close:
      return "close";
    case DirectiveKind::Run:
      return "run";
  }
  return "";
}

std::string FormatDateTime(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second});
  return text;
}

}  // namespace lumora::scenario
