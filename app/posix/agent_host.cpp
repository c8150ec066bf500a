#include "app/posix/agent_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/agent_dlg.h"
#include "app/posix/posix_platform.h"
#include "app/posix/sleep/sleep_watch.h"
#include "base/exit_status.h"
#include "base/media_event.h"
#include "base/posix/monotonic_clock.h"
#include "base/posix/note.h"
#include "base/posix/output_file.h"
#include "base/posix/stop_signals.h"
#include "engine/media_engine.h"
#include "paneldrv/emulator/emulated_panel.h"
#include "paneldrv/emulator/panel_view.h"
#include "paneldrv/lcdproc/lcdproc_view.h"
#include "recorder/recorder.h"
#include "senders/frame.h"
#include "senders/socket_folder.h"

namespace lumora::posix {

namespace {

// At most this many connections are accepted in one round of the loop, so a flood of connects
// cannot keep the agent from its clock.
constexpr int kAcceptsPerRound = 64;
constexpr int kListenBacklog = 64;

// The signals that end the agent. They are blocked in the thread and read from a signalfd in
// the poll loop, so a signal that comes during a message's handling (a 1000 ms wait, say) lets
// the message finish and its sender get its reply before the agent stops.
int OpenAgentStopSignals() {
  // A write to the terminal from the background goes out rather than stopping the agent; a
  // trace or a recording past the file size limit is a write error that stops the agent with
  // its reason.
  return OpenStopSignals({SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2},
                         {SIGPIPE, SIGTTOU, SIGXFSZ});
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when an agent already answers on the path. The connect does not wait: a listener whose
// queue is full (an agent that is stopped, say) answers EAGAIN at once, and it listens too.
bool SomeoneListens(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool listening =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      errno == EAGAIN || errno == EINPROGRESS;
  ::close(fd);
  return listening;
}

struct Client {
  int fd = -1;
  size_t have = 0;
  size_t need = kFrameHeaderSize;
  int64_t deadlineMs = 0;
  // The reply being written (a plain reply, or a status reply with its report); the next frame
  // is read only once it is out (back-pressure: a sender that does not read its replies is not
  // read either).
  uint8_t reply[kReplyMax] = {};
  size_t replySize = kReplySize;
  size_t replySent = kReplySize;
  bool closeAfterReply = false;
  // A whole frame read, held back until the sender's socket has room for its reply.
  bool waitingRoom = false;
  std::array<uint8_t, kFrameMax> bytes{};

  bool replying() const { return replySent < replySize; }
  bool writing() const { return replying() || waitingRoom; }
};

class Host final : public SleepWatch::Listener {
 public:
  Host(const HostOptions& options, const std::string& socketPath)
      : options_(options), socketPath_(socketPath) {}

  int Run();

 private:
  // The login manager's sleep and wake, delivered as the Windows power messages of a suspend
  // and of the resume that follows it.
  void OnSleep(bool goingToSleep) override;
  void OnNote(const std::string& note) override;
  bool OpenTrace();
  bool OpenRecording();
  // Delivers a message to the window procedure, recorded and logged first when asked.
  intptr_t Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam);
  bool Listen();
  // Removes the socket's file when the path still holds the one this agent bound.
  void RemoveSocket();
  void Loop();
  void Accept(int64_t now);
  void Service(Client& client, short revents);
  void Handle(Client& client);
  void Reply(Client& client, FrameStatus status, int64_t result);
  // Answers a status request from the agent's model, changing nothing.
  void ReplyStatus(Client& client);
  StatusReport Status() const;
  // The screen priority of the LCDd view from the agent's model, after every message.
  void UpdatePriority();
  void WriteReply(Client& client);
  void Drop(Client& client);
  // Stops the agent when the trace could not be written: it must lose nothing.
  void CheckTrace();
  void Shutdown();

  const HostOptions& options_;
  std::string socketPath_;
  int signalFd_ = -1;
  std::FILE* traceFile_ = nullptr;
  std::unique_ptr<FileTraceSink> traceSink_;
  std::unique_ptr<TraceWriter> trace_;
  std::unique_ptr<emulator::PanelView> view_;
  lcdproc::LcdprocView* lcdproc_ = nullptr;  // view_, when the panel is shown on LCDd
  // When the shell last reported a menu, on the monotonic clock.
  bool menuSeen_ = false;
  int64_t lastMenuMs_ = 0;
  std::unique_ptr<emulator::EmulatedPanel> panel_;
  std::unique_ptr<PosixPlatform> platform_;
  std::FILE* recordFile_ = nullptr;
  std::unique_ptr<recorder::MessageRecorder> recorder_;
  std::unique_ptr<CAgentDlg> agent_;
  std::unique_ptr<SleepWatch> sleepWatch_;
  int listenFd_ = -1;
  bool boundKnown_ = false;  // the socket's file as bind made it
  dev_t boundDevice_ = 0;
  ino_t boundInode_ = 0;
  std::array<Client, kMaxConnections> clients_{};
  bool stop_ = false;
  bool failed_ = false;
  int faceError_ = 0;  // why the panel's face could not be written, reported at the end
  Client* closer_ = nullptr;
};

// Opens a file the agent writes to (the trace, the recording) by the rule of every output file
// (base/posix/output_file.h): null with a message when it cannot be the agent's own. Nothing is
// truncated here; truncate asks for that once the agent knows it will run.
std::FILE* OpenOutput(const std::string& path, bool append, const char* what) {
  std::string reason;
  const int fd =
      OpenOutputFile(path, append ? OutputMode::Append : OutputMode::Keep, "another agent", reason);
  std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, append ? "ab" : "wb");
  if (fd >= 0 && file == nullptr) {
    reason = std::strerror(errno);
    ::close(fd);
  }
  if (file == nullptr) {
    Note(NotePriority::Error, "lumora: cannot write the %s %s: %s", what, path.c_str(),
         reason.c_str());
  }
  return file;
}

bool Host::OpenTrace() {
  if (options_.tracePath.empty()) return true;
  traceFile_ = OpenOutput(options_.tracePath, false, "trace");
  if (traceFile_ == nullptr) return false;
  traceSink_ = std::make_unique<FileTraceSink>(traceFile_);
  trace_ = std::make_unique<TraceWriter>(traceSink_.get());
  return true;
}

bool Host::OpenRecording() {
  if (options_.recordPath.empty()) return true;
  // Appended to: a recording may go on across runs.
  recordFile_ = OpenOutput(options_.recordPath, true, "recording");
  return recordFile_ != nullptr;
}

intptr_t Host::Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmCopyData && lParam != 0) {
    MediaStateEvent event;
    if (DecodeMediaStateEvent(*reinterpret_cast<const CopyDataStruct*>(lParam), event) &&
        MediaEngine::IsNavigationEvent(event.eventCode)) {
      menuSeen_ = true;
      lastMenuMs_ = MonotonicMs();
    }
  }
  if (recorder_ != nullptr) recorder_->Received(message, wParam, lParam);
  const intptr_t result = agent_->WindowProc(message, wParam, lParam);
  if (recorder_ != nullptr) {
    recorder_->Handled();
    if (recorder_->failed() && !failed_) {
      Note(NotePriority::Error, "lumora: cannot write the recording %s; stopping",
           options_.recordPath.c_str());
      failed_ = true;
      stop_ = true;
    }
  }
  UpdatePriority();
  return result;
}

