#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/message_program.h"

namespace lumora::fuzz {

int FuzzWindowProc(const uint8_t* data, size_t size) {
  RunMessageProgram(data, size, nullptr);
  return 0;
}

}  // namespace lumora::fuzz
