// The invariant checks must catch what they promise to catch: each broken packet, state or call
// sequence below dies with its message, and the well-formed ones next to them pass.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "panel/panel_tables.h"
#include "tests/fuzz/checking_platform.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {
namespace {

Packet Make(uint8_t command, uint8_t arg1 = 0, uint8_t arg2 = 0,
            std::initializer_list<uint8_t> payload = {}) {
  Packet packet{};
  packet[kPacketCommand] = command;
  packet[kPacketArg1] = arg1;
  packet[kPacketArg2] = arg2;
  std::copy(payload.begin(), payload.end(), packet.begin() + kPacketPayload);
  return packet;
}

// 2006-01-05 21:07:30, month-day-year.
Packet PanelClockStart() {
  return Make(kCmdPanelClock, kPanelClockStart, kMonthDayYear, {21, 7, 30, 20, 6, 1, 5});
}

Packet Text(uint8_t line, const std::string& text) {
  Packet packet = Make(line);
  std::memcpy(&packet[kPacketPayload], text.data(), std::min(text.size(), kPayloadSize));
  return packet;
}

TEST(PacketInvariant, WellFormedPacketsPass) {
  const Packet good[] = {
      Make(kCmdClear),
      // PLAY, TV, level step 15, VCD (CD and VIDEO), MARKED and DVD at once.
      Make(kCmdIcons, 0, 0, {0, 0, 0x10, 0xF4, 0xFF, 0xCF, 0, 0xC0, 0, 0}),
      Text(kCmdLine2, "CH-007     "),
      Text(kCmdLine3, std::string(60, 'x')),  // a full payload has no terminating zero
      Make(kCmdOption, 3),
      Make(kCmdPanelClock, kPanelClockStop),
      PanelClockStart(),
      Make(kCmdPanelClock, kPanelClockStart, kDayMonthYear, {23, 59, 59, 20, 8, 2, 29}),
  };
  for (const Packet& packet : good)
    CheckPacket(packet.data());
}

struct BrokenPacket {
  const char* what;
  Packet packet;
  size_t byte;
  uint8_t value;
  const char* message;
};

TEST(PacketInvariant, BrokenPacketsDie) {
  const BrokenPacket cases[] = {
      {"byte 0 set", Make(kCmdClear), 0, 1, "bytes 0 and 1"},
      {"byte 1 set", Make(kCmdIcons), 1, 0x80, "bytes 0 and 1"},
      {"command 5", Make(kCmdClear), kPacketCommand, 5, "command code 5 is not"},
      {"command 7", Make(kCmdClear), kPacketCommand, 7, "command code 7 is not"},
      {"clear with payload", Make(kCmdClear), 64, 1, "clear: packet byte 64"},
      {"map[0] bit", Make(kCmdIcons), 5, 0x01, "byte 0 is 0x01; bits 0x01 are not in use"},
      {"map[2] low bit", Make(kCmdIcons), 7, 0x18, "byte 2 is 0x18; bits 0x08"},
      {"map[3] bit 0x08", Make(kCmdIcons), 8, 0x08, "byte 3 is 0x08"},
      {"map[5] bit 0x10", Make(kCmdIcons), 10, 0x10, "byte 5 is 0x10"},
      {"map[7] low bits", Make(kCmdIcons), 12, 0x1F, "byte 7 is 0x1f"},
      {"map[9]", Make(kCmdIcons), 14, 0x80, "byte 9 is 0x80"},
      {"bar without segment 1", Make(kCmdIcons), 8, 0x20, "no step of the bar"},
      {"bar with a gap", Make(kCmdIcons, 0, 0, {0, 0, 0, 0xF0, 0xFF, 0x03}), 9, 0x0F,
       "no step of the bar"},
      {"icons argument", Make(kCmdIcons), kPacketArg1, 1, "icons: packet byte 3"},
      {"icons after the map", Make(kCmdIcons), 15, 1, "icons: packet byte 15"},
      {"text after its end", Text(kCmdLine2, "AB"), 8, 'C', "after the line text: packet byte 8"},
      {"text at the last byte", Text(kCmdLine3, ""), 64, 'z', "after the line text"},
      {"text byte 4", Text(kCmdLine2, "AB"), kPacketArg2, 1, "line text: packet byte 4"},
      {"option 4", Make(kCmdOption, 3), kPacketArg1, 4, "panel option 4"},
      {"option payload", Make(kCmdOption, 3), 5, 3, "option: packet byte 5"},
      {"clock sub-command 2", Make(kCmdPanelClock), kPacketArg1, 2, "sub-command 2"},
      {"clock stop payload", Make(kCmdPanelClock), kPacketArg2, 3, "panel clock stop"},
      {"date order 0", PanelClockStart(), kPacketArg2, 0, "date order 0"},
      {"date order 4", PanelClockStart(), kPacketArg2, 4, "date order 4"},
      {"hour 24", PanelClockStart(), 5, 24, "time 24:7:30"},
      {"second 60", PanelClockStart(), 7, 60, "time 21:7:60"},
      {"year 100 of a century", PanelClockStart(), 9, 100, "date"},
      {"month 13", PanelClockStart(), 10, 13, "date"},
      {"day 0", PanelClockStart(), 11, 0, "date"},
      {"29 February 2006", Make(kCmdPanelClock, 1, 3, {0, 0, 0, 20, 6, 2, 28}), 11, 29,
       "day 29 of 2006-2"},
      {"clock start byte 12", PanelClockStart(), 12, 1, "panel clock start: packet byte 12"},
  };
  for (const BrokenPacket& c : cases) {
    SCOPED_TRACE(c.what);
    Packet packet = c.packet;
    CheckPacket(packet.data());  // well formed before the change
    packet[c.byte] = c.value;
    EXPECT_DEATH(CheckPacket(packet.data()), c.message);
  }
}

}  // namespace
}  // namespace lumora::fuzz

