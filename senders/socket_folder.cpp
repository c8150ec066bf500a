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

namespace {

// The folder as a message names it: with the variable it came from, when it did, so that the
// user knows what to change.
std::string Named(const std::string& folder) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0' && folder == runtime) {
    return folder + " (XDG_RUNTIME_DIR)";
  }
  return folder;
}

}  // namespace

bool CheckPrivateFolder(const std::string& folder, bool create, std::string& error, bool& missing) {
  missing = false;
  struct stat info {};
  // In a parent that others may write and that is not sticky, anyone may rename the folder away
  // and put another in its place, however private the folder itself.
  std::string parent = folder;
  while (parent.size() > 1 && parent.back() == '/')
    parent.pop_back();
  const size_t slash = parent.rfind('/');
  parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
  if (::stat(parent.c_str(), &info) == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
      (info.st_mode & S_ISVTX) == 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    error = "the socket folder's parent " + parent + " has mode " + mode +
            ": others may write it and it is not sticky; refusing to use it";
    return false;
  }
  if (::lstat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      error = "cannot use the socket folder " + Named(folder) + ": " + std::strerror(errno);
      return false;
    }
    if (!create) {
      missing = true;
      error = "the socket folder " + Named(folder) + " does not exist";
      return false;
    }
    // 0700 at creation (a umask can only take permissions away, which the check below sees).
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create the socket folder " + folder + ": " + std::strerror(errno);
      return false;
    }
    if (::lstat(folder.c_str(), &info) != 0) {
      error = "cannot use the socket folder " + Named(folder) + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "the socket folder " + Named(folder) + " is not a folder" +
            (S_ISLNK(info.st_mode) ? " (a symbolic link)" : "") + "; refusing to use it";
    return false;
  }
  if (info.st_uid != ::geteuid()) {
    error = "the socket folder " + Named(folder) + " belongs to user " +
            std::to_string(info.st_uid) + ", not to you; refusing to use it";
    return false;
  }
  if ((info.st_mode & 077) != 0 || (info.st_mode & 0700) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    error = "the socket folder " + Named(folder) + " has mode " + mode +
            "; it must be 0700 (yours alone): refusing to use it";
    return false;
  }
  return true;
}

}  // namespace lumora::posix
