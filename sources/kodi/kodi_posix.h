// `lumora kodi` on Linux: follows a Kodi over its JSON-RPC TCP port and sends the agent's socket
// the Media State Events of what Kodi plays (through the senders' socket client). Waits for Kodi
// while it is not running and for the agent while it is not running; reconnects when Kodi
// restarts, closing the sessions it had opened.
#pragma once

#include <string>
#include <vector>

#include "sources/media_source.h"
#include "sources/socket_sink.h"

namespace lumora::sources {

struct KodiOptions {
  std::string host = "127.0.0.1";
  std::string port = "9090";
  std::string socketPath;   // empty: the agent's default socket
  bool verbose = false;     // a line per event sent
  std::string capturePath;  // empty: no capture of what Kodi sends
};

extern const char kKodiUsage[];

// The agent's side of the Kodi bridge on Linux: the bridges' socket sink, which delivers each
// event synchronously (Deliver returns once the agent has handled it), telling on standard
// error once when the agent is not running, again when it is back, and with -v every event.
class AgentSink : public EventSink {
 public:
  AgentSink(std::string path, bool verbose);
  // Connects unless connected; false when the agent is not running.
  bool Connect();
  bool Deliver(const SourceEvent& event) override;

 private:
  SocketSink sink_;
  bool verbose_;
  bool waiting_ = false;
};

// Parses the arguments after `lumora kodi`; false with a message on a usage error. help is set
// for --help.
bool ParseKodiArguments(const std::vector<std::string>& args, KodiOptions& options, bool& help,
                        std::string& error);

// Runs until SIGINT, SIGTERM or SIGHUP; closes the sessions it opened and returns 0.
int RunKodiBridge(const KodiOptions& options);

}  // namespace lumora::sources
