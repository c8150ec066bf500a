// lumora: the agent on Linux. `lumora run` is the live agent with the panel emulator,
// `lumora send` delivers messages to it, `lumora status` asks it what it shows, `lumora demo`
// plays an evening on it.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/posix/agent_host.h"
#include "app/posix/demo.h"
#include "app/posix/run_settings.h"
#include "app/posix/status_command.h"
#include "base/exit_status.h"
#include "base/posix/note.h"
#include "base/version.h"
#include "scenario/event_names.h"
#include "sendargs/send_args.h"
#include "senders/send_client.h"
#include "sources/follow/follow_posix.h"

namespace {

using lumora::posix::PanelFace;

constexpr const char kUsage[] =
    "usage: lumora COMMAND [OPTIONS]\n"
    "       lumora --help | --version\n"
    "\n"
    "The Lumora agent on Linux, with an emulated front panel.\n"
    "\n"
    "  run    the live agent: the panel in the terminal, messages from a socket\n"
    "  send   send a media-state event, a power or end-of-session message, or close\n"
    "  status show what the running agent's panel shows: lines, icons, level, clock\n"
    "  demo   the live agent with its panel, played a whole evening\n"
    "  follow tell the agent what every player plays: Kodi and the desktop players\n"
    "  kodi   the follower with Kodi alone\n"
    "  mpris  the follower with the desktop players on the session bus alone\n"
    "\n"
    "  --version  show the version\n"
    "\n"
    "lumora COMMAND --help shows the options of a command; `lumora send --help` and\n"
    "`lumora send --list` show every event name and its payload format.\n";

constexpr const char kRunUsage[] =
    "usage: lumora run [--socket PATH] [--panel term|plain|none|lcdproc[=HOST:PORT]]\n"
    "                  [--trace FILE]\n"
    "                  [--record FILE] [-v | --no-verbose] [--accelerate N]\n"
    "                  [--device-error N] [--quiet] [--no-config] [--print-config]\n"
    "\n"
    "Runs the agent until Ctrl-C, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 or\n"
    "`lumora send --close`. It takes the media-state events, power and end-of-session\n"
    "messages from a Unix domain socket (mode 0600), ticks its clock every second, and shows\n"
    "the panel. The settings of the configuration file come first\n"
    "($XDG_CONFIG_HOME/lumora/lumora.conf, else /etc/lumora.conf; see lumora(1)); the options\n"
    "go over them.\n"
    "\n"
    "  --socket PATH     the socket (default $XDG_RUNTIME_DIR/lumora.sock, else\n"
    "                    ${TMPDIR:-/tmp}/lumora-UID/lumora.sock, in a folder of mode 0700)\n"
    "  --panel FACE      term: the panel drawn at the top of the terminal (default on a\n"
    "                    terminal); plain: one state line per packet (default otherwise);\n"
    "                    none: nothing shown (default when standard output is the journal);\n"
    "                    lcdproc[=HOST:PORT]: on the display of LCDd (default\n"
    "                    127.0.0.1:13666), as one of its clients\n"
    "  --trace FILE      write the trace of every call to the display library, waits and\n"
    "                    messages (open, msgbox, cmd, sleep, close), as lumora-replay prints it\n"
    "  --record FILE     append every message the agent receives to FILE as a scenario, which\n"
    "                    lumora-replay replays to the same trace (for a bug report: attach the\n"
    "                    recording and the trace)\n"
    "  -v, --verbose     one line per message received on standard error: the local time, the\n"
    "                    event (name, session, text) or message, and the packets it caused\n"
    "  --no-verbose      none of those lines, whatever the configuration file says\n"
    "  --accelerate N    make the agent's time run N times faster: its waits and its clock\n"
    "  --device-error N  the panel cannot be opened: OpenVFD fails with error N\n"
    "  --quiet           no notes on standard error (listening; no system bus or login manager)\n"
    "  --no-config       read no configuration file: the defaults and these options only\n"
    "  --print-config    print the settings in force and where each one comes from (default,\n"
    "                    FILE:LINE or command line), and exit\n"
    "  --help            show this help\n"
    "  --version         show the version\n"
    "\n"
    "Exit status: 0 after a clean stop; 1 when the agent cannot start or its trace,\n"
    "recording or face cannot be written; 2 on a usage error or a configuration file in error.\n";

// What `lumora send --help` says of the Linux host; the rest is the senders' common text.
constexpr lumora::send::SendHost kSendHost{
    "lumora send", "[--socket PATH] ",
    "Stands in for the media-state event source: sends the running agent (`lumora run`) its\n"
    "messages through its socket and returns once the agent has handled each one. While every\n"
    "connection of the agent is taken it tries again, for 5 seconds at most. It sends only to\n"
    "an agent of the same user (or root's).\n",
    "  --socket PATH     the agent's socket (default as for lumora run)\n",
    "Exit status: 0 when every message was handled; 1 when a message was not handled and\n"
    "never will be (the agent is not running, stayed busy, belongs to another user, or\n"
    "refused it); 2 on a usage error or a scenario file that is missing, unreadable or\n"
    "malformed; 3 when the agent did not reply within 30 seconds (it has the message and\n"
    "may still handle it).\n"};

constexpr const char kDemoUsage[] =
    "usage: lumora demo [--fast] [--panel term|plain|none] [--scenario FILE]\n"
    "\n"
    "Starts the live agent with its panel and plays an evening through its socket, in real\n"
    "time, with a caption under each step: the idle clock, Media Center starting, live TV,\n"
    "a recorded show, music, pictures, a phone call, a disc, suspend and resume, the end.\n"
    "Ctrl-C ends it.\n"
    "\n"
    "  --fast             play it in a few seconds\n"
    "  --panel FACE       as for lumora run (default term on a terminal, else plain)\n"
    "  --scenario FILE    play another evening, or a recording of lumora run --record: any\n"
    "                     scenario (captions: \"#> TEXT\"; pauses: \"# wait N\", tick N and\n"
    "                     time; run starts the agent again; lang, device and timer lines are\n"
    "                     left out, said once per kind)\n"
    "  --help             show this help\n"
    "  --version          show the version\n"
    "\n"
    "Exit status: 0 when the evening was played; 1 on a failure; 2 on a usage error or an\n"
    "evening that is missing, unreadable or malformed; 130 when interrupted.\n";

// A usage mistake: one line naming it, and where the help is.
int Usage(const char* command, const std::string& message) {
  const std::string program = *command == '\0' ? "lumora" : std::string("lumora ") + command;
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
               message.c_str(), program.c_str());
  return lumora::kExitUsage;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

bool WantsVersion(const std::vector<std::string>& args) {
  return args.size() == 1 && args[0] == "--version";
}

int Version() {
  std::printf("lumora %.*s\n", static_cast<int>(lumora::ProgramVersion().size()),
              lumora::ProgramVersion().data());
  return 0;
}

// The demo's faces: those of lumora run but LCDd.
bool ParseFace(const std::string& value, PanelFace& face) {
  return lumora::posix::PanelNamed(value, face) && face != PanelFace::Lcdproc;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

PanelFace DefaultFace() {
  return lumora::posix::DefaultPanel(nullptr);
}

// A configuration file that is not a good one: its one line, and nothing starts.
int ConfigError(const std::string& error) {
  lumora::Note(lumora::NotePriority::Error, "lumora: %s", error.c_str());
  return lumora::kExitUsage;
}

int Run(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::fputs(kRunUsage, stdout);
    return 0;
  }
  if (WantsVersion(args)) return Version();
  // The configuration file first, the command line over it.
  lumora::posix::HostOptions options;
  lumora::posix::RunSettings settings;
  settings.readFile = std::find(args.begin(), args.end(), "--no-config") == args.end();
  std::string error;
  if (!lumora::posix::LoadRunSettings(settings, options, error)) return ConfigError(error);
  using lumora::config::Setting;
  using Source = lumora::posix::SettingSource;
  bool printConfig = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--print-config") {
      printConfig = true;
      continue;
    }
    if (arg == "--no-config") continue;
    if (arg == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (arg == "-v" || arg == "--verbose" || arg == "--no-verbose") {
      options.verbose = arg != "--no-verbose";
      settings[Setting::Verbose] = Source::CommandLine;
      continue;
    }
    const bool takesValue = arg == "--socket" || arg == "--panel" || arg == "--trace" ||
                            arg == "--record" || arg == "--accelerate" || arg == "--device-error";
    if (!takesValue) return Usage("run", "unknown option " + arg);
    if (!hasValue) return Usage("run", arg + " wants a value");
    const std::string& value = args[++i];
    if (arg == "--socket") {
      options.socketPath = value;
      settings[Setting::Socket] = Source::CommandLine;
    } else if (arg == "--panel") {
      bool serverGiven = false;
      if (!lumora::posix::ParsePanel(value, options, &serverGiven)) {
        return Usage("run", "--panel wants term, plain, none or lcdproc[=HOST:PORT]");
      }
      settings[Setting::Panel] = Source::CommandLine;
      if (serverGiven) settings[Setting::LcdprocServer] = Source::CommandLine;
    } else if (arg == "--trace") {
      options.tracePath = value;
      settings[Setting::Trace] = Source::CommandLine;
    } else if (arg == "--record") {
      options.recordPath = value;
      settings[Setting::Record] = Source::CommandLine;
    } else if (arg == "--accelerate") {
      if (!ParseNumber(value, options.waitDivisor) || options.waitDivisor == 0 ||
          options.waitDivisor > 1000) {
        return Usage("run", "--accelerate wants a number from 1 to 1000");
      }
    } else {
      options.deviceFails = true;
      if (!ParseNumber(value, options.deviceError)) {
        return Usage("run", "--device-error wants a decimal number");
      }
    }
  }
  if (printConfig) {
    std::fputs(lumora::posix::DescribeSettings(settings, options).c_str(), stdout);
    return 0;
  }
  return lumora::posix::RunAgent(options);
}

