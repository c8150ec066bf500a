// The live agent on Linux: one process, one thread, the portable core behind CAgentDlg, a real
// one-second timer for timer 1, the panel emulator as its display library, and an intake on a
// Unix domain socket that carries WM_COPYDATA, WM_POWERBROADCAST and WM_ENDSESSION (and a close
// request) in the frames of app/posix/frame.h. Delivery is synchronous like SendMessage: a
// sender's reply comes only after the agent has handled its message, waits included.
#pragma once

#include <cstdint>
#include <string>

namespace lumora::posix {

enum class PanelFace {
  Terminal,  // the panel drawn at the top of the terminal, redrawn on every packet
  Plain,     // one state line per packet on standard output
  None,      // nothing shown (the trace may still be written)
};

struct HostOptions {
  std::string socketPath;  // empty: DefaultSocketPath()
  PanelFace panel = PanelFace::Terminal;
  std::string tracePath;  // empty: no trace
  uint32_t waitDivisor = 1;
  bool deviceFails = false;  // the emulated panel refuses to open, with deviceError
  int32_t deviceError = 0;
  bool quiet = false;  // no "listening on" note on standard error
};

// A connection must deliver a whole frame within this time after it is accepted or after its
// last reply; a silent or stalled sender is then dropped, so it cannot hold the agent up.
inline constexpr int kReadDeadlineMs = 2000;

// $XDG_RUNTIME_DIR/lumora.sock, or /tmp/lumora-UID.sock when that is not set.
std::string DefaultSocketPath();

// Runs the agent until SIGINT, SIGTERM or a close request; returns the process's exit status.
int RunAgent(const HostOptions& options);

}  // namespace lumora::posix