namespace lumora {

// The engine's model, writable, for breaking it on purpose.
class EngineTestAccess {
 public:
  static AgentState& State(MediaEngine& engine) { return engine.state_; }
  static SessionTable& Sessions(MediaEngine& engine) { return engine.sessions_; }
  static PictureSessionList& Pictures(MediaEngine& engine) { return engine.pictures_; }
};

}  // namespace lumora

namespace lumora::fuzz {
namespace {

struct BrokenState {
  const char* what;
  std::function<void(MediaEngine&, ProcessState&)> breakIt;
  const char* message;
};

TEST(AgentInvariant, BrokenStatesDie) {
  const BrokenState cases[] = {
      {"clockMode 3",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).clockMode = 3; },
       "clockMode is 3"},
      {"level 128", [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).level = 128; },
       "level is 128"},
      {"timeEventCount 6",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).timeEventCount = 6; },
       "timeEventCount is 6"},
      {"timeEventCount -1",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).timeEventCount = -1; },
       "timeEventCount is -1"},
      {"ejectTicks 3",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).ejectTicks = 3; },
       "ejectTicks is 3"},
      {"playing 2", [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).playing = 2; },
       "flag playing is 2"},
      {"shellActive -1",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).shellActive = -1; },
       "flag shellActive is -1"},
      {"sessionIndicatorOn 5",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).sessionIndicatorOn = 5; },
       "flag sessionIndicatorOn is 5"},
      {"displayMode 1",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).displayMode = 1; },
       "displayMode 1"},
      {"mediaMode 12",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).mediaMode = 12; },
       "mediaMode 12"},
      {"navCode 16", [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).navCode = 16; },
       "navCode 16"},
      {"lastNavCode 22", [](MediaEngine&, ProcessState& p) { p.lastNavCode = 22; },
       "lastNavCode 22"},
      {"powerState 4", [](MediaEngine&, ProcessState& p) { p.powerState = 4; }, "powerState 4"},
      {"text without NUL",
       [](MediaEngine& e, ProcessState&) {
         std::memset(EngineTestAccess::State(e).numberText, 'x',
                     sizeof EngineTestAccess::State(e).numberText);
       },
       "numberText has no terminating NUL"},
      {"session kind 1",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::Sessions(e).SetMediaKind(5, 1); },
       "session 5 has media kind 1"},
      {"picture playing and paused",
       [](MediaEngine& e, ProcessState&) {
         PictureSessionRecord record;
         record.sessionId = 4;
         record.playing = record.paused = 1;
         EngineTestAccess::Pictures(e).AddPictureSession(record);
       },
       "picture session 4: playing 1, paused 1, stopped 0; at most one"},
      {"picture stopped 2",
       [](MediaEngine& e, ProcessState&) {
         PictureSessionRecord record;
         record.stopped = 2;
         EngineTestAccess::Pictures(e).AddPictureSession(record);
       },
       "flag stopped of a picture session is 2"},
  };
  for (const BrokenState& c : cases) {
    SCOPED_TRACE(c.what);
    CheckingPlatform platform;
    ProcessState process;
    CAgentDlg agent(platform, process);
    agent.OnInitDialog();
    CheckAgent(agent, process);  // sound after start-up
    c.breakIt(agent.engine(), process);
    EXPECT_DEATH(CheckAgent(agent, process), c.message);
  }
}

