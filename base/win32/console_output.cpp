// Windows only (base/CMakeLists.txt): elsewhere ConsoleOutput does nothing.
#include "base/win32/console_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace lumora {

namespace {

// The length of the text's longest beginning that ends with a whole UTF-8 sequence: a sequence
// cut between two reads waits for the rest of its bytes. Bytes that are no UTF-8 count as whole.
size_t WholeSequences(const std::string& text) {
  size_t start = text.size();
  size_t following = 0;
  while (start > 0 && following < 3 &&
         (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
    ++following;
  }
  if (start == 0) return text.size();
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length > following + 1 ? start - 1 : text.size();
}

// Writes UTF-8 to the console as UTF-16 (a byte that is not UTF-8 as U+FFFD).
void WriteToConsole(HANDLE console, const char* text, size_t size) {
  if (size == 0) return;
  const int count = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0);
  if (count <= 0) return;
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wide.data(), count);
  const wchar_t* rest = wide.data();
  DWORD left = static_cast<DWORD>(wide.size());
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(console, rest, left, &written, nullptr) || written == 0) return;
    rest += written;
    left -= written;
  }
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

// The thread: what the program wrote, from the pipe to the console, until the program has
// closed its ends.
unsigned long __stdcall ConsoleOutput::Relay(void* self) {
  const auto& output = *static_cast<const ConsoleOutput*>(self);
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(output.pipe_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    const size_t whole = WholeSequences(pending);
    WriteToConsole(output.console_, pending.data(), whole);
    pending.erase(0, whole);
  }
  WriteToConsole(output.console_, pending.data(), pending.size());
  return 0;
}

ConsoleOutput::ConsoleOutput() {
  const HANDLE handles[2] = {GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
  const bool consoles[2] = {IsConsole(handles[0]), IsConsole(handles[1])};
  if (!consoles[0] && !consoles[1]) return;
  // A handle of its own: putting the pipe in place of a descriptor closes the descriptor's.
  const HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return;
  HANDLE reading = nullptr;
  HANDLE writing = nullptr;
  int pipe = -1;
  if (CreatePipe(&reading, &writing, nullptr, 0)) {
    pipe = _open_osfhandle(reinterpret_cast<intptr_t>(writing), _O_WRONLY | _O_BINARY);
    if (pipe == -1) CloseHandle(writing);
  }
  console_ = console;
  pipe_ = reading;
  if (pipe != -1) thread_ = CreateThread(nullptr, 0, Relay, this, 0, nullptr);
  if (thread_ == nullptr) {  // then written as before, in the console's code page
    if (pipe != -1) _close(pipe);
    if (reading != nullptr) CloseHandle(reading);
    CloseHandle(console);
    return;
  }
  std::FILE* const files[2] = {stdout, stderr};
  for (int i = 0; i < 2; ++i) {
    if (!consoles[i]) continue;
    std::fflush(files[i]);
    saved_[i] = _dup(i + 1);
    _dup2(pipe, i + 1);
  }
  _close(pipe);
  // A console's standard output is not held back in a buffer; neither is the pipe in its place.
  if (consoles[0]) std::setvbuf(stdout, nullptr, _IONBF, 0);
}

ConsoleOutput::~ConsoleOutput() {
  if (thread_ == nullptr) return;
  std::fflush(stdout);
  std::fflush(stderr);
  // The descriptors get their own files back, which closes the pipe's last writing end: the
  // thread shows the rest and ends.
  for (int i = 0; i < 2; ++i) {
    if (saved_[i] == -1) continue;
    _dup2(saved_[i], i + 1);
    _close(saved_[i]);
  }
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(pipe_);
  CloseHandle(console_);
}

}  // namespace lumora
