#include "sources/kodi/kodi_link.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/output_file.h"

namespace lumora::sources {

namespace {

constexpr int64_t kConnectEveryMs = 1000;
constexpr int64_t kPollEveryMs = 1000;
constexpr int64_t kWindowEveryMs = 200;

}  // namespace

KodiLink::KodiLink(KodiOptions options, SourceApp& source,
                   std::function<void(NotePriority, const std::string&)> say)
    : options_(std::move(options)),
      source_(source),
      say_(std::move(say)),
      bridge_(
          source, [this](const std::string& request) { Queue(request); },
          [this](const std::string& problem) { say_(NotePriority::Warning, problem); }) {}

KodiLink::~KodiLink() {
  if (fd_ >= 0) ::close(fd_);
  if (capture_ != nullptr) std::fclose(capture_);
}

bool KodiLink::OpenCapture(std::string& error) {
  if (options_.capturePath.empty()) return true;
  // By the rule of every output file: a regular file of the user's own, opened without waiting.
  std::string reason;
  const int fd =
      OpenOutputFile(options_.capturePath, OutputMode::Truncate, "another follower", reason);
  capture_ = fd < 0 ? nullptr : ::fdopen(fd, "w");
  if (capture_ == nullptr) {
    if (fd >= 0) {
      reason = std::strerror(errno);
      ::close(fd);
    }
    error = "cannot write the capture " + options_.capturePath + ": " + reason;
    return false;
  }
  // A capture past the file size limit is a write that fails (and ends the follower with its
  // status), not a signal that kills it.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
  bridge_.SetCapture([this](const std::string& line) {
    if (captureFailed_) return;
    if (std::fprintf(capture_, "%s\n", line.c_str()) < 0 || std::fflush(capture_) != 0)
      captureFailed_ = true;
  });
  return true;
}

short KodiLink::events() const {
  if (fd_ < 0) return 0;
  if (connecting_) return POLLOUT;
  return static_cast<short>(POLLIN | (output_.empty() ? 0 : POLLOUT));
}

void KodiLink::StartConnecting(int64_t nowMs) {
  nextConnect_ = nowMs + kConnectEveryMs;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(options_.host.c_str(), options_.port.c_str(), &hints, &found);
  std::string error;
  if (status != 0) {
    error = std::string("cannot find the host: ") + ::gai_strerror(status);
  } else {
    // The first address; its connection completes (or fails) while the loop goes on.
    fd_ = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                   found->ai_protocol);
    if (fd_ < 0) {
      error = std::strerror(errno);
    } else if (::connect(fd_, found->ai_addr, found->ai_addrlen) == 0) {
      Established();
    } else if (errno == EINPROGRESS) {
      connecting_ = true;
      connectStarted_ = nowMs;
    } else {
      error = std::strerror(errno);
      ::close(fd_);
      fd_ = -1;
    }
    ::freeaddrinfo(found);
  }
  if (fd_ < 0 && !waiting_) {
    say_(NotePriority::Warning, "Kodi is not answering on " + options_.host + ":" + options_.port +
                                    " (" + error + "); waiting for it");
    waiting_ = true;
  }
}

void KodiLink::Established() {
  connecting_ = false;
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  say_(NotePriority::Info, "following Kodi on " + options_.host + ":" + options_.port);
  waiting_ = false;
  output_.clear();
  stuck_ = false;
  bridge_.Connected();
}

void KodiLink::Lost(const std::string& why) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  const bool wasConnected = !connecting_;
  connecting_ = false;
  output_.clear();
  stuck_ = false;
  if (wasConnected) {
    say_(NotePriority::Warning, why + "; waiting for it to come back");
    waiting_ = true;
    bridge_.Disconnected();
  } else if (!waiting_) {
    say_(NotePriority::Warning, "Kodi is not answering on " + options_.host + ":" + options_.port +
                                    " (" + why + "); waiting for it");
    waiting_ = true;
  }
}

void KodiLink::Queue(const std::string& request) {
  if (fd_ < 0 || connecting_ || stuck_) return;
  if (output_.size() + request.size() > kKodiOutputMax) {
    // Kodi takes nothing: the rest of this round is given up, and the connection with it.
    stuck_ = true;
    return;
  }
  output_ += request;
  Flush();
}

void KodiLink::Flush() {
  while (!output_.empty()) {
    const ssize_t n = ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL);
    if (n > 0) {
      output_.erase(0, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // the rest when it drains
    stuck_ = true;
    return;
  }
}

void KodiLink::Process(short revents, int64_t nowMs) {
  if (fd_ < 0) return;
  if (connecting_) {
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
    int soError = 0;
    socklen_t length = sizeof soError;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError != 0) {
      Lost(std::strerror(soError));
      return;
    }
    Established();
    (void)nowMs;
    return;
  }
  if ((revents & POLLOUT) != 0) Flush();
  if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (!bridge_.Receive(std::string_view(buffer, static_cast<size_t>(n)))) stuck_ = true;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      Lost("Kodi closed the connection");
      return;
    }
  }
  if (stuck_) Lost("Kodi takes no more requests");
}

void KodiLink::Beat(int64_t nowMs) {
  if (stuck_) Lost("Kodi takes no more requests");
  if (fd_ < 0) {
    if (nowMs >= nextConnect_) StartConnecting(nowMs);
    return;
  }
  if (connecting_) {
    if (nowMs - connectStarted_ >= kKodiConnectMs) Lost("no answer within 2 s");
    return;
  }
  if (nowMs >= nextPoll_) {
    nextPoll_ = nowMs + kPollEveryMs;
    nextWindow_ = nowMs + kWindowEveryMs;
    bridge_.Poll();
  } else if (nowMs >= nextWindow_) {
    nextWindow_ = nowMs + kWindowEveryMs;
    bridge_.LookAtWindow();
  }
  if (stuck_) Lost("Kodi takes no more requests");
}

int64_t KodiLink::NextBeatInMs(int64_t nowMs) const {
  int64_t at = nextConnect_;
  if (fd_ >= 0)
    at = connecting_ ? connectStarted_ + kKodiConnectMs : std::min(nextPoll_, nextWindow_);
  return std::max<int64_t>(0, at - nowMs);
}

void KodiLink::Stop() {
  if (fd_ >= 0) ::close(fd_);
  const bool wasConnected = fd_ >= 0 && !connecting_;
  fd_ = -1;
  connecting_ = false;
  if (wasConnected) bridge_.Disconnected();
}

}  // namespace lumora::sources
