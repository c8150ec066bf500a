// The follower's latency: from a notification Kodi sends to the frame it causes at the agent's
// socket, through the real `lumora follow` with three sources active (Kodi and, on the session
// bus the caller provides, the desktop players it runs: bench/follow_latency.sh starts two mpv).
//
// The benchmark is Kodi's side and the agent's side at once: a JSON-RPC server on a free port of
// 127.0.0.1 that answers the follower's requests as Kodi does with a song playing, and a server
// on the agent's kind of socket that takes every frame, notes when it came and replies at once
// (the agent's own part of a frame, its intake round trip, is section 3 of BENCHMARKS.md). Once
// the song is on the panel, it sends Player.OnPause and Player.OnResume in turn and times each
// from the write of the notification to the arrival of the Pause or Play frame of Kodi's
// session (after the events of a player taking the panel back, when a desktop player had it).
//
//   lumora_follow_latency LUMORA [--notifications N]
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "base/posix/monotonic_clock.h"
#include "bench/agent_process.h"
#include "senders/frame.h"
#include "sources/kodi/json_stream.h"

namespace lumora::bench {
namespace {

// Frames as they came to the agent's socket: the event's session and code, and when.
struct Arrival {
  int32_t session;
  uint16_t code;
  int64_t ns;
};

class AgentSide {
 public:
  explicit AgentSide(const std::string& path) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 8) != 0) {
      std::perror("agent side");
      std::exit(1);
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~AgentSide() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  // Waits (up to 10 s) for a frame of the session and code after the index given; its time, or
  // -1.
  int64_t WaitFor(size_t after, int32_t session, EventCode code, size_t& at) {
    const int64_t until = MonotonicNs() + 10'000'000'000;
    while (MonotonicNs() < until) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = after; i < arrivals_.size(); ++i) {
          if (arrivals_[i].code == ToCode(code) &&
              (session < 0 || arrivals_[i].session == session)) {
            at = i;
            return arrivals_[i].ns;
          }
        }
      }
      ::usleep(50);
    }
    return -1;
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_.size();
  }
  int32_t SessionOf(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_[index].session;
  }

 private:
  void Serve() {
    std::vector<pollfd> fds{{listen_, POLLIN, 0}};
    uint8_t reply[posix::kReplySize];
    posix::EncodeReply(posix::Reply{posix::FrameStatus::Ok, 0}, reply);
    while (!stop_) {
      if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
      if ((fds[0].revents & POLLIN) != 0) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) fds.push_back({fd, POLLIN, 0});
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
        uint8_t frame[posix::kFrameMax];
        posix::Frame decoded;
        if (!ReadExactly(fds[i].fd, frame, posix::kFrameHeaderSize) ||
            posix::DecodeFrameHeader(frame, posix::kFrameHeaderSize, decoded) !=
                posix::FrameStatus::Ok ||
            !ReadExactly(fds[i].fd, frame + posix::kFrameHeaderSize, decoded.length)) {
          ::close(fds[i].fd);
          fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i--));
          continue;
        }
        const int64_t now = MonotonicNs();
        posix::Frame whole;
        MediaStateEvent event;
        CopyDataStruct data{};
        if (posix::DecodeFrame(frame, posix::kFrameHeaderSize + decoded.length, whole) ==
            posix::FrameStatus::Ok) {
          data.dwData = whole.dwData;
          data.cbData = whole.length;
          data.lpData = whole.payload;
          if (DecodeMediaStateEvent(data, event)) {
            std::lock_guard<std::mutex> lock(mutex_);
            arrivals_.push_back({event.sessionId, event.eventCode, now});
          }
        }
        if (::write(fds[i].fd, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) {
          ::close(fds[i].fd);
          fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i--));
        }
      }
    }
    for (size_t i = 1; i < fds.size(); ++i)
      ::close(fds[i].fd);
  }

  int listen_ = -1;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Arrival> arrivals_;
};

