// `lumora demo`: a live agent with the terminal panel, played a whole evening through its real
// socket intake. The evening is a scenario file (examples/evening.scn) that lumora-replay runs
// as well, played as every live player plays a scenario (scenario/live_play.h): its messages
// sent, each waiting for the reply; its ticks, times and pauses waited; and two kinds of comment
// read:
//
//   #> TEXT      a caption, printed under the panel when the player reaches it
//   # wait N     a pause of N seconds (a decimal number) before the next line
//
// A recording of `lumora run --record` plays the same way; at its `run` lines the demo starts
// the agent again, as the recorded agent was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/posix/agent_host.h"
#include "scenario/live_play.h"

namespace lumora::posix {

// Where the bundled evening is: beside the executable's share directory (an installed or
// built tree: BIN/../share/lumora/evening.scn), else in the source tree. Empty when not found.
std::string FindDemoScenario();

// A caption as the terminal shows it under the panel: "▶ " and its text in rows of at most
// `columns` columns, broken between words (a word longer than a row is cut), the rows after the
// first indented under the text. columns 0 or less: the width is unknown, one row.
std::vector<std::string> CaptionRows(std::string_view caption, int columns);

struct DemoOptions {
  bool fast = false;  // pauses and the agent's own waits made short: the evening in seconds
  PanelFace panel = PanelFace::Terminal;
  std::string scenarioPath;  // empty: the bundled evening
};

// Runs the demo; returns the exit status (base/exit_status.h): 0 done, 1 a failure, 2 an evening
// that cannot be read or played, 130 interrupted.
int RunDemo(const DemoOptions& options);

}  // namespace lumora::posix
