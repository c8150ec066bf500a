// The follower's command line, one for every host: `lumora follow` (and its one-source forms
// `lumora kodi` and `lumora mpris`) on Linux, lumora-follow.exe on Windows. The options, their
// parsing and the help live here once; each host's loop (follow_posix.cpp, follow_win32.cpp)
// runs what they say. The help differs only where the programs do: the sources each host can
// follow, and where the agent is (a socket on Linux, the window "Lumora" on Windows).
#pragma once

#include <string>
#include <vector>

#include "sources/kodi/kodi_link.h"

namespace lumora::sources {

struct FollowOptions {
  std::string command = "follow";  // as the notes name it: lumora follow, lumora kodi, ...
  bool kodi = true;                // follow Kodi
#ifdef _WIN32
  bool mpris = false;  // no desktop players on Windows
  bool media = true;   // follow the system's media sessions (browsers, music applications)
#else
  bool mpris = true;   // follow the desktop players on the session bus
  bool media = false;  // no system's media sessions on Linux
#endif
  bool listMedia = false;  // --list-media (Windows): print the media sessions, follow nothing
  KodiOptions kodiOptions;
  std::string socketPath;  // empty: the agent's default socket (Linux)
  bool verbose = false;    // every event sent, and every player update read, in the notes
  bool help = false;
  bool version = false;
};

// The help of `lumora follow`, `lumora kodi` and `lumora mpris`; on Windows, of
// lumora-follow.exe whatever the command.
const char* FollowUsage(const std::string& command);

// Parses the arguments after `lumora COMMAND` (follow, kodi or mpris), or lumora-follow.exe's,
// over what options holds already (the configuration file's settings); false with a message on
// a usage error.
bool ParseFollowArguments(const std::vector<std::string>& args, FollowOptions& options,
                          std::string& error);

}  // namespace lumora::sources
