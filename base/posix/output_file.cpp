#include "base/posix/output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumora {

int OpenOutputFile(const std::string& path, OutputMode mode, const char* rival,
                   std::string& reason) {
  int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW;
  if (mode == OutputMode::Append) flags |= O_APPEND;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (info.st_uid != ::geteuid()) {
      reason = "it is a symbolic link of user " + std::to_string(info.st_uid) +
               ", not yours; refusing to follow it";
      return -1;
    }
    flags &= ~O_NOFOLLOW;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    // A FIFO without a reader answers ENXIO to a write-only open that does not wait.
    if (errno == ENXIO) {
      reason = "it is not a regular file";
    } else if (errno == ELOOP) {
      reason = "it is a symbolic link; refusing to follow it";
    } else if (errno == EISDIR) {
      reason = "it is a folder";
    } else {
      reason = std::strerror(errno);
    }
    return -1;
  }
  const auto refuse = [&](const std::string& why) {
    ::close(fd);
    reason = why;
    return -1;
  };
  if (::fstat(fd, &info) != 0) return refuse(std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return refuse("it is a folder");
  if (!S_ISREG(info.st_mode)) return refuse("it is not a regular file");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return refuse(errno == EWOULDBLOCK ? std::string(rival) + " writes it" : std::strerror(errno));
  }
  if (mode == OutputMode::Truncate && ::ftruncate(fd, 0) != 0) return refuse(std::strerror(errno));
  return fd;
}

}  // namespace lumora
