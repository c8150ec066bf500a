// The scenario writer and the recorder: what an agent received, written as a scenario, replays
// to the trace the agent gave live.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/agent_dlg.h"
#include "app/replay/replay_runner.h"
#include "app/replay/virtual_platform.h"
#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "recorder/recorder.h"
#include "scenario/scenario.h"
#include "scenario/scenario_input.h"
#include "tests/read_file.h"

namespace lumora::recorder {
namespace {

using scenario::Directive;
using scenario::FormatDirective;
using scenario::InputError;
using scenario::kScenarioLineMax;
using scenario::ParseError;
using scenario::ParseScenario;
using scenario::Scenario;

namespace fs = std::filesystem;

using test::ReadFile;

class Lines final : public TraceSink {
 public:
  void Line(const char* text, size_t length) override { lines.emplace_back(text, length); }
  std::vector<std::string> lines;
};

// Every directive of every golden scenario, written and read back, is the same directive.
TEST(ScenarioWriter, EveryGoldenDirectiveReadsBackTheSame) {
  size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(LUMORA_SOURCE_DIR) / "tests/golden")) {
    if (entry.path().extension() != ".scn") continue;
    Scenario original;
    ParseError error;
    ASSERT_TRUE(ParseScenario(ReadFile(entry.path()), original, error)) << entry.path();
    for (const Directive& d : original.directives) {
      const std::string line = FormatDirective(d);
      Scenario again;
      ASSERT_TRUE(ParseScenario(line, again, error)) << line << ": " << error.reason;
      ASSERT_EQ(again.directives.size(), 1u) << line;
      const Directive& r = again.directives[0];
      EXPECT_EQ(r.kind, d.kind) << line;
      EXPECT_EQ(r.epochSeconds, d.epochSeconds) << line;
      EXPECT_EQ(r.text, d.text) << line;
      EXPECT_EQ(r.error, d.error) << line;
      EXPECT_EQ(r.sessionId, d.sessionId) << line;
      EXPECT_EQ(r.code, d.code) << line;
      EXPECT_EQ(r.bytes, d.bytes) << line;
      EXPECT_EQ(r.number, d.number) << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 500u);
}

TEST(ScenarioWriter, WritesTheFormsOfTheLanguage) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"event 7 8", "event 7 LiveTvStarted"},
      {"event -3 99 x", "event -3 99 \"x\""},
      {"event 1 MusicTitle \"a \\\"b\\\" \\\\ \\xe9\"",
       "event 1 MusicTitle \"a \\\"b\\\" \\\\ \\xe9\""},
      {"lang 407", "lang 407"},
      {"lang text 04g9", "lang text 04g9"},
      {"lang none", "lang none"},
      {"time 1999-12-31 23:59:59", "time 1999-12-31 23:59:59"},
      {"copydata 2 -", "copydata 2 -"},
      {"copydata 1 00FF", "copydata 1 00ff"},
      {"copydata 1 00FF of 4294967295", "copydata 1 00ff of 4294967295"},
      {"copydata 3 - of 1", "copydata 3 - of 1"},
      {"tick 1", "tick"},
      {"tick 0", "tick 0"},
      {"device none", "device none 0"},
  };
  for (const auto& c : cases) {
    Scenario s;
    ParseError error;
    ASSERT_TRUE(ParseScenario(c.in, s, error)) << c.in;
    EXPECT_EQ(FormatDirective(s.directives[0]), c.out);
  }
}

// A live evening on a clock and locale of its own: the agent behind the recorder, fed messages
// as a host would, its trace kept; then the recording replayed.
class Recording : public ::testing::Test {
 protected:
  Recording() : record_(std::tmpfile()), recorder_(live_, record_, log_) {
    live_.SetTime(LocalTime{2026, 12, 10, 20, 15, 0});
  }
  ~Recording() override { std::fclose(record_); }

