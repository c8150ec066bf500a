// The frames of the Linux agent's intake: how a sender on the same machine hands the agent one
// window message (WM_COPYDATA, WM_POWERBROADCAST, WM_ENDSESSION, with their Windows numbers and
// payloads) or asks it to close, over a Unix domain socket, and how the agent answers.
//
// Request frame, little-endian, 32-byte header then the payload:
//
//   offset size field
//   0      4    magic "LUMO"
//   4      1    version, 1
//   5      1    type: 1 window message, 2 close request, 4 status request
//   6      2    reserved, 0
//   8      4    message: 74 WM_COPYDATA, 536 WM_POWERBROADCAST, 22 WM_ENDSESSION (close and
//               status: 0)
//   12     4    payload length: 0 to 1024, and 0 for anything but WM_COPYDATA
//   16     8    wParam
//   24     8    dwData of WM_COPYDATA (0 for anything else)
//   32     n    payload: the WM_COPYDATA data (the 40-byte Media State Event, or any bytes)
//
// Reply frame, 16 bytes: magic "LUMO", version 1, type 3, status (0 done, else the reason the
// request was refused, or 11 busy), reserved 0, then the window procedure's result as int64.
//
// A status request changes nothing; it is answered with a status reply: the 16 bytes of a reply
// with type 5 and, in place of the result, the length of the report that follows
// (kStatusReportSize bytes): what the panel shows and the agent's clock, as StatusReport below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora::posix {

inline constexpr uint8_t kFrameMagic[4] = {'L', 'U', 'M', 'O'};
// Where the fields of a header lie, as the layout above gives them; a reply shares the first six.
namespace at {
inline constexpr size_t kVersion = 4;
inline constexpr size_t kType = 5;
inline constexpr size_t kReserved = 6;  // 2 bytes in a request
inline constexpr size_t kMessage = 8;
inline constexpr size_t kLength = 12;
inline constexpr size_t kWParam = 16;
inline constexpr size_t kDwData = 24;
inline constexpr size_t kReplyStatus = 6;
inline constexpr size_t kReplyReserved = 7;
inline constexpr size_t kReplyResult = 8;
}  // namespace at
inline constexpr uint8_t kFrameVersion = 1;
inline constexpr size_t kFrameHeaderSize = 32;
inline constexpr size_t kFramePayloadMax = 1024;
inline constexpr size_t kFrameMax = kFrameHeaderSize + kFramePayloadMax;
inline constexpr size_t kReplySize = 16;
// The connections an agent serves at a time. One more is accepted and told "busy" at once.
inline constexpr size_t kMaxConnections = 8;

enum class FrameType : uint8_t {
  Message = 1,
  Close = 2,
  Reply = 3,
  Status = 4,       // what does the agent show? Changes nothing.
  StatusReply = 5,  // a reply followed by a status report
};

// Why a frame was refused; kOk when it was not. Sent back as the reply's status.
enum class FrameStatus : uint8_t {
  Ok = 0,
  Truncated = 1,  // fewer bytes than the header or its payload length say
  BadMagic = 2,
  BadVersion = 3,
  BadType = 4,
  BadReserved = 5,
  BadMessage = 6,         // not one of the three window messages (or not 0 for close)
  TooLong = 7,            // payload length above kFramePayloadMax
  UnexpectedPayload = 8,  // payload or dwData on a message that carries none
  TrailingBytes = 9,      // more bytes than the frame
  Timeout = 10,           // the frame did not arrive in time
  Busy = 11,              // every connection was taken: nothing was read or applied, try again
};
// The highest status a reply may carry.
inline constexpr FrameStatus kLastFrameStatus = FrameStatus::Busy;

struct Frame {
  FrameType type = FrameType::Message;
  uint32_t message = 0;
  uint64_t wParam = 0;
  uint64_t dwData = 0;
  const uint8_t* payload = nullptr;  // points into the decoded bytes
  uint32_t length = 0;
};

struct Reply {
  FrameStatus status = FrameStatus::Ok;
  int64_t result = 0;
};

