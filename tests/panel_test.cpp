// The panel wrapper: packet bytes, the send discipline, icons and level bar, clock texts and
// the locale's date order.
#include <gtest/gtest.h>

#include <string>

#include "panel/vfd_cmd.h"
#include "tests/recording_platform.h"

namespace lumora {
namespace {

using test::RecordingPlatform;

class PanelTest : public ::testing::Test {
 protected:
  RecordingPlatform platform;
  CVFDCmd panel{platform};
};

TEST_F(PanelTest, OpensTheDeviceWithItsSelectionNumbers) {
  ASSERT_EQ(platform.calls.size(), 1u);
  EXPECT_EQ(platform.calls[0], "open 11853 16 16");
}

TEST_F(PanelTest, SetPanelOptionPacket) {
  panel.SetPanelOption(3);
  Packet expected{};
  expected[2] = 4;
  expected[3] = 3;
  ASSERT_EQ(platform.packets.size(), 1u);
  EXPECT_EQ(platform.packets[0], expected);
}

TEST_F(PanelTest, WriteTextPayloadIsBoundedToSixtyBytes) {
  const std::string sixty(60, 'x');
  const std::string sixtyOne = std::string(60, 'y') + "Z";
  panel.WriteText(2, 7, sixty.c_str());
  panel.WriteText(3, 0, sixtyOne.c_str());
  panel.WriteText(2, 0, "");
  ASSERT_EQ(platform.packets.size(), 3u);

  const Packet& full = platform.packets[0];
  EXPECT_EQ(full[2], 2);
  EXPECT_EQ(full[3], 7);
  EXPECT_EQ(full[4], 0);
  for (size_t i = 5; i < 65; ++i)
    EXPECT_EQ(full[i], 'x') << "byte " << i;

  const Packet& cut = platform.packets[1];
  EXPECT_EQ(cut[2], 3);
  EXPECT_EQ(cut[64], 'y');  // the 61st character never reaches the panel

  Packet empty{};
  empty[2] = 2;
  EXPECT_EQ(platform.packets[2], empty);
}

TEST_F(PanelTest, WriteTextToAnyOtherLineSendsNothing) {
  for (const uint8_t line : {uint8_t{0}, uint8_t{1}, uint8_t{4}, uint8_t{255}}) {
    EXPECT_EQ(panel.WriteText(line, 0, "x"), 0);
  }
  EXPECT_TRUE(platform.packets.empty());
}

TEST_F(PanelTest, OnlyTheValueOneLightsAnIcon) {
  panel.SetPlayIcon(1);
  panel.SetPlayIcon(2);
  panel.SetTvIcon(1);
  panel.SetTvIcon(-1);
  ASSERT_EQ(platform.packets.size(), 4u);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[0])[2], 0x10);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[1])[2], 0x00);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[2])[3], 0x04);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[3])[3], 0x00);
  for (const Packet& packet : platform.packets) {
    EXPECT_EQ(packet[2], 1);
    for (size_t i = 15; i < 65; ++i)
      EXPECT_EQ(packet[i], 0);
  }
}

TEST_F(PanelTest, VcdIconIsTheCdAndVideoBitsTogether) {
  panel.SetVcdIcon(1);
  panel.SetIcon(Icon::Cd, 0);
  panel.SetVcdIcon(0);
  ASSERT_EQ(platform.packets.size(), 3u);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[0])[5], 0xC0);
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[1])[5], 0x80);  // VideoIcon half stays
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets[2])[5], 0x00);
}

TEST_F(PanelTest, ClearStartsTheIconMapOver) {
  panel.SetIcon(Icon::Music, 1);
  panel.SetLevel(200);
  panel.Clear();
  panel.SetTvIcon(1);
  const IconMap expected{0, 0, 0, 0x04, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets.back()), expected);
}

// Level to segments: map[3..5] as one little-endian number, the bar in bits 4 to 19.
uint32_t BarOf(const IconMap& map) {
  return uint32_t{map[3]} >> 4 | uint32_t{map[4]} << 4 | (uint32_t{map[5]} & 0x0F) << 12;
}

TEST_F(PanelTest, LevelLightsSegmentsByTheStepTable) {
  struct Case {
    int32_t level;
    int segments;
  };
  const Case cases[] = {{0, 1},    {1, 2},   {2, 3},   {3, 3},   {4, 4},   {20, 12},
                        {21, 12},  {22, 13}, {23, 14}, {24, 15}, {25, 16}, {127, 16},
                        {255, 16}, {256, 1}, {257, 2}, {-1, 16}};
  for (const Case& c : cases) {
    platform.packets.clear();
    panel.SetLevel(c.level);
    ASSERT_EQ(platform.packets.size(), 1u);
    const uint32_t bar = BarOf(RecordingPlatform::MapOf(platform.packets[0]));
    EXPECT_EQ(bar, (1u << c.segments) - 1) << "level " << c.level;
  }
}

