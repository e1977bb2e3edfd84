#include "hxr/control/hxr_sml_correct.h"

#include "hxr/binarize/hxr_crct_id.h"
#include "hxr/control/hxr_alloc_array.h"

#include <algorithm>
#include <bit>

namespace {

constexpr uint32_t kCorrectHalf = 32768;    // a correction value up to 32767 halves the dot
constexpr uint32_t kCorrectMax = 98048;     // the largest factor a correction value gives
constexpr uint32_t kCalibLevels = 256;

uint32_t saturate(int64_t v) {
    return v < 0 ? 0u : v > int64_t(0xFFFFFFFFu) ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

uint32_t colour_count(const HXRSmlCorrectData* corr) {
    const uint32_t n = corr ? HXRGetOutputColorNum(corr->colours) : 0;
    return n <= kHxrMaxInks ? n : 0;
}

uint32_t* table_of(const HXRSmlCorrectData* corr, uint32_t k, uint32_t selector) {
    if (selector == kHxrSmlTableA) return corr->tableA[k];
    if (selector == kHxrSmlTableB) return corr->tableB[k];
    return nullptr;
}

// The output order of a colour code, or 0xFFFFFFFF when the data lacks it.
uint32_t order_of(const HXRSmlCorrectData* corr, uint32_t code) {
    const uint32_t k = corr ? HXRGetOutputColorOrder(corr->colours, code) : kHxrNoValue;
    return k < colour_count(corr) ? k : kHxrNoValue;
}

// The calibration's position of level g (s16 in 1/16 levels, shifted left by
// 4: 1/256 levels); a negative one reads entry 0.
uint32_t calib_position(const uint8_t* table, uint32_t g) {
    const int32_t v = static_cast<int32_t>(HXRGetCalibData(table, g));
    return v < 0 ? 0u : static_cast<uint32_t>(v);
}

uint32_t apply_calibration(HXRSmlCorrectData* corr, HXRBlobRef calib, uint32_t n) {
    const HXRClbTblParser parser = HXRCreateClbTblParser(calib.data, calib.size);
    if (!parser.blob) return 1;
    const uint32_t g_num = corr->gradationNum;
    for (uint32_t k = 0; k < n; ++k) {
        const uint8_t* cal = HXRSearchCalibTable(&parser, HXRGetOutputColorCode(corr->colours, k));
        if (!cal) continue;
        const uint32_t* base = corr->base[k];
        uint32_t* a = corr->tableA[k];
        if (g_num == kCalibLevels) {
            for (uint32_t g = 0; g < g_num; ++g) a[g] = Interpolation(base, g_num, calib_position(cal, g));
        } else if (g_num == 2 * kCalibLevels) {
            for (uint32_t g = 0; g + 1 < g_num; ++g) {
                const uint32_t x = uint32_t((uint64_t(calib_position(cal, g / 2)) + calib_position(cal, (g + 1) / 2)) / 2);
                a[g] = Interpolation(base, g_num, x);
            }
            a[g_num - 1] = a[g_num - 2];
        }
    }
    return 0;
}

// The correction value of one dot from the rate resource; a lookup the rate
// resource cannot answer counts as no correction and leaves the error record
// as it found it.
uint32_t correct_value(const HXRRateResParser* rate, uint32_t code, uint32_t dot, uint32_t id) {
    const uint32_t before = HXRGetErrorInfo(nullptr);
    const uint32_t v = HXRGetCorrectValue(rate, code, dot, id);
    if (v == kHxrNoValue) HXRRestoreErrorInfo(HXRGetErrorInfo(nullptr), before);
    return v;
}

// 0, a code, or 1 (failure without a code).
uint32_t apply_correction_ids(HXRSmlCorrectData* corr, HXRBlobRef pid, const HXRCfgResParser* cfg,
                              const char* micro, const char* ink_set, uint32_t colour_flag, uint32_t out_bits,
                              HXRStrNCmpFn compare, const HXRRateResParser* rate, uint32_t n) {
    if (!compare) return 1;
    const uint8_t* mode = HXRSearchCorrectMode(cfg, colour_flag, out_bits, ink_set, micro, compare);
    if (!mode) return 0;
    const HXRCrctIdList ids = HXRCreateCrctIdParser(pid.data, pid.size);
    if (ids.idNum == 0) {
        // A blob of a known form whose list cannot be read (its parser
        // recorded why) is a failure; any other form carries no IDs.
        const bool known = pid.size >= 1 && (pid.data[0] == 0x20 || pid.data[0] == 0x30);
        return known ? 1u : 0u;
    }
    const uint32_t pos_size = HXRGetIdPosSize(cfg);
    if (pos_size == 1 && ids.idNum > 254) return kHxrSmlCorrectTooManyIds;
    if (HXRIsCrctIdAllZero(&ids) == 1) return 0;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t code = HXRGetOutputColorCode(corr->colours, k);
        const HXRSmlColorData& e = corr->sml->entry[k];
        uint32_t factors[kHxrSmlMaxDots];
        std::fill(factors, factors + kHxrSmlMaxDots, kHxrSmlFactorOne);
        for (uint32_t d = 0; d < e.dotSizeNum && d < kHxrSmlMaxDots; ++d) {
            const HXRCorrectOffset off = HXRGetCorrectOffset(mode, code, d, pos_size, corr->colours);
            if (off.count == 0) continue;
            uint32_t sum = 0;
            for (uint32_t j = 0; j < off.count; ++j) {
                const int32_t id = HXRGetCrctId(&ids, static_cast<int32_t>(off.values[j]));
                if (id < 0) return kHxrSmlCorrectIdMissing;
                sum += static_cast<uint32_t>(id);
            }
            const uint32_t mean = (sum + off.count / 2) / off.count;
            const uint32_t v = correct_value(rate, code, d, mean);
            if (v == kHxrNoValue) continue;
            factors[d] = v < kCorrectHalf ? kCorrectHalf : std::min(v, kCorrectMax);
        }
        MakeInkWeightTable(corr->tableA[k], &e, factors);
    }
    return 0;
}

}  // namespace

