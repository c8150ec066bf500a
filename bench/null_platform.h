// A platform with a null display library for measuring the agent's own cost: the virtual
// platform with no trace, whose VFD_Cmd only counts the packet and whose Sleep returns at once
// and counts the wait; the clock stands still at the virtual start. Nothing here allocates, so
// every allocation seen while the agent handles a message is the agent's own.
#pragma once

#include <cstdint>

#include "app/replay/virtual_platform.h"

namespace lumora::bench {

class NullPlatform final : public replay::VirtualPlatform {
 public:
  uint64_t packets = 0;
  uint64_t sleeps = 0;
  uint64_t localeQueries = 0;

  int32_t VFD_Cmd(int32_t, uint8_t* packet) override {
    // The packet must really have been built: tell the compiler that its bytes are read here.
    asm volatile("" : : "r"(packet) : "memory");
    ++packets;
    return 1;
  }
  LocalTime GetLocalTime() override { return scenario::kDefaultTime; }
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override {
    ++localeQueries;
    return VirtualPlatform::GetLocaleLanguage(buffer, size);
  }
  void Sleep(uint32_t) override { ++sleeps; }
};

}  // namespace lumora::bench
