// The caller's allocator handed to the front end: counts live blocks and
// allocations, fills new blocks with a pattern (the library must zero what
// it needs zeroed) and can be made to fail from a given allocation on.
#pragma once

#include <cstddef>

#include "ovcg/ovcg.h"

namespace ovcg_test {

struct CountingHeap {
    static inline long live = 0;
    static inline long allocations = 0;
    static inline long fail_after = -1;  // allocations that succeed before every later one fails
    static void reset() { live = 0, allocations = 0, fail_after = -1; }
    static void* allocate(size_t size);
    static void release(void* p);
};

// Callbacks using CountingHeap, every reserved slot set.
ovcg_callbacks counting_callbacks();

}  // namespace ovcg_test
