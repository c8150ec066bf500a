// The version of the programs, from the project version of the build (`lumora --version`).
#pragma once

#include <string_view>

namespace lumora {

std::string_view ProgramVersion();

}  // namespace lumora
