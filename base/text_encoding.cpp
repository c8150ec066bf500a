#include "base/text_encoding.h"

#include <array>
#include <cstdio>

namespace lumora {

namespace {

// The bytes 0x80 to 0x9F, where Windows-1252 differs from ISO 8859-1 (whose code points equal
// its bytes); 0 where the set defines no character.
constexpr std::array<char16_t, 32> kHigh{{
    u'\u20AC', 0,         u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', 0,         u'\u017D', 0,
    0,         u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', 0,         u'\u017E', u'\u0178',
}};

// Decodes one UTF-8 character at text[at]; returns its length, or 0 when the bytes there are not
// UTF-8 (a stray continuation byte, a cut or overlong sequence, a surrogate, above U+10FFFF).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& code) {
  const auto lead = static_cast<uint8_t>(text[at]);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

char32_t Windows1252ToUnicode(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80u];
  return byte;
}

bool UnicodeToWindows1252(char32_t code, uint8_t& byte) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
    byte = static_cast<uint8_t>(code);
    return true;
  }
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] != 0 && kHigh[i] == code) {
      byte = static_cast<uint8_t>(0x80 + i);
      return true;
    }
  }
  return false;
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(text, at, code);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool ReplaceNonUtf8(std::string& text) {
  bool replaced = false;
  for (size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(text, at, code);
    if (length == 0) {
      text[at++] = '?';  // one byte at a time: the next character may start right behind it
      replaced = true;
      continue;
    }
    at += length;
  }
  return replaced;
}

bool Utf8ToWindows1252(std::string_view utf8, std::string& out, std::string& reason) {
  out.clear();
  for (size_t at = 0; at < utf8.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(utf8, at, code);
    char message[96];
    if (length == 0) {
      std::snprintf(message, sizeof message, "the byte 0x%02X is not UTF-8",
                    static_cast<unsigned>(static_cast<uint8_t>(utf8[at])));
      reason = message;
      return false;
    }
    uint8_t byte = 0;
    if (!UnicodeToWindows1252(code, byte)) {
      std::snprintf(message, sizeof message,
                    "'%.*s' (U+%04X) is not in Windows-1252, the panel's character set",
                    static_cast<int>(length), utf8.data() + at, static_cast<unsigned>(code));
      reason = message;
      return false;
    }
    out += static_cast<char>(byte);
    at += length;
  }
  return true;
}

std::string Utf8ToWindows1252Replacing(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(utf8, at, code);
    if (length == 0) {
      out += '?';
      ++at;  // one byte at a time: the next character may start right behind it
      continue;
    }
    uint8_t byte = 0;
    if (code < 0x20 || code == 0x7F)
      out += ' ';
    else if (UnicodeToWindows1252(code, byte))
      out += static_cast<char>(byte);
    else
      out += '?';
    at += length;
  }
  return out;
}

void AppendWindows1252AsUtf8(std::string_view text, std::string& out) {
  for (const char ch : text) {
    const char32_t code = Windows1252ToUnicode(static_cast<uint8_t>(ch));
    AppendUtf8(code == 0 && ch != '\0' ? U'\uFFFD' : code, out);
  }
}

}  // namespace lumora
