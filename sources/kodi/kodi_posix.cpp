#include "sources/kodi/kodi_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/event_catalogue.h"
#include "base/monotonic_clock.h"
#include "base/note.h"
#include "senders/send_client.h"
#include "senders/socket_folder.h"
#include "sources/kodi/kodi_bridge.h"

namespace lumora::sources {

const char kKodiUsage[] =
    "usage: lumora kodi [--host HOST] [--port PORT] [--socket PATH] [-v] [--capture FILE]\n"
    "\n"
    "Follows Kodi over its JSON-RPC TCP port and shows what it plays on the panel: sends the\n"
    "running agent (`lumora run`) the Media State Events of Kodi's menus, what it plays, its\n"
    "play time, transport and volume. Waits for Kodi and for the agent when they are not\n"
    "running, and follows Kodi again when it restarts. Kodi's JSON-RPC over TCP must be on\n"
    "(Settings > Services > Control: \"Allow remote control from applications on this system\").\n"
    "Runs until Ctrl-C, SIGTERM or SIGHUP, then closes the sessions it opened.\n"
    "\n"
    "  --host HOST    Kodi's host (default 127.0.0.1)\n"
    "  --port PORT    Kodi's JSON-RPC TCP port (default 9090)\n"
    "  --socket PATH  the agent's socket (default as for `lumora run`)\n"
    "  -v, --verbose  one line per event sent on standard error\n"
    "  --capture FILE write every message Kodi sends, and the bridge's own steps, to FILE\n"
    "                 (for a bug report: the same events follow from it again)\n"
    "  --help         show this help\n"
    "\n"
    "Exit status: 0 after a stop signal; 1 when the capture cannot be written; 2 on a usage\n"
    "error.\n";

bool ParseKodiArguments(const std::vector<std::string>& args, KodiOptions& options, bool& help,
                        std::string& error) {
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--host" && hasValue) {
      options.host = args[++i];
      if (options.host.empty()) {
        error = "--host wants a host name or address";
        return false;
      }
    } else if (arg == "--port" && hasValue) {
      options.port = args[++i];
      char* end = nullptr;
      const long port = std::strtol(options.port.c_str(), &end, 10);
      if (options.port.empty() || *end != '\0' || port < 1 || port > 65535) {
        error = "--port wants a number from 1 to 65535";
        return false;
      }
    } else if (arg == "--capture" && hasValue) {
      options.capturePath = args[++i];
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = args[++i];
    } else {
      error = "unknown option or missing value: " + arg;
      return false;
    }
  }
  return true;
}

namespace {

volatile sig_atomic_t gStop = 0;

void OnStopSignal(int) {
  gStop = 1;
}

// One line of the bridge's own on standard error, with its priority in the journal.
void Say(NotePriority priority, const std::string& line) {
  Note(priority, "lumora kodi: %s", line.c_str());
}

// Connects to Kodi within 2 seconds; -1 with the reason otherwise.
int ConnectKodi(const KodiOptions& options, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(options.host.c_str(), options.port.c_str(), &hints, &found);
  if (status != 0) {
    error = "cannot find the host " + options.host + ": " + ::gai_strerror(status);
    return -1;
  }
  int fd = -1;
  error = "no address";
  for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
    fd = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, at->ai_addr, at->ai_addrlen) == 0) break;
    if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int soError = 0;
      socklen_t length = sizeof soError;
      if (::poll(&p, 1, 2000) == 1 &&
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0)
        break;
      error = soError != 0 ? std::strerror(soError) : "no answer within 2 s";
    } else {
      error = std::strerror(errno);
    }
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  if (fd >= 0) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return fd;
}

// Writes a whole request; false when Kodi's side is gone or does not take it within 2 s.
bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 2000) == 1) continue;
    }
    return false;
  }
  return true;
}

}  // namespace

AgentSink::AgentSink(std::string path, bool verbose) : sink_(std::move(path)), verbose_(verbose) {}

bool AgentSink::Connect() {
  std::string error;
  bool notRunning = false;
  if (!sink_.Reconnect(error, notRunning)) {
    if (!waiting_) Say(NotePriority::Warning, error + "; waiting for the agent");
    waiting_ = true;
    return false;
  }
  if (waiting_) Say(NotePriority::Info, "the agent is running; following Kodi for it");
  waiting_ = false;
  return true;
}

