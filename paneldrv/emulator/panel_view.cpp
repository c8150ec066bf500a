#include "paneldrv/emulator/panel_view.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/posix/monotonic_clock.h"
#include "base/text_encoding.h"
#include "base/text_quote.h"
#include "panel/clock_text.h"

namespace lumora::emulator {

short PanelView::PendingEvents() const {
  return POLLOUT;
}

namespace {

// Colours of a cyan-green vacuum-fluorescent glass (256-colour palette).
constexpr const char kReset[] = "\x1b[0m";
constexpr const char kGlass[] = "\x1b[48;5;233m";  // the dark glass behind the segments
constexpr const char kCell[] = "\x1b[48;5;234m";   // the text cells
constexpr const char kLit[] = "\x1b[1;38;5;86m";   // a lit segment
constexpr const char kDim[] = "\x1b[22;38;5;23m";  // an unlit segment, faintly visible
constexpr const char kFrameColour[] = "\x1b[22;38;5;240m";

// The shapes of the monochrome face: an unlit icon is as many dots as its name has letters.
constexpr char kUnlitIconMark = '.';
constexpr char kLitSegmentMark = '#';
constexpr char kUnlitSegmentMark = '.';

// A face of one width: the columns inside its frame and where each row of icons ends (the
// icons in the order of kIconBits).
struct FaceShape {
  size_t inner;
  size_t iconRows;
  std::array<size_t, 3> iconRowEnd;
};
constexpr FaceShape kWideShape{kWideFaceColumns - 2, 2, {7, kIconCount, kIconCount}};
constexpr FaceShape kCompactShape{kCompactFaceColumns - 2, 3, {5, 10, kIconCount}};
// The narrow face's rows of icons hold the lit icons only, as they come (NarrowIconRows).
constexpr FaceShape kNarrowShape{kNarrowFaceColumns - 2, 3, {0, 0, 0}};

// The columns a row of icons takes: a space, then a space and the name of each.
constexpr size_t IconRowWidth(size_t first, size_t end) {
  size_t used = 1;
  for (size_t i = first; i < end; ++i)
    used += 1 + std::char_traits<char>::length(kIconBits[i].name);
  return used;
}

constexpr bool IconRowsFit(const FaceShape& shape) {
  size_t first = 0;
  for (size_t row = 0; row < shape.iconRows; ++row) {
    if (IconRowWidth(first, shape.iconRowEnd[row]) > shape.inner) return false;
    first = shape.iconRowEnd[row];
  }
  return first == kIconCount;
}
static_assert(IconRowsFit(kWideShape) && IconRowsFit(kCompactShape));
// Frame, two text lines, the icons, the level bar, frame.
static_assert(kCompactShape.iconRows + 5 <= kTerminalPanelRows);
// Both text lines whole, with their indent, inside the frame; the level bar too.
static_assert(2 + kPanelColumns <= kNarrowShape.inner);
static_assert(2 + kLevelStepCount <= kNarrowShape.inner);

void AppendNumber(long long value, std::string& out) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", value);
  out.append(digits, static_cast<size_t>(n));
}

void Repeat(std::string_view piece, size_t count, std::string& out) {
  for (size_t i = 0; i < count; ++i)
    out += piece;
}

// Appends an escape only on a colour face.
class Painter {
 public:
  Painter(bool colour, std::string& out) : colour_(colour), out_(out) {}
  void operator()(const char* escape) const {
    if (colour_) out_ += escape;
  }
  bool colour() const { return colour_; }

