#include "senders/window_client.h"

// after windows.h
#include <shellapi.h>

#include "base/media_event.h"

namespace lumora::win32 {

HWND FindAgentWindow() {
  return FindWindowA(nullptr, kAgentWindowTitle);
}

LRESULT SendCopyData(HWND window, ULONG_PTR dwData, const void* data, size_t size) {
  COPYDATASTRUCT copy{};
  copy.dwData = dwData;
  copy.cbData = static_cast<DWORD>(size);
  copy.lpData = size == 0 ? nullptr : const_cast<void*>(data);
  return SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
}

LRESULT SendMediaStateEvent(HWND window, int32_t sessionId, uint16_t code, const char* text,
                            size_t size) {
  uint8_t record[kMediaStateEventSize];
  EncodeMediaStateEvent(sessionId, code, text, size, record);
  return SendCopyData(window, kMediaStateEventMarker, record, sizeof record);
}

bool SendDirective(HWND window, const scenario::Directive& d) {
  using scenario::DirectiveKind;
  switch (d.kind) {
    case DirectiveKind::Event:
      SendMediaStateEvent(window, d.sessionId, d.code, d.bytes.data(), d.bytes.size());
      return true;
    case DirectiveKind::CopyData:
      SendCopyData(window, static_cast<ULONG_PTR>(d.number), d.bytes.data(), d.bytes.size());
      return true;
    case DirectiveKind::Power:
      SendMessageA(window, WM_POWERBROADCAST, static_cast<WPARAM>(d.number), 0);
      return true;
    case DirectiveKind::EndSession:
      SendMessageA(window, WM_ENDSESSION, static_cast<WPARAM>(d.number), 0);
      return true;
    case DirectiveKind::Close:
      SendMessageA(window, WM_CLOSE, 0, 0);
      return true;
    default:
      return false;  // not sendable
  }
}

std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 1 ? static_cast<size_t>(size - 1) : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

namespace {

// Sends with send() unless the window is gone; a send to a window that went meanwhile fails
// with ERROR_INVALID_WINDOW_HANDLE.
template <typename Send>
Delivery DeliverTo(HWND window, Send send) {
  if (window == nullptr || !IsWindow(window)) return Delivery::WindowGone;
  SetLastError(ERROR_SUCCESS);
  if (!send()) return Delivery::NotSendable;
  if (GetLastError() == ERROR_INVALID_WINDOW_HANDLE) return Delivery::WindowGone;
  return Delivery::Delivered;
}

}  // namespace

Delivery Deliver(HWND window, const scenario::Directive& directive) {
  return DeliverTo(window, [&] { return SendDirective(window, directive); });
}

Delivery DeliverMediaStateEvent(HWND window, int32_t sessionId, uint16_t code, const char* text,
                                size_t size) {
  return DeliverTo(window, [&] {
    SendMediaStateEvent(window, sessionId, code, text, size);
    return true;
  });
}

}  // namespace lumora::win32
