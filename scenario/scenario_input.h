// Reading a scenario from a file or standard input, within bounds. Whole (ReadScenarioInput),
// for what a sender or the demo holds in memory: a scenario written by hand or by a tool is
// small, so anything much larger is a mistake (a device, a wrong file) and is refused before it
// can exhaust memory. Line by line (ScenarioLines), for the replay of a recording, which may be
// of any length: only a line is held at a time. Both refuse a line longer than the bound, which
// is what an endless input without line feeds (a device) runs into first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace lumora::scenario {

// The largest scenario read whole, and the longest line of any (without its line feed). The
// longest sensible line, a copydata line of the largest frame a sender may send or a recording
// keeps (1024 bytes, 2048 hexadecimal digits), fits twice.
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

// A scenario read line by line, in bounded memory however long it is, and read twice: once to
// check it whole, once to run it, so that a malformed scenario still runs nothing. An input that
// cannot be read again from its start (standard input from a pipe, a FIFO) is copied to a
// temporary file, deleted when it is closed, as it is read the first time. The line bound stays;
// the input bound kScenarioInputMax does not apply.
class ScenarioLines {
 public:
  ScenarioLines() = default;
  ~ScenarioLines();
  ScenarioLines(const ScenarioLines&) = delete;
  ScenarioLines& operator=(const ScenarioLines&) = delete;

  // Opens the scenario at path ("-": standard input). False with the reason when it cannot be
  // read (missing, unreadable, a folder).
  bool Open(std::string_view path, InputError& error);
  // The next line, without its line feed; valid until the next call. False at the end, or with
  // error.reason set when a line is too long (its number in error.line) or reading failed.
  bool Next(std::string_view& line, InputError& error);
  // Back to the first line for the second reading, which gives the bytes of the first and no
  // more, even when the file has grown since (an agent still appending to its recording).
  bool Rewind(InputError& error);

 private:
  bool Refill(InputError& error);

  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  std::FILE* copy_ = nullptr;  // the temporary copy of an input that cannot be read again
  bool copying_ = false;
  std::fpos_t start_{};
  bool secondReading_ = false;
  uint64_t firstBytes_ = 0;  // the bytes the first reading took
  uint64_t bytes_ = 0;       // the bytes this reading took
  size_t lineNumber_ = 0;
  char chunk_[65536] = {};
  size_t chunkPos_ = 0;
  size_t chunkEnd_ = 0;
  bool atEnd_ = false;
  char line_[kScenarioLineMax] = {};
};

// The error as one line: "line N: reason" (with pathOnLines "PATH: line N: reason", for a
// tool that reads more than the one scenario), or "cannot read PATH: reason".
std::string DescribeInputError(std::string_view path, const InputError& error,
                               bool pathOnLines = false);

}  // namespace lumora::scenario
