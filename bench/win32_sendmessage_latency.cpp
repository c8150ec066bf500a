// The round trip of SendMessage with WM_COPYDATA to the Windows agent, beside a baseline
// window that only replies (for a run under Wine; informative: the figures are Wine's).
//
//   win32_sendmessage_latency server         a hidden window "Lumora reply-only" whose window
//                                            procedure answers WM_COPYDATA with TRUE at once
//   win32_sendmessage_latency client [N]     finds the agent's window "Lumora" and the
//                                            baseline's, sends each N Media State Events in
//                                            alternating blocks, prints the percentiles, then
//                                            closes the baseline window
//
// The client first brings the agent to live TV on channel 7 and then sends ItemNumber events,
// which write two packets and do not wait.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/event_catalogue.h"
#include "base/media_event.h"

namespace {

constexpr char kAgentTitle[] = "Lumora";
constexpr char kBaselineTitle[] = "Lumora reply-only";
constexpr char kBaselineClass[] = "LumoraReplyOnly";

LRESULT CALLBACK ReplyOnly(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COPYDATA:
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int Server() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ReplyOnly;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kBaselineClass;
  if (RegisterClassA(&windowClass) == 0) return 1;
  HWND window = CreateWindowExA(0, kBaselineClass, kBaselineTitle, WS_OVERLAPPED, 0, 0, 100, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

HWND WaitForWindow(const char* title, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (HWND window = FindWindowA(nullptr, title)) return window;
    Sleep(100);
  }
  return nullptr;
}

struct Event {
  uint8_t record[lumora::kMediaStateEventSize];
  COPYDATASTRUCT data;
};

void MakeEvent(Event& e, int32_t sessionId, lumora::EventCode code, const char* text) {
  lumora::EncodeMediaStateEvent(sessionId, lumora::ToCode(code), text, std::strlen(text), e.record);
  e.data.dwData = lumora::kMediaStateEventMarker;
  e.data.cbData = sizeof e.record;
  e.data.lpData = e.record;
}

void Send(HWND window, Event& e) {
  SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&e.data));
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

int Client(long messages) {
  HWND agent = WaitForWindow(kAgentTitle, 60);
  HWND baseline = WaitForWindow(kBaselineTitle, 60);
  if (agent == nullptr || baseline == nullptr) {
    std::fprintf(stderr, "no window \"%s\" or \"%s\"\n", kAgentTitle, kBaselineTitle);
    return 1;
  }
  const struct {
    int32_t sessionId;
    lumora::EventCode code;
    const char* text;
  } setUp[] = {
      {1, lumora::EventCode::SessionOpened, ""},  {1, lumora::EventCode::NavHome, ""},
      {10, lumora::EventCode::SessionOpened, ""}, {10, lumora::EventCode::LiveTvStarted, ""},
      {10, lumora::EventCode::ItemNumber, "7"},   {10, lumora::EventCode::Play, ""}};
  Event e;
  for (const auto& s : setUp) {
    MakeEvent(e, s.sessionId, s.code, s.text);
    Send(agent, e);
    Send(baseline, e);
  }
  MakeEvent(e, 10, lumora::EventCode::ItemNumber, "7");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double usPerTick = 1e6 / static_cast<double>(frequency.QuadPart);
  std::vector<double> times[2];
  HWND targets[2] = {agent, baseline};
  constexpr long kRounds = 10;
  for (long round = 0; round < kRounds; ++round) {
    for (int t = 0; t < 2; ++t) {
      const int which = (t + static_cast<int>(round)) % 2;
      for (long i = 0; i < messages / kRounds; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        Send(targets[which], e);
        QueryPerformanceCounter(&end);
        times[which].push_back(static_cast<double>(end.QuadPart - start.QuadPart) * usPerTick);
      }
    }
  }
  std::printf("%-20s %-9s %8s %10s %10s\n", "event", "target", "count", "p50 us", "p99 us");
  const char* names[2] = {"agent", "baseline"};
  for (int t = 0; t < 2; ++t) {
    std::printf("%-20s %-9s %8zu %10.2f %10.2f\n", "ItemNumber_LiveTv", names[t], times[t].size(),
                Percentile(times[t], 0.5), Percentile(times[t], 0.99));
  }
  std::printf("p50 ratio agent/baseline: %.2f\n",
              Percentile(times[0], 0.5) / Percentile(times[1], 0.5));
  PostMessageA(baseline, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "server") == 0) return Server();
  if (argc >= 2 && std::strcmp(argv[1], "client") == 0) {
    return Client(argc >= 3 ? std::strtol(argv[2], nullptr, 10) : 10000);
  }
  std::fprintf(stderr, "usage: win32_sendmessage_latency server | client [N]\n");
  return 2;
}
