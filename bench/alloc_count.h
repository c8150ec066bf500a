// Counts the heap allocations of the whole program: the binary that links alloc_count.cpp gets
// a global operator new and delete that count every call before passing it to malloc and free.
#pragma once

#include <cstdint>

namespace lumora::bench {

struct AllocCounts {
  uint64_t allocations = 0;
  uint64_t deallocations = 0;
};

// The totals since the program started.
AllocCounts CurrentAllocCounts();

}  // namespace lumora::bench
