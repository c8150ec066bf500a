#include "base/version.h"

namespace lumora {

std::string_view ProgramVersion() {
  return LUMORA_VERSION;
}

}  // namespace lumora