 private:
  bool colour_;
  std::string& out_;
};

// A row inside the frame: the border, the glass, `used` columns of content appended by the
// caller's lambda, then padding to the inner width and the closing border.
template <typename Content>
void GlassRow(const FaceShape& shape, const Painter& paint, std::string& out, Content content) {
  paint(kFrameColour);
  out += "\u2502";
  paint(kGlass);
  const size_t used = content();
  paint(kGlass);
  if (used < shape.inner) out.append(shape.inner - used, ' ');
  paint(kReset);
  paint(kFrameColour);
  out += "\u2502";
  paint(kReset);
  out += '\n';
}

// The 20 cells of a text line; returns the columns used.
size_t TextCells(std::string_view text, const Painter& paint, std::string& out) {
  out += "  ";
  paint(kCell);
  paint(kLit);
  for (const char c : text)
    AppendDisplayChar(static_cast<uint8_t>(c), out);
  if (text.size() < kPanelColumns) out.append(kPanelColumns - text.size(), ' ');
  return 2 + kPanelColumns;
}

size_t IconRow(const PanelState& state, size_t first, size_t end, const Painter& paint,
               std::string& out) {
  out += ' ';
  for (size_t i = first; i < end; ++i) {
    const IconBits& bits = kIconBits[i];
    const bool lit = state.IsLit(bits.icon);
    const std::string_view name = bits.name;
    out += ' ';
    if (paint.colour()) {
      paint(lit ? kLit : kDim);
      out += name;
      paint(kGlass);
    } else if (lit) {
      out += name;
    } else {
      out.append(name.size(), kUnlitIconMark);
    }
  }
  return IconRowWidth(first, end);
}

// Where each of the narrow face's rows of icons ends (one past its last icon, in the order of
// kIconBits): the lit icons by name, each row as many as fit; those that fit in no row are
// left out.
std::array<size_t, 3> NarrowIconRows(const PanelState& state) {
  std::array<size_t, 3> rowEnd{kIconCount, kIconCount, kIconCount};
  size_t row = 0;
  size_t used = 1;
  for (size_t i = 0; i < kIconCount && row < rowEnd.size(); ++i) {
    if (!state.IsLit(kIconBits[i].icon)) continue;
    const size_t width = 1 + std::char_traits<char>::length(kIconBits[i].name);
    if (used + width > kNarrowShape.inner) {
      rowEnd[row++] = i;
      used = 1;
      if (row == rowEnd.size()) break;
    }
    used += width;
  }
  return rowEnd;
}

// A row of the narrow face's icons: the lit ones among [first, end), by name.
size_t LitIconRow(const PanelState& state, size_t first, size_t end, const Painter& paint,
                  std::string& out) {
  out += ' ';
  size_t used = 1;
  paint(kLit);
  for (size_t i = first; i < end; ++i) {
    if (!state.IsLit(kIconBits[i].icon)) continue;
    out += ' ';
    out += kIconBits[i].name;
    used += 1 + std::char_traits<char>::length(kIconBits[i].name);
  }
  paint(kGlass);
  return used;
}

size_t LevelBar(const PanelState& state, const Painter& paint, std::string& out) {
  out += "  ";
  const uint16_t segments = state.LevelSegments();
  for (int i = 0; i < kLevelStepCount; ++i) {
    const bool lit = (segments >> i & 1) != 0;
    if (paint.colour()) {
      paint(lit ? kLit : kDim);
      out += "\u25ae";
    } else {
      out += lit ? kLitSegmentMark : kUnlitSegmentMark;
    }
  }
  return size_t{2} + kLevelStepCount;
}

void FrameBorder(const FaceShape& shape, bool top, std::string_view label, const Painter& paint,
                 std::string& out) {
  paint(kFrameColour);
  out += top ? "\u256d" : "\u2570";
  const size_t fill = shape.inner - (label.empty() ? 0 : label.size() + 3);
  Repeat("\u2500", fill, out);
  if (!label.empty()) {
    out += ' ';
    out += label;
    out += " \u2500";
  }
  out += top ? "\u256e" : "\u256f";
  paint(kReset);
  out += '\n';
}

// Appends text in rows of at most width columns, broken between words (a word longer than a
// row is cut), while fewer than kTerminalPanelRows rows are written.
void WrapRows(std::string_view rest, size_t width, int& rows, std::string& out) {
  while (!rest.empty() && rows < kTerminalPanelRows) {
    size_t take = rest.size();
    if (take > width) {
      const size_t space = rest.rfind(' ', width);
      take = space != std::string_view::npos && space > 0 ? space : width;
    }
    out.append(rest.substr(0, take));
    out += '\n';
    ++rows;
    rest.remove_prefix(take);
    while (!rest.empty() && rest.front() == ' ')
      rest.remove_prefix(1);
  }
}

// "the panel needs 24 columns; this terminal has N" on one row when it fits, else each half on
// rows of its own.
void TooNarrowRows(int columns, std::string& out) {
  char needs[48];
  char has[48];
  const int needsLength =
      std::snprintf(needs, sizeof needs, "the panel needs %d columns;", kNarrowFaceColumns);
  const int hasLength = std::snprintf(has, sizeof has, "this terminal has %d", columns);
  const size_t width = columns < 1 ? 1 : static_cast<size_t>(columns);
  int rows = 0;
  if (static_cast<size_t>(needsLength + 1 + hasLength) <= width) {
    out.append(needs, static_cast<size_t>(needsLength));
    out += ' ';
    out.append(has, static_cast<size_t>(hasLength));
    out += '\n';
    return;
  }
  WrapRows({needs, static_cast<size_t>(needsLength)}, width, rows, out);
  WrapRows({has, static_cast<size_t>(hasLength)}, width, rows, out);
}

}  // namespace

