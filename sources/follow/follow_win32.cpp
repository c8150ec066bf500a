// lumora-follow.exe: the follower of a Windows PC. It hosts the sources of this host (Kodi over
// its JSON-RPC port, through the same KodiLink as `lumora follow`), feeds them to one translation
// core (sources/media_source.h) and hands the agent's window "Lumora" what that core says, one
// WM_COPYDATA a event, through the senders' window client and its one delivery rule.
//
// A program of the GUI subsystem with no visible window, started at login: no console appears
// on the TV. It reports through its log file and a debugger's output; its help, version and
// usage mistakes go to the console it was started from when there is one. One hidden window of
// its own (class LumoraFollower) takes WM_CLOSE, which stops it (the installer's way, before an
// update or an uninstall), and WM_ENDSESSION, at which it closes what it opened.
//
// The agent is looked up once a second and after any failed delivery: a window other than the
// one told before is a new agent (it restarted, even while every player is quiet), told
// everything again.
#include <winsock2.h>
// after winsock2.h
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "base/exit_status.h"
#include "base/text_quote.h"
#include "base/version.h"
#include "senders/window_client.h"
#include "sources/follow/follow_options.h"
#include "sources/kodi/kodi_link.h"
#include "sources/kodi/tcp_socket.h"
#include "sources/media_sessions/media_sessions_win32.h"
#include "sources/media_source.h"

namespace lumora::sources {

namespace {

constexpr char kProgram[] = "lumora-follow.exe";
constexpr char kWindowClass[] = "LumoraFollower";
constexpr char kWindowTitle[] = "Lumora follower";
// One follower per session: a second one would tell the agent everything twice.
constexpr char kInstanceMutex[] = "Local\\LumoraFollower";
constexpr int64_t kBeatMs = 1000;
// The log: once it holds this much, it is renamed lumora-follow.old.log (the older one deleted)
// and a new one begun, so that the two never hold much more than twice this.
constexpr uint64_t kLogMax = 1024 * 1024;
constexpr wchar_t kLogFolder[] = L"\\Lumora";
constexpr wchar_t kLogName[] = L"\\lumora-follow.log";
constexpr wchar_t kOldLogName[] = L"\\lumora-follow.old.log";

int64_t NowMs() {
  return static_cast<int64_t>(GetTickCount64());
}

// The follower's notes: each line with the local time into the log file (UTF-8), and to a
// debugger.
class FollowLog {
 public:
  FollowLog() {
    wchar_t base[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    folder_ = std::wstring(base) + kLogFolder;
  }
  ~FollowLog() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  FollowLog(const FollowLog&) = delete;
  FollowLog& operator=(const FollowLog&) = delete;

  // One line (without its line end).
  void Line(const std::string& text) {
    const std::string debug = std::string("lumora-follow: ") + text + "\n";
    OutputDebugStringA(debug.c_str());
    if (!opened_ && !folder_.empty()) {
      // Opened at the first line: a help shown on a console leaves the log as it is.
      opened_ = true;
      CreateDirectoryW(folder_.c_str(), nullptr);
      Open(false);
    }
    if (file_ == INVALID_HANDLE_VALUE) return;
    if (size_ >= kLogMax) Open(true);
    if (file_ == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    const std::string line = stamp + text + "\r\n";
    DWORD written = 0;
    WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    size_ += written;
  }
  // Several lines, each a line of the log.
  void Lines(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      Line(text.substr(at, end - at));
      at = end + 1;
    }
  }

 private:
  // Opens the log for appending; a log that holds kLogMax or more (or any, when rotate) is
  // renamed first.
  void Open(bool rotate) {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    const std::wstring path = folder_ + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
      const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      if (rotate || size >= kLogMax)
        MoveFileExW(path.c_str(), (folder_ + kOldLogName).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    size_ = 0;
    LARGE_INTEGER size{};
    if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size))
      size_ = static_cast<uint64_t>(size.QuadPart);
  }

