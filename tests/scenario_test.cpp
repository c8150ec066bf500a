// The scenario format of lumora-replay: what it accepts and the first malformed line it names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scenario/scenario.h"
#include "scenario/scenario_input.h"

namespace lumora::scenario {
namespace {

TEST(Scenario, CaptionsBelongToTheDirectiveAfterThem) {
  const char* text =
      "#> The PC is idle\n"
      "# wait 4\n"
      "  #>   Media Center starts  \r\n"
      "#>second caption\n"
      "\n"
      "event 1 SessionOpened\n"
      "event 1 NavHome\n"
      "#not a caption\n"
      "# > nor this\n"
      "#>\n"
      "tick\n"
      "#> after the last directive: nobody's\n";
  Scenario scenario;
  ParseError error;
  ASSERT_TRUE(ParseScenario(text, scenario, error)) << error.line << ": " << error.reason;
  const auto& d = scenario.directives;
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].captions,
            (std::vector<std::string>{"The PC is idle", "Media Center starts", "second caption"}));
  EXPECT_EQ(d[0].source, "event 1 SessionOpened");
  EXPECT_TRUE(d[1].captions.empty());
  EXPECT_EQ(d[2].captions, std::vector<std::string>{""});
}

TEST(Scenario, PausesBelongToTheDirectiveAfterThem) {
  const struct {
    const char* comments;  // the comment lines before "tick"
    int64_t waitMs;
  } cases[] = {
      {"# wait 4\n", 4000},
      {"#wait 0.5\n", 500},
      {"  #   wait\t2.25  \r\n", 2250},
      {"# wait 0\n", 0},
      {"# wait 600\n", 600000},
      {"# wait 1\n#> a caption between\n# wait 0.5\n", 1500},
      // Ordinary comments: not a number, out of bounds, another word, a caption.
      {"# wait\n# wait x\n# wait -1\n# wait 601\n# wait 2s\n# waiting 3\n#> wait 3\n", 0},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("event 1 NavHome\n") + c.comments + "tick\n";
    Scenario scenario;
    ParseError error;
    ASSERT_TRUE(ParseScenario(text, scenario, error)) << c.comments;
    ASSERT_EQ(scenario.directives.size(), 2u) << c.comments;
    EXPECT_EQ(scenario.directives[0].waitMs, 0) << c.comments;
    EXPECT_EQ(scenario.directives[1].waitMs, c.waitMs) << c.comments;
  }
}

TEST(Scenario, ReadsEveryDirective) {
  const char* text =
      "  # a comment\n"
      "\n"
      "time 2024-02-29 23:59:59\r\n"
      "lang 407\n"
      "lang text 04g9\n"
      "lang none\n"
      "device none 5\n"
      "event -3 LiveTvStarted\n"
      "event 7 65 \"CH \\\"7\\\" \\\\ \\x41\"\n"
      "event 7 66 VCD-Disc\n"
      "copydata 2 -\n"
      "copydata 1 0a0B\n"
      "\tpower 21 \n"
      "endsession 1\n"
      "tick\n"
      "tick 3\n"
      "timer 2\n"
      "close\n"
      "# comments after close are fine\n";
  Scenario scenario;
  ParseError error;
  ASSERT_TRUE(ParseScenario(text, scenario, error)) << error.line << ": " << error.reason;
  const auto& d = scenario.directives;
  ASSERT_EQ(d.size(), 16u);
  EXPECT_EQ(d[0].kind, DirectiveKind::Time);
  EXPECT_EQ(d[0].epochSeconds, DaysFromCivil(2024, 2, 29) * 86400 + 86399);
  EXPECT_EQ(d[0].line, 3u);
  EXPECT_EQ(d[1].text, "407");
  EXPECT_EQ(d[2].text, "04g9");
  EXPECT_EQ(d[3].kind, DirectiveKind::LangNone);
  EXPECT_EQ(d[4].error, 5);
  EXPECT_EQ(d[5].sessionId, -3);
  EXPECT_EQ(d[5].code, 8);
  EXPECT_EQ(d[5].bytes, "");
  EXPECT_EQ(d[6].bytes, "CH \"7\" \\ A");
  EXPECT_EQ(d[7].bytes, "VCD-Disc");
  EXPECT_EQ(d[8].bytes, "");
  EXPECT_EQ(d[9].bytes, std::string("\x0a\x0b"));
  EXPECT_EQ(d[10].number, 21u);
  EXPECT_EQ(d[10].source, "power 21");
  EXPECT_EQ(d[12].number, 1u);
  EXPECT_EQ(d[13].number, 3u);
  EXPECT_EQ(d[15].kind, DirectiveKind::Close);
}

