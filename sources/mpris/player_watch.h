// Every desktop player on the session bus (each owns a name org.mpris.MediaPlayer2.NAME), read
// through sd-bus of libsystemd into PlayerUpdates: players appearing and vanishing
// (NameOwnerChanged, and the names already there at start), their properties (GetAll once, then
// PropertiesChanged: PlaybackStatus, Rate, Volume, Metadata), seeks (Seeked) and, on request,
// their positions (Position is never announced, so it is asked for). Made for a poll loop:
// nothing here waits.
//
// What players do that MPRIS does not say, evened out here: VLC owns two names (vlc and
// vlc.instancePID) on two connections of one process, so that a player of the same process under a
// second name is left silent; a player may give the track number as text under
// "xesam:tracknumber"; a property may be said to have changed without its value (its
// properties are then asked for again); positions in another unit than microseconds
// (PositionUnit). After a player's metadata changed, once it has stayed the same for
// kMetadataSettleMs, the player's properties come once more with nothing changed (a "props" with
// no value): the item that came in pieces is whole.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sources/mpris/player_update.h"

namespace lumora::sources {

class PlayerWatch {
 public:
  using Sink = std::function<void(const PlayerUpdate&)>;

  explicit PlayerWatch(Sink sink) : sink_(std::move(sink)) {}
  ~PlayerWatch();
  PlayerWatch(const PlayerWatch&) = delete;
  PlayerWatch& operator=(const PlayerWatch&) = delete;

  // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS, else the user's own), subscribes and
  // asks which players are there. False with a one-line reason.
  bool Start(std::string& error);

  // For poll: the bus's descriptor, its events, how long poll may wait (-1: no limit; the
  // moment a player's metadata has settled is one of the deadlines).
  int fd() const;
  short events() const;
  int timeoutMs() const;
  // Handles what the bus brought, and the players whose metadata has settled. False with a
  // reason once the bus is gone.
  bool Process(std::string& error);

  // Asks the players for their positions; each answer comes as a Position update.
  void AskPositions(const std::vector<std::string>& players);

  // A call to a player that failed (it vanished mid-call, it answered nonsense): one line each;
  // the watch runs on.
  void SetProblemSink(std::function<void(const std::string&)> problem) {
    problem_ = std::move(problem);
  }

 private:
  struct Owner {
    std::string unique;       // the bus's name of the connection, :1.N
    std::string player;       // NAME of org.mpris.MediaPlayer2.NAME
    bool announced = false;   // told as a player (not the second name of one already told)
    uint32_t pid = 0;         // its process, 0 when the bus did not say
    TrackMetadata metadata;   // as last told
    int64_t settleAtMs = -1;  // when its metadata will have settled; -1 when it has
    PositionUnit unit;
    int propertyTries = 0;      // GetAll calls refused so far
    int64_t askAgainAtMs = -1;  // when to ask for its properties again; -1 not
  };
  static int OnNameOwnerChanged(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnPropertiesChanged(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnSeeked(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnListNames(sd_bus_message* m, void* self, sd_bus_error* error);
  void Appeared(const std::string& player, const std::string& unique);
  // Tells the player and asks for its properties.
  void Announce(Owner& owner);
  void AskProperties(const std::string& player);
  void Vanished(const std::string& player);
  Owner* OwnerOf(const char* unique);
  Owner* Named(const std::string& player);
  // Milliseconds since Start.
  int64_t Now() const;
  // Stamps the update with the time and gives it to the sink.
  void Emit(PlayerUpdate& update);
  void Settle();
  // A call to a player whose answer goes to done with the player's name.
  void Call(const std::string& player, const char* interface, const char* member,
            void (*done)(PlayerWatch&, const std::string&, sd_bus_message*),
            const char* types = nullptr, const char* a = nullptr, const char* b = nullptr);
  void Problem(const std::string& line);

  Sink sink_;
  std::function<void(const std::string&)> problem_;
  sd_bus* bus_ = nullptr;
  int64_t startMs_ = 0;
  std::vector<Owner> owners_;
};

}  // namespace lumora::sources
