// One media session as Windows reports it, in plain data: what the media-sessions watch reads
// from a GlobalSystemMediaTransportControlsSession (its application, media properties,
// playback info and timeline), and what --list-media prints. Portable, so that the adapter and
// the listing are tested without Windows.
#pragma once

#include <cstdint>
#include <string>

namespace lumora::sources {

// GlobalSystemMediaTransportControlsSessionPlaybackStatus, by its values.
enum class SessionStatus : int32_t {
  Closed = 0,
  Opened = 1,
  Changing = 2,
  Stopped = 3,
  Playing = 4,
  Paused = 5,
};

// Windows.Media.MediaPlaybackType, by its values.
enum class PlaybackType : int32_t {
  Unknown = 0,
  Music = 1,
  Video = 2,
  Image = 3,
};

struct SessionReport {
  uint64_t key = 0;       // names the session object while it lives (the watch's own)
  std::string appId;      // SourceAppUserModelId: the application that publishes it
  bool hasMedia = false;  // the media properties were read
  std::string title;      // UTF-8
  std::string artist;
  std::string albumTitle;
  int32_t trackNumber = 0;
  PlaybackType type = PlaybackType::Unknown;  // the media properties', else the playback info's
  SessionStatus status = SessionStatus::Closed;
  double rate = 1.0;  // the playback info's rate; 1 when it gives none
  // The timeline, in milliseconds: the position at updatedUnixMs (LastUpdatedTime, in
  // milliseconds since 1970 UTC; 0 when the player never set it), the start and the end.
  int64_t positionMs = 0;
  int64_t startMs = 0;
  int64_t endMs = 0;
  int64_t updatedUnixMs = 0;
};

const char* StatusName(SessionStatus status);
const char* PlaybackTypeName(PlaybackType type);

// One line of --list-media: the session as Windows reports it, nothing worked out.
//   APP  status=Playing type=Music rate=1 title="..." artist="..." album="..." track=4
//        position=0:01:04.250 end=0:04:00.000 updated=2026-12-11 10:35:12.123 UTC
std::string DescribeSession(const SessionReport& session);

}  // namespace lumora::sources
