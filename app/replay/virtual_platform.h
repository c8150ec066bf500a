// The virtual binding of the platform boundary, and the family of stand-ins built on it: a
// virtual clock, a virtual locale and a recording display library. Every call across the
// boundary that the trace names (open, msgbox, cmd, sleep, close) goes to the trace writer.
// lumora-replay runs the agent on it; the tests, the fuzzing harnesses and the benchmarks derive
// their stand-ins from it and override only what they watch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/platform.h"
#include "panel/trace_line.h"
#include "scenario/scenario.h"

namespace lumora::replay {

// Milliseconds since 1970-01-01 00:00:00 of a local time, and back.
int64_t EpochMsFromLocalTime(const LocalTime& time);
LocalTime LocalTimeFromEpochMs(int64_t epochMs);

// Answers the locale language query with a fixed text, as GetLocaleInfoA does: the text and its
// NUL when they fit the buffer, returning the characters written including the NUL; 0 (the
// query fails, nothing written) when they do not.
int32_t AnswerLocaleQuery(std::string_view answer, char* buffer, int32_t size);

class VirtualPlatform : public Platform {
 public:
  // sink receives the trace; null records nothing.
  explicit VirtualPlatform(TraceSink* sink = nullptr);

  // --- Set-up ---
  void SetTime(int64_t epochSeconds) { nowMs_ = epochSeconds * 1000; }
  void SetTime(const LocalTime& time) { nowMs_ = EpochMsFromLocalTime(time); }
  void AdvanceMs(int64_t milliseconds) { nowMs_ += milliseconds; }
  void SetLocaleAnswer(std::string_view answer) {
    localeFails_ = false;
    localeAnswer_ = answer;
  }
  void SetLocaleFails() { localeFails_ = true; }
  // The device cannot be opened: OpenVFD returns -1 and writes error.
  void SetDeviceFails(int32_t error) {
    deviceFails_ = true;
    deviceError_ = error;
  }
  // What VFD_Cmd answers (1; 0 for a library that reports failing sends).
  void SetCommandResult(int32_t result) { commandResult_ = result; }

  // The virtual clock: milliseconds since 1970-01-01 00:00:00 of the local time it shows.
  int64_t nowMs() const { return nowMs_; }

  // --- Platform ---
  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;
  LocalTime GetLocalTime() override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  // A wait of the agent moves the virtual clock on by its length.
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override;
  void HideWindow() override {}
  uintptr_t SetTimer(uintptr_t id, uint32_t) override { return id; }
  void KillTimer(uintptr_t) override {}
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }

  // The handle of the virtual device: unlike the small numbers a careless caller might pass.
  static constexpr int32_t kHandle = 0x4C55;

 private:
  TraceWriter trace_;
  int64_t nowMs_;
  std::string localeAnswer_{scenario::kDefaultLanguage};
  bool localeFails_ = false;
  bool deviceFails_ = false;
  int32_t deviceError_ = 0;
  int32_t commandResult_ = 1;
};

}  // namespace lumora::replay
