#include "base/media_event.h"

#include <algorithm>
#include <cstring>

namespace lumora {

bool DecodeMediaStateEvent(const CopyDataStruct& data, MediaStateEvent& out) {
  if (data.dwData != kMediaStateEventMarker) return false;
  if (data.lpData == nullptr || data.cbData < kMediaStateEventSize) return false;
  uint8_t record[kMediaStateEventSize];
  std::memcpy(record, data.lpData, sizeof record);
  out.sessionId = static_cast<int32_t>(uint32_t{record[0]} | uint32_t{record[1]} << 8 |
                                       uint32_t{record[2]} << 16 | uint32_t{record[3]} << 24);
  out.eventCode = static_cast<uint16_t>(record[4] | record[5] << 8);
  std::memcpy(out.text, record + kEventTextOffset, kEventTextSize);
  out.text[kEventTextSize - 1] = '\0';
  return true;
}

void EncodeMediaStateEvent(int32_t sessionId, uint16_t eventCode, const char* text,
                           size_t textLength, uint8_t (&record)[kMediaStateEventSize]) {
  std::memset(record, 0, sizeof record);
  const auto id = static_cast<uint32_t>(sessionId);
  for (size_t i = 0; i < 4; ++i)
    record[i] = static_cast<uint8_t>(id >> (8 * i));
  record[4] = static_cast<uint8_t>(eventCode & 0xFF);
  record[5] = static_cast<uint8_t>(eventCode >> 8);
  if (text != nullptr)
    std::memcpy(record + kEventTextOffset, text, std::min(textLength, kEventTextSize));
}

}  // namespace lumora
