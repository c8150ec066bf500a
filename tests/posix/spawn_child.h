// A program a Linux host test starts: its standard output and standard error appended to files
// of the test's own ("/dev/null" to drop either).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace lumora::test {

// Starts args[0] with args; its process id, or -1 when it cannot start.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& out,
                   const std::string& err) {
  std::vector<char*> argv;
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace lumora::test
