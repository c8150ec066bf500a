// The unit tests' stand-in: the virtual platform, with every packet kept whole and every call
// named in order, so a test reads what a trace line would hide.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "app/replay/virtual_platform.h"
#include "panel/panel_tables.h"

namespace lumora::test {

class RecordingPlatform final : public replay::VirtualPlatform, private TraceSink {
 public:
  RecordingPlatform() : VirtualPlatform(this) {}

  std::vector<lumora::Packet> packets;
  std::vector<std::string> calls;  // "open ...", "msgbox ...", "sleep N", "close", "hide", "cmd"

  void HideWindow() override { calls.push_back("hide"); }
  void KillTimer(uintptr_t) override { calls.push_back("kill timer"); }

  // The text of a line-2/3 packet, up to its first zero byte.
  static std::string TextOf(const lumora::Packet& packet) {
    std::string text;
    for (size_t i = kPacketPayload; i < kPacketSize && packet[i] != 0; ++i) {
      text += static_cast<char>(packet[i]);
    }
    return text;
  }
  static IconMap MapOf(const lumora::Packet& packet) {
    IconMap map;
    std::copy(packet.begin() + kPacketPayload, packet.begin() + kPacketPayload + kIconMapSize,
              map.begin());
    return map;
  }

 private:
  // Every trace line but a packet's is kept as it stands; a packet is kept whole.
  void Line(const char* text, size_t length) override {
    const std::string line(text, length);
    calls.push_back(line.starts_with("cmd ") ? "cmd" : line);
  }
  void Packet(const uint8_t* packet) override {
    lumora::Packet copy;
    std::copy(packet, packet + kPacketSize, copy.begin());
    packets.push_back(copy);
  }
};

}  // namespace lumora::test
