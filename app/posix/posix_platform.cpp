#include "app/posix/posix_platform.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/posix/locale_language.h"
#include "base/posix/monotonic_clock.h"
#include "panel/trace_line.h"

namespace lumora::posix {

int32_t LocaleLanguageAnswer(std::string_view locale, char* buffer, int32_t size) {
  const uint16_t id = LanguageOfLocale(locale);
  if (id == 0 || buffer == nullptr || size < 5) return 0;
  std::snprintf(buffer, static_cast<size_t>(size), "%04X", static_cast<unsigned>(id));
  return 5;
}

namespace {

int64_t RealTimeMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

PosixPlatform::PosixPlatform(emulator::EmulatedPanel& panel, TraceWriter* trace,
                             uint32_t waitDivisor)
    : panel_(panel),
      trace_(trace),
      waitDivisor_(waitDivisor == 0 ? 1 : waitDivisor),
      realStartMs_(RealTimeMs()),
      monotonicStartMs_(MonotonicMs()),
      timerFd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}

PosixPlatform::~PosixPlatform() {
  if (timerFd_ >= 0) ::close(timerFd_);
}

int32_t PosixPlatform::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  return panel_.OpenVFD(device, width, height, error);
}

int32_t PosixPlatform::VFD_Cmd(int32_t handle, uint8_t* packet) {
  return panel_.VFD_Cmd(handle, packet);
}

int32_t PosixPlatform::CloseVFD(int32_t handle) {
  return panel_.CloseVFD(handle);
}

LocalTime PosixPlatform::GetLocalTime() {
  // The accelerated agent's time runs faster from the real time it started at.
  const int64_t nowMs = waitDivisor_ == 1
                            ? RealTimeMs()
                            : realStartMs_ + (MonotonicMs() - monotonicStartMs_) * waitDivisor_;
  time_t seconds = static_cast<time_t>(nowMs / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  LocalTime t;
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.month = static_cast<uint16_t>(local.tm_mon + 1);
  t.day = static_cast<uint16_t>(local.tm_mday);
  t.hour = static_cast<uint16_t>(local.tm_hour);
  t.minute = static_cast<uint16_t>(local.tm_min);
  // A leap second shows as the last second of its minute.
  t.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  return t;
}

int32_t PosixPlatform::GetLocaleLanguage(char* buffer, int32_t size) {
  // Asked afresh every time, like the Windows query: the environment is the user's settings.
  const std::string_view locale =
      TimeLocaleName(std::getenv("LC_ALL"), std::getenv("LC_TIME"), std::getenv("LANG"));
  return LocaleLanguageAnswer(locale, buffer, size);
}

void PosixPlatform::Sleep(uint32_t milliseconds) {
  if (trace_ != nullptr) trace_->Sleep(milliseconds);
  const uint32_t wait = milliseconds / waitDivisor_;
  timespec remaining{static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000};
  // A signal does not cut the wait short: the message is handled whole, the host stops after.
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void PosixPlatform::ShowMessageBox(const char* caption, const char* text) {
  if (trace_ != nullptr) trace_->MessageBox(caption, text);
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  std::fflush(stderr);
}

uintptr_t PosixPlatform::SetTimer(uintptr_t id, uint32_t periodMs) {
  if (timerFd_ < 0 || id == 0 || periodMs == 0) return 0;
  // The accelerated agent's second is shorter, down to a millisecond.
  const uint32_t period = periodMs / waitDivisor_ == 0 ? 1 : periodMs / waitDivisor_;
  itimerspec timer{};
  timer.it_interval.tv_sec = static_cast<time_t>(period / 1000);
  timer.it_interval.tv_nsec = static_cast<long>(period % 1000) * 1000000;
  timer.it_value = timer.it_interval;
  if (::timerfd_settime(timerFd_, 0, &timer, nullptr) != 0) return 0;
  timerId_ = id;
  return id;
}

void PosixPlatform::KillTimer(uintptr_t timerId) {
  if (timerFd_ < 0 || timerId == 0 || timerId != timerId_) return;
  const itimerspec off{};
  ::timerfd_settime(timerFd_, 0, &off, nullptr);
  timerId_ = 0;
}

uintptr_t PosixPlatform::TakeTimerExpiry() {
  uint64_t expirations = 0;
  if (::read(timerFd_, &expirations, sizeof expirations) != sizeof expirations) return 0;
  return timerId_;
}

}  // namespace lumora::posix
