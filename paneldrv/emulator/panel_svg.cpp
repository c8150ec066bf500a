#include "paneldrv/emulator/panel_svg.h"

#include <cstdio>
#include <unordered_map>

#include "base/text_encoding.h"
#include "panel/trace_line.h"

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
// From a cell's left edge to its character's: centres a monospaced glyph of the text's size
// (34 px, an advance of about 20.5 px) in the 24 px cell.
constexpr int kGlyphInset = 2;

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

void SvgText(std::string& out, int number, int base, std::string_view shown, std::string_view whole,
             bool more) {
  for (size_t i = 0; i < kPanelColumns; ++i) {
    Append(out, "<rect class=\"cell\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"2\"/>",
           kTextLeft + static_cast<int>(i) * kCellWidth + 1, base - kCellTopOffset, kCellWidth - 2,
           kCellHeight);
  }
  // Every character in its own cell at an x of its own, so that the characters and the blanks
  // keep their cells whatever the font's advance and whether or not a renderer stretches text.
  Append(out, "<text class=\"text lit\" data-line=\"%d\" y=\"%d\" xml:space=\"preserve\">", number,
         base);
  out += "<title>";
  AppendEscapedPanelText(whole, out);
  out += "</title>";
  for (size_t i = 0; i < shown.size(); ++i) {
    Append(out, "<tspan x=\"%d\">", kTextLeft + static_cast<int>(i) * kCellWidth + kGlyphInset);
    AppendEscapedPanelText(shown.substr(i, 1), out);
    out += "</tspan>";
  }
  out += "</text>";
  if (more) {
    Append(out, "<text class=\"icon lit\" x=\"%d\" y=\"%d\">\u25b6</text>",
           kTextLeft + static_cast<int>(kPanelColumns) * kCellWidth + 8, base - 8);
  }
}

}  // namespace

static void Escape(std::string_view text, std::string& out, bool panelText) {
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
        } else if (c >= 0x80 && !panelText) {
          out += ch;  // the page's own texts are UTF-8
        } else if (c >= 0x80 && Windows1252ToUnicode(c) != 0) {
          AppendUtf8(Windows1252ToUnicode(c), out);
        } else {
          out += "\u00b7";
        }
        break;
    }
  }
}

void AppendEscaped(std::string_view text, std::string& out) {
  Escape(text, out, false);
}

void AppendEscapedPanelText(std::string_view text, std::string& out) {
  Escape(text, out, true);
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

  // What the two lines show at the first scroll step: the panel's own clock owns both while
  // it runs.
  const ShownLines shown(state, nowMs, 0, kPanelColumns);
  if (shown.panelClock()) {
    SvgText(out, 2, kLine2Base, shown.line2(), shown.line2(), false);
    SvgText(out, 3, kLine3Base, shown.line3(), shown.line3(), false);
    Append(out, "<text class=\"label\" x=\"%d\" y=\"%d\">PANEL CLOCK</text>", kTextLeft,
           kLine2Base - 36);
  } else {
    for (const int number : {2, 3}) {
      const TextLine& line = state.line(number);
      SvgText(out, number, number == 2 ? kLine2Base : kLine3Base,
              number == 2 ? shown.line2() : shown.line3(), line.View(),
              ScrollSteps(line, kPanelColumns) > 0);
    }
  }
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">L2</text>", kLine2Base - 8);
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">L3</text>", kLine3Base - 8);

  // The icons, two rows in the order of the Icon Map table, each lit or unlit.
  for (size_t i = 0; i < kIconCount; ++i) {
    const IconBits& bits = kIconBits[i];
    const int row = static_cast<int>(i / kIconsPerRow);
    const int column = static_cast<int>(i % kIconsPerRow);
    Append(out, "<text class=\"icon %s\" data-icon=\"%s\" x=\"%d\" y=\"%d\">%s</text>",
           state.IsLit(bits.icon) ? "lit" : "dim", bits.name, 40 + column * 84, 160 + row * 22,
           bits.name);
  }

  // The level bar: 16 segments growing from the left.
  Append(out, "<text class=\"label\" x=\"34\" y=\"%d\">LEVEL</text>", 210);
  const uint16_t segments = state.LevelSegments();
  for (int i = 0; i < kLevelStepCount; ++i) {
    Append(out,
           "<rect class=\"%s\" data-segment=\"%d\" x=\"%d\" y=\"198\" width=\"24\" height=\"14\" "
           "rx=\"2\"/>",
           (segments >> i & 1) != 0 ? "lit" : "dim", i + 1, 80 + i * 30);
  }
  out += "</svg>\n";
  return out;
}

