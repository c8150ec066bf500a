// The stop signals of the POSIX programs' poll loops: read from a descriptor instead of caught,
// so that a loop sees them between two of its steps and ends cleanly, whatever it waits on.
#pragma once

#include <initializer_list>

namespace lumora {

// Blocks the signals and returns a descriptor (signalfd: non-blocking, closed on exec) that
// becomes readable when one comes; -1 when that fails. The signals named in ignored are
// ignored: SIGPIPE by every such loop (a write to a reader that is gone is an error to handle,
// not a reason to die), others as the program wants.
int OpenStopSignals(std::initializer_list<int> signals, std::initializer_list<int> ignored);

}  // namespace lumora
