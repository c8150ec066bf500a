// The handlers of the transport, level and indicator events.
#include "engine/media_engine.h"

#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

void MediaEngine::OnAuxIndicatorOn(const MediaStateEvent&) {
  panel_.SetAuxIndicatorIcon(1);
  state_.auxIndicatorOn = 1;
}

void MediaEngine::OnAuxIndicatorOff(const MediaStateEvent&) {
  panel_.SetAuxIndicatorIcon(0);
  state_.auxIndicatorOn = 0;
}

void MediaEngine::OnLevel(const MediaStateEvent& event) {
  const uint8_t level = LevelOfPayload(SaturatingAtoi(event.text));
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
  StartScan(event.sessionId, true);
}

void MediaEngine::OnScanB(const MediaStateEvent& event) {
  StartScan(event.sessionId, false);
}

// Both scans light their own icon among the four transport icons, in one order, and take the
// media session's transport flags over.
void MediaEngine::StartScan(int32_t sessionId, bool scanA) {
  panel_.SetScanAIcon(scanA ? 1 : 0);
  panel_.SetPlayIcon(0);
  panel_.SetPauseIcon(0);
  panel_.SetScanBIcon(scanA ? 0 : 1);
  if (sessionId == state_.mediaSessionId) {
    state_.playing = state_.paused = 0;
    state_.scanA = scanA ? 1 : 0;
    state_.scanB = scanA ? 0 : 1;
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
  panel_.WriteText(kCmdLine2, 0, panel_text::kDiskEjected);
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

}  // namespace lumora