// Kodi with a song playing, as far as the follower asks: its answers, and the notifications the
// benchmark sends.
class KodiSide {
 public:
  KodiSide() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 1) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("Kodi side");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~KodiSide() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  int port() const { return port_; }
  // Sends a notification; its time.
  int64_t Notify(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t now = MonotonicNs();
    if (::send(client_, message.data(), message.size(), MSG_NOSIGNAL) < 0) return -1;
    return now;
  }
  void SetSpeed(int speed) { speed_ = speed; }

 private:
  std::string Answer(const nlohmann::json& request) {
    const std::string method = request.value("method", "");
    nlohmann::json result;
    if (method == "GUI.GetProperties") {
      result = {{"currentwindow", {{"id", 10000}, {"label", "Home"}}}};
    } else if (method == "Application.GetProperties") {
      result = {{"volume", 50}, {"muted", false}};
    } else if (method == "Player.GetActivePlayers") {
      result = nlohmann::json::array({{{"playerid", 0}, {"type", "audio"}}});
    } else if (method == "Player.GetItem") {
      result = {{"item",
                 {{"type", "song"},
                  {"title", "Bench Song"},
                  {"artist", {"The Timers"}},
                  {"track", 3},
                  {"file", "/music/bench.mp3"},
                  {"label", "Bench Song"}}}};
    } else {
      const int64_t ms = (MonotonicNs() / 1000000) % 3600000;
      result = {{"speed", speed_.load()},
                {"time",
                 {{"hours", 0},
                  {"minutes", ms / 60000},
                  {"seconds", ms / 1000 % 60},
                  {"milliseconds", ms % 1000}}}};
    }
    return nlohmann::json{{"id", request.value("id", 0)}, {"jsonrpc", "2.0"}, {"result", result}}
        .dump();
  }

  void Serve() {
    pollfd p{listen_, POLLIN, 0};
    while (!stop_ && ::poll(&p, 1, 20) <= 0) {
    }
    if (stop_) return;
    client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    sources::JsonStream stream;
    char buffer[65536];
    pollfd c{client_, POLLIN, 0};
    while (!stop_) {
      if (::poll(&c, 1, 20) <= 0) continue;
      const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      stream.Append(std::string_view(buffer, static_cast<size_t>(n)));
      std::string message;
      while (stream.Next(message) == sources::JsonStream::Result::Value) {
        const nlohmann::json request = nlohmann::json::parse(message, nullptr, false);
        if (request.is_discarded()) continue;
        const std::string answer = Answer(request);
        std::lock_guard<std::mutex> lock(mutex_);
        if (::send(client_, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return;
      }
    }
  }

  int listen_ = -1;
  int port_ = 0;
  int client_ = -1;
  std::atomic<int> speed_ = 1;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
  std::mutex mutex_;
};

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  using namespace lumora;
  using namespace lumora::bench;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: lumora_follow_latency LUMORA [--notifications N]\n");
    return 2;
  }
  int notifications = 1000;
  if (argc == 4 && std::strcmp(argv[2], "--notifications") == 0) notifications = std::atoi(argv[3]);
  if (notifications < 10) notifications = 10;
  char folder[] = "/tmp/lumora-follow-bench.XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string socket = std::string(folder) + "/agent.sock";
  int status = 0;
  {
    AgentSide agent(socket);
    KodiSide kodi;
    const pid_t follower = StartProgram(
        {argv[1], "follow", "--port", std::to_string(kodi.port()), "--socket", socket});
    size_t at = 0;
    // The song told: its title, in Kodi's player's session.
    if (agent.WaitFor(0, -1, EventCode::MusicTitle, at) < 0) {
      std::fprintf(stderr, "lumora_follow_latency: the song never reached the agent's socket\n");
      status = 1;
    }
    const int32_t session = status == 0 ? agent.SessionOf(at) : -1;
    std::vector<int64_t> ns;
    for (int i = 0; status == 0 && i < notifications; ++i) {
      const bool pause = i % 2 == 0;
      kodi.SetSpeed(pause ? 0 : 1);
      const size_t before = agent.count();
      const std::string message =
          std::string(R"({"jsonrpc":"2.0","method":"Player.On)") + (pause ? "Pause" : "Resume") +
          R"(","params":{"data":{"item":{"type":"unknown"},"player":{"playerid":0,"speed":)" +
          (pause ? "0" : "1") + R"(}},"sender":"xbmc"}})";
      const int64_t sent = kodi.Notify(message);
      const int64_t came =
          agent.WaitFor(before, session, pause ? EventCode::Pause : EventCode::Play, at);
      if (sent < 0 || came < 0) {
        std::fprintf(stderr, "lumora_follow_latency: notification %d brought no frame\n", i);
        status = 1;
        break;
      }
      ns.push_back(came - sent);
      ::usleep(2000);  // the follower's other work goes on between notifications
    }
    ::kill(follower, SIGTERM);
    ::waitpid(follower, nullptr, 0);
    if (status == 0) {
      std::printf(
          "Kodi's notification -> its frame at the agent's socket, through lumora follow, %d "
          "notifications (ms)\n",
          notifications);
      std::printf("  p50 %.3f  p99 %.3f  max %.3f\n", Percentile(ns, 0.5) / 1e6,
                  Percentile(ns, 0.99) / 1e6, Percentile(ns, 1.0) / 1e6);
    }
  }
  ::unlink(socket.c_str());
  ::rmdir(folder);
  return status;
}
