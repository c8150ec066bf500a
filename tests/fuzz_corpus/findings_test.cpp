// Regression tests of what the fuzzers found; each finding's input is also kept in the corpus.
#include <gtest/gtest.h>

#include "panel/panel_tables.h"

namespace lumora {
namespace {

// The table of bits in use had bit 0x08 of map[3] in it, which no icon and no bar segment owns,
// so the Icon Map check let that bit pass. The bits in use are the icons' bits and the bar's.
TEST(Findings, IconMapBitsInUseAreExactlyTheIconsAndTheBar) {
  IconMap owned{};
  for (const IconBits& bits : kIconBits)
    owned[bits.byte] = static_cast<uint8_t>(owned[bits.byte] | bits.mask);
  for (size_t i = 0; i < 3; ++i) {
    owned[kLevelBarFirstByte + i] =
        static_cast<uint8_t>(owned[kLevelBarFirstByte + i] | (kLevelBarMask >> (8 * i)));
  }
  EXPECT_EQ(owned, kIconMapBitsInUse);
  // Never set: map[0], map[1], map[6], map[8], map[9], the low four bits of map[2], bit 0x08 of
  // map[3], bit 0x10 of map[5] and the low five bits of map[7].
  const IconMap expected{0x00, 0x00, 0xF0, 0xF7, 0xFF, 0xEF, 0x00, 0xE0, 0x00, 0x00};
  EXPECT_EQ(kIconMapBitsInUse, expected);
}

}  // namespace
}  // namespace lumora
