// The panel on LCDd: from an event at the agent's socket to LCDd showing its new text, beside a
// bare client of LCDd that only sets a widget.
//
// Starts a real LCDd with its text driver (20x2, on a free port of 127.0.0.1), which prints
// every frame it draws; the live agent (`lumora run --panel lcdproc=...`) with live TV playing;
// and a bare client of LCDd's own protocol with a screen of its own. In alternating blocks:
//   agent:  an ItemNumber event with a new channel number each time (100 to 999) is sent to
//           the agent's socket, timed until LCDd prints a frame with "CH-NNN" (and, apart, until
//           the agent's reply: the agent replies once it has handled the event, its requests to
//           LCDd written, so the reply time bounds the agent's own part);
//   bare:   one widget_set with a new text, timed until LCDd prints it.
// During the agent's blocks the bare client's screen is hidden, during its own it is at alert.
// LCDd draws a frame every FrameInterval (125 ms by default), so both totals are mostly the
// wait for LCDd's next frame (each sample starts at a pseudo-random point of it); the difference
// between them is the agent's.
//
//   lumora_lcdproc_latency LUMORA [--samples N] [--rounds R] [--lcdd PATH]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/agent_process.h"

namespace lumora::bench {
namespace {

uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  uint16_t port = 0;
  socklen_t n = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

// LCDd with its standard output on a pipe of ours, line-buffered.
pid_t StartLcdd(const std::string& lcdd, const std::string& conf, int& out) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDERR_FILENO);
    ::execl("/usr/bin/stdbuf", "stdbuf", "-oL", lcdd.c_str(), "-c", conf.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  out = pipeFds[0];
  ::fcntl(out, F_SETFL, O_NONBLOCK);
  return pid;
}

// Reads LCDd's output until it holds text; the time it did, or -1 after timeoutMs.
int64_t WaitForText(int out, const std::string& text, int timeoutMs) {
  std::string seen;
  const int64_t deadline = MonotonicNs() + int64_t{timeoutMs} * 1000000;
  for (;;) {
    char buffer[4096];
    const ssize_t n = ::read(out, buffer, sizeof buffer);
    if (n > 0) {
      seen.append(buffer, static_cast<size_t>(n));
      if (seen.find(text) != std::string::npos) return MonotonicNs();
      // Keep only a tail that may hold the start of the text.
      if (seen.size() > 4096) seen.erase(0, seen.size() - 256);
      continue;
    }
    const int64_t left = (deadline - MonotonicNs()) / 1000000;
    if (left <= 0) return -1;
    pollfd p{out, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(left));
  }
}

void Drain(int out) {
  char buffer[4096];
  while (::read(out, buffer, sizeof buffer) > 0) {
  }
}

int ConnectTcp(uint16_t port) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return fd;
    }
    ::close(fd);
    ::usleep(50000);
  }
  return -1;
}

