// Desktop players on the session bus, told to the translation core: the updates of every
// player (player_update.h) in, the calls of a MediaSource out.
//
// A player gets its media session once it has an item and plays or pauses it; a new item (its
// identity: trackid, url, title, artist, album, number) starts again. A local file is told once
// its length is known: before that the player is still reading its tags. With several players the
// panel follows the one that changed state last: a player in the background that starts, plays
// or pauses is told again from its start, so that the agent shows it; its stop is told as it is
// and leaves the panel where it is. Play time and volume are told for the followed player only.
// When the followed player ends, the one that changed state last before it is told again; when
// no player has an item left, the application ends and the panel has its clock back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sources/media_source.h"
#include "sources/mpris/player_update.h"

namespace lumora::sources {

// The kind of an item by its url: cdda:// a CD, dvd:// (and dvdnav://, bd://) a disc, a file's
// extension audio or video; anything else a song when it names an artist or an album, else a
// video.
ItemKind KindOfTrack(const TrackMetadata& metadata);
// The title to show: the title, else the file name of the url (percent-escapes decoded).
std::string TitleOfTrack(const TrackMetadata& metadata);

class MprisAdapter {
 public:
  explicit MprisAdapter(MediaSource& source) : source_(source) {}

  void Apply(const PlayerUpdate& update);
  // The agent lost what it was told: every player with an item is told again, the followed one
  // last.
  void Resync();

  // The player the panel follows; empty when none.
  const std::string& followed() const { return followed_; }
  const PlayerState* Find(std::string_view player) const;
  // The players that play: their positions are worth asking for.
  std::vector<std::string> Playing() const;

 private:
  struct Known {
    PlayerState state;
    PlayerId id = 0;
    bool told = false;     // its item went to the source
    std::string itemKey;   // the item told
    uint64_t changed = 0;  // when it last changed state (a counter)
  };

  Known* FindKnown(std::string_view player);
  void Properties(Known& known, const PlayerUpdate& update);
  void Tell(Known& known);
  void Vanished(std::string_view player);

  MediaSource& source_;
  std::vector<Known> players_;
  std::string followed_;
  PlayerId nextId_ = 1;
  uint64_t clock_ = 0;
};

}  // namespace lumora::sources
