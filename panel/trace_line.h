// The trace lines that record every call across the agent's platform boundary, one line per
// call: what `lumora-replay` prints and what the stand-in display libraries record, so a trace
// from the field and a replayed one compare line by line. Also the readable form of a line
// (`lumora-replay --decode`): clear, icons .., text2 0 "..", option 3, pclock start/stop.
#pragma once

#include <cstddef>
#include <cstdint>
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

// A text in double quotes as the readable trace and the scenario format write it: printable
// ASCII as it is, quote and backslash escaped, every other byte as \xHH.
std::string QuoteText(std::string_view text);

// The readable form of one packet: "clear", "icons 00 00 10 ...", "text2 0 \"CH-007     \"",
// "option 3", "pclock start 2 21 7 30 20 6 1 5", "pclock stop"; a packet of any other shape as
// its raw "cmd HEX" line.
std::string DecodePacket(const uint8_t* packet);
// The readable form of one trace line: "cmd" lines decoded, every other line as it stands.
std::string DecodeTraceLine(std::string_view line);
// Parses the 130 hex digits of a "cmd" line; false when the line is not one.
bool ParseCmdLine(std::string_view line, Packet& packet);

}  // namespace lumora
