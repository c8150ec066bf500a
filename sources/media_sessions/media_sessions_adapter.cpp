#include "sources/media_sessions/media_sessions_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lumora::sources {

namespace {

bool Blank(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// What makes an item another one.
std::string ItemKey(const SessionReport& session) {
  return session.title + '\x1f' + session.artist + '\x1f' + session.albumTitle + '\x1f' +
         std::to_string(session.trackNumber) + '\x1f' +
         std::to_string(static_cast<int>(session.type));
}

bool HasTimeline(const SessionReport& session) {
  return session.updatedUnixMs != 0 || session.positionMs != session.startMs ||
         session.endMs != session.startMs;
}

}  // namespace

ItemKind KindOfSession(const SessionReport& session) {
  switch (session.type) {
    case PlaybackType::Music:
      return ItemKind::Song;
    case PlaybackType::Video:
      return ItemKind::Video;
    case PlaybackType::Image:
      return ItemKind::Picture;
    case PlaybackType::Unknown:
      break;
  }
  return Blank(session.artist) ? ItemKind::Video : ItemKind::Song;
}

PlayState StateOfSession(const SessionReport& session, PlayState before) {
  switch (session.status) {
    case SessionStatus::Playing:
      return PlayStateOfSpeed(session.rate);
    case SessionStatus::Paused:
      return PlayState::Paused;
    case SessionStatus::Stopped:
    case SessionStatus::Closed:
      return PlayState::Stopped;
    case SessionStatus::Opened:
    case SessionStatus::Changing:
      break;
  }
  return before;
}

void MediaSessionsAdapter::Apply(const std::vector<SessionReport>& sessions, int64_t nowMs) {
  if (&sessions != &last_) last_ = sessions;
  for (Known& known : known_)
    known.seen = false;
  for (const SessionReport& session : last_) {
    // A closed session is as good as gone.
    if (session.status == SessionStatus::Closed) continue;
    auto it = std::find_if(known_.begin(), known_.end(),
                           [&](const Known& k) { return k.key == session.key; });
    if (it == known_.end()) {
      known_.push_back(Known{});
      it = known_.end() - 1;
      it->key = session.key;
      it->id = nextId_++;
    }
    it->seen = true;
    Update(*it, session, nowMs);
  }
  bool ended = false;
  for (size_t i = known_.size(); i-- > 0;) {
    if (known_[i].seen) continue;
    if (known_[i].told) {
      source_.PlayerEnded(known_[i].id);
      ended = true;
    }
    known_.erase(known_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (ended && std::none_of(known_.begin(), known_.end(), [](const Known& k) { return k.told; }))
    source_.ApplicationEnded();
}

int64_t MediaSessionsAdapter::NextTickInMs(int64_t nowMs) const {
  int64_t next = -1;
  for (const Known& known : known_) {
    if (known.pendingKey.empty()) continue;
    const int64_t wait = std::max<int64_t>(0, kSettleMs - (nowMs - known.pendingSince));
    next = next < 0 ? wait : std::min(next, wait);
  }
  return next;
}

void MediaSessionsAdapter::Update(Known& known, const SessionReport& session, int64_t nowMs) {
  const bool hasItem = session.hasMedia && !Blank(session.title);
  if (hasItem) {
    const std::string key = ItemKey(session);
    if (known.told && key == known.itemKey) {
      known.pendingKey.clear();
    } else {
      if (key != known.pendingKey) {
        known.pendingKey = key;
        known.pendingSince = nowMs;
        known.changedUnixMs = unixClock_();
      }
      if (nowMs - known.pendingSince >= kSettleMs) {
        Tell(known, session);
        return;
      }
      // While the new item settles, the one told keeps its state; its timeline may already
      // be the new item's.
      if (known.told) {
        const PlayState state = StateOfSession(session, known.state);
        if (state != known.state) {
          known.state = state;
          source_.PlayStateChanged(known.id, state);
        }
      }
      return;
    }
  } else {
    // No title (yet, or between items): nothing new to tell; the item told stays.
    known.pendingKey.clear();
  }
  if (!known.told) return;
  const PlayState state = StateOfSession(session, known.state);
  if (state != known.state) {
    known.state = state;
    source_.PlayStateChanged(known.id, state);
  }
  Position(known, session, false);
}

void MediaSessionsAdapter::Tell(Known& known, const SessionReport& session) {
  Item item;
  item.kind = KindOfSession(session);
  item.title = session.title;
  item.artist = session.artist;
  item.number = session.trackNumber;
  item.fallback = session.artist;
  item.player = session.appId;
  source_.ItemStarted(known.id, item);
  const bool first = !known.told;
  known.state = StateOfSession(session, first ? PlayState::Stopped : known.state);
  if (known.state != PlayState::Playing) source_.PlayStateChanged(known.id, known.state);
  known.told = true;
  known.itemKey = known.pendingKey;
  known.pendingKey.clear();
  // The timeline of a session seen for the first time is its item's; after a change, only one
  // taken about when the item changed or later.
  if (!first && session.updatedUnixMs != 0 && session.updatedUnixMs < known.changedUnixMs - kLagMs)
    return;
  Position(known, session, true);
}

void MediaSessionsAdapter::Position(Known& known, const SessionReport& session, bool newItem) {
  if (!HasTimeline(session)) return;
  const bool fresh =
      session.updatedUnixMs != known.sampleAt || session.positionMs != known.samplePosition;
  if (!newItem && !fresh) return;  // the core runs the time on from the last one
  const int64_t unixMs = unixClock_();
  known.sampleAt = session.updatedUnixMs;
  known.samplePosition = session.positionMs;
  double position = static_cast<double>(session.positionMs - session.startMs);
  const bool playing = known.state == PlayState::Playing;
  if (playing && session.updatedUnixMs != 0)
    position +=
        static_cast<double>(std::max<int64_t>(0, unixMs - session.updatedUnixMs)) * session.rate;
  int64_t ms = std::llround(position);
  if (session.endMs > session.startMs) ms = std::min(ms, session.endMs - session.startMs);
  ms = std::max<int64_t>(0, ms);
  bool seeked = false;
  if (!newItem && known.lastPosition >= 0) {
    double expected = static_cast<double>(known.lastPosition);
    if (known.lastPlaying) expected += static_cast<double>(unixMs - known.lastAt) * known.lastRate;
    seeked = std::fabs(static_cast<double>(ms) - expected) >= static_cast<double>(kSeekMs);
  }
  source_.PositionChanged(known.id, ms, seeked);
  known.lastPosition = ms;
  known.lastAt = unixMs;
  known.lastRate = session.rate;
  known.lastPlaying = playing;
}

}  // namespace lumora::sources
