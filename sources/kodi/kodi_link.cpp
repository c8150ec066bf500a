#include "sources/kodi/kodi_link.h"

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include "base/posix/output_file.h"
#endif

namespace lumora::sources {

namespace {

constexpr int64_t kConnectEveryMs = 1000;
constexpr int64_t kPollEveryMs = 1000;
constexpr int64_t kWindowEveryMs = 200;
// A refused connection is almost always Kodi's remote control setting left off.
constexpr const char* kTurnItOn =
    "Turn on in Kodi: Settings > Services > Control > \"Allow remote control from applications "
    "on this system\"";

}  // namespace

KodiLink::KodiLink(KodiOptions options, SourceApp& source,
                   std::function<void(NotePriority, const std::string&)> say)
    : options_(std::move(options)),
      say_(std::move(say)),
      bridge_(
          source, [this](const std::string& request) { Queue(request); },
          [this](const std::string& problem) { say_(NotePriority::Warning, problem); }) {}

KodiLink::~KodiLink() {
  tcp::Close(fd_);
  if (capture_ != nullptr) std::fclose(capture_);
}

bool KodiLink::OpenCapture(std::string& error) {
  if (options_.capturePath.empty()) return true;
  std::string reason;
#ifdef _WIN32
  capture_ = std::fopen(options_.capturePath.c_str(), "wb");
  if (capture_ == nullptr) reason = std::strerror(errno);
#else
  // By the rule of every output file: a regular file of the user's own, opened without waiting.
  const int fd =
      OpenOutputFile(options_.capturePath, OutputMode::Truncate, "another follower", reason);
  capture_ = fd < 0 ? nullptr : ::fdopen(fd, "w");
  if (capture_ == nullptr && fd >= 0) {
    reason = std::strerror(errno);
    ::close(fd);
  }
  if (capture_ != nullptr) {
    // A capture past the file size limit is a write that fails (and ends the follower with its
    // status), not a signal that kills it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
  }
#endif
  if (capture_ == nullptr) {
    error = "cannot write the capture " + options_.capturePath + ": " + reason;
    return false;
  }
  bridge_.SetCapture([this](const std::string& line) {
    if (captureFailed_) return;
    if (std::fprintf(capture_, "%s\n", line.c_str()) < 0 || std::fflush(capture_) != 0)
      captureFailed_ = true;
  });
  return true;
}

short KodiLink::events() const {
  if (fd_ == tcp::kNoHandle) return 0;
  if (connecting_) return tcp::kWritable;
  return static_cast<short>(tcp::kReadable | (output_.empty() ? 0 : tcp::kWritable));
}

void KodiLink::StartConnecting(int64_t nowMs) {
  nextConnect_ = nowMs + kConnectEveryMs;
  std::string error;
  bool connected = false;
  fd_ = tcp::StartConnect(options_.host, options_.port, connected, error);
  if (fd_ != tcp::kNoHandle) {
    ++socketSerial_;
    if (connected) {
      Established();
    } else {
      connecting_ = true;
      connectStarted_ = nowMs;
    }
  } else if (!waiting_) {
    say_(NotePriority::Warning, "Kodi is not answering on " + options_.host + ":" + options_.port +
                                    " (" + error + "); waiting for it. " + kTurnItOn);
    waiting_ = true;
  }
}

void KodiLink::Established() {
  connecting_ = false;
  tcp::SendAtOnce(fd_);
  say_(NotePriority::Info, "following Kodi on " + options_.host + ":" + options_.port);
  waiting_ = false;
  output_.clear();
  stuck_ = false;
  bridge_.Connected();
}

void KodiLink::Lost(const std::string& why) {
  tcp::Close(fd_);
  fd_ = tcp::kNoHandle;
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
                                    " (" + why + "); waiting for it. " + kTurnItOn);
    waiting_ = true;
  }
}

void KodiLink::Queue(const std::string& request) {
  if (fd_ == tcp::kNoHandle || connecting_ || stuck_) return;
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
    const long n = tcp::Send(fd_, output_.data(), output_.size());
    if (n > 0) {
      output_.erase(0, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return;  // the rest when it drains
    stuck_ = true;
    return;
  }
}

void KodiLink::Process(short revents, int64_t nowMs) {
  if (fd_ == tcp::kNoHandle) return;
  if (connecting_) {
    if ((revents & (tcp::kWritable | tcp::kError | tcp::kHangUp)) == 0) return;
    std::string error;
    if (!tcp::ConnectOutcome(fd_, revents, error)) {
      Lost(error);
      return;
    }
    Established();
    (void)nowMs;
    return;
  }
  if ((revents & tcp::kWritable) != 0) Flush();
  if ((revents & (tcp::kReadable | tcp::kHangUp | tcp::kError)) != 0) {
    char buffer[65536];
    const long n = tcp::Receive(fd_, buffer, sizeof buffer);
    if (n > 0) {
      if (!bridge_.Receive(std::string_view(buffer, static_cast<size_t>(n)))) stuck_ = true;
    } else if (n != tcp::kTryLater) {
      Lost("Kodi closed the connection");
      return;
    }
  }
  if (stuck_) Lost("Kodi takes no more requests");
}

void KodiLink::Beat(int64_t nowMs) {
  if (stuck_) Lost("Kodi takes no more requests");
  if (fd_ == tcp::kNoHandle) {
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
  if (fd_ != tcp::kNoHandle)
    at = connecting_ ? connectStarted_ + kKodiConnectMs : std::min(nextPoll_, nextWindow_);
  return std::max<int64_t>(0, at - nowMs);
}

void KodiLink::Stop() {
  tcp::Close(fd_);
  const bool wasConnected = fd_ != tcp::kNoHandle && !connecting_;
  fd_ = tcp::kNoHandle;
  connecting_ = false;
  if (wasConnected) bridge_.Disconnected();
}

}  // namespace lumora::sources
