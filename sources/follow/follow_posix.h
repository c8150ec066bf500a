// `lumora follow` on Linux: the one follower of a user's session. It hosts every source (Kodi
// over its JSON-RPC port, the desktop players on the session bus), each on by default and each
// switchable, feeds them to one translation core (sources/media_source.h) and sends the agent's
// socket what that core says, in one poll loop: a source that waits (Kodi away, a player slow to
// answer) never holds another. It notices an agent that restarted, even while every player is
// quiet, and tells it everything again. `lumora kodi` and `lumora mpris` are this follower with
// one source.
#pragma once

#include <string>
#include <vector>

#include "sources/kodi/kodi_link.h"

namespace lumora::sources {

struct FollowOptions {
  std::string command = "follow";  // as the notes name it: lumora follow, lumora kodi, ...
  bool kodi = true;                // follow Kodi
  bool mpris = true;               // follow the desktop players on the session bus
  KodiOptions kodiOptions;
  std::string socketPath;  // empty: the agent's default socket
  bool verbose = false;    // every event sent, and every player update read, on standard error
  bool help = false;
  bool version = false;
};

// The help of `lumora follow`, `lumora kodi` and `lumora mpris`.
const char* FollowUsage(const std::string& command);

// Parses the arguments after `lumora COMMAND` (follow, kodi or mpris) over what options holds
// already (the configuration file's settings); false with a message on a usage error.
bool ParseFollowArguments(const std::vector<std::string>& args, FollowOptions& options,
                          std::string& error);

// Runs until SIGINT, SIGTERM, SIGHUP or SIGQUIT, then closes the sessions it opened. Returns
// the exit status: 0 after a stop signal; 1 when no source can run (the session bus missing,
// with only the desktop players asked for) or the capture cannot be written.
int RunFollower(const FollowOptions& options);

}  // namespace lumora::sources
