// The few socket calls of the follower's Kodi connection, in one place for both hosts: Winsock
// on Windows, BSD sockets on Linux. A socket is a non-blocking TCP stream whose connection
// completes while the caller's loop goes on; readiness is said in poll's terms (the host's own
// poll flags), whether the host's loop asks poll (Linux) or a Winsock event (Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumora::sources::tcp {

#ifdef _WIN32
using Handle = uintptr_t;                                        // SOCKET
inline constexpr Handle kNoHandle = ~static_cast<uintptr_t>(0);  // INVALID_SOCKET
#else
using Handle = int;
inline constexpr Handle kNoHandle = -1;
#endif

// poll's flags as this host defines them (checked against its header in tcp_socket.cpp).
#ifdef _WIN32
inline constexpr short kReadable = 0x0300;  // POLLIN (POLLRDNORM | POLLRDBAND)
inline constexpr short kWritable = 0x0010;  // POLLOUT
inline constexpr short kError = 0x0001;     // POLLERR
inline constexpr short kHangUp = 0x0002;    // POLLHUP
#else
inline constexpr short kReadable = 0x001;
inline constexpr short kWritable = 0x004;
inline constexpr short kError = 0x008;
inline constexpr short kHangUp = 0x010;
#endif

// Makes the host's sockets usable for the program's life (Winsock's start on Windows; nothing
// on Linux); false with the reason.
bool StartSockets(std::string& error);
void StopSockets();

// Starts a connection to host:port (its first address) on a new non-blocking socket. Returns
// the socket with connected true when it completed at once, false while it is under way (then
// Writable or an error says when it is done, and ConnectOutcome how it went); kNoHandle with
// the reason on failure.
Handle StartConnect(const std::string& host, const std::string& port, bool& connected,
                    std::string& error);
// After a connection under way became ready (revents): true when it is established, else false
// with the reason.
bool ConnectOutcome(Handle socket, short revents, std::string& error);
// Requests go out at once, not gathered into larger segments.
void SendAtOnce(Handle socket);

// Sends what the socket takes now: the bytes taken (0 when it takes nothing now); -1 when the
// connection failed.
long Send(Handle socket, const char* data, size_t size);
// Reads what there is: the bytes read; 0 when the peer closed the connection; kTryLater when
// nothing is there yet; -1 when the connection failed.
inline constexpr long kTryLater = -2;
long Receive(Handle socket, char* buffer, size_t size);

void Close(Handle socket);

#ifdef _WIN32
// The Windows loop waits on an event: SignalActivity has Winsock set it (a HANDLE) whenever the
// socket may have become ready; TakeActivity then says what the socket is ready for, in poll's
// terms, and clears it.
bool SignalActivity(Handle socket, void* event);
short TakeActivity(Handle socket, void* event);
#endif

}  // namespace lumora::sources::tcp
