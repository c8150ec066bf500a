#include "sources/mpris/player_watch.h"

#include <poll.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/posix/monotonic_clock.h"

namespace lumora::sources {

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// A player whose properties cannot be had yet is asked again this often, this many times.
constexpr int kPropertyTries = 5;
constexpr int64_t kPropertyRetryMs = 200;

std::string Errno(int r) {
  return std::strerror(r < 0 ? -r : r);
}

// Reads a variant holding a text (s, o) or a list of texts (as: the first). False for any other
// type (skipped).
bool ReadText(sd_bus_message* m, std::string& out) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) < 0 || type != SD_BUS_TYPE_VARIANT)
    return false;
  if (contents != nullptr && (std::strcmp(contents, "s") == 0 || std::strcmp(contents, "o") == 0)) {
    const char* text = nullptr;
    if (sd_bus_message_read(m, "v", contents, &text) < 0) return false;
    out = text != nullptr ? text : "";
    return true;
  }
  if (contents != nullptr && std::strcmp(contents, "as") == 0) {
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, "as") < 0) return false;
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "s") < 0) return false;
    const char* text = nullptr;
    out.clear();
    bool first = true;
    while (sd_bus_message_read(m, "s", &text) > 0) {
      if (first && text != nullptr) out = text;
      first = false;
    }
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    return true;
  }
  sd_bus_message_skip(m, "v");
  return false;
}

// Reads a variant holding a number of any integer or floating type, or a text that is a number
// (VLC's track number).
bool ReadNumber(sd_bus_message* m, double& out) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) < 0 || type != SD_BUS_TYPE_VARIANT ||
      contents == nullptr || std::strlen(contents) != 1) {
    sd_bus_message_skip(m, "v");
    return false;
  }
  int r = -EINVAL;
  switch (contents[0]) {
    case 's': {
      const char* text = nullptr;
      r = sd_bus_message_read(m, "v", "s", &text);
      if (r < 0 || text == nullptr) return false;
      char* end = nullptr;
      out = std::strtod(text, &end);
      return end != text && *end == '\0';
    }
    case 'd': {
      double v = 0;
      r = sd_bus_message_read(m, "v", "d", &v);
      out = v;
      break;
    }
    case 'x': {
      int64_t v = 0;
      r = sd_bus_message_read(m, "v", "x", &v);
      out = static_cast<double>(v);
      break;
    }
    case 't': {
      uint64_t v = 0;
      r = sd_bus_message_read(m, "v", "t", &v);
      out = static_cast<double>(v);
      break;
    }
    case 'i': {
      int32_t v = 0;
      r = sd_bus_message_read(m, "v", "i", &v);
      out = v;
      break;
    }
    case 'u': {
      uint32_t v = 0;
      r = sd_bus_message_read(m, "v", "u", &v);
      out = v;
      break;
    }
    default:
      sd_bus_message_skip(m, "v");
      return false;
  }
  return r >= 0;
}

int64_t Whole(double value) {
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;  // NaN and the out of range alike
  return static_cast<int64_t>(value);
}

// Reads Metadata (a variant holding a{sv}).
bool ReadMetadata(sd_bus_message* m, TrackMetadata& out) {
  out = TrackMetadata{};
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, "a{sv}") < 0) {
    sd_bus_message_skip(m, "v");
    return false;
  }
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") < 0) return false;
  while (sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0 || key == nullptr) return false;
    double number = 0;
    if (std::strcmp(key, "mpris:trackid") == 0) {
      ReadText(m, out.trackId);
    } else if (std::strcmp(key, "xesam:title") == 0) {
      ReadText(m, out.title);
    } else if (std::strcmp(key, "xesam:artist") == 0) {
      ReadText(m, out.artist);
    } else if (std::strcmp(key, "xesam:album") == 0) {
      ReadText(m, out.album);
    } else if (std::strcmp(key, "xesam:url") == 0) {
      ReadText(m, out.url);
    } else if (strcasecmp(key, "xesam:trackNumber") == 0) {  // VLC: xesam:tracknumber
      if (ReadNumber(m, number)) out.trackNumber = Whole(number);
    } else if (std::strcmp(key, "mpris:length") == 0) {
      if (ReadNumber(m, number)) out.lengthUs = Whole(number);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  sd_bus_message_exit_container(m);
  return true;
}

