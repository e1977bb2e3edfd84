#include "hxr/binarize/hxr_bnrz_evrclr.h"

#include "hxr/binarize/hxr_bnrz_mode.h"
#include "hxr/control/hxr_dth_data.h"
#include "hxr/control/hxr_sml_mgr.h"
#include "hxr/control/hxr_traq2_data.h"

#include <climits>
#include <new>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kCounts = 7;  // dot codes 0..6 of one step

struct BrsPair {
    uint32_t code;
    int32_t nozzle;
};

bool heads_ok(uint32_t heads) { return heads == 1 || heads == 2; }

// The ink row a halftone colour reads: the one row of the monochrome-photo
// converter, else the colour's LUT channel.
uint32_t ink_index(const HXRClrMgr* clr, uint32_t kind, uint32_t code) {
    return kind == kHxrCvtTNMX ? 0 : HXRGetLutColorOrder(clr, code);
}

// The dither records of every area for one output order.
bool dither_ok(const HXRRuntimeDither* rd, int32_t areas, uint32_t ord) {
    const HXRDthDataOps& o = *rd->ops;
    for (int32_t a = 0; a < areas; ++a) {
        if (HXRCheckDthData(o.HXRGetTRAQ2DthDataMgrDthSingleInfo(rd->dthDataMgr, a, ord)) != 0) return false;
        if (!o.HXRGetTRAQ2DthDataMgrDthOffSingleInfo(rd->dthDataMgr, a, ord)) return false;
    }
    return true;
}

// Builds the colour's SML tables of both intents and slots as a band at full
// rate would; the monochrome-photo kind merges each band's table record, so
// its rows are left to the kernels' own check.
bool sml_ok(HXRRuntimeSml* rs, uint32_t code, uint32_t kind, const HXRClrMgr* clr) {
    if (kind == kHxrCvtTNMX) return true;
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t s = 2; s-- > 0;) {  // slot 0 last: its key stays for the bands
            if (HXRPrepareEveryLineSml(rs, t, s) != 0) return false;
            if (!HXRGetRnrzSmlTable(rs, code, t, s, kHxrSmlRateFull, kind, nullptr, clr)) return false;
        }
    return true;
}

// What every band would otherwise find wrong (header: job-start check).
uint32_t check_job(HXREveryColorBinarizer* b) {
    const HXRClrMgr* clr = b->colorManager;
    const uint32_t hc = HXRGetHalftoneColorNum(clr), lc = HXRGetLutColorNum(clr);
    if (hc == 0 || hc > kHxrBnrzColors || lc == 0 || lc > kHxrBnrzColors) return 1;
    for (uint32_t k = 0; k < lc; ++k)
        if (HXRGetOutputColorCode(clr, k) == kNone) return 1;
    HXRRuntimeDither* rd = b->runtimeDither;
    const int32_t areas = rd->ops->HXRGetTRAQ2DthAreaNum(rd->dthDataMgr);
    if (areas < 1) return 1;
    const uint32_t kind = HXRGetBnrzDitheMode(b->ditherBinarizer);
    for (uint32_t c = 0; c < hc; ++c) {
        const uint32_t code = HXRGetHalftoneColorCode(clr, c);
        if (code == kNone) return 1;
        const uint32_t ord = HXRGetOutputColorOrder(clr, code);
        if (ord >= lc || ink_index(clr, kind, code) >= lc) return 1;
        if (!dither_ok(rd, areas, ord) || !sml_ok(b->runtimeSml, code, kind, clr)) return 1;
    }
    return 0;
}

// The manager of slot (t, 1): the secondary one when the data set has it and
// finds it coordinated, else the slot-0 choice; null when refused.
HXRSmlDataMgr* secondary(const HXRBnrzDataOps& o, const HXRTRAQ2Data* set, uint32_t t, HXRSmlDataMgr* primary,
                         bool& refused) {
    HXRSmlDataMgr* m = o.HXRGetSmlDataMgr(set, t, 1);
    if (!m) return primary;
    if (o.HXRCheckCoordinationSml(set, t) != 0) refused = true;
    return m;
}

// The dot codes a step placed go to the colour's counters.
bool count_step(HXREveryColorBinarizer* b, const uint32_t* counts, uint32_t c, uint32_t& anyDot) {
    if (HXRAddDotCounter(b->dotCounter, counts + 1, c) != 0) return false;
    for (uint32_t k = 1; k < kCounts && !anyDot; ++k) anyDot = counts[k] != 0;
    return true;
}

