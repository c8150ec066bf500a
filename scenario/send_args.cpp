#include "scenario/send_args.h"

#include <initializer_list>

#include "base/event_catalogue.h"
#include "base/text_quote.h"
#include "scenario/scenario_input.h"

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

bool ReadScenario(std::string_view path, std::string& text, std::string& error) {
  scenario::InputError inputError;
  if (scenario::ReadScenarioInput(path, text, inputError)) return true;
  error = inputError.line != 0
              ? Concat({path, ": ", scenario::DescribeInputError(path, inputError)})
              : scenario::DescribeInputError(path, inputError);
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

  const std::string_view first = args[0];
  if (first == "--power" || first == "--endsession") {
    if (args.size() != 2 || !IsWord(args[1])) {
      error = Concat({first, " wants one decimal wParam"});
      return false;
    }
    return ParseLine(Concat({first.substr(2), " ", args[1]}), request, error);
  }
  if (first == "--close") {
    if (args.size() != 1) {
      error = "--close takes no argument";
      return false;
    }
    return ParseLine("close", request, error);
  }
  if (first == "--file") {
    if (args.size() != 2) {
      error = "--file wants one scenario file (or - for standard input)";
      return false;
    }
    std::string text;
    if (!ReadScenario(args[1], text, error)) return false;
    if (!ParseSendScenario(text, request.directives, error)) {
      error = Concat({args[1], ": ", error});
      return false;
    }
    if (request.directives.empty()) {
      error = Concat({args[1], ": the scenario holds nothing to send"});
      return false;
    }
    return true;
  }
  if (first.size() > 1 && first[0] == '-' && (first[1] < '0' || first[1] > '9')) {
    error = Concat({"unknown option ", first});
    return false;
  }

  // SID CODE [TEXT]
  if (args.size() < 2 || args.size() > 3) {
    error = "an event wants a session identifier, an event code and at most one text";
    return false;
  }
  if (!IsWord(args[0])) {
    error = Concat({"'", args[0], "' is not a session identifier"});
    return false;
  }
  if (!IsWord(args[1])) {
    error = Concat({"'", args[1], "' is not an event code or name"});
    return false;
  }
  std::string line = Concat({"event ", args[0], " ", args[1]});
  if (args.size() == 3) line += Concat({" ", QuoteText(args[2])});
  return ParseLine(line, request, error);
}

std::string SendUsage(std::string_view program) {
  std::string usage = Concat({"usage: ", program, " SID CODE [TEXT]\n",  //
                              "       ", program, " --power W | --endsession W | --close\n",
                              "       ", program, " --file SCENARIO\n",  //
                              "       ", program, " --help\n"});
  usage +=
      "\n"
      "Stands in for the media-state event source: sends the running agent (the window titled\n"
      "\"Lumora\") its messages and waits until the agent has handled each one.\n"
      "\n"
      "  SID CODE [TEXT]   one Media State Event (WM_COPYDATA, dwData 1, 40 bytes): session SID\n"
      "                    (decimal, may be negative), event CODE by number (0 to 65535) or by\n"
      "                    name (below), TEXT at most 33 bytes, taken as it stands\n"
      "  --power W         WM_POWERBROADCAST with wParam W (4 suspend, 7 resume, 6 and 18 back\n"
      "                    to normal, 21 and 22 enter and leave the quiet state)\n"
      "  --endsession W    WM_ENDSESSION with wParam W (1: the Windows session ends)\n"
      "  --close           WM_CLOSE: the agent ends\n"
      "  --file SCENARIO   the lines of a scenario file (- for standard input), in order, in the\n"
      "                    format lumora-replay reads: event, copydata, power, endsession and\n"
      "                    close lines\n"
      "  --help            show this help\n"
      "\n"
      "Event names:";
  size_t column = 12;
  for (const EventInfo& info : kEvents) {
    const std::string_view name = info.name;
    if (column + 1 + name.size() > 92) {
      usage += "\n ";
      column = 1;
    }
    usage += ' ';
    usage += name;
    column += 1 + name.size();
  }
  usage +=
      "\n"
      "\n"
      "Exit status: 0 when every message was delivered; 1 when the agent's window was not found\n"
      "(or went away); 2 on a usage error or a malformed scenario.\n";
  return usage;
}

}  // namespace lumora::send
