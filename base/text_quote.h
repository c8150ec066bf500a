// The one quoting of a text field's bytes, shared by the scenario language, the readable trace
// and the emulator's state lines: in double quotes, printable ASCII as it is, quote and
// backslash escaped, every other byte as \xHH.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

std::string QuoteText(std::string_view text);

}  // namespace lumora
