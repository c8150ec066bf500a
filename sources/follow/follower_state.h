// Which player has the panel, as the running follower tells `lumora status`: one line in a file
// beside the agent's socket (PATH.follow, in the user's own folder), rewritten whole (a new file
// renamed over the old) whenever the player with the panel changes, and removed when the
// follower ends. The line holds the follower's process id, the session, the application and the
// player, separated by tabs:
//   PID<TAB>SESSION<TAB>APPLICATION<TAB>PLAYER
// SESSION is -1 and the two names empty while no player has the panel.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace lumora::sources {

struct FollowerState {
  pid_t pid = 0;
  int32_t session = -1;
  std::string application;  // "Kodi", "desktop players"
  std::string player;       // the player's own name: "Kodi", "mpv", "chromium.instance12"
};

// The file beside a socket.
std::string FollowerStatePath(const std::string& socketPath);
// Writes the state; false with the reason when it cannot.
bool WriteFollowerState(const std::string& path, const FollowerState& state, std::string& error);
// Reads the state of a follower that still runs; false when there is none (no file, a file
// that is not such a line, or its process gone).
bool ReadFollowerState(const std::string& path, FollowerState& state);

}  // namespace lumora::sources
