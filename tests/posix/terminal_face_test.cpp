// The terminal face: the style the environment asks for, the face for each width, monochrome
// shapes, and the view on a pseudo terminal (resizes, the end) and on a dumb terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_view.h"
#include "tests/posix/panel_packets.h"

namespace lumora::emulator {
namespace {

std::string Repeat(const std::string& piece, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i)
    out += piece;
  return out;
}

std::string Spaces(size_t count) {
  return std::string(count, ' ');
}

std::vector<std::string> Rows(const std::string& text) {
  std::vector<std::string> rows;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    rows.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return rows;
}

// The columns a row takes on the screen: its characters, escapes left out.
size_t DisplayWidth(const std::string& row) {
  size_t width = 0;
  for (size_t i = 0; i < row.size(); ++i) {
    if (row[i] == '\x1b') {
      i = row.find('m', i);
      if (i == std::string::npos) break;
      continue;
    }
    if ((static_cast<uint8_t>(row[i]) & 0xC0) != 0x80) ++width;
  }
  return width;
}

// Line 2 "CH-007", line 3 twenty characters to the last column, PLAY and TV lit, 7 of the 16
// level segments.
PanelState TvState() {
  PanelState state;
  for (const Packet& p : {Text(2, 0, "CH-007"), Text(3, 0, "ABCDEFGHIJKLMNOPQRST"),
                          Icons({{2, 0x10}, {3, 0xF4}, {4, 0x07}})}) {
    state.Apply(p.data(), 0);
  }
  return state;
}

struct StyleCase {
  const char* noColor;
  const char* term;
  bool colour;
  bool positioned;
};

TEST(TerminalStyle, FollowsNoColorAndTerm) {
  const StyleCase cases[] = {
      {nullptr, "xterm-256color", true, true},
      {"1", "xterm-256color", false, true},
      {"anything", "screen", false, true},
      {"", "xterm", true, true},  // an empty NO_COLOR asks for nothing
      {nullptr, "dumb", false, false},
      {"1", "dumb", false, false},
      {nullptr, nullptr, false, false},  // no TERM: nothing is known of the terminal
      {nullptr, "", false, false},
  };
  for (const StyleCase& c : cases) {
    const TerminalStyle style = TerminalStyleOf(c.noColor, c.term);
    EXPECT_EQ(style.colour, c.colour)
        << (c.noColor ? c.noColor : "-") << " " << (c.term ? c.term : "-");
    EXPECT_EQ(style.positioned, c.positioned)
        << (c.noColor ? c.noColor : "-") << " " << (c.term ? c.term : "-");
  }
}

// Each panel byte as the terminal shows it: Windows-1252 in UTF-8 like the other faces, the
// upper control range 0x80 to 0x9F included; control and undefined bytes as a middle dot.
TEST(DisplayChar, WindowsCodePageInUtf8AndDotsForTheRest) {
  struct Case {
    uint8_t byte;
    const char* shown;
  };
  const Case cases[] = {
      {0x41, "A"},      {0x7E, "~"},      {0x00, "\u00b7"}, {0x1F, "\u00b7"}, {0x7F, "\u00b7"},
      {0x80, "\u20ac"}, {0x81, "\u00b7"}, {0x8D, "\u00b7"}, {0x8F, "\u00b7"}, {0x90, "\u00b7"},
      {0x92, "\u2019"}, {0x96, "\u2013"}, {0x99, "\u2122"}, {0x9D, "\u00b7"}, {0x9F, "\u0178"},
      {0xA0, "\u00a0"}, {0xE9, "\u00e9"}, {0xFF, "\u00ff"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendDisplayChar(c.byte, out);
    EXPECT_EQ(out, c.shown) << "byte 0x" << std::hex << int{c.byte};
  }
}

TEST(FaceLayouts, FollowTheWidth) {
  const std::pair<int, FaceLayout> cases[] = {
      {0, FaceLayout::Wide},      {-1, FaceLayout::Wide},    {200, FaceLayout::Wide},
      {48, FaceLayout::Wide},     {47, FaceLayout::Compact}, {40, FaceLayout::Compact},
      {39, FaceLayout::Narrow},   {24, FaceLayout::Narrow},  {23, FaceLayout::TooNarrow},
      {1, FaceLayout::TooNarrow},
  };
  for (const auto& [columns, layout] : cases)
    EXPECT_EQ(LayoutForColumns(columns), layout) << columns;
}

TEST(MonochromeFace, WideShowsLitIconsByNameAndUnlitOnesAsDots) {
  std::string out;
  RenderFaceRows(TvState(), 0, 0, 80, false, out);
  const std::vector<std::string> expected = {
      "╭" + Repeat("─", 37) + " Lumora ─╮",
      "│  CH-007" + Spaces(14 + 24) + "│",
      "│  ABCDEFGHIJKLMNOPQRST" + Spaces(24) + "│",
      // PLAY PAUSE SCAN A SCAN B AUX PICTURE TV
      "│  PLAY ..... ...... ...... ... ....... TV" + Spaces(5) + "│",
      // MUSIC CD VIDEO VCD SESSION MARKED DVD
      "│  ..... .. ..... ... ....... ...... ..." + Spaces(7) + "│",
      "│  #######........." + Spaces(28) + "│",
      "╰" + Repeat("─", 46) + "╯",
  };
  EXPECT_EQ(Rows(out), expected);
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

TEST(MonochromeFace, CompactFitsFortyColumnsWithThreeRowsOfIcons) {
  std::string out;
  RenderFaceRows(TvState(), 0, 0, 40, false, out);
  const std::vector<std::string> expected = {
      "╭" + Repeat("─", 29) + " Lumora ─╮",
      "│  CH-007" + Spaces(14 + 16) + "│",
      "│  ABCDEFGHIJKLMNOPQRST" + Spaces(16) + "│",
      "│  PLAY ..... ...... ...... ..." + Spaces(8) + "│",  // PLAY PAUSE SCAN A SCAN B AUX
      "│  ....... TV ..... .. ....." + Spaces(11) + "│",    // PICTURE TV MUSIC CD VIDEO
      "│  ... ....... ...... ..." + Spaces(14) + "│",       // VCD SESSION MARKED DVD
      "│  #######........." + Spaces(20) + "│",
      "╰" + Repeat("─", 38) + "╯",
  };
  EXPECT_EQ(Rows(out), expected);
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

// From 24 to 39 columns: the text lines whole in their frame, the lit icons by name (the
// unlit ones left out), the level bar.
TEST(MonochromeFace, NarrowShowsTheTextLinesWholeAndTheLitIcons) {
  const std::vector<std::string> expected = {
      "╭" + Repeat("─", 13) + " Lumora ─╮",
      "│  CH-007" + Spaces(14) + "│",
      "│  ABCDEFGHIJKLMNOPQRST│",
      "│  PLAY TV" + Spaces(13) + "│",
      "│" + Spaces(22) + "│",
      "│" + Spaces(22) + "│",
      "│  #######........." + Spaces(4) + "│",
      "╰" + Repeat("─", 22) + "╯",
  };
  for (const int columns : {24, 30, 39}) {
    std::string out;
    RenderFaceRows(TvState(), 0, 0, columns, false, out);
    EXPECT_EQ(Rows(out), expected) << columns;
  }
  // Every icon lit: rows filled in order, as many as three rows of 22 columns hold.
  PanelState state;
  const Packet all = Icons({{2, 0xF0}, {3, 0x07}, {5, 0xE0}, {7, 0xE0}});
  state.Apply(all.data(), 0);
  std::string out;
  RenderFaceRows(state, 0, 0, 24, false, out);
  const std::vector<std::string> rows = Rows(out);
  ASSERT_EQ(rows.size(), 8u) << out;
  EXPECT_EQ(rows[3], "│  PLAY PAUSE SCAN A   │");
  EXPECT_EQ(rows[4], "│  SCAN B AUX PICTURE  │");
  EXPECT_EQ(rows[5], "│  TV MUSIC CD VIDEO   │");
}

TEST(MonochromeFace, PanelClockAndEveryIconLit) {
  PanelState state;
  for (const Packet& p : {Icons({{2, 0xF0}, {3, 0x07}, {5, 0xE0}, {7, 0xE0}}),
                          ClockStart(1, {21, 7, 30, 20, 6, 1, 5})}) {
    state.Apply(p.data(), 0);
  }
  std::string out;
  RenderFaceRows(state, 2000, 0, 40, false, out);
  const std::vector<std::string> rows = Rows(out);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[1], "│  2006/01/05" + Spaces(10 + 16) + "│");
  EXPECT_EQ(rows[2], "│    9:07:32 PM" + Spaces(8 + 16) + "│");
  EXPECT_EQ(rows[3], "│  PLAY PAUSE SCAN A SCAN B AUX        │");
  EXPECT_EQ(rows[4], "│  PICTURE TV MUSIC CD VIDEO           │");
  EXPECT_EQ(rows[5], "│  VCD SESSION MARKED DVD              │");
  EXPECT_EQ(rows[7], "╰" + Repeat("─", 24) + " panel clock ─╯");
}

TEST(Faces, EveryRowFitsItsWidthInColourAndMonochrome) {
  const PanelState state = TvState();
  struct WidthCase {
    int columns;
    size_t faceWidth;
    size_t rows;
  };
  for (const WidthCase c :
       {WidthCase{0, 48, 7}, WidthCase{120, 48, 7}, WidthCase{80, 48, 7}, WidthCase{48, 48, 7},
        WidthCase{47, 40, 8}, WidthCase{40, 40, 8}, WidthCase{39, 24, 8}, WidthCase{24, 24, 8}}) {
    for (const bool colour : {true, false}) {
      std::string out;
      RenderFaceRows(state, 0, 0, c.columns, colour, out);
      const std::vector<std::string> rows = Rows(out);
      EXPECT_EQ(rows.size(), c.rows) << c.columns;
      for (const std::string& row : rows)
        EXPECT_EQ(DisplayWidth(row), c.faceWidth)
            << c.columns << " colour " << colour << ": " << row;
      // The twenty columns of line 3 whole.
      EXPECT_NE(out.find("ABCDEFGHIJKLMNOPQRST"), std::string::npos) << c.columns;
      EXPECT_EQ(out.find('\x1b') != std::string::npos, colour) << c.columns;
    }
  }
}

TEST(Faces, TooNarrowSaysHowManyColumnsThePanelNeeds) {
  const PanelState state = TvState();
  struct NarrowCase {
    int columns;
    std::vector<std::string> rows;
  };
  const NarrowCase cases[] = {
      {23, {"the panel needs 24", "columns;", "this terminal has 23"}},
      {20, {"the panel needs 24", "columns;", "this terminal has 20"}},
      {10, {"the panel", "needs 24", "columns;", "this", "terminal", "has 10"}},
      // Words longer than the row are cut; never more rows than the panel's area.
      {3, {"the", "pan", "el", "nee", "ds", "24", "col", "umn"}},
  };
  for (const NarrowCase& c : cases) {
    for (const bool colour : {true, false}) {
      std::string out;
      RenderFaceRows(state, 0, 0, c.columns, colour, out);
      EXPECT_EQ(Rows(out), c.rows) << c.columns;
    }
  }
}

// --- The view on a pseudo terminal ---

class PseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    termios raw{};
    ASSERT_EQ(::tcgetattr(slave_, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &raw), 0);
  }
  void TearDown() override {
    ::close(master_);
    ::close(slave_);
  }
  void Resize(int columns, int rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &size), 0);
  }
  // What the view has written since the last call.
  std::string Written() {
    std::string out;
    char bytes[4096];
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, 100) > 0) {
      const ssize_t n = ::read(master_, bytes, sizeof bytes);
      if (n <= 0) break;
      out.append(bytes, static_cast<size_t>(n));
    }
    return out;
  }

  int master_ = -1;
  int slave_ = -1;
};

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

