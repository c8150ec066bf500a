// Pictures of the emulated panel: one SVG of the panel's face (both text lines, every icon lit
// or unlit, the level bar, the panel's own clock when it runs), and one self-contained HTML page
// that steps through a run's pictures with the scenario line and the packets of each step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paneldrv/emulator/panel_state.h"

namespace lumora::emulator {

// The panel as an SVG document (nowMs: the clock the panel's own clock runs on).
std::string RenderPanelSvg(const PanelState& state, int64_t nowMs);

// One step of a run: the picture after a scenario directive (or a run of clock ticks), the
// directive, and what the agent did meanwhile.
struct PanelPicture {
  std::string svg;
  size_t line = 0;                    // the scenario line number (of a fold: its first tick's)
  std::string source;                 // the scenario line as written
  std::vector<std::string> calls;     // the trace lines of the step (of a fold: its last line's)
  std::vector<std::string> captions;  // the "#>" captions written before the directive
  std::string name;         // what the step was: the event's name ("NavHome"), else the directive
  std::string session;      // the event's session, empty for other directives
  std::string virtualTime;  // the virtual clock after the step: "YYYY-MM-DD HH:MM:SS"
  std::string panelClock;   // the panel's own clock after the step ("JAN 05 2006 21:07:35"), or ""
  std::string text{};       // the event's text as the readable trace quotes it ("\"CH-7\""), or ""
  uint64_t ticks = 0;       // the clock ticks of the step: a run of tick lines folds into one
  size_t lastLine = 0;      // a fold of several lines: the line of its last tick, else 0
  // A fold: what its ticks before the last tick line sent, by kind ("text3") with their count.
  std::vector<std::pair<std::string, size_t>> foldedCalls{};
  int64_t waitMs = 0;  // the pause written before the step ("# wait N"), in milliseconds
  int64_t playMs = 0;  // the page's clock at the step: the pauses up to it, as the demo plays
};

// A page that steps through the pictures: a timeline of every step (its virtual time, name,
// text and session, a fold's count of ticks, with the captions before it) that jumps on click,
// buttons and keys (arrows, Home, End, space to play: each step held for the pause written after
// it, else 0.8 s), deep links (page.html#step34), and for each step its captions, its scenario
// line, the virtual clock, the page's clock, and what it sent to the panel in readable form
// (icons by name) with the packet bytes beside. Each distinct picture is drawn once in the page
// and every step that shows it refers to it.
std::string RenderPanelHtml(std::string_view title, const std::vector<PanelPicture>& pictures);

// The readable form of one trace line for the page: an Icon Map by the names of its lit icons
// and the lit level segments ("icons PLAY, TV; level 7/16"), any other line as the readable
// trace has it.
std::string DescribeCall(std::string_view traceLine);

// The page's own texts (UTF-8: titles, scenario lines, captions, decoded calls) made safe for
// XML and HTML: markup characters escaped, control bytes as a middle dot.
void AppendEscaped(std::string_view text, std::string& out);
// The same for the panel's text, whose bytes above 0x7F are its Windows-1252 characters; the
// undefined ones show as a middle dot.
void AppendEscapedPanelText(std::string_view text, std::string& out);

}  // namespace lumora::emulator
