// Golden scenarios: each tests/golden/NAME.scn must replay to exactly the trace written by hand
// in NAME.expect. The expected file's readable lines are turned back into raw trace lines by
// the small encoder below, written apart from the agent's own packet code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/replay/replay_runner.h"
#include "panel/trace_line.h"
#include "scenario/scenario.h"
#include "tests/read_file.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

using test::ReadFile;

std::string Hex(const std::vector<int>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "cmd ";
  for (int b : bytes) {
    out += digits[(b >> 4) & 0xF];
    out += digits[b & 0xF];
  }
  return out;
}

// One readable line to its raw trace line; a line it does not know is kept as it stands.
std::string Encode(const std::string& line) {
  std::istringstream words(line);
  std::string verb;
  words >> verb;
  std::vector<int> packet(65, 0);
  if (verb == "clear") return Hex(packet);
  if (verb == "icons") {
    packet[2] = 1;
    for (size_t i = 0; i < 10; ++i) {
      std::string byte;
      words >> byte;
      packet[5 + i] = std::stoi(byte, nullptr, 16);
    }
    return Hex(packet);
  }
  if (verb == "text2" || verb == "text3") {
    packet[2] = verb == "text2" ? 2 : 3;
    words >> packet[3];
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    std::string text;
    for (size_t i = open + 1; i < close; ++i) {
      if (line[i] == '\\' && line[i + 1] == 'x') {
        text += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else if (line[i] == '\\') {
        text += line[++i];
      } else {
        text += line[i];
      }
    }
    for (size_t i = 0; i < text.size() && i < 60; ++i) {
      packet[5 + i] = static_cast<unsigned char>(text[i]);
    }
    return Hex(packet);
  }
  if (verb == "option") {
    packet[2] = 4;
    words >> packet[3];
    return Hex(packet);
  }
  if (verb == "pclock") {
    std::string what;
    words >> what;
    packet[2] = 6;
    if (what == "start") {
      packet[3] = 1;
      words >> packet[4];
      for (int i = 5; i <= 11; ++i)
        words >> packet[static_cast<size_t>(i)];
    }
    return Hex(packet);
  }
  return line;
}

std::vector<std::string> ExpectedTrace(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    lines.push_back(Encode(line));
  }
  return lines;
}

class CollectingSink final : public TraceSink {
 public:
  void Line(const char* text, size_t length) override { lines.emplace_back(text, length); }
  std::vector<std::string> lines;
};

std::vector<fs::path> GoldenScenarios() {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(fs::path(LUMORA_SOURCE_DIR) / "tests/golden")) {
    if (entry.path().extension() == ".scn") found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

class Golden : public ::testing::TestWithParam<fs::path> {};

TEST_P(Golden, ReplaysToTheExpectedTrace) {
  const fs::path scenarioPath = GetParam();
  fs::path expectPath = scenarioPath;
  expectPath.replace_extension(".expect");
  ASSERT_TRUE(fs::exists(expectPath)) << expectPath;

  scenario::Scenario scenario;
  scenario::ParseError error;
  ASSERT_TRUE(scenario::ParseScenario(ReadFile(scenarioPath), scenario, error))
      << "line " << error.line << ": " << error.reason;
  CollectingSink sink;
  replay::RunScenario(scenario, sink);

  const std::vector<std::string> expected = ExpectedTrace(expectPath);
  const size_t common = std::min(expected.size(), sink.lines.size());
  for (size_t i = 0; i < common; ++i) {
    ASSERT_EQ(sink.lines[i], expected[i]) << "first difference at trace line " << i + 1
                                          << "\n  got:      " << DecodeTraceLine(sink.lines[i])
                                          << "\n  expected: " << DecodeTraceLine(expected[i]);
  }
  EXPECT_EQ(sink.lines.size(), expected.size()) << "trace length differs";
}

std::string NameOf(const ::testing::TestParamInfo<fs::path>& info) {
  return info.param.stem().string();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden, ::testing::ValuesIn(GoldenScenarios()), NameOf);

}  // namespace
}  // namespace lumora
