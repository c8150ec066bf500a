// Bad input at the Kodi bridge: the stream cut anywhere, values back to back, bytes that are not
// JSON, a message cut short with others after it, a message over 1 MiB, members of the wrong
// type, bytes that are not UTF-8, a 10 000-character title, a player gone before its answer, a
// flood of messages it cannot use. The bridge runs on: a line for each kind of what it cannot use
// (then a count), nothing sent that the agent cannot take, no crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sources/kodi/json_stream.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"
#include "tests/sources/recording_sink.h"

namespace lumora::sources {
namespace {

std::vector<std::string> Split(const std::vector<std::string>& reads, int& garbage, bool& tooLong,
                               int& cut) {
  JsonStream stream;
  std::vector<std::string> values;
  garbage = 0;
  cut = 0;
  tooLong = false;
  for (const std::string& read : reads) {
    stream.Append(read);
    std::string value;
    for (;;) {
      const JsonStream::Result result = stream.Next(value);
      if (result == JsonStream::Result::Value) values.push_back(value);
      if (result == JsonStream::Result::Garbage) ++garbage;
      if (result == JsonStream::Result::TooLong) tooLong = true;
      if (result == JsonStream::Result::Cut) ++cut;
      if (result == JsonStream::Result::NeedMore || result == JsonStream::Result::TooLong) break;
    }
  }
  return values;
}

TEST(JsonStream, FindsEachWholeValue) {
  const struct {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> values;
    int garbage;
  } cases[] = {
      {"two objects in one read, nothing between",
       {R"({"a":1}{"b":2})"},
       {R"({"a":1})", R"({"b":2})"},
       0},
      {"an object cut across three reads",
       {R"({"a":)", R"([1,{"b")", R"(:2}]})"},
       {R"({"a":[1,{"b":2}]})"},
       0},
      {"brackets and quotes inside strings", {R"({"t":"}{ \" ]["})"}, {R"({"t":"}{ \" ]["})"}, 0},
      {"an escaped backslash before the closing quote",
       {R"({"t":"a\\"}{"u":1})"},
       {R"({"t":"a\\"})", R"({"u":1})"},
       0},
      {"blanks and line breaks between",
       {"  {\"a\":1}\r\n\t{\"b\":2}\n"},
       {R"({"a":1})", R"({"b":2})"},
       0},
      {"bytes that start no value are skipped",
       {R"(xyz{"a":1}42{"b":2})"},
       {R"({"a":1})", R"({"b":2})"},
       2},
      {"an array as a value", {R"([1,2])"}, {R"([1,2])"}, 0},
      {"a value not finished yet gives nothing", {R"({"a":"}")"}, {}, 0},
  };
  for (const auto& c : cases) {
    int garbage = 0;
    int cut = 0;
    bool tooLong = false;
    EXPECT_EQ(Split(c.reads, garbage, tooLong, cut), c.values) << c.name;
    EXPECT_EQ(garbage, c.garbage) << c.name;
    EXPECT_EQ(cut, 0) << c.name;
    EXPECT_FALSE(tooLong) << c.name;
  }
}

// A message cut short, then whole ones: the cut one is dropped and the stream read on from where
// the next began (at the latest the one after it, when the next one fits where a value may come).
TEST(JsonStream, DropsAValueCutShortAndReadsOnFromTheNext) {
  std::string aByteARead;
  const std::string whole =
      R"({"id":4,"jsonrpc":"2.0","result":{"item":{"artist":["A \"B\""],"title":"x\u00e9{[/",)"
      R"("track":-1.5e3,"ok":true,"no":false,"n":null,"e":{},"a":[]}}})";
  std::vector<std::string> bytes;
  for (const char c : whole)
    bytes.emplace_back(1, c);
  const struct {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> values;
    int cut;
    int garbage;
  } cases[] = {
      {"cut in a string",
       {R"({"a":"xy)", R"({"id":1,"result":"ok"})"},
       {R"({"id":1,"result":"ok"})"},
       1,
       0},
      {"cut in a name", {R"({"ti)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut after a name", {R"({"a")", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut in a number", {R"({"a":12)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut in a literal", {R"({"a":tr)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut after a comma of an object", {R"({"a":1,)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut after an opening brace", {R"({)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut in an escape", {R"({"a":"x\)", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"cut where a value may come: the next one is taken in, the one after it read",
       {R"({"a":)", R"({"id":1})", R"({"id":2})"},
       {R"({"id":2})"},
       1,
       0},
      {"cut in an array", {R"({"a":[)", R"({"id":1})", R"({"id":2})"}, {R"({"id":2})"}, 1, 0},
      {"the cut in the same read as the next", {R"({"a":"x{"id":3})"}, {R"({"id":3})"}, 1, 0},
      {"a closing of the wrong kind", {R"({"a":1])", R"({"id":1})"}, {R"({"id":1})"}, 1, 0},
      {"nested deeper than the bound",
       {std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']') + R"({"id":3})"},
       {"[]", R"({"id":3})"},
       1,
       1},
      {"a whole message of every kind of member, a byte a read", bytes, {whole}, 0, 0},
  };
  for (const auto& c : cases) {
    int garbage = 0;
    int cut = 0;
    bool tooLong = false;
    EXPECT_EQ(Split(c.reads, garbage, tooLong, cut), c.values) << c.name;
    EXPECT_EQ(cut, c.cut) << c.name;
    EXPECT_EQ(garbage, c.garbage) << c.name;
    EXPECT_FALSE(tooLong) << c.name;
  }
}

TEST(JsonStream, RefusesAValueOverOneMebibyte) {
  int garbage = 0;
  int cut = 0;
  bool tooLong = false;
  const std::string opening = "{\"t\":\"";
  // Whole within the bound: taken.
  std::string fits = opening + std::string(kMaxMessageBytes - opening.size() - 2, 'x') + "\"}";
  EXPECT_EQ(Split({fits}, garbage, tooLong, cut).size(), 1u);
  EXPECT_FALSE(tooLong);
  // One byte more and still open: refused, in pieces as a socket reads it.
  std::vector<std::string> reads;
  reads.push_back(opening);
  for (size_t sent = opening.size(); sent <= kMaxMessageBytes; sent += 65536)
    reads.push_back(std::string(65536, 'x'));
  EXPECT_TRUE(Split(reads, garbage, tooLong, cut).empty());
  EXPECT_TRUE(tooLong);
}

struct Rig {
  RecordingSink sink;
  TestClock clock;
  MediaSource core{sink, clock.Function()};
  SourceApp source{core, "Kodi"};
  std::vector<std::string> problems;
  std::vector<std::string> requests;
  KodiBridge bridge{source, [this](const std::string& r) { requests.push_back(r); },
                    [this](const std::string& p) { problems.push_back(p); }};

  // Connected, on the home window, with one audio player known: the answers carry the ids the
  // bridge gave its requests (1 window, 2 volume, 3 players, 4 the item).
  void Start() {
    bridge.Connected();
    bridge.Handle(R"({"id":1,"jsonrpc":"2.0","result":{"currentwindow":{"id":10000}}})");
    bridge.Handle(R"({"id":3,"jsonrpc":"2.0","result":[{"playerid":0,"type":"audio"}]})");
  }
};

TEST(KodiInput, MessagesItCannotUseChangeNothing) {
  const struct {
    const char* name;
    std::string message;
    bool problem;  // a line is reported
  } cases[] = {
      {"not JSON", "{not json}", true},
      {"truncated", R"({"jsonrpc":"2.0","method":"Player.OnPause","params":{"data")", true},
      {"invalid UTF-8 in a string", "{\"method\":\"Player.OnPause\",\"params\":{\"t\":\"\xFF\"}}",
       true},
      {"an array, not an object", "[1,2,3]", true},
      {"a method of the wrong type", R"({"method":5,"params":{}})", false},
      {"an unknown notification",
       R"({"method":"VideoLibrary.OnScanStarted","params":{"data":null}})", false},
      {"a seek whose time is text",
       R"({"method":"Player.OnSeek","params":{"data":{"player":{"playerid":0,"time":"soon"}}}})",
       false},
      {"a seek with minutes out of range",
       R"({"method":"Player.OnSeek","params":{"data":{"player":{"playerid":0,"time":{"hours":0,"minutes":75,"seconds":0}}}}})",
       false},
      {"a volume that is text",
       R"({"method":"Application.OnVolumeChanged","params":{"data":{"volume":"loud"}}})", false},
      {"a speed that is null",
       R"({"method":"Player.OnSpeedChanged","params":{"data":{"player":{"playerid":0,"speed":null}}}})",
       false},
      {"an answer nobody asked for",
       R"({"id":999,"result":{"item":{"type":"song","title":"Ghost"}}})", false},
      {"a notification for a player without an item",
       R"({"method":"Player.OnPause","params":{"data":{"player":{"playerid":7,"speed":0}}}})",
       false},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.Start();
    const std::vector<std::string> before = rig.sink.events;
    rig.bridge.Handle(c.message);
    EXPECT_EQ(rig.sink.events, before) << c.name;
    EXPECT_EQ(rig.problems.size(), c.problem ? 1u : 0u) << c.name;
  }
}

TEST(KodiInput, ALongTitleIsCutAndStrangeCharactersReplaced) {
  Rig rig;
  rig.Start();
  std::string title;
  for (int i = 0; i < 1000; ++i)
    title += "Longword \xE2\x98\x85 ";  // 10 000 characters
  rig.bridge.Handle(R"({"id":4,"result":{"item":{"type":"song","title":")" + title +
                    R"(","artist":["A","B"],"track":"x"}}})");
  // Kodi's "Longword ★ " repeated: the star is '?', the cut falls on the blank before the word
  // that would cross the 32nd character.
  const std::vector<std::string> tail(rig.sink.events.end() - 5, rig.sink.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"2 SessionOpened", "2 MusicStarted",
                                            "2 MusicTitle Longword ? Longword ? Longword ?",
                                            "2 ExtraText A, B", "2 Play"}));
}

