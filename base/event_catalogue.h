// The event catalogue: every code of the Media State Event with its name, the kind of payload
// its text field carries and a one-line description of that payload's format. It is data only:
// the senders, the scenario language and the documentation read it, and the engine keeps its
// own dispatch from these codes to its handlers. A code that is not in the catalogue has no
// effect on the agent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumora {

enum class EventCode : uint16_t {
  SessionOpened = 1,
  SessionClosed = 2,
  NavHome = 3,
  DiscStarted = 4,
  CdStarted = 5,
  MusicStarted = 6,
  VideoStarted = 7,
  LiveTvStarted = 8,
  RecordedTvStarted = 9,
  PicturesStarted = 10,
  RadioStarted = 11,
  NavLiveTv = 12,
  NavDvd = 13,
  NavGuide = 14,
  NavMusic = 15,
  NavPictures = 17,
  NavVideos = 18,
  NavRecordedTv = 19,
  NavRadio = 20,
  NavOnlineMedia = 21,
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

constexpr uint16_t ToCode(EventCode code) {
  return static_cast<uint16_t>(code);
}

// How an event's text field is read.
enum class PayloadKind : uint8_t {
  None,       // the text field is not read
  Number,     // a decimal number, read like atoi
  PlayTime,   // six characters HHMMSS
  Text,       // a text to store or show, at most 32 characters
  Frequency,  // the radio frequency in Hz, eight or nine digits
};

struct EventInfo {
  EventCode code;
  std::string_view name;
  PayloadKind payload;
  std::string_view format;   // one line: what the text field holds
  std::string_view example;  // a payload of that format; empty when there is none
};

inline constexpr size_t kEventCount = 45;
extern const std::array<EventInfo, kEventCount> kEvents;

// The entry of a code or of a name as written in the catalogue ("LiveTvStarted"); null when
// there is none.
const EventInfo* FindEvent(uint16_t code);
const EventInfo* FindEventByName(std::string_view name);

}  // namespace lumora
