#include "hxr/control/hxr_sml_data.h"

#include "hxr/control/hxr_alloc_array.h"

#include <algorithm>

namespace {

// A failure of the builder that records no code.
constexpr uint32_t kNoCode = 1;

uint64_t values_of(const HXRSmlColorData& e) { return uint64_t(e.gradationNum) * e.dotSizeNum; }

int32_t weight_of(const HXRSmlColorData& e, uint32_t d) { return static_cast<int32_t>(e.dotValue[d]); }

bool same_shape(const HXRSmlColorData& a, const HXRSmlColorData& b) {
    return a.gradationNum == b.gradationNum && a.dotSizeNum == b.dotSizeNum &&
           std::equal(a.dotValue, a.dotValue + kHxrSmlMaxDots, b.dotValue);
}

void take_shape(HXRSmlColorData& dst, const HXRSmlColorData& src) {
    dst.gradationNum = src.gradationNum;
    dst.dotSizeNum = src.dotSizeNum;
    std::copy(src.dotValue, src.dotValue + kHxrSmlMaxDots, dst.dotValue);
}

// Fills entry i of the data from the resource; 0, a code, or kNoCode.
uint32_t read_colour(const HXRSmlResParser* p, uint32_t expectedG, const HXRClrMgr* clr, HXRMemMgr* mm,
                     HXRSmlData* sml, uint32_t i) {
    const uint32_t code = HXRGetOutputColorCode(clr, i);
    if (code == kHxrNoValue) return kNoCode;
    const uint32_t g = HXRGetSmlGradNum(p, code);
    if (g == kHxrNoValue) return kHxrSmlDotCountBad;  // the colour is not in the resource
    if (g == 0) return kHxrSmlGradZero;
    if ((expectedG != 0 && g != expectedG) || (i > 0 && g != sml->entry[0].gradationNum)) return kHxrSmlGradDiffer;
    if (HXRGetSmlMaxValue(p, code) != kHxrSmlFullRate) return kHxrSmlMaxNot4080;
    const uint32_t dots = HXRGetSmlDotNum(p, code);
    if (dots == 0 || dots > kHxrSmlMaxDots || dots != HXRGetOutputDotNum(clr, i)) return kHxrSmlDotCountBad;

    HXRSmlColorData& e = sml->entry[i];
    e.gradationNum = g;
    e.dotSizeNum = dots;
    for (uint32_t d = 0; d < dots; ++d) e.dotValue[d] = HXRGetSmlDotWeight(p, code, d);
    e.rates = HXRAllocArray<uint32_t>(mm, values_of(e));
    if (!e.rates) return kNoCode;
    sml->room[i] = values_of(e);
    for (uint32_t lv = 0; lv < g; ++lv) {
        uint32_t sum = 0;
        for (uint32_t d = 0; d < dots; ++d) {
            const uint32_t r = HXRGetSmlGenerateRate(p, code, d, lv);
            if (r > kHxrSmlFullRate) return kNoCode;  // missing (0xFFFFFFFF) or beyond a full row
            e.rates[size_t(lv) * dots + d] = r;
            sum += r;
        }
        if (sum > kHxrSmlFullRate) return kNoCode;
    }
    int32_t last = 0;
    bool seen = false;
    for (uint32_t d = 0; d < dots; ++d) {
        const int32_t w = weight_of(e, d);
        if (w == 0) {
            for (uint32_t lv = 0; lv < g; ++lv)
                if (e.rates[size_t(lv) * dots + d] != 0) return kHxrSmlZeroWeightRate;
            continue;
        }
        if (seen && w < last) return kHxrSmlWeightsDecrease;
        last = w;
        seen = true;
    }
    const uint32_t g0 = HXRGetSmlDoubleGamma0(p, code), g255 = HXRGetSmlDoubleGamma255(p, code);
    if (i == 0) {
        if (g0 == kHxrNoValue || g255 == kHxrNoValue) return kNoCode;
    } else {
        const uint32_t c0 = HXRGetOutputColorCode(clr, 0);
        if (g0 != HXRGetSmlDoubleGamma0(p, c0) || g255 != HXRGetSmlDoubleGamma255(p, c0)) return kHxrSmlDblGammaDiffer;
    }
    return 0;
}

bool valid_row(const HXRSmlColorData* row) {
    return row && row->rates && row->gradationNum >= 1 && row->dotSizeNum >= 1 && row->dotSizeNum <= kHxrSmlMaxDots;
}

// The entry of a TNMX copy that a row is written into: present, not the row's
// own table, and holding at least `values` rates.
HXRSmlColorData* tnmx_target(HXRSmlData* dst, uint32_t colour, const HXRSmlColorData* row, uint64_t values) {
    if (!dst || colour >= kHxrMaxInks) return nullptr;
    HXRSmlColorData& e = dst->entry[colour];
    if (!e.rates || e.rates == row->rates || dst->room[colour] < values) return nullptr;
    return &e;
}

}  // namespace

