#include "hxr/control/hxr_ht_ctrl.h"

#include "hxr/binarize/hxr_bnrz_ctrl.h"
#include "hxr/control/hxr_alloc_array.h"

#include <atomic>
#include <climits>
#include <cstring>

namespace {

std::atomic<const HXRBinarizeOps*> g_ops{nullptr};

constexpr uint32_t kNoAnswer = 0xFFFFFFFFu;

bool needs_rgb_or_cmyk(uint32_t mode) { return mode == 1 || mode == 3 || mode == 5; }

// A query of the binariser: the neutral answer without a controller.
using Query = uint32_t (*HXRBinarizeOps::*)(const HXRBinarizeController*);
uint32_t ask(const HXRHtController* c, Query entry) { return c ? (c->ops->*entry)(c->binarize) : 0; }

}  // namespace

const HXRBinarizeOps* HXRGetBinarizeOps() {
    const HXRBinarizeOps* ops = g_ops.load();
    return ops ? ops : HXRDefaultBinarizeOps();
}

void HXRSetBinarizeOps(const HXRBinarizeOps* ops) { g_ops.store(ops); }

uint32_t HXRBinarizeOpsComplete(const HXRBinarizeOps* o) {
    return o && o->create && o->setHybridED && o->setBrs && o->setDataShift && o->setData && o->setSwitchPos &&
                   o->binarize && o->resetErrorBuffer && o->dotCounter && o->textEnhance && o->textEdgeCondition &&
                   o->smlGradNum && o->ifUseDth && o->dthOrder && o->dthThreshAddition && o->dthDataBytes &&
                   o->dthDataType && o->dthThreshUpdatePixel && o->ifUseUBEC && o->ubecBlockSize &&
                   o->ubecEncodeStep && o->ubecTableType && o->bitPerColor && o->pixelSize && o->outputColorOrder &&
                   o->halftoneColorNum
               ? 1
               : 0;
}

uint32_t HXRHtInkRowLength(uint32_t scale, uint32_t width) {
    const int64_t d = static_cast<int16_t>(scale >> 16);
    const uint64_t u = scale & 0xFFFFu;
    uint64_t pixels;
    if (d < 0) return 0;
    if (d == 0)
        pixels = uint64_t{scale} * width;
    else
        pixels = (u * width + static_cast<uint64_t>(d) - 1) / static_cast<uint64_t>(d);
    return pixels == 0 || pixels > INT32_MAX ? 0 : static_cast<uint32_t>(pixels);
}

uint32_t HXRHtInkSelectionFlags(uint32_t mode, uint32_t colourMode, int32_t clearPos, uint32_t inks,
                                uint32_t flags[kHxrMaxInks]) {
    for (uint32_t k = 0; k < kHxrMaxInks; ++k) flags[k] = 0;
    if (needs_rgb_or_cmyk(mode)) return colourMode == kHxrColorModeRGB || colourMode == kHxrColorModeCMYK ? 0 : 1;
    const bool has_clear = clearPos >= 0 && static_cast<uint32_t>(clearPos) < inks;
    if (mode == kHxrInkSelOnlyClear && has_clear) flags[clearPos] = 1;
    if (mode == kHxrInkSelAllButClear)
        for (uint32_t k = 0; k < inks && k < kHxrMaxInks; ++k) flags[k] = has_clear && k == uint32_t(clearPos) ? 0 : 1;
    return 0;
}

