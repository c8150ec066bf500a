// What a desktop player on the session bus says, as plain data: the updates the bus watch reads
// (a player appearing, its properties changing, a seek, its position, its end) and the state of
// a player they add up to. Nothing here knows the bus: the watch fills these in, the adapter
// (mpris_adapter.h) reads them, and the tests replay them from fixture files.
//
// An update is also one line of text, the form of `lumora mpris -v` and of the fixtures:
//   appeared NAME
//   props NAME [status=S] [rate=R] [volume=V] [meta trackid=".." title=".." artist=".."
//              album=".." track=N length=US url=".."]
//   position NAME US
//   seeked NAME US
//   vanished NAME
// NAME is the player's bus name after "org.mpris.MediaPlayer2."; texts are quoted as in the
// scenario language (\" \\ \xHH); US are microseconds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::sources {

// The player-wide bus name prefix every player owns a name under.
inline constexpr std::string_view kMprisPrefix = "org.mpris.MediaPlayer2.";

// The player's Metadata that the panel uses.
struct TrackMetadata {
  std::string trackId;      // mpris:trackid
  std::string title;        // xesam:title
  std::string artist;       // the first of xesam:artist
  std::string album;        // xesam:album
  int64_t trackNumber = 0;  // xesam:trackNumber
  int64_t lengthUs = 0;     // mpris:length
  std::string url;          // xesam:url

  // No item: neither a title nor a url. A track id alone is not one (mpv's idle player says
  // "/noplaylist").
  bool empty() const { return title.empty() && url.empty(); }
  bool operator==(const TrackMetadata&) const = default;
};

struct PlayerUpdate {
  enum class Kind : uint8_t { Appeared, Properties, Position, Seeked, Vanished };
  Kind kind = Kind::Properties;
  std::string player;
  // Properties: each set only when the update carries it.
  bool hasStatus = false;
  std::string status;  // PlaybackStatus: Playing, Paused or Stopped
  bool hasRate = false;
  double rate = 1;
  bool hasVolume = false;
  double volume = 1;  // 0.0 to 1.0 (a player may go above)
  bool hasMetadata = false;
  TrackMetadata metadata;
  // Position and Seeked.
  int64_t positionUs = 0;
};

// The state of a player, all updates so far applied.
struct PlayerState {
  std::string player;
  std::string status;  // empty until the player said
  double rate = 1;
  double volume = -1;  // -1: the player did not say
  TrackMetadata metadata;
  int64_t positionUs = 0;

  // Applies a Properties, Position or Seeked update.
  void Apply(const PlayerUpdate& update);
};

// The update as one line of text (no line end).
std::string FormatUpdate(const PlayerUpdate& update);
// Reads one line; false with a reason when it is not an update.
bool ParseUpdate(std::string_view line, PlayerUpdate& update, std::string& error);

}  // namespace lumora::sources
