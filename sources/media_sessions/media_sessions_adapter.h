// Windows' media sessions told to the translation core: the sessions as Windows lists them
// (session_report.h) in, the calls of a MediaSource out. Portable: the Windows side
// (media_sessions_win32.h) only reads the sessions and hands them here on the follower's
// thread.
//
// Each session is a player of one application, "media sessions", without menus of its own;
// the session's application id names the player. A session is told once it has a title that
// has stayed the same for kSettleMs (players publish an empty title first, and the pieces of a
// new item a moment apart); an empty title later keeps the item told. Its play time is the
// timeline's position run on from LastUpdatedTime at the playback rate while it plays, so that
// players that refresh the position every few seconds, or never while playing, show a running
// time; a timeline taken more than kLagMs before the item changed belongs to the previous item
// and is not used for the new one (metadata that lags a track change). A session that vanishes
// or closes ends its player; with no session told left, the application ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sources/media_sessions/session_report.h"
#include "sources/media_source.h"

namespace lumora::sources {

// How long an item's media properties must stay the same before it is told.
inline constexpr int64_t kSettleMs = 300;
// How long before an item changed its timeline may have been taken and still be its own.
inline constexpr int64_t kLagMs = 3000;
// A position this far from where the last one runs to is a seek, sent at once.
inline constexpr int64_t kSeekMs = 2000;

// The item's kind by the playback type: music a song, video a video, an image a picture;
// unknown a song when it names an artist, else a video.
ItemKind KindOfSession(const SessionReport& session);
// The play state of a status and rate; Opened and Changing (between items) give the state
// before.
PlayState StateOfSession(const SessionReport& session, PlayState before);

class MediaSessionsAdapter {
 public:
  // unixClock: the system's clock in milliseconds since 1970, against which LastUpdatedTime is
  // read; asked at the moment a position is worked out (a delivery to the agent may have held
  // the follower a while since the sessions were read).
  MediaSessionsAdapter(SourceApp& source, std::function<int64_t()> unixClock)
      : source_(source), unixClock_(std::move(unixClock)) {}

  // Every session Windows lists now; nowMs: the follower's monotonic clock (for settling).
  void Apply(const std::vector<SessionReport>& sessions, int64_t nowMs);
  // Time-driven work: an item whose properties have settled. Apply again with the last
  // sessions when NextTickInMs says.
  void Tick(int64_t nowMs) { Apply(last_, nowMs); }
  // Milliseconds until Tick has something to do; -1 when nothing waits.
  int64_t NextTickInMs(int64_t nowMs) const;

  size_t sessionCount() const { return known_.size(); }

 private:
  struct Known {
    uint64_t key = 0;
    PlayerId id = 0;
    bool told = false;
    bool seen = false;          // in the sessions being applied
    std::string itemKey;        // of the item told
    std::string pendingKey;     // of the item waiting to settle
    int64_t pendingSince = 0;   // nowMs when it was first seen
    int64_t changedUnixMs = 0;  // unixMs when the item told last changed
    PlayState state = PlayState::Stopped;
    int64_t sampleAt = -1;  // the timeline sample used last: its LastUpdatedTime and position
    int64_t samplePosition = -1;
    int64_t lastPosition = -1;  // the position told last and when (unixMs)
    int64_t lastAt = 0;
    double lastRate = 1.0;
    bool lastPlaying = false;  // whether it played from that position on
  };

  void Update(Known& known, const SessionReport& session, int64_t nowMs);
  void Tell(Known& known, const SessionReport& session);
  void Position(Known& known, const SessionReport& session, bool newItem);

  SourceApp& source_;
  std::function<int64_t()> unixClock_;
  std::vector<Known> known_;
  std::vector<SessionReport> last_;
  PlayerId nextId_ = 1;
};

}  // namespace lumora::sources
