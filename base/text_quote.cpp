#include "base/text_quote.h"

#include <cstdint>

namespace lumora {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char ch : text) {
    const auto c = static_cast<uint8_t>(ch);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += ch;
    } else if (c >= 0x20 && c < 0x7F) {
      quoted += ch;
    } else {
      quoted += "\\x";
      quoted += kHexDigits[c >> 4];
      quoted += kHexDigits[c & 0xF];
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace lumora
