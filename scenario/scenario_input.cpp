#include "scenario/scenario_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lumora::scenario {

namespace {

// Appends a chunk, keeping count of lines and of the current line's length; false when a bound
// is crossed.
bool Take(const char* data, size_t size, std::string& text, size_t& line, size_t& lineLength,
          InputError& error) {
  // The byte that would cross the input bound, if this chunk holds it.
  const size_t room = kScenarioInputMax - text.size();
  for (size_t i = 0; i < size; ++i) {
    if (i == room) {
      error = {line, "input larger than " + std::to_string(kScenarioInputMax) + " bytes"};
      return false;
    }
    if (data[i] == '\n') {
      ++line;
      lineLength = 0;
    } else if (++lineLength > kScenarioLineMax) {
      error = {line, "line too long (more than " + std::to_string(kScenarioLineMax) + " bytes)"};
      return false;
    }
  }
  text.append(data, size);
  return true;
}

}  // namespace

bool ReadScenarioInput(std::string_view path, std::string& text, InputError& error) {
  text.clear();
  std::FILE* file = stdin;
  const bool standardInput = path == "-";
  if (!standardInput) {
    // One check of the path; the file system library would triple the size of the Windows
    // sender for it.
    struct stat status;
    if (stat(std::string(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      error = {0, "it is a folder"};
      return false;
    }
    file = std::fopen(std::string(path).c_str(), "rb");
    if (file == nullptr) {
      error = {0, std::strerror(errno)};
      return false;
    }
  }
  size_t line = 1;
  size_t lineLength = 0;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, file);
    if (n > 0 && !Take(chunk, n, text, line, lineLength, error)) {
      ok = false;
      break;
    }
    if (n < sizeof chunk) {
      if (std::ferror(file) != 0) {
        error = {0, std::strerror(errno != 0 ? errno : EIO)};
        ok = false;
      }
      break;
    }
  }
  if (!standardInput) std::fclose(file);
  if (!ok) text.clear();
  return ok;
}

std::string DescribeInputError(std::string_view path, const InputError& error, bool pathOnLines) {
  if (error.line != 0) {
    const std::string where = pathOnLines ? std::string(path) + ": " : std::string();
    return where + "line " + std::to_string(error.line) + ": " + error.reason;
  }
  const std::string name = path == "-" ? std::string("standard input") : std::string(path);
  return "cannot read " + name + ": " + error.reason;
}

}  // namespace lumora::scenario
