#include "paneldrv/emulator/panel_svg.h"

#include <cstdio>

namespace lumora::emulator {

namespace {

// Geometry of the picture, in SVG units.
constexpr int kWidth = 640;
constexpr int kHeight = 240;
constexpr int kCellWidth = 24;
constexpr int kTextLeft = 80;
constexpr int kLine2Base = 78;
constexpr int kLine3Base = 122;
constexpr int kCellTopOffset = 30;  // from a line's base to the top of its cells
constexpr int kCellHeight = 38;

constexpr size_t kIconsPerRow = kIconCount / 2;

// The glass, the lit segments with their glow, the unlit ones barely visible. No ids: many
// pictures live side by side in one page.
constexpr const char kStyle[] =
    "<style>"
    ".face{fill:#111416;stroke:#3a4044;stroke-width:3}"
    ".glass{fill:#041614}"
    ".cell{fill:#082421}"
    ".text{font-family:'DejaVu Sans Mono',Consolas,monospace;font-size:34px;white-space:pre}"
    ".icon{font-family:'DejaVu Sans',Arial,sans-serif;font-size:14px;font-weight:bold;"
    "letter-spacing:1px}"
    ".lit{fill:#7dffe4;filter:drop-shadow(0 0 4px #21e8b4)}"
    ".dim{fill:#103a34}"
    ".label{fill:#5a6a6c;font-family:'DejaVu Sans',Arial,sans-serif;font-size:11px}"
    "</style>";

void Append(std::string& out, const char* format, auto... values) {
  char buffer[256];
  const int n = std::snprintf(buffer, sizeof buffer, format, values...);
  if (n > 0)
    out.append(buffer,
               static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

void SvgText(std::string& out, int base, std::string_view shown, std::string_view whole,
             bool more) {
  for (size_t i = 0; i < kPictureColumns; ++i) {
    Append(out, "<rect class=\"cell\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"2\"/>",
           kTextLeft + static_cast<int>(i) * kCellWidth + 1, base - kCellTopOffset, kCellWidth - 2,
           kCellHeight);
  }
  // Every character in its own cell, so blanks keep their place whatever the font.
  Append(out, "<text class=\"text lit\" x=\"%d\" y=\"%d\" xml:space=\"preserve\"", kTextLeft + 4,
         base);
  if (!shown.empty()) {
    Append(out, " textLength=\"%d\" lengthAdjust=\"spacing\"",
           static_cast<int>(shown.size()) * kCellWidth - 8);
  }
  out += '>';
  out += "<title>";
  AppendEscaped(whole, out);
  out += "</title>";
  AppendEscaped(shown, out);
  out += "</text>";
  if (more) {
    Append(out, "<text class=\"icon lit\" x=\"%d\" y=\"%d\">\u25b6</text>",
           kTextLeft + static_cast<int>(kPictureColumns) * kCellWidth + 8, base - 8);
  }
}

}  // namespace

void AppendEscaped(std::string_view text, std::string& out) {
  for (const char ch : text) {
    const auto c = static_cast<uint8_t>(ch);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += ch;
        } else if (c >= 0xA0) {
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          out += "\u00b7";
        }
        break;
    }
  }
}

std::string RenderPanelSvg(const PanelState& state, int64_t nowMs) {
  std::string out;
  Append(out,
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
         "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Lumora panel\">",
         kWidth, kHeight, kWidth, kHeight);
  out += kStyle;
  Append(out, "<rect class=\"face\" x=\"2\" y=\"2\" width=\"%d\" height=\"%d\" rx=\"18\"/>",
         kWidth - 4, kHeight - 4);
  Append(out, "<rect class=\"glass\" x=\"22\" y=\"22\" width=\"%d\" height=\"%d\" rx=\"8\"/>",
         kWidth - 44, kHeight - 44);

  const emulator::PanelClock& clock = state.panelClock();
  if (clock.running) {
    // The panel's own clock owns both lines while it runs.
    char date[32];
    char time[32];
    const LocalTime now = state.PanelClockTime(nowMs);
    const std::string_view dateText{
        date, emulator::FormatPanelClockDate(now, clock.dateOrder, date, sizeof date)};
    const std::string_view timeText{time, emulator::FormatPanelClockTime(now, time, sizeof time)};
    SvgText(out, kLine2Base, dateText, dateText, false);
    SvgText(out, kLine3Base, timeText, timeText, false);
    Append(out, "<text class=\"label\" x=\"%d\" y=\"%d\">PANEL CLOCK</text>", kTextLeft,
           kLine2Base - 36);
  } else {
    for (const int number : {2, 3}) {
      const emulator::TextLine& line = state.line(number);
      const std::string_view shown = emulator::VisibleText(line, kPictureColumns, 0);
      SvgText(out, number == 2 ? kLine2Base : kLine3Base, shown, line.View(),
              emulator::ScrollSteps(line, kPictureColumns) > 0);
    }
  }
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">L2</text>", kLine2Base - 8);
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">L3</text>", kLine3Base - 8);

  // The icons, two rows in the order of the Icon Map table, each lit or unlit.
  for (size_t i = 0; i < kIconCount; ++i) {
    const IconBits& bits = kIconBits[i];
    const int row = static_cast<int>(i / kIconsPerRow);
    const int column = static_cast<int>(i % kIconsPerRow);
    Append(out, "<text class=\"icon %s\" x=\"%d\" y=\"%d\">%s</text>",
           state.IsLit(bits.icon) ? "lit" : "dim", 40 + column * 84, 160 + row * 22, bits.name);
  }

  // The level bar: 16 segments growing from the left.
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">LEVEL</text>", 210);
  const uint16_t segments = state.LevelSegments();
  for (int i = 0; i < kLevelStepCount; ++i) {
    Append(out, "<rect class=\"%s\" x=\"%d\" y=\"198\" width=\"24\" height=\"14\" rx=\"2\"/>",
           (segments >> i & 1) != 0 ? "lit" : "dim", 80 + i * 30);
  }
  out += "</svg>\n";
  return out;
}

