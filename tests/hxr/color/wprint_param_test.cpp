// The white-print parameter block: defaults, the three setters (limits,
// what a failing setting keeps, the curve set's header and curve loading),
// and the check at job start, table by table.
#include "color_test_util.h"

#include "hxr/color/hxr_color_wprint.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

using color_test::ColorTest;

// A curve set: header (count, 256 entries LE, 2 bytes, 12 bits) and
// `curves` curves, curve i entry j = 1000 i + j (LE 16-bit).
std::vector<uint8_t> curve_set(uint32_t curves, uint8_t count, uint16_t entries = 256, uint8_t bytes = 2,
                               uint8_t fraction = 12) {
    std::vector<uint8_t> s = {count, uint8_t(entries), uint8_t(entries >> 8), bytes, fraction};
    for (uint32_t i = 0; i < curves; ++i)
        for (uint32_t j = 0; j < 256; ++j) {
            const uint32_t v = 1000 * i + j;
            s.push_back(uint8_t(v));
            s.push_back(uint8_t(v >> 8));
        }
    return s;
}

HXRColorCvtWPrintParam defaults() {
    HXRColorCvtWPrintParam p;
    std::memset(&p, 0x5A, sizeof p);
    HXRSetHXRColorCvtWPrintParamDefaultValue(&p);
    return p;
}

HXRColorCvtWPrintWInfo w_info() {
    HXRColorCvtWPrintWInfo w{};
    for (uint32_t k = 0; k < 12; ++k) {
        w.weight[k] = 100 * k;
        w.cap[k] = 0x1000 * k;
    }
    w.upperBound = 0x80000;
    w.lowerBound = 0x20000;
    w.factor = 4;
    return w;
}

class WprintParam : public ColorTest {};

TEST_F(WprintParam, Defaults) {
    const HXRColorCvtWPrintParam p = defaults();
    EXPECT_EQ(p.outputMode, -1);
    EXPECT_EQ(p.infoFlags, 0u);
    EXPECT_EQ(p.wChannel, -1);
    for (uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(p.weight[k], 0xFFFFFFFFu);
        EXPECT_EQ(p.cap[k], 0xFFFFFFFFu);
    }
    EXPECT_EQ(p.upperBound, 0xFFFFFFFFu);
    EXPECT_EQ(p.lowerBound, 0xFFFFFFFFu);
    EXPECT_EQ(p.scaledUpperBound, 0u);
    EXPECT_EQ(p.scaledLowerBound, 0u);
    EXPECT_EQ(p.factor, 0xFFFFFFFFu);
    for (uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(p.firstLevels[k], 0xFFFFFFFFu);
        EXPECT_EQ(p.secondLevels[k], 0xFFFFFFFFu);
    }
    EXPECT_EQ(p.reductionRange, -1);
    EXPECT_EQ(p.colourCurve, nullptr);
    EXPECT_EQ(p.wCurve, nullptr);
    HXRSetHXRColorCvtWPrintParamDefaultValue(nullptr);
    HXRColorCvtWPrintParam copy = p;
    EXPECT_EQ(HXRCheckColorCvtWPrintParam(&copy), 1u) << "a new instance starts";
}

TEST_F(WprintParam, OutputMode) {
    struct Case {
        uint32_t mode;
        uint32_t result;
    };
    for (const Case& c : {Case{0, 1}, Case{1, 1}, Case{2, 1}, Case{3, 0}, Case{0xFFFFFFFF, 0}}) {
        int32_t field = 7;
        const HXRColorCvtWPrintOutputInfo info{c.mode};
        EXPECT_EQ(HXRSetColorCvtWPrintOutputInfo(&field, &info), c.result) << c.mode;
        EXPECT_EQ(field, c.result ? int32_t(c.mode) : 7);
    }
    int32_t field = 7;
    const HXRColorCvtWPrintOutputInfo info{1};
    EXPECT_EQ(HXRSetColorCvtWPrintOutputInfo(nullptr, &info), 0u);
    EXPECT_EQ(HXRSetColorCvtWPrintOutputInfo(&field, nullptr), 0u);
}

