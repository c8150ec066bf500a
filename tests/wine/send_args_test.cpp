// The senders' command line (lumora_send_args): arguments to scenario directives, the text
// of an event passed byte for byte, and the arguments and scenario lines a sender refuses.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "scenario/send_args.h"

namespace lumora::send {
namespace {

using scenario::Directive;
using scenario::DirectiveKind;

Directive ParseOne(const std::vector<std::string_view>& args) {
  SendRequest request;
  std::string error;
  EXPECT_TRUE(ParseSendArgs(args, request, error)) << error;
  EXPECT_FALSE(request.help);
  EXPECT_EQ(request.directives.size(), 1u);
  return request.directives.empty() ? Directive{} : request.directives[0];
}

TEST(SendArgsTest, EventByNameWithTextTakenAsItStands) {
  const std::string text = "The \"Big\" C:\\Show\t\xE9";
  const Directive d = ParseOne({"7", "MediaName", text});
  EXPECT_EQ(d.kind, DirectiveKind::Event);
  EXPECT_EQ(d.sessionId, 7);
  EXPECT_EQ(d.code, 66);
  EXPECT_EQ(d.bytes, text);
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
  EXPECT_TRUE(request.directives.empty());
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
  std::vector<Directive> directives;
  std::string error;
  ASSERT_TRUE(
      ParseSendScenario("# a sender's scenario\n"
                        "event 1 NavHome\n"
                        "\n"
                        "event 7 ItemNumber \"12 3\"\n"
                        "copydata 2 0102\n"
                        "power 4\n"
                        "endsession 1\n"
                        "close\n",
                        directives, error))
      << error;
  ASSERT_EQ(directives.size(), 6u);
  EXPECT_EQ(directives[0].code, 3);
  EXPECT_EQ(directives[1].bytes, "12 3");
  EXPECT_EQ(directives[2].kind, DirectiveKind::CopyData);
  EXPECT_EQ(directives[2].bytes, std::string("\x01\x02"));
  EXPECT_EQ(directives[3].kind, DirectiveKind::Power);
  EXPECT_EQ(directives[4].kind, DirectiveKind::EndSession);
  EXPECT_EQ(directives[5].kind, DirectiveKind::Close);
}

TEST(SendArgsTest, ScenarioRefusesWhatOnlyTheReplayCanDo) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"event 1 NavHome\ntick 3\n", "line 2: 'tick' cannot be sent"},
      {"timer 1\n", "line 1: 'timer' cannot be sent"},
      {"time 2006-01-05 21:07:30\n", "line 1: 'time' cannot be sent"},
      {"lang 0407\n", "line 1: 'lang' cannot be sent"},
      {"device none 5\n", "line 1: 'device' cannot be sent"},
      {"event 1 NavHome\nevent 1 Nope\n", "line 2: event code 'Nope'"},
  };
  for (const auto& [text, reason] : cases) {
    std::vector<Directive> directives;
    std::string error;
    EXPECT_FALSE(ParseSendScenario(text, directives, error)) << text;
    EXPECT_EQ(error.rfind(reason, 0), 0u) << error;
    EXPECT_TRUE(directives.empty());
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
