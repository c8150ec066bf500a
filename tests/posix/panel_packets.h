// Panel Command Packets for the emulator's tests, built by field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "panel/panel_tables.h"

namespace lumora::emulator {

inline Packet Command(uint8_t command, uint8_t arg1 = 0, uint8_t arg2 = 0) {
  Packet p{};
  p[2] = command;
  p[3] = arg1;
  p[4] = arg2;
  return p;
}

inline Packet Text(uint8_t line, uint8_t scroll, const std::string& text) {
  Packet p = Command(line, scroll);
  for (size_t i = 0; i < text.size() && i < 60; ++i)
    p[5 + i] = static_cast<uint8_t>(text[i]);
  return p;
}

inline Packet Icons(std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
  Packet p = Command(1);
  for (const auto& [index, value] : bytes)
    p[5 + index] = value;
  return p;
}

// Start of the panel's own clock: order, hour, minute, second, century, year, month, day.
inline Packet ClockStart(uint8_t order, std::array<uint8_t, 7> fields) {
  Packet p = Command(6, 1, order);
  for (size_t i = 0; i < fields.size(); ++i)
    p[5 + i] = fields[i];
  return p;
}

}  // namespace lumora::emulator
