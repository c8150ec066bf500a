#include "app/posix/demo.h"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/posix/run_settings.h"
#include "base/exit_status.h"
#include "paneldrv/emulator/panel_view.h"
#include "scenario/scenario_input.h"
#include "senders/send_client.h"

namespace lumora::posix {

namespace {

// The accelerated demo: the evening's time runs this many times faster, its pauses and the
// agent's own waits and clock alike, so every caption still shows what it says.
constexpr unsigned kFastDivisor = 20;
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;

volatile sig_atomic_t gInterrupted = 0;

extern "C" void OnDemoSignal(int) {
  gInterrupted = 1;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

// Sleeps for the given time unless interrupted; false when interrupted.
bool Pause(double seconds) {
  if (seconds <= 0) return gInterrupted == 0;
  const auto whole = static_cast<time_t>(seconds);
  timespec left{whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
  while (gInterrupted == 0 && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
  return gInterrupted == 0;
}

// Why a caption could not be written (an errno value), 0 while none failed; reported at the
// end. A reader that went away (EPIPE) is no failure: nobody is left to tell.
int gSayError = 0;

void Say(const std::string& text) {
  // One write, so it never lands inside a frame of the panel drawn by the agent.
  const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
  if (n < 0 && errno != EPIPE && errno != EAGAIN && gSayError == 0) gSayError = errno;
}

// The columns a caption's UTF-8 takes: one a character.
size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (const char c : text)
    columns += (static_cast<uint8_t>(c) & 0xC0) != 0x80 ? 1 : 0;
  return columns;
}

// The bytes of text's first `columns` characters.
size_t BytesOfColumns(std::string_view text, size_t columns) {
  size_t at = 0;
  for (size_t seen = 0; at < text.size(); ++at) {
    if ((static_cast<uint8_t>(text[at]) & 0xC0) != 0x80 && seen++ == columns) break;
  }
  return at;
}

int TerminalColumns() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

std::string CaptionText(const std::string& caption, bool plain, bool colour) {
  if (plain) return "demo: " + caption + "\n";
  // One piece for all its rows, so that it never lands inside a frame of the panel.
  std::string text;
  for (const std::string& row : CaptionRows(caption, TerminalColumns())) {
    if (colour) text += "\x1b[1;37m";
    text += row;
    if (colour) text += "\x1b[0m";
    text += "\r\n";
  }
  return text;
}

bool WaitChild(pid_t child, int timeoutMs, int& status) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) return true;
    if (done < 0 && errno != EINTR) return false;
    ::usleep(20000);
  }
  return false;
}

}  // namespace

std::vector<std::string> CaptionRows(std::string_view caption, int columns) {
  constexpr std::string_view kMark = "\u25b6 ";
  constexpr std::string_view kIndent = "  ";
  constexpr size_t kLead = 2;  // the columns of the mark and of the indent
  std::vector<std::string> rows(1, std::string(kMark));
  if (columns <= 0) {
    rows[0] += caption;
    return rows;
  }
  const size_t width =
      static_cast<size_t>(columns) > kLead ? static_cast<size_t>(columns) : kLead + 1;
  size_t used = kLead;
  std::string_view rest = caption;
  while (!rest.empty()) {
    if (rest.front() == ' ') {
      rest.remove_prefix(1);
      continue;
    }
    size_t end = rest.find(' ');
    if (end == std::string_view::npos) end = rest.size();
    std::string_view word = rest.substr(0, end);
    const bool rowHasWords = used > kLead;
    if (used + (rowHasWords ? 1 : 0) + Columns(word) > width) {
      if (rowHasWords) {
        rows.emplace_back(kIndent);
        used = kLead;
        continue;
      }
      // Longer than a whole row: cut.
      word = word.substr(0, BytesOfColumns(word, width - kLead));
    }
    if (rowHasWords) {
      rows.back() += ' ';
      ++used;
    }
    rows.back() += word;
    used += Columns(word);
    rest.remove_prefix(word.size());
  }
  return rows;
}

std::string FindDemoScenario() {
  const std::string exe = ExecutablePath();
  if (!exe.empty()) {
    const std::string bin = exe.substr(0, exe.rfind('/'));
    for (const char* relative : {"/../share/lumora/evening.scn", "/evening.scn"}) {
      const std::string candidate = bin + relative;
      if (FileExists(candidate)) return candidate;
    }
  }
#ifdef LUMORA_SOURCE_DIR
  const std::string source = std::string(LUMORA_SOURCE_DIR) + "/examples/evening.scn";
  if (FileExists(source)) return source;
#endif
  return {};
}