  void Start() {
    agent_ = std::make_unique<CAgentDlg>(recorder_, process_);
    agent_->OnInitDialog();
  }
  void Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    recorder_.Received(message, wParam, lParam);
    agent_->WindowProc(message, wParam, lParam);
    recorder_.Handled();
  }
  void Bytes(uintptr_t dwData, const std::vector<uint8_t>& bytes) {
    CopyDataStruct cds{dwData, static_cast<uint32_t>(bytes.size()), bytes.data()};
    Deliver(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }
  void Event(int32_t sid, EventCode code, const std::string& text = "") {
    uint8_t record[kMediaStateEventSize];
    EncodeMediaStateEvent(sid, ToCode(code), text.data(), text.size(), record);
    Bytes(kMediaStateEventMarker, std::vector<uint8_t>(record, record + sizeof record));
  }
  void Tick(int seconds = 1) {
    live_.AdvanceMs(seconds * 1000);
    Deliver(kWmTimer, kClockTimerId, 0);
  }
  void Stop() {
    Deliver(kWmDestroy, 0, 0);
    agent_.reset();
  }

  std::string Recorded() {
    std::fflush(record_);
    std::rewind(record_);
    std::string text;
    for (int c; (c = std::fgetc(record_)) != EOF;)
      text += static_cast<char>(c);
    return text;
  }
  std::vector<std::string> Replayed(const std::string& text) {
    Scenario s;
    ParseError error;
    EXPECT_TRUE(ParseScenario(text, s, error)) << "line " << error.line << ": " << error.reason;
    Lines replayed;
    replay::RunScenario(s, replayed);
    return replayed.lines;
  }

  Lines liveTrace_;
  replay::VirtualPlatform live_{&liveTrace_};
  std::FILE* record_;
  std::FILE* log_ = nullptr;
  MessageRecorder recorder_;
  ProcessState process_;
  std::unique_ptr<CAgentDlg> agent_;
};

TEST_F(Recording, AnEveningReplaysToItsLiveTrace) {
  Start();
  Tick();
  Event(7, EventCode::NavHome);
  Event(7, EventCode::LiveTvStarted);
  Event(7, EventCode::ItemNumber, "7");
  Event(7, EventCode::Play);
  Tick();
  Tick();
  Event(7, EventCode::NavLiveTv);  // a menu screen: a wait of 1000 ms, then the channel
  Tick();
  Tick(3);  // the clock fell behind: the tick comes two seconds late
  live_.SetLocaleAnswer("0407");
  Event(7, EventCode::NavGuide);
  Bytes(1, {1, 2, 3});                       // too short for an event
  Bytes(1, std::vector<uint8_t>(41, 0x41));  // too long
  std::vector<uint8_t> reserved(40, 0);
  reserved[4] = 48;
  reserved[6] = 9;  // the reserved byte set: no `event` line says that
  Bytes(1, reserved);
  Deliver(kWmTimer, 7, 0);
  Deliver(kWmPowerBroadcast, 4, 0);
  Tick();
  live_.SetLocaleFails();
  Deliver(kWmPowerBroadcast, 7, 0);
  Deliver(kWmEndSession, 1, 0);
  Stop();

  const std::string recording = Recorded();
  EXPECT_NE(recording.find("time 2026-12-10 20:15:01\ntimer 1\n"), std::string::npos) << recording;
  EXPECT_NE(recording.find("lang 0407"), std::string::npos) << recording;
  EXPECT_NE(recording.find("lang none"), std::string::npos) << recording;
  EXPECT_NE(recording.find("timer 1"), std::string::npos) << recording;
  EXPECT_NE(recording.find("copydata 1 010203"), std::string::npos) << recording;
  EXPECT_NE(recording.find("event 7 LiveTvStarted"), std::string::npos) << recording;
  EXPECT_EQ(Replayed(recording), liveTrace_.lines) << recording;
}

// A live clock that moves on 300 ms at every reading, so that it crosses a second in the middle
// of a message (an agent slow to draw, a loaded machine, an accelerated clock).
class DriftingClock : public replay::VirtualPlatform {
 public:
  using VirtualPlatform::VirtualPlatform;
  LocalTime GetLocalTime() override {
    AdvanceMs(300);
    return VirtualPlatform::GetLocalTime();
  }
};

