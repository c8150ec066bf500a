// The live agent end to end: `lumora run` with its socket, `lumora send`, `lumora demo`, and
// the trace of the live run against lumora-replay of the same scenario. Every process a test
// starts is ended by the test, and every wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/posix/agent_host.h"
#include "panel/trace_line.h"
#include "senders/frame.h"
#include "senders/send_client.h"
#include "senders/socket_folder.h"
#include "tests/read_file.h"

extern char** environ;

namespace lumora::posix {
namespace {

const std::string kBin = LUMORA_BIN_DIR;
const std::string kSource = LUMORA_SOURCE_DIR;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

using lumora::test::ReadFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Starts a program with its standard output to the file out, or to the descriptor outFd when
// it is not negative; env adds or replaces variables of this process's environment.
pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err,
            const std::vector<std::string>& env = {}, int outFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argStorage = args;
  std::vector<char*> argv;
  for (std::string& a : argStorage)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStorage;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& given : env)
      replaced = replaced || given.rfind(name, 0) == 0;
    if (!replaced) envStorage.push_back(entry);
  }
  envStorage.insert(envStorage.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& e : envStorage)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  // Each in a process group of its own, so that a timeout ends whatever it started too.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

// Waits for the process to end; kills it when it outlives the time. False on a timeout.
bool WaitExit(pid_t pid, int timeoutMs, int& status) {
  const int64_t deadline = NowMs() + timeoutMs;
  while (NowMs() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return true;
    ::usleep(10000);
  }
  ::kill(-pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return false;
}

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The clock packets depend on the real time, so they are left out of every comparison: texts
// of line 2 or 3 that are a date or a time of day, and the start of the panel's own clock.
bool IsClockLine(const std::string& decoded) {
  static const std::regex kText("^text[23] 0 \"(.*)\"$");
  static const std::regex kClockText(
      "^( ( [1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] [AP]M|( [1-9]|[12][0-9]|3[01]) [A-Z]{3} "
      "[0-9]{4}|[A-Z]{3} [0-3][0-9] [0-9]{4}|[0-9]{4}/[01][0-9]/[0-3][0-9] )$");
  if (decoded.rfind("pclock start ", 0) == 0) return true;
  std::smatch m;
  return std::regex_match(decoded, m, kText) && std::regex_match(m[1].str(), kClockText);
}

std::vector<std::string> WithoutClock(const std::vector<std::string>& raw) {
  std::vector<std::string> kept;
  for (const std::string& line : raw) {
    const std::string decoded = DecodeTraceLine(line);
    if (!IsClockLine(decoded)) kept.push_back(decoded);
  }
  return kept;
}

class LiveAgent : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/lumora-live-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    dir_ = dir;
    socket_ = dir_ + "/agent.sock";
    trace_ = dir_ + "/agent.trace";
  }

  void TearDown() override {
    if (agent_ > 0) {
      ::kill(-agent_, SIGKILL);
      ::waitpid(agent_, nullptr, 0);
    }
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void StartAgent(const std::vector<std::string>& env = {},
                  const std::vector<std::string>& extra = {}, int outFd = -1) {
    std::vector<std::string> args = {kBin + "/lumora", "run",   "--panel", "none", "--quiet",
                                     "--socket",       socket_, "--trace", trace_};
    args.insert(args.end(), extra.begin(), extra.end());
    agent_ = Spawn(args, Path("agent.out"), Path("agent.err"), env, outFd);
    ASSERT_GT(agent_, 0);
    // The agent listens once it is initialised.
    const int64_t deadline = NowMs() + 5000;
    AgentConnection probe;
    std::string error;
    bool notRunning = false;
    while (NowMs() < deadline) {
      if (probe.Connect(socket_, error, notRunning)) return;
      ::usleep(20000);
    }
    FAIL() << "the agent did not start: " << ReadFile(Path("agent.err"));
  }

  // Runs a `lumora` command to its end (at most timeoutMs).
  Result Lumora(const std::vector<std::string>& args, int timeoutMs = 20000,
                const std::vector<std::string>& env = {}) {
    static int run = 0;
    const std::string out = Path("cmd" + std::to_string(++run) + ".out");
    const std::string err = Path("cmd" + std::to_string(run) + ".err");
    std::vector<std::string> argv = {kBin + "/lumora"};
    argv.insert(argv.end(), args.begin(), args.end());
    Result result;
    const pid_t pid = Spawn(argv, out, err, env);
    if (pid <= 0) return result;
    int status = 0;
    if (WaitExit(pid, timeoutMs, status) && WIFEXITED(status)) {
      result.exitCode = WEXITSTATUS(status);
    }
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  // Closes the agent through its socket and waits for it to end; returns its exit status.
  int CloseAgent() {
    const Result close = Lumora({"send", "--socket", socket_, "--close"});
    EXPECT_EQ(close.exitCode, 0) << close.err;
    return WaitAgent();
  }

  int WaitAgent() {
    int status = 0;
    const bool ended = WaitExit(agent_, 5000, status);
    agent_ = -1;
    EXPECT_TRUE(ended) << "the agent did not end";
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> Replay(const std::string& scenario) {
    const std::string out = Path("replay.out");
    const pid_t pid = Spawn({kBin + "/lumora-replay", scenario}, out, Path("replay.err"));
    int status = 0;
    EXPECT_TRUE(pid > 0 && WaitExit(pid, 20000, status) && WIFEXITED(status) &&
                WEXITSTATUS(status) == 0)
        << ReadFile(Path("replay.err"));
    return Lines(ReadFile(out));
  }

  std::vector<std::string> Trace() const { return Lines(ReadFile(trace_)); }

  std::string dir_;
  std::string socket_;
  std::string trace_;
  pid_t agent_ = -1;
};

// --- The live trace is the replayed one, but for the real time ---

class LiveScenario : public LiveAgent, public ::testing::WithParamInterface<const char*> {};

TEST_P(LiveScenario, TraceMatchesTheReplay) {
  const std::string scenario = kSource + "/" + GetParam();
  // A day-first locale: the clock packets differ from the replay's anyway, the rest must not.
  StartAgent({"LANG=de_DE.UTF-8", "LC_ALL=", "LC_TIME="});
  const Result sent = Lumora({"send", "--socket", socket_, "--file", scenario}, 60000);
  ASSERT_EQ(sent.exitCode, 0) << sent.err;
  // The scenario ends with close: the agent is gone and its socket removed.
  EXPECT_EQ(WaitAgent(), 0);
  struct stat info {};
  EXPECT_NE(::stat(socket_.c_str(), &info), 0);

  const std::vector<std::string> live = WithoutClock(Trace());
  const std::vector<std::string> replayed = WithoutClock(Replay(scenario));
  ASSERT_GT(replayed.size(), 20u);
  EXPECT_EQ(live, replayed);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, LiveScenario,
                         ::testing::Values("tests/posix/live_host.scn", "examples/evening.scn"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param).find("evening") != std::string::npos
                                      ? std::string("evening")
                                      : std::string("odd_messages");
                         });

// --- Malformed frames are refused with a reply, and nothing is lost ---

std::vector<uint8_t> Header(uint8_t type, uint32_t message, uint32_t length, uint64_t dwData) {
  std::vector<uint8_t> bytes = {'L', 'U', 'M', 'O', 1, type, 0, 0};
  for (const auto& [value, size] :
       {std::pair<uint64_t, size_t>{message, 4}, {length, 4}, {0, 8}, {dwData, 8}}) {
    for (size_t i = 0; i < size; ++i)
      bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return bytes;
}

// Sends raw bytes on a fresh connection (then, if asked, ends the sending side) and reads the
// reply and the end of the connection.
FrameStatus Refusal(const std::string& socket, std::vector<uint8_t> bytes, bool endSending) {
  AgentConnection connection;
  std::string error;
  bool notRunning = false;
  if (!connection.Connect(socket, error, notRunning)) return FrameStatus::Ok;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(connection.fd(), bytes.data() + done, bytes.size() - done, 0);
    if (n <= 0) return FrameStatus::Ok;
    done += static_cast<size_t>(n);
  }
  if (endSending) ::shutdown(connection.fd(), SHUT_WR);
  uint8_t reply[kReplySize + 1];
  size_t have = 0;
  const int64_t deadline = NowMs() + 5000;
  while (NowMs() < deadline) {
    pollfd p{connection.fd(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(connection.fd(), reply + have, sizeof reply - have);
    if (n <= 0) break;  // the agent hung up after its reply
    have += static_cast<size_t>(n);
  }
  Reply decoded;
  if (!DecodeReply(reply, have, decoded)) return FrameStatus::Ok;
  return decoded.status;
}

TEST_F(LiveAgent, MalformedFramesAreRefusedAndNothingIsLost) {
  StartAgent();
  std::vector<uint8_t> event = Header(1, 74, 40, 1);
  event.resize(event.size() + 40, 0);
  event[32] = 7;  // session 7
  event[36] = 8;  // LiveTvStarted: a packet if it were ever handled
  std::vector<uint8_t> badMagic = event;
  badMagic[1] = 'X';
  std::vector<uint8_t> cut(event.begin(), event.end() - 5);
  std::vector<uint8_t> halfHeader(event.begin(), event.begin() + 20);

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool endSending;
    FrameStatus status;
  };
  const Case cases[] = {
      {"bad_magic", badMagic, false, FrameStatus::BadMagic},
      {"oversize_length", Header(1, 74, 4096, 1), false, FrameStatus::TooLong},
      {"timer_message", Header(1, 0x113, 0, 0), false, FrameStatus::BadMessage},
      {"power_with_payload", Header(1, 536, 4, 0), false, FrameStatus::UnexpectedPayload},
      {"truncated_payload", cut, true, FrameStatus::Truncated},
      {"truncated_header", halfHeader, true, FrameStatus::Truncated},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Refusal(socket_, c.bytes, c.endSending), c.status) << c.name;
  }

  // The agent still answers, and handles the next message whole.
  const std::string one = Path("one.scn");
  std::ofstream(one) << "event 7 LiveTvStarted\nevent 7 ItemNumber 7\n";
  const Result sent = Lumora({"send", "--socket", socket_, "--file", one});
  EXPECT_EQ(sent.exitCode, 0) << sent.err;
  EXPECT_EQ(CloseAgent(), 0);
  EXPECT_EQ(WithoutClock(Trace()), WithoutClock(Replay(one)));
}

// --- A silent sender cannot hold up the agent or its clock ---

TEST_F(LiveAgent, SilentSenderIsDroppedWhileTheClockTicks) {
  StartAgent();
  AgentConnection silent;
  AgentConnection stalled;
  std::string error;
  bool notRunning = false;
  ASSERT_TRUE(silent.Connect(socket_, error, notRunning)) << error;
  ASSERT_TRUE(stalled.Connect(socket_, error, notRunning)) << error;
  const int64_t connected = NowMs();
  const uint8_t part[10] = {'L', 'U', 'M', 'O', 1, 1, 0, 0, 74, 0};
  ASSERT_EQ(::send(stalled.fd(), part, sizeof part, 0), 10);

  // Meanwhile another sender is answered at once.
  AgentConnection other;
  ASSERT_TRUE(other.Connect(socket_, error, notRunning)) << error;
  uint8_t record[kMediaStateEventSize];
  EncodeMediaStateEvent(7, 33, nullptr, 0, record);  // AuxIndicatorOn
  Frame frame;
  frame.message = kWmCopyData;
  frame.dwData = 1;
  frame.payload = record;
  frame.length = sizeof record;
  Reply reply;
  const int64_t asked = NowMs();
  ASSERT_TRUE(other.Exchange(frame, reply, error, 3000)) << error;
  EXPECT_EQ(reply.status, FrameStatus::Ok);
  EXPECT_LT(NowMs() - asked, 1000);

  // The silent one is hung up on after the read deadline; the stalled one is told why first.
  auto endOf = [](int fd, uint8_t* buffer, size_t size, size_t& have) {
    const int64_t deadline = NowMs() + 6000;
    while (NowMs() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::read(fd, buffer + have, size - have);
      if (n <= 0) return NowMs();
      have += static_cast<size_t>(n);
    }
    return int64_t{-1};
  };
  uint8_t nothing[4];
  size_t silentHave = 0;
  const int64_t silentEnd = endOf(silent.fd(), nothing, sizeof nothing, silentHave);
  ASSERT_GT(silentEnd, 0) << "the silent connection was never dropped";
  EXPECT_EQ(silentHave, 0u);
  EXPECT_GE(silentEnd - connected, 1500);
  EXPECT_LE(silentEnd - connected, 4000);
  uint8_t answer[kReplySize];
  size_t stalledHave = 0;
  ASSERT_GT(endOf(stalled.fd(), answer, sizeof answer, stalledHave), 0);
  ASSERT_TRUE(DecodeReply(answer, stalledHave, reply));
  EXPECT_EQ(reply.status, FrameStatus::Timeout);

  // The clock ticked all along: the time of day went out every second.
  EXPECT_EQ(CloseAgent(), 0);
  size_t times = 0;
  for (const std::string& line : Trace()) {
    const std::string decoded = DecodeTraceLine(line);
    if (decoded.rfind("text3 0 ", 0) == 0 && IsClockLine(decoded)) ++times;
  }
  EXPECT_GE(times, 2u);
}

// --- Two senders at once ---

TEST_F(LiveAgent, TwoSendersAtOnceAreBothServed) {
  StartAgent();
  const std::string levels = Path("levels.scn");
  {
    std::ofstream file(levels);
    for (int i = 0; i < 30; ++i)
      file << "event 9 Level " << (i * 7) % 60 << "\n";
  }
  const pid_t first = Spawn({kBin + "/lumora", "send", "--socket", socket_, "--file", levels},
                            Path("first.out"), Path("first.err"));
  const pid_t second = Spawn({kBin + "/lumora", "send", "--socket", socket_, "--file", levels},
                             Path("second.out"), Path("second.err"));
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  int status = 0;
  ASSERT_TRUE(WaitExit(first, 20000, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(Path("first.err"));
  ASSERT_TRUE(WaitExit(second, 20000, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(Path("second.err"));
  EXPECT_EQ(CloseAgent(), 0);

  // Every level of both senders reached the panel: the replay of one sender's file has its
  // packets between the three start-up lines and the close, the live run twice as many.
  const std::vector<std::string> once = WithoutClock(Replay(levels));
  const std::vector<std::string> live = WithoutClock(Trace());
  ASSERT_GT(once.size(), 4u);
  EXPECT_EQ(live.size(), 4 + 2 * (once.size() - 4));
  size_t icons = 0;
  for (const std::string& line : live)
    icons += line.rfind("icons ", 0) == 0 ? 1u : 0u;
  EXPECT_EQ(icons, 60u);
}

// --- Start, stop, and a sender without an agent ---

TEST_F(LiveAgent, StopsCleanlyOnSigtermAndKeepsItsSocketPrivate) {
  StartAgent();
  struct stat info {};
  ASSERT_EQ(::stat(socket_.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A second agent on the same socket refuses to start; the first one is unharmed.
  const Result second = Lumora({"run", "--panel", "none", "--socket", socket_}, 5000);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
  const Result play = Lumora({"send", "--socket", socket_, "7", "Play"});
  EXPECT_EQ(play.exitCode, 0) << play.err;

  ASSERT_EQ(::kill(agent_, SIGTERM), 0);
  EXPECT_EQ(WaitAgent(), 0);
  EXPECT_NE(::stat(socket_.c_str(), &info), 0);
  const std::vector<std::string> trace = Trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front(), "open 11853 16 16");
  EXPECT_EQ(trace.back(), "close");
}

TEST_F(LiveAgent, SendWithoutAgentSaysSo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"send", "--socket", Path("none.sock"), "7", "Play"},
        std::vector<std::string>{"send", "--socket", Path("none.sock"), "--close"}}) {
    const Result result = Lumora(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("not running"), std::string::npos) << result.err;
  }
  // A stale socket file with nobody behind it: connection refused, the same answer.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string stale = Path("stale.sock");
  std::memcpy(address.sun_path, stale.c_str(), stale.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  const Result refused = Lumora({"send", "--socket", stale, "7", "Play"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("not running"), std::string::npos) << refused.err;
}

TEST_F(LiveAgent, DeviceThatCannotOpenShowsTheMessageOnStandardError) {
  agent_ = Spawn({kBin + "/lumora", "run", "--panel", "none", "--quiet", "--socket", socket_,
                  "--trace", trace_, "--device-error", "5"},
                 Path("agent.out"), Path("agent.err"));
  ASSERT_GT(agent_, 0);
  const int64_t deadline = NowMs() + 5000;
  struct stat info {};
  while (NowMs() < deadline && ::stat(socket_.c_str(), &info) != 0)
    ::usleep(20000);
  EXPECT_EQ(CloseAgent(), 0);
  EXPECT_NE(ReadFile(Path("agent.err")).find("OpenVFD Error: 5"), std::string::npos);
  // Nothing reaches the panel, and a device never opened is never closed.
  EXPECT_EQ(Trace(),
            (std::vector<std::string>{"open 11853 16 16", "msgbox CVFDCmd|OpenVFD Error: 5"}));
}

// --- The demo ---

TEST_F(LiveAgent, DemoPlaysTheEveningInAcceleratedMode) {
  const int64_t started = NowMs();
  const Result demo = Lumora({"demo", "--fast", "--panel", "plain"}, 60000);
  ASSERT_EQ(demo.exitCode, 0) << demo.err << demo.out;
  EXPECT_LT(NowMs() - started, 30000);

  // Every caption of the evening, in order, and the panel's states between them.
  std::vector<std::string> captions;
  for (const std::string& line : Lines(ReadFile(kSource + "/examples/evening.scn"))) {
    if (line.rfind("#>", 0) == 0) captions.push_back("demo: " + line.substr(3));
  }
  ASSERT_GE(captions.size(), 10u);
  size_t at = 0;
  for (const std::string& caption : captions) {
    at = demo.out.find(caption + "\n", at);
    ASSERT_NE(at, std::string::npos) << caption;
  }
  EXPECT_NE(demo.out.find("icons PLAY CD VIDEO VCD"), std::string::npos);
  EXPECT_NE(demo.out.find("L2 \"CH-007     \""), std::string::npos);
  EXPECT_NE(demo.out.find("demo: the evening is over"), std::string::npos);

  // Each caption that speaks of the date and time is shown over a panel that shows them, although
  // the pauses are short: the agent's clock runs as fast as the evening's time.
  static const std::regex kDateAndTime(
      "L2 \"(( [1-9]|[12][0-9]|3[01]) [A-Z]{3} [0-9]{4}|[A-Z]{3} [0-3][0-9] [0-9]{4}|"
      "[0-9]{4}/[01][0-9]/[0-3][0-9] )\" \\| L3 \" ( [1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] [AP]M\"");
  static const std::regex kPanelClock(
      "\\| panel clock [0-9]{4}/[01][0-9]/[0-3][0-9]  ( [1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] "
      "[AP]M$");
  struct ShownCase {
    const char* caption;  // the start of a caption
    const std::regex& shown;
  };
  for (const ShownCase& c :
       {ShownCase{"The PC is idle", kDateAndTime}, ShownCase{"The PC suspends", kPanelClock},
        ShownCase{"Media Center ends", kDateAndTime}}) {
    // The panel's state lines from the caption to the next one.
    const size_t from = demo.out.find(std::string("demo: ") + c.caption);
    ASSERT_NE(from, std::string::npos) << c.caption;
    const size_t to = demo.out.find("demo: ", from + 1);
    bool shown = false;
    for (const std::string& line : Lines(demo.out.substr(from, to - from)))
      shown = shown || std::regex_search(line, c.shown);
    EXPECT_TRUE(shown) << c.caption << ":\n" << demo.out.substr(from, to - from);
  }
}

// --- Other users, busy and stalled peers, signals and odd files ---

constexpr uid_t kNobody = 65534;

bool IsRoot() {
  return ::geteuid() == 0;
}

// A folder under /tmp that every user may write, like /tmp itself (sticky) or, unlike it, not.
std::string SharedFolder(mode_t mode) {
  char folder[] = "/tmp/lumora-shared-test-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chmod(folder, mode) != 0) return {};
  return folder;
}

// Runs body in a child process that has become user and group 65534 (nobody); returns its pid.
template <typename Body>
pid_t AsNobody(Body body) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
    ::_exit(3);
  }
  body();
  ::_exit(0);
}

// Another user's listener: as nobody, creates folder (when given) and listens on path, open to
// everyone, counting every byte a sender writes to it. Done() ends it and returns the count.
class ForeignListener {
 public:
  ForeignListener(const std::string& folder, const std::string& path) {
    int stop[2];
    int report[2];
    if (::pipe(stop) != 0 || ::pipe(report) != 0) return;
    pid_ = AsNobody([&] {
      ::close(stop[1]);
      ::close(report[0]);
      if (!folder.empty()) ::mkdir(folder.c_str(), 0700);
      ::umask(0);
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
      if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
          ::listen(fd, 16) != 0) {
        ::_exit(4);
      }
      uint64_t total = 0;
      [[maybe_unused]] ssize_t n = ::write(report[1], "r", 1);
      for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop[0], POLLIN, 0}};
        if (::poll(p, 2, -1) <= 0) continue;
        if (p[1].revents != 0) break;
        const int client = ::accept(fd, nullptr, nullptr);
        if (client < 0) continue;
        uint8_t bytes[4096];
        pollfd c{client, POLLIN, 0};
        while (::poll(&c, 1, 300) > 0 && (n = ::read(client, bytes, sizeof bytes)) > 0)
          total += static_cast<uint64_t>(n);
        ::close(client);
      }
      n = ::write(report[1], &total, sizeof total);
    });
    ::close(stop[0]);
    ::close(report[1]);
    stop_ = stop[1];
    report_ = report[0];
    char ready = 0;
    pollfd p{report_, POLLIN, 0};
    ready_ = ::poll(&p, 1, 5000) > 0 && ::read(report_, &ready, 1) == 1 && ready == 'r';
  }

  bool ready() const { return ready_; }

  uint64_t Done() {
    ::close(stop_);
    uint64_t total = ~uint64_t{0};
    pollfd p{report_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0 || ::read(report_, &total, sizeof total) != sizeof total) {
      ::kill(pid_, SIGKILL);
    }
    ::close(report_);
    ::waitpid(pid_, nullptr, 0);
    return total;
  }

 private:
  pid_t pid_ = -1;
  int stop_ = -1;
  int report_ = -1;
  bool ready_ = false;
};

