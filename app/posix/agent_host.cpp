#include "app/posix/agent_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/agent_dlg.h"
#include "app/posix/frame.h"
#include "app/posix/posix_platform.h"
#include "paneldrv/emulator/emulated_panel.h"
#include "paneldrv/emulator/panel_view.h"

namespace lumora::posix {

namespace {

constexpr size_t kMaxClients = 8;

int gSignalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

bool InstallStopSignals() {
  if (::pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when an agent already answers on the path.
bool SomeoneListens(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool listening =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return listening;
}

struct Client {
  int fd = -1;
  size_t have = 0;
  size_t need = kFrameHeaderSize;
  int64_t deadlineMs = 0;
  std::array<uint8_t, kFrameMax> bytes{};
};

class Host {
 public:
  Host(const HostOptions& options, const std::string& socketPath)
      : options_(options), socketPath_(socketPath) {}

  int Run();

 private:
  bool OpenTrace();
  bool Listen();
  void Loop();
  void Accept(int64_t now);
  void Service(Client& client);
  void Handle(Client& client);
  void Reply(Client& client, FrameStatus status, int64_t result);
  void Drop(Client& client);
  void Shutdown();

  const HostOptions& options_;
  std::string socketPath_;
  std::FILE* traceFile_ = nullptr;
  std::unique_ptr<FileTraceSink> traceSink_;
  std::unique_ptr<TraceWriter> trace_;
  std::unique_ptr<emulator::PanelView> view_;
  std::unique_ptr<emulator::EmulatedPanel> panel_;
  std::unique_ptr<PosixPlatform> platform_;
  std::unique_ptr<CAgentDlg> agent_;
  int listenFd_ = -1;
  std::array<Client, kMaxClients> clients_{};
  bool stop_ = false;
  Client* closer_ = nullptr;
};

bool Host::OpenTrace() {
  if (options_.tracePath.empty()) return true;
  traceFile_ = std::fopen(options_.tracePath.c_str(), "w");
  if (traceFile_ == nullptr) {
    std::fprintf(stderr, "lumora: cannot write the trace %s: %s\n", options_.tracePath.c_str(),
                 std::strerror(errno));
    return false;
  }
  traceSink_ = std::make_unique<FileTraceSink>(traceFile_);
  trace_ = std::make_unique<TraceWriter>(traceSink_.get());
  return true;
}

bool Host::Listen() {
  sockaddr_un address;
  FillAddress(socketPath_, address);
  struct stat info {};
  if (::lstat(socketPath_.c_str(), &info) == 0) {
    // A socket left behind by an agent that did not end cleanly is replaced; any other file
    // is not ours to remove.
    if (!S_ISSOCK(info.st_mode)) {
      std::fprintf(stderr, "lumora: %s exists and is not a socket\n", socketPath_.c_str());
      return false;
    }
    ::unlink(socketPath_.c_str());
  }
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    std::fprintf(stderr, "lumora: socket: %s\n", std::strerror(errno));
    return false;
  }
  // Only the user who runs the agent may reach it: the socket is created with mode 0600.
  const mode_t old = ::umask(0177);
  const int bound = ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::umask(old);
  if (bound != 0 || ::chmod(socketPath_.c_str(), 0600) != 0 || ::listen(listenFd_, 16) != 0) {
    std::fprintf(stderr, "lumora: cannot listen on %s: %s\n", socketPath_.c_str(),
                 std::strerror(errno));
    if (bound == 0) ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  return true;
}

int Host::Run() {
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) {
    std::fprintf(stderr, "lumora: socket path too long (at most %zu bytes): %s\n",
                 sizeof address.sun_path - 1, socketPath_.c_str());
    return 1;
  }
  if (SomeoneListens(address)) {
    std::fprintf(stderr, "lumora: an agent is already running on %s\n", socketPath_.c_str());
    return 1;
  }
  if (!OpenTrace()) return 1;
  if (!InstallStopSignals()) {
    std::fprintf(stderr, "lumora: pipe: %s\n", std::strerror(errno));
    return 1;
  }
  switch (options_.panel) {
    case PanelFace::Terminal:
      view_ = std::make_unique<emulator::TerminalView>(STDOUT_FILENO);
      break;
    case PanelFace::Plain:
      view_ = std::make_unique<emulator::PlainView>(STDOUT_FILENO);
      break;
    case PanelFace::None:
      break;
  }
  panel_ = std::make_unique<emulator::EmulatedPanel>(view_.get(), trace_.get());
  if (options_.deviceFails) panel_->FailOpen(options_.deviceError);
  platform_ = std::make_unique<PosixPlatform>(*panel_, trace_.get(), options_.waitDivisor);
  if (platform_->timerFd() < 0) {
    std::fprintf(stderr, "lumora: timerfd: %s\n", std::strerror(errno));
    return 1;
  }

  // The window exists, then the agent initialises (option 3, clear, timer 1); only then is it
  // reachable, so a sender that can connect talks to a ready agent.
  agent_ = std::make_unique<CAgentDlg>(*platform_);
  agent_->OnInitDialog();
  if (!Listen()) {
    Shutdown();
    return 1;
  }
  if (!options_.quiet) std::fprintf(stderr, "lumora: listening on %s\n", socketPath_.c_str());
  Loop();
  Shutdown();
  return 0;
}

void Host::Loop() {
  std::array<pollfd, 3 + kMaxClients> fds{};
  int64_t lastAnimation = emulator::MonotonicMs();
  while (!stop_) {
    int64_t now = emulator::MonotonicMs();
    size_t freeSlots = 0;
    int timeout = -1;
    fds[0] = {gSignalPipe[0], POLLIN, 0};
    fds[1] = {platform_->timerFd(), POLLIN, 0};
    for (size_t i = 0; i < kMaxClients; ++i) {
      const Client& client = clients_[i];
      fds[3 + i] = {client.fd, POLLIN, 0};
      if (client.fd < 0) {
        ++freeSlots;
        continue;
      }
      const int64_t left = client.deadlineMs - now;
      const int wait = left < 0 ? 0 : static_cast<int>(left);
      if (timeout < 0 || wait < timeout) timeout = wait;
    }
    // When every slot is taken, further senders wait in the listen backlog.
    fds[2] = {freeSlots > 0 ? listenFd_ : -1, POLLIN, 0};
    const int animation = panel_->AnimationIntervalMs();
    if (animation > 0) {
      const int64_t left = lastAnimation + animation - now;
      const int wait = left < 0 ? 0 : static_cast<int>(left);
      if (timeout < 0 || wait < timeout) timeout = wait;
    }

    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "lumora: poll: %s\n", std::strerror(errno));
      return;
    }
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) return;  // SIGINT or SIGTERM