HXRHtController* HXRCreateHtController(const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                       const _HXR_OPTION_INFO* option, HXRValueSettings* values,
                                       const HXRClrMgr* colours, HXRMemMgr* memory) {
    if (!image || !halftone || !option || !values || !colours || !memory) return nullptr;
    const HXRBinarizeOps* ops = HXRGetBinarizeOps();
    if (!HXRBinarizeOpsComplete(ops)) return nullptr;

    const uint32_t inks = HXRGetOutputColorNum(colours);
    const uint32_t lutClear = HXRGetLutColorOrder(colours, kHxrClearInkCode);
    const int32_t clearPos = lutClear < inks ? static_cast<int32_t>(lutClear) : -1;
    uint32_t flags[kHxrMaxInks];
    if (HXRHtInkSelectionFlags(option->inkSelectionMode, image->colorMode, clearPos, inks, flags) != 0)
        return nullptr;

    HXRColorCvtController* colour = HXRCreateColorCvtController(image, halftone, values, colours, memory);
    if (!colour) return nullptr;
    const uint32_t mode = HXRGeColorCvtMode(colour);
    const uint32_t element = HXRGetInkQuantityElementSize(colour);
    if (element == 0) return nullptr;

    const uint32_t row = HXRHtInkRowLength(halftone->scale, image->width);
    if (row == 0) {
        HXRSetErrorInfo(kHxrHtRowLength);
        return nullptr;
    }
    HXRBinarizeController* binarize = ops->create(halftone, option, mode, row, element, colours, memory);
    if (!binarize || inks == 0) return nullptr;

    HXRIntermediateData* ink =
        HXRCreateIntermediateData(static_cast<int32_t>(inks), static_cast<int32_t>(row), static_cast<int32_t>(element),
                                  image->attributeStride >= 1 ? 1 : 0, flags, clearPos, memory);
    if (!ink) return nullptr;
    HXRSetReductionMethod(ink, values->reductionMethod);  // "not set" leaves the buffer's own

    HXRRandNum* random = HXRCreateRandNum(memory);
    if (!random) return nullptr;
    HXRHtController* c = HXRAllocRecord<HXRHtController>(memory);
    if (!c) {
        HXRDeleteRandNum(random, memory);
        return nullptr;
    }
    *c = {random, ink, colour, binarize, ops, mode, element};
    return c;
}

uint32_t HXRDeleteHtController(HXRHtController* controller, HXRMemMgr* memory) {
    if (!controller) return kHxrHtSetNoController;
    const uint32_t r = HXRDeleteRandNum(controller->random, memory);
    const uint32_t f = HXRFreeMem(memory, controller);
    return r != 0 ? r : f;
}

// ---------------------------------------------------------------- set-up

uint32_t HXRSetHybridED(HXRHtController* c, const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                        const _HXR_OPTION_INFO*, const HXRClrMgr* colours, HXRMemMgr* memory) {
    if (!image || !halftone || !colours) return 1;
    if (!c) return kHxrHtSetNoController;
    if (c->elementSize == 0 ||
        c->ops->setHybridED(c->binarize, halftone, c->mode, c->elementSize, colours, c->ink, c->random, memory) != 0)
        return kHxrHtSetHybridFailed;
    return 0;
}

uint32_t HXRSetBrs(HXRHtController* c, const void* brs) {
    if (!c) return kHxrHtSetNoController;
    return c->ops->setBrs(c->binarize, brs) != 0 ? kHxrHtSetBrsFailed : 0;
}

uint32_t HXRSetDataShift(HXRHtController* c, const void* source, const HXRClrMgr* colours) {
    if (!c) return kHxrHtShiftNoController;
    return c->ops->setDataShift(c->binarize, source, colours) != 0 ? kHxrHtShiftFailed : 0;
}

uint32_t HXRSetResourceData(HXRHtController* c, const HXRTRAQ2Data* set, const HXRClrMgr* colours,
                            HXRMemMgr* memory) {
    if (!c) return kHxrHtDataNoController;
    HXRColorCvtLutSet luts{};
    for (uint32_t i = 0; i < 2; ++i) {
        luts.lut3D[i] = HXRGetLut3DData(set, i);
        luts.lut4D[i] = HXRGetLut4DData(set, i);
        luts.lutTNMX[i] = HXRGetLutTNMXData(set, i);
    }
    luts.userTable = HXRGetLutUserData(set);
    luts.userChannels = HXRGetLutColorNum(colours);
    if (HXRSetColorCvtData(c->colour, &luts) != 0) return kHxrHtDataColourRefused;
    return c->ops->setData(c->binarize, set, colours, memory) != 0 ? kHxrHtDataBinarizeRefused : 0;
}

