#include "bnrz_job.h"

#include "support/model_dither.h"

#include <algorithm>
#include <random>

namespace ovcg_test {

namespace {

const FakeDataSet* data_set(const HXRTRAQ2Data* s) { return reinterpret_cast<const FakeDataSet*>(s); }

HXRTRAQ2DthDataMgr* get_dither(const HXRTRAQ2Data* s, uint32_t intent) {
    if (!s || intent > 1 || !data_set(s)->dither[intent]) return nullptr;
    return const_cast<HXRTRAQ2DthDataMgr*>(data_set(s)->dither[intent]->handle());
}

HXRSmlDataMgr* get_sml(const HXRTRAQ2Data* s, uint32_t intent, uint32_t slot) {
    if (!s || intent > 1 || slot > 1 || !data_set(s)->sml[intent][slot]) return nullptr;
    return data_set(s)->sml[intent][slot]->handle();
}

uint32_t coordination(const HXRTRAQ2Data* s, uint32_t intent) {
    return s && intent <= 1 ? data_set(s)->coordination[intent] : 1;
}

const HXRBnrzDataOps kOps = {FakeDthMgr::ops(), FakeSmlMgr::ops(), get_dither, get_sml, coordination};

}  // namespace

const HXRBnrzDataOps* FakeDataSet::ops() { return &kOps; }

bool BnrzJob::build(const BnrzJobSpec& s) {
    spec = s;
    dth = FakeDthMgr{};
    for (auto& intent : sml)
        for (FakeSmlMgr& f : intent) f = FakeSmlMgr{};
    set = FakeDataSet{};
    if (spec.dots == 0) spec.dots = (spec.dotMode & 15) == 1 ? 1 : 3;
    if (!spec.rate) spec.rate = [](uint32_t g, uint32_t d) { return g * (d + 1) * 2; };
    ht = {};
    ht.inkSet = spec.inkSet;
    ht.htType = spec.htType;
    ht.xResolution = uint32_t(spec.hRes);
    ht.yResolution = uint32_t(spec.vRes);
    ht.outputBits = spec.dotMode;
    ht.scale = 1;
    clr = HXRCreateClrMgr(spec.inkSet, spec.dotMode, 0, mm);
    random = HXRCreateRandNum(mm);
    if (!clr || !random) return false;
    static const int kPrintMode = 0;
    ctrl = HXRCreateBinarizeController(&ht, &kPrintMode, spec.kind, uint32_t(spec.width), spec.elementSize, clr, mm,
                                       FakeDataSet::ops());
    if (!ctrl) return false;
    const uint32_t inks = spec.kind == kHxrCvtTNMX ? 1 : HXRGetOutputColorNum(clr);
    interm = HXRCreateIntermediateData(int32_t(inks), spec.width, int32_t(spec.elementSize), 0, nullptr, -1, mm);
    if (!interm) return false;

    // Dither: a scattered matrix per area and output order, each with its
    // own shifts and offsets.
    dth.areas = spec.areas;
    records.clear();
    for (int32_t a = 0; a < std::max(spec.areas, 1) && a < 6; ++a)
        for (uint32_t o = 0; o < 12; ++o) {
            const uint16_t w = uint16_t(spec.maskWidth);
            const PlainMaskSpec m = model_scattered_mask(w, 16, 16, uint16_t(3 + o), uint8_t(o % 2));
            records.push_back(make_dither_record(w, 16, int32_t(o % 3), int32_t(o % 5), m.thresholds));
            dth.data[a][o] = records.back().data;
            dth.offset[a][o] = {5 * o + uint32_t(a), 3 * o};
        }
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t k = 0; k < 2; ++k) {
            FakeSmlMgr& f = sml[t][k];
            f.colours = clr;
            for (uint32_t o = 0; o < HXRGetOutputColorNum(clr) && o < 12; ++o)
                f.set_row(o, 256, spec.dots, [&](uint32_t g, uint32_t d) { return spec.rate(g, d); });
        }
    set.dither[0] = &dth;
    set.sml[0][0] = &sml[0][0];
    return true;
}

