// The harnesses' binding of the platform boundary: the virtual platform (clock, locale, a
// display library that may fail to open or report failing sends) with a check of every call the
// agent makes across the boundary (PlatformCallChecker). It can also record the calls as trace
// lines in the replay's format, so a run compares line by line with lumora-replay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/replay/virtual_platform.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

class CheckingPlatform final : public replay::VirtualPlatform, private TraceSink {
 public:
  CheckingPlatform() : VirtualPlatform(this) {}

  void SetCommandsFail(bool fail) { SetCommandResult(fail ? 0 : 1); }
  // Every call from now on is appended to trace as a trace line.
  void RecordTrace(std::vector<std::string>* trace) { trace_ = trace; }

  PlatformCallChecker& checker() { return checker_; }
  // Called by the driver once the agent is destroyed: the timer must be gone.
  void Finished();

  // --- Platform: each call checked, then the virtual platform's own ---
  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override;
  uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) override;
  void KillTimer(uintptr_t timerId) override;

 private:
  void Line(const char* text, size_t length) override {
    if (trace_ != nullptr) trace_->emplace_back(text, length);
  }

  PlatformCallChecker checker_;
  std::vector<std::string>* trace_ = nullptr;
  bool timerRunning_ = false;
};

}  // namespace lumora::fuzz