std::string DescribeCall(std::string_view traceLine) {
  Packet packet{};
  if (!ParseCmdLine(traceLine, packet) || packet[kPacketCommand] != kCmdIcons) {
    return DecodeTraceLine(traceLine);
  }
  // The Icon Map as the panel shows it, read by the same model that draws the picture.
  PanelState state;
  state.Apply(packet.data(), 0);
  std::string out = "icons";
  bool any = false;
  for (const IconBits& bits : kIconBits) {
    if (!state.IsLit(bits.icon)) continue;
    out += any ? ", " : " ";
    out += bits.name;
    any = true;
  }
  if (!any) out += " none";
  Append(out, "; level %d/%d", state.LitLevelSegments(), int{kLevelStepCount});
  return out;
}

namespace {

// The packet bytes of a "cmd" line, two hexadecimal digits a byte: the five header bytes, then
// the payload; empty for other lines.
std::string PacketBytes(std::string_view traceLine) {
  Packet packet{};
  if (!ParseCmdLine(traceLine, packet)) return {};
  std::string out;
  for (size_t i = 0; i < packet.size(); ++i) {
    if (i > 0) out += i == kPacketPayload ? "\n" : " ";
    Append(out, "%02x", unsigned{packet[i]});
  }
  return out;
}

constexpr const char kPageStyle[] =
    "<style>\n"
    "body{background:#1b1f22;color:#d8e0e2;font-family:'DejaVu Sans',Arial,sans-serif;"
    "margin:16px 24px}\n"
    "h1{font-size:20px;font-weight:normal;margin:0 0 8px}\n"
    "#controls{margin:8px 0}\n"
    "#controls button{background:#2b3236;color:#d8e0e2;border:1px solid #4a5458;"
    "padding:6px 12px;margin-right:4px;cursor:pointer}\n"
    "#counter{display:inline-block;min-width:90px;text-align:center}\n"
    "#layout{display:flex;gap:20px;align-items:flex-start}\n"
    "#timeline{flex:0 0 330px;max-height:calc(100vh - 120px);overflow-y:auto;"
    "background:#15191b;border:1px solid #2b3236}\n"
    "#timeline ol{list-style:none;margin:0;padding:0;font-size:12px}\n"
    "#timeline li.caption{color:#7dffe4;padding:6px 8px 2px;font-style:italic}\n"
    "#timeline a{display:flex;gap:8px;padding:2px 8px;color:#b8c4c6;text-decoration:none}\n"
    "#timeline a:hover{background:#2b3236}\n"
    "#timeline a.current{background:#0b3b34;color:#ffffff}\n"
    "#timeline .n{min-width:28px;text-align:right;color:#6a7678}\n"
    "#timeline .vt{font-family:'DejaVu Sans Mono',monospace}\n"
    "#timeline .name{flex:1;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}\n"
    "#timeline .session{color:#8a9698}\n"
    "#timeline .payload{color:#7dffe4;overflow:hidden;text-overflow:ellipsis;white-space:nowrap;"
    "max-width:120px}\n"
    "#pictures{position:absolute;width:0;height:0;overflow:hidden}\n"
    "#frames{flex:1;min-width:0}\n"
    ".frame{margin-bottom:24px}\n"
    ".js .frame{display:none}\n"
    ".js .frame.current{display:block}\n"
    ".captions p{color:#7dffe4;font-size:16px;margin:4px 0}\n"
    ".step-body{display:flex;gap:20px;align-items:flex-start;flex-wrap:wrap}\n"
    ".about{min-width:300px;flex:1}\n"
    ".about pre{background:#111416;padding:8px;margin:6px 0;white-space:pre-wrap}\n"
    ".source{color:#7dffe4}\n"
    ".clocks{display:grid;grid-template-columns:auto 1fr;gap:2px 12px;font-size:13px;margin:6px "
    "0}\n"
    ".clocks dt{color:#8a9698}\n"
    ".clocks dd{margin:0;font-family:'DejaVu Sans Mono',monospace}\n"
    ".calls{list-style:none;padding:0;margin:6px 0;font-size:12px;color:#b8c4c6}\n"
    ".calls li{background:#111416;padding:4px 8px;margin-bottom:2px}\n"
    ".calls .call{font-family:'DejaVu Sans Mono',monospace;white-space:pre-wrap}\n"
    ".calls details{color:#7a8688}\n"
    ".calls summary{cursor:pointer;font-size:11px}\n"
    ".calls code{display:block;white-space:pre-wrap;font-size:11px}\n"
    ".hint{color:#7a8688;font-size:12px;margin:4px 0}\n"
    ".calls li.folded{color:#8a9698;font-style:italic}\n"
    "</style>\n";

// Steps through the pictures: buttons, keys, the timeline and deep links (#stepN). The step
// shown is kept in the address, so a reload or a shared link opens the same step.
constexpr const char kPageScript[] =
    "<script>\n"
    "(function () {\n"
    "  var frames = document.querySelectorAll('.frame');\n"
    "  var entries = document.querySelectorAll('#timeline a');\n"
    "  var counter = document.getElementById('counter');\n"
    "  var current = 0, timer = null;\n"
    "  document.body.classList.add('js');\n"
    "  function show(n, keepAddress) {\n"
    "    if (frames.length === 0) { counter.textContent = '0 / 0'; return; }\n"
    "    current = Math.max(0, Math.min(frames.length - 1, n));\n"
    "    for (var i = 0; i < frames.length; i++) {\n"
    "      frames[i].classList.toggle('current', i === current);\n"
    "      entries[i].classList.toggle('current', i === current);\n"
    "      if (i === current) entries[i].setAttribute('aria-current', 'step');\n"
    "      else entries[i].removeAttribute('aria-current');\n"
    "    }\n"
    "    entries[current].scrollIntoView({block: 'nearest'});\n"
    "    counter.textContent = (current + 1) + ' / ' + frames.length;\n"
    "    var address = '#step' + (current + 1);\n"
    "    if (!keepAddress && location.hash !== address) history.replaceState(null, '', address);\n"
    "  }\n"
    "  function fromAddress() {\n"
    "    var m = /^#step([0-9]+)$/.exec(location.hash);\n"
    "    if (!m) return false;\n"
    "    show(parseInt(m[1], 10) - 1, true);\n"
    "    return true;\n"
    "  }\n"
    "  // Play holds each step for the pause written after it (# wait N), else 0.8 s.\n"
    "  function holdAfter(n) {\n"
    "    var next = frames[n + 1];\n"
    "    var wait = next ? parseInt(next.getAttribute('data-wait-ms') || '0', 10) : 0;\n"
    "    return wait > 0 ? wait : 800;\n"
    "  }\n"
    "  function step() {\n"
    "    if (current >= frames.length - 1) { timer = null; return; }\n"
    "    show(current + 1);\n"
    "    timer = setTimeout(step, holdAfter(current));\n"
    "  }\n"
    "  function play() {\n"
    "    if (timer) { clearTimeout(timer); timer = null; return; }\n"
    "    timer = setTimeout(step, holdAfter(current));\n"
    "  }\n"
    "  for (var i = 0; i < entries.length; i++) {\n"
    "    entries[i].addEventListener('click', function (e) {\n"
    "      e.preventDefault();\n"
    "      show(parseInt(this.getAttribute('data-step'), 10) - 1);\n"
    "    });\n"
    "  }\n"
    "  document.getElementById('first').onclick = function () { show(0); };\n"
    "  document.getElementById('prev').onclick = function () { show(current - 1); };\n"
    "  document.getElementById('next').onclick = function () { show(current + 1); };\n"
    "  document.getElementById('last').onclick = function () { show(frames.length - 1); };\n"
    "  document.getElementById('play').onclick = play;\n"
    "  window.addEventListener('hashchange', fromAddress);\n"
    "  document.addEventListener('keydown', function (e) {\n"
    "    if (e.target && e.target.tagName === 'SUMMARY' && e.key === ' ') return;\n"
    "    if (e.key === 'ArrowRight' || e.key === 'ArrowDown') show(current + 1);\n"
    "    else if (e.key === 'ArrowLeft' || e.key === 'ArrowUp') show(current - 1);\n"
    "    else if (e.key === 'Home') show(0);\n"
    "    else if (e.key === 'End') show(frames.length - 1);\n"
    "    else if (e.key === ' ') play();\n"
    "    else return;\n"
    "    e.preventDefault();\n"
    "  });\n"
    "  if (!fromAddress()) show(0, true);\n"
    "})();\n"
    "</script>\n";

// The page's clock: "0:04", "1:02.5", "1:00:00".
std::string PlayTime(int64_t ms) {
  std::string out;
  const int64_t seconds = ms / 1000;
  if (seconds >= 3600) {
    Append(out, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
           static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    Append(out, "%lld:%02lld", static_cast<long long>(seconds / 60),
           static_cast<long long>(seconds % 60));
  }
  if (ms % 1000 != 0) Append(out, ".%03lld", static_cast<long long>(ms % 1000));
  while (out.back() == '0' && out.find('.') != std::string::npos)
    out.pop_back();
  return out;
}

// What a step was: the event's name, or the directive; a run of ticks with their count.
std::string NameOf(const PanelPicture& picture) {
  std::string name = picture.name;
  if (picture.ticks > 1)
    Append(name, " \u00d7%llu", static_cast<unsigned long long>(picture.ticks));
  return name;
}

// The scenario lines of a step: "line 7", or a fold's "lines 7 to 66".
std::string LinesOf(const PanelPicture& picture) {
  std::string out;
  if (picture.lastLine > picture.line) {
    Append(out, "lines %zu to %zu", picture.line, picture.lastLine);
  } else {
    Append(out, "line %zu", picture.line);
  }
  return out;
}

// The inside of an SVG document: what lies between its root's tags.
std::string_view SvgBody(std::string_view svg) {
  const size_t root = svg.find("<svg");
  const size_t open = root == std::string_view::npos ? root : svg.find('>', root);
  const size_t close = svg.rfind("</svg>");
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return svg;
  return svg.substr(open + 1, close - open - 1);
}

void Timeline(const std::vector<PanelPicture>& pictures, std::string& out) {
  out += "<nav id=\"timeline\" aria-label=\"Steps\"><ol>\n";
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PanelPicture& picture = pictures[i];
    for (const std::string& caption : picture.captions) {
      out += "<li class=\"caption\">";
      AppendEscaped(caption, out);
      out += "</li>\n";
    }
    const std::string_view time = picture.virtualTime;
    Append(out, "<li><a href=\"#step%zu\" data-step=\"%zu\" title=\"", i + 1, i + 1);
    AppendEscaped(time, out);
    out += ", ";
    out += LinesOf(picture);
    out += ": ";
    AppendEscaped(picture.source, out);
    Append(out, "\"><span class=\"n\">%zu</span><span class=\"vt\">", i + 1);
    // The time of day; the date is in the entry's title.
    AppendEscaped(time.substr(time.find(' ') + 1), out);
    out += "</span><span class=\"name\">";
    AppendEscaped(NameOf(picture), out);
    out += "</span><span class=\"payload\">";
    AppendEscaped(picture.text, out);
    out += "</span><span class=\"session\">";
    AppendEscaped(picture.session, out);
    out += "</span></a></li>\n";
  }
  out += "</ol></nav>\n";
}

void Step(const PanelPicture& picture, size_t index, size_t count, size_t pictureId,
          std::string& out) {
  Append(out, "<section class=\"frame\" id=\"step%zu\" data-wait-ms=\"%lld\">\n", index + 1,
         static_cast<long long>(picture.waitMs));
  if (!picture.captions.empty()) {
    out += "<div class=\"captions\">";
    for (const std::string& caption : picture.captions) {
      out += "<p>";
      AppendEscaped(caption, out);
      out += "</p>";
    }
    out += "</div>\n";
  }
  // The picture itself is drawn once in the page; the step refers to it.
  Append(out,
         "<div class=\"step-body\"><div class=\"picture\"><svg class=\"panel\" width=\"%d\" "
         "height=\"%d\" viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Lumora panel\">"
         "<use href=\"#picture%zu\"/></svg>",
         kWidth, kHeight, kWidth, kHeight, pictureId);
  Append(out, "</div>\n<div class=\"about\"><div>Step %zu of %zu, scenario ", index + 1, count);
  out += LinesOf(picture);
  if (picture.lastLine > picture.line) {
    Append(out, " (%llu clock ticks)", static_cast<unsigned long long>(picture.ticks));
  }
  out += "</div><pre class=\"source\">";
  AppendEscaped(picture.source, out);
  out += "</pre>\n<dl class=\"clocks\"><dt>Virtual time</dt><dd class=\"virtual-time\">";
  AppendEscaped(picture.virtualTime, out);
  out += "</dd><dt>Event</dt><dd class=\"event\">";
  AppendEscaped(NameOf(picture), out);
  if (!picture.text.empty()) {
    out += ' ';
    AppendEscaped(picture.text, out);
  }
  if (!picture.session.empty()) {
    out += " (session ";
    AppendEscaped(picture.session, out);
    out += ')';
  }
  out += "</dd><dt>Play time</dt><dd class=\"play-time\">";
  out += PlayTime(picture.playMs);
  out += "</dd><dt>Panel clock</dt><dd class=\"panel-clock\">";
  AppendEscaped(picture.panelClock.empty() ? "not running" : picture.panelClock, out);
  out += "</dd></dl>\n<ol class=\"calls\">";
  if (!picture.foldedCalls.empty()) {
    out += "<li class=\"folded\">the earlier ticks sent:";
    for (size_t i = 0; i < picture.foldedCalls.size(); ++i) {
      out += i == 0 ? " " : ", ";
      AppendEscaped(picture.foldedCalls[i].first, out);
      Append(out, " \u00d7%zu", picture.foldedCalls[i].second);
    }
    out += "</li>";
  }
  if (picture.calls.empty()) out += "<li>(nothing sent to the panel)</li>";
  for (const std::string& call : picture.calls) {
    out += "<li><span class=\"call\">";
    AppendEscaped(DescribeCall(call), out);
    out += "</span>";
    const std::string bytes = PacketBytes(call);
    if (!bytes.empty()) {
      out += "<details class=\"bytes\"><summary>packet bytes</summary><code>";
      out += bytes;
      out += "</code></details>";
    }
    out += "</li>";
  }
  out += "</ol></div></div>\n</section>\n";
}

}  // namespace

