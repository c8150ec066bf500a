#include "app/agent_dlg.h"

#include "base/media_event.h"

namespace lumora {

CAgentDlg::CAgentDlg(Platform& platform, ProcessState& process)
    : platform_(platform), panel_(platform), engine_(platform, panel_, process) {}

bool CAgentDlg::OnInitDialog() {
  engine_.StartupReset();
  panel_.SetPanelOption(3);
  panel_.Clear();
  timerId_ = platform_.SetTimer(kClockTimerId, kClockTimerPeriodMs);
  return true;
}

intptr_t CAgentDlg::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Route(message, wParam, lParam);
  // The message map: the clock tick before default processing, the timer killed after the
  // default destroy processing.
  if (message == kWmTimer) {
    if (wParam == kClockTimerId && engine_.OnClockTick()) platform_.HideWindow();
  } else if (message == kWmDestroy) {
    const intptr_t result = platform_.DefaultProcessing(message, wParam, lParam);
    platform_.KillTimer(timerId_);
    return result;
  }
  return platform_.DefaultProcessing(message, wParam, lParam);
}

void CAgentDlg::Route(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmEndSession:
      if (wParam == 1) engine_.OnEndSession();
      break;
    case kWmPowerBroadcast:
      RoutePower(wParam);
      break;
    case kWmCopyData: {
      if (lParam == 0) break;
      // The handler works on its own copy of the record; nothing reads the sender's memory
      // after this.
      MediaStateEvent event;
      if (DecodeMediaStateEvent(*reinterpret_cast<const CopyDataStruct*>(lParam), event)) {
        engine_.HandleEvent(event);
      }
      break;
    }
    default:
      break;
  }
}

void CAgentDlg::RoutePower(uintptr_t code) {
  switch (code) {
    case kPbtApmSuspend:
      engine_.OnSuspend();
      break;
    case kPbtApmResumeCritical:
    case kPbtApmResumeAutomatic:
      engine_.OnReturnToNormal();
      break;
    case kPbtApmResumeSuspend:
      engine_.OnResume();
      break;
    case kPowerEnterQuiet:
      engine_.OnEnterQuiet();
      break;
    case kPowerLeaveQuiet:
      engine_.OnLeaveQuiet();
      break;
    default:
      break;
  }
}

}  // namespace lumora
