#include "hxr/control/hxr_wprint.h"

#include "hxr/control/hxr_alloc_array.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kCurveHead = 5;
constexpr uint32_t kCurveBytes = 2 * kHxrWPrintCurveEntries;

uint32_t scaled(uint32_t bound, uint32_t factor) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{bound} * factor, kHxrWPrintMaxScaled));
}

}  // namespace

void HXRSetHXRColorCvtWPrintParamDefaultValue(HXRColorCvtWPrintParam* b) {
    if (!b) return;
    *b = {};
    b->outputMode = kHxrWPrintOff;
    b->wChannel = -1;
    std::fill(std::begin(b->weight), std::end(b->weight), 0xFFFFFFFFu);
    std::fill(std::begin(b->cap), std::end(b->cap), 0xFFFFFFFFu);
    b->upperBound = b->lowerBound = b->factor = 0xFFFFFFFFu;
    std::fill(std::begin(b->firstLevels), std::end(b->firstLevels), 0xFFFFFFFFu);
    std::fill(std::begin(b->secondLevels), std::end(b->secondLevels), 0xFFFFFFFFu);
    b->reductionRange = -1;
}

uint32_t HXRSetColorCvtWPrintOutputInfo(int32_t* outputMode, const HXRColorCvtWPrintOutputInfo* info) {
    if (!outputMode || !info || info->outputMode > uint32_t(kHxrWPrintBoth)) return 0;
    *outputMode = static_cast<int32_t>(info->outputMode);
    return 1;
}

uint32_t HXRSetColorCvtWPrintWInfo(HXRColorCvtWPrintParam* b, const HXRColorCvtWPrintWInfo* w) {
    if (!b || !w) return 0;
    for (uint32_t k = 0; k < kHxrWPrintChannels; ++k)
        if (w->weight[k] > kHxrWPrintMaxWeight || w->cap[k] > kHxrWPrintMaxLevel) return 0;
    if (w->upperBound > kHxrWPrintMaxLevel || w->lowerBound > kHxrWPrintMaxLevel || w->factor > kHxrWPrintMaxFactor ||
        w->upperBound < w->lowerBound)
        return 0;
    for (uint32_t k = 0; k < kHxrWPrintChannels; ++k) {
        b->weight[k] = w->weight[k];
        b->cap[k] = w->cap[k] * 256;
    }
    b->factor = w->factor;
    b->upperBound = w->upperBound * 256;
    b->lowerBound = w->lowerBound * 256;
    b->scaledUpperBound = scaled(b->upperBound, w->factor);
    b->scaledLowerBound = scaled(b->lowerBound, w->factor);
    b->infoFlags |= kHxrWPrintInfoW;
    return 1;
}

uint32_t* GetReductionCurve(const uint8_t* set, uint32_t count, uint32_t number, HXRMemMgr* memory) {
    if (!set || number >= count) return nullptr;
    uint32_t* curve = HXRAllocArray<uint32_t>(memory, kHxrWPrintCurveEntries);
    if (!curve) return nullptr;
    const uint8_t* p = set + kCurveHead + size_t{kCurveBytes} * number;
    for (uint32_t i = 0; i < kHxrWPrintCurveEntries; ++i) curve[i] = LeToUint16(p + 2 * i);
    return curve;
}

uint32_t HXRSetColorCvtWPrintReductionInfo(HXRColorCvtWPrintParam* b, const HXRColorCvtWPrintReductionInfo* r,
                                           HXRMemMgr* memory) {
    if (!b || !r || !memory || r->kind != kHxrWPrintReductionKind) return 0;
    for (uint32_t k = 0; k < 3; ++k)
        if (r->firstLevels[k] > 255 || r->secondLevels[k] > 255) return 0;
    const uint8_t* set = r->curveSet;
    if (!set || set[0] == 0 || LeToUint16(set + 1) != kHxrWPrintCurveEntries || set[3] != 2 || set[4] != 12) return 0;
    uint32_t* colour = GetReductionCurve(set, set[0], r->colourCurve, memory);
    uint32_t* w = colour ? GetReductionCurve(set, set[0], r->wCurve, memory) : nullptr;
    if (!w) {
        HXRFreeMem(memory, colour);
        return 0;
    }
    // The curves replaced belong to no converter yet (converters are made at
    // the job start, after the last setting).
    HXRFreeMem(memory, const_cast<uint32_t*>(b->colourCurve));
    HXRFreeMem(memory, const_cast<uint32_t*>(b->wCurve));
    for (uint32_t k = 0; k < 3; ++k) {
        b->firstLevels[k] = r->firstLevels[k];
        b->secondLevels[k] = r->secondLevels[k];
    }
    b->firstLevels[3] = b->secondLevels[3] = 0;
    b->reductionRange = static_cast<int32_t>(std::max({r->secondLevels[0], r->secondLevels[1], r->secondLevels[2]}));
    b->colourCurve = colour;
    b->wCurve = w;
    b->infoFlags |= kHxrWPrintInfoReduction;
    return 1;
}

uint32_t HXRCheckColorCvtWPrintParam(HXRColorCvtWPrintParam* b) {
    if (!b || b->infoFlags > 3) return 0;
    const uint32_t flags = b->infoFlags;
    switch (b->outputMode) {
        case kHxrWPrintOff: return flags == 0 ? 1 : 0;
        case kHxrWPrintWhiteOnly:
        case kHxrWPrintBoth: return flags & kHxrWPrintInfoW ? 1 : 0;
        case kHxrWPrintColourOnly: b->infoFlags &= ~kHxrWPrintInfoW; return 1;
        default: return 0;
    }
}
