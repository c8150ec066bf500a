// The event codes of the Media State Event, their names, and the engine handler each is
// dispatched to. A code that is not in this table has no effect.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace lumora {

class MediaEngine;
struct MediaStateEvent;

enum EventCode : uint16_t {
  SessionOpened = 1,
  SessionClosed = 2,
  NavHomeEvent = 3,
  DiscStarted = 4,
  CdStarted = 5,
  MusicStarted = 6,
  VideoStarted = 7,
  LiveTvStarted = 8,
  RecordedTvStarted = 9,
  PicturesStarted = 10,
  RadioStarted = 11,
  NavLiveTvEvent = 12,
  NavDvdEvent = 13,
  NavGuideEvent = 14,
  NavMusicEvent = 15,
  NavPicturesEvent = 17,
  NavVideosEvent = 18,
  NavRecordedTvEvent = 19,
  NavRadioEvent = 20,
  NavOnlineMediaEvent = 21,
  PhoneCallStarted = 22,
  AuxIndicatorOn = 33,
  AuxIndicatorOff = 34,
  Level = 35,
  Play = 36,
  Pause = 37,
  Stop = 38,
  ScanEndA = 39,
  ScanEndB = 40,
  SessionIndicatorOn = 45,
  SessionIndicatorOff = 46,
  SessionMarked = 47,
  Eject = 48,
  ScanA = 49,
  ScanB = 52,
  ItemNumber = 65,
  MediaName = 66,
  ExtraText = 68,
  PlayTime = 69,
  MusicTitle = 72,
  TitleNumber = 73,
  PictureName = 76,
  RadioFrequency = 77,
  CallerText = 78,
  MoreProgram = 79,
};

struct EventInfo {
  uint16_t code;
  const char* name;
  void (MediaEngine::*handler)(const MediaStateEvent&);
};

inline constexpr size_t kEventCount = 45;
extern const std::array<EventInfo, kEventCount> kEvents;

// The entry of a code or of a name ("LiveTvStarted"); null when there is none.
const EventInfo* FindEvent(uint16_t code);
const EventInfo* FindEventByName(std::string_view name);

}  // namespace lumora