uint32_t HXRSmlPositionShift(uint32_t n) {
    const uint32_t b = n <= 1 ? 0 : static_cast<uint32_t>(std::bit_width(n - 1));
    return b >= 16 ? 0 : 16 - b;
}

int64_t GetSlope(const uint32_t* t, uint32_t n) {
    if (!t || n == 0) return 0;
    uint32_t k = n - 1;
    while (k > 0 && t[k - 1] == t[k]) --k;
    const int64_t v = t[k];
    const auto back = [&](uint32_t j) { return int64_t(t[k >= j ? k - j : 0]); };
    return (6 * (v - back(4)) + (v - back(8)) + 32 * (v - back(2))) / 12;
}

uint32_t Interpolation(const uint32_t* t, uint32_t n, uint32_t x) {
    if (!t || n == 0) return 0;
    const uint32_t s = HXRSmlPositionShift(n);
    const uint64_t i = uint64_t(x) >> s;
    if (i + 1 < n) {
        const int64_t f = x & ((uint32_t(1) << s) - 1);
        const int64_t half = s ? int64_t(1) << (s - 1) : 0;
        return saturate(int64_t(t[i]) + (((int64_t(t[i + 1]) - t[i]) * f + half) >> s));
    }
    const int64_t past = int64_t(x) - (int64_t(n - 1) << s);
    return saturate(int64_t(t[n - 1]) + ((GetSlope(t, n) * past + (int64_t(4) << s)) >> (s + 3)));
}

uint32_t GetSmlIndex(const uint32_t* t, uint32_t n, uint32_t value, uint32_t hint) {
    if (!t || n == 0) return 0;
    const uint32_t s = HXRSmlPositionShift(n);
    const int64_t last = int64_t(n - 1) << s;
    if (value > t[n - 1]) {
        const int64_t slope = GetSlope(t, n);
        if (slope <= 0) return saturate(last);
        const int64_t over = (int64_t(value) - t[n - 1]) << (s + 3);
        return saturate(last + (over + slope / 2) / slope);
    }
    uint32_t h = std::min(hint, n - 1);
    if (t[h] >= value) {
        while (h > 0 && t[h - 1] >= value) --h;
    } else {
        while (t[h] < value) ++h;
    }
    if (h == 0) return 0;
    const uint64_t dt = uint64_t(t[h]) - t[h - 1];
    const uint64_t up = ((uint64_t(value) - t[h - 1]) << s) + dt / 2;
    return saturate((int64_t(h - 1) << s) + int64_t(up / dt));
}

int64_t HXRInkWeight(const HXRSmlColorData* e, const uint32_t* factors, uint32_t g) {
    int64_t sum = 0;
    const uint32_t dots = std::min(e->dotSizeNum, kHxrSmlMaxDots);
    for (uint32_t d = 0; d < dots; ++d) {
        const int64_t f = factors ? int64_t(factors[d] >> 8) : int64_t(kHxrSmlFactorOne >> 8);
        sum += f * static_cast<int32_t>(e->dotValue[d]) * int64_t(e->rates[size_t(g) * e->dotSizeNum + d]);
    }
    return (sum + 128) >> 8;
}

