// Arrays from the memory manager whose sizes come from resource fields
// (mask sizes, block counts, gradation counts). The byte count is worked out
// in 64 bits and refused when it exceeds what the memory manager can hand out
// in one block (its sizes are 32-bit), instead of wrapping into a short block.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint64_t kHxrMaxBlockBytes = 0xFFFFFFFFull;

// Bytes of `count` elements of `each` bytes, or 0 when that exceeds the
// memory manager's block size (a count of 0 also gives 0).
inline uint64_t HXRArrayBytes(uint64_t count, uint64_t each) {
    if (each == 0 || count > kHxrMaxBlockBytes / each) return 0;
    return count * each;
}

// A zeroed array of `count` elements, or null (too large, count 0, or the
// host allocator failed).
template <typename T>
T* HXRAllocArray(HXRMemMgr* manager, uint64_t count) {
    const uint64_t bytes = HXRArrayBytes(count, sizeof(T));
    if (bytes == 0) return nullptr;
    return static_cast<T*>(HXRAllocMem(manager, static_cast<uint32_t>(bytes)));
}

// One engine record in a block of its own.
template <typename T>
T* HXRAllocRecord(HXRMemMgr* manager) {
    return static_cast<T*>(HXRAllocMem(manager, sizeof(T)));
}
