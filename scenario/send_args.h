// The command line of the event senders (lumora-send.exe on Windows, `lumora send` on Linux):
// the stand-ins for the media-state event source. Turns the arguments into the scenario
// directives to send, so that event names, number rules and text quoting are those of the
// scenario format, written once in scenario/scenario.h.
//
//   SID CODE [TEXT]    one Media State Event: the directive `event SID CODE "TEXT"`
//   --power W          `power W`        (WM_POWERBROADCAST)
//   --endsession W     `endsession W`   (WM_ENDSESSION)
//   --close            `close`          (WM_CLOSE: the agent ends)
//   --file SCENARIO    every line of a scenario file ("-": standard input); a sender's scenario
//                      holds only event, copydata, power, endsession and close lines
//   --help             the usage text, nothing sent
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario.h"

namespace lumora::send {

struct SendRequest {
  bool help = false;                            // --help: show SendUsage(), send nothing
  std::vector<scenario::Directive> directives;  // the messages to send, in order
};

// Parses the arguments that follow the program's name (for `lumora send`, those after "send").
// Returns false with a one-line reason in error on a usage error, a malformed event, a
// scenario that cannot be read or is malformed ("SCENARIO: line N: reason"), or a scenario
// line that a sender cannot send. On success request holds at least one directive, or help.
bool ParseSendArgs(const std::vector<std::string_view>& args, SendRequest& request,
                   std::string& error);

// Parses the text of a sender's scenario: the scenario format, limited to the directives a
// sender can send. On failure error is "line N: reason".
bool ParseSendScenario(std::string_view text, std::vector<scenario::Directive>& directives,
                       std::string& error);

// Whether a sender can send the directive: event, copydata, power, endsession and close. The
// set-up directives and the timer belong to the replay alone.
bool IsSendable(scenario::DirectiveKind kind);

// The usage text, naming the program as the user types it ("lumora-send.exe", "lumora send").
std::string SendUsage(std::string_view program);

}  // namespace lumora::send
