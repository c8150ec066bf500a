// `lumora mpris`: follows every desktop player on the session bus and tells the Linux agent
// what plays, as a media-state event source would. One thread, one poll loop: the bus, the
// stop signals and a one-second beat (the followed player's position; the agent looked for
// again when it was not there).
#pragma once

#include <string>

namespace lumora::sources {

struct MprisOptions {
  std::string socketPath;  // empty: the default socket
  bool verbose = false;    // every player update on standard error, as a line of player_update.h
};

// Runs until a stop signal or the end of the session bus; returns the exit status: 0 after a
// stop signal, 1 when the session bus is missing or gone.
int RunMpris(const MprisOptions& options);

}  // namespace lumora::sources
