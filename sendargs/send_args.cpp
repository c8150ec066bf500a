#include "sendargs/send_args.h"

#include <initializer_list>

#include "base/event_catalogue.h"
#include "base/text_quote.h"
#include "scenario/event_names.h"
#include "scenario/scenario_input.h"
#include "sendargs/power_names.h"
#include "sendargs/send_text.h"

namespace lumora::send {

namespace {

// Joins texts; builds the messages without operator+ on string temporaries.
std::string Concat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts)
    text += part;
  return text;
}

// A word of a scenario line: not empty, no blank and no quote, so that it stays one word.
bool IsWord(std::string_view arg) {
  if (arg.empty()) return false;
  for (const char c : arg) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"') return false;
  }
  return true;
}

// Parses one scenario line made from the command line; the reason alone on failure.
bool ParseLine(const std::string& line, SendRequest& request, std::string& error) {
  scenario::Scenario scenario;
  scenario::ParseError parseError;
  if (!scenario::ParseScenario(line, scenario, parseError)) {
    error = parseError.reason;
    return false;
  }
  request.directives = std::move(scenario.directives);
  return true;
}

// Checks the payload of every event against its format: a warning for each that does not fit,
// or (strict) a refusal. A reason from a scenario file starts "FILE: line N: ".
bool CheckPayloads(const std::vector<scenario::Directive>& directives, bool strict, bool fromFile,
                   std::string_view file, SendRequest& request, std::string& error) {
  for (const scenario::Directive& d : directives) {
    if (d.kind != scenario::DirectiveKind::Event) continue;
    const EventInfo* info = FindEvent(d.code);
    std::string reason;
    if (info == nullptr || scenario::PayloadFitsFormat(*info, d.bytes, reason)) continue;
    if (fromFile) reason = Concat({file, ": line ", std::to_string(d.line), ": ", reason});
    if (strict) {
      error = Concat({reason, " (refused: --strict)"});
      request.directives.clear();  // nothing is sent
      return false;
    }
    request.warnings.push_back(PayloadWarning(reason));
  }
  return true;
}

bool ReadScenario(std::string_view path, std::string& text, std::string& error) {
  scenario::InputError inputError;
  if (scenario::ReadScenarioInput(path, text, inputError)) return true;
  error = scenario::DescribeInputError(path, inputError, true);
  return false;
}

}  // namespace

bool IsSendable(scenario::DirectiveKind kind) {
  switch (kind) {
    case scenario::DirectiveKind::Event:
    case scenario::DirectiveKind::CopyData:
    case scenario::DirectiveKind::Power:
    case scenario::DirectiveKind::EndSession:
    case scenario::DirectiveKind::Close:
      return true;
    default:
      return false;
  }
}

bool ParseSendScenario(std::string_view text, std::vector<scenario::Directive>& directives,
                       std::string& error) {
  scenario::Scenario scenario;
  scenario::ParseError parseError;
  if (!scenario::ParseScenario(text, scenario, parseError)) {
    error = Concat({"line ", std::to_string(parseError.line), ": ", parseError.reason});
    return false;
  }
  for (const scenario::Directive& d : scenario.directives) {
    if (!IsSendable(d.kind)) {
      const std::string name = d.source.substr(0, d.source.find_first_of(" \t"));
      static constexpr std::string_view kSendable =
          "' cannot be sent; a sender sends event, copydata, power, endsession and close lines";
      error = Concat({"line ", std::to_string(d.line), ": '", name, kSendable});
      return false;
    }
  }
  directives = std::move(scenario.directives);
  return true;
}

