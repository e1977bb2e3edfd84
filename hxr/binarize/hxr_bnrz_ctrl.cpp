#include "hxr/binarize/hxr_bnrz_ctrl.h"

#include "hxr/binarize/hxr_bnrz_mode.h"

namespace {

constexpr uint32_t kDotMode34 = 34;

// The every-colour binariser behind a controller of the only kind; null
// otherwise.
HXREveryColorBinarizer* every(const HXRBinarizeController* c) {
    return c && c->kind == kHxrBnrzKindEveryColor ? c->everyColor : nullptr;
}

// A forwarder's answer: 1 without a binariser, else 1 for any failure.
template <typename F>
uint32_t forward(const HXRBinarizeController* c, F&& call) {
    HXREveryColorBinarizer* b = every(c);
    return b && call(b) == 0 ? 0u : 1u;
}

// A query of the only kind: `value` when the controller is of it, else 0.
uint32_t kind_value(const HXRBinarizeController* c, uint32_t value) {
    return c && c->kind == kHxrBnrzKindEveryColor ? value : 0;
}

}  // namespace

HXRBinarizeController* HXRCreateBinarizeController(const _HXR_HALFTONE_INFO* ht, const void* printMode,
                                                   uint32_t kind, uint32_t pixelCount, uint32_t elementSize,
                                                   const HXRClrMgr* clr, HXRMemMgr* mm, const HXRBnrzDataOps* ops) {
    if (!ht || !printMode || !clr) return nullptr;
    if (ht->outputBits == kDotMode34) {
        if (kind == kHxrCvtTNMX || kind == kHxrCvtDirectTNMX) {
            HXRSetErrorInfo(kHxrBnrzCtrlTnmxDotMode34);
            return nullptr;
        }
        if (ht->htType != kHxrHtTypeDither) {
            HXRSetErrorInfo(kHxrBnrzCtrlHtTypeDotMode34);
            return nullptr;
        }
    } else if (HXRCheckHtType(ht->htType) != 0) {
        return nullptr;
    }
    // Rounded in 64 bits: a count near 2^32 must not wrap to a small plane.
    const uint64_t pixelSize = (uint64_t(pixelCount) + 7) / 8 * 8;
    if (pixelSize > UINT32_MAX) return nullptr;
    auto* c = static_cast<HXRBinarizeController*>(HXRAllocMem(mm, sizeof(HXRBinarizeController)));
    if (!c) return nullptr;
    c->kind = kHxrBnrzKindEveryColor;
    c->everyColor = HXRCreateBinarizeEveryColor(ht->htType, ht->inkSet, int32_t(ht->xResolution),
                                                int32_t(ht->yResolution), ht->outputBits, kind, elementSize, clr, mm,
                                                ops, uint32_t(pixelSize));
    if (!c->everyColor) return nullptr;
    c->bitPerColor = ht->outputBits & 15;
    c->pixelSize = uint32_t(pixelSize);
    return c;
}

uint32_t HXRSetHybridEDBinarize(HXRBinarizeController* c, const _HXR_HALFTONE_INFO* ht, uint32_t kind,
                                uint32_t elementSize, const HXRClrMgr*, const HXRIntermediateData* interm,
                                HXRRandNum* random, HXRMemMgr* mm) {
    if (!ht) return 1;
    return forward(c, [&](HXREveryColorBinarizer* b) {
        return HXRCreateBinarizeEveryColorHybridED(b, ht->inkSet, int32_t(ht->xResolution), int32_t(ht->yResolution),
                                                   kind, elementSize, ht->outputBits, ht->htType, interm, random, mm);
    });
}

uint32_t HXRSetBrsBinarize(HXRBinarizeController* c, const HXRBrsSource* brs) {
    return forward(c, [&](HXREveryColorBinarizer* b) { return HXRSetBrsBinarizeEveryColor(b, brs); });
}

uint32_t HXRSetDataShiftBinarize(HXRBinarizeController* c, const HXRDataShiftSource* source, const HXRClrMgr* clr) {
    return forward(c, [&](HXREveryColorBinarizer* b) { return HXRSetDataShiftBinarizeEveryColor(b, source, clr); });
}

