#include "sources/follow/follow_posix.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/event_catalogue.h"
#include "base/posix/monotonic_clock.h"
#include "base/posix/note.h"
#include "base/posix/stop_signals.h"
#include "base/text_quote.h"
#include "senders/socket_folder.h"
#include "sources/follow/follower_state.h"
#include "sources/media_source.h"
#include "sources/mpris/mpris_adapter.h"
#include "sources/mpris/player_watch.h"
#include "sources/socket_sink.h"

namespace lumora::sources {

namespace {

constexpr int64_t kBeatMs = 1000;
// How long each close at the end waits for the agent's reply.
constexpr int kClosingReplyWaitMs = 300;

// The socket sink as the follower uses it: -v shows each event it delivers.
class FollowerSink final : public EventSink {
 public:
  FollowerSink(std::string path, const std::string& command, bool verbose)
      : sink(std::move(path)), command_(command), verbose_(verbose) {}
  bool Deliver(const SourceEvent& event) override {
    if (!sink.Deliver(event)) return false;
    if (verbose_) {
      const EventInfo* info = FindEvent(ToCode(event.code));
      // The text as the readable forms show the panel's bytes: Windows-1252 as UTF-8, quoted.
      const std::string text =
          event.length > 0 ? " " + QuoteDisplayText(event.Text()) : std::string();
      Note(NotePriority::Debug, "lumora %s: event %d %s%s", command_.c_str(), event.sessionId,
           info != nullptr ? std::string(info->name).c_str() : "?", text.c_str());
    }
    return true;
  }
  SocketSink sink;

