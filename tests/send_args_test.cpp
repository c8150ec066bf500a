// The senders' command line (lumora_sendargs): arguments to scenario directives, the text
// of an event passed byte for byte, and the arguments and scenario lines a sender refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_catalogue.h"
#include "scenario/live_play.h"
#include "sendargs/send_args.h"

namespace lumora::send {
namespace {

using scenario::Directive;
using scenario::DirectiveKind;

using scenario::LivePlay;
using scenario::LiveStep;

// The messages among the steps, in order.
std::vector<Directive> Messages(const std::vector<LiveStep>& steps) {
  std::vector<Directive> messages;
  for (const LiveStep& step : steps) {
    if (step.kind == LiveStep::Kind::Message) messages.push_back(step.message);
  }
  return messages;
}

Directive ParseOne(const std::vector<std::string_view>& args) {
  SendRequest request;
  std::string error;
  EXPECT_TRUE(ParseSendArgs(args, request, error)) << error;
  EXPECT_FALSE(request.help);
  EXPECT_EQ(request.steps.size(), 1u);
  const std::vector<Directive> messages = Messages(request.steps);
  return messages.size() == 1 ? messages[0] : Directive{};
}

TEST(SendArgsTest, EventByNameWithTextTakenAsItStands) {
  // Quotes, backslashes and blanks reach the record as typed; the UTF-8 "é" as its
  // Windows-1252 byte.
  const Directive d = ParseOne({"7", "MediaName", "The \"Big\" C:\\Show\t\xC3\xA9"});
  EXPECT_EQ(d.kind, DirectiveKind::Event);
  EXPECT_EQ(d.sessionId, 7);
  EXPECT_EQ(d.code, 66);
  EXPECT_EQ(d.bytes, "The \"Big\" C:\\Show\t\xE9");
}

TEST(SendArgsTest, EventByNumberWithNegativeSessionAndNoText) {
  const Directive d = ParseOne({"-3", "36"});
  EXPECT_EQ(d.kind, DirectiveKind::Event);
  EXPECT_EQ(d.sessionId, -3);
  EXPECT_EQ(d.code, 36);
  EXPECT_EQ(d.bytes, "");
}

TEST(SendArgsTest, PowerEndSessionAndClose) {
  const Directive power = ParseOne({"--power", "4"});
  EXPECT_EQ(power.kind, DirectiveKind::Power);
  EXPECT_EQ(power.number, 4u);
  const Directive end = ParseOne({"--endsession", "1"});
  EXPECT_EQ(end.kind, DirectiveKind::EndSession);
  EXPECT_EQ(end.number, 1u);
  EXPECT_EQ(ParseOne({"--close"}).kind, DirectiveKind::Close);
}

TEST(SendArgsTest, HelpWins) {
  SendRequest request;
  std::string error;
  ASSERT_TRUE(ParseSendArgs({"7", "--help"}, request, error));
  EXPECT_TRUE(request.help);
  EXPECT_TRUE(request.steps.empty());
}

TEST(SendArgsTest, RefusesMalformedArguments) {
  const std::vector<std::vector<std::string_view>> cases{
      {},                                                        // nothing to send
      {"7"},                                                     // no event code
      {"7", "Bogus"},                                            // no such event name
      {"7", "65536"},                                            // code out of range
      {"x", "Play"},                                             // session not a number
      {"7 8", "Play"},                                           // would split into two words
      {"7", "Play", "a", "b"},                                   // one text at most
      {"7", "MediaName", "123456789012345678901234567890123x"},  // 34 bytes
      {"--power"},
      {"--power", "x"},
      {"--power", "4 5"},
      {"--endsession", "1", "2"},
      {"--close", "now"},
      {"--file"},
      {"--frobnicate"},
  };
  for (const auto& args : cases) {
    SendRequest request;
    std::string error;
    EXPECT_FALSE(ParseSendArgs(args, request, error))
        << "accepted: " << (args.empty() ? "(nothing)" : std::string(args[0]));
    EXPECT_FALSE(error.empty());
  }
}

TEST(SendArgsTest, ScenarioOfSendableLinesInOrder) {
  LivePlay play;
  std::string error;
  ASSERT_TRUE(
      scenario::PlanLivePlay("# a sender's scenario\n"
                             "event 1 NavHome\n"
                             "\n"
                             "event 7 ItemNumber \"12 3\"\n"
                             "copydata 2 0102\n"
                             "power 4\n"
                             "endsession 1\n"
                             "close\n",
                             scenario::LivePlayer::Sender, play, error))
      << error;
  const std::vector<Directive> directives = Messages(play.steps);
  ASSERT_EQ(directives.size(), 6u);
  EXPECT_EQ(play.steps.size(), 6u);
  EXPECT_TRUE(play.skipped.empty());
  EXPECT_EQ(directives[0].code, 3);
  EXPECT_EQ(directives[1].bytes, "12 3");
  EXPECT_EQ(directives[2].kind, DirectiveKind::CopyData);
  EXPECT_EQ(directives[2].bytes, std::string("\x01\x02"));
  EXPECT_EQ(directives[3].kind, DirectiveKind::Power);
  EXPECT_EQ(directives[4].kind, DirectiveKind::EndSession);
  EXPECT_EQ(directives[5].kind, DirectiveKind::Close);
}

// A live player reads the whole language: what lets time pass becomes a wait, what a running
// agent cannot take is left out and said once per kind. The demo also reads its captions and
// pauses and starts its agent again at a run. Steps are written M (a message), W and its
// seconds, C (a caption), R (the agent started again).
TEST(SendArgsTest, ScenarioLinesOfTheReplayAreWaitsOrLeftOutOncePerKind) {
  using scenario::LivePlayer;
  struct Case {
    const char* text;
    LivePlayer player;
    const char* steps;
    std::vector<std::string> skipped;
  };
  const char* ticks = "event 1 NavHome\ntick 3\ntick\n# wait 1.5\ntick 0\nclose\n";
  const char* runs = "#> first\nevent 1 NavHome\nrun\nevent 1 NavMusic\n";
  const Case cases[] = {
      // Ticks in a row are one wait; a tick of 0 waits nothing; a pause is the demo's.
      {ticks, LivePlayer::Sender, "M W4 M", {}},
      {ticks, LivePlayer::Demo, "M W5.5 M", {}},
      // A time before the first message only sets the scenario's time; after it, a time waits
      // as long as it moves that time on: 21:00:00 plus 2 ticks is 21:00:02, so 21:00:07 waits
      // 5 seconds, and a time back waits nothing.
      {"time 2026-12-11 21:00:00\ntick 2\nevent 1 NavHome\ntime 2026-12-11 21:00:07\n"
       "event 1 NavMusic\ntime 2026-12-11 20:00:00\nevent 1 NavHome\n",
       LivePlayer::Sender,
       "W2 M W5 M M",
       {"3 time lines set no clock: the running agent keeps its own; each waited as long as it "
        "moves the time on, at most 600 seconds"}},
      // A time an hour on waits at most 600 seconds.
      {"event 1 NavHome\ntime 2006-01-05 22:07:30\nclose\n",
       LivePlayer::Sender,
       "M W600 M",
       {"1 time line set no clock: the running agent keeps its own; each waited as long as it "
        "moves the time on, at most 600 seconds"}},
      // The default time is the replay's: 21:07:30, 2 ticks on, then 21:07:40 waits 8 seconds
      // more, one wait of 10 with the ticks'.
      {"event 1 NavHome\ntick 2\ntime 2006-01-05 21:07:40\n",
       LivePlayer::Sender,
       "M W10",
       {"1 time line set no clock: the running agent keeps its own; each waited as long as it "
        "moves the time on, at most 600 seconds"}},
      {"lang 0407\ndevice none 5\nevent 1 NavHome\ntimer 1\nlang none\nlang text 04g9\n"
       "timer 2\n",
       LivePlayer::Demo,
       "M",
       {"3 lang lines left out: the running agent asks its own machine for its locale",
        "1 device line left out: the running agent has its panel open",
        "2 timer lines left out: the running agent's timer is its own"}},
      // A run: left out by a sender, the agent started again by the demo.
      {runs,
       LivePlayer::Sender,
       "M M",
       {"1 run line left out: the running agent is not started again, the runs go to it one "
        "after the other"}},
      {runs, LivePlayer::Demo, "C M R M", {}},
      // A malformed pause is only a comment to a sender.
      {"event 1 NavHome\n# wait 601\n", LivePlayer::Sender, "M", {}},
  };
  for (const Case& c : cases) {
    LivePlay play;
    std::string error;
    ASSERT_TRUE(scenario::PlanLivePlay(c.text, c.player, play, error)) << c.text << error;
    std::string steps;
    for (const LiveStep& step : play.steps) {
      if (!steps.empty()) steps += ' ';
      switch (step.kind) {
        case LiveStep::Kind::Message:
          steps += 'M';
          break;
        case LiveStep::Kind::Wait: {
          char seconds[32];
          std::snprintf(seconds, sizeof seconds, "W%g", step.seconds);
          steps += seconds;
          break;
        }
        case LiveStep::Kind::Caption:
          steps += 'C';
          break;
        case LiveStep::Kind::Restart:
          steps += 'R';
          break;
      }
    }
    EXPECT_EQ(steps, c.steps) << c.text;
    EXPECT_EQ(play.skipped, c.skipped) << c.text;
  }

  // What is malformed for the replay, or a malformed pause of the demo, is refused with its
  // line.
  for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
           {"event 1 NavHome\nevent 1 Nope\n", "line 2: event code 'Nope'"},
           {"event 1 NavHome\n# wait 601\n", "line 2: wait wants seconds from 0 to 600"},
       }) {
    LivePlay play;
    std::string error;
    EXPECT_FALSE(scenario::PlanLivePlay(text, LivePlayer::Demo, play, error)) << text;
    EXPECT_EQ(error.rfind(reason, 0), 0u) << error;
    EXPECT_TRUE(play.steps.empty());
  }
}

