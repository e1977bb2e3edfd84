// The LUT converter frame with recording kernels: which kernels a converter
// takes, the per-band checks (a refused band leaves the descriptor byte for
// byte), the arguments and seed a kernel receives, and the attach rules.
#include "color_test_util.h"
#include "recording_kernels.h"

#include "hxr/color/hxr_color_cvt.h"

#include <functional>
#include <string>

namespace {

using namespace color_test;

// Output colour count -> an ink set that has colour code 16 (white print).
uint32_t white_ink_set(uint32_t count) {
    switch (count) {
        case 5: return 34;
        case 6: return 35;
        case 7: return 36;
        case 8: return 33;
        case 9: return 20;
        case 10: return 31;
        default: return 0xFFFFFFFF;
    }
}

class LutConverterFrame : public ColorTest {
protected:
    HXRValueSettings values() {
        HXRValueSettings v{};
        v.wprint.outputMode = kHxrWPrintOff;
        v.wprint.wChannel = -1;
        for (uint32_t& w : v.wprint.weight) w = 0xFFFFFFFF;
        for (uint32_t& c : v.wprint.cap) c = 0xFFFFFFFF;
        v.textEnhance = 3;
        return v;
    }
};

// Expected kernel pair for a family at a scale.
void expect_pair(const HXRColorKernel got[2], HXRColorFamily family, int32_t scale, const std::string& what) {
    HXRColorKernel want[2];
    const HXRColorKernel reduce = family == kColor3DWprint ? HXRColorConvertDummyWp
                                  : (family == kColor3D || family == kColor3DPatternD || family == kColor4D ||
                                     family == kColor4DPatternD)
                                      ? recorder(family, kReduce)
                                      : HXRColorConvertDummy;
    if (scale == kHxrScaleHalf) {
        want[0] = want[1] = reduce;
    } else {
        want[0] = recorder(family, kNormal);
        want[1] = scale % 2 ? recorder(family, kNormal) : recorder(family, kExpand);
    }
    EXPECT_EQ(got[0], want[0]) << what;
    EXPECT_EQ(got[1], want[1]) << what;
}

TEST_F(LutConverterFrame, SlotsPerCountFamilyAndScale) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 64);
    struct Config {
        uint32_t dimension;
        bool patternD, underWhite, wprint;
    };
    const Config configs[] = {{3, false, false, false}, {3, true, false, false}, {3, false, false, true},
                              {3, true, true, true},    {4, false, false, false}, {4, true, false, false},
                              {4, false, true, false},  {4, true, true, true}};
    for (const Config& cfg : configs) {
        for (uint32_t n : kCounts) {
            for (int32_t scale : {1, 2, 4, 8, kHxrScaleHalf}) {
                HXRValueSettings v = values();
                if (cfg.patternD) v.patternD[1][n - 1] = 200;
                v.underWhite = cfg.underWhite;
                if (cfg.wprint) v.wprint.outputMode = kHxrWPrintBoth;
                const HXRClrMgr* c = cfg.wprint && cfg.dimension == 3 ? clr_of_set(white_ink_set(n)) : clr(n);
                const std::string what = "dim " + std::to_string(cfg.dimension) + " pd " +
                                         std::to_string(cfg.patternD) + " uw " + std::to_string(cfg.underWhite) +
                                         " wp " + std::to_string(cfg.wprint) + " n " + std::to_string(n) +
                                         " scale " + std::to_string(scale);
                HXRColorCvt* cvt = cfg.dimension == 3 ? HXRCreateColorCvt3D(&im, &v, scale, c, mm)
                                                      : HXRCreateColorCvt4D(&im, &v, scale, c, mm);
                const bool wp = cfg.wprint && cfg.dimension == 3;
                const bool expected = c && !(cfg.patternD && n == 1) && !(cfg.dimension == 4 && n == 1);
                ASSERT_EQ(cvt != nullptr, expected) << what;
                if (!cvt) continue;
                EXPECT_EQ(cvt->colorNum, n);
                HXRColorFamily main, user;
                if (cfg.dimension == 3) {
                    main = cfg.patternD ? kColor3DPatternD : kColor3D;
                    user = cfg.patternD ? kColor3DUserSpecPatternD : kColor3DUserSpec;
                } else if (cfg.underWhite) {
                    main = cfg.patternD ? kColor4DUnderWhitePatternD : kColor4DUnderWhite;
                    user = cfg.patternD ? kColor4DUserSpecUnderWhitePatternD : kColor4DUserSpecUnderWhite;
                } else {
                    main = cfg.patternD ? kColor4DPatternD : kColor4D;
                    user = cfg.patternD ? kColor4DUserSpecPatternD : kColor4DUserSpec;
                }
                if (wp) {
                    EXPECT_EQ(cvt->colorFunc[0], nullptr) << what;
                    EXPECT_EQ(cvt->colorFunc[1], nullptr) << what;
                    expect_pair(cvt->wprintFunc, kColor3DWprint, scale, what);
                } else {
                    expect_pair(cvt->colorFunc, main, scale, what);
                    EXPECT_EQ(cvt->wprintFunc[0], nullptr) << what;
                    EXPECT_EQ(cvt->wprintFunc[1], nullptr) << what;
                }
                expect_pair(cvt->userSpecFunc, user, scale, what);
            }
        }
    }
}