// The span every step of the band binarises must lie inside the plane and the
// ink row (the dither kernels read ink up to the next output byte).
bool span_ok(const HXREveryColorBinarizer* b, const HXRIntermediateData* interm) {
    uint32_t start = 0, count = 0;
    if (HXRGetWrittenArea(interm, &start, &count) != 0) return false;
    const uint64_t end = uint64_t(start) + count;
    return end <= b->planePixels && (end + 7) / 8 * 8 <= HXRGet1Color1LinePixelSize(interm) && end <= INT32_MAX;
}

struct Band {
    HXREveryColorBinarizer* b;
    const HXRIntermediateData* interm;
    HXRRandNum* random;
    uint8_t* const* planes;
    uint32_t lines, hc, lc, kind, elementSize;
    int32_t x0, n;
    const void* tnmx;
    uint32_t anyDot;
};

// One (line, colour) of the band: every head of it.
uint32_t run_colour(Band& band, uint32_t i, int32_t y, uint32_t c) {
    HXREveryColorBinarizer* b = band.b;
    const HXRClrMgr* clr = b->colorManager;
    const uint32_t code = HXRGetHalftoneColorCode(clr, c);
    if (code == kNone) return 1;
    const int32_t ink = int32_t(ink_index(clr, band.kind, code));
    const uint8_t* ink8 = band.elementSize == 1 ? HXRGetInkQuantityBuf(band.interm, ink, i) : nullptr;
    const uint16_t* ink16 = band.elementSize == 2 ? HXRGetInkQuantityBuf16(band.interm, ink, i) : nullptr;
    const uint8_t* intent = HXRGetIntentBuf(band.interm, i);
    const uint32_t ord = HXRGetOutputColorOrder(clr, code);
    if (ord >= band.lc) return 1;
    const HXRDthData* dither = HXRGetDthDataSingleInfo(b->runtimeDither, y, ord);
    const HXRDthOffset* offset = HXRGetDthOffDataSingleInfo(b->runtimeDither, y, ord);
    const uint32_t heads = HXRGetUseHeadNum(b->dataShift, y, ord);
    if (!dither || !offset || !heads_ok(heads)) return 1;
    const uint32_t slot = heads - 1;
    HXRHybridEDBinarizer* hybrid = b->hybridED[c];

    for (uint32_t h = 0; h < heads; ++h) {
        uint32_t counts[kCounts] = {};
        const uint32_t rate = HXRGetUseSmlRate(b->dataShift, y, ord, h);
        const int32_t nozzle = HXRGetUseNozzleNumber(b->dataShift, y, ord, h);
        const HXRSmlColorData* sml[2] = {};
        for (uint32_t t = 0; t < 2; ++t) {
            if (HXRPrepareEveryLineSml(b->runtimeSml, t, slot) != 0) return 1;
            if (HXRCorrectBrs(b->runtimeSml, code, nozzle, t, slot) != 0) return 1;
            sml[t] = HXRGetRnrzSmlTable(b->runtimeSml, code, t, slot, rate, band.kind, band.tnmx, clr);
            if (!sml[t]) return 1;
        }
        uint8_t* plane = band.planes[(h * band.lines + i) * band.hc + c];
        switch (b->modes[c]) {
            case kHxrBnrzDither: {
                const uint32_t r =
                    band.elementSize == 1
                        ? HXRBinarizeDither(b->ditherBinarizer, plane, counts, ink8, intent, band.x0, band.n, dither,
                                            offset, sml, uint32_t(nozzle))
                        : HXRBinarizeDither16bit(b->ditherBinarizer, plane, counts, ink16, intent, band.x0, band.n,
                                                 dither, offset, sml, uint32_t(nozzle));
                if (r != 0) return 1;
                break;
            }
            case kHxrBnrzHybridED: {
                if (HXRSwitchHybridEDErrorBuff(hybrid, int32_t(heads)) != 0) return 1;
                int32_t* error = HXRGetHybridEDErrorBuffer(hybrid, band.random, uint32_t(y), int32_t(h));
                if (!error || band.elementSize != 1) return 1;
                if (HXRBinarizeHybridED(hybrid, plane, counts, ink8, intent, error, band.x0, band.n, dither, offset,
                                        sml, uint32_t(nozzle)) != 0)
                    return 1;
                break;
            }
            default: return 1;
        }
        if (!count_step(b, counts, c, band.anyDot)) return 1;
    }
    if (hybrid && HXRSetHybridEDVPostion(hybrid, uint32_t(y)) != 0) return 1;
    return 0;
}

