// The socket-folder rule shared by the Linux agent and every sender: where the default socket
// lives and what makes a folder safe to hold it.
#pragma once

#include <string>

namespace lumora::posix {

// The folder of the default socket: $XDG_RUNTIME_DIR, else ${TMPDIR:-/tmp}/lumora-UID, a folder
// of the user's own.
std::string DefaultSocketFolder();
// DefaultSocketFolder()/lumora.sock.
std::string DefaultSocketPath();

// Checks that folder is a folder (not a symbolic link) that belongs to the user who runs the
// process and that no one else may use (no permission for the group or others). When create is
// set and it does not exist, creates it with mode 0700 first. False with a message otherwise;
// missing is set when it does not exist (and was not to be created).
bool CheckPrivateFolder(const std::string& folder, bool create, std::string& error, bool& missing);

}  // namespace lumora::posix