int Send(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::fputs(lumora::send::SendUsage(kSendHost).c_str(), stdout);
    return 0;
  }
  lumora::posix::SocketSendRequest request;
  std::string error;
  if (!lumora::posix::ParseSendArguments(args, request, error)) return Usage("send", error);
  if (request.version) return Version();
  if (request.list) {
    std::fputs(lumora::scenario::EventTable().c_str(), stdout);
    return 0;
  }
  // The agent's socket as the configuration file names it, unless --socket did.
  if (request.socketPath.empty() && !lumora::posix::LoadSocketSetting(request.socketPath, error)) {
    return ConfigError(error);
  }
  for (const std::string& warning : request.warnings)
    std::fprintf(stderr, "lumora send: %s\n", warning.c_str());
  for (const std::string& line : request.skipped)
    std::fprintf(stderr, "lumora send: %s\n", line.c_str());
  return lumora::posix::SendScenario(request.socketPath, request.steps);
}

int Demo(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::fputs(kDemoUsage, stdout);
    return 0;
  }
  if (WantsVersion(args)) return Version();
  lumora::posix::DemoOptions options;
  options.panel = DefaultFace();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--fast") {
      options.fast = true;
    } else if (arg == "--panel" && i + 1 < args.size()) {
      if (!ParseFace(args[++i], options.panel)) {
        return Usage("demo", "--panel wants term, plain or none");
      }
    } else if (arg == "--scenario" && i + 1 < args.size()) {
      options.scenarioPath = args[++i];
    } else {
      return Usage("demo", "unknown option or missing value: " + arg);
    }
  }
  return lumora::posix::RunDemo(options);
}

