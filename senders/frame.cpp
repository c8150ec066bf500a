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
  if (bytes[4] != kFrameVersion) return FrameStatus::BadVersion;
  const uint8_t type = bytes[5];
  if (type != static_cast<uint8_t>(FrameType::Message) &&
      type != static_cast<uint8_t>(FrameType::Close) &&
      type != static_cast<uint8_t>(FrameType::Status)) {
    return FrameStatus::BadType;
  }
  if (bytes[6] != 0 || bytes[7] != 0) return FrameStatus::BadReserved;
  const uint32_t message = Get32(bytes + 8);
  const uint32_t length = Get32(bytes + 12);
  const uint64_t wParam = Get64(bytes + 16);
  const uint64_t dwData = Get64(bytes + 24);
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
  out[4] = kFrameVersion;
  out[5] = static_cast<uint8_t>(frame.type);
  Put32(out + 8, frame.message);
  Put32(out + 12, frame.length);
  Put64(out + 16, frame.wParam);
  Put64(out + 24, frame.dwData);
  if (frame.length != 0) std::memcpy(out + kFrameHeaderSize, frame.payload, frame.length);
  return whole;
}

void EncodeReply(const Reply& reply, uint8_t (&out)[kReplySize]) {
  std::memset(out, 0, sizeof out);
  std::memcpy(out, kFrameMagic, sizeof kFrameMagic);
  out[4] = kFrameVersion;
  out[5] = static_cast<uint8_t>(FrameType::Reply);
  out[6] = static_cast<uint8_t>(reply.status);
  Put64(out + 8, static_cast<uint64_t>(reply.result));
}

bool DecodeReply(const uint8_t* bytes, size_t size, Reply& out) {
  if (size != kReplySize || std::memcmp(bytes, kFrameMagic, sizeof kFrameMagic) != 0 ||
      bytes[4] != kFrameVersion || bytes[5] != static_cast<uint8_t>(FrameType::Reply) ||
      bytes[7] != 0 || bytes[6] > static_cast<uint8_t>(kLastFrameStatus)) {
    return false;
  }
  out.status = static_cast<FrameStatus>(bytes[6]);
  out.result = static_cast<int64_t>(Get64(bytes + 8));
  return true;
}

void EncodeStatusReply(const StatusReport& report, uint8_t (&out)[kStatusReplySize]) {
  std::memset(out, 0, sizeof out);
  std::memcpy(out, kFrameMagic, sizeof kFrameMagic);
  out[4] = kFrameVersion;
  out[5] = static_cast<uint8_t>(FrameType::StatusReply);
  Put64(out + 8, kStatusReportSize);
  uint8_t* r = out + kReplySize;
  r[0] = static_cast<uint8_t>(report.clock);
  r[1] = static_cast<uint8_t>(report.power);
  r[2] = report.levelSegments;
  r[3] = report.panelOpen ? 1 : 0;
  Put32(r + 4, report.litIcons);
  const uint8_t length2 = report.line2Length > kStatusLineMax ? kStatusLineMax : report.line2Length;
  const uint8_t length3 = report.line3Length > kStatusLineMax ? kStatusLineMax : report.line3Length;
  r[8] = length2;
  r[9] = length3;
  std::memcpy(r + 12, report.line2, length2);
  std::memcpy(r + 12 + kStatusLineMax, report.line3, length3);
}

bool IsStatusReplyHeader(const uint8_t* bytes, size_t size) {
  return size == kReplySize && std::memcmp(bytes, kFrameMagic, sizeof kFrameMagic) == 0 &&
         bytes[4] == kFrameVersion && bytes[5] == static_cast<uint8_t>(FrameType::StatusReply) &&
         bytes[6] == 0 && bytes[7] == 0 && Get64(bytes + 8) == kStatusReportSize;
}

bool DecodeStatusReport(const uint8_t* bytes, size_t size, StatusReport& out) {
  if (size != kStatusReportSize) return false;
  if (bytes[0] > static_cast<uint8_t>(kLastClockState) ||
      bytes[1] > static_cast<uint8_t>(kLastPowerStatus) || bytes[2] > 16 || bytes[3] > 1 ||
      bytes[8] > kStatusLineMax || bytes[9] > kStatusLineMax || bytes[10] != 0 || bytes[11] != 0) {
    return false;
  }
  StatusReport report;
  report.clock = static_cast<ClockState>(bytes[0]);
  report.power = static_cast<PowerStatus>(bytes[1]);
  report.levelSegments = bytes[2];
  report.panelOpen = bytes[3] == 1;
  report.litIcons = Get32(bytes + 4);
  report.line2Length = bytes[8];
  report.line3Length = bytes[9];
  std::memcpy(report.line2, bytes + 12, report.line2Length);
  std::memcpy(report.line3, bytes + 12 + kStatusLineMax, report.line3Length);
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
