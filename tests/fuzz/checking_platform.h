// The harnesses' binding of the platform boundary: a virtual clock and locale like the replay's,
// a display library that may fail to open or report failing sends, and a check of every call
// the agent makes across the boundary (PlatformCallChecker). It can also record the calls as
// trace lines in the replay's format, so a run compares line by line with lumora-replay.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

class CheckingPlatform final : public Platform {
 public:
  // The replay's default virtual time, 2006-01-05 21:07:30.
  CheckingPlatform();

  // --- Set-up ---
  void SetDeviceFails(int32_t error) {
    deviceFails_ = true;
    deviceError_ = error;
  }
  void SetCommandsFail(bool fail) { commandsFail_ = fail; }
  void SetTime(int64_t epochSeconds) { nowMs_ = epochSeconds * 1000; }
  void AdvanceMs(int64_t milliseconds) { nowMs_ += milliseconds; }
  void SetLocaleAnswer(std::string_view answer) {
    localeFails_ = false;
    localeAnswer_ = answer;
  }
  void SetLocaleFails() { localeFails_ = true; }
  // Every call from now on is appended to trace as a trace line.
  void RecordTrace(std::vector<std::string>* trace) { trace_ = trace; }

  PlatformCallChecker& checker() { return checker_; }
  // Called by the driver once the agent is destroyed: the timer must be gone.
  void Finished();

  // --- Platform ---
  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;
  LocalTime GetLocalTime() override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override;
  void HideWindow() override {}
  uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) override;
  void KillTimer(uintptr_t timerId) override;
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }

  // A handle unlike the small numbers a careless caller might pass instead.
  static constexpr int32_t kHandle = 0x4C55;

 private:
  void Record(const char* line, size_t length);

  PlatformCallChecker checker_;
  std::vector<std::string>* trace_ = nullptr;
  int64_t nowMs_;
  std::string localeAnswer_ = "0409";
  bool localeFails_ = false;
  bool deviceFails_ = false;
  int32_t deviceError_ = 0;
  bool commandsFail_ = false;
  bool timerRunning_ = false;
};

}  // namespace lumora::fuzz