// Reads a{sv} of the player's properties into update; false when the message is not that.
bool ReadProperties(sd_bus_message* m, PlayerUpdate& update) {
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") < 0) return false;
  while (sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
    const char* name = nullptr;
    if (sd_bus_message_read(m, "s", &name) < 0 || name == nullptr) return false;
    if (std::strcmp(name, "PlaybackStatus") == 0) {
      update.hasStatus = ReadText(m, update.status);
    } else if (std::strcmp(name, "Rate") == 0) {
      update.hasRate = ReadNumber(m, update.rate);
    } else if (std::strcmp(name, "Volume") == 0) {
      update.hasVolume = ReadNumber(m, update.volume);
    } else if (std::strcmp(name, "Metadata") == 0) {
      update.hasMetadata = ReadMetadata(m, update.metadata);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  return true;
}

// What a call to a player carries to its answer; freed by the bus with the call.
struct CallContext {
  PlayerWatch* watch;
  std::string player;
  void (*done)(PlayerWatch&, const std::string&, sd_bus_message*);
};

int OnCallReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* context = static_cast<CallContext*>(userdata);
  context->done(*context->watch, context->player, m);
  return 0;
}

void FreeContext(void* userdata) {
  delete static_cast<CallContext*>(userdata);
}

}  // namespace

PlayerWatch::~PlayerWatch() {
  if (bus_ != nullptr) sd_bus_flush_close_unref(bus_);
}

void PlayerWatch::Problem(const std::string& line) {
  if (problem_) problem_(line);
}

int64_t PlayerWatch::Now() const {
  return MonotonicMs() - startMs_;
}

void PlayerWatch::Emit(PlayerUpdate& update) {
  update.atMs = Now();
  Owner* owner = Named(update.player);
  if (owner != nullptr && update.hasMetadata && !(update.metadata == owner->metadata)) {
    owner->metadata = update.metadata;
    owner->settleAtMs = update.atMs + kMetadataSettleMs;
  }
  sink_(update);
}

void PlayerWatch::Settle() {
  const int64_t now = Now();
  for (size_t i = 0; i < owners_.size(); ++i) {
    if (owners_[i].askAgainAtMs >= 0 && owners_[i].askAgainAtMs <= now) {
      owners_[i].askAgainAtMs = -1;
      AskProperties(owners_[i].player);
    }
    if (owners_[i].settleAtMs < 0 || owners_[i].settleAtMs > now) continue;
    owners_[i].settleAtMs = -1;
    PlayerUpdate update;
    update.kind = PlayerUpdate::Kind::Properties;
    update.player = owners_[i].player;
    Emit(update);
  }
}

bool PlayerWatch::Start(std::string& error) {
  startMs_ = MonotonicMs();
  int r = sd_bus_open_user(&bus_);
  if (r < 0) {
    bus_ = nullptr;
    error = "no session bus (" + Errno(r) + ")";
    return false;
  }
  const char* rules[] = {
      "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
      "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'",
      "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
      "path='/org/mpris/MediaPlayer2',arg0='org.mpris.MediaPlayer2.Player'",
      "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked',"
      "path='/org/mpris/MediaPlayer2'",
  };
  sd_bus_message_handler_t handlers[] = {&PlayerWatch::OnNameOwnerChanged,
                                         &PlayerWatch::OnPropertiesChanged, &PlayerWatch::OnSeeked};
  for (size_t i = 0; i < 3 && r >= 0; ++i)
    r = sd_bus_add_match_async(bus_, nullptr, rules[i], handlers[i], nullptr, this);
  // After the subscriptions: a player that appears in between is seen twice, never missed.
  if (r >= 0) {
    r = sd_bus_call_method_async(bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "ListNames", &PlayerWatch::OnListNames,
                                 this, "");
  }
  if (r < 0) {
    error = "cannot follow the players on the session bus (" + Errno(r) + ")";
    bus_ = sd_bus_flush_close_unref(bus_);
    return false;
  }
  return true;
}

int PlayerWatch::fd() const {
  return bus_ != nullptr ? sd_bus_get_fd(bus_) : -1;
}

short PlayerWatch::events() const {
  if (bus_ == nullptr) return 0;
  const int e = sd_bus_get_events(bus_);
  return e < 0 ? short{POLLIN} : static_cast<short>(e);
}

int PlayerWatch::timeoutMs() const {
  if (bus_ == nullptr) return -1;
  int wait = -1;
  uint64_t until = 0;
  if (sd_bus_get_timeout(bus_, &until) >= 0 && until != UINT64_MAX)
    wait = MillisecondsUntilUs(until, 60000);
  const int64_t now = Now();
  for (const Owner& owner : owners_) {
    for (const int64_t at : {owner.settleAtMs, owner.askAgainAtMs}) {
      if (at < 0) continue;
      const int rest = static_cast<int>(std::max<int64_t>(0, at - now));
      if (wait < 0 || rest < wait) wait = rest;
    }
  }
  return wait;
}

bool PlayerWatch::Process(std::string& error) {
  if (bus_ == nullptr) {
    error = "no session bus";
    return false;
  }
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) {
      error = "the session bus went away (" + Errno(r) + ")";
      bus_ = sd_bus_flush_close_unref(bus_);
      return false;
    }
    if (r == 0) break;
  }
  Settle();
  return true;
}

