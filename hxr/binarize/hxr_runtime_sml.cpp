#include "hxr/binarize/hxr_runtime_sml.h"

namespace {

constexpr uint32_t kMaxColors = 12;

uint32_t values_per_level(uint32_t dotMode) {
    switch (dotMode & 15) {
        case 1: return 1;
        case 2: return 3;
        default: return 0;
    }
}

uint64_t rate_count(const HXRSmlColorData& r) { return uint64_t(r.gradationNum) * r.dotSizeNum; }

// What a kernel reading `vpl` values per level reaches: 256 levels (an 8-bit
// ink value; 16-bit values are clamped to the last level) of exactly vpl rates.
bool covers(const HXRSmlColorData* row, uint32_t vpl) {
    return row && row->rates && vpl != 0 && row->gradationNum >= kHxrSmlLevels && row->dotSizeNum == vpl;
}

bool refused(const HXRBrsSource* brs) { return brs && brs->entries; }

// Rate r (0..254) of every entry, rounding down; the product needs 40 bits.
void scale(HXRSmlColorData& row, uint32_t rate) {
    const uint64_t n = rate_count(row);
    for (uint64_t i = 0; i < n; ++i) row.rates[i] = static_cast<uint32_t>(uint64_t(rate) * row.rates[i] / 255);
}

// Cumulative rates of a hostile table can exceed the scale; the kernels index
// threshold tables by them.
void clamp(HXRSmlColorData& row) {
    const uint64_t n = rate_count(row);
    for (uint64_t i = 0; i < n; ++i)
        if (row.rates[i] > kHxrSmlMaxRate) row.rates[i] = kHxrSmlMaxRate;
}

// Copies the manager's monochrome-photo row back into the working row.
bool copy_tnmx_back(const HXRSmlDataOps& o, HXRSmlDataMgr* m, HXRSmlColorData* row, uint32_t order) {
    HXRSmlColorData* t = o.HXRGetSDMOrgTNMXSmlTable(m);
    return t && o.HXRCopyTRAQ2SmlDotRate(&t[order], row) == 0;
}

}  // namespace

HXRRuntimeSml* HXRCreateRuntimeSml(const HXRBrsSource* brs, HXRMemMgr* mm, const HXRSmlDataOps* ops,
                                   uint32_t dotMode) {
    if (refused(brs) || !ops || values_per_level(dotMode) == 0) return nullptr;
    auto* s = static_cast<HXRRuntimeSml*>(HXRAllocMem(mm, sizeof(HXRRuntimeSml)));
    if (!s) return nullptr;
    s->ops = ops;
    s->valuesPerLevel = values_per_level(dotMode);
    for (auto& intent : s->cacheKey)
        for (HXRSmlCacheKey& k : intent) k = {-1, -1};
    return s;  // managers, rows and BRS fields are zero-filled
}

uint32_t HXRSetBrsRuntimeSml(HXRRuntimeSml* s, const HXRBrsSource* brs) {
    if (!s || refused(brs)) return 1;
    s->brsSource = nullptr;
    s->brsData = nullptr;
    return 0;
}

uint32_t HXRSetSmlData(HXRRuntimeSml* s, HXRSmlDataMgr* mgr, uint32_t intent, uint32_t slot, uint32_t kind,
                       const HXRClrMgr* clr, HXRMemMgr* memory) {
    if (!s || !mgr || intent > 1 || slot > 1) return 1;
    s->smlDataMgr[intent][slot] = mgr;
    const uint32_t hc = HXRGetHalftoneColorNum(clr);
    if (hc == 0 || hc > kMaxColors) return 1;
    const HXRSmlDataOps& o = *s->ops;
    for (uint32_t c = 0; c < hc; ++c) {
        const uint32_t ord = HXRGetOutputColorOrderByHalftoneIndex(clr, c);
        if (ord >= kMaxColors) return 1;
        // The row's contents change: whatever was built from it is gone.
        s->cacheKey[intent][c] = {-1, -1};
        HXRSmlColorData& row = s->smlRow[intent][c];
        if (kind == kHxrCvtDirectTNMX) {
            HXRSmlColorData& plain = s->tnmxSmlRow[intent][c];
            if (o.HXRCopySDMSmlTNMXDataEveryColor(mgr, &row, ord, memory) != 0) return 1;
            s->smlRowRoom[intent][c] = rate_count(row);
            if (o.HXRCopySDMSmlDataEveryColor(mgr, &plain, ord, memory) != 0) return 1;
            s->tnmxSmlRowRoom[intent][c] = rate_count(plain);
        } else {
            if (o.HXRCopySDMSmlDataEveryColor(mgr, &row, ord, memory) != 0) return 1;
            s->smlRowRoom[intent][c] = rate_count(row);
        }
    }
    return 0;
}

uint32_t HXRBrsGetCorrection(const HXRRuntimeSml* s, uint32_t, const void*) {
    if (!s) return 1;
    return s->brsSource ? 1u : 0u;
}