TEST_F(PseudoTerminal, ResizesRedrawOnlyThePanelsRowsAndTheEndKeepsTheOutputBelowIt) {
  Resize(80, 24);
  TerminalView view(slave_, TerminalStyle{false, true});
  PanelState state;
  view.Opened(state, 0);
  std::string out = Written();
  // A clean screen, the region below the panel's eight rows, the wide face, the cursor below.
  EXPECT_TRUE(Has(out, "\x1b[2J")) << out;
  EXPECT_TRUE(Has(out, "\x1b[9;24r")) << out;
  EXPECT_TRUE(Has(out, "╰" + Repeat("─", 46) + "╯")) << out;
  EXPECT_EQ(out.substr(out.size() - 6), "\x1b[9;1H");

  const PanelState tv = TvState();
  view.Changed(tv, PacketKind::Icons, 100);
  out = Written();
  // In place: the cursor of the output below saved and put back, nothing cleared but rows.
  EXPECT_EQ(out.substr(0, 2),
            "\x1b"
            "7");
  EXPECT_EQ(out.substr(out.size() - 2),
            "\x1b"
            "8");
  EXPECT_FALSE(Has(out, "\x1b[2J"));
  EXPECT_TRUE(Has(out, "│  PLAY ..... ...... ...... ... ....... TV     │")) << out;

  // Nothing moved: nothing written.
  view.Animate(tv, 500);
  EXPECT_EQ(Written(), "");

  // Narrower: the compact face and the region for the new height, between the cursor of the
  // output below saved and put back; nothing below the panel's rows cleared.
  Resize(40, 20);
  view.Animate(tv, 900);
  out = Written();
  EXPECT_EQ(out.substr(0, 9),
            "\x1b"
            "7\x1b[9;20r")
      << out;
  EXPECT_EQ(out.substr(out.size() - 2),
            "\x1b"
            "8")
      << out;
  EXPECT_FALSE(Has(out, "\x1b[2J")) << out;
  EXPECT_FALSE(Has(out, "\x1b[J")) << out;
  EXPECT_FALSE(Has(out, "\x1b[9;1H")) << out;
  EXPECT_TRUE(Has(out, "│  ....... TV ..... .. .....           │")) << out;
  EXPECT_FALSE(Has(out, "....... TV     │"));

  Resize(30, 20);
  view.Animate(tv, 1300);
  out = Written();
  EXPECT_TRUE(
      Has(out, "\x1b[1;1H\x1b[2K╭" + Repeat("─", 13) + " Lumora ─╮\x1b[2;1H\x1b[2K│  CH-007"))
      << out;

  Resize(120, 30);
  view.Animate(tv, 1700);
  out = Written();
  EXPECT_FALSE(Has(out, "\x1b[2J")) << out;
  EXPECT_TRUE(Has(out, "\x1b[9;30r")) << out;
  EXPECT_TRUE(Has(out, "│  PLAY ..... ...... ...... ... ....... TV     │")) << out;

  // The end: the last face stays, the terminal gets its whole screen back (setting it moves the
  // cursor home) and the cursor goes back under the output below the face, nothing cleared.
  view.Closed(tv, 2000);
  out = Written();
  EXPECT_EQ(out,
            "\x1b"
            "7\x1b[r\x1b"
            "8");
}

