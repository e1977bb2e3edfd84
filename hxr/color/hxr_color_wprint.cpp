#include "hxr/color/hxr_color_wprint.h"

#include "common/byte_cursor.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kWInfoFlag = 1;
constexpr uint32_t kReductionFlag = 2;
constexpr uint32_t kLevelMax = 255;
constexpr uint32_t kCurveEntries = 256;

uint32_t scaled(uint32_t stored, uint32_t factor) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{stored} * factor, kHxrWPrintMaxAmount));
}

}  // namespace

void HXRSetHXRColorCvtWPrintParamDefaultValue(HXRColorCvtWPrintParam* b) {
    if (!b) return;
    b->outputMode = kHxrWPrintOff;
    b->infoFlags = 0;
    b->wChannel = -1;
    std::fill(std::begin(b->weight), std::end(b->weight), 0xFFFFFFFFu);
    std::fill(std::begin(b->cap), std::end(b->cap), 0xFFFFFFFFu);
    b->upperBound = b->lowerBound = 0xFFFFFFFFu;
    b->scaledUpperBound = b->scaledLowerBound = 0;
    b->factor = 0xFFFFFFFFu;
    std::fill(std::begin(b->firstLevels), std::end(b->firstLevels), 0xFFFFFFFFu);
    std::fill(std::begin(b->secondLevels), std::end(b->secondLevels), 0xFFFFFFFFu);
    b->reductionRange = -1;
    b->colourCurve = nullptr;
    b->wCurve = nullptr;
}

uint32_t HXRSetColorCvtWPrintOutputInfo(int32_t* outputMode, const HXRColorCvtWPrintOutputInfo* info) {
    if (!outputMode || !info || info->outputMode > static_cast<uint32_t>(kHxrWPrintBoth)) return 0;
    *outputMode = static_cast<int32_t>(info->outputMode);
    return 1;
}

uint32_t HXRSetColorCvtWPrintWInfo(HXRColorCvtWPrintParam* b, const HXRColorCvtWPrintWInfo* info) {
    if (!b || !info) return 0;
    for (uint32_t k = 0; k < kHxrWPrintChannels; ++k) {
        if (info->weight[k] > kHxrWPrintMaxWeight) return 0;
        b->weight[k] = info->weight[k];
    }
    for (uint32_t k = 0; k < kHxrWPrintChannels; ++k) {
        if (info->cap[k] > kHxrWPrintMaxLevel) return 0;
        b->cap[k] = info->cap[k] << 8;
    }
    if (info->upperBound > kHxrWPrintMaxLevel || info->lowerBound > kHxrWPrintMaxLevel ||
        info->factor > kHxrWPrintMaxFactor || info->upperBound < info->lowerBound)
        return 0;
    b->factor = info->factor;
    b->upperBound = info->upperBound << 8;
    b->lowerBound = info->lowerBound << 8;
    b->scaledUpperBound = scaled(b->upperBound, info->factor);
    b->scaledLowerBound = scaled(b->lowerBound, info->factor);
    b->infoFlags |= kWInfoFlag;
    return 1;
}

uint32_t* GetReductionCurve(const uint8_t* curveSet, uint32_t count, uint32_t number, HXRMemMgr* memory) {
    if (!curveSet || number >= count) return nullptr;
    // The set holds the curves its header announces, and no more is read.
    ovcg::ByteCursor in(curveSet, kHxrWPrintCurveHeader + size_t{count} * kHxrWPrintCurveBytes);
    if (!in.seek(kHxrWPrintCurveHeader + size_t{number} * kHxrWPrintCurveBytes)) return nullptr;
    auto* curve = static_cast<uint32_t*>(HXRAllocMem(memory, kCurveEntries * sizeof(uint32_t)));
    if (!curve) return nullptr;
    for (uint32_t i = 0; i < kCurveEntries; ++i) curve[i] = in.u16le();
    return curve;
}

uint32_t HXRSetColorCvtWPrintReductionInfo(HXRColorCvtWPrintParam* b, const HXRColorCvtWPrintReductionInfo* info,
                                           HXRMemMgr* memory) {
    if (!info || !memory || !b || info->kind != kHxrWPrintReductionKind) return 0;
    for (uint32_t k = 0; k < 3; ++k) {
        if (info->firstLevels[k] > kLevelMax || info->secondLevels[k] > kLevelMax) return 0;
        b->firstLevels[k] = info->firstLevels[k];
        b->secondLevels[k] = info->secondLevels[k];
    }
    b->firstLevels[3] = b->secondLevels[3] = 0;
    b->reductionRange =
        static_cast<int32_t>(std::max({info->secondLevels[0], info->secondLevels[1], info->secondLevels[2]}));

    if (!info->curveSet) return 0;
    ovcg::ByteCursor head(info->curveSet, kHxrWPrintCurveHeader);
    const uint32_t count = head.u8(), entries = head.u16le(), bytes = head.u8(), fraction = head.u8();
    if (count == 0 || entries != kCurveEntries || bytes != 2 || fraction != 12) return 0;
    uint32_t* colour = GetReductionCurve(info->curveSet, count, info->colourCurveNumber, memory);
    if (!colour) return 0;
    uint32_t* white = GetReductionCurve(info->curveSet, count, info->wCurveNumber, memory);
    if (!white) {
        HXRFreeMem(memory, colour);
        return 0;
    }
    b->colourCurve = colour;
    b->wCurve = white;
    b->infoFlags |= kReductionFlag;
    return 1;
}

uint32_t HXRCheckColorCvtWPrintParam(HXRColorCvtWPrintParam* b) {
    if (!b) return 0;
    const uint32_t flags = b->infoFlags;
    switch (b->outputMode) {
        case kHxrWPrintOff: return flags == 0;
        case kHxrWPrintWhiteOnly:
        case kHxrWPrintBoth: return flags == kWInfoFlag || flags == (kWInfoFlag | kReductionFlag);
        case kHxrWPrintColourOnly:
            if (flags > (kWInfoFlag | kReductionFlag)) return 0;
            b->infoFlags = flags & ~kWInfoFlag;  // no W amount is written
            return 1;
        default: return 0;
    }
}