uint32_t HXRCorrectBrs(const HXRRuntimeSml* s, uint32_t, int32_t, uint32_t, uint32_t) { return s ? 0u : 1u; }

uint32_t HXRPrepareEveryLineSml(HXRRuntimeSml* s, uint32_t intent, uint32_t slot) {
    if (!s || intent > 1 || slot > 1 || !s->smlDataMgr[intent][slot]) return 1;
    return s->ops->HXRPrepareEveryLineCorrection(s->smlDataMgr[intent][slot]) != 0 ? 1u : 0u;
}

HXRSmlColorData* HXRGetRnrzSmlTable(HXRRuntimeSml* s, uint32_t code, uint32_t t, uint32_t slot, uint32_t rate,
                                    uint32_t kind, const void* tnmxLutInfo, const HXRClrMgr* clr) {
    if (!s || t > 1 || slot > 1 || rate > kHxrSmlRateFull) return nullptr;
    const uint32_t ord = HXRGetOutputColorOrder(clr, code);
    const uint32_t h = HXRGetHalftoneColorOrder(clr, code);
    if (ord >= kMaxColors || h >= kMaxColors) return nullptr;
    HXRSmlColorData* row = &s->smlRow[t][h];
    HXRSmlCacheKey& key = s->cacheKey[t][h];
    if (!s->brsSource && key.slot == int32_t(slot) && key.rate == int32_t(rate)) return row;

    HXRSmlDataMgr* m = s->smlDataMgr[t][slot];
    const uint32_t derived = HXRIsV6UpperColor(clr, code);
    const uint32_t lutNum = HXRGetLutColorNum(clr), lutOrder = HXRGetLutColorOrder(clr, code);
    if (!m || derived > 1 || (kind == kHxrCvtTNMX && lutOrder >= lutNum)) return nullptr;
    // From here the row is rewritten: a failure must not leave an old key
    // that would hand out the half-built row.
    key = {-1, -1};
    const HXRSmlDataOps& o = *s->ops;
    if (o.HXRResetTRAQ2SmlMgrDot(m, row, ord) != 0) return nullptr;
    // The buffer the correction fills: the row's own, or for kind 6 the plain one.
    const bool direct = kind == kHxrCvtDirectTNMX;
    HXRSmlColorData& owner = direct ? s->tnmxSmlRow[t][h] : *row;
    const uint64_t ownerRoom = direct ? s->tnmxSmlRowRoom[t][h] : s->smlRowRoom[t][h];
    const HXRSmlColorData* org = o.HXRGetSDMOrgSmlTable(m);
    // Rows whose counts no longer fit their buffers (a manager whose counts
    // differ from the one copied) are refused before anything is written.
    if (!owner.rates || !org || rate_count(owner) > ownerRoom || rate_count(org[ord]) > ownerRoom ||
        rate_count(*row) > s->smlRowRoom[t][h])
        return nullptr;
    if (o.HXRGetSDMSmlTable(m, owner.rates, code) != 0) return nullptr;
    if (rate != kHxrSmlRateFull) scale(owner, rate);
    if (kind == kHxrCvtTNMX) {
        if (o.HXRMergeLutInSml(m, row, tnmxLutInfo, ord, lutNum, lutOrder) != 0) return nullptr;
        if (!copy_tnmx_back(o, m, row, ord)) return nullptr;
    } else if (direct) {
        if (o.HXRExpandTNMXDrtSml(m, &owner, ord) != 0) return nullptr;
        if (!copy_tnmx_back(o, m, row, ord)) return nullptr;
    }
    if ((row->dotSizeNum == 3 || row->dotSizeNum == 5) && o.HXRAddRateTRAQ2SmlDataEveryColor(row) != 0)
        return nullptr;
    if (o.HXRSplitTRAQ2SmlDataEveryColor(row, derived) != 0) return nullptr;
    if (!covers(row, s->valuesPerLevel) || rate_count(*row) > s->smlRowRoom[t][h]) return nullptr;
    clamp(*row);
    key = {int32_t(slot), int32_t(rate)};
    return row;
}

HXRSmlColorData* HXRGetRnrzOrgSmlTable(HXRRuntimeSml* s, uint32_t code, uint32_t intent, uint32_t slot,
                                       const HXRClrMgr* clr) {
    if (!s || intent > 1 || slot > 1 || !s->smlDataMgr[intent][slot]) return nullptr;
    const uint32_t ord = HXRGetOutputColorOrder(clr, code);
    if (ord >= kMaxColors) return nullptr;
    HXRSmlColorData* org = s->ops->HXRGetSDMOrgSmlTable(s->smlDataMgr[intent][slot]);
    return org ? &org[ord] : nullptr;
}

uint32_t HXRCheckSmlRow(const HXRSmlColorData* row, uint32_t dotMode) {
    return covers(row, values_per_level(dotMode)) ? 0u : 1u;
}
