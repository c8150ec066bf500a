// The sender's side on Windows (lumora-send.exe, lumora-follow.exe): finds the agent's window by
// its title "Lumora" and hands it each message with SendMessage, which returns only when the
// agent has handled it (a navigation event may hold it for 1000 ms):
//   event      WM_COPYDATA, dwData 1, the 40-byte Media State Event
//   copydata   WM_COPYDATA with any dwData and bytes
//   power      WM_POWERBROADCAST;  endsession  WM_ENDSESSION;  close  WM_CLOSE
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// The program's arguments (without its name) in UTF-8, whatever the console's code page: the
// senders' command lines take UTF-8 and convert an event's text to the panel's Windows-1252
// themselves.
std::vector<std::string> Utf8Arguments();

// The one delivery rule of every sender: a message goes to the window found before, and counts
// as delivered unless that window is gone (the agent ended, or restarted under a new window)
// before or while it was sent. Nothing is sent to a window found anew behind the sender's back:
// the sender looks the agent up itself and decides what a new agent must be told.
enum class Delivery { Delivered, WindowGone, NotSendable };
Delivery Deliver(HWND window, const scenario::Directive& directive);
Delivery DeliverMediaStateEvent(HWND window, int32_t sessionId, uint16_t code, const char* text,
                                size_t size);

}  // namespace lumora::win32