// Two agents given the same messages, one with the device and one without.
class TwinAgents : public ::testing::Test {
 protected:
  TwinAgents() {
    without.SetDeviceFails(0);
    a.OnInitDialog();
    b.OnInitDialog();
    for (CAgentDlg* agent : {&a, &b}) {
      Send(*agent, 7, EventCode::LiveTvStarted, "");
      Send(*agent, 7, EventCode::ItemNumber, "7");
      Send(*agent, 9, EventCode::PicturesStarted, "");
    }
  }
  static void Send(CAgentDlg& agent, int32_t sessionId, EventCode code, const char* text) {
    uint8_t record[kMediaStateEventSize];
    EncodeMediaStateEvent(sessionId, ToCode(code), text, std::strlen(text), record);
    CopyDataStruct cds{kMediaStateEventMarker, sizeof record, record};
    agent.WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }

  CheckingPlatform with;
  CheckingPlatform without;
  ProcessState pa, pb;
  CAgentDlg a{with, pa};
  CAgentDlg b{without, pb};
};

TEST_F(TwinAgents, SameMessagesSameModel) {
  CheckSameModel(a, pa, b, pb);
}

TEST_F(TwinAgents, DifferentModelsDie) {
  const BrokenState cases[] = {
      {"level", [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).level = 3; },
       "level differs"},
      {"channel text",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).numberText[0] = '8'; },
       "numberText differs"},
      {"text behind its end",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).numberText[20] = 'x'; },
       "numberText differs"},
      {"marked session",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::State(e).markedSessionId = 7; },
       "markedSessionId differs"},
      {"last menu", [](MediaEngine&, ProcessState& p) { p.lastNavCode = NavHome; },
       "lastNavCode differs"},
      {"one session more",
       [](MediaEngine& e, ProcessState&) { EngineTestAccess::Sessions(e).AddSession(7); },
       "the Session Table differs"},
      {"another caption",
       [](MediaEngine& e, ProcessState&) {
         PictureSessionRecord record;
         EngineTestAccess::Pictures(e).FindPictureSession(9, record);
         record.caption[31] = 'x';
         EngineTestAccess::Pictures(e).ReplacePictureSession(9, record);
       },
       "the Picture Session List differs"},
  };
  for (const BrokenState& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DEATH(
        {
          c.breakIt(b.engine(), pb);
          CheckSameModel(a, pa, b, pb);
        },
        c.message);
  }
}

TEST(AgentInvariant, IconMapOfTheWrapperIsChecked) {
  IconMap map{};
  map[kLevelBarFirstByte] = 0x10;  // step 0
  CheckIconMap(map, "test");
  map[6] = 0x01;
  EXPECT_DEATH(CheckIconMap(map, "test"), "test: Icon Map byte 6 is 0x01");
}

