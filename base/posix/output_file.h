// The one rule by which the Linux programs open a file they write (the agent's trace and
// recording, the follower's capture of what Kodi sends): only a regular file, opened without
// waiting, so that a FIFO or a device named by mistake (or by someone else) can never hold the
// program in open or in a write, deaf to its stop signals; a symbolic link followed only when it
// belongs to the user, so another user's link cannot turn the program against its owner's
// files; and locked for as long as it is open, so a second program refuses it rather than
// interleave its lines. Nothing is truncated before the file has passed these checks.
#pragma once

#include <string>

namespace lumora {

enum class OutputMode {
  Keep,      // the file as it is (the caller truncates it once it knows it will run)
  Truncate,  // emptied once it has passed the checks
  Append,    // written at its end
};

// Opens path for writing under the rule above: a descriptor (close-on-exec), or -1 with the reason
// in one phrase for "cannot write the WHAT PATH: REASON" ("it is not a regular file", "it is a
// folder", "it is a symbolic link of user N, not yours; refusing to follow it", RIVAL + " writes
// it" when another holds its lock, or the system's reason).
int OpenOutputFile(const std::string& path, OutputMode mode, const char* rival,
                   std::string& reason);

}  // namespace lumora
