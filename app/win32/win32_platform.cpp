// The Win32 binding of the platform boundary; see win32_platform.h for what it binds.
#include "app/win32/win32_platform.h"

#include <cstddef>

#include "app/win32/agent_dialog_host.h"

namespace lumora::win32 {

// Windows passes WM_COPYDATA's lParam as a COPYDATASTRUCT; the core reads it with its own
// description of that layout.
static_assert(sizeof(COPYDATASTRUCT) == sizeof(CopyDataStruct));
static_assert(offsetof(COPYDATASTRUCT, dwData) == offsetof(CopyDataStruct, dwData));
static_assert(offsetof(COPYDATASTRUCT, cbData) == offsetof(CopyDataStruct, cbData));
static_assert(offsetof(COPYDATASTRUCT, lpData) == offsetof(CopyDataStruct, lpData));
static_assert(sizeof(int) == sizeof(int32_t));

int32_t Win32Platform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  if (!library_.loaded()) {
    // As a device that cannot be opened: no handle, and the error variable left as it is.
    explainLibraryProblem_ = true;
    return -1;
  }
  return library_.Open(device, width, height, error);
}

// The panel wrapper calls these only with the handle of a successful open, so only with the
// library loaded.
int32_t Win32Platform::VFD_Cmd(int32_t handle, uint8_t* packet) {
  return library_.Cmd(handle, packet);
}

int32_t Win32Platform::CloseVFD(int32_t handle) {
  return library_.Close(handle);
}

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  return time;
}

int32_t Win32Platform::GetLocaleLanguage(char* buffer, int32_t size) {
  return ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, buffer, size);
}

void Win32Platform::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

void Win32Platform::ShowMessageBox(const char* caption, const char* text) {
  if (explainLibraryProblem_) {
    // The open failed for want of a usable library: "OpenVFD Error: 0" would say nothing, so
    // this one box names the file and the reason.
    explainLibraryProblem_ = false;
    ::MessageBoxA(nullptr, library_.problem(), kLibraryBoxCaption, MB_OK | MB_ICONERROR);
    return;
  }
  ::MessageBoxA(nullptr, text, caption, MB_OK);
}

void Win32Platform::HideWindow() {
  ::ShowWindow(host_.window(), SW_HIDE);
}

uintptr_t Win32Platform::SetTimer(uintptr_t id, uint32_t periodMs) {
  return ::SetTimer(host_.window(), id, periodMs, nullptr);
}

void Win32Platform::KillTimer(uintptr_t timerId) {
  ::KillTimer(host_.window(), timerId);
}

intptr_t Win32Platform::DefaultProcessing(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return host_.FrameworkProcessing(message, wParam, lParam);
}

}  // namespace lumora::win32
