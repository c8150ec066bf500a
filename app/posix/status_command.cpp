#include "app/posix/status_command.h"

#include <cstdio>
#include <string_view>

#include "app/posix/run_settings.h"
#include "base/exit_status.h"
#include "base/text_quote.h"
#include "base/version.h"
#include "panel/panel_tables.h"
#include "senders/send_client.h"
#include "senders/socket_folder.h"
#include "sources/follow/follower_state.h"

namespace lumora::posix {
namespace {

constexpr const char kStatusUsage[] =
    "usage: lumora status [--socket PATH]\n"
    "\n"
    "Asks the running agent what its panel shows and prints it, one item a line: line 2 and\n"
    "line 3 (quoted, trailing blanks included), the lit icons by name, the level bar's lit\n"
    "segments of 16, and who shows the time (the agent's clock, the idle date and time while\n"
    "the Media Center shell is not running, or the panel's own clock after a suspend). The\n"
    "agent answers from its model and changes nothing. While a follower (lumora follow, kodi\n"
    "or mpris) runs for the agent, a last line says which player has the panel.\n"
    "\n"
    "  --socket PATH  the agent's socket (default as for lumora run)\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 when the status was shown; 1 when the agent could not be asked (busy for 5\n"
    "seconds, another user's, no answer); 2 on a usage error; 4 when no agent is running.\n";

const char* ClockText(const StatusReport& report) {
  switch (report.clock) {
    case ClockState::None:
      return "none (the Media Center shell runs; the agent shows no clock)";
    case ClockState::Time:
      return "the agent's time on line 3";
    case ClockState::DateTime:
      return report.power == PowerStatus::Quiet ? "the agent's date and time (quiet state)"
                                                : "the agent's date and time";
    case ClockState::Idle:
      return "the idle date and time (the Media Center shell is not running)";
    case ClockState::PanelClock:
      return report.power == PowerStatus::SessionEnding
                 ? "the panel's own clock (handed over at the end of the session)"
                 : "the panel's own clock (handed over on suspend)";
  }
  return "unknown";
}

int StatusUsage(const std::string& message) {
  std::fprintf(stderr, "lumora status: %s\nTry 'lumora status --help' for more information.\n",
               message.c_str());
  return 2;
}

}  // namespace

std::string FormatStatus(const StatusReport& report) {
  std::string out = "line 2: ";
  out += QuoteDisplayText(std::string_view(report.line2, report.line2Length));
  out += "\nline 3: ";
  out += QuoteDisplayText(std::string_view(report.line3, report.line3Length));
  out += "\nicons: ";
  bool any = false;
  for (size_t i = 0; i < kIconCount; ++i) {
    if ((report.litIcons & (uint32_t{1} << i)) == 0) continue;
    if (any) out += ", ";
    out += kIconBits[i].name;
    any = true;
  }
  if (!any) out += "none";
  out += "\nlevel: ";
  out += std::to_string(report.levelSegments);
  out += '/';
  out += std::to_string(kLevelStepCount);
  out += "\nclock: ";
  out += ClockText(report);
  out += '\n';
  if (!report.panelOpen) out += "panel: not open (the agent runs without it)\n";
  return out;
}

std::string FormatFollower(const sources::FollowerState& follower) {
  if (follower.session < 0) return "player: none (the follower runs; no player has the panel)\n";
  return "player: " + follower.player + " (" + follower.application + "), session " +
         std::to_string(follower.session) + "\n";
}

int RunStatusCommand(const std::vector<std::string>& args) {
  std::string socketPath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kStatusUsage, stdout);
      return 0;
    }
    if (arg == "--version" && args.size() == 1) {
      std::printf("lumora %.*s\n", static_cast<int>(ProgramVersion().size()),
                  ProgramVersion().data());
      return 0;
    }
    if (arg == "--socket") {
      if (i + 1 >= args.size()) return StatusUsage("--socket wants a path");
      socketPath = args[++i];
      continue;
    }
    return StatusUsage("unknown option " + arg);
  }
  StatusReport report;
  std::string error;
  // The agent's socket as the configuration file names it, unless --socket did.
  if (socketPath.empty() && !LoadSocketSetting(socketPath, error)) {
    std::fprintf(stderr, "lumora: %s\n", error.c_str());
    return kExitUsage;
  }
  const int status = QueryStatus(socketPath, report, error);
  if (status != 0) {
    std::fprintf(stderr, "lumora status: %s\n", error.c_str());
    return status;
  }
  std::string out = FormatStatus(report);
  sources::FollowerState follower;
  const std::string socket = socketPath.empty() ? DefaultSocketPath() : socketPath;
  if (sources::ReadFollowerState(sources::FollowerStatePath(socket), follower))
    out += FormatFollower(follower);
  std::fputs(out.c_str(), stdout);
  return 0;
}

}  // namespace lumora::posix