TEST_F(PanelTest, LevelKeepsTheIconsThatShareItsBytes) {
  panel.SetTvIcon(1);
  panel.SetIcon(Icon::Music, 1);
  panel.SetAuxIndicatorIcon(1);
  panel.SetLevel(0);
  IconMap map = RecordingPlatform::MapOf(platform.packets.back());
  EXPECT_EQ(map[3], 0x15);
  EXPECT_EQ(map[5], 0x20);
  panel.SetLevelStep(16);  // no such step: the bar stays, the map is still sent
  EXPECT_EQ(RecordingPlatform::MapOf(platform.packets.back()), map);
  EXPECT_EQ(platform.packets.size(), 5u);
}

TEST(PanelWithoutDevice, NothingIsSentAndNothingChanges) {
  RecordingPlatform platform;
  platform.SetDeviceFails(5);
  {
    CVFDCmd panel(platform);
    EXPECT_EQ(panel.SetPlayIcon(1), 0);
    EXPECT_EQ(panel.SetLevel(100), 0);
    EXPECT_EQ(panel.Clear(), 0);
    EXPECT_EQ(panel.WriteText(2, 0, "x"), 0);
    EXPECT_EQ(panel.SetPanelOption(3), 0);
    EXPECT_EQ(panel.ShowClock(1), 0);
    panel.StartPanelClock();
    EXPECT_EQ(panel.StopPanelClock(), 0);
    EXPECT_EQ(panel.iconMap(), IconMap{});
  }
  const std::vector<std::string> expected{"open 11853 16 16", "msgbox CVFDCmd|OpenVFD Error: 5"};
  EXPECT_EQ(platform.calls, expected);  // no packet, and no close of a device never opened
}

TEST(HexToInt, ReadsEveryCharacterAsADigit) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {{"0409", 1033},      {"04g9", 1033},   {"", 0},
                        {"fFfF", 65535},     {"ffffffff", -1}, {"100000000", 0},
                        {"1200000409", 1033}};
  for (const Case& c : cases)
    EXPECT_EQ(CVFDCmd::HexToInt(c.text), c.value) << c.text;
}

TEST(ClockTexts, DateOrderAndTwelveHourTime) {
  struct Case {
    const char* locale;  // null: the locale query fails
    uint16_t hour, minute, second;
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {"0409", 0, 5, 9, "JAN 05 2006", " 12:05:09 AM"},
      {"0407", 9, 5, 9, " 5 JAN 2006", "  9:05:09 AM"},
      {"0411", 12, 5, 9, "2006/01/05 ", " 12:05:09 PM"},
      {nullptr, 13, 0, 0, "2006/01/05 ", "  1:00:00 PM"},
      {"0c0c", 23, 59, 59, "JAN 05 2006", " 11:59:59 PM"},
      {"243B", 11, 0, 1, " 5 JAN 2006", " 11:00:01 AM"},
  };
  for (const Case& c : cases) {
    RecordingPlatform platform;
    if (c.locale == nullptr) {
      platform.SetLocaleFails();
    } else {
      platform.SetLocaleAnswer(c.locale);
    }
    platform.SetTime(LocalTime{2006, 1, 5, c.hour, c.minute, c.second});
    CVFDCmd panel(platform);
    panel.ShowClock(1);
    panel.ShowClock(0);
    ASSERT_EQ(platform.packets.size(), 3u);
    EXPECT_EQ(platform.packets[0][2], 2);
    EXPECT_EQ(RecordingPlatform::TextOf(platform.packets[0]), c.date);
    EXPECT_EQ(platform.packets[1][2], 3);
    EXPECT_EQ(RecordingPlatform::TextOf(platform.packets[1]), c.time);
    EXPECT_EQ(platform.packets[2], platform.packets[1]);  // without the date: the time only
  }
}

TEST(PanelClock, HandsOverTheDateTimeAndOrder) {
  struct Case {
    uint16_t year;
    const char* locale;
    uint8_t order, century, yearOfCentury;
  };
  for (const Case& c : {Case{2006, "0407", 2, 20, 6}, Case{2100, "0409", 3, 21, 0},
                        Case{1999, "0411", 1, 19, 99}}) {
    RecordingPlatform platform;
    platform.SetLocaleAnswer(c.locale);
    platform.SetTime(LocalTime{c.year, 1, 5, 21, 7, 30});
    CVFDCmd panel(platform);
    panel.StartPanelClock();
    panel.StopPanelClock();
    ASSERT_EQ(platform.packets.size(), 2u);
    Packet start{};
    const uint8_t bytes[] = {6, 1, c.order, 21, 7, 30, c.century, c.yearOfCentury, 1, 5};
    std::copy(std::begin(bytes), std::end(bytes), start.begin() + 2);
    EXPECT_EQ(platform.packets[0], start) << c.year;
    Packet stop{};
    stop[2] = 6;
    EXPECT_EQ(platform.packets[1], stop);
  }
}

}  // namespace
}  // namespace lumora
