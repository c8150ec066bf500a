// The frames of the Linux agent's intake: how a sender on the same machine hands the agent one
// window message (WM_COPYDATA, WM_POWERBROADCAST, WM_ENDSESSION, with their Windows numbers and
// payloads) or asks it to close, over a Unix domain socket, and how the agent answers.
//
// Request frame, little-endian, 32-byte header then the payload:
//
//   offset size field
//   0      4    magic "LUMO"
//   4      1    version, 1
//   5      1    type: 1 window message, 2 close request
//   6      2    reserved, 0
//   8      4    message: 74 WM_COPYDATA, 536 WM_POWERBROADCAST, 22 WM_ENDSESSION (close: 0)
//   12     4    payload length: 0 to 1024, and 0 for anything but WM_COPYDATA
//   16     8    wParam
//   24     8    dwData of WM_COPYDATA (0 for anything else)
//   32     n    payload: the WM_COPYDATA data (the 40-byte Media State Event, or any bytes)
//
// Reply frame, 16 bytes: magic "LUMO", version 1, type 3, status (0 done, else the reason the
// request was refused, or 11 busy), reserved 0, then the window procedure's result as int64.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora::posix {

inline constexpr uint8_t kFrameMagic[4] = {'L', 'U', 'M', 'O'};
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

const char* DescribeFrameStatus(FrameStatus status);

}  // namespace lumora::posix
