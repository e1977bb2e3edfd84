#include "hxr/color/hxr_interm.h"

#include <cstddef>

namespace {

// Row index of (ink, line) after vertical expansion.
uint32_t served_line(const HXRIntermediateData* d, uint32_t line) { return d->vExpansion == 1 ? 0 : line; }

// Start of a valid row, or null. All offsets in pointer width: the block may
// exceed what a 32-bit product of its factors can express.
uint8_t* row_address(const HXRIntermediateData* d, int32_t ink, uint32_t line, uint32_t elementSize) {
    if (!d || ink < 0 || ink >= d->inkNum || line > 1 || d->elementSize != elementSize) return nullptr;
    const uint32_t l = served_line(d, line);
    if (d->validInput[ink][l] != 1) return nullptr;
    const size_t row = 2 * static_cast<size_t>(ink) + l;
    return d->inkQuantityBuf + row * d->linePixelSize * d->elementSize;
}

}  // namespace

HXRIntermediateData* HXRCreateIntermediateData(int32_t inkNum, int32_t width, int32_t elementSize, uint32_t withIntent,
                                               const uint32_t* directInkOff, int32_t clearPos, HXRMemMgr* memory) {
    if (inkNum < 1 || inkNum > kHxrMaxInkNum || width < 1 || (elementSize != 1 && elementSize != 2) || withIntent > 1 ||
        clearPos < -1 || clearPos >= inkNum)
        return nullptr;
    const uint64_t rowLength = (static_cast<uint64_t>(width) + 8) & ~uint64_t{7};
    const uint64_t inkBytes = static_cast<uint64_t>(elementSize) * rowLength * static_cast<uint64_t>(inkNum) * 2;
    const uint64_t blockBytes = inkBytes + (withIntent ? static_cast<uint64_t>(elementSize) * rowLength * 2 : 0);
    if (blockBytes > UINT32_MAX) return nullptr;

    auto* d = static_cast<HXRIntermediateData*>(HXRAllocMem(memory, sizeof(HXRIntermediateData)));
    if (!d) return nullptr;
    auto* block = static_cast<uint8_t*>(HXRAllocMem(memory, static_cast<uint32_t>(blockBytes)));
    if (!block) return nullptr;  // the record stays with the manager until it is deleted
    d->inkNum = inkNum;
    d->linePixelSize = static_cast<uint32_t>(rowLength);
    d->elementSize = static_cast<uint32_t>(elementSize);
    d->inkQuantityBuf = block;
    d->intentBuf = withIntent ? block + inkBytes : nullptr;
    d->writtenStart = 0;
    d->writtenEnd = 0;
    d->vExpansion = 0;
    for (int32_t i = 0; i < kHxrMaxInkNum; ++i) {
        const bool used = i < inkNum;
        d->directInkOff[i] = used && directInkOff ? directInkOff[i] : 0;
        d->validInput[i][0] = d->validInput[i][1] = used ? 1 : 0;
    }
    d->clearPos = clearPos;
    return d;
}

uint32_t HXRSetWritingArea(HXRIntermediateData* d, int32_t start, int32_t end) {
    if (!d || start < 0 || start > end || static_cast<uint32_t>(end) > d->linePixelSize) return 1;
    d->writtenStart = start;
    d->writtenEnd = end;
    return 0;
}

uint32_t HXRGetWrittenArea(const HXRIntermediateData* d, uint32_t* start, uint32_t* count) {
    if (!d || !start || !count) return 1;
    *start = static_cast<uint32_t>(d->writtenStart);
    *count = static_cast<uint32_t>(d->writtenEnd) - static_cast<uint32_t>(d->writtenStart);
    return 0;
}

uint32_t HXRSetVExpansion(HXRIntermediateData* d, uint32_t flag) {
    if (!d || flag > 1) return 1;
    d->vExpansion = flag;
    return 0;
}

uint32_t HXRSetValidInput(HXRIntermediateData* d, const uint8_t* const* planes, int32_t lines) {
    if (!d || !planes || (lines != 1 && lines != 2)) return 1;
    for (int32_t i = 0; i < d->inkNum; ++i) {
        for (int32_t l = 0; l < 2; ++l) {
            const bool given = l < lines && planes[static_cast<size_t>(l) * d->inkNum + i] != nullptr;
            d->validInput[i][l] = given ? 1 : 0;
        }
    }
    return 0;
}

uint8_t* HXRGetInkQuantityBuf(const HXRIntermediateData* d, int32_t ink, uint32_t line) {
    return row_address(d, ink, line, 1);
}

uint16_t* HXRGetInkQuantityBuf16(const HXRIntermediateData* d, int32_t ink, uint32_t line) {
    // Rows of a 16-bit descriptor start at even offsets of a block the
    // manager aligns, so the cast is aligned.
    return reinterpret_cast<uint16_t*>(row_address(d, ink, line, 2));
}

uint8_t* HXRGetIntentBuf(const HXRIntermediateData* d, uint32_t line) {
    if (!d || line > 1 || !d->intentBuf) return nullptr;
    return d->intentBuf + static_cast<size_t>(served_line(d, line)) * d->linePixelSize;
}

uint32_t HXRGet1Color1LinePixelSize(const HXRIntermediateData* d) { return d ? d->linePixelSize : 0; }
uint32_t HXRGetInkNum(const HXRIntermediateData* d) { return d ? static_cast<uint32_t>(d->inkNum) : 0; }
uint32_t HXRGetInkElementSize(const HXRIntermediateData* d) { return d ? d->elementSize : 0xFFFFFFFFu; }

uint32_t HXRGetInkDirectInkOffFlag(const HXRIntermediateData* d, int32_t ink) {
    return d && ink >= 0 && ink < d->inkNum ? d->directInkOff[ink] : 0;
}

int32_t HXRGetIntermClearPos(const HXRIntermediateData* d) { return d ? d->clearPos : 0; }
uint32_t HXRGetReductionMethod(const HXRIntermediateData* d) { return d ? d->reductionMethod : 0; }

uint32_t HXRSetReductionMethod(HXRIntermediateData* d, uint32_t method) {
    if (!d || method >= 2) return 1;
    d->reductionMethod = method;
    return 0;
}
