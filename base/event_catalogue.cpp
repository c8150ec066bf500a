#include "base/event_catalogue.h"

namespace lumora {

namespace {

constexpr std::string_view kNoPayload = "no payload";

}  // namespace

const std::array<EventInfo, kEventCount> kEvents{{
    {EventCode::SessionOpened, "SessionOpened", PayloadKind::None, kNoPayload, ""},
    {EventCode::SessionClosed, "SessionClosed", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavHome, "NavHome", PayloadKind::None, kNoPayload, ""},
    {EventCode::DiscStarted, "DiscStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::CdStarted, "CdStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::MusicStarted, "MusicStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::VideoStarted, "VideoStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::LiveTvStarted, "LiveTvStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::RecordedTvStarted, "RecordedTvStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::PicturesStarted, "PicturesStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::RadioStarted, "RadioStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavLiveTv, "NavLiveTv", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavDvd, "NavDvd", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavGuide, "NavGuide", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavMusic, "NavMusic", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavPictures, "NavPictures", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavVideos, "NavVideos", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavRecordedTv, "NavRecordedTv", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavRadio, "NavRadio", PayloadKind::None, kNoPayload, ""},
    {EventCode::NavOnlineMedia, "NavOnlineMedia", PayloadKind::None, kNoPayload, ""},
    {EventCode::PhoneCallStarted, "PhoneCallStarted", PayloadKind::None, kNoPayload, ""},
    {EventCode::AuxIndicatorOn, "AuxIndicatorOn", PayloadKind::None, kNoPayload, ""},
    {EventCode::AuxIndicatorOff, "AuxIndicatorOff", PayloadKind::None, kNoPayload, ""},
    {EventCode::Level, "Level", PayloadKind::Number, "volume level, decimal 0 to 255", "200"},
    {EventCode::Play, "Play", PayloadKind::None, kNoPayload, ""},
    {EventCode::Pause, "Pause", PayloadKind::None, kNoPayload, ""},
    {EventCode::Stop, "Stop", PayloadKind::None, kNoPayload, ""},
    {EventCode::ScanEndA, "ScanEndA", PayloadKind::None, kNoPayload, ""},
    {EventCode::ScanEndB, "ScanEndB", PayloadKind::None, kNoPayload, ""},
    {EventCode::SessionIndicatorOn, "SessionIndicatorOn", PayloadKind::None, kNoPayload, ""},
    {EventCode::SessionIndicatorOff, "SessionIndicatorOff", PayloadKind::None, kNoPayload, ""},
    {EventCode::SessionMarked, "SessionMarked", PayloadKind::None, kNoPayload, ""},
    {EventCode::Eject, "Eject", PayloadKind::None, kNoPayload, ""},
    {EventCode::ScanA, "ScanA", PayloadKind::None, kNoPayload, ""},
    {EventCode::ScanB, "ScanB", PayloadKind::None, kNoPayload, ""},
    {EventCode::ItemNumber, "ItemNumber", PayloadKind::Number,
     "channel, track or chapter number, decimal", "7"},
    {EventCode::MediaName, "MediaName", PayloadKind::Text,
     "media name, at most 32 characters; a disc name starting VCD selects VCD", "Holiday 2005"},
    {EventCode::ExtraText, "ExtraText", PayloadKind::Text,
     "extra text of a CD or music, at most 32 characters (stored, never shown)", "Live"},
    {EventCode::PlayTime, "PlayTime", PayloadKind::PlayTime,
     "elapsed play time as six digits HHMMSS", "000042"},
    {EventCode::MusicTitle, "MusicTitle", PayloadKind::Text, "music title, at most 32 characters",
     "Blue in Green"},
    {EventCode::TitleNumber, "TitleNumber", PayloadKind::Number, "DVD title number, decimal", "2"},
    {EventCode::PictureName, "PictureName", PayloadKind::Text,
     "picture caption, at most 32 characters", "Harbour"},
    {EventCode::RadioFrequency, "RadioFrequency", PayloadKind::Frequency,
     "radio frequency in Hz, eight or nine digits", "88500000"},
    {EventCode::CallerText, "CallerText", PayloadKind::Text,
     "caller's name or number, at most 32 characters", "555-0134"},
    {EventCode::MoreProgram, "MoreProgram", PayloadKind::None, kNoPayload, ""},
}};

const EventInfo* FindEvent(uint16_t code) {
  // The table is short and in rising code order; a linear scan is cheaper than anything else.
  for (const EventInfo& info : kEvents) {
    if (ToCode(info.code) == code) return &info;
    if (ToCode(info.code) > code) break;
  }
  return nullptr;
}

const EventInfo* FindEventByName(std::string_view name) {
  for (const EventInfo& info : kEvents) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

}  // namespace lumora
