#include "hxr/control/hxr_ubec_data.h"

#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"

#include <algorithm>
#include <bit>

namespace {

constexpr uint32_t kNoCode = 1;
constexpr uint32_t kLastLevel = 255;

uint32_t free_table(HXRTRAQ2UBECTable* t, HXRMemMgr* mm) {
    uint32_t first = 0;
    for (void* p : {static_cast<void*>(t->preDecode), static_cast<void*>(t->encode),
                    static_cast<void*>(t->postDecode), static_cast<void*>(t->order), static_cast<void*>(t)}) {
        const uint32_t r = HXRFreeMem(mm, p);
        if (first == 0) first = r;
    }
    return first;
}

// The number of thresholds below r, from the block's sorted thresholds.
uint32_t below(const uint32_t* sorted, uint32_t n, uint32_t r) {
    return uint32_t(std::lower_bound(sorted, sorted + n, r) - sorted);
}

// The double-gamma tables of a colour slice.
struct DblGamma {
    const uint32_t* decode;
    const uint32_t* encode;
};

// A table for one colour's SML row and UBEC blocks; 0, a code or kNoCode.
uint32_t make_table(const HXRTRAQ2UBECDthData* u, const HXRSmlColorData& sml, uint32_t step,
                    const DblGamma& dbg, HXRMemMgr* mm, HXRTRAQ2UBECTable** out) {
    const uint32_t n = u->blockW * u->blockH;
    const uint32_t p = HXRUbecPostDecodeSize(n), l = HXRUbecListSize(step, n);
    const uint64_t blocks = uint64_t(u->blocksH) * u->blocksV;
    if (p == 0 || l == 0 || blocks == 0) return kNoCode;
    auto* t = HXRAllocRecord<HXRTRAQ2UBECTable>(mm);
    if (!t) return kNoCode;
    t->preDecode = HXRAllocArray<uint8_t>(mm, blocks * l);
    t->encode = HXRAllocArray<uint16_t>(mm, blocks * l);
    t->postDecode = HXRAllocArray<uint32_t>(mm, p);
    t->order = HXRAllocArray<uint64_t>(mm, blocks);
    uint32_t code = t->preDecode && t->encode && t->postDecode && t->order ? 0 : kNoCode;
    if (code == 0) HXRUbecFillPostDecode(t->postDecode, n, p);
    const uint32_t bits = static_cast<uint32_t>(std::countr_zero(n));
    for (uint64_t b = 0; b < blocks && code == 0; ++b) {
        const uint32_t* orders = u->orders + b * n;
        uint64_t word = 0;
        for (uint32_t q = 0; q < n; ++q) {
            if (orders[q] >= n) code = kHxrUbecOrderRange;
            word |= uint64_t(orders[q] & (n - 1)) << (q * bits);
        }
        t->order[b] = word;
        if (code == 0)
            code = HXRUbecBuildBlock(u->thresholds + b * n, n, &sml, l, dbg.decode, dbg.encode,
                                     t->preDecode + b * l, t->encode + b * l);
    }
    if (code != 0) {
        free_table(t, mm);
        return code;
    }
    t->blockW = u->blockW;
    t->blockH = u->blockH;
    t->blocksH = u->blocksH;
    t->blocksV = u->blocksV;
    t->shiftH = u->shiftH;
    t->shiftV = u->shiftV;
    t->P = p;
    t->L = l;
    *out = t;
    return 0;
}

// The row a colour's tables are built from: its output ink's rates (or its
// corrected table), cumulative, cut to its part of the dot sizes.
uint32_t prepare_row(HXRSmlDataMgr* sml, const HXRClrMgr* clr, uint32_t h, uint32_t calib, HXRMemMgr* mm,
                     HXRSmlColorData* row) {
    const uint32_t code = HXRGetHalftoneColorCode(clr, h), ord = HXRGetOutputColorOrderByHalftoneIndex(clr, h);
    if (HXRCopySDMSmlDataEveryColor(sml, row, ord, mm) != 0) return kNoCode;
    if (calib && HXRGetSDMSmlTable(sml, row->rates, code) != 0) return kNoCode;
    if (HXRAddRateTRAQ2SmlDataEveryColor(row) != 0) return kNoCode;
    return HXRSplitTRAQ2SmlDataEveryColor(row, HXRIsV6UpperColor(clr, code) == 1 ? 1 : 0) ? kNoCode : 0;
}

// 0, a code or kNoCode.
uint32_t make_data(HXRTRAQ2UBECDataMgr* mgr, const DblGamma& dbg, HXRSmlDataMgr* sml,
                   const HXRTRAQ2DthDataMgr* dither, uint32_t step, uint32_t calib, const HXRClrMgr* clr,
                   HXRMemMgr* mm) {
    const uint32_t hc = HXRGetHalftoneColorNum(clr);
    if (hc < 1 || hc > kHxrMaxInks) return kNoCode;
    HXRTRAQ2UBECData* data = mgr->area[0] = HXRAllocRecord<HXRTRAQ2UBECData>(mm);
    if (!data) return kNoCode;
    HXRSmlColorData rows[kHxrMaxInks] = {};
    const HXRTRAQ2UBECDthData* blocks[kHxrMaxInks] = {};
    uint32_t code = 0;
    for (uint32_t h = 0; h < hc && code == 0; ++h) {
        code = prepare_row(sml, clr, h, calib, mm, &rows[h]);
        blocks[h] = HXRGetTRAQ2DthDataMgrUBECSingleInfo(dither, 0, HXRGetOutputColorOrderByHalftoneIndex(clr, h));
        if (code != 0 || !blocks[h]) {
            code = code ? code : kNoCode;
            break;
        }
        for (uint32_t j = 0; j < h && !data->table[h]; ++j)
            if (blocks[j] == blocks[h] && HXRCheckSameSmlRow(&rows[j], &rows[h]) == 0) data->table[h] = data->table[j];
        if (data->table[h]) continue;
        code = make_table(blocks[h], rows[h], step, dbg, mm, &data->table[h]);
        if (code == 0) ++mgr->tableNum;
    }
    for (HXRSmlColorData& r : rows) HXRFreeMem(mm, r.rates);
    return code;
}

}  // namespace

