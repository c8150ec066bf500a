// Pictures of the emulated panel: one SVG of the panel's face (both text lines, every icon lit
// or unlit, the level bar, the panel's own clock when it runs), and one self-contained HTML page
// that steps through a run's pictures with the scenario line and the packets of each step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "paneldrv/emulator/panel_state.h"

namespace lumora::emulator {

// The columns of each text line in the picture; a longer line shows its start and an arrow.
inline constexpr size_t kPictureColumns = 20;

// The panel as an SVG document (nowMs: the clock the panel's own clock runs on).
std::string RenderPanelSvg(const PanelState& state, int64_t nowMs);

// One step of a run: the picture after a scenario line, the line, and what the agent sent.
struct PanelPicture {
  std::string svg;
  size_t line = 0;                 // the scenario line number
  std::string source;              // the scenario line as written
  std::vector<std::string> calls;  // the trace lines of the step, packets in readable form
};

// A page with every picture, buttons and keys (arrows, Home, End, space) to step through them.
std::string RenderPanelHtml(std::string_view title, const std::vector<PanelPicture>& pictures);

// Text made safe for XML and HTML: markup characters escaped, panel bytes above 0x7F as their
// Latin-1 letters, control bytes as a middle dot.
void AppendEscaped(std::string_view text, std::string& out);

}  // namespace lumora::emulator
