// A stand-in for the login manager on a private system bus, for the power test of the Linux
// host (no real login manager can run in a test: it wants to be the system's own). It owns
// org.freedesktop.login1 on $DBUS_SYSTEM_BUS_ADDRESS, hands out delay locks through
// Manager.Inhibit as pipes it watches, and takes commands on standard input, one a line:
//   wait-lock   wait (up to 5 s) until a lock is held; prints "lock WHAT WHO WHY MODE"
//   sleep       emits PrepareForSleep(true), then waits (up to 5 s) for every delay lock to be
//               released, as the login manager does before it suspends; prints "released" or
//               "still locked"
//   wake        emits PrepareForSleep(false); prints "woke"
// It prints "ready" once it owns its name. Everything printed is flushed at once.
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr int kWaitMs = 5000;

sd_bus* bus = nullptr;
std::vector<int> locks;  // our ends of the locks handed out: hung up once the holder closes

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

int Inhibit(sd_bus_message* message, void*, sd_bus_error*) {
  const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
  int r = sd_bus_message_read(message, "ssss", &what, &who, &why, &mode);
  if (r < 0) return r;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
  r = sd_bus_reply_method_return(message, "h", ends[1]);
  close(ends[1]);  // the holder's end lives on in the holder alone
  if (r < 0) {
    close(ends[0]);
    return r;
  }
  locks.push_back(ends[0]);
  std::printf("lock %s %s \"%s\" %s\n", what, who, why, mode);
  std::fflush(stdout);
  return 1;
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", Inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("PrepareForSleep", "b", 0),
    SD_BUS_VTABLE_END,
};

// Closes the locks whose holders let go; true when none is left.
bool DropReleased() {
  for (size_t i = 0; i < locks.size();) {
    pollfd p{locks[i], POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
      close(locks[i]);
      locks.erase(locks.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return locks.empty();
}

// Serves the bus until done() or kWaitMs; true when done() came true.
template <typename Done>
bool Serve(Done done) {
  const int64_t until = NowMs() + kWaitMs;
  for (;;) {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
    if (done()) return true;
    const int64_t left = until - NowMs();
    if (left <= 0) return false;
    std::vector<pollfd> fds{{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0}};
    for (const int fd : locks)
      fds.push_back({fd, POLLIN, 0});
    poll(fds.data(), fds.size(), static_cast<int>(left < 50 ? left : 50));
  }
}

}  // namespace

int main() {
  if (sd_bus_open_system(&bus) < 0) {
    std::fprintf(stderr, "login stand-in: no system bus\n");
    return 1;
  }
  if (sd_bus_add_object_vtable(bus, nullptr, kPath, kManager, kVtable, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) {
    std::fprintf(stderr, "login stand-in: cannot own org.freedesktop.login1\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char line[64];
  bool ok = true;
  while (ok && std::fgets(line, sizeof line, stdin) != nullptr) {
    const std::string command(line, std::strcspn(line, "\n"));
    if (command == "wait-lock") {
      if (!Serve([] { return !DropReleased(); })) std::printf("no lock\n");
    } else if (command == "sleep" || command == "wake") {
      const int going = command == "sleep";
      ok = sd_bus_emit_signal(bus, kPath, kManager, "PrepareForSleep", "b", going) >= 0;
      if (going) {
        std::printf(Serve(DropReleased) ? "released\n" : "still locked\n");
      } else {
        sd_bus_flush(bus);
        std::printf("woke\n");
      }
    } else {
      std::printf("unknown command %s\n", command.c_str());
    }
    std::fflush(stdout);
  }
  sd_bus_flush_close_unref(bus);
  return ok ? 0 : 1;
}
