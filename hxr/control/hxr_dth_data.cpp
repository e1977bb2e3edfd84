#include "hxr/control/hxr_dth_data.h"

#include "hxr/control/hxr_alloc_array.h"

#include <algorithm>

namespace {

constexpr uint32_t kNoCode = 1;

struct BlockShape {
    uint32_t w, h;
};
// Block kinds 2..4.
constexpr BlockShape kFixedBlocks[] = {{4, 4}, {4, 2}, {2, 4}};

uint32_t wrap(int64_t v, uint32_t n) {
    const int64_t m = v % int64_t(n);
    return static_cast<uint32_t>(m < 0 ? m + n : m);
}

uint32_t free_single(HXRTRAQ2DthSingleData* d, HXRMemMgr* mm) {
    const uint32_t a = HXRFreeMem(mm, d->narrow), b = HXRFreeMem(mm, d->wide), c = HXRFreeMem(mm, d);
    return a ? a : b ? b : c;
}

uint32_t free_ubec(HXRTRAQ2UBECDthData* u, HXRMemMgr* mm) {
    const uint32_t a = HXRFreeMem(mm, u->thresholds), b = HXRFreeMem(mm, u->orders), c = HXRFreeMem(mm, u);
    return a ? a : b ? b : c;
}

template <typename T, typename P>
bool appears_in(const T* list, uint32_t count, P p) {
    return std::find(list, list + count, p) != list + count;
}

// The threshold matrix of (area, ink) in the manager's layout; 0, a code or kNoCode.
uint32_t make_dither(const HXRDthResMgr* res, uint32_t area, uint32_t ink, const HXRDthLayout& lay, HXRMemMgr* mm,
                     HXRTRAQ2DthSingleData** out) {
    const uint32_t w = HXRGetDthResMgrSizeH(res, area, ink), h = HXRGetDthResMgrSizeV(res, area, ink);
    if (w == kHxrNoValue || h == kHxrNoValue || w == 0 || h == 0) return kNoCode;
    if ((lay.order != kHxrDthOrderRows && lay.order != kHxrDthOrderRowPairs) ||
        (lay.dataBytes != 2 && lay.dataBytes != 4))
        return kNoCode;
    if (lay.order == kHxrDthOrderRowPairs && (w % 2 != 0 || h % 2 != 0)) return kHxrDthRowPairOdd;
    const int32_t shift_v = static_cast<int32_t>(HXRGetDthResMgrShiftV(res, area, ink));
    const uint64_t row = lay.order == kHxrDthOrderRows
                             ? (lay.updatePixels > 1 ? (uint64_t(lay.updatePixels) + w) & ~uint64_t(1) : w)
                             : 2 * uint64_t(w);
    const uint64_t values = lay.order == kHxrDthOrderRows ? row * h : uint64_t(w) * h;
    const uint64_t words = lay.dataBytes == 2 ? (values + 1) / 2 : values;
    if (row > 0xFFFFFFFFull || HXRArrayBytes(words, 4) == 0) return kHxrDthDataSize;

    auto* d = HXRAllocRecord<HXRTRAQ2DthSingleData>(mm);
    if (!d) return kNoCode;
    if (lay.dataBytes == 2)
        d->narrow = HXRAllocArray<uint16_t>(mm, 2 * words);
    else
        d->wide = HXRAllocArray<uint32_t>(mm, words);
    if (!d->narrow && !d->wide) {
        free_single(d, mm);
        return kNoCode;
    }
    const uint64_t cell_max = lay.dataBytes == 2 ? 0xFFFF : 0xFFFFFFFF;
    uint64_t at = 0;
    const auto put = [&](uint32_t x, uint32_t y) {
        const uint32_t t = HXRGetDthResMgrThresh(res, area, ink, x, y);
        const uint64_t v = uint64_t(t) + lay.threshAddition;
        if (t == kHxrNoValue || v > cell_max) return false;
        if (d->narrow)
            d->narrow[at++] = static_cast<uint16_t>(v);
        else
            d->wide[at++] = static_cast<uint32_t>(v);
        return true;
    };
    bool ok = true;
    if (lay.order == kHxrDthOrderRows) {
        for (uint32_t y = 0; y < h && ok; ++y) {
            const uint32_t next = wrap(int64_t(y) + shift_v, h);
            for (uint64_t x = 0; x < row && ok; ++x)
                ok = x < w ? put(uint32_t(x), y) : put(uint32_t((x - w) % w), next);
        }
    } else {
        for (uint32_t y = 0; y < h && ok; y += 2)
            for (uint32_t x = 0; x < w && ok; ++x) ok = put(x, y) && put(x, y + 1);
    }
    if (!ok) {
        free_single(d, mm);
        return kHxrDthDataSize;
    }
    d->view.SizeH = static_cast<int32_t>(w);
    d->view.SizeV = static_cast<int32_t>(h);
    d->view.ShiftH = static_cast<int32_t>(HXRGetDthResMgrShiftH(res, area, ink));
    d->view.ShiftV = shift_v;
    if (lay.order == kHxrDthOrderRows && d->narrow) {
        d->view.cells = d->narrow;
        d->view.stride = static_cast<uint32_t>(row);
    }
    d->order = lay.order;
    d->dataBytes = lay.dataBytes;
    d->rowLength = static_cast<uint32_t>(row);
    d->valueCount = static_cast<uint32_t>(values);
    *out = d;
    return 0;
}

// The UBEC blocks of (area, ink); 0, a code or kNoCode.
uint32_t make_ubec(const HXRDthResMgr* res, uint32_t area, uint32_t ink, const HXRDthLayout& lay, HXRMemMgr* mm,
                   HXRTRAQ2UBECDthData** out) {
    if (lay.dataBytes != 2) return kNoCode;
    BlockShape shape{};
    if (lay.ubecBlockKind == kHxrUbecBlockOwn)
        shape = {HXRGetDthResMgrUBECBlockSizeH(res, area, ink), HXRGetDthResMgrUBECBlockSizeV(res, area, ink)};
    else if (lay.ubecBlockKind >= 2 && lay.ubecBlockKind <= 4)
        shape = kFixedBlocks[lay.ubecBlockKind - 2];
    const uint32_t w = HXRGetDthResMgrSizeH(res, area, ink), h = HXRGetDthResMgrSizeV(res, area, ink);
    if (shape.w == 0 || shape.h == 0 || shape.w > 4 || shape.h > 4 || w == kHxrNoValue || h == kHxrNoValue)
        return kNoCode;
    const uint32_t across = w / shape.w, down = h / shape.h, n = shape.w * shape.h;
    const uint64_t values = uint64_t(across) * down * n;
    if (values == 0) return kNoCode;
    if (HXRArrayBytes(values, 4) == 0) return kHxrDthDataSize;
    auto* u = HXRAllocRecord<HXRTRAQ2UBECDthData>(mm);
    if (!u) return kNoCode;
    u->thresholds = HXRAllocArray<uint32_t>(mm, values);
    u->orders = HXRAllocArray<uint32_t>(mm, values);
    bool ok = u->thresholds && u->orders;
    for (uint64_t i = 0; i < values && ok; ++i) {
        const uint32_t block = uint32_t(i / n), pos = uint32_t(i % n);
        uint32_t order = 0;
        u->thresholds[i] = HXRGetDthResMgrUBECThresh(res, area, ink, block, pos, shape.w, shape.h, &order);
        u->orders[i] = order;
        ok = u->thresholds[i] != kHxrNoValue;
    }
    if (!ok) {
        free_ubec(u, mm);
        return kNoCode;
    }
    u->blockW = shape.w;
    u->blockH = shape.h;
    u->blocksH = across;
    u->blocksV = down;
    u->shiftH = static_cast<int32_t>(HXRGetDthResMgrShiftH(res, area, ink));
    u->shiftV = static_cast<int32_t>(HXRGetDthResMgrShiftV(res, area, ink));
    *out = u;
    return 0;
}

// An earlier (area, ink) with the same mask: the last earlier area that has
// one, else the current area's earlier inks.
const HXRTRAQ2DthData* shared_with(const HXRTRAQ2DthDataMgr* mgr, const HXRDthResMgr* res, uint32_t area,
                                   uint32_t ink, uint32_t inks, uint32_t* at) {
    for (uint32_t a = area; a-- > 0;)
        for (uint32_t i = 0; i < inks; ++i)
            if (HXRIsSameDth(res, area, ink, a, i)) {
                *at = i;
                return mgr->area[a];
            }
    for (uint32_t i = 0; i < ink; ++i)
        if (HXRIsSameDth(res, area, ink, area, i)) {
            *at = i;
            return mgr->area[area];
        }
    return nullptr;
}

// 0, a code or kNoCode.
uint32_t make_area(HXRTRAQ2DthDataMgr* mgr, const HXRDthResMgr* res, uint32_t area, const HXRDthLayout& lay,
                   uint32_t inks, HXRMemMgr* mm) {
    if (lay.dataType < kHxrDthDataDither || lay.dataType > kHxrDthDataBoth) return kNoCode;
    HXRTRAQ2DthData* data = mgr->area[area] = HXRAllocRecord<HXRTRAQ2DthData>(mm);
    HXRTRAQ2DthOffData* off = mgr->offset[area] = HXRAllocRecord<HXRTRAQ2DthOffData>(mm);
    if (!data || !off) return kNoCode;
    for (uint32_t ink = 0; ink < inks; ++ink) {
        uint32_t at = 0;
        if (const HXRTRAQ2DthData* other = shared_with(mgr, res, area, ink, inks, &at)) {
            data->dither[ink] = other->dither[at];
            data->ubec[ink] = other->ubec[at];
            continue;
        }
        const uint32_t d = lay.dataType & kHxrDthDataDither ? make_dither(res, area, ink, lay, mm, &data->dither[ink]) : 0;
        const uint32_t u = lay.dataType & kHxrDthDataUbec ? make_ubec(res, area, ink, lay, mm, &data->ubec[ink]) : 0;
        if (lay.dataType == kHxrDthDataBoth ? (d != 0 && u != 0) : (d != 0 || u != 0)) return d ? d : u;
        ++mgr->dataNum;
    }
    for (uint32_t ink = 0; ink < inks; ++ink) {
        const uint32_t x = HXRGetDthResMgrOffsetH(res, area, ink), y = HXRGetDthResMgrOffsetV(res, area, ink);
        if (x == kHxrNoValue || y == kHxrNoValue) return kNoCode;
        off->ink[ink] = {x, y};
    }
    return 0;
}

int32_t area_of(const HXRTRAQ2DthDataMgr* mgr, int64_t area) {
    if (!mgr) return -1;
    if (mgr->areaNum == 1) return 0;
    return area >= 0 && area < int64_t(mgr->areaNum) ? int32_t(area) : -1;
}

}  // namespace

