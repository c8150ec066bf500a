#include "paneldrv/lcdproc/lcdproc_view.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/posix/note.h"
#include "panel/panel_tables.h"

namespace lumora::lcdproc {
namespace {

constexpr const char* kScreen = "lumora";
constexpr int kHandshakeMs = 5000;
// Reads per turn of the poll loop, so a server that never stops talking cannot hold the agent.
constexpr int kReadsPerTurn = 16;

// Windows-1252 0x80..0x9F, which Latin-1 has no characters for: their plain look-alikes.
constexpr std::array<char, 32> kCp1252Plain{
    'E', kStandIn, ',',      'f', '"',      '.',      '+',  '+',      '^', '%', 'S',
    '<', 'O',      kStandIn, 'Z', kStandIn, kStandIn, '\'', '\'',     '"', '"', '*',
    '-', '-',      '~',      'T', 's',      '>',      'o',  kStandIn, 'z', 'Y'};

}  // namespace

const char* PriorityName(Priority priority) {
  switch (priority) {
    case Priority::Foreground:
      return "foreground";
    case Priority::Info:
      return "info";
    case Priority::Background:
      return "background";
  }
  return "info";
}

Priority ChoosePriority(const Situation& situation) {
  if (situation.clockHandedOver) return Priority::Background;
  if (situation.mediaPlays || situation.recentMenu) return Priority::Foreground;
  return Priority::Info;
}

char ToLatin1(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F) return kStandIn;
  if (byte >= 0x80 && byte < 0xA0) return kCp1252Plain[byte - 0x80];
  return c;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const char shown = ToLatin1(c);
    if (shown == '"' || shown == '\\') out += '\\';
    out += shown;
  }
  out += '"';
}

bool ParseConnect(std::string_view line, int& width, int& height) {
  if (line.substr(0, 8) != "connect ") return false;
  width = 0;
  height = 0;
  auto number = [&](std::string_view key, int& value) {
    const size_t at = line.find(key);
    if (at == std::string_view::npos) return;
    const char* first = line.data() + at + key.size();
    std::from_chars(first, line.data() + line.size(), value);
  };
  number(" wid ", width);
  number(" hgt ", height);
  return width > 0 && height > 0 && width <= 1000 && height <= 100;
}

LcdprocView::LcdprocView(std::string host, uint16_t port, int64_t (*clock)())
    : host_(std::move(host)), port_(port), clock_(clock) {
  out_.reserve(kRequestCapacity);
  shown_.reserve(1024);
  shownNext_.reserve(1024);
}

LcdprocView::~LcdprocView() {
  if (fd_ >= 0) ::close(fd_);
}

void LcdprocView::Opened(const emulator::PanelState& state, int64_t nowMs) {
  panel_ = &state;
  Connect(nowMs);
}

void LcdprocView::Changed(const emulator::PanelState& state, emulator::PacketKind /*kind*/,
                          int64_t nowMs) {
  panel_ = &state;
  Show(state, nowMs);
}

void LcdprocView::SetPriority(Priority priority, int64_t nowMs) {
  if (priority == priority_) return;
  priority_ = priority;
  if (panel_ != nullptr) Show(*panel_, nowMs);
}

void LcdprocView::CheckStable(int64_t nowMs) {
  if (state_ != Link::Ready || nowMs - readySinceMs_ < kStableMs) return;
  retryMs_ = kFirstRetryMs;
  complained_ = false;
  if (!announced_) {
    Note(NotePriority::Info, "lumora: showing the panel on LCDd at %s:%u (%dx%d)", host_.c_str(),
         static_cast<unsigned>(port_), width_, height_);
    announced_ = true;
  }
}

void LcdprocView::Animate(const emulator::PanelState& state, int64_t nowMs) {
  panel_ = &state;
  CheckStable(nowMs);
  if (readPaused_ && nowMs >= windowStartMs_ + 1000) readPaused_ = false;
  if (state_ == Link::Idle && nowMs >= retryAtMs_) Connect(nowMs);
  if ((state_ == Link::Connecting || state_ == Link::Hello) && nowMs >= retryAtMs_) {
    Lost("no answer to hello", nowMs);
    return;
  }
  // The panel's own clock moves on its own: its shown lines change every second.
  Show(state, nowMs);
}

short LcdprocView::PendingEvents() const {
  if (state_ == Link::Connecting) return POLLOUT;
  return static_cast<short>((readPaused_ ? 0 : POLLIN) | (sent_ < out_.size() ? POLLOUT : 0));
}

