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

// The length of the UTF-8 sequence of a character (not a control character) at the start of
// text; 0 when there is none.
size_t Utf8CharacterAt(std::string_view text) {
  const auto lead = static_cast<uint8_t>(text[0]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || text.size() < length || !IsUtf8(text.substr(0, length))) return 0;
  // C1 control characters (U+0080 to U+009F) stay escaped.
  if (lead == 0xC2 && static_cast<uint8_t>(text[1]) < 0xA0) return 0;
  return length;
}

}  // namespace

std::string QuoteUtf8Text(std::string_view text) {
  std::string quoted = "\"";
  for (size_t i = 0; i < text.size();) {
    const size_t length =
        static_cast<uint8_t>(text[i]) >= 0x80 ? Utf8CharacterAt(text.substr(i)) : 0;
    if (length > 0) {
      quoted.append(text.substr(i, length));
      i += length;
      continue;
    }
    quoted.append(Quote(text.substr(i, 1), false), 1, std::string::npos);
    quoted.pop_back();  // the closing quote of the one byte's form
    ++i;
  }
  quoted += '"';
  return quoted;
}

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
