// Windows-1252, the panel's character set: the table against the characters it is known for,
// the conversion both ways, and the readable forms that show it (the decoded trace). Also the
// event catalogue as the user meets it: names in any case and the closest names.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/text_encoding.h"
#include "base/text_quote.h"
#include "panel/panel_tables.h"
#include "panel/trace_line.h"
#include "scenario/event_names.h"

namespace lumora {
namespace {

TEST(Windows1252, BytesAndTheirCharacters) {
  const std::vector<std::pair<uint8_t, char32_t>> cases{
      {0x41, U'A'},      {0x7F, 0x7F},      {0x80, U'\u20AC'}, {0x82, U'\u201A'},
      {0x8A, U'\u0160'}, {0x8C, U'\u0152'}, {0x8E, U'\u017D'}, {0x91, U'\u2018'},
      {0x96, U'\u2013'}, {0x99, U'\u2122'}, {0x9C, U'\u0153'}, {0x9F, U'\u0178'},
      {0xA0, 0xA0},      {0xE9, U'\u00E9'}, {0xFF, U'\u00FF'}, {0x00, 0},
  };
  for (const auto& [byte, code] : cases) {
    EXPECT_EQ(Windows1252ToUnicode(byte), code) << int{byte};
  }
  // The five undefined bytes have no character, and no character maps to them.
  for (const uint8_t byte : std::vector<uint8_t>{0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(Windows1252ToUnicode(byte), 0u) << int{byte};
    uint8_t back = 0;
    EXPECT_FALSE(UnicodeToWindows1252(byte, back)) << int{byte};
  }
  // Every defined byte comes back from its character.
  int defined = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const char32_t code = Windows1252ToUnicode(static_cast<uint8_t>(byte));
    if (code == 0 && byte != 0) continue;
    ++defined;
    uint8_t back = 0;
    ASSERT_TRUE(UnicodeToWindows1252(code, back)) << byte;
    EXPECT_EQ(back, byte);
  }
  EXPECT_EQ(defined, 251);
  uint8_t byte = 0;
  EXPECT_FALSE(UnicodeToWindows1252(U'\u0142', byte));  // ł
  EXPECT_FALSE(UnicodeToWindows1252(0x85, byte));       // a C1 control: 0x85 is "…"
}

TEST(Windows1252, FromUtf8AndBack) {
  std::string bytes;
  std::string reason;
  ASSERT_TRUE(Utf8ToWindows1252("Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\xA6", bytes, reason));
  EXPECT_EQ(bytes, "Caf\xE9 \x80\x85");
  std::string utf8;
  AppendWindows1252AsUtf8(bytes, utf8);
  EXPECT_EQ(utf8, "Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\xA6");
  utf8.clear();
  AppendWindows1252AsUtf8("\x81", utf8);
  EXPECT_EQ(utf8, "\xEF\xBF\xBD");  // U+FFFD for an undefined byte

  EXPECT_FALSE(Utf8ToWindows1252("ab\xE2\x82", bytes, reason));  // cut short
  EXPECT_EQ(reason, "the byte 0xE2 is not UTF-8");
  EXPECT_FALSE(Utf8ToWindows1252("\xE6\x97\xA5", bytes, reason));
  EXPECT_EQ(reason, "'\xE6\x97\xA5' (U+65E5) is not in Windows-1252, the panel's character set");
}

// The readable forms show printable characters; the scenario quoting keeps every byte escaped.
TEST(Windows1252, DisplayQuotingAndScenarioQuoting) {
  const std::string_view text = "Caf\xE9 \x80\x81\xA0\xAD\x01\"\\";
  EXPECT_EQ(QuoteDisplayText(text), "\"Caf\xC3\xA9 \xE2\x82\xAC\\x81\\xa0\\xad\\x01\\\"\\\\\"");
  EXPECT_EQ(QuoteText(text), "\"Caf\\xe9 \\x80\\x81\\xa0\\xad\\x01\\\"\\\\\"");
}

// A player's UTF-8 text: its characters as they are, control bytes, C1 controls, stray and cut
// bytes escaped, so that the line reads back byte for byte and a terminal shows the title.
TEST(Utf8Quoting, CharactersAsTheyAreOtherBytesEscaped) {
  const struct {
    std::string text;
    std::string quoted;
  } cases[] = {
      {"Caf\xC3\xA9 Cr\xC3\xA8me \xE2\x82\xAC \xF0\x9F\x8E\xB5",
       "\"Caf\xC3\xA9 Cr\xC3\xA8me \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},
      {"tab\there \x01 \"q\" \\", "\"tab\\x09here \\x01 \\\"q\\\" \\\\\""},
      {"stray \xFF and cut \xE2\x82", "\"stray \\xff and cut \\xe2\\x82\""},
      {"C1 \xC2\x85 and overlong \xC0\xAF", "\"C1 \\xc2\\x85 and overlong \\xc0\\xaf\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QuoteUtf8Text(c.text), c.quoted) << c.text;
}

// The notes keep a file's words as they are but for the control characters: C0, DEL, and the
// C1 controls in UTF-8; a lone 0xC2, other UTF-8 and bytes that are not UTF-8 stay.
TEST(Windows1252, NotesShowControlCharacters) {
  EXPECT_EQ(ShowControls("Caf\xC3\xA9 \x1B[2J\r\n\t\x7F\xC2\x9B\xC2\xA0\xE9\xC2"),
            "Caf\xC3\xA9 \\x1b[2J\\x0d\\x0a\\x09\\x7f\\xc2\\x9b\xC2\xA0\xE9\xC2");
  EXPECT_EQ(ShowControls(std::string_view("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(ShowControls("plain 'text'"), "plain 'text'");
}

TEST(Windows1252, DecodedTextPacket) {
  Packet packet{};
  packet[kPacketCommand] = 3;
  const std::string_view text = "\x93Hi\x94 \xFC";
  for (size_t i = 0; i < text.size(); ++i)
    packet[kPacketPayload + i] = static_cast<uint8_t>(text[i]);
  EXPECT_EQ(DecodePacket(packet.data()), "text3 0 \"\xE2\x80\x9CHi\xE2\x80\x9D \xC3\xBC\"");
}

TEST(EventNames, AnyCaseAndTheClosest) {
  ASSERT_NE(scenario::FindEventByNameIgnoringCase("recordedtvSTARTED"), nullptr);
  EXPECT_EQ(scenario::FindEventByNameIgnoringCase("recordedtvSTARTED")->name, "RecordedTvStarted");
  EXPECT_EQ(scenario::FindEventByNameIgnoringCase("RecordedTv"), nullptr);

  const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> cases{
      {"navhome", {"NavHome"}},          {"Paus", {"Pause"}}, {"ScanC", {"ScanA", "ScanB"}},
      {"RadioFreq", {"RadioFrequency"}}, {"Frobnicate", {}},
  };
  for (const auto& [typed, names] : cases) {
    EXPECT_EQ(scenario::SuggestEventNames(typed), names) << typed;
  }
  EXPECT_EQ(scenario::DidYouMean("ScanC"), " (did you mean ScanA or ScanB?)");
  EXPECT_EQ(scenario::DidYouMean("Frobnicate"), "");
}

}  // namespace
}  // namespace lumora
