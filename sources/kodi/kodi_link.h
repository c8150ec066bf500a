// Kodi's JSON-RPC TCP port for a follower's loop, the same on Linux and on Windows: connects
// without waiting, reads what Kodi sends into the Kodi bridge, and writes the bridge's requests
// from a bounded buffer, so that a Kodi that stops reading (or a host that does not answer)
// never holds the loop: the other sources and the stop go on. The socket calls are
// tcp_socket.h's; the loop waits on the socket (poll on Linux, a Winsock event on Windows) and
// hands Process what it is ready for.
#pragma once

#include <cstdint>
#include <string>

#include <cstdio>
#include <functional>

#include "base/posix/note.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/kodi/tcp_socket.h"

namespace lumora::sources {

// What a follower's Kodi source is told to follow.
struct KodiOptions {
  std::string host = "127.0.0.1";
  std::string port = "9090";
  std::string capturePath;  // empty: no capture of what Kodi sends
};

// The requests not yet taken by Kodi may hold at most this much: past it Kodi is taken as stuck
// and the connection is dropped (and tried again a second later).
inline constexpr size_t kKodiOutputMax = 256 * 1024;
// A connection attempt that has not completed by then is given up.
inline constexpr int64_t kKodiConnectMs = 2000;

class KodiLink {
 public:
  // say reports one line of the link's own (Kodi away, back, its connection lost).
  KodiLink(KodiOptions options, SourceApp& source,
           std::function<void(NotePriority, const std::string&)> say);
  ~KodiLink();
  KodiLink(const KodiLink&) = delete;
  KodiLink& operator=(const KodiLink&) = delete;

  // Opens the capture when asked for; false with the reason.
  bool OpenCapture(std::string& error);
  // For the loop's wait: the socket (tcp::kNoHandle while there is none), the events it waits
  // for (poll's flags).
  tcp::Handle fd() const { return fd_; }
  // Counts the sockets made: a new one may get the number of one closed before, and a loop that
  // ties a socket to its wait (Windows) does so again when this changes.
  uint32_t socketSerial() const { return socketSerial_; }
  short events() const;
  // After the wait: what the socket is ready for (poll's flags).
  void Process(short revents, int64_t nowMs);
  // Time-driven: a connection attempt once a second while Kodi is away, the players' poll once
  // a second and a look at the window five times a second while connected.
  void Beat(int64_t nowMs);
  // Milliseconds until Beat has something to do.
  int64_t NextBeatInMs(int64_t nowMs) const;
  // The capture could not be written: the follower ends with status 1.
  bool captureFailed() const { return captureFailed_; }
  // Closes the connection and what Kodi had opened.
  void Stop();

 private:
  void StartConnecting(int64_t nowMs);
  void Established();
  void Lost(const std::string& why);
  void Queue(const std::string& request);
  void Flush();

  KodiOptions options_;
  std::function<void(NotePriority, const std::string&)> say_;
  KodiBridge bridge_;
  std::FILE* capture_ = nullptr;
  bool captureFailed_ = false;
  tcp::Handle fd_ = tcp::kNoHandle;
  uint32_t socketSerial_ = 0;
  bool connecting_ = false;
  int64_t connectStarted_ = 0;
  std::string output_;
  bool stuck_ = false;    // the output overflowed: dropped at the next Process or Beat
  bool waiting_ = false;  // "waiting for Kodi" said
  int64_t nextConnect_ = 0;
  int64_t nextPoll_ = 0;
  int64_t nextWindow_ = 0;
};

}  // namespace lumora::sources
