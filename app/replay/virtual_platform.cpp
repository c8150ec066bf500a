#include "app/replay/virtual_platform.h"

#include <cstring>

namespace lumora::replay {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - (a % b < 0 ? 1 : 0);
}

}  // namespace

int64_t EpochMsFromLocalTime(const LocalTime& time) {
  return scenario::EpochSecondsOf(time) * 1000;
}

LocalTime LocalTimeFromEpochMs(int64_t epochMs) {
  return scenario::LocalTimeOf(FloorDiv(epochMs, 1000));
}

int32_t AnswerLocaleQuery(std::string_view answer, char* buffer, int32_t size) {
  // An answer that does not fit with its NUL is no answer: the query fails, as it does on
  // Windows when the buffer is too small.
  if (size <= 0 || answer.size() >= static_cast<size_t>(size)) return 0;
  std::memcpy(buffer, answer.data(), answer.size());
  buffer[answer.size()] = '\0';
  return static_cast<int32_t>(answer.size() + 1);
}

VirtualPlatform::VirtualPlatform(TraceSink* sink)
    : trace_(sink), nowMs_(EpochMsFromLocalTime(scenario::kDefaultTime)) {}

int32_t VirtualPlatform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  trace_.Open(device, width, height);
  if (deviceFails_) {
    *error = deviceError_;
    return -1;
  }
  return kHandle;
}

int32_t VirtualPlatform::VFD_Cmd(int32_t, uint8_t* packet) {
  trace_.Cmd(packet);
  return commandResult_;
}

int32_t VirtualPlatform::CloseVFD(int32_t) {
  trace_.Close();
  return 1;
}

LocalTime VirtualPlatform::GetLocalTime() {
  return LocalTimeFromEpochMs(nowMs_);
}

int32_t VirtualPlatform::GetLocaleLanguage(char* buffer, int32_t size) {
  return localeFails_ ? 0 : AnswerLocaleQuery(localeAnswer_, buffer, size);
}

void VirtualPlatform::Sleep(uint32_t milliseconds) {
  trace_.Sleep(milliseconds);
  nowMs_ += milliseconds;
}

void VirtualPlatform::ShowMessageBox(const char* caption, const char* text) {
  trace_.MessageBox(caption, text);
}

}  // namespace lumora::replay