TEST(SocketFolder, OnlyAFolderOfTheUsersOwnThatNoOneElseMayUse) {
  char base[] = "/tmp/lumora-folder-test-XXXXXX";
  ASSERT_NE(::mkdtemp(base), nullptr);
  const std::string root = base;
  auto path = [&](const char* name) { return root + "/" + name; };
  ASSERT_EQ(::mkdir(path("open").c_str(), 0700), 0);
  ASSERT_EQ(::chmod(path("open").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(path("mine").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(path("mine").c_str(), path("link").c_str()), 0);
  std::ofstream(path("file")) << "x";
  // Parents that others may write: without the sticky bit anyone may swap the folder away.
  const std::pair<const char*, mode_t> parents[] = {
      {"shared", 0777}, {"group", 0770}, {"sticky", 01777}};
  for (const auto& [name, mode] : parents) {
    ASSERT_EQ(::mkdir(path(name).c_str(), 0700), 0);
    ASSERT_EQ(::chmod(path(name).c_str(), mode), 0);
  }

  struct Case {
    const char* name;
    bool create;
    bool ok;
    bool missing;
    std::string needle;
  };
  const Case cases[] = {
      {"new", true, true, false, ""},
      {"absent", false, false, true, ""},
      {"mine", false, true, false, ""},
      {"open", true, false, false, "has mode 0755; it must be 0700"},
      {"link", true, false, false, "is not a folder (a symbolic link)"},
      {"file", true, false, false, "is not a folder"},
      {"shared/lumora", true, false, false,
       "parent " + root + "/shared has mode 0777: others may write it and it is not sticky"},
      {"group/lumora/", true, false, false, "parent " + root + "/group has mode 0770"},
      {"sticky/lumora", true, true, false, ""},
  };
  for (const Case& c : cases) {
    std::string error;
    bool missing = false;
    EXPECT_EQ(CheckPrivateFolder(path(c.name), c.create, error, missing), c.ok) << c.name;
    EXPECT_EQ(missing, c.missing) << c.name;
    EXPECT_NE(error.find(c.needle), std::string::npos) << c.name << ": " << error;
  }
  struct stat info {};
  ASSERT_EQ(::lstat(path("new").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);

  if (IsRoot()) {
    // Another user's folder, however private, is never used.
    ASSERT_EQ(::chown(path("mine").c_str(), kNobody, kNobody), 0);
    std::string error;
    bool missing = false;
    EXPECT_FALSE(CheckPrivateFolder(path("mine"), true, error, missing));
    EXPECT_NE(error.find("belongs to user 65534, not to you"), std::string::npos) << error;
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

TEST_F(LiveAgent, DefaultSocketLivesInAFolderOfTheUsersOwn) {
  const std::vector<std::string> env = {"TMPDIR=" + dir_, "XDG_RUNTIME_DIR="};
  const std::string folder = dir_ + "/lumora-" + std::to_string(::getuid());
  const std::string socket = folder + "/lumora.sock";
  agent_ = Spawn({kBin + "/lumora", "run", "--panel", "none", "--quiet", "--trace", trace_},
                 Path("agent.out"), Path("agent.err"), env);
  ASSERT_GT(agent_, 0);
  struct stat info {};
  const int64_t deadline = NowMs() + 5000;
  while (NowMs() < deadline && ::stat(socket.c_str(), &info) != 0)
    ::usleep(20000);
  ASSERT_TRUE(S_ISSOCK(info.st_mode)) << ReadFile(Path("agent.err"));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_EQ(info.st_uid, ::geteuid());

  const Result play = Lumora({"send", "7", "Play"}, 20000, env);
  EXPECT_EQ(play.exitCode, 0) << play.err;
  const Result close = Lumora({"send", "--close"}, 20000, env);
  EXPECT_EQ(close.exitCode, 0) << close.err;
  EXPECT_EQ(WaitAgent(), 0);
  EXPECT_NE(::stat(socket.c_str(), &info), 0);
}

TEST_F(LiveAgent, AnotherUsersFolderOrListenerIsNeverUsed) {
  if (!IsRoot()) GTEST_SKIP() << "acting as another user needs root";
  const std::string shared = SharedFolder(01777);
  ASSERT_FALSE(shared.empty());
  // Another user was first: the folder where this user's default socket would be is theirs,
  // and they listen in it.
  const std::string folder = shared + "/lumora-" + std::to_string(::getuid());
  const std::string socket = folder + "/lumora.sock";
  ForeignListener listener(folder, socket);
  ASSERT_TRUE(listener.ready());
  const std::vector<std::string> env = {"TMPDIR=" + shared, "XDG_RUNTIME_DIR="};

  const Result run = Lumora({"run", "--panel", "none", "--quiet"}, 5000, env);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("belongs to user 65534, not to you"), std::string::npos) << run.err;
  // A caller's number must not reach them, by the default path or by theirs.
  const Result byDefault = Lumora({"send", "7", "CallerText", "555-0100"}, 15000, env);
  EXPECT_EQ(byDefault.exitCode, 1);
  EXPECT_NE(byDefault.err.find("belongs to user 65534, not to you"), std::string::npos)
      << byDefault.err;
  const Result byPath = Lumora({"send", "--socket", socket, "7", "CallerText", "555-0100"}, 15000);
  EXPECT_EQ(byPath.exitCode, 1);
  EXPECT_NE(byPath.err.find("served by user 65534, not by you"), std::string::npos) << byPath.err;
  EXPECT_EQ(listener.Done(), 0u);
  std::error_code ignored;
  std::filesystem::remove_all(shared, ignored);
}

TEST_F(LiveAgent, SocketModeIsSetByBindNotByAChmodThatFollowsALink) {
  // Someone who may write the socket's folder puts a link to this user's file in place of the
  // socket the moment bind has made it (the preloaded stand-in wins that race every time). The
  // socket must have had its mode from bind: nothing done afterwards by name may reach the file.
  const std::string target = Path("target");
  std::ofstream(target) << "this user's file\n";
  ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
  // A sanitized agent must accept a library loaded before its runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::vector<std::string> env = {
      "LD_PRELOAD=" LUMORA_SWAP_AFTER_BIND, "LUMORA_TEST_LINK_TARGET=" + target,
      "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"};
  const pid_t agent =
      Spawn({kBin + "/lumora", "run", "--panel", "none", "--quiet", "--socket", socket_},
            Path("agent.out"), Path("agent.err"), env);
  ASSERT_GT(agent, 0);
  // The link takes the socket's place as soon as the agent has bound it.
  struct stat info {};
  const int64_t deadline = NowMs() + 5000;
  while (NowMs() < deadline && !(::lstat(socket_.c_str(), &info) == 0 && S_ISLNK(info.st_mode)))
    ::usleep(5000);
  ASSERT_TRUE(S_ISLNK(info.st_mode)) << ReadFile(Path("agent.err"));
  ::usleep(200000);  // time for anything the agent does after bind
  ::kill(agent, SIGTERM);
  int status = 0;
  EXPECT_TRUE(WaitExit(agent, 5000, status));
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(ReadFile(target), "this user's file\n");
}

// An agent removes its socket at the end only when the path still holds the socket it bound: its
// socket was removed and a second agent started on the path meanwhile, which must go on serving.
TEST_F(LiveAgent, AnAgentThatEndsLeavesTheSocketOfTheAgentAfterItAlone) {
  StartAgent();
  ASSERT_EQ(::unlink(socket_.c_str()), 0);
  const pid_t second =
      Spawn({kBin + "/lumora", "run", "--panel", "none", "--quiet", "--socket", socket_},
            Path("second.out"), Path("second.err"));
  ASSERT_GT(second, 0);
  const int64_t deadline = NowMs() + 5000;
  struct stat info {};
  while (NowMs() < deadline && ::lstat(socket_.c_str(), &info) != 0)
    ::usleep(20000);
  ASSERT_TRUE(S_ISSOCK(info.st_mode)) << ReadFile(Path("second.err"));
  ASSERT_EQ(::kill(agent_, SIGTERM), 0);
  EXPECT_EQ(WaitAgent(), 0);
  const Result play = Lumora({"send", "--socket", socket_, "7", "Play"});
  EXPECT_EQ(play.exitCode, 0) << "the second agent was cut off: " << play.err;
  agent_ = second;
  EXPECT_EQ(CloseAgent(), 0);
  EXPECT_NE(::lstat(socket_.c_str(), &info), 0) << "the second agent left its socket";
}

// A socket left at the path with nobody listening is replaced only when it is the user's own.
TEST_F(LiveAgent, AStaleSocketIsReplacedOnlyWhenItIsTheUsersOwn) {
  const struct {
    const char* name;
    bool theirs;  // left by another user (root only: chown)
  } cases[] = {{"the user's own", false}, {"another user's", true}};
  for (const auto& c : cases) {
    if (c.theirs && !IsRoot()) {
      std::printf("note: not root, %s stale socket not tried\n", c.name);
      continue;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never listened: what an agent killed outright leaves
    if (c.theirs) {
      ASSERT_EQ(::lchown(socket_.c_str(), kNobody, kNobody), 0);
      const Result run = Lumora({"run", "--panel", "none", "--quiet", "--socket", socket_}, 5000);
      EXPECT_EQ(run.exitCode, 1) << c.name;
      EXPECT_EQ(run.err, "lumora: " + socket_ +
                             " is a socket of user 65534, not yours; refusing to replace it\n")
          << c.name;
      struct stat info {};
      ASSERT_EQ(::lstat(socket_.c_str(), &info), 0) << c.name;
      EXPECT_EQ(info.st_uid, kNobody) << c.name;
    } else {
      StartAgent();  // replaced: the agent answers on it
      EXPECT_EQ(CloseAgent(), 0) << c.name;
    }
    ::unlink(socket_.c_str());
  }
}

// A message that changes nothing and shows nothing: WM_ENDSESSION with wParam 0.
Frame HarmlessFrame() {
  Frame frame;
  frame.message = 22;
  frame.wParam = 0;
  return frame;
}

TEST_F(LiveAgent, FullAgentSaysBusyAtOnceAndTheSenderGivesUpWithoutTheEventEverApplied) {
  StartAgent();
  // Eight senders hold every connection, each sending a harmless message every second.
  std::vector<std::unique_ptr<AgentConnection>> holders;
  std::string error;
  bool notRunning = false;
  for (size_t i = 0; i < kMaxConnections; ++i) {
    // A slot freed a moment ago (the start-up probe's) may not be free yet: busy, try again.
    holders.push_back(std::make_unique<AgentConnection>());
    Reply first;
    first.status = FrameStatus::Busy;
    for (int attempt = 0; attempt < 50 && first.status != FrameStatus::Ok; ++attempt) {
      ASSERT_TRUE(holders.back()->Connect(socket_, error, notRunning)) << error;
      ASSERT_TRUE(holders.back()->Exchange(HarmlessFrame(), first, error, 3000)) << error;
      if (first.status == FrameStatus::Busy) ::usleep(20000);
    }
    ASSERT_EQ(first.status, FrameStatus::Ok);
  }
  int64_t lastKept = 0;
  auto keepBusy = [&] {
    if (NowMs() - lastKept < 1000) return;
    lastKept = NowMs();
    for (auto& holder : holders) {
      Reply reply;
      ASSERT_TRUE(holder->Exchange(HarmlessFrame(), reply, error, 3000)) << error;
      EXPECT_EQ(reply.status, FrameStatus::Ok);
    }
  };
  keepBusy();

  // A ninth is told at once.
  AgentConnection ninth;
  ASSERT_TRUE(ninth.Connect(socket_, error, notRunning)) << error;
  Reply reply;
  const int64_t asked = NowMs();
  ASSERT_TRUE(ninth.Exchange(HarmlessFrame(), reply, error, 3000)) << error;
  EXPECT_EQ(reply.status, FrameStatus::Busy);
  EXPECT_LT(NowMs() - asked, 1000);

  // `lumora send` tries again for a while, then gives up and says why.
  const pid_t sender = Spawn({kBin + "/lumora", "send", "--socket", socket_, "7", "LiveTvStarted"},
                             Path("sender.out"), Path("sender.err"));
  ASSERT_GT(sender, 0);
  const int64_t started = NowMs();
  int status = 0;
  bool ended = false;
  while (!ended && NowMs() - started < 20000) {
    keepBusy();
    ended = ::waitpid(sender, &status, WNOHANG) == sender;
    if (!ended) ::usleep(20000);
  }
  const int64_t took = NowMs() - started;
  if (!ended) {
    ::kill(sender, SIGKILL);
    ::waitpid(sender, &status, 0);
  }
  ASSERT_TRUE(ended) << "the sender did not give up";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_GE(took, kBusyRetryMs - 500);
  EXPECT_LE(took, kBusyRetryMs + 3000);
  EXPECT_NE(ReadFile(Path("sender.err")).find("the agent is busy"), std::string::npos)
      << ReadFile(Path("sender.err"));

  // The slots stay taken a little longer, then free up: the agent serves again, and the event
  // of the sender that gave up is never applied.
  while (NowMs() - started < took + 1500) {
    keepBusy();
    ::usleep(20000);
  }
  holders.clear();
  const std::string play = Path("play.scn");
  std::ofstream(play) << "event 7 Play\n";
  const Result sent = Lumora({"send", "--socket", socket_, "--file", play});
  EXPECT_EQ(sent.exitCode, 0) << sent.err;
  EXPECT_EQ(CloseAgent(), 0);
  EXPECT_EQ(WithoutClock(Trace()), WithoutClock(Replay(play)));
}

TEST_F(LiveAgent, StoppedAgentWithAFullQueueNeitherHoldsASenderNorASecondAgent) {
  StartAgent();
  ASSERT_EQ(::kill(agent_, SIGSTOP), 0);
  // Its listen queue filled up.
  std::vector<int> queued;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
  for (int i = 0; i < 4096; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      break;
    }
    queued.push_back(fd);
  }
  ASSERT_LT(queued.size(), 4096u);

  int64_t started = NowMs();
  const Result second = Lumora({"run", "--panel", "none", "--socket", socket_}, 5000);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
  EXPECT_LT(NowMs() - started, 3000);
  started = NowMs();
  const Result send = Lumora({"send", "--socket", socket_, "7", "Play"}, 20000);
  EXPECT_EQ(send.exitCode, 1);
  EXPECT_NE(send.err.find("the agent is busy"), std::string::npos) << send.err;
  EXPECT_LT(NowMs() - started, kBusyRetryMs + 3000);

  for (const int fd : queued)
    ::close(fd);
  ASSERT_EQ(::kill(agent_, SIGCONT), 0);
  EXPECT_EQ(CloseAgent(), 0);
  const std::string nothing = Path("nothing.scn");
  std::ofstream(nothing) << "# nothing\n";
  EXPECT_EQ(WithoutClock(Trace()), WithoutClock(Replay(nothing)));
}

// Reads the replies of a pipelining sender's connection, each one a "done", until most have
// come, the connection ends or none comes for pollMs; replies counts them.
void ReadDoneReplies(int fd, size_t most, int pollMs, size_t& replies) {
  replies = 0;
  uint8_t buffer[kReplySize * 64];
  size_t have = 0;
  while (replies < most) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, pollMs) <= 0) break;
    const ssize_t n = ::read(fd, buffer + have, sizeof buffer - have);
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;
    have += static_cast<size_t>(n);
    size_t done = 0;
    for (; have - done >= kReplySize; done += kReplySize) {
      Reply reply;
      ASSERT_TRUE(DecodeReply(buffer + done, kReplySize, reply));
      EXPECT_EQ(reply.status, FrameStatus::Ok);
      ++replies;
    }
    std::memmove(buffer, buffer + done, have - done);
    have -= done;
  }
}