struct BrokenCalls {
  const char* what;
  std::function<void(PlatformCallChecker&)> calls;
  const char* message;
};

TEST(CallInvariant, BrokenCallSequencesDie) {
  const Packet clear = Make(kCmdClear);
  const auto openOk = [](PlatformCallChecker& c) {
    c.Open(kDeviceSelection, 16, 16);
    c.OpenResult(true, 0);
  };
  const auto openFails = [](PlatformCallChecker& c) {
    c.Open(kDeviceSelection, 16, 16);
    c.OpenResult(false, 5);
  };
  const BrokenCalls cases[] = {
      {"packet without a device",
       [&](PlatformCallChecker& c) {
         openFails(c);
         c.MessageBox("CVFDCmd", "OpenVFD Error: 5");
         c.Command(clear.data());
       },
       "VFD_Cmd although the device did not open"},
      {"close without a device",
       [&](PlatformCallChecker& c) {
         openFails(c);
         c.Close();
       },
       "CloseVFD although the device did not open"},
      {"wrong error in the box",
       [&](PlatformCallChecker& c) {
         openFails(c);
         c.MessageBox("CVFDCmd", "OpenVFD Error: 0");
       },
       "expected \"CVFDCmd\\|OpenVFD Error: 5\""},
      {"box although the device opened",
       [&](PlatformCallChecker& c) {
         openOk(c);
         c.MessageBox("CVFDCmd", "OpenVFD Error: 0");
       },
       "other than once right after a failed open"},
      {"a second box",
       [&](PlatformCallChecker& c) {
         openFails(c);
         c.MessageBox("CVFDCmd", "OpenVFD Error: 5");
         c.MessageBox("CVFDCmd", "OpenVFD Error: 5");
       },
       "other than once"},
      {"open twice",
       [&](PlatformCallChecker& c) {
         openOk(c);
         c.Open(kDeviceSelection, 16, 16);
       },
       "OpenVFD called a second time"},
      {"open with other arguments", [](PlatformCallChecker& c) { c.Open(kDeviceSelection, 16, 8); },
       "OpenVFD\\(11853, 16, 8\\)"},
      {"wait of 500 ms",
       [&](PlatformCallChecker& c) {
         openOk(c);
         c.Sleep(500);
       },
       "a wait of 500 ms"},
      {"packet after the close",
       [&](PlatformCallChecker& c) {
         openOk(c);
         c.Close();
         c.Command(clear.data());
       },
       "VFD_Cmd after the device was closed"},
      {"no close at the end",
       [&](PlatformCallChecker& c) {
         openOk(c);
         c.Finished();
       },
       "without closing the device"},
      {"broken packet",
       [&](PlatformCallChecker& c) {
         openOk(c);
         Packet bad = clear;
         bad[kPacketCommand] = 5;
         c.Command(bad.data());
       },
       "command code 5"},
  };
  for (const BrokenCalls& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DEATH(
        {
          PlatformCallChecker checker;
          c.calls(checker);
        },
        c.message);
  }
}

TEST(CallInvariant, SoundSequencesPass) {
  const Packet clear = Make(kCmdClear);
  PlatformCallChecker opened;
  opened.Open(kDeviceSelection, 16, 16);
  opened.OpenResult(true, 0);
  opened.Command(clear.data());
  opened.Sleep(1000);
  opened.Close();
  opened.Finished();
  EXPECT_EQ(opened.commands(), 1u);

  PlatformCallChecker failed;
  failed.Open(kDeviceSelection, 16, 16);
  failed.OpenResult(false, -3);
  failed.MessageBox("CVFDCmd", "OpenVFD Error: -3");
  failed.Sleep(1000);
  failed.Finished();
  EXPECT_EQ(failed.commands(), 0u);
}

}  // namespace
}  // namespace lumora::fuzz
