// The Kodi bridge's latency: from a notification's arrival at the bridge to the last packet at
// the agent, beside a baseline.
//
// Starts the live agent (`lumora run` on a socket of its own, no panel face) and, as the
// baseline, a server on another socket of the same kind that only replies to each frame without
// looking at it. A bridge (KodiBridge, the core and the socket sink of `lumora follow`) in this
// process is given a song that plays, then Kodi's notifications as Kodi sends them: pause and
// resume in turn, a volume change after every tenth. Delivery is synchronous: the bridge's call
// returns once the agent has handled every event the notification caused, its packets written.
// Prints p50, p99 and the maximum over N notifications for the agent and for the baseline.
//
//   lumora_kodi_latency LUMORA [--notifications N]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/posix/monotonic_clock.h"
#include "bench/agent_process.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"
#include "sources/socket_sink.h"

namespace lumora::bench {
namespace {

struct Percentiles {
  double p50, p99, max;
};

Percentiles Measure(const std::string& socketPath, int notifications) {
  sources::SocketSink sink(socketPath);
  sources::MediaSource core(sink, [] { return MonotonicMs(); });
  sources::SourceApp source(core, "Kodi");
  sources::KodiBridge bridge(
      source, [](const std::string&) {}, [](const std::string&) {});
  // A song plays: the answers carry the ids the bridge gives its first requests.
  bridge.Connected();
  bridge.Handle(R"({"id":1,"result":{"currentwindow":{"id":10502}}})");
  bridge.Handle(R"({"id":2,"result":{"muted":false,"volume":10}})");
  bridge.Handle(R"({"id":3,"result":[{"playerid":0,"type":"audio"}]})");
  bridge.Handle(R"({"id":4,"result":{"item":{"type":"song","title":"Evening Song","track":4}}})");
  const std::string pause =
      R"({"jsonrpc":"2.0","method":"Player.OnPause","params":{"data":{"item":{"type":"unknown"},"player":{"playerid":0,"speed":0}},"sender":"xbmc"}})";
  const std::string resume =
      R"({"jsonrpc":"2.0","method":"Player.OnResume","params":{"data":{"item":{"type":"unknown"},"player":{"playerid":0,"speed":1}},"sender":"xbmc"}})";
  std::vector<double> ms;
  ms.reserve(static_cast<size_t>(notifications));
  for (int i = 0; i < notifications; ++i) {
    std::string message = i % 2 == 0 ? pause : resume;
    if (i % 10 == 9) {
      message =
          R"({"jsonrpc":"2.0","method":"Application.OnVolumeChanged","params":{"data":{"muted":false,"volume":)" +
          std::to_string(10 + i % 40) + R"(},"sender":"xbmc"}})";
    }
    const int64_t start = MonotonicNs();
    bridge.Receive(message);
    ms.push_back(static_cast<double>(MonotonicNs() - start) / 1e6);
    if (core.agentLost()) {
      std::fprintf(stderr, "lumora_kodi_latency: the agent at %s went away\n", socketPath.c_str());
      std::exit(1);
    }
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) {
    return ms[static_cast<size_t>(q * static_cast<double>(ms.size() - 1))];
  };
  return {at(0.5), at(0.99), ms.back()};
}

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  using namespace lumora::bench;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: lumora_kodi_latency LUMORA [--notifications N]\n");
    return 2;
  }
  int notifications = 1000;
  if (argc == 4 && std::strcmp(argv[2], "--notifications") == 0) notifications = std::atoi(argv[3]);
  if (notifications < 10) notifications = 10;
  char folder[] = "/tmp/lumora-kodi-bench.XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string agentPath = std::string(folder) + "/agent.sock";
  const std::string baselinePath = std::string(folder) + "/baseline.sock";
  const pid_t agent = StartAgent(argv[1], agentPath);
  for (int i = 0; i < 200 && ::access(agentPath.c_str(), F_OK) != 0; ++i)
    ::usleep(10000);
  const pid_t baseline = StartReplyOnlyServer(baselinePath);
  if (baseline < 0) return 1;
  const Percentiles viaAgent = Measure(agentPath, notifications);
  const Percentiles viaBaseline = Measure(baselinePath, notifications);
  ::kill(agent, SIGTERM);
  ::kill(baseline, SIGKILL);
  ::waitpid(agent, nullptr, 0);
  ::waitpid(baseline, nullptr, 0);
  ::unlink(agentPath.c_str());
  ::unlink(baselinePath.c_str());
  ::rmdir(folder);
  std::printf("notification at the bridge -> last packet at the agent, %d notifications (ms)\n",
              notifications);
  std::printf("  agent     p50 %.3f  p99 %.3f  max %.3f\n", viaAgent.p50, viaAgent.p99,
              viaAgent.max);
  std::printf("  baseline  p50 %.3f  p99 %.3f  max %.3f  (a server that only replies)\n",
              viaBaseline.p50, viaBaseline.p99, viaBaseline.max);
  return 0;
}
