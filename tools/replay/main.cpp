// lumora-replay: runs the agent's real core on a virtual clock, a virtual locale and a
// recording display library, feeds it a scenario and prints the trace of every call the agent
// makes across its platform boundary. Deterministic: the same scenario gives the same trace.
// With --svg and --html it also draws the emulated panel after each scenario line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/replay/replay_runner.h"
#include "app/replay/virtual_platform.h"
#include "base/event_catalogue.h"
#include "base/exit_status.h"
#include "base/version.h"
#include "panel/trace_line.h"
#include "paneldrv/emulator/panel_state.h"
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
    "  --svg DIR    also draw the emulated panel after each scenario line: DIR/0001.svg, ...\n"
    "  --html FILE  also write one page that steps through those pictures: a timeline of\n"
    "               every step (virtual time, event, session) with the scenario's \"#>\"\n"
    "               captions, each scenario line, the virtual and panel clocks, and what it\n"
    "               sent to the panel (icons by name, packet bytes beside); FILE#step34\n"
    "               opens step 34. A recording of the agent replays like any scenario.\n"
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
    "A scenario may hold at most 16 MiB (16777216 bytes), in lines of at most 4096 bytes.\n"
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

// Draws the emulated panel after each scenario line: passes the trace on, feeds every packet
// to the panel model, and keeps the picture of each step (written to DIR, gathered for a page).
class PanelPictures final : public lumora::TraceSink, public lumora::replay::RunObserver {
 public:
  PanelPictures(lumora::TraceSink& trace, std::string svgDirectory)
      : trace_(trace), svgDirectory_(std::move(svgDirectory)) {}

  void Line(const char* text, size_t length) override {
    trace_.Line(text, length);
    const std::string_view line(text, length);
    calls_.emplace_back(line);
    // The agent's waits move the virtual clock, which the panel's own clock runs on.
    if (line.starts_with("sleep ")) nowMs_ += std::atoll(text + 6);
  }

  void Packet(const uint8_t* packet) override {
    trace_.Packet(packet);
    state_.Apply(packet, nowMs_);
  }

  void AfterDirective(const lumora::scenario::Directive& d) override {
    using lumora::scenario::DirectiveKind;
    if (d.kind == DirectiveKind::Time) nowMs_ = d.epochSeconds * 1000;
    if (d.kind == DirectiveKind::Tick) nowMs_ += static_cast<int64_t>(d.number) * 1000;
    lumora::emulator::PanelPicture picture;
    picture.svg = lumora::emulator::RenderPanelSvg(state_, nowMs_);
    picture.line = d.line;
    picture.source = d.source;
    picture.calls = std::move(calls_);
    picture.captions = d.captions;
    picture.virtualTime =
        lumora::scenario::FormatDateTime(lumora::replay::LocalTimeFromEpochMs(nowMs_));
    if (d.kind == DirectiveKind::Event) {
      const lumora::EventInfo* event = lumora::FindEvent(d.code);
      picture.name = event != nullptr ? std::string(event->name) : std::to_string(d.code);
      picture.session = std::to_string(d.sessionId);
    } else {
      picture.name = d.source;
    }
    const lumora::emulator::ShownLines shown(state_, nowMs_, 0, lumora::emulator::kPanelColumns);
    if (shown.panelClock()) {
      picture.panelClock.append(shown.line2());
      picture.panelClock += ' ';
      picture.panelClock.append(shown.line3());
    }
    calls_.clear();
    pictures_.push_back(std::move(picture));
    if (!svgDirectory_.empty() && ok_) {
      char name[32];
      std::snprintf(name, sizeof name, "/%04zu.svg", pictures_.size());
      const std::string path = svgDirectory_ + name;
      std::ofstream file(path, std::ios::binary);
      file << pictures_.back().svg;
      if (!file.flush()) {
        std::fprintf(stderr, "lumora-replay: cannot write %s\n", path.c_str());
        ok_ = false;
      }
    }
  }

