// The sender's side of the Linux host's intake (`lumora send`, the demo, the tests): turns the
// sender's arguments into scenario directives, each directive into a frame, and exchanges the
// frames with a running agent, one synchronous reply per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/posix/frame.h"
#include "base/media_event.h"
#include "scenario/scenario.h"

namespace lumora::posix {

// What `lumora send` was asked to deliver.
struct SocketSendRequest {
  std::string socketPath;  // empty: the default
  scenario::Scenario scenario;
  bool list = false;                  // --list: print the event table, send nothing
  bool version = false;               // --version: print the version, send nothing
  std::vector<std::string> warnings;  // payloads unlike their format, sent anyway
};

// Parses `[--socket PATH]` followed by the senders' common command line (scenario/send_args.h:
// SID CODE [TEXT] | --power W | --endsession W | --close | --file SCENARIO), args without the
// program and subcommand names. Returns false with a message on error; --help is the caller's.
bool ParseSendArguments(const std::vector<std::string>& args, SocketSendRequest& request,
                        std::string& error);
// Checks that every directive is one a running agent can be sent and fits a frame; false with
// "line N: reason".
bool CheckSendable(const scenario::Scenario& scenario, std::string& error);

// The frame of one sendable directive; record holds the encoded Media State Event of an event
// and must outlive the frame. False for directives that are not sendable.
bool FrameOfDirective(const scenario::Directive& directive, uint8_t (&record)[kMediaStateEventSize],
                      Frame& frame);

class AgentConnection {
 public:
  AgentConnection() = default;
  ~AgentConnection();
  AgentConnection(const AgentConnection&) = delete;
  AgentConnection& operator=(const AgentConnection&) = delete;

  // notRunning is set when nothing listens on the path (no socket, or connection refused).
  bool Connect(const std::string& path, std::string& error, bool& notRunning);
  // Sends one frame and waits for its reply (at most timeoutMs).
  bool Exchange(const Frame& frame, Reply& reply, std::string& error, int timeoutMs = 30000);
  // Sends raw bytes (for tests of malformed frames) and waits for a reply.
  bool ExchangeBytes(const uint8_t* bytes, size_t size, Reply& reply, std::string& error,
                     int timeoutMs = 30000);
  void Close();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Delivers every directive of the request over one connection; prints errors to stderr and
// returns the exit status of `lumora send` (0 done, 1 agent not running or a refused message).
int SendScenario(const std::string& socketPath, const scenario::Scenario& scenario);

}  // namespace lumora::posix
