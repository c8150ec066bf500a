// The panel on a real LCDd (Debian package lcdproc) with its text driver, which prints every
// frame of its display: the evening sent live to `lumora run --panel lcdproc`, and after each
// step the display holds the panel's shown lines fitted to its width, at 20x2, 16x2, 20x4 and
// 40x2. The expected rows come from the panel model fed with the packets of the agent's own
// trace, so they are what the panel itself shows at that moment. Also: LCDd killed and
// restarted mid-evening, and a second client at priority info that gets the display while the
// agent is at background and loses it when media plays. Exits 77 without LCDd.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/posix/spawn_child.h"
#include "tests/read_file.h"

#include "panel/trace_line.h"
#include "paneldrv/emulator/panel_state.h"

namespace {

using namespace std::chrono_literals;
using lumora::Icon;
using lumora::kIconBits;
using lumora::Packet;
using lumora::emulator::PanelState;
using lumora::emulator::ScrollSteps;
using lumora::emulator::ShownLines;

std::string g_lcdd;

pid_t Spawn(const std::vector<std::string>& args, const std::string& out) {
  return lumora::test::Spawn(args, out, out + ".err");
}

int Stop(pid_t& pid, int sig = SIGTERM) {
  if (pid <= 0) return -1;
  ::kill(pid, sig);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
  return status;
}

uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return 0;
  }
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

// The rows of the last whole frame the text driver printed: between two "+---+" lines.
std::vector<std::string> LastFrame(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  for (size_t end = lines.size(); end-- > 0;) {
    if (lines[end].empty() || lines[end][0] != '+') continue;
    for (size_t begin = end; begin-- > 0;) {
      if (!lines[begin].empty() && lines[begin][0] == '+') {
        if (begin + 1 == end) break;  // the bottom of one frame and the top of the next
        std::vector<std::string> rows;
        for (size_t i = begin + 1; i < end; ++i) {
          const std::string& r = lines[i];
          rows.push_back(r.size() >= 2 ? r.substr(1, r.size() - 2) : std::string());
        }
        return rows;
      }
    }
  }
  return {};
}

// The panel as the agent's trace leaves it.
void Replay(const std::string& trace, PanelState& state) {
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    Packet packet{};
    if (lumora::ParseCmdLine(line, packet)) state.Apply(packet.data(), 0);
  }
}

std::string Pad(std::string_view text, size_t width) {
  std::string s(text.substr(0, width));
  s.resize(width, ' ');
  return s;
}

struct Size {
  int width;
  int height;
};

