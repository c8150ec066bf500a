#include "sources/socket_sink.h"

#include "base/media_event.h"
#include "senders/frame.h"

namespace lumora::sources {

bool SocketSink::Reconnect(std::string& error, bool& notRunning) {
  notRunning = false;
  if (connected_) return true;
  connected_ = connection_.Connect(path_, error, notRunning);
  return connected_;
}

bool SocketSink::Deliver(const SourceEvent& event) {
  bool notRunning = false;
  if (!Reconnect(lastError_, notRunning)) return false;
  scenario::Directive directive;
  directive.kind = scenario::DirectiveKind::Event;
  directive.sessionId = event.sessionId;
  directive.code = static_cast<uint16_t>(event.code);
  directive.bytes.assign(event.text, event.length);
  uint8_t record[kMediaStateEventSize];
  posix::Frame frame;
  posix::Reply reply;
  if (!posix::FrameOfDirective(directive, record, frame) ||
      !connection_.Exchange(frame, reply, lastError_)) {
    connection_.Close();
    connected_ = false;
    return false;
  }
  if (reply.status != posix::FrameStatus::Ok) {
    // Busy or refused: the agent did not take it, and the source tells it everything again.
    lastError_ = std::string("the agent answered: ") + posix::DescribeFrameStatus(reply.status);
    connection_.Close();
    connected_ = false;
    return false;
  }
  return true;
}

}  // namespace lumora::sources
