// The command line of the event senders (lumora-send.exe on Windows, `lumora send` on Linux):
// the stand-ins for the media-state event source. Turns the arguments into the scenario
// directives to send, so that event names, number rules and text quoting are those of the
// scenario format, written once in scenario/scenario.h.
//
//   [--strict] SID CODE [TEXT]
//                      one Media State Event: the directive `event SID CODE "TEXT"`; CODE a
//                      number or an event name in any case, TEXT converted from UTF-8 to the
//                      panel's Windows-1252 (sendargs/send_text.h)
//   --power W          `power W`        (WM_POWERBROADCAST; W a number or a name: suspend ...)
//   --endsession W     `endsession W`   (WM_ENDSESSION)
//   --close            `close`          (WM_CLOSE: the agent ends)
//   [--strict] --file SCENARIO
//                      every line of a scenario file ("-": standard input); a sender's scenario
//                      holds only event, copydata, power, endsession and close lines, and its
//                      texts are bytes as the scenario format has them
//   --list             the event catalogue, nothing sent
//   --help, --version  the usage text or the version, nothing sent
// A payload that does not look like its event's format is sent as typed with a warning, since
// the agent takes whatever the event source sends; --strict refuses it instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario.h"

namespace lumora::send {

struct SendRequest {
  bool help = false;                            // --help: show SendUsage(), send nothing
  bool version = false;                         // --version: show the version, send nothing
  bool list = false;                            // --list: show the event table, send nothing
  std::vector<scenario::Directive> directives;  // the messages to send, in order
  std::vector<std::string> warnings;            // payloads unlike their format, sent anyway
};

// Parses the arguments that follow the program's name (for `lumora send`, those after "send").
// Returns false with a one-line reason in error on a usage error, a malformed event, a
// scenario that cannot be read or is malformed ("SCENARIO: line N: reason"), a scenario line
// that a sender cannot send, or (with --strict) a payload unlike its format. On success request
// holds at least one directive, or help, version or list.
bool ParseSendArgs(const std::vector<std::string_view>& args, SendRequest& request,
                   std::string& error);

// Parses the text of a sender's scenario: the scenario format, limited to the directives a
// sender can send. On failure error is "line N: reason".
bool ParseSendScenario(std::string_view text, std::vector<scenario::Directive>& directives,
                       std::string& error);

// Whether a sender can send the directive: event, copydata, power, endsession and close. The
// set-up directives and the timer belong to the replay alone.
bool IsSendable(scenario::DirectiveKind kind);

// What the usage text says of the host: how the messages reach the agent, and the host's own
// options (`--socket PATH` of `lumora send`).
struct SendHost {
  std::string_view program;      // as the user types it: "lumora-send.exe", "lumora send"
  std::string_view synopsis;     // the host's options before the common ones, or ""
  std::string_view delivery;     // one paragraph, each line ended by a line feed
  std::string_view optionLines;  // the host's option lines, or ""
  // The host's exit statuses, a paragraph; empty: those of a sender that delivers each message
  // itself (0 delivered, 1 not, 2 usage).
  std::string_view exitStatus = {};
};

// The usage text: the command line, every option, every event name and payload format, the
// power names and the exit statuses.
std::string SendUsage(const SendHost& host);

// The warning line for a payload unlike its format: "REASON; sent as typed (--strict refuses
// it)".
std::string PayloadWarning(std::string_view reason);

}  // namespace lumora::send