int RunDemo(const DemoOptions& options) {
  const std::string path = options.scenarioPath.empty() ? FindDemoScenario() : options.scenarioPath;
  if (path.empty()) {
    std::fprintf(stderr,
                 "lumora demo: cannot find the evening (evening.scn); give it with "
                 "--scenario FILE\n");
    return kExitFailure;
  }
  std::string text;
  scenario::InputError inputError;
  if (!scenario::ReadScenarioInput(path, text, inputError)) {
    const std::string message = scenario::DescribeInputError(path, inputError, true);
    std::fprintf(stderr, "lumora demo: %s\n", message.c_str());
    return kExitUsage;
  }
  scenario::LivePlay play;
  std::string error;
  if (!scenario::PlanLivePlay(text, scenario::LivePlayer::Demo, play, error) ||
      !CheckSendable(play.steps, error)) {
    std::fprintf(stderr, "lumora demo: %s: %s\n", path.c_str(), error.c_str());
    return kExitUsage;
  }
  for (const std::string& line : play.skipped)
    std::fprintf(stderr, "lumora demo: %s: %s\n", path.c_str(), line.c_str());

  char directory[] = "/tmp/lumora-demo-XXXXXX";
  if (::mkdtemp(directory) == nullptr) {
    std::fprintf(stderr, "lumora demo: mkdtemp: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  const std::string socketPath = std::string(directory) + "/lumora.sock";

  struct sigaction action {};
  action.sa_handler = OnDemoSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  // The agent: this same program's `run`, with the panel on this terminal.
  const std::string exe = ExecutablePath();
  const char* face = PanelName(options.panel);
  const std::string divisor = std::to_string(options.fast ? kFastDivisor : 1);
  std::vector<std::string> childArgs = {"lumora",  "run",        "--socket",     socketPath,
                                        "--panel", face,         "--accelerate", divisor,
                                        "--quiet", "--no-config"};
  std::vector<char*> argv;
  for (std::string& arg : childArgs)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_t child = -1;
  int status = 1;
  AgentConnection connection;
  bool notRunning = false;

  // Starts the agent and waits until it answers a status request. Its socket takes connections
  // as soon as it listens, before the agent has drawn its first face (which clears the
  // terminal); a reply comes only from its loop, after that face, so no caption printed from
  // here on is wiped by it.
  auto start = [&]() {
    child = exe.empty() ? -1 : ::fork();
    if (child == 0) {
      // The agent ends with the demo, however the demo ends.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() == parent) ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    if (child < 0) {
      std::fprintf(stderr, "lumora demo: cannot start the agent\n");
      return false;
    }
    for (int waited = 0; waited < kStartTimeoutMs && gInterrupted == 0; waited += 20) {
      if (connection.Connect(socketPath, error, notRunning)) {
        Reply reply;
        StatusReport report;
        bool reported = false;
        const bool answered = connection.RequestStatus(reply, report, reported, error);
        connection.Close();
        if (answered && reported) return true;
      }
      if (::waitpid(child, &status, WNOHANG) == child) {
        child = -1;
        break;
      }
      ::usleep(20000);
    }
    if (gInterrupted == 0) std::fprintf(stderr, "lumora demo: the agent did not start\n");
    return false;
  };
  // Ends the agent: closed as the evening's close would, or stopped after Ctrl-C or a failure.
  auto stop = [&](bool closed, bool gently) {
    if (child <= 0) return true;
    if (!closed && gently) {
      Reply reply;
      Frame close;
      close.type = FrameType::Close;
      if (connection.Connect(socketPath, error, notRunning))
        connection.Exchange(close, reply, error);
      connection.Close();
    } else if (!closed) {
      ::kill(child, SIGTERM);
    }
    const pid_t ending = child;
    child = -1;
    if (!WaitChild(ending, kStopTimeoutMs, status)) {
      ::kill(ending, SIGKILL);
      ::waitpid(ending, &status, 0);
      return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };

  const bool plain = options.panel != PanelFace::Terminal;
  // The captions in the terminal follow the panel's face: in colour, or monochrome.
  const bool colour = emulator::TerminalStyleFromEnvironment().colour;
  const double factor = options.fast ? 1.0 / kFastDivisor : 1.0;
  bool closed = false;
  bool failed = !start();

  for (size_t i = 0; i < play.steps.size() && gInterrupted == 0 && !failed; ++i) {
    const scenario::LiveStep& step = play.steps[i];
    switch (step.kind) {
      case scenario::LiveStep::Kind::Caption:
        Say(CaptionText(step.caption, plain, colour));
        break;
      case scenario::LiveStep::Kind::Wait:
        Pause(step.seconds * factor);
        break;
      case scenario::LiveStep::Kind::Restart:
        // The recorded agent ended and was started again: so is this one.
        failed = !stop(closed, true) || !start();
        closed = false;
        break;
      case scenario::LiveStep::Kind::Message: {
        uint8_t record[kMediaStateEventSize];
        Frame frame;
        if (!FrameOfDirective(step.message, record, frame)) break;
        // One connection a step: the pauses between steps are longer than the agent waits for
        // a silent sender.
        Reply reply;
        if (!connection.Connect(socketPath, error, notRunning) ||
            !connection.Exchange(frame, reply, error)) {
          if (gInterrupted == 0) std::fprintf(stderr, "lumora demo: %s\n", error.c_str());
          failed = true;
          break;
        }
        connection.Close();
        if (frame.type == FrameType::Close) closed = true;
        break;
      }
    }
  }

  // The end: close the agent if the evening did not, or stop it after Ctrl-C or a failure.
  if (!stop(closed, gInterrupted == 0 && !failed)) failed = true;
  ::unlink(socketPath.c_str());
  ::rmdir(directory);
  if (gInterrupted != 0) {
    Say(plain ? "demo: interrupted\n" : "demo interrupted\r\n");
    return CheckedExit("lumora demo", kExitInterrupted, gSayError);
  }
  if (failed) return CheckedExit("lumora demo", kExitFailure, gSayError);
  Say(plain ? "demo: the evening is over\n" : "The evening is over.\r\n");
  return CheckedExit("lumora demo", kExitOk, gSayError);
}

}  // namespace lumora::posix
