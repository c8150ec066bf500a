#include "sources/media_sessions/media_control_win32.h"

#include <cstdio>

namespace lumora::sources::winrt {

namespace {

// 100 ns ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kTicksTo1970 = 116444736000000000;

template <typename F>
bool Find(HMODULE module, const char* name, F& function) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

}  // namespace

int64_t UnixMsOf(DateTime time) {
  if (time.universalTime == 0) return 0;
  return (time.universalTime - kTicksTo1970) / 10000;
}

int64_t UnixNowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return (ticks - kTicksTo1970) / 10000;
}

bool Runtime::Load(std::string& error) {
  HMODULE combase = LoadLibraryW(L"combase.dll");
  if (combase == nullptr) {
    error = "this Windows has no Windows Runtime (combase.dll)";
    return false;
  }
  if (!Find(combase, "RoInitialize", RoInitialize) ||
      !Find(combase, "RoGetActivationFactory", RoGetActivationFactory) ||
      !Find(combase, "WindowsCreateString", WindowsCreateString) ||
      !Find(combase, "WindowsDeleteString", WindowsDeleteString) ||
      !Find(combase, "WindowsGetStringRawBuffer", WindowsGetStringRawBuffer)) {
    error = "this Windows has no Windows Runtime (combase.dll lacks its functions)";
    return false;
  }
  return true;
}

std::string Runtime::Take(HSTRING string) const {
  if (string == nullptr) return {};
  UINT32 length = 0;
  const WCHAR* text = WindowsGetStringRawBuffer(string, &length);
  std::string utf8;
  if (text != nullptr && length > 0) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    if (size > 0) {
      utf8.resize(static_cast<size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr,
                          nullptr);
    }
  }
  WindowsDeleteString(string);
  return utf8;
}

std::string HresultText(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

}  // namespace lumora::sources::winrt
