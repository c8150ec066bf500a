// The live agent end to end: `lumora run` with its socket, `lumora send`, `lumora demo`, and
// the trace of the live run against lumora-replay of the same scenario. Every process a test
// starts is ended by the test, and every wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/posix/frame.h"
#include "app/posix/send_client.h"
#include "panel/trace_line.h"

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

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err,
            const std::vector<std::string>& env = {}) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argStorage = args;
  std::vector<char*> argv;
  for (std::string& a : argStorage)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStorage;
  for (char** e = environ; *e != nullptr; ++e)
    envStorage.emplace_back(*e);
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

  void StartAgent(const std::vector<std::string>& env = {}) {
    agent_ = Spawn({kBin + "/lumora", "run", "--panel", "none", "--quiet", "--socket", socket_,
                    "--trace", trace_},
                   Path("agent.out"), Path("agent.err"), env);
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
  Result Lumora(const std::vector<std::string>& args, int timeoutMs = 20000) {
    static int run = 0;
    const std::string out = Path("cmd" + std::to_string(++run) + ".out");
    const std::string err = Path("cmd" + std::to_string(run) + ".err");
    std::vector<std::string> argv = {kBin + "/lumora"};
    argv.insert(argv.end(), args.begin(), args.end());
    Result result;
    const pid_t pid = Spawn(argv, out, err);
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
  EXPECT_NE(demo.out.find("| panel clock "), std::string::npos);
  EXPECT_NE(demo.out.find("L2 \"CH-007     \""), std::string::npos);
  EXPECT_NE(demo.out.find("demo: the evening is over"), std::string::npos);
}

}  // namespace
}  // namespace lumora::posix
