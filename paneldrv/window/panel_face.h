// The face of the on-screen panel as pixels: both text lines in the built-in dot-matrix font,
// the icons lit or unlit, the level bar and the panel's own clock, in the look and colours of the
// terminal face. A pure function of the panel's state, so the window draws the same pixels on
// every machine and the drawing can be checked without a window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "paneldrv/emulator/panel_state.h"

namespace lumora::window {

inline constexpr int kFaceWidth = 528;
inline constexpr int kFaceHeight = 200;
// 0x00RRGGBB, the top row first: the layout of a 32-bit top-down device-independent bitmap.
using FacePixels = std::array<uint32_t, static_cast<size_t>(kFaceWidth) * kFaceHeight>;

// The colours of the terminal face's glass (its 256-colour palette entries as RGB).
inline constexpr uint32_t kGlassColour = 0x121212;     // 233: the dark glass
inline constexpr uint32_t kCellColour = 0x1c1c1c;      // 234: the text cells
inline constexpr uint32_t kLitColour = 0x5fffd7;       // 86: a lit segment
inline constexpr uint32_t kDimColour = 0x005f5f;       // 23: an unlit segment, faintly visible
inline constexpr uint32_t kFrameColour = 0x585858;     // 240: the frame
inline constexpr uint32_t kUnlitDotColour = 0x242a2a;  // an unlit dot of a text cell

// Where the text lines are: 20 cells a line, each cell a 5 x 7 matrix of square dots.
inline constexpr int kTextLeft = 24;
inline constexpr int kLine2Top = 30;
inline constexpr int kLine3Top = 72;
inline constexpr int kCellWidth = 24;
inline constexpr int kCellHeight = 36;
inline constexpr int kDotPitch = 4;
inline constexpr int kDotSize = 3;
// The first dot of a cell, from the cell's top left corner.
inline constexpr int kDotLeft = 2;
inline constexpr int kDotTop = 4;
// The two rows of icon names (two pixels a dot of the font), and the level bar's 16 segments.
inline constexpr int kIconRowTop = 120;
inline constexpr int kIconRowPitch = 20;
inline constexpr int kLevelTop = 164;
inline constexpr int kLevelHeight = 10;
inline constexpr int kLevelPitch = 30;
inline constexpr int kLevelGap = 6;

// Draws the panel at nowMs (the clock the panel's own clock runs on) and the given frame of the
// scroll animation.
void RenderFace(const emulator::PanelState& state, int64_t nowMs, uint64_t frame,
                FacePixels& pixels);

}  // namespace lumora::window