// Options stand anywhere before "--"; after it every word is the event's, a text that starts
// with -- included. An unknown option where the event's words stand is named as such.
TEST(SendArgsTest, OptionsAnywhereBeforeTheEnd) {
  struct Case {
    std::vector<std::string_view> args;
    const char* bytes;  // the event's text; null: refused
    const char* error = "";
  };
  const Case cases[] = {
      {{"7", "MusicTitle", "Rock", "--strict"}, "Rock"},
      {{"7", "--strict", "MusicTitle", "Rock"}, "Rock"},
      {{"--", "7", "MusicTitle", "--rock--"}, "--rock--"},
      {{"--strict", "--", "-7", "MusicTitle", "--strict"}, "--strict"},
      {{"7", "PlayTime", "1:23", "--strict"},
       nullptr,
       "PlayTime wants elapsed play time as six digits HHMMSS (such as 000042), not \"1:23\" "
       "(refused: --strict)"},
      {{"7", "MusicTitle", "--rock--"},
       nullptr,
       "unknown option --rock-- (an event's text that starts with -- goes after --)"},
      {{"7", "Play", "--sokcet", "x"},
       nullptr,
       "unknown option --sokcet (an event's text that starts with -- goes after --)"},
      {{"--", "--close"}, nullptr, "an event wants a session identifier and an event code"},
      {{"--close", "--strict"}, nullptr, "--strict applies to events, not to --close"},
  };
  for (const Case& c : cases) {
    SendRequest request;
    std::string error;
    const bool parsed = ParseSendArgs(c.args, request, error);
    if (c.bytes == nullptr) {
      EXPECT_FALSE(parsed) << c.error;
      EXPECT_EQ(error, c.error);
      continue;
    }
    ASSERT_TRUE(parsed) << error;
    const std::vector<Directive> messages = Messages(request.steps);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].bytes, c.bytes);
  }
}