void AppendDisplayChar(uint8_t byte, std::string& out) {
  // 0x80 to 0x9F hold the euro sign, curly quotes and dashes in Windows-1252, shown like the
  // other faces show them; the five bytes the set leaves undefined and the control bytes are dots.
  const char32_t code = byte >= 0x80 ? Windows1252ToUnicode(byte) : 0;
  if (byte >= 0x20 && byte < 0x7F) {
    out += static_cast<char>(byte);
  } else if (code != 0) {
    AppendUtf8(code, out);
  } else {
    out += "\u00b7";
  }
}

TerminalStyle TerminalStyleOf(const char* noColor, const char* term) {
  TerminalStyle style;
  const std::string_view termName = term != nullptr ? term : "";
  if (termName.empty() || termName == "dumb") {
    style.colour = false;
    style.positioned = false;
  }
  if (noColor != nullptr && noColor[0] != '\0') style.colour = false;
  return style;
}

TerminalStyle TerminalStyleFromEnvironment() {
  return TerminalStyleOf(std::getenv("NO_COLOR"), std::getenv("TERM"));
}

FaceLayout LayoutForColumns(int columns) {
  if (columns <= 0 || columns >= kWideFaceColumns) return FaceLayout::Wide;
  if (columns >= kCompactFaceColumns) return FaceLayout::Compact;
  if (columns >= kNarrowFaceColumns) return FaceLayout::Narrow;
  return FaceLayout::TooNarrow;
}

void RenderFaceRows(const PanelState& state, int64_t nowMs, uint64_t frame, int columns,
                    bool colour, std::string& out) {
  const FaceLayout layout = LayoutForColumns(columns);
  if (layout == FaceLayout::TooNarrow) {
    TooNarrowRows(columns, out);
    return;
  }
  const FaceShape& shape = layout == FaceLayout::Wide      ? kWideShape
                           : layout == FaceLayout::Compact ? kCompactShape
                                                           : kNarrowShape;
  const Painter paint(colour, out);
  const ShownLines shown(state, nowMs, frame, kPanelColumns);
  const std::string_view line2 = shown.line2();
  const std::string_view line3 = shown.line3();

  FrameBorder(shape, true, "Lumora", paint, out);
  GlassRow(shape, paint, out, [&] { return TextCells(line2, paint, out); });
  GlassRow(shape, paint, out, [&] { return TextCells(line3, paint, out); });
  const bool narrow = layout == FaceLayout::Narrow;
  const std::array<size_t, 3> rowEnd = narrow ? NarrowIconRows(state) : shape.iconRowEnd;
  size_t first = 0;
  for (size_t row = 0; row < shape.iconRows; ++row) {
    const size_t end = rowEnd[row];
    GlassRow(shape, paint, out, [&] {
      return narrow ? LitIconRow(state, first, end, paint, out)
                    : IconRow(state, first, end, paint, out);
    });
    first = end;
  }
  GlassRow(shape, paint, out, [&] { return LevelBar(state, paint, out); });
  FrameBorder(shape, false, shown.panelClock() ? "panel clock" : "", paint, out);
}

