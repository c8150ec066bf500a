// The replay's binding of the platform boundary: a virtual clock, a virtual locale and a
// recording display library. Every call across the boundary that the trace format names
// (open, msgbox, cmd, sleep, close) goes to the trace sink as one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/platform.h"

namespace lumora::replay {

// The local time fields of a virtual clock that counts milliseconds since 1970-01-01 00:00:00.
LocalTime LocalTimeFromEpochMs(int64_t epochMs);

// Answers the locale language query with a fixed text, as GetLocaleInfoA does: the text cut to
// the buffer with its NUL; returns the characters written including the NUL (0: no buffer).
int32_t AnswerLocaleQuery(std::string_view answer, char* buffer, int32_t size);

// Receives the trace, one line at a time, without its line feed.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Line(const char* text, size_t length) = 0;
  // Every packet sent, after its line; for observers such as a panel emulator.
  virtual void Packet(const uint8_t* /*packet*/) {}
};

class VirtualPlatform final : public Platform {
 public:
  explicit VirtualPlatform(TraceSink& sink);

  // --- Set-up ---
  void SetTime(int64_t epochSeconds) { nowMs_ = epochSeconds * 1000; }
  void AdvanceMs(int64_t milliseconds) { nowMs_ += milliseconds; }
  void SetLocaleAnswer(std::string answer) {
    localeFails_ = false;
    localeAnswer_ = std::move(answer);
  }
  void SetLocaleFails() { localeFails_ = true; }
  void SetDeviceFails(int32_t error) {
    deviceFails_ = true;
    deviceError_ = error;
  }

  // --- Platform ---
  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override;
  LocalTime GetLocalTime() override;
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override;
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override;
  void HideWindow() override {}
  uintptr_t SetTimer(uintptr_t id, uint32_t) override { return id; }
  void KillTimer(uintptr_t) override {}
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }

 private:
  TraceSink& sink_;
  int64_t nowMs_;
  std::string localeAnswer_ = "0409";
  bool localeFails_ = false;
  bool deviceFails_ = false;
  int32_t deviceError_ = 0;
};

}  // namespace lumora::replay
