#include "sources/follow/follower_state.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lumora::sources {

namespace {

// The names are the players' own: a tab or a line break in one would break the line.
std::string Clean(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out;
}

}  // namespace

std::string FollowerStatePath(const std::string& socketPath) {
  return socketPath + ".follow";
}

bool WriteFollowerState(const std::string& path, const FollowerState& state, std::string& error) {
  const std::string line = std::to_string(state.pid) + '\t' + std::to_string(state.session) + '\t' +
                           Clean(state.application) + '\t' + Clean(state.player) + '\n';
  const std::string temporary = path + ".new";
  ::unlink(temporary.c_str());
  // A new file of the user's own, never through a link someone left at the name.
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  const int savedErrno = errno;
  if (::close(fd) != 0 || !written) {
    error = temporary + ": " + std::strerror(written ? errno : savedErrno);
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool ReadFollowerState(const std::string& path, FollowerState& state) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return false;
  const std::string line(buffer, static_cast<size_t>(n));
  if (line.back() != '\n') return false;
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start, line.size() - 1 - start));
  if (fields.size() != 4) return false;
  char* end = nullptr;
  const long pid = std::strtol(fields[0].c_str(), &end, 10);
  if (*end != '\0' || pid <= 0) return false;
  const long session = std::strtol(fields[1].c_str(), &end, 10);
  if (*end != '\0') return false;
  // A follower that ended without removing its file (killed) is no follower.
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  state.pid = static_cast<pid_t>(pid);
  state.session = static_cast<int32_t>(session);
  state.application = fields[2];
  state.player = fields[3];
  return true;
}

}  // namespace lumora::sources
