// Clock and date texts, the panel's own clock and the locale's date order.
#include <algorithm>
#include <cstdio>

#include "panel/clock_text.h"
#include "panel/vfd_cmd.h"

namespace lumora {

namespace {

bool Contains(const auto& table, int32_t id) {
  return std::find(table.begin(), table.end(), id) != table.end();
}

}  // namespace

size_t FormatClockTime(const LocalTime& now, char* out, size_t size) {
  int n = 0;
  if (now.hour == 0) {
    n = std::snprintf(out, size, " 12:%02d:%02d AM", now.minute, now.second);
  } else if (now.hour < 12) {
    n = std::snprintf(out, size, " %2d:%02d:%02d AM", now.hour, now.minute, now.second);
  } else if (now.hour == 12) {
    n = std::snprintf(out, size, " %2d:%02d:%02d PM", 12, now.minute, now.second);
  } else {
    n = std::snprintf(out, size, " %2d:%02d:%02d PM", now.hour - 12, now.minute, now.second);
  }
  return n < 0 || size == 0 ? 0 : std::min(static_cast<size_t>(n), size - 1);
}

int32_t CVFDCmd::ShowClock(int32_t withDate) {
  const LocalTime now = platform_.GetLocalTime();
  if (withDate != 0) {
    // Month numbers outside 1..12 cannot come from the clock; show them as the nearest month
    // rather than reading outside the table.
    const size_t month = std::clamp<size_t>(now.month, 1, 12);
    const char* monthName = kMonthNames[month - 1];
    char date[48];
    switch (GetDateOrder()) {
      case kDayMonthYear:
        std::snprintf(date, sizeof date, "%2d %s %04d", now.day, monthName, now.year);
        break;
      case kMonthDayYear:
        std::snprintf(date, sizeof date, "%s %02d %04d", monthName, now.day, now.year);
        break;
      default:
        std::snprintf(date, sizeof date, "%4d/%02d/%02d ", now.year, now.month, now.day);
        break;
    }
    WriteText(kCmdLine2, 0, date);
  }
  char time[kClockTimeTextMax];
  FormatClockTime(now, time, sizeof time);
  return WriteText(kCmdLine3, 0, time);
}

void CVFDCmd::StartPanelClock() {
  if (handle_ == -1) return;
  const LocalTime now = platform_.GetLocalTime();
  const uint8_t order = GetDateOrder();
  Packet packet{};
  packet[kPacketCommand] = kCmdPanelClock;
  packet[kPacketArg1] = kPanelClockStart;
  packet[kPacketArg2] = order;
  uint8_t* const payload = packet.data() + kPacketPayload;
  payload[kClockHour] = static_cast<uint8_t>(now.hour);
  payload[kClockMinute] = static_cast<uint8_t>(now.minute);
  payload[kClockSecond] = static_cast<uint8_t>(now.second);
  payload[kClockCentury] = static_cast<uint8_t>(now.year / 100);
  payload[kClockYearOfCentury] = static_cast<uint8_t>(now.year % 100);
  payload[kClockMonth] = static_cast<uint8_t>(now.month);
  payload[kClockDay] = static_cast<uint8_t>(now.day);
  Send(packet);
}

int32_t CVFDCmd::StopPanelClock() {
  if (handle_ == -1) return 0;
  Packet packet{};
  packet[kPacketCommand] = kCmdPanelClock;
  packet[kPacketArg1] = kPanelClockStop;
  return Send(packet);
}

uint8_t CVFDCmd::GetDateOrder() {
  char answer[128] = {};
  if (platform_.GetLocaleLanguage(answer, sizeof answer) == 0) return kYearMonthDay;
  answer[sizeof answer - 1] = '\0';
  const int32_t id = HexToInt(answer);
  if (Contains(kDayMonthYearLanguages, id)) return kDayMonthYear;
  if (Contains(kMonthDayYearLanguages, id)) return kMonthDayYear;
  return kYearMonthDay;
}

int32_t CVFDCmd::HexToInt(const char* text) {
  uint32_t result = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    uint32_t digit = 0;
    if (*c >= '0' && *c <= '9') {
      digit = static_cast<uint32_t>(*c - '0');
    } else if (*c >= 'a' && *c <= 'f') {
      digit = static_cast<uint32_t>(*c - 'a' + 10);
    } else if (*c >= 'A' && *c <= 'F') {
      digit = static_cast<uint32_t>(*c - 'A' + 10);
    }
    result = result * 16 + digit;  // wraps in unsigned 32-bit arithmetic
  }
  return static_cast<int32_t>(result);
}

}  // namespace lumora