void BnrzJob::start(const HXRSwitchPosList* list) {
    ASSERT_EQ(attach(), 0u);
    if (spec.htType != kHxrHtTypeDither) {
        ASSERT_EQ(hybrid(), 0u);
    }
    ASSERT_EQ(HXRSetHtSwitchPos(ctrl, list, 0, mm), 0u);
    ASSERT_EQ(HXRResetBnrzErrorBuffer(ctrl, random), 0u);
}

void BnrzJob::fill_ink(uint32_t seed, int32_t x0, int32_t n) {
    std::mt19937 rng(seed);
    for (int32_t k = 0; k < interm->inkNum; ++k)
        for (uint32_t l = 0; l < 2; ++l) {
            if (spec.elementSize == 1) {
                uint8_t* row = HXRGetInkQuantityBuf(interm, k, l);
                for (uint32_t x = 0; x < interm->linePixelSize; ++x) row[x] = uint8_t(rng());
            } else {
                uint16_t* row = HXRGetInkQuantityBuf16(interm, k, l);
                for (uint32_t x = 0; x < interm->linePixelSize; ++x) row[x] = uint16_t(rng());
            }
        }
    ASSERT_EQ(HXRSetWritingArea(interm, x0, x0 + n), 0u);
}

uint32_t plane_code(const uint8_t* plane, int bits, int64_t x) {
    const int64_t per = 8 / bits;
    return uint32_t(plane[size_t(x / per)] >> (8 - bits * (x % per + 1))) & ((1u << bits) - 1);
}

std::vector<uint32_t> kernel_row(uint32_t code, uint32_t dots, uint32_t levels, const RateFn& rate) {
    std::vector<uint32_t> out;
    for (uint32_t g = 0; g < levels; ++g) {
        std::vector<uint32_t> level(dots);
        for (uint32_t d = 0; d < dots; ++d) level[d] = rate(g, d);
        if (dots == 3 || dots == 5)
            for (uint32_t d = dots - 1; d-- > 0;) level[d] += level[d + 1];
        if (dots >= 4) {
            std::vector<uint32_t> cut(3, 0);
            for (uint32_t d = 0; d < 3; ++d) {
                const uint32_t from = (code & kHxrDerivedChannel) ? d : d + 3;
                cut[d] = from < dots ? level[from] : 0;
            }
            level = cut;
        }
        for (uint32_t v : level) out.push_back(std::min(v, kHxrSmlMaxRate));
    }
    return out;
}

const HXRDthData* BnrzJob::dither_of(int32_t area, uint32_t ord) const { return &records[size_t(area) * 12 + ord].data; }
const HXRDthOffset* BnrzJob::offset_of(int32_t area, uint32_t ord) const { return &dth.offset[area][ord]; }
std::vector<uint32_t> BnrzJob::kernel_rates(uint32_t code) const {
    return kernel_row(code, spec.dots, 256, spec.rate);
}
const HXRSmlColorData* BnrzJob::org_row(uint32_t ord) const { return &sml[0][0].plain[ord]; }

void BnrzJob::make_references() {
    refDither = HXRCreateBinarizeDither(spec.kind, spec.elementSize, spec.dotMode, mm);
    ASSERT_NE(refDither, nullptr);
    refRandom = HXRCreateRandNum(mm);
    if (spec.htType == kHxrHtTypeDither) return;
    for (uint32_t c = 0; c < hc(); ++c) {
        const uint32_t code = HXRGetHalftoneColorCode(clr, c);
        const HXRSmlColorData* row = org_row(HXRGetOutputColorOrder(clr, code));
        const HXRSmlColorData* rows[4] = {row, row, row, row};
        refHybrid[c] = HXRCreateBinarizeHybridED(spec.inkSet, spec.hRes, spec.vRes, spec.kind, 1, spec.dotMode,
                                                 spec.htType, code, rows, interm, refRandom, mm);
        ASSERT_NE(refHybrid[c], nullptr);
        ASSERT_EQ(HXRSetHybridEDErrorBuffInitialValue(refHybrid[c], refRandom, 0), 0u);
    }
}

