// The Win32 host of the agent's main window: the small dialog layer that takes the place of a
// dialog framework around the portable CAgentDlg (app/agent_dlg.h).
//
// Binds:
//   - dialog template 102 (res/lumora.rc), run as a modal dialog (DialogBoxParamA) of the
//     window class "LumoraAgentDialog", a dialog class of its own: its window procedure hands
//     every message of the window, from WM_NCCREATE on, to CAgentDlg::WindowProc first
//   - the framework's processing after the agent (Platform::DefaultProcessing): the message map
//     (WM_INITDIALOG, WM_PAINT, WM_QUERYDRAGICON, the "OK" and "Exit" buttons), then
//     DefDlgProcA, which also turns closing the window into "Exit"
//   - dialog initialisation: control 1000 attached, icon 128 set with WM_SETICON (big, then
//     small), the title "Lumora" set before the window is first shown, then the agent's own
//     initialisation (state reset, panel option 3 and clear, timer 1 at 1000 ms)
//   - painting: hidden again after every normal paint; minimized, the icon drawn centred
//   - recording: only when the environment variable LUMORA_RECORD names a file, every message
//     the window receives is appended to it as a scenario line (recorder/recorder.h) before
//     the agent sees it; without the variable nothing of this exists. A file that cannot be
//     opened, or a line that cannot be written, is told in one box that names the file and
//     Windows' reason (caption "Lumora: LUMORA_RECORD"); the agent runs on without recording
// The agent itself runs the clock tick on WM_TIMER and kills the timer after WM_DESTROY.
#pragma once

#include <windows.h>

#include <cstdio>
#include "app/agent_dlg.h"

#include "app/win32/win32_platform.h"
#include "recorder/recorder.h"

namespace lumora::win32 {

class AgentDialogHost {
 public:
  // Builds the agent (which opens the panel, or shows the open-error box) and then loads the
  // application icon. The window does not exist yet.
  explicit AgentDialogHost(HINSTANCE instance);
  ~AgentDialogHost();
  AgentDialogHost(const AgentDialogHost&) = delete;
  AgentDialogHost& operator=(const AgentDialogHost&) = delete;

  // Creates the window from dialog template 102 and runs it until "OK", "Exit", Enter, Escape
  // or closing the window ends it. Returns IDOK or IDCANCEL, or -1 when no window could be made.
  INT_PTR DoModal();

  // The main window; null before it is created and after it is destroyed.
  HWND window() const { return window_; }

  // The framework's processing of a message after the agent has seen it.
  LRESULT FrameworkProcessing(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  // After the recorder has written a message: the first failed write is reported once.
  void CheckRecording();
  void OnPaint();

  // The one dialog of the process while it runs; its window class finds it through this.
  static AgentDialogHost* running_;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND listBox_ = nullptr;  // control 1000: attached at initialisation, never filled or read
  Win32Platform platform_;
  std::FILE* record_;                   // LUMORA_RECORD's file; null when not recording
  bool recordFailed_ = false;           // a write failed: the recording has stopped
  recorder::MessageRecorder recorder_;  // between the agent and the platform while recording
  CAgentDlg agent_;                     // constructed after the platform: opens the panel
  HICON icon_;                          // loaded after the panel was opened
};

}  // namespace lumora::win32
