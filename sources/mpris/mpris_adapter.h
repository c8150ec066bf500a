// Desktop players on the session bus, told to the translation core: the updates of every
// player (player_update.h) in, the calls of a MediaSource out.
//
// A player gets its media session once it has an item and plays or pauses it; a new item (its
// identity: trackid, url, title, artist, album, number) starts again. A local file is told once
// its length is known: before that the player is still reading its tags. Which player has the
// panel is the core's rule, across every source of the follower. The desktop players are one
// application without menus of its own: it is there while some player has an item, and ends
// (the shell closes unless another application is there) when none has.
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
  explicit MprisAdapter(SourceApp& source) : source_(source) {}

  void Apply(const PlayerUpdate& update);

  const PlayerState* Find(std::string_view player) const;
  // The players told that play: their positions are worth asking for.
  std::vector<std::string> Playing() const;
  size_t playerCount() const { return players_.size(); }

 private:
  struct Known {
    PlayerState state;
    PlayerId id = 0;
    bool told = false;    // its item went to the source
    std::string itemKey;  // the item told
  };

  Known* FindKnown(std::string_view player);
  void Properties(Known& known, const PlayerUpdate& update);
  void Tell(Known& known);
  void Vanished(std::string_view player);

  SourceApp& source_;
  std::vector<Known> players_;
  PlayerId nextId_ = 1;
};

}  // namespace lumora::sources
