// The TEXT argument of a sender: typed in a UTF-8 terminal, sent as the Windows-1252 bytes an
// event source on Windows would send, since the panel's text is single-byte.
#pragma once

#include <string>
#include <string_view>

namespace lumora::send {

// Converts the argument to the bytes of the event's text field. `\xHH` (two hexadecimal
// digits) stands for the byte HH, for any byte the set has no character for; every other
// backslash is itself (write `\x5c` for a backslash followed by x and two hexadecimal digits).
// Returns false with a one-line reason for text that is not UTF-8 or a character that
// Windows-1252 cannot hold, naming it.
bool TextFromArgument(std::string_view argument, std::string& bytes, std::string& reason);

}  // namespace lumora::send
