// `lumora status`: asks a running agent what its panel shows and prints it, one item a line.
#pragma once

#include <string>
#include <vector>

#include "senders/frame.h"
#include "sources/follow/follower_state.h"

namespace lumora::posix {

// The report as `lumora status` prints it: line 2 and line 3 quoted (UTF-8), the lit icons by
// name, the level bar's lit segments of 16, and who shows the time.
std::string FormatStatus(const StatusReport& report);

// The line of a running follower: which player has the panel, of which application, in which
// session ("player: mpv (desktop players), session 3"), or that none has.
std::string FormatFollower(const sources::FollowerState& follower);

// The command, args without the program and command names; returns its exit status: 0 shown,
// 1 the agent could not be asked, 2 a usage mistake, 4 no agent runs.
int RunStatusCommand(const std::vector<std::string>& args);

}  // namespace lumora::posix
