// The on-screen stand-in of the display library: a PanelDrv.dll that draws the panel in a small
// window of its own, for people who build an event source and have no panel. Every packet is
// taken by the same panel model as the terminal emulator and the window shows its face: two
// lines of twenty characters in a built-in dot-matrix font, the icons, the level bar, and the
// panel's own clock, which runs in the window once the panel has been handed the time.
//
// The window lives on a thread of its own with its own message loop, so it repaints while the
// agent's thread waits or is busy; the agent's thread only updates the model and asks for a
// repaint. The face is drawn into a fixed bitmap of the library's (no fonts, no heap), so every
// machine shows the same pixels.
//
//   LUMORA_PANEL_WINDOW=X,Y   where the panel's face (the window's client area) is placed on the
//                             screen, in pixels; default 40,40.
//
// OpenVFD fails with the error code 110 (ERROR_OPEN_FAILED) when the window cannot be made.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_view.h"
#include "paneldrv/panel_drv.h"
#include "paneldrv/window/panel_face.h"

namespace {

constexpr int kHandle = 1;
constexpr int kErrorOpenFailed = 110;
constexpr int kDefaultLeft = 40;
constexpr int kDefaultTop = 40;
constexpr DWORD kStartTimeoutMs = 10000;
constexpr DWORD kStopTimeoutMs = 5000;
// Often enough that the panel clock's seconds and the scroll steps show on time.
constexpr UINT kAnimationTimerMs = 100;
constexpr UINT_PTR kAnimationTimerId = 1;
// Asks the window's thread to close the window (sent by CloseVFD).
constexpr UINT kMsgClosePanel = WM_APP + 1;

constexpr char kWindowClass[] = "LumoraPanelWindow";
constexpr char kWindowTitle[] = "Lumora panel";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Shared by the agent's thread (VFD_Cmd) and the window's thread (painting), under the lock.
CRITICAL_SECTION lock;
INIT_ONCE lockOnce = INIT_ONCE_STATIC_INIT;
lumora::emulator::PanelState state;
int64_t openedAtMs = 0;

// The window's thread and its window; set and cleared by OpenVFD and CloseVFD on the agent's
// thread, the window itself also by the window's thread.
HANDLE thread = nullptr;
HANDLE ready = nullptr;
HWND window = nullptr;  // read by both threads: only ever passed to thread-safe calls
bool windowMade = false;

// Drawn on the window's thread only.
lumora::window::FacePixels pixels;
int64_t lastFrameKey = -1;

int64_t NowMs() {
  return static_cast<int64_t>(GetTickCount64());
}

BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&lock);
  return TRUE;
}

class Locked {
 public:
  Locked() { EnterCriticalSection(&lock); }
  ~Locked() { LeaveCriticalSection(&lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// Where the face goes on the screen: LUMORA_PANEL_WINDOW=X,Y or the default.
POINT FacePosition() {
  POINT at{kDefaultLeft, kDefaultTop};
  const char* value = std::getenv("LUMORA_PANEL_WINDOW");
  int x = 0;
  int y = 0;
  if (value != nullptr && std::sscanf(value, "%d,%d", &x, &y) == 2) at = {x, y};
  return at;
}

void Paint(HWND hwnd) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  {
    const Locked locked;
    const int64_t now = NowMs();
    lumora::window::RenderFace(
        state, now, static_cast<uint64_t>(now - openedAtMs) / lumora::emulator::kAnimationFrameMs,
        pixels);
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = lumora::window::kFaceWidth;
  info.bmiHeader.biHeight = -lumora::window::kFaceHeight;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, lumora::window::kFaceWidth, lumora::window::kFaceHeight, 0, 0, 0,
                    lumora::window::kFaceHeight, pixels.data(), &info, DIB_RGB_COLORS);
  EndPaint(hwnd, &paint);
}

// What moves on its own between packets: the panel clock's second and the scroll step. The
// window is repainted only when this changes.
int64_t FrameKey() {
  const Locked locked;
  const int64_t now = NowMs();
  if (state.panelClock().running) return (now - state.panelClock().givenAtMs) / 1000;
  return (now - openedAtMs) / lumora::emulator::kAnimationFrameMs;
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the face covers the whole client area
    case WM_TIMER:
      if (wParam == kAnimationTimerId) {
        const int64_t key = FrameKey();
        if (key != lastFrameKey) {
          lastFrameKey = key;
          InvalidateRect(hwnd, nullptr, FALSE);
        }
      }
      return 0;
    case kMsgClosePanel:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd, kAnimationTimerId);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

DWORD WINAPI WindowThread(LPVOID) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExA(&windowClass);  // fails harmlessly when a second open registers it again

  // The window is sized and placed so that its client area is exactly the face, at the
  // position asked for.
  const POINT at = FacePosition();
  RECT frame{at.x, at.y, at.x + lumora::window::kFaceWidth, at.y + lumora::window::kFaceHeight};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  HWND hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, kWindowStyle, frame.left, frame.top,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, nullptr);
  window = hwnd;
  windowMade = hwnd != nullptr;
  if (hwnd != nullptr) {
    SetTimer(hwnd, kAnimationTimerId, kAnimationTimerMs, nullptr);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
  }
  SetEvent(ready);
  if (hwnd == nullptr) return 1;

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  window = nullptr;
  return 0;
}

void StopWindow() {
  if (thread == nullptr) return;
  HWND hwnd = window;
  if (hwnd != nullptr) PostMessageA(hwnd, kMsgClosePanel, 0, 0);
  WaitForSingleObject(thread, kStopTimeoutMs);
  CloseHandle(thread);
  thread = nullptr;
  window = nullptr;
}

}  // namespace

int OpenVFD(int, int, int, int* error) {
  InitOnceExecuteOnce(&lockOnce, InitLock, nullptr, nullptr);
  StopWindow();
  {
    const Locked locked;
    state = lumora::emulator::PanelState{};
    openedAtMs = NowMs();
  }
  if (ready == nullptr) ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (ready != nullptr) {
    ResetEvent(ready);
    windowMade = false;
    thread = CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
  }
  if (thread != nullptr) WaitForSingleObject(ready, kStartTimeoutMs);
  if (thread == nullptr || !windowMade) {
    StopWindow();
    if (error != nullptr) *error = kErrorOpenFailed;
    return -1;
  }
  return kHandle;
}

int VFD_Cmd(int handle, unsigned char* packet) {
  if (packet == nullptr || handle != kHandle || thread == nullptr) return 0;
  {
    const Locked locked;
    state.Apply(packet, NowMs());
  }
  HWND hwnd = window;
  if (hwnd != nullptr) InvalidateRect(hwnd, nullptr, FALSE);
  return 1;
}

int CloseVFD(int handle) {
  if (handle != kHandle || thread == nullptr) return 0;
  StopWindow();
  return 1;
}