// The description: every family's counts, and the reduction slots that hold
// a dummy because the family has no reduction form. Without kernels a family
// makes no converter.
TEST_F(LutConverterFrame, DescriptionRowsAndUnboundCreation) {
    const std::vector<int32_t> counts3 = {1, 4, 5, 6, 7, 8, 9, 10, 12}, counts4 = {4, 5, 6, 7, 8, 9, 10, 12};
    for (uint32_t f = 0; f < kColorFamilyCount; ++f) {
        const auto family = static_cast<HXRColorFamily>(f);
        const HXRColorFuncRow* rows = HXRGetColorFuncTable(family);
        ASSERT_EQ(rows, kHxrColorFuncTables.table[f]);
        const auto& counts = family < kColor4D ? counts3 : counts4;
        const bool plainReduce = family == kColor3D || family == kColor3DPatternD || family == kColor4D ||
                                 family == kColor4DPatternD;
        for (size_t r = 0; r < counts.size(); ++r) {
            EXPECT_EQ(rows[r].count, counts[r]) << f;
            const bool noForm = rows[r].count == 1 && (family == kColor3DPatternD || family == kColor3DUserSpecPatternD);
            if (noForm) {
                EXPECT_TRUE(!rows[r].expandH2NxV2 && !rows[r].normal && !rows[r].reduceH) << f;
            } else if (!plainReduce) {
                EXPECT_EQ(rows[r].reduceH, family == kColor3DWprint ? HXRColorConvertDummyWp : HXRColorConvertDummy);
            }
            if (family == kColor3DUserSpec || family == kColor3DUserSpecPatternD || family >= kColor4DUserSpec) {
                EXPECT_EQ(rows[r].expandH2NxV2, rows[r].normal) << "one user form serves both line cases";
            }
        }
        EXPECT_EQ(rows[counts.size()].count, -1);
    }
    EXPECT_EQ(HXRGetColorFuncTable(kColorFamilyCount), nullptr);

    const _HXR_IMAGE_INFO im = image(3, 64);
    HXRValueSettings v = values();
    for (uint32_t n : kCounts) {
        for (uint32_t dim : {3u, 4u}) {
            HXRColorKernel pair[2];
            const bool kernels =
                HXRLookupColorFunc(kHxrColorFuncTables.table[dim == 3 ? kColor3D : kColor4D], n, 2, pair) &&
                HXRLookupColorFunc(kHxrColorFuncTables.table[dim == 3 ? kColor3DUserSpec : kColor4DUserSpec], n, 2,
                                   pair);
            const HXRColorCvt* cvt = dim == 3 ? HXRCreateColorCvt3D(&im, &v, 2, clr(n), mm)
                                              : HXRCreateColorCvt4D(&im, &v, 2, clr(n), mm);
            EXPECT_EQ(cvt != nullptr, kernels) << dim << "D " << n;
        }
    }
}

