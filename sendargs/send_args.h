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
//                      a scenario file ("-": standard input) played to the running agent
//                      (scenario/live_play.h): its messages sent, its ticks, times and
//                      `# wait`s as waits, what a running agent cannot take left out and said
//   --list             the event catalogue, nothing sent
//   --help, --version  the usage text or the version, nothing sent
// A payload that does not look like its event's format is sent as typed with a warning, since
// the agent takes whatever the event source sends; --strict refuses it instead. Options
// (--strict, and a host's own such as --socket PATH) may stand anywhere before "--"; what
// follows "--" is the event as it stands (a text that starts with "--").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scenario/live_play.h"
#include "scenario/scenario.h"

namespace lumora::send {

struct SendRequest {
  bool help = false;     // --help: show SendUsage(), send nothing
  bool version = false;  // --version: show the version, send nothing
  bool list = false;     // --list: show the event table, send nothing
  // What to play, in order: the messages to send, with the waits of a scenario file between
  // them.
  std::vector<scenario::LiveStep> steps;
  std::vector<std::string> warnings;  // payloads unlike their format, sent anyway
  // What a scenario file held that a running agent cannot take, one line per kind, each
  // starting "SCENARIO: ".
  std::vector<std::string> skipped;
};

// Parses the arguments that follow the program's name (for `lumora send`, those after "send").
// Returns false with a one-line reason in error on a usage error, a malformed event, a
// scenario that cannot be read or is malformed ("SCENARIO: line N: reason"), or (with --strict)
// a payload unlike its format. On success request holds at least one message, or help,
// version or list.
bool ParseSendArgs(const std::vector<std::string_view>& args, SendRequest& request,
                   std::string& error);

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
