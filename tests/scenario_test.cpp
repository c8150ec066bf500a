// The scenario format of lumora-replay: what it accepts and the first malformed line it names.
#include <gtest/gtest.h>

#include <string>

#include "scenario/scenario.h"

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
