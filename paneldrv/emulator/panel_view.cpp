#include "paneldrv/emulator/panel_view.h"

#include <sys/ioctl.h>
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

// --- TerminalView ---

TerminalView::TerminalView(int fd) : fd_(fd) {
  // Sized once, so that drawing a frame does not allocate.
  frame_.reserve(8192);
  last_.reserve(8192);
}

void TerminalView::Write(const std::string& text) {
  // One write per frame: the panel and other output to the same terminal never interleave
  // inside a frame.
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
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
  Write(frame_);
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
  Write(frame_);
  screenSet_ = false;
}

void TerminalView::Draw(const PanelState& state, int64_t nowMs) {
  const uint64_t frame =
      nowMs > startMs_ ? static_cast<uint64_t>(nowMs - startMs_) / kAnimationFrameMs : 0;
  frame_.clear();
  RenderTerminalPanel(state, nowMs, frame, 1, frame_);
  if (frame_ == last_) return;  // nothing moved: no flicker
  last_ = frame_;
  // Save the cursor of whatever writes below the panel, draw, and put the cursor back.
  frame_.insert(0,
                "\x1b"
                "7");
  frame_ +=
      "\x1b"
      "8";
  Write(frame_);
}

// --- PlainView ---

PlainView::PlainView(int fd) : fd_(fd) {
  line_.reserve(1024);
}

void PlainView::Changed(const PanelState& state, PacketKind kind, int64_t nowMs) {
  line_.clear();
  FormatPlainLine(state, kind, nowMs, line_);
  line_ += '\n';
  size_t done = 0;
  while (done < line_.size()) {
    const ssize_t n = ::write(fd_, line_.data() + done, line_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace lumora::emulator
