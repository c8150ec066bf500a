// The frames of the Linux host's intake: what decodes, and what is refused without a change.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

  const auto status = Request(4, 0, 0, 0, {});
  ASSERT_EQ(DecodeFrame(status.data(), status.size(), frame), FrameStatus::Ok);
  EXPECT_EQ(frame.type, FrameType::Status);
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
  // A status request carries nothing either.
  cases.push_back({"status_with_message", Request(4, 74, 0, 0, {}), FrameStatus::BadMessage});
  cases.push_back(
      {"status_with_payload", Request(4, 0, 0, 0, {1}), FrameStatus::UnexpectedPayload});
  cases.push_back({"status_with_dwdata", Request(4, 0, 0, 1, {}), FrameStatus::UnexpectedPayload});
  cases.push_back({"status_reply_as_request", Request(5, 0, 0, 0, {}), FrameStatus::BadType});
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

TEST(Frame, StatusReplyLayoutAndItsRefusals) {
  StatusReport report;
  report.clock = ClockState::Time;
  report.power = PowerStatus::Quiet;
  report.levelSegments = 5;
  report.panelOpen = true;
  report.litIcons = 0x41;  // the first and the seventh icon of the table
  report.line2Length = 6;
  std::memcpy(report.line2, "CH-007", 6);
  report.line3Length = 2;
  std::memcpy(report.line3, "\xE9!", 2);
  uint8_t bytes[kStatusReplySize];
  EncodeStatusReply(report, bytes);
  // The layout written out by hand: a reply of type 5 whose result is the report's length 132,
  // then clock 1, power 1, level 5, flags 1, icons 0x41, lengths 6 and 2, two reserved zeros,
  // line 2 at 12 and line 3 at 72, zero-padded.
  std::vector<uint8_t> expected = {'L', 'U', 'M', 'O', 1, 5, 0,    0, 132, 0, 0, 0, 0, 0,
                                   0,   0,   1,   1,   5, 1, 0x41, 0, 0,   0, 6, 2, 0, 0};
  expected.resize(kStatusReplySize, 0);
  std::memcpy(expected.data() + 16 + 12, "CH-007", 6);
  expected[16 + 72] = 0xE9;
  expected[16 + 73] = '!';
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + sizeof bytes), expected);
  ASSERT_EQ(kStatusReplySize, 16u + 132u);

  ASSERT_TRUE(IsStatusReplyHeader(bytes, kReplySize));
  StatusReport back;
  ASSERT_TRUE(DecodeStatusReport(bytes + kReplySize, kStatusReportSize, back));
  EXPECT_EQ(back.clock, ClockState::Time);
  EXPECT_EQ(back.power, PowerStatus::Quiet);
  EXPECT_EQ(back.levelSegments, 5);
  EXPECT_TRUE(back.panelOpen);
  EXPECT_EQ(back.litIcons, 0x41u);
  EXPECT_EQ(std::string(back.line2, back.line2Length), "CH-007");
  EXPECT_EQ(std::string(back.line3, back.line3Length), "\xE9!");
  // A plain reply is no status reply, and a status reply is no plain one.
  Reply reply;
  EXPECT_FALSE(DecodeReply(bytes, kReplySize, reply));
  uint8_t plain[kReplySize];
  EncodeReply({FrameStatus::Ok, 132}, plain);
  EXPECT_FALSE(IsStatusReplyHeader(plain, sizeof plain));

  // Out of range: each leaves the output as it was.
  struct Bad {
    const char* name;
    size_t offset;
    uint8_t value;
  };
  const Bad bad[] = {{"clock_state_5", 0, 5}, {"power_state_4", 1, 4}, {"level_17", 2, 17},
                     {"flags_2", 3, 2},       {"line2_61", 8, 61},     {"line3_61", 9, 61},
                     {"reserved_10", 10, 1},  {"reserved_11", 11, 1}};
  for (const Bad& b : bad) {
    std::vector<uint8_t> r(bytes + kReplySize, bytes + kStatusReplySize);
    r[b.offset] = b.value;
    StatusReport out;
    out.levelSegments = 99;
    EXPECT_FALSE(DecodeStatusReport(r.data(), r.size(), out)) << b.name;
    EXPECT_EQ(out.levelSegments, 99) << b.name;
  }
  EXPECT_FALSE(DecodeStatusReport(bytes + kReplySize, kStatusReportSize - 1, back));
}

}  // namespace
}  // namespace lumora::posix
