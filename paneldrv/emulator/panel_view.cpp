#include "paneldrv/emulator/panel_view.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/text_quote.h"

namespace lumora::emulator {

namespace {

// Colours of a cyan-green vacuum-fluorescent glass (256-colour palette).
constexpr const char kReset[] = "\x1b[0m";
constexpr const char kGlass[] = "\x1b[48;5;233m";  // the dark glass behind the segments
constexpr const char kCell[] = "\x1b[48;5;234m";   // the text cells
constexpr const char kLit[] = "\x1b[1;38;5;86m";   // a lit segment
constexpr const char kDim[] = "\x1b[22;38;5;23m";  // an unlit segment, faintly visible
constexpr const char kFrameColour[] = "\x1b[22;38;5;240m";

// Inside width of the drawn panel, in columns.
constexpr size_t kInnerWidth = 46;

constexpr size_t kIconsPerRow = kIconCount / 2;

void AppendNumber(long long value, std::string& out) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", value);
  out.append(digits, static_cast<size_t>(n));
}

void Repeat(std::string_view piece, size_t count, std::string& out) {
  for (size_t i = 0; i < count; ++i)
    out += piece;
}

void BeginRow(int row, std::string& out) {
  out += "\x1b[";
  AppendNumber(row, out);
  out += ";1H\x1b[2K";
}

// A row inside the frame: the border, the glass, `used` columns of content already appended by
// the caller's lambda, then padding to the inner width and the closing border.
template <typename Content>
void GlassRow(int row, std::string& out, Content content) {
  BeginRow(row, out);
  out += kFrameColour;
  out += "\u2502";
  out += kGlass;
  const size_t used = content();
  out += kGlass;
  if (used < kInnerWidth) out.append(kInnerWidth - used, ' ');
  out += kReset;
  out += kFrameColour;
  out += "\u2502";
  out += kReset;
}

// The 20 cells of a text line; returns the columns used.
size_t TextCells(std::string_view text, std::string& out) {
  out += "  ";
  out += kCell;
  out += kLit;
  for (const char c : text)
    AppendDisplayChar(static_cast<uint8_t>(c), out);
  if (text.size() < kPanelColumns) out.append(kPanelColumns - text.size(), ' ');
  return 2 + kPanelColumns;
}

size_t IconRow(const PanelState& state, size_t first, std::string& out) {
  size_t used = 1;
  out += ' ';
  for (size_t i = first; i < first + kIconsPerRow && i < kIconCount; ++i) {
    const IconBits& bits = kIconBits[i];
    out += ' ';
    out += state.IsLit(bits.icon) ? kLit : kDim;
    const std::string_view name = bits.name;
    out += name;
    out += kGlass;
    used += 1 + name.size();
  }
  return used;
}

void FrameBorder(int row, bool top, std::string_view label, std::string& out) {
  BeginRow(row, out);
  out += kFrameColour;
  out += top ? "\u256d" : "\u2570";
  const size_t fill = kInnerWidth - (label.empty() ? 0 : label.size() + 3);
  Repeat("\u2500", fill, out);
  if (!label.empty()) {
    out += ' ';
    out += label;
    out += " \u2500";
  }
  out += top ? "\u256e" : "\u256f";
  out += kReset;
}

}  // namespace

void AppendDisplayChar(uint8_t byte, std::string& out) {
  if (byte >= 0x20 && byte < 0x7F) {
    out += static_cast<char>(byte);
  } else if (byte >= 0xA0) {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  } else {
    out += "\u00b7";
  }
}