uint32_t HXRSetBinarizeData(HXRBinarizeController* c, const HXRTRAQ2Data* set, const HXRClrMgr* clr,
                            HXRMemMgr* mm) {
    return forward(c, [&](HXREveryColorBinarizer* b) { return HXRSetBinarizeEveryColorData(b, set, clr, mm); });
}

uint32_t HXRSetHtSwitchPos(HXRBinarizeController* c, const HXRSwitchPosList* list, uint32_t mode, HXRMemMgr* mm) {
    return forward(c, [&](HXREveryColorBinarizer* b) { return HXRSetBnrzEvrClrSwitchPos(b, list, mode, mm); });
}

uint32_t HXRBinarize(HXRBinarizeController* c, const HXRIntermediateData* interm, HXRRandNum* random,
                     uint8_t* const* planes, uint32_t* anyDot, int32_t lines, int32_t firstLine,
                     const void* tnmxLutInfo) {
    return forward(c, [&](HXREveryColorBinarizer* b) {
        return HXRBinarizeEveryColor(b, interm, random, planes, anyDot, lines, firstLine, tnmxLutInfo);
    });
}

uint32_t HXRResetBnrzErrorBuffer(HXRBinarizeController* c, HXRRandNum* random) {
    return forward(c, [&](HXREveryColorBinarizer* b) { return HXRResetErrorBufferBinarizeEveryColor(b, random); });
}

uint32_t HXRGetBnrzSmlGradNum(const HXRBinarizeController* c) { return kind_value(c, kHxrBnrzSmlGradNum); }
uint32_t HXRBnrzIfAddBiggerDotRate() { return 0; }
uint32_t HXRIfUseDth(const HXRBinarizeController* c) { return kind_value(c, 1); }
uint32_t HXRGetBnrzDthOrder(const HXRBinarizeController* c) { return HXRIfUseDth(c); }
uint32_t HXRGetBnrzDthThreshAddition(const HXRBinarizeController* c) {
    return kind_value(c, HXRGetBnrzEvrClrDthThreshAddition(c ? c->everyColor : nullptr));
}
uint32_t HXRGetBnrzDthDataBytes(const HXRBinarizeController* c) { return kind_value(c, kHxrBnrzDthDataBytes); }
uint32_t HXRGetBnrzDthDataType(const HXRBinarizeController* c) {
    return kind_value(c, HXRGetBnrzEvrClrDthDataType(c ? c->everyColor : nullptr));
}
uint32_t HXRGetBnrzDthThreshUpdatePixel(const HXRBinarizeController* c) {
    return kind_value(c, kHxrBnrzDthUpdatePixels);
}
uint32_t HXRGetBnrzBitPerColor(const HXRBinarizeController* c) { return c ? c->bitPerColor : 0; }

uint32_t HXRGetBnrzCtrlDotCounter(HXRBinarizeController* c, uint64_t* out, uint32_t capacity) {
    HXREveryColorBinarizer* b = every(c);
    return b && out ? HXRGetBnrzEvrClrDotCounter(b, out, capacity) : 0;
}

uint32_t HXRIfUseUBEC(const HXRBinarizeController* c) {
    return kind_value(c, HXRGetBnrzEvrClrUsingUBECTable(c ? c->everyColor : nullptr));
}
uint32_t HXRGetBnrzUBECBlockSize(const HXRBinarizeController* c) { return HXRIfUseDth(c); }
uint32_t HXRGetBnrzUBECEncodeStep(const HXRBinarizeController* c) { return HXRIfUseDth(c); }
uint32_t HXRGetBnrzUBECTableType(const HXRBinarizeController* c) { return HXRIfUseDth(c); }
uint32_t HXRIfExecUBECSmlCalib() { return 0; }
uint32_t HXRGetBnrzPixelSize(const HXRBinarizeController* c) { return c ? c->pixelSize : 0; }

uint32_t HXRGetBnrzOutputColorOrder(const HXRBinarizeController* c, uint32_t code) {
    return c ? HXRGetBnrzEvrClrOutputColorOrder(c->everyColor, code) : 0xFFFFFFFFu;
}

uint32_t HXRGetBnrzHalftoneColorNum(const HXRBinarizeController* c) {
    return c ? HXRGetBnrzEvrClrHalftoneColorNum(c->everyColor) : 0;
}
