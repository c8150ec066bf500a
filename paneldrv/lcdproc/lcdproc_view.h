// The panel shown on a display of LCDd (the LCDproc server) as one of its clients: the panel's
// shown lines on the display's first two rows, fitted to its width; on a display of four rows or
// more the lit icons by name on the third and the level bar on the fourth. The connection is a
// non-blocking TCP socket watched by the agent's poll loop: the agent never waits for LCDd. While
// LCDd is away the view tries again after 1 s, doubling up to 30 s, and sends the current face as
// soon as it is connected.
//
// LCDd speaks a line protocol of its own with no Debian client library; the few requests the
// view needs are written here. Every answer line is read into a bounded buffer: a longer line is
// cut off and skipped, so a hostile server cannot make the agent's memory grow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/posix/monotonic_clock.h"
#include "paneldrv/emulator/emulated_panel.h"
#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_view.h"

namespace lumora::lcdproc {

inline constexpr int kFirstRetryMs = 1000;
inline constexpr int kLastRetryMs = 30000;
// A connection counts as back for good once it has stayed up this long: only then does the next
// loss start the back-off at kFirstRetryMs again and get a line of its own. A server that
// completes the handshake and closes at once is retried 1 s doubling to 30 s, without a line.
inline constexpr int64_t kStableMs = 10000;
inline constexpr size_t kAnswerLineMax = 512;
inline constexpr size_t kRequestCapacity = 16384;
// More than this in one second is a flood, not answers: LCDd answers each request with one
// short line. The view then reads the server no faster than that, so a hostile server can
// neither grow the agent's memory nor keep its loop busy.
inline constexpr size_t kFloodBytesPerSecond = 2 * 1024 * 1024;

// LCDd's screen priorities as the view uses them.
enum class Priority : uint8_t { Foreground, Info, Background };
const char* PriorityName(Priority priority);

// How long a menu keeps the display at foreground after it was reported.
inline constexpr int64_t kMenuForegroundMs = 60000;

// What the agent's model says of its situation, for the screen's priority.
struct Situation {
  bool clockHandedOver = false;  // the panel runs its own clock (suspend, end of session)
  bool mediaPlays = false;       // a medium plays
  bool recentMenu = false;       // a menu was reported within kMenuForegroundMs
};

// The priority a situation asks for: background once the agent has handed the clock to the
// panel, so that other clients (a system monitor) can have the display; foreground while media
// plays or a menu was reported in the last minute; info otherwise (the idle date and time, a
// stopped medium under the agent's clock).
Priority ChoosePriority(const Situation& situation);

// One character of the panel's text (Windows-1252) as LCDd takes it (Latin-1): the characters
// that Latin-1 has pass, the typographic ones between 0x80 and 0x9F become their plain
// look-alike, and the rest (control codes, the unassigned bytes) become kStandIn.
inline constexpr char kStandIn = '?';
char ToLatin1(char c);

// Appends text as one quoted protocol argument: mapped to Latin-1, with the quote and the
// backslash escaped.
void AppendQuoted(std::string& out, std::string_view text);

// The "connect" answer: the display's width and height; false when it is not one.
bool ParseConnect(std::string_view line, int& width, int& height);

class LcdprocView final : public emulator::PanelView {
 public:
  // host is a numeric IPv4 address or a name; clock gives milliseconds on a monotonic clock.
  LcdprocView(std::string host, uint16_t port, int64_t (*clock)() = MonotonicMs);
  ~LcdprocView() override;
  LcdprocView(const LcdprocView&) = delete;
  LcdprocView& operator=(const LcdprocView&) = delete;

  void Opened(const emulator::PanelState& state, int64_t nowMs) override;
  void Changed(const emulator::PanelState& state, emulator::PacketKind kind,
               int64_t nowMs) override;
  void Animate(const emulator::PanelState& state, int64_t nowMs) override;
  int AnimationIntervalMs() const override { return 250; }
  int PendingFd() const override { return fd_; }
  short PendingEvents() const override;
  // True while the view has stopped reading a server that floods it, until its second is over.
  bool readPaused() const { return readPaused_; }
  void Flush() override;

  // The screen's priority from now on (info until the first call); sent at once when it changes.
  void SetPriority(Priority priority, int64_t nowMs);
  Priority priority() const { return priority_; }

  bool ready() const { return state_ == Link::Ready; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  enum class Link : uint8_t { Idle, Connecting, Hello, Ready };

  void Connect(int64_t nowMs);
  void Lost(const char* why, int64_t nowMs);
  // Once the connection has stayed up kStableMs: the back-off starts again, the come-back said.
  void CheckStable(int64_t nowMs);
  void ReadAnswers(int64_t nowMs);
  void TakeAnswer(std::string_view line, int64_t nowMs);
  void Send(int64_t nowMs);
  void Show(const emulator::PanelState& state, int64_t nowMs);

  std::string host_;
  uint16_t port_;
  int64_t (*clock_)();
  int fd_ = -1;
  Link state_ = Link::Idle;
  int64_t retryAtMs_ = 0;
  int retryMs_ = kFirstRetryMs;
  int width_ = 0;
  int height_ = 0;
  const emulator::PanelState* panel_ = nullptr;
  std::string out_;
  size_t sent_ = 0;
  char answer_[kAnswerLineMax];
  size_t answerLength_ = 0;
  bool answerTooLong_ = false;
  std::string shown_;  // the requests of the face last sent, to send only changes
  std::string shownNext_;
  int cellWidth_ = 5;
  bool complained_ = false;  // a loss was told; the next is not, until a connection stays up
  bool announced_ = false;   // "showing the panel" told, and no loss since
  int64_t readySinceMs_ = 0;
  int smallNotedWidth_ = 0;  // the display size told as too small, not told again
  int smallNotedHeight_ = 0;
  Priority priority_ = Priority::Info;
  // Noted once a connection: a refused request, an overlong line, a flood.
  bool refusalNoted_ = false;
  bool longLineNoted_ = false;
  bool floodNoted_ = false;
  int64_t windowStartMs_ = 0;
  size_t windowBytes_ = 0;
  bool readPaused_ = false;
};

}  // namespace lumora::lcdproc
