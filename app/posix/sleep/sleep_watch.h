// The Linux side of the power messages: the login manager (logind) announces on the system bus
// that the machine is about to sleep (PrepareForSleep true) and that it woke (false), as
// Windows sends WM_POWERBROADCAST. SleepWatch follows that signal for the host's poll loop and
// holds a delay lock ("sleep", "delay") so that the machine waits until the agent has handed
// the clock to the panel; the lock is released once the host has handled the suspend and taken
// again after the wake.
//
// The bus is the one of $DBUS_SYSTEM_BUS_ADDRESS, else the system's own. Without a system bus
// or a login manager the watch says so once and the agent runs on without it.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <string>

namespace lumora::posix {

class SleepWatch {
 public:
  class Listener {
   public:
    // The machine is about to sleep (true) or has woken (false). While OnSleep(true) runs the
    // delay lock is still held.
    virtual void OnSleep(bool goingToSleep) = 0;
    // One line about the watch itself (no bus, no login manager, no lock), without "lumora: ".
    virtual void OnNote(const std::string& note) = 0;

   protected:
    ~Listener() = default;
  };

  explicit SleepWatch(Listener& listener) : listener_(listener) {}
  ~SleepWatch();
  SleepWatch(const SleepWatch&) = delete;
  SleepWatch& operator=(const SleepWatch&) = delete;

  // Connects to the system bus, subscribes to PrepareForSleep and asks for the delay lock (the
  // answers come through Process). False, after a note, when there is no system bus.
  bool Start();

  // For poll: the bus's descriptor (-1 when the watch is off), the events to wait for, and how
  // long poll may wait at most in milliseconds (-1: no limit).
  int fd() const;
  short events() const;
  int timeoutMs() const;
  // Handles everything the bus brought; calls the listener.
  void Process();

  bool active() const { return bus_ != nullptr; }
  bool holdsLock() const { return lockFd_ >= 0; }

 private:
  static int OnPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error* error);
  static int OnInhibitReply(sd_bus_message* message, void* self, sd_bus_error* error);
  static int OnMatchReply(sd_bus_message* message, void* self, sd_bus_error* error);
  void TakeLock();
  void ReleaseLock();
  void Stop();

  Listener& listener_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* match_ = nullptr;
  bool lockAsked_ = false;   // an Inhibit call is on its way
  bool stopWanted_ = false;  // a callback found the watch useless; stopped after processing
  bool asleep_ = false;      // the last PrepareForSleep said true
  int lockFd_ = -1;
  bool lockRefusedNoted_ = false;
};

}  // namespace lumora::posix