TEST_F(PseudoTerminal, TheLastFaceIsDrawnAtTheEndEvenWhenAFrameWasMissed) {
  Resize(80, 24);
  TerminalView view(slave_, TerminalStyle{true, true});
  PanelState state;
  view.Opened(state, 0);
  Written();
  // The end comes with a state not drawn yet (as when the terminal missed its frame).
  view.Closed(TvState(), 100);
  const std::string out = Written();
  EXPECT_TRUE(Has(out, "CH-007")) << out;
  EXPECT_EQ(out.substr(out.size() - 7),
            "\x1b"
            "7\x1b[r\x1b"
            "8");
}

TEST(DumbTerminal, FacesAsPlainLinesAtAMeasuredPace) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  {
    TerminalView view(pipeFds[1], TerminalStyle{false, false});
    PanelState state;
    view.Opened(state, 0);  // the blank panel
    const Packet play = Icons({{2, 0x10}});
    state.Apply(play.data(), 100);
    view.Changed(state, PacketKind::Icons, 100);  // too soon after the last face: held
    const Packet tv = Icons({{2, 0x10}, {3, 0x04}});
    state.Apply(tv.data(), 200);
    view.Changed(state, PacketKind::Icons, 200);
    view.Animate(state, 450);  // the state the burst left
    view.Animate(state, 900);  // nothing moved
    const Packet text = Text(2, 0, "CH-007");
    state.Apply(text.data(), 950);
    view.Changed(state, PacketKind::Text, 950);  // held ...
    view.Closed(state, 1000);                    // ... and drawn at the end
  }
  ::close(pipeFds[1]);
  std::string out;
  char bytes[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0;)
    out.append(bytes, static_cast<size_t>(n));
  ::close(pipeFds[0]);

  EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
  const std::vector<std::string> rows = Rows(out);
  ASSERT_EQ(rows.size(), 21u) << out;  // three wide faces of seven rows
  EXPECT_EQ(rows[3], "│  .... ..... ...... ...... ... ....... ..     │");
  EXPECT_EQ(rows[10], "│  PLAY ..... ...... ...... ... ....... TV     │");
  EXPECT_EQ(rows[15], "│  CH-007" + Spaces(38) + "│");
}