void AppendPositionedRows(std::string_view rows, std::string& out) {
  for (int row = 1; row <= kTerminalPanelRows; ++row) {
    out += "\x1b[";
    AppendNumber(row, out);
    out += ";1H\x1b[2K";
    const size_t end = rows.find('\n');
    out.append(rows.substr(0, end));
    rows.remove_prefix(end == std::string_view::npos ? rows.size() : end + 1);
  }
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
    out.append(time, FormatClockTime(now, time, sizeof time));
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
    if (n < 0 && errno != EPIPE) error_ = errno;
    break;
  }
  pending_.clear();
  sent_ = 0;
  return true;
}

void FaceOutput::Drain(int timeoutMs) {
  const int64_t start = MonotonicMs();
  while (!Flush()) {
    const int64_t spent = MonotonicMs() - start;
    if (spent >= timeoutMs) return;
    pollfd p{out_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(timeoutMs - spent));
  }
}

// --- TerminalView ---

TerminalView::TerminalView(int fd, TerminalStyle style)
    : fd_(fd), style_(style), out_(fd, kFaceOutputCapacity) {
  // Sized once, so that drawing a frame does not allocate.
  rows_.reserve(4096);
  frame_.reserve(8192);
  last_.reserve(4096);
}

void TerminalView::Measure(int& columns, int& rows) const {
  winsize size{};
  columns = 0;
  rows = 0;
  if (::ioctl(fd_, TIOCGWINSZ, &size) != 0) return;
  columns = size.ws_col;
  rows = size.ws_row;
}

void TerminalView::AppendScreenSetup(int rows, std::string& out) const {
  // The whole screen, cleared; below the panel a scrolling region for everything else, when
  // the terminal is high enough to have one.
  out += "\x1b[r\x1b[H\x1b[2J";
  AppendScrollingRegion(rows, out);
}

void TerminalView::AppendScrollingRegion(int rows, std::string& out) const {
  // Setting the region moves the cursor to the top; the callers put it where it belongs.
  if (rows > kTerminalPanelRows + 1) {
    out += "\x1b[";
    AppendNumber(kTerminalPanelRows + 1, out);
    out += ';';
    AppendNumber(rows, out);
    out += 'r';
  } else {
    out += "\x1b[r";
  }
}

void TerminalView::Opened(const PanelState& state, int64_t nowMs) {
  startMs_ = nowMs;
  screenSet_ = false;
  linesDrawn_ = false;
  last_.clear();
  Draw(state, nowMs, false);
}

void TerminalView::Changed(const PanelState& state, PacketKind, int64_t nowMs) {
  Draw(state, nowMs, false);
}

void TerminalView::Animate(const PanelState& state, int64_t nowMs) {
  Draw(state, nowMs, false);
}

void TerminalView::Closed(const PanelState& state, int64_t nowMs) {
  // The last face, drawn whole if the terminal missed it; the last words wait for the frame in
  // progress, a short while at most.
  out_.Drain(kFaceDrainMs);
  Draw(state, nowMs, true);
  out_.Drain(kFaceDrainMs);
  if (!style_.positioned || !screenSet_) return;
  frame_.clear();
  // The whole screen given back to the terminal, the panel's last face left where it is, and
  // everything written below it (a log, captions) too: the cursor stays under the last line
  // written (right below the face when nothing was), where the shell's prompt comes next.
  frame_ +=
      "\x1b"
      "7\x1b[r\x1b"
      "8";
  out_.Put(frame_);
  out_.Drain(kFaceDrainMs);
  screenSet_ = false;
}

void TerminalView::Draw(const PanelState& state, int64_t nowMs, bool final) {
  if (style_.positioned) {
    DrawInPlace(state, nowMs);
  } else {
    DrawLines(state, nowMs, final);
  }
}

