#include "sendargs/send_text.h"

#include "base/hex.h"
#include "base/text_encoding.h"

namespace lumora::send {

namespace {

bool IsByteEscape(std::string_view text, size_t at) {
  return at + 4 <= text.size() && text[at] == '\\' && text[at + 1] == 'x' &&
         HexDigitValue(text[at + 2]) >= 0 && HexDigitValue(text[at + 3]) >= 0;
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
      bytes +=
          static_cast<char>(HexDigitValue(argument[at + 2]) * 16 + HexDigitValue(argument[at + 3]));
      at += 3;
      start = at + 1;
    }
  }
  return true;
}

}  // namespace lumora::send
