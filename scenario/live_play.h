// A scenario played to a running agent (`lumora send --file`, lumora-send.exe --file,
// `lumora demo --scenario`): the whole scenario language, as far as a live agent can be given
// it. Messages (event, copydata, power, endsession, close) are sent; the time a scenario lets
// pass becomes a wait, since the agent's own timer ticks and its own clock runs meanwhile:
//
//   tick N       a wait of N seconds
//   time T       after the first message of a run, a wait of as long as T moves the scenario's
//                time on (the ticks and pauses before it counted), at most 600 seconds; a time
//                before that, or one that moves the time back, waits nothing
//   run          the agent started again, where the player starts it (the demo); a sender
//                leaves it out
//
// The demo also reads two kinds of comment, which are comments for everyone else:
//
//   #> TEXT      a caption, printed under the panel
//   # wait N     a pause of N seconds (0 to 600)
//
// What a running agent cannot be given is left out and said once per kind: lang (the agent asks
// its own machine), device none (its panel is open), timer (its timer is its own), and the
// clock that `time` would set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario.h"

namespace lumora::scenario {

// The longest wait a scenario may ask of a live player, in seconds.
inline constexpr double kLongestLiveWait = 600;

struct LiveStep {
  enum class Kind { Caption, Wait, Message, Restart };
  Kind kind = Kind::Message;
  std::string caption;  // Caption
  double seconds = 0;   // Wait: consecutive waits are one step
  Directive message;    // Message: the directive to send; Restart: the `run` line
};

struct LivePlay {
  std::vector<LiveStep> steps;
  // One line per kind of line that is left out or only partly played, in the order of the
  // scenario language ("2 lang lines left out: the running agent asks its own machine for its
  // locale").
  std::vector<std::string> skipped;
};

// Whether a running agent can be sent the directive: event, copydata, power, endsession and
// close.
bool IsLiveMessage(DirectiveKind kind);

// Who plays: a sender sends and waits; the demo also shows captions, pauses and starts its
// agent again at `run` (Restart steps), where a sender leaves `run` out and says so.
enum class LivePlayer { Sender, Demo };

// Plans the play of a scenario's text. False with "line N: reason" when the text is not a valid
// scenario, or (for the demo) holds a malformed `# wait`.
bool PlanLivePlay(std::string_view text, LivePlayer player, LivePlay& play, std::string& error);

}  // namespace lumora::scenario
