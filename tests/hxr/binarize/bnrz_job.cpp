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
    recipe = s;
    dth = FakeDthMgr{};
    for (auto& intent : sml)
        for (FakeSmlMgr& f : intent) f = FakeSmlMgr{};
    set = FakeDataSet{};
    if (recipe.dots == 0) recipe.dots = (recipe.dotMode & 15) == 1 ? 1 : 3;
    if (!recipe.rate) recipe.rate = [](uint32_t g, uint32_t d) { return g * (d + 1) * 2; };
    ht = {};
    ht.inkSet = recipe.inkSet;
    ht.htType = recipe.htType;
    ht.xResolution = uint32_t(recipe.hRes);
    ht.yResolution = uint32_t(recipe.vRes);
    ht.outputBits = recipe.dotMode;
    ht.scale = 1;
    clr = HXRCreateClrMgr(recipe.inkSet, recipe.dotMode, 0, mm);
    random = HXRCreateRandNum(mm);
    if (!clr || !random) return false;
    static const int kPrintMode = 0;
    ctrl = HXRCreateBinarizeController(&ht, &kPrintMode, recipe.kind, uint32_t(recipe.width), recipe.elementSize, clr, mm,
                                       FakeDataSet::ops());
    if (!ctrl) return false;
    const uint32_t inks = recipe.kind == kHxrCvtTNMX ? 1 : HXRGetOutputColorNum(clr);
    interm = HXRCreateIntermediateData(int32_t(inks), recipe.width, int32_t(recipe.elementSize), 0, nullptr, -1, mm);
    if (!interm) return false;

    // Dither: a scattered matrix per area and output order, each with its
    // own shifts and offsets.
    dth.areas = recipe.areas;
    records.clear();
    for (int32_t a = 0; a < std::max(recipe.areas, 1) && a < 6; ++a)
        for (uint32_t o = 0; o < 12; ++o) {
            const uint16_t w = uint16_t(recipe.maskWidth);
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
                f.set_row(o, 256, recipe.dots, [&](uint32_t g, uint32_t d) { return recipe.rate(g, d); });
        }
    set.dither[0] = &dth;
    set.sml[0][0] = &sml[0][0];
    return true;
}

void BnrzJob::start(const HXRSwitchPosList* list) {
    ASSERT_EQ(attach(), 0u);
    if (recipe.htType != kHxrHtTypeDither) {
        ASSERT_EQ(hybrid(), 0u);
    }
    ASSERT_EQ(HXRSetHtSwitchPos(ctrl, list, 0, mm), 0u);
    ASSERT_EQ(HXRResetBnrzErrorBuffer(ctrl, random), 0u);
}

void BnrzJob::fill_ink(uint32_t seed, int32_t x0, int32_t n) {
    std::mt19937 rng(seed);
    for (int32_t k = 0; k < interm->inkNum; ++k)
        for (uint32_t l = 0; l < 2; ++l) {
            if (recipe.elementSize == 1) {
                uint8_t* row = HXRGetInkQuantityBuf(interm, k, l);
                for (uint32_t x = 0; x < interm->linePixelSize; ++x) row[x] = uint8_t(rng());
            } else {
                uint16_t* row = HXRGetInkQuantityBuf16(interm, k, l);
                // Values past the last level too.
                for (uint32_t x = 0; x < interm->linePixelSize; ++x) row[x] = uint16_t(rng() % 320);
            }
        }
    ASSERT_EQ(HXRSetWritingArea(interm, x0, x0 + n), 0u);
}

uint32_t plane_code(const uint8_t* plane, int bits, int64_t x) {
    const int64_t per = 8 / bits;
    return uint32_t(plane[size_t(x / per)] >> (8 - bits * (x % per + 1))) & ((1u << bits) - 1);
}

}  // namespace ovcg_test
