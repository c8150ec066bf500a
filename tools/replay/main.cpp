// lumora-replay: runs the agent's real core on a virtual clock, a virtual locale and a
// recording display library, feeds it a scenario and prints the trace of every call the agent
// makes across its platform boundary. Deterministic: the same scenario gives the same trace.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "panel/trace_line.h"
#include "tools/replay/replay_runner.h"
#include "tools/replay/scenario.h"

namespace {

constexpr const char kUsage[] =
    "usage: lumora-replay [--decode] [SCENARIO]\n"
    "\n"
    "Replays SCENARIO (a file, or standard input when absent or \"-\") against the agent on a\n"
    "virtual clock and a recording display library, and prints the trace: one line per call\n"
    "the agent makes (open, msgbox, cmd, sleep, close).\n"
    "\n"
    "  --decode   print packets in readable form (clear, icons .., text2 0 \"..\", option 3,\n"
    "             pclock start .., pclock stop) instead of raw hexadecimal\n"
    "  --help     show this help\n"
    "\n"
    "Exit status: 0 when the whole scenario ran; 2 on a usage error or a malformed scenario\n"
    "(\"line N: reason\" on standard error; no trace is printed).\n";

class StdoutSink final : public lumora::replay::TraceSink {
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

int UsageError(const char* message) {
  std::fprintf(stderr, "lumora-replay: %s\n%s", message, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool decode = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--decode") == 0) {
      decode = true;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (path != nullptr) {
      return UsageError("more than one scenario given");
    } else {
      path = arg;
    }
  }

  std::string text;
  if (path == nullptr || std::strcmp(path, "-") == 0) {
    std::ostringstream in;
    in << std::cin.rdbuf();
    text = in.str();
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "lumora-replay: cannot open %s: %s\n", path, std::strerror(errno));
      return 2;
    }
    std::ostringstream in;
    in << file.rdbuf();
    text = in.str();
  }

  lumora::replay::Scenario scenario;
  lumora::replay::ParseError error;
  if (!lumora::replay::ParseScenario(text, scenario, error)) {
    std::fprintf(stderr, "line %zu: %s\n", error.line, error.reason.c_str());
    return 2;
  }
  StdoutSink sink(decode);
  lumora::replay::RunScenario(scenario, sink);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
