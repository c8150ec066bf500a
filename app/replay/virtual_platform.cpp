#include "app/replay/virtual_platform.h"

#include <algorithm>
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
  const int64_t seconds = FloorDiv(epochMs, 1000);
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t ofDay = seconds - days * 86400;
  int64_t year = 0;
  unsigned month = 0, day = 0;
  scenario::CivilFromDays(days, year, month, day);
  LocalTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(ofDay / 3600);
  t.minute = static_cast<uint16_t>(ofDay / 60 % 60);
  t.second = static_cast<uint16_t>(ofDay % 60);
  return t;
}

int32_t AnswerLocaleQuery(std::string_view answer, char* buffer, int32_t size) {
  if (size <= 0) return 0;
  const size_t length = std::min(answer.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, answer.data(), length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length + 1);
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
