#include "sources/socket_sink.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "senders/frame.h"

namespace lumora::sources {

bool SocketSink::Reconnect(std::string& error, bool& notRunning) {
  notRunning = false;
  if (connected_) return true;
  connected_ = connection_.Connect(path_, error, notRunning);
  if (!connected_) return false;
  Identity now;
  struct stat file {};
  if (::stat(path_.c_str(), &file) == 0) {
    now.device = file.st_dev;
    now.inode = file.st_ino;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(connection_.fd(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0)
    now.pid = peer.pid;
  if (!known_ || !(now == identity_)) newAgent_ = true;
  identity_ = now;
  known_ = true;
  return true;
}

bool SocketSink::TakeNewAgent() {
  const bool news = newAgent_;
  newAgent_ = false;
  return news;
}

bool SocketSink::AgentMoved() {
  if (!known_) return false;
  struct stat file {};
  const bool same = ::stat(path_.c_str(), &file) == 0 && file.st_dev == identity_.device &&
                    file.st_ino == identity_.inode;
  if (!same) Drop();
  return !same;
}

void SocketSink::Drop() {
  connection_.Close();
  connected_ = false;
}

bool SocketSink::Deliver(const SourceEvent& event) {
  lastRefused_ = false;
  bool notRunning = false;
  uint8_t record[kMediaStateEventSize];
  const posix::Frame frame =
      posix::EventFrame(event.sessionId, ToCode(event.code), event.text, event.length, record);
  bool resent = false;
  posix::BusyBackOff busy;
  for (;;) {
    if (!Reconnect(lastError_, notRunning)) return false;
    posix::Reply reply;
    if (!connection_.Exchange(frame, reply, lastError_, replyWaitMs_)) {
      const bool unanswered = connection_.unanswered();
      Drop();
      if (unanswered || resent || connection_.Stopping()) return false;
      resent = true;
      continue;
    }
    if (reply.status == posix::FrameStatus::Busy && !connection_.Stopping() && busy.Pause()) {
      // The agent read nothing and closed the connection: a new one after a while.
      Drop();
      continue;
    }
    if (reply.status != posix::FrameStatus::Ok) {
      // Busy for too long, or refused: the agent did not take it, and the follower tells it
      // everything again.
      lastError_ = std::string("the agent answered: ") + posix::DescribeFrameStatus(reply.status);
      lastRefused_ = true;
      Drop();
      return false;
    }
    return true;
  }
}

}  // namespace lumora::sources
