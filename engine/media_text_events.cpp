// The handlers of the media text events: numbers, names, titles, play time, captions, the
// radio frequency and the caller.
#include "engine/media_engine.h"

#include <cstring>

#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

void MediaEngine::OnItemNumber(const MediaStateEvent& event) {
  AgentState& s = state_;
  if (s.navCode == NavNone) {
    switch (s.mediaMode) {
      case ModeLiveTv:
        WriteFormatted(kCmdLine2, panel_text::kChannelAsSent, event.text);
        panel_.ShowClock(0);
        s.clockMode = 1;
        break;
      case ModeCd:
        WriteFormatted(kCmdLine2, panel_text::kTrackAsSent, event.text);
        panel_.WriteText(kCmdLine3, 0, panel_text::kBlankLine3);
        break;
      case ModeDvd:
        WriteFormatted(kCmdLine2, panel_text::kTitleChapterAsSent,
                       SaturatingAtoi(s.titleNumberText), event.text);
        break;
      case ModeVcd:
        WriteFormatted(kCmdLine2, panel_text::kVcdText, event.text);
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
        WriteFormatted(kCmdLine2, panel_text::kTrack, SaturatingAtoi(s.numberText));
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
    WriteFormatted(kCmdLine2, panel_text::kTitleChapterNewTitle, SaturatingAtoi(event.text),
                   SaturatingAtoi(s.numberText));
  }
  StoreText(s.titleNumberText, event.text);
}

void MediaEngine::OnPictureName(const MediaStateEvent& event) {
  AgentState& s = state_;
  const int32_t sid = event.sessionId;
  s.currentSessionId = sid;
  s.displayMode = ModePictures;
  if (s.navCode == NavNone) {
    panel_.WriteText(kCmdLine2, 0, panel_text::kBlank);
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
    panel_.WriteText(kCmdLine2, 0, panel_text::kBlank);
    panel_.WriteText(kCmdLine3, 0, panel_text::kBlank);
    ShowFrequency(event.text);
  }
  StoreText(s.frequencyText, event.text);
}

void MediaEngine::OnCallerText(const MediaStateEvent& event) {
  state_.currentSessionId = event.sessionId;
  state_.displayMode = ModePhoneCall;
  if (state_.navCode == NavNone) {
    ShowLine2Clipped(panel_text::kPhoneCall);
    ShowCaller(event.text);
  }
}

void MediaEngine::OnMoreProgram(const MediaStateEvent&) {
  if (state_.navCode != NavNone) return;
  ShowLine2Clipped(panel_text::kMoreProgram);
  state_.clockMode = 1;
}

}  // namespace lumora