class LcdprocLive : public ::testing::TestWithParam<Size> {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/lumora-lcdproc-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    port_ = FreePort();
    StartLcdd();
    std::vector<std::string> args{std::string(LUMORA_BIN_DIR) + "/lumora",
                                  "run",
                                  "--socket",
                                  dir_ + "/s.sock",
                                  "--panel",
                                  "lcdproc=127.0.0.1:" + std::to_string(port_),
                                  "--trace",
                                  dir_ + "/trace",
                                  "--quiet"};
    for (const std::string& extra : AgentExtras())
      args.push_back(extra);
    agent_ = Spawn(args, dir_ + "/agent.out");
    ASSERT_GT(agent_, 0);
  }
  virtual std::vector<std::string> AgentExtras() const { return {}; }

  void TearDown() override {
    Stop(agent_);
    Stop(lcdd_);
    Stop(other_, SIGKILL);
    std::system(("rm -rf " + dir_).c_str());
  }

  void StartLcdd() {
    const Size size = GetParam();
    std::ofstream conf(dir_ + "/LCDd.conf");
    conf << "[server]\nDriverPath=/usr/lib/x86_64-linux-gnu/lcdproc/\nDriver=text\n"
            "Bind=127.0.0.1\nPort="
         << port_ << "\nForeground=yes\nServerScreen=no\nWaitTime=2\n[text]\nSize=" << size.width
         << "x" << size.height << "\n";
    conf.close();
    ::truncate((dir_ + "/lcdd.out").c_str(), 0);
    // The text driver prints through stdio: line-buffered, each frame is in the file at once.
    lcdd_ =
        Spawn({"/usr/bin/stdbuf", "-oL", g_lcdd, "-c", dir_ + "/LCDd.conf"}, dir_ + "/lcdd.out");
    ASSERT_GT(lcdd_, 0);
  }

  // One line of a scenario through `lumora send --file`; true when the agent answered it.
  bool Send(const std::string& line) {
    {
      std::ofstream step(dir_ + "/step.scn");
      step << line << "\n";
    }
    pid_t pid = Spawn({std::string(LUMORA_BIN_DIR) + "/lumora", "send", "--socket",
                       dir_ + "/s.sock", "--file", dir_ + "/step.scn"},
                      dir_ + "/send.out");
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // What is wrong with the display against the panel as the trace leaves it; empty when right.
  std::string Mismatch() {
    const Size size = GetParam();
    const auto width = static_cast<size_t>(size.width);
    PanelState state;
    Replay(lumora::test::ReadFile(dir_ + "/trace"), state);
    const std::vector<std::string> rows = LastFrame(lumora::test::ReadFile(dir_ + "/lcdd.out"));
    if (rows.size() != static_cast<size_t>(size.height)) return "no frame";
    const ShownLines shown(state, 0, 0, width);
    std::string why;
    for (int number : {2, 3}) {
      const std::string& row = rows[static_cast<size_t>(number - 2)];
      const auto& line = state.line(number);
      if (!shown.panelClock() && ScrollSteps(line, width) > 0) {
        // Scrolled by LCDd: a window of the line at the display's width.
        if (line.View().find(row) == std::string_view::npos) why += "row " + row + " scrolls; ";
      } else {
        // The panel's own clock moves on its own: the time on the display may be a second on.
        const std::string expected = Pad(number == 2 ? shown.line2() : shown.line3(), width);
        if (row != expected && !(shown.panelClock() && number == 3 && row.size() == width)) {
          why.append("row '").append(row).append("' wants '").append(expected).append("'; ");
        }
      }
    }
    if (size.height >= 4) {
      for (const auto& bits : kIconBits) {
        if (bits.icon == Icon::Cd || bits.icon == Icon::Video || bits.icon == Icon::Vcd) continue;
        const bool shownName =
            (" " + rows[2] + " ").find(" " + std::string(bits.name) + " ") != std::string::npos;
        if (shownName != state.IsLit(bits.icon)) why += std::string("icon ") + bits.name + "; ";
      }
      // The bar's length in whole cells: its lit segments of 16 over the display's width.
      const size_t cells = rows[3].find_last_not_of(' ') + 1;
      const size_t want = static_cast<size_t>(state.LitLevelSegments()) * width / 16;
      if (cells + 1 < want || cells > want + 1) {
        why += "level " + std::to_string(cells) + " cells wants " + std::to_string(want) + "; ";
      }
    }
    return why;
  }

  // Waits at most limit for the display to match the panel.
  std::string Settle(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string why;
    do {
      why = Mismatch();
      if (why.empty()) return why;
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return why;
  }

  std::vector<std::string> Evening() {
    std::vector<std::string> steps;
    std::istringstream in(
        lumora::test::ReadFile(std::string(LUMORA_SOURCE_DIR) + "/examples/evening.scn"));
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#' || line == "close") continue;
      steps.push_back(line);
    }
    return steps;
  }

  std::string dir_;
  uint16_t port_ = 0;
  pid_t lcdd_ = -1;
  pid_t agent_ = -1;
  pid_t other_ = -1;
};

