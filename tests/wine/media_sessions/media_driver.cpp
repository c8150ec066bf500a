// media-driver.exe: the Wine test's host of the media-sessions source, standing in for the
// follower's loop: the source (sources/media_sessions/) feeds one translation core, whose events
// go to the agent's window "Lumora" by WM_COPYDATA through the senders' window client. It waits
// on the source's wake event beside the window messages, as the follower does.
//
//   media-driver.exe [-v] --for MS      follow the media sessions for MS milliseconds
//   media-driver.exe --list-media       print every session as Windows reports it
//
// Where the media sessions are not available it says so in one line and runs on for MS (the
// follower's other sources would).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_catalogue.h"
#include "senders/window_client.h"
#include "sources/media_sessions/media_sessions_win32.h"
#include "sources/media_source.h"

namespace {

using lumora::sources::EventSink;
using lumora::sources::SourceEvent;

constexpr char kUsage[] =
    "usage: media-driver.exe [-v] --for MS | --list-media\n"
    "\n"
    "Follows Windows' media sessions for MS milliseconds and sends the agent's window \"Lumora\"\n"
    "their Media State Events; --list-media prints every session as Windows reports it.\n";

class WindowSink : public EventSink {
 public:
  explicit WindowSink(bool verbose) : verbose_(verbose) {}
  bool Deliver(const SourceEvent& event) override {
    HWND window = lumora::win32::FindAgentWindow();
    if (window == nullptr) return false;
    lumora::win32::SendMediaStateEvent(window, event.sessionId, lumora::ToCode(event.code),
                                       event.text, event.length);
    if (verbose_) {
      const lumora::EventInfo* info = lumora::FindEvent(lumora::ToCode(event.code));
      std::fprintf(stderr, "media-driver: event %d %s %.*s\n", static_cast<int>(event.sessionId),
                   info != nullptr ? std::string(info->name).c_str() : "?",
                   static_cast<int>(event.length), event.text);
    }
    return true;
  }

 private:
  bool verbose_;
};

int64_t Now() {
  return static_cast<int64_t>(GetTickCount64());
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  bool list = false;
  long runMs = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-v") {
      verbose = true;
    } else if (arg == "--list-media") {
      list = true;
    } else if (arg == "--for" && i + 1 < argc) {
      runMs = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "media-driver: unknown option: %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (list) {
    std::vector<std::string> lines;
    std::string error;
    if (!lumora::sources::ListMediaSessions(lines, error)) {
      std::fprintf(stderr, "media-driver: %s\n", error.c_str());
      return 1;
    }
    for (const std::string& line : lines)
      std::printf("%s\n", line.c_str());
    return 0;
  }
  if (runMs < 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  WindowSink sink(verbose);
  lumora::sources::MediaSource core(sink, Now);
  lumora::sources::SourceApp media(core, "media sessions");
  lumora::sources::MediaSessionsWatch watch(&media);
  std::string error;
  const bool on = watch.Start(error);
  if (!on) {
    std::fprintf(stderr, "media-driver: %s\n", error.c_str());
    std::fflush(stderr);
  }
  const int64_t end = Now() + runMs;
  while (Now() < end) {
    int64_t timeout = end - Now();
    const int64_t tick = core.NextTickInMs();
    if (tick >= 0) timeout = std::min(timeout, tick);
    const int64_t settle = watch.NextTickInMs();
    if (settle >= 0) timeout = std::min(timeout, settle);
    const HANDLE wake = watch.wakeEvent();
    MsgWaitForMultipleObjects(on ? 1 : 0, &wake, FALSE,
                              static_cast<DWORD>(std::max<int64_t>(0, timeout)), QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&message);
    if (!watch.failure().empty()) {
      std::fprintf(stderr, "media-driver: %s\n", watch.failure().c_str());
      break;
    }
    watch.Process();
    watch.Tick();
    core.Tick();
  }
  return 0;
}
