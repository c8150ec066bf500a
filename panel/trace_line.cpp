#include "panel/trace_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/hex.h"
#include "base/text_quote.h"

namespace lumora {

namespace {

bool AllZero(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

}  // namespace

size_t FormatOpenLine(char* out, int32_t device, int32_t width, int32_t height) {
  const int n = std::snprintf(out, kTraceLineMax, "open %d %d %d", device, width, height);
  return static_cast<size_t>(n);
}

size_t FormatCmdLine(char* out, const uint8_t* packet) {
  std::memcpy(out, "cmd ", 4);
  size_t n = 4;
  for (size_t i = 0; i < kPacketSize; ++i) {
    out[n++] = kHexDigits[packet[i] >> 4];
    out[n++] = kHexDigits[packet[i] & 0xF];
  }
  out[n] = '\0';
  return n;
}

size_t FormatSleepLine(char* out, uint32_t milliseconds) {
  return static_cast<size_t>(std::snprintf(out, kTraceLineMax, "sleep %u", milliseconds));
}

size_t FormatCloseLine(char* out) {
  std::memcpy(out, "close", 6);
  return 5;
}

std::string FormatMessageBoxLine(std::string_view caption, std::string_view text) {
  std::string line = "msgbox ";
  line += caption;
  line += '|';
  line += text;
  return line;
}

std::string DecodePacket(const uint8_t* packet) {
  char buffer[kTraceLineMax];
  const bool headerClear = packet[0] == 0 && packet[1] == 0;
  const uint8_t command = packet[kPacketCommand];
  const uint8_t arg1 = packet[kPacketArg1];
  const uint8_t arg2 = packet[kPacketArg2];
  const uint8_t* payload = packet + kPacketPayload;
  if (headerClear) {
    if (command == kCmdClear && arg1 == 0 && arg2 == 0 && AllZero(payload, kPayloadSize)) {
      return "clear";
    }
    if (command == kCmdIcons && arg1 == 0 && arg2 == 0 &&
        AllZero(payload + kIconMapSize, kPayloadSize - kIconMapSize)) {
      std::string line = "icons";
      for (size_t i = 0; i < kIconMapSize; ++i) {
        std::snprintf(buffer, sizeof buffer, " %02x", payload[i]);
        line += buffer;
      }
      return line;
    }
    if ((command == kCmdLine2 || command == kCmdLine3) && arg2 == 0) {
      const size_t length = strnlen(reinterpret_cast<const char*>(payload), kPayloadSize);
      if (AllZero(payload + length, kPayloadSize - length)) {
        std::snprintf(buffer, sizeof buffer, "text%u %u ", command, arg1);
        return buffer +
               QuoteDisplayText(std::string_view(reinterpret_cast<const char*>(payload), length));
      }
    }
    if (command == kCmdOption && arg2 == 0 && AllZero(payload, kPayloadSize)) {
      std::snprintf(buffer, sizeof buffer, "option %u", arg1);
      return buffer;
    }
    if (command == kCmdPanelClock && arg1 == kPanelClockStop && arg2 == 0 &&
        AllZero(payload, kPayloadSize)) {
      return "pclock stop";
    }
    if (command == kCmdPanelClock && arg1 == kPanelClockStart &&
        AllZero(payload + kClockFieldCount, kPayloadSize - kClockFieldCount)) {
      std::snprintf(buffer, sizeof buffer, "pclock start %u %u %u %u %u %u %u %u", arg2,
                    payload[kClockHour], payload[kClockMinute], payload[kClockSecond],
                    payload[kClockCentury], payload[kClockYearOfCentury], payload[kClockMonth],
                    payload[kClockDay]);
      return buffer;
    }
  }
  FormatCmdLine(buffer, packet);
  return buffer;
}

bool ParseCmdLine(std::string_view line, Packet& packet) {
  if (line.size() != 4 + 2 * kPacketSize || line.substr(0, 4) != "cmd ") return false;
  for (size_t i = 0; i < kPacketSize; ++i) {
    const int high = HexDigitValue(line[4 + 2 * i]);
    const int low = HexDigitValue(line[5 + 2 * i]);
    if (high < 0 || low < 0) return false;
    packet[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

std::string DecodeTraceLine(std::string_view line) {
  Packet packet{};
  if (ParseCmdLine(line, packet)) return DecodePacket(packet.data());
  return std::string(line);
}

void FileTraceSink::Line(const char* text, size_t length) {
  if (file_ == nullptr) return;
  errno = 0;
  if (std::fwrite(text, 1, length, file_) != length || std::fputc('\n', file_) == EOF ||
      (flushEach_ && std::fflush(file_) != 0)) {
    if (!failed_) error_ = errno != 0 ? errno : EIO;
    failed_ = true;
  }
}

void TraceWriter::Open(int32_t device, int32_t width, int32_t height) {
  if (sink_ == nullptr) return;
  char line[kTraceLineMax];
  sink_->Line(line, FormatOpenLine(line, device, width, height));
}

void TraceWriter::Cmd(const uint8_t* packet) {
  if (sink_ == nullptr) return;
  char line[kTraceLineMax];
  sink_->Line(line, FormatCmdLine(line, packet));
  sink_->Packet(packet);
}

void TraceWriter::Sleep(uint32_t milliseconds) {
  if (sink_ == nullptr) return;
  char line[kTraceLineMax];
  sink_->Line(line, FormatSleepLine(line, milliseconds));
}

void TraceWriter::MessageBox(const char* caption, const char* text) {
  if (sink_ == nullptr) return;
  const std::string line = FormatMessageBoxLine(caption, text);
  sink_->Line(line.data(), line.size());
}

void TraceWriter::Note(std::string_view text) {
  if (sink_ == nullptr) return;
  std::string line = "# ";
  for (const char c : text)
    line += c == '\n' || c == '\r' ? ' ' : c;
  sink_->Line(line.data(), line.size());
}

void TraceWriter::Close() {
  if (sink_ == nullptr) return;
  char line[kTraceLineMax];
  sink_->Line(line, FormatCloseLine(line));
}

bool AppendedTraceFile::OpenFromEnvironment(const char* variable) {
  Close();
  const char* path = std::getenv(variable);
  if (path == nullptr || path[0] == '\0') return true;
  file_ = std::fopen(path, "ab");
  if (file_ == nullptr) return false;
  sink_ = FileTraceSink{file_};
  writer_ = TraceWriter{&sink_};
  return true;
}

void AppendedTraceFile::Close() {
  writer_ = TraceWriter{nullptr};
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

const char* TraceLineProblem(std::string_view line) {
  auto numbers = [](std::string_view rest, int count) {
    for (int i = 0; i < count; ++i) {
      if (rest.empty() || rest[0] != ' ') return false;
      rest.remove_prefix(1);
      if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
      size_t digits = 0;
      while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
      if (digits == 0) return false;
      rest.remove_prefix(digits);
    }
    return rest.empty();
  };
  Packet packet;
  if (line.starts_with("#") || line == "close") return nullptr;
  if (line.starts_with("open"))
    return numbers(line.substr(4), 3) ? nullptr : "open wants 3 numbers";
  if (line.starts_with("sleep"))
    return numbers(line.substr(5), 1) ? nullptr : "sleep wants a number";
  if (line.starts_with("msgbox ")) return nullptr;
  if (line.starts_with("cmd")) {
    return ParseCmdLine(line, packet) ? nullptr : "cmd wants 130 hexadecimal digits";
  }
  return "not a trace line (open, cmd, close, sleep, msgbox or a # note)";
}

}  // namespace lumora