// While the idle clock ticks every second, a dumb terminal gets a face when something else
// changes and otherwise one a minute; the end writes the last state.
TEST(DumbTerminal, OnlyTheClockMovingGivesAFaceAMinute) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const auto clock = [](int second) {
    char text[32];
    std::snprintf(text, sizeof text, "  9:%02d:%02d PM", 7 + second / 60, second % 60);
    return std::string(text);
  };
  {
    TerminalView view(pipeFds[1], TerminalStyle{false, false});
    PanelState state;
    Packet packet = Text(3, 0, clock(0));
    state.Apply(packet.data(), 0);
    view.Opened(state, 0);
    for (int second = 1; second <= 130; ++second) {
      packet = Text(3, 0, clock(second));
      state.Apply(packet.data(), second * 1000);
      view.Changed(state, PacketKind::Text, second * 1000);
      view.Animate(state, second * 1000 + 400);
      // A channel number: digits, but no time.
      if (second == 10 || second == 20) {
        packet = Text(2, 0, second == 10 ? "CH-007" : "CH-008");
        state.Apply(packet.data(), second * 1000 + 500);
        view.Changed(state, PacketKind::Text, second * 1000 + 500);
      }
    }
    view.Closed(state, 130500);
  }
  ::close(pipeFds[1]);
  std::string out;
  char bytes[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0;)
    out.append(bytes, static_cast<size_t>(n));
  ::close(pipeFds[0]);

  // The first face; each channel change at once; then the clock alone a minute after the last
  // face (second 81 is the first tick at least 60 s after 20.5 s); the last state at the end.
  const std::vector<std::pair<std::string, std::string>> faces = {
      {"", "  9:07:00 PM"},       {"CH-007", "  9:07:10 PM"}, {"CH-008", "  9:07:20 PM"},
      {"CH-008", "  9:08:21 PM"}, {"CH-008", "  9:09:10 PM"},
  };
  const std::vector<std::string> rows = Rows(out);
  ASSERT_EQ(rows.size(), faces.size() * 7) << out;
  for (size_t i = 0; i < faces.size(); ++i) {
    EXPECT_EQ(rows[i * 7 + 1], "│  " + faces[i].first + Spaces(44 - faces[i].first.size()) + "│")
        << "face " << i;
    EXPECT_EQ(rows[i * 7 + 2], "│  " + faces[i].second + Spaces(44 - faces[i].second.size()) + "│")
        << "face " << i;
  }
}

}  // namespace
}  // namespace lumora::emulator