bool ClockHandedOver() {
  const int32_t power = TheProcessState().powerState;
  return power == PowerSuspended || power == PowerSessionEnding;
}

// A medium plays: the media session, or the picture show on the panel.
bool MediaPlays(const MediaEngine& engine) {
  const AgentState& s = engine.state();
  if (s.playing != 0) return true;
  PictureSessionRecord record;
  return s.displayMode == ModePictures &&
         engine.pictureSessions().FindPictureSession(s.currentSessionId, record) != 0 &&
         record.playing != 0;
}

void Host::UpdatePriority() {
  if (lcdproc_ == nullptr || agent_ == nullptr) return;
  const int64_t now = MonotonicMs();
  lcdproc::Situation situation;
  situation.clockHandedOver = ClockHandedOver();
  situation.mediaPlays = MediaPlays(agent_->engine());
  // The minute is the agent's time: --accelerate shortens it like the agent's other waits.
  situation.recentMenu =
      menuSeen_ && now - lastMenuMs_ < lcdproc::kMenuForegroundMs / options_.waitDivisor;
  lcdproc_->SetPriority(lcdproc::ChoosePriority(situation), now);
}

StatusReport Host::Status() const {
  StatusReport report;
  const AgentState& s = agent_->engine().state();
  const int32_t power = TheProcessState().powerState;
  report.power = power == PowerQuiet           ? PowerStatus::Quiet
                 : power == PowerSuspended     ? PowerStatus::Suspended
                 : power == PowerSessionEnding ? PowerStatus::SessionEnding
                                               : PowerStatus::Normal;
  if (ClockHandedOver()) {
    report.clock = ClockState::PanelClock;
  } else if (s.shellActive == 0) {
    report.clock = ClockState::Idle;
  } else {
    report.clock = s.clockMode == 1   ? ClockState::Time
                   : s.clockMode == 2 ? ClockState::DateTime
                                      : ClockState::None;
  }
  const emulator::PanelState& panel = panel_->state();
  report.panelOpen = panel_->open();
  report.levelSegments = static_cast<uint8_t>(panel.LitLevelSegments());
  report.litIcons = panel.NamedLitIcons();
  // The whole lines, as the panel shows them (its own date and time while its clock runs).
  const emulator::ShownLines shown(panel, MonotonicMs(), 0, kStatusLineMax);
  report.line2Length = static_cast<uint8_t>(std::min(shown.line2().size(), kStatusLineMax));
  report.line3Length = static_cast<uint8_t>(std::min(shown.line3().size(), kStatusLineMax));
  std::memcpy(report.line2, shown.line2().data(), report.line2Length);
  std::memcpy(report.line3, shown.line3().data(), report.line3Length);
  return report;
}

