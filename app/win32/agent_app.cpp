// The application object of Lumora.exe and the program's entry point (Win32).
//
// Binds: WinMain, the one global application object CAgentApp, and its start-up operation,
// which builds the main window (AgentDialogHost around the portable CAgentDlg), runs it as a
// modal dialog and destroys it; the process then ends. The framework set-up of a dialog
// application (ActiveX control hosting, 3-D controls) and the help command have no counterpart
// here and change nothing the agent does.
//
// One agent per Windows session: before anything else the program creates the named mutex
// kAgentMutexName in the session's own namespace (Local\). When it exists already, another
// Lumora.exe of this session runs and owns the panel: this one ends at once (status 0), without
// loading the display library, opening the panel, showing a box or making a window. The mutex
// lives as long as the first agent's process.
#include <windows.h>

#include "app/win32/agent_dialog_host.h"

namespace lumora::win32 {

// The session's one agent holds this name; a second start finds it.
constexpr char kAgentMutexName[] = "Local\\Lumora.Agent";

class CAgentApp {
 public:
  // The application's start-up: returns false, so that the process ends when the main window
  // has closed instead of entering a message loop of its own.
  bool InitInstance(HINSTANCE instance);

  AgentDialogHost* mainWindow() const { return mainWindow_; }

 private:
  AgentDialogHost* mainWindow_ = nullptr;
};

bool CAgentApp::InitInstance(HINSTANCE instance) {
  // Constructing the dialog opens the panel (or shows the open-error box) before any window
  // exists; destroying it at the end closes the device without clearing the panel.
  AgentDialogHost dialog(instance);
  mainWindow_ = &dialog;
  dialog.DoModal();  // which button ended the dialog does not matter
  mainWindow_ = nullptr;
  return false;
}

CAgentApp theApp;

}  // namespace lumora::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Held until the process ends; the system closes it then.
  const HANDLE running = CreateMutexA(nullptr, FALSE, lumora::win32::kAgentMutexName);
  if (running != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(running);
    return 0;
  }
  lumora::win32::theApp.InitInstance(instance);
  return 0;
}
