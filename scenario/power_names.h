// The names a sender takes for the wParam of WM_POWERBROADCAST (`--power suspend`), beside
// the numbers themselves.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::scenario {

struct PowerName {
  std::string_view name;
  uint64_t code;
  std::string_view meaning;
};

extern const std::array<PowerName, 6> kPowerNames;

// The wParam of a power name or of a decimal number; false when the word is neither.
bool ParsePowerCode(std::string_view word, uint64_t& code);

// The names and their numbers, one a line, indented for a usage text.
std::string PowerNameList(std::string_view indent);

}  // namespace lumora::scenario
