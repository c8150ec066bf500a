// Windows' media sessions for the follower: reads the system's media transport controls
// (GlobalSystemMediaTransportControlsSessionManager: its sessions, their media properties,
// playback info and timeline, and every change event) through the Windows Runtime, loaded at
// run time from combase.dll, and tells the sessions to the translation core through the
// portable adapter (media_sessions_adapter.h).
//
// The system calls the event handlers on threads of its own thread pool; they only note what
// changed in a mailbox and signal wakeEvent(). Everything else happens on the follower's
// thread, in Process: the follower waits on wakeEvent() beside its other handles, e.g.
//
//   MediaSessionsWatch media(mediaSource);          // mediaSource: a SourceApp of the core
//   if (!media.Start(error)) log.Line(error);       // one line; the other sources run on
//   ... MsgWaitForMultipleObjects(n, handles incl. media.wakeEvent(), FALSE, timeout, ...)
//   ... timeout = min(timeout, media.NextTickInMs())
//   media.Process();  media.Tick();                 // when woken, and on every pass
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sources/media_sessions/session_report.h"
#include "sources/media_source.h"

namespace lumora::sources {

class MediaSessionsWatch {
 public:
  // source: the application "media sessions" of the follower's core; nullptr to only read the
  // sessions (--list-media).
  explicit MediaSessionsWatch(SourceApp* source);
  ~MediaSessionsWatch();
  MediaSessionsWatch(const MediaSessionsWatch&) = delete;
  MediaSessionsWatch& operator=(const MediaSessionsWatch&) = delete;

  // Loads the Windows Runtime and asks for the manager. False, with one line in error, where
  // the media sessions are not available (no Windows Runtime, the class missing: before
  // Windows 10 1809); the source then stays off.
  bool Start(std::string& error);
  // Signalled when the system's threads noted a change; never closed while the watch lives.
  HANDLE wakeEvent() const;
  // Reads what changed and tells the adapter: on the follower's thread only.
  void Process();
  // The adapter's time-driven work (an item settling).
  int64_t NextTickInMs() const;
  void Tick();
  // True once the manager answered and every session's media properties were read.
  bool settled() const;
  // A failure after Start (the manager refused), in one line; empty while none.
  const std::string& failure() const;
  // The sessions as read so far.
  std::vector<SessionReport> Sessions() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// --list-media: every session as Windows reports it, one line each (DescribeSession), after
// waiting up to waitMs for the system's answers. False, with one line in error, where the media
// sessions are not available.
bool ListMediaSessions(std::vector<std::string>& lines, std::string& error, DWORD waitMs = 5000);

}  // namespace lumora::sources
