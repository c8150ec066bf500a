#include "engine/text_util.h"

#include <cstring>
#include <limits>

namespace lumora {

int32_t SaturatingAtoi(const char* text) {
  const char* c = text;
  while (*c == ' ' || (*c >= '\t' && *c <= '\r'))
    ++c;
  bool negative = false;
  if (*c == '+' || *c == '-') negative = *c++ == '-';
  // Accumulate the magnitude towards the limit of the sign, stopping there.
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  int64_t value = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    value = value * 10 + (*c - '0');
    if (value >= limit) {
      value = limit;
      break;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

void StoreText(TextSlot& slot, const char* text) {
  const size_t length = BoundedLength(text, kTextSlotSize - 1);
  std::memcpy(slot, text, length);
  slot[length] = '\0';
}

size_t BoundedLength(const char* text, size_t limit) {
  return strnlen(text, limit);
}

uint8_t LongTextScroll(size_t length) {
  return length <= 12 ? 0 : static_cast<uint8_t>(length - 10);
}

}  // namespace lumora
