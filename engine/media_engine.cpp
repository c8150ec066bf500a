// Resets, dispatch, power handling, the clock tick, and the handlers of the session,
// navigation, transport, indicator and media text events.
#include "engine/media_engine.h"

#include <cstdio>
#include <cstring>

#include "engine/event_table.h"
#include "engine/mode_tables.h"
#include "engine/text_util.h"

namespace lumora {

namespace {

constexpr uint32_t kMenuScreenWaitMs = 1000;
constexpr const char kPhoneCallText[] = "Phone Call  ";

}  // namespace

ProcessState& TheProcessState() {
  static ProcessState process;
  return process;
}

void AgentState::ResetMedia() {
  mediaSessionId = 0;
  mediaMode = ModeNone;
  sessionIndicator = 0;
  playing = paused = stopped = scanB = scanA = 0;
  vcdDisc = 0;
  timeEventCount = 0;
  ejectCount = 0;
  for (TextSlot* slot : {&numberText, &titleNumberText, &frequencyText, &titleText, &nameText,
                         &extraText, &timeText}) {
    std::memset(*slot, 0, sizeof *slot);
  }
}

void AgentState::ResetIconMemory() {
  level = 0;
  auxIndicatorOn = videoIconOn = pictureIconOn = musicIconOn = tvIconOn = 0;
  radioOn = dvdIconOn = vcdIconOn = cdIconOn = sessionIndicatorOn = 0;
}

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

void MediaEngine::PanelSleep() {
  platform_.Sleep(kMenuScreenWaitMs);
}

void MediaEngine::HandleEvent(const MediaStateEvent& event) {
  // In the quiet power state the auxiliary indicator may not come on; nothing else is filtered.
  if (process_.powerState == PowerQuiet && event.eventCode == AuxIndicatorOn) return;
  if (const EventInfo* info = FindEvent(event.eventCode)) (this->*info->handler)(event);
}

// ---------------------------------------------------------------------------------------------
// Sessions and navigation

void MediaEngine::OnSessionOpened(const MediaStateEvent& event) {
  sessions_.AddSession(event.sessionId);
  if (state_.shellActive != 0) state_.currentSessionId = event.sessionId;
}

void MediaEngine::OnSessionClosed(const MediaStateEvent& event) {
  const int32_t sid = event.sessionId;
  AgentState& s = state_;
  sessions_.RemoveSession(sid);

  if (sid == s.markedSessionId) {
    s.markedSessionId = -1;
    panel_.SetMarkedSessionIcon(0);
  } else if (sid == s.shellSessionId) {
    // The shell has gone: back to the agent's own date and time display.
    s.shellSessionId = -1;
    s.currentSessionId = -1;
    s.displayMode = ModeNone;
    s.ResetMedia();
    pictures_.ClearPictureSessions();
    panel_.Clear();
    s.shellActive = 0;
    if (s.markedSessionId != -1) panel_.SetMarkedSessionIcon(1);
    s.ResetIconMemory();
  } else if (sid == s.mediaSessionId) {
    const uint8_t mode = s.mediaMode;
    LeaveMediaMode(0, 1);
    if (sid == s.currentSessionId) {
      ShowModeMenuName(mode);
      s.currentSessionId = s.shellSessionId;
      s.displayMode = ModeNone;
      ClearTransport(ModeMusic);  // any mode but pictures: the transport flags go too
    }
  } else if (pictures_.RemovePictureSession(sid) != 0) {
    if (pictures_.PictureSessionCount() == 0) {
      panel_.SetPictureIcon(0);
      s.pictureIconOn = 0;
    }
    if (sid == s.currentSessionId) {
      const MenuInfo& menu = *FindMenu(NavPictures);
      panel_.WriteText(kCmdLine2, menu.scroll, menu.name);
      s.currentSessionId = s.shellSessionId;
      s.displayMode = ModeNone;
      s.navCode = NavPictures;
      ClearTransport(ModePictures);
    }
  }
}

void MediaEngine::StartMedia(int32_t sessionId, uint8_t mode) {
  AgentState& s = state_;
  s.navCode = NavNone;
  s.currentSessionId = sessionId;
  s.displayMode = mode;
  sessions_.SetMediaKind(sessionId, mode);
  if (s.mediaSessionId != 0) LeaveMediaMode(sessionId, 0);
  s.mediaSessionId = sessionId;
  s.mediaMode = mode;
}

void MediaEngine::OnDiscStarted(const MediaStateEvent& event) {
  const bool vcd = state_.vcdDisc != 0;
  state_.timeEventCount = 0;
  StartMedia(event.sessionId, vcd ? ModeVcd : ModeDvd);
  // The disc icon itself waits for the play time events.
  state_.dvdIconOn = vcd ? 0 : 1;
  state_.vcdIconOn = vcd ? 1 : 0;
  state_.clockMode = 0;
}

void MediaEngine::OnCdStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeCd);
  LightModeIcon(ModeCd);
  state_.clockMode = 0;
}