// One message cut short does not blind the bridge: the item Kodi announces after it reaches the
// panel, and the cut is one line.
TEST(KodiInput, AMessageCutShortCostsOnlyItself) {
  Rig rig;
  rig.Start();
  ASSERT_TRUE(rig.bridge.Receive(R"({"jsonrpc":"2.0","method":"Player.OnPlay","params":{"da)"));
  ASSERT_TRUE(rig.bridge.Receive(R"({"id":4,"jsonrpc":"2.0","result":{"item":{"type":"song",)"
                                 R"("title":"After the cut"}}})"));
  const std::vector<std::string> tail(rig.sink.events.end() - 4, rig.sink.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"2 SessionOpened", "2 MusicStarted",
                                            "2 MusicTitle After the cut", "2 Play"}));
  ASSERT_EQ(rig.problems.size(), 1u);
  EXPECT_NE(rig.problems[0].find("cut short"), std::string::npos) << rig.problems[0];
}

// A byte that is not UTF-8 costs its character, not the item: it is '?' on the panel.
TEST(KodiInput, AByteThatIsNotUtf8IsAQuestionMark) {
  Rig rig;
  rig.Start();
  rig.bridge.Handle(
      "{\"id\":4,\"result\":{\"item\":{\"type\":\"song\",\"title\":\"Caf\xE9 "
      "\xE2\x82\xAC\xE2\x82 au lait\",\"artist\":[\"Zo\xC3\"]}}}");
  const std::vector<std::string> tail(rig.sink.events.end() - 5, rig.sink.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"2 SessionOpened", "2 MusicStarted",
                                            "2 MusicTitle Caf? \x80?? au lait", "2 ExtraText Zo?",
                                            "2 Play"}));
  EXPECT_EQ(rig.problems.size(), 1u);
}

