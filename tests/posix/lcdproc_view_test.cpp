// The LCDd client against servers that misbehave (a test's own socket stands in for the server:
// these answers are what a real LCDd never sends), and its character mapping.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/posix/monotonic_clock.h"
#include "paneldrv/lcdproc/lcdproc_view.h"

namespace lumora::lcdproc {
namespace {

using namespace std::chrono_literals;

TEST(LcdprocView, CharactersAsLcddTakesThem) {
  struct Case {
    char in;
    char out;
  };
  const Case cases[] = {
      {'A', 'A'},         {'"', '"'},         {'\xE9', '\xE9'},    // Latin-1 passes
      {'\x93', '"'},      {'\x92', '\''},     {'\x96', '-'},       // typographic look-alikes
      {'\x80', 'E'},      {'\x81', kStandIn}, {'\x8D', kStandIn},  // euro, unassigned
      {'\x01', kStandIn}, {'\x7F', kStandIn}, {'\n', kStandIn},    // control codes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToLatin1(c.in), c.out) << static_cast<int>(static_cast<unsigned char>(c.in));
  }
  std::string quoted;
  AppendQuoted(quoted, "a\"b\\c\n");
  EXPECT_EQ(quoted, "\"a\\\"b\\\\c?\"");
}

// A server that answers hello with what the case says, then keeps the connection open (or
// closes it).
struct Hostile {
  const char* name;
  std::string answer;
  bool endless;     // then "success" lines for as long as the client reads
  bool closeAfter;  // close the connection after the answer
  bool ready;       // the client takes the display
  int width;
  int height;
};

TEST(LcdprocView, MisbehavingServersNeitherHoldNorGrowTheClient) {
  const Hostile cases[] = {
      {"a 1 MiB line before the connect answer",
       std::string(1 << 20, 'x') + "\nconnect LCDproc 0.5.9 protocol 0.3 lcd wid 20 hgt 2\n", false,
       false, true, 20, 2},
      {"endless lines after the connect answer",
       "connect LCDproc 0.5.9 protocol 0.3 lcd wid 16 hgt 2\n", true, false, true, 16, 2},
      {"a display of 8 columns and 1 row", "connect LCDproc 0.5.9 protocol 0.3 lcd wid 8 hgt 1\n",
       false, false, true, 8, 1},
      {"huh? to hello", "huh? what\n", false, false, false, 0, 0},
      {"closed at once", "", false, true, false, 0, 0},
  };
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t n = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n);
    std::atomic<bool> done{false};
    std::thread server([&] {
      const int fd = ::accept(listener, nullptr, nullptr);
      if (fd < 0) return;
      char hello[64];
      (void)::recv(fd, hello, sizeof hello, 0);
      size_t sent = 0;
      while (sent < c.answer.size()) {
        const ssize_t w = ::send(fd, c.answer.data() + sent, c.answer.size() - sent, MSG_NOSIGNAL);
        if (w <= 0) break;
        sent += static_cast<size_t>(w);
      }
      if (c.closeAfter) {
        ::close(fd);
        return;
      }
      const std::string line = "success\n";
      std::string many;
      for (int i = 0; i < 512; ++i)
        many += line;
      while (c.endless && !done) {
        const ssize_t w = ::send(fd, many.data(), many.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && errno == EAGAIN) std::this_thread::sleep_for(1ms);
        if (w < 0 && errno != EAGAIN) break;
      }
      while (!done)
        std::this_thread::sleep_for(10ms);
      ::close(fd);
    });

    emulator::PanelState state;
    LcdprocView view("127.0.0.1", ntohs(a.sin_port));
    view.Opened(state, MonotonicMs());
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    int turns = 0;
    while (std::chrono::steady_clock::now() < end) {
      // The agent's poll loop: it always comes back, however much the server sends.
      pollfd p{view.PendingFd(), view.PendingEvents(), 0};
      if (p.fd >= 0 && ::poll(&p, 1, 20) > 0) view.Flush();
      if (p.fd < 0) std::this_thread::sleep_for(20ms);
      ++turns;
    }
    done = true;
    EXPECT_GT(turns, 20) << "the client held the loop";
    EXPECT_EQ(view.ready(), c.ready);
    if (c.ready) {
      EXPECT_EQ(view.width(), c.width);
      EXPECT_EQ(view.height(), c.height);
    } else {
      EXPECT_EQ(view.PendingFd(), -1) << "the connection is given up until the next retry";
    }
    server.join();
    ::close(listener);
  }
}

}  // namespace
}  // namespace lumora::lcdproc
