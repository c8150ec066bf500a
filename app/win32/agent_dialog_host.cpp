// The Win32 host of the agent's main window; see agent_dialog_host.h for what it binds.
#include "app/win32/agent_dialog_host.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "res/resource.h"

namespace lumora::win32 {

namespace {

LPCSTR ResourceId(WORD id) {
  return MAKEINTRESOURCEA(id);
}

// Posted to the window when a line of the recording could not be written: the box is shown
// once the message in hand has been answered, so that no sender waits for the owner.
constexpr UINT kMsgRecordingFailed = WM_APP + 1;

// The caption of the recording's box. Not "Lumora": senders find the agent's window by that
// exact title.
constexpr char kRecordingBoxCaption[] = "Lumora: LUMORA_RECORD";

// The usual reasons why a file cannot be opened or written, in the owner's words.
struct FileErrorReason {
  DWORD error;
  const char* words;
};
constexpr FileErrorReason kFileErrorReasons[] = {
    {ERROR_FILE_NOT_FOUND, "the file was not found"},
    {ERROR_PATH_NOT_FOUND, "its folder does not exist"},
    {ERROR_ACCESS_DENIED, "access is denied"},
    {ERROR_SHARING_VIOLATION, "another program is using it"},
    {ERROR_LOCK_VIOLATION, "another program is using it"},
    {ERROR_HANDLE_DISK_FULL, "the disk is full"},
    {ERROR_DISK_FULL, "the disk is full"},
    {ERROR_INVALID_NAME, "it is not a valid file name"},
    {ERROR_WRITE_PROTECT, "the disk is write-protected"},
};

// Tells the owner, in one box, that the recording named by LUMORA_RECORD could not be opened
// (writing false) or written, with the file and the reason; the agent runs on either way.
void ShowRecordingProblem(const char* path, bool writing, DWORD error) {
  const char* words = nullptr;
  for (const FileErrorReason& reason : kFileErrorReasons) {
    if (reason.error == error) words = reason.words;
  }
  char why[96];
  if (words != nullptr) {
    std::snprintf(why, sizeof why, "Windows error %lu: %s", static_cast<unsigned long>(error),
                  words);
  } else {
    std::snprintf(why, sizeof why, "Windows error %lu", static_cast<unsigned long>(error));
  }
  char text[1024];
  std::snprintf(text, sizeof text,
                "%s %s (%s).\n\nSet LUMORA_RECORD to a file that can be written and start "
                "Lumora again. Until then Lumora runs without recording.",
                path,
                writing ? "could not be written: the recording stops here"
                        : "could not be opened for recording",
                why);
  MessageBoxA(nullptr, text, kRecordingBoxCaption, MB_OK | MB_ICONWARNING);
}

// The recording asked for by LUMORA_RECORD, opened for appending; null without it. When it
// cannot be opened, one box says so and the agent runs as without it.
std::FILE* OpenRecording() {
  const char* path = std::getenv("LUMORA_RECORD");
  if (path == nullptr || path[0] == '\0') return nullptr;
  // Opened through Windows itself, so that the box can give Windows' own reason.
  HANDLE file = CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ShowRecordingProblem(path, false, GetLastError());
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
  std::FILE* record = descriptor == -1 ? nullptr : _fdopen(descriptor, "ab+");
  if (record == nullptr) {
    if (descriptor == -1) {
      CloseHandle(file);
    } else {
      _close(descriptor);
    }
    ShowRecordingProblem(path, false, ERROR_ACCESS_DENIED);
  }
  return record;
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
  const bool recording = host->record_ != nullptr && !host->recordFailed_;
  if (recording) {
    host->recorder_.Received(message, wParam, lParam);
    host->CheckRecording();
  }
  const LRESULT result = host->agent_.WindowProc(message, wParam, lParam);
  if (recording) host->recorder_.Handled();
  if (message == WM_NCDESTROY) host->window_ = nullptr;
  return result;
}

void AgentDialogHost::CheckRecording() {
  if (!recorder_.failed() || recordFailed_) return;
  // The C library keeps Windows' reason for its last failed write.
  DWORD error = static_cast<DWORD>(_doserrno);
  if (error == ERROR_SUCCESS) error = errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
  // One box for the whole run: nothing more is written after the first failure.
  recordFailed_ = true;
  PostMessageA(window_, kMsgRecordingFailed, error, 0);
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
    case kMsgRecordingFailed:
      ShowRecordingProblem(std::getenv("LUMORA_RECORD"), true, static_cast<DWORD>(wParam));
      return 0;
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
