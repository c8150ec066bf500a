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
      if (known->told && followed_ == known->state.player) {
        source_.PositionChanged(known->id, update.positionUs / 1000000,
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
  if (now != before) {
    known.changed = ++clock_;
    if (now == PlayState::Stopped || followed_ == state.player) {
      source_.PlayStateChanged(known.id, now);
    } else {
      Tell(known);  // from the background: it takes the panel
      return;
    }
  }
  if (update.hasVolume && followed_ == state.player)
    source_.VolumeChanged(state.volume * 100.0, false);
}

void MprisAdapter::Tell(Known& known) {
  const PlayerState& state = known.state;
  Item item;
  item.kind = KindOfTrack(state.metadata);
  item.title = TitleOfTrack(state.metadata);
  item.artist = state.metadata.artist;
  item.number = state.metadata.trackNumber;
  source_.ItemStarted(known.id, item);
  const PlayState now = StateOf(state);
  if (now != PlayState::Playing) source_.PlayStateChanged(known.id, now);
  known.told = true;
  known.itemKey = ItemKey(state.metadata);
  known.changed = ++clock_;
  followed_ = state.player;
  if (state.volume >= 0) source_.VolumeChanged(state.volume * 100.0, false);
}

void MprisAdapter::Vanished(std::string_view player) {
  const auto it = std::find_if(players_.begin(), players_.end(),
                               [&](const Known& k) { return k.state.player == player; });
  if (it == players_.end()) return;
  const bool wasFollowed = followed_ == player;
  if (it->told) source_.PlayerEnded(it->id);
  players_.erase(it);
  if (!wasFollowed) return;
  followed_.clear();
  Known* next = nullptr;
  for (Known& known : players_) {
    if (known.told && (next == nullptr || known.changed > next->changed)) next = &known;
  }
  if (next != nullptr && Shown(next->state)) {
    Tell(*next);
  } else if (next == nullptr) {
    source_.ApplicationEnded();  // no player has an item: the panel has its clock back
  } else {
    followed_ = next->state.player;  // stopped: it keeps its session, and the panel stays
  }
}

void MprisAdapter::Resync() {
  std::vector<Known*> order;
  for (Known& known : players_) {
    if (known.told) order.push_back(&known);
    known.told = false;
  }
  // The followed player last, so that the panel shows it again.
  std::sort(order.begin(), order.end(), [&](const Known* a, const Known* b) {
    const bool aFollowed = a->state.player == followed_, bFollowed = b->state.player == followed_;
    if (aFollowed != bFollowed) return bFollowed;
    return a->changed < b->changed;
  });
  for (Known* known : order)
    if (Shown(known->state)) Tell(*known);
}

}  // namespace lumora::sources
