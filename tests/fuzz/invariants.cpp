#include "tests/fuzz/invariants.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "engine/session_table.h"

namespace lumora::fuzz {

namespace {

constexpr std::array<uint8_t, 11> kMediaModes{
    ModeNone, ModeLiveTv, ModeRecordedTv, ModeCd,        ModeMusic, ModeVideo,
    ModeDvd,  ModeRadio,  ModePictures,   ModePhoneCall, ModeVcd};
constexpr std::array<int32_t, 11> kNavCodes{NavNone,       NavHome,  NavLiveTv,     NavDvd,
                                            NavGuide,      NavMusic, NavPictures,   NavVideos,
                                            NavRecordedTv, NavRadio, NavOnlineMedia};

// The flags of the Agent State: 0 or 1.
constexpr std::pair<int32_t AgentState::*, const char*> kFlags[] = {
    {&AgentState::sessionIndicator, "sessionIndicator"},
    {&AgentState::playing, "playing"},
    {&AgentState::paused, "paused"},
    {&AgentState::stopped, "stopped"},
    {&AgentState::scanB, "scanB"},
    {&AgentState::scanA, "scanA"},
    {&AgentState::vcdDisc, "vcdDisc"},
    {&AgentState::ejectCount, "ejectCount"},
    {&AgentState::shellActive, "shellActive"},
    {&AgentState::auxIndicatorOn, "auxIndicatorOn"},
    {&AgentState::videoIconOn, "videoIconOn"},
    {&AgentState::pictureIconOn, "pictureIconOn"},
    {&AgentState::musicIconOn, "musicIconOn"},
    {&AgentState::tvIconOn, "tvIconOn"},
    {&AgentState::radioOn, "radioOn"},
    {&AgentState::dvdIconOn, "dvdIconOn"},
    {&AgentState::vcdIconOn, "vcdIconOn"},
    {&AgentState::cdIconOn, "cdIconOn"},
    {&AgentState::sessionIndicatorOn, "sessionIndicatorOn"},
};
constexpr std::pair<const TextSlot AgentState::*, const char*> kTexts[] = {
    {&AgentState::numberText, "numberText"},
    {&AgentState::titleNumberText, "titleNumberText"},
    {&AgentState::frequencyText, "frequencyText"},
    {&AgentState::titleText, "titleText"},
    {&AgentState::nameText, "nameText"},
    {&AgentState::extraText, "extraText"},
    {&AgentState::timeText, "timeText"},
};
// The members of the Agent State that are no flags.
constexpr std::pair<int32_t AgentState::*, const char*> kNumbers[] = {
    {&AgentState::ejectTicks, "ejectTicks"},
    {&AgentState::shellSessionId, "shellSessionId"},
    {&AgentState::currentSessionId, "currentSessionId"},
    {&AgentState::navCode, "navCode"},
    {&AgentState::mediaSessionId, "mediaSessionId"},
    {&AgentState::timeEventCount, "timeEventCount"},
    {&AgentState::markedSessionId, "markedSessionId"},
};
constexpr std::pair<uint8_t AgentState::*, const char*> kBytes[] = {
    {&AgentState::clockMode, "clockMode"},
    {&AgentState::displayMode, "displayMode"},
    {&AgentState::mediaMode, "mediaMode"},
    {&AgentState::level, "level"},
};

template <typename Table, typename Value>
bool In(const Table& table, Value value) {
  return std::find(table.begin(), table.end(), value) != table.end();
}

// Bytes [from, to) of a packet must be zero.
void RequireZero(const uint8_t* packet, size_t from, size_t to, const char* what) {
  for (size_t i = from; i < to; ++i) {
    if (packet[i] != 0) {
      InvariantViolated("%s: packet byte %zu is 0x%02x, must be 0 (command %u)", what, i, packet[i],
                        packet[kPacketCommand]);
    }
  }
}

void CheckTextPacket(const uint8_t* packet) {
  RequireZero(packet, kPacketArg2, kPacketPayload, "line text");
  // A text, then nothing but zero bytes up to the end of the payload.
  const uint8_t* payload = packet + kPacketPayload;
  const auto* end = static_cast<const uint8_t*>(std::memchr(payload, 0, kPayloadSize));
  if (end != nullptr) {
    RequireZero(packet, static_cast<size_t>(end - packet), kPacketSize, "after the line text");
  }
}

void CheckPanelClockPacket(const uint8_t* packet) {
  const uint8_t sub = packet[kPacketArg1];
  if (sub == kPanelClockStop) {
    RequireZero(packet, kPacketArg2, kPacketSize, "panel clock stop");
    return;
  }
  if (sub != kPanelClockStart) InvariantViolated("panel clock sub-command %u", sub);
  const uint8_t order = packet[kPacketArg2];
  if (order < kYearMonthDay || order > kMonthDayYear) {
    InvariantViolated("panel clock start: date order %u is not 1, 2 or 3", order);
  }
  const uint8_t hour = packet[5], minute = packet[6], second = packet[7];
  const uint8_t century = packet[8], yearOfCentury = packet[9];
  const uint8_t month = packet[10], day = packet[11];
  if (hour > 23 || minute > 59 || second > 59) {
    InvariantViolated("panel clock start: time %u:%u:%u", hour, minute, second);
  }
  // The century byte is the clock's own business (a clock ticking past 9999 shows 100); the
  // rest is a real date and time.
  if (yearOfCentury > 99 || month < 1 || month > 12 || day < 1) {
    InvariantViolated("panel clock start: date %u|%u-%u-%u", century, yearOfCentury, month, day);
  }
  const unsigned year = century * 100u + yearOfCentury;
  if (day > DaysInMonth(year, month)) {
    InvariantViolated("panel clock start: day %u of %u-%u", day, year, month);
  }
  RequireZero(packet, 12, kPacketSize, "panel clock start");
}

void CheckFlag(int32_t value, const char* name) {
  if (value != 0 && value != 1) InvariantViolated("flag %s is %d, not 0 or 1", name, value);
}

void CheckText(const TextSlot& slot, const char* name) {
  if (std::memchr(slot, 0, sizeof slot) == nullptr) {
    InvariantViolated("stored text %s has no terminating NUL in its %zu bytes", name, sizeof slot);
  }
}

}  // namespace

void InvariantViolated(const char* format, ...) {
  std::fputs("lumora invariant violated: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::abort();
}

void CheckIconMap(const IconMap& map, const char* where) {
  for (size_t i = 0; i < kIconMapSize; ++i) {
    const auto stray = static_cast<uint8_t>(map[i] & ~kIconMapBitsInUse[i]);
    if (stray != 0) {
      InvariantViolated("%s: Icon Map byte %zu is 0x%02x; bits 0x%02x are not in use", where, i,
                        map[i], stray);
    }
  }
  uint32_t bits = 0;
  for (size_t i = 0; i < 3; ++i)
    bits |= uint32_t{map[kLevelBarFirstByte + i]} << (8 * i);
  const uint32_t bar = bits & kLevelBarMask;
  if (bar != 0 && !In(kLevelStepBits, bar)) {
    InvariantViolated("%s: level bar bits 0x%06x are no step of the bar", where, bar);
  }
}

void CheckPacket(const uint8_t* packet) {
  if (packet[0] != 0 || packet[1] != 0) {
    InvariantViolated("packet bytes 0 and 1 are 0x%02x 0x%02x, must be 0", packet[0], packet[1]);
  }
  switch (packet[kPacketCommand]) {
    case kCmdClear:
      RequireZero(packet, kPacketArg1, kPacketSize, "clear");
      break;
    case kCmdIcons: {
      RequireZero(packet, kPacketArg1, kPacketPayload, "icons");
      IconMap map;
      std::memcpy(map.data(), packet + kPacketPayload, kIconMapSize);
      CheckIconMap(map, "icons packet");
      RequireZero(packet, kPacketPayload + kIconMapSize, kPacketSize, "icons");
      break;
    }
    case kCmdLine2:
    case kCmdLine3:
      CheckTextPacket(packet);
      break;
    case kCmdOption:
      if (packet[kPacketArg1] != 3) {
        InvariantViolated("panel option %u; the agent only ever sends 3", packet[kPacketArg1]);
      }
      RequireZero(packet, kPacketArg2, kPacketSize, "option");
      break;
    case kCmdPanelClock:
      CheckPanelClockPacket(packet);
      break;
    default:
      InvariantViolated("command code %u is not 0, 1, 2, 3, 4 or 6", packet[kPacketCommand]);
  }
}

void CheckAgent(const CAgentDlg& agent, const ProcessState& process) {
  const AgentState& s = agent.engine().state();
  if (s.clockMode > 2) InvariantViolated("clockMode is %u, not 0, 1 or 2", s.clockMode);
  if (s.level > 127) InvariantViolated("level is %u, above 127", s.level);
  if (s.timeEventCount < 0 || s.timeEventCount > 5) {
    InvariantViolated("timeEventCount is %d, not 0 to 5", s.timeEventCount);
  }
  if (s.ejectTicks < 0 || s.ejectTicks > 2) {
    InvariantViolated("ejectTicks is %d between two messages, not 0 to 2", s.ejectTicks);
  }
  if (!In(kMediaModes, s.displayMode)) InvariantViolated("displayMode %u", s.displayMode);
  if (!In(kMediaModes, s.mediaMode)) InvariantViolated("mediaMode %u", s.mediaMode);
  if (!In(kNavCodes, s.navCode)) InvariantViolated("navCode %d", s.navCode);
  if (!In(kNavCodes, process.lastNavCode)) InvariantViolated("lastNavCode %d", process.lastNavCode);
  if (process.powerState < PowerNormal || process.powerState > PowerSessionEnding) {
    InvariantViolated("powerState %d", process.powerState);
  }

  for (const auto& [member, name] : kFlags)
    CheckFlag(s.*member, name);

  for (const auto& [member, name] : kTexts)
    CheckText(s.*member, name);

  agent.engine().sessions().records().ForEach([](const SessionRecord& record) {
    if (!In(kMediaModes, record.mediaKind)) {
      InvariantViolated("session %d has media kind %u", record.sessionId, record.mediaKind);
    }
  });
  agent.engine().pictureSessions().records().ForEach([](const PictureSessionRecord& record) {
    CheckFlag(record.playing, "playing of a picture session");
    CheckFlag(record.paused, "paused of a picture session");
    CheckFlag(record.stopped, "stopped of a picture session");
    if (record.playing + record.paused + record.stopped > 1) {
      InvariantViolated("picture session %d: playing %d, paused %d, stopped %d; at most one",
                        record.sessionId, record.playing, record.paused, record.stopped);
    }
  });

  const IconMap& map = agent.panel().iconMap();
  CheckIconMap(map, "panel wrapper");
  if (!agent.panel().IsOpen() &&
      std::any_of(map.begin(), map.end(), [](uint8_t b) { return b != 0; })) {
    InvariantViolated("the Icon Map changed although no device is open");
  }
}

void CheckSameModel(const CAgentDlg& a, const ProcessState& pa, const CAgentDlg& b,
                    const ProcessState& pb) {
  const AgentState& sa = a.engine().state();
  const AgentState& sb = b.engine().state();
  const auto differs = [](const char* what) {
    InvariantViolated("%s differs between a run with the device and one without", what);
  };
  for (const auto& [member, name] : kFlags)
    if (sa.*member != sb.*member) differs(name);
  for (const auto& [member, name] : kNumbers)
    if (sa.*member != sb.*member) differs(name);
  for (const auto& [member, name] : kBytes)
    if (sa.*member != sb.*member) differs(name);
  for (const auto& [member, name] : kTexts)
    if (std::memcmp(sa.*member, sb.*member, sizeof(TextSlot)) != 0) differs(name);
  if (pa.powerState != pb.powerState) differs("powerState");
  if (pa.lastNavCode != pb.lastNavCode) differs("lastNavCode");

  std::vector<SessionRecord> sessionsA, sessionsB;
  a.engine().sessions().records().ForEach([&](const SessionRecord& r) { sessionsA.push_back(r); });
  b.engine().sessions().records().ForEach([&](const SessionRecord& r) { sessionsB.push_back(r); });
  if (sessionsA.size() != sessionsB.size() ||
      !std::equal(sessionsA.begin(), sessionsA.end(), sessionsB.begin(),
                  [](const SessionRecord& x, const SessionRecord& y) {
                    return x.sessionId == y.sessionId && x.mediaKind == y.mediaKind;
                  })) {
    differs("the Session Table");
  }
  std::vector<PictureSessionRecord> picturesA, picturesB;
  a.engine().pictureSessions().records().ForEach(
      [&](const PictureSessionRecord& r) { picturesA.push_back(r); });
  b.engine().pictureSessions().records().ForEach(
      [&](const PictureSessionRecord& r) { picturesB.push_back(r); });
  if (picturesA.size() != picturesB.size() ||
      !std::equal(picturesA.begin(), picturesA.end(), picturesB.begin(),
                  [](const PictureSessionRecord& x, const PictureSessionRecord& y) {
                    return x.sessionId == y.sessionId && x.playing == y.playing &&
                           x.paused == y.paused && x.stopped == y.stopped &&
                           std::memcmp(x.caption, y.caption, sizeof x.caption) == 0;
                  })) {
    differs("the Picture Session List");
  }
}

void PlatformCallChecker::NotClosed(const char* call) const {
  if (closed_) InvariantViolated("%s after the device was closed", call);
}

void PlatformCallChecker::Open(int32_t device, int32_t width, int32_t height) {
  if (openCalled_) InvariantViolated("OpenVFD called a second time");
  if (device != kDeviceSelection || width != kDeviceArgument || height != kDeviceArgument) {
    InvariantViolated("OpenVFD(%d, %d, %d); expected (%d, %d, %d)", device, width, height,
                      kDeviceSelection, kDeviceArgument, kDeviceArgument);
  }
  openCalled_ = true;
}

void PlatformCallChecker::OpenResult(bool opened, int32_t error) {
  if (!openCalled_ || openAnswered_) InvariantViolated("open result without one open");
  openAnswered_ = true;
  opened_ = opened;
  openError_ = error;
  callsSinceOpen_ = 0;
}

void PlatformCallChecker::MessageBox(std::string_view caption, std::string_view text) {
  if (!openAnswered_ || opened_ || messageBoxShown_ || callsSinceOpen_ != 0) {
    InvariantViolated("message box \"%.*s\" other than once right after a failed open",
                      static_cast<int>(text.size()), text.data());
  }
  const std::string expected = "OpenVFD Error: " + std::to_string(openError_);
  if (caption != "CVFDCmd" || text != expected) {
    InvariantViolated("open-error box \"%.*s|%.*s\"; expected \"CVFDCmd|%s\"",
                      static_cast<int>(caption.size()), caption.data(),
                      static_cast<int>(text.size()), text.data(), expected.c_str());
  }
  messageBoxShown_ = true;
  ++callsSinceOpen_;
}

void PlatformCallChecker::Command(const uint8_t* packet) {
  NotClosed("VFD_Cmd");
  if (!opened_) InvariantViolated("VFD_Cmd although the device did not open");
  CheckPacket(packet);
  ++commands_;
  ++callsSinceOpen_;
}

void PlatformCallChecker::Sleep(uint32_t milliseconds) {
  NotClosed("Sleep");
  if (milliseconds != 1000)
    InvariantViolated("a wait of %u ms; the agent waits 1000", milliseconds);
  ++callsSinceOpen_;
}

void PlatformCallChecker::Close() {
  NotClosed("CloseVFD");
  if (!opened_) InvariantViolated("CloseVFD although the device did not open");
  closed_ = true;
}

void PlatformCallChecker::Finished() {
  if (!openCalled_) InvariantViolated("the agent never opened the device");
  if (opened_ && !closed_) InvariantViolated("the agent went away without closing the device");
}

}  // namespace lumora::fuzz
