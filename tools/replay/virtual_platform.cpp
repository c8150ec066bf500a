#include "tools/replay/virtual_platform.h"

#include <algorithm>
#include <cstring>

#include "panel/trace_line.h"
#include "tools/replay/scenario.h"

namespace lumora::replay {

namespace {

constexpr int32_t kVirtualHandle = 1;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - (a % b < 0 ? 1 : 0);
}

}  // namespace

VirtualPlatform::VirtualPlatform(TraceSink& sink)
    : sink_(sink),
      nowMs_((DaysFromCivil(2006, 1, 5) * 86400 + int64_t{21 * 3600 + 7 * 60 + 30}) * 1000) {}

int32_t VirtualPlatform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  char line[kTraceLineMax];
  sink_.Line(line, FormatOpenLine(line, device, width, height));
  if (deviceFails_) {
    *error = deviceError_;
    return -1;
  }
  return kVirtualHandle;
}

int32_t VirtualPlatform::VFD_Cmd(int32_t, uint8_t* packet) {
  char line[kTraceLineMax];
  sink_.Line(line, FormatCmdLine(line, packet));
  sink_.Packet(packet);
  return 1;
}

int32_t VirtualPlatform::CloseVFD(int32_t) {
  char line[kTraceLineMax];
  sink_.Line(line, FormatCloseLine(line));
  return 1;
}

LocalTime LocalTimeFromEpochMs(int64_t epochMs) {
  const int64_t seconds = FloorDiv(epochMs, 1000);
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t ofDay = seconds - days * 86400;
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  LocalTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(ofDay / 3600);
  t.minute = static_cast<uint16_t>(ofDay / 60 % 60);
  t.second = static_cast<uint16_t>(ofDay % 60);
  return t;
}

LocalTime VirtualPlatform::GetLocalTime() {
  return LocalTimeFromEpochMs(nowMs_);
}

int32_t AnswerLocaleQuery(std::string_view answer, char* buffer, int32_t size) {
  if (size <= 0) return 0;
  const size_t length = std::min(answer.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, answer.data(), length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length + 1);
}

int32_t VirtualPlatform::GetLocaleLanguage(char* buffer, int32_t size) {
  return localeFails_ ? 0 : AnswerLocaleQuery(localeAnswer_, buffer, size);
}

void VirtualPlatform::Sleep(uint32_t milliseconds) {
  char line[kTraceLineMax];
  sink_.Line(line, FormatSleepLine(line, milliseconds));
  nowMs_ += milliseconds;
}

void VirtualPlatform::ShowMessageBox(const char* caption, const char* text) {
  const std::string line = FormatMessageBoxLine(caption, text);
  sink_.Line(line.data(), line.size());
}

}  // namespace lumora::replay
