// The live agent as a child process of a latency benchmark: started as `lumora run` on a socket
// of its own, reached through the client `lumora send` uses, sent prepared event frames, and
// stopped; and the percentiles the benchmarks print.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "base/posix/monotonic_clock.h"
#include "senders/frame.h"
#include "senders/send_client.h"

namespace lumora::bench {

inline bool ReadExactly(int fd, uint8_t* bytes, size_t size) {
  size_t have = 0;
  while (have < size) {
    const ssize_t n = ::read(fd, bytes + have, size - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    have += static_cast<size_t>(n);
  }
  return true;
}

// The baseline: a poll loop over its listening socket and up to eight connections; for each
// frame it reads the header, then as many payload bytes as the header says, and answers at
// once without looking further. Runs until killed.
[[noreturn]] inline void ReplyOnlyServer(int listenFd) {
  constexpr size_t kSlots = 8;
  uint8_t reply[posix::kReplySize];
  posix::EncodeReply(posix::Reply{posix::FrameStatus::Ok, 0}, reply);
  uint8_t frame[posix::kFrameMax];
  pollfd fds[1 + kSlots];
  for (pollfd& p : fds)
    p = {-1, POLLIN, 0};
  fds[0].fd = listenFd;
  for (;;) {
    if (::poll(fds, 1 + kSlots, -1) <= 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      for (size_t i = 1; fd >= 0 && i <= kSlots; ++i) {
        if (fds[i].fd >= 0) continue;
        fds[i].fd = fd;
        break;
      }
    }
    for (size_t i = 1; i <= kSlots; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const int fd = fds[i].fd;
      uint32_t length = 0;
      bool ok = ReadExactly(fd, frame, posix::kFrameHeaderSize);
      if (ok) std::memcpy(&length, frame + 12, sizeof length);  // little-endian, as here
      ok = ok && length <= posix::kFramePayloadMax &&
           ReadExactly(fd, frame + posix::kFrameHeaderSize, length) &&
           ::send(fd, reply, sizeof reply, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof reply);
      if (!ok) {
        ::close(fd);
        fds[i].fd = -1;
      }
    }
  }
}

inline pid_t StartReplyOnlyServer(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0) {
    std::perror("baseline server");
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) ReplyOnlyServer(fd);
  ::close(fd);
  return pid;
}

// Starts a program of the benchmarks (args[0] its path) as a child, its standard input and output
// on /dev/null.
inline pid_t StartProgram(std::vector<std::string> args) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, STDIN_FILENO);
  ::dup2(null, STDOUT_FILENO);
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execv(args[0].c_str(), argv.data());
  std::perror("exec");
  ::_exit(127);
}

// Starts `lumora run --socket PATH` with the panel given (by default none).
inline pid_t StartAgent(const std::string& lumora, const std::string& path,
                        const std::string& panel = "none") {
  return StartProgram({lumora, "run", "--socket", path, "--panel", panel, "--quiet"});
}

inline bool ConnectWithin(posix::AgentConnection& connection, const std::string& path,
                          int64_t timeoutMs) {
  const int64_t deadline = MonotonicNs() + timeoutMs * 1000000;
  std::string error;
  bool notRunning = false;
  while (!connection.Connect(path, error, notRunning)) {
    if (!notRunning || MonotonicNs() > deadline) {
      std::fprintf(stderr, "connect %s: %s\n", path.c_str(), error.c_str());
      return false;
    }
    ::usleep(10000);
  }
  return true;
}

// A Media State Event in its frame, ready to send; the frame points into the object.
struct EventFrame {
  uint8_t record[kMediaStateEventSize];
  posix::Frame frame;

  EventFrame() = default;
  EventFrame(const EventFrame& other) { *this = other; }
  EventFrame& operator=(const EventFrame& other) {
    std::memcpy(record, other.record, sizeof record);
    frame = other.frame;
    frame.payload = record;
    return *this;
  }
};

inline EventFrame MakeEvent(int32_t sessionId, EventCode code, const char* text) {
  EventFrame e;
  EncodeMediaStateEvent(sessionId, ToCode(code), text, std::strlen(text), e.record);
  e.frame.type = posix::FrameType::Message;
  e.frame.message = kWmCopyData;
  e.frame.dwData = kMediaStateEventMarker;
  e.frame.payload = e.record;
  e.frame.length = kMediaStateEventSize;
  return e;
}

inline bool Exchange(posix::AgentConnection& connection, const posix::Frame& frame) {
  posix::Reply reply;
  std::string error;
  if (!connection.Exchange(frame, reply, error, 30000) || reply.status != posix::FrameStatus::Ok) {
    std::fprintf(stderr, "exchange: %s\n", error.empty() ? "refused" : error.c_str());
    return false;
  }
  return true;
}

inline double Percentile(std::vector<int64_t> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return static_cast<double>(values[index]);
}

// Waits for a child of ours to end, asking it with SIGTERM after graceMs.
inline void StopChild(pid_t pid, int64_t graceMs) {
  const int64_t deadline = MonotonicNs() + graceMs * 1000000;
  while (::waitpid(pid, nullptr, WNOHANG) == 0) {
    if (MonotonicNs() > deadline) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
      return;
    }
    ::usleep(10000);
  }
}

}  // namespace lumora::bench