TEST_F(LiveAgent, RepliesOfAPipeliningSenderAreNeverDropped) {
  StartAgent();
  AgentConnection connection;
  std::string error;
  bool notRunning = false;
  ASSERT_TRUE(connection.Connect(socket_, error, notRunning)) << error;
  const int fd = connection.fd();
  uint8_t frame[kFrameMax];
  const size_t size = EncodeFrame(HarmlessFrame(), frame, sizeof frame);
  ASSERT_EQ(size, kFrameHeaderSize);
  constexpr size_t kFrames = 3000;

  // The frames are queued by one thread while nobody reads the replies for a while.
  std::thread writer([&] {
    for (size_t i = 0; i < kFrames; ++i) {
      size_t done = 0;
      while (done < size) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 10000) <= 0) return;
        const ssize_t n = ::send(fd, frame + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
      }
    }
  });
  ::usleep(500000);
  size_t replies = 0;
  ReadDoneReplies(fd, kFrames, 5000, replies);
  writer.join();
  EXPECT_EQ(replies, kFrames);
  connection.Close();
  EXPECT_EQ(CloseAgent(), 0);
}

// A pipelining sender that never reads its replies is dropped; every message the agent applied
// (each one a line of the recording) has its reply waiting in the sender's socket, so the
// sender can tell what was applied from what was not.
TEST_F(LiveAgent, ASenderThatStopsReadingIsDroppedWithEveryAppliedMessageAnswered) {
  const std::string recording = Path("dropped.rec");
  StartAgent({}, {"--record", recording});
  AgentConnection connection;
  std::string error;
  bool notRunning = false;
  ASSERT_TRUE(connection.Connect(socket_, error, notRunning)) << error;
  const int fd = connection.fd();
  uint8_t frame[kFrameMax];
  const size_t size = EncodeFrame(HarmlessFrame(), frame, sizeof frame);
  ASSERT_EQ(size, kFrameHeaderSize);
  // Frames go out until the agent hangs up (or takes nothing more for 6 s).
  for (bool open = true; open;) {
    for (size_t done = 0; open && done < size;) {
      pollfd p{fd, POLLOUT, 0};
      const ssize_t n = ::poll(&p, 1, 6000) <= 0
                            ? -1
                            : ::send(fd, frame + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) open = false;
      if (n > 0) done += static_cast<size_t>(n);
    }
  }
  size_t replies = 0;
  ReadDoneReplies(fd, SIZE_MAX, 1000, replies);
  connection.Close();
  EXPECT_EQ(CloseAgent(), 0);
  std::istringstream lines(ReadFile(recording));
  size_t applied = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("endsession ")) ++applied;
  EXPECT_GT(applied, 0u);
  EXPECT_EQ(replies, applied) << "messages applied without a reply";
}