TEST(SendArgsTest, EventNamesInAnyCase) {
  EXPECT_EQ(ParseOne({"1", "navhome"}).code, 3);
  EXPECT_EQ(ParseOne({"1", "NAVHOME"}).code, 3);
  EXPECT_EQ(ParseOne({"1", "playTIME", "000042"}).code, 69);
  // The scenario line carries the catalogue's own spelling.
  EXPECT_EQ(ParseOne({"1", "liveTvStarted"}).source, "event 1 LiveTvStarted");
}

TEST(SendArgsTest, UnknownNameNamesTheClosest) {
  const std::vector<std::pair<std::string_view, std::string>> cases{
      {"NavHme", "unknown event 'NavHme' (did you mean NavHome?); --list shows every event"},
      {"plya", "unknown event 'plya' (did you mean Play?); --list shows every event"},
      {"LiveTv",
       "unknown event 'LiveTv' (did you mean NavLiveTv or LiveTvStarted?); "
       "--list shows every event"},
      {"Xyzzy", "unknown event 'Xyzzy'; --list shows every event"},
  };
  for (const auto& [name, message] : cases) {
    SendRequest request;
    std::string error;
    EXPECT_FALSE(ParseSendArgs({"1", name}, request, error)) << name;
    EXPECT_EQ(error, message);
  }
}

