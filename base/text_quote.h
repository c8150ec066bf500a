// The quoting of a text field's bytes. QuoteText is the scenario language's: in double quotes,
// printable ASCII as it is, quote and backslash escaped, every other byte as \xHH, so that it
// reads back byte for byte. QuoteDisplayText is the readable forms' (the decoded trace, the
// emulator's state lines): the same, except that the printable characters of Windows-1252, the
// panel's character set, are shown as UTF-8 (0xE9 as "é"); control bytes, the undefined bytes,
// the no-break space and the soft hyphen stay \xHH. QuoteUtf8Text is for texts that are UTF-8
// (what a player says): its characters as they are, control and stray bytes as \xHH; every form
// reads back byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

std::string QuoteText(std::string_view text);
std::string QuoteDisplayText(std::string_view text);
std::string QuoteUtf8Text(std::string_view text);

}  // namespace lumora
