#include "senders/send_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/exit_status.h"
#include "base/platform.h"
#include "base/posix/monotonic_clock.h"
#include "sendargs/send_args.h"
#include "senders/socket_folder.h"

namespace lumora::posix {

namespace {

// Waits for fd to become ready for events until deadlineMs; false on timeout or error.
// Waits for events on fd until the deadline; false when it passed, or at once when the stop
// descriptor (-1: none) becomes readable.
bool WaitFor(int fd, short events, int64_t deadlineMs, int stopFd = -1) {
  for (;;) {
    const int64_t left = deadlineMs - MonotonicMs();
    if (left <= 0) return false;
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(p, stopFd >= 0 ? 2 : 1, static_cast<int>(left));
    if (ready > 0 && p[1].revents != 0) return false;
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// Sleeps for a scenario's wait, however often a signal interrupts it.
void SleepSeconds(double seconds) {
  if (seconds <= 0) return;
  const auto whole = static_cast<time_t>(seconds);
  timespec left{whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

bool ParseSendArguments(const std::vector<std::string>& args, SocketSendRequest& request,
                        std::string& error) {
  // --socket PATH may stand anywhere before "--"; the rest is the senders' common command line.
  std::vector<std::string_view> rest;
  bool ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!ended && args[i] == "--socket") {
      if (i + 1 >= args.size()) {
        error = "--socket wants a path";
        return false;
      }
      request.socketPath = args[++i];
      continue;
    }
    ended = ended || args[i] == "--";
    rest.emplace_back(args[i]);
  }
  send::SendRequest parsed;
  if (!send::ParseSendArgs(rest, parsed, error)) return false;
  if (parsed.help) {
    error = "--help stands alone";
    return false;
  }
  request.list = parsed.list;
  request.version = parsed.version;
  request.warnings = std::move(parsed.warnings);
  request.skipped = std::move(parsed.skipped);
  request.steps = std::move(parsed.steps);
  return CheckSendable(request.steps, error);
}

bool CheckSendable(const std::vector<scenario::LiveStep>& steps, std::string& error) {
  for (const scenario::LiveStep& step : steps) {
    const scenario::Directive& d = step.message;
    if (step.kind == scenario::LiveStep::Kind::Message &&
        d.kind == scenario::DirectiveKind::CopyData && d.bytes.size() > kFramePayloadMax) {
      error = "line " + std::to_string(d.line) + ": copydata longer than 1024 bytes";
      return false;
    }
  }
  return true;
}

Frame EventFrame(int32_t sessionId, uint16_t code, const char* text, size_t length,
                 uint8_t (&record)[kMediaStateEventSize]) {
  EncodeMediaStateEvent(sessionId, code, text, length, record);
  Frame frame;
  frame.message = kWmCopyData;
  frame.dwData = kMediaStateEventMarker;
  frame.payload = record;
  frame.length = kMediaStateEventSize;
  return frame;
}

bool FrameOfDirective(const scenario::Directive& directive, uint8_t (&record)[kMediaStateEventSize],
                      Frame& frame) {
  frame = Frame{};
  switch (directive.kind) {
    case scenario::DirectiveKind::Event:
      frame = EventFrame(directive.sessionId, directive.code, directive.bytes.data(),
                         directive.bytes.size(), record);
      return true;
    case scenario::DirectiveKind::CopyData:
      if (directive.bytes.size() > kFramePayloadMax) return false;
      frame.message = kWmCopyData;
      frame.dwData = directive.number;
      frame.payload = reinterpret_cast<const uint8_t*>(directive.bytes.data());
      frame.length = static_cast<uint32_t>(directive.bytes.size());
      return true;
    case scenario::DirectiveKind::Power:
      frame.message = kWmPowerBroadcast;
      frame.wParam = directive.number;
      return true;
    case scenario::DirectiveKind::EndSession:
      frame.message = kWmEndSession;
      frame.wParam = directive.number;
      return true;
    case scenario::DirectiveKind::Close:
      frame.type = FrameType::Close;
      return true;
    default:
      return false;
  }
}

AgentConnection::~AgentConnection() {
  Close();
}

void AgentConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

ConnectResult AgentConnection::Open(const std::string& path, std::string& error) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    error = "socket path too long: " + path;
    return ConnectResult::Failed;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking: a connect to an agent whose listen queue is full answers at once (EAGAIN)
  // instead of waiting without limit.
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return ConnectResult::Failed;
  }
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = errno;
    Close();
    if (code == ENOENT || code == ECONNREFUSED) {
      error = "the agent is not running (nothing listens on " + path + ")";
      return ConnectResult::NotRunning;
    }
    if (code == EAGAIN) {
      error = "the agent is busy (its queue of connections is full)";
      return ConnectResult::Busy;
    }
    error = "cannot connect to " + path + ": " + std::strerror(code);
    return ConnectResult::Failed;
  }
  // Whoever listens gets the messages: it must be this user's own agent (or root's).
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    error = std::string("cannot tell who listens on ") + path + ": " + std::strerror(errno);
    Close();
    return ConnectResult::Failed;
  }
  if (peer.uid != ::geteuid() && peer.uid != 0) {
    error = "the socket " + path + " is served by user " + std::to_string(peer.uid) +
            ", not by you: refusing to send to it";
    Close();
    return ConnectResult::NotOurs;
  }
  return ConnectResult::Connected;
}