HXRTRAQ2DthDataMgr* HXRCreateTRAQ2DthDataMgrFrom(const HXRDthResMgr* resources, const HXRDthLayout* layout,
                                                const HXRClrMgr* colours, HXRMemMgr* manager) {
    if (!resources || !layout || !colours || !manager) return nullptr;
    const uint32_t inks = HXRGetOutputColorNum(colours), areas = HXRGetDthResAreaNum(resources);
    if (inks < 1 || inks > kHxrMaxInks || areas < 1 || areas > kHxrMaxDthAreas) return nullptr;
    auto* mgr = HXRAllocRecord<HXRTRAQ2DthDataMgr>(manager);
    if (!mgr) return nullptr;
    mgr->areaNum = areas;
    for (uint32_t a = 0; a < areas; ++a) {
        const uint32_t code = make_area(mgr, resources, a, *layout, inks, manager);
        if (code == 0) continue;
        if (code != kNoCode) HXRSetErrorInfo(code);
        HXRDeleteTRAQ2DthDataMgr(mgr, manager);
        return nullptr;
    }
    return mgr;
}

HXRTRAQ2DthDataMgr* HXRCreateTRAQ2DthDataMgr(const HXRResReadController* readCtrl, uint32_t intent,
                                            const HXRDthLayout* layout, const HXRClrMgr* colours,
                                            HXRMemMgr* manager) {
    return HXRCreateTRAQ2DthDataMgrFrom(HXRGetDthResMgr(readCtrl, intent), layout, colours, manager);
}

