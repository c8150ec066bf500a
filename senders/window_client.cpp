#include "senders/window_client.h"

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

}  // namespace lumora::win32
