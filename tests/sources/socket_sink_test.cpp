// The bridges' one way to the agent: what the socket sink does with each answer a Linux agent
// can give. A scripted agent on a socket of the test's own answers each frame it reads as its
// script says; the sink must end with the event taken exactly when the agent took it.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "base/platform.h"
#include "senders/frame.h"
#include "sources/socket_sink.h"

namespace lumora::sources {
namespace {

using namespace std::chrono_literals;

// Reads exactly size bytes; false at the end of the connection.
bool ReadAll(int fd, uint8_t* bytes, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::read(fd, bytes + done, size - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void Answer(int fd, posix::FrameStatus status) {
  uint8_t reply[posix::kReplySize];
  posix::EncodeReply(posix::Reply{status, 1}, reply);
  ASSERT_EQ(::write(fd, reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
}

// An agent that serves one connection at a time and answers the frames it reads, in order, by
// its script: 'O' done, 'C' done and then the connection closed (as the agent drops one that
// stays silent), 'B' busy and closed (nothing read), 'R' refused, 'X' the connection closed
// with the frame read and no answer. It keeps the session id of each event it took.
class ScriptedAgent {
 public:
  explicit ScriptedAgent(std::string script) : script_(std::move(script)) {
    char folder[] = "/tmp/lumora-sink.XXXXXX";
    folder_ = ::mkdtemp(folder);
    path_ = folder_ + "/agent.sock";
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path_.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedAgent() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
  }
  const std::string& path() const { return path_; }
  // Read only once the sink has returned: the agent answers before the sink goes on.
  const std::vector<int32_t>& taken() const { return taken_; }
  int connections() const { return connections_; }
  // Waits until the agent has closed n connections.
  void WaitClosed(int n) const {
    for (int i = 0; i < 500 && closed_ < n; ++i)
      std::this_thread::sleep_for(10ms);
  }

 private:
  void Serve() {
    size_t next = 0;
    while (next < script_.size()) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      ++connections_;
      uint8_t header[posix::kFrameHeaderSize];
      uint8_t payload[posix::kFramePayloadMax];
      posix::Frame frame;
      while (next < script_.size()) {
        const char action = script_[next];
        if (action == 'B') {  // told at once, before anything is read
          ++next;
          Answer(fd, posix::FrameStatus::Busy);
          break;
        }
        if (!ReadAll(fd, header, sizeof header) ||
            posix::DecodeFrameHeader(header, sizeof header, frame) != posix::FrameStatus::Ok ||
            !ReadAll(fd, payload, frame.length)) {
          break;
        }
        ++next;
        if (action == 'X') break;
        if (action == 'R') {
          Answer(fd, posix::FrameStatus::BadMessage);
          continue;
        }
        MediaStateEvent event;
        const CopyDataStruct data{static_cast<uintptr_t>(frame.dwData), frame.length, payload};
        taken_.push_back(DecodeMediaStateEvent(data, event) ? event.sessionId : -1);
        Answer(fd, posix::FrameStatus::Ok);
        if (action == 'C') break;
      }
      ::close(fd);
      ++closed_;
    }
  }

  std::string script_;
  std::string folder_;
  std::string path_;
  int listener_ = -1;
  std::thread thread_;
  std::vector<int32_t> taken_;
  std::atomic<int> connections_ = 0;
  std::atomic<int> closed_ = 0;
};

SourceEvent EventOf(int32_t sessionId) {
  SourceEvent event;
  event.sessionId = sessionId;
  event.code = EventCode::Play;
  return event;
}

TEST(SocketSink, TakesTheEventExactlyWhenTheAgentTookIt) {
  const struct {
    const char* name;
    const char* script;
    int events;
    bool delivered;  // the last event
    bool refused;
    std::vector<int32_t> taken;
    int connections;
  } cases[] = {
      // The agent may have applied a frame it read before it hung up: never sent twice.
      {"the agent hung up after reading the frame", "XO", 1, false, false, {}, 1},
      {"done", "O", 1, true, false, {1}, 1},
      {"busy twice, then a new connection takes it", "BBO", 1, true, false, {1}, 3},
      // The senders' rule: 10, 20, 40, 80, 160 ms apart, then every 250 ms, for 5 s in all:
      // 23 pauses at most (0 below: the count depends on the machine's pace, checked apart).
      {"busy for too long", "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB", 1, false, true, {}, 0},
      {"refused", "R", 1, false, true, {}, 1},
      {"the agent closed the connection between two events: sent again on a new one",
       "CO",
       2,
       true,
       false,
       {1, 2},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedAgent agent(c.script);
    SocketSink sink(agent.path());
    bool delivered = false;
    for (int id = 1; id <= c.events; ++id) {
      // The next event only once the agent has closed a connection it meant to close.
      if (id > 1) agent.WaitClosed(1);
      delivered = sink.Deliver(EventOf(id));
    }
    EXPECT_EQ(delivered, c.delivered) << sink.lastError();
    EXPECT_EQ(sink.lastRefused(), c.refused);
    EXPECT_EQ(agent.taken(), c.taken);
    if (c.connections > 0) {
      EXPECT_EQ(agent.connections(), c.connections);
    } else {
      EXPECT_GE(agent.connections(), 15);
      EXPECT_LE(agent.connections(), 24);
    }
  }
}

TEST(SocketSink, NoAgentIsNotARefusal) {
  SocketSink sink("/tmp/lumora-sink-nothing-listens-here.sock");
  EXPECT_FALSE(sink.Deliver(EventOf(1)));
  EXPECT_FALSE(sink.lastRefused());
  EXPECT_FALSE(sink.lastError().empty());
}

}  // namespace
}  // namespace lumora::sources
