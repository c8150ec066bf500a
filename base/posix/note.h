// The notes of the Linux programs on standard error, each line with its priority. Under systemd
// standard error is usually the journal's stream (JOURNAL_STREAM names its device and inode);
// there each line starts with the journal's "<N>" priority (3 error, 4 warning, 6 information,
// 7 debug), which the journal takes off and keeps as the line's priority. Anywhere else the
// lines go out as they are.
#pragma once

#include <cstdio>

namespace lumora {

enum class NotePriority : int {
  Error = 3,
  Warning = 4,
  Info = 6,
  Debug = 7,
};

// True when the descriptor is the stream JOURNAL_STREAM ("DEVICE:INODE") names.
bool IsJournalStream(int fd);

// "<N>" for a line of this priority on standard error when it is the journal's stream, else "".
const char* NotePrefix(NotePriority priority);

// Writes one line on standard error: the prefix, the formatted text and a newline.
void Note(NotePriority priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace lumora