// A flood of what the bridge cannot use: one line per kind and connection, then the count of the
// others at most once a minute (of polls) and when the connection ends; a new connection tells
// the kind again.
TEST(KodiInput, ProblemsAreToldOncePerKindAndThenCounted) {
  const struct {
    const char* name;
    std::string bytes;  // one of the kind; empty: Kodi refuses the window request it is asked
    const char* says;
  } cases[] = {
      {"bytes that are not JSON", "xyz", "not a JSON message"},
      {"messages cut short", R"({"a":"b)", "cut short"},
      {"values that are not objects", "[1,2]", "not a JSON object"},
      {"bytes that are not UTF-8", "{\"method\":\"Other\",\"params\":{\"t\":\"\xFF\"}}",
       "not UTF-8"},
      {"refusals", "", "refused a request: No"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.Start();
    const auto feed = [&] {
      if (c.bytes.empty()) {
        // The window asked for (unless it is already), and that request refused.
        rig.bridge.LookAtWindow();
        const auto asked = std::find_if(rig.requests.rbegin(), rig.requests.rend(), [](auto& r) {
          return r.find("GUI.GetProperties") != std::string::npos;
        });
        rig.bridge.Receive(asked->substr(0, asked->find(",\"method\"")) +
                           R"(,"error":{"code":-1,"message":"No"}})");
      } else {
        rig.bridge.Receive(c.bytes);
      }
    };
    for (int i = 0; i < 100; ++i)
      feed();
    rig.bridge.Receive(R"({"id":0})");  // ends a value left open
    ASSERT_EQ(rig.problems.size(), 1u) << c.name;
    EXPECT_NE(rig.problems[0].find(c.says), std::string::npos) << c.name << ": " << rig.problems[0];
    // The count waits for a minute of polls from the start of the connection.
    for (int i = 0; i < kProblemCountPolls - 1; ++i)
      rig.bridge.Poll();
    ASSERT_EQ(rig.problems.size(), 1u) << c.name;
    rig.bridge.Poll();
    ASSERT_EQ(rig.problems.size(), 2u) << c.name;
    EXPECT_NE(rig.problems[1].find("(99 more times)"), std::string::npos)
        << c.name << ": " << rig.problems[1];
    // One more: the end of the connection tells its count; the next connection the kind again.
    feed();
    rig.bridge.Receive(R"({"id":0})");
    rig.bridge.Disconnected();
    rig.bridge.Connected();
    feed();
    rig.bridge.Receive(R"({"id":0})");
    ASSERT_EQ(rig.problems.size(), 4u) << c.name << ": " << testing::PrintToString(rig.problems);
    EXPECT_NE(rig.problems[2].find("(1 more time)"), std::string::npos) << rig.problems[2];
    EXPECT_EQ(rig.problems[3], rig.problems[0]) << c.name;
  }
}

// A flood of Player.OnPlay for players the bridge does not know: one question of the active
// players in flight at a time (asked once more after its answer), so that the bridge's own
// questions are never pushed out of its table of pending requests and their answers still count.
TEST(KodiInput, AFloodOfPlaysForUnknownPlayersAsksForThePlayersOnce) {
  Rig rig;
  rig.Start();
  rig.bridge.Handle(R"({"id":4,"result":{"item":{"type":"song","title":"Tune"}}})");
  rig.requests.clear();
  rig.bridge.Poll();  // the player's time (id 5) and the window (id 6)
  for (int i = 0; i < 500; ++i) {
    rig.bridge.Handle(
        R"({"jsonrpc":"2.0","method":"Player.OnPlay","params":{"data":{"player":{"playerid":)" +
        std::to_string(100 + i) + R"(,"speed":1}}}})");
  }
  const auto asked = [&](const char* method) {
    size_t n = 0;
    for (const std::string& request : rig.requests)
      if (request.find(method) != std::string::npos) ++n;
    return n;
  };
  EXPECT_EQ(asked("Player.GetActivePlayers"), 1u);
  // The answers to the questions asked before the flood are still awaited: the window is the
  // music menu now, the time 42 s.
  const size_t before = rig.sink.events.size();
  rig.bridge.Handle(R"({"id":6,"result":{"currentwindow":{"id":10502}}})");
  rig.bridge.Handle(
      R"({"id":5,"result":{"speed":1,"time":{"hours":0,"minutes":0,"seconds":42,"milliseconds":0}}})");
  EXPECT_EQ(rig.sink.From(before), (std::vector<std::string>{"1 NavMusic", "2 PlayTime 000042"}));
  // The answer to the one question of the players asks it once more (the flood came meanwhile).
  rig.bridge.Handle(R"({"id":7,"result":[{"playerid":0,"type":"audio"}]})");
  EXPECT_EQ(asked("Player.GetActivePlayers"), 2u);
}

TEST(KodiInput, APlayerGoneBeforeItsAnswerIsAskedForAgain) {
  Rig rig;
  rig.Start();
  rig.bridge.Handle(R"({"id":4,"result":{"item":{"type":"song","title":"Tune"}}})");
  rig.bridge.Poll();  // asks for player 0's properties (id 5) and the window (id 6)
  rig.requests.clear();
  rig.bridge.Handle(R"({"id":5,"error":{"code":-32100,"message":"Failed to execute method."}})");
  ASSERT_EQ(rig.requests.size(), 1u);
  EXPECT_NE(rig.requests[0].find("Player.GetActivePlayers"), std::string::npos);
  EXPECT_TRUE(rig.problems.empty());
  rig.bridge.Handle(R"({"id":7,"result":[]})");
  // Closed, and the panel back on the menu Kodi is on.
  const std::vector<std::string> tail(rig.sink.events.end() - 3, rig.sink.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"2 Stop", "2 SessionClosed", "1 NavHome"}));
}

}  // namespace
}  // namespace lumora::sources