bool AgentConnection::Stopping() const {
  pollfd p{stopFd_, POLLIN, 0};
  return stopFd_ >= 0 && ::poll(&p, 1, 0) > 0;
}

bool AgentConnection::Connect(const std::string& path, std::string& error, bool& notRunning) {
  const ConnectResult result = Open(path, error);
  notRunning = result == ConnectResult::NotRunning;
  return result == ConnectResult::Connected;
}

bool AgentConnection::Exchange(const Frame& frame, Reply& reply, std::string& error,
                               int timeoutMs) {
  uint8_t bytes[kFrameMax];
  const size_t size = EncodeFrame(frame, bytes, sizeof bytes);
  if (size == 0) {
    error = "frame too long";
    return false;
  }
  return ExchangeBytes(bytes, size, reply, error, timeoutMs);
}

bool AgentConnection::ExchangeBytes(const uint8_t* bytes, size_t size, Reply& reply,
                                    std::string& error, int timeoutMs) {
  return ExchangeRaw(bytes, size, reply, nullptr, nullptr, error, timeoutMs);
}

bool AgentConnection::RequestStatus(Reply& reply, StatusReport& report, bool& reported,
                                    std::string& error, int timeoutMs) {
  Frame frame;
  frame.type = FrameType::Status;
  uint8_t bytes[kFrameHeaderSize];
  const size_t size = EncodeFrame(frame, bytes, sizeof bytes);
  return ExchangeRaw(bytes, size, reply, &report, &reported, error, timeoutMs);
}

bool AgentConnection::ExchangeRaw(const uint8_t* bytes, size_t size, Reply& reply,
                                  StatusReport* report, bool* reported, std::string& error,
                                  int timeoutMs) {
  unanswered_ = false;
  if (reported != nullptr) *reported = false;
  if (fd_ < 0) {
    error = "not connected";
    return false;
  }
  uint8_t answer[kReplyMax];
  size_t have = 0;
  auto readUpTo = [&](size_t want, int64_t deadline) {
    while (have < want) {
      if (!WaitFor(fd_, POLLIN, deadline, stopFd_)) return false;
      const ssize_t n = ::read(fd_, answer + have, want - have);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return false;
      have += static_cast<size_t>(n);
    }
    return true;
  };
  auto readReply = [&](int64_t deadline) { return readUpTo(kReplySize, deadline); };
  // Writing waits for the agent to read (it reads a connection's next frame only after the
  // last reply went out), within the same time as the reply.
  int64_t deadline = MonotonicMs() + timeoutMs;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::send(fd_, bytes + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    const int code = n < 0 ? errno : EPIPE;
    if (code == EINTR) continue;
    if (code == EAGAIN && WaitFor(fd_, POLLOUT, deadline, stopFd_)) continue;
    // The frame did not go out whole, so the agent cannot handle it. It may have said why
    // before it hung up (busy).
    if (readReply(MonotonicMs() + 100) && DecodeReply(answer, have, reply)) return true;
    error = code == EAGAIN ? "the agent took no frame for " + std::to_string(timeoutMs / 1000) +
                                 " seconds; the message was not sent"
                           : std::string("the agent went away: ") + std::strerror(code);
    return false;
  }
  deadline = MonotonicMs() + timeoutMs;
  if (!readReply(deadline)) {
    if (Stopping()) {
      unanswered_ = true;
      error = "stopped before the agent replied; it has the message and may still handle it";
    } else if (MonotonicMs() >= deadline) {
      unanswered_ = true;
      error = "no reply from the agent within " + std::to_string(timeoutMs / 1000) +
              " seconds; it has the message and may still handle it";
    } else {
      // The frame went out whole: the agent may have applied it before it hung up.
      unanswered_ = true;
      error = "the agent ended the connection without a reply; it may have applied the message";
    }
    return false;
  }
  if (report != nullptr && IsStatusReplyHeader(answer, have)) {
    if (!readUpTo(kStatusReplySize, deadline) ||
        !DecodeStatusReport(answer + kReplySize, kStatusReportSize, *report)) {
      error = "the agent's status report is cut short or malformed";
      return false;
    }
    reply = Reply{FrameStatus::Ok, static_cast<int64_t>(kStatusReportSize)};
    *reported = true;
    return true;
  }
  if (!DecodeReply(answer, have, reply)) {
    error = "the agent's reply is malformed";
    return false;
  }
  return true;
}