void LcdprocView::Connect(int64_t nowMs) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  const std::string host = host_ == "localhost" ? "127.0.0.1" : host_;
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    if (!complained_)
      Note(NotePriority::Error, "lumora: LCDd host is not an IPv4 address: %s", host_.c_str());
    complained_ = true;
    retryAtMs_ = nowMs + kLastRetryMs;
    return;
  }
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    Lost(std::strerror(errno), nowMs);
    return;
  }
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  out_.clear();
  sent_ = 0;
  answerLength_ = 0;
  answerTooLong_ = false;
  shown_.clear();
  refusalNoted_ = false;
  longLineNoted_ = false;
  floodNoted_ = false;
  readPaused_ = false;
  windowStartMs_ = nowMs;
  windowBytes_ = 0;
  out_ += "hello\n";
  retryAtMs_ = nowMs + kHandshakeMs;
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    state_ = Link::Hello;
    Send(nowMs);
  } else if (errno == EINPROGRESS) {
    state_ = Link::Connecting;
  } else {
    Lost(std::strerror(errno), nowMs);
  }
}

void LcdprocView::Lost(const char* why, int64_t nowMs) {
  if (fd_ >= 0) ::close(fd_);
  if (state_ == Link::Ready && nowMs - readySinceMs_ >= kStableMs) {
    retryMs_ = kFirstRetryMs;
    complained_ = false;
  }
  fd_ = -1;
  state_ = Link::Idle;
  out_.clear();
  sent_ = 0;
  // One line, then none until a connection has stayed up: a server that takes the handshake and
  // closes at once is retried quietly, further and further apart.
  if (!complained_) {
    Note(NotePriority::Warning, "lumora: LCDd at %s:%u: %s; trying again in %d s", host_.c_str(),
         static_cast<unsigned>(port_), why, retryMs_ / 1000);
    complained_ = true;
    announced_ = false;
  }
  retryAtMs_ = nowMs + retryMs_;
  retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void LcdprocView::Flush() {
  const int64_t now = clock_();
  if (state_ == Link::Connecting) {
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      Lost(std::strerror(error), now);
      return;
    }
    state_ = Link::Hello;
  }
  Send(now);
  if (readPaused_ && now >= windowStartMs_ + 1000) readPaused_ = false;
  if (fd_ >= 0 && !readPaused_) ReadAnswers(now);
}

void LcdprocView::Send(int64_t nowMs) {
  while (fd_ >= 0 && sent_ < out_.size()) {
    const ssize_t n = ::send(fd_, out_.data() + sent_, out_.size() - sent_, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      Lost(std::strerror(errno), nowMs);
      return;
    }
    sent_ += static_cast<size_t>(n);
  }
  if (sent_ == out_.size()) {
    out_.clear();
    sent_ = 0;
  }
}

void LcdprocView::ReadAnswers(int64_t nowMs) {
  char buffer[4096];
  for (int round = 0; round < kReadsPerTurn && fd_ >= 0; ++round) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      Lost(n == 0 ? "connection closed" : std::strerror(errno), nowMs);
      return;
    }
    if (nowMs >= windowStartMs_ + 1000) {
      windowStartMs_ = nowMs;
      windowBytes_ = 0;
    }
    windowBytes_ += static_cast<size_t>(n);
    for (ssize_t i = 0; i < n && fd_ >= 0; ++i) {
      const char c = buffer[i];
      if (c == '\n') {
        if (answerTooLong_) {
          if (!longLineNoted_) {
            Note(NotePriority::Warning,
                 "lumora: LCDd at %s:%u sent a line longer than %zu bytes; skipped (and "
                 "any more on this connection, without a note)",
                 host_.c_str(), static_cast<unsigned>(port_), kAnswerLineMax);
          }
          longLineNoted_ = true;
        } else {
          TakeAnswer({answer_, answerLength_}, nowMs);
        }
        answerLength_ = 0;
        answerTooLong_ = false;
      } else if (answerLength_ < kAnswerLineMax) {
        answer_[answerLength_++] = c;
      } else {
        answerTooLong_ = true;
      }
    }
    if (fd_ >= 0 && windowBytes_ > kFloodBytesPerSecond) {
      if (!floodNoted_) {
        Note(NotePriority::Warning,
             "lumora: LCDd at %s:%u sends more than %zu MiB a second, far more than it "
             "is asked for; reading it no faster than that",
             host_.c_str(), static_cast<unsigned>(port_), kFloodBytesPerSecond / (1024 * 1024));
        floodNoted_ = true;
      }
      readPaused_ = true;
      return;
    }
  }
}