uint32_t HXRDeleteTRAQ2DthData(HXRTRAQ2DthData* data, HXRMemMgr* manager) {
    if (!data) return HXRFreeObject(manager, nullptr, kHxrDthDataNone);
    uint32_t first = 0;
    for (uint32_t i = 0; i < kHxrMaxInks; ++i) {
        uint32_t r = 0;
        if (data->dither[i] && !appears_in(data->dither, i, data->dither[i])) r = free_single(data->dither[i], manager);
        if (first == 0) first = r;
        r = 0;
        if (data->ubec[i] && !appears_in(data->ubec, i, data->ubec[i])) r = free_ubec(data->ubec[i], manager);
        if (first == 0) first = r;
    }
    const uint32_t r = HXRFreeMem(manager, data);
    return first ? first : r;
}

uint32_t HXRDeleteTRAQ2DthOffData(HXRTRAQ2DthOffData* data, HXRMemMgr* manager) {
    return HXRFreeObject(manager, data, kHxrDthOffDataNone);
}

uint32_t HXRDeleteTRAQ2DthDataMgr(HXRTRAQ2DthDataMgr* mgr, HXRMemMgr* manager) {
    if (!mgr) return HXRFreeObject(manager, nullptr, kHxrDthDataMgrNone);
    // An object an earlier area shares is that area's to delete.
    for (uint32_t a = 1; a < kHxrMaxDthAreas; ++a) {
        HXRTRAQ2DthData* data = mgr->area[a];
        if (!data) continue;
        for (uint32_t b = 0; b < a; ++b) {
            const HXRTRAQ2DthData* earlier = mgr->area[b];
            if (!earlier) continue;
            for (uint32_t i = 0; i < kHxrMaxInks; ++i) {
                if (appears_in(earlier->dither, kHxrMaxInks, data->dither[i])) data->dither[i] = nullptr;
                if (appears_in(earlier->ubec, kHxrMaxInks, data->ubec[i])) data->ubec[i] = nullptr;
            }
        }
    }
    uint32_t first = 0;
    for (uint32_t a = 0; a < kHxrMaxDthAreas; ++a) {
        const uint32_t r = mgr->area[a] ? HXRDeleteTRAQ2DthData(mgr->area[a], manager) : 0;
        const uint32_t s = mgr->offset[a] ? HXRDeleteTRAQ2DthOffData(mgr->offset[a], manager) : 0;
        if (first == 0) first = r ? r : s;
    }
    const uint32_t r = HXRFreeMem(manager, mgr);
    return first ? first : r;
}

