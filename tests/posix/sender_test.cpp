// `lumora send` arguments, the frames they become, and the demo player's reading of an evening.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/posix/demo.h"
#include "senders/send_client.h"

namespace lumora::posix {
namespace {

using DemoStep = scenario::LiveStep;

using scenario::DirectiveKind;

TEST(SendArguments, OneEventByNumberOrNameWithText) {
  struct Case {
    std::vector<std::string> args;
    int32_t session;
    uint16_t code;
    std::string text;
  };
  const Case cases[] = {
      {{"7", "LiveTvStarted"}, 7, 8, ""},
      {{"7", "8"}, 7, 8, ""},
      {{"-5", "ItemNumber", "7"}, -5, 65, "7"},
      // Blanks, quotes, backslashes and other bytes reach the record as they were typed.
      {{"2", "MusicTitle", "Say \"hi\" \\ now"}, 2, 72, "Say \"hi\" \\ now"},
      // Typed in UTF-8, sent in the panel's Windows-1252.
      {{"2", "CallerText", "Ren\xc3\xa9"}, 2, 78, "Ren\xe9"},
      {{"2", "72", std::string(33, 'x')}, 2, 72, std::string(33, 'x')},
  };
  for (const Case& c : cases) {
    SocketSendRequest request;
    std::string error;
    ASSERT_TRUE(ParseSendArguments(c.args, request, error)) << error;
    ASSERT_EQ(request.steps.size(), 1u);
    const scenario::Directive& d = request.steps[0].message;
    EXPECT_EQ(d.kind, DirectiveKind::Event);
    EXPECT_EQ(d.sessionId, c.session);
    EXPECT_EQ(d.code, c.code);
    EXPECT_EQ(d.bytes, c.text);

    // The frame carries the 40-byte record with dwData 1.
    uint8_t record[kMediaStateEventSize];
    Frame frame;
    ASSERT_TRUE(FrameOfDirective(d, record, frame));
    EXPECT_EQ(frame.message, 74u);
    EXPECT_EQ(frame.dwData, 1u);
    ASSERT_EQ(frame.length, 40u);
    EXPECT_EQ(frame.payload[0], static_cast<uint8_t>(c.session));
    EXPECT_EQ(frame.payload[4], static_cast<uint8_t>(c.code));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.payload) + 7, c.text.size()), c.text);
  }
}

TEST(SendArguments, PowerEndSessionCloseAndSocket) {
  SocketSendRequest request;
  std::string error;
  ASSERT_TRUE(ParseSendArguments({"--socket", "/tmp/x.sock", "--power", "4"}, request, error));
  EXPECT_EQ(request.socketPath, "/tmp/x.sock");
  ASSERT_EQ(request.steps.size(), 1u);
  uint8_t record[kMediaStateEventSize];
  Frame frame;
  ASSERT_TRUE(FrameOfDirective(request.steps[0].message, record, frame));
  EXPECT_EQ(frame.message, 536u);
  EXPECT_EQ(frame.wParam, 4u);
  EXPECT_EQ(frame.length, 0u);

  request = SocketSendRequest{};
  ASSERT_TRUE(ParseSendArguments({"--endsession", "1"}, request, error));
  ASSERT_TRUE(FrameOfDirective(request.steps[0].message, record, frame));
  EXPECT_EQ(frame.message, 22u);
  EXPECT_EQ(frame.wParam, 1u);

  request = SocketSendRequest{};
  ASSERT_TRUE(ParseSendArguments({"--close"}, request, error));
  ASSERT_TRUE(FrameOfDirective(request.steps[0].message, record, frame));
  EXPECT_EQ(frame.type, FrameType::Close);

  // --socket anywhere before "--", after the event too; after "--" it is the event's text.
  request = SocketSendRequest{};
  ASSERT_TRUE(ParseSendArguments({"7", "Play", "--socket", "/tmp/y.sock"}, request, error))
      << error;
  EXPECT_EQ(request.socketPath, "/tmp/y.sock");
  ASSERT_EQ(request.steps.size(), 1u);
  EXPECT_EQ(request.steps[0].message.code, 36);
  request = SocketSendRequest{};
  ASSERT_TRUE(ParseSendArguments({"--", "7", "MusicTitle", "--socket"}, request, error)) << error;
  EXPECT_EQ(request.socketPath, "");
  ASSERT_EQ(request.steps.size(), 1u);
  EXPECT_EQ(request.steps[0].message.bytes, "--socket");
  request = SocketSendRequest{};
  EXPECT_FALSE(ParseSendArguments({"7", "Play", "--socket"}, request, error));
  EXPECT_EQ(error, "--socket wants a path");
}

