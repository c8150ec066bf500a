// The bridges' way to the Linux agent: every SourceEvent as a Media State Event in a frame on
// the agent's socket, one synchronous reply each, over one connection kept open. A failure (no
// agent, gone, a refusal) is one false from Deliver; Reconnect tries again without waiting.
#pragma once

#include <string>

#include "senders/send_client.h"
#include "sources/media_source.h"

namespace lumora::sources {

class SocketSink final : public EventSink {
 public:
  explicit SocketSink(std::string socketPath) : path_(std::move(socketPath)) {}

  bool Deliver(const SourceEvent& event) override;
  // Connects if not connected; false with a one-line reason (notRunning: nothing listens).
  bool Reconnect(std::string& error, bool& notRunning);
  const std::string& path() const { return path_; }
  // The reason of the last failed Deliver.
  const std::string& lastError() const { return lastError_; }

 private:
  std::string path_;
  posix::AgentConnection connection_;
  bool connected_ = false;
  std::string lastError_;
};

}  // namespace lumora::sources
