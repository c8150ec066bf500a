#include "engine/agent_state.h"

#include <cstring>
#include <initializer_list>

namespace lumora {

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

}  // namespace lumora
