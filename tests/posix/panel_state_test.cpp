// The emulator's model of the panel: what it holds after each kind of packet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/clock_text.h"
#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_view.h"
#include "tests/posix/panel_packets.h"

namespace lumora::emulator {
namespace {

std::vector<std::string> LitIcons(const PanelState& state) {
  std::vector<std::string> names;
  for (const IconBits& bits : kIconBits) {
    if (state.IsLit(bits.icon)) names.push_back(bits.name);
  }
  return names;
}

struct StateCase {
  const char* name;
  std::vector<Packet> packets;
  PacketKind lastKind;
  std::string line2;
  uint8_t scroll2;
  std::string line3;
  std::vector<std::string> lit;
  int segments;  // lit level-bar segments
  bool clockRunning;
};

class PanelStateTable : public ::testing::TestWithParam<StateCase> {};

TEST_P(PanelStateTable, HoldsWhatThePanelShows) {
  const StateCase& c = GetParam();
  PanelState state;
  PacketKind kind = PacketKind::Unknown;
  for (const Packet& p : c.packets)
    kind = state.Apply(p.data(), 0);
  EXPECT_EQ(kind, c.lastKind);
  EXPECT_EQ(state.line(2).View(), c.line2);
  EXPECT_EQ(state.line(2).scroll, c.scroll2);
  EXPECT_EQ(state.line(3).View(), c.line3);
  EXPECT_EQ(LitIcons(state), c.lit);
  EXPECT_EQ(state.LitLevelSegments(), c.segments);
  EXPECT_EQ(state.panelClock().running, c.clockRunning);
  EXPECT_EQ(state.packetCount(), c.packets.size());
}

const std::string k60(60, 'x');

INSTANTIATE_TEST_SUITE_P(
    Packets, PanelStateTable,
    ::testing::Values(
        StateCase{"line2_with_scroll",
                  {Text(2, 18, "Blue in Green (Take 3, 1959)")},
                  PacketKind::Text,
                  "Blue in Green (Take 3, 1959)",
                  18,
                  "",
                  {},
                  0,
                  false},
        StateCase{"line3_replaces_only_line3",
                  {Text(2, 0, "CH-007     "), Text(3, 0, "  9:07:30 PM"), Text(3, 0, "Grandma")},
                  PacketKind::Text,
                  "CH-007     ",
                  0,
                  "Grandma",
                  {},
                  0,
                  false},
        // 60 bytes fill the payload with no terminating zero.
        StateCase{
            "sixty_bytes_no_nul", {Text(2, 50, k60)}, PacketKind::Text, k60, 50, "", {}, 0, false},
        StateCase{"play_and_tv",
                  {Icons({{2, 0x10}, {3, 0x04}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"PLAY", "TV"},
                  0,
                  false},
        // VcdIcon is two bits: both lit show CD, VIDEO and VCD; one alone is not VCD.
        StateCase{"vcd_is_cd_and_video",
                  {Icons({{5, 0xC0}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"CD", "VIDEO", "VCD"},
                  0,
                  false},
        StateCase{"half_of_vcd_is_video",
                  {Icons({{5, 0xC0}}), Icons({{5, 0x80}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"VIDEO"},
                  0,
                  false},
        StateCase{"every_icon",
                  {Icons({{2, 0xF0}, {3, 0x07}, {5, 0xE0}, {7, 0xE0}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"PLAY", "PAUSE", "SCAN A", "SCAN B", "AUX", "PICTURE", "TV", "MUSIC", "CD",
                   "VIDEO", "VCD", "SESSION", "MARKED", "DVD"},
                  0,
                  false},
        // Level steps: step 0 is segment 1 (map[3] 0x10), step 8 nine segments (map[4] 0x1F),
        // step 15 all sixteen (map[5] low nibble too); the icons in the same bytes stay apart.
        StateCase{"level_step_0", {Icons({{3, 0x10}})}, PacketKind::Icons, "", 0, "", {}, 1, false},
        StateCase{"level_step_8_with_tv",
                  {Icons({{3, 0xF4}, {4, 0x1F}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"TV"},
                  9,
                  false},
        StateCase{"level_step_15_with_music",
                  {Icons({{3, 0xF0}, {4, 0xFF}, {5, 0x2F}})},
                  PacketKind::Icons,
                  "",
                  0,
                  "",
                  {"MUSIC"},
                  16,
                  false},
        StateCase{"clear_blanks_lines_and_icons",
                  {Text(2, 0, "MCE Home"), Text(3, 0, "  9:07:30 PM"),
                   Icons({{2, 0x10}, {3, 0xF4}, {4, 0xFF}}), Command(0)},
                  PacketKind::Clear,
                  "",
                  0,
                  "",
                  {},
                  0,
                  false},
        StateCase{"option_changes_nothing_shown",
                  {Text(2, 0, "MCE Home"), Command(4, 3)},
                  PacketKind::Option,
                  "MCE Home",
                  0,
                  "",
                  {},
                  0,
                  false},
        StateCase{"clock_start_after_clear",
                  {Text(2, 0, "CH-007     "), Command(0), ClockStart(2, {21, 7, 30, 20, 6, 1, 5})},
                  PacketKind::ClockStart,
                  "",
                  0,
                  "",
                  {},
                  0,
                  true},
        StateCase{"clock_stop",
                  {ClockStart(3, {21, 7, 30, 20, 6, 1, 5}), Command(6, 0)},
                  PacketKind::ClockStop,
                  "",
                  0,
                  "",
                  {},
                  0,
                  false},
        // A command the panel does not know (5, or 6 with another sub-command) changes nothing.
        StateCase{"unknown_commands",
                  {Text(2, 0, "Music"), Command(5, 1), Command(6, 2), Command(9)},
                  PacketKind::Unknown,
                  "Music",
                  0,
                  "",
                  {},
                  0,
                  false}),
    [](const ::testing::TestParamInfo<StateCase>& param) { return std::string(param.param.name); });

TEST(PanelClock, KeepsWhatItWasGivenAndAdvancesWithTheCallersClock) {
  PanelState state;
  // 5 January 2006, 21:07:30, day-month-year, given at 10 000 ms on the caller's clock.
  const Packet start = ClockStart(2, {21, 7, 30, 20, 6, 1, 5});
  state.Apply(start.data(), 10000);
  const PanelClock& clock = state.panelClock();
  EXPECT_EQ(clock.dateOrder, 2);
  EXPECT_EQ(clock.given.year, 2006);
  EXPECT_EQ(clock.given.month, 1);
  EXPECT_EQ(clock.given.day, 5);

  struct Reading {
    int64_t nowMs;
    const char* date;
    const char* time;
  };
  for (const Reading& r : {Reading{10000, " 5 JAN 2006", "  9:07:30 PM"},
                           Reading{10999, " 5 JAN 2006", "  9:07:30 PM"},
                           Reading{100000, " 5 JAN 2006", "  9:09:00 PM"},
                           Reading{10000 + 10350 * 1000, " 6 JAN 2006", " 12:00:00 AM"}}) {
    const LocalTime t = state.PanelClockTime(r.nowMs);
    char date[32];
    char time[32];
    EXPECT_EQ(std::string(date, FormatPanelClockDate(t, clock.dateOrder, date, sizeof date)),
              r.date)
        << r.nowMs;
    EXPECT_EQ(std::string(time, FormatClockTime(t, time, sizeof time)), r.time) << r.nowMs;
  }
}

TEST(PanelClock, RollsOverTheYearAndShowsEachDateOrder) {
  PanelState state;
  const Packet start = ClockStart(3, {23, 59, 59, 20, 6, 12, 31});
  state.Apply(start.data(), 0);
  const LocalTime t = state.PanelClockTime(1000);
  EXPECT_EQ(t.year, 2007);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  char text[32];
  struct Order {
    uint8_t order;
    const char* date;
  };
  for (const Order& o : {Order{1, "2007/01/01"}, Order{2, " 1 JAN 2007"}, Order{3, "JAN 01 2007"},
                         Order{0, "2007/01/01"}}) {
    EXPECT_EQ(std::string(text, FormatPanelClockDate(t, o.order, text, sizeof text)), o.date);
  }
}

TEST(Scrolling, WindowMovesThroughTheScrollStepsOnly) {
  PanelState state;
  // 28 characters on a 20-column display: the end shows after 8 steps, although the scroll
  // byte allows 18.
  const Packet title = Text(2, 18, "Blue in Green (Take 3, 1959)");
  state.Apply(title.data(), 0);
  const TextLine& line = state.line(2);
  EXPECT_EQ(ScrollSteps(line, 20), 8u);
  EXPECT_EQ(VisibleText(line, 20, 0), "Blue in Green (Take ");
  EXPECT_EQ(VisibleText(line, 20, 8), "Green (Take 3, 1959)");
  EXPECT_EQ(VisibleText(line, 20, 30), "Green (Take 3, 1959)");
  // A scroll byte of 0 keeps a long line still; a line that fits never scrolls.
  const Packet still = Text(3, 0, "Blue in Green (Take 3, 1959)");
  state.Apply(still.data(), 0);
  EXPECT_EQ(ScrollSteps(state.line(3), 20), 0u);
  const Packet menu = Text(2, 7, "Pictures + Videos");
  state.Apply(menu.data(), 0);
  EXPECT_EQ(ScrollSteps(state.line(2), 20), 0u);
  EXPECT_EQ(ScrollSteps(state.line(2), 12), 5u);

  // The animation: a pause of three frames at each end.
  std::vector<size_t> steps;
  for (uint64_t frame = 0; frame < 9; ++frame)
    steps.push_back(ScrollStepAt(2, frame));
  EXPECT_EQ(steps, (std::vector<size_t>{0, 0, 0, 1, 2, 2, 2, 2, 0}));
  EXPECT_EQ(ScrollStepAt(0, 5), 0u);
}

TEST(PlainLine, ShowsLinesIconsLevelAndClock) {
  PanelState state;
  for (const Packet& p :
       {Text(2, 0, "CH-007     "), Icons({{2, 0x10}, {3, 0x34}}), Text(3, 2, "say \"hi\"\x01")}) {
    state.Apply(p.data(), 0);
  }
  std::string line;
  FormatPlainLine(state, PacketKind::Text, 0, line);
  EXPECT_EQ(line,
            "panel 3 text | L2 \"CH-007     \" | L3 \"say \\\"hi\\\"\\x01\"/2 | icons PLAY TV | "
            "level 2/16");

  const Packet start = ClockStart(1, {9, 5, 0, 20, 6, 1, 5});
  state.Apply(start.data(), 0);
  line.clear();
  FormatPlainLine(state, PacketKind::ClockStart, 61000, line);
  EXPECT_NE(line.find("| panel clock 2006/01/05   9:06:01 AM"), std::string::npos) << line;
}

TEST(TerminalPanel, DrawsLitAndUnlitIconsInPlace) {
  PanelState state;
  const Packet icons = Icons({{5, 0x20}});
  state.Apply(icons.data(), 0);
  std::string rows;
  RenderFaceRows(state, 0, 0, 80, true, rows);
  std::string out;
  AppendPositionedRows(rows, out);
  // Every row of the panel's area positioned and cleared before it is drawn, the wide face's
  // seven and the one it leaves clear.
  size_t cleared = 0;
  for (size_t at = out.find("\x1b[2K"); at != std::string::npos; at = out.find("\x1b[2K", at + 1))
    ++cleared;
  EXPECT_EQ(cleared, 8u);
  EXPECT_NE(out.find("\x1b[1;1H"), std::string::npos);
  EXPECT_NE(out.find("\x1b[8;1H\x1b[2K"), std::string::npos);
  EXPECT_EQ(out.find('\n'), std::string::npos);
  // MUSIC in the lit colour, PLAY in the unlit one.
  EXPECT_NE(out.find("\x1b[1;38;5;86mMUSIC"), std::string::npos);
  EXPECT_NE(out.find("\x1b[22;38;5;23mPLAY"), std::string::npos);
}

}  // namespace
}  // namespace lumora::emulator
