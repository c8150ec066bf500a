#include "sources/media_sessions/winrt_iid.h"

#include <cstdio>

namespace lumora::sources::winrt {

std::string GuidText(const Guid& guid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                static_cast<unsigned>(guid.data1), static_cast<unsigned>(guid.data2),
                static_cast<unsigned>(guid.data3), guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

}  // namespace lumora::sources::winrt