  const std::vector<lumora::emulator::PanelPicture>& pictures() const { return pictures_; }
  bool ok() const { return ok_; }

 private:
  lumora::TraceSink& trace_;
  std::string svgDirectory_;
  lumora::emulator::PanelState state_;
  // The virtual clock's start, as the replay's platform has it.
  int64_t nowMs_ = lumora::replay::EpochMsFromLocalTime(lumora::scenario::kDefaultTime);
  std::vector<std::string> calls_;
  std::vector<lumora::emulator::PanelPicture> pictures_;
  bool ok_ = true;
};

// Whether a trace line has the shape of one of the calls a trace records; the reason when not.
const char* TraceLineProblem(std::string_view line) {
  auto numbers = [](std::string_view rest, int count) {
    for (int i = 0; i < count; ++i) {
      if (rest.empty() || rest[0] != ' ') return false;
      rest.remove_prefix(1);
      if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
      size_t digits = 0;
      while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
      if (digits == 0) return false;
      rest.remove_prefix(digits);
    }
    return rest.empty();
  };
  lumora::Packet packet;
  if (line.starts_with("#") || line == "close") return nullptr;
  if (line.starts_with("open"))
    return numbers(line.substr(4), 3) ? nullptr : "open wants 3 numbers";
  if (line.starts_with("sleep"))
    return numbers(line.substr(5), 1) ? nullptr : "sleep wants a number";
  if (line.starts_with("msgbox ")) return nullptr;
  if (line.starts_with("cmd")) {
    return lumora::ParseCmdLine(line, packet) ? nullptr : "cmd wants 130 hexadecimal digits";
  }
  return "not a trace line (open, cmd, close, sleep, msgbox or a # note)";
}

// --trace: a recorded trace, checked whole and then printed in its readable form.
int ReadTrace(const char* input) {
  std::string text;
  lumora::scenario::InputError inputError;
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
    if (const char* problem = TraceLineProblem(line); problem != nullptr) {
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

  // Read whole and within bounds before anything runs: a folder, an unreadable file or an
  // endless input (a device) is refused with its reason, never half replayed.
  const char* input = path == nullptr ? "-" : path;
  std::string text;
  lumora::scenario::InputError inputError;
  if (!lumora::scenario::ReadScenarioInput(input, text, inputError)) {
    const std::string message = lumora::scenario::DescribeInputError(input, inputError);
    std::fprintf(stderr, inputError.line != 0 ? "%s\n" : "lumora-replay: %s\n", message.c_str());
    return 2;
  }

  lumora::scenario::Scenario scenario;
  lumora::scenario::ParseError error;
  if (!lumora::scenario::ParseScenario(text, scenario, error)) {
    std::fprintf(stderr, "line %zu: %s\n", error.line, error.reason.c_str());
    return 2;
  }
  StdoutSink sink(decode);
  if (svgDirectory.empty() && htmlPath.empty()) {
    lumora::replay::RunScenario(scenario, sink);
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
  PanelPictures pictures(sink, svgDirectory);
  lumora::replay::RunScenario(scenario, pictures, &pictures);
  bool ok = pictures.ok();
  if (!htmlPath.empty()) {
    const std::string title = path == nullptr || std::strcmp(path, "-") == 0
                                  ? std::string("standard input")
                                  : std::filesystem::path(path).filename().string();
    std::ofstream page(htmlPath, std::ios::binary);
    page << lumora::emulator::RenderPanelHtml(title, pictures.pictures());
    if (!page.flush()) {
      std::fprintf(stderr, "lumora-replay: cannot write %s\n", htmlPath.c_str());
      ok = false;
    }
  }
  return std::fflush(stdout) == 0 && ok ? 0 : 1;
}

int main(int argc, char** argv) {
  // Whatever the outcome, a trace, help or page text that did not reach standard output is said.
  return lumora::CheckedExit("lumora-replay", Main(argc, argv));
}
