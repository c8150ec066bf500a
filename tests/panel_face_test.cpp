// The on-screen panel's face: its font table, and the pixels read back as the panel shows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/text_encoding.h"
#include "paneldrv/window/dot_font.h"
#include "paneldrv/window/panel_face.h"

namespace lumora::window {
namespace {

Packet Command(uint8_t command, uint8_t arg1 = 0, uint8_t arg2 = 0) {
  Packet p{};
  p[kPacketCommand] = command;
  p[kPacketArg1] = arg1;
  p[kPacketArg2] = arg2;
  return p;
}

Packet Text(uint8_t line, uint8_t scroll, std::string_view text) {
  Packet p = Command(line, scroll);
  for (size_t i = 0; i < text.size() && i < kPayloadSize; ++i)
    p[kPacketPayload + i] = static_cast<uint8_t>(text[i]);
  return p;
}

uint32_t Pixel(const FacePixels& pixels, int x, int y) {
  return pixels[static_cast<size_t>(y) * kFaceWidth + static_cast<size_t>(x)];
}

// Reads a text line back from the pixels: each cell's dots compared with every glyph of the
// font (the first byte that has it); '?' for a cell that matches none, and any dot neither lit nor
// unlit fails the test.
std::string ReadLine(const FacePixels& pixels, int top) {
  std::string text;
  for (int cell = 0; cell < 20; ++cell) {
    Glyph seen{};
    for (int row = 0; row < kGlyphRows; ++row) {
      for (int column = 0; column < kGlyphColumns; ++column) {
        const int x = kTextLeft + cell * kCellWidth + kDotLeft + column * kDotPitch;
        const int y = top + kDotTop + row * kDotPitch;
        const uint32_t colour = Pixel(pixels, x, y);
        EXPECT_TRUE(colour == kLitColour || colour == kUnlitDotColour) << "cell " << cell;
        // The whole dot has one colour, and the gap beside it is the cell's.
        EXPECT_EQ(Pixel(pixels, x + kDotSize - 1, y + kDotSize - 1), colour);
        EXPECT_EQ(Pixel(pixels, x + kDotSize, y), kCellColour);
        if (colour == kLitColour) {
          seen[static_cast<size_t>(row)] |= static_cast<uint8_t>(1 << (kGlyphColumns - 1 - column));
        }
      }
    }
    char shown = '?';
    for (int byte = 0x20; byte < 0x100 && shown == '?'; ++byte) {
      if (GlyphOf(static_cast<uint8_t>(byte)) == seen) shown = static_cast<char>(byte);
    }
    text += shown;
  }
  return text;
}

int CountColour(const FacePixels& pixels, int top, int height, uint32_t colour) {
  int count = 0;
  for (int y = top; y < top + height; ++y) {
    for (int x = 0; x < kFaceWidth; ++x)
      count += Pixel(pixels, x, y) == colour ? 1 : 0;
  }
  return count;
}

int Dots(std::string_view text) {
  int dots = 0;
  for (const char c : text) {
    for (const uint8_t row : GlyphOf(static_cast<uint8_t>(c)))
      dots += std::popcount(row);
  }
  return dots;
}

TEST(DotFont, EveryPrintableCharacterHasAGlyphOfItsOwnWithinFiveColumns) {
  for (int a = 0x20; a < 0x7F; ++a) {
    const Glyph& glyph = GlyphOf(static_cast<uint8_t>(a));
    for (const uint8_t row : glyph)
      EXPECT_EQ(row & ~0x1F, 0) << "byte " << a;
    if (a != ' ') {
      EXPECT_GT(Dots(std::string(1, static_cast<char>(a))), 0) << "byte " << a;
    }
    for (int b = a + 1; b < 0x7F; ++b)
      EXPECT_NE(glyph, GlyphOf(static_cast<uint8_t>(b))) << "bytes " << a << " and " << b;
  }
}

// The printable characters of the panel's set, from the project's Windows-1252 table: every byte
// whose character is neither a control character nor undefined.
bool Printable(int byte) {
  const char32_t c = Windows1252ToUnicode(static_cast<uint8_t>(byte));
  return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0);
}

TEST(DotFont, EveryPrintableWindows1252CharacterHasAGlyphOfItsOwn) {
  // Shown alike on purpose: the no-break space as the space; the soft hyphen, and the em dash
  // (five columns hold no longer line), as the hyphen.
  const std::map<int, int> alike = {{0xA0, ' '}, {0xAD, '-'}, {0x97, '-'}};
  const Glyph& dot = GlyphOf(0x01);
  int printable = 0;
  for (int a = 0; a < 256; ++a) {
    if (!Printable(a)) continue;
    ++printable;
    const Glyph& glyph = GlyphOf(static_cast<uint8_t>(a));
    for (const uint8_t row : glyph)
      EXPECT_EQ(row & ~0x1F, 0) << "byte " << a;
    EXPECT_NE(glyph, dot) << "byte " << a << " shows as a control byte";
    if (a != ' ' && a != 0xA0) {
      EXPECT_GT(Dots(std::string(1, static_cast<char>(a))), 0) << "byte " << a;
    }
    for (int b = a + 1; b < 256; ++b) {
      if (!Printable(b)) continue;
      const auto same = alike.find(b);
      if (same != alike.end() && same->second == a) {
        EXPECT_EQ(glyph, GlyphOf(static_cast<uint8_t>(b))) << "bytes " << a << " and " << b;
      } else if (!(alike.contains(a) && alike.contains(b) && alike.at(a) == alike.at(b))) {
        EXPECT_NE(glyph, GlyphOf(static_cast<uint8_t>(b))) << "bytes " << a << " and " << b;
      }
    }
  }
  EXPECT_EQ(printable, 95 + 123);  // ASCII, and 0x80 to 0xFF but for the five undefined bytes
}

TEST(DotFont, ControlAndUndefinedBytesShowAsADot) {
  const Glyph& dot = GlyphOf(0x01);
  EXPECT_EQ(Dots("\x01"), 1);
  for (const int other : {0x00, 0x09, 0x1F, 0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(GlyphOf(static_cast<uint8_t>(other)), dot) << other;
}

TEST(DotFont, AccentedLettersKeepTheirLetterUnderTheMark) {
  // A small letter keeps its body (rows 2 to 6); a capital keeps its shape in rows 1 to 6, its
  // second row left out for the mark above it.
  struct Letter {
    uint8_t byte;
    char base;
  };
  for (const Letter& l :
       {Letter{0xE9, 'e'}, Letter{0xF1, 'n'}, Letter{0xFF, 'y'}, Letter{0x9A, 's'},
        Letter{0xC4, 'A'}, Letter{0xDC, 'U'}, Letter{0x8A, 'S'}, Letter{0xD1, 'N'}}) {
    const Glyph& accented = GlyphOf(l.byte);
    const Glyph& base = GlyphOf(static_cast<uint8_t>(l.base));
    if (l.base >= 'a') {
      for (size_t row = 2; row < 7; ++row)
        EXPECT_EQ(accented[row], base[row]) << int{l.byte} << " row " << row;
      EXPECT_NE(accented[0] | accented[1], 0) << int{l.byte} << ": no mark";
    } else {
      EXPECT_EQ(accented[1], base[0]) << int{l.byte};
      for (size_t row = 2; row < 7; ++row)
        EXPECT_EQ(accented[row], base[row]) << int{l.byte} << " row " << row;
      EXPECT_NE(accented[0], 0) << int{l.byte} << ": no mark";
    }
  }
}

class PanelFace : public ::testing::Test {
 protected:
  void Send(const Packet& packet, int64_t nowMs = 0) { state.Apply(packet.data(), nowMs); }
  void Draw(int64_t nowMs = 0, uint64_t frame = 0) { RenderFace(state, nowMs, frame, *pixels); }

  emulator::PanelState state;
  std::unique_ptr<FacePixels> pixels = std::make_unique<FacePixels>();
};

TEST_F(PanelFace, TextLinesInTheDotFont) {
  Send(Text(kCmdLine2, 0, "Wild Coasts"));
  Send(Text(kCmdLine3, 0, "    00:15:00"));
  Draw();
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "Wild Coasts         ");
  EXPECT_EQ(ReadLine(*pixels, kLine3Top), "    00:15:00        ");
  // A line of the whole printable range, twenty at a time.
  for (int first = 0x20; first < 0x7F; first += 20) {
    std::string chunk;
    for (int c = first; c < first + 20 && c < 0x7F; ++c)
      chunk += static_cast<char>(c);
    Send(Text(kCmdLine2, 0, chunk));
    Draw();
    EXPECT_EQ(ReadLine(*pixels, kLine2Top), chunk + std::string(20 - chunk.size(), ' '));
  }
}

TEST_F(PanelFace, TitlesInEveryCharacterOfThePanelsSet) {
  // Titles as an event source sends them, in Windows-1252 bytes.
  for (const std::string_view title : {"Caf\xE9 \x96 Cr\xE8me Br\xFBl\xE9"
                                       "e",
                                       "\x80 9,99 \x85 \x93"
                                       "Fr\xFC"
                                       "hst\xFC"
                                       "ck\x94",
                                       "Don\x92t Stop\x99 \xC5ngstr\xF6m",
                                       "\xD1o\xF1o \xBF\xDF? \xBD \xB0"
                                       "C \xE6\xF8"}) {
    Send(Text(kCmdLine2, 0, title));
    Draw();
    EXPECT_EQ(ReadLine(*pixels, kLine2Top),
              std::string(title) + std::string(20 - title.size(), ' '));
  }
}

TEST_F(PanelFace, LongLineScrollsWithTheAnimationFrames) {
  // 28 characters with scroll byte 18: 8 steps; frames 0 to 2 pause at the start, then one
  // column a frame from frame 3.
  Send(Text(kCmdLine2, 18, "Blue in Green (Take 3, 1959)"));
  Draw(0, 0);
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "Blue in Green (Take ");
  Draw(0, 3);
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "lue in Green (Take 3");
  Draw(0, 10);
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "Green (Take 3, 1959)");
}

