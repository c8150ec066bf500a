#include "sources/follow/follow_options.h"

#include <cstdlib>
#include <string_view>

namespace lumora::sources {

namespace {

// The sources a host's follower can be told to follow or to leave, as --only and --no-NAME
// (and the configuration file's [follow]) name them.
struct SourceSwitch {
  std::string_view name;
  bool FollowOptions::*on;
};

#ifdef _WIN32
constexpr SourceSwitch kSources[] = {{"kodi", &FollowOptions::kodi},
                                     {"media", &FollowOptions::media}};
constexpr char kOnlyWants[] = "--only wants kodi or media";
constexpr char kNoSourceLeft[] = "no source left to follow (both kodi and media are off)";
constexpr bool kSwitchesOff = true;
constexpr bool kHasSocket = false;
constexpr bool kHasListMedia = true;

constexpr char kWindowsUsage[] =
    "usage: lumora-follow.exe [--only kodi|media] [--no-kodi] [--no-media] [--host HOST]\n"
    "                         [--port PORT] [-v] [--capture FILE]\n"
    "       lumora-follow.exe --list-media\n"
    "\n"
    "Follows the players of this PC at once and shows on the panel the one that changed last:\n"
    "Kodi over its JSON-RPC TCP port (in Kodi: Settings > Services > Control, \"Allow remote\n"
    "control from applications on this system\"), and the system's media sessions, where\n"
    "browsers, music applications and most players publish what they play (Windows 10 1809\n"
    "and later; elsewhere one line says they are not available and Kodi is followed alone).\n"
    "It hands the running agent (the window titled \"Lumora\") the Media State Events of the\n"
    "menus, what plays, its play time, transport and volume, waits for the players and the\n"
    "agent when they are not running, and tells an agent that restarted everything again. It\n"
    "shows no window: it runs until Windows ends the session or its hidden window (class\n"
    "LumoraFollower) is sent WM_CLOSE, as the installer does before an update, then closes\n"
    "the sessions it opened.\n"
    "\n"
    "Its notes go to %LOCALAPPDATA%\\Lumora\\lumora-follow.log and to a debugger's output. A\n"
    "log that has reached 1 MiB is renamed lumora-follow.old.log (the older one deleted) and\n"
    "a new one begun, at start and while it runs. This help, the version, the media list and\n"
    "a usage mistake go to the console it was started from (or the output it was given),\n"
    "else to that log.\n"
    "\n"
    "  --only SOURCE  follow only kodi, or only media (the system's media sessions)\n"
    "  --no-kodi      do not follow Kodi\n"
    "  --no-media     do not follow the system's media sessions\n"
    "  --host HOST    Kodi's host (default 127.0.0.1)\n"
    "  --port PORT    Kodi's JSON-RPC TCP port (default 9090)\n"
    "  -v, --verbose  also one line per event sent, in the log\n"
    "  --capture FILE write every message Kodi sends, and the Kodi source's own steps, to FILE\n"
    "                 (for a bug report: the same events follow from it again)\n"
    "  --list-media   print every media session as Windows reports it (application,\n"
    "                 title, artist, status, position, update time) and end\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 after a stop; 1 when the capture cannot be written, another\n"
    "lumora-follow.exe runs in this session, or --list-media finds no media sessions to\n"
    "read; 2 on a usage error.\n";

#else
constexpr SourceSwitch kSources[] = {{"kodi", &FollowOptions::kodi},
                                     {"mpris", &FollowOptions::mpris}};
constexpr char kOnlyWants[] = "--only wants kodi or mpris";
constexpr char kNoSourceLeft[] = "no source left to follow (both kodi and mpris are off)";
constexpr bool kSwitchesOff = true;
constexpr bool kHasSocket = true;
constexpr bool kHasListMedia = false;

constexpr char kFollowUsage[] =
    "usage: lumora follow [--only kodi|mpris] [--no-kodi] [--no-mpris] [--host HOST]\n"
    "                     [--port PORT] [--socket PATH] [-v] [--capture FILE]\n"
    "\n"
    "Follows every player of this session at once and shows on the panel the one that\n"
    "changed last: Kodi over its JSON-RPC TCP port and every desktop player on the session\n"
    "bus (each one that owns a name org.mpris.MediaPlayer2.*: mpv with mpv-mpris, VLC, a\n"
    "browser). It sends the running agent (`lumora run`) the Media State Events of the menus,\n"
    "what plays, its play time, transport and volume, waits for the players and the agent\n"
    "when they are not running, and tells an agent that restarted everything again. Runs\n"
    "until Ctrl-C, SIGTERM or SIGHUP, then closes the sessions it opened. The configuration\n"
    "file's [follow] kodi and mpris, [kodi] host and port and socket come first (lumora(1)).\n"
    "\n"
    "  --only SOURCE  follow only kodi, or only mpris (the desktop players)\n"
    "  --no-kodi      do not follow Kodi\n"
    "  --no-mpris     do not follow the desktop players\n"
    "  --host HOST    Kodi's host (default 127.0.0.1)\n"
    "  --port PORT    Kodi's JSON-RPC TCP port (default 9090)\n"
    "  --socket PATH  the agent's socket (default as for `lumora run`)\n"
    "  -v, --verbose  one line per event sent and per player update read, on standard error\n"
    "  --capture FILE write every message Kodi sends, and the Kodi source's own steps, to FILE\n"
    "                 (for a bug report: the same events follow from it again)\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 after a stop signal; 1 when no source can run or the capture cannot be\n"
    "written; 2 on a usage error.\n";

constexpr char kKodiUsage[] =
    "usage: lumora kodi [--host HOST] [--port PORT] [--socket PATH] [-v] [--capture FILE]\n"
    "\n"
    "The follower with Kodi alone (lumora follow --only kodi): follows Kodi over its JSON-RPC\n"
    "TCP port and shows what it plays on the panel: sends the running agent (`lumora run`)\n"
    "the Media State Events of Kodi's menus, what it plays, its play time, transport and\n"
    "volume. Waits for Kodi and for the agent when they are not running, and follows Kodi\n"
    "again when it restarts. Kodi's JSON-RPC over TCP must be on (Settings > Services >\n"
    "Control: \"Allow remote control from applications on this system\"). Runs until Ctrl-C,\n"
    "SIGTERM or SIGHUP, then closes the sessions it opened.\n"
    "\n"
    "  --host HOST    Kodi's host (default 127.0.0.1)\n"
    "  --port PORT    Kodi's JSON-RPC TCP port (default 9090)\n"
    "  --socket PATH  the agent's socket (default as for `lumora run`)\n"
    "  -v, --verbose  one line per event sent on standard error\n"
    "  --capture FILE write every message Kodi sends, and the bridge's own steps, to FILE\n"
    "                 (for a bug report: the same events follow from it again)\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 after a stop signal; 1 when the capture cannot be written; 2 on a usage\n"
    "error.\n";

constexpr char kMprisUsage[] =
    "usage: lumora mpris [--socket PATH] [-v]\n"
    "\n"
    "The follower with the desktop players alone (lumora follow --only mpris): follows every\n"
    "desktop player on the session bus (each one that owns a name org.mpris.MediaPlayer2.*:\n"
    "mpv with mpv-mpris, a music player, a browser) and tells the agent what plays, as a\n"
    "media-state event source would: a media session per player, the title, artist and track,\n"
    "play, pause and stop, the play time, the volume. With several players the panel follows\n"
    "the one that changed state last. It waits for the agent when it is not running, and\n"
    "runs until Ctrl-C or SIGTERM, closing what it opened.\n"
    "\n"
    "  --socket PATH  the agent's socket, as for lumora run\n"
    "  -v, --verbose  every event sent and every player update read from the bus on standard\n"
    "                 error, one a line\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 after Ctrl-C or SIGTERM; 1 without a session bus, or when it goes away.\n";
#endif

const SourceSwitch* FindSource(std::string_view name) {
  for (const SourceSwitch& source : kSources)
    if (source.name == name) return &source;
  return nullptr;
}

}  // namespace

const char* FollowUsage(const std::string& command) {
#ifdef _WIN32
  (void)command;
  return kWindowsUsage;
#else
  if (command == "kodi") return kKodiUsage;
  if (command == "mpris") return kMprisUsage;
  return kFollowUsage;
#endif
}

bool ParseFollowArguments(const std::vector<std::string>& args, FollowOptions& options,
                          std::string& error) {
  const bool follow = options.command == "follow";
  const bool kodi = follow || options.command == "kodi";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const SourceSwitch* off =
        kSwitchesOff && arg.rfind("--no-", 0) == 0 ? FindSource(arg.substr(5)) : nullptr;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (kHasListMedia && arg == "--list-media") {
      options.listMedia = true;
    } else if (kHasSocket && arg == "--socket" && hasValue) {
      options.socketPath = args[++i];
    } else if (follow && arg == "--only" && hasValue) {
      const std::string& name = args[++i];
      const SourceSwitch* only = FindSource(name);
      if (only == nullptr) {
        error = kOnlyWants;
        return false;
      }
      for (const SourceSwitch& source : kSources)
        options.*source.on = &source == only;
    } else if (follow && off != nullptr) {
      options.*off->on = false;
    } else if (kodi && arg == "--host" && hasValue) {
      options.kodiOptions.host = args[++i];
      if (options.kodiOptions.host.empty()) {
        error = "--host wants a host name or address";
        return false;
      }
    } else if (kodi && arg == "--port" && hasValue) {
      const std::string& port = args[++i];
      char* end = nullptr;
      const long number = std::strtol(port.c_str(), &end, 10);
      if (port.empty() || *end != '\0' || number < 1 || number > 65535) {
        error = "--port wants a number from 1 to 65535";
        return false;
      }
      options.kodiOptions.port = port;
    } else if (kodi && arg == "--capture" && hasValue) {
      options.kodiOptions.capturePath = args[++i];
    } else {
      error = "unknown option or missing value: " + arg;
      return false;
    }
  }
  bool any = false;
  for (const SourceSwitch& source : kSources)
    any = any || options.*source.on;
  if (!any) {
    error = kNoSourceLeft;
    return false;
  }
  return true;
}

}  // namespace lumora::sources