// A payload unlike its event's format is sent as typed with a warning; --strict refuses it.
TEST(SendArgsTest, PayloadFormatWarnsOrWithStrictRefuses) {
  struct Case {
    std::vector<std::string_view> event;
    std::string warning;  // empty: the payload fits
  };
  const std::vector<Case> cases{
      {{"7", "PlayTime", "000042"}, ""},
      {{"7", "PlayTime", "1:23"},
       "PlayTime wants elapsed play time as six digits HHMMSS (such as 000042), not \"1:23\""},
      {{"7", "PlayTime", "0000420"},
       "PlayTime wants elapsed play time as six digits HHMMSS (such as 000042), not \"0000420\""},
      {{"7", "ItemNumber", "12"}, ""},
      {{"7", "ItemNumber", "12a"},
       "ItemNumber wants channel, track or chapter number, decimal (such as 7), not \"12a\""},
      {{"7", "Level", "-1"},
       "Level wants volume level, decimal 0 to 255 (such as 200), not \"-1\""},
      {{"7", "RadioFrequency", "88500000"}, ""},
      {{"7", "RadioFrequency", "102300000"}, ""},
      {{"7", "RadioFrequency", "8850000"},
       "RadioFrequency wants radio frequency in Hz, eight or nine digits (such as 88500000), "
       "not \"8850000\""},
      {{"7", "NavHome", "x"}, "NavHome takes no payload, not \"x\""},
      {{"7", "MusicTitle", "Caf\xC3\xA9"}, ""},
      {{"7", "MusicTitle", std::string_view("123456789012345678901234567890123")},
       "MusicTitle wants music title, at most 32 characters, not 33 bytes"},
      // A code outside the catalogue has no format to check.
      {{"7", "999", "anything"}, ""},
  };
  for (const Case& c : cases) {
    SendRequest request;
    std::string error;
    ASSERT_TRUE(ParseSendArgs(c.event, request, error)) << error;
    ASSERT_EQ(Messages(request.steps).size(), 1u);
    if (c.warning.empty()) {
      EXPECT_TRUE(request.warnings.empty()) << request.warnings[0];
      continue;
    }
    ASSERT_EQ(request.warnings.size(), 1u) << c.warning;
    EXPECT_EQ(request.warnings[0],
              "warning: " + c.warning + "; sent as typed (--strict refuses it)");

    std::vector<std::string_view> strict{"--strict"};
    strict.insert(strict.end(), c.event.begin(), c.event.end());
    EXPECT_FALSE(ParseSendArgs(strict, request, error));
    EXPECT_EQ(error, c.warning + " (refused: --strict)");
    EXPECT_TRUE(request.steps.empty());
  }
}

TEST(SendArgsTest, ScenarioFilePayloadsAreCheckedWithTheirLine) {
  const std::string path = ::testing::TempDir() + "send_args_payloads.scn";
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("event 7 LiveTvStarted\nevent 7 PlayTime 1:23\n", file);
    std::fclose(file);
  }
  SendRequest request;
  std::string error;
  ASSERT_TRUE(ParseSendArgs({"--file", path}, request, error)) << error;
  EXPECT_EQ(Messages(request.steps).size(), 2u);
  ASSERT_EQ(request.warnings.size(), 1u);
  EXPECT_NE(request.warnings[0].find(path + ": line 2: PlayTime wants"), std::string::npos)
      << request.warnings[0];
  EXPECT_FALSE(ParseSendArgs({"--strict", "--file", path}, request, error));
  EXPECT_EQ(error.rfind(path + ": line 2: PlayTime wants", 0), 0u) << error;
  std::remove(path.c_str());
}

// The text is typed in UTF-8 and sent in Windows-1252, the panel's character set.
TEST(SendArgsTest, TextConvertedToWindows1252) {
  const std::vector<std::pair<std::string_view, std::string>> cases{
      {"Caf\xC3\xA9", "Caf\xE9"},
      {"\xE2\x82\xAC 5", "\x80 5"},                  // the euro sign, where Latin-1 has a control
      {"\xE2\x80\x9CHi\xE2\x80\x9D", "\x93Hi\x94"},  // curly quotes
      {"\xC5\xB8", "\x9F"},                          // Ÿ, the last of the block
      {"\xC3\xBF", "\xFF"},                          // ÿ
      {"a\\x81b",
       "a\x81"
       "b"},  // \xHH: any byte, undefined ones too
      {"\\x00\\xfF", std::string("\x00\xFF", 2)},
      {"C:\\Show \\x4", "C:\\Show \\x4"},  // other backslashes are themselves
      {"\\x5cx41", "\\x41"},
  };
  for (const auto& [typed, bytes] : cases) {
    EXPECT_EQ(ParseOne({"1", "MediaName", typed}).bytes, bytes) << typed;
  }
}