bool ParseSendArgs(const std::vector<std::string_view>& args, SendRequest& request,
                   std::string& error) {
  request = SendRequest{};
  for (const std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      request.help = true;
      return true;
    }
  }
  if (args.empty()) {
    error = "nothing to send";
    return false;
  }

  std::string_view first = args[0];
  if (first == "--version" || first == "--list") {
    if (args.size() != 1) {
      error = Concat({first, " stands alone"});
      return false;
    }
    (first == "--version" ? request.version : request.list) = true;
    return true;
  }
  size_t at = 0;
  const bool strict = first == "--strict";
  if (strict) {
    if (args.size() == 1) {
      error = "--strict wants an event or --file SCENARIO after it";
      return false;
    }
    first = args[++at];
  }
  const size_t count = args.size() - at;
  if (first == "--power" || first == "--endsession") {
    if (strict) {
      error = Concat({"--strict applies to events, not to ", first});
      return false;
    }
    uint64_t code = 0;
    const bool power = first == "--power";
    if (count != 2 || !(power ? ParsePowerCode(args[1], code) : IsWord(args[1]))) {
      error = power ? "--power wants a decimal wParam or a name: suspend, resume, "
                      "resume-automatic, resume-critical, enter-quiet, leave-quiet"
                    : "--endsession wants one decimal wParam";
      if (count >= 2 && power) error = Concat({"'", args[1], "' is not a power event; ", error});
      return false;
    }
    return ParseLine(Concat({first.substr(2), " ", power ? std::to_string(code) : args[1]}),
                     request, error);
  }
  if (first == "--close") {
    if (strict) {
      error = "--strict applies to events, not to --close";
      return false;
    }
    if (count != 1) {
      error = "--close takes no argument";
      return false;
    }
    return ParseLine("close", request, error);
  }
  if (first == "--file") {
    if (count != 2) {
      error = "--file wants one scenario file (or - for standard input)";
      return false;
    }
    const std::string_view path = args[at + 1];
    std::string text;
    if (!ReadScenario(path, text, error)) return false;
    if (!ParseSendScenario(text, request.directives, error)) {
      error = Concat({path, ": ", error});
      return false;
    }
    if (request.directives.empty()) {
      error = Concat({path, ": the scenario holds nothing to send"});
      return false;
    }
    return CheckPayloads(request.directives, strict, true, path, request, error);
  }
  if (first.size() > 1 && first[0] == '-' && (first[1] < '0' || first[1] > '9')) {
    error = Concat({"unknown option ", first});
    return false;
  }

  // [--strict] SID CODE [TEXT]
  if (count < 2 || count > 3) {
    error = count < 2 ? "an event wants a session identifier and an event code"
                      : "an event takes at most one text (quote a text with blanks)";
    return false;
  }
  const std::string_view sid = args[at];
  std::string_view code = args[at + 1];
  if (!IsWord(sid)) {
    error = Concat({"'", sid, "' is not a session identifier"});
    return false;
  }
  if (!IsWord(code)) {
    error = Concat({"'", code, "' is not an event code or name"});
    return false;
  }
  if (code.front() < '0' || code.front() > '9') {
    // Names in any case; the scenario line carries the catalogue's own spelling.
    const EventInfo* info = scenario::FindEventByNameIgnoringCase(code);
    if (info == nullptr) {
      error = Concat(
          {"unknown event '", code, "'", scenario::DidYouMean(code), "; --list shows every event"});
      return false;
    }
    code = info->name;
  }
  std::string line = Concat({"event ", sid, " ", code});
  if (count == 3) {
    std::string bytes;
    if (!TextFromArgument(args[at + 2], bytes, error)) return false;
    line += Concat({" ", QuoteText(bytes)});
  }
  return ParseLine(line, request, error) &&
         CheckPayloads(request.directives, strict, false, "", request, error);
}

std::string PayloadWarning(std::string_view reason) {
  return Concat({"warning: ", reason, "; sent as typed (--strict refuses it)"});
}

std::string SendUsage(const SendHost& host) {
  const std::string_view p = host.program;
  const std::string_view o = host.synopsis;
  std::string usage = Concat({"usage: ", p, " ", o, "[--strict] SID CODE [TEXT]\n",  //
                              "       ", p, " ", o, "--power W | --endsession W | --close\n",
                              "       ", p, " ", o, "[--strict] --file SCENARIO\n",  //
                              "       ", p, " --list | --help | --version\n\n"});
  usage += host.delivery;
  usage +=
      "\n"
      "  SID CODE [TEXT]   one Media State Event: session SID (decimal, may be negative),\n"
      "                    event CODE by number (0 to 65535) or by name in any case (below),\n"
      "                    TEXT its payload: typed in UTF-8, sent in Windows-1252, the panel's\n"
      "                    character set, at most 33 bytes; \\xHH sends the byte HH\n"
      "  --strict          refuse a payload that does not look like its event's format (it is\n"
      "                    otherwise sent as typed, with a warning)\n"
      "  --power W         WM_POWERBROADCAST with wParam W, a number or one of these names:\n";
  usage += PowerNameList("                      ");
  usage +=
      "  --endsession W    WM_ENDSESSION with wParam W (1: the Windows session ends)\n"
      "  --close           WM_CLOSE: the agent ends\n"
      "  --file SCENARIO   the lines of a scenario file (- for standard input), in order, in the\n"
      "                    format lumora-replay reads: event, copydata, power, endsession and\n"
      "                    close lines; their texts are sent as the file's bytes\n";
  usage += host.optionLines;
  usage +=
      "  --list            every event: code, name, payload format and an example\n"
      "  --help            show this help\n"
      "  --version         show the version\n"
      "\n";
  usage += scenario::EventSummary();
  // Session 1 is the Media Center shell: until one of its menu events arrives the agent keeps
  // the idle clock on the panel, so the example starts the way a Media Center does.
  usage +=
      "\nWhat the agent expects: session 1 is the Media Center shell, and the panel shows the "
      "idle\n"
      "date and time until the shell's first menu event (such as NavHome); every medium has a\n"
      "session of its own, opened, started and played.\n";
  usage += Concat({"Example: ", p, " 1 NavHome; ", p, " 7 SessionOpened; ", p, " 7 LiveTvStarted; ",
                   p, " 7 ItemNumber 7; ", p, " 7 Play\n"});
  usage += "\n";
  usage += host.exitStatus.empty()
               ? "Exit status: 0 when every message was delivered; 1 when the agent could not be\n"
                 "reached or refused a message; 2 on a usage error or a malformed scenario.\n"
               : host.exitStatus;
  return usage;
}

}  // namespace lumora::send
