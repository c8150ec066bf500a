// A stand-in for another user who wins the race against the agent's socket set-up: loaded into
// `lumora run` with LD_PRELOAD, it lets bind create the socket and then, before bind returns,
// puts a symbolic link to LUMORA_TEST_LINK_TARGET in its place, as a user who may write the
// socket's folder could at that moment. Whatever the agent then does to the path by name
// happens to the link's target.
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" int bind(int fd, const sockaddr* address, socklen_t size) {
  using Bind = int (*)(int, const sockaddr*, socklen_t);
  static const Bind real = reinterpret_cast<Bind>(dlsym(RTLD_NEXT, "bind"));
  const int result = real(fd, address, size);
  const char* target = std::getenv("LUMORA_TEST_LINK_TARGET");
  if (result == 0 && target != nullptr && address->sa_family == AF_UNIX) {
    const char* path = reinterpret_cast<const sockaddr_un*>(address)->sun_path;
    char link[sizeof(sockaddr_un::sun_path) + 8];
    std::snprintf(link, sizeof link, "%s.link", path);
    if (::symlink(target, link) == 0) ::rename(link, path);
  }
  return result;
}
