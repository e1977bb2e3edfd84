// A binarisation job for the driver's tests: the real colour manager of an
// ink set, a binarize controller, ink buffer descriptor and random state, and
// the host halftoning data set as fakes (dither and SML data managers per
// intent and slot, the coordination answer), with the dither records the
// fakes hand out kept here. A job over the model's real data set derives
// from it (bnrz_model_test.cpp).
#pragma once

#include "hxr/binarize/hxr_bnrz_ctrl.h"
#include "hxr/binarize/hxr_bnrz_mode.h"
#include "support/dither_record.h"
#include "support/fake_ht_data.h"
#include "support/hxr_fixture.h"

#include <deque>
#include <functional>
#include <vector>

namespace ovcg_test {

class FakeDataSet {
public:
    static const HXRBnrzDataOps* ops();
    const HXRTRAQ2Data* handle() const { return reinterpret_cast<const HXRTRAQ2Data*>(this); }

    FakeDthMgr* dither[2] = {};
    FakeSmlMgr* sml[2][2] = {};  // [intent][0 primary, 1 secondary]
    uint32_t coordination[2] = {};
};

using RateFn = std::function<uint32_t(uint32_t g, uint32_t d)>;

struct BnrzJobSpec {
    uint32_t inkSet = 1, dotMode = 1, htType = 3, kind = 1, elementSize = 1;
    int32_t hRes = 720, vRes = 720;
    int32_t width = 100;  // output pixels of a line
    uint32_t dots = 0;    // SML dot sizes; 0: 1 at 1 bit, 3 at 2 bits
    int32_t areas = 1;
    int32_t maskWidth = 32;
    // Rate of dot size d at level g (before cumulation); null: a ramp.
    RateFn rate = nullptr;

    BnrzJobSpec& converter(uint32_t k, uint32_t size) { return kind = k, elementSize = size, *this; }
    BnrzJobSpec& resolution(int32_t h, int32_t v) { return hRes = h, vRes = v, *this; }
    BnrzJobSpec& pixels(int32_t w) { return width = w, *this; }
    BnrzJobSpec& dot_sizes(uint32_t d) { return dots = d, *this; }
    BnrzJobSpec& dither_areas(int32_t a) { return areas = a, *this; }
    BnrzJobSpec& mask_width(int32_t w) { return maskWidth = w, *this; }
    BnrzJobSpec& rates(RateFn f) { return rate = std::move(f), *this; }
};
inline BnrzJobSpec job_of(uint32_t inkSet, uint32_t dotMode, uint32_t htType) {
    BnrzJobSpec s;
    s.inkSet = inkSet;
    s.dotMode = dotMode;
    s.htType = htType;
    return s;
}

inline constexpr uint8_t kPlaneFill = 0x5A;

// Planes of a band: heads x lines x HC entries, each a buffer of the plane's
// bytes filled with kPlaneFill.
struct Planes {
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<uint8_t*> table;
    Planes(uint32_t entries, uint32_t size) : bytes(entries, std::vector<uint8_t>(size, kPlaneFill)) {
        for (auto& b : bytes) table.push_back(b.data());
    }
    bool untouched(size_t e) const {
        for (uint8_t b : bytes[e])
            if (b != kPlaneFill) return false;
        return true;
    }
};

// Dot code of pixel x of a plane of `bits` bits per pixel.
uint32_t plane_code(const uint8_t* plane, int bits, int64_t x);

class BnrzJob : public HxrTest {
public:
    // The job up to the controller, with the fakes filled; nothing attached.
    // False when the controller could not be made.
    bool build(const BnrzJobSpec& recipe);
    uint32_t attach() { return HXRSetBinarizeData(ctrl, dataSet ? dataSet : set.handle(), clr, mm); }
    uint32_t hybrid() {
        return HXRSetHybridEDBinarize(ctrl, &ht, recipe.kind, recipe.elementSize, clr, interm, random, mm);
    }
    // Attaches, sets up HybridED for types 5 and 6, starts a page; asserts.
    void start(const HXRSwitchPosList* list = nullptr);
    // Random ink in every row (seeded), the written span [x0, x0 + n).
    void fill_ink(uint32_t seed, int32_t x0, int32_t n);

    uint32_t hc() const { return HXRGetHalftoneColorNum(clr); }
    uint32_t lc() const { return HXRGetLutColorNum(clr); }
    int bits() const { return int(recipe.dotMode & 15); }
    uint32_t plane_bytes() const { return HXRGetBnrzPixelSize(ctrl) * uint32_t(bits()) / 8; }

    BnrzJobSpec recipe;
    _HXR_HALFTONE_INFO ht{};
    HXRClrMgr* clr = nullptr;
    HXRBinarizeController* ctrl = nullptr;
    HXRIntermediateData* interm = nullptr;
    HXRRandNum* random = nullptr;
    FakeDthMgr dth;
    FakeSmlMgr sml[2][2];
    FakeDataSet set;
    const HXRTRAQ2Data* dataSet = nullptr;  // attached instead of the fakes when set
    std::deque<DitherRecord> records;       // by area x 12 + output order
};

}  // namespace ovcg_test
