// The sender's side on Windows (lumora-send.exe, lumora-kodi.exe): finds the agent's window by
// its title "Lumora" and hands it each message with SendMessage, which returns only when the
// agent has handled it (a navigation event may hold it for 1000 ms):
//   event      WM_COPYDATA, dwData 1, the 40-byte Media State Event
//   copydata   WM_COPYDATA with any dwData and bytes
//   power      WM_POWERBROADCAST;  endsession  WM_ENDSESSION;  close  WM_CLOSE
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "scenario/scenario.h"

namespace lumora::win32 {

inline constexpr char kAgentWindowTitle[] = "Lumora";

// The agent's window, or nullptr when no agent runs.
HWND FindAgentWindow();

// WM_COPYDATA with the given dwData and bytes; the agent's answer.
LRESULT SendCopyData(HWND window, ULONG_PTR dwData, const void* data, size_t size);

// One 40-byte Media State Event (dwData 1); text is in the panel's Windows-1252.
LRESULT SendMediaStateEvent(HWND window, int32_t sessionId, uint16_t code, const char* text,
                            size_t size);

// Sends one sendable directive; false for directives that are not sendable.
bool SendDirective(HWND window, const scenario::Directive& directive);

}  // namespace lumora::win32
