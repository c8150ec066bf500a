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

// The section of step n of a page, "" when there is none.
std::string Section(const std::string& page, size_t n) {
  const size_t start = page.find("<section class=\"frame\" id=\"step" + std::to_string(n) + "\"");
  const size_t end = page.find("</section>", start);
  return start == std::string::npos || end == std::string::npos ? ""
                                                                : page.substr(start, end - start);
}

// The class (lit or dim) of the icon drawn with this name.
std::string IconClass(const std::string& svg, const std::string& name) {
  const size_t text = svg.find(">" + name + "</text>");
  const size_t cls = svg.rfind("class=\"icon ", text);
  if (text == std::string::npos || cls == std::string::npos) return "";
  const size_t start = cls + 12;
  return svg.substr(start, svg.find('"', start) - start);
}

// The characters drawn on a text line, each at the x of its own cell (80 + 24 * column + 2);
// "?" where a character is missing or out of place.
std::string Shown(const std::string& svg, int line) {
  const std::string open = "data-line=\"" + std::to_string(line) + "\"";
  const size_t start = svg.find(open);
  const size_t end = svg.find("</text>", start);
  if (start == std::string::npos || end == std::string::npos) return "?";
  const std::string text = svg.substr(start, end - start);
  std::string shown;
  size_t at = text.find("<tspan");
  for (int column = 0; at != std::string::npos; ++column, at = text.find("<tspan", at + 1)) {
    const std::string tag = "<tspan x=\"" + std::to_string(80 + 24 * column + 2) + "\">";
    const size_t close = text.find("</tspan>", at);
    if (text.compare(at, tag.size(), tag) != 0 || close == std::string::npos) return shown + "?";
    shown += text.substr(at + tag.size(), close - at - tag.size());
  }
  return shown;
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
  EXPECT_EQ(Shown(svg, 3), "  9:07:35 PM");
  EXPECT_EQ(Shown(svg, 2), " 5 JAN 2006");
  EXPECT_EQ(svg.find("CH-007"), std::string::npos);
}

TEST(PanelHtml, OneSectionPerStepWithItsLine) {
  std::vector<PanelPicture> pictures(2);
  pictures[0].svg = "<svg>one</svg>";
  pictures[0].line = 3;
  pictures[0].source = "event 7 LiveTvStarted";
  pictures[0].calls = {"open 11853 16 16"};
  pictures[1].svg = "<svg>two</svg>";
  pictures[1].line = 5;
  pictures[1].source = "event 7 MusicTitle \"Rock & <Roll>\"";
  const std::string page = RenderPanelHtml("a<b>.scn", pictures);
  EXPECT_EQ(Count(page, "<section class=\"frame\""), 2u);
  EXPECT_NE(page.find("<title>Lumora panel: a&lt;b&gt;.scn</title>"), std::string::npos);
  // Each picture drawn once, and used by its step.
  EXPECT_NE(page.find("<symbol id=\"picture1\" viewBox=\"0 0 640 240\">one</symbol>"),
            std::string::npos);
  EXPECT_NE(page.find("<symbol id=\"picture2\" viewBox=\"0 0 640 240\">two</symbol>"),
            std::string::npos);
  EXPECT_NE(Section(page, 1).find("<use href=\"#picture1\"/>"), std::string::npos);
  EXPECT_NE(Section(page, 2).find("<use href=\"#picture2\"/>"), std::string::npos);
  EXPECT_NE(page.find("Step 2 of 2, scenario line 5"), std::string::npos);
  EXPECT_NE(page.find("event 7 MusicTitle &quot;Rock &amp; &lt;Roll&gt;&quot;"), std::string::npos);
  EXPECT_NE(page.find("(nothing sent to the panel)"), std::string::npos);
  for (const char* id : {"id=\"first\"", "id=\"prev\"", "id=\"next\"", "id=\"last\"",
                         "id=\"counter\"", "ArrowRight", "ArrowLeft"}) {
    EXPECT_NE(page.find(id), std::string::npos) << id;
  }
  // Self-contained: nothing is fetched, every link stays on the page.
  EXPECT_EQ(page.find("src="), std::string::npos);
  EXPECT_EQ(Count(page, "href="), Count(page, "href=\"#step") + Count(page, "href=\"#picture"));
}