void MediaEngine::OnMusicStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeMusic);
  LightModeIcon(ModeMusic);
  state_.clockMode = 0;
}

void MediaEngine::OnVideoStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeVideo);
  LightModeIcon(ModeVideo);
}

void MediaEngine::OnLiveTvStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeLiveTv);
  LightModeIcon(ModeLiveTv);
  state_.clockMode = 1;
}

void MediaEngine::OnRecordedTvStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeRecordedTv);
  LightModeIcon(ModeRecordedTv);
  panel_.ShowClock(0);
  state_.clockMode = 1;
  const MenuInfo& menu = *FindMenu(NavRecordedTv);
  panel_.WriteText(kCmdLine2, menu.scroll, menu.name);
}

void MediaEngine::OnRadioStarted(const MediaStateEvent& event) {
  StartMedia(event.sessionId, ModeRadio);
  LightModeIcon(ModeRadio);
  panel_.ShowClock(0);
  state_.clockMode = 1;
}

void MediaEngine::OnPicturesStarted(const MediaStateEvent& event) {
  const int32_t sid = event.sessionId;
  state_.navCode = NavNone;
  state_.currentSessionId = sid;
  state_.displayMode = ModePictures;
  sessions_.SetMediaKind(sid, ModePictures);
  PictureSessionRecord record;
  record.sessionId = sid;
  pictures_.AddPictureSession(record);
  LightModeIcon(ModePictures);
  panel_.ShowClock(0);
  state_.clockMode = 1;
}

void MediaEngine::OnPhoneCallStarted(const MediaStateEvent& event) {
  state_.navCode = NavNone;
  state_.currentSessionId = event.sessionId;
  state_.displayMode = ModePhoneCall;
  ShowLine2Clipped(kPhoneCallText);
  state_.clockMode = 0;
}

void MediaEngine::OnNavigation(const MediaStateEvent& event) {
  AgentState& s = state_;
  const MenuInfo& menu = *FindMenu(event.eventCode);
  s.navCode = menu.navCode;
  process_.lastNavCode = menu.navCode;
  if (s.shellActive == 0) {
    // The agent takes the panel over from the panel's own clock.
    panel_.StopPanelClock();
    panel_.Clear();
    s.shellActive = 1;
  }
  s.shellSessionId = event.sessionId;
  panel_.ShowClock(0);
  s.clockMode = 1;
  panel_.WriteText(kCmdLine2, menu.scroll, menu.name);

  // A menu screen on the mode that plays lasts one wait, then the media is redrawn.
  if (menu.navCode == NavPictures) {
    if (s.currentSessionId != -1 && s.displayMode == ModePictures &&
        pictures_.PictureSessionCount() > 0) {
      PanelSleep();
      s.navCode = NavNone;
      RefreshNowPlaying(s.currentSessionId);
    } else if (s.currentSessionId != -1 && s.currentSessionId == s.mediaSessionId) {
      s.displayMode = s.mediaMode;
    }
    return;
  }
  if (s.currentSessionId != -1 &&
      (EndsMenuScreen(menu, s.displayMode) || EndsMenuScreen(menu, s.mediaMode))) {
    PanelSleep();
    s.navCode = NavNone;
    if (EndsMenuScreen(menu, s.mediaMode)) {
      s.displayMode = s.mediaMode;
      s.currentSessionId = s.mediaSessionId;
    }
    RefreshNowPlaying(s.currentSessionId);
  }
}

