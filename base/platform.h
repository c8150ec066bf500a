// The platform boundary: everything the agent takes from the operating system and from the
// display-device library goes through this one interface. The portable core (window routing,
// media state engine, panel wrapper) is given a Platform and never calls the system itself, so
// the same core runs in the Win32 host, the Linux host and the deterministic replay.
//
// Bindings:
//   app/win32/   Windows: PanelDrv.dll, GetLocalTime, GetLocaleInfoA, Sleep, MessageBoxA, ...
//   app/posix/   Linux: a display library in the process, localtime_r, LC_TIME/LANG, nanosleep
//   app/replay/  replay: virtual clock, virtual locale, recording display library
#pragma once

#include <cstdint>

namespace lumora {

// The fields of the Windows local time that the agent reads (GetLocalTime).
struct LocalTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1 to 12
  uint16_t day = 0;    // 1 to 31
  uint16_t hour = 0;   // 0 to 23
  uint16_t minute = 0;
  uint16_t second = 0;
};

// Window messages the agent acts on, with their Windows numbers.
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmEndSession = 0x0016;  // 22
inline constexpr uint32_t kWmQueryDragIcon = 0x0037;
inline constexpr uint32_t kWmCopyData = 0x004A;  // 74
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmPowerBroadcast = 0x0218;  // 536

// WM_POWERBROADCAST codes the agent acts on.
inline constexpr uintptr_t kPbtApmSuspend = 4;
inline constexpr uintptr_t kPbtApmResumeCritical = 6;
inline constexpr uintptr_t kPbtApmResumeSuspend = 7;
inline constexpr uintptr_t kPbtApmResumeAutomatic = 18;
inline constexpr uintptr_t kPowerEnterQuiet = 21;
inline constexpr uintptr_t kPowerLeaveQuiet = 22;

// The one timer of the main window: the clock refresh, once a second.
inline constexpr uintptr_t kClockTimerId = 1;
inline constexpr uint32_t kClockTimerPeriodMs = 1000;

// The layout of the Windows COPYDATASTRUCT that WM_COPYDATA's lParam points to.
struct CopyDataStruct {
  uintptr_t dwData = 0;
  uint32_t cbData = 0;
  const void* lpData = nullptr;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- The display-device library (PanelDrv.dll) ---
  // Opens the panel; returns the device handle, or -1 with an error code in *error.
  virtual int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) = 0;
  // Sends one 65-byte Panel Command Packet; returns the library's result.
  virtual int32_t VFD_Cmd(int32_t handle, uint8_t* packet) = 0;
  // Closes the panel; the result is not used.
  virtual int32_t CloseVFD(int32_t handle) = 0;

  // --- Kernel services ---
  // The local date and time, read afresh on every call.
  virtual LocalTime GetLocalTime() = 0;
  // The user's locale language identifier as text (GetLocaleInfoA with LOCALE_USER_DEFAULT and
  // LOCALE_ILANGUAGE): writes a NUL-terminated answer into buffer and returns the number of
  // characters written including the NUL, or 0 when the query fails.
  virtual int32_t GetLocaleLanguage(char* buffer, int32_t size) = 0;
  // Blocks the agent's thread for the given time.
  virtual void Sleep(uint32_t milliseconds) = 0;

  // --- User interface ---
  // The modal message box with no owner and one OK button; returns when it is dismissed.
  virtual void ShowMessageBox(const char* caption, const char* text) = 0;
  // Hides the main window (ShowWindow with SW_HIDE).
  virtual void HideWindow() = 0;
  // Starts a periodic timer on the main window; returns its id, 0 on failure.
  virtual uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) = 0;
  virtual void KillTimer(uintptr_t timerId) = 0;
  // The framework's processing of a message after the agent has seen it (message map, then
  // default window processing); its result is what the window procedure returns.
  virtual intptr_t DefaultProcessing(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace lumora
