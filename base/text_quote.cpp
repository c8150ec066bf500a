#include "base/text_quote.h"

#include <cstdint>

#include "base/hex.h"
#include "base/text_encoding.h"

namespace lumora {

namespace {

// Whether the readable forms show a byte as its Windows-1252 character.
bool ShownAsCharacter(uint8_t c) {
  return c >= 0x80 && c != 0xA0 && c != 0xAD && Windows1252ToUnicode(c) != 0;
}

std::string Quote(std::string_view text, bool display) {
  std::string quoted = "\"";
  for (const char ch : text) {
    const auto c = static_cast<uint8_t>(ch);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += ch;
    } else if (c >= 0x20 && c < 0x7F) {
      quoted += ch;
    } else if (display && ShownAsCharacter(c)) {
      AppendUtf8(Windows1252ToUnicode(c), quoted);
    } else {
      quoted += "\\x";
      quoted += kHexDigits[c >> 4];
      quoted += kHexDigits[c & 0xF];
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace

std::string QuoteText(std::string_view text) {
  return Quote(text, false);
}

std::string QuoteDisplayText(std::string_view text) {
  return Quote(text, true);
}

}  // namespace lumora