HXRSmlData* HXRCreateTRAQ2SmlData(const HXRSmlResParser* parser, uint32_t expectedG, const HXRClrMgr* colours,
                                  HXRMemMgr* manager) {
    if (!parser || !colours || !manager) return nullptr;
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (n < 1 || n > kHxrMaxInks) return nullptr;
    auto* sml = HXRAllocRecord<HXRSmlData>(manager);
    if (!sml) return nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t code = read_colour(parser, expectedG, colours, manager, sml, i);
        if (code == 0) continue;
        if (code != kNoCode) HXRSetErrorInfo(code);
        HXRDeleteTRAQ2SmlData(sml, manager);
        return nullptr;
    }
    return sml;
}

uint32_t HXRDeleteTRAQ2SmlData(HXRSmlData* sml, HXRMemMgr* manager) {
    if (!sml) return HXRFreeObject(manager, nullptr, kHxrSmlDataNone);
    uint32_t first = 0;
    for (HXRSmlColorData& e : sml->entry) {
        const uint32_t r = HXRFreeMem(manager, e.rates);
        if (first == 0) first = r;
    }
    const uint32_t r = HXRFreeMem(manager, sml);
    return first ? first : r;
}

uint32_t HXRCopyTRAQ2SmlData(const HXRSmlData* src, HXRSmlData* dst, HXRMemMgr* manager) {
    if (!src || !dst || !manager) return 1;
    for (uint32_t k = 0; k < kHxrMaxInks; ++k) {
        dst->entry[k] = src->entry[k];
        dst->entry[k].rates = nullptr;
        dst->room[k] = 0;
    }
    for (uint32_t k = 0; k < kHxrMaxInks; ++k) {
        if (!src->entry[k].rates) continue;
        dst->entry[k].rates = HXRAllocArray<uint32_t>(manager, values_of(src->entry[k]));
        dst->room[k] = values_of(src->entry[k]);
        if (dst->entry[k].rates) continue;
        for (uint32_t j = 0; j < k; ++j) {
            HXRFreeMem(manager, dst->entry[j].rates);
            dst->entry[j].rates = nullptr;
        }
        return 1;
    }
    return 0;
}

uint32_t HXRCheckCoordinationTRAQ2Sml(const HXRSmlData* a, const HXRSmlData* b) {
    if (!a || !b) return 1;
    for (uint32_t k = 0; k < kHxrMaxInks; ++k)
        if (!same_shape(a->entry[k], b->entry[k])) return 1;
    return 0;
}

uint32_t HXRCopyTRAQ2SmlDataEveryColor(const HXRSmlData* sml, HXRSmlColorData* dst, uint32_t colour,
                                       HXRMemMgr* manager) {
    if (!sml || !dst || colour >= kHxrMaxInks || !valid_row(&sml->entry[colour])) return 1;
    const HXRSmlColorData& src = sml->entry[colour];
    auto* rates = HXRAllocArray<uint32_t>(manager, values_of(src));
    if (!rates) return 1;
    std::copy(src.rates, src.rates + values_of(src), rates);
    *dst = src;
    dst->rates = rates;
    return 0;
}

uint32_t HXRSplitTRAQ2SmlDataEveryColor(HXRSmlColorData* row, uint32_t part) {
    if (!row || !row->rates || row->dotSizeNum > kHxrSmlMaxDots || part > 1) return 1;
    const uint32_t dots = row->dotSizeNum;
    if (dots < 4) return 0;
    const uint32_t first = part == 1 ? 0 : 3;
    for (uint32_t g = 0; g < row->gradationNum; ++g) {
        // Row g is read whole before it is written: the packed row never
        // reaches past the start of row g + 1.
        uint32_t v[3];
        for (uint32_t d = 0; d < 3; ++d) v[d] = first + d < dots ? row->rates[size_t(g) * dots + first + d] : 0;
        std::copy(v, v + 3, row->rates + size_t(g) * 3);
    }
    std::fill(row->rates + size_t(row->gradationNum) * 3, row->rates + values_of(*row), 0u);
    if (part == 1) std::copy(row->dotValue + 3, row->dotValue + 6, row->dotValue);
    std::fill(row->dotValue + 3, row->dotValue + 6, 0u);
    row->dotSizeNum = 3;
    return 0;
}

