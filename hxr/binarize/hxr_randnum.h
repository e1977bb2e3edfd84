// Per-instance random state of the halftone engine. It is not a sequence:
// HXRGetRandNum turns a number (a line number, or a mix of colour code and
// line number) into a 32-bit seed by a fixed formula, so the same line always
// starts from the same seed whatever was converted before.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrRandNumNone = 8101;

// The last result and the three products it was formed from.
struct HXRRandNum {
    uint32_t w0;
    uint32_t w1;
    uint32_t w2;
    uint32_t w3;
};

// Zero-filled from the memory manager; null when the allocation fails.
HXRRandNum* HXRCreateRandNum(HXRMemMgr* memoryManager);
// The seed for `number` (also left in w3); 0 for a null state, which is not
// written.
uint32_t HXRGetRandNum(HXRRandNum* state, uint32_t number);
// 8101 for a null state, else the memory manager's free result.
uint32_t HXRDeleteRandNum(HXRRandNum* state, HXRMemMgr* memoryManager);