uint32_t HXRUbecPostDecodeSize(uint32_t n) { return n == 8 ? 256 : n == 16 ? 1024 : 0; }

uint32_t HXRUbecListSize(uint32_t step, uint32_t n) {
    if (n != 8 && n != 16) return 0;
    if (step == 1) return n == 8 ? 32 : 64;
    return step == 2 ? 32 : step == 3 ? 64 : 0;
}

uint32_t HXRUbecFillPostDecode(uint32_t* post, uint32_t n, uint32_t p) {
    uint32_t i = 0;
    for (uint32_t c3 = 0; c3 <= n; ++c3)
        for (uint32_t c2 = 0; c2 + c3 <= n; ++c2)
            for (uint32_t c1 = 0; c1 + c2 + c3 <= n; ++c1) {
                uint32_t code = 0;
                for (uint32_t k = 0; k < c1; ++k) code = code * 4 + 1;
                for (uint32_t k = 0; k < c2; ++k) code = code * 4 + 2;
                for (uint32_t k = 0; k < c3; ++k) code = code * 4 + 3;
                if (i < p) post[i] = code;
                ++i;
            }
    std::fill(post + std::min(i, p), post + p, 0u);
    return i;
}

uint32_t HXRUbecCompositionIndex(uint32_t n, uint32_t c3, uint32_t c2, uint32_t c1) {
    // Compositions of the c3 values before this one: (m + 1)(m + 2) / 2 pairs
    // (c2, c1) with c2 + c1 <= m = n - c3' each; then the c2 values before
    // this one: m - c2' + 1 values of c1 each.
    uint32_t index = 0;
    for (uint32_t a = 0; a < c3; ++a) index += (n - a + 1) * (n - a + 2) / 2;
    const uint32_t m = n - c3;
    return index + c2 * (m + 1) - c2 * (c2 - (c2 ? 1 : 0)) / 2 + c1;
}

uint32_t HXRUbecBuildBlock(const uint32_t* thr, uint32_t n, const HXRSmlColorData* sml, uint32_t l,
                           const uint32_t* decode, const uint32_t* encode, uint8_t* pre, uint16_t* enc) {
    const uint32_t dots = sml->dotSizeNum;
    if ((dots != 1 && dots != 3) || !sml->rates || sml->gradationNum < kHxrUbecLevels || n == 0 || n > 16 || l < 2)
        return kNoCode;
    uint32_t sorted[16];
    std::copy(thr, thr + n, sorted);
    std::sort(sorted, sorted + n);
    uint8_t levels[kLastLevel];
    uint16_t index[kLastLevel];
    uint32_t count = 0, last_key = 0, last_total = 0;
    for (uint32_t v = 0; v < kLastLevel; ++v) {
        const uint32_t* r = sml->rates + size_t(v + 1) * dots;
        uint32_t c3 = 0, c2 = 0, c1 = 0;
        if (dots == 1) {
            c1 = r[0] > thr[0] ? below(sorted, n, r[0]) : 0;
        } else {
            const uint32_t top = r[2], mid = std::max(r[1], top), all = std::max(r[0], mid);
            c3 = below(sorted, n, top);
            c2 = below(sorted, n, mid) - c3;
            c1 = below(sorted, n, all) - c3 - c2;
        }
        const uint32_t key = c3 << 10 | c2 << 5 | c1, total = c3 + c2 + c1;
        if (key <= last_key || total < last_total) continue;
        levels[count] = uint8_t(v);
        index[count] = uint16_t(HXRUbecCompositionIndex(n, c3, c2, c1));
        ++count;
        last_key = key;
        last_total = total;
    }
    // Place i: the last level of the place (breakpoint i, then 255) and the
    // composition up to it (0, then breakpoint i - 1's).
    const auto level_at = [&](uint32_t i) { return i < count ? uint32_t(levels[i]) : kLastLevel; };
    const auto index_at = [&](uint32_t i) { return i == 0 ? uint16_t(0) : index[i - 1]; };
    if (count + 1 <= l) {
        for (uint32_t i = 0; i < l; ++i) {
            pre[i] = uint8_t(i <= count ? level_at(i) : 0);
            enc[i] = i <= count ? index_at(i) : 0;
        }
        return 0;
    }
    if (count > 2 * l - 2) return kHxrUbecBreakpoints;
    const uint32_t kept = 2 * l - count - 2;
    for (uint32_t i = 0; i < kept; ++i) {
        pre[i] = uint8_t(level_at(i));
        enc[i] = index_at(i);
    }
    const uint32_t* tables[2] = {decode, decode};
    for (uint32_t i = kept, a = kept; i + 1 < l; ++i, a += 2) {
        const uint32_t codes[2] = {level_at(a), level_at(a + 1)};
        pre[i] = uint8_t(HXRGetMeanInkValueDecodeEncode(codes, tables, encode));
        enc[i] = index_at(a);
    }
    pre[l - 1] = uint8_t(kLastLevel);
    enc[l - 1] = index_at(count);
    return 0;
}