bool Write(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

struct Series {
  const char* name;
  std::vector<int64_t> ns;
};

void Print(const Series& s) {
  std::printf("%-44s %6zu %10.3f %10.3f %10.3f\n", s.name, s.ns.size(), Percentile(s.ns, 0.5) / 1e6,
              Percentile(s.ns, 0.99) / 1e6, Percentile(s.ns, 1.0) / 1e6);
}

// A pause of 0 to 125 ms before a sample, so that samples fall anywhere in LCDd's frame rather
// than right after the frame that ended the last one (a fixed sequence: runs compare).
void Jitter(uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  ::usleep((seed >> 8) % 125000u);
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: lumora_lcdproc_latency LUMORA [--samples N] [--rounds R] [--lcdd PATH]\n");
    return 2;
  }
  const std::string lumora = argv[1];
  long samples = 300;  // per side
  long rounds = 5;
  std::string lcdd = "/usr/sbin/LCDd";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--samples") samples = std::strtol(argv[i + 1], nullptr, 10);
    if (flag == "--rounds") rounds = std::strtol(argv[i + 1], nullptr, 10);
    if (flag == "--lcdd") lcdd = argv[i + 1];
  }
  if (::access(lcdd.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "lumora_lcdproc_latency: needs LCDd (Debian package lcdproc)\n");
    return 1;
  }
  if (rounds < 1 || samples < rounds) return 2;
  char dirTemplate[] = "/tmp/lumora-lcdproc-latency-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) return 1;
  const std::string dir = dirTemplate;
  const uint16_t port = FreePort();
  {
    std::ofstream conf(dir + "/LCDd.conf");
    conf << "[server]\nDriverPath=/usr/lib/x86_64-linux-gnu/lcdproc/\nDriver=text\n"
            "Bind=127.0.0.1\nPort="
         << port << "\nForeground=yes\nServerScreen=no\n[text]\nSize=20x2\n";
  }
  int out = -1;
  const pid_t lcddPid = StartLcdd(lcdd, dir + "/LCDd.conf", out);
  const int bare = ConnectTcp(port);
  const std::string socket = dir + "/agent.sock";
  const pid_t agentPid = StartAgent(lumora, socket, "lcdproc=127.0.0.1:" + std::to_string(port));
  // The same frame's round trip to a server that only replies, at the same moments: what the
  // machine itself adds to the agent's reply (waking a sleeping process, mostly).
  const std::string baseSocket = dir + "/reply-only.sock";
  const pid_t basePid = StartReplyOnlyServer(baseSocket);
  posix::AgentConnection replyOnly;
  int status = 1;
  posix::AgentConnection agent;
  if (lcddPid > 0 && bare >= 0 && basePid > 0 && ConnectWithin(agent, socket, 5000) &&
      ConnectWithin(replyOnly, baseSocket, 5000) &&
      Write(bare,
            "hello\nscreen_add b\nscreen_set b -priority hidden -heartbeat off\n"
            "widget_add b w string\n")) {
    bool ok = true;
    for (const EventFrame& e :
         {MakeEvent(1, EventCode::SessionOpened, ""), MakeEvent(1, EventCode::NavHome, ""),
          MakeEvent(10, EventCode::SessionOpened, ""), MakeEvent(10, EventCode::LiveTvStarted, ""),
          MakeEvent(10, EventCode::Play, "")}) {
      ok = ok && Exchange(agent, e.frame);
    }
    // The agent's face is on the display before the first sample.
    ok = ok && Exchange(agent, MakeEvent(10, EventCode::ItemNumber, "99").frame) &&
         WaitForText(out, "CH-99", 5000) > 0;
    if (!ok) std::fprintf(stderr, "lumora_lcdproc_latency: the agent's face never showed\n");
    Series total{"agent: event to LCDd's frame (ms)", {}};
    Series own{"agent: event to its reply, LCDd written (ms)", {}};
    Series base{"bare client: widget_set to LCDd's frame (ms)", {}};
    Series quick{"reply-only server: the same frame's reply (ms)", {}};
    const long perRound = samples / rounds;
    int number = 100;
    uint32_t seed = 1;
    for (long round = 0; round < rounds && ok; ++round) {
      // The agent drops a connection silent for 2 seconds: a fresh one for each block.
      agent.Close();
      ok = Write(bare, "screen_set b -priority hidden\n") && ConnectWithin(agent, socket, 5000);
      ::usleep(300000);
      for (long i = 0; i < perRound && ok; ++i) {
        number = number >= 999 ? 100 : number + 1;
        char text[8];
        std::snprintf(text, sizeof text, "%d", number);
        const EventFrame event = MakeEvent(10, EventCode::ItemNumber, text);
        char expected[16];
        std::snprintf(expected, sizeof expected, "CH-%d", number);
        Jitter(seed);
        Drain(out);
        const int64_t start = MonotonicNs();
        ok = Exchange(agent, event.frame);
        const int64_t replied = MonotonicNs();
        const int64_t shown = WaitForText(out, expected, 5000);
        if (shown < 0)
          std::fprintf(stderr, "lumora_lcdproc_latency: LCDd never showed %s\n", expected);
        ok = ok && shown > 0;
        own.ns.push_back(replied - start);
        total.ns.push_back(shown - start);
        Jitter(seed);
        const int64_t quickStart = MonotonicNs();
        ok = ok && Exchange(replyOnly, event.frame);
        quick.ns.push_back(MonotonicNs() - quickStart);
      }
      ok = ok && Write(bare, "screen_set b -priority alert\n");
      ::usleep(300000);
      for (long i = 0; i < perRound && ok; ++i) {
        number = number >= 999 ? 100 : number + 1;
        char expected[16];
        std::snprintf(expected, sizeof expected, "B-%03d", number);
        Jitter(seed);
        Drain(out);
        const int64_t start = MonotonicNs();
        ok = Write(bare, std::string("widget_set b w 1 1 \"") + expected + "\"\n");
        const int64_t shown = WaitForText(out, expected, 5000);
        if (shown < 0)
          std::fprintf(stderr, "lumora_lcdproc_latency: LCDd never showed %s\n", expected);
        ok = ok && shown > 0;
        base.ns.push_back(shown - start);
        // The bare client's answers are not read: the kernel holds them.
        char answers[4096];
        while (::recv(bare, answers, sizeof answers, MSG_DONTWAIT) > 0) {
        }
      }
    }
    if (ok) {
      std::printf("%-44s %6s %10s %10s %10s\n", "", "count", "p50", "p99", "max");
      Print(total);
      Print(base);
      Print(own);
      Print(quick);
      std::printf("agent's part at p50 (agent - bare client): %.3f ms\n",
                  (Percentile(total.ns, 0.5) - Percentile(base.ns, 0.5)) / 1e6);
      status = 0;
    } else {
      std::fprintf(stderr, "lumora_lcdproc_latency: a sample failed\n");
    }
    posix::Frame close;
    close.type = posix::FrameType::Close;
    agent.Close();
    if (ConnectWithin(agent, socket, 5000)) Exchange(agent, close);
  }
  if (bare >= 0) ::close(bare);
  StopChild(agentPid, 5000);
  if (lcddPid > 0) StopChild(lcddPid, 0);
  if (basePid > 0) StopChild(basePid, 0);
  std::system(("rm -rf " + dir).c_str());
  return status;
}

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  return lumora::bench::Main(argc, argv);
}