void RenderTerminalPanel(const PanelState& state, int64_t nowMs, uint64_t frame, int topRow,
                         std::string& out) {
  const ShownLines shown(state, nowMs, frame, kPanelColumns);
  const std::string_view line2 = shown.line2();
  const std::string_view line3 = shown.line3();

  int row = topRow;
  FrameBorder(row++, true, "Lumora", out);
  GlassRow(row++, out, [&] { return TextCells(line2, out); });
  GlassRow(row++, out, [&] { return TextCells(line3, out); });
  GlassRow(row++, out, [&] { return IconRow(state, 0, out); });
  GlassRow(row++, out, [&] { return IconRow(state, kIconsPerRow, out); });
  GlassRow(row++, out, [&] {
    out += "  ";
    const uint16_t segments = state.LevelSegments();
    for (int i = 0; i < kLevelStepCount; ++i) {
      out += (segments >> i & 1) != 0 ? kLit : kDim;
      out += "\u25ae";
    }
    return size_t{2} + kLevelStepCount;
  });
  FrameBorder(row++, false, shown.panelClock() ? "panel clock" : "", out);
}

std::string_view PacketKindName(PacketKind kind) {
  switch (kind) {
    case PacketKind::Clear:
      return "clear";
    case PacketKind::Icons:
      return "icons";
    case PacketKind::Text:
      return "text";
    case PacketKind::Option:
      return "option";
    case PacketKind::ClockStart:
      return "pclock-start";
    case PacketKind::ClockStop:
      return "pclock-stop";
    case PacketKind::Unknown:
      break;
  }
  return "unknown";
}

void FormatPlainLine(const PanelState& state, PacketKind kind, int64_t nowMs, std::string& out) {
  out += "panel ";
  AppendNumber(state.packetCount(), out);
  out += ' ';
  out += PacketKindName(kind);
  for (const int number : {2, 3}) {
    const TextLine& line = state.line(number);
    out += number == 2 ? " | L2 " : " | L3 ";
    out += QuoteDisplayText(line.View());
    if (line.scroll != 0) {
      out += '/';
      AppendNumber(line.scroll, out);
    }
  }
  out += " | icons";
  bool any = false;
  for (const IconBits& bits : kIconBits) {
    if (!state.IsLit(bits.icon)) continue;
    out += ' ';
    out += bits.name;
    any = true;
  }
  if (!any) out += " -";
  out += " | level ";
  AppendNumber(state.LitLevelSegments(), out);
  out += "/16";
  const PanelClock& clock = state.panelClock();
  if (clock.running) {
    char date[32];
    char time[32];
    const LocalTime now = state.PanelClockTime(nowMs);
    out += " | panel clock ";
    out.append(date, FormatPanelClockDate(now, clock.dateOrder, date, sizeof date));
    out += ' ';
    out.append(time, FormatPanelClockTime(now, time, sizeof time));
  }
}

// --- FaceOutput ---

FaceOutput::FaceOutput(int fd, size_t capacity) : fd_(fd), out_(fd), capacity_(capacity) {
  pending_.reserve(capacity_);
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || S_ISREG(info.st_mode)) return;  // a file never waits
  if (S_ISSOCK(info.st_mode)) {
    socket_ = true;
    return;
  }
  // A descriptor of our own on the same terminal or pipe, non-blocking, so that the flags of
  // the descriptor shared with the shell stay as they were.
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd_);
  const int own = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (own >= 0) {
    out_ = own;
    ownOut_ = true;
    return;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0) {
    restoreFlags_ = flags;
  }
}

FaceOutput::~FaceOutput() {
  if (ownOut_) ::close(out_);
  if (restoreFlags_ >= 0) ::fcntl(fd_, F_SETFL, restoreFlags_);
}

bool FaceOutput::Put(std::string_view piece) {
  if (broken_) return true;  // nobody reads it any more: nothing to hold back
  const size_t waiting = pending_.size() - sent_;
  if (waiting + piece.size() > capacity_) return false;
  if (pending_.size() + piece.size() > capacity_) {
    // Moves what waits to the front; the buffer keeps its size, nothing is allocated.
    pending_.erase(0, sent_);
    sent_ = 0;
  }
  pending_.append(piece);
  Flush();
  return true;
}

