// The frames of the Linux host's intake: what decodes, and what is refused without a change.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "senders/frame.h"

namespace lumora::posix {
namespace {

// A request written out byte by byte from the documented layout, independent of EncodeFrame.
std::vector<uint8_t> Request(uint8_t type, uint32_t message, uint64_t wParam, uint64_t dwData,
                             std::vector<uint8_t> payload) {
  std::vector<uint8_t> bytes = {'L', 'U', 'M', 'O', 1, type, 0, 0};
  auto put = [&](uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i)
      bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  put(message, 4);
  put(payload.size(), 4);
  put(wParam, 8);
  put(dwData, 8);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

TEST(Frame, DecodesTheThreeMessagesAndClose) {
  const std::vector<uint8_t> record(40, 0x41);
  const auto copy = Request(1, 74, 0x1122, 1, record);
  Frame frame;
  ASSERT_EQ(DecodeFrame(copy.data(), copy.size(), frame), FrameStatus::Ok);
  EXPECT_EQ(frame.type, FrameType::Message);
  EXPECT_EQ(frame.message, 74u);
  EXPECT_EQ(frame.wParam, 0x1122u);
  EXPECT_EQ(frame.dwData, 1u);
  ASSERT_EQ(frame.length, 40u);
  EXPECT_EQ(frame.payload, copy.data() + 32);

  const auto power = Request(1, 536, 7, 0, {});
  ASSERT_EQ(DecodeFrame(power.data(), power.size(), frame), FrameStatus::Ok);
  EXPECT_EQ(frame.message, 536u);
  EXPECT_EQ(frame.wParam, 7u);
  EXPECT_EQ(frame.payload, nullptr);

  const auto end = Request(1, 22, 1, 0, {});
  ASSERT_EQ(DecodeFrame(end.data(), end.size(), frame), FrameStatus::Ok);
  EXPECT_EQ(frame.message, 22u);

  const auto close = Request(2, 0, 0, 0, {});
  ASSERT_EQ(DecodeFrame(close.data(), close.size(), frame), FrameStatus::Ok);
  EXPECT_EQ(frame.type, FrameType::Close);
}

TEST(Frame, EncodeWritesTheDocumentedLayout) {
  const uint8_t payload[3] = {9, 8, 7};
  Frame frame;
  frame.message = 74;
  frame.wParam = 5;
  frame.dwData = 2;
  frame.payload = payload;
  frame.length = 3;
  uint8_t bytes[kFrameMax];
  const size_t size = EncodeFrame(frame, bytes, sizeof bytes);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), Request(1, 74, 5, 2, {9, 8, 7}));
  // Too long to encode, or no room for it.
  frame.length = kFramePayloadMax + 1;
  EXPECT_EQ(EncodeFrame(frame, bytes, sizeof bytes), 0u);
  frame.length = 3;
  EXPECT_EQ(EncodeFrame(frame, bytes, 34), 0u);
}

struct Refusal {
  const char* name;
  std::vector<uint8_t> bytes;
  FrameStatus status;
};

std::vector<Refusal> Refusals() {
  const auto good = Request(1, 74, 0, 1, std::vector<uint8_t>(40, 0x20));
  std::vector<Refusal> cases;
  cases.push_back({"empty", {}, FrameStatus::Truncated});
  cases.push_back({"half_header", std::vector<uint8_t>(good.begin(), good.begin() + 16),
                   FrameStatus::Truncated});
  cases.push_back({"header_only", std::vector<uint8_t>(good.begin(), good.begin() + 32),
                   FrameStatus::Truncated});
  cases.push_back(
      {"payload_cut", std::vector<uint8_t>(good.begin(), good.end() - 1), FrameStatus::Truncated});
  auto trailing = good;
  trailing.push_back(0);
  cases.push_back({"trailing_byte", trailing, FrameStatus::TrailingBytes});
  auto magic = good;
  magic[0] = 'X';
  cases.push_back({"bad_magic", magic, FrameStatus::BadMagic});
  auto version = good;
  version[4] = 2;
  cases.push_back({"bad_version", version, FrameStatus::BadVersion});
  cases.push_back({"reply_as_request", Request(3, 74, 0, 1, {}), FrameStatus::BadType});
  cases.push_back({"type_zero", Request(0, 74, 0, 1, {}), FrameStatus::BadType});
  auto reserved = good;
  reserved[7] = 1;
  cases.push_back({"reserved_set", reserved, FrameStatus::BadReserved});
  // WM_TIMER and WM_DESTROY are the agent's own business, not a sender's.
  cases.push_back({"timer_message", Request(1, 0x113, 1, 0, {}), FrameStatus::BadMessage});
  cases.push_back({"destroy_message", Request(1, 2, 0, 0, {}), FrameStatus::BadMessage});
  cases.push_back({"close_with_message", Request(2, 74, 0, 0, {}), FrameStatus::BadMessage});
  // The length says 1025: refused from the header alone, before any payload is awaited.
  auto oversize = std::vector<uint8_t>(good.begin(), good.begin() + 32);
  oversize[12] = 0x01;
  oversize[13] = 0x04;
  cases.push_back({"oversize_length", oversize, FrameStatus::TooLong});
  auto huge = oversize;
  huge[15] = 0xFF;
  cases.push_back({"huge_length", huge, FrameStatus::TooLong});
  cases.push_back(
      {"power_with_payload", Request(1, 536, 4, 0, {1}), FrameStatus::UnexpectedPayload});
  cases.push_back(
      {"endsession_with_dwdata", Request(1, 22, 1, 1, {}), FrameStatus::UnexpectedPayload});
  cases.push_back({"close_with_wparam", Request(2, 0, 1, 0, {}), FrameStatus::UnexpectedPayload});
  return cases;
}

TEST(Frame, RefusesMalformedFramesAndLeavesTheOutputAlone) {
  for (const Refusal& c : Refusals()) {
    Frame frame;
    frame.message = 0xDEAD;
    frame.wParam = 77;
    const uint8_t* bytes = c.bytes.empty() ? nullptr : c.bytes.data();
    EXPECT_EQ(DecodeFrame(bytes, c.bytes.size(), frame), c.status) << c.name;
    EXPECT_EQ(frame.message, 0xDEADu) << c.name;
    EXPECT_EQ(frame.wParam, 77u) << c.name;
    EXPECT_NE(std::strcmp(DescribeFrameStatus(c.status), "done"), 0);
  }
}

TEST(Frame, ReplyRoundTripAndRefusal) {
  uint8_t bytes[kReplySize];
  EncodeReply({FrameStatus::TooLong, -3}, bytes);
  const uint8_t expected[kReplySize] = {'L',  'U',  'M',  'O',  1,    3,    7,    0,
                                        0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(bytes, expected, kReplySize), 0);
  Reply reply;
  ASSERT_TRUE(DecodeReply(bytes, sizeof bytes, reply));
  EXPECT_EQ(reply.status, FrameStatus::TooLong);
  EXPECT_EQ(reply.result, -3);
  EXPECT_FALSE(DecodeReply(bytes, sizeof bytes - 1, reply));
  bytes[5] = 1;  // a request is no reply
  EXPECT_FALSE(DecodeReply(bytes, sizeof bytes, reply));

  // Busy is the last status a reply carries; anything above it is no reply of this version.
  EncodeReply({FrameStatus::Busy, 0}, bytes);
  EXPECT_EQ(bytes[6], 11);
  ASSERT_TRUE(DecodeReply(bytes, sizeof bytes, reply));
  EXPECT_EQ(reply.status, FrameStatus::Busy);
  bytes[6] = 12;
  EXPECT_FALSE(DecodeReply(bytes, sizeof bytes, reply));
}

}  // namespace
}  // namespace lumora::posix