void MakeInkWeightTable(uint32_t* out, const HXRSmlColorData* e, const uint32_t* factors) {
    for (uint32_t g = 0; g < e->gradationNum; ++g) out[g] = saturate(HXRInkWeight(e, factors, g));
}

HXRSmlCorrectData* HXRCreateTRAQ2SmlCorrectData(const HXRSmlData* sml, HXRBlobRef calibTable, HXRBlobRef printerId,
                                                const HXRCfgResParser* cfgRateParser, const char* microName,
                                                const char* inkSetName, uint32_t colourFlag, uint32_t outBits,
                                                HXRStrNCmpFn compare, const HXRRateResParser* rateParser,
                                                const HXRClrMgr* colours, HXRMemMgr* manager) {
    if (!sml || !colours || !manager) return nullptr;
    const uint32_t n = HXRGetOutputColorNum(colours);
    const uint32_t g_num = sml->entry[0].gradationNum;
    if (n < 1 || n > kHxrMaxInks || g_num == 0) return nullptr;
    auto* corr = HXRAllocRecord<HXRSmlCorrectData>(manager);
    if (!corr) return nullptr;
    corr->gradationNum = g_num;
    corr->sml = sml;
    corr->colours = colours;
    corr->block = HXRAllocArray<uint32_t>(manager, uint64_t(3) * kHxrMaxInks * g_num);
    uint32_t code = corr->block ? 0 : 1;
    for (uint32_t k = 0; k < kHxrMaxInks && code == 0; ++k) {
        corr->base[k] = corr->block + size_t(3 * k) * g_num;
        corr->tableA[k] = corr->base[k] + g_num;
        corr->tableB[k] = corr->tableA[k] + g_num;
    }
    for (uint32_t k = 0; k < n && code == 0; ++k) {
        const HXRSmlColorData& e = sml->entry[k];
        if (e.gradationNum != g_num || !e.rates) {
            code = 1;
            break;
        }
        int64_t prev = 0;
        for (uint32_t g = 0; g < g_num; ++g) {
            const int64_t w = HXRInkWeight(&e, nullptr, g);
            if (w < prev || w >= kHxrSmlBaseLimit) {
                code = kHxrSmlCorrectBaseTable;
                break;
            }
            corr->base[k][g] = corr->tableA[k][g] = static_cast<uint32_t>(w);
            prev = w;
        }
    }
    if (code == 0 && calibTable.data) {
        code = apply_calibration(corr, calibTable, n);
    } else if (code == 0 && printerId.data && cfgRateParser && rateParser) {
        code = apply_correction_ids(corr, printerId, cfgRateParser, microName, inkSetName, colourFlag, outBits, compare,
                                    rateParser, n);
    }
    if (code != 0) {
        if (code != 1) HXRSetErrorInfo(code);
        HXRDeleteTRAQ2SmlCorrectData(corr, manager);
        return nullptr;
    }
    for (uint32_t k = 0; k < n; ++k) corr->source[k] = corr->target[k] = kHxrSmlTableA;
    return corr;
}

uint32_t HXRDeleteTRAQ2SmlCorrectData(HXRSmlCorrectData* corr, HXRMemMgr* manager) {
    if (!corr) return HXRFreeObject(manager, nullptr, kHxrSmlCorrectNone);
    const uint32_t r = HXRFreeMem(manager, corr->block);
    const uint32_t s = HXRFreeMem(manager, corr);
    return r ? r : s;
}

uint32_t HXRControlInkWeightTRAQ2SmlByRate(HXRSmlCorrectData* corr, const uint32_t* rates) {
    const uint32_t n = colour_count(corr);
    if (!rates || n == 0) return 1;
    for (uint32_t k = 0; k < n; ++k)
        if (rates[k] > kHxrMdfMax || !table_of(corr, k, corr->source[k]) || !table_of(corr, k, corr->target[k]))
            return 1;
    for (uint32_t k = 0; k < n; ++k) {
        const uint64_t r = rates[k];
        const uint32_t* src = table_of(corr, k, corr->source[k]);
        uint32_t* dst = table_of(corr, k, corr->target[k]);
        for (uint32_t g = 0; g < corr->gradationNum; ++g) {
            const uint64_t v = src[g];
            dst[g] = saturate(int64_t((((v * (r & 255)) >> 8) + v * (r >> 8) + 2) >> 2));
        }
        corr->source[k] = corr->target[k];
    }
    return 0;
}