std::string RenderPanelHtml(std::string_view title, const std::vector<PanelPicture>& pictures) {
  std::string out;
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Lumora "
      "panel: ";
  AppendEscaped(title, out);
  out += "</title>\n";
  out += kPageStyle;
  out += "</head>\n<body>\n<h1>Lumora panel: ";
  AppendEscaped(title, out);
  out +=
      "</h1>\n<div id=\"controls\"><button id=\"first\" title=\"Home\">|&lt;</button>"
      "<button id=\"prev\" title=\"Left arrow\">&lt; Back</button><span id=\"counter\"></span>"
      "<button id=\"next\" title=\"Right arrow\">Next &gt;</button>"
      "<button id=\"last\" title=\"End\">&gt;|</button>"
      "<button id=\"play\" title=\"Space\">Play</button></div>\n"
      "<p class=\"hint\">Keys: left and right arrows step, Home and End jump, space plays. "
      "Click a step in the timeline to jump to it; the address (#step34) opens that step.</p>\n";
  if (pictures.empty()) out += "<p>The scenario has no steps.</p>\n";
  out += "<div id=\"layout\">\n";
  Timeline(pictures, out);
  out += "<main id=\"frames\">\n";
  // Each distinct picture once, as a symbol the steps that show it use.
  std::unordered_map<std::string_view, size_t> ids;
  std::vector<size_t> idOfStep;
  out += "<svg id=\"pictures\" aria-hidden=\"true\"><defs>\n";
  for (const PanelPicture& picture : pictures) {
    const auto [at, added] = ids.emplace(picture.svg, ids.size() + 1);
    idOfStep.push_back(at->second);
    if (!added) continue;
    Append(out, "<symbol id=\"picture%zu\" viewBox=\"0 0 %d %d\">", at->second, kWidth, kHeight);
    out += SvgBody(picture.svg);
    out += "</symbol>\n";
  }
  out += "</defs></svg>\n";
  for (size_t i = 0; i < pictures.size(); ++i)
    Step(pictures[i], i, pictures.size(), idOfStep[i], out);
  out += "</main>\n</div>\n";
  out += kPageScript;
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace lumora::emulator