// The line's BRS list: every LUT colour's code with the nozzle of each head.
uint32_t run_brs(Band& band, int32_t y) {
    HXREveryColorBinarizer* b = band.b;
    BrsPair pairs[2 * kHxrBnrzColors];
    uint32_t count = 0;
    for (uint32_t k = 0; k < band.lc; ++k) {
        const uint32_t code = HXRGetOutputColorCode(b->colorManager, k);
        const uint32_t heads = HXRGetUseHeadNum(b->dataShift, y, k);
        if (code == kNone || !heads_ok(heads)) return 1;
        for (uint32_t h = 0; h < heads; ++h) pairs[count++] = {code, HXRGetUseNozzleNumber(b->dataShift, y, k, h)};
    }
    return HXRBrsGetCorrection(b->runtimeSml, count, pairs) != 0 ? 1u : 0u;
}

}  // namespace

const HXRBnrzDataOps kHxrBnrzDataSetOps = {&kHxrDthDataMgrOps, &kHxrSmlDataMgrOps, HXRGetDthDataMgr,
                                           HXRGetSmlDataMgr, HXRCheckCoordinationSml};

HXREveryColorBinarizer* HXRCreateBinarizeEveryColor(uint32_t htType, uint32_t inkSet, int32_t, int32_t,
                                                    uint32_t dotMode, uint32_t kind, uint32_t elementSize,
                                                    const HXRClrMgr* clr, HXRMemMgr* mm, const HXRBnrzDataOps* ops,
                                                    uint32_t planePixels) {
    if (!clr || !ops || !ops->dither || !ops->sml || HXRCheckHtType(htType) != 0) return nullptr;
    const uint32_t hc = HXRGetHalftoneColorNum(clr);
    if (hc == 0 || hc > kHxrBnrzColors) return nullptr;
    auto* b = static_cast<HXREveryColorBinarizer*>(HXRAllocMem(mm, sizeof(HXREveryColorBinarizer)));
    if (!b) return nullptr;
    for (uint32_t c = 0; c < kHxrBnrzColors; ++c) b->modes[c] = c < hc ? HXRGetBinarizeMode(inkSet, htType, c) : 0;
    b->ditherBinarizer = HXRCreateBinarizeDither(kind, elementSize, dotMode, mm);
    b->runtimeDither = HXRCreateRuntimeDither(mm, ops->dither);
    b->runtimeSml = HXRCreateRuntimeSml(nullptr, mm, ops->sml, dotMode);
    b->dataShift = HXRCreateDataShift(nullptr, clr, mm);
    b->tailSlot = nullptr;
    b->dotCounter = HXRCreateCountDot(mm);
    if (!b->ditherBinarizer || !b->runtimeDither || !b->runtimeSml || !b->dataShift || !b->dotCounter)
        return nullptr;  // what was made stays with the memory manager
    b->colorManager = clr;
    b->ops = ops;
    b->planePixels = planePixels;
    return b;
}

uint32_t HXRCreateBinarizeEveryColorHybridED(HXREveryColorBinarizer* b, uint32_t inkSet, int32_t hRes, int32_t vRes,
                                             uint32_t kind, uint32_t elementSize, uint32_t dotMode, uint32_t htType,
                                             const HXRIntermediateData* interm, HXRRandNum* random,
                                             HXRMemMgr* mm) {
    if (!b) return 1;
    const HXRClrMgr* clr = b->colorManager;
    const uint32_t hc = HXRGetHalftoneColorNum(clr);
    uint32_t result = elementSize == 1 && b->ditherBinarizer->elementSize == 1 &&
                              HXRGetInkElementSize(interm) == 1 && hc > 0
                          ? 0
                          : 1;
    for (uint32_t c = 0; c < kHxrBnrzColors; ++c) {
        b->hybridED[c] = nullptr;
        const uint32_t code = HXRGetHalftoneColorCode(clr, c);
        if (b->modes[c] != kHxrBnrzHybridED || code == kNone) {
            if (c < hc) result = 1;  // a halftone colour the band could not binarise
            continue;
        }
        const HXRSmlColorData* rows[4];
        for (uint32_t k = 0; k < 4; ++k)
            rows[k] = HXRGetRnrzOrgSmlTable(b->runtimeSml, code, k / 2, k % 2, clr);
        b->hybridED[c] = HXRCreateBinarizeHybridED(inkSet, hRes, vRes, kind, elementSize, dotMode, htType, code, rows,
                                                   interm, random, mm);
        if (!b->hybridED[c]) result = 1;
    }
    // A job the set-up refuses runs no band.
    if (result != 0) b->dataReady = 0;
    return result;
}