TEST_F(LutConverterFrame, CreationRefusals) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 64);
    HXRValueSettings v = values();
    const HXRClrMgr* c4 = clr(4);
    EXPECT_EQ(HXRCreateColorCvt3D(nullptr, &v, 1, c4, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvt4D(&im, nullptr, 1, c4, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, nullptr, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, clr(3), mm), nullptr);  // no row for three inks
    for (int32_t scale : {0, 3, 16, -2, 0x20002, 0x10001, 0x30001})
        EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, scale, c4, mm), nullptr) << scale;
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, c4, mm), nullptr);
    svc.fail_allocation_after(-1);
    EXPECT_NE(HXRCreateColorCvt3D(&im, &v, 1, c4, mm), nullptr);
}

TEST_F(LutConverterFrame, PatternDWords) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 64);
    struct Case {
        uint32_t table, channel, value;
        bool patternD;
    };
    const Case cases[] = {{0, 0, 0, false},   {0, 3, 256, false}, {1, 11, 0xFFFFFFFF, false},
                          {0, 0, 1, true},    {1, 11, 255, true},  {1, 5, 128, true}};
    for (const Case& c : cases) {
        HXRValueSettings v = values();
        v.patternD[c.table][c.channel] = c.value;
        HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &v, 1, clr(4), mm);
        ASSERT_NE(cvt, nullptr);
        EXPECT_EQ(cvt->colorFunc[0], recorder(c.patternD ? kColor3DPatternD : kColor3D, kNormal)) << c.value;
    }
}

// White print completes the caller's block only when creation succeeds.
TEST_F(LutConverterFrame, WhitePrintBlock) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 64);
    HXRValueSettings v = values();
    v.wprint.outputMode = kHxrWPrintWhiteOnly;
    v.wprint.weight[4] = 100;
    const HXRColorCvtWPrintParam untouched = v.wprint;
    const auto unchanged = [&] { return std::memcmp(&v.wprint, &untouched, sizeof untouched) == 0; };

    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, clr(4), mm), nullptr);  // ink set 1 has no colour code 16
    EXPECT_TRUE(unchanged());
    const HXRClrMgr* c5 = clr_of_set(34);  // codes 1, 2, 3, 0, 16: W is LUT channel 4
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, c5, mm), nullptr);
    svc.fail_allocation_after(-1);
    EXPECT_TRUE(unchanged());
    // The user-colour lookup fails after the white-print one succeeded.
    const HXRColorFuncRow saved = bound.tables().table[kColor3DUserSpec][2];
    bound.tables().table[kColor3DUserSpec][2].normal = nullptr;
    EXPECT_EQ(HXRCreateColorCvt3D(&im, &v, 1, c5, mm), nullptr);
    EXPECT_TRUE(unchanged());
    bound.tables().table[kColor3DUserSpec][2] = saved;

    HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &v, 1, c5, mm);
    ASSERT_NE(cvt, nullptr);
    EXPECT_EQ(v.wprint.wChannel, 4);
    EXPECT_EQ(v.wprint.weight[4], 0u);
    EXPECT_EQ(v.wprint.cap[4], 0u);
    EXPECT_EQ(v.wprint.weight[3], 0xFFFFFFFFu);
    EXPECT_EQ(std::memcmp(&cvt->wprintParam, &v.wprint, sizeof v.wprint), 0);
    // A 4D converter does not consult the block.
    HXRValueSettings v4 = values();
    v4.wprint.outputMode = kHxrWPrintBoth;
    const HXRColorCvtWPrintParam before4 = v4.wprint;
    HXRColorCvt* cvt4 = HXRCreateColorCvt4D(&im, &v4, 1, c5, mm);
    ASSERT_NE(cvt4, nullptr);
    EXPECT_EQ(cvt4->colorFunc[0], recorder(kColor4D, kNormal));
    EXPECT_EQ(std::memcmp(&v4.wprint, &before4, sizeof before4), 0);
}