void TerminalView::DrawInPlace(const PanelState& state, int64_t nowMs) {
  int columns = 0;
  int rows = 0;
  Measure(columns, rows);
  const bool setUp = !screenSet_ || columns != setColumns_ || rows != setRows_;
  const uint64_t frame =
      nowMs > startMs_ ? static_cast<uint64_t>(nowMs - startMs_) / kAnimationFrameMs : 0;
  rows_.clear();
  RenderFaceRows(state, nowMs, frame, columns, style_.colour, rows_);
  if (!setUp && rows_ == last_) return;  // nothing moved: no flicker
  // The terminal has not taken the last frame: this one is skipped, and since the screen still
  // differs from it, a later packet or animation frame draws the panel whole.
  if (!out_.Flush()) return;
  frame_.clear();
  if (!screenSet_) {
    // A new screen: cleared, the face drawn whole, the cursor below it.
    AppendScreenSetup(rows, frame_);
    AppendPositionedRows(rows_, frame_);
    frame_ += "\x1b[";
    AppendNumber(kTerminalPanelRows + 1, frame_);
    frame_ += ";1H";
  } else if (setUp) {
    // A new size: only the panel's rows are drawn again, whole, with the scrolling region set
    // for the new height; what was written below them (a log, captions) stays, and the cursor
    // goes back where that output left it. A terminal that rewraps its lines keeps its bottom
    // rows in place and the face's rewrapped rows above them, which the new face covers.
    frame_ +=
        "\x1b"
        "7";
    AppendScrollingRegion(rows, frame_);
    AppendPositionedRows(rows_, frame_);
    frame_ +=
        "\x1b"
        "8";
  } else {
    // Save the cursor of whatever writes below the panel, draw, and put the cursor back.
    frame_ +=
        "\x1b"
        "7";
    AppendPositionedRows(rows_, frame_);
    frame_ +=
        "\x1b"
        "8";
  }
  // One piece per frame: the panel and other output to the same terminal never interleave
  // inside a frame.
  if (!out_.Put(frame_)) {
    last_.clear();
    return;
  }
  last_ = rows_;
  screenSet_ = true;
  setColumns_ = columns;
  setRows_ = rows;
}

namespace {

// Whether two faces of the same shape differ only in the digits of times: a difference only
// where both hold a digit, in a run of digits and colons that holds a colon ("9:07:31", a play
// time "1:23"). A channel number, a date or anything else that changed is a change of its own.
bool OnlyTimesMoved(std::string_view before, std::string_view after) {
  if (before.size() != after.size()) return false;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const auto inTime = [&](std::string_view text, size_t at) {
    size_t first = at;
    while (first > 0 && (isDigit(text[first - 1]) || text[first - 1] == ':'))
      --first;
    size_t end = at;
    while (end < text.size() && (isDigit(text[end]) || text[end] == ':'))
      ++end;
    return text.substr(first, end - first).find(':') != std::string_view::npos;
  };
  for (size_t i = 0; i < after.size(); ++i) {
    if (before[i] == after[i]) continue;
    if (!isDigit(before[i]) || !isDigit(after[i]) || !inTime(before, i) || !inTime(after, i)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void TerminalView::DrawLines(const PanelState& state, int64_t nowMs, bool final) {
  int columns = 0;
  int rows = 0;
  Measure(columns, rows);
  rows_.clear();
  // Lines written one below the other cannot scroll: each shows its start.
  RenderFaceRows(state, nowMs, 0, columns, style_.colour, rows_);
  if (rows_ == last_) return;
  // A burst of packets gives one face, not one a packet: a later animation frame (or the end)
  // draws the state it left. A face in which only a time moved (the idle clock every second, a
  // play time) waits a minute after the last one, so the lines show what happens, not the
  // seconds ticking.
  const int pace =
      linesDrawn_ && OnlyTimesMoved(last_, rows_) ? kDumbTimeFaceMs : kAnimationFrameMs;
  if (!final && linesDrawn_ && nowMs - linesDrawnMs_ < pace) return;
  if (!out_.Flush()) return;
  if (!out_.Put(rows_)) return;
  last_ = rows_;
  linesDrawn_ = true;
  linesDrawnMs_ = nowMs;
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

void PlainView::Closed(const PanelState&, int64_t) {
  out_.Drain(kFaceDrainMs);
}

}  // namespace lumora::emulator
