// The Media State Event: the fixed 40-byte little-endian record that the media-state event
// source sends in WM_COPYDATA with dwData 1.
//
//   offset 0  int32    sessionId
//   offset 4  uint16   eventCode
//   offset 6  byte     reserved, never read
//   offset 7  char[33] text, NUL-terminated within the field (at most 32 characters)
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/platform.h"

namespace lumora {

inline constexpr size_t kMediaStateEventSize = 40;
inline constexpr size_t kEventTextOffset = 7;
inline constexpr size_t kEventTextSize = 33;
inline constexpr uintptr_t kMediaStateEventMarker = 1;  // dwData of a Media State Event

// The handler's own copy of one record. text always holds a NUL at index 32, so every use of
// it as a string sees at most 32 characters even when the sender put no NUL in the field.
struct MediaStateEvent {
  int32_t sessionId = 0;
  uint16_t eventCode = 0;
  char text[kEventTextSize] = {};
};

// Copies the record out of a WM_COPYDATA payload. Returns false, and leaves out untouched, when
// the payload is not a Media State Event: another dwData, no data, or fewer than 40 bytes.
// Of a longer payload only the first 40 bytes are read.
bool DecodeMediaStateEvent(const CopyDataStruct& data, MediaStateEvent& out);

// Builds the 40 record bytes of an event (for the senders and the tests); text is copied up to
// 33 bytes and the rest of the field is zero.
void EncodeMediaStateEvent(int32_t sessionId, uint16_t eventCode, const char* text,
                           size_t textLength, uint8_t (&record)[kMediaStateEventSize]);

// The level a Level event's number stands for: its low 8 bits shifted right by one, 0 to 127.
inline uint8_t LevelOfPayload(int32_t number) {
  return static_cast<uint8_t>((number & 0xFF) >> 1);
}
// The smallest Level number that stands for a level (0 to 127).
inline int32_t PayloadOfLevel(uint8_t level) {
  return int32_t{level} << 1;
}

}  // namespace lumora