void Host::OnSleep(bool goingToSleep) {
  if (agent_ == nullptr || stop_) return;
  Deliver(kWmPowerBroadcast, goingToSleep ? kPbtApmSuspend : kPbtApmResumeSuspend, 0);
  CheckTrace();
}

void Host::OnNote(const std::string& note) {
  if (!options_.quiet) Note(NotePriority::Warning, "lumora: %s", note.c_str());
}

void Host::CheckTrace() {
  if (traceSink_ == nullptr || !traceSink_->failed() || failed_) return;
  Note(NotePriority::Error, "lumora: cannot write the trace %s: %s; stopping",
       options_.tracePath.c_str(), std::strerror(traceSink_->error()));
  failed_ = true;
  stop_ = true;
}

void Host::RemoveSocket() {
  struct stat info {};
  if (boundKnown_ && ::lstat(socketPath_.c_str(), &info) == 0 && info.st_dev == boundDevice_ &&
      info.st_ino == boundInode_) {
    ::unlink(socketPath_.c_str());
  }
}

bool Host::Listen() {
  sockaddr_un address;
  FillAddress(socketPath_, address);
  struct stat info {};
  if (::lstat(socketPath_.c_str(), &info) == 0) {
    // A socket left behind by an agent that did not end cleanly is replaced; any other file
    // is not ours to remove (Run has said so already, unless it has just appeared).
    if (!S_ISSOCK(info.st_mode)) {
      Note(NotePriority::Error, "lumora: %s exists and is not a socket", socketPath_.c_str());
      return false;
    }
    // Only the user's own: another user's socket in a folder both may write is not ours to take.
    if (info.st_uid != ::geteuid()) {
      Note(NotePriority::Error,
           "lumora: %s is a socket of user %u, not yours; refusing to replace it",
           socketPath_.c_str(), static_cast<unsigned>(info.st_uid));
      return false;
    }
    ::unlink(socketPath_.c_str());
  }
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    Note(NotePriority::Error, "lumora: socket: %s", std::strerror(errno));
    return false;
  }
  // Only the user who runs the agent may reach it: the socket is created with mode 0600 by
  // bind itself (no chmod afterwards, which would follow whatever the path has become).
  const mode_t old = ::umask(0177);
  const int bound = ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::umask(old);
  // The file bind made, by device and inode: at the end the agent removes the socket only when
  // it is still this one (another agent may have been started on the path since it was removed).
  if (bound == 0 && ::lstat(socketPath_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
    boundDevice_ = info.st_dev;
    boundInode_ = info.st_ino;
    boundKnown_ = true;
  }
  if (bound != 0 || ::listen(listenFd_, kListenBacklog) != 0) {
    Note(NotePriority::Error, "lumora: cannot listen on %s: %s", socketPath_.c_str(),
         std::strerror(errno));
    RemoveSocket();
    ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  return true;
}

int Host::Run() {
  // First of all, so that a stop signal at any moment from here on ends the agent cleanly.
  signalFd_ = OpenAgentStopSignals();
  if (signalFd_ < 0) {
    Note(NotePriority::Error, "lumora: signalfd: %s", std::strerror(errno));
    return 1;
  }
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) {
    Note(NotePriority::Error, "lumora: socket path too long (at most %zu bytes): %s",
         sizeof address.sun_path - 1, socketPath_.c_str());
    return 1;
  }
  if (SomeoneListens(address)) {
    Note(NotePriority::Error, "lumora: an agent is already running on %s", socketPath_.c_str());
    return 1;
  }
  // The trace and the recording are opened and locked before the socket listens, so that a
  // file the agent cannot own is refused before any sender waits on it. The trace is emptied
  // only once the socket is ours: an agent that cannot start never touches the trace of one
  // that runs.
  struct stat info {};
  if (::lstat(socketPath_.c_str(), &info) == 0 && !S_ISSOCK(info.st_mode)) {
    Note(NotePriority::Error, "lumora: %s exists and is not a socket", socketPath_.c_str());
    return 1;
  }
  if (!OpenTrace() || !OpenRecording() || !Listen()) {
    Shutdown();
    return 1;
  }
  if (traceFile_ != nullptr && ::ftruncate(::fileno(traceFile_), 0) != 0) {
    Note(NotePriority::Error, "lumora: cannot write the trace %s: %s", options_.tracePath.c_str(),
         std::strerror(errno));
    Shutdown();
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
    case PanelFace::Lcdproc: {
      auto view =
          std::make_unique<lcdproc::LcdprocView>(options_.lcdprocHost, options_.lcdprocPort);
      lcdproc_ = view.get();
      view_ = std::move(view);
      break;
    }
  }
  panel_ = std::make_unique<emulator::EmulatedPanel>(view_.get(), trace_.get());
  if (options_.deviceFails) panel_->FailOpen(options_.deviceError);
  platform_ = std::make_unique<PosixPlatform>(*panel_, trace_.get(), options_.waitDivisor);
  if (platform_->timerFd() < 0) {
    Note(NotePriority::Error, "lumora: timerfd: %s", std::strerror(errno));
    Shutdown();
    return 1;
  }

  // The window exists, then the agent initialises (option 3, clear, timer 1) before the loop
  // takes its first connection, so every sender talks to a ready agent.
  Platform* agentPlatform = platform_.get();
  if (recordFile_ != nullptr || options_.verbose) {
    recorder_ = std::make_unique<recorder::MessageRecorder>(*platform_, recordFile_,
                                                            options_.verbose ? stderr : nullptr,
                                                            NotePrefix(NotePriority::Debug));
    agentPlatform = recorder_.get();
  }
  agent_ = std::make_unique<CAgentDlg>(*agentPlatform);
  agent_->OnInitDialog();
  UpdatePriority();
  CheckTrace();
  if (!options_.quiet && !stop_) {
    Note(NotePriority::Info, "lumora: listening on %s", socketPath_.c_str());
  }
  // After the agent is ready: a sleep announced from now on finds it initialised.
  if (!stop_) {
    sleepWatch_ = std::make_unique<SleepWatch>(*this);
    sleepWatch_->Start();
  }
  // Under systemd (Type=notify) the service counts as started from here: the socket listens
  // and the agent is initialised, so a unit ordered after this one finds it answering.
  const bool ready = !stop_;
  if (ready) ::sd_notify(0, "READY=1");
  if (!stop_) Loop();
  if (ready) ::sd_notify(0, "STOPPING=1");
  Shutdown();
  // The agent ran on without its face; that its output was lost is said now.
  return CheckedExit("lumora", failed_ ? kExitFailure : kExitOk, faceError_);
}

