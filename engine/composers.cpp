// The now-playing composers: what the Agent State holds about the media of the session that
// the panel shows, turned into line 2, line 3, the mode icon and the transport icons.
#include <cstring>

#include "engine/media_engine.h"
#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

// The elapsed play time on line 3 from the six raw characters HHMMSS; the stopped form starts
// with an asterisk. A NUL among the six ends the line there.
void MediaEngine::WriteTimeLine(const char* time, bool stopped) {
  WriteFormatted(kCmdLine3, stopped ? panel_text::kPlayTimeStopped : panel_text::kPlayTime, time[0],
                 time[1], time[2], time[3], time[4], time[5]);
}

// Line 2 of a media mode while it plays (the pictures caption is the caller's); the stopped form
// differs for live TV only.
void MediaEngine::WriteNowPlayingLine2(uint8_t mode, bool stoppedForm) {
  const AgentState& s = state_;
  switch (mode) {
    case ModeLiveTv:
      WriteFormatted(kCmdLine2, stoppedForm ? panel_text::kChannelStopped : panel_text::kChannel,
                     SaturatingAtoi(s.numberText));
      break;
    case ModeRecordedTv:
    case ModeVideo:
      ShowLine2Clipped(s.nameText);
      break;
    case ModeCd:
      WriteFormatted(kCmdLine2, panel_text::kTrack, SaturatingAtoi(s.numberText));
      break;
    case ModeMusic:
      ShowLine2Clipped(s.titleText);
      break;
    case ModeDvd:
      WriteFormatted(kCmdLine2, panel_text::kTitleChapter, SaturatingAtoi(s.titleNumberText),
                     SaturatingAtoi(s.numberText));
      break;
    case ModeRadio:
      ShowFrequency(s.frequencyText);
      break;
    case ModeVcd:
      WriteFormatted(kCmdLine2, panel_text::kVcdText, s.nameText);
      break;
    default:
      break;
  }
}

void MediaEngine::TransportIconRefresh(int32_t stopped, int32_t playing, int32_t paused) {
  if (stopped != 0) {
    panel_.SetPlayIcon(0);
  } else if (playing != 0) {
    panel_.SetPlayIcon(1);
  }
  panel_.SetPauseIcon(paused != 0 ? 1 : 0);
  panel_.SetScanBIcon(0);
  panel_.SetScanAIcon(0);
}

void MediaEngine::ComposeStopped(int32_t sessionId) {
  const AgentState& s = state_;
  if (s.navCode != NavNone || sessionId != s.currentSessionId) return;
  switch (s.displayMode) {
    case ModeLiveTv:
      WriteFormatted(kCmdLine2, panel_text::kChannelStopped, SaturatingAtoi(s.numberText));
      break;
    case ModeCd:
      WriteFormatted(kCmdLine2, panel_text::kTrackStopped, SaturatingAtoi(s.numberText));
      WriteTimeLine(s.timeText, true);
      break;
    case ModeMusic:
      ShowLine2Clipped(s.titleText);
      WriteTimeLine(s.timeText, true);
      break;
    case ModeRecordedTv:
    case ModeVideo:
    case ModeDvd:
    case ModeVcd:
      WriteTimeLine(s.timeText, true);
      break;
    default:
      break;
  }
}

void MediaEngine::ComposePlaying(int32_t sessionId) {
  AgentState& s = state_;
  // A play event of a known session always ends the menu screen state.
  SessionRecord record;
  if (sessions_.FindSession(sessionId, record) != 0) {
    s.navCode = NavNone;
    s.displayMode = record.mediaKind;
  }
  if (s.navCode == NavNone) {
    if (sessionId != s.currentSessionId) return;
    const ModeTraits* traits = FindModeTraits(s.displayMode);
    if (traits != nullptr && traits->nowPlaying && traits->mode != ModePictures) {
      s.clockMode = traits->playClockMode;
      WriteNowPlayingLine2(s.displayMode, false);
    }
    panel_.SetPauseIcon(0);
    panel_.SetScanBIcon(0);
    panel_.SetScanAIcon(0);
    panel_.SetPlayIcon(1);
    return;
  }
  // A menu screen stays on the panel: only the transport icons change.
  if (sessionId == s.currentSessionId) {
    if (s.displayMode == ModePictures) {
      PictureSessionRecord picture;
      if (pictures_.FindPictureSession(s.currentSessionId, picture) != 0) {
        TransportIconRefresh(picture.stopped, picture.playing, picture.paused);
      } else {
        panel_.SetScanBIcon(0);
        panel_.SetScanAIcon(0);
      }
    } else {
      TransportIconRefresh(s.stopped, s.playing, s.paused);
    }
  } else if (s.currentSessionId == s.shellSessionId) {
    panel_.SetPlayIcon(1);
    panel_.SetPauseIcon(0);
    panel_.SetScanBIcon(0);
    panel_.SetScanAIcon(0);
    s.currentSessionId = sessionId;
  }
}

