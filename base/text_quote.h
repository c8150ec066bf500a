// The quoting of a text field's bytes. QuoteText is the scenario language's: in double quotes,
// printable ASCII as it is, quote and backslash escaped, every other byte as \xHH, so that it
// reads back byte for byte. QuoteDisplayText is the readable forms' (the decoded trace, the
// emulator's state lines): the same, except that the printable characters of Windows-1252, the
// panel's character set, are shown as UTF-8 (0xE9 as "é"); control bytes, the undefined bytes,
// the no-break space and the soft hyphen stay \xHH. QuoteUtf8Text is for texts that are UTF-8
// (what a player says): its characters as they are, control and stray bytes as \xHH; every
// quoted form reads back byte for byte. ShowControls is the notes' (a file's or a peer's words
// inside a line on a terminal or in the journal): the text as it stands but for its control
// characters, which could break the line or drive the terminal.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

std::string QuoteText(std::string_view text);
std::string QuoteDisplayText(std::string_view text);
std::string QuoteUtf8Text(std::string_view text);

// The text with each control character written \xHH: the bytes 0x00 to 0x1F and 0x7F, and the
// C1 controls U+0080 to U+009F as the two bytes of their UTF-8 (\xc2\x9b). Every other byte, UTF-8
// or not, stays as it is.
std::string ShowControls(std::string_view text);

}  // namespace lumora
