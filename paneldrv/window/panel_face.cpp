#include "paneldrv/window/panel_face.h"

#include <string_view>

#include "panel/clock_text.h"
#include "paneldrv/emulator/panel_view.h"
#include "paneldrv/window/dot_font.h"

namespace lumora::window {

namespace {

// Labels (icons, the frame's titles) use the same font, two pixels a dot, no gaps.
constexpr int kSmallScale = 2;
constexpr int kSmallAdvance = (kGlyphColumns + 1) * kSmallScale;
constexpr int kSmallHeight = kGlyphRows * kSmallScale;

constexpr int kTextWidth = static_cast<int>(emulator::kPanelColumns) * kCellWidth;
constexpr int kFrameLeft = 8;
constexpr int kFrameTop = 10;
constexpr int kFrameRight = kFaceWidth - 9;
constexpr int kFrameBottom = 190;
static_assert(kLevelPitch * kLevelStepCount == kTextWidth, "the level bar spans the text lines");

constexpr size_t kIconsPerRow = kIconCount / 2;

void Fill(FacePixels& pixels, int left, int top, int width, int height, uint32_t colour) {
  for (int y = top; y < top + height; ++y) {
    if (y < 0 || y >= kFaceHeight) continue;
    for (int x = left; x < left + width; ++x) {
      if (x < 0 || x >= kFaceWidth) continue;
      pixels[static_cast<size_t>(y) * kFaceWidth + static_cast<size_t>(x)] = colour;
    }
  }
}

int SmallWidth(std::string_view text) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * kSmallAdvance - kSmallScale;
}

// A label in the small font; only the lit dots are drawn.
void SmallText(FacePixels& pixels, int left, int top, std::string_view text, uint32_t colour) {
  for (const char c : text) {
    const Glyph& glyph = GlyphOf(static_cast<uint8_t>(c));
    for (int row = 0; row < kGlyphRows; ++row) {
      for (int column = 0; column < kGlyphColumns; ++column) {
        if (!DotLit(glyph, column, row)) continue;
        Fill(pixels, left + column * kSmallScale, top + row * kSmallScale, kSmallScale, kSmallScale,
             colour);
      }
    }
    left += kSmallAdvance;
  }
}

// A horizontal border line with a label in a gap at its middle.
void Border(FacePixels& pixels, int y, std::string_view label) {
  Fill(pixels, kFrameLeft, y, kFrameRight - kFrameLeft + 1, 1, kFrameColour);
  if (label.empty()) return;
  const int width = SmallWidth(label);
  const int left = (kFaceWidth - width) / 2;
  Fill(pixels, left - 6, y, width + 12, 1, kGlassColour);
  SmallText(pixels, left, y - kSmallHeight / 2, label, kFrameColour);
}

// The 20 cells of a text line, every dot of every cell lit or unlit.
void TextCells(FacePixels& pixels, int top, std::string_view text) {
  for (size_t i = 0; i < emulator::kPanelColumns; ++i) {
    const int left = kTextLeft + static_cast<int>(i) * kCellWidth;
    Fill(pixels, left, top, kCellWidth - 1, kCellHeight, kCellColour);
    const Glyph& glyph = GlyphOf(i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{' '});
    for (int row = 0; row < kGlyphRows; ++row) {
      for (int column = 0; column < kGlyphColumns; ++column) {
        Fill(pixels, left + kDotLeft + column * kDotPitch, top + kDotTop + row * kDotPitch,
             kDotSize, kDotSize, DotLit(glyph, column, row) ? kLitColour : kUnlitDotColour);
      }
    }
  }
}

// A row of icon names spread over the width of the text lines, each lit or unlit.
void IconRow(FacePixels& pixels, const emulator::PanelState& state, size_t first, int top) {
  int letters = 0;
  for (size_t i = first; i < first + kIconsPerRow; ++i)
    letters += SmallWidth(kIconBits[i].name);
  const int gap = (kTextWidth - letters) / static_cast<int>(kIconsPerRow - 1);
  int left = kTextLeft;
  for (size_t i = first; i < first + kIconsPerRow; ++i) {
    const IconBits& bits = kIconBits[i];
    SmallText(pixels, left, top, bits.name, state.IsLit(bits.icon) ? kLitColour : kDimColour);
    left += SmallWidth(bits.name) + gap;
  }
}

}  // namespace

void RenderFace(const emulator::PanelState& state, int64_t nowMs, uint64_t frame,
                FacePixels& pixels) {
  pixels.fill(kGlassColour);
  const emulator::ShownLines shown(state, nowMs, frame, emulator::kPanelColumns);

  // The frame, titled like the terminal face, "PANEL CLOCK" below while the panel's clock runs.
  Border(pixels, kFrameTop, "LUMORA");
  Border(pixels, kFrameBottom, shown.panelClock() ? "PANEL CLOCK" : "");
  Fill(pixels, kFrameLeft, kFrameTop, 1, kFrameBottom - kFrameTop + 1, kFrameColour);
  Fill(pixels, kFrameRight, kFrameTop, 1, kFrameBottom - kFrameTop + 1, kFrameColour);

  TextCells(pixels, kLine2Top, shown.line2());
  TextCells(pixels, kLine3Top, shown.line3());
  IconRow(pixels, state, 0, kIconRowTop);
  IconRow(pixels, state, kIconsPerRow, kIconRowTop + kIconRowPitch);

  const uint16_t segments = state.LevelSegments();
  for (int i = 0; i < kLevelStepCount; ++i) {
    Fill(pixels, kTextLeft + i * kLevelPitch, kLevelTop, kLevelPitch - kLevelGap, kLevelHeight,
         (segments >> i & 1) != 0 ? kLitColour : kDimColour);
  }
}

}  // namespace lumora::window
