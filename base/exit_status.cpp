#include "base/exit_status.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lumora {

int CheckedExit(const char* program, int status) {
  // A write that failed earlier (its bytes dropped, so the flush below has nothing to retry)
  // left its reason in errno: a program checks its output last, with nothing done since.
  const int earlier = errno;
  int error = 0;
  if (std::fflush(stdout) != 0) error = errno;
  if (error == 0 && std::ferror(stdout) != 0) error = earlier != 0 ? earlier : EIO;
  return CheckedExit(program, status, error);
}

int CheckedExit(const char* program, int status, int writeError) {
  if (writeError == 0) return status;
  std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(writeError));
  return status == kExitOk ? kExitFailure : status;
}

}  // namespace lumora
