// lumora-send.exe: the Windows stand-in for the media-state event source. Sends the agent's
// window each message through the senders' window client (senders/window_client.h). The
// arguments are read by the portable lumora_sendargs (sendargs/send_args.h).
//
// Three options for the end-to-end test, not in --help:
//   --test-wait-window SECONDS     waits until the window "Lumora" exists and is hidden (the
//                                  agent has started and hidden itself); status 0, or 1 after
//                                  SECONDS with the reason on standard error
//   --test-show-window SECONDS     shows the window "Lumora" (ShowWindow) and waits until the
//                                  agent has hidden it again; status 0, or 1 when it is still
//                                  shown after SECONDS
//   --test-dismiss-box CAPTION SECONDS
//                                  waits for a message box with that caption, prints its text
//                                  on standard output and presses its OK button; status 0, or 1
//                                  when no such box appeared within SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/exit_status.h"
#include "base/media_event.h"
#include "base/version.h"
#include "base/win32/console_output.h"
#include "scenario/event_names.h"
#include "sendargs/send_args.h"
#include "senders/window_client.h"

namespace {

// What the usage text says of the Windows sender; the rest is the senders' common text.
constexpr lumora::send::SendHost kSendHost{
    "lumora-send.exe", "",
    "Stands in for the media-state event source: sends the running agent (the window titled\n"
    "\"Lumora\") its messages with SendMessage and waits until the agent has handled each one.\n",
    ""};
constexpr DWORD kPollMs = 50;

// Seconds as given to the test options; false when the text is not a positive number.
bool ParseSeconds(const char* text, DWORD& milliseconds) {
  char* end = nullptr;
  const long seconds = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || seconds <= 0 || seconds > 3600) return false;
  milliseconds = static_cast<DWORD>(seconds) * 1000;
  return true;
}

int WaitForWindow(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  HWND window = nullptr;
  do {
    window = lumora::win32::FindAgentWindow();
    if (window != nullptr && !IsWindowVisible(window)) return 0;
    Sleep(kPollMs);
  } while (GetTickCount64() < deadline);
  std::fprintf(stderr, window == nullptr
                           ? "lumora-send: no window titled \"Lumora\" appeared\n"
                           : "lumora-send: the window \"Lumora\" exists but is not hidden\n");
  return 1;
}

int ShowUntilHidden(DWORD timeoutMs) {
  HWND window = lumora::win32::FindAgentWindow();
  if (window == nullptr) {
    std::fprintf(stderr, "lumora-send: no window titled \"Lumora\" was found\n");
    return 1;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  do {
    if (!IsWindowVisible(window)) return 0;
    Sleep(kPollMs);
  } while (GetTickCount64() < deadline);
  std::fprintf(stderr, "lumora-send: the window \"Lumora\" is still shown\n");
  return 1;
}

int DismissBox(const char* caption, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  do {
    HWND box = FindWindowA(nullptr, caption);
    char text[1024] = {};
    // The box is ready once it shows and its text is set.
    if (box != nullptr && IsWindowVisible(box) &&
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text) > 0) {
      std::printf("%s\n", text);
      std::fflush(stdout);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(kPollMs);
  } while (GetTickCount64() < deadline);
  std::fprintf(stderr, "lumora-send: no message box titled \"%s\" appeared\n", caption);
  return 1;
}

}  // namespace

static int Main(int argc, char** argv) {
  DWORD timeoutMs = 0;
  if (argc == 3 && std::strcmp(argv[1], "--test-wait-window") == 0 &&
      ParseSeconds(argv[2], timeoutMs)) {
    return WaitForWindow(timeoutMs);
  }
  if (argc == 3 && std::strcmp(argv[1], "--test-show-window") == 0 &&
      ParseSeconds(argv[2], timeoutMs)) {
    return ShowUntilHidden(timeoutMs);
  }
  if (argc == 4 && std::strcmp(argv[1], "--test-dismiss-box") == 0 &&
      ParseSeconds(argv[3], timeoutMs)) {
    return DismissBox(argv[2], timeoutMs);
  }

  const std::vector<std::string> utf8 = lumora::win32::Utf8Arguments();
  const std::vector<std::string_view> args(utf8.begin(), utf8.end());
  lumora::send::SendRequest request;
  std::string error;
  if (!lumora::send::ParseSendArgs(args, request, error)) {
    std::fprintf(stderr,
                 "lumora-send.exe: %s\nTry 'lumora-send.exe --help' for more information.\n",
                 error.c_str());
    return lumora::kExitUsage;
  }
  if (request.help) {
    std::fputs(lumora::send::SendUsage(kSendHost).c_str(), stdout);
    return lumora::kExitOk;
  }
  if (request.version) {
    std::printf("lumora-send.exe %.*s\n", static_cast<int>(lumora::ProgramVersion().size()),
                lumora::ProgramVersion().data());
    return lumora::kExitOk;
  }
  if (request.list) {
    std::fputs(lumora::scenario::EventTable().c_str(), stdout);
    return lumora::kExitOk;
  }
  for (const std::string& warning : request.warnings)
    std::fprintf(stderr, "lumora-send.exe: %s\n", warning.c_str());
  for (const std::string& line : request.skipped)
    std::fprintf(stderr, "lumora-send.exe: %s\n", line.c_str());

  HWND window = lumora::win32::FindAgentWindow();
  if (window == nullptr) {
    std::fprintf(stderr,
                 "lumora-send: no window titled \"Lumora\" was found; is the agent running?\n");
    return lumora::kExitFailure;
  }
  for (const lumora::scenario::LiveStep& step : request.steps) {
    if (step.kind == lumora::scenario::LiveStep::Kind::Wait) {
      Sleep(static_cast<DWORD>(step.seconds * 1000));
      continue;
    }
    if (step.kind != lumora::scenario::LiveStep::Kind::Message) continue;
    const lumora::scenario::Directive& d = step.message;
    if (lumora::win32::Deliver(window, d) == lumora::win32::Delivery::WindowGone) {
      std::fprintf(stderr, "lumora-send: the window \"Lumora\" went away before '%s'\n",
                   d.source.c_str());
      return lumora::kExitFailure;
    }
  }
  return lumora::kExitOk;
}

int main(int argc, char** argv) {
  // Messages name the characters a text cannot send, in UTF-8 like the arguments: a console
  // shows them as they are, whatever its code page.
  [[maybe_unused]] const lumora::ConsoleOutput console;
  // A help or an event table that did not reach standard output is a failure too.
  return lumora::CheckedExit("lumora-send.exe", Main(argc, argv));
}
