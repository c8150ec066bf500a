// The scenario harness: any text through the scenario parser; a scenario that parses is checked
// for what the parser promises, read again from its own lines, and, when it stays short, run by
// lumora-replay's runner under a checking trace sink and by the message-program driver under
// the agent invariants. Both runs must print the same trace.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/replay/replay_runner.h"
#include "panel/trace_line.h"
#include "scenario/scenario.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/invariants.h"
#include "tests/fuzz/message_program.h"

namespace lumora::fuzz {

namespace {

using scenario::Directive;
using scenario::DirectiveKind;

// Checks the trace of lumora-replay as it is printed: every line in its format, and the calls
// it stands for under the platform call checks.
class CheckingSink final : public TraceSink {
 public:
  CheckingSink(bool deviceFails, int32_t error) : deviceFails_(deviceFails), error_(error) {}

  void Line(const char* text, size_t length) override {
    const std::string_view line(text, length);
    lines_.emplace_back(line);
    if (line.starts_with("cmd ")) {
      if (!ParseCmdLine(line, pending_)) {
        InvariantViolated("trace line \"%s\" is no packet line", lines_.back().c_str());
      }
      pendingPacket_ = true;
      return;
    }
    if (pendingPacket_) InvariantViolated("a cmd line without its packet");
    int device = 0, width = 0, height = 0;
    unsigned milliseconds = 0;
    char end = 0;
    const std::string& copy = lines_.back();
    if (std::sscanf(copy.c_str(), "open %d %d %d%c", &device, &width, &height, &end) == 3) {
      checker_.Open(device, width, height);
      checker_.OpenResult(!deviceFails_, error_);
    } else if (line.starts_with("msgbox ") && line.find('|') != std::string_view::npos) {
      const size_t bar = line.find('|');
      checker_.MessageBox(line.substr(7, bar - 7), line.substr(bar + 1));
    } else if (std::sscanf(copy.c_str(), "sleep %u%c", &milliseconds, &end) == 1) {
      checker_.Sleep(milliseconds);
    } else if (line == "close") {
      checker_.Close();
    } else {
      InvariantViolated("trace line \"%s\" is none of open, msgbox, cmd, sleep, close",
                        copy.c_str());
    }
  }

  void Packet(const uint8_t* packet) override {
    if (!pendingPacket_ || std::memcmp(packet, pending_.data(), kPacketSize) != 0) {
      InvariantViolated("a packet that differs from its cmd line");
    }
    pendingPacket_ = false;
    checker_.Command(packet);
  }

