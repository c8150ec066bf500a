// The bridges' way to the Linux agent: every SourceEvent as a Media State Event in a frame on
// the agent's socket, one synchronous reply each, over one connection kept open. The one set of
// delivery rules of every bridge: a busy agent (every connection taken) is tried again for a
// short while; a frame refused by a connection the agent had closed (it drops one that stays
// silent) goes once more on a new one, while one that went out whole without a reply does not
// (the agent may still handle it). A failure (no agent, gone, a refusal) is one false from
// Deliver with its reason in lastError; Reconnect tries again without waiting.
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
  // The reason of the last failed Deliver, and whether the agent was there and refused the
  // event (rather than being gone).
  const std::string& lastError() const { return lastError_; }
  bool lastRefused() const { return lastRefused_; }

 private:
  void Drop();

  std::string path_;
  posix::AgentConnection connection_;
  bool connected_ = false;
  std::string lastError_;
  bool lastRefused_ = false;
};

}  // namespace lumora::sources
