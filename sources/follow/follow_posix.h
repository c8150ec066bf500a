// `lumora follow` on Linux: the one follower of a user's session. It hosts every source (Kodi
// over its JSON-RPC port, the desktop players on the session bus), each on by default and each
// switchable, feeds them to one translation core (sources/media_source.h) and sends the agent's
// socket what that core says, in one poll loop: a source that waits (Kodi away, a player slow to
// answer) never holds another. It notices an agent that restarted, even while every player is
// quiet, and tells it everything again. `lumora kodi` and `lumora mpris` are this follower with
// one source.
#pragma once

#include "sources/follow/follow_options.h"

namespace lumora::sources {

// Runs until SIGINT, SIGTERM, SIGHUP or SIGQUIT, then closes the sessions it opened. Returns
// the exit status: 0 after a stop signal; 1 when no source can run (the session bus missing,
// with only the desktop players asked for) or the capture cannot be written.
int RunFollower(const FollowOptions& options);

}  // namespace lumora::sources
