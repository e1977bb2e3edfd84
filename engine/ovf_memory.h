// The platform's memory helpers in the shape of the head-control engine's
// callback words (unsigned 32-bit sizes, no results where the words have
// none). Sizes an int cannot carry are refused or copied in pieces, never
// truncated.
#pragma once

#include <cstdint>

namespace ovcg {

// Mem_Alloc; null for 0 or a size above INT_MAX.
void* OvfAlloc(uint32_t size);
// Mem_Free.
void OvfFree(void* block);
// Mem_Copy2 for any count. Returns dst.
void* OvfCopy(void* dst, const void* src, uint32_t count);

}  // namespace ovcg