PlayerWatch::Owner* PlayerWatch::OwnerOf(const char* unique) {
  if (unique == nullptr) return nullptr;
  for (Owner& owner : owners_)
    if (owner.announced && owner.unique == unique) return &owner;
  return nullptr;
}

PlayerWatch::Owner* PlayerWatch::Named(const std::string& player) {
  for (Owner& owner : owners_)
    if (owner.player == player) return &owner;
  return nullptr;
}

void PlayerWatch::Call(const std::string& player, const char* interface, const char* member,
                       void (*done)(PlayerWatch&, const std::string&, sd_bus_message*),
                       const char* types, const char* a, const char* b) {
  const std::string destination = std::string(kMprisPrefix) + player;
  auto* context = new CallContext{this, player, done};
  sd_bus_slot* slot = nullptr;
  const int r = types == nullptr
                    ? sd_bus_call_method_async(bus_, &slot, destination.c_str(), kPath, interface,
                                               member, &OnCallReply, context, "")
                    : sd_bus_call_method_async(bus_, &slot, destination.c_str(), kPath, interface,
                                               member, &OnCallReply, context, types, a, b);
  if (r < 0) {
    delete context;
    Problem("cannot ask the player " + player + " (" + Errno(r) + ")");
    return;
  }
  // The bus owns the call from here and frees its context with it.
  sd_bus_slot_set_destroy_callback(slot, &FreeContext);
  sd_bus_slot_set_floating(slot, 1);
  sd_bus_slot_unref(slot);
}

void PlayerWatch::Appeared(const std::string& player, const std::string& unique) {
  if (Named(player) != nullptr) return;  // seen already (at start, and announced meanwhile)
  Owner& added = owners_.emplace_back();
  added.unique = unique;
  added.player = player;
  // Its process first: a second name of a player already told stays silent.
  auto* context = new CallContext{this, player, nullptr};
  sd_bus_slot* slot = nullptr;
  const std::string name = std::string(kMprisPrefix) + player;
  const int r = sd_bus_call_method_async(
      bus_, &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID",
      [](sd_bus_message* m, void* userdata, sd_bus_error*) {
        const auto* call = static_cast<CallContext*>(userdata);
        PlayerWatch& watch = *call->watch;
        Owner* owner = watch.Named(call->player);
        if (owner == nullptr || owner->announced) return 0;  // gone meanwhile
        uint32_t pid = 0;
        if (!sd_bus_message_is_method_error(m, nullptr) && sd_bus_message_read(m, "u", &pid) > 0)
          owner->pid = pid;
        for (const Owner& other : watch.owners_)
          if (other.announced && pid != 0 && other.pid == pid) return 0;  // its second name
        watch.Announce(*owner);
        return 0;
      },
      context, "s", name.c_str());
  if (r < 0) {
    delete context;
    Announce(owners_.back());
    return;
  }
  sd_bus_slot_set_destroy_callback(slot, &FreeContext);
  sd_bus_slot_set_floating(slot, 1);
  sd_bus_slot_unref(slot);
}

void PlayerWatch::Announce(Owner& owner) {
  owner.announced = true;
  PlayerUpdate update;
  update.kind = PlayerUpdate::Kind::Appeared;
  update.player = owner.player;
  Emit(update);
  AskProperties(owner.player);
}

void PlayerWatch::AskProperties(const std::string& player) {
  Call(
      player, kProperties, "GetAll",
      [](PlayerWatch& watch, const std::string& name, sd_bus_message* m) {
        const sd_bus_error* error = sd_bus_message_get_error(m);
        if (error != nullptr) {
          // A player may take its name before its object is there (Firefox): asked again a
          // little later, a few times. Vanished mid-call, or not a player after all: its end
          // comes by NameOwnerChanged.
          Owner* owner = watch.Named(name);
          if (owner != nullptr && ++owner->propertyTries < kPropertyTries) {
            owner->askAgainAtMs = watch.Now() + kPropertyRetryMs;
            return;
          }
          watch.Problem("the player " + name + " did not give its properties (" +
                        (error->message != nullptr ? error->message : error->name) + ")");
          return;
        }
        Owner* owner = watch.Named(name);
        if (owner == nullptr || !owner->announced) return;
        // Found at start: its connection's name comes with the answer.
        const char* sender = sd_bus_message_get_sender(m);
        if (owner->unique.empty() && sender != nullptr) owner->unique = sender;
        PlayerUpdate properties;
        properties.kind = PlayerUpdate::Kind::Properties;
        properties.player = name;
        if (!ReadProperties(m, properties)) {
          watch.Problem("the player " + name + " gave properties that cannot be read");
          return;
        }
        watch.Emit(properties);
      },
      "s", kPlayer);
}

