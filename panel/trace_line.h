// The trace lines that record every call across the agent's platform boundary, one line per
// call: what `lumora-replay` prints and what the stand-in display libraries record, so a trace
// from the field and a replayed one compare line by line. Also the readable form of a line
// (`lumora-replay --decode`): clear, icons .., text2 0 "..", option 3, pclock start/stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "panel/panel_tables.h"

namespace lumora {

// Longest trace line: "cmd " + 130 hex digits; a message box line is bounded by its texts.
inline constexpr size_t kTraceLineMax = 160;

// Each writes one line without its line feed into out (size >= kTraceLineMax) and returns its
// length.
size_t FormatOpenLine(char* out, int32_t device, int32_t width, int32_t height);
size_t FormatCmdLine(char* out, const uint8_t* packet);
size_t FormatSleepLine(char* out, uint32_t milliseconds);
size_t FormatCloseLine(char* out);
std::string FormatMessageBoxLine(std::string_view caption, std::string_view text);

// The readable form of one packet: "clear", "icons 00 00 10 ...", "text2 0 \"CH-007     \"",
// "option 3", "pclock start 2 21 7 30 20 6 1 5", "pclock stop"; a packet of any other shape as
// its raw "cmd HEX" line. A text shows the panel's Windows-1252 characters in UTF-8 and its
// control and undefined bytes as \xHH (QuoteDisplayText).
std::string DecodePacket(const uint8_t* packet);
// The readable form of one trace line: "cmd" lines decoded, every other line as it stands.
std::string DecodeTraceLine(std::string_view line);
// Parses the 130 hex digits of a "cmd" line; false when the line is not one.
bool ParseCmdLine(std::string_view line, Packet& packet);
// The grammar of the lines the trace writer writes: nullptr when the line has the shape of one
// of them (open, cmd, sleep, msgbox, close, or a # note), else the reason it has not.
const char* TraceLineProblem(std::string_view line);

// Receives the trace, one line at a time, without its line feed.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Line(const char* text, size_t length) = 0;
  // Every packet sent, after its line; for observers such as a panel model.
  virtual void Packet(const uint8_t* /*packet*/) {}
};

// Writes each line and its line feed to a file; with flushEach, flushed at once, so the trace
// is complete up to the last call even when the process is stopped from outside.
class FileTraceSink final : public TraceSink {
 public:
  explicit FileTraceSink(std::FILE* file, bool flushEach = true)
      : file_(file), flushEach_(flushEach) {}
  void Line(const char* text, size_t length) override;
  // A line could not be written whole (a full disk, a closed pipe).
  bool failed() const { return failed_; }
  // Why the first line that failed could not be written (an errno), 0 when none failed.
  int error() const { return error_; }

 private:
  std::FILE* file_;
  bool flushEach_;
  bool failed_ = false;
  int error_ = 0;
};

// The one trace writer: each call across the agent's platform boundary that the trace names,
// as its line, handed to a sink (none: nothing is recorded). Lines are built in local buffers.
class TraceWriter {
 public:
  explicit TraceWriter(TraceSink* sink) : sink_(sink) {}
  void Open(int32_t device, int32_t width, int32_t height);
  // The line of a packet, then the packet itself for the sink's observers.
  void Cmd(const uint8_t* packet);
  void Sleep(uint32_t milliseconds);
  void MessageBox(const char* caption, const char* text);
  // A note for the reader, not a call: "# " and the text on one line (line breaks as blanks).
  void Note(std::string_view text);
  void Close();

 private:
  TraceSink* sink_;
};

// The trace file of a stand-in display library: the file that an environment variable names,
// opened for appending when the device is opened and closed with it.
class AppendedTraceFile {
 public:
  AppendedTraceFile() = default;
  ~AppendedTraceFile() { Close(); }
  AppendedTraceFile(const AppendedTraceFile&) = delete;
  AppendedTraceFile& operator=(const AppendedTraceFile&) = delete;

  // (Re)opens the file that the variable names: true when it is open, or when the variable is
  // unset or empty (nothing is then recorded); false when the file cannot be opened.
  bool OpenFromEnvironment(const char* variable);
  void Close();
  TraceWriter& writer() { return writer_; }

 private:
  std::FILE* file_ = nullptr;
  FileTraceSink sink_{nullptr};
  TraceWriter writer_{nullptr};
};

}  // namespace lumora
