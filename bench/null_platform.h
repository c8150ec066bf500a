// A platform with a null display library for measuring the agent's own cost: VFD_Cmd only
// counts the packet, Sleep returns at once and counts the wait, the clock and the locale answer
// from fixed values. Nothing here allocates, so every allocation seen while the agent handles
// a message is the agent's own.
#pragma once

#include <cstdint>
#include <cstring>

#include "app/platform.h"

namespace lumora::bench {

class NullPlatform final : public Platform {
 public:
  uint64_t packets = 0;
  uint64_t sleeps = 0;
  uint64_t localeQueries = 0;
  LocalTime now{2006, 1, 5, 21, 7, 30};
  // English (United States): month-first dates, found after the whole day-first table.
  char locale[8] = "0409";

  int32_t OpenVFD(int32_t, int32_t, int32_t, int32_t*) override { return 1; }
  int32_t VFD_Cmd(int32_t, uint8_t* packet) override {
    // The packet must really have been built: tell the compiler that its bytes are read here.
    asm volatile("" : : "r"(packet) : "memory");
    ++packets;
    return 1;
  }
  int32_t CloseVFD(int32_t) override { return 1; }
  LocalTime GetLocalTime() override { return now; }
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override {
    ++localeQueries;
    const size_t length = std::strlen(locale);
    if (size <= 0 || length + 1 > static_cast<size_t>(size)) return 0;
    std::memcpy(buffer, locale, length + 1);
    return static_cast<int32_t>(length + 1);
  }
  void Sleep(uint32_t) override { ++sleeps; }
  void ShowMessageBox(const char*, const char*) override {}
  void HideWindow() override {}
  uintptr_t SetTimer(uintptr_t id, uint32_t) override { return id; }
  void KillTimer(uintptr_t) override {}
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }
};

}  // namespace lumora::bench
