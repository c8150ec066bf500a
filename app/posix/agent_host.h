// The live agent on Linux: one process, one thread, the portable core behind CAgentDlg, a real
// one-second timer for timer 1, the panel emulator as its display library, and an intake on a
// Unix domain socket that carries WM_COPYDATA, WM_POWERBROADCAST and WM_ENDSESSION (and a close
// request) in the frames of senders/frame.h. Delivery is synchronous like SendMessage: a
// sender's reply comes only after the agent has handled its message, waits included.
//
// The thread waits only in poll and in the agent's own waits: it never waits for a sender or
// for the terminal. SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1 and SIGUSR2 are taken through the
// poll loop and end the agent cleanly after the message in hand and its reply; SIGPIPE and
// SIGTTOU are ignored.
#pragma once

#include <cstdint>
#include <string>

namespace lumora::posix {

enum class PanelFace {
  Terminal,  // the panel drawn at the top of the terminal, redrawn on every packet
  Plain,     // one state line per packet on standard output
  None,      // nothing shown (the trace may still be written)
  Lcdproc,   // the panel on a display of LCDd, as one of its clients
};

// Where LCDd listens by default.
inline constexpr const char* kLcdprocDefaultHost = "127.0.0.1";
inline constexpr uint16_t kLcdprocDefaultPort = 13666;

struct HostOptions {
  std::string socketPath;  // empty: DefaultSocketPath()
  PanelFace panel = PanelFace::Terminal;
  std::string lcdprocHost = kLcdprocDefaultHost;  // with PanelFace::Lcdproc
  uint16_t lcdprocPort = kLcdprocDefaultPort;
  std::string tracePath;   // empty: no trace
  std::string recordPath;  // empty: no recording of the messages received
  bool verbose = false;    // a line per message received on standard error
  uint32_t waitDivisor = 1;
  bool deviceFails = false;  // the emulated panel refuses to open, with deviceError
  int32_t deviceError = 0;
  bool quiet = false;  // no "listening on" note on standard error
};

// A connection must deliver a whole frame within this time after it is accepted or after its
// last reply, and take each reply within this time; a silent, stalled or deaf sender is then
// dropped, so it cannot hold the agent up.
inline constexpr int kReadDeadlineMs = 2000;

// Runs the agent until a stop signal or a close request; returns the process's exit status.
int RunAgent(const HostOptions& options);

}  // namespace lumora::posix
