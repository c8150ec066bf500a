// The on-screen panel's own dot-matrix font: 5 columns by 7 rows a character, as the glass of a
// real panel has them. Built in, so the window draws the same pixels on every machine whatever
// fonts are installed there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumora::window {

inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 7;

// One character: a row a byte, top row first; bit 4 is the leftmost column, bit 0 the rightmost.
using Glyph = std::array<uint8_t, kGlyphRows>;

// The glyph a panel byte shows: every printable character of the panel's set, Windows-1252, as
// itself (accented letters, the euro sign, quotation marks, dashes, ...); a control byte (below
// 0x20, 0x7F) and the five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) as a middle dot, as the terminal face shows them.
const Glyph& GlyphOf(uint8_t byte);

// Whether the dot in column (0 to 4) and row (0 to 6) of a glyph is lit.
constexpr bool DotLit(const Glyph& glyph, int column, int row) {
  return (glyph[static_cast<size_t>(row)] >> (kGlyphColumns - 1 - column) & 1) != 0;
}

}  // namespace lumora::window
