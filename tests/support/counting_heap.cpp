#include "support/counting_heap.h"

#include <cstdlib>
#include <cstring>

namespace ovcg_test {

void* CountingHeap::allocate(size_t size) {
    if (fail_after >= 0 && allocations >= fail_after) return nullptr;
    ++allocations;
    void* p = std::malloc(size);
    if (p) {
        ++live;
        std::memset(p, 0xA5, size);
    }
    return p;
}

void CountingHeap::release(void* p) {
    if (!p) return;
    --live;
    std::free(p);
}

ovcg_callbacks counting_callbacks() {
    static int unused_slot;
    ovcg_callbacks cb{};
    cb.allocate = CountingHeap::allocate;
    cb.release = CountingHeap::release;
    for (void*& slot : cb.reserved) slot = &unused_slot;
    return cb;
}

}  // namespace ovcg_test
