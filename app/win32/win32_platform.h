// The Win32 binding of the agent's platform boundary (base/platform.h), for Lumora.exe.
//
// Binds:
//   display library   PanelDrv.dll beside the program: OpenVFD, VFD_Cmd, CloseVFD, looked up
//                     by name at start-up (panel_library.h). When it cannot be used, OpenVFD
//                     fails with error 0 and the box that reports the failed open tells the
//                     owner why instead: one box, then the agent runs without the panel
//   kernel            GetLocalTime; GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE); Sleep
//   user interface    MessageBoxA(NULL, text, caption, MB_OK); ShowWindow(SW_HIDE); SetTimer and
//                     KillTimer on the main window
//   default processing  the dialog host's processing of a message after the agent has seen it
//                     (agent_dialog_host.h): its message map, then DefDlgProcA
// Not here: the main window itself, its icons, title and painting (agent_dialog_host.h).
#pragma once

#include <windows.h>

#include "base/platform.h"
#include "paneldrv/loader/panel_library.h"

namespace lumora::win32 {

class AgentDialogHost;

class Win32Platform final : public Platform {
 public:
  // host gives the main window (once it exists) and the framework's processing. Loads the
  // display library.
  explicit Win32Platform(AgentDialogHost& host) : host_(host) {}

  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;

  LocalTime GetLocalTime() override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  void Sleep(uint32_t milliseconds) override;

  void ShowMessageBox(const char* caption, const char* text) override;
  void HideWindow() override;
  uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) override;
  void KillTimer(uintptr_t timerId) override;
  intptr_t DefaultProcessing(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 private:
  AgentDialogHost& host_;
  PanelLibrary library_;
  // The open failed because the library could not be used: the next box (the panel wrapper's
  // report of the failed open) gives the reason instead.
  bool explainLibraryProblem_ = false;
};

}  // namespace lumora::win32