uint32_t HXRAddRateTRAQ2SmlDataEveryColor(HXRSmlColorData* row) {
    if (!row) return 1;
    const uint32_t dots = row->dotSizeNum;
    if (dots <= 1) return 0;
    if (!row->rates || dots > kHxrSmlMaxDots) return 1;
    for (uint32_t g = 0; g < row->gradationNum; ++g) {
        uint32_t* r = row->rates + size_t(g) * dots;
        for (uint32_t d = dots - 1; d-- > 0;) r[d] += r[d + 1];
    }
    return 0;
}

uint32_t HXRCheckSameSmlRow(const HXRSmlColorData* a, const HXRSmlColorData* b) {
    if (!a || !b || !same_shape(*a, *b)) return 1;
    if (!a->rates || !b->rates) return a->rates == b->rates ? 0 : 1;
    return std::equal(a->rates, a->rates + values_of(*a), b->rates) ? 0 : 1;
}

uint32_t HXRCheckSameTRAQ2SmlDataEveryColor(const HXRSmlData* sml, uint32_t i, uint32_t j) {
    if (!sml || i >= kHxrMaxInks || j >= kHxrMaxInks) return 1;
    return HXRCheckSameSmlRow(&sml->entry[i], &sml->entry[j]);
}

uint32_t HXRCopyTRAQ2SmlDotRate(const HXRSmlColorData* src, HXRSmlColorData* dst) {
    if (!src || !dst || !src->rates || !dst->rates || !same_shape(*src, *dst)) return 1;
    std::copy(src->rates, src->rates + values_of(*src), dst->rates);
    return 0;
}

uint32_t HXRResetTRAQ2SmlDot(const HXRSmlData* sml, HXRSmlColorData* dst, uint32_t colour) {
    if (!sml || !dst || colour >= kHxrMaxInks) return 1;
    const HXRSmlColorData& src = sml->entry[colour];
    dst->dotSizeNum = src.dotSizeNum;
    std::copy(src.dotValue, src.dotValue + kHxrSmlMaxDots, dst->dotValue);
    return 0;
}

HXRSmlData* HXRCreateTRAQ2SmlTNMXData(const HXRSmlData* sml, uint32_t mode, const HXRClrMgr* colours,
                                      HXRMemMgr* manager) {
    if (!sml || !colours || !manager) return nullptr;
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (n < 1 || n > kHxrMaxInks) return nullptr;
    auto* tnmx = HXRAllocRecord<HXRSmlData>(manager);
    if (!tnmx) return nullptr;
    for (uint32_t k = 0; k < n; ++k) {
        const HXRSmlColorData& src = sml->entry[k];
        HXRSmlColorData& e = tnmx->entry[k];
        take_shape(e, src);
        // Mode 1 keeps the SML data's G; its table also holds the 512 rows
        // the dot-rate expansion makes (and never fewer rows than G).
        const uint32_t rows = mode == 1 ? std::max(kHxrSmlTnmxLutRows, src.gradationNum) : kHxrSmlTnmxExpandRows;
        if (mode != 1) e.gradationNum = kHxrSmlTnmxExpandRows;
        tnmx->room[k] = uint64_t(rows) * src.dotSizeNum;
        e.rates = HXRAllocArray<uint32_t>(manager, tnmx->room[k]);
        if (!e.rates) {
            HXRDeleteTRAQ2SmlData(tnmx, manager);
            return nullptr;
        }
    }
    return tnmx;
}

uint32_t HXRGetTRAQ2SmlTNMXMergeLut(const HXRSmlColorData* row, uint32_t colour, const HXRLutTNMXData* lut,
                                    uint32_t lutChannel, uint32_t lutStride, HXRSmlData* dst) {
    if (!valid_row(row) || !lut || !lut->table) return 1;
    const uint32_t g = row->gradationNum, dots = row->dotSizeNum;
    // The LUT is read at every level of the row, in the LUT's own bounds.
    if (g > lut->gridNum || lutChannel >= lutStride || lutStride > lut->channels) return 1;
    HXRSmlColorData* e = tnmx_target(dst, colour, row, values_of(*row));
    if (!e) return 1;
    const uint32_t* src = row->rates;
    for (uint32_t lv = 0; lv < g; ++lv) {
        const uint32_t x = lut->table[size_t(lv) * lutStride + lutChannel];
        const uint32_t r = (x >> 8) & 255, t = x & 255;
        uint32_t* out = e->rates + size_t(lv) * dots;
        if (r + 1 >= g) {
            std::copy(src + size_t(g - 1) * dots, src + size_t(g) * dots, out);
            continue;
        }
        for (uint32_t d = 0; d < dots; ++d) {
            const int64_t lo = src[size_t(r) * dots + d];
            const int64_t delta = int64_t(src[size_t(r + 1) * dots + d]) - lo;
            const int64_t step = delta >= 0 ? (int64_t(t) * delta + 128) >> 8 : (int64_t(t) * delta - 128) / 256;
            out[d] = static_cast<uint32_t>(lo + step);
        }
    }
    take_shape(*e, *row);
    return 0;
}

