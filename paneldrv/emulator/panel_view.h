// The faces of the emulated panel: a vacuum-fluorescent panel drawn in the terminal with ANSI
// escapes and redrawn in place, or one plain state line per packet for logs and tests. The
// drawing itself is a pure function of the panel's state, so it can be checked without a
// terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "paneldrv/emulator/panel_state.h"

namespace lumora::emulator {

// The rows the terminal panel takes at the top of the screen (the compact face uses them all),
// and the time between two frames of its scroll animation and panel clock.
inline constexpr int kTerminalPanelRows = 8;
inline constexpr int kAnimationFrameMs = 400;
// On a dumb terminal, the least time between two faces that differ only in the digits of a
// time (the clock's seconds, a play time).
inline constexpr int kDumbTimeFaceMs = 60000;

// Receives the panel's state after it changes.
class PanelView {
 public:
  virtual ~PanelView() = default;
  virtual void Opened(const PanelState& /*state*/, int64_t /*nowMs*/) {}
  // After every packet, with the kind of packet it was.
  virtual void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) = 0;
  // Between packets, for what moves on its own: scrolling lines and the panel's own clock.
  virtual void Animate(const PanelState& /*state*/, int64_t /*nowMs*/) {}
  // When the device closes: the face's last words to its terminal.
  virtual void Closed(const PanelState& /*state*/, int64_t /*nowMs*/) {}
  // How often Animate wants to be called, in milliseconds; 0 when never.
  virtual int AnimationIntervalMs() const { return 0; }
  // The descriptor to watch for POLLOUT while the face holds output the terminal has not taken
  // yet, -1 when it holds none; Flush then writes what the terminal takes.
  virtual int PendingFd() const { return -1; }
  // The poll events to watch PendingFd for: POLLOUT for a face that writes; a face that also
  // reads (a display server's answers) asks for POLLIN too.
  virtual short PendingEvents() const;
  virtual void Flush() {}
  // Why writing the face failed (an errno value), 0 when it did not; a reader that went away
  // is no failure. The face goes on without output; the program reports it when it ends.
  virtual int OutputError() const { return 0; }
};

// How much output a face holds back while its terminal or pipe does not take it.
inline constexpr size_t kFaceOutputCapacity = 16384;
// How long a face waits at the end for its last output to go out.
inline constexpr int kFaceDrainMs = 200;

// The way out of a face to its terminal, pipe or file, which never makes the agent wait: a
// terminal stopped with Ctrl-S or a pipe nobody reads must not stop the clock or the senders.
// Terminals and pipes are written through a descriptor of their own opened non-blocking (so the
// shell's descriptor keeps its flags), sockets with MSG_DONTWAIT, files as they are. What the
// output does not take at once is held, up to a bound, and written when it can take more;
// every piece goes out whole or not at all. Once the output fails (its reader is gone), what
// is left is dropped quietly.
class FaceOutput {
 public:
  FaceOutput(int fd, size_t capacity);
  ~FaceOutput();
  FaceOutput(const FaceOutput&) = delete;
  FaceOutput& operator=(const FaceOutput&) = delete;

  // Holds piece whole and writes what the output takes now; false, with nothing held, when it
  // does not fit beside what is still waiting.
  bool Put(std::string_view piece);
  // Writes what the output takes now; true when nothing is left waiting.
  bool Flush();
  // Waits at most timeoutMs for what is waiting to go out.
  void Drain(int timeoutMs);
  bool idle() const { return sent_ == pending_.size(); }
  int fd() const { return out_; }
  // The errno of the write that failed, 0 while none did or when its reader went away (EPIPE).
  int error() const { return error_; }

 private:
  int fd_;
  int out_;
  bool ownOut_ = false;
  bool socket_ = false;
  bool broken_ = false;
  int error_ = 0;
  int restoreFlags_ = -1;
  size_t capacity_;
  std::string pending_;
  size_t sent_ = 0;
};

// The text of a panel byte as the terminal shows it: printable ASCII as it is, the rest of
// Windows-1252 in UTF-8, control and undefined bytes as a middle dot. Appends to out.
void AppendDisplayChar(uint8_t byte, std::string& out);

// How the terminal face is drawn on a terminal.
struct TerminalStyle {
  // Colours and bold (SGR escapes). Without them the face is monochrome: a lit icon shows its
  // name and an unlit one dots, a lit level segment '#' and an unlit one '.', and not a single
  // SGR escape is written.
  bool colour = true;
  // Cursor movement: the face redrawn in place at the top of the screen. Without it (a dumb
  // terminal) each new face is written as plain lines below the last one.
  bool positioned = true;
};
// The style the environment asks for, given NO_COLOR and TERM (null when unset): any non-empty
// NO_COLOR turns colour off; TERM unset, empty or "dumb" turns colour and cursor movement off.
TerminalStyle TerminalStyleOf(const char* noColor, const char* term);
TerminalStyle TerminalStyleFromEnvironment();