// lumora follow, kodi and mpris: the follower with every source, or with one.
int Follow(const std::string& command, const std::vector<std::string>& args) {
  lumora::sources::FollowOptions options;
  options.command = command;
  options.kodi = command != "mpris";
  options.mpris = command != "kodi";
  std::string error;
  if (!WantsHelp(args) && !WantsVersion(args) &&
      !lumora::posix::LoadFollowSettings(options, error)) {
    return ConfigError(error);
  }
  if (!lumora::sources::ParseFollowArguments(args, options, error))
    return Usage(command.c_str(), error);
  if (options.help) {
    std::fputs(lumora::sources::FollowUsage(command), stdout);
    return 0;
  }
  if (options.version) return Version();
  return lumora::sources::RunFollower(options);
}

}  // namespace

static int Main(int argc, char** argv) {
  if (argc < 2)
    return Usage("", "no command given (run, send, status, demo, follow, kodi or mpris)");
  const std::string_view command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") return Version();
  if (command == "run") return Run(args);
  if (command == "send") return Send(args);
  if (command == "status") return lumora::posix::RunStatusCommand(args);
  if (command == "demo") return Demo(args);
  if (command == "follow" || command == "kodi" || command == "mpris")
    return Follow(std::string(command), args);
  return Usage("", "unknown command '" + std::string(command) +
                       "' (run, send, status, demo, follow, kodi or mpris)");
}

int main(int argc, char** argv) {
  const int status = Main(argc, argv);
  // Standard output is checked for every command: a help or an event table that could not be
  // written is a failure too.
  std::string program = "lumora";
  if (argc >= 2 && argv[1][0] != '-') (program += ' ') += argv[1];
  return lumora::CheckedExit(program.c_str(), status);
}