void LcdprocView::TakeAnswer(std::string_view line, int64_t nowMs) {
  if (state_ == Link::Hello) {
    int width = 0;
    int height = 0;
    if (!ParseConnect(line, width, height)) {
      Lost("no connect answer to hello", nowMs);
      return;
    }
    width_ = width;
    height_ = height;
    int cellWidth = 0;
    const size_t at = line.find(" cellwid ");
    if (at != std::string_view::npos) {
      std::from_chars(line.data() + at + 9, line.data() + line.size(), cellWidth);
    }
    cellWidth_ = cellWidth > 0 && cellWidth <= 64 ? cellWidth : 5;
    state_ = Link::Ready;
    readySinceMs_ = nowMs;
    // Said at once the first time; after a loss, once the connection has stayed up (CheckStable).
    if (!announced_ && !complained_) {
      Note(NotePriority::Info, "lumora: showing the panel on LCDd at %s:%u (%dx%d)", host_.c_str(),
           static_cast<unsigned>(port_), width_, height_);
      announced_ = true;
    }
    if ((width_ < 16 || height_ < 2) &&
        (width_ != smallNotedWidth_ || height_ != smallNotedHeight_)) {
      Note(NotePriority::Warning,
           "lumora: LCDd's display of %dx%d is smaller than the panel's 16x2; it shows "
           "what fits",
           width_, height_);
      smallNotedWidth_ = width_;
      smallNotedHeight_ = height_;
    }
    out_ +=
        "screen_add lumora\nscreen_set lumora -name Lumora -heartbeat off\n"
        "widget_add lumora l2 scroller\n";
    if (height_ >= 2) out_ += "widget_add lumora l3 scroller\n";
    if (height_ >= 4) out_ += "widget_add lumora ic string\nwidget_add lumora lv hbar\n";
    if (panel_ != nullptr) Show(*panel_, nowMs);
    Send(nowMs);
    return;
  }
  if (line.substr(0, 4) == "huh?" && !refusalNoted_) {
    // The server's words, shown only as printable ASCII: they go to a terminal or a journal.
    char shown[201];
    const size_t length = std::min(line.size(), sizeof shown - 1);
    for (size_t i = 0; i < length; ++i) {
      const char c = line[i];
      shown[i] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    shown[length] = '\0';
    Note(NotePriority::Warning,
         "lumora: LCDd at %s:%u refused a request: %s (further refusals on this "
         "connection are not shown)",
         host_.c_str(), static_cast<unsigned>(port_), shown);
    refusalNoted_ = true;
  }
  // success, listen, ignore, key and menu events: nothing to do.
}

void LcdprocView::Show(const emulator::PanelState& state, int64_t nowMs) {
  if (state_ != Link::Ready) return;
  const auto width = static_cast<size_t>(width_);
  const emulator::ShownLines shown(state, nowMs, 0, width);
  std::string& face = shownNext_;
  face.clear();
  face += "screen_set lumora -priority ";
  face += PriorityName(priority_);
  face += '\n';
  auto row = [&](const char* widget, int number, std::string_view atStart) {
    const emulator::TextLine& line = state.line(number);
    // A line that scrolls on the panel scrolls on the display through LCDd's scroller; the
    // others show what the panel shows at the width of the display.
    const bool scrolls = !shown.panelClock() && emulator::ScrollSteps(line, width) > 0;
    char head[64];
    std::snprintf(head, sizeof head, "widget_set %s %s 1 %d %d %d h %d ", kScreen, widget,
                  number - 1, width_, number - 1, scrolls ? 2 : 1);
    face += head;
    AppendQuoted(face, scrolls ? line.View() : atStart);
    face += '\n';
  };
  row("l2", 2, shown.line2());
  if (height_ >= 2) row("l3", 3, shown.line3());
  if (height_ >= 4) {
    face += "widget_set lumora ic 1 3 ";
    // Every name of the icon table fits: built on the stack, not on the heap.
    char icons[128];
    size_t length = 0;
    const uint32_t lit = state.NamedLitIcons();
    for (size_t i = 0; i < kIconCount; ++i) {
      if ((lit & (uint32_t{1} << i)) == 0) continue;
      const std::string_view name = kIconBits[i].name;
      if (length + name.size() + 1 > sizeof icons) break;
      if (length > 0) icons[length++] = ' ';
      std::memcpy(icons + length, name.data(), name.size());
      length += name.size();
    }
    AppendQuoted(face, std::string_view(icons, length).substr(0, width));
    face += '\n';
    char level[64];
    std::snprintf(level, sizeof level, "widget_set lumora lv 1 4 %d\n",
                  state.LitLevelSegments() * width_ * cellWidth_ / 16);
    face += level;
  }
  if (face == shown_) return;
  if (out_.size() + face.size() > kRequestCapacity) {
    Lost("LCDd does not take what it is sent", nowMs);
    return;
  }
  out_ += face;
  shown_.swap(face);
  Send(nowMs);
}

}  // namespace lumora::lcdproc