// The faces for the width of the terminal: the wide face takes 48 columns, the compact one
// (three rows of icons instead of two) 40, the narrow one 24, the columns the text lines need
// in their frame (its icon rows show the lit icons by name, as many as three rows hold, the
// unlit ones left out); a narrower terminal gets one line that says how many columns the panel
// needs. Every face shows the panel's 20-column text lines whole.
enum class FaceLayout : uint8_t { Wide, Compact, Narrow, TooNarrow };
inline constexpr int kWideFaceColumns = 48;
inline constexpr int kCompactFaceColumns = 40;
inline constexpr int kNarrowFaceColumns = 24;
// columns 0 or less: the width is unknown (not a terminal), and the wide face is drawn.
FaceLayout LayoutForColumns(int columns);

// The panel as rows of text for a terminal `columns` wide, each row ended by a line feed, with
// no cursor movement: the wide face (7 rows), the compact or the narrow face (8 rows) or, below
// 24 columns, "the panel needs 24 columns; this terminal has N" broken into rows that fit. Every
// row fits the width; at most kTerminalPanelRows rows. frame counts the animation frames of
// scrolling lines.
void RenderFaceRows(const PanelState& state, int64_t nowMs, uint64_t frame, int columns,
                    bool colour, std::string& out);

// Rows from RenderFaceRows placed from row 1 of the screen: each of the kTerminalPanelRows rows
// positioned and cleared first (rows the face does not use are left clear).
void AppendPositionedRows(std::string_view rows, std::string& out);

// One state line: the packet kind, both lines in quotes with their scroll bytes, the lit icons,
// the level bar and the panel clock when it runs. No line feed.
void FormatPlainLine(const PanelState& state, PacketKind kind, int64_t nowMs, std::string& out);
std::string_view PacketKindName(PacketKind kind);

// Draws the panel at the top of a terminal, redrawn in place on every packet. The rows below the
// panel stay a scrolling region for other output (the demo's captions, messages). The face
// fits the terminal's width, measured at every frame: when the terminal's size changes, the
// panel's rows are drawn whole for the new size and the output below them is left as it is.
// When the face closes, its last state stays at the top, the output below it stays too, and
// the cursor stays under the last line written, so what comes next does not scroll it away.
//
// On a dumb terminal (no cursor movement) each new face is written as plain lines instead, at
// most one every kAnimationFrameMs, and one in which only a time moved (the clock, a play
// time) at most one every kDumbTimeFaceMs (the last state always, at the end); lines do not
// scroll there, but the panel's own clock moves.
class TerminalView final : public PanelView {
 public:
  explicit TerminalView(int fd) : TerminalView(fd, TerminalStyleFromEnvironment()) {}
  TerminalView(int fd, TerminalStyle style);
  void Opened(const PanelState& state, int64_t nowMs) override;
  void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) override;
  void Animate(const PanelState& state, int64_t nowMs) override;
  void Closed(const PanelState& state, int64_t nowMs) override;
  int AnimationIntervalMs() const override { return kAnimationFrameMs; }
  int PendingFd() const override { return out_.idle() ? -1 : out_.fd(); }
  void Flush() override { out_.Flush(); }
  int OutputError() const override { return out_.error(); }

 private:
  // Draws the panel unless it looks as drawn last; when the terminal has not taken the last
  // frame yet, this one is skipped and a later one is drawn whole. final: the last face, drawn
  // whatever the pace of a dumb terminal.
  void Draw(const PanelState& state, int64_t nowMs, bool final);
  void DrawInPlace(const PanelState& state, int64_t nowMs);
  void DrawLines(const PanelState& state, int64_t nowMs, bool final);
  // The terminal's size now; 0 for what is unknown.
  void Measure(int& columns, int& rows) const;
  // Clears the screen and sets the scrolling region below the panel for a terminal `rows` high.
  void AppendScreenSetup(int rows, std::string& out) const;
  // The scrolling region below the panel for a terminal `rows` high (none when too low).
  void AppendScrollingRegion(int rows, std::string& out) const;

  int fd_;
  TerminalStyle style_;
  FaceOutput out_;
  bool screenSet_ = false;  // the screen is cleared and the region set for setColumns_ x setRows_
  int setColumns_ = 0;
  int setRows_ = 0;
  int64_t startMs_ = 0;
  bool linesDrawn_ = false;  // a dumb terminal has been given a face
  int64_t linesDrawnMs_ = 0;
  std::string rows_;
  std::string frame_;
  std::string last_;
};

// One line per packet on a file descriptor. When the output does not keep up, whole lines are
// skipped, and the next line that goes out is preceded by
// "panel: N state lines skipped: the output did not keep up".
class PlainView final : public PanelView {
 public:
  explicit PlainView(int fd);
  void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) override;
  void Closed(const PanelState& state, int64_t nowMs) override;
  int PendingFd() const override { return out_.idle() ? -1 : out_.fd(); }
  void Flush() override { out_.Flush(); }
  int OutputError() const override { return out_.error(); }

 private:
  FaceOutput out_;
  std::string line_;
  uint64_t skipped_ = 0;
};

}  // namespace lumora::emulator
