// The Win32 host of the agent's main window; see agent_dialog_host.h for what it binds.
#include "app/win32/agent_dialog_host.h"

#include <cstdlib>

#include "res/resource.h"

namespace lumora::win32 {

namespace {

LPCSTR ResourceId(WORD id) {
  return MAKEINTRESOURCEA(id);
}

// The recording asked for by LUMORA_RECORD, opened for appending; null without it, or when it
// cannot be opened (the agent then runs as without it).
std::FILE* OpenRecording() {
  const char* path = std::getenv("LUMORA_RECORD");
  if (path == nullptr || path[0] == '\0') return nullptr;
  return std::fopen(path, "ab+");
}

}  // namespace

AgentDialogHost* AgentDialogHost::running_ = nullptr;

AgentDialogHost::AgentDialogHost(HINSTANCE instance)
    : instance_(instance),
      platform_(*this),
      record_(OpenRecording()),
      recorder_(platform_, record_, nullptr),
      agent_(record_ != nullptr ? static_cast<Platform&>(recorder_) : platform_),
      icon_(LoadIconA(instance, ResourceId(IDR_MAINFRAME))) {}

AgentDialogHost::~AgentDialogHost() {
  // Every line was flushed as it was written; the agent, destroyed after this, writes none.
  if (record_ != nullptr) std::fclose(record_);
}

INT_PTR AgentDialogHost::DoModal() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = LUMORA_DIALOG_CLASS;
  if (RegisterClassExA(&windowClass) == 0) return -1;

  running_ = this;
  const INT_PTR result =
      DialogBoxParamA(instance_, ResourceId(IDD_AGENT_DIALOG), nullptr, DialogProcedure, 0);
  running_ = nullptr;
  UnregisterClassA(LUMORA_DIALOG_CLASS, instance_);
  return result;
}

// The window procedure of the dialog class: the agent sees every message first and returns the
// framework's result for it.
LRESULT CALLBACK AgentDialogHost::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  AgentDialogHost* host = running_;
  if (host == nullptr) return DefDlgProcA(window, message, wParam, lParam);
  if (host->window_ == nullptr) host->window_ = window;
  if (host->window_ != window) return DefDlgProcA(window, message, wParam, lParam);
  if (host->record_ != nullptr) host->recorder_.Received(message, wParam, lParam);
  const LRESULT result = host->agent_.WindowProc(message, wParam, lParam);
  if (host->record_ != nullptr) host->recorder_.Handled();
  if (message == WM_NCDESTROY) host->window_ = nullptr;
  return result;
}

// The dialog procedure that DefDlgProcA calls: everything the agent's window needs is done in
// the message map of FrameworkProcessing, so it leaves every message to the default handling.
INT_PTR CALLBACK AgentDialogHost::DialogProcedure(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

LRESULT AgentDialogHost::FrameworkProcessing(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<LRESULT>(icon_);
    case WM_COMMAND:
      // "OK" (also Enter) and "Exit" (also Escape and closing the window): the data exchange
      // has nothing to save, so both simply end the dialog.
      if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window_, LOWORD(wParam));
        return 0;
      }
      break;
    default:
      break;
  }
  return DefDlgProcA(window_, message, wParam, lParam);
}

BOOL AgentDialogHost::OnInitDialog() {
  listBox_ = GetDlgItem(window_, IDC_AGENT_LIST);
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  // The agent's address: senders find the window by this title.
  SetWindowTextA(window_, "Lumora");
  return agent_.OnInitDialog() ? TRUE : FALSE;
}

void AgentDialogHost::OnPaint() {
  if (IsIconic(window_)) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(window_, &paint);
    return;
  }
  // The window is never meant to be seen: every normal paint hides it again.
  DefDlgProcA(window_, WM_PAINT, 0, 0);
  ShowWindow(window_, SW_HIDE);
}

}  // namespace lumora::win32
