#include "hxr/binarize/hxr_randnum.h"

HXRRandNum* HXRCreateRandNum(HXRMemMgr* memoryManager) {
    return static_cast<HXRRandNum*>(HXRAllocMem(memoryManager, sizeof(HXRRandNum)));
}

uint32_t HXRGetRandNum(HXRRandNum* state, uint32_t n) {
    if (state == nullptr) return 0;
    // Unsigned arithmetic throughout: every product wraps modulo 2^32.
    const uint32_t s = n + 1 + n / 3;
    const uint32_t w0 = s * 0xC02BB292u;
    const uint32_t w1 = s * 0x18372D95u;
    const uint32_t w2 = (n + 1) * 0x3A439ADFu;
    const uint32_t w3 = (((n / 3 + n / 9 + 1) * 0xD8417564u) | (w0 >> 31)) ^ ((w1 << 1) | (w2 >> 31));
    state->w0 = w0;
    state->w1 = w1;
    state->w2 = w2;
    state->w3 = w3;
    return w3;
}

uint32_t HXRDeleteRandNum(HXRRandNum* state, HXRMemMgr* memoryManager) {
    if (state == nullptr) return kHxrRandNumNone;
    return HXRFreeMem(memoryManager, state);
}
