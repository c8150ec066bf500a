#include "engine/event_table.h"

#include "engine/media_engine.h"

namespace lumora {

const std::array<EventInfo, kEventCount> kEvents{{
    {SessionOpened, "SessionOpened", &MediaEngine::OnSessionOpened},
    {SessionClosed, "SessionClosed", &MediaEngine::OnSessionClosed},
    {NavHomeEvent, "NavHome", &MediaEngine::OnNavigation},
    {DiscStarted, "DiscStarted", &MediaEngine::OnDiscStarted},
    {CdStarted, "CdStarted", &MediaEngine::OnCdStarted},
    {MusicStarted, "MusicStarted", &MediaEngine::OnMusicStarted},
    {VideoStarted, "VideoStarted", &MediaEngine::OnVideoStarted},
    {LiveTvStarted, "LiveTvStarted", &MediaEngine::OnLiveTvStarted},
    {RecordedTvStarted, "RecordedTvStarted", &MediaEngine::OnRecordedTvStarted},
    {PicturesStarted, "PicturesStarted", &MediaEngine::OnPicturesStarted},
    {RadioStarted, "RadioStarted", &MediaEngine::OnRadioStarted},
    {NavLiveTvEvent, "NavLiveTv", &MediaEngine::OnNavigation},
    {NavDvdEvent, "NavDvd", &MediaEngine::OnNavigation},
    {NavGuideEvent, "NavGuide", &MediaEngine::OnNavigation},
    {NavMusicEvent, "NavMusic", &MediaEngine::OnNavigation},
    {NavPicturesEvent, "NavPictures", &MediaEngine::OnNavigation},
    {NavVideosEvent, "NavVideos", &MediaEngine::OnNavigation},
    {NavRecordedTvEvent, "NavRecordedTv", &MediaEngine::OnNavigation},
    {NavRadioEvent, "NavRadio", &MediaEngine::OnNavigation},
    {NavOnlineMediaEvent, "NavOnlineMedia", &MediaEngine::OnNavigation},
    {PhoneCallStarted, "PhoneCallStarted", &MediaEngine::OnPhoneCallStarted},
    {AuxIndicatorOn, "AuxIndicatorOn", &MediaEngine::OnAuxIndicatorOn},
    {AuxIndicatorOff, "AuxIndicatorOff", &MediaEngine::OnAuxIndicatorOff},
    {Level, "Level", &MediaEngine::OnLevel},
    {Play, "Play", &MediaEngine::OnPlay},
    {Pause, "Pause", &MediaEngine::OnPause},
    {Stop, "Stop", &MediaEngine::OnStop},
    {ScanEndA, "ScanEndA", &MediaEngine::OnScanEnd},
    {ScanEndB, "ScanEndB", &MediaEngine::OnScanEnd},
    {SessionIndicatorOn, "SessionIndicatorOn", &MediaEngine::OnSessionIndicatorOn},
    {SessionIndicatorOff, "SessionIndicatorOff", &MediaEngine::OnSessionIndicatorOff},
    {SessionMarked, "SessionMarked", &MediaEngine::OnSessionMarked},
    {Eject, "Eject", &MediaEngine::OnEject},
    {ScanA, "ScanA", &MediaEngine::OnScanA},
    {ScanB, "ScanB", &MediaEngine::OnScanB},
    {ItemNumber, "ItemNumber", &MediaEngine::OnItemNumber},
    {MediaName, "MediaName", &MediaEngine::OnMediaName},
    {ExtraText, "ExtraText", &MediaEngine::OnExtraText},
    {PlayTime, "PlayTime", &MediaEngine::OnPlayTime},
    {MusicTitle, "MusicTitle", &MediaEngine::OnMusicTitle},
    {TitleNumber, "TitleNumber", &MediaEngine::OnTitleNumber},
    {PictureName, "PictureName", &MediaEngine::OnPictureName},
    {RadioFrequency, "RadioFrequency", &MediaEngine::OnRadioFrequency},
    {CallerText, "CallerText", &MediaEngine::OnCallerText},
    {MoreProgram, "MoreProgram", &MediaEngine::OnMoreProgram},
}};

const EventInfo* FindEvent(uint16_t code) {
  // The table is short and in rising code order; a linear scan is cheaper than anything else.
  for (const EventInfo& info : kEvents) {
    if (info.code == code) return &info;
    if (info.code > code) break;
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