uint32_t HXRControlInkWeightTRAQ2SmlByIndex(HXRSmlCorrectData* corr, const uint32_t* brsTable, uint32_t colourCode) {
    const uint32_t k = order_of(corr, colourCode);
    if (!brsTable || k == kHxrNoValue) return 1;
    const uint32_t* src = table_of(corr, k, corr->source[k]);
    uint32_t* dst = table_of(corr, k, corr->target[k]);
    if (!src || !dst) return 1;
    const uint32_t g_num = corr->gradationNum, s = HXRSmlPositionShift(g_num);
    const uint32_t* base = corr->base[k];
    uint32_t hint = 0;
    for (uint32_t g = 0; g < g_num; ++g) {
        const uint32_t p = GetSmlIndex(base, g_num, src[g], hint);
        hint = p >> s;
        dst[g] = Interpolation(base, g_num, Interpolation(brsTable, kCalibLevels, p));
    }
    corr->source[k] = corr->target[k];
    return 0;
}

uint32_t HXRSetBrsExcutedInkWeight(HXRSmlCorrectData* corr, const uint32_t* brsTable, uint32_t colourCode) {
    const uint32_t k = order_of(corr, colourCode);
    if (k == kHxrNoValue || corr->source[k] != kHxrSmlTableA || corr->target[k] != kHxrSmlTableB) return 1;
    return HXRControlInkWeightTRAQ2SmlByIndex(corr, brsTable, colourCode);
}

uint32_t HXRPrepareFinalWeightTable(HXRSmlCorrectData* corr) {
    const uint32_t n = colour_count(corr);
    if (n == 0) return 1;
    for (uint32_t k = 0; k < n; ++k) {
        corr->source[k] = kHxrSmlTableA;
        corr->target[k] = kHxrSmlTableB;
    }
    return 0;
}

uint32_t HXRGetSmlIndexTable(uint32_t* out, const HXRSmlCorrectData* corr, uint32_t colourCode) {
    const uint32_t k = order_of(corr, colourCode);
    if (!out || k == kHxrNoValue) return 1;
    const uint32_t* w = table_of(corr, k, corr->source[k]);
    if (!w) return 1;
    const uint32_t g_num = corr->gradationNum, s = HXRSmlPositionShift(g_num);
    const uint32_t cap = (g_num - 1) << s;
    uint32_t hint = 0;
    for (uint32_t j = 0; j < kCalibLevels; ++j) {
        const uint32_t p = GetSmlIndex(corr->base[k], g_num, w[uint64_t(j) * g_num / kCalibLevels], hint);
        hint = p >> s;
        out[j] = std::min(p, cap);
    }
    return 0;
}

uint32_t HXRGetSmlTable(uint32_t* out, const HXRSmlCorrectData* corr, uint32_t colourCode) {
    const uint32_t k = order_of(corr, colourCode);
    if (!out || k == kHxrNoValue) return 1;
    const uint32_t* w = table_of(corr, k, corr->source[k]);
    const HXRSmlColorData& e = corr->sml->entry[k];
    if (!w || !e.rates || e.gradationNum != corr->gradationNum) return 1;
    const uint32_t g_num = corr->gradationNum, dots = e.dotSizeNum, s = HXRSmlPositionShift(g_num);
    const uint64_t one = uint64_t(1) << s, half = one >> 1;
    const uint32_t* rate = e.rates;
    uint32_t hint = 0;
    for (uint32_t g = 0; g < g_num; ++g) {
        const uint32_t p = GetSmlIndex(corr->base[k], g_num, w[g], hint);
        const uint32_t i = p >> s;
        const uint64_t f = p & (one - 1);
        hint = std::min(i, g_num - 1);
        uint32_t* o = out + size_t(g) * dots;
        if (i + 1 >= g_num) {
            std::copy(rate + size_t(g_num - 1) * dots, rate + size_t(g_num) * dots, o);
            continue;
        }
        for (uint32_t d = 0; d < dots; ++d)
            o[d] = uint32_t((rate[size_t(i + 1) * dots + d] * f + rate[size_t(i) * dots + d] * (one - f) + half) >> s);
    }
    return 0;
}

uint32_t HXRCheckMDFParam(const uint32_t* words, const HXRClrMgr* colours) {
    if (!words) return 0;
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (n < 1 || n > kHxrMaxInks) return 1;
    for (uint32_t k = 0; k < n; ++k)
        if (words[k] > kHxrMdfMax) return 1;
    return 0;
}

uint32_t HXR8CheckTRAQ2SmlMDFParam(const uint32_t* words, const HXRClrMgr* colours) {
    return HXRCheckMDFParam(words, colours);
}