TEST(SendArgsTest, TextOutsideWindows1252IsRefusedByName) {
  const std::vector<std::pair<std::string_view, std::string>> cases{
      {"\xC5\x82\xC3\xB3"
       "d\xC5\xBA",
       "'\xC5\x82' (U+0142) is not in Windows-1252, the panel's character set; use \\xHH to "
       "send a byte as it is"},
      {"\xF0\x9F\x8E\xB5", "'\xF0\x9F\x8E\xB5' (U+1F3B5) is not in Windows-1252"},
      {"\xC2\x81", "'\xC2\x81' (U+0081) is not in Windows-1252"},  // 0x81 is undefined
      {"Ren\xE9", "the byte 0xE9 is not UTF-8"},
      {"\xC3", "the byte 0xC3 is not UTF-8"},          // cut short
      {"\xC0\xAF", "the byte 0xC0 is not UTF-8"},      // overlong
      {"\xED\xA0\x80", "the byte 0xED is not UTF-8"},  // a surrogate
  };
  for (const auto& [typed, reason] : cases) {
    SendRequest request;
    std::string error;
    EXPECT_FALSE(ParseSendArgs({"1", "MediaName", typed}, request, error)) << typed;
    EXPECT_EQ(error.rfind(reason, 0), 0u) << error;
  }
}

TEST(SendArgsTest, PowerByNameOrNumber) {
  const std::vector<std::pair<std::string_view, uint64_t>> cases{
      {"suspend", 4},
      {"resume", 7},
      {"resume-automatic", 18},
      {"resume-critical", 6},
      {"enter-quiet", 21},
      {"leave-quiet", 22},
      {"10", 10},
  };
  for (const auto& [word, code] : cases) {
    const Directive d = ParseOne({"--power", word});
    EXPECT_EQ(d.kind, DirectiveKind::Power);
    EXPECT_EQ(d.number, code) << word;
  }
  SendRequest request;
  std::string error;
  EXPECT_FALSE(ParseSendArgs({"--power", "Suspend"}, request, error));
  EXPECT_EQ(error.rfind("'Suspend' is not a power event; --power wants", 0), 0u) << error;
}

TEST(SendArgsTest, ListAndVersionStandAlone) {
  SendRequest request;
  std::string error;
  ASSERT_TRUE(ParseSendArgs({"--list"}, request, error));
  EXPECT_TRUE(request.list);
  EXPECT_TRUE(request.steps.empty());
  ASSERT_TRUE(ParseSendArgs({"--version"}, request, error));
  EXPECT_TRUE(request.version);
  EXPECT_FALSE(ParseSendArgs({"--list", "7"}, request, error));
  EXPECT_EQ(error, "--list stands alone");
  EXPECT_FALSE(ParseSendArgs({"--strict"}, request, error));
  EXPECT_FALSE(ParseSendArgs({"--strict", "--close"}, request, error));
}

// --help alone tells every event name and its payload format.
TEST(SendArgsTest, UsageNamesEveryEventAndFormat) {
  const std::string usage = SendUsage({"lumora send", "[--socket PATH] ", "Sends.\n", ""});
  for (const EventInfo& info : kEvents) {
    EXPECT_NE(usage.find(" " + std::string(info.name)), std::string::npos) << info.name;
    if (info.payload != PayloadKind::None) {
      EXPECT_NE(usage.find(std::string(info.name) + " "), std::string::npos) << info.name;
      EXPECT_NE(usage.find(info.format), std::string::npos) << info.format;
    }
  }
  for (const std::string_view option :
       {"--strict", "--power", "--endsession", "--close", "--file", "--list", "--version",
        "suspend", "resume-automatic", "leave-quiet", "[--socket PATH] [--strict] SID CODE"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(SendArgsTest, UnreadableScenarioFile) {
  SendRequest request;
  std::string error;
  EXPECT_FALSE(ParseSendArgs({"--file", "/nonexistent/lumora.scn"}, request, error));
  EXPECT_NE(error.find("/nonexistent/lumora.scn"), std::string::npos);
}

}  // namespace
}  // namespace lumora::send
