// What a real panel holds after the packets it has been sent: its two text lines with their
// scroll bytes, the Icon Map (icons and level bar), the option value, and its own clock once it
// has been handed the date and time. A pure model: no output, no system clock. The caller gives
// the time (milliseconds on any clock of its own) wherever the panel's own clock needs it, so the
// live emulator, the pictures of lumora-replay and the tests share one model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/platform.h"
#include "panel/panel_tables.h"

namespace lumora::emulator {

// The columns of each text line on the panel; a longer line scrolls (the pictures show its start
// and an arrow).
inline constexpr size_t kPanelColumns = 20;

// A text line keeps the payload up to its first zero byte: at most 60 bytes.
inline constexpr size_t kTextLineMax = kPayloadSize;

struct TextLine {
  std::array<char, kTextLineMax> text{};
  uint8_t length = 0;
  uint8_t scroll = 0;  // the scroll byte of the packet that wrote the line

  std::string_view View() const { return {text.data(), length}; }
};

// The panel's own clock: the date, time and date order it was handed, and when (on the caller's
// clock). It advances with the caller's clock from there.
struct PanelClock {
  bool running = false;
  uint8_t dateOrder = 0;
  LocalTime given{};
  int64_t givenAtMs = 0;
};

// What a packet was, as the panel took it.
enum class PacketKind : uint8_t {
  Clear,
  Icons,
  Text,
  Option,
  ClockStart,
  ClockStop,
  Unknown,  // a command the panel does not know: nothing changes
};

class PanelState {
 public:
  // Takes one 65-byte Panel Command Packet; nowMs is the caller's clock, read only by the start
  // of the panel's own clock.
  PacketKind Apply(const uint8_t* packet, int64_t nowMs);

  // Line 2 or line 3 (any other number gives line 3).
  const TextLine& line(int number) const { return number == 2 ? line2_ : line3_; }
  const IconMap& iconMap() const { return iconMap_; }
  // Lit when every bit of the icon is set: VCD needs both the CD and the VIDEO bits.
  bool IsLit(Icon icon) const;
  // The lit icons as a face names them, bit i for the i-th icon of kIconBits: every lit icon,
  // except CD and VIDEO while VCD (their two bits together) is lit, which is named once, as VCD.
  uint32_t NamedLitIcons() const;
  // The 16 level-bar segments, segment 1 in bit 0.
  uint16_t LevelSegments() const;
  int LitLevelSegments() const;
  uint8_t option() const { return option_; }
  const PanelClock& panelClock() const { return clock_; }
  // The panel clock's reading at nowMs: the time it was given, advanced by the time since.
  LocalTime PanelClockTime(int64_t nowMs) const;
  uint32_t packetCount() const { return packets_; }

 private:
  TextLine line2_;
  TextLine line3_;
  IconMap iconMap_{};
  uint8_t option_ = 0;
  PanelClock clock_;
  uint32_t packets_ = 0;
};

// --- What a display of a fixed width shows of a line ---
// The number of scroll steps beyond the first position: none when the line fits or its scroll
// byte is 0, else its scroll byte, but never past the point where the line's end shows.
size_t ScrollSteps(const TextLine& line, size_t width);
// The part of the line shown at a scroll step (clamped to the last step).
std::string_view VisibleText(const TextLine& line, size_t width, size_t step);
// The step shown at a frame of an endless scroll animation: a pause at the start, one column a
// frame, a pause at the end, then back to the start.
size_t ScrollStepAt(size_t steps, uint64_t frame);
inline constexpr uint64_t kScrollPauseFrames = 3;

// What a display of a fixed width shows on its two lines: the panel's own clock (the date on
// line 2, the time on line 3) while it runs, else each text line at its step of the scroll
// animation. The texts may point into the object itself, so it is neither copied nor moved.
class ShownLines {
 public:
  ShownLines(const PanelState& state, int64_t nowMs, uint64_t frame, size_t width);
  ShownLines(const ShownLines&) = delete;
  ShownLines& operator=(const ShownLines&) = delete;

  std::string_view line2() const { return line2_; }
  std::string_view line3() const { return line3_; }
  bool panelClock() const { return panelClock_; }

 private:
  char date_[32];
  char time_[32];
  std::string_view line2_;
  std::string_view line3_;
  bool panelClock_ = false;
};

// --- The panel clock's own date ---
// The date in the order the panel was given (" 5 JAN 2006", "JAN 05 2006", "2006/01/05"); returns
// the length written (out >= 16 bytes). Its time is told in the agent's one form
// (panel/clock_text.h), since the panel's packets say nothing of another.
size_t FormatPanelClockDate(const LocalTime& time, uint8_t dateOrder, char* out, size_t size);

}  // namespace lumora::emulator
