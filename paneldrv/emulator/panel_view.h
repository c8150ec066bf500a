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

 private:
  void Draw(const PanelState& state, int64_t nowMs);
  void Write(const std::string& text);

  int fd_;
  int rows_ = 0;  // the terminal's height, 0 when unknown
  bool screenSet_ = false;
  int64_t startMs_ = 0;
  std::string frame_;
  std::string last_;
};

// One line per packet on a file descriptor.
class PlainView final : public PanelView {
 public:
  explicit PlainView(int fd);
  void Changed(const PanelState& state, PacketKind kind, int64_t nowMs) override;

 private:
  int fd_;
  std::string line_;
};

}  // namespace lumora::emulator
