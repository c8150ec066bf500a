// The frame harness: any bytes through the Linux host's frame decoder, twice. First the whole
// input as one frame: what the decoder accepts must be exactly one well-formed frame that
// encodes back to the same bytes, and what it refuses leaves its output alone. Then the input
// as the stream a sender writes, cut the way the host cuts it (header, then the length the
// header gives), every accepted frame delivered to a real agent as the host delivers it.
#include <algorithm>
#include <cstring>
#include <memory>

#include "base/platform.h"
#include "senders/frame.h"
#include "tests/fuzz/agent_driver.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

namespace {

using posix::Frame;
using posix::FrameStatus;
using posix::FrameType;

const uint8_t kSentinelPayload[1] = {0};

Frame Sentinel() {
  Frame frame;
  frame.type = FrameType::Reply;
  frame.message = 0xDEADBEEF;
  frame.wParam = 0x0123456789ABCDEF;
  frame.dwData = 0xFEDCBA9876543210;
  frame.payload = kSentinelPayload;
  frame.length = 0xFFFF;
  return frame;
}

bool SameFrame(const Frame& a, const Frame& b) {
  return a.type == b.type && a.message == b.message && a.wParam == b.wParam &&
         a.dwData == b.dwData && a.payload == b.payload && a.length == b.length;
}

// A copy of bytes in a heap block of exactly their size, so a read past the end is caught.
std::unique_ptr<uint8_t[]> Exact(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
  if (size != 0) std::memcpy(block.get(), data, size);
  return block;
}

void CheckAccepted(const uint8_t* bytes, size_t size, const Frame& frame) {
  if (frame.length > posix::kFramePayloadMax || size != posix::kFrameHeaderSize + frame.length) {
    InvariantViolated("frame of %zu bytes accepted with payload length %u", size, frame.length);
  }
  const uint8_t* expectedPayload = frame.length == 0 ? nullptr : bytes + posix::kFrameHeaderSize;
  if (frame.payload != expectedPayload) {
    InvariantViolated("accepted frame's payload does not point behind its header");
  }
  if (frame.type == FrameType::Close || frame.type == FrameType::Status) {
    // A close or status request carries nothing.
    if (frame.message != 0 || frame.length != 0 || frame.wParam != 0 || frame.dwData != 0) {
      InvariantViolated("request of type %u accepted with message %u, length %u",
                        static_cast<unsigned>(frame.type), frame.message, frame.length);
    }
  } else if (frame.type == FrameType::Message) {
    if (frame.message != kWmCopyData && frame.message != kWmPowerBroadcast &&
        frame.message != kWmEndSession) {
      InvariantViolated("message frame accepted for window message %u", frame.message);
    }
    if (frame.message != kWmCopyData && (frame.length != 0 || frame.dwData != 0)) {
      InvariantViolated("message %u accepted with data", frame.message);
    }
  } else {
    InvariantViolated("frame accepted with type %u", static_cast<unsigned>(frame.type));
  }
  // Nothing in an accepted frame is left out of the decoded form: it encodes back to its bytes.
  const std::unique_ptr<uint8_t[]> again(new uint8_t[size]);
  if (posix::EncodeFrame(frame, again.get(), size) != size ||
      std::memcmp(again.get(), bytes, size) != 0) {
    InvariantViolated("accepted frame of %zu bytes does not encode back to itself", size);
  }
  if (size > 0 && posix::EncodeFrame(frame, again.get(), size - 1) != 0) {
    InvariantViolated("frame encoded into a buffer one byte short");
  }
}

// The whole input as one frame.
void CheckWhole(const uint8_t* bytes, size_t size) {
  Frame frame = Sentinel();
  const FrameStatus status = posix::DecodeFrame(bytes, size, frame);
  if (status > posix::kLastFrameStatus || std::strlen(posix::DescribeFrameStatus(status)) == 0) {
    InvariantViolated("decoder status %u", static_cast<unsigned>(status));
  }
  Frame header = Sentinel();
  const FrameStatus headerStatus = posix::DecodeFrameHeader(bytes, size, header);
  if (status == FrameStatus::Ok) {
    CheckAccepted(bytes, size, frame);
    if (headerStatus != FrameStatus::Ok || header.type != frame.type ||
        header.message != frame.message || header.length != frame.length ||
        header.wParam != frame.wParam || header.dwData != frame.dwData) {
      InvariantViolated("the header decoder disagrees with the frame decoder");
    }
    return;
  }
  if (!SameFrame(frame, Sentinel())) {
    InvariantViolated("refused frame (status %u) changed the decoder's output",
                      static_cast<unsigned>(status));
  }
  // A whole frame is refused for its header's reason, or for a length that does not match.
  if (headerStatus != status &&
      !(headerStatus == FrameStatus::Ok &&
        (status == FrameStatus::Truncated || status == FrameStatus::TrailingBytes))) {
    InvariantViolated("header status %u but frame status %u", static_cast<unsigned>(headerStatus),
                      static_cast<unsigned>(status));
  }
}

// The whole input as a reply: what the sender's decoder accepts encodes back to its bytes.
void CheckReply(const uint8_t* bytes, size_t size) {
  posix::Reply reply;
  if (!posix::DecodeReply(bytes, size, reply)) return;
  uint8_t again[posix::kReplySize];
  posix::EncodeReply(reply, again);
  if (size != posix::kReplySize || std::memcmp(again, bytes, posix::kReplySize) != 0) {
    InvariantViolated("accepted reply of %zu bytes does not encode back to itself", size);
  }
}

// The input as a sender's stream of frames, delivered to an agent.
void Deliver(const uint8_t* data, size_t size) {
  AgentDriver driver;
  size_t pos = 0;
  while (pos < size && !driver.closed()) {
    const size_t rest = size - pos;
    const std::unique_ptr<uint8_t[]> head =
        Exact(data + pos, std::min(rest, posix::kFrameHeaderSize));
    Frame header;
    if (posix::DecodeFrameHeader(head.get(), std::min(rest, posix::kFrameHeaderSize), header) !=
        FrameStatus::Ok) {
      break;  // the host answers and hangs up
    }
    const size_t whole = posix::kFrameHeaderSize + header.length;
    if (whole > rest) break;
    const std::unique_ptr<uint8_t[]> bytes = Exact(data + pos, whole);
    Frame frame;
    if (posix::DecodeFrame(bytes.get(), whole, frame) != FrameStatus::Ok) {
      InvariantViolated("a frame whose header was accepted is refused whole");
    }
    pos += whole;
    if (frame.type == FrameType::Close) {
      driver.Shutdown();
    } else if (frame.type == FrameType::Status) {
      // Answered from the model: nothing reaches the window procedure.
    } else if (frame.message == kWmCopyData) {
      driver.CopyData(static_cast<uintptr_t>(frame.dwData), frame.payload, frame.length,
                      frame.length == 0 ? kCopyDataNullData : 0,
                      static_cast<uintptr_t>(frame.wParam));
    } else {
      driver.Deliver(frame.message, static_cast<uintptr_t>(frame.wParam), 0);
    }
  }
  driver.Shutdown();
}

}  // namespace

int FuzzFrame(const uint8_t* data, size_t size) {
  const std::unique_ptr<uint8_t[]> whole = Exact(data, size);
  CheckWhole(whole.get(), size);
  CheckReply(whole.get(), size);
  Deliver(data, size);
  return 0;
}

}  // namespace lumora::fuzz
