// The Agent State: what the agent knows between two events — the shell session, the current
// and media sessions, the display and media modes, the menu on the panel, the transport flags,
// the stored texts and the icon memory — plus the two process-wide values.
#pragma once

#include <cstdint>

#include "base/event_catalogue.h"

namespace lumora {

// Media Mode: the same codes in displayMode, mediaMode and a Session Record's mediaKind.
enum MediaMode : uint8_t {
  ModeNone = 0,
  ModeLiveTv = 2,
  ModeRecordedTv = 3,
  ModeCd = 4,
  ModeMusic = 5,
  ModeVideo = 6,
  ModeDvd = 7,
  ModeRadio = 8,
  ModePictures = 9,
  ModePhoneCall = 10,
  ModeVcd = 11,
};

// Navigation Code: the code of the navigation event whose menu is on the panel; 0 no menu.
enum NavCode : int32_t {
  NavNone = 0,
  NavHome = ToCode(EventCode::NavHome),
  NavLiveTv = ToCode(EventCode::NavLiveTv),
  NavDvd = ToCode(EventCode::NavDvd),
  NavGuide = ToCode(EventCode::NavGuide),
  NavMusic = ToCode(EventCode::NavMusic),
  NavPictures = ToCode(EventCode::NavPictures),
  NavVideos = ToCode(EventCode::NavVideos),
  NavRecordedTv = ToCode(EventCode::NavRecordedTv),
  NavRadio = ToCode(EventCode::NavRadio),
  NavOnlineMedia = ToCode(EventCode::NavOnlineMedia),
};

enum PowerState : int32_t {
  PowerNormal = 0,
  PowerQuiet = 1,
  PowerSuspended = 2,
  PowerSessionEnding = 3,
};

// A stored text: at most 32 characters and a NUL, the size of an event's text field.
inline constexpr int kTextSlotSize = 33;
using TextSlot = char[kTextSlotSize];

// The values that are one per process, zero at process start: the power situation and the last
// navigation code, which no reset clears.
struct ProcessState {
  int32_t powerState = PowerNormal;
  int32_t lastNavCode = NavNone;
};

// The one ProcessState of this process.
ProcessState& TheProcessState();

struct AgentState {
  // Kept by both resets; set at construction.
  uint8_t clockMode = 0;  // 0 nothing, 1 time on line 3, 2 date on line 2 and time on line 3
  int32_t ejectTicks = 0;

  int32_t shellSessionId = -1;
  int32_t currentSessionId = -1;
  uint8_t displayMode = ModeNone;
  int32_t navCode = NavNone;

  // From mediaSessionId through timeText: zeroed by the start-up and the shell reset.
  int32_t mediaSessionId = 0;
  uint8_t mediaMode = ModeNone;
  int32_t sessionIndicator = 0;
  int32_t playing = 0;
  int32_t paused = 0;
  int32_t stopped = 0;
  int32_t scanB = 0;
  int32_t scanA = 0;
  int32_t vcdDisc = 0;
  int32_t timeEventCount = 0;
  int32_t ejectCount = 0;
  TextSlot numberText = {};
  TextSlot titleNumberText = {};
  TextSlot frequencyText = {};
  TextSlot titleText = {};
  TextSlot nameText = {};
  TextSlot extraText = {};
  TextSlot timeText = {};

  int32_t shellActive = 0;

  // Icon memory: what the panel rebuild after a suspend or a quiet period lights again.
  uint8_t level = 0;
  int32_t auxIndicatorOn = 0;
  int32_t videoIconOn = 0;
  int32_t pictureIconOn = 0;
  int32_t musicIconOn = 0;
  int32_t tvIconOn = 0;
  int32_t radioOn = 0;
  int32_t dvdIconOn = 0;
  int32_t vcdIconOn = 0;
  int32_t cdIconOn = 0;
  int32_t sessionIndicatorOn = 0;

  int32_t markedSessionId = -1;

  // No media session, all transport flags and counters 0, all stored texts empty.
  void ResetMedia();
  // Level and every icon flag 0.
  void ResetIconMemory();
};

}  // namespace lumora
