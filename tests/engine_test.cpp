// What a trace hides: the Agent State and the collections after start-up, resets and events,
// the decoding of records, and numbers read from texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "engine/text_util.h"
#include "tests/recording_platform.h"

namespace lumora {
namespace {

using test::RecordingPlatform;

class AgentTest : public ::testing::Test {
 protected:
  AgentTest() { agent.OnInitDialog(); }

  void Send(int32_t sessionId, EventCode code, const std::string& text = "") {
    uint8_t record[kMediaStateEventSize];
    EncodeMediaStateEvent(sessionId, ToCode(code), text.data(), text.size(), record);
    CopyDataStruct cds{kMediaStateEventMarker, sizeof record, record};
    agent.WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }
  void Power(uintptr_t code) { agent.WindowProc(kWmPowerBroadcast, code, 0); }
  const AgentState& state() const { return agent.engine().state(); }

  RecordingPlatform platform;
  ProcessState process;
  CAgentDlg agent{platform, process};
};

TEST_F(AgentTest, EveryClockTickHidesTheWindowAgain) {
  // Idle, then while a session plays: each tick ends with the window hidden once more.
  for (int tick = 0; tick < 4; ++tick) {
    if (tick == 2) Send(1, EventCode::Play);
    platform.calls.clear();
    agent.WindowProc(kWmTimer, kClockTimerId, 0);
    ASSERT_FALSE(platform.calls.empty()) << tick;
    EXPECT_EQ(platform.calls.back(), "hide") << tick;
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "hide"), 1) << tick;
  }
}

TEST_F(AgentTest, StartUpState) {
  const AgentState& s = state();
  EXPECT_EQ(s.shellSessionId, -1);
  EXPECT_EQ(s.currentSessionId, -1);
  EXPECT_EQ(s.markedSessionId, -1);
  EXPECT_EQ(s.mediaSessionId, 0);
  EXPECT_EQ(s.navCode, 0);
  EXPECT_EQ(s.shellActive, 0);
  EXPECT_EQ(s.clockMode, 0);
  EXPECT_EQ(s.level, 0);
  EXPECT_STREQ(s.numberText, "");
  EXPECT_EQ(process.powerState, PowerNormal);
  EXPECT_EQ(agent.timerId(), kClockTimerId);
}

TEST_F(AgentTest, ShellResetKeepsMenuMarkClockModeAndSessionTable) {
  Send(1, EventCode::SessionOpened);
  Send(9, EventCode::NavMusic);
  Send(3, EventCode::SessionMarked);
  Send(2, EventCode::MusicStarted);
  Send(2, EventCode::MusicTitle, "Blue");
  Send(2, EventCode::Level, "200");
  Send(4, EventCode::PicturesStarted);
  Send(9, EventCode::NavGuide);  // a menu that no media ends
  Power(21);                     // quiet: clockMode 2
  Send(9, EventCode::SessionClosed);

  const AgentState& s = state();
  EXPECT_EQ(s.shellActive, 0);
  EXPECT_EQ(s.shellSessionId, -1);
  EXPECT_EQ(s.currentSessionId, -1);
  EXPECT_EQ(s.mediaSessionId, 0);
  EXPECT_EQ(s.mediaMode, ModeNone);
  EXPECT_STREQ(s.titleText, "");
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.musicIconOn, 0);
  EXPECT_EQ(s.pictureIconOn, 0);
  EXPECT_EQ(s.navCode, NavGuide);   // kept
  EXPECT_EQ(s.markedSessionId, 3);  // kept, and its icon lit again
  EXPECT_EQ(s.clockMode, 2);        // kept
  EXPECT_EQ(process.powerState, PowerQuiet);
  EXPECT_EQ(process.lastNavCode, NavGuide);
  EXPECT_EQ(agent.engine().pictureSessions().PictureSessionCount(), 0);
  SessionRecord record;
  EXPECT_EQ(agent.engine().sessions().FindSession(2, record), 1);
  EXPECT_EQ(record.mediaKind, ModeMusic);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets.back())[7], 0x40);
}

TEST_F(AgentTest, LastNavCodeSurvivesEveryReset) {
  Send(9, EventCode::NavLiveTv);
  Send(9, EventCode::SessionClosed);
  agent.OnInitDialog();
  EXPECT_EQ(process.lastNavCode, NavLiveTv);
  Send(5, EventCode::SessionOpened);
  Send(5, EventCode::Play);  // a session of unknown kind plays after the live TV menu: live TV
  EXPECT_EQ(state().mediaMode, ModeLiveTv);
  SessionRecord record;
  agent.engine().sessions().FindSession(5, record);
  EXPECT_EQ(record.mediaKind, ModeLiveTv);
}