uint32_t HXRSetBrsBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRBrsSource* brs) {
    if (!b) return 1;
    return HXRSetBrsRuntimeSml(b->runtimeSml, brs) != 0 ? 1u : 0u;
}

uint32_t HXRSetDataShiftBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRDataShiftSource* source,
                                           const HXRClrMgr* clr) {
    if (!b) return 1;
    return HXRSetDataShiftDataShift(b->dataShift, source, clr) != 0 ? 1u : 0u;
}

uint32_t HXRSetBinarizeEveryColorData(HXREveryColorBinarizer* b, const HXRTRAQ2Data* set, const HXRClrMgr* clr,
                                      HXRMemMgr* mm) {
    if (!b) return 1;
    b->dataReady = 0;
    const HXRBnrzDataOps& o = *b->ops;
    if (!set || !o.HXRGetDthDataMgr || !o.HXRGetSmlDataMgr || !o.HXRCheckCoordinationSml) return 1;
    const HXRTRAQ2DthDataMgr* dth = o.HXRGetDthDataMgr(set, 0);
    if (!dth || HXRSetDthMgr(b->runtimeDither, dth) != 0) return 1;
    const uint32_t kind = HXRGetBnrzDitheMode(b->ditherBinarizer);

    bool refused = false;
    HXRSmlDataMgr* slots[2][2] = {};
    slots[0][0] = o.HXRGetSmlDataMgr(set, 0, 0);
    if (!slots[0][0]) return 1;
    slots[0][1] = secondary(o, set, 0, slots[0][0], refused);
    slots[1][0] = o.HXRGetSmlDataMgr(set, 1, 0);
    if (!slots[1][0]) slots[1][0] = slots[0][0];
    slots[1][1] = secondary(o, set, 1, slots[1][0], refused);
    if (refused) return 1;
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t s = 0; s < 2; ++s)
            if (HXRSetSmlData(b->runtimeSml, slots[t][s], t, s, kind, clr, mm) != 0) return 1;

    if (check_job(b) != 0) return 1;
    b->dataReady = 1;
    return 0;
}

uint32_t HXRSetBnrzEvrClrSwitchPos(HXREveryColorBinarizer* b, const HXRSwitchPosList* list, uint32_t mode,
                                   HXRMemMgr* mm) {
    if (!b || !b->runtimeDither) return 1;
    if (mode == 0) {
        if (HXRIsDataShiftCorrection(b->dataShift) == 1 && list && list->count != 0) return 1;
        return HXRCreatDthSwitchInfo(b->runtimeDither, list, mm) == 1 ? 0u : 1u;
    }
    if (mode == 1) return HXRResetDthSwitchInfo(b->runtimeDither, list) == 1 ? 0u : 1u;
    return 1;
}

uint32_t HXRBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRIntermediateData* interm, HXRRandNum* random,
                               uint8_t* const* planes, uint32_t* anyDot, int32_t lines, int32_t firstLine,
                               const void* tnmxLutInfo) {
    if (!b || !interm || !random || !planes || (lines != 1 && lines != 2)) return 1;
    if (firstLine < 0 || int64_t(firstLine) + lines - 1 > INT32_MAX || !b->dataReady) return 1;
    Band band{b, interm, random, planes, uint32_t(lines), 0, 0, 0, 0, 0, 0, tnmxLutInfo, 0};
    band.hc = HXRGetHalftoneColorNum(b->colorManager);
    band.lc = HXRGetLutColorNum(b->colorManager);
    if (band.hc == 0 || band.lc == 0 || band.hc > kHxrBnrzColors || band.lc > kHxrBnrzColors) return 1;
    band.kind = HXRGetBnrzDitheMode(b->ditherBinarizer);
    band.elementSize = HXRGetInkElementSize(interm);
    if (band.elementSize != b->ditherBinarizer->elementSize || !span_ok(b, interm)) return 1;
    uint32_t start = 0, count = 0;
    HXRGetWrittenArea(interm, &start, &count);
    band.x0 = int32_t(start);
    band.n = int32_t(count);

    for (uint32_t i = 0; i < band.lines; ++i) {
        const int32_t y = firstLine + int32_t(i);
        if (HXRDataShiftGetCorrection(b->dataShift, y) != 0 || run_brs(band, y) != 0) return 1;
        HXRGetRandNum(random, uint32_t(y));
        for (uint32_t c = 0; c < band.hc; ++c)
            if (run_colour(band, i, y, c) != 0) return 1;
    }
    if (anyDot) *anyDot = band.anyDot;
    return 0;
}