TEST(Scenario, NamesTheFirstMalformedLine) {
  struct Case {
    const char* text;
    size_t line;
  };
  const Case cases[] = {
      {"event 1 2\nbogus\nalso bogus\n", 2},
      {"Event 1 2\n", 1},  // directive names are lower case
      {"event 1\n", 1},    // no code
      {"event 1 NoSuchEvent\n", 1},
      {"event 1 65536\n", 1},
      {"event 2147483648 1\n", 1},  // session identifier beyond 32 bits
      {"event 1 65 abc def\n", 1},  // two words of text
      {"event 1 65 \"unclosed\n", 1},
      {"event 1 65 \"bad \\q escape\"\n", 1},
      {"event 1 65 0123456789012345678901234567890123\n", 1},  // 34 bytes
      {"time 2006-02-30 10:00:00\n", 1},
      {"time 2006-01-05 24:00:00\n", 1},
      {"time 2006-1-5 10:00:00\n", 1},
      {"lang 12345\n", 1},
      {"lang 0x09\n", 1},
      {"lang text\n", 1},
      {"event 1 3\ndevice none\n", 2},  // device none after a message
      {"device some\n", 1},
      {"copydata 1 abc\n", 1},
      {"copydata 1 zz\n", 1},
      {"copydata x 00\n", 1},
      {"copydata 1 0000 of 2\n", 1},  // a size no larger than the bytes given
      {"copydata 1 - of 0\n", 1},
      {"copydata 1 00 of 4294967296\n", 1},  // beyond a 32-bit size
      {"copydata 1 00 of\n", 1},
      {"copydata 1 00 off 5\n", 1},
      {"copydata 1 00 of 5 6\n", 1},
      {"power\n", 1},
      {"power -1\n", 1},
      {"tick 1000001\n", 1},
      {"timer 1 2\n", 1},
      {"close\nevent 1 3\n", 2},
      {"close\ntime 2006-01-05 10:00:00\n", 2},
      {"close now\n", 1},
  };
  for (const Case& c : cases) {
    Scenario scenario;
    ParseError error;
    EXPECT_FALSE(ParseScenario(c.text, scenario, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_FALSE(error.reason.empty()) << c.text;
  }
}

// An event's text is UTF-8 as typed, sent in the panel's Windows-1252; a text that is not UTF-8
// is taken as the Windows-1252 bytes it holds; \xHH is always the byte. The expected bytes are
// the Windows-1252 codes: C 43, a 61, f 66, e-acute E9, blank 20, euro 80.
TEST(Scenario, EventTextsAreUtf8OrWindows1252Bytes) {
  struct Case {
    const char* line;
    std::string bytes;  // empty: refused
    const char* reason = "";
  };
  const Case cases[] = {
      {"event 10 CallerText Cafe", "Cafe"},
      {"event 10 CallerText \"Caf\xC3\xA9 \xE2\x82\xAC\"", "Caf\xE9 \x80"},  // UTF-8
      {"event 10 CallerText Caf\xC3\xA9", "Caf\xE9"},                        // a word, not quoted
      {"event 10 CallerText \"Caf\xE9 \x80\"", "Caf\xE9 \x80"},  // Windows-1252 as written
      // Escapes stay bytes and do not decide for the characters around them.
      {"event 10 CallerText \"\\xC3\\xA9 \xC3\xA9\"", "\xC3\xA9 \xE9"},
      {"event 10 CallerText \"\xE9\\x80\"", "\xE9\x80"},
      // 33 bytes once converted, 66 as written: it fits.
      {"event 10 CallerText \"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3"
       "\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3"
       "\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3"
       "\xA9\xC3\xA9\xC3\xA9\"",
       std::string(33, '\xE9')},
      {"event 10 CallerText \"\xC5\x82\"", "",
       "'\xC5\x82' (U+0142) is not in Windows-1252, the panel's character set; write \\xHH for a "
       "byte as it is"},
      {"event 10 CallerText \xF0\x9F\x8E\xB5", "", "'\xF0\x9F\x8E\xB5' (U+1F3B5) is not in"},
  };
  for (const Case& c : cases) {
    Scenario scenario;
    ParseError error;
    const bool parsed =
        ParseScenario(std::string("# a comment \xE9 of any bytes\n") + c.line, scenario, error);
    if (c.bytes.empty()) {
      EXPECT_FALSE(parsed) << c.line;
      EXPECT_EQ(error.line, 2u) << c.line;
      EXPECT_EQ(error.reason.rfind(c.reason, 0), 0u) << error.reason;
      continue;
    }
    ASSERT_TRUE(parsed) << c.line << ": " << error.reason;
    ASSERT_EQ(scenario.directives.size(), 1u);
    EXPECT_EQ(scenario.directives[0].bytes, c.bytes) << c.line;
    // Written back, the text reads as the same bytes.
    Scenario again;
    ASSERT_TRUE(ParseScenario(FormatDirective(scenario.directives[0]), again, error)) << c.line;
    EXPECT_EQ(again.directives[0].bytes, c.bytes) << c.line;
  }
}

// A recording read line by line: every line, wherever the reading's 64 KiB chunks cut it, the
// same twice, and the second reading no longer than the first even when the file has grown in
// between (an agent still appending to it).
TEST(ScenarioLines, GivesEveryLineTwiceAndNothingAppendedInBetween) {
  const std::string full(4095, '#');  // a line of 4096 bytes with its line feed
  std::string cutAtTheChunk;          // 16 such lines end exactly at 65536 bytes
  for (int i = 0; i < 16; ++i)
    cutAtTheChunk += full + "\n";
  std::string acrossTheChunk = cutAtTheChunk.substr(0, 61440) + std::string(4092, '#') + "\n";
  const struct {
    std::string text;
    std::vector<std::string> tail;  // the last lines expected
    size_t count;
  } cases[] = {
      {"", {}, 0},
      {"\n", {""}, 1},
      {"a\n\n", {"a", ""}, 2},
      {"a\nb", {"a", "b"}, 2},
      {cutAtTheChunk + "tick\r\n", {full, "tick\r"}, 17},
      {acrossTheChunk + "tick\nx", {"tick", "x"}, 18},  // "tick" crosses byte 65536
  };
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("lumora-lines-" + std::to_string(getpid()));
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary) << c.text;
    ScenarioLines lines;
    InputError error;
    ASSERT_TRUE(lines.Open(path.string(), error)) << error.reason;
    for (int reading = 0; reading < 2; ++reading) {
      std::vector<std::string> got;
      std::string_view line;
      while (lines.Next(line, error))
        got.emplace_back(line);
      EXPECT_TRUE(error.reason.empty()) << error.reason;
      ASSERT_EQ(got.size(), c.count) << c.text.size() << " bytes, reading " << reading;
      EXPECT_TRUE(std::equal(c.tail.rbegin(), c.tail.rend(), got.rbegin()))
          << c.text.size() << " bytes, reading " << reading;
      if (reading == 0) {
        std::ofstream(path, std::ios::binary | std::ios::app) << "\nappended\n";
        ASSERT_TRUE(lines.Rewind(error)) << error.reason;
      }
    }
  }
  std::filesystem::remove(path);
}

TEST(Scenario, CalendarRoundTrip) {
  for (int64_t days : {-719468LL, -1LL, 0LL, 13153LL, 47482LL, 2932896LL}) {
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    EXPECT_EQ(DaysFromCivil(year, month, day), days);
  }
  EXPECT_EQ(DaysFromCivil(2006, 1, 5), 13153);
}

}  // namespace
}  // namespace lumora::scenario
