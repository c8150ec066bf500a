#include "app/posix/sleep/sleep_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/posix/monotonic_clock.h"

namespace lumora::posix {

namespace {

constexpr const char* kLogin = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kLoginManager = "org.freedesktop.login1.Manager";

// What the error of a reply says, in one line.
std::string Describe(const sd_bus_error* error) {
  if (error == nullptr || error->name == nullptr) return "unknown error";
  std::string text = error->name;
  if (error->message != nullptr && error->message[0] != '\0')
    text += std::string(": ") + error->message;
  return text;
}

// The bus's own errors for a name that nobody owns: there is no login manager.
bool NoSuchService(const sd_bus_error* error) {
  return sd_bus_error_has_name(error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
         sd_bus_error_has_name(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
}

}  // namespace

SleepWatch::~SleepWatch() {
  Stop();
}

bool SleepWatch::Start() {
  const int r = sd_bus_open_system(&bus_);
  if (r < 0) {
    bus_ = nullptr;
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    listener_.OnNote(std::string("no system bus (") +
                     (address != nullptr && address[0] != '\0' ? address : "the system's own") +
                     ": " + std::strerror(-r) + "): suspend and resume are not followed");
    return false;
  }
  // The subscription is asked for before the lock: the bus handles a connection's requests in
  // order, so once the login manager sees the lock asked for, the signal reaches the agent.
  const int m =
      sd_bus_match_signal_async(bus_, &match_, kLogin, kLoginPath, kLoginManager, "PrepareForSleep",
                                &SleepWatch::OnPrepareForSleep, &SleepWatch::OnMatchReply, this);
  if (m < 0) {
    listener_.OnNote(std::string("cannot follow the login manager on the system bus: ") +
                     std::strerror(-m) + ": suspend and resume are not followed");
    Stop();
    return false;
  }
  TakeLock();
  return active();
}

int SleepWatch::fd() const {
  return bus_ != nullptr ? sd_bus_get_fd(bus_) : -1;
}

short SleepWatch::events() const {
  if (bus_ == nullptr) return 0;
  const int e = sd_bus_get_events(bus_);
  return e < 0 ? short{POLLIN} : static_cast<short>(e);
}

int SleepWatch::timeoutMs() const {
  if (bus_ == nullptr) return -1;
  uint64_t until = 0;
  if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) return -1;
  return MillisecondsUntilUs(until, 60000);
}

void SleepWatch::Process() {
  while (bus_ != nullptr) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) {
      listener_.OnNote(std::string("the system bus went away (") + std::strerror(-r) +
                       "): suspend and resume are no longer followed");
      Stop();
      return;
    }
    if (stopWanted_) Stop();  // not from inside a callback: the bus is still in use there
    if (r == 0) return;
  }
}

int SleepWatch::OnMatchReply(sd_bus_message* message, void* self, sd_bus_error*) {
  auto& watch = *static_cast<SleepWatch*>(self);
  if (sd_bus_message_is_method_error(message, nullptr)) {
    watch.listener_.OnNote("the system bus refused the subscription to the login manager (" +
                           Describe(sd_bus_message_get_error(message)) +
                           "): suspend and resume are not followed");
    watch.stopWanted_ = true;
  }
  return 0;
}

int SleepWatch::OnPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*) {
  auto& watch = *static_cast<SleepWatch*>(self);
  int goingToSleep = 0;
  if (sd_bus_message_read(message, "b", &goingToSleep) < 0) return 0;  // not the login manager's
  watch.asleep_ = goingToSleep != 0;
  watch.listener_.OnSleep(goingToSleep != 0);
  // The clock is with the panel: the machine may sleep now. Awake again, the next sleep waits
  // for the agent too.
  if (goingToSleep != 0) {
    watch.ReleaseLock();
  } else if (!watch.holdsLock()) {
    watch.TakeLock();  // unless one is on its way, which is kept once awake
  }
  return 0;
}

void SleepWatch::TakeLock() {
  if (bus_ == nullptr || lockAsked_) return;
  // A floating call: the bus frees it once answered.
  const int r = sd_bus_call_method_async(
      bus_, nullptr, kLogin, kLoginPath, kLoginManager, "Inhibit", &SleepWatch::OnInhibitReply,
      this, "ssss", "sleep", "Lumora", "Hands the clock to the panel", "delay");
  lockAsked_ = r >= 0;
  if (r < 0) {
    listener_.OnNote(std::string("cannot ask the login manager for a delay lock: ") +
                     std::strerror(-r));
  }
}

int SleepWatch::OnInhibitReply(sd_bus_message* message, void* self, sd_bus_error*) {
  auto& watch = *static_cast<SleepWatch*>(self);
  watch.lockAsked_ = false;
  const sd_bus_error* error = sd_bus_message_get_error(message);
  if (error != nullptr) {
    if (NoSuchService(error)) {
      watch.listener_.OnNote(std::string("no login manager (") + kLogin +
                             ") on the system bus: suspend and resume are not followed");
      watch.stopWanted_ = true;
    } else if (!watch.lockRefusedNoted_) {
      // The signal still comes; only the machine does not wait for the panel.
      watch.lockRefusedNoted_ = true;
      watch.listener_.OnNote("the login manager gives no delay lock (" + Describe(error) +
                             "): the machine may sleep before the panel has its clock");
    }
    return 0;
  }
  int fd = -1;
  if (sd_bus_message_read(message, "h", &fd) < 0 || fd < 0) return 0;
  // A lock that comes once the sleep has been handled would only hold the machine up: the
  // next one is asked for after the wake.
  if (watch.asleep_) return 0;
  // The message owns the descriptor it carries: the lock is a copy of the agent's own.
  watch.ReleaseLock();
  watch.lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  return 0;
}

void SleepWatch::ReleaseLock() {
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
}

void SleepWatch::Stop() {
  ReleaseLock();
  lockAsked_ = false;
  stopWanted_ = false;
  match_ = sd_bus_slot_unref(match_);
  if (bus_ != nullptr) bus_ = sd_bus_flush_close_unref(bus_);
}

}  // namespace lumora::posix