    if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
      const uintptr_t id = platform_->TakeTimerExpiry();
      if (id != 0) agent_->WindowProc(kWmTimer, id, 0);
    }
    if (ready > 0 && (fds[2].revents & POLLIN) != 0) Accept(emulator::MonotonicMs());
    for (size_t i = 0; i < kMaxClients && !stop_; ++i) {
      Client& client = clients_[i];
      if (client.fd >= 0 && fds[3 + i].fd == client.fd && fds[3 + i].revents != 0) {
        Service(client);
      }
    }
    if (stop_) return;

    now = emulator::MonotonicMs();
    for (Client& client : clients_) {
      if (client.fd < 0 || now < client.deadlineMs) continue;
      // Silent or stalled: a partial frame is refused, a silent connection simply dropped.
      if (client.have > 0) Reply(client, FrameStatus::Timeout, 0);
      Drop(client);
    }
    if (animation > 0 && now - lastAnimation >= animation) {
      panel_->Animate();
      lastAnimation = now;
    }
  }
}

void Host::Accept(int64_t now) {
  for (Client& client : clients_) {
    if (client.fd >= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    client.fd = fd;
    client.have = 0;
    client.need = kFrameHeaderSize;
    client.deadlineMs = now + kReadDeadlineMs;
  }
}

void Host::Service(Client& client) {
  // Reads no further than the current frame, so a sender may queue several frames; the payload
  // that arrived with its header is read at once, without another trip through poll.
  for (;;) {
    const ssize_t n =
        ::read(client.fd, client.bytes.data() + client.have, client.need - client.have);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
      Drop(client);
      return;
    }
    if (n == 0) {
      // The sender finished writing: a frame cut short is refused, a clean end is just the end.
      if (client.have > 0) Reply(client, FrameStatus::Truncated, 0);
      Drop(client);
      return;
    }
    client.have += static_cast<size_t>(n);
    if (client.have == kFrameHeaderSize && client.need == kFrameHeaderSize) {
      Frame header;
      const FrameStatus status = DecodeFrameHeader(client.bytes.data(), client.have, header);
      if (status != FrameStatus::Ok) {
        Reply(client, status, 0);
        Drop(client);
        return;
      }
      client.need = kFrameHeaderSize + header.length;
    }
    if (client.have == client.need) {
      Handle(client);
      return;
    }
  }
}

