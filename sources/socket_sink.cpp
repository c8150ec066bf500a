#include "sources/socket_sink.h"

#include <unistd.h>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "base/platform.h"
#include "senders/frame.h"

namespace lumora::sources {

bool SocketSink::Reconnect(std::string& error, bool& notRunning) {
  notRunning = false;
  if (connected_) return true;
  connected_ = connection_.Connect(path_, error, notRunning);
  return connected_;
}

void SocketSink::Drop() {
  connection_.Close();
  connected_ = false;
}

bool SocketSink::Deliver(const SourceEvent& event) {
  lastRefused_ = false;
  bool notRunning = false;
  uint8_t record[kMediaStateEventSize];
  EncodeMediaStateEvent(event.sessionId, ToCode(event.code), event.text, event.length, record);
  posix::Frame frame;
  frame.type = posix::FrameType::Message;
  frame.message = kWmCopyData;
  frame.dwData = kMediaStateEventMarker;
  frame.payload = record;
  frame.length = sizeof record;
  bool resent = false;
  for (int backOff = posix::kFirstBackOffMs;;) {
    if (!Reconnect(lastError_, notRunning)) return false;
    posix::Reply reply;
    if (!connection_.Exchange(frame, reply, lastError_)) {
      const bool unanswered = connection_.unanswered();
      Drop();
      if (unanswered || resent) return false;
      resent = true;
      continue;
    }
    if (reply.status == posix::FrameStatus::Busy && backOff <= posix::kMaxBackOffMs) {
      // The agent read nothing and closed the connection: a new one after a while.
      Drop();
      ::usleep(static_cast<useconds_t>(backOff) * 1000);
      backOff *= 2;
      continue;
    }
    if (reply.status != posix::FrameStatus::Ok) {
      // Busy for too long, or refused: the agent did not take it, and the source tells it
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