uint32_t HXRResetErrorBufferBinarizeEveryColor(HXREveryColorBinarizer* b, HXRRandNum* random) {
    if (!b || !random) return 1;
    for (uint32_t c = 0; c < kHxrBnrzColors; ++c) {
        if (b->modes[c] != kHxrBnrzHybridED) continue;
        if (!b->hybridED[c] || HXRSetHybridEDErrorBuffInitialValue(b->hybridED[c], random, 0) != 0) return 1;
    }
    return 0;
}

uint32_t HXRGetBnrzEvrClrDotCounter(HXREveryColorBinarizer* b, uint64_t* out, uint32_t capacity) {
    if (!b || !out) return 0;
    const HXRClrMgr* clr = b->colorManager;
    const uint32_t r = HXRGetRealOutputColorNum(clr);
    if (r == 0 || uint64_t(capacity) < uint64_t(r) * kHxrDotCountsPerColor) return 0;
    for (uint32_t k = 0; k < r; ++k) {
        uint64_t counts[kHxrDotCodes];
        if (HXRGetDotCounter(b->dotCounter, counts, k) != 0) return 0;
        const uint32_t ord = HXRGetOutputColorOrderByHalftoneIndex(clr, k);
        if (ord == kNone) return 0;
        const uint32_t dots = HXRGetOutputDotNum(clr, ord);
        if (dots != 1 && dots != 3 && dots != 5) return 0;
        for (uint32_t d = 0; d < kHxrDotCountsPerColor; ++d)
            out[kHxrDotCountsPerColor * k + d] = d < dots ? counts[d] : 0;
    }
    HXRClearDotCounter(b->dotCounter);
    return r * kHxrDotCountsPerColor;
}

uint32_t HXRGetBnrzEvrClrDthThreshAddition(const HXREveryColorBinarizer* b) {
    return b ? HXRGetBnrzDitherDthThreshAddition(b->ditherBinarizer) : 0;
}

namespace {

// Whether every halftone colour is binarised by UBEC tables; -1 without any.
int all_ubec(const HXREveryColorBinarizer* b) {
    const uint32_t hc = b ? HXRGetHalftoneColorNum(b->colorManager) : 0;
    if (hc == 0) return -1;
    for (uint32_t c = 0; c < hc && c < kHxrBnrzColors; ++c)
        if (b->modes[c] != kHxrBnrzUbec) return 0;
    return 1;
}

}  // namespace

uint32_t HXRGetBnrzEvrClrUsingUBECTable(const HXREveryColorBinarizer* b) { return all_ubec(b) == 1 ? 1u : 0u; }

uint32_t HXRGetBnrzEvrClrDthDataType(const HXREveryColorBinarizer* b) {
    const int u = all_ubec(b);
    return u < 0 ? 0u : u == 1 ? 2u : 1u;
}

uint32_t HXRGetBnrzEvrClrOutputColorOrder(const HXREveryColorBinarizer* b, uint32_t code) {
    return b ? HXRGetOutputColorOrder(b->colorManager, code) : kNone;
}

uint32_t HXRGetBnrzEvrClrHalftoneColorNum(const HXREveryColorBinarizer* b) {
    return b ? HXRGetHalftoneColorNum(b->colorManager) : 0;
}

HXRHybridEDTailSlot* HXRCutEveryColorRuns(HXREveryColorBinarizer* b, HXRMemMgr* mm) {
    if (!b || !mm || !b->dotCounter) return nullptr;
    if (b->tailSlot) return b->tailSlot;
    void* block = HXRAllocMem(mm, sizeof(HXRHybridEDTailSlot));
    if (!block) return nullptr;
    auto* slot = new (block) HXRHybridEDTailSlot;
    bool any = false;
    for (uint32_t c = 0; c < kHxrBnrzColors && c < kHxrDataShiftColors; ++c) {
        if (!b->hybridED[c]) continue;
        if (HXRSetHybridEDTailSlot(b->hybridED[c], slot, b->dotCounter->late[c], mm) != 0) {
            any = false;
            break;
        }
        any = true;
    }
    if (!any) {
        // Every run walked whole again: nobody would join this slot.
        for (HXRHybridEDBinarizer* h : b->hybridED)
            if (h) HXRSetHybridEDTailSlot(h, nullptr, nullptr, nullptr);
        return nullptr;
    }
    b->tailSlot = slot;
    return slot;
}