  void Finished() { checker_.Finished(); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  PlatformCallChecker checker_;
  bool deviceFails_;
  int32_t error_;
  lumora::Packet pending_{};
  bool pendingPacket_ = false;
  std::vector<std::string> lines_;
};

bool SameDirective(const Directive& a, const Directive& b) {
  return a.kind == b.kind && a.source == b.source && a.epochSeconds == b.epochSeconds &&
         a.text == b.text && a.error == b.error && a.sessionId == b.sessionId && a.code == b.code &&
         a.bytes == b.bytes && a.number == b.number && a.sentSize == b.sentSize;
}

// What the parser promises of every scenario it accepts.
void CheckParsed(const scenario::Scenario& scenario, size_t lineCount) {
  size_t previousLine = 0;
  bool messageSeen = false;
  for (size_t i = 0; i < scenario.directives.size(); ++i) {
    const Directive& d = scenario.directives[i];
    if (d.line <= previousLine || d.line > lineCount) {
      InvariantViolated("directive %zu on line %zu after line %zu of %zu", i, d.line, previousLine,
                        lineCount);
    }
    previousLine = d.line;
    if (d.source.empty() || d.source.front() == ' ' || d.source.back() == ' ') {
      InvariantViolated("line %zu: source \"%s\" is not the trimmed line", d.line,
                        d.source.c_str());
    }
    if (d.kind == DirectiveKind::DeviceNone && messageSeen) {
      InvariantViolated("line %zu: device none after a message directive", d.line);
    }
    if (!d.IsSetUp()) messageSeen = d.kind != DirectiveKind::Run;
    if (d.kind == DirectiveKind::Close && i + 1 != scenario.directives.size() &&
        scenario.directives[i + 1].kind != DirectiveKind::Run) {
      InvariantViolated("line %zu: close is not the last directive of its run", d.line);
    }
    if (d.kind == DirectiveKind::Event && d.bytes.size() > kEventTextSize) {
      InvariantViolated("line %zu: event text of %zu bytes", d.line, d.bytes.size());
    }
    if (d.sentSize != 0 && (d.kind != DirectiveKind::CopyData || d.sentSize <= d.bytes.size() ||
                            d.sentSize > 0xFFFFFFFF)) {
      InvariantViolated("line %zu: a sent size of %llu for %zu bytes", d.line,
                        static_cast<unsigned long long>(d.sentSize), d.bytes.size());
    }
    if (d.kind == DirectiveKind::Tick && d.number > 1000000) {
      InvariantViolated("line %zu: tick %llu", d.line, static_cast<unsigned long long>(d.number));
    }
    if (d.kind == DirectiveKind::Lang && d.text.empty()) {
      InvariantViolated("line %zu: lang with an empty answer", d.line);
    }
  }
}

// The directives read again from their own source lines are the same directives.
void CheckReparse(const scenario::Scenario& scenario) {
  std::string text;
  for (const Directive& d : scenario.directives)
    text += d.source + "\n";
  scenario::Scenario again;
  scenario::ParseError error;
  if (!scenario::ParseScenario(text, again, error)) {
    InvariantViolated("the scenario's own lines do not parse again: line %zu: %s", error.line,
                      error.reason.c_str());
  }
  if (again.directives.size() != scenario.directives.size()) {
    InvariantViolated("%zu directives read again as %zu", scenario.directives.size(),
                      again.directives.size());
  }
  for (size_t i = 0; i < again.directives.size(); ++i) {
    if (!SameDirective(scenario.directives[i], again.directives[i]) ||
        again.directives[i].line != i + 1) {
      InvariantViolated("line %zu \"%s\" reads differently on its own", scenario.directives[i].line,
                        scenario.directives[i].source.c_str());
    }
  }
}

}  // namespace

int FuzzScenario(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t lineCount = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  scenario::Scenario scenario;
  scenario::ParseError error;
  if (!scenario::ParseScenario(text, scenario, error)) {
    if (error.line < 1 || error.line > lineCount || error.reason.empty()) {
      InvariantViolated("malformed scenario reported as line %zu of %zu: \"%s\"", error.line,
                        lineCount, error.reason.c_str());
    }
    return 0;
  }
  CheckParsed(scenario, lineCount);
  CheckReparse(scenario);

  // Runs stay short: a scenario with many ticks is only parsed.
  bool deviceFails = false;
  int32_t deviceError = 0;
  uint64_t ticks = 0;
  for (const Directive& d : scenario.directives) {
    if (d.kind == DirectiveKind::Tick) ticks += d.number;
    if (d.kind == DirectiveKind::DeviceNone) {
      deviceFails = true;
      deviceError = d.error;
    }
  }
  if (ticks > kMaxTicks) return 0;

  CheckingSink sink(deviceFails, deviceError);
  replay::RunScenario(scenario, sink);
  sink.Finished();

  std::vector<uint8_t> program;
  std::string reason;
  if (!EncodeScenario(scenario, program, reason)) return 0;
  std::vector<std::string> trace;
  RunMessageProgram(program.data(), program.size(), &trace);
  const std::vector<std::string>& replayed = sink.lines();
  for (size_t i = 0; i < std::max(trace.size(), replayed.size()); ++i) {
    const char* ours = i < trace.size() ? trace[i].c_str() : "(end)";
    const char* theirs = i < replayed.size() ? replayed[i].c_str() : "(end)";
    if (std::strcmp(ours, theirs) != 0) {
      InvariantViolated("trace line %zu: lumora-replay \"%s\", message program \"%s\"", i + 1,
                        theirs, ours);
    }
  }
  return 0;
}

}  // namespace lumora::fuzz