bool AgentSink::Deliver(const SourceEvent& event) {
  if (!Connect()) return false;
  if (!sink_.Deliver(event)) {
    if (sink_.lastRefused()) {
      Say(NotePriority::Warning, "the agent did not take an event (" + sink_.lastError() + ")");
    } else {
      Say(NotePriority::Warning, "lost the agent (" + sink_.lastError() + "); waiting for it");
      waiting_ = true;
    }
    return false;
  }
  if (verbose_) {
    const EventInfo* info = FindEvent(ToCode(event.code));
    Note(NotePriority::Debug, "lumora kodi: event %d %s %.*s", event.sessionId,
         info != nullptr ? std::string(info->name).c_str() : "?", static_cast<int>(event.length),
         event.text);
  }
  return true;
}

int RunKodiBridge(const KodiOptions& options) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  AgentSink sink(options.socketPath.empty() ? posix::DefaultSocketPath() : options.socketPath,
                 options.verbose);
  MediaSource source(sink);
  int kodi = -1;
  bool writeFailed = false;
  KodiBridge bridge(
      source,
      [&](const std::string& request) {
        if (kodi >= 0 && !WriteAll(kodi, request)) writeFailed = true;
      },
      [](const std::string& problem) { Say(NotePriority::Warning, problem); });

  std::FILE* capture = nullptr;
  if (!options.capturePath.empty()) {
    capture = std::fopen(options.capturePath.c_str(), "w");
    if (capture == nullptr) {
      Say(NotePriority::Error,
          "cannot write the capture " + options.capturePath + ": " + std::strerror(errno));
      return 1;
    }
    bridge.SetCapture([capture](const std::string& line) {
      std::fprintf(capture, "%s\n", line.c_str());
      std::fflush(capture);
    });
  }
  const std::string where = options.host + ":" + options.port;
  bool waitingForKodi = false;
  int64_t nextTick = MonotonicMs();
  char buffer[65536];
  while (gStop == 0) {
    const int64_t now = MonotonicMs();
    if (now >= nextTick) {
      nextTick = now + 1000;
      if (kodi < 0) {
        std::string error;
        kodi = ConnectKodi(options, error);
        if (kodi < 0) {
          if (!waitingForKodi)
            Say(NotePriority::Warning, std::string("Kodi is not answering on ")
                                           .append(where)
                                           .append(" (")
                                           .append(error)
                                           .append("); waiting for it. Turn on in Kodi: "
                                                   "Settings > Services > Control > \"Allow "
                                                   "remote control from applications on this "
                                                   "system\""));
          waitingForKodi = true;
        } else {
          Say(NotePriority::Info, "following Kodi on " + where);
          waitingForKodi = false;
          sink.Connect();
          bridge.Connected();
        }
      } else if (source.agentLost()) {
        if (sink.Connect()) bridge.Resync();
      } else {
        bridge.Poll();
      }
    }
    bool lost = writeFailed;
    if (kodi >= 0 && !lost) {
      pollfd p{kodi, POLLIN, 0};
      const int wait = static_cast<int>(std::max<int64_t>(0, nextTick - MonotonicMs()));
      const int ready = ::poll(&p, 1, wait);
      if (ready == 1) {
        const ssize_t n = ::recv(kodi, buffer, sizeof buffer, 0);
        if (n > 0) {
          lost = !bridge.Receive(std::string_view(buffer, static_cast<size_t>(n)));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          lost = true;
        }
      }
    } else if (kodi < 0) {
      const int64_t wait = std::max<int64_t>(0, nextTick - MonotonicMs());
      ::usleep(static_cast<useconds_t>(wait) * 1000);
    }
    if (lost) {
      Say(NotePriority::Warning, "Kodi closed the connection; waiting for it to come back");
      ::close(kodi);
      kodi = -1;
      writeFailed = false;
      bridge.Disconnected();
      waitingForKodi = true;
    }
  }
  // Stopped: what was opened is closed, so the panel does not keep a title nobody plays.
  if (kodi >= 0) ::close(kodi);
  bridge.Disconnected();
  if (capture != nullptr) std::fclose(capture);
  return 0;
}

}  // namespace lumora::sources