// ---------------------------------------------------------------------------------------------
// Power

void MediaEngine::OnEndSession() {
  process_.powerState = PowerSessionEnding;
  panel_.Clear();
  panel_.StartPanelClock();
}

void MediaEngine::OnSuspend() {
  process_.powerState = PowerSuspended;
  panel_.Clear();
  panel_.StartPanelClock();
}

void MediaEngine::OnReturnToNormal() {
  process_.powerState = PowerNormal;
}

void MediaEngine::OnEnterQuiet() {
  process_.powerState = PowerQuiet;
  panel_.Clear();
  if (state_.markedSessionId != -1) panel_.SetMarkedSessionIcon(1);
  state_.clockMode = 2;
}

void MediaEngine::OnResume() {
  RebuildPanel(true);
}

void MediaEngine::OnLeaveQuiet() {
  RebuildPanel(false);
}

// The panel cannot be read back: after a suspend or a quiet period it is rebuilt from the icon
// memory, the level and the transport flags.
void MediaEngine::RebuildPanel(bool fromSuspend) {
  AgentState& s = state_;
  process_.powerState = PowerNormal;
  if (s.shellActive == 1) {
    if (fromSuspend) {
      panel_.StopPanelClock();
    } else {
      s.clockMode = 0;
    }
    panel_.Clear();
    panel_.SetLevel(s.level);
    if (s.auxIndicatorOn != 0) panel_.SetAuxIndicatorIcon(1);
    if (s.sessionIndicatorOn != 0) panel_.SetSessionIndicatorIcon(1);
    for (const uint8_t mode : kRebuildIconOrder) {
      const ModeTraits& traits = *FindModeTraits(mode);
      if (s.*traits.iconFlag == 0) continue;
      if (traits.hasIcon) panel_.SetIcon(traits.icon, 1);
      break;
    }
    if (s.pictureIconOn != 0) panel_.SetPictureIcon(1);
    if (s.navCode != NavNone) {
      ShowMenuName();
      PictureSessionRecord record;
      if (s.displayMode == ModePictures) {
        if (pictures_.FindPictureSession(s.currentSessionId, record) != 0) {
          panel_.SetPlayIcon(record.playing);
          panel_.SetPauseIcon(record.paused);
        }
      } else if (s.currentSessionId == s.mediaSessionId) {
        panel_.SetPlayIcon(s.playing);
        panel_.SetPauseIcon(s.paused);
      }
    } else {
      RefreshNowPlaying(s.currentSessionId);
    }
  } else if (s.shellActive == 0) {
    panel_.Clear();
  }
  if (s.markedSessionId != -1) panel_.SetMarkedSessionIcon(1);
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

// ---------------------------------------------------------------------------------------------
// Transport and indicators

void MediaEngine::OnAuxIndicatorOn(const MediaStateEvent&) {
  panel_.SetAuxIndicatorIcon(1);
  state_.auxIndicatorOn = 1;
}

void MediaEngine::OnAuxIndicatorOff(const MediaStateEvent&) {
  panel_.SetAuxIndicatorIcon(0);
  state_.auxIndicatorOn = 0;
}

void MediaEngine::OnLevel(const MediaStateEvent& event) {
  const auto level = static_cast<uint8_t>((SaturatingAtoi(event.text) & 0xFF) >> 1);
  panel_.SetLevel(level);
  state_.level = level;
}

void MediaEngine::OnPlay(const MediaStateEvent& event) {
  AgentState& s = state_;
  const int32_t sid = event.sessionId;
  PictureSessionRecord picture;
  bool isPicture = false;
  if (sid == s.mediaSessionId) {
    s.playing = 1;
    s.paused = 0;
    s.scanB = 0;
    s.scanA = 0;
  } else if (pictures_.FindPictureSession(sid, picture) != 0) {
    isPicture = true;
    picture.paused = 0;
    picture.playing = 1;
  } else {
    SessionRecord record;
    if (sessions_.FindSession(sid, record) != 0) {
      uint8_t kind = record.mediaKind;
      if (kind == ModeNone && process_.lastNavCode == NavLiveTv) {
        s.navCode = NavNone;
        sessions_.SetMediaKind(sid, ModeLiveTv);
        kind = ModeLiveTv;
      }
      s.mediaMode = kind;
      s.mediaSessionId = sid;
      RestoreMediaDisplay();
    }
  }
  ClockOffForRecordedTv(sid);
  if (isPicture) {
    const bool afterStop = picture.stopped != 0;
    if (afterStop) picture.stopped = 0;
    pictures_.ReplacePictureSession(sid, picture);
    if (afterStop) {
      RefreshPlaying(sid);
    } else {
      ComposePlaying(sid);
    }
  } else if (s.stopped != 0) {
    s.stopped = 0;
    RefreshPlaying(sid);
  } else {
    ComposePlaying(sid);
  }
}

void MediaEngine::OnPause(const MediaStateEvent& event) {
  AgentState& s = state_;
  const int32_t sid = event.sessionId;
  PictureSessionRecord picture;
  if (sid == s.mediaSessionId) {
    s.paused = 1;
    s.playing = 0;
    s.scanB = 0;
    s.scanA = 0;
  } else if (pictures_.FindPictureSession(sid, picture) != 0) {
    picture.playing = 0;
    picture.paused = 1;
    picture.stopped = 0;
    s.scanB = 0;
    pictures_.ReplacePictureSession(sid, picture);
  }
  if (sid == s.currentSessionId || s.currentSessionId == s.shellSessionId) {
    panel_.SetScanAIcon(0);
    panel_.SetPlayIcon(0);
    panel_.SetPauseIcon(1);
    panel_.SetScanBIcon(0);
  }
}

void MediaEngine::OnStop(const MediaStateEvent& event) {
  AgentState& s = state_;
  const int32_t sid = event.sessionId;
  PictureSessionRecord picture;
  if (sid == s.mediaSessionId) {
    s.stopped = 1;
    s.playing = s.paused = s.scanB = s.scanA = 0;
  } else if (pictures_.FindPictureSession(sid, picture) != 0) {
    picture.stopped = 1;
    picture.playing = 0;
    picture.paused = 0;
    pictures_.ReplacePictureSession(sid, picture);
  }
  const bool current = sid == s.currentSessionId;
  if (current) ComposeStopped(sid);
  if (current || s.currentSessionId == s.shellSessionId) {
    panel_.SetScanAIcon(0);
    panel_.SetPlayIcon(0);
    panel_.SetPauseIcon(0);
    panel_.SetScanBIcon(0);
  }
}

void MediaEngine::OnScanA(const MediaStateEvent& event) {
  panel_.SetScanAIcon(1);
  panel_.SetPlayIcon(0);
  panel_.SetPauseIcon(0);
  panel_.SetScanBIcon(0);
  if (event.sessionId == state_.mediaSessionId) {
    state_.scanA = 1;
    state_.playing = state_.paused = state_.scanB = 0;
  }
}

void MediaEngine::OnScanB(const MediaStateEvent& event) {
  panel_.SetScanAIcon(0);
  panel_.SetPlayIcon(0);
  panel_.SetPauseIcon(0);
  panel_.SetScanBIcon(1);
  if (event.sessionId == state_.mediaSessionId) {
    state_.scanB = 1;
    state_.playing = state_.paused = state_.scanA = 0;
  }
}

void MediaEngine::OnScanEnd(const MediaStateEvent& event) {
  AgentState& s = state_;
  const bool ours = event.sessionId == s.currentSessionId || event.sessionId == s.mediaSessionId;
  if (!ours || s.mediaMode != ModeDvd || (s.scanA == 0 && s.scanB == 0)) return;
  s.playing = 1;
  s.scanB = 0;
  s.scanA = 0;
  panel_.SetScanBIcon(0);
  panel_.SetScanAIcon(0);
  panel_.SetPlayIcon(1);
}

void MediaEngine::OnSessionIndicatorOn(const MediaStateEvent&) {
  panel_.SetSessionIndicatorIcon(1);
  state_.sessionIndicator = state_.sessionIndicatorOn = 1;
}

void MediaEngine::OnSessionIndicatorOff(const MediaStateEvent&) {
  panel_.SetSessionIndicatorIcon(0);
  state_.sessionIndicator = state_.sessionIndicatorOn = 0;
}

void MediaEngine::OnSessionMarked(const MediaStateEvent& event) {
  state_.markedSessionId = event.sessionId;
  panel_.SetMarkedSessionIcon(1);
}

void MediaEngine::OnEject(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (s.ejectCount >= 1) return;  // the notice is latched until the clock ages it
  s.ejectCount = 1;
  s.clockMode = 1;
  panel_.WriteText(kCmdLine2, 0, "Disk Ejected");
  PanelSleep();
  if (s.navCode == NavNone && event.sessionId == s.currentSessionId &&
      process_.lastNavCode == NavMusic) {
    s.navCode = NavMusic;
  }
  if (s.navCode != NavNone) {
    ShowMenuName();
  } else {
    RefreshNowPlaying(s.currentSessionId);
  }
}

// ---------------------------------------------------------------------------------------------
// Media texts

void MediaEngine::OnItemNumber(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (s.navCode == NavNone) {
    char line[64];
    switch (s.mediaMode) {
      case ModeLiveTv:
        std::snprintf(line, sizeof line, "CH-%s      ", event.text);
        panel_.WriteText(kCmdLine2, 0, line);
        panel_.ShowClock(0);
        s.clockMode = 1;
        break;
      case ModeCd:
        std::snprintf(line, sizeof line, "TR-%s  ", event.text);
        panel_.WriteText(kCmdLine2, 0, line);
        panel_.WriteText(kCmdLine3, 0, "            ");
        break;
      case ModeDvd:
        std::snprintf(line, sizeof line, "T-%02d CH-%s  ", SaturatingAtoi(s.titleNumberText),
                      event.text);
        panel_.WriteText(kCmdLine2, 0, line);
        break;
      case ModeVcd:
        std::snprintf(line, sizeof line, "%s  ", event.text);
        panel_.WriteText(kCmdLine2, 0, line);
        break;
      default:
        break;
    }
  }
  StoreText(s.numberText, event.text);
}

void MediaEngine::OnMediaName(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (s.mediaMode == ModeRecordedTv || s.mediaMode == ModeVideo) {
    if (s.navCode == NavNone) ShowLine2Clipped(event.text);
    StoreText(s.nameText, event.text);
    return;
  }
  if (s.mediaMode != ModeDvd && s.mediaMode != ModeVcd) return;
  if (std::strncmp(event.text, "VCD", 3) == 0) {
    if (s.vcdDisc == 0) {
      s.vcdDisc = 1;
      s.displayMode = ModeVcd;
      s.mediaMode = ModeVcd;
      s.dvdIconOn = 0;
      s.vcdIconOn = 1;
      panel_.SetDvdIcon(0);
      panel_.SetVcdIcon(1);
    }
    if (s.navCode == NavNone) ShowLine2Clipped(event.text);
  } else if (s.vcdDisc == 1) {
    s.vcdDisc = 0;
    s.displayMode = ModeDvd;
    s.mediaMode = ModeDvd;
    s.vcdIconOn = 0;
    s.dvdIconOn = 1;
    panel_.SetVcdIcon(0);
    panel_.SetDvdIcon(1);
    if (s.navCode == NavNone) RestoreMediaDisplay();
  }
  StoreText(s.nameText, event.text);
}

void MediaEngine::OnExtraText(const MediaStateEvent& event) {
  if (state_.mediaMode == ModeMusic || state_.mediaMode == ModeCd) {
    StoreText(state_.extraText, event.text);
  }
}

void MediaEngine::OnPlayTime(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (event.sessionId != s.currentSessionId || event.sessionId != s.mediaSessionId) return;
  switch (s.mediaMode) {
    case ModeLiveTv:
      return;
    case ModeCd:
      if (s.navCode == NavNone) {
        char line[64];
        std::snprintf(line, sizeof line, "TR-%03d     ", SaturatingAtoi(s.numberText));
        panel_.WriteText(kCmdLine2, 0, line);
      }
      break;
    case ModeDvd:
    case ModeVcd:
      // The disc icon goes out again with the fourth and fifth time event of a disc session.
      if (s.timeEventCount < 3) {
        ++s.timeEventCount;
      } else if (s.timeEventCount == 3 || s.timeEventCount == 4) {
        if (s.vcdDisc != 0) {
          panel_.SetDvdIcon(0);
          panel_.SetVcdIcon(1);
        } else {
          panel_.SetDvdIcon(1);
          panel_.SetVcdIcon(0);
        }
        ++s.timeEventCount;
      }
      break;
    default:
      break;
  }
  StoreText(s.timeText, event.text);
  if (s.navCode == NavNone) WriteTimeLine(event.text, false);
}

void MediaEngine::OnMusicTitle(const MediaStateEvent& event) {
  if (state_.mediaMode != ModeMusic) return;
  if (state_.navCode == NavNone) ShowLine2Text(event.text);
  StoreText(state_.titleText, event.text);
}

void MediaEngine::OnTitleNumber(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (s.navCode == NavNone && s.displayMode == ModeDvd) {
    char line[64];
    std::snprintf(line, sizeof line, "T-%02d CH-%03d  ", SaturatingAtoi(event.text),
                  SaturatingAtoi(s.numberText));
    panel_.WriteText(kCmdLine2, 0, line);
  }
  StoreText(s.titleNumberText, event.text);
}

void MediaEngine::OnPictureName(const MediaStateEvent& event) {
  AgentState& s = state_;
  const int32_t sid = event.sessionId;
  s.currentSessionId = sid;
  s.displayMode = ModePictures;
  if (s.navCode == NavNone) {
    panel_.WriteText(kCmdLine2, 0, "   ");
    ShowLine2Text(event.text);
  }
  // The caption is the first 32 bytes of the text field, taken as they are.
  PictureSessionRecord record;
  const bool found = pictures_.FindPictureSession(sid, record) != 0;
  std::memcpy(record.caption, event.text, kCaptionSize);
  if (found) {
    pictures_.ReplacePictureSession(sid, record);
  } else {
    record.sessionId = sid;
    pictures_.AddPictureSession(record);
  }
}

void MediaEngine::OnRadioFrequency(const MediaStateEvent& event) {
  AgentState& s = state_;
  s.displayMode = ModeRadio;
  s.currentSessionId = event.sessionId;
  if (s.navCode == NavNone) {
    panel_.WriteText(kCmdLine2, 0, "   ");
    panel_.WriteText(kCmdLine3, 0, "   ");
    ShowFrequency(event.text);
  }
  StoreText(s.frequencyText, event.text);
}

void MediaEngine::OnCallerText(const MediaStateEvent& event) {
  state_.currentSessionId = event.sessionId;
  state_.displayMode = ModePhoneCall;
  if (state_.navCode == NavNone) {
    ShowLine2Clipped(kPhoneCallText);
    ShowCaller(event.text);
  }
}

void MediaEngine::OnMoreProgram(const MediaStateEvent&) {
  if (state_.navCode != NavNone) return;
  ShowLine2Clipped("More Program");
  state_.clockMode = 1;
}

}  // namespace lumora