// An agent that takes the whole frame and hangs up without a reply may have applied it: the
// sender says so with status 3, not 1 ("not applied").
TEST_F(LiveAgent, SenderWhoseFrameWentOutWholeButGotNoReplySaysItMayHaveBeenApplied) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  std::thread hangUp([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    uint8_t frame[kFrameMax];
    size_t have = 0;
    while (have < kFrameHeaderSize) {
      const ssize_t n = ::read(fd, frame + have, kFrameHeaderSize - have);
      if (n <= 0) break;
      have += static_cast<size_t>(n);
    }
    ::close(fd);
  });
  const Result send = Lumora({"send", "--socket", socket_, "7", "NavHome"}, 10000);
  hangUp.join();
  ::close(listener);
  EXPECT_EQ(send.exitCode, 3) << send.err;
  EXPECT_NE(send.err.find("may have applied the message"), std::string::npos) << send.err;
}

class StalledOutput : public LiveAgent, public ::testing::WithParamInterface<const char*> {};

TEST_P(StalledOutput, PanelThatNobodyReadsStopsNeitherSendersNorTheClock) {
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  // A terminal that moves the cursor, whatever the environment of the test says.
  StartAgent({"TERM=xterm-256color"}, {"--panel", GetParam()}, out[1]);
  ::close(out[1]);
  const std::string levels = Path("levels.scn");
  {
    std::ofstream file(levels);
    for (int i = 0; i < 1500; ++i)
      file << "event 9 Level " << (i * 7) % 60 << "\n";
  }
  // Nothing reads the panel's pipe, which fills up long before the last level.
  const Result sent = Lumora({"send", "--socket", socket_, "--file", levels}, 30000);
  ASSERT_EQ(sent.exitCode, 0) << sent.err;

  // The panel's output is read again: whole frames, or whole lines and a note of what was
  // skipped, from the next packet or clock tick on.
  std::string shown;
  auto drain = [&](int ms) {
    const int64_t until = NowMs() + ms;
    char bytes[65536];
    while (NowMs() < until) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::read(out[0], bytes, sizeof bytes);
      if (n <= 0) return;
      shown.append(bytes, static_cast<size_t>(n));
    }
  };
  drain(2500);
  EXPECT_EQ(CloseAgent(), 0);
  drain(2000);
  ::close(out[0]);

  size_t icons = 0;
  size_t times = 0;
  for (const std::string& line : Trace()) {
    const std::string decoded = DecodeTraceLine(line);
    icons += decoded.rfind("icons ", 0) == 0 ? 1u : 0u;
    times += decoded.rfind("text3 0 ", 0) == 0 && IsClockLine(decoded) ? 1u : 0u;
  }
  EXPECT_EQ(icons, 1500u);  // every level reached the panel
  EXPECT_GE(times, 2u);     // and the clock ticked

  if (std::string(GetParam()) == "plain") {
    static const std::regex kNote(
        "^panel: [1-9][0-9]* state lines? skipped: the output did "
        "not keep up$");
    size_t notes = 0;
    for (const std::string& line : Lines(shown)) {
      notes += std::regex_match(line, kNote) ? 1u : 0u;
      EXPECT_EQ(line.rfind("panel ", 0) == 0 || std::regex_match(line, kNote), true) << line;
    }
    EXPECT_GE(notes, 1u);
    EXPECT_EQ(shown.back(), '\n');
  } else {
    // Each frame saves the cursor, draws, and puts the cursor back: none is cut.
    size_t saves = 0;
    size_t restores = 0;
    for (size_t at = 0; (at = shown.find("\x1b"
                                         "7",
                                         at)) != std::string::npos;
         ++at)
      ++saves;
    for (size_t at = 0; (at = shown.find("\x1b"
                                         "8",
                                         at)) != std::string::npos;
         ++at)
      ++restores;
    EXPECT_GT(saves, 2u);
    EXPECT_EQ(saves, restores);
    EXPECT_NE(shown.rfind("\x1b[r"), std::string::npos);  // the terminal given back at the end
  }
}

