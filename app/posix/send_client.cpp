#include "app/posix/send_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/posix/agent_host.h"
#include "base/platform.h"
#include "scenario/send_args.h"

namespace lumora::posix {

namespace {

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for fd to become ready for events until deadlineMs; false on timeout or error.
bool WaitFor(int fd, short events, int64_t deadlineMs) {
  for (;;) {
    const int64_t left = deadlineMs - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

bool ParseSendArguments(const std::vector<std::string>& args, SocketSendRequest& request,
                        std::string& error) {
  size_t i = 0;
  if (!args.empty() && args[0] == "--socket") {
    if (args.size() < 2) {
      error = "--socket wants a path";
      return false;
    }
    request.socketPath = args[1];
    i = 2;
  }
  // Everything after the socket is the senders' common command line.
  const std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(i),
                                           args.end());
  send::SendRequest parsed;
  if (!send::ParseSendArgs(rest, parsed, error)) return false;
  if (parsed.help) {
    error = "--help stands alone";
    return false;
  }
  request.list = parsed.list;
  request.version = parsed.version;
  request.warnings = std::move(parsed.warnings);
  request.scenario.directives = std::move(parsed.directives);
  return CheckSendable(request.scenario, error);
}

bool CheckSendable(const scenario::Scenario& scenario, std::string& error) {
  for (const scenario::Directive& d : scenario.directives) {
    if (!send::IsSendable(d.kind)) {
      const std::string name = d.source.substr(0, d.source.find(' '));
      error = "line " + std::to_string(d.line) + ": '" + name +
              "' cannot be sent to a running agent (event, copydata, power, endsession and "
              "close can)";
      return false;
    }
    if (d.kind == scenario::DirectiveKind::CopyData && d.bytes.size() > kFramePayloadMax) {
      error = "line " + std::to_string(d.line) + ": copydata longer than 1024 bytes";
      return false;
    }
  }
  return true;
}

bool FrameOfDirective(const scenario::Directive& directive, uint8_t (&record)[kMediaStateEventSize],
                      Frame& frame) {
  frame = Frame{};
  switch (directive.kind) {
    case scenario::DirectiveKind::Event:
      EncodeMediaStateEvent(directive.sessionId, directive.code, directive.bytes.data(),
                            directive.bytes.size(), record);
      frame.message = kWmCopyData;
      frame.dwData = kMediaStateEventMarker;
      frame.payload = record;
      frame.length = kMediaStateEventSize;
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

bool AgentConnection::Connect(const std::string& path, std::string& error, bool& notRunning) {
  Close();
  notRunning = false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    error = "socket path too long: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = errno;
    Close();
    notRunning = code == ENOENT || code == ECONNREFUSED;
    error = notRunning ? "the agent is not running (nothing listens on " + path + ")"
                       : "cannot connect to " + path + ": " + std::strerror(code);
    return false;
  }
  return true;
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
  if (fd_ < 0) {
    error = "not connected";
    return false;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::send(fd_, bytes + done, size - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = std::string("the agent went away: ") + std::strerror(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  uint8_t answer[kReplySize];
  size_t have = 0;
  while (have < sizeof answer) {
    if (!WaitFor(fd_, POLLIN, deadline)) {
      error = "no reply from the agent";
      return false;
    }
    const ssize_t n = ::read(fd_, answer + have, sizeof answer - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "the agent closed the connection without a reply";
      return false;
    }
    have += static_cast<size_t>(n);
  }
  if (!DecodeReply(answer, have, reply)) {
    error = "the agent's reply is malformed";
    return false;
  }
  return true;
}

int SendScenario(const std::string& socketPath, const scenario::Scenario& scenario) {
  const std::string path = socketPath.empty() ? DefaultSocketPath() : socketPath;
  AgentConnection connection;
  std::string error;
  bool notRunning = false;
  if (!connection.Connect(path, error, notRunning)) {
    std::fprintf(stderr, "lumora send: %s\n", error.c_str());
    return 1;
  }
  for (const scenario::Directive& d : scenario.directives) {
    uint8_t record[kMediaStateEventSize];
    Frame frame;
    if (!FrameOfDirective(d, record, frame)) continue;
    Reply reply;
    if (!connection.Exchange(frame, reply, error)) {
      std::fprintf(stderr, "lumora send: line %zu: %s\n", d.line, error.c_str());
      return 1;
    }
    if (reply.status != FrameStatus::Ok) {
      std::fprintf(stderr, "lumora send: line %zu: the agent refused the message: %s\n", d.line,
                   DescribeFrameStatus(reply.status));
      return 1;
    }
  }
  return 0;
}

}  // namespace lumora::posix