// Limits at their edges; a failure keeps the values stored before the
// failing check (caps x 256) and the flag as it was.
TEST_F(WprintParam, WInfo) {
    struct Case {
        const char* what;
        void (*change)(HXRColorCvtWPrintWInfo&);
        bool ok;
        int weightsKept, capsKept;  // channels stored before a failure
    };
    const Case cases[] = {
        {"as given", [](HXRColorCvtWPrintWInfo&) {}, true, 12, 12},
        {"weight 32768", [](HXRColorCvtWPrintWInfo& w) { w.weight[11] = 32768; }, true, 12, 12},
        {"weight 32769", [](HXRColorCvtWPrintWInfo& w) { w.weight[5] = 32769; }, false, 5, 0},
        {"cap 0xFF000", [](HXRColorCvtWPrintWInfo& w) { w.cap[0] = 0xFF000; }, true, 12, 12},
        {"cap 0xFF001", [](HXRColorCvtWPrintWInfo& w) { w.cap[3] = 0xFF001; }, false, 12, 3},
        {"upper 0xFF001", [](HXRColorCvtWPrintWInfo& w) { w.upperBound = 0xFF001; }, false, 12, 12},
        {"lower 0xFF001", [](HXRColorCvtWPrintWInfo& w) { w.lowerBound = 0xFF001; }, false, 12, 12},
        {"factor 16", [](HXRColorCvtWPrintWInfo& w) { w.factor = 16; }, true, 12, 12},
        {"factor 17", [](HXRColorCvtWPrintWInfo& w) { w.factor = 17; }, false, 12, 12},
        {"upper below lower", [](HXRColorCvtWPrintWInfo& w) { w.upperBound = 0x1FFFF; }, false, 12, 12},
        {"upper equals lower", [](HXRColorCvtWPrintWInfo& w) { w.upperBound = 0x20000; }, true, 12, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HXRColorCvtWPrintParam p = defaults();
        HXRColorCvtWPrintWInfo w = w_info();
        c.change(w);
        EXPECT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), c.ok ? 1u : 0u);
        EXPECT_EQ(p.infoFlags, c.ok ? 1u : 0u);
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(p.weight[k], k < c.weightsKept ? w.weight[k] : 0xFFFFFFFFu) << k;
            EXPECT_EQ(p.cap[k], k < c.capsKept ? w.cap[k] << 8 : 0xFFFFFFFFu) << k;
        }
        if (c.ok) {
            EXPECT_EQ(p.upperBound, w.upperBound << 8);
            EXPECT_EQ(p.lowerBound, w.lowerBound << 8);
            EXPECT_EQ(p.factor, w.factor);
        } else {
            EXPECT_EQ(p.factor, 0xFFFFFFFFu);
        }
    }
    // Scaled bounds: bound x 256 x factor, capped at 0xFF00000.
    struct Scaled {
        uint32_t upper, lower, factor, scaledUpper, scaledLower;
    };
    const Scaled scaled[] = {{0x80000, 0x20000, 1, 0x8000000, 0x2000000},
                             {0x80000, 0x20000, 4, 0xFF00000, 0x8000000},
                             {0xFF000, 0xFF000, 16, 0xFF00000, 0xFF00000},
                             {0x80000, 0x10000, 2, 0xFF00000, 0x2000000},
                             {0xFF000, 0x10, 0, 0, 0}};
    for (const Scaled& s : scaled) {
        HXRColorCvtWPrintParam p = defaults();
        HXRColorCvtWPrintWInfo w = w_info();
        w.upperBound = s.upper, w.lowerBound = s.lower, w.factor = s.factor;
        ASSERT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), 1u);
        EXPECT_EQ(p.scaledUpperBound, s.scaledUpper) << s.upper << " x " << s.factor;
        EXPECT_EQ(p.scaledLowerBound, s.scaledLower);
    }
    // A failing setting after a successful one keeps the flag.
    HXRColorCvtWPrintParam p = defaults();
    HXRColorCvtWPrintWInfo w = w_info();
    ASSERT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), 1u);
    w.factor = 17;
    EXPECT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), 0u);
    EXPECT_EQ(p.infoFlags, 1u);
    EXPECT_EQ(p.factor, 4u);
    EXPECT_EQ(HXRSetColorCvtWPrintWInfo(nullptr, &w), 0u);
    EXPECT_EQ(HXRSetColorCvtWPrintWInfo(&p, nullptr), 0u);
}

