#include "base/posix/note.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdarg>
#include <cstdlib>

namespace lumora {

bool IsJournalStream(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  uintmax_t device = 0;
  uintmax_t inode = 0;
  char rest = '\0';
  if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &rest) != 2) {
    return false;
  }
  struct stat info {};
  return ::fstat(fd, &info) == 0 && static_cast<uintmax_t>(info.st_dev) == device &&
         static_cast<uintmax_t>(info.st_ino) == inode;
}

const char* NotePrefix(NotePriority priority) {
  // Decided once: standard error does not change its nature while the program runs.
  static const bool journal = IsJournalStream(STDERR_FILENO);
  if (!journal) return "";
  switch (priority) {
    case NotePriority::Error:
      return "<3>";
    case NotePriority::Warning:
      return "<4>";
    case NotePriority::Info:
      return "<6>";
    case NotePriority::Debug:
      return "<7>";
  }
  return "";
}

void Note(NotePriority priority, const char* format, ...) {
  // One line, one write: the journal reads the priority at the start of each line.
  char line[8192];
  const char* prefix = NotePrefix(priority);
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  std::fprintf(stderr, "%s%s\n", prefix, line);
  std::fflush(stderr);
}

}  // namespace lumora
