// Hexadecimal digits, as the trace lines, the scenario language and the quoted texts write and
// read them: lower case when written, either case when read.
#pragma once

#include <cstdint>

namespace lumora {

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The value of a hexadecimal digit; -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace lumora