const HXRTRAQ2DthData* HXRGetTRAQ2DthDataMgrDthInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area) {
    const int32_t a = area_of(mgr, area);
    return a < 0 ? nullptr : mgr->area[a];
}

const HXRTRAQ2DthOffData* HXRGetTRAQ2DthDataMgrDthOffInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area) {
    const int32_t a = area_of(mgr, area);
    return a < 0 ? nullptr : mgr->offset[a];
}

const HXRTRAQ2DthSingleData* HXRGetTRAQ2DthDataSingleInfo(const HXRTRAQ2DthData* data, uint32_t ink) {
    return data && ink < kHxrMaxInks ? data->dither[ink] : nullptr;
}

const HXRTRAQ2UBECDthData* HXRGetTRAQ2DthDataUBECSingleInfo(const HXRTRAQ2DthData* data, uint32_t ink) {
    return data && ink < kHxrMaxInks ? data->ubec[ink] : nullptr;
}

const HXRDthOffset* HXRGetDthOffSingle(const HXRTRAQ2DthOffData* data, uint32_t ink) {
    return data && ink < kHxrMaxInks ? &data->ink[ink] : nullptr;
}

const HXRDthData* HXRGetTRAQ2DthDataMgrDthSingleInfo(const HXRTRAQ2DthDataMgr* mgr, int32_t area, uint32_t ink) {
    const int32_t a = area_of(mgr, area);
    const HXRTRAQ2DthSingleData* d = a < 0 ? nullptr : HXRGetTRAQ2DthDataSingleInfo(mgr->area[a], ink);
    return d ? &d->view : nullptr;
}