uint32_t HXRGetTRAQ2SmlTNMXExpand(const HXRSmlColorData* row, uint32_t colour, HXRSmlData* dst) {
    if (!valid_row(row) || row->gradationNum < 2 || row->gradationNum > 256) return 1;
    const uint32_t g = row->gradationNum, dots = row->dotSizeNum;
    HXRSmlColorData* e = tnmx_target(dst, colour, row, uint64_t(kHxrSmlTnmxExpandRows) * dots);
    if (!e) return 1;
    const uint32_t* src = row->rates;
    for (uint32_t k = 0; k + 1 < g; ++k)
        for (uint32_t d = 0; d < dots; ++d) {
            const int64_t lo = src[size_t(k) * dots + d];
            const int64_t delta = int64_t(src[size_t(k + 1) * dots + d]) - lo;
            const int64_t round = delta >= 0 ? 128 : -128;
            for (uint32_t t = 0; t < 256; ++t)
                e->rates[(size_t(k) * 256 + t) * dots + d] = static_cast<uint32_t>(lo + (delta * t + round) / 256);
        }
    // The rows past the last interval repeat its last row: the table keeps
    // its top tone up to the last of its 65535 rows.
    const size_t top = size_t(g - 1) * 256;
    const uint32_t* last = e->rates + (top - 1) * dots;
    for (size_t lv = top; lv < kHxrSmlTnmxExpandRows; ++lv) std::copy(last, last + dots, e->rates + lv * dots);
    take_shape(*e, *row);
    e->gradationNum = kHxrSmlTnmxExpandRows;
    return 0;
}

uint32_t HXRTRAQ2SmlTNMXExpandDotRate(const HXRSmlData* sml, HXRSmlData* tnmx, const HXRClrMgr* colours,
                                      HXRMemMgr* manager) {
    if (!sml || !tnmx || !colours || !manager) return 1;
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (n < 1 || n > kHxrMaxInks) return 1;
    // Every colour is checked before any changes.
    for (uint32_t k = 0; k < n; ++k) {
        const HXRSmlColorData &o = sml->entry[k], &e = tnmx->entry[k];
        if (!o.rates || !e.rates || o.dotSizeNum != e.dotSizeNum || o.gradationNum != e.gradationNum ||
            (e.gradationNum != 512 && e.gradationNum != 256))
            return 1;
    }
    for (uint32_t k = 0; k < n; ++k) {
        const HXRSmlColorData& o = sml->entry[k];
        HXRSmlColorData& e = tnmx->entry[k];
        const uint32_t dots = e.dotSizeNum;
        const uint64_t need = uint64_t(512) * dots;
        if (tnmx->room[k] < need) {
            auto* rates = HXRAllocArray<uint32_t>(manager, need);
            if (!rates) return 1;
            HXRFreeMem(manager, e.rates);
            e.rates = rates;
            tnmx->room[k] = need;
        }
        if (e.gradationNum == 512) {
            std::copy(o.rates, o.rates + need, e.rates);
            continue;
        }
        const auto src = [&](uint32_t j, uint32_t d) { return o.rates[size_t(j) * dots + d]; };
        const auto dst = [&](uint32_t j) { return e.rates + size_t(j) * dots; };
        for (uint32_t j = 0; j < 255; ++j) {
            uint64_t even_sum = 0, odd_sum = 0;
            for (uint32_t d = 0; d < dots; ++d) {
                dst(2 * j)[d] = src(j, d);
                dst(2 * j + 1)[d] = (src(j, d) + src(j + 1, d)) >> 1;
                even_sum += dst(2 * j)[d];
                odd_sum += dst(2 * j + 1)[d];
            }
            if (odd_sum + 1 == even_sum) std::copy(dst(2 * j), dst(2 * j) + dots, dst(2 * j + 1));
        }
        for (uint32_t d = 0; d < dots; ++d) dst(510)[d] = dst(511)[d] = src(255, d);
        e.gradationNum = 512;
    }
    return 0;
}

uint32_t HXRResetTRAQ2SmlTNMX(HXRSmlColorData* row, uint32_t colour, HXRSmlData* tnmx) {
    if (!valid_row(row) || !tnmx || colour >= kHxrMaxInks) return 1;
    HXRSmlColorData& e = tnmx->entry[colour];
    if (!e.rates || e.gradationNum != row->gradationNum || e.dotSizeNum != row->dotSizeNum) return 1;
    std::swap(row->rates, e.rates);
    tnmx->room[colour] = values_of(e);
    return 0;
}
