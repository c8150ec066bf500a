#include "paneldrv/emulator/panel_state.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "base/calendar.h"
#include "panel/clock_text.h"

namespace lumora::emulator {

namespace {

void WriteLine(TextLine& line, const uint8_t* packet) {
  const uint8_t* payload = packet + kPacketPayload;
  const size_t length = strnlen(reinterpret_cast<const char*>(payload), kPayloadSize);
  line.text.fill('\0');
  std::memcpy(line.text.data(), payload, length);
  line.length = static_cast<uint8_t>(length);
  line.scroll = packet[kPacketArg1];
}

const char* MonthName(uint16_t month) {
  return month >= 1 && month <= 12 ? kMonthNames[month - 1u] : "???";
}

}  // namespace

PacketKind PanelState::Apply(const uint8_t* packet, int64_t nowMs) {
  ++packets_;
  const uint8_t arg1 = packet[kPacketArg1];
  const uint8_t* payload = packet + kPacketPayload;
  switch (packet[kPacketCommand]) {
    case kCmdClear:
      line2_ = TextLine{};
      line3_ = TextLine{};
      iconMap_.fill(0);
      return PacketKind::Clear;
    case kCmdIcons:
      std::copy_n(payload, kIconMapSize, iconMap_.begin());
      return PacketKind::Icons;
    case kCmdLine2:
      WriteLine(line2_, packet);
      return PacketKind::Text;
    case kCmdLine3:
      WriteLine(line3_, packet);
      return PacketKind::Text;
    case kCmdOption:
      option_ = arg1;
      return PacketKind::Option;
    case kCmdPanelClock:
      if (arg1 == kPanelClockStart) {
        clock_.running = true;
        clock_.dateOrder = packet[kPacketArg2];
        clock_.given.hour = payload[kClockHour];
        clock_.given.minute = payload[kClockMinute];
        clock_.given.second = payload[kClockSecond];
        clock_.given.year =
            static_cast<uint16_t>(payload[kClockCentury] * 100 + payload[kClockYearOfCentury]);
        clock_.given.month = payload[kClockMonth];
        clock_.given.day = payload[kClockDay];
        clock_.givenAtMs = nowMs;
        return PacketKind::ClockStart;
      }
      if (arg1 == kPanelClockStop) {
        clock_.running = false;
        return PacketKind::ClockStop;
      }
      return PacketKind::Unknown;
    default:
      return PacketKind::Unknown;
  }
}

bool PanelState::IsLit(Icon icon) const {
  const IconBits& bits = BitsOf(icon);
  return (iconMap_[bits.byte] & bits.mask) == bits.mask;
}

uint32_t PanelState::NamedLitIcons() const {
  uint32_t named = 0;
  const bool vcd = IsLit(Icon::Vcd);
  for (size_t i = 0; i < kIconCount; ++i) {
    const Icon icon = kIconBits[i].icon;
    if (vcd && (icon == Icon::Cd || icon == Icon::Video)) continue;
    if (IsLit(icon)) named |= uint32_t{1} << i;
  }
  return named;
}

uint16_t PanelState::LevelSegments() const {
  const uint32_t bar = uint32_t{iconMap_[kLevelBarFirstByte]} |
                       uint32_t{iconMap_[kLevelBarFirstByte + 1]} << 8 |
                       uint32_t{iconMap_[kLevelBarFirstByte + 2]} << 16;
  return static_cast<uint16_t>((bar & kLevelBarMask) >> 4);
}

int PanelState::LitLevelSegments() const {
  return std::popcount(LevelSegments());
}

LocalTime PanelState::PanelClockTime(int64_t nowMs) const {
  const LocalTime& given = clock_.given;
  // A date the panel cannot make sense of stands still, as does a clock read before it started.
  if (given.month < 1 || given.month > 12 || given.day < 1 ||
      given.day > DaysInMonth(given.year, given.month) || given.hour > 23 || given.minute > 59 ||
      given.second > 59 || nowMs < clock_.givenAtMs) {
    return given;
  }
  return LocalTimeOf(EpochSecondsOf(given) + (nowMs - clock_.givenAtMs) / 1000);
}

size_t ScrollSteps(const TextLine& line, size_t width) {
  if (line.length <= width || line.scroll == 0) return 0;
  return std::min<size_t>(line.scroll, line.length - width);
}

std::string_view VisibleText(const TextLine& line, size_t width, size_t step) {
  const std::string_view text = line.View();
  const size_t offset = std::min(step, ScrollSteps(line, width));
  return text.substr(offset, width);
}

size_t ScrollStepAt(size_t steps, uint64_t frame) {
  if (steps == 0) return 0;
  const uint64_t period = steps + 2 * kScrollPauseFrames;
  const uint64_t at = frame % period;
  if (at < kScrollPauseFrames) return 0;
  return static_cast<size_t>(std::min<uint64_t>(at - kScrollPauseFrames + 1, steps));
}

ShownLines::ShownLines(const PanelState& state, int64_t nowMs, uint64_t frame, size_t width) {
  const PanelClock& clock = state.panelClock();
  panelClock_ = clock.running;
  if (clock.running) {
    // The panel's own clock owns both lines while it runs.
    const LocalTime now = state.PanelClockTime(nowMs);
    line2_ = {date_, FormatPanelClockDate(now, clock.dateOrder, date_, sizeof date_)};
    line3_ = {time_, FormatClockTime(now, time_, sizeof time_)};
    return;
  }
  const TextLine& l2 = state.line(2);
  const TextLine& l3 = state.line(3);
  line2_ = VisibleText(l2, width, ScrollStepAt(ScrollSteps(l2, width), frame));
  line3_ = VisibleText(l3, width, ScrollStepAt(ScrollSteps(l3, width), frame));
}

size_t FormatPanelClockDate(const LocalTime& time, uint8_t dateOrder, char* out, size_t size) {
  int n = 0;
  switch (dateOrder) {
    case kDayMonthYear:
      n = std::snprintf(out, size, "%2u %s %04u", unsigned{time.day}, MonthName(time.month),
                        unsigned{time.year});
      break;
    case kMonthDayYear:
      n = std::snprintf(out, size, "%s %02u %04u", MonthName(time.month), unsigned{time.day},
                        unsigned{time.year});
      break;
    default:
      n = std::snprintf(out, size, "%04u/%02u/%02u", unsigned{time.year}, unsigned{time.month},
                        unsigned{time.day});
      break;
  }
  return n < 0 ? 0 : std::min(static_cast<size_t>(n), size - 1);
}

}  // namespace lumora::emulator
