// Every desktop player on the session bus (each owns a name org.mpris.MediaPlayer2.NAME), read
// through sd-bus of libsystemd into PlayerUpdates: players appearing and vanishing
// (NameOwnerChanged, and the names already there at start), their properties (GetAll once, then
// PropertiesChanged: PlaybackStatus, Rate, Volume, Metadata), seeks (Seeked) and, on request,
// their positions (Position is never announced, so it is asked for). Made for a poll loop:
// nothing here waits.
#pragma once

#include <systemd/sd-bus.h>

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

  // For poll: the bus's descriptor, its events, how long poll may wait (-1: no limit).
  int fd() const;
  short events() const;
  int timeoutMs() const;
  // Handles what the bus brought. False with a reason once the bus is gone.
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
    std::string unique;  // the bus's name of the connection, :1.N
    std::string player;  // NAME of org.mpris.MediaPlayer2.NAME
  };
  static int OnNameOwnerChanged(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnPropertiesChanged(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnSeeked(sd_bus_message* m, void* self, sd_bus_error* error);
  static int OnListNames(sd_bus_message* m, void* self, sd_bus_error* error);
  void Appeared(const std::string& player, const std::string& unique);
  void Vanished(const std::string& player);
  const Owner* OwnerOf(const char* unique) const;
  // A call to a player whose answer goes to done with the player's name.
  void Call(const std::string& player, const char* interface, const char* member,
            void (*done)(PlayerWatch&, const std::string&, sd_bus_message*),
            const char* types = nullptr, const char* a = nullptr, const char* b = nullptr);
  void Problem(const std::string& line);

  Sink sink_;
  std::function<void(const std::string&)> problem_;
  sd_bus* bus_ = nullptr;
  std::vector<Owner> owners_;
};

}  // namespace lumora::sources
