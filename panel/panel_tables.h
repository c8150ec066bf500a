// The panel's fixed tables: packet layout, command codes, Icon Map bits, level-bar steps, month
// names and the date order of each locale language. Each table is written once, here, as data;
// the panel wrapper, the emulator, the decoders and the tests all read it from this header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumora {

// --- Panel Command Packet ---
inline constexpr size_t kPacketSize = 65;
inline constexpr size_t kPacketCommand = 2;
inline constexpr size_t kPacketArg1 = 3;
inline constexpr size_t kPacketArg2 = 4;
inline constexpr size_t kPacketPayload = 5;
inline constexpr size_t kPayloadSize = kPacketSize - kPacketPayload;  // 60
using Packet = std::array<uint8_t, kPacketSize>;

enum PanelCommand : uint8_t {
  kCmdClear = 0,
  kCmdIcons = 1,
  kCmdLine2 = 2,
  kCmdLine3 = 3,
  kCmdOption = 4,
  kCmdPanelClock = 6,
};
inline constexpr uint8_t kPanelClockStop = 0;
inline constexpr uint8_t kPanelClockStart = 1;

// Payload of "pclock start": the time and date the panel's own clock starts from, one byte each,
// offsets counted from the payload's first byte; the year goes as century and year of century.
// The rest of the payload is zero.
enum PanelClockField : uint8_t {
  kClockHour = 0,
  kClockMinute = 1,
  kClockSecond = 2,
  kClockCentury = 3,
  kClockYearOfCentury = 4,
  kClockMonth = 5,
  kClockDay = 6,
  kClockFieldCount = 7,
};

// OpenVFD arguments: the device-selection number and the two numbers that follow it.
inline constexpr int32_t kDeviceSelection = 0x2E4D;
inline constexpr int32_t kDeviceArgument = 16;

// --- Icon Map ---
inline constexpr size_t kIconMapSize = 10;
using IconMap = std::array<uint8_t, kIconMapSize>;

enum class Icon : uint8_t {
  Play,
  Pause,
  ScanA,
  ScanB,
  AuxIndicator,
  Picture,
  Tv,
  Music,
  Cd,
  Video,
  Vcd,
  SessionIndicator,
  MarkedSession,
  Dvd,
};
inline constexpr size_t kIconCount = 14;

struct IconBits {
  Icon icon;
  const char* name;  // as the panel emulator labels it
  uint8_t byte;      // index into the Icon Map
  uint8_t mask;
};

// Indexed by Icon. VcdIcon is the CdIcon and VideoIcon bits together.
inline constexpr std::array<IconBits, kIconCount> kIconBits{{
    {Icon::Play, "PLAY", 2, 0x10},
    {Icon::Pause, "PAUSE", 2, 0x20},
    {Icon::ScanA, "SCAN A", 2, 0x40},
    {Icon::ScanB, "SCAN B", 2, 0x80},
    {Icon::AuxIndicator, "AUX", 3, 0x01},
    {Icon::Picture, "PICTURE", 3, 0x02},
    {Icon::Tv, "TV", 3, 0x04},
    {Icon::Music, "MUSIC", 5, 0x20},
    {Icon::Cd, "CD", 5, 0x40},
    {Icon::Video, "VIDEO", 5, 0x80},
    {Icon::Vcd, "VCD", 5, 0xC0},
    {Icon::SessionIndicator, "SESSION", 7, 0x20},
    {Icon::MarkedSession, "MARKED", 7, 0x40},
    {Icon::Dvd, "DVD", 7, 0x80},
}};

constexpr const IconBits& BitsOf(Icon icon) {
  return kIconBits[static_cast<size_t>(icon)];
}

// The bits of each Icon Map byte that any icon or the level bar may set; all others stay 0.
inline constexpr IconMap kIconMapBitsInUse{0x00, 0x00, 0xF0, 0xF7, 0xFF,
                                           0xEF, 0x00, 0xE0, 0x00, 0x00};

// --- Level bar ---
// The 16 segments occupy bits 4 to 19 of map[3..5] read as one little-endian 24-bit number.
inline constexpr size_t kLevelBarFirstByte = 3;
inline constexpr uint32_t kLevelBarMask = 0x0FFFF0;
inline constexpr uint8_t kLevelStepCount = 16;

// Bar bits of each step (0 to 15) in that 24-bit number: step s lights segments 1 to s + 1.
inline constexpr std::array<uint32_t, kLevelStepCount> kLevelStepBits{
    0x000010, 0x000030, 0x000070, 0x0000F0, 0x0001F0, 0x0003F0, 0x0007F0, 0x000FF0,
    0x001FF0, 0x003FF0, 0x007FF0, 0x00FFF0, 0x01FFF0, 0x03FFF0, 0x07FFF0, 0x0FFFF0};

// Level (0 to 255) to bar step: the highest level of each step, in rising order.
inline constexpr std::array<uint8_t, kLevelStepCount> kLevelStepTop{
    0, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 22, 23, 24, 255};

// --- Clock and date ---
inline constexpr std::array<const char*, 12> kMonthNames{"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

enum DateOrder : uint8_t {
  kYearMonthDay = 1,
  kDayMonthYear = 2,
  kMonthDayYear = 3,
};

// Locale language identifiers that select day-month-year; every other one year-month-day
// unless it stands in the month-day-year list.
inline constexpr std::array<uint16_t, 44> kDayMonthYearLanguages{
    0x0405, 0x0406, 0x0407, 0x040A, 0x040B, 0x040C, 0x0413, 0x0414, 0x0415, 0x0419, 0x041D,
    0x041F, 0x042E, 0x043B, 0x0444, 0x0452, 0x0462, 0x046D, 0x047E, 0x0482, 0x0483, 0x0484,
    0x0485, 0x0807, 0x0809, 0x080C, 0x0810, 0x0813, 0x0814, 0x0816, 0x081D, 0x082E, 0x083B,
    0x083C, 0x0C0A, 0x0C3B, 0x100C, 0x103B, 0x143B, 0x1809, 0x183B, 0x1C3B, 0x203B, 0x243B};
inline constexpr std::array<uint16_t, 7> kMonthDayYearLanguages{0x0409, 0x045D, 0x047C, 0x085D,
                                                                0x0C0C, 0x1009, 0x540A};

}  // namespace lumora