void Host::Loop() {
  enum : size_t { kSignal, kTimer, kListen, kFace, kSleep, kFirstClient };
  std::array<pollfd, kFirstClient + kMaxConnections> fds{};
  int64_t lastAnimation = MonotonicMs();
  while (!stop_) {
    int64_t now = MonotonicMs();
    int timeout = -1;
    fds[kSignal] = {signalFd_, POLLIN, 0};
    fds[kTimer] = {platform_->timerFd(), POLLIN, 0};
    // Always listening: when every slot is taken, a newcomer is told "busy" at once rather
    // than left waiting in the backlog.
    fds[kListen] = {listenFd_, POLLIN, 0};
    fds[kFace] = {panel_->PendingFaceFd(), panel_->PendingFaceEvents(), 0};
    fds[kSleep] = {sleepWatch_->fd(), sleepWatch_->events(), 0};
    for (size_t i = 0; i < kMaxConnections; ++i) {
      const Client& client = clients_[i];
      fds[kFirstClient + i] = {client.fd, client.writing() ? short{POLLOUT} : short{POLLIN}, 0};
      if (client.fd < 0) continue;
      const int64_t left = client.deadlineMs - now;
      const int wait = left < 0 ? 0 : static_cast<int>(left);
      if (timeout < 0 || wait < timeout) timeout = wait;
    }
    const int busWait = sleepWatch_->timeoutMs();
    if (busWait >= 0 && (timeout < 0 || busWait < timeout)) timeout = busWait;
    const int animation = panel_->AnimationIntervalMs();
    if (animation > 0) {
      const int64_t left = lastAnimation + animation - now;
      const int wait = left < 0 ? 0 : static_cast<int>(left);
      if (timeout < 0 || wait < timeout) timeout = wait;
    }

    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      Note(NotePriority::Error, "lumora: poll: %s", std::strerror(errno));
      failed_ = true;
      return;
    }
    if (ready > 0 && (fds[kSignal].revents & POLLIN) != 0) return;  // a stop signal

    if (ready > 0 && (fds[kTimer].revents & POLLIN) != 0) {
      const uintptr_t id = platform_->TakeTimerExpiry();
      if (id != 0) Deliver(kWmTimer, id, 0);
      CheckTrace();
    }
    if (ready > 0 && fds[kFace].fd >= 0 && fds[kFace].revents != 0) panel_->FlushFace();
    // Also without an event of its own: the bus may have work whose time has come.
    if (sleepWatch_->active()) sleepWatch_->Process();
    if (stop_) return;
    for (size_t i = 0; i < kMaxConnections && !stop_; ++i) {
      Client& client = clients_[i];
      const pollfd& p = fds[kFirstClient + i];
      if (client.fd >= 0 && p.fd == client.fd && p.revents != 0) Service(client, p.revents);
    }
    if (stop_) return;
    // After the connections, so that a slot freed by a sender that just hung up is free for a
    // newcomer of the same round.
    if (ready > 0 && (fds[kListen].revents & POLLIN) != 0) Accept(MonotonicMs());

    now = MonotonicMs();
    for (Client& client : clients_) {
      if (client.fd < 0 || now < client.deadlineMs) continue;
      // Silent, stalled or not reading its reply: a partial frame is refused, the others
      // simply dropped.
      if (!client.writing() && client.have > 0) {
        client.closeAfterReply = true;
        Reply(client, FrameStatus::Timeout, 0);
        if (client.fd < 0) continue;
      }
      Drop(client);
    }
    if (animation > 0 && now - lastAnimation >= animation) {
      panel_->Animate();
      lastAnimation = now;
    }
  }
}

