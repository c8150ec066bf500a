// CVFDCmd: the panel wrapper, the only part of the agent that talks to the display library.
// It owns the device handle and the Icon Map and builds every Panel Command Packet in a local
// 65-byte buffer. Every operation follows one send discipline: with no device (handle -1) it
// sends nothing, changes nothing and returns 0; otherwise it sends exactly one packet and
// returns the library's result. Nothing is retried, queued, cached or merged.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "panel/panel_tables.h"

namespace lumora {

class CVFDCmd {
 public:
  // Opens the device; on failure shows the one "OpenVFD Error: %d" box and stays silent after.
  explicit CVFDCmd(Platform& platform);
  // Closes the device when it was opened; the panel keeps its last content.
  virtual ~CVFDCmd();
  CVFDCmd(const CVFDCmd&) = delete;
  CVFDCmd& operator=(const CVFDCmd&) = delete;

  // --- Panel link ---
  int32_t Clear();  // blank panel; the Icon Map starts over from zero
  int32_t SendIcons(const IconMap& map);
  int32_t WriteText(uint8_t line, uint8_t scroll, const char* text);  // line 2 or 3
  int32_t SetPanelOption(uint8_t value);

  // --- Icons and level bar: on == 1 lights the icon, any other value puts it out ---
  int32_t SetIcon(Icon icon, int32_t on);
  int32_t SetPlayIcon(int32_t on) { return SetIcon(Icon::Play, on); }
  int32_t SetPauseIcon(int32_t on) { return SetIcon(Icon::Pause, on); }
  int32_t SetScanAIcon(int32_t on) { return SetIcon(Icon::ScanA, on); }
  int32_t SetScanBIcon(int32_t on) { return SetIcon(Icon::ScanB, on); }
  int32_t SetAuxIndicatorIcon(int32_t on) { return SetIcon(Icon::AuxIndicator, on); }
  int32_t SetPictureIcon(int32_t on) { return SetIcon(Icon::Picture, on); }
  int32_t SetTvIcon(int32_t on) { return SetIcon(Icon::Tv, on); }
  int32_t SetVcdIcon(int32_t on) { return SetIcon(Icon::Vcd, on); }
  int32_t SetSessionIndicatorIcon(int32_t on) { return SetIcon(Icon::SessionIndicator, on); }
  int32_t SetMarkedSessionIcon(int32_t on) { return SetIcon(Icon::MarkedSession, on); }
  int32_t SetDvdIcon(int32_t on) { return SetIcon(Icon::Dvd, on); }

  // Level (low 8 bits count) to bar step, then the step to the bar.
  int32_t SetLevel(int32_t level);
  // Steps 0 to 15 replace the bar's bits; a larger step leaves them; the map is sent either way.
  int32_t SetLevelStep(uint8_t step);
  static uint8_t LevelToStep(uint8_t level);

  // --- Clock and date ---
  // The time on line 3, with withDate nonzero the date on line 2 first.
  int32_t ShowClock(int32_t withDate);
  // Hands the date, time and date order to the panel's own clock.
  void StartPanelClock();
  // Takes the panel back from its own clock.
  int32_t StopPanelClock();
  // The user's preferred date order, asked afresh on every call.
  uint8_t GetDateOrder();
  // Hexadecimal text to integer; any other character counts as the digit 0; wraps at 32 bits.
  static int32_t HexToInt(const char* text);

  bool IsOpen() const { return handle_ != -1; }
  const IconMap& iconMap() const { return iconMap_; }

 private:
  int32_t Send(Packet& packet);

  Platform& platform_;
  int32_t handle_ = -1;
  IconMap iconMap_{};
};

}  // namespace lumora
