// Panel link, command packets, icons and level bar of the panel wrapper.
#include "panel/vfd_cmd.h"

#include <cstdio>
#include <cstring>

namespace lumora {

CVFDCmd::CVFDCmd(Platform& platform) : platform_(platform) {
  int32_t error = 0;
  handle_ = platform_.OpenVFD(kDeviceSelection, kDeviceArgument, kDeviceArgument, &error);
  if (handle_ == -1) {
    char text[32];
    std::snprintf(text, sizeof text, "OpenVFD Error: %d", error);
    platform_.ShowMessageBox("CVFDCmd", text);
  }
  iconMap_.fill(0);
}

CVFDCmd::~CVFDCmd() {
  if (handle_ != -1) platform_.CloseVFD(handle_);
}

int32_t CVFDCmd::Send(Packet& packet) {
  return platform_.VFD_Cmd(handle_, packet.data());
}

int32_t CVFDCmd::Clear() {
  if (handle_ == -1) return 0;
  Packet packet{};
  packet[kPacketCommand] = kCmdClear;
  const int32_t result = Send(packet);
  iconMap_.fill(0);
  return result;
}

int32_t CVFDCmd::SendIcons(const IconMap& map) {
  Packet packet{};
  packet[kPacketCommand] = kCmdIcons;
  std::memcpy(&packet[kPacketPayload], map.data(), map.size());
  return Send(packet);
}

int32_t CVFDCmd::WriteText(uint8_t line, uint8_t scroll, const char* text) {
  if (handle_ == -1) return 0;
  if (line != kCmdLine2 && line != kCmdLine3) return 0;
  Packet packet{};
  packet[kPacketCommand] = line;
  packet[kPacketArg1] = scroll;
  // At most 60 bytes of the text are read, never beyond its terminating zero; a text of 60 or
  // more characters fills the payload with no terminating zero.
  const size_t length = strnlen(text, kPayloadSize);
  std::memcpy(&packet[kPacketPayload], text, length);
  return Send(packet);
}

int32_t CVFDCmd::SetPanelOption(uint8_t value) {
  if (handle_ == -1) return 0;
  Packet packet{};
  packet[kPacketCommand] = kCmdOption;
  packet[kPacketArg1] = value;
  return Send(packet);
}

int32_t CVFDCmd::SetIcon(Icon icon, int32_t on) {
  if (handle_ == -1) return 0;
  const IconBits& bits = BitsOf(icon);
  if (on == 1) {
    iconMap_[bits.byte] = static_cast<uint8_t>(iconMap_[bits.byte] | bits.mask);
  } else {
    iconMap_[bits.byte] = static_cast<uint8_t>(iconMap_[bits.byte] & ~bits.mask);
  }
  return SendIcons(iconMap_);
}

uint8_t CVFDCmd::LevelToStep(uint8_t level) {
  uint8_t step = 0;
  while (level > kLevelStepTop[step])
    ++step;
  return step;
}

int32_t CVFDCmd::SetLevel(int32_t level) {
  return SetLevelStep(LevelToStep(static_cast<uint8_t>(level & 0xFF)));
}

int32_t CVFDCmd::SetLevelStep(uint8_t step) {
  if (handle_ == -1) return 0;
  if (step < kLevelStepCount) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 3; ++i)
      bits |= uint32_t{iconMap_[kLevelBarFirstByte + i]} << (8 * i);
    bits = (bits & ~kLevelBarMask) | kLevelStepBits[step];
    for (size_t i = 0; i < 3; ++i) {
      iconMap_[kLevelBarFirstByte + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
  }
  return SendIcons(iconMap_);
}

}  // namespace lumora