// A converter with tables attached, a descriptor and a band that passes.
struct Band {
    HXRColorCvt* cvt;
    HXRIntermediateData* ink;
    HXRRandNum* random;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(512, 0x40);
    std::vector<uint8_t> attrBytes = std::vector<uint8_t>(64, 5);
    const uint8_t* planes[8];
    const uint8_t* attrs[2];
    const uint8_t* const* planeArg;
    const uint8_t* const* attrArg;
    int32_t count = 10, start = 2, lines = 2, line = 0;
    uint32_t dimension = 3;

    void setup(uint32_t m) {
        dimension = m;
        for (uint32_t j = 0; j < 2 * m; ++j) planes[j] = pixels.data() + (j / m) * 256 + (j % m);
        attrs[0] = attrBytes.data();
        attrs[1] = attrBytes.data() + 32;
        planeArg = planes;
        attrArg = attrs;
    }
    uint32_t run() {
        return dimension == 3
                   ? HXRColorConvert3D(cvt, ink, random, planeArg, attrArg, count, start, lines, line)
                   : HXRColorConvert4D(cvt, ink, random, planeArg, attrArg, count, start, lines, line);
    }
};

class LutBand : public LutConverterFrame {
protected:
    void SetUp() override {
        LutConverterFrame::SetUp();
        bound = std::make_unique<BoundTables>();
    }
    void TearDown() override {
        bound.reset();
        LutConverterFrame::TearDown();
    }
    // 3D (or 4D) converter for N inks at `scale` with attribute stride 1 and
    // its tables attached; descriptor of the matching output width.
    Band make(uint32_t n, int32_t scale, uint32_t dim = 3, bool user = true, uint32_t attrStride = 1) {
        Band b;
        const _HXR_IMAGE_INFO im = image(dim, 20, dim, 1, attrStride);
        v = values();
        b.cvt = dim == 3 ? HXRCreateColorCvt3D(&im, &v, scale, clr(n), mm) : HXRCreateColorCvt4D(&im, &v, scale, clr(n), mm);
        EXPECT_NE(b.cvt, nullptr);
        luts.push_back(std::make_unique<TestLut>(dim, dim == 3 ? 64 : 32, n));
        userTable.assign(256 * ((n + 3) / 4), 0);
        HXRColorCvtLutSet set{};
        (dim == 3 ? set.lut3D : set.lut4D)[0] = &luts.back()->lut;
        if (user) {
            set.userTable = userTable.data();
            set.userChannels = n;
        }
        EXPECT_EQ(dim == 3 ? HXRSetColorCvt3DData(b.cvt, &set) : HXRSetColorCvt4DData(b.cvt, &set), 0u);
        const int32_t width = scale == kHxrScaleHalf ? 10 : 20 * scale;
        b.ink = buffer(static_cast<int32_t>(n), width);
        paint(b.ink);
        b.random = HXRCreateRandNum(mm);
        b.setup(dim);
        calls().clear();
        return b;
    }
    std::unique_ptr<BoundTables> bound;
    HXRValueSettings v;
    std::vector<std::unique_ptr<TestLut>> luts;
    std::vector<uint32_t> userTable;
};