void Host::Accept(int64_t now) {
  for (int round = 0; round < kAcceptsPerRound; ++round) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    Client* slot = nullptr;
    for (Client& client : clients_) {
      if (client.fd < 0) {
        slot = &client;
        break;
      }
    }
    if (slot == nullptr) {
      // Every slot is taken: told so at once, nothing read. A fresh connection's buffer takes
      // the 16 bytes; if it does not, the sender sees the connection end without a reply.
      Note(NotePriority::Warning, "lumora: refused a connection (status %d): %s",
           static_cast<int>(FrameStatus::Busy), DescribeFrameStatus(FrameStatus::Busy));
      uint8_t busy[kReplySize];
      EncodeReply({FrameStatus::Busy, 0}, busy);
      [[maybe_unused]] const ssize_t n = ::send(fd, busy, sizeof busy, MSG_DONTWAIT | MSG_NOSIGNAL);
      ::close(fd);
      continue;
    }
    slot->fd = fd;
    slot->have = 0;
    slot->need = kFrameHeaderSize;
    slot->replySize = kReplySize;
    slot->replySent = kReplySize;
    slot->closeAfterReply = false;
    slot->waitingRoom = false;
    slot->deadlineMs = now + kReadDeadlineMs;
  }
}

void Host::Service(Client& client, short revents) {
  if (client.replying()) {
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) != 0) WriteReply(client);
    return;
  }
  if (client.waitingRoom) {
    if ((revents & (POLLERR | POLLHUP)) != 0) {
      Drop(client);  // gone before its frame was applied
    } else if ((revents & POLLOUT) != 0) {
      Handle(client);
    }
    return;
  }
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
      if (client.have > 0) {
        client.closeAfterReply = true;
        Reply(client, FrameStatus::Truncated, 0);
      } else {
        Drop(client);
      }
      return;
    }
    client.have += static_cast<size_t>(n);
    if (client.have == kFrameHeaderSize && client.need == kFrameHeaderSize) {
      Frame header;
      const FrameStatus status = DecodeFrameHeader(client.bytes.data(), client.have, header);
      if (status != FrameStatus::Ok) {
        client.closeAfterReply = true;
        Reply(client, status, 0);
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
    client.closeAfterReply = true;
    Reply(client, status, 0);
    return;
  }
  if (frame.type == FrameType::Close) {
    // Answered once the agent is down, so the sender knows the trace is complete.
    stop_ = true;
    closer_ = &client;
    return;
  }
  if (frame.type == FrameType::Status) {
    client.waitingRoom = false;
    client.have = 0;
    client.need = kFrameHeaderSize;
    ReplyStatus(client);
    return;
  }
  // A frame is applied only when its reply can go out at once: a sender that does not take its
  // replies waits with its frame unapplied, and is dropped at its deadline before the frame is
  // applied, never after. Whatever the agent applied, the sender has been answered.
  pollfd room{client.fd, POLLOUT, 0};
  if (::poll(&room, 1, 0) != 1 || (room.revents & POLLOUT) == 0) {
    client.waitingRoom = true;
    client.deadlineMs = MonotonicMs() + kReadDeadlineMs;
    return;
  }
  client.waitingRoom = false;
  const int64_t started = MonotonicMs();
  intptr_t result = 0;
  if (frame.message == kWmCopyData) {
    CopyDataStruct data;
    data.dwData = static_cast<uintptr_t>(frame.dwData);
    data.cbData = frame.length;
    data.lpData = frame.payload;
    result = Deliver(kWmCopyData, static_cast<uintptr_t>(frame.wParam),
                     reinterpret_cast<intptr_t>(&data));
  } else {
    result = Deliver(frame.message, static_cast<uintptr_t>(frame.wParam), 0);
  }
  CheckTrace();
  const int64_t now = MonotonicMs();
  // The others waited for the agent, not the other way round: their time runs from now.
  for (Client& other : clients_) {
    if (other.fd >= 0 && &other != &client) other.deadlineMs += now - started;
  }
  client.have = 0;
  client.need = kFrameHeaderSize;
  Reply(client, FrameStatus::Ok, result);
}

