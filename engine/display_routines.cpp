// Display routines shared by the handlers and the composers: leaving a media mode, restoring
// the media display, menu names, and the line-2 writers that choose a text's scroll byte.
#include <cstring>

#include "engine/media_engine.h"
#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

namespace {

constexpr size_t kClippedLength = 32;

}  // namespace

void MediaEngine::LeaveMediaMode(int32_t sessionId, int32_t force) {
  AgentState& s = state_;
  if (sessionId == s.mediaSessionId && force == 0) return;
  const ModeTraits* traits = FindModeTraits(s.mediaMode);
  if (traits != nullptr && traits->leaves) {
    if (traits->hasIcon) panel_.SetIcon(traits->icon, 0);
    if (traits->resetsTimeEvents) s.timeEventCount = 0;
    if (s.navCode == NavNone || traits->clearsLinesUnderMenu) {
      panel_.WriteText(kCmdLine2, 0, panel_text::kBlank);
      panel_.WriteText(kCmdLine3, 0, panel_text::kBlank);
    }
    if (traits->dropsSessionIndicator) {
      panel_.SetSessionIndicatorIcon(0);
      s.sessionIndicatorOn = 0;
    }
    if (traits->iconFlag != nullptr) s.*traits->iconFlag = 0;
  }
  s.mediaSessionId = 0;
  s.mediaMode = ModeNone;
}

void MediaEngine::RestoreMediaDisplay() {
  AgentState& s = state_;
  if (s.mediaSessionId == 0) return;
  s.currentSessionId = s.mediaSessionId;
  s.displayMode = s.mediaMode;
  const bool noMenu = s.navCode == NavNone;
  switch (s.mediaMode) {
    case ModeLiveTv:
      if (noMenu) {
        panel_.SetTvIcon(1);
        s.tvIconOn = 1;
        WriteFormatted(kCmdLine2, panel_text::kChannel, SaturatingAtoi(s.numberText));
      }
      break;
    case ModeCd:
      s.sessionIndicatorOn = s.sessionIndicator;
      if (noMenu) {
        WriteFormatted(kCmdLine2, panel_text::kTrackRestored, SaturatingAtoi(s.numberText));
      }
      break;
    case ModeMusic:
      s.sessionIndicatorOn = s.sessionIndicator;
      if (noMenu) ShowLine2Text(s.titleText);
      break;
    case ModeVideo:
    case ModeVcd:
      if (noMenu) ShowLine2Clipped(s.nameText);
      break;
    case ModeDvd:
      if (noMenu) {
        WriteFormatted(kCmdLine2, panel_text::kTitleChapterRestored,
                       SaturatingAtoi(s.titleNumberText), SaturatingAtoi(s.numberText));
      }
      break;
    case ModeRadio:
      if (noMenu) ShowFrequency(s.frequencyText);
      break;
    default:
      break;
  }
  panel_.SetPlayIcon(s.playing);
  panel_.SetPauseIcon(s.paused);
}

void MediaEngine::ShowMenuName() {
  if (state_.navCode == NavNone) return;
  state_.clockMode = 1;
  if (const MenuInfo* menu = FindMenu(state_.navCode)) {
    panel_.WriteText(kCmdLine2, menu->scroll, menu->name);
  }
}

void MediaEngine::ShowModeMenuName(uint8_t mode) {
  state_.clockMode = 1;
  const ModeTraits* traits = FindModeTraits(mode);
  if (traits == nullptr) return;
  if (const MenuInfo* menu = FindMenu(traits->menu)) {
    panel_.WriteText(kCmdLine2, menu->scroll, menu->name);
  }
}

void MediaEngine::ShowLine2Text(const char* text) {
  panel_.WriteText(kCmdLine2, LongTextScroll(BoundedLength(text, kPayloadSize)), text);
}

void MediaEngine::ShowLine2Clipped(const char* text) {
  char clipped[kClippedLength + 1] = {};
  const size_t length = BoundedLength(text, kClippedLength);
  std::memcpy(clipped, text, length);
  panel_.WriteText(kCmdLine2, LongTextScroll(length), clipped);
}

void MediaEngine::ShowFrequency(const char* text) {
  switch (BoundedLength(text, 10)) {
    case 8:
      WriteFormatted(kCmdLine2, panel_text::kFrequencyOf8Digits, text[0], text[1], text[2]);
      break;
    case 9:
      WriteFormatted(kCmdLine2, panel_text::kFrequencyOf9Digits, text[0], text[1], text[2],
                     text[3]);
      break;
    default:
      break;  // a frequency of any other length leaves line 2 as it is
  }
}

}  // namespace lumora