// Checks the first kFrameHeaderSize bytes of a request; on kOk fills out except the payload.
FrameStatus DecodeFrameHeader(const uint8_t* bytes, size_t size, Frame& out);
// Decodes exactly one whole request frame of size bytes. A pure function: it reads only the
// given bytes and writes only out, and out is left untouched unless the result is kOk.
FrameStatus DecodeFrame(const uint8_t* bytes, size_t size, Frame& out);
// Encodes a request; returns its size, or 0 when it does not fit in size bytes or its payload is
// too long.
size_t EncodeFrame(const Frame& frame, uint8_t* out, size_t size);

void EncodeReply(const Reply& reply, uint8_t (&out)[kReplySize]);
bool DecodeReply(const uint8_t* bytes, size_t size, Reply& out);

// --- The status report ---
// Who shows the time, as the agent's model says.
enum class ClockState : uint8_t {
  None = 0,        // the shell runs and the agent shows no clock
  Time = 1,        // the shell runs; the agent's time on line 3
  DateTime = 2,    // the shell runs; the agent's date on line 2 and time on line 3 (quiet)
  Idle = 3,        // the shell does not run: the agent's idle date and time
  PanelClock = 4,  // the panel runs its own clock: handed over on suspend or at session end
};
inline constexpr ClockState kLastClockState = ClockState::PanelClock;

// The agent's power situation.
enum class PowerStatus : uint8_t { Normal = 0, Quiet = 1, Suspended = 2, SessionEnding = 3 };
inline constexpr PowerStatus kLastPowerStatus = PowerStatus::SessionEnding;

// The longest line a status report carries: a panel line keeps at most 60 bytes.
inline constexpr size_t kStatusLineMax = 60;

// What a running agent shows, read from its model. Little-endian, kStatusReportSize bytes:
//
//   offset size field
//   0      1    clock state (ClockState)
//   1      1    power state (PowerStatus)
//   2      1    level: the lit segments of the level bar, 0 to 16
//   3      1    flags: bit 0 the panel is open
//   4      4    the lit icons: bit i for the i-th icon of the panel's icon table (VCD, which is
//               the CD and VIDEO icons together, alone when it is lit)
//   8      1    length of line 2, 0 to 60
//   9      1    length of line 3, 0 to 60
//   10     2    reserved, 0
//   12     60   line 2 as the panel shows it (Windows-1252; while the panel runs its own clock,
//               its date), zero bytes after its length
//   72     60   line 3 likewise (the panel clock's time)
struct StatusReport {
  ClockState clock = ClockState::None;
  PowerStatus power = PowerStatus::Normal;
  uint8_t levelSegments = 0;
  bool panelOpen = false;
  uint32_t litIcons = 0;
  uint8_t line2Length = 0;
  uint8_t line3Length = 0;
  char line2[kStatusLineMax] = {};
  char line3[kStatusLineMax] = {};
};
inline constexpr size_t kStatusReportSize = 132;
// Where the fields of a report lie, as the layout above gives them.
namespace report_at {
inline constexpr size_t kClock = 0;
inline constexpr size_t kPower = 1;
inline constexpr size_t kLevel = 2;
inline constexpr size_t kFlags = 3;
inline constexpr size_t kIcons = 4;
inline constexpr size_t kLine2Length = 8;
inline constexpr size_t kLine3Length = 9;
inline constexpr size_t kReserved = 10;  // 2 bytes
inline constexpr size_t kLine2 = 12;
inline constexpr size_t kLine3 = kLine2 + kStatusLineMax;
}  // namespace report_at
static_assert(report_at::kLine3 + kStatusLineMax == kStatusReportSize);
inline constexpr size_t kStatusReplySize = kReplySize + kStatusReportSize;
// The longest reply the agent writes.
inline constexpr size_t kReplyMax = kStatusReplySize;

// The status reply to a status request, in a fixed buffer.
void EncodeStatusReply(const StatusReport& report, uint8_t (&out)[kStatusReplySize]);
// The 16 bytes that begin a status reply; false when they are not one.
bool IsStatusReplyHeader(const uint8_t* bytes, size_t size);
// The report after those 16 bytes; false when a field is out of its range.
bool DecodeStatusReport(const uint8_t* bytes, size_t size, StatusReport& out);

const char* DescribeFrameStatus(FrameStatus status);

}  // namespace lumora::posix
