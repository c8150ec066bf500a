// `lumora demo`: a live agent with the terminal panel, played a whole evening through its real
// socket intake. The evening is a scenario file (examples/evening.scn) that lumora-replay runs
// as well; the player reads two kinds of comment in it:
//
//   #> TEXT      a caption, printed under the panel when the player reaches it
//   # wait N     a pause of N seconds (a decimal number) before the next line
//
// Every other line is a scenario line; the player sends its message and waits for the reply.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/posix/agent_host.h"
#include "scenario/scenario.h"

namespace lumora::posix {

struct DemoStep {
  enum class Kind { Caption, Wait, Message };
  Kind kind = Kind::Message;
  std::string caption;          // kCaption
  double seconds = 0;           // kWait
  scenario::Directive message;  // kMessage
};

// Reads the evening: the scenario lines in order with the captions and pauses between them.
// False with "line N: reason" when the file is not a valid scenario, holds a line that cannot
// be sent to a running agent, or a malformed wait.
bool ParseDemo(std::string_view text, std::vector<DemoStep>& steps, std::string& error);

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
