// lumora_trace_check EXPECT TRACE: checks a trace recorded by the stand-in display library
// under the real agent against a hand-written expectation. The real agent runs on the real
// clock, so its clock texts cannot be written out; they are recognised by their shape, and the
// clock refreshes of the one-second timer, whose number depends on how fast the test ran, may
// stand wherever the expectation allows them.
//
// EXPECT holds one line per call in the readable notation of `lumora-replay --decode` (open,
// option 3, clear, icons .., text2 0 "..", pclock stop, close ...), and these patterns:
//   <time>           the time of day on line 3: text3 0 " h:mm:ss AM" (12 characters)
//   <date>           the date on line 2 in one of the three date orders: "JAN 05 2006",
//                    " 5 JAN 2006" or "2006/01/05 "
//   <pclock start>   the panel clock handed a real date and time, in any date order
//   ticks date       any number of clock refreshes with the date: <date> then <time>
//   ticks time       any number of clock refreshes without the date: <time>
// Lines starting with # and blank lines are comments.
// Exit status 0 when the trace matches, 1 (with both listings) when not, 2 on a usage error.
//
// lumora_trace_check --same LIVE REPLAYED: checks that a recording replayed gave the live
// trace: every open, msgbox, cmd and close line the same, the clock packets of the same kinds in
// the same places (their digits may differ where a wait crossed a second boundary differently).
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "panel/panel_tables.h"
#include "panel/trace_line.h"

namespace {

bool ReadLines(const char* path, std::vector<std::string>& lines) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line))
    lines.push_back(line);
  return true;
}

bool IsMonthName(std::string_view text) {
  for (const char* name : lumora::kMonthNames) {
    if (text == name) return true;
  }
  return false;
}

// The text of a line-2 or line-3 packet with scroll 0, or nothing.
bool TextOf(const lumora::Packet& packet, uint8_t line, std::string& text) {
  if (packet[lumora::kPacketCommand] != line || packet[lumora::kPacketArg1] != 0) return false;
  const std::string decoded = lumora::DecodePacket(packet.data());
  const std::string prefix = "text" + std::to_string(line) + " 0 \"";
  if (decoded.rfind(prefix, 0) != 0) return false;
  text = decoded.substr(prefix.size(), decoded.size() - prefix.size() - 1);
  return true;
}

bool IsTimeText(const std::string& text) {
  static const std::regex kTime(R"( ( [1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (AM|PM))");
  return std::regex_match(text, kTime);
}

bool IsDateText(const std::string& text) {
  static const std::regex kMonthFirst(R"(([A-Z]{3}) (0[1-9]|[12][0-9]|3[01]) [0-9]{4})");
  static const std::regex kDayFirst(R"(( [1-9]|[12][0-9]|3[01]) ([A-Z]{3}) [0-9]{4})");
  static const std::regex kYearFirst(R"([0-9]{4}/(0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01]) )");
  std::smatch match;
  if (std::regex_match(text, match, kMonthFirst)) return IsMonthName(match[1].str());
  if (std::regex_match(text, match, kDayFirst)) return IsMonthName(match[2].str());
  return std::regex_match(text, kYearFirst);
}

bool IsPanelClockStart(const lumora::Packet& p) {
  if (p[0] != 0 || p[1] != 0 || p[2] != lumora::kCmdPanelClock ||
      p[3] != lumora::kPanelClockStart) {
    return false;
  }
  if (p[4] < 1 || p[4] > 3) return false;                                // date order
  if (p[5] > 23 || p[6] > 59 || p[7] > 59) return false;                 // hour, minute, second
  if (p[8] < 19 || p[8] > 99 || p[9] > 99) return false;                 // year / 100, year % 100
  if (p[10] < 1 || p[10] > 12 || p[11] < 1 || p[11] > 31) return false;  // month, day
  for (size_t i = 12; i < lumora::kPacketSize; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// One recorded line as the expectation names it: a clock pattern, or its readable form.
std::string Classify(const std::string& line) {
  lumora::Packet packet{};
  if (!lumora::ParseCmdLine(line, packet)) return line;
  std::string text;
  if (TextOf(packet, lumora::kCmdLine3, text) && IsTimeText(text)) return "<time>";
  if (TextOf(packet, lumora::kCmdLine2, text) && IsDateText(text)) return "<date>";
  if (IsPanelClockStart(packet)) return "<pclock start>";
  return lumora::DecodePacket(packet.data());
}

std::string EscapeRegex(const std::string& text) {
  static const std::string kSpecial = R"(\^$.|?*+()[]{})";
  std::string escaped;
  for (const char c : text) {
    if (kSpecial.find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

int SameTrace(const char* livePath, const char* replayedPath) {
  std::vector<std::string> live;
  std::vector<std::string> replayed;
  if (!ReadLines(livePath, live) || !ReadLines(replayedPath, replayed)) {
    std::fprintf(stderr, "lumora_trace_check: cannot read %s or %s\n", livePath, replayedPath);
    return 2;
  }
  const size_t common = std::min(live.size(), replayed.size());
  for (size_t i = 0; i < common; ++i) {
    if (Classify(live[i]) != Classify(replayed[i])) {
      std::cout << "line " << i + 1 << " differs:\n  live:     " << lumora::DecodeTraceLine(live[i])
                << "\n  replayed: " << lumora::DecodeTraceLine(replayed[i]) << "\n";
      return 1;
    }
  }
  if (live.size() != replayed.size()) {
    std::cout << "the live trace has " << live.size() << " lines, the replayed one "
              << replayed.size() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "--same") return SameTrace(argv[2], argv[3]);
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: lumora_trace_check EXPECT TRACE\n"
                 "       lumora_trace_check --same LIVE REPLAYED\n");
    return 2;
  }
  std::vector<std::string> expect;
  std::vector<std::string> trace;
  if (!ReadLines(argv[1], expect) || !ReadLines(argv[2], trace)) {
    std::fprintf(stderr, "lumora_trace_check: cannot read %s or %s\n", argv[1], argv[2]);
    return 2;
  }

  std::string pattern;
  for (const std::string& line : expect) {
    if (line.empty() || line[0] == '#') continue;
    if (line == "ticks date") {
      pattern += "(?:<date>\n<time>\n)*";
    } else if (line == "ticks time") {
      pattern += "(?:<time>\n)*";
    } else {
      pattern += EscapeRegex(line) + "\n";
    }
  }
  std::string actual;
  for (const std::string& line : trace)
    actual += Classify(line) + "\n";

  if (std::regex_match(actual, std::regex(pattern))) return 0;
  std::cout << "The trace " << argv[2] << " does not match " << argv[1] << ".\n"
            << "--- expected ---\n";
  for (const std::string& line : expect) {
    if (!line.empty() && line[0] != '#') std::cout << line << "\n";
  }
  std::cout << "--- recorded (clock texts as <time>, <date>, <pclock start>) ---\n" << actual;
  return 1;
}
