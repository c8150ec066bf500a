// lumora-replay: runs the agent's real core on a virtual clock, a virtual locale and a
// recording display library, feeds it a scenario and prints the trace of every call the agent
// makes across its platform boundary. Deterministic: the same scenario gives the same trace.
// With --svg and --html it also draws the emulated panel after each step (paneldrv/emulator's
// picture making, on the replay's virtual clock: app/replay/replay_pictures.h).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define LUMORA_STDIN_IS_TERMINAL() (_isatty(_fileno(stdin)) != 0)
#else
#include <unistd.h>
#define LUMORA_STDIN_IS_TERMINAL() (isatty(STDIN_FILENO) != 0)
#endif

#include "app/replay/replay_pictures.h"
#include "app/replay/replay_runner.h"
#include "app/replay/virtual_platform.h"
#include "base/event_catalogue.h"
#include "base/exit_status.h"
#include "base/version.h"
#include "base/win32/console_output.h"
#include "panel/trace_line.h"
#include "paneldrv/emulator/panel_pictures.h"
#include "paneldrv/emulator/panel_svg.h"
#include "scenario/scenario.h"
#include "scenario/scenario_input.h"

namespace {

constexpr const char kUsage[] =
    "usage: lumora-replay [--decode] [--svg DIR] [--html FILE] [SCENARIO]\n"
    "       lumora-replay --trace [TRACE]\n"
    "       lumora-replay --help | --version\n"
    "\n"
    "Replays SCENARIO (a file, or standard input when absent or \"-\") against the agent on a\n"
    "virtual clock and a recording display library, and prints the trace: one line per call\n"
    "the agent makes (open, msgbox, cmd, sleep, close).\n"
    "\n"
    "  --decode     print packets in readable form (clear, icons .., text2 0 \"..\", option 3,\n"
    "               pclock start .., pclock stop) instead of raw hexadecimal; texts show\n"
    "               the panel's Windows-1252 characters in UTF-8\n"
    "  --svg DIR    also draw the emulated panel after each step: DIR/0001.svg, ... (a step\n"
    "               is a scenario line, or a run of tick lines folded into one); steps that\n"
    "               show the same picture share one file; the numbered frames of an earlier\n"
    "               run in DIR are removed first, other files stay\n"
    "  --html FILE  also write one page that steps through those pictures, each drawn once: a\n"
    "               timeline of every step (virtual time, event and its text, session; ticks\n"
    "               with their count) with the scenario's \"#>\" captions, each scenario line,\n"
    "               the virtual and panel clocks, and what it sent to the panel (icons by\n"
    "               name, packet bytes beside); Play holds a step for the \"# wait N\" written\n"
    "               after it; FILE#step34 opens step 34. A recording replays like any scenario.\n"
    "  --trace      read TRACE instead (a file, or standard input): the trace lines a display\n"
    "               library recorded (LUMORA_PANEL_TRACE of the stand-in or pass-through\n"
    "               PanelDrv.dll, --trace of lumora run), printed as --decode prints them;\n"
    "               notes (\"# ...\") as they stand. A line that is no trace line:\n"
    "               \"line N: reason\" on standard error, status 2\n"
    "  --help       show this help\n"
    "  --version    show the version\n"
    "\n"
    "Event names and their payload formats: lumora send --list, or docs/events.md.\n"
    "\n"
    "A scenario may be of any length: it is read line by line, in bounded memory. Its lines\n"
    "hold at most 4096 bytes, and its ticks advance the time by at most 10000000 seconds.\n"
    "\n"
    "Exit status: 0 when the whole scenario ran; 1 when an output cannot be written; 2 on a\n"
    "usage error, a scenario that is missing or cannot be read (a folder, say) or a\n"
    "malformed or oversized one (\"line N: reason\" on standard error; no trace is printed).\n";

class StdoutSink final : public lumora::TraceSink {
 public:
  explicit StdoutSink(bool decode) : decode_(decode) {}
  void Line(const char* text, size_t length) override {
    if (decode_) {
      const std::string line = lumora::DecodeTraceLine(std::string_view(text, length));
      std::fwrite(line.data(), 1, line.size(), stdout);
    } else {
      std::fwrite(text, 1, length, stdout);
    }
    std::fputc('\n', stdout);
  }

