#include "sendargs/send_args.h"

#include <initializer_list>

#include "base/event_catalogue.h"
#include "base/text_quote.h"
#include "scenario/event_names.h"
#include "scenario/power_names.h"
#include "scenario/scenario_input.h"
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

// Parses one scenario line made from the command line into the one message to send; the reason
// alone on failure.
bool ParseLine(const std::string& line, SendRequest& request, std::string& error) {
  scenario::Scenario scenario;
  scenario::ParseError parseError;
  if (!scenario::ParseScenario(line, scenario, parseError)) {
    error = parseError.reason;
    return false;
  }
  request.steps.clear();
  for (scenario::Directive& d : scenario.directives) {
    scenario::LiveStep step;
    step.message = std::move(d);
    request.steps.push_back(std::move(step));
  }
  return true;
}

// Checks the payload of every event against its format: a warning for each that does not fit,
// or (strict) a refusal. A reason from a scenario file starts "FILE: line N: ".
bool CheckPayloads(bool strict, bool fromFile, std::string_view file, SendRequest& request,
                   std::string& error) {
  for (const scenario::LiveStep& step : request.steps) {
    const scenario::Directive& d = step.message;
    if (step.kind != scenario::LiveStep::Kind::Message ||
        d.kind != scenario::DirectiveKind::Event) {
      continue;
    }
    const EventInfo* info = FindEvent(d.code);
    std::string reason;
    if (info == nullptr || scenario::PayloadFitsFormat(*info, d.bytes, reason)) continue;
    if (fromFile) reason = Concat({file, ": line ", std::to_string(d.line), ": ", reason});
    if (strict) {
      error = Concat({reason, " (refused: --strict)"});
      request.steps.clear();  // nothing is sent
      request.skipped.clear();
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

bool ParseSendArgs(const std::vector<std::string_view>& args, SendRequest& request,
                   std::string& error) {
  request = SendRequest{};
  // Options may stand anywhere before "--"; after it every word is the event's.
  std::vector<std::string_view> words;
  size_t optionWords = 0;  // the words before "--", where an option may stand
  bool strict = false;
  bool ended = false;
  for (const std::string_view arg : args) {
    if (!ended && (arg == "--help" || arg == "-h")) {
      request.help = true;
      return true;
    }
    if (!ended && arg == "--") {
      ended = true;
    } else if (!ended && arg == "--strict") {
      strict = true;
    } else {
      words.push_back(arg);
      if (!ended) optionWords = words.size();
    }
  }
  if (words.empty()) {
    error = strict ? "--strict wants an event or --file SCENARIO after it" : "nothing to send";
    return false;
  }

  const std::string_view first = optionWords > 0 ? words[0] : std::string_view();
  const size_t count = words.size();
  if (first == "--version" || first == "--list") {
    if (count != 1 || strict) {
      error = Concat({first, " stands alone"});
      return false;
    }
    (first == "--version" ? request.version : request.list) = true;
    return true;
  }
  if (first == "--power" || first == "--endsession") {
    if (strict) {
      error = Concat({"--strict applies to events, not to ", first});
      return false;
    }
    uint64_t code = 0;
    const bool power = first == "--power";
    if (count != 2 || !(power ? scenario::ParsePowerCode(words[1], code) : IsWord(words[1]))) {
      error = power ? "--power wants a decimal wParam or a name: suspend, resume, "
                      "resume-automatic, resume-critical, enter-quiet, leave-quiet"
                    : "--endsession wants one decimal wParam";
      if (count >= 2 && power) error = Concat({"'", words[1], "' is not a power event; ", error});
      return false;
    }
    return ParseLine(Concat({first.substr(2), " ", power ? std::to_string(code) : words[1]}),
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
    const std::string_view path = words[1];
    std::string text;
    if (!ReadScenario(path, text, error)) return false;
    scenario::LivePlay play;
    if (!scenario::PlanLivePlay(text, scenario::LivePlayer::Sender, play, error)) {
      error = Concat({path, ": ", error});
      return false;
    }
    bool messages = false;
    for (const scenario::LiveStep& step : play.steps)
      messages = messages || step.kind == scenario::LiveStep::Kind::Message;
    if (!messages) {
      error = Concat({path, ": the scenario holds nothing to send"});
      return false;
    }
    request.steps = std::move(play.steps);
    for (const std::string& line : play.skipped)
      request.skipped.push_back(Concat({path, ": ", line}));
    return CheckPayloads(strict, true, path, request, error);
  }
  // An option where the event's words stand: one this sender does not know.
  for (size_t i = 0; i < optionWords; ++i) {
    const std::string_view word = words[i];
    const bool option = i == 0
                            ? word.size() > 1 && word[0] == '-' && (word[1] < '0' || word[1] > '9')
                            : word.size() > 2 && word.starts_with("--");
    if (option) {
      error = Concat({"unknown option ", word,
                      i == 0 ? "" : " (an event's text that starts with -- goes after --)"});
      return false;
    }
  }

  // [--strict] SID CODE [TEXT]
  if (count < 2 || count > 3) {
    error = count < 2 ? "an event wants a session identifier and an event code"
                      : "an event takes at most one text (quote a text with blanks)";
    return false;
  }
  const std::string_view sid = words[0];
  std::string_view code = words[1];
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
    if (!TextFromArgument(words[2], bytes, error)) return false;
    line += Concat({" ", QuoteText(bytes)});
  }
  return ParseLine(line, request, error) && CheckPayloads(strict, false, "", request, error);
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
  usage += scenario::PowerNameList("                      ");
  usage +=
      "  --endsession W    WM_ENDSESSION with wParam W (1: the Windows session ends)\n"
      "  --close           WM_CLOSE: the agent ends\n"
      "  --file SCENARIO   play a scenario file (- for standard input) in the language\n"
      "                    lumora-replay reads, a recording included: its messages sent in\n"
      "                    order; tick N a wait of N seconds; time a wait of as long as it\n"
      "                    moves the time on (at most 600 seconds); lang, device, timer and\n"
      "                    run lines left out, said once per kind; texts in UTF-8 sent in\n"
      "                    Windows-1252, a text that is not UTF-8 as the bytes it holds\n";
  usage += host.optionLines;
  usage +=
      "  --                the end of the options, which may stand anywhere before it: what\n"
      "                    follows is the event (for a text that starts with --)\n"
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