TEST_F(AgentTest, PictureRecordsFollowCaptionAndTransport) {
  const PictureSessionList& pictures = agent.engine().pictureSessions();
  PictureSessionRecord record;
  Send(6, EventCode::PictureName, "Harbour");  // no record yet: one is added, all flags 0
  ASSERT_EQ(pictures.FindPictureSession(6, record), 1);
  EXPECT_STREQ(record.caption, "Harbour");
  EXPECT_EQ(record.playing + record.paused + record.stopped, 0);

  struct Step {
    EventCode code;
    int32_t playing, paused, stopped;
  };
  for (const Step& step : {Step{EventCode::Play, 1, 0, 0}, Step{EventCode::Pause, 0, 1, 0},
                           Step{EventCode::Stop, 0, 0, 1}, Step{EventCode::Play, 1, 0, 0}}) {
    Send(6, step.code);
    ASSERT_EQ(pictures.FindPictureSession(6, record), 1);
    EXPECT_EQ(record.playing, step.playing) << ToCode(step.code);
    EXPECT_EQ(record.paused, step.paused) << ToCode(step.code);
    EXPECT_EQ(record.stopped, step.stopped) << ToCode(step.code);
  }
  Send(6, EventCode::PictureName, "Quay");  // the caption changes, the flags stay
  ASSERT_EQ(pictures.FindPictureSession(6, record), 1);
  EXPECT_STREQ(record.caption, "Quay");
  EXPECT_EQ(record.playing, 1);
}

TEST_F(AgentTest, CaptionTakesTheFirst32BytesOfTheField) {
  const std::string text(33, 'c');  // no NUL anywhere in the field
  Send(6, EventCode::PictureName, text);
  PictureSessionRecord record;
  ASSERT_EQ(agent.engine().pictureSessions().FindPictureSession(6, record), 1);
  EXPECT_EQ(std::string(record.caption, kCaptionSize), std::string(32, 'c'));
  EXPECT_EQ(RecordingPlatform::TextOf(platform.packets.back()), std::string(32, 'c'));
}

TEST_F(AgentTest, StoredTextsHoldAtMost32Characters) {
  Send(2, EventCode::DiscStarted);
  Send(2, EventCode::MediaName, std::string(33, 'n'));
  EXPECT_EQ(std::string(state().nameText), std::string(32, 'n'));
}

TEST_F(AgentTest, MalformedRecordsHaveNoEffect) {
  uint8_t event[kMediaStateEventSize];
  EncodeMediaStateEvent(7, ToCode(EventCode::NavHome), nullptr, 0, event);
  uint8_t record[64] = {};
  std::memcpy(record, event, sizeof event);
  const size_t before = platform.packets.size();
  for (const CopyDataStruct& cds :
       {CopyDataStruct{1, 39, record}, CopyDataStruct{1, 0, record}, CopyDataStruct{1, 40, nullptr},
        CopyDataStruct{2, 40, record}, CopyDataStruct{0, 64, record}}) {
    agent.WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }
  agent.WindowProc(kWmCopyData, 0, 0);
  EXPECT_EQ(platform.packets.size(), before);
  EXPECT_EQ(state().shellActive, 0);

  const CopyDataStruct longer{1, 64, record};  // only the first 40 bytes count
  agent.WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&longer));
  EXPECT_EQ(state().shellActive, 1);
  EXPECT_EQ(state().shellSessionId, 7);
}

TEST(MediaStateEvent, DecodesLittleEndianFieldsAndBoundsTheText) {
  uint8_t record[40];
  std::memset(record, 'z', sizeof record);  // no NUL in the text field
  record[0] = 0xFE;
  record[1] = 0xFF;
  record[2] = 0xFF;
  record[3] = 0xFF;
  record[4] = 0x23;
  record[5] = 0x01;
  const CopyDataStruct cds{1, 40, record};
  MediaStateEvent event;
  ASSERT_TRUE(DecodeMediaStateEvent(cds, event));
  EXPECT_EQ(event.sessionId, -2);
  EXPECT_EQ(event.eventCode, 0x0123);
  EXPECT_EQ(std::strlen(event.text), 32u);
}

TEST(SaturatingAtoi, FollowsTheAtoiRulesWithinTheInt32Range) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {{"", 0},
                        {"abc", 0},
                        {"  42x", 42},
                        {"\t-7", -7},
                        {"+15", 15},
                        {"- 5", 0},
                        {"007", 7},
                        {"2147483647", 2147483647},
                        {"2147483648", 2147483647},
                        {"99999999999999999999", 2147483647},
                        {"-2147483648", -2147483647 - 1},
                        {"-99999999999", -2147483647 - 1}};
  for (const Case& c : cases)
    EXPECT_EQ(SaturatingAtoi(c.text), c.value) << '"' << c.text << '"';
}

TEST(EventTable, CodesAndNamesAgree) {
  for (const EventInfo& info : kEvents) {
    EXPECT_EQ(FindEvent(ToCode(info.code)), &info);
    EXPECT_EQ(FindEventByName(info.name), &info);
  }
  for (const int code : {0, 16, 23, 32, 41, 44, 50, 51, 53, 64, 67, 70, 71, 74, 75, 80, 65535}) {
    EXPECT_EQ(FindEvent(static_cast<uint16_t>(code)), nullptr) << code;
  }
}

}  // namespace
}  // namespace lumora