INSTANTIATE_TEST_SUITE_P(Faces, StalledOutput, ::testing::Values("plain", "term"));

struct StopSignalCase {
  int number;
  const char* name;
};

class StopSignal : public LiveAgent, public ::testing::WithParamInterface<StopSignalCase> {};

TEST_P(StopSignal, EndsTheAgentAfterTheMessageInHandAndItsReply) {
  StartAgent({}, {"--accelerate", "2"});
  // The eject notice holds the agent in a wait; the signal comes in the middle of it.
  const pid_t sender = Spawn({kBin + "/lumora", "send", "--socket", socket_, "7", "Eject"},
                             Path("sender.out"), Path("sender.err"));
  ASSERT_GT(sender, 0);
  const int64_t deadline = NowMs() + 5000;
  while (NowMs() < deadline && ReadFile(trace_).find("\nsleep 1000\n") == std::string::npos)
    ::usleep(2000);
  ASSERT_EQ(::kill(agent_, GetParam().number), 0);

  int status = 0;
  ASSERT_TRUE(WaitExit(sender, 5000, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(Path("sender.err"));
  EXPECT_EQ(WaitAgent(), 0);
  struct stat info {};
  EXPECT_NE(::stat(socket_.c_str(), &info), 0);  // the socket removed
  const std::vector<std::string> trace = Trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_NE(std::find(trace.begin(), trace.end(), "sleep 1000"), trace.end());
  EXPECT_EQ(trace.back(), "close");  // the trace whole
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopSignal,
    ::testing::Values(StopSignalCase{SIGINT, "INT"}, StopSignalCase{SIGTERM, "TERM"},
                      StopSignalCase{SIGHUP, "HUP"}, StopSignalCase{SIGQUIT, "QUIT"},
                      StopSignalCase{SIGUSR1, "USR1"}, StopSignalCase{SIGUSR2, "USR2"}),
    [](const ::testing::TestParamInfo<StopSignalCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(LiveAgent, AnAgentThatCannotStartLeavesTheTraceAlone) {
  StartAgent();
  const Result play = Lumora({"send", "--socket", socket_, "7", "Play"});
  ASSERT_EQ(play.exitCode, 0) << play.err;
  const std::string before = ReadFile(trace_);
  ASSERT_FALSE(before.empty());
  const std::string notSocket = Path("not-a-socket");
  std::ofstream(notSocket) << "x";
  struct Case {
    std::string socket;
    const char* needle;
  };
  for (const Case& c : {Case{notSocket, "is not a socket"}, Case{socket_, "already running"}}) {
    const Result run = Lumora(
        {"run", "--panel", "none", "--quiet", "--socket", c.socket, "--trace", trace_}, 5000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(c.needle), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(trace_), before) << c.needle;
  }
  EXPECT_EQ(CloseAgent(), 0);
}

TEST_F(LiveAgent, TraceThatCannotBeWrittenEndsTheAgentWithAnError) {
  struct Case {
    std::string trace;
    const char* needle;
    rlim_t sizeLimit;  // the agent's file size limit in bytes; 0 for none
  };
  // A device is refused at the start; a regular file that stops taking lines (here at a file
  // size limit of 512 bytes: the opening line and three panel packets) ends the agent with the
  // write error's reason.
  const Case cases[] = {{"/dev/full", "not a regular file", 0},
                        {dir_, "folder", 0},
                        {Path("limited.trace"), "File too large; stopping", 512}};
  for (const Case& c : cases) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    if (c.sizeLimit != 0) {
      const rlimit limited{c.sizeLimit, saved.rlim_max};
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    const Result run = Lumora(
        {"run", "--panel", "none", "--quiet", "--socket", socket_, "--trace", c.trace}, 5000);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(run.exitCode, 1) << c.trace;
    EXPECT_NE(run.err.find("cannot write the trace " + c.trace), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.needle), std::string::npos) << run.err;
    struct stat info {};
    EXPECT_NE(::stat(socket_.c_str(), &info), 0) << "the socket was left behind";
  }
}

}  // namespace
}  // namespace lumora::posix
