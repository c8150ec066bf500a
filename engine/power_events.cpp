// The power messages and the end of the Windows session; the rebuild of the panel after a
// suspend or a quiet period.
#include "engine/media_engine.h"

#include "engine/mode_tables.h"
#include "engine/panel_texts.h"
#include "engine/text_util.h"

namespace lumora {

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

}  // namespace lumora
