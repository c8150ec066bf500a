#include "sources/mpris/mpris_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>

#include "base/monotonic_clock.h"
#include "base/note.h"
#include "senders/socket_folder.h"
#include "sources/media_source.h"
#include "sources/mpris/mpris_adapter.h"
#include "sources/mpris/player_watch.h"
#include "sources/socket_sink.h"

namespace lumora::sources {

namespace {

constexpr int kBeatMs = 1000;

int OpenStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    sigaddset(&set, signal);
  if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  return ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

// One line of the bridge's own on standard error, with its priority in the journal.
void Say(NotePriority priority, const std::string& line) {
  Note(priority, "lumora mpris: %s", line.c_str());
}

}  // namespace

int RunMpris(const MprisOptions& options) {
  const int signals = OpenStopSignals();
  if (signals < 0) {
    Say(NotePriority::Error, "signalfd failed");
    return 1;
  }
  SocketSink sink(options.socketPath.empty() ? posix::DefaultSocketPath() : options.socketPath);
  MediaSource source(sink);
  MprisAdapter adapter(source);
  PlayerWatch watch([&](const PlayerUpdate& update) {
    if (options.verbose) Note(NotePriority::Debug, "%s", FormatUpdate(update).c_str());
    adapter.Apply(update);
  });
  watch.SetProblemSink([](const std::string& problem) { Say(NotePriority::Warning, problem); });
  std::string error;
  if (!watch.Start(error)) {
    Say(NotePriority::Error, error + ": no player can be followed");
    ::close(signals);
    return 1;
  }

  // The agent: looked for at start and on every beat while it is away, told everything again
  // when it comes (back).
  bool agentAway = true;
  bool awayNoted = false;
  const auto findAgent = [&] {
    bool notRunning = false;
    if (!sink.Reconnect(error, notRunning)) {
      if (!awayNoted) {
        Say(NotePriority::Warning, notRunning ? "no agent on " + sink.path() + "; waiting for it"
                                              : error + "; trying again every second");
        awayNoted = true;
      }
      return;
    }
    if (awayNoted) Say(NotePriority::Info, "the agent on " + sink.path() + " answers");
    agentAway = false;
    awayNoted = false;
    source.AgentLost();
    adapter.Resync();
  };
  findAgent();

  int status = 0;
  int64_t nextBeat = MonotonicMs() + kBeatMs;
  for (;;) {
    if (source.agentLost() && !agentAway) {
      agentAway = true;
      Say(NotePriority::Warning,
          "the agent on " + sink.path() + " is gone (" + sink.lastError() + "); waiting for it");
      awayNoted = true;
    }
    int timeout = static_cast<int>(std::max<int64_t>(0, nextBeat - MonotonicMs()));
    const int busWait = watch.timeoutMs();
    if (busWait >= 0 && busWait < timeout) timeout = busWait;
    pollfd fds[2] = {{signals, POLLIN, 0}, {watch.fd(), watch.events(), 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
      Say(NotePriority::Error, "poll failed");
      status = 1;
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) break;  // a stop signal
    if (!watch.Process(error)) {
      Say(NotePriority::Error, error);
      status = 1;
      break;
    }
    if (MonotonicMs() >= nextBeat) {
      nextBeat = MonotonicMs() + kBeatMs;
      if (agentAway) {
        findAgent();
      } else {
        const PlayerState* followed = adapter.Find(adapter.followed());
        if (followed != nullptr && followed->status == "Playing")
          watch.AskPositions({followed->player});
      }
    }
  }
  // Whatever was opened is closed: the players' sessions and the application's.
  if (!source.agentLost()) source.ApplicationEnded();
  ::close(signals);
  return status;
}

}  // namespace lumora::sources
