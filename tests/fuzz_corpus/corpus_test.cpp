// The fuzzing harnesses over their stored corpus, and the golden scenarios as message programs.
// A harness aborts on the first invariant it finds broken; the input it was running is named
// on standard error before the abort.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/replay/replay_runner.h"
#include "scenario/scenario.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/message_program.h"
#include "tests/read_file.h"

namespace lumora::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = LUMORA_SOURCE_DIR;

using test::ReadFile;

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& extension = "") {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension)) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The input being run, named by the abort handler when an invariant breaks.
char gCurrentInput[512];

void NameInputOnAbort(int) {
  static constexpr char kPrefix[] = "corpus input: ";
  [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1);
  n = write(STDERR_FILENO, gCurrentInput, strnlen(gCurrentInput, sizeof gCurrentInput));
  n = write(STDERR_FILENO, "\n", 1);
  std::signal(SIGABRT, SIG_DFL);
  std::raise(SIGABRT);
}

struct Harness {
  const char* corpus;  // directory under tests/fuzz/corpus
  int (*body)(const uint8_t*, size_t);
};

void PrintTo(const Harness& harness, std::ostream* out) {
  *out << harness.corpus;
}

class FuzzCorpus : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzCorpus, EveryInputKeepsTheInvariants) {
  const Harness& harness = GetParam();
  const std::vector<fs::path> inputs = FilesIn(kSourceDir / "tests/fuzz/corpus" / harness.corpus);
  ASSERT_FALSE(inputs.empty()) << "no corpus in tests/fuzz/corpus/" << harness.corpus;
  std::signal(SIGABRT, NameInputOnAbort);
  for (const fs::path& input : inputs) {
    std::snprintf(gCurrentInput, sizeof gCurrentInput, "%s", input.c_str());
    const std::string bytes = ReadFile(input);
    // A heap copy of exactly the input's size, as libFuzzer hands it over.
    const std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
    std::memcpy(data.get(), bytes.data(), bytes.size());
    EXPECT_EQ(harness.body(data.get(), bytes.size()), 0) << input;
  }
  std::signal(SIGABRT, SIG_DFL);
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzCorpus,
                         ::testing::Values(Harness{"window_proc", FuzzWindowProc},
                                           Harness{"scenario", FuzzScenario},
                                           Harness{"frame", FuzzFrame}, Harness{"kodi", FuzzKodi},
                                           Harness{"mpris", FuzzMpris}),
                         [](const ::testing::TestParamInfo<Harness>& param) {
                           return std::string(param.param.corpus);
                         });

class LineCollector final : public TraceSink {
 public:
  void Line(const char* text, size_t length) override { lines.emplace_back(text, length); }
  std::vector<std::string> lines;
};

// The seeds of the window-procedure harness are the golden scenarios turned into message
// programs: each program must make the agent do exactly what lumora-replay makes it do for the
// scenario, or the seeds would start the fuzzer somewhere else than the cases we know.
TEST(SeedPrograms, DeliverTheGoldenScenariosAsTheReplayDoes) {
  const std::vector<fs::path> scenarios = FilesIn(kSourceDir / "tests/golden", ".scn");
  ASSERT_FALSE(scenarios.empty());
  for (const fs::path& path : scenarios) {
    SCOPED_TRACE(path.filename().string());
    scenario::Scenario scenario;
    scenario::ParseError error;
    ASSERT_TRUE(scenario::ParseScenario(ReadFile(path), scenario, error))
        << "line " << error.line << ": " << error.reason;
    std::vector<uint8_t> program;
    std::string reason;
    ASSERT_TRUE(EncodeScenario(scenario, program, reason)) << reason;

    LineCollector replayed;
    replay::RunScenario(scenario, replayed);
    std::vector<std::string> trace;
    RunMessageProgram(program.data(), program.size(), &trace);
    EXPECT_EQ(trace, replayed.lines);
  }
}

}  // namespace
}  // namespace lumora::fuzz