TEST(PanelHtml, TimelineCaptionsClocksAndPacketsOfEachStep) {
  std::vector<PanelPicture> pictures(2);
  pictures[0] = {"<svg>one</svg>",
                 7,
                 "event 7 LiveTvStarted",
                 // An Icon Map with TV lit and level step 6, then a text line.
                 {"cmd 0000010000000000f40700000000" + std::string(102, '0'),
                  "cmd 0000020000" + std::string("4348") + std::string(116, '0'), "sleep 1000"},
                 {"Live TV <starts>", "and plays"},
                 "LiveTvStarted",
                 "7",
                 "2006-01-05 21:07:30",
                 ""};
  pictures[1] = {"<svg>two</svg>",      9, "power 4", {}, {}, "power 4", "", "2006-01-05 21:08:31",
                 "JAN 05 2006 21:08:31"};
  const std::string page = RenderPanelHtml("x.scn", pictures);
  // The timeline: a caption line each, then the step with its time, name and session.
  EXPECT_NE(page.find("<li class=\"caption\">Live TV &lt;starts&gt;</li>\n"
                      "<li class=\"caption\">and plays</li>\n<li><a href=\"#step1\" "
                      "data-step=\"1\""),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"n\">1</span><span class=\"vt\">21:07:30</span><span "
                      "class=\"name\">LiveTvStarted</span><span class=\"payload\"></span><span "
                      "class=\"session\">7</span>"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"vt\">21:08:31</span><span class=\"name\">power "
                      "4</span><span class=\"payload\"></span><span class=\"session\"></span>"),
            std::string::npos);
  // The step: its captions, the clocks, icons by name with the bytes beside.
  EXPECT_NE(page.find("<div class=\"captions\"><p>Live TV &lt;starts&gt;</p><p>and plays</p>"),
            std::string::npos);
  EXPECT_NE(page.find("<dd class=\"virtual-time\">2006-01-05 21:08:31</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd class=\"panel-clock\">JAN 05 2006 21:08:31</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd class=\"panel-clock\">not running</dd>"), std::string::npos);
  EXPECT_NE(page.find("<span class=\"call\">icons TV; level 7/16</span><details "
                      "class=\"bytes\"><summary>packet bytes</summary><code>00 00 01 00 00\n"
                      "00 00 00 f4 07 00"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"call\">text2 0 &quot;CH&quot;</span><details"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"call\">sleep 1000</span></li>"), std::string::npos);
  EXPECT_EQ(page.find("icons 00"), std::string::npos);
}

TEST(PanelHtml, DescribesIconMapsByName) {
  const struct {
    std::string map;  // the 10 Icon Map bytes in hex
    const char* shown;
  } cases[] = {
      {"00000000000000000000", "icons none; level 0/16"},
      // VCD is CD and VIDEO together; every segment of the bar.
      {"000000f0ffcf00000000", "icons CD, VIDEO, VCD; level 16/16"},
      {"0000f0070000e0000000", "icons PLAY, PAUSE, SCAN A, SCAN B, AUX, PICTURE, TV; level 0/16"},
      {"0000000000e000e00000", "icons MUSIC, CD, VIDEO, VCD, SESSION, MARKED, DVD; level 0/16"},
  };
  for (const auto& c : cases) {
    const std::string line = "cmd 0000010000" + c.map + std::string(100, '0');
    EXPECT_EQ(DescribeCall(line), c.shown) << c.map;
  }
  EXPECT_EQ(DescribeCall("open 11853 16 16"), "open 11853 16 16");
  EXPECT_EQ(DescribeCall("cmd 0000000000" + std::string(120, '0')), "clear");
}

}  // namespace
}  // namespace lumora::emulator
