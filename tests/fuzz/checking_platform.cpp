#include "tests/fuzz/checking_platform.h"

#include <algorithm>
#include <cstring>

#include "panel/trace_line.h"
#include "tools/replay/scenario.h"
#include "tools/replay/virtual_platform.h"

namespace lumora::fuzz {

CheckingPlatform::CheckingPlatform()
    : nowMs_((replay::DaysFromCivil(2006, 1, 5) * 86400 + 21 * 3600 + 7 * 60 + 30) * 1000) {}

void CheckingPlatform::Record(const char* line, size_t length) {
  if (trace_ != nullptr) trace_->emplace_back(line, length);
}

int32_t CheckingPlatform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  checker_.Open(device, width, height);
  if (error == nullptr) InvariantViolated("OpenVFD without an error variable");
  if (*error != 0) InvariantViolated("OpenVFD's error variable was %d, not set to 0", *error);
  char line[kTraceLineMax];
  Record(line, FormatOpenLine(line, device, width, height));
  checker_.OpenResult(!deviceFails_, deviceError_);
  if (deviceFails_) {
    *error = deviceError_;
    return -1;
  }
  return kHandle;
}

int32_t CheckingPlatform::VFD_Cmd(int32_t handle, uint8_t* packet) {
  checker_.Command(packet);
  if (handle != kHandle) InvariantViolated("VFD_Cmd with handle %d", handle);
  if (trace_ != nullptr) {
    char line[kTraceLineMax];
    Record(line, FormatCmdLine(line, packet));
  }
  return commandsFail_ ? 0 : 1;
}

int32_t CheckingPlatform::CloseVFD(int32_t handle) {
  checker_.Close();
  if (handle != kHandle) InvariantViolated("CloseVFD with handle %d", handle);
  char line[kTraceLineMax];
  Record(line, FormatCloseLine(line));
  return 1;
}

LocalTime CheckingPlatform::GetLocalTime() {
  return replay::LocalTimeFromEpochMs(nowMs_);
}

int32_t CheckingPlatform::GetLocaleLanguage(char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) InvariantViolated("locale query into %d bytes", size);
  return localeFails_ ? 0 : replay::AnswerLocaleQuery(localeAnswer_, buffer, size);
}

void CheckingPlatform::Sleep(uint32_t milliseconds) {
  checker_.Sleep(milliseconds);
  char line[kTraceLineMax];
  Record(line, FormatSleepLine(line, milliseconds));
  nowMs_ += milliseconds;
}

void CheckingPlatform::ShowMessageBox(const char* caption, const char* text) {
  checker_.MessageBox(caption, text);
  if (trace_ != nullptr) {
    const std::string line = FormatMessageBoxLine(caption, text);
    Record(line.data(), line.size());
  }
}

uintptr_t CheckingPlatform::SetTimer(uintptr_t id, uint32_t periodMs) {
  if (timerRunning_) InvariantViolated("SetTimer while the clock timer runs");
  if (id != kClockTimerId || periodMs != kClockTimerPeriodMs) {
    InvariantViolated("SetTimer(%zu, %u); expected (1, 1000)", static_cast<size_t>(id), periodMs);
  }
  timerRunning_ = true;
  return id;
}

void CheckingPlatform::KillTimer(uintptr_t timerId) {
  if (!timerRunning_ || timerId != kClockTimerId) {
    InvariantViolated("KillTimer(%zu) of no running timer", static_cast<size_t>(timerId));
  }
  timerRunning_ = false;
}

void CheckingPlatform::Finished() {
  if (timerRunning_) InvariantViolated("the clock timer outlived the window");
  checker_.Finished();
}

}  // namespace lumora::fuzz