  std::wstring folder_;
  bool opened_ = false;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

// Writes text to a handle the program was given, true when all of it went.
bool WriteAll(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// The help, the version or a usage mistake: to the output the program was given (a
// redirection), else to the console it was started from, else to the log.
void Tell(FollowLog& log, const std::string& text, bool error) {
  const HANDLE given = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (given != nullptr && given != INVALID_HANDLE_VALUE &&
      GetFileType(given) != FILE_TYPE_UNKNOWN && WriteAll(given, text))
    return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    const bool written = console != INVALID_HANDLE_VALUE && WriteAll(console, text);
    if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
    FreeConsole();
    if (written) return;
  }
  log.Lines(text);
}

// The agent's window as the core's events reach it: the window told last, through the senders'
// delivery rule. A window that is gone fails the delivery; the loop then looks the agent up.
class WindowSink final : public EventSink {
 public:
  WindowSink(FollowLog& log, bool verbose) : log_(log), verbose_(verbose) {}
  bool Deliver(const SourceEvent& event) override {
    if (window_ == nullptr) return false;
    delivering_ = true;
    const win32::Delivery delivery = win32::DeliverMediaStateEvent(
        window_, event.sessionId, ToCode(event.code), event.text, event.length);
    delivering_ = false;
    if (delivery != win32::Delivery::Delivered) return false;
    if (verbose_) {
      const EventInfo* info = FindEvent(ToCode(event.code));
      std::string line = "event " + std::to_string(event.sessionId) + " ";
      line += info != nullptr ? std::string(info->name) : std::string("?");
      if (event.length > 0) {
        line += ' ';
        line += QuoteDisplayText(event.Text());
      }
      log_.Line(line);
    }
    return true;
  }
  HWND window() const { return window_; }
  void SetWindow(HWND window) { window_ = window; }
  // Inside a SendMessage to the agent (a message to the follower's own window may arrive then).
  bool delivering() const { return delivering_; }

 private:
  FollowLog& log_;
  bool verbose_;
  HWND window_ = nullptr;
  bool delivering_ = false;
};

// What the follower's own window hears.
struct Follower;
Follower* gFollower = nullptr;

struct Follower {
  Follower(const FollowOptions& options, FollowLog& notes)
      : log(notes),
        sink(notes, options.verbose),
        core(sink, NowMs),
        kodiApp(core, "Kodi"),
        kodi(options.kodiOptions, kodiApp,
             [&notes](NotePriority, const std::string& line) { notes.Line(line); }),
        mediaApp(core, "media sessions"),
        media(&mediaApp) {}

  // The agent's window now: a new one is told everything; the same one after a failed
  // delivery is told what it lacks.
  void LookForAgent() {
    HWND found = win32::FindAgentWindow();
    if (found == nullptr) {
      if (sink.window() != nullptr || !awayNoted)
        log.Line(std::string("no window titled \"") + win32::kAgentWindowTitle +
                 "\": waiting for the agent");
      awayNoted = true;
      sink.SetWindow(nullptr);
      return;
    }
    if (found != sink.window()) {
      log.Line(sink.window() == nullptr && !everTold
                   ? "the agent is running; following for it"
                   : "a new agent's window answers; telling it everything");
      everTold = true;
      awayNoted = false;
      sink.SetWindow(found);
      core.AgentLost(true);
      core.Resend();
    } else if (core.agentLost()) {
      core.AgentLost(false);
      core.Resend();
    }
  }

  // Closes what was opened: the players' sessions and the shell's.
  void Finish() {
    if (finished) return;
    finished = true;
    kodi.Stop();
    mediaApp.ApplicationEnded();
  }