TEST_F(WprintParam, ReductionInfo) {
    const std::vector<uint8_t> good = curve_set(3, 3);
    const std::vector<uint8_t> count0 = curve_set(3, 0), entries255 = curve_set(3, 3, 255),
                               bytes1 = curve_set(3, 3, 256, 1), bits8 = curve_set(3, 3, 256, 2, 8);
    struct Case {
        const char* what;
        uint32_t kind, level, colour, white;
        const std::vector<uint8_t>* set;
        bool ok, levelsStored;
    };
    const Case cases[] = {
        {"curves 0 and 2", 3, 200, 0, 2, &good, true, true},
        {"kind 2", 2, 200, 0, 2, &good, false, false},
        {"level 256", 3, 256, 0, 2, &good, false, false},
        {"level 255", 3, 255, 2, 1, &good, true, true},
        {"no curve set", 3, 200, 0, 2, nullptr, false, true},
        {"curve count 0", 3, 200, 0, 0, &count0, false, true},
        {"entry count 255", 3, 200, 0, 2, &entries255, false, true},
        {"entry size 1", 3, 200, 0, 2, &bytes1, false, true},
        {"fraction bits 8", 3, 200, 0, 2, &bits8, false, true},
        {"colour curve = count", 3, 200, 3, 0, &good, false, true},
        {"W curve = count", 3, 200, 0, 3, &good, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HXRColorCvtWPrintParam p = defaults();
        const HXRColorCvtWPrintReductionInfo r{c.kind,   {c.level, 10, 20, 99}, {30, c.level, 40, 99}, c.colour,
                                               c.white, c.set ? c.set->data() : nullptr};
        const uint32_t blocks = HXRGetMemBlockCount(mm);
        EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), c.ok ? 1u : 0u);
        EXPECT_EQ(p.infoFlags, c.ok ? 2u : 0u);
        EXPECT_EQ(HXRGetMemBlockCount(mm), blocks + (c.ok ? 2 : 0)) << "a failed load frees what it loaded";
        if (c.levelsStored) {
            EXPECT_EQ(p.firstLevels[0], c.level);
            EXPECT_EQ(p.secondLevels[1], c.level);
            EXPECT_EQ(p.firstLevels[3], 0u);
            EXPECT_EQ(p.secondLevels[3], 0u);
            EXPECT_EQ(p.reductionRange, int32_t(std::max(40u, c.level)));
        } else {
            EXPECT_EQ(p.reductionRange, -1);
        }
        if (c.ok) {
            for (uint32_t j : {0u, 1u, 128u, 255u}) {
                EXPECT_EQ(p.colourCurve[j], 1000 * c.colour + j);
                EXPECT_EQ(p.wCurve[j], 1000 * c.white + j);
            }
        } else {
            EXPECT_EQ(p.colourCurve, nullptr);
        }
    }
    // A failed reload keeps the earlier curves under the flag.
    HXRColorCvtWPrintParam p = defaults();
    HXRColorCvtWPrintReductionInfo r{3, {1, 2, 3, 0}, {4, 5, 6, 0}, 1, 2, good.data()};
    ASSERT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), 1u);
    const uint32_t* colour = p.colourCurve;
    const uint32_t* white = p.wCurve;
    r.wCurveNumber = 9;
    EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), 0u);
    EXPECT_EQ(p.infoFlags, 2u);
    EXPECT_EQ(p.colourCurve, colour);
    EXPECT_EQ(p.wCurve, white);
    svc.fail_allocation_after(1);
    r.wCurveNumber = 0;
    EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), 0u);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(p.colourCurve, colour);
    EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, nullptr), 0u);
    EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(nullptr, &r, mm), 0u);
    EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, nullptr, mm), 0u);
    EXPECT_EQ(GetReductionCurve(nullptr, 3, 0, mm), nullptr);
    EXPECT_EQ(GetReductionCurve(good.data(), 3, 3, mm), nullptr);
}

TEST_F(WprintParam, CheckAtJobStart) {
    // flags x mode (-1, 0, 1, 2): 1 valid, 0 invalid; the flags after.
    struct Case {
        uint32_t flags;
        int32_t mode;
        uint32_t valid, after;
    };
    const Case cases[] = {
        {0, -1, 1, 0}, {0, 0, 0, 0}, {0, 1, 1, 0}, {0, 2, 0, 0}, {1, -1, 0, 1}, {1, 0, 1, 1}, {1, 1, 1, 0},
        {1, 2, 1, 1},  {2, -1, 0, 2}, {2, 0, 0, 2}, {2, 1, 1, 2}, {2, 2, 0, 2}, {3, -1, 0, 3}, {3, 0, 1, 3},
        {3, 1, 1, 2},  {3, 2, 1, 3}, {0, 3, 0, 0}, {1, -2, 0, 1}, {4, 1, 0, 4}, {5, 0, 0, 5},
    };
    for (const Case& c : cases) {
        HXRColorCvtWPrintParam p = defaults();
        p.infoFlags = c.flags;
        p.outputMode = c.mode;
        EXPECT_EQ(HXRCheckColorCvtWPrintParam(&p), c.valid) << c.flags << " " << c.mode;
        EXPECT_EQ(p.infoFlags, c.after) << c.flags << " " << c.mode;
    }
    EXPECT_EQ(HXRCheckColorCvtWPrintParam(nullptr), 0u);
}

}  // namespace
