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

// The columns of each text line on the emulated panel; longer lines scroll.
inline constexpr size_t kPanelColumns = 20;
// The rows the terminal panel takes at the top of the screen, and the time between two frames
// of its scroll animation and panel clock.
inline constexpr int kTerminalPanelRows = 8;
inline constexpr int kAnimationFrameMs = 400;

// Receives the panel's state after it changes.
class PanelView {
 public:
  virtual ~PanelView() = default;
  virtual void Opened(const PanelState& /*state*/, int64_t /*nowMs*/) {}
  // After every packet, with the kind of packet it was.
  virtual void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) = 0;
  // Between packets, for what moves on its own: scrolling lines and the panel's own clock.
  virtual void Animate(const PanelState& /*state*/, int64_t /*nowMs*/) {}
  virtual void Closed(const PanelState& /*state*/) {}
  // How often Animate wants to be called, in milliseconds; 0 when never.
  virtual int AnimationIntervalMs() const { return 0; }
  // The descriptor to watch for POLLOUT while the face holds output the terminal has not taken
  // yet, -1 when it holds none; Flush then writes what the terminal takes.
  virtual int PendingFd() const { return -1; }
  virtual void Flush() {}
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

 private:
  int fd_;
  int out_;
  bool ownOut_ = false;
  bool socket_ = false;
  bool broken_ = false;
  int restoreFlags_ = -1;
  size_t capacity_;
  std::string pending_;
  size_t sent_ = 0;
};

// The text of a panel byte as the terminal shows it: printable ASCII as it is, Latin-1 letters
// in UTF-8, control bytes as a middle dot. Appends to out.
void AppendDisplayChar(uint8_t byte, std::string& out);

// The panel drawn as kTerminalPanelRows rows placed from row topRow of the screen (1-based),
// each row positioned and cleared first; frame counts the animation frames for scrolling lines.
void RenderTerminalPanel(const PanelState& state, int64_t nowMs, uint64_t frame, int topRow,
                         std::string& out);

// One state line: the packet kind, both lines in quotes with their scroll bytes, the lit icons,
// the level bar and the panel clock when it runs. No line feed.
void FormatPlainLine(const PanelState& state, PacketKind kind, int64_t nowMs, std::string& out);
std::string_view PacketKindName(PacketKind kind);

// Draws the panel at the top of a terminal, redrawn in place on every packet. The rows below the
// panel stay a scrolling region for other output (the demo's captions, messages).
class TerminalView final : public PanelView {
 public:
  explicit TerminalView(int fd);
  void Opened(const PanelState& state, int64_t nowMs) override;
  void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) override;
  void Animate(const PanelState& state, int64_t nowMs) override;
  void Closed(const PanelState& state) override;
  int AnimationIntervalMs() const override { return kAnimationFrameMs; }
  int PendingFd() const override { return out_.idle() ? -1 : out_.fd(); }
  void Flush() override { out_.Flush(); }

 private:
  // Draws the panel unless it looks as drawn last; when the terminal has not taken the last
  // frame yet, this one is skipped and a later one is drawn whole.
  void Draw(const PanelState& state, int64_t nowMs);

  int fd_;
  FaceOutput out_;
  int rows_ = 0;  // the terminal's height, 0 when unknown
  bool screenSet_ = false;
  int64_t startMs_ = 0;
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
  void Closed(const PanelState& state) override;
  int PendingFd() const override { return out_.idle() ? -1 : out_.fd(); }
  void Flush() override { out_.Flush(); }

 private:
  FaceOutput out_;
  std::string line_;
  uint64_t skipped_ = 0;
};

}  // namespace lumora::emulator
