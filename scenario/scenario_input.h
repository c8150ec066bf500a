// Reading a scenario from a file or standard input, within bounds: a scenario is a small text
// written by hand or by a tool, so anything much larger is a mistake (a device, a wrong file)
// and is refused before it can exhaust memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumora::scenario {

// The largest scenario input, and the longest line in it (without its line feed). The longest
// sensible line, a copydata line of the largest frame a sender may send (1024 bytes, 2048
// hexadecimal digits), fits twice.
inline constexpr size_t kScenarioInputMax = 16 * 1024 * 1024;
inline constexpr size_t kScenarioLineMax = 4096;

struct InputError {
  size_t line = 0;  // the line where a bound was crossed; 0 when the input could not be read
  std::string reason;
};

// Reads the whole scenario at path ("-": standard input). False with the reason when it cannot
// be read (missing, unreadable, a folder), or with the line number when a line is longer than
// kScenarioLineMax ("line too long (more than 4096 bytes)") or the input larger than
// kScenarioInputMax ("input larger than 16777216 bytes").
bool ReadScenarioInput(std::string_view path, std::string& text, InputError& error);

// The error as one line: "line N: reason" (with pathOnLines "PATH: line N: reason", for a
// tool that reads more than the one scenario), or "cannot read PATH: reason".
std::string DescribeInputError(std::string_view path, const InputError& error,
                               bool pathOnLines = false);

}  // namespace lumora::scenario
