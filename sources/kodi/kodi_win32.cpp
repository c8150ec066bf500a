// lumora-kodi.exe: the Kodi bridge on Windows. Follows Kodi over its JSON-RPC TCP port (Winsock)
// and hands the agent's window "Lumora" each event with WM_COPYDATA, through the senders' window
// client, as lumora-send.exe does. Waits for Kodi and for the agent while they are not running,
// follows Kodi again when it restarts and closes the sessions it opened when Kodi goes.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/event_catalogue.h"
#include "senders/window_client.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"

namespace {

using lumora::sources::EventSink;
using lumora::sources::SourceEvent;

constexpr char kUsage[] =
    "usage: lumora-kodi.exe [--host HOST] [--port PORT] [-v]\n"
    "\n"
    "Follows Kodi over its JSON-RPC TCP port and shows what it plays on the panel: sends the\n"
    "running agent (the window titled \"Lumora\") the Media State Events of Kodi's menus, what it\n"
    "plays, its play time, transport and volume. Waits for Kodi and for the agent when they are\n"
    "not running, and follows Kodi again when it restarts. Kodi's JSON-RPC over TCP must be on\n"
    "(Settings > Services > Control: \"Allow remote control from applications on this system\").\n"
    "\n"
    "  --host HOST    Kodi's host (default 127.0.0.1)\n"
    "  --port PORT    Kodi's JSON-RPC TCP port (default 9090)\n"
    "  -v, --verbose  one line per event sent on standard error\n"
    "  --help         show this help\n";

volatile bool gStop = false;

BOOL WINAPI OnConsoleEvent(DWORD) {
  gStop = true;
  return TRUE;
}

void Say(const std::string& line) {
  std::fprintf(stderr, "lumora-kodi: %s\n", line.c_str());
  std::fflush(stderr);
}

class WindowSink : public EventSink {
 public:
  explicit WindowSink(bool verbose) : verbose_(verbose) {}
  bool Deliver(const SourceEvent& event) override {
    HWND window = lumora::win32::FindAgentWindow();
    if (window == nullptr) {
      if (!waiting_) Say("no window titled \"Lumora\": waiting for the agent");
      waiting_ = true;
      return false;
    }
    if (waiting_) Say("the agent is running; following Kodi for it");
    waiting_ = false;
    lumora::win32::SendMediaStateEvent(window, event.sessionId, lumora::ToCode(event.code),
                                       event.text, event.length);
    if (verbose_) {
      const lumora::EventInfo* info = lumora::FindEvent(lumora::ToCode(event.code));
      std::fprintf(stderr, "lumora-kodi: event %d %s %.*s\n", static_cast<int>(event.sessionId),
                   info != nullptr ? std::string(info->name).c_str() : "?",
                   static_cast<int>(event.length), event.text);
    }
    return true;
  }
  bool AgentThere() { return lumora::win32::FindAgentWindow() != nullptr; }

 private:
  bool verbose_;
  bool waiting_ = false;
};

SOCKET ConnectKodi(const std::string& host, const std::string& port, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
    error = "cannot find the host " + host;
    return INVALID_SOCKET;
  }
  SOCKET s = INVALID_SOCKET;
  error = "connection refused";
  for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
    s = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    if (connect(s, at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0) break;
    error = "connection refused (error " + std::to_string(WSAGetLastError()) + ")";
    closesocket(s);
    s = INVALID_SOCKET;
  }
  freeaddrinfo(found);
  if (s != INVALID_SOCKET) {
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  std::string port = "9090";
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-v" || arg == "--verbose") {
      verbose = true;
    } else if (arg == "--host" && i + 1 < argc && argv[i + 1][0] != '\0') {
      host = argv[++i];
    } else if (arg == "--port" && i + 1 < argc) {
      port = argv[++i];
      char* end = nullptr;
      const long number = std::strtol(port.c_str(), &end, 10);
      if (port.empty() || *end != '\0' || number < 1 || number > 65535) {
        std::fprintf(stderr,
                     "lumora-kodi: --port wants a number from 1 to 65535\n"
                     "Try 'lumora-kodi.exe --help' for more information.\n");
        return 2;
      }
    } else {
      std::fprintf(stderr,
                   "lumora-kodi: unknown option or missing value: %s\n"
                   "Try 'lumora-kodi.exe --help' for more information.\n",
                   argv[i]);
      return 2;
    }
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    Say("Winsock did not start");
    return 1;
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

  WindowSink sink(verbose);
  lumora::sources::MediaSource core(sink, [] { return static_cast<int64_t>(GetTickCount64()); });
  lumora::sources::SourceApp source(core, "Kodi");
  SOCKET kodi = INVALID_SOCKET;
  bool writeFailed = false;
  lumora::sources::KodiBridge bridge(
      source,
      [&](const std::string& request) {
        if (kodi == INVALID_SOCKET) return;
        if (send(kodi, request.data(), static_cast<int>(request.size()), 0) !=
            static_cast<int>(request.size()))
          writeFailed = true;
      },
      [](const std::string& problem) { Say(problem); });

  const std::string where = host + ":" + port;
  bool waitingForKodi = false;
  ULONGLONG nextTick = GetTickCount64();
  static char buffer[65536];
  while (!gStop) {
    const ULONGLONG now = GetTickCount64();
    if (now >= nextTick) {
      nextTick = now + 1000;
      if (kodi == INVALID_SOCKET) {
        std::string error;
        kodi = ConnectKodi(host, port, error);
        if (kodi == INVALID_SOCKET) {
          if (!waitingForKodi)
            Say("Kodi is not answering on " + where + " (" + error + "); waiting for it");
          waitingForKodi = true;
        } else {
          Say("following Kodi on " + where);
          waitingForKodi = false;
          bridge.Connected();
        }
      } else if (core.agentLost()) {
        if (sink.AgentThere()) {
          core.AgentLost(true);
          core.Resend();
        }
      } else {
        bridge.Poll();
      }
    }
    bool lost = writeFailed;
    if (kodi != INVALID_SOCKET && !lost) {
      WSAPOLLFD p{};
      p.fd = kodi;
      p.events = POLLRDNORM;
      const ULONGLONG later = GetTickCount64();
      const int wait = nextTick > later ? static_cast<int>(nextTick - later) : 0;
      if (WSAPoll(&p, 1, wait) == 1) {
        const int n = recv(kodi, buffer, sizeof buffer, 0);
        if (n > 0)
          lost = !bridge.Receive(std::string_view(buffer, static_cast<size_t>(n)));
        else
          lost = true;
      }
    } else if (kodi == INVALID_SOCKET) {
      Sleep(100);
    }
    core.Tick();
    if (lost) {
      Say("Kodi closed the connection; waiting for it to come back");
      closesocket(kodi);
      kodi = INVALID_SOCKET;
      writeFailed = false;
      bridge.Disconnected();
      waitingForKodi = true;
    }
  }
  if (kodi != INVALID_SOCKET) closesocket(kodi);
  bridge.Disconnected();
  WSACleanup();
  return 0;
}
