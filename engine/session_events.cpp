// The handlers of the session, media start and navigation events.
#include "engine/media_engine.h"

#include <cstring>

#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

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
  ShowLine2Clipped(panel_text::kPhoneCall);
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

}  // namespace lumora
