#include "senders/socket_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumora::posix {

std::string DefaultSocketFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return runtime;
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  return base + "/lumora-" + std::to_string(::getuid());
}

std::string DefaultSocketPath() {
  return DefaultSocketFolder() + "/lumora.sock";
}

bool CheckPrivateFolder(const std::string& folder, bool create, std::string& error, bool& missing) {
  missing = false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      error = "cannot use the socket folder " + folder + ": " + std::strerror(errno);
      return false;
    }
    if (!create) {
      missing = true;
      error = "no socket folder " + folder;
      return false;
    }
    // 0700 at creation (a umask can only take permissions away, which the check below sees).
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create the socket folder " + folder + ": " + std::strerror(errno);
      return false;
    }
    if (::lstat(folder.c_str(), &info) != 0) {
      error = "cannot use the socket folder " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "the socket folder " + folder + " is not a folder" +
            (S_ISLNK(info.st_mode) ? " (a symbolic link)" : "") + "; refusing to use it";
    return false;
  }
  if (info.st_uid != ::geteuid()) {
    error = "the socket folder " + folder + " belongs to user " + std::to_string(info.st_uid) +
            ", not to you; refusing to use it";
    return false;
  }
  if ((info.st_mode & 077) != 0 || (info.st_mode & 0700) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    error = "the socket folder " + folder + " has mode " + mode +
            "; it must be 0700 (yours alone): refusing to use it";
    return false;
  }
  return true;
}

}  // namespace lumora::posix