TEST_F(PanelFace, PanelClockRunsWithTheGivenClock) {
  Send(Text(kCmdLine2, 0, "MCE Home"));
  // Month-day-year, 21:07:30 on 2006-01-05, handed at 1000 ms.
  Packet start = Command(kCmdPanelClock, kPanelClockStart, kMonthDayYear);
  const uint8_t fields[] = {21, 7, 30, 20, 6, 1, 5};
  for (size_t i = 0; i < sizeof fields; ++i)
    start[kPacketPayload + i] = fields[i];
  Send(start, 1000);
  // The time in the agent's 12-hour form, the hour right-aligned after a blank.
  struct Reading {
    int64_t afterMs;
    const char* line3;
  };
  const Reading readings[] = {
      {35'000, "  9:08:05 PM        "},
      {(2 * 3600 + 52 * 60 + 29) * 1000LL, " 11:59:59 PM        "},  // the last second of the day
      {(2 * 3600 + 52 * 60 + 30) * 1000LL, " 12:00:00 AM        "},  // midnight
      {(5 * 3600 + 52 * 60 + 30) * 1000LL, "  3:00:00 AM        "},
      {(14 * 3600 + 52 * 60 + 30) * 1000LL, " 12:00:00 PM        "},  // noon
      {(15 * 3600 + 52 * 60 + 30) * 1000LL, "  1:00:00 PM        "},
  };
  for (const Reading& r : readings) {
    Draw(1000 + r.afterMs);
    EXPECT_EQ(ReadLine(*pixels, kLine3Top), r.line3) << r.afterMs;
  }
  Draw(1000 + 35'000);
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "JAN 05 2006         ");
  const int labelled = CountColour(*pixels, 180, 20, kFrameColour);

  Send(Command(kCmdPanelClock, kPanelClockStop));
  Draw(1000 + 36'000);
  EXPECT_EQ(ReadLine(*pixels, kLine2Top), "MCE Home            ");
  // "PANEL CLOCK" under the glass only while the clock runs: its dots, 4 pixels each, and the
  // border line that its gap interrupted.
  const int plain = CountColour(*pixels, 180, 20, kFrameColour);
  const int gap = (11 * 12 - 2) + 12;
  EXPECT_EQ(labelled - plain, 4 * Dots("PANEL CLOCK") - gap);
}

TEST_F(PanelFace, IconsAndLevelBarLitAsTheIconMapSays) {
  struct Case {
    IconMap map;
    std::string_view lit;  // the names of the lit icons, as drawn
    int segments;
  };
  const Case cases[] = {
      {{}, "", 0},
      // TV and PLAY, level step 6 (bits 0x7F0 of map[3..5]).
      {{0, 0, 0x10, 0xF4, 0x07, 0, 0, 0, 0, 0}, "PLAYTV", 7},
      // VCD is the CD and VIDEO bits together: all three names light; every segment.
      {{0, 0, 0, 0xF0, 0xFF, 0xCF, 0, 0, 0, 0}, "CDVIDEOVCD", 16},
      // Every icon bit.
      {{0, 0, 0xF0, 0x07, 0, 0xE0, 0, 0xE0, 0, 0},
       "PLAYPAUSESCAN ASCAN BAUXPICTURETVMUSICCDVIDEOVCDSESSIONMARKEDDVD",
       0},
  };
  int allDots = 0;
  for (const IconBits& bits : kIconBits)
    allDots += Dots(bits.name);
  for (const Case& c : cases) {
    Packet icons = Command(kCmdIcons);
    std::copy(c.map.begin(), c.map.end(), icons.begin() + kPacketPayload);
    Send(icons);
    Draw();
    const int band = 2 * kIconRowPitch;
    EXPECT_EQ(CountColour(*pixels, kIconRowTop, band, kLitColour), 4 * Dots(c.lit)) << c.lit;
    EXPECT_EQ(CountColour(*pixels, kIconRowTop, band, kDimColour), 4 * (allDots - Dots(c.lit)))
        << c.lit;
    for (int i = 0; i < kLevelStepCount; ++i) {
      const int x = kTextLeft + i * kLevelPitch + (kLevelPitch - kLevelGap) / 2;
      EXPECT_EQ(Pixel(*pixels, x, kLevelTop + kLevelHeight / 2),
                i < c.segments ? kLitColour : kDimColour)
          << c.lit << " segment " << i + 1;
    }
  }
}

}  // namespace
}  // namespace lumora::window