void PlayerWatch::Vanished(const std::string& player) {
  for (auto it = owners_.begin(); it != owners_.end(); ++it) {
    if (it->player != player) continue;
    const bool announced = it->announced;
    const uint32_t pid = it->pid;
    owners_.erase(it);
    if (!announced) return;
    PlayerUpdate update;
    update.kind = PlayerUpdate::Kind::Vanished;
    update.player = player;
    Emit(update);
    // The same process still there under its second name: that one is the player now.
    for (Owner& other : owners_) {
      if (!other.announced && pid != 0 && other.pid == pid) {
        Announce(other);
        break;
      }
    }
    return;
  }
}

int PlayerWatch::OnListNames(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& watch = *static_cast<PlayerWatch*>(self);
  if (sd_bus_message_is_method_error(m, nullptr)) {
    watch.Problem("the session bus did not list its names");
    return 0;
  }
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "s") < 0) return 0;
  const char* name = nullptr;
  std::vector<std::string> players;
  while (sd_bus_message_read(m, "s", &name) > 0) {
    const std::string_view text = name != nullptr ? name : "";
    if (text.size() > kMprisPrefix.size() && text.substr(0, kMprisPrefix.size()) == kMprisPrefix)
      players.emplace_back(text.substr(kMprisPrefix.size()));
  }
  for (const std::string& player : players)
    watch.Appeared(player, "");
  return 0;
}

int PlayerWatch::OnNameOwnerChanged(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& watch = *static_cast<PlayerWatch*>(self);
  const char *name = nullptr, *before = nullptr, *after = nullptr;
  if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 || name == nullptr) return 0;
  const std::string_view text = name;
  if (text.size() <= kMprisPrefix.size() || text.substr(0, kMprisPrefix.size()) != kMprisPrefix)
    return 0;
  const std::string player(text.substr(kMprisPrefix.size()));
  if (before != nullptr && before[0] != '\0') watch.Vanished(player);
  if (after != nullptr && after[0] != '\0') watch.Appeared(player, after);
  return 0;
}

int PlayerWatch::OnPropertiesChanged(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& watch = *static_cast<PlayerWatch*>(self);
  const Owner* owner = watch.OwnerOf(sd_bus_message_get_sender(m));
  if (owner == nullptr) return 0;  // not a player, or one whose properties are on their way
  const char* interface = nullptr;
  if (sd_bus_message_read(m, "s", &interface) < 0) return 0;
  PlayerUpdate update;
  update.kind = PlayerUpdate::Kind::Properties;
  update.player = owner->player;
  if (!ReadProperties(m, update)) return 0;
  // Properties said to have changed without their values: asked for when the panel uses one.
  bool invalidated = false;
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "s") > 0) {
    const char* name = nullptr;
    while (sd_bus_message_read(m, "s", &name) > 0) {
      for (const char* used : {"PlaybackStatus", "Rate", "Volume", "Metadata"})
        invalidated = invalidated || (name != nullptr && std::strcmp(name, used) == 0);
    }
    sd_bus_message_exit_container(m);
  }
  const std::string player = owner->player;
  if (update.hasStatus || update.hasRate || update.hasVolume || update.hasMetadata)
    watch.Emit(update);
  if (invalidated) watch.AskProperties(player);
  return 0;
}

int PlayerWatch::OnSeeked(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& watch = *static_cast<PlayerWatch*>(self);
  Owner* owner = watch.OwnerOf(sd_bus_message_get_sender(m));
  int64_t position = 0;
  if (owner == nullptr || sd_bus_message_read(m, "x", &position) < 0) return 0;
  PlayerUpdate update;
  update.kind = PlayerUpdate::Kind::Seeked;
  update.player = owner->player;
  update.positionUs =
      owner->unit.Microseconds(position, watch.Now(), owner->metadata.lengthUs, true);
  watch.Emit(update);
  return 0;
}

void PlayerWatch::AskPositions(const std::vector<std::string>& players) {
  if (bus_ == nullptr) return;
  for (const std::string& player : players) {
    Call(
        player, kProperties, "Get",
        [](PlayerWatch& watch, const std::string& name, sd_bus_message* m) {
          if (sd_bus_message_is_method_error(m, nullptr)) return;  // gone meanwhile
          Owner* owner = watch.Named(name);
          if (owner == nullptr || !owner->announced) return;
          PlayerUpdate update;
          update.kind = PlayerUpdate::Kind::Position;
          update.player = name;
          double position = 0;
          if (!ReadNumber(m, position)) {
            watch.Problem("the player " + name + " gave a position that is not a number");
            return;
          }
          update.positionUs = owner->unit.Microseconds(Whole(position), watch.Now(),
                                                       owner->metadata.lengthUs, false);
          watch.Emit(update);
        },
        "ss", kPlayer, "Position");
  }
}

}  // namespace lumora::sources
