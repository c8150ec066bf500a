// The round trip of a message through the Linux agent's real intake, beside a baseline.
//
// Starts the live agent (`lumora run` on a socket of its own, no panel face) and, as the
// baseline, a server that only replies: it reads the same frames from the same kind of socket
// (a Unix stream socket) and answers each with a reply frame without looking at it. One client,
// the one `lumora send` uses, then exchanges the same frames with both, in alternating blocks so
// that the machine's other load falls on both alike, and prints the percentiles of the time
// from sending a frame to holding its reply.
//
//   lumora_intake_latency LUMORA [--messages N] [--rounds R] [--json FILE]
//
// LUMORA is the path of the `lumora` program. Modes: "conn" keeps one connection open for all
// frames (a scenario file sent by `lumora send --file`); "send" opens a connection for every
// frame, as one `lumora send SID CODE TEXT` does.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
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
#include "bench/agent_process.h"
#include "senders/frame.h"
#include "senders/send_client.h"

namespace lumora::bench {
namespace {

using posix::AgentConnection;
using posix::Frame;
using posix::FrameStatus;
using posix::Reply;

struct Sample {
  std::string kind;
  std::string target;
  std::string mode;
  std::vector<int64_t> ns;
  int64_t serverCpuNs = 0;  // the server process's time on a CPU while it served these
};

// Nanoseconds that a process has spent on a CPU (/proc/PID/schedstat, first field).
int64_t CpuNs(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return 0;
  long long ns = 0;
  if (std::fscanf(f, "%lld", &ns) != 1) ns = 0;
  std::fclose(f);
  return ns;
}

Sample* FindSample(std::vector<Sample>& samples, const std::string& kind, const std::string& target,
                   const std::string& mode) {
  for (Sample& s : samples) {
    if (s.kind == kind && s.target == target && s.mode == mode) return &s;
  }
  samples.push_back(Sample{kind, target, mode, {}});
  return &samples.back();
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: lumora_intake_latency LUMORA [--messages N] [--rounds R] [--json F]\n");
    return 2;
  }
  const std::string lumora = argv[1];
  long messages = 20000;  // per kind and target, on one connection
  long rounds = 10;
  std::string jsonPath;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--messages") {
      messages = std::strtol(argv[i + 1], nullptr, 10);
    } else if (flag == "--rounds") {
      rounds = std::strtol(argv[i + 1], nullptr, 10);
    } else if (flag == "--json") {
      jsonPath = argv[i + 1];
    }
  }
  if (messages < rounds || rounds < 1) return 2;

  char dirTemplate[] = "/tmp/lumora-latency-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = dirTemplate;
  const std::string agentPath = dir + "/agent.sock";
  const std::string basePath = dir + "/reply-only.sock";
  const pid_t basePid = StartReplyOnlyServer(basePath);
  const pid_t agentPid = StartAgent(lumora, agentPath);
  if (basePid < 0 || agentPid < 0) return 1;

  int status = 1;
  {
    AgentConnection agent;
    AgentConnection base;
    if (ConnectWithin(agent, agentPath, 5000) && ConnectWithin(base, basePath, 5000)) {
      // Live TV on channel 7 plays; the shell is up.
      const std::vector<EventFrame> setUp{
          MakeEvent(1, EventCode::SessionOpened, ""),  MakeEvent(1, EventCode::NavHome, ""),
          MakeEvent(10, EventCode::SessionOpened, ""), MakeEvent(10, EventCode::LiveTvStarted, ""),
          MakeEvent(10, EventCode::ItemNumber, "7"),   MakeEvent(10, EventCode::Play, "")};
      bool ok = true;
      for (const EventFrame& e : setUp)
        ok = ok && Exchange(agent, e.frame) && Exchange(base, e.frame);

      struct Kind {
        const char* name;
        EventFrame event;
      };
      // A channel number (two packets) and a level (one packet): events without a wait.
      const std::vector<Kind> kinds{
          {"ItemNumber_LiveTv", MakeEvent(10, EventCode::ItemNumber, "7")},
          {"Level_LiveTv", MakeEvent(10, EventCode::Level, "120")}};
      std::vector<Sample> samples;
      const long perRound = messages / rounds;
      const long sendsPerRound = std::max(1L, perRound / 10);
      struct Target {
        const char* name;
        AgentConnection* connection;
        const std::string* path;
        pid_t pid;
      };
      const Target targets[] = {{"agent", &agent, &agentPath, agentPid},
                                {"baseline", &base, &basePath, basePid}};
      for (long round = 0; round < rounds && ok; ++round) {
        for (const Kind& kind : kinds) {
          for (size_t t = 0; t < 2 && ok; ++t) {
            // Alternate which target goes first from round to round.
            const Target& target = targets[(t + static_cast<size_t>(round)) % 2];
            Sample* s = FindSample(samples, kind.name, target.name, "conn");
            int64_t cpu = CpuNs(target.pid);
            for (long i = 0; i < perRound && ok; ++i) {
              const int64_t start = MonotonicNs();
              ok = Exchange(*target.connection, kind.event.frame);
              s->ns.push_back(MonotonicNs() - start);
            }
            s->serverCpuNs += CpuNs(target.pid) - cpu;
            // One connection per message, as `lumora send SID CODE TEXT` does.
            Sample* sent = FindSample(samples, kind.name, target.name, "send");
            cpu = CpuNs(target.pid);
            for (long i = 0; i < sendsPerRound && ok; ++i) {
              const int64_t start = MonotonicNs();
              AgentConnection once;
              ok = ConnectWithin(once, *target.path, 1000) && Exchange(once, kind.event.frame);
              once.Close();
              sent->ns.push_back(MonotonicNs() - start);
            }
            sent->serverCpuNs += CpuNs(target.pid) - cpu;
          }
        }
      }
      if (ok) {
        status = 0;
        std::FILE* json = jsonPath.empty() ? nullptr : std::fopen(jsonPath.c_str(), "w");
        if (json != nullptr) std::fprintf(json, "[\n");
        std::printf("%-20s %-5s %-9s %8s %10s %10s %10s %12s\n", "event", "mode", "target", "count",
                    "p50 us", "p99 us", "mean us", "server us");
        bool first = true;
        for (const Sample& s : samples) {
          double sum = 0;
          for (const int64_t v : s.ns)
            sum += static_cast<double>(v);
          const double p50 = Percentile(s.ns, 0.50) / 1000;
          const double p99 = Percentile(s.ns, 0.99) / 1000;
          const double mean = sum / static_cast<double>(s.ns.size()) / 1000;
          const double server =
              static_cast<double>(s.serverCpuNs) / static_cast<double>(s.ns.size()) / 1000;
          std::printf("%-20s %-5s %-9s %8zu %10.2f %10.2f %10.2f %12.2f\n", s.kind.c_str(),
                      s.mode.c_str(), s.target.c_str(), s.ns.size(), p50, p99, mean, server);
          if (json != nullptr) {
            std::fprintf(json,
                         "%s  {\"event\": \"%s\", \"mode\": \"%s\", \"target\": \"%s\", "
                         "\"count\": %zu, \"p50_us\": %.3f, \"p99_us\": %.3f, \"mean_us\": %.3f, "
                         "\"server_cpu_us\": %.3f}",
                         first ? "" : ",\n", s.kind.c_str(), s.mode.c_str(), s.target.c_str(),
                         s.ns.size(), p50, p99, mean, server);
          }
          first = false;
        }
        if (json != nullptr) {
          std::fprintf(json, "\n]\n");
          std::fclose(json);
        }
      }
      // The agent ends on a close request and removes its socket.
      Frame close;
      close.type = posix::FrameType::Close;
      Exchange(agent, close);
    }
  }
  StopChild(basePid, 0);
  StopChild(agentPid, 5000);
  ::unlink(basePath.c_str());
  ::unlink(agentPath.c_str());
  ::rmdir(dir.c_str());
  return status;
}

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  return lumora::bench::Main(argc, argv);
}
