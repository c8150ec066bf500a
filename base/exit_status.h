// The exit statuses of every Lumora program (`lumora` and its commands, `lumora-replay`,
// `lumora-send.exe`): one status per kind of outcome, the same in every tool, as each manual
// page's EXIT STATUS lists them.
#pragma once

namespace lumora {

enum ExitStatus : int {
  // Done: the agent stopped cleanly, every message was handled, the scenario ran.
  kExitOk = 0,
  // Could not be done at run time: the agent cannot start, is not running, went away or
  // refused a message; an output (the trace, a picture, standard output) could not be written.
  kExitFailure = 1,
  // A usage mistake, or an input that cannot be used: a file that is missing, unreadable, a
  // folder, malformed or beyond the bounds. Nothing was done.
  kExitUsage = 2,
  // (senders) A message went out whole but no reply came: it may have been handled, or may
  // still be.
  kExitUnanswered = 3,
  // (lumora status) No agent runs on the socket: nothing was asked.
  kExitNoAgent = 4,
  // (lumora demo) Ended by Ctrl-C or SIGTERM.
  kExitInterrupted = 130,
};

// Flushes standard output and checks that everything written to it went out. When it did not
// (a full disk, /dev/full), says "PROGRAM: write error: REASON" on standard error and turns a
// success into kExitFailure; any other status is kept.
int CheckedExit(const char* program, int status);

// The same for an output error the program met itself (errno of the failed write; 0 when
// there was none).
int CheckedExit(const char* program, int status, int writeError);

}  // namespace lumora
