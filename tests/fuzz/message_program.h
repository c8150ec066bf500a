// The window procedure's fuzz input: a little program of window messages for one run of the
// agent, read from arbitrary bytes. Every byte string is a program; a missing byte reads as 0.
//
//   header   flags byte: bit 0 the device fails to open (then a zig-zag varint: the error code
//            OpenVFD reports), bit 1 every VFD_Cmd reports failure; other bits unused
//   then operations, each an opcode byte taken modulo kOpCount:
//     0 event       sessionId (4 bytes LE), eventCode (2 bytes LE), reserved byte, text length
//                   byte (at most 33), text: WM_COPYDATA, dwData 1, a 40-byte record
//     1 copydata    flags byte (bit 0: lParam 0, no COPYDATASTRUCT at all; bit 1: no data
//                   pointer when the data are empty), dwData varint, length varint, data:
//                   WM_COPYDATA with any dwData and any data, in a heap block of exactly their
//                   size
//     2 power       wParam varint: WM_POWERBROADCAST
//     3 endsession  wParam varint: WM_ENDSESSION
//     4 tick        count varint: count times one second later, WM_TIMER 1
//     5 timer       id varint: WM_TIMER with that id, the time stands still
//     6 time        zig-zag varint: the local time in seconds since 1970-01-01 (held to the
//                   years 0 to 9999)
//     7 lang        length byte: 0 the locale query fails, else that many bytes are its answer
//     8 message     message varint, wParam varint: any other window message with lParam 0
//                   (WM_DESTROY ends the run as close does)
//     9 close       the window is destroyed and the agent goes away; the rest is not read
//
// Varints are unsigned LEB128 (at most 10 bytes). As in a scenario, the agent starts just
// before the first message operation (time and lang are set-up) and shuts down at the end.
// Ticks beyond kMaxTicks in one program are skipped, so every run stays short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scenario/scenario.h"
#include "tests/fuzz/agent_driver.h"

namespace lumora::fuzz {

enum MessageOp : uint8_t {
  kOpEvent = 0,
  kOpCopyData = 1,
  kOpPower = 2,
  kOpEndSession = 3,
  kOpTick = 4,
  kOpTimer = 5,
  kOpTime = 6,
  kOpLang = 7,
  kOpMessage = 8,
  kOpClose = 9,
  kOpCount = 10,
};

inline constexpr uint8_t kHeaderDeviceFails = 0x01;
inline constexpr uint8_t kHeaderCommandsFail = 0x02;
inline constexpr uint64_t kMaxTicks = 256;

// Runs one program on a fresh agent and a CheckingPlatform, checking the invariants after every
// message; with trace, the calls are recorded there as trace lines. A second agent runs the
// same program beside it with the opposite device (it opens when the first one's fails, and
// fails when it opens), and after every operation both must hold the same model.
void RunMessageProgram(const uint8_t* data, size_t size, std::vector<std::string>* trace);

// The program that delivers the messages of a parsed scenario (the corpus seeds). False with a
// reason when the scenario needs what a program cannot say (more ticks than kMaxTicks, a locale
// answer longer than 255 bytes).
bool EncodeScenario(const scenario::Scenario& scenario, std::vector<uint8_t>& program,
                    std::string& reason);

}  // namespace lumora::fuzz