std::string RenderPanelHtml(std::string_view title, const std::vector<PanelPicture>& pictures) {
  std::string out;
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Lumora "
      "panel: ";
  AppendEscaped(title, out);
  out +=
      "</title>\n<style>\n"
      "body{background:#1b1f22;color:#d8e0e2;font-family:'DejaVu Sans',Arial,sans-serif;"
      "margin:24px}\n"
      "h1{font-size:20px;font-weight:normal}\n"
      "#controls{margin:12px 0}\n"
      "#controls button{background:#2b3236;color:#d8e0e2;border:1px solid #4a5458;"
      "padding:6px 12px;margin-right:4px;cursor:pointer}\n"
      "#counter{display:inline-block;min-width:90px;text-align:center}\n"
      ".frame{display:flex;gap:24px;align-items:flex-start;margin-bottom:24px}\n"
      ".js .frame{display:none}\n"
      ".js .frame.current{display:flex}\n"
      ".about pre{background:#111416;padding:8px;margin:6px 0;white-space:pre-wrap}\n"
      ".source{color:#7dffe4}\n"
      ".calls{color:#9aa6a8;font-size:12px}\n"
      ".hint{color:#7a8688;font-size:12px}\n"
      "</style>\n</head>\n<body>\n<h1>Lumora panel: ";
  AppendEscaped(title, out);
  out +=
      "</h1>\n<div id=\"controls\"><button id=\"first\" title=\"Home\">|&lt;</button>"
      "<button id=\"prev\" title=\"Left arrow\">&lt; Back</button><span id=\"counter\"></span>"
      "<button id=\"next\" title=\"Right arrow\">Next &gt;</button>"
      "<button id=\"last\" title=\"End\">&gt;|</button>"
      "<button id=\"play\" title=\"Space\">Play</button></div>\n"
      "<p class=\"hint\">Keys: left and right arrows step, Home and End jump, space plays.</p>\n";
  if (pictures.empty()) out += "<p>The scenario has no steps.</p>\n";
  out += "<div id=\"frames\">\n";
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PanelPicture& picture = pictures[i];
    Append(out, "<section class=\"frame\" id=\"step%zu\">\n<div class=\"picture\">", i + 1);
    out += picture.svg;
    Append(out,
           "</div>\n<div class=\"about\"><div>Step %zu of %zu, scenario line %zu</div>"
           "<pre class=\"source\">",
           i + 1, pictures.size(), picture.line);
    AppendEscaped(picture.source, out);
    out += "</pre><pre class=\"calls\">";
    if (picture.calls.empty()) out += "(nothing sent to the panel)";
    for (size_t k = 0; k < picture.calls.size(); ++k) {
      if (k > 0) out += '\n';
      AppendEscaped(picture.calls[k], out);
    }
    out += "</pre></div>\n</section>\n";
  }
  out +=
      "</div>\n<script>\n"
      "(function () {\n"
      "  var frames = document.querySelectorAll('.frame');\n"
      "  var counter = document.getElementById('counter');\n"
      "  var current = 0, timer = null;\n"
      "  document.body.classList.add('js');\n"
      "  function show(n) {\n"
      "    if (frames.length === 0) { counter.textContent = '0 / 0'; return; }\n"
      "    current = Math.max(0, Math.min(frames.length - 1, n));\n"
      "    for (var i = 0; i < frames.length; i++)\n"
      "      frames[i].classList.toggle('current', i === current);\n"
      "    counter.textContent = (current + 1) + ' / ' + frames.length;\n"
      "  }\n"
      "  function play() {\n"
      "    if (timer) { clearInterval(timer); timer = null; return; }\n"
      "    timer = setInterval(function () {\n"
      "      if (current >= frames.length - 1) { clearInterval(timer); timer = null; return; }\n"
      "      show(current + 1);\n"
      "    }, 800);\n"
      "  }\n"
      "  document.getElementById('first').onclick = function () { show(0); };\n"
      "  document.getElementById('prev').onclick = function () { show(current - 1); };\n"
      "  document.getElementById('next').onclick = function () { show(current + 1); };\n"
      "  document.getElementById('last').onclick = function () { show(frames.length - 1); };\n"
      "  document.getElementById('play').onclick = play;\n"
      "  document.addEventListener('keydown', function (e) {\n"
      "    if (e.key === 'ArrowRight') show(current + 1);\n"
      "    else if (e.key === 'ArrowLeft') show(current - 1);\n"
      "    else if (e.key === 'Home') show(0);\n"
      "    else if (e.key === 'End') show(frames.length - 1);\n"
      "    else if (e.key === ' ') { e.preventDefault(); play(); }\n"
      "    else return;\n"
      "  });\n"
      "  show(0);\n"
      "})();\n"
      "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace lumora::emulator