bool FaceOutput::Flush() {
  while (sent_ < pending_.size()) {
    const char* data = pending_.data() + sent_;
    const size_t size = pending_.size() - sent_;
    const ssize_t n =
        socket_ ? ::send(out_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) : ::write(out_, data, size);
    if (n > 0) {
      sent_ += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    broken_ = true;  // the reader is gone or the output failed: there is nobody to show it to
    break;
  }
  pending_.clear();
  sent_ = 0;
  return true;
}

void FaceOutput::Drain(int timeoutMs) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (!Flush()) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long spent =
        (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (spent >= timeoutMs) return;
    pollfd p{out_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(timeoutMs - spent));
  }
}

// --- TerminalView ---

TerminalView::TerminalView(int fd) : fd_(fd), out_(fd, kFaceOutputCapacity) {
  // Sized once, so that drawing a frame does not allocate.
  frame_.reserve(8192);
  last_.reserve(8192);
}

void TerminalView::Opened(const PanelState& state, int64_t nowMs) {
  startMs_ = nowMs;
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_row > kTerminalPanelRows + 2) {
    rows_ = size.ws_row;
  }
  frame_.clear();
  // A clean screen; below the panel a scrolling region for everything else.
  frame_ += "\x1b[2J";
  if (rows_ > 0) {
    frame_ += "\x1b[";
    AppendNumber(kTerminalPanelRows + 1, frame_);
    frame_ += ';';
    AppendNumber(rows_, frame_);
    frame_ += 'r';
  }
  frame_ += "\x1b[";
  AppendNumber(kTerminalPanelRows + 1, frame_);
  frame_ += ";1H";
  out_.Put(frame_);
  screenSet_ = true;
  Draw(state, nowMs);
}

void TerminalView::Changed(const PanelState& state, PacketKind, int64_t nowMs) {
  Draw(state, nowMs);
}

void TerminalView::Animate(const PanelState& state, int64_t nowMs) {
  Draw(state, nowMs);
}

void TerminalView::Closed(const PanelState&) {
  if (!screenSet_) return;
  frame_.clear();
  // Give the terminal its whole screen back and leave the cursor below the panel's last face.
  frame_ += "\x1b[r\x1b[";
  AppendNumber(rows_ > 0 ? rows_ : kTerminalPanelRows + 1, frame_);
  frame_ += ";1H\r\n";
  // The last words wait for the frame in progress, a short while at most.
  out_.Drain(kFaceDrainMs);
  out_.Put(frame_);
  out_.Drain(kFaceDrainMs);
  screenSet_ = false;
}

void TerminalView::Draw(const PanelState& state, int64_t nowMs) {
  const uint64_t frame =
      nowMs > startMs_ ? static_cast<uint64_t>(nowMs - startMs_) / kAnimationFrameMs : 0;
  frame_.clear();
  RenderTerminalPanel(state, nowMs, frame, 1, frame_);
  if (frame_ == last_) return;  // nothing moved: no flicker
  // The terminal has not taken the last frame: this one is skipped, and since the screen still
  // differs from it, a later packet or animation frame draws the panel whole.
  if (!out_.Flush()) return;
  last_ = frame_;
  // Save the cursor of whatever writes below the panel, draw, and put the cursor back.
  frame_.insert(0,
                "\x1b"
                "7");
  frame_ +=
      "\x1b"
      "8";
  // One piece per frame: the panel and other output to the same terminal never interleave
  // inside a frame.
  if (!out_.Put(frame_)) last_.clear();
}

// --- PlainView ---

PlainView::PlainView(int fd) : out_(fd, kFaceOutputCapacity) {
  line_.reserve(1024);
}

void PlainView::Changed(const PanelState& state, PacketKind kind, int64_t nowMs) {
  line_.clear();
  if (skipped_ > 0) {
    line_ += "panel: ";
    AppendNumber(static_cast<long long>(skipped_), line_);
    line_ += skipped_ == 1 ? " state line" : " state lines";
    line_ += " skipped: the output did not keep up\n";
  }
  FormatPlainLine(state, kind, nowMs, line_);
  line_ += '\n';
  if (out_.Put(line_)) {
    skipped_ = 0;
  } else {
    ++skipped_;
  }
}

void PlainView::Closed(const PanelState&) {
  out_.Drain(kFaceDrainMs);
}

}  // namespace lumora::emulator
