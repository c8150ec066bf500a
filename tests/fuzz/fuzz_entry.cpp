// The libFuzzer entry point of one harness; LUMORA_FUZZ_BODY names its body (harnesses.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lumora::fuzz::LUMORA_FUZZ_BODY(data, size);
}