TEST(SendArguments, Refusals) {
  char path[] = "/tmp/lumora-send-test-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::ofstream(path) << "event 1 NavHome\n# the clock is the agent's own\nevent 1 Nope\n";
  struct Case {
    std::vector<std::string> args;
    const char* needle;  // part of the message
  };
  const Case cases[] = {
      {{}, "nothing to send"},
      {{"--socket"}, "--socket"},
      {{"7"}, "an event code"},
      {{"7", "NoSuchEvent"}, "NoSuchEvent"},
      {{"seven", "Play"}, "session"},
      {{"7", "Play", "a", "b"}, "at most one text"},
      {{"7", "MusicTitle", std::string(34, 'x')}, "33 bytes"},
      {{"--power"}, "--power"},
      {{"--power", "4 5"}, "--power"},
      {{"--close", "now"}, "--close"},
      {{"--frobnicate"}, "unknown option"},
      {{"--file", "/nonexistent/evening.scn"}, "cannot read"},
      // A folder or an endless device is refused with its reason, not read into memory.
      {{"--file", "/"}, "cannot read /: it is a folder"},
      {{"--file", "/dev/zero"}, "/dev/zero: line 1: line too long (more than 4096 bytes)"},
      {{"--file", path}, "line 3: event code 'Nope'"},
  };
  for (const Case& c : cases) {
    SocketSendRequest request;
    std::string error;
    EXPECT_FALSE(ParseSendArguments(c.args, request, error)) << c.needle;
    EXPECT_NE(error.find(c.needle), std::string::npos) << error;
  }
  ::unlink(path);
}

TEST(DemoScript, CaptionsPausesAndMessagesInOrder) {
  const char* text =
      "# an evening\n"
      "#> The PC is idle\n"
      "# wait 1.5\n"
      "event 1 NavHome\n"
      "  # wait 0\n"
      "#> Suspend\n"
      "power 4\n"
      "# a comment that is neither\n"
      "close\n";
  scenario::LivePlay play;
  std::string error;
  ASSERT_TRUE(scenario::PlanLivePlay(text, scenario::LivePlayer::Demo, play, error)) << error;
  const std::vector<DemoStep>& steps = play.steps;
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_EQ(steps[0].kind, DemoStep::Kind::Caption);
  EXPECT_EQ(steps[0].caption, "The PC is idle");
  EXPECT_EQ(steps[1].kind, DemoStep::Kind::Wait);
  EXPECT_DOUBLE_EQ(steps[1].seconds, 1.5);
  EXPECT_EQ(steps[2].kind, DemoStep::Kind::Message);
  EXPECT_EQ(steps[2].message.code, 3);
  EXPECT_EQ(steps[3].kind, DemoStep::Kind::Wait);
  EXPECT_EQ(steps[4].caption, "Suspend");
  EXPECT_EQ(steps[5].message.kind, DirectiveKind::Power);
  EXPECT_EQ(steps[6].message.kind, DirectiveKind::Close);

  for (const char* bad : {"# wait soon\n", "# wait -1\n", "# wait 601\n", "event 1 Nope\n"}) {
    EXPECT_FALSE(scenario::PlanLivePlay(bad, scenario::LivePlayer::Demo, play, error)) << bad;
    EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
  }
}

TEST(DemoScript, TheBundledEveningIsPlayable) {
  std::ifstream file(std::string(LUMORA_SOURCE_DIR) + "/examples/evening.scn");
  ASSERT_TRUE(file);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  scenario::LivePlay play;
  std::string error;
  ASSERT_TRUE(scenario::PlanLivePlay(text, scenario::LivePlayer::Demo, play, error)) << error;
  const std::vector<DemoStep>& steps = play.steps;
  size_t captions = 0;
  for (const DemoStep& step : steps)
    captions += step.kind == DemoStep::Kind::Caption ? 1u : 0u;
  EXPECT_GE(captions, 10u);
  // Nothing in it is left out on a live agent.
  EXPECT_TRUE(play.skipped.empty()) << play.skipped[0];
  // It ends the agent itself.
  EXPECT_EQ(steps.back().kind, DemoStep::Kind::Message);
  EXPECT_EQ(steps.back().message.kind, DirectiveKind::Close);
}

// The demo's captions on a terminal: broken between words to the terminal's width, characters
// (not bytes) counted, the later rows indented under the text.
TEST(DemoCaptions, WrapBetweenWordsToTheWidth) {
  struct Case {
    std::string caption;
    int columns;
    std::vector<std::string> rows;
  };
  const std::string phone = "The phone rings: the caller shows over the pictures";
  const Case cases[] = {
      {phone, 30, {"\u25b6 The phone rings: the caller", "  shows over the pictures"}},
      {phone, 0, {"\u25b6 " + phone}},
      {"ab cd", 7, {"\u25b6 ab cd"}},
      {"ab cd", 6, {"\u25b6 ab", "  cd"}},
      {"Caf\u00e9 \u20ac x", 10, {"\u25b6 Caf\u00e9 \u20ac x"}},
      {"Caf\u00e9 \u20ac x", 9, {"\u25b6 Caf\u00e9 \u20ac", "  x"}},
      // A word longer than a row is cut.
      {"abcdefghij", 6, {"\u25b6 abcd", "  efgh", "  ij"}},
      {"a  b ", 80, {"\u25b6 a b"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CaptionRows(c.caption, c.columns), c.rows) << c.caption << " at " << c.columns;
}

}  // namespace
}  // namespace lumora::posix