TEST(RecordingOfADriftingClock, ReplaysToTheLiveTraceByteForByte) {
  Lines live;
  DriftingClock clock(&live);
  clock.SetTime(LocalTime{2026, 12, 10, 20, 15, 0});
  std::FILE* record = std::tmpfile();
  ASSERT_NE(record, nullptr);
  MessageRecorder recorder(clock, record, nullptr);
  ProcessState process;
  auto agent = std::make_unique<CAgentDlg>(recorder, process);
  agent->OnInitDialog();
  auto deliver = [&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    recorder.Received(message, wParam, lParam);
    agent->WindowProc(message, wParam, lParam);
    recorder.Handled();
  };
  auto event = [&](EventCode code, const std::string& text = "") {
    uint8_t bytes[kMediaStateEventSize];
    EncodeMediaStateEvent(7, ToCode(code), text.data(), text.size(), bytes);
    CopyDataStruct cds{kMediaStateEventMarker, sizeof bytes, bytes};
    deliver(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  };
  // Idle clock ticks, a menu (its 1000 ms wait), playback and the clock again.
  for (int i = 0; i < 5; ++i) {
    clock.AdvanceMs(700);
    deliver(kWmTimer, kClockTimerId, 0);
  }
  event(EventCode::NavHome);
  event(EventCode::NavLiveTv);
  event(EventCode::LiveTvStarted);
  event(EventCode::Play);
  for (int i = 0; i < 5; ++i) {
    clock.AdvanceMs(700);
    deliver(kWmTimer, kClockTimerId, 0);
  }
  deliver(kWmDestroy, 0, 0);
  agent.reset();

  std::fflush(record);
  std::rewind(record);
  std::string text;
  for (int c; (c = std::fgetc(record)) != EOF;)
    text += static_cast<char>(c);
  std::fclose(record);
  Scenario s;
  ParseError error;
  ASSERT_TRUE(ParseScenario(text, s, error)) << "line " << error.line << ": " << error.reason;
  Lines replayed;
  replay::RunScenario(s, replayed);
  EXPECT_EQ(replayed.lines, live.lines) << text;
}

TEST_F(Recording, ADisplayThatFailsToOpenIsRecordedFirst) {
  live_.SetDeviceFails(1167);
  Start();
  Event(3, EventCode::Eject);
  Stop();
  const std::string recording = Recorded();
  EXPECT_NE(recording.find("\ndevice none 1167\n"), std::string::npos) << recording;
  EXPECT_EQ(Replayed(recording), liveTrace_.lines) << recording;
}

// An appended run starts after a run boundary, its device line a directive of its own: the
// recording replays as the earlier run, then this one from a fresh start of the agent.
TEST_F(Recording, AnAppendedRunReplaysAsARunOfItsOwn) {
  const std::string earlier = "# an earlier run\nevent 1 NavHome\n";
  std::fputs(earlier.c_str(), record_);
  live_.SetDeviceFails(5);
  Start();
  Event(1, EventCode::NavMusic);
  Stop();
  const std::string recording = Recorded();
  EXPECT_NE(recording.find("\nrun\n# Lumora recording, continued"), std::string::npos) << recording;
  EXPECT_NE(recording.find("\ndevice none 5\n"), std::string::npos) << recording;
  std::vector<std::string> expected = Replayed(earlier);
  expected.insert(expected.end(), liveTrace_.lines.begin(), liveTrace_.lines.end());
  EXPECT_EQ(Replayed(recording), expected) << recording;
}

// A WM_COPYDATA of any size becomes a line within the replay's bound of 4096 bytes: its first
// 1024 bytes and its size. The agent reads no more than the first 40 bytes of one, so the
// recording, replayed through lumora-replay's own reading of a file, gives the live trace: an
// event in front of 64 KiB is handled as that event, another dwData or a record too short to be
// one as nothing.
TEST_F(Recording, AnOversizedCopyDataIsALineTheReplayTakes) {
  Start();
  Event(1, EventCode::NavHome);
  Event(7, EventCode::LiveTvStarted);
  std::vector<uint8_t> big(65536, 0x5A);
  uint8_t record[kMediaStateEventSize];
  EncodeMediaStateEvent(7, ToCode(EventCode::ItemNumber), "7", 1, record);
  std::copy(record, record + sizeof record, big.begin());
  Bytes(kMediaStateEventMarker, big);
  Bytes(2, big);
  Bytes(kMediaStateEventMarker, std::vector<uint8_t>(2043, 0x41));
  Event(7, EventCode::Play);
  Tick();
  Stop();

  const std::string recording = Recorded();
  // Session 7, code 65, the reserved byte, "7" and 32 zero bytes; then the filling, to 1024.
  std::string itemHex = std::string("07000000") + "4100" + "00" + "37" + std::string(64, '0');
  for (size_t i = 40; i < 1024; ++i)
    itemHex += "5a";
  EXPECT_NE(recording.find("\ncopydata 1 " + itemHex + " of 65536\n"), std::string::npos)
      << recording;
  EXPECT_NE(recording.find("\ncopydata 2 " + itemHex + " of 65536\n"), std::string::npos);
  std::string aHex;
  for (size_t i = 0; i < 1024; ++i)
    aHex += "41";
  EXPECT_NE(recording.find("\ncopydata 1 " + aHex + " of 2043\n"), std::string::npos);
  std::istringstream lines(recording);
  for (std::string line; std::getline(lines, line);)
    EXPECT_LE(line.size(), kScenarioLineMax);

  const fs::path file =
      fs::temp_directory_path() / ("lumora-oversized-" + std::to_string(getpid()));
  std::ofstream(file, std::ios::binary) << recording;
  replay::ScenarioReplay replay;
  InputError error;
  Lines replayed;
  ASSERT_TRUE(replay.Check(file.string(), error)) << error.line << ": " << error.reason;
  ASSERT_TRUE(replay.Run(replayed, nullptr, false, error)) << error.reason;
  fs::remove(file);
  EXPECT_EQ(replayed.lines, liveTrace_.lines) << recording;
  // What the agent did live is what it does with the 40 bytes it reads of each: the item
  // number, nothing for dwData 2, and the 2043 bytes of "A" as an event of session 0x41414141,
  // code 0x4141, and 33 bytes of text.
  const std::string reads =
      "time 2026-12-10 20:15:00\nevent 1 NavHome\nevent 7 LiveTvStarted\nevent 7 ItemNumber 7\n"
      "event 1094795585 16705 " +
      std::string(33, 'A') + "\nevent 7 Play\ntick\n";
  EXPECT_EQ(Replayed(reads), liveTrace_.lines);
}

TEST_F(Recording, TheLogSaysWhatArrivedAndHowManyPacketsItCaused) {
  std::FILE* log = std::tmpfile();
  MessageRecorder logging(live_, nullptr, log);
  CAgentDlg agent(logging, process_);
  agent.OnInitDialog();
  uint8_t blue[kMediaStateEventSize];
  EncodeMediaStateEvent(7, ToCode(EventCode::MusicTitle), "Blue", 4, blue);
  CopyDataStruct blueData{kMediaStateEventMarker, sizeof blue, blue};
  // The panel's Windows-1252: 0xE9 e acute, 0x80 the euro sign, 0x01 a control byte.
  uint8_t cafe[kMediaStateEventSize];
  EncodeMediaStateEvent(7, ToCode(EventCode::MusicTitle), "Caf\xE9 \x80\x01", 7, cafe);
  CopyDataStruct cafeData{kMediaStateEventMarker, sizeof cafe, cafe};
  const std::vector<std::pair<uint32_t, uintptr_t>> messages = {{kWmCopyData, 0},
                                                                {kWmTimer, kClockTimerId},
                                                                {kWmCopyData, 1},
                                                                {kWmPowerBroadcast, 99},
                                                                {kWmPowerBroadcast, 4}};
  for (const auto& [message, wParam] : messages) {
    const intptr_t lParam = message != kWmCopyData ? 0
                            : wParam == 0          ? reinterpret_cast<intptr_t>(&blueData)
                                                   : reinterpret_cast<intptr_t>(&cafeData);
    const uintptr_t sent = message == kWmCopyData ? 0 : wParam;
    logging.Received(message, sent, lParam);
    agent.WindowProc(message, sent, lParam);
    logging.Handled();
  }
  std::rewind(log);
  char text[512] = {};
  std::fread(text, 1, sizeof text - 1, log);
  std::fclose(log);
  // No music session: the titles change nothing; power 99 is no power event the agent knows;
  // a suspend clears and hands over the clock. Texts as the panel shows them, power by name.
  EXPECT_STREQ(text,
               "20:15:00 event 7 MusicTitle \"Blue\" -> 0 packets\n"
               "20:15:00 event 7 MusicTitle \"Caf\u00e9 \u20ac\\x01\" -> 0 packets\n"
               "20:15:00 power 99 -> 0 packets\n"
               "20:15:00 power 4 (suspend) -> 2 packets\n");
}

}  // namespace
}  // namespace lumora::recorder