void Host::Reply(Client& client, FrameStatus status, int64_t result) {
  if (status != FrameStatus::Ok) {
    Note(NotePriority::Warning, "lumora: refused a frame (status %d): %s", static_cast<int>(status),
         DescribeFrameStatus(status));
  }
  uint8_t reply[kReplySize];
  EncodeReply({status, result}, reply);
  std::memcpy(client.reply, reply, sizeof reply);
  client.replySize = sizeof reply;
  client.replySent = 0;
  // The sender has as long to take its reply as it had to send its frame.
  client.deadlineMs = MonotonicMs() + kReadDeadlineMs;
  WriteReply(client);
}

void Host::ReplyStatus(Client& client) {
  // Built in place in the connection's own buffer: nothing allocated.
  static_assert(sizeof client.reply == kStatusReplySize);
  EncodeStatusReply(Status(), client.reply);
  client.replySize = kStatusReplySize;
  client.replySent = 0;
  // The sender has as long to take its reply as it had to send its frame.
  client.deadlineMs = MonotonicMs() + kReadDeadlineMs;
  WriteReply(client);
}

void Host::WriteReply(Client& client) {
  while (client.replying()) {
    const ssize_t n = ::send(client.fd, client.reply + client.replySent,
                             client.replySize - client.replySent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      client.replySent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // poll says when
    Drop(client);  // the sender is gone: nothing more to say to it
    return;
  }
  if (client.closeAfterReply) {
    // After a refusal the agent cannot tell where a next frame would begin.
    Drop(client);
    return;
  }
  client.deadlineMs = MonotonicMs() + kReadDeadlineMs;
}

void Host::Drop(Client& client) {
  if (client.fd >= 0) ::close(client.fd);
  client.fd = -1;
  client.have = 0;
  client.need = kFrameHeaderSize;
  client.replySize = kReplySize;
  client.replySent = kReplySize;
  client.closeAfterReply = false;
  client.waitingRoom = false;
}

void Host::Shutdown() {
  // The delay lock goes first: a machine waiting to sleep waits no longer for this agent.
  sleepWatch_.reset();
  if (agent_) {
    // The window is destroyed (timer killed), then the window object: the device closes
    // without a final clear.
    agent_->WindowProc(kWmDestroy, 0, 0);
    agent_.reset();
    CheckTrace();
  }
  if (listenFd_ >= 0) {
    RemoveSocket();
    ::close(listenFd_);
    listenFd_ = -1;
  }
  recorder_.reset();
  if (recordFile_ != nullptr) {
    std::fclose(recordFile_);
    recordFile_ = nullptr;
  }
  platform_.reset();
  panel_.reset();
  if (view_ != nullptr) faceError_ = view_->OutputError();
  view_.reset();
  trace_.reset();
  traceSink_.reset();
  if (traceFile_ != nullptr) {
    if (std::fclose(traceFile_) != 0 && !failed_) {
      Note(NotePriority::Error, "lumora: cannot write the trace %s: %s", options_.tracePath.c_str(),
           std::strerror(errno));
      failed_ = true;
    }
    traceFile_ = nullptr;
  }
  // The close request is answered last: when its sender hears back, the trace is complete and
  // the socket gone.
  if (closer_ != nullptr) {
    closer_->closeAfterReply = true;
    Reply(*closer_, FrameStatus::Ok, 0);
    if (closer_->fd >= 0 && closer_->replying()) {
      pollfd p{closer_->fd, POLLOUT, 0};
      if (::poll(&p, 1, kReadDeadlineMs) > 0) WriteReply(*closer_);
    }
    closer_ = nullptr;
  }
  for (Client& client : clients_) {
    if (client.fd >= 0 && client.replying()) WriteReply(client);  // a last chance, no wait
    Drop(client);
  }
  if (signalFd_ >= 0) ::close(signalFd_);
  signalFd_ = -1;
}

}  // namespace

int RunAgent(const HostOptions& options) {
  std::string path = options.socketPath;
  if (path.empty()) {
    // The default socket lives in a folder of the user's own, so that no other user can take
    // its name first or replace it.
    const std::string folder = DefaultSocketFolder();
    std::string error;
    bool missing = false;
    // $XDG_RUNTIME_DIR is the session's to create; the folder under /tmp is ours.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool create = runtime == nullptr || runtime[0] == '\0';
    if (!CheckPrivateFolder(folder, create, error, missing)) {
      Note(NotePriority::Error, "lumora: %s", error.c_str());
      return 1;
    }
    path = folder + "/lumora.sock";
  }
  // The host holds a client buffer per connection: kept off the stack.
  auto host = std::make_unique<Host>(options, path);
  return host->Run();
}

}  // namespace lumora::posix
