#include "hxr/binarize/hxr_runtime_dither.h"

namespace {

int32_t area_num(const HXRRuntimeDither* d) {
    return d->dthDataMgr ? d->ops->HXRGetTRAQ2DthAreaNum(d->dthDataMgr) : -1;
}

// 0 when the list can replace the positions in force, else the code to
// record. Everything is checked before anything is copied.
uint32_t check_list(const HXRRuntimeDither* d, const HXRSwitchPosList* l) {
    if (l->count > kHxrMaxSwitchPos) return kHxrSwitchPosAreas;
    const int32_t areas = area_num(d);
    if (areas != 1 && int64_t(l->count) >= areas) return kHxrSwitchPosAreas;
    if (l->count > 0 && l->positions[0] < 0) return kHxrSwitchPosOrder;
    for (uint32_t i = 1; i < l->count; ++i)
        if (l->positions[i] < l->positions[i - 1]) return kHxrSwitchPosOrder;
    return 0;
}

uint32_t take(HXRRuntimeDither* d, const HXRSwitchPosList* l) {
    if (const uint32_t code = check_list(d, l)) {
        HXRSetErrorInfo(code);
        return 0;
    }
    d->switchInfo.count = static_cast<int32_t>(l->count);
    for (uint32_t i = 0; i < kHxrMaxSwitchPos; ++i) d->switchInfo.positions[i] = i < l->count ? l->positions[i] : 0;
    d->hasSwitchInfo = 1;
    return 1;
}

}  // namespace

HXRRuntimeDither* HXRCreateRuntimeDither(HXRMemMgr* mm, const HXRDthDataOps* ops) {
    if (!ops) return nullptr;
    auto* d = static_cast<HXRRuntimeDither*>(HXRAllocMem(mm, sizeof(HXRRuntimeDither)));
    if (d) d->ops = ops;
    return d;
}

uint32_t HXRSetDthMgr(HXRRuntimeDither* d, const HXRTRAQ2DthDataMgr* mgr) {
    if (!d) return 1;
    d->dthDataMgr = mgr;
    return 0;
}

int32_t HXRGetDthArea(const HXRRuntimeDither* d, int32_t line) {
    if (!d || !d->hasSwitchInfo) return 0;
    const HXRDthSwitchInfo& s = d->switchInfo;
    int32_t area = 0;
    while (area < s.count && s.positions[area] <= line) ++area;
    return area;
}

const HXRDthData* HXRGetDthDataSingleInfo(const HXRRuntimeDither* d, int32_t line, uint32_t order) {
    if (!d || !d->dthDataMgr) return nullptr;
    return d->ops->HXRGetTRAQ2DthDataMgrDthSingleInfo(d->dthDataMgr, HXRGetDthArea(d, line), order);
}

const HXRDthOffset* HXRGetDthOffDataSingleInfo(const HXRRuntimeDither* d, int32_t line, uint32_t order) {
    if (!d || !d->dthDataMgr) return nullptr;
    return d->ops->HXRGetTRAQ2DthDataMgrDthOffSingleInfo(d->dthDataMgr, HXRGetDthArea(d, line), order);
}

uint32_t HXRCreatDthSwitchInfo(HXRRuntimeDither* d, const HXRSwitchPosList* l, HXRMemMgr*) {
    if (!d) return 0;
    if (!l) return 1;
    return take(d, l);
}

uint32_t HXRResetDthSwitchInfo(HXRRuntimeDither* d, const HXRSwitchPosList* l) {
    if (!d) return 0;
    if (!d->hasSwitchInfo) return l ? 0u : 1u;
    if (!l) return 0;
    if (int64_t(l->count) != d->switchInfo.count) {
        HXRSetErrorInfo(kHxrSwitchPosCount);
        return 0;
    }
    return take(d, l);
}
