#include "senders/frame.h"

#include <cstring>

#include "base/platform.h"

namespace lumora::posix {

namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t Get64(const uint8_t* p) {
  return uint64_t{Get32(p)} | uint64_t{Get32(p + 4)} << 32;
}

void Put32(uint8_t* p, uint32_t value) {
  for (size_t i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put64(uint8_t* p, uint64_t value) {
  for (size_t i = 0; i < 8; ++i)
    p[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool IsIntakeMessage(uint32_t message) {
  return message == kWmCopyData || message == kWmPowerBroadcast || message == kWmEndSession;
}

}  // namespace

FrameStatus DecodeFrameHeader(const uint8_t* bytes, size_t size, Frame& out) {
  if (size < kFrameHeaderSize) return FrameStatus::Truncated;
  if (std::memcmp(bytes, kFrameMagic, sizeof kFrameMagic) != 0) return FrameStatus::BadMagic;
  if (bytes[at::kVersion] != kFrameVersion) return FrameStatus::BadVersion;
  const uint8_t type = bytes[at::kType];
  if (type != static_cast<uint8_t>(FrameType::Message) &&
      type != static_cast<uint8_t>(FrameType::Close) &&
      type != static_cast<uint8_t>(FrameType::Status)) {
    return FrameStatus::BadType;
  }
  if (bytes[at::kReserved] != 0 || bytes[at::kReserved + 1] != 0) return FrameStatus::BadReserved;
  const uint32_t message = Get32(bytes + at::kMessage);
  const uint32_t length = Get32(bytes + at::kLength);
  const uint64_t wParam = Get64(bytes + at::kWParam);
  const uint64_t dwData = Get64(bytes + at::kDwData);
  if (length > kFramePayloadMax) return FrameStatus::TooLong;
  if (type != static_cast<uint8_t>(FrameType::Message)) {
    // A close or status request carries nothing.
    if (message != 0) return FrameStatus::BadMessage;
    if (length != 0 || wParam != 0 || dwData != 0) return FrameStatus::UnexpectedPayload;
  } else {
    if (!IsIntakeMessage(message)) return FrameStatus::BadMessage;
    if (message != kWmCopyData && (length != 0 || dwData != 0)) {
      return FrameStatus::UnexpectedPayload;
    }
  }
  out.type = static_cast<FrameType>(type);
  out.message = message;
  out.wParam = wParam;
  out.dwData = dwData;
  out.length = length;
  out.payload = nullptr;
  return FrameStatus::Ok;
}

FrameStatus DecodeFrame(const uint8_t* bytes, size_t size, Frame& out) {
  Frame frame;
  const FrameStatus status = DecodeFrameHeader(bytes, size, frame);
  if (status != FrameStatus::Ok) return status;
  const size_t whole = kFrameHeaderSize + frame.length;
  if (size < whole) return FrameStatus::Truncated;
  if (size > whole) return FrameStatus::TrailingBytes;
  frame.payload = frame.length == 0 ? nullptr : bytes + kFrameHeaderSize;
  out = frame;
  return FrameStatus::Ok;
}

size_t EncodeFrame(const Frame& frame, uint8_t* out, size_t size) {
  const size_t whole = kFrameHeaderSize + frame.length;
  if (frame.length > kFramePayloadMax || size < whole) return 0;
  std::memset(out, 0, kFrameHeaderSize);
  std::memcpy(out, kFrameMagic, sizeof kFrameMagic);
  out[at::kVersion] = kFrameVersion;
  out[at::kType] = static_cast<uint8_t>(frame.type);
  Put32(out + at::kMessage, frame.message);
  Put32(out + at::kLength, frame.length);
  Put64(out + at::kWParam, frame.wParam);
  Put64(out + at::kDwData, frame.dwData);
  if (frame.length != 0) std::memcpy(out + kFrameHeaderSize, frame.payload, frame.length);
  return whole;
}

void EncodeReply(const Reply& reply, uint8_t (&out)[kReplySize]) {
  std::memset(out, 0, sizeof out);
  std::memcpy(out, kFrameMagic, sizeof kFrameMagic);
  out[at::kVersion] = kFrameVersion;
  out[at::kType] = static_cast<uint8_t>(FrameType::Reply);
  out[at::kReplyStatus] = static_cast<uint8_t>(reply.status);
  Put64(out + at::kReplyResult, static_cast<uint64_t>(reply.result));
}

bool DecodeReply(const uint8_t* bytes, size_t size, Reply& out) {
  if (size != kReplySize || std::memcmp(bytes, kFrameMagic, sizeof kFrameMagic) != 0 ||
      bytes[at::kVersion] != kFrameVersion ||
      bytes[at::kType] != static_cast<uint8_t>(FrameType::Reply) ||
      bytes[at::kReplyReserved] != 0 ||
      bytes[at::kReplyStatus] > static_cast<uint8_t>(kLastFrameStatus)) {
    return false;
  }
  out.status = static_cast<FrameStatus>(bytes[at::kReplyStatus]);
  out.result = static_cast<int64_t>(Get64(bytes + at::kReplyResult));
  return true;
}

void EncodeStatusReply(const StatusReport& report, uint8_t (&out)[kStatusReplySize]) {
  std::memset(out, 0, sizeof out);
  std::memcpy(out, kFrameMagic, sizeof kFrameMagic);
  out[at::kVersion] = kFrameVersion;
  out[at::kType] = static_cast<uint8_t>(FrameType::StatusReply);
  Put64(out + at::kReplyResult, kStatusReportSize);
  uint8_t* r = out + kReplySize;
  r[report_at::kClock] = static_cast<uint8_t>(report.clock);
  r[report_at::kPower] = static_cast<uint8_t>(report.power);
  r[report_at::kLevel] = report.levelSegments;
  r[report_at::kFlags] = report.panelOpen ? 1 : 0;
  Put32(r + report_at::kIcons, report.litIcons);
  const uint8_t length2 = report.line2Length > kStatusLineMax ? kStatusLineMax : report.line2Length;
  const uint8_t length3 = report.line3Length > kStatusLineMax ? kStatusLineMax : report.line3Length;
  r[report_at::kLine2Length] = length2;
  r[report_at::kLine3Length] = length3;
  std::memcpy(r + report_at::kLine2, report.line2, length2);
  std::memcpy(r + report_at::kLine3, report.line3, length3);
}

bool IsStatusReplyHeader(const uint8_t* bytes, size_t size) {
  return size == kReplySize && std::memcmp(bytes, kFrameMagic, sizeof kFrameMagic) == 0 &&
         bytes[at::kVersion] == kFrameVersion &&
         bytes[at::kType] == static_cast<uint8_t>(FrameType::StatusReply) &&
         bytes[at::kReplyStatus] == 0 && bytes[at::kReplyReserved] == 0 &&
         Get64(bytes + at::kReplyResult) == kStatusReportSize;
}

bool DecodeStatusReport(const uint8_t* bytes, size_t size, StatusReport& out) {
  if (size != kStatusReportSize) return false;
  if (bytes[report_at::kClock] > static_cast<uint8_t>(kLastClockState) ||
      bytes[report_at::kPower] > static_cast<uint8_t>(kLastPowerStatus) ||
      bytes[report_at::kLevel] > 16 || bytes[report_at::kFlags] > 1 ||
      bytes[report_at::kLine2Length] > kStatusLineMax ||
      bytes[report_at::kLine3Length] > kStatusLineMax || bytes[report_at::kReserved] != 0 ||
      bytes[report_at::kReserved + 1] != 0) {
    return false;
  }
  StatusReport report;
  report.clock = static_cast<ClockState>(bytes[report_at::kClock]);
  report.power = static_cast<PowerStatus>(bytes[report_at::kPower]);
  report.levelSegments = bytes[report_at::kLevel];
  report.panelOpen = bytes[report_at::kFlags] == 1;
  report.litIcons = Get32(bytes + report_at::kIcons);
  report.line2Length = bytes[report_at::kLine2Length];
  report.line3Length = bytes[report_at::kLine3Length];
  std::memcpy(report.line2, bytes + report_at::kLine2, report.line2Length);
  std::memcpy(report.line3, bytes + report_at::kLine3, report.line3Length);
  out = report;
  return true;
}

const char* DescribeFrameStatus(FrameStatus status) {
  switch (status) {
    case FrameStatus::Ok:
      return "done";
    case FrameStatus::Truncated:
      return "truncated frame";
    case FrameStatus::BadMagic:
      return "not a Lumora frame (bad magic)";
    case FrameStatus::BadVersion:
      return "unsupported frame version";
    case FrameStatus::BadType:
      return "unknown frame type";
    case FrameStatus::BadReserved:
      return "reserved header bytes are not zero";
    case FrameStatus::BadMessage:
      return "not a message the agent takes (WM_COPYDATA, WM_POWERBROADCAST, WM_ENDSESSION)";
    case FrameStatus::TooLong:
      return "payload longer than 1024 bytes";
    case FrameStatus::UnexpectedPayload:
      return "payload or dwData on a message that carries none";
    case FrameStatus::TrailingBytes:
      return "bytes after the end of the frame";
    case FrameStatus::Timeout:
      return "the frame did not arrive within 2 seconds";
    case FrameStatus::Busy:
      return "the agent is busy: every connection is taken";
  }
  return "unknown status";
}

}  // namespace lumora::posix
