// A platform for unit tests: records every packet and every call the agent makes, on a fixed
// virtual clock and locale that a test may change.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/platform.h"
#include "panel/panel_tables.h"

namespace lumora::testing {

class RecordingPlatform : public Platform {
 public:
  bool deviceOpens = true;
  int32_t openError = 0;
  LocalTime now{2006, 1, 5, 21, 7, 30};
  std::string locale = "0409";
  bool localeFails = false;

  std::vector<Packet> packets;
  std::vector<std::string> calls;  // "open ...", "msgbox ...", "sleep N", "close", "hide"

  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override {
    calls.push_back("open " + std::to_string(device) + " " + std::to_string(width) + " " +
                    std::to_string(height));
    if (deviceOpens) return 7;
    *error = openError;
    return -1;
  }
  int32_t VFD_Cmd(int32_t, uint8_t* packet) override {
    Packet copy;
    std::copy(packet, packet + kPacketSize, copy.begin());
    packets.push_back(copy);
    calls.push_back("cmd");
    return 1;
  }
  int32_t CloseVFD(int32_t) override {
    calls.push_back("close");
    return 1;
  }
  LocalTime GetLocalTime() override { return now; }
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override {
    if (localeFails) return 0;
    const std::string answer = locale.substr(0, static_cast<size_t>(size) - 1);
    std::copy(answer.begin(), answer.end(), buffer);
    buffer[answer.size()] = '\0';
    return static_cast<int32_t>(answer.size() + 1);
  }
  void Sleep(uint32_t milliseconds) override {
    calls.push_back("sleep " + std::to_string(milliseconds));
  }
  void ShowMessageBox(const char* caption, const char* text) override {
    calls.push_back(std::string("msgbox ") + caption + "|" + text);
  }
  void HideWindow() override { calls.push_back("hide"); }
  uintptr_t SetTimer(uintptr_t id, uint32_t) override { return id; }
  void KillTimer(uintptr_t) override { calls.push_back("kill timer"); }
  intptr_t DefaultProcessing(uint32_t, uintptr_t, intptr_t) override { return 0; }

  // The text of a line-2/3 packet, up to its first zero byte.
  static std::string TextOf(const Packet& packet) {
    std::string text;
    for (size_t i = kPacketPayload; i < kPacketSize && packet[i] != 0; ++i) {
      text += static_cast<char>(packet[i]);
    }
    return text;
  }
  static IconMap MapOf(const Packet& packet) {
    IconMap map;
    std::copy(packet.begin() + kPacketPayload, packet.begin() + kPacketPayload + kIconMapSize,
              map.begin());
    return map;
  }
};

}  // namespace lumora::testing