// ---------------------------------------------------------------- pages

uint32_t HXRStartPage(HXRHtController* c, const HXRSwitchPosList* positions, HXRMemMgr* memory) {
    if (!c) return kHxrHtPageNoController;
    if (c->ops->setSwitchPos(c->binarize, positions, 0, memory) != 0) return kHxrHtPageSwitchFailed;
    return c->ops->resetErrorBuffer(c->binarize, c->random) != 0 ? kHxrHtPageResetFailed : 0;
}

uint32_t HXRResetSwitchingPos(HXRHtController* c, const HXRSwitchPosList* positions, HXRMemMgr* memory) {
    if (!c) return kHxrHtResetNoController;
    return c->ops->setSwitchPos(c->binarize, positions, 1, memory) != 0 ? kHxrHtResetFailed : 0;
}

uint32_t HXREndPage() { return 0; }

// ---------------------------------------------------------------- bands

uint32_t HXRHalftone(HXRHtController* c, uint8_t* const* outputRows, uint32_t* anyDot,
                     const uint8_t* const* inputPlanes, const uint8_t* const* attributePlanes, int32_t pixels,
                     int32_t xOffset, int32_t lines, int32_t firstRow) {
    if (!c) return kHxrHtBandNoController;
    if (xOffset < 0 || firstRow < 0 || pixels < 0) return kHxrHtBandBadArgument;
    if (HXRColorConvert(c->colour, c->ink, c->random, inputPlanes, attributePlanes, pixels, xOffset, lines,
                        firstRow) != 0)
        return kHxrHtBandConvertFailed;
    const void* tnmx = c->mode == kHxrColorCvtTNMX ? HXRGetTNMXLutInfo(c->colour, 0) : nullptr;
    if (c->ops->binarize(c->binarize, c->ink, c->random, outputRows, anyDot, lines, firstRow, tnmx) != 0)
        return kHxrHtBandBinarizeFailed;
    if (c->ops->textEnhance(c->colour, c->binarize, inputPlanes, outputRows, pixels, xOffset, lines) != 0)
        return kHxrHtBandTextEdgeFailed;
    return 0;
}

HXRHybridEDTailSlot* HXRCutHtRuns(HXRHtController* c, HXRMemMgr* memory) {
    if (!c || !c->binarize || c->binarize->kind != kHxrBnrzKindEveryColor || !memory) return nullptr;
    if (HXRGetColorCvtTextEnhance(c->colour) != 0) return nullptr;
    return HXRCutEveryColorRuns(c->binarize->everyColor, memory);
}

