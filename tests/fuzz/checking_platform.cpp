#include "tests/fuzz/checking_platform.h"

namespace lumora::fuzz {

int32_t CheckingPlatform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  checker_.Open(device, width, height);
  if (error == nullptr) InvariantViolated("OpenVFD without an error variable");
  if (*error != 0) InvariantViolated("OpenVFD's error variable was %d, not set to 0", *error);
  const int32_t handle = VirtualPlatform::OpenVFD(device, width, height, error);
  checker_.OpenResult(handle != -1, *error);
  return handle;
}

int32_t CheckingPlatform::VFD_Cmd(int32_t handle, uint8_t* packet) {
  checker_.Command(packet);
  if (handle != kHandle) InvariantViolated("VFD_Cmd with handle %d", handle);
  return VirtualPlatform::VFD_Cmd(handle, packet);
}

int32_t CheckingPlatform::CloseVFD(int32_t handle) {
  checker_.Close();
  if (handle != kHandle) InvariantViolated("CloseVFD with handle %d", handle);
  return VirtualPlatform::CloseVFD(handle);
}

int32_t CheckingPlatform::GetLocaleLanguage(char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) InvariantViolated("locale query into %d bytes", size);
  return VirtualPlatform::GetLocaleLanguage(buffer, size);
}

void CheckingPlatform::Sleep(uint32_t milliseconds) {
  checker_.Sleep(milliseconds);
  VirtualPlatform::Sleep(milliseconds);
}

void CheckingPlatform::ShowMessageBox(const char* caption, const char* text) {
  checker_.MessageBox(caption, text);
  VirtualPlatform::ShowMessageBox(caption, text);
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
