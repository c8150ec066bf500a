// The follower's way to the Linux agent: every SourceEvent as a Media State Event in a frame on
// the agent's socket, one synchronous reply each, over one connection kept open, by the
// delivery rules every sender keeps (senders/send_client.h): a busy agent is tried again for a
// while; a frame refused by a connection the agent had closed (it drops one that stays silent)
// goes once more on a new one, while one that went out whole without a reply does not (the
// agent may still handle it). A failure (no agent, gone, a refusal) is one false from Deliver
// with its reason in lastError; Reconnect tries again without waiting.
//
// Which agent answers: the socket file (device and inode) and the process that listens on it.
// A connection to another one than before (the agent restarted) is told once by TakeNewAgent,
// so that the follower tells it everything again; AgentMoved looks, without connecting, whether
// the socket on the path is still the one of the agent connected to.
#pragma once

#include <sys/types.h>

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
  // True once after a connection reached an agent other than the one before (the first one
  // included): it knows nothing of what the follower told.
  bool TakeNewAgent();
  // Whether the socket on the path is gone or another one than the connected agent's (it
  // restarted while nothing was sent). Drops the connection when so.
  bool AgentMoved();
  // While the descriptor (the follower's stop signals) is readable, a delivery gives up at once
  // instead of waiting for the agent's reply or for a busy agent. -1: never.
  void SetStopDescriptor(int fd) { connection_.SetStopDescriptor(fd); }
  // How long a delivery waits for the agent's reply (by default the senders' kReplyWaitMs).
  void SetReplyWait(int ms) { replyWaitMs_ = ms; }

 private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    pid_t pid = 0;
    bool operator==(const Identity&) const = default;
  };
  void Drop();

  std::string path_;
  posix::AgentConnection connection_;
  bool connected_ = false;
  std::string lastError_;
  bool lastRefused_ = false;
  bool known_ = false;  // identity_ is that of an agent connected to
  Identity identity_;
  bool newAgent_ = false;
  int replyWaitMs_ = posix::kReplyWaitMs;
};

}  // namespace lumora::sources
