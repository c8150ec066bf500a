// Pictures of the emulated panel: the SVG face and the page that steps through a run.
#include <gtest/gtest.h>

#include <string>

#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_svg.h"

namespace lumora::emulator {
namespace {

size_t Count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++n;
  return n;
}

// The class (lit or dim) of the icon drawn with this name.
std::string IconClass(const std::string& svg, const std::string& name) {
  const size_t text = svg.find(">" + name + "</text>");
  const size_t cls = svg.rfind("class=\"icon ", text);
  if (text == std::string::npos || cls == std::string::npos) return "";
  const size_t start = cls + 12;
  return svg.substr(start, svg.find('"', start) - start);
}

emulator::PanelState Showing(const char* line2, const IconMap& map) {
  emulator::PanelState state;
  Packet text{};
  text[2] = 2;
  for (size_t i = 0; line2[i] != '\0'; ++i)
    text[5 + i] = static_cast<uint8_t>(line2[i]);
  state.Apply(text.data(), 0);
  Packet icons{};
  icons[2] = 1;
  for (size_t i = 0; i < map.size(); ++i)
    icons[5 + i] = map[i];
  state.Apply(icons.data(), 0);
  return state;
}

TEST(PanelSvg, EveryIconLitOrUnlitAndTheLevelBar) {
  // PLAY, VCD (CD and VIDEO with it) and five level segments.
  const emulator::PanelState state =
      Showing("A<B & \"C\"", {0, 0, 0x10, 0xF0, 0x01, 0xC0, 0, 0, 0, 0});
  const std::string svg = RenderPanelSvg(state, 0);
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  for (const IconBits& bits : kIconBits) {
    const std::string name = bits.name;
    ASSERT_EQ(Count(svg, ">" + name + "</text>"), 1u) << name;
    const bool lit = name == "PLAY" || name == "CD" || name == "VIDEO" || name == "VCD";
    EXPECT_EQ(IconClass(svg, name), lit ? "lit" : "dim") << name;
  }
  // 16 segments, 5 lit.
  EXPECT_EQ(Count(svg, "<rect class=\"lit\""), 5u);
  EXPECT_EQ(Count(svg, "<rect class=\"dim\""), 11u);
  // Markup in the panel's text is escaped.
  EXPECT_NE(svg.find("A&lt;B &amp; &quot;C&quot;"), std::string::npos);
  EXPECT_EQ(svg.find("A<B"), std::string::npos);
}

TEST(PanelSvg, PanelClockOwnsTheLines) {
  emulator::PanelState state = Showing("CH-007     ", {});
  Packet clear{};
  state.Apply(clear.data(), 0);
  Packet start{};
  start[2] = 6;
  start[3] = 1;
  start[4] = 2;
  const uint8_t fields[] = {21, 7, 30, 20, 6, 1, 5};
  for (size_t i = 0; i < sizeof fields; ++i)
    start[5 + i] = fields[i];
  state.Apply(start.data(), 1000);
  const std::string svg = RenderPanelSvg(state, 6000);
  EXPECT_NE(svg.find("PANEL CLOCK"), std::string::npos);
  EXPECT_NE(svg.find(">21:07:35</text>"), std::string::npos);
  EXPECT_NE(svg.find("> 5 JAN 2006</text>"), std::string::npos);
  EXPECT_EQ(svg.find("CH-007"), std::string::npos);
}

TEST(PanelHtml, OneSectionPerStepWithItsLine) {
  std::vector<PanelPicture> pictures(2);
  pictures[0] = {"<svg>one</svg>", 3, "event 7 LiveTvStarted", {"icons 00 00 00 04"}};
  pictures[1] = {"<svg>two</svg>", 5, "event 7 MusicTitle \"Rock & <Roll>\"", {}};
  const std::string page = RenderPanelHtml("a<b>.scn", pictures);
  EXPECT_EQ(Count(page, "<section class=\"frame\""), 2u);
  EXPECT_NE(page.find("<title>Lumora panel: a&lt;b&gt;.scn</title>"), std::string::npos);
  EXPECT_NE(page.find("<svg>one</svg>"), std::string::npos);
  EXPECT_NE(page.find("Step 2 of 2, scenario line 5"), std::string::npos);
  EXPECT_NE(page.find("event 7 MusicTitle &quot;Rock &amp; &lt;Roll&gt;&quot;"), std::string::npos);
  EXPECT_NE(page.find("(nothing sent to the panel)"), std::string::npos);
  for (const char* id : {"id=\"first\"", "id=\"prev\"", "id=\"next\"", "id=\"last\"",
                         "id=\"counter\"", "ArrowRight", "ArrowLeft"}) {
    EXPECT_NE(page.find(id), std::string::npos) << id;
  }
  // Self-contained: nothing is fetched.
  EXPECT_EQ(page.find("src="), std::string::npos);
  EXPECT_EQ(page.find("href="), std::string::npos);
}

}  // namespace
}  // namespace lumora::emulator
