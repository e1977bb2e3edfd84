#include "support/fake_ht_data.h"

#include <algorithm>

namespace ovcg_test {

namespace {

// --------------------------------------------------------------- dither

const FakeDthMgr* dth(const HXRTRAQ2DthDataMgr* m) { return reinterpret_cast<const FakeDthMgr*>(m); }

bool dth_slot(const FakeDthMgr* f, int32_t& area, uint32_t order) {
    if (f->areas == 1) area = 0;
    return area >= 0 && area < f->areas && area < 6 && order <= 12;
}

int32_t area_num(const HXRTRAQ2DthDataMgr* m) {
    if (!m) return -1;
    dth(m)->calls.push_back("HXRGetTRAQ2DthAreaNum");
    return dth(m)->areas;
}

const HXRDthData* single(const HXRTRAQ2DthDataMgr* m, int32_t area, uint32_t order) {
    if (!m) return nullptr;
    const FakeDthMgr* f = dth(m);
    f->calls.push_back("HXRGetTRAQ2DthDataMgrDthSingleInfo");
    if (!dth_slot(f, area, order) || !f->data[area][order].cells) return nullptr;
    return &f->data[area][order];
}

const HXRDthOffset* offset(const HXRTRAQ2DthDataMgr* m, int32_t area, uint32_t order) {
    if (!m) return nullptr;
    const FakeDthMgr* f = dth(m);
    f->calls.push_back("HXRGetTRAQ2DthDataMgrDthOffSingleInfo");
    if (!dth_slot(f, area, order)) return nullptr;
    return &f->offset[area][order];
}

constexpr HXRDthDataOps kDthOps = {area_num, single, offset};

// --------------------------------------------------------------- SML

FakeSmlMgr* sml(HXRSmlDataMgr* m) { return reinterpret_cast<FakeSmlMgr*>(m); }

// Logs the call; false when it is the one to fail.
bool enter(FakeSmlMgr* f, const char* name) {
    f->calls.push_back(name);
    return f->fail != name;
}

size_t count_of(const HXRSmlColorData& r) { return size_t(r.gradationNum) * r.dotSizeNum; }

uint32_t copy_row(const HXRSmlColorData& src, HXRSmlColorData* dst, HXRMemMgr* mm) {
    if (!src.rates) return 1;
    auto* rates = static_cast<uint32_t*>(HXRAllocMem(mm, uint32_t(count_of(src) * 4)));
    if (!rates) return 1;
    std::copy(src.rates, src.rates + count_of(src), rates);
    *dst = src;
    dst->rates = rates;
    return 0;
}

uint32_t copy_plain(HXRSmlDataMgr* m, HXRSmlColorData* row, uint32_t order, HXRMemMgr* mm) {
    if (!m || !row || order > 11 || !enter(sml(m), "HXRCopySDMSmlDataEveryColor")) return 1;
    return copy_row(sml(m)->plain[order], row, mm);
}

uint32_t copy_tnmx(HXRSmlDataMgr* m, HXRSmlColorData* row, uint32_t order, HXRMemMgr* mm) {
    if (!m || !row || order > 11 || !enter(sml(m), "HXRCopySDMSmlTNMXDataEveryColor")) return 1;
    return copy_row(sml(m)->tnmx[order], row, mm);
}

uint32_t reset_dot(HXRSmlDataMgr* m, HXRSmlColorData* row, uint32_t order) {
    if (!m || !row || order > 11 || !enter(sml(m), "HXRResetTRAQ2SmlMgrDot")) return 1;
    const HXRSmlColorData& src = sml(m)->plain[order];
    row->dotSizeNum = src.dotSizeNum;
    std::copy(src.dotValue, src.dotValue + kHxrSmlMaxDots, row->dotValue);
    return 0;
}

uint32_t get_table(HXRSmlDataMgr* m, uint32_t* rates, uint32_t code) {
    if (!m || !rates || !enter(sml(m), "HXRGetSDMSmlTable")) return 1;
    FakeSmlMgr* f = sml(m);
    const uint32_t order = HXRGetOutputColorOrder(f->colours, code);
    if (order > 11 || !f->plain[order].rates) return 1;
    const HXRSmlColorData& src = f->plain[order];
    for (size_t i = 0; i < count_of(src); ++i) rates[i] = src.rates[i] + f->correction;
    return 0;
}

uint32_t prepare(HXRSmlDataMgr* m) { return m && enter(sml(m), "HXRPrepareEveryLineCorrection") ? 0 : 1; }

// Writes the manager's TNMX row from the working row, level g taking the
// row's level `pick(g)`.
uint32_t into_tnmx(FakeSmlMgr* f, const HXRSmlColorData* row, uint32_t order,
                   const std::function<uint32_t(uint32_t)>& pick) {
    HXRSmlColorData& t = f->tnmx[order];
    if (!row->rates || !t.rates || row->dotSizeNum != t.dotSizeNum) return 1;
    for (uint32_t g = 0; g < t.gradationNum; ++g) {
        const uint32_t from = std::min(pick(g), row->gradationNum - 1);
        for (uint32_t d = 0; d < t.dotSizeNum; ++d)
            t.rates[size_t(g) * t.dotSizeNum + d] = row->rates[size_t(from) * row->dotSizeNum + d];
    }
    return 0;
}

uint32_t merge(HXRSmlDataMgr* m, HXRSmlColorData* row, const void* info, uint32_t order, uint32_t lutNum,
               uint32_t lutOrder) {
    if (!m || !row || !info || order > 11 || !enter(sml(m), "HXRMergeLutInSml")) return 1;
    // The LUT words: node level in bits 8..15 per level and LUT colour.
    const uint32_t* lut = *static_cast<const uint32_t* const*>(info);
    return into_tnmx(sml(m), row, order, [&](uint32_t g) { return (lut[g * lutNum + lutOrder] >> 8) & 255; });
}

uint32_t expand(HXRSmlDataMgr* m, HXRSmlColorData* row, uint32_t order) {
    if (!m || !row || order > 11 || !enter(sml(m), "HXRExpandTNMXDrtSml")) return 1;
    return into_tnmx(sml(m), row, order, [](uint32_t g) { return g >> 8; });
}

HXRSmlColorData* org_tnmx(HXRSmlDataMgr* m) {
    return m && enter(sml(m), "HXRGetSDMOrgTNMXSmlTable") ? sml(m)->tnmx : nullptr;
}

HXRSmlColorData* org(HXRSmlDataMgr* m) { return m && enter(sml(m), "HXRGetSDMOrgSmlTable") ? sml(m)->plain : nullptr; }

uint32_t dot_rate(const HXRSmlColorData* src, HXRSmlColorData* dst) {
    if (!src || !dst || !src->rates || !dst->rates || src->gradationNum != dst->gradationNum ||
        src->dotSizeNum != dst->dotSizeNum || !std::equal(src->dotValue, src->dotValue + 6, dst->dotValue))
        return 1;
    std::copy(src->rates, src->rates + count_of(*src), dst->rates);
    return 0;
}

uint32_t add_rate(HXRSmlColorData* row) {
    if (!row) return 1;
    for (uint32_t g = 0; g < row->gradationNum; ++g)
        for (int32_t d = int32_t(row->dotSizeNum) - 2; d >= 0; --d)
            row->rates[size_t(g) * row->dotSizeNum + size_t(d)] += row->rates[size_t(g) * row->dotSizeNum + size_t(d) + 1];
    return 0;
}

uint32_t split(HXRSmlColorData* row, uint32_t derived) {
    if (!row || !row->rates || row->dotSizeNum > 6 || derived > 1) return 1;
    const uint32_t s = row->dotSizeNum;
    if (s < 4) return 0;
    std::vector<uint32_t> packed(size_t(row->gradationNum) * 3, 0);
    for (uint32_t g = 0; g < row->gradationNum; ++g)
        for (uint32_t d = 0; d < 3; ++d) {
            const uint32_t from = derived ? d : d + 3;
            packed[size_t(g) * 3 + d] = from < s ? row->rates[size_t(g) * s + from] : 0;
        }
    std::fill(row->rates, row->rates + count_of(*row), 0u);
    std::copy(packed.begin(), packed.end(), row->rates);
    if (derived)
        for (uint32_t d = 0; d < 3; ++d) row->dotValue[d] = row->dotValue[d + 3];
    for (uint32_t d = 3; d < 6; ++d) row->dotValue[d] = 0;
    row->dotSizeNum = 3;
    return 0;
}

constexpr HXRSmlDataOps kSmlOps = {copy_plain, copy_tnmx, reset_dot, get_table, prepare, merge, expand,
                                   org_tnmx,   org,       dot_rate,  add_rate,  split};

}  // namespace

const HXRDthDataOps* FakeDthMgr::ops() { return &kDthOps; }
const HXRSmlDataOps* FakeSmlMgr::ops() { return &kSmlOps; }

void FakeSmlMgr::set_row(uint32_t order, uint32_t levels, uint32_t dots, const RateFn& fn, bool as_tnmx) {
    std::vector<uint32_t>& v = as_tnmx ? tnmx_rates[order] : plain_rates[order];
    HXRSmlColorData& r = as_tnmx ? tnmx[order] : plain[order];
    v.assign(size_t(levels) * dots, 0);
    for (uint32_t g = 0; g < levels; ++g)
        for (uint32_t d = 0; d < dots; ++d) v[size_t(g) * dots + d] = fn(g, d);
    r = {};
    r.gradationNum = levels;
    r.dotSizeNum = dots;
    for (uint32_t d = 0; d < dots && d < 6; ++d) r.dotValue[d] = 10 * (d + 1);
    r.rates = v.data();
}

}  // namespace ovcg_test
