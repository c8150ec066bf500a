// The whole of a file as bytes, for the tests that read scenarios and expected traces.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumora::test {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace lumora::test
