#include "base/posix/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>

namespace lumora {

int OpenStopSignals(std::initializer_list<int> signals, std::initializer_list<int> ignored) {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : signals)
    sigaddset(&set, signal);
  if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int signal : ignored)
    ::sigaction(signal, &ignore, nullptr);
  return ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

}  // namespace lumora