BusyBackOff::BusyBackOff() : giveUpMs_(MonotonicMs() + kBusyRetryMs) {}

bool BusyBackOff::Pause() {
  if (MonotonicMs() + backOffMs_ > giveUpMs_) return false;
  ::usleep(static_cast<useconds_t>(backOffMs_) * 1000);
  backOffMs_ = backOffMs_ * 2 > kMaxBackOffMs ? kMaxBackOffMs : backOffMs_ * 2;
  return true;
}

bool SenderSocketPath(const std::string& path, std::string& out, std::string& error,
                      bool& notRunning) {
  notRunning = false;
  if (!path.empty()) {
    out = path;
    return true;
  }
  // The default socket must be in a folder of the user's own; the sender does not create it.
  const std::string folder = DefaultSocketFolder();
  bool missing = false;
  out = folder + "/lumora.sock";
  if (!CheckPrivateFolder(folder, false, error, missing)) {
    if (missing) {
      error = "the agent is not running: " + error;
      notRunning = true;
    }
    return false;
  }
  return true;
}

int QueryStatus(const std::string& socketPath, StatusReport& report, std::string& error) {
  std::string path;
  bool notRunning = false;
  if (!SenderSocketPath(socketPath, path, error, notRunning))
    return notRunning ? kExitNoAgent : kExitFailure;
  AgentConnection connection;
  BusyBackOff backOff;
  for (;;) {
    const ConnectResult result = connection.Open(path, error);
    if (result == ConnectResult::NotRunning) return kExitNoAgent;
    if (result == ConnectResult::Connected) {
      Reply reply;
      bool reported = false;
      if (!connection.RequestStatus(reply, report, reported, error)) return 1;
      if (reported) return 0;
      if (reply.status != FrameStatus::Busy) {
        error = reply.status == FrameStatus::BadType
                    ? "the agent on " + path + " does not answer status requests (an older one?)"
                    : std::string("the agent refused the status request: ") +
                          DescribeFrameStatus(reply.status);
        return 1;
      }
      connection.Close();
    } else if (result != ConnectResult::Busy) {
      return 1;
    }
    if (!backOff.Pause()) {
      error = "the agent is busy: all its " + std::to_string(kMaxConnections) +
              " connections stayed taken for " + std::to_string(kBusyRetryMs / 1000) + " seconds";
      return 1;
    }
  }
}

int SendScenario(const std::string& socketPath, const std::vector<scenario::LiveStep>& steps) {
  std::string path;
  std::string error;
  bool notRunning = false;
  if (!SenderSocketPath(socketPath, path, error, notRunning)) {
    std::fprintf(stderr, "lumora send: %s\n", error.c_str());
    return kExitFailure;
  }
  AgentConnection connection;
  for (const scenario::LiveStep& step : steps) {
    if (step.kind == scenario::LiveStep::Kind::Wait) {
      // The agent does not keep a silent connection: a new one after the wait.
      connection.Close();
      SleepSeconds(step.seconds);
      continue;
    }
    if (step.kind != scenario::LiveStep::Kind::Message) continue;
    const scenario::Directive& d = step.message;
    uint8_t record[kMediaStateEventSize];
    Frame frame;
    if (!FrameOfDirective(d, record, frame)) continue;
    Reply reply;
    BusyBackOff backOff;
    for (;;) {
      if (connection.fd() < 0) {
        const ConnectResult result = connection.Open(path, error);
        if (result != ConnectResult::Connected && result != ConnectResult::Busy) {
          std::fprintf(stderr, "lumora send: %s\n", error.c_str());
          return kExitFailure;
        }
      }
      if (connection.fd() >= 0) {
        if (!connection.Exchange(frame, reply, error)) {
          std::fprintf(stderr, "lumora send: line %zu: %s\n", d.line, error.c_str());
          return connection.unanswered() ? kExitUnanswered : kExitFailure;
        }
        // A busy agent read nothing and applied nothing: the frame can go again.
        if (reply.status != FrameStatus::Busy) break;
        connection.Close();
      }
      if (!backOff.Pause()) {
        std::fprintf(stderr,
                     "lumora send: line %zu: the agent is busy: all its %zu connections stayed "
                     "taken for %d seconds; the message was not sent\n",
                     d.line, kMaxConnections, kBusyRetryMs / 1000);
        return kExitFailure;
      }
    }
    if (reply.status != FrameStatus::Ok) {
      std::fprintf(stderr, "lumora send: line %zu: the agent refused the message: %s\n", d.line,
                   DescribeFrameStatus(reply.status));
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace lumora::posix