 private:
  bool decode_;
};

// Reading standard input from a terminal waits for the user to type: say so, so that the
// replay does not seem to hang. what: "scenario" or "trace".
void NoteTerminalInput(const char* path, const char* what) {
#ifdef _WIN32
  constexpr const char kEnd[] = "Ctrl-Z and Enter";
#else
  constexpr const char kEnd[] = "Ctrl-D";
#endif
  if ((path == nullptr || std::strcmp(path, "-") == 0) && LUMORA_STDIN_IS_TERMINAL()) {
    std::fprintf(stderr,
                 "lumora-replay: reading the %s from standard input (end it with %s; --help "
                 "for usage)\n",
                 what, kEnd);
  }
}

// --trace: a recorded trace, checked whole and then printed in its readable form.
int ReadTrace(const char* input) {
  std::string text;
  lumora::scenario::InputError inputError;
  NoteTerminalInput(input, "trace");
  if (!lumora::scenario::ReadScenarioInput(input, text, inputError)) {
    const std::string message = lumora::scenario::DescribeInputError(input, inputError);
    std::fprintf(stderr, inputError.line != 0 ? "%s\n" : "lumora-replay: %s\n", message.c_str());
    return 2;
  }
  std::vector<std::string_view> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // A trace written on Windows may end its lines with a carriage return.
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (const char* problem = lumora::TraceLineProblem(line); problem != nullptr) {
      std::fprintf(stderr, "line %zu: %s\n", lines.size() + 1, problem);
      return 2;
    }
    lines.push_back(line);
  }
  for (const std::string_view line : lines) {
    const std::string decoded = lumora::DecodeTraceLine(line);
    std::fwrite(decoded.data(), 1, decoded.size(), stdout);
    std::fputc('\n', stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Writes text as the whole of the file at path; false with errno telling why it could not.
bool WriteWhole(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  int reason = 0;
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
    reason = errno != 0 ? errno : EIO;
  if (std::fclose(file) != 0 && reason == 0) reason = errno != 0 ? errno : EIO;
  errno = reason;
  return reason == 0;
}

// A usage mistake: one line naming it, and where the help is.
int UsageError(const char* message) {
  std::fprintf(stderr, "lumora-replay: %s\nTry 'lumora-replay --help' for more information.\n",
               message);
  return 2;
}

}  // namespace

static int Main(int argc, char** argv) {
  bool decode = false;
  bool trace = false;
  const char* path = nullptr;
  std::string svgDirectory;
  std::string htmlPath;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("lumora-replay %.*s\n", static_cast<int>(lumora::ProgramVersion().size()),
                  lumora::ProgramVersion().data());
      return 0;
    }
    if (std::strcmp(arg, "--decode") == 0) {
      decode = true;
    } else if (std::strcmp(arg, "--trace") == 0) {
      trace = true;
    } else if (std::strcmp(arg, "--svg") == 0 || std::strcmp(arg, "--html") == 0) {
      if (i + 1 >= argc) return UsageError((std::string(arg) + " wants a path").c_str());
      (arg[2] == 's' ? svgDirectory : htmlPath) = argv[++i];
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (path != nullptr) {
      return UsageError("more than one scenario given");
    } else {
      path = arg;
    }
  }

  if (trace) {
    if (decode || !svgDirectory.empty() || !htmlPath.empty()) {
      return UsageError("--trace takes no other option");
    }
    return ReadTrace(path == nullptr ? "-" : path);
  }

  // Checked whole before anything runs, then run as it is read again, in bounded memory however
  // long it is: a folder, an unreadable file, an endless line (a device) or a malformed line is
  // refused with its reason, never half replayed.
  const char* input = path == nullptr ? "-" : path;
  lumora::replay::ScenarioReplay replay;
  lumora::scenario::InputError inputError;
  NoteTerminalInput(input, "scenario");
  auto refused = [&] {
    const std::string message = lumora::scenario::DescribeInputError(input, inputError);
    std::fprintf(stderr, inputError.line != 0 ? "%s\n" : "lumora-replay: %s\n", message.c_str());
    return 2;
  };
  if (!replay.Check(input, inputError)) return refused();
  StdoutSink sink(decode);
  if (svgDirectory.empty() && htmlPath.empty()) {
    if (!replay.Run(sink, nullptr, false, inputError)) return refused();
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  if (!svgDirectory.empty()) {
    std::error_code failed;
    std::filesystem::create_directories(svgDirectory, failed);
    if (failed) {
      std::fprintf(stderr, "lumora-replay: cannot create %s: %s\n", svgDirectory.c_str(),
                   failed.message().c_str());
      return 2;
    }
  }
  lumora::replay::ReplayPictures pictures(sink);
  if (!replay.Run(pictures, &pictures, true, inputError)) return refused();
  bool ok = true;
  if (!svgDirectory.empty()) {
    std::string problem;
    if (!lumora::emulator::WriteSvgFolder(svgDirectory, pictures.steps(), problem)) {
      std::fprintf(stderr, "lumora-replay: %s\n", problem.c_str());
      ok = false;
    }
  }
  if (!htmlPath.empty()) {
    const std::string title = path == nullptr || std::strcmp(path, "-") == 0
                                  ? std::string("standard input")
                                  : std::filesystem::path(path).filename().string();
    const std::string page = lumora::emulator::RenderPanelHtml(title, pictures.steps());
    if (!WriteWhole(htmlPath, page)) {
      std::fprintf(stderr, "lumora-replay: cannot write %s: %s\n", htmlPath.c_str(),
                   std::strerror(errno));
      ok = false;
    }
  }
  return std::fflush(stdout) == 0 && ok ? 0 : 1;
}

int main(int argc, char** argv) {
  // On Windows a console shows the UTF-8 texts as they are (Crème), not in its code page.
  [[maybe_unused]] const lumora::ConsoleOutput console;
  // Whatever the outcome, a trace, help or page text that did not reach standard output is said.
  return lumora::CheckedExit("lumora-replay", Main(argc, argv));
}
