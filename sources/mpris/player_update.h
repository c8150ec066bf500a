// What a desktop player on the session bus says, as plain data: the updates the bus watch reads
// (a player appearing, its properties changing, a seek, its position, its end) and the state of
// a player they add up to. Nothing here knows the bus: the watch fills these in, the adapter
// (mpris_adapter.h) reads them, and the tests replay them from fixture files.
//
// An update is also one line of text, the form of `lumora mpris -v` and of the fixtures:
//   appeared NAME [at=MS]
//   props NAME [status=S] [rate=R] [volume=V] [meta trackid=".." title=".." artist=".."
//              album=".." track=N length=US url=".."] [at=MS]
//   position NAME US [at=MS]
//   seeked NAME US [at=MS]
//   vanished NAME [at=MS]
// NAME is the player's bus name after "org.mpris.MediaPlayer2."; texts are quoted as in the
// scenario language, UTF-8 as it is (\" \\, \xHH for a control or stray byte); US are
// microseconds; MS the milliseconds since the watch
// started when it read the update (a line without it: the time is not known).
//
// A "props NAME at=MS" with nothing else is the watch saying that the player's metadata has not
// changed for kMetadataSettleMs: the moment an item that came in pieces is whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::sources {

// The player-wide bus name prefix every player owns a name under.
inline constexpr std::string_view kMprisPrefix = "org.mpris.MediaPlayer2.";

// How long a player's metadata must stay the same before its item is told. Players give an item
// in pieces, each its own update within a few milliseconds: Chromium the title, then the artist,
// then the album; Firefox the page's title, then the page's media metadata. Told at the first
// piece, the panel would show one item two or three times over.
inline constexpr int64_t kMetadataSettleMs = 200;

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
  // When the watch read it, in milliseconds since the watch started; -1 when not known.
  int64_t atMs = -1;
};

// The state of a player, all updates so far applied.
struct PlayerState {
  std::string player;
  std::string status;  // empty until the player said
  double rate = 1;
  double volume = -1;  // -1: the player did not say
  TrackMetadata metadata;
  int64_t positionUs = 0;
  int64_t lastAtMs = -1;      // the time of the player's latest update
  int64_t metadataAtMs = -1;  // the time its metadata last changed

  // Applies a Properties, Position or Seeked update.
  void Apply(const PlayerUpdate& update);

  // Whether the player's item is ready to be told: there is one (a title or a url; a track id
  // alone is not one: mpv's idle player says "/noplaylist", Chromium's page names a track before
  // its title), the player plays or pauses it, a local file's length is known (mpv names a file
  // by its file name and gives its tags a moment later), and the metadata has stayed the same
  // for kMetadataSettleMs (when the updates carry their times).
  bool ReadyToTell() const;
};

// The unit of a player's positions. Microseconds are due, but a player may give milliseconds,
// seconds or nanoseconds. Decided from how fast the asked position runs while the player plays
// (about 1000 units a second: milliseconds), and only where the item's length (in microseconds)
// allows it: a position in milliseconds times 1000 is within the length; a raw position beyond
// the length is not in microseconds. Until decided, microseconds.
class PositionUnit {
 public:
  // A position the player gave at atMs (its milliseconds since the watch started): asked while
  // it plays, or announced by a seek (which starts the measure again). Returns microseconds.
  int64_t Microseconds(int64_t raw, int64_t atMs, int64_t lengthUs, bool seeked);

 private:
  int64_t Convert(int64_t raw) const;

  int64_t scale_ = 1;  // microseconds per unit: 1, 1000 or 1000000; 0 for nanoseconds
  bool decided_ = false;
  int64_t candidate_ = 1;  // the unit the last measure pointed at
  int agreeing_ = 0;       // how many measures in a row pointed at it
  int64_t lastRaw_ = -1;
  int64_t lastAtMs_ = -1;
};

// The update as one line of text (no line end).
std::string FormatUpdate(const PlayerUpdate& update);
// Reads one line; false with a reason when it is not an update.
bool ParseUpdate(std::string_view line, PlayerUpdate& update, std::string& error);

}  // namespace lumora::sources