 private:
  const std::string& command_;
  bool verbose_;
};

}  // namespace

int RunFollower(const FollowOptions& options) {
  const std::string& command = options.command;
  const auto say = [&command](NotePriority priority, const std::string& line) {
    Note(priority, "lumora %s: %s", command.c_str(), line.c_str());
  };
  const int signals = OpenStopSignals({SIGINT, SIGTERM, SIGHUP, SIGQUIT}, {SIGPIPE});
  if (signals < 0) {
    say(NotePriority::Error, "signalfd failed");
    return 1;
  }
  FollowerSink out(options.socketPath.empty() ? posix::DefaultSocketPath() : options.socketPath,
                   command, options.verbose);
  // A stop signal cuts any wait for the agent short: the follower ends within a second whatever
  // the agent does (stopped, hung).
  out.sink.SetStopDescriptor(signals);
  MediaSource core(out, [] { return MonotonicMs(); });

  std::unique_ptr<SourceApp> kodiApp;
  std::unique_ptr<KodiLink> kodi;
  if (options.kodi) {
    kodiApp = std::make_unique<SourceApp>(core, "Kodi");
    kodi = std::make_unique<KodiLink>(options.kodiOptions, *kodiApp, say);
    std::string error;
    if (!kodi->OpenCapture(error)) {
      say(NotePriority::Error, error);
      ::close(signals);
      return 1;
    }
  }
  std::unique_ptr<SourceApp> desktopApp;
  std::unique_ptr<MprisAdapter> adapter;
  std::unique_ptr<PlayerWatch> watch;
  if (options.mpris) {
    desktopApp = std::make_unique<SourceApp>(core, "desktop players");
    adapter = std::make_unique<MprisAdapter>(*desktopApp);
    watch = std::make_unique<PlayerWatch>([&](const PlayerUpdate& update) {
      if (options.verbose) Note(NotePriority::Debug, "%s", FormatUpdate(update).c_str());
      adapter->Apply(update);
    });
    watch->SetProblemSink([&](const std::string& problem) { say(NotePriority::Warning, problem); });
    std::string error;
    if (!watch->Start(error)) {
      if (!options.kodi) {
        say(NotePriority::Error, error + ": no player can be followed");
        ::close(signals);
        return 1;
      }
      say(NotePriority::Warning, error + ": the desktop players are not followed");
      watch.reset();
    }
  }

  // The agent: looked for at start and on every beat while it is away; an agent other than the
  // one before (a restart) is told everything again, as is the same one after a failed send.
  bool agentAway = true;
  bool awayNoted = false;
  const auto findAgent = [&] {
    std::string error;
    bool notRunning = false;
    if (!out.sink.Reconnect(error, notRunning)) {
      if (!awayNoted) {
        say(NotePriority::Warning, notRunning
                                       ? "no agent on " + out.sink.path() + "; waiting for it"
                                       : error + "; trying again every second");
        awayNoted = true;
      }
      return;
    }
    if (awayNoted) say(NotePriority::Info, "the agent on " + out.sink.path() + " answers");
    agentAway = false;
    awayNoted = false;
    core.AgentLost(out.sink.TakeNewAgent());
    core.Resend();
  };
  findAgent();

  // Which player has the panel, for lumora status: written when it changes.
  const std::string statePath = FollowerStatePath(out.sink.path());
  FollowerState shown;
  shown.pid = ::getpid();
  shown.session = -2;  // not written yet
  bool stateNoted = false;
  const auto writeState = [&] {
    FollowerState now = shown;
    now.session = core.frontSession();
    now.application = std::string(core.frontApplication());
    now.player = std::string(core.frontPlayer());
    if (now.session == shown.session && now.player == shown.player &&
        now.application == shown.application)
      return;
    std::string error;
    if (!WriteFollowerState(statePath, now, error) && !stateNoted) {
      say(NotePriority::Warning,
          "cannot tell lumora status which player has the panel (" + error + ")");
      stateNoted = true;
    }
    shown = now;
  };

  int status = 0;
  int64_t nextBeat = MonotonicMs() + kBeatMs;
  for (;;) {
    writeState();
    // A send reached another agent than before (it restarted between two events).
    if (!agentAway && out.sink.TakeNewAgent()) {
      say(NotePriority::Info, "another agent answers on " + out.sink.path() + "; telling it all");
      core.AgentLost(true);
      core.Resend();
    }
    if (core.agentLost() && !agentAway) {
      agentAway = true;
      say(NotePriority::Warning, "the agent on " + out.sink.path() + " is gone (" +
                                     out.sink.lastError() + "); waiting for it");
      awayNoted = true;
    }
    if (kodi != nullptr && kodi->captureFailed()) {
      say(NotePriority::Error, "cannot write the capture " + options.kodiOptions.capturePath);
      status = 1;
      break;
    }
    const int64_t now = MonotonicMs();
    int64_t timeout = std::max<int64_t>(0, nextBeat - now);
    const int64_t tick = core.NextTickInMs();
    if (tick >= 0) timeout = std::min(timeout, tick);
    if (kodi != nullptr) timeout = std::min(timeout, kodi->NextBeatInMs(now));
    if (watch != nullptr) {
      const int busWait = watch->timeoutMs();
      if (busWait >= 0) timeout = std::min<int64_t>(timeout, busWait);
    }
    pollfd fds[3] = {{signals, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
    if (kodi != nullptr && kodi->fd() >= 0) fds[1] = {kodi->fd(), kodi->events(), 0};
    if (watch != nullptr) fds[2] = {watch->fd(), watch->events(), 0};
    if (::poll(fds, 3, static_cast<int>(timeout)) < 0 && errno != EINTR) {
      say(NotePriority::Error, "poll failed");
      status = 1;
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) break;  // a stop signal
    if (kodi != nullptr) {
      if (fds[1].fd >= 0 && fds[1].revents != 0) kodi->Process(fds[1].revents, MonotonicMs());
      kodi->Beat(MonotonicMs());
    }
    if (watch != nullptr) {
      std::string error;
      if (!watch->Process(error)) {
        say(NotePriority::Error, error);
        if (!options.kodi) {
          status = 1;
          break;
        }
        // The bus is gone: the desktop players with it; Kodi goes on.
        desktopApp->ApplicationEnded();
        watch.reset();
      }
    }
    core.Tick();
    if (MonotonicMs() >= nextBeat) {
      nextBeat = MonotonicMs() + kBeatMs;
      if (agentAway) {
        findAgent();
      } else if (out.sink.AgentMoved()) {
        // The socket changed under a quiet follower: the agent restarted, or went.
        agentAway = true;
        awayNoted = true;
        say(NotePriority::Warning,
            "the agent on " + out.sink.path() + " is gone (its socket changed); waiting for it");
        findAgent();
      }
      if (watch != nullptr) {
        const std::vector<std::string> playing = adapter->Playing();
        if (!playing.empty()) watch->AskPositions(playing);
      }
    }
  }
  // Whatever was opened is closed: the players' sessions and the shell's, tried once with a
  // short wait for each reply (an agent that does not answer gets no more than the first).
  out.sink.SetStopDescriptor(-1);
  out.sink.SetReplyWait(kClosingReplyWaitMs);
  if (kodi != nullptr) kodi->Stop();
  if (desktopApp != nullptr) desktopApp->ApplicationEnded();
  if (shown.session != -2) ::unlink(statePath.c_str());
  ::close(signals);
  return status;
}

}  // namespace lumora::sources