const HXRTRAQ2UBECDthData* HXRGetTRAQ2DthDataMgrUBECSingleInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area,
                                                               uint32_t ink) {
    const int32_t a = area_of(mgr, area);
    return a < 0 ? nullptr : HXRGetTRAQ2DthDataUBECSingleInfo(mgr->area[a], ink);
}

const HXRDthOffset* HXRGetTRAQ2DthDataMgrDthOffSingleInfo(const HXRTRAQ2DthDataMgr* mgr, int32_t area, uint32_t ink) {
    const int32_t a = area_of(mgr, area);
    return a < 0 ? nullptr : HXRGetDthOffSingle(mgr->offset[a], ink);
}

int32_t HXRGetTRAQ2DthAreaNum(const HXRTRAQ2DthDataMgr* mgr) { return mgr ? int32_t(mgr->areaNum) : -1; }

uint32_t HXRGetTRAQ2DthDataNum(const HXRTRAQ2DthDataMgr* mgr) { return mgr ? mgr->dataNum : 0; }

uint32_t HXRGetTRAQ2DthSingleInfoDataList(const HXRTRAQ2DthDataMgr* mgr, const HXRTRAQ2DthSingleData** list,
                                          uint32_t capacity) {
    if (!mgr || !list) return 0;
    uint32_t count = 0;
    for (uint32_t a = 0; a < mgr->areaNum && a < kHxrMaxDthAreas; ++a)
        for (uint32_t i = 0; i < kHxrMaxInks && mgr->area[a]; ++i) {
            const HXRTRAQ2DthSingleData* d = mgr->area[a]->dither[i];
            if (d && count < capacity && !appears_in(list, count, d)) list[count++] = d;
        }
    return count;
}

uint32_t HXRSherchTRAQ2DthSingleInfoData(const HXRTRAQ2DthDataMgr* mgr, const HXRTRAQ2DthSingleData* const* list,
                                         uint32_t count, uint32_t area, uint32_t ink) {
    const HXRTRAQ2DthSingleData* d = HXRGetTRAQ2DthDataSingleInfo(HXRGetTRAQ2DthDataMgrDthInfo(mgr, area), ink);
    if (!d || !list) return kHxrNoValue;
    const uint32_t at = uint32_t(std::find(list, list + count, d) - list);
    return at < count && at < mgr->dataNum ? at : kHxrNoValue;
}

uint32_t HXRGetTRAQ2DthValue(const HXRTRAQ2DthSingleData* d, uint64_t i) {
    if (!d || i >= d->valueCount) return kHxrNoValue;
    return d->narrow ? d->narrow[i] : d->wide[i];
}

const HXRDthDataOps kHxrDthDataMgrOps = {
    HXRGetTRAQ2DthAreaNum,
    HXRGetTRAQ2DthDataMgrDthSingleInfo,
    HXRGetTRAQ2DthDataMgrDthOffSingleInfo,
};
