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

void AppendHexByte(uint8_t c, std::string& out) {
  out += "\\x";
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 0xF];
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
      AppendHexByte(c, quoted);
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

std::string ShowControls(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) >= 0x80 &&
                    static_cast<uint8_t>(text[i + 1]) <= 0x9F;
    if (c1) {
      AppendHexByte(c, shown);
      AppendHexByte(static_cast<uint8_t>(text[++i]), shown);
    } else if (c < 0x20 || c == 0x7F) {
      AppendHexByte(c, shown);
    } else {
      shown += text[i];
    }
  }
  return shown;
}

}  // namespace lumora