uint32_t HXRConvertColor(HXRHtController* c, uint8_t* const* inkRows, int32_t* writtenStart, int32_t* writtenLength,
                         const uint8_t* const* inputPlanes, const uint8_t* const* attributePlanes, int32_t pixels,
                         int32_t xOffset, int32_t lines, int32_t firstRow) {
    if (!c) return kHxrHtInkNoController;
    if (xOffset < 0 || firstRow < 0 || pixels < 0) return kHxrHtInkBadArgument;
    if (!HXRIfUseLut(c->colour) || c->elementSize != 1) return kHxrHtInkNotLut8;
    if (HXRColorConvert(c->colour, c->ink, c->random, inputPlanes, attributePlanes, pixels, xOffset, lines,
                        firstRow) != 0)
        return kHxrHtInkConvertFailed;

    const uint32_t inks = HXRGetInkNum(c->ink);
    uint32_t start = 0, count = 0;
    if (!inkRows || !writtenStart || !writtenLength || inks == 0 || HXRGetWrittenArea(c->ink, &start, &count) != 0)
        return kHxrHtInkNoOutput;
    const HXRLutTNMXData* tnmx = c->mode == kHxrColorCvtTNMX ? HXRGetTNMXLutInfo(c->colour, 0) : nullptr;
    // Every ink gray value q (0..255) indexes row q of a table of `inks` columns.
    if (c->mode == kHxrColorCvtTNMX && (!tnmx || !tnmx->table || tnmx->channels != inks || tnmx->gridNum < 256))
        return kHxrHtInkNoOutput;
    const uint32_t rowLines = lines == 2 ? 2 : 1;
    for (uint32_t line = 0; line < rowLines; ++line) {
        if (tnmx) {
            const uint8_t* gray = HXRGetInkQuantityBuf(c->ink, 0, line);
            if (!gray) continue;
            for (uint32_t k = 0; k < inks; ++k) {
                uint8_t* out = inkRows[line * inks + k];
                if (!out) continue;
                out += size_t{start} * 2;
                for (uint32_t x = 0; x < count; ++x) {
                    const uint32_t v = tnmx->table[size_t{gray[start + x]} * inks + k];
                    out[2 * x] = static_cast<uint8_t>(v);
                    out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                }
            }
        } else {
            for (uint32_t k = 0; k < inks; ++k) {
                const uint8_t* src = HXRGetInkQuantityBuf(c->ink, static_cast<int32_t>(k), line);
                uint8_t* out = inkRows[line * inks + k];
                if (!src || !out) continue;
                // One block move: a byte loop the compiler cannot widen (the rows
                // may alias as far as it knows) cost 4% of a colour page.
                std::memmove(out + start, src + start, count);
            }
        }
    }
    const uint32_t unit = tnmx ? 2 : 1;
    *writtenStart = static_cast<int32_t>(start * unit);
    *writtenLength = static_cast<int32_t>(count * unit);
    return 0;
}

// ---------------------------------------------------------------- getters

uint32_t HXRNeedLut(const HXRHtController* c) { return c ? HXRIfUseLut(c->colour) : 0; }
uint32_t HXRGetLutType(const HXRHtController* c) { return c ? HXRGetColorCvtLutType(c->colour) : 0; }
uint32_t HXRGetLutGridNum(const HXRHtController* c) { return c ? HXRGetColorCvtLutGridNum(c->colour) : 0; }
uint32_t HXRGetLutGridInfoType(const HXRHtController* c) {
    return c ? HXRGetColorCvtLutGridInfoType(c->colour) : 0;
}
uint32_t HXRGetHtCtrlTextEnhance(const HXRHtController* c) { return c ? HXRGetColorCvtTextEnhance(c->colour) : 0; }
uint32_t HXRGetHtCtrlInkQtElementSize(const HXRHtController* c) {
    return c ? HXRGetInkQuantityElementSize(c->colour) : 0;
}
uint32_t HXRGetHtCtrlPixelOffset(const HXRHtController* c) { return c ? HXRGetColorCvtPixelOffset(c->colour) : 0; }
uint32_t HXRIfLutType3D4D(const HXRHtController* c) {
    const uint32_t t = HXRGetLutType(c);
    return t == kLutSlice3D || t == kLutSlice4D ? 1 : 0;
}
uint32_t HXRGetColorConvertMode(const HXRHtController* c) { return c ? c->mode : kNoAnswer; }

uint32_t HXRGetHalftoneColorConvertData(const HXRHtController* c, uint8_t* out, const uint8_t* pixel,
                                        uint32_t colourMode, uint32_t mode, uint32_t useAttribute,
                                        int32_t channels) {
    if (!c) return kHxrHtBandNoController;
    return HXRGetColorConvertColorConvertData(c->colour, out, pixel, colourMode, mode, useAttribute, channels);
}

