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
