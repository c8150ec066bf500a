#include "sources/mpris/mpris_adapter.h"

#include <algorithm>
#include <array>

namespace lumora::sources {

namespace {

// Url schemes and file extensions that say what an item is.
struct KindOfName {
  std::string_view name;
  ItemKind kind;
};
constexpr std::array<KindOfName, 4> kSchemes{{
    {"cdda://", ItemKind::AudioCd},
    {"dvd://", ItemKind::DiscImage},
    {"dvdnav://", ItemKind::DiscImage},
    {"bd://", ItemKind::DiscImage},
}};
constexpr std::array<KindOfName, 31> kExtensions{{
    {"mp3", ItemKind::Song},      {"flac", ItemKind::Song},  {"ogg", ItemKind::Song},
    {"oga", ItemKind::Song},      {"opus", ItemKind::Song},  {"m4a", ItemKind::Song},
    {"aac", ItemKind::Song},      {"wav", ItemKind::Song},   {"wma", ItemKind::Song},
    {"ape", ItemKind::Song},      {"mka", ItemKind::Song},   {"aiff", ItemKind::Song},
    {"alac", ItemKind::Song},     {"mpc", ItemKind::Song},   {"wv", ItemKind::Song},
    {"mkv", ItemKind::Video},     {"mp4", ItemKind::Video},  {"m4v", ItemKind::Video},
    {"avi", ItemKind::Video},     {"webm", ItemKind::Video}, {"mov", ItemKind::Video},
    {"wmv", ItemKind::Video},     {"mpg", ItemKind::Video},  {"mpeg", ItemKind::Video},
    {"ts", ItemKind::Video},      {"m2ts", ItemKind::Video}, {"ogv", ItemKind::Video},
    {"flv", ItemKind::Video},     {"3gp", ItemKind::Video},  {"iso", ItemKind::DiscImage},
    {"vob", ItemKind::DiscImage},
}};

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

// The url's path without its query or fragment.
std::string_view PathOf(std::string_view url) {
  const size_t end = url.find_first_of("?#");
  return url.substr(0, end);
}

std::string ItemKey(const TrackMetadata& m) {
  // Units that cannot occur in the texts keep the fields apart.
  return m.trackId + '\x1f' + m.url + '\x1f' + m.title + '\x1f' + m.artist + '\x1f' + m.album +
         '\x1f' + std::to_string(m.trackNumber);
}

bool Shown(const PlayerState& state) {
  return state.ReadyToTell();
}

PlayState StateOf(const PlayerState& state) {
  if (state.status == "Paused") return PlayState::Paused;
  if (state.status == "Playing") return PlayStateOfSpeed(state.rate);
  return PlayState::Stopped;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

ItemKind KindOfTrack(const TrackMetadata& metadata) {
  const std::string_view url = metadata.url;
  for (const KindOfName& scheme : kSchemes)
    if (StartsWithNoCase(url, scheme.name)) return scheme.kind;
  const std::string_view path = PathOf(url);
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    const std::string_view extension = path.substr(dot + 1);
    for (const KindOfName& known : kExtensions) {
      if (extension.size() == known.name.size() && StartsWithNoCase(extension, known.name))
        return known.kind;
    }
  }
  return metadata.artist.empty() && metadata.album.empty() ? ItemKind::Video : ItemKind::Song;
}

std::string TitleOfTrack(const TrackMetadata& metadata) {
  if (!metadata.title.empty()) return metadata.title;
  const std::string_view path = PathOf(metadata.url);
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string title;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() && HexValue(name[i + 1]) >= 0 &&
        HexValue(name[i + 2]) >= 0) {
      title += static_cast<char>(HexValue(name[i + 1]) * 16 + HexValue(name[i + 2]));
      i += 2;
    } else {
      title += name[i];
    }
  }
  return title;
}

MprisAdapter::Known* MprisAdapter::FindKnown(std::string_view player) {
  for (Known& known : players_)
    if (known.state.player == player) return &known;
  return nullptr;
}

const PlayerState* MprisAdapter::Find(std::string_view player) const {
  for (const Known& known : players_)
    if (known.state.player == player) return &known.state;
  return nullptr;
}

std::vector<std::string> MprisAdapter::Playing() const {
  std::vector<std::string> names;
  for (const Known& known : players_)
    if (known.told && known.state.status == "Playing") names.push_back(known.state.player);
  return names;
}

void MprisAdapter::Apply(const PlayerUpdate& update) {
  if (update.kind == PlayerUpdate::Kind::Vanished) {
    Vanished(update.player);
    return;
  }
  Known* known = FindKnown(update.player);
  if (known == nullptr) {
    // A player's first word may come before the bus said it appeared.
    players_.push_back(Known{});
    known = &players_.back();
    known->state.player = update.player;
    known->id = nextId_++;
  }
  switch (update.kind) {
    case PlayerUpdate::Kind::Appeared:
    case PlayerUpdate::Kind::Vanished:
      break;
    case PlayerUpdate::Kind::Properties:
      Properties(*known, update);
      break;
    case PlayerUpdate::Kind::Position:
    case PlayerUpdate::Kind::Seeked:
      known->state.Apply(update);
      if (known->told) {
        source_.PositionChanged(known->id, update.positionUs / 1000,
                                update.kind == PlayerUpdate::Kind::Seeked);
      }
      break;
  }
}

void MprisAdapter::Properties(Known& known, const PlayerUpdate& update) {
  const PlayState before = StateOf(known.state);
  known.state.Apply(update);
  PlayerState& state = known.state;
  if (Shown(state) && (!known.told || ItemKey(state.metadata) != known.itemKey)) {
    Tell(known);  // a new item, or the first one
    return;
  }
  if (!known.told) return;
  const PlayState now = StateOf(state);
  if (now != before) source_.PlayStateChanged(known.id, now);
  if (update.hasVolume) source_.PlayerVolumeChanged(known.id, state.volume * 100.0);
}

void MprisAdapter::Tell(Known& known) {
  const PlayerState& state = known.state;
  Item item;
  item.kind = KindOfTrack(state.metadata);
  item.title = TitleOfTrack(state.metadata);
  item.artist = state.metadata.artist;
  item.number = state.metadata.trackNumber;
  item.player = state.player;
  // When the title has nothing the panel can show: the file's name, else the artist.
  TrackMetadata nameOnly = state.metadata;
  nameOnly.title.clear();
  item.fallback = TitleOfTrack(nameOnly);
  if (item.fallback.empty()) item.fallback = state.metadata.artist;
  source_.ItemStarted(known.id, item);
  const PlayState now = StateOf(state);
  if (now != PlayState::Playing) source_.PlayStateChanged(known.id, now);
  if (state.volume >= 0) source_.PlayerVolumeChanged(known.id, state.volume * 100.0);
  known.told = true;
  known.itemKey = ItemKey(state.metadata);
}

void MprisAdapter::Vanished(std::string_view player) {
  const auto it = std::find_if(players_.begin(), players_.end(),
                               [&](const Known& k) { return k.state.player == player; });
  if (it == players_.end()) return;
  if (it->told) source_.PlayerEnded(it->id);
  players_.erase(it);
  // No player has an item left: the desktop players are gone as an application.
  if (std::none_of(players_.begin(), players_.end(), [](const Known& k) { return k.told; }))
    source_.ApplicationEnded();
}

}  // namespace lumora::sources
