// The translation core's rules for what goes into an event's text field: titles converted to
// the panel's Windows-1252 and cut at a word, the volume as a Level, the position as a play time,
// a player's speed as a play state.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/media_event.h"
#include "panel/vfd_cmd.h"
#include "sources/media_source.h"

namespace lumora::sources {
namespace {

struct TitleCase {
  const char* name;
  std::string utf8;
  std::string field;  // Windows-1252 bytes
};

TEST(FieldText, ConvertsTrimsAndCutsAtAWord) {
  const TitleCase cases[] = {
      {"short title as it is", "Blue in Green", "Blue in Green"},
      {"blanks at either end dropped", "  padded  ", "padded"},
      {"nothing but blanks", "   ", ""},
      {"exactly 32 characters kept", "abcdefghij abcdefghij abcdefghij",
       "abcdefghij abcdefghij abcdefghij"},
      {"cut at the last blank before the 33rd character", "The Quick Brown Fox Jumps Over The Dog",
       "The Quick Brown Fox Jumps Over"},
      {"a blank as the 33rd character keeps all 32", "abcdefghij abcdefghij abcdefghij abc",
       "abcdefghij abcdefghij abcdefghij"},
      {"no blank at all: cut after 32", "Supercalifragilisticexpialidocious and more",
       "Supercalifragilisticexpialidocio"},
      {"the only blank too early: cut after 32", "Short Averyveryveryveryverylongwordwithoutend",
       "Short Averyveryveryveryverylongw"},
      {"10 000 characters", std::string(10000, 'x'), std::string(32, 'x')},
      {"accents to their Windows-1252 bytes", "Caf\xC3\xA9 M\xC3\xBCller", "Caf\xE9 M\xFCller"},
      {"characters the set cannot hold become ?", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "?\xF3\x64?"},
      {"a character outside the BMP is one ?", "A \xF0\x9F\x8E\xB5 B", "A ? B"},
      {"a byte that is not UTF-8 becomes ?",
       "a\xFF"
       "b",
       "a?b"},
      {"a cut sequence at the end becomes ?", "a\xC3", "a?"},
      {"line breaks and tabs become blanks", "Line1\nLine2\tEnd", "Line1 Line2 End"},
      {"an embedded NUL becomes a blank", std::string("A\0B", 3), "A B"},
  };
  for (const TitleCase& c : cases)
    EXPECT_EQ(FieldText(c.utf8), c.field) << c.name;
}

// The volume over the bar's whole range: the Level goes through the agent's reading of its
// number and the panel's level steps, and lights the segments the volume stands for.
TEST(LevelOfVolume, LightsTheBarInProportion) {
  const struct {
    double percent;
    int segments;  // of 16: round(percent × 16 / 100), at least the one a shown bar keeps
  } cases[] = {{0, 1},   {1, 1},   {10, 2},  {25, 4},   {50, 8}, {70, 11},  {75, 12}, {80, 13},
               {90, 14}, {95, 15}, {99, 16}, {100, 16}, {-5, 1}, {150, 16}, {NAN, 1}};
  for (const auto& c : cases) {
    const int payload = LevelOfVolume(c.percent);
    EXPECT_GE(payload, 0) << c.percent;
    EXPECT_LE(payload, 255) << c.percent;
    const uint8_t step = CVFDCmd::LevelToStep(LevelOfPayload(payload));
    EXPECT_EQ(step + 1, c.segments) << c.percent << " % gives Level " << payload;
  }
  // Half the volume, half the bar: step 7, whose lowest level is 12, the Level 24.
  EXPECT_EQ(LevelOfVolume(50), 24);
}

TEST(PlayTimeText, SixDigitsHoursMinutesSeconds) {
  const struct {
    long long seconds;
    const char* text;
  } cases[] = {{0, "000000"},      {61, "000101"},     {5025, "012345"},
               {359999, "995959"}, {360000, "995959"}, {-3, "000000"}};
  for (const auto& c : cases)
    EXPECT_EQ(PlayTimeText(c.seconds), c.text) << c.seconds;
}

TEST(PlayStateOfSpeed, SpeedsToPlayStates) {
  const struct {
    double speed;
    PlayState state;
  } cases[] = {{0, PlayState::Paused},      {1, PlayState::Playing},      {0.5, PlayState::Playing},
               {2, PlayState::FastForward}, {32, PlayState::FastForward}, {-2, PlayState::Rewind},
               {-32, PlayState::Rewind}};
  for (const auto& c : cases)
    EXPECT_EQ(PlayStateOfSpeed(c.speed), c.state) << c.speed;
}

}  // namespace
}  // namespace lumora::sources
