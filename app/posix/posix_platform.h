// The Linux binding of the platform boundary: the panel emulator stands in for the display
// library, localtime_r gives the local time, the locale of LC_ALL/LC_TIME/LANG gives the
// language identifier, nanosleep waits, the message box goes to standard error, and the main
// window's one timer is a timerfd that the host's loop watches.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "paneldrv/emulator/emulated_panel.h"

namespace lumora::posix {

class PosixPlatform final : public Platform {
 public:
  // trace may be null. With a waitDivisor above 1 (the accelerated demo) the agent's time runs
  // that many times faster: its waits are that many times shorter, its timer ticks that many
  // times as often, and the local time it reads starts at the real time and runs that many
  // times as fast, so the clock it shows moves with its shortened waits.
  PosixPlatform(emulator::EmulatedPanel& panel, TraceWriter* trace, uint32_t waitDivisor = 1);
  ~PosixPlatform() override;
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;
  LocalTime GetLocalTime() override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override;
  // There is no window to hide: the agent is a process without one.
  void HideWindow() override {}
  uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) override;
  void KillTimer(uintptr_t timerId) override;
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }

  // Readable when the timer has expired at least once; the host then reads it with
  // TakeTimerExpiry and delivers one WM_TIMER, as Windows does for a timer that fell behind.
  int timerFd() const { return timerFd_; }
  // The id of the running timer, 0 when none; clears the expiry.
  uintptr_t TakeTimerExpiry();

 private:
  emulator::EmulatedPanel& panel_;
  TraceWriter* trace_;
  uint32_t waitDivisor_;
  int64_t realStartMs_ = 0;  // the real time and the monotonic clock when the agent started
  int64_t monotonicStartMs_ = 0;
  int timerFd_ = -1;
  uintptr_t timerId_ = 0;
};

}  // namespace lumora::posix