TEST_F(LutBand, EachCheckRefusesWithoutTouchingTheDescriptor) {
    struct Case {
        const char* what;
        int32_t scale;
        uint32_t dim;
        std::function<void(Band&, LutBand&)> breakIt;
    };
    static const uint8_t* const kNoPlanes[8] = {};
    const Case cases[] = {
        {"null converter", 2, 3, [](Band& b, LutBand&) { b.cvt = nullptr; }},
        {"null descriptor", 2, 3, [](Band& b, LutBand&) { b.ink = nullptr; }},
        {"null random state", 2, 3, [](Band& b, LutBand&) { b.random = nullptr; }},
        {"3D call on a 4D converter", 2, 4, [](Band& b, LutBand&) { b.dimension = 3; }},
        {"no table attached", 2, 3,
         [](Band& b, LutBand&) { b.cvt->lut[0] = nullptr; }},
        {"negative start", 2, 3, [](Band& b, LutBand&) { b.start = -2; }},
        {"negative count", 2, 3, [](Band& b, LutBand&) { b.count = -1; }},
        {"one past the width", 2, 3, [](Band& b, LutBand&) { b.count = 19; }},
        {"start + count wraps", 2, 3,
         [](Band& b, LutBand&) {
             b.start = INT32_MAX;
             b.count = INT32_MAX;
         }},
        {"odd start at 2:1", kHxrScaleHalf, 3, [](Band& b, LutBand&) { b.start = 3; }},
        {"odd count at 2:1", kHxrScaleHalf, 3, [](Band& b, LutBand&) { b.count = 5; }},
        {"lines 0", 2, 3, [](Band& b, LutBand&) { b.lines = 0; }},
        {"lines 3", 2, 3, [](Band& b, LutBand&) { b.lines = 3; }},
        {"no plane array", 2, 3, [](Band& b, LutBand&) { b.planeArg = nullptr; }},
        {"line 1 blue missing", 2, 3, [](Band& b, LutBand&) { b.planes[5] = nullptr; }},
        {"line 0 black missing", 2, 4, [](Band& b, LutBand&) { b.planes[3] = nullptr; }},
        {"all planes missing", 2, 3, [](Band& b, LutBand&) { b.planeArg = kNoPlanes; }},
        {"no attribute array", 2, 3, [](Band& b, LutBand&) { b.attrArg = nullptr; }},
        {"line 1 attributes missing", 2, 3, [](Band& b, LutBand&) { b.attrs[1] = nullptr; }},
        {"descriptor of other ink count", 2, 3,
         [](Band& b, LutBand& t) { b.ink = t.buffer(5, 40); }},
        {"16-bit descriptor", 2, 3, [](Band& b, LutBand& t) { b.ink = t.buffer(4, 40, 2); }},
        {"row of ink 3 line 1 missing", 2, 3,
         [](Band& b, LutBand&) { b.ink->validInput[3][1] = 0; }},
        {"row of ink 0 line 0 missing", 2, 3,
         [](Band& b, LutBand&) { b.ink->validInput[0][0] = 0; }},
        // end 12 at scale 2 needs 25 columns: a width of 17 gives rows of 24.
        {"rows too short", 2, 3, [](Band& b, LutBand& t) { b.ink = t.buffer(4, 17); }},
        {"rows too short at 2:1", kHxrScaleHalf, 3,
         [](Band& b, LutBand& t) {
             b.ink = t.buffer(4, 1);  // rows of 8 columns
             b.start = 0;
             b.count = 18;  // needs 9
         }},
        // 2:1 with a user table and an attribute plane reaches the dummy.
        {"dummy user slot at 2:1", kHxrScaleHalf, 3, [](Band&, LutBand&) {}},
        {"dummy under-white slot at 2:1", kHxrScaleHalf, 4, [](Band&, LutBand&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool dummy = std::string(c.what).rfind("dummy", 0) == 0;
        if (std::string(c.what) == "dummy under-white slot at 2:1") {
            // Plain under-white converter (no user table) at 2:1.
            const _HXR_IMAGE_INFO im = image(4, 20, 4, 1, 0);
            v = values();
            v.underWhite = 1;
            Band b;
            b.cvt = HXRCreateColorCvt4D(&im, &v, kHxrScaleHalf, clr(4), mm);
            ASSERT_NE(b.cvt, nullptr);
            TestLut lut(4, 32, 4);
            HXRColorCvtLutSet set{};
            set.lut4D[0] = &lut.lut;
            ASSERT_EQ(HXRSetColorCvt4DData(b.cvt, &set), 0u);
            b.ink = buffer(4, 10);
            paint(b.ink);
            b.random = HXRCreateRandNum(mm);
            b.setup(4);
            calls().clear();
            const Snapshot before = snap(b.ink);
            EXPECT_EQ(b.run(), 1u);
            EXPECT_TRUE(snap(b.ink) == before);
            EXPECT_TRUE(calls().empty());
            continue;
        }
        const bool user = dummy || c.scale != kHxrScaleHalf;
        const auto band = [&] {
            Band b = make(4, c.scale, c.dim, user);
            if (c.scale == kHxrScaleHalf) b.count = 10;
            return b;
        };
        if (!dummy) {  // the band passes before it is broken
            Band ok = band();
            EXPECT_EQ(ok.run(), 0u);
            calls().clear();
        }
        Band b = band();
        c.breakIt(b, *this);
        const Snapshot before = b.ink ? snap(b.ink) : Snapshot{};
        EXPECT_EQ(b.run(), 1u);
        if (b.ink) {
            EXPECT_TRUE(snap(b.ink) == before);
        }
        EXPECT_TRUE(calls().empty());
    }
}

TEST_F(LutBand, PassingBandsCallOneKernelWithTheirArguments) {
    struct Case {
        const char* what;
        uint32_t dim;
        int32_t scale;
        bool user;
        uint32_t attrStride;
        int32_t lines;
        bool sameLines;
        int id;
        bool userAux;
    };
    const Case cases[] = {
        {"distinct lines at 2", 3, 2, false, 1, 2, false, kernel_id(kColor3D, kNormal), false},
        {"identical lines at 2", 3, 2, false, 1, 2, true, kernel_id(kColor3D, kExpand), false},
        {"identical lines at 1", 3, 1, false, 1, 2, true, kernel_id(kColor3D, kNormal), false},
        {"one line at 4", 3, 4, false, 1, 1, false, kernel_id(kColor3D, kExpand), false},
        {"one line at 2:1", 3, kHxrScaleHalf, false, 1, 1, false, kernel_id(kColor3D, kReduce), false},
        {"user colours", 3, 2, true, 1, 2, false, kernel_id(kColor3DUserSpec, kNormal), true},
        {"user colours, one line", 3, 8, true, 1, 1, false, kernel_id(kColor3DUserSpec, kExpand), true},
        {"user table without attributes", 3, 2, true, 0, 2, false, kernel_id(kColor3D, kNormal), true},
        {"4D distinct", 4, 1, false, 1, 2, false, kernel_id(kColor4D, kNormal), false},
        {"4D user colours", 4, 4, true, 3, 1, false, kernel_id(kColor4DUserSpec, kExpand), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Band b = make(5, c.scale, c.dim, c.user, c.attrStride);
        b.lines = c.lines;
        b.start = 4;
        b.count = 8;
        b.line = 13;
        const uint32_t m = c.dim;
        if (c.sameLines) {
            for (uint32_t j = 0; j < m; ++j) b.planes[m + j] = b.planes[j];
            b.attrs[1] = b.attrs[0];
        }
        ASSERT_EQ(b.run(), 0u);
        ASSERT_EQ(calls().size(), 1u);
        const KernelCall& k = calls()[0];
        EXPECT_EQ(k.id, c.id);
        EXPECT_EQ(k.luts[0], &luts.back()->lut);
        EXPECT_EQ(k.luts[1], &luts.back()->lut);  // intent 1 defaults to intent 0
        EXPECT_EQ(k.aux, c.userAux ? userTable.data() : nullptr);
        EXPECT_EQ(k.ink, b.ink);
        EXPECT_EQ(k.seed, 0x3B255456u);  // line 13 seeds from number 6 (formula by hand)
        EXPECT_EQ(k.pixelOffset, m);
        EXPECT_EQ(k.sampleBytes, 1u);
        EXPECT_EQ(k.scale, c.scale);
        const bool vexp = c.sameLines || c.lines == 1;
        EXPECT_EQ(k.vExpansion, vexp ? 1u : 0u);
        for (uint32_t j = 0; j < m; ++j) {
            EXPECT_EQ(k.planes[j], b.planes[j]);
            EXPECT_EQ(k.planes[m + j], c.lines == 1 ? b.planes[j] : b.planes[m + j]);
        }
        if (c.attrStride) {
            EXPECT_EQ(k.attrs[0], b.attrs[0]);
            EXPECT_EQ(k.attrs[1], c.lines == 1 ? b.attrs[0] : b.attrs[1]);
        } else {
            // Without an attribute plane both address one zero byte.
            EXPECT_EQ(k.attrs[0], k.attrs[1]);
            EXPECT_EQ(k.attrValues[0], 0);
        }
        EXPECT_EQ(k.attrStride, c.attrStride);
        EXPECT_EQ(k.start, 4);
        EXPECT_EQ(k.end, 12);
        calls().clear();
    }
}

TEST_F(LutBand, SeedsFollowLinePairs) {
    Band b = make(4, 2);
    for (int32_t line : {6, 7, 8}) {
        b.line = line;
        ASSERT_EQ(b.run(), 0u);
    }
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[0].seed, 0x42A52D1Au);
    EXPECT_EQ(calls()[1].seed, 0x42A52D1Au);
    EXPECT_NE(calls()[2].seed, 0x42A52D1Au);
    EXPECT_EQ(calls()[2].seed, HXRGetRandNum(b.random, 4));
}

TEST_F(LutBand, SpanLimits) {
    Band b = make(4, 1);  // width 20, rows of 24
    struct Case {
        int32_t start, count;
        uint32_t result;
    };
    const Case cases[] = {{0, 20, 0}, {20, 0, 0}, {19, 1, 0}, {0, 21, 1}, {20, 1, 1}, {-1, 1, 1}, {0, -1, 1}};
    for (const Case& c : cases) {
        b.start = c.start;
        b.count = c.count;
        EXPECT_EQ(b.run(), c.result) << c.start << "+" << c.count;
    }
}

TEST_F(LutBand, WhitePrintDispatch) {
    const _HXR_IMAGE_INFO im = image(3, 20, 3, 1, 1);
    HXRValueSettings wv = values();
    wv.wprint.outputMode = kHxrWPrintColourOnly;
    for (int32_t scale : {1, 2, kHxrScaleHalf}) {
        HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &wv, scale, clr_of_set(34), mm);
        ASSERT_NE(cvt, nullptr);
        TestLut lut(3, 64, 5);
        std::vector<uint32_t> user(512, 0);
        HXRColorCvtLutSet set{};
        set.lut3D[0] = &lut.lut;
        ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
        Band b;
        b.cvt = cvt;
        b.ink = buffer(5, 40);
        b.random = HXRCreateRandNum(mm);
        b.setup(3);
        b.start = 0;
        b.count = 20;
        calls().clear();
        const Snapshot before = snap(b.ink);
        if (scale == kHxrScaleHalf) {
            EXPECT_EQ(b.run(), 1u);  // the white-print table has no reduction form
            EXPECT_TRUE(snap(b.ink) == before);
            EXPECT_TRUE(calls().empty());
            continue;
        }
        ASSERT_EQ(b.run(), 0u);
        ASSERT_EQ(calls().size(), 1u);
        EXPECT_EQ(calls()[0].id, kernel_id(kColor3DWprint, kNormal));
        EXPECT_EQ(calls()[0].aux, &cvt->wprintParam);
        // With a user table and an attribute plane the user kernel runs instead.
        set.userTable = user.data();
        set.userChannels = 5;
        ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
        ASSERT_EQ(b.run(), 0u);
        EXPECT_EQ(calls()[1].id, kernel_id(kColor3DUserSpec, kNormal));
        EXPECT_EQ(calls()[1].aux, user.data());
    }
}

TEST_F(LutConverterFrame, AttachRules) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 20);
    HXRValueSettings v = values();
    HXRColorCvt* c3 = HXRCreateColorCvt3D(&im, &v, 1, clr(6), mm);
    HXRColorCvt* c4 = HXRCreateColorCvt4D(&im, &v, 1, clr(6), mm);
    ASSERT_TRUE(c3 && c4);
    TestLut good3(3, 64, 6), good3b(3, 64, 6), good4(4, 32, 6);
    TestLut narrow(3, 64, 5), grid32(3, 32, 6), fourD(4, 32, 6), wide(3, 64, 7);
    TestLut offGrid(3, 64, 6), noGrid(3, 64, 6);
    offGrid.lut.preTable[255] = 63 * 256 + 1;  // one step past the last node
    noGrid.lut.grid = nullptr;
    std::vector<uint32_t> user(512);
    struct Case {
        const char* what;
        HXRColorCvt* cvt;
        bool fourDCall;
        const HXRLutData *lut0, *lut1;
        bool withUser;
        uint32_t userChannels;
        uint32_t result;
    };
    const Case cases[] = {
        {"good, one intent", c3, false, &good3.lut, nullptr, false, 0, 0},
        {"good, two intents and user table", c3, false, &good3.lut, &good3b.lut, true, 6, 0},
        {"good 4D", c4, true, &good4.lut, nullptr, true, 6, 0},
        {"no intent-0 table", c3, false, nullptr, &good3.lut, false, 0, 1},
        {"five channels for six inks", c3, false, &narrow.lut, nullptr, false, 0, 1},
        {"seven channels for six inks", c3, false, &wide.lut, nullptr, false, 0, 1},
        {"32-node 3D grid", c3, false, &grid32.lut, nullptr, false, 0, 1},
        {"4D table as 3D", c3, false, &fourD.lut, nullptr, false, 0, 1},
        {"3D table as 4D", c4, true, &good3.lut, nullptr, false, 0, 1},
        {"intent 1 off the grid", c3, false, &good3.lut, &offGrid.lut, false, 0, 1},
        {"intent 0 without grid", c3, false, &noGrid.lut, nullptr, false, 0, 1},
        {"user table of five channels", c3, false, &good3.lut, nullptr, true, 5, 1},
        {"4D data on a 3D converter", c3, true, &good4.lut, nullptr, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.cvt->lut[0] = c.cvt->lut[1] = nullptr;
        c.cvt->userTable = nullptr;
        HXRColorCvtLutSet set{};
        const HXRLutData** slot = c.fourDCall ? set.lut4D : set.lut3D;
        slot[0] = c.lut0;
        slot[1] = c.lut1;
        if (c.withUser) {
            set.userTable = user.data();
            set.userChannels = c.userChannels;
        }
        const uint32_t r = c.fourDCall ? HXRSetColorCvt4DData(c.cvt, &set) : HXRSetColorCvt3DData(c.cvt, &set);
        EXPECT_EQ(r, c.result);
        if (r == 0) {
            EXPECT_EQ(c.cvt->lut[0], c.lut0);
            EXPECT_EQ(c.cvt->lut[1], c.lut1 ? c.lut1 : c.lut0);
            EXPECT_EQ(c.cvt->userTable, c.withUser ? user.data() : nullptr);
        } else {
            EXPECT_EQ(c.cvt->lut[0], nullptr);  // nothing attached
            EXPECT_EQ(c.cvt->userTable, nullptr);
        }
    }
    HXRColorCvtLutSet set{};
    set.lut3D[0] = &good3.lut;
    EXPECT_EQ(HXRSetColorCvt3DData(nullptr, &set), 1u);
    EXPECT_EQ(HXRSetColorCvt3DData(c3, nullptr), 1u);
}

TEST_F(LutConverterFrame, Getters) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 20, 7);
    HXRValueSettings v = values();
    HXRColorCvt* c = HXRCreateColorCvt3D(&im, &v, 1, clr(4), mm);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetColorCvtClrTextEnhance(c), 3u);
    EXPECT_EQ(HXRGetColorCvtClrPixelOffset(c), 7u);
    EXPECT_EQ(HXRGetColorCvt3DLutGridNum(c), 64u);
    EXPECT_EQ(HXRGetColorCvt4DLutGridNum(c), 32u);
    EXPECT_EQ(HXRGetColorCvt3DLutGridNumCore(), 64u);
    EXPECT_EQ(HXRGetColorCvt4DLutGridNumCore(), 32u);
    EXPECT_EQ(HXRGetColorCvtClrTextEnhance(nullptr), 0u);
    EXPECT_EQ(HXRGetColorCvtClrPixelOffset(nullptr), 0u);
    EXPECT_EQ(HXRGetColorCvt3DLutGridNum(nullptr), 0u);
    EXPECT_EQ(HXRGetColorCvt4DLutGridNum(nullptr), 0u);
}

}  // namespace