void BnrzJob::band_against_kernels(int32_t first, int32_t lines, std::vector<std::array<uint64_t, 4>>& histogram) {
    const uint32_t n_hc = hc(), entries = 2 * uint32_t(lines) * n_hc;
    Planes got(entries, plane_bytes()), want(entries, plane_bytes());
    uint32_t any = 7;
    ASSERT_EQ(HXRBinarize(ctrl, interm, random, got.table.data(), &any, lines, first, nullptr), 0u);
    uint32_t start = 0, count = 0;
    HXRGetWrittenArea(interm, &start, &count);
    uint64_t dots = 0;
    for (int32_t i = 0; i < lines; ++i) {
        const int32_t y = first + i;
        for (uint32_t c = 0; c < n_hc; ++c) {
            const uint32_t code = HXRGetHalftoneColorCode(clr, c);
            const uint32_t ord = HXRGetOutputColorOrder(clr, code);
            const int32_t ink = spec.kind == kHxrCvtTNMX ? 0 : int32_t(HXRGetLutColorOrder(clr, code));
            const int32_t area = HXRGetDthArea(ctrl->everyColor->runtimeDither, y);
            const std::vector<uint32_t> rates = kernel_rates(code);
            HXRSmlColorData row{256, uint32_t(bits() == 1 ? 1 : 3), {}, const_cast<uint32_t*>(rates.data())};
            const HXRSmlColorData* pair[2] = {&row, &row};
            uint32_t counts[7] = {};
            uint8_t* plane = want.table[size_t(i) * n_hc + c];
            const HXRDthData* rec = dither_of(area, ord);
            const HXRDthOffset* off = offset_of(area, ord);
            if (spec.htType == kHxrHtTypeDither) {
                const uint32_t r =
                    spec.elementSize == 1
                        ? HXRBinarizeDither(refDither, plane, counts, HXRGetInkQuantityBuf(interm, ink, uint32_t(i)),
                                            nullptr, int32_t(start), int32_t(count), rec, off, pair, uint32_t(y))
                        : HXRBinarizeDither16bit(refDither, plane, counts,
                                                 HXRGetInkQuantityBuf16(interm, ink, uint32_t(i)), nullptr,
                                                 int32_t(start), int32_t(count), rec, off, pair, uint32_t(y));
                ASSERT_EQ(r, 0u);
            } else {
                HXRHybridEDBinarizer* h = refHybrid[c];
                ASSERT_EQ(HXRSwitchHybridEDErrorBuff(h, 1), 0u);
                int32_t* error = HXRGetHybridEDErrorBuffer(h, refRandom, uint32_t(y), 0);
                ASSERT_EQ(HXRBinarizeHybridED(h, plane, counts, HXRGetInkQuantityBuf(interm, ink, uint32_t(i)), nullptr,
                                              error, int32_t(start), int32_t(count), rec, off, pair, uint32_t(y)),
                          0u);
                ASSERT_EQ(HXRSetHybridEDVPostion(h, uint32_t(y)), 0u);
            }
            const size_t e = size_t(i) * n_hc + c;
            ASSERT_EQ(got.bytes[e], want.bytes[e]) << "line " << y << " colour " << c;
            for (uint32_t x = start; x < start + count; ++x) {
                const uint32_t k = plane_code(got.bytes[e].data(), bits(), x);
                ++histogram[c][k];
                dots += k != 0;
            }
        }
    }
    for (uint32_t e = uint32_t(lines) * n_hc; e < entries; ++e) EXPECT_TRUE(got.untouched(e)) << "canary " << e;
    EXPECT_EQ(any, dots ? 1u : 0u);
}

void BnrzJob::expect_counts(const std::vector<std::array<uint64_t, 4>>& histogram) {
    const uint32_t r = HXRGetRealOutputColorNum(clr);
    std::vector<uint64_t> got(3 * r + 1, 99);
    ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, got.data(), 3 * r), 3 * r);
    for (uint32_t k = 0; k < r; ++k)
        for (uint32_t d = 0; d < 3; ++d)
            EXPECT_EQ(got[3 * k + d], d < uint32_t((1 << bits()) - 1) ? histogram[k][d + 1] : 0) << k << " " << d;
    EXPECT_EQ(got[3 * r], 99u);
    ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, got.data(), 3 * r), 3 * r);
    for (uint32_t v = 0; v < 3 * r; ++v) EXPECT_EQ(got[v], 0u);
}

}  // namespace ovcg_test
