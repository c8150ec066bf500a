// Text helpers of the engine: numbers read from texts, stored texts, and the scroll byte of a
// line-2 text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/agent_state.h"

namespace lumora {

// Decimal text to integer by the C library's atoi rules (leading white space, an optional sign,
// digits up to the first non-digit, 0 when there are none), saturating at the int32 limits
// instead of overflowing.
int32_t SaturatingAtoi(const char* text);

// String copy of text (at most 32 characters) with its terminating NUL into a slot; the bytes
// behind the NUL keep what they held.
void StoreText(TextSlot& slot, const char* text);

// Length of a text, counting at most limit characters.
size_t BoundedLength(const char* text, size_t limit);

// The scroll byte of a line-2 text of the given length: 0 up to 12 characters, else the length
// less 10.
uint8_t LongTextScroll(size_t length);

}  // namespace lumora