void Host::Handle(Client& client) {
  Frame frame;
  const FrameStatus status = DecodeFrame(client.bytes.data(), client.have, frame);
  if (status != FrameStatus::Ok) {
    Reply(client, status, 0);
    Drop(client);
    return;
  }
  if (frame.type == FrameType::Close) {
    // Answered once the agent is down, so the sender knows the trace is complete.
    stop_ = true;
    closer_ = &client;
    return;
  }
  const int64_t started = emulator::MonotonicMs();
  intptr_t result = 0;
  if (frame.message == kWmCopyData) {
    CopyDataStruct data;
    data.dwData = static_cast<uintptr_t>(frame.dwData);
    data.cbData = frame.length;
    data.lpData = frame.payload;
    result = agent_->WindowProc(kWmCopyData, static_cast<uintptr_t>(frame.wParam),
                                reinterpret_cast<intptr_t>(&data));
  } else {
    result = agent_->WindowProc(frame.message, static_cast<uintptr_t>(frame.wParam), 0);
  }
  Reply(client, FrameStatus::Ok, result);
  const int64_t now = emulator::MonotonicMs();
  // The others waited for the agent, not the other way round: their time runs from now.
  for (Client& other : clients_) {
    if (other.fd >= 0 && &other != &client) other.deadlineMs += now - started;
  }
  client.have = 0;
  client.need = kFrameHeaderSize;
  client.deadlineMs = now + kReadDeadlineMs;
}

void Host::Reply(Client& client, FrameStatus status, int64_t result) {
  uint8_t bytes[kReplySize];
  EncodeReply({status, result}, bytes);
  size_t done = 0;
  while (done < sizeof bytes) {
    const ssize_t n = ::send(client.fd, bytes + done, sizeof bytes - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the sender is gone or does not read: nothing more to say to it
    done += static_cast<size_t>(n);
  }
}

void Host::Drop(Client& client) {
  if (client.fd >= 0) ::close(client.fd);
  client.fd = -1;
  client.have = 0;
  client.need = kFrameHeaderSize;
}

void Host::Shutdown() {
  if (agent_) {
    // The window is destroyed (timer killed), then the window object: the device closes
    // without a final clear.
    agent_->WindowProc(kWmDestroy, 0, 0);
    agent_.reset();
  }
  if (listenFd_ >= 0) {
    ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    listenFd_ = -1;
  }
  if (closer_ != nullptr) {
    Reply(*closer_, FrameStatus::Ok, 0);
    closer_ = nullptr;
  }
  for (Client& client : clients_)
    Drop(client);
  platform_.reset();
  panel_.reset();
  view_.reset();
  trace_.reset();
  traceSink_.reset();
  if (traceFile_ != nullptr) {
    std::fclose(traceFile_);
    traceFile_ = nullptr;
  }
}

}  // namespace

std::string DefaultSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/lumora.sock";
  return "/tmp/lumora-" + std::to_string(::getuid()) + ".sock";
}

int RunAgent(const HostOptions& options) {
  const std::string path = options.socketPath.empty() ? DefaultSocketPath() : options.socketPath;
  // The host holds a client buffer per connection: kept off the stack.
  auto host = std::make_unique<Host>(options, path);
  return host->Run();
}

}  // namespace lumora::posix
