// The bodies of the fuzzing harnesses, one per input the agent takes. Each accepts any bytes,
// runs them through the real code with the invariant checks, and aborts with a message on a
// violation. libFuzzer calls them (fuzz_entry.cpp); the corpus test of the ordinary suite runs
// them over the stored corpus without libFuzzer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora::fuzz {

// A message program (message_program.h) through a real CAgentDlg's window procedure.
int FuzzWindowProc(const uint8_t* data, size_t size);

// A scenario text through ParseScenario and, when it parses and stays short, through
// lumora-replay's runner and the message-program driver, whose traces must agree.
int FuzzScenario(const uint8_t* data, size_t size);

// Bytes through the Linux host's frame decoder (senders/frame.h), as one frame and as a
// sender's stream of frames delivered to a real CAgentDlg.
int FuzzFrame(const uint8_t* data, size_t size);

// Bytes as the stream Kodi's JSON-RPC port sends the Kodi bridge (sources/kodi/), through the
// bridge and the translation core: every event fit for the agent, sessions opened and closed in
// order, nothing left open once Kodi is gone.
int FuzzKodi(const uint8_t* data, size_t size);

// Bytes as lines of desktop-player updates (sources/mpris/player_update.h), through the update
// parser and the adapter into the translation core: every line that parses reads back the same
// from its written form, every event fit for the agent, nothing left open once the players go.
int FuzzMpris(const uint8_t* data, size_t size);

}  // namespace lumora::fuzz
