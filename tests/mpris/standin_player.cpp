// A stand-in desktop player for the ways of players that none of the real ones here has, on the
// session bus as org.mpris.MediaPlayer2.standin: it plays "Stand-in Song" by "Nobody" (60 s
// long, the length in microseconds as due) but gives its position in milliseconds, has no
// CanControl, and after CHANGE_MS (argument; default 6000) changes its title to "Changed Title"
// saying only that Metadata changed, without its value. It runs until it is stopped.
#include <signal.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t startMs = 0;
const char* title = "Stand-in Song";

int Status(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
           sd_bus_error*) {
  return sd_bus_message_append(reply, "s", "Playing");
}

int Metadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
             sd_bus_error*) {
  int r = sd_bus_message_open_container(reply, 'a', "{sv}");
  if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", "/standin/track/1");
  if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "xesam:title", "s", title);
  if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "xesam:artist", "as", 1, "Nobody");
  if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", int64_t{60000000});
  if (r >= 0) r = sd_bus_message_close_container(reply);
  return r;
}

// Milliseconds where microseconds are due.
int Position(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
             sd_bus_error*) {
  return sd_bus_message_append(reply, "x", NowMs() - startMs);
}

int One(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
        sd_bus_error*) {
  return sd_bus_message_append(reply, "d", 1.0);
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", Status, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Metadata", "a{sv}", Metadata, 0, SD_BUS_VTABLE_PROPERTY_EMITS_INVALIDATION),
    SD_BUS_PROPERTY("Position", "x", Position, 0, 0),
    SD_BUS_PROPERTY("Rate", "d", One, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Volume", "d", One, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
  const int64_t changeMs = argc > 1 ? std::strtoll(argv[1], nullptr, 10) : 6000;
  startMs = NowMs();
  sd_bus* bus = nullptr;
  int r = sd_bus_open_user(&bus);
  if (r >= 0) r = sd_bus_add_object_vtable(bus, nullptr, kPath, kPlayer, kVtable, nullptr);
  if (r >= 0) r = sd_bus_request_name(bus, "org.mpris.MediaPlayer2.standin", 0);
  if (r < 0) {
    std::fprintf(stderr, "standin_player: %s\n", std::strerror(-r));
    return 1;
  }
  bool changed = false;
  for (;;) {
    r = sd_bus_process(bus, nullptr);
    if (r < 0) return 1;
    if (!changed && NowMs() - startMs >= changeMs) {
      changed = true;
      title = "Changed Title";
      sd_bus_emit_properties_changed(bus, kPath, kPlayer, "Metadata", nullptr);
    }
    if (r == 0) sd_bus_wait(bus, 100000);
  }
}