HXRTRAQ2UBECDataMgr* HXRCreateTRAQ2UBECDataMgr(const HXRLutSlc* lut, HXRSmlDataMgr* sml,
                                              const HXRTRAQ2DthDataMgr* dither, uint32_t encodeStep,
                                              uint32_t smlCalib, uint32_t tableKind, const HXRClrMgr* colours,
                                              HXRMemMgr* manager) {
    if (!sml || !dither || !colours || !manager) return nullptr;
    if (HXRGetTRAQ2DthAreaNum(dither) != 1) {
        HXRSetErrorInfo(kHxrUbecAreas);
        return nullptr;
    }
    if (tableKind != kHxrUbecTableKind) return nullptr;
    const DblGamma dbg{HXRGetTRAQ2LutDbgDecTable(lut), HXRGetTRAQ2LutDbgEncTable(lut)};
    if (!dbg.decode || !dbg.encode) {
        HXRSetErrorInfo(kHxrUbecNoDblGamma);
        return nullptr;
    }
    auto* mgr = HXRAllocRecord<HXRTRAQ2UBECDataMgr>(manager);
    if (!mgr) return nullptr;
    mgr->areaNum = 1;
    const uint32_t code = make_data(mgr, dbg, sml, dither, encodeStep, smlCalib, colours, manager);
    if (code == 0) return mgr;
    if (code != kNoCode) HXRSetErrorInfo(code);
    HXRDeleteTRAQ2UBECDataMgr(mgr, manager);
    return nullptr;
}

uint32_t HXRDeleteTRAQ2UBECData(HXRTRAQ2UBECData* data, HXRMemMgr* manager) {
    if (!data) return HXRFreeObject(manager, nullptr, kHxrUbecDataNone);
    uint32_t first = 0;
    for (uint32_t h = 0; h < kHxrMaxInks; ++h) {
        HXRTRAQ2UBECTable* t = data->table[h];
        if (!t || std::find(data->table, data->table + h, t) != data->table + h) continue;
        const uint32_t r = free_table(t, manager);
        if (first == 0) first = r;
    }
    const uint32_t r = HXRFreeMem(manager, data);
    return first ? first : r;
}

uint32_t HXRDeleteTRAQ2UBECDataMgr(HXRTRAQ2UBECDataMgr* mgr, HXRMemMgr* manager) {
    if (!mgr) return HXRFreeObject(manager, nullptr, kHxrUbecDataMgrNone);
    uint32_t first = 0;
    for (HXRTRAQ2UBECData* d : mgr->area) {
        const uint32_t r = d ? HXRDeleteTRAQ2UBECData(d, manager) : 0;
        if (first == 0) first = r;
    }
    const uint32_t r = HXRFreeMem(manager, mgr);
    return first ? first : r;
}

const HXRTRAQ2UBECData* HXRGetTRAQ2UBECDataMgrUBECInfo(const HXRTRAQ2UBECDataMgr* mgr, uint32_t) {
    return mgr ? mgr->area[0] : nullptr;
}

uint32_t HXRGetTRAQ2UBECAreaNum(const HXRTRAQ2UBECDataMgr* mgr) { return mgr ? mgr->areaNum : kHxrNoValue; }

const HXRTRAQ2UBECTable* HXRGetTRAQ2UBECDataDblDecSingleInfo(const HXRTRAQ2UBECData* data, uint32_t colour) {
    return data && colour < kHxrMaxInks ? data->table[colour] : nullptr;
}

const HXRTRAQ2UBECTable* HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(const HXRTRAQ2UBECDataMgr* mgr, uint32_t area,
                                                               uint32_t colour) {
    return HXRGetTRAQ2UBECDataDblDecSingleInfo(HXRGetTRAQ2UBECDataMgrUBECInfo(mgr, area), colour);
}
