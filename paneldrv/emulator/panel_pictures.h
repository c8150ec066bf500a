// Picture making: the emulated panel drawn after each step of a run, beside the terminal and
// plain faces. The panel model is fed every packet on the caller's clock (the replay's virtual
// clock), and at the end of each step the book keeps the picture of what the panel shows with
// what the step sent. A run of clock ticks folds into one step with its count, so an hour of
// ticks is one step a stretch, not 3 600; identical pictures are drawn once and shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_svg.h"

namespace lumora::emulator {

class PictureBook {
 public:
  // A trace line of the step under way, as the trace has it.
  void Call(std::string_view line) { calls_.emplace_back(line); }
  // A packet the panel takes at nowMs (the clock its own clock runs on).
  void Packet(const uint8_t* packet, int64_t nowMs) { state_.Apply(packet, nowMs); }
  // The step under way ends at nowMs. step describes it (line, source, captions, name, text,
  // session, virtual time, ticks, the pause before it); the book adds its calls, its picture,
  // the panel clock and the page's clock. A step of clock ticks without captions and without a
  // pause before it joins a step of clock ticks just before it.
  void EndStep(PanelPicture step, int64_t nowMs);

  const std::vector<PanelPicture>& steps() const { return steps_; }

 private:
  PanelState state_;
  std::vector<std::string> calls_;
  std::vector<PanelPicture> steps_;
  int64_t playMs_ = 0;
};

// Writes one SVG file per step into folder, DIR/0001.svg for step 1 and so on (the page's
// #step1): a step whose picture an earlier step already has gets a hard link to that file (a
// copy where the file system has none). The frames an earlier run wrote there (files named by
// four or more digits and ".svg") are removed first, so the folder holds this run's frames only;
// files of other names are left alone. The folder is made when missing. False with the reason
// ("cannot write DIR/0003.svg: No space left on device") when it fails.
bool WriteSvgFolder(const std::string& folder, const std::vector<PanelPicture>& steps,
                    std::string& error);

}  // namespace lumora::emulator