void MediaEngine::RefreshPlaying(int32_t sessionId) {
  AgentState& s = state_;
  if (s.navCode != NavNone) {
    if (s.displayMode == ModePictures) {
      panel_.SetPauseIcon(0);
    } else {
      if (s.stopped != 0) {
        panel_.SetPlayIcon(0);
      } else if (s.playing != 0) {
        panel_.SetPlayIcon(1);
      }
      panel_.SetPauseIcon(s.paused != 0 ? 1 : 0);
    }
    panel_.SetScanBIcon(0);
    panel_.SetScanAIcon(0);
    return;
  }
  if (sessionId != s.currentSessionId) return;
  RedrawNowPlaying(false);
}

void MediaEngine::RefreshNowPlaying(int32_t sessionId) {
  if (state_.navCode != NavNone || sessionId != state_.currentSessionId) return;
  RedrawNowPlaying(true);
}

// The whole now-playing display of the current session: mode icon, clock mode, line 2, the
// play time on line 3, then the transport icons. withStoppedForms shows a stopped session in
// its stopped forms; without it a session without a picture record shows the menu's name.
void MediaEngine::RedrawNowPlaying(bool withStoppedForms) {
  AgentState& s = state_;
  const uint8_t mode = s.displayMode;
  const bool stoppedForm = withStoppedForms && s.stopped != 0;
  PictureSessionRecord picture;
  const bool hasPicture =
      mode == ModePictures && pictures_.FindPictureSession(s.currentSessionId, picture) != 0;
  const ModeTraits* traits = FindModeTraits(mode);
  if (traits != nullptr && traits->nowPlaying) {
    LightModeIcon(mode);
    s.clockMode = traits->playClockMode;
    if (mode != ModePictures) {
      WriteNowPlayingLine2(mode, stoppedForm);
    } else if (hasPicture) {
      char caption[kCaptionSize + 1] = {};
      std::memcpy(caption, picture.caption, kCaptionSize);
      ShowLine2Text(caption);
    } else if (!withStoppedForms) {
      ShowLine2Text(FindMenu(NavPictures)->name);
    }
    if (traits->playClockMode == 0) WriteTimeLine(s.timeText, stoppedForm);
  }
  if (mode == ModePictures) {
    TransportIconRefresh(picture.stopped, picture.playing, picture.paused);
  } else {
    TransportIconRefresh(s.stopped, s.playing, s.paused);
  }
}

void MediaEngine::ShowCaller(const char* text) {
  ShowLine2Clipped(panel_text::kPhoneCall);
  panel_.WriteText(kCmdLine3, 0, panel_text::kBlankLine3);
  char caller[kEventTextSize] = {};
  const size_t length = BoundedLength(text, kEventTextSize - 1);
  std::memcpy(caller, text, length);
  panel_.WriteText(kCmdLine3, LongTextScroll(length), caller);
}

void MediaEngine::ClearTransport(uint8_t mode) {
  if (mode != ModePictures) {
    state_.playing = state_.paused = state_.stopped = state_.scanB = state_.scanA = 0;
  }
  panel_.SetPlayIcon(0);
  panel_.SetPauseIcon(0);
}

void MediaEngine::ClockOffForRecordedTv(int32_t sessionId) {
  if (sessionId == state_.currentSessionId && state_.displayMode == ModeRecordedTv) {
    state_.clockMode = 0;
  }
}

// Lights the icon of a media mode and remembers it; VcdIcon puts DvdIcon out first, and radio
// has no icon but is remembered all the same.
void MediaEngine::LightModeIcon(uint8_t mode) {
  const ModeTraits* traits = FindModeTraits(mode);
  if (traits == nullptr) return;
  if (traits->clearsDvdFirst) {
    panel_.SetDvdIcon(0);
    state_.dvdIconOn = 0;
  }
  if (traits->hasIcon) panel_.SetIcon(traits->icon, 1);
  if (traits->iconFlag != nullptr) state_.*traits->iconFlag = 1;
}

}  // namespace lumora