TEST_P(LcdprocLive, EveningOnTheDisplayAndBackAfterARestart) {
  ASSERT_EQ(Settle(5s), "") << "before the evening";
  const std::vector<std::string> steps = Evening();
  ASSERT_GT(steps.size(), 20u);
  const size_t restartAt = steps.size() / 2;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (i == restartAt) {
      Stop(lcdd_, SIGKILL);
      // Events are answered while LCDd is away.
      ASSERT_TRUE(Send(steps[i])) << steps[i];
      StartLcdd();
      // The first retry comes 1 s after the loss: the current face within 2 s of that.
      EXPECT_EQ(Settle(3500ms), "") << "after the restart, at " << steps[i];
      continue;
    }
    ASSERT_TRUE(Send(steps[i])) << steps[i];
    EXPECT_EQ(Settle(2s), "") << "after " << steps[i];
  }
}

// Another client of LCDd, at priority info: a few lines of its protocol.
int OtherClient(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const std::string requests =
      "hello\nscreen_add o\nscreen_set o -priority info -heartbeat off\n"
      "widget_add o w string\nwidget_set o w 1 1 \"OTHER CLIENT\"\n";
  if (::write(fd, requests.data(), requests.size()) != static_cast<ssize_t>(requests.size())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class LcdprocPriority : public LcdprocLive {};

TEST_P(LcdprocPriority, AnotherClientHasTheDisplayOnlyWhileTheAgentIsAtBackground) {
  ASSERT_EQ(Settle(5s), "");
  // Media plays: the agent is at foreground, above the other client's info.
  for (const char* step : {"event 1 SessionOpened", "event 2 SessionOpened",
                           "event 2 LiveTvStarted", "event 2 Play"}) {
    ASSERT_TRUE(Send(step)) << step;
  }
  ASSERT_EQ(Settle(2s), "");
  const int other = OtherClient(port_);
  ASSERT_GE(other, 0);
  auto otherShows = [&] {
    const std::vector<std::string> rows = LastFrame(lumora::test::ReadFile(dir_ + "/lcdd.out"));
    return !rows.empty() && rows[0].rfind("OTHER CLIENT", 0) == 0;
  };
  auto holds = [&](bool want, int rounds) {
    for (int i = 0; i < rounds && otherShows() != want; ++i)
      std::this_thread::sleep_for(50ms);
    return otherShows() == want;
  };
  // LCDd would rotate two screens of one priority every few seconds: 3 s of the agent's face.
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(holds(false, 1)) << "the other client took the display while media plays";
  EXPECT_EQ(Settle(2s), "");
  // Suspend: the panel runs its own clock and the agent steps back to background.
  ASSERT_TRUE(Send("power 4"));
  EXPECT_TRUE(holds(true, 40)) << "the other client at info never got the display";
  ::close(other);
}

// The agent's priority step by step, as its model asks: with --accelerate 10 the minute a menu
// keeps the display at foreground is 6 s. Another client at info tells the three apart: it never
// shows while the agent is at foreground, takes turns with it at info (LCDd rotates two screens
// of one priority, here every 2 s), and has the display to itself while the agent is at
// background.
class LcdprocPriorityModel : public LcdprocLive {
 protected:
  std::vector<std::string> AgentExtras() const override { return {"--accelerate", "10"}; }
};

enum class Expect { Foreground, Info, Background };

TEST_P(LcdprocPriorityModel, FollowsTheAgentsModel) {
  // The agent's face first, alone on the display.
  for (int i = 0; i < 100 && LastFrame(lumora::test::ReadFile(dir_ + "/lcdd.out")).size() != 2; ++i)
    std::this_thread::sleep_for(50ms);
  const int otherFd = OtherClient(port_);
  ASSERT_GE(otherFd, 0);
  // Which screen the display shows: 1 the other client's, 0 the agent's, -1 none yet.
  auto shown = [&] {
    const std::vector<std::string> rows = LastFrame(lumora::test::ReadFile(dir_ + "/lcdd.out"));
    if (rows.empty()) return -1;
    return rows[0].rfind("OTHER CLIENT", 0) == 0 ? 1 : 0;
  };
  // Samples the display every 50 ms for at most limit; until says when it has seen enough.
  auto watch = [&](std::chrono::milliseconds limit, auto until) {
    bool sawOther = false;
    bool sawAgent = false;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && !until(sawOther, sawAgent)) {
      const int now = shown();
      sawOther = sawOther || now == 1;
      sawAgent = sawAgent || now == 0;
      std::this_thread::sleep_for(50ms);
    }
    return std::make_pair(sawOther, sawAgent);
  };
  auto observe = [&](Expect expect) -> std::string {
    switch (expect) {
      case Expect::Foreground: {
        // Once the agent has the display, the other client never gets it.
        if (!watch(2s, [](bool, bool agent) { return agent; }).second) return "agent never shown";
        if (watch(2s, [](bool other, bool) { return other; }).first) return "other client shown";
        return "";
      }
      case Expect::Info: {
        const auto [other, agent] = watch(7s, [](bool o, bool a) { return o && a; });
        return other && agent ? ""
                              : "no turns: other " + std::to_string(other) + ", agent " +
                                    std::to_string(agent);
      }
      case Expect::Background: {
        if (!watch(2s, [](bool o, bool) { return o; }).first) return "other client never shown";
        if (watch(1500ms, [](bool, bool a) { return a; }).second) return "agent shown";
        return "";
      }
    }
    return "?";
  };
  struct Step {
    const char* what;
    std::vector<const char*> messages;
    std::chrono::milliseconds before;  // a pause between the messages and the observation
    Expect expect;
  };
  const Step steps[] = {
      {"the idle date and time", {}, 0ms, Expect::Info},
      {"a menu", {"event 1 NavHome"}, 0ms, Expect::Foreground},
      // 2 to 4 s have gone in the observation: 6.5 s after the menu in all.
      {"a minute after the menu, nothing plays", {}, 4500ms, Expect::Info},
      {"live TV plays",
       {"event 7 SessionOpened", "event 7 LiveTvStarted", "event 7 Play"},
       0ms,
       Expect::Foreground},
      {"paused, the menu long ago", {"event 7 Pause"}, 0ms, Expect::Info},
      {"suspended: the clock handed to the panel", {"power 4"}, 0ms, Expect::Background},
      {"resumed, still paused", {"power 7"}, 0ms, Expect::Info},
      {"plays again", {"event 7 Play"}, 0ms, Expect::Foreground},
  };
  for (const Step& step : steps) {
    for (const char* message : step.messages)
      ASSERT_TRUE(Send(message)) << message;
    std::this_thread::sleep_for(step.before);
    EXPECT_EQ(observe(step.expect), "") << step.what;
  }
  ::close(otherFd);
}

INSTANTIATE_TEST_SUITE_P(At20x2, LcdprocPriority, ::testing::Values(Size{20, 2}));
INSTANTIATE_TEST_SUITE_P(At20x2, LcdprocPriorityModel, ::testing::Values(Size{20, 2}));

INSTANTIATE_TEST_SUITE_P(Sizes, LcdprocLive,
                         ::testing::Values(Size{20, 2}, Size{16, 2}, Size{20, 4}, Size{40, 2}),
                         [](const auto& param) {
                           return std::to_string(param.param.width) + "x" +
                                  std::to_string(param.param.height);
                         });

}  // namespace

int main(int argc, char** argv) {
  for (const char* candidate : {"/usr/sbin/LCDd", "/usr/bin/LCDd", "/usr/local/sbin/LCDd"}) {
    if (::access(candidate, X_OK) == 0) {
      g_lcdd = candidate;
      break;
    }
  }
  if (g_lcdd.empty()) {
    std::fprintf(stderr, "skipped: needs LCDd (Debian package lcdproc)\n");
    return 77;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