uint32_t HXRGetHtCtrlSmlGradNum(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::smlGradNum); }
uint32_t HXRIfAddBiggerDotRate(const HXRHtController*) { return 0; }
uint32_t HXRNeedDth(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::ifUseDth); }
uint32_t HXRGetDthOrder(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::dthOrder); }
uint32_t HXRGetDthThreshAddition(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::dthThreshAddition); }
uint32_t HXRGetDthDataBytes(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::dthDataBytes); }
uint32_t HXRGetDthDataType(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::dthDataType); }
uint32_t HXRGetDthThreshUpdatePixel(const HXRHtController* c) {
    return ask(c, &HXRBinarizeOps::dthThreshUpdatePixel);
}
uint32_t HXRNeedUBEC(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::ifUseUBEC); }
uint32_t HXRGetUBECBlockSize(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::ubecBlockSize); }
uint32_t HXRGetUBECEncodeStep(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::ubecEncodeStep); }
uint32_t HXRGetUBECTableType(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::ubecTableType); }
uint32_t HXRNeedUBECSmlCalib(const HXRHtController*) { return 0; }
uint32_t HXRGetHtCtrlHalftoneColorNum(const HXRHtController* c) { return ask(c, &HXRBinarizeOps::halftoneColorNum); }
uint32_t HXRGetHtCtrlOutputColorOrder(const HXRHtController* c, uint32_t code) {
    return c ? c->ops->outputColorOrder(c->binarize, code) : kNoAnswer;
}

uint32_t HXRGetWriteOutBufSize(const HXRHtController* c, uint32_t) {
    const uint32_t bits = ask(c, &HXRBinarizeOps::bitPerColor);
    if (bits != 1 && bits != 2) return 0;
    const uint32_t perByte = 8 / bits;
    const uint64_t pixels = ask(c, &HXRBinarizeOps::pixelSize);
    return static_cast<uint32_t>((pixels + perByte - 1) / perByte);
}

uint32_t HXRGetWriteInkBufSize(const HXRHtController* c) {
    if (!c) return 0;
    const uint64_t bytes = uint64_t{HXRGet1Color1LinePixelSize(c->ink)} * c->elementSize *
                           (c->mode == kHxrColorCvtTNMX ? 2 : 1);
    return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

uint32_t HXRResetHtCtrlErrorBuffer(HXRHtController* c) {
    if (!c) return 1;
    return c->ops->resetErrorBuffer(c->binarize, c->random) != 0 ? 1 : 0;
}

uint32_t HXRGetHtCtrlDotCounter(HXRHtController* c, uint64_t* counts, uint32_t capacity) {
    if (!c || !counts) return 0;
    return c->ops->dotCounter(c->binarize, counts, capacity);
}

HXRHtCtrlAnswers HXRGetHtCtrlAnswers(const HXRHtController* c) {
    HXRHtCtrlAnswers a{};
    a.needLut = HXRNeedLut(c);
    a.lutType = HXRGetLutType(c);
    a.lutGridNum = HXRGetLutGridNum(c);
    a.lutGridInfoType = HXRGetLutGridInfoType(c);
    a.colorConvertMode = HXRGetColorConvertMode(c);
    a.smlGradNum = HXRGetHtCtrlSmlGradNum(c);
    a.needDth = HXRNeedDth(c);
    a.dthOrder = HXRGetDthOrder(c);
    a.dthThreshAddition = HXRGetDthThreshAddition(c);
    a.dthDataBytes = HXRGetDthDataBytes(c);
    a.dthUpdatePixel = HXRGetDthThreshUpdatePixel(c);
    a.dthDataType = HXRGetDthDataType(c);
    a.needUBEC = HXRNeedUBEC(c);
    a.ubecBlockKind = HXRGetUBECBlockSize(c);
    a.ubecEncodeStep = HXRGetUBECEncodeStep(c);
    a.ubecTableType = HXRGetUBECTableType(c);
    a.ubecSmlCalib = HXRNeedUBECSmlCalib(c);
    a.halftoneColorNum = HXRGetHtCtrlHalftoneColorNum(c);
    return a;
}
