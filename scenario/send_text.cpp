#include "scenario/send_text.h"

#include "base/text_encoding.h"

namespace lumora::send {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsByteEscape(std::string_view text, size_t at) {
  return at + 4 <= text.size() && text[at] == '\\' && text[at + 1] == 'x' &&
         HexDigit(text[at + 2]) >= 0 && HexDigit(text[at + 3]) >= 0;
}

}  // namespace

bool TextFromArgument(std::string_view argument, std::string& bytes, std::string& reason) {
  bytes.clear();
  // The typed characters between two escapes are converted as one piece.
  size_t start = 0;
  std::string piece;
  for (size_t at = 0; at <= argument.size(); ++at) {
    const bool escape = at < argument.size() && IsByteEscape(argument, at);
    if (!escape && at < argument.size()) continue;
    if (!Utf8ToWindows1252(argument.substr(start, at - start), piece, reason)) {
      reason += "; use \\xHH to send a byte as it is";
      return false;
    }
    bytes += piece;
    if (escape) {
      bytes += static_cast<char>(HexDigit(argument[at + 2]) * 16 + HexDigit(argument[at + 3]));
      at += 3;
      start = at + 1;
    }
  }
  return true;
}

}  // namespace lumora::send
