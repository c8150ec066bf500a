#include "sources/kodi/tcp_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <windows.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace lumora::sources::tcp {

static_assert(kReadable == POLLIN && kWritable == POLLOUT && kError == POLLERR &&
              kHangUp == POLLHUP);

namespace {

#ifdef _WIN32
// The system's text of a Winsock error, with its number.
std::string ErrorText(int code) {
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string said(text, length);
  while (!said.empty() &&
         (said.back() == '\n' || said.back() == '\r' || said.back() == '.' || said.back() == ' '))
    said.pop_back();
  const std::string number = "Winsock error " + std::to_string(code);
  return said.empty() ? number : said + " (" + number + ")";
}
int LastError() {
  return WSAGetLastError();
}
bool WouldBlock(int code) {
  return code == WSAEWOULDBLOCK || code == WSAEINPROGRESS;
}
bool Interrupted(int code) {
  return code == WSAEINTR;
}
#else
std::string ErrorText(int code) {
  return std::strerror(code);
}
int LastError() {
  return errno;
}
bool WouldBlock(int code) {
  return code == EAGAIN || code == EWOULDBLOCK || code == EINPROGRESS;
}
bool Interrupted(int code) {
  return code == EINTR;
}
#endif

}  // namespace

bool StartSockets(std::string& error) {
#ifdef _WIN32
  WSADATA data;
  const int status = WSAStartup(MAKEWORD(2, 2), &data);
  if (status != 0) {
    error = "Winsock did not start: " + ErrorText(status);
    return false;
  }
#else
  (void)error;
#endif
  return true;
}

void StopSockets() {
#ifdef _WIN32
  WSACleanup();
#endif
}

Handle StartConnect(const std::string& host, const std::string& port, bool& connected,
                    std::string& error) {
  connected = false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (status != 0) {
#ifdef _WIN32
    error = "cannot find the host: " + ErrorText(status);
#else
    error = std::string("cannot find the host: ") + ::gai_strerror(status);
#endif
    return kNoHandle;
  }
  // The first address; its connection completes (or fails) while the loop goes on.
#ifdef _WIN32
  Handle socket = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (socket != kNoHandle) {
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
      error = ErrorText(LastError());
      ::closesocket(socket);
      socket = kNoHandle;
    }
  } else {
    error = ErrorText(LastError());
  }
  const auto addressLength = static_cast<int>(found->ai_addrlen);
#else
  Handle socket = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           found->ai_protocol);
  if (socket == kNoHandle) error = ErrorText(LastError());
  const socklen_t addressLength = found->ai_addrlen;
#endif
  if (socket != kNoHandle) {
    if (::connect(socket, found->ai_addr, addressLength) == 0) {
      connected = true;
    } else if (const int code = LastError(); !WouldBlock(code)) {
      error = ErrorText(code);
      Close(socket);
      socket = kNoHandle;
    }
  }
  ::freeaddrinfo(found);
  return socket;
}

bool ConnectOutcome(Handle socket, short revents, std::string& error) {
  int soError = 0;
#ifdef _WIN32
  int length = sizeof soError;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0)
    soError = LastError();
#else
  socklen_t length = sizeof soError;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = LastError();
#endif
  if (soError != 0) {
    error = ErrorText(soError);
    return false;
  }
  if ((revents & kWritable) == 0) {
    // Failed without a reason the socket keeps (Winsock's connect event carries it alone).
    error = "the connection failed";
    return false;
  }
  return true;
}

void SendAtOnce(Handle socket) {
#ifdef _WIN32
  const BOOL one = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
#else
  const int one = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#endif
}

long Send(Handle socket, const char* data, size_t size) {
  for (;;) {
#ifdef _WIN32
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const long n = ::send(socket, data, chunk, 0);
#else
    const long n = ::send(socket, data, size, MSG_NOSIGNAL);
#endif
    if (n > 0) return n;
    if (n == 0) return -1;
    const int code = LastError();
    if (Interrupted(code)) continue;
    return WouldBlock(code) ? 0 : -1;
  }
}

long Receive(Handle socket, char* buffer, size_t size) {
  for (;;) {
#ifdef _WIN32
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const long n = ::recv(socket, buffer, chunk, 0);
#else
    const long n = ::recv(socket, buffer, size, 0);
    // Every read acknowledged at once: a peer that holds its next message until the last one is
    // acknowledged (Nagle's rule, as Kodi may) would otherwise wait for the delayed
    // acknowledgement, tens of milliseconds. Linux turns this off again after a while, hence
    // after every read.
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
    if (n >= 0) return n;
    const int code = LastError();
    if (Interrupted(code)) continue;
    return WouldBlock(code) ? kTryLater : -1;
  }
}

void Close(Handle socket) {
  if (socket == kNoHandle) return;
#ifdef _WIN32
  ::closesocket(socket);
#else
  ::close(socket);
#endif
}

#ifdef _WIN32
bool SignalActivity(Handle socket, void* event) {
  return ::WSAEventSelect(socket, static_cast<WSAEVENT>(event),
                          FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0;
}

short TakeActivity(Handle socket, void* event) {
  WSANETWORKEVENTS happened{};
  if (::WSAEnumNetworkEvents(socket, static_cast<WSAEVENT>(event), &happened) != 0) return kError;
  short revents = 0;
  if ((happened.lNetworkEvents & FD_CONNECT) != 0)
    revents |= happened.iErrorCode[FD_CONNECT_BIT] != 0 ? kError | kHangUp : kWritable;
  if ((happened.lNetworkEvents & FD_WRITE) != 0) revents |= kWritable;
  if ((happened.lNetworkEvents & FD_READ) != 0) revents |= kReadable;
  if ((happened.lNetworkEvents & FD_CLOSE) != 0) revents |= kReadable | kHangUp;
  return revents;
}
#endif

}  // namespace lumora::sources::tcp
