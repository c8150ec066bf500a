// The engine's frame: construction, the start-up reset, the dispatch of event codes to their
// handlers, and the clock tick of timer 1.
#include "engine/media_engine.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "base/event_catalogue.h"

namespace lumora {

namespace {

constexpr uint32_t kMenuScreenWaitMs = 1000;

}  // namespace

MediaEngine::MediaEngine(Platform& platform, CVFDCmd& panel, ProcessState& process)
    : platform_(platform), panel_(panel), process_(process) {}

void MediaEngine::StartupReset() {
  state_.shellActive = 0;
  state_.shellSessionId = -1;
  state_.currentSessionId = -1;
  state_.markedSessionId = -1;
  state_.displayMode = ModeNone;
  state_.navCode = NavNone;
  state_.ResetMedia();
  pictures_.ClearPictureSessions();
  sessions_.ClearSessions();
  state_.ResetIconMemory();
  process_.powerState = PowerNormal;
}

MediaEngine::Handler MediaEngine::FindHandler(uint16_t code) {
  struct Entry {
    EventCode code;
    Handler handler;
  };
  // In rising code order, like the catalogue; every navigation code shares one handler.
  static constexpr std::array<Entry, kEventCount> kHandlers{{
      {EventCode::SessionOpened, &MediaEngine::OnSessionOpened},
      {EventCode::SessionClosed, &MediaEngine::OnSessionClosed},
      {EventCode::NavHome, &MediaEngine::OnNavigation},
      {EventCode::DiscStarted, &MediaEngine::OnDiscStarted},
      {EventCode::CdStarted, &MediaEngine::OnCdStarted},
      {EventCode::MusicStarted, &MediaEngine::OnMusicStarted},
      {EventCode::VideoStarted, &MediaEngine::OnVideoStarted},
      {EventCode::LiveTvStarted, &MediaEngine::OnLiveTvStarted},
      {EventCode::RecordedTvStarted, &MediaEngine::OnRecordedTvStarted},
      {EventCode::PicturesStarted, &MediaEngine::OnPicturesStarted},
      {EventCode::RadioStarted, &MediaEngine::OnRadioStarted},
      {EventCode::NavLiveTv, &MediaEngine::OnNavigation},
      {EventCode::NavDvd, &MediaEngine::OnNavigation},
      {EventCode::NavGuide, &MediaEngine::OnNavigation},
      {EventCode::NavMusic, &MediaEngine::OnNavigation},
      {EventCode::NavPictures, &MediaEngine::OnNavigation},
      {EventCode::NavVideos, &MediaEngine::OnNavigation},
      {EventCode::NavRecordedTv, &MediaEngine::OnNavigation},
      {EventCode::NavRadio, &MediaEngine::OnNavigation},
      {EventCode::NavOnlineMedia, &MediaEngine::OnNavigation},
      {EventCode::PhoneCallStarted, &MediaEngine::OnPhoneCallStarted},
      {EventCode::AuxIndicatorOn, &MediaEngine::OnAuxIndicatorOn},
      {EventCode::AuxIndicatorOff, &MediaEngine::OnAuxIndicatorOff},
      {EventCode::Level, &MediaEngine::OnLevel},
      {EventCode::Play, &MediaEngine::OnPlay},
      {EventCode::Pause, &MediaEngine::OnPause},
      {EventCode::Stop, &MediaEngine::OnStop},
      {EventCode::ScanEndA, &MediaEngine::OnScanEnd},
      {EventCode::ScanEndB, &MediaEngine::OnScanEnd},
      {EventCode::SessionIndicatorOn, &MediaEngine::OnSessionIndicatorOn},
      {EventCode::SessionIndicatorOff, &MediaEngine::OnSessionIndicatorOff},
      {EventCode::SessionMarked, &MediaEngine::OnSessionMarked},
      {EventCode::Eject, &MediaEngine::OnEject},
      {EventCode::ScanA, &MediaEngine::OnScanA},
      {EventCode::ScanB, &MediaEngine::OnScanB},
      {EventCode::ItemNumber, &MediaEngine::OnItemNumber},
      {EventCode::MediaName, &MediaEngine::OnMediaName},
      {EventCode::ExtraText, &MediaEngine::OnExtraText},
      {EventCode::PlayTime, &MediaEngine::OnPlayTime},
      {EventCode::MusicTitle, &MediaEngine::OnMusicTitle},
      {EventCode::TitleNumber, &MediaEngine::OnTitleNumber},
      {EventCode::PictureName, &MediaEngine::OnPictureName},
      {EventCode::RadioFrequency, &MediaEngine::OnRadioFrequency},
      {EventCode::CallerText, &MediaEngine::OnCallerText},
      {EventCode::MoreProgram, &MediaEngine::OnMoreProgram},
  }};
  for (const Entry& entry : kHandlers) {
    if (ToCode(entry.code) == code) return entry.handler;
    if (ToCode(entry.code) > code) break;
  }
  return nullptr;
}

bool MediaEngine::IsNavigationEvent(uint16_t code) {
  return FindHandler(code) == &MediaEngine::OnNavigation;
}

void MediaEngine::HandleEvent(const MediaStateEvent& event) {
  // In the quiet power state the auxiliary indicator may not come on; nothing else is filtered.
  if (process_.powerState == PowerQuiet && event.eventCode == ToCode(EventCode::AuxIndicatorOn)) {
    return;
  }
  if (const Handler handler = FindHandler(event.eventCode)) (this->*handler)(event);
}

bool MediaEngine::OnClockTick() {
  AgentState& s = state_;
  if (process_.powerState != PowerNormal && process_.powerState != PowerQuiet) return false;
  if (s.shellActive != 0) {
    if (s.clockMode == 1) {
      panel_.ShowClock(0);
    } else if (s.clockMode == 2) {
      panel_.ShowClock(1);
    }
    // The eject notice may show again from the third tick after it was latched.
    if (s.ejectCount != 0 && ++s.ejectTicks > 2) {
      s.ejectCount = 0;
      s.ejectTicks = 0;
    }
  } else {
    panel_.ShowClock(1);
  }
  return true;
}

void MediaEngine::PanelSleep() {
  platform_.Sleep(kMenuScreenWaitMs);
}

void MediaEngine::WriteFormatted(uint8_t line, const char* format, ...) {
  // The longest text a format can make is 51 characters (a 32-character text in "CH-%s      ").
  char text[64];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  panel_.WriteText(line, 0, text);
}

}  // namespace lumora