  FollowLog& log;
  WindowSink sink;
  MediaSource core;
  SourceApp kodiApp;
  KodiLink kodi;
  SourceApp mediaApp;
  MediaSessionsWatch media;
  bool mediaOn = false;
  bool stop = false;
  bool finished = false;
  bool awayNoted = false;
  bool everTold = false;
};

LRESULT CALLBACK FollowerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      if (gFollower != nullptr) gFollower->stop = true;
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The session ends once this returns: close what was opened now, unless a delivery is
      // under way (then the loop does it as soon as that returns).
      if (wParam != FALSE && gFollower != nullptr) {
        gFollower->stop = true;
        if (!gFollower->sink.delivering()) gFollower->Finish();
      }
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateFollowerWindow() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FollowerWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExA(&windowClass) == 0) return nullptr;
  // A top-level window that is never shown: it hears WM_ENDSESSION, which a message-only
  // window would not, and the installer finds it by its class.
  return CreateWindowExA(0, kWindowClass, kWindowTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

int RunFollower(const FollowOptions& options, FollowLog& log) {
  const HANDLE instance = CreateMutexA(nullptr, FALSE, kInstanceMutex);
  if (instance != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    log.Line("another lumora-follow.exe runs in this session; this one ends");
    CloseHandle(instance);
    return kExitFailure;
  }
  std::string error;
  if (!tcp::StartSockets(error)) {
    log.Line(error);
    return kExitFailure;
  }
  Follower follower(options, log);
  if (!follower.kodi.OpenCapture(error)) {
    log.Line(error);
    tcp::StopSockets();
    return kExitFailure;
  }
  gFollower = &follower;
  const HWND window = CreateFollowerWindow();
  if (window == nullptr) log.Line("its window could not be made: only a kill stops it");
  log.Line(std::string("lumora-follow.exe ") + std::string(ProgramVersion()) + " starts");

  // The system's media sessions: where they cannot be read, one line, and the rest goes on.
  if (options.media) {
    follower.mediaOn = follower.media.Start(error);
    if (!follower.mediaOn) log.Line(error);
  }

  const HANDLE socketEvent = WSACreateEvent();
  uint32_t watchedSerial = 0;  // the socket tied to socketEvent (0: none)
  bool lookedSinceBeat = false;
  int status = kExitOk;
  follower.LookForAgent();
  int64_t nextBeat = NowMs() + kBeatMs;
  while (!follower.stop) {
    // A failed delivery: the agent looked up at once (at most once a beat).
    if (follower.core.agentLost() && !lookedSinceBeat) {
      lookedSinceBeat = true;
      follower.LookForAgent();
    }
    if (follower.kodi.captureFailed()) {
      log.Line("cannot write the capture " + options.kodiOptions.capturePath);
      status = kExitFailure;
      break;
    }
    const tcp::Handle socket = options.kodi ? follower.kodi.fd() : tcp::kNoHandle;
    if (socket != tcp::kNoHandle && follower.kodi.socketSerial() != watchedSerial) {
      WSAResetEvent(socketEvent);
      if (tcp::SignalActivity(socket, socketEvent)) watchedSerial = follower.kodi.socketSerial();
    }
    const bool watching = socket != tcp::kNoHandle && watchedSerial == follower.kodi.socketSerial();
    int64_t now = NowMs();
    int64_t timeout = std::max<int64_t>(0, nextBeat - now);
    const int64_t tick = follower.core.NextTickInMs();
    if (tick >= 0) timeout = std::min(timeout, tick);
    if (options.kodi) timeout = std::min(timeout, follower.kodi.NextBeatInMs(now));
    if (follower.mediaOn) {
      const int64_t settle = follower.media.NextTickInMs();
      if (settle >= 0) timeout = std::min(timeout, settle);
    }
    HANDLE waits[2];
    DWORD count = 0;
    if (watching) waits[count++] = socketEvent;
    if (follower.mediaOn) waits[count++] = follower.media.wakeEvent();
    const DWORD woke = MsgWaitForMultipleObjects(count, waits, FALSE,
                                                 static_cast<DWORD>(timeout), QS_ALLINPUT);
    if (watching && woke == WAIT_OBJECT_0) {
      const short revents = tcp::TakeActivity(socket, socketEvent);
      if (revents != 0) follower.kodi.Process(revents, NowMs());
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) follower.stop = true;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (follower.stop) break;
    now = NowMs();
    if (options.kodi) follower.kodi.Beat(now);
    if (follower.mediaOn) {
      // What the system's threads handed over, on this thread.
      follower.media.Process();
      follower.media.Tick();
      if (!follower.media.failure().empty()) {
        log.Line(follower.media.failure());
        follower.mediaOn = false;
      }
    }
    follower.core.Tick();
    if (NowMs() >= nextBeat) {
      nextBeat = NowMs() + kBeatMs;
      lookedSinceBeat = false;
      follower.LookForAgent();
    }
  }
  follower.Finish();
  log.Line(status == kExitOk ? "stopped; the sessions it opened are closed" : "ends");
  gFollower = nullptr;
  if (window != nullptr) DestroyWindow(window);
  WSACloseEvent(socketEvent);
  tcp::StopSockets();
  if (instance != nullptr) CloseHandle(instance);
  return status;
}

}  // namespace

}  // namespace lumora::sources

int main() {
  using lumora::sources::FollowLog;
  using lumora::sources::kProgram;
  FollowLog log;
  lumora::sources::FollowOptions options;
  std::string error;
  if (!lumora::sources::ParseFollowArguments(lumora::win32::Utf8Arguments(), options, error)) {
    lumora::sources::Tell(log,
                          std::string(kProgram) + ": " + error + "\nTry '" + kProgram +
                              " --help' for more information.\n",
                          true);
    return lumora::kExitUsage;
  }
  if (options.help) {
    lumora::sources::Tell(log, lumora::sources::FollowUsage(options.command), false);
    return lumora::kExitOk;
  }
  if (options.version) {
    lumora::sources::Tell(
        log, std::string(kProgram) + " " + std::string(lumora::ProgramVersion()) + "\n", false);
    return lumora::kExitOk;
  }
  if (options.listMedia) {
    std::vector<std::string> lines;
    if (!lumora::sources::ListMediaSessions(lines, error)) {
      lumora::sources::Tell(log, error + "\n", true);
      return lumora::kExitFailure;
    }
    std::string text;
    for (const std::string& line : lines)
      text += line + "\n";
    lumora::sources::Tell(log, text, false);
    return lumora::kExitOk;
  }
  return lumora::sources::RunFollower(options, log);
}
