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
void expect_pair(const HXRColorKernel got[2], HXRColorFamily family, int32_t scale) {
    const bool plain =
        family == kColor3D || family == kColor3DPatternD || family == kColor4D || family == kColor4DPatternD;
    const HXRColorKernel reduce = family == kColor3DWprint ? HXRColorConvertDummyWp
                                  : plain                  ? recorder(family, kReduce)
                                                           : HXRColorConvertDummy;
    const bool half = scale == kHxrScaleHalf;
    EXPECT_EQ(got[0], half ? reduce : recorder(family, kNormal));
    EXPECT_EQ(got[1], half ? reduce : recorder(family, scale % 2 ? kNormal : kExpand));
}

TEST_F(LutConverterFrame, SlotsPerCountFamilyAndScale) {
    BoundTables bound;
    const _HXR_IMAGE_INFO im = image(3, 64);
    struct Config {
        uint32_t dimension;
        bool patternD, underWhite, wprint;
        HXRColorFamily main, user;  // main: the white-print family in white-print mode
    };
    const Config configs[] = {
        {3, false, false, false, kColor3D, kColor3DUserSpec},
        {3, true, false, false, kColor3DPatternD, kColor3DUserSpecPatternD},
        {3, false, false, true, kColor3DWprint, kColor3DUserSpec},
        {3, true, true, true, kColor3DWprint, kColor3DUserSpecPatternD},
        {4, false, false, false, kColor4D, kColor4DUserSpec},
        {4, true, false, false, kColor4DPatternD, kColor4DUserSpecPatternD},
        {4, false, true, false, kColor4DUnderWhite, kColor4DUserSpecUnderWhite},
        {4, true, true, true, kColor4DUnderWhitePatternD, kColor4DUserSpecUnderWhitePatternD},
    };
    for (const Config& cfg : configs) {
        for (uint32_t n : kCounts) {
            for (int32_t scale : {1, 2, 4, 8, kHxrScaleHalf}) {
                SCOPED_TRACE(testing::Message() << cfg.dimension << "D pd " << cfg.patternD << " uw " << cfg.underWhite
                                                << " wp " << cfg.wprint << " n " << n << " scale " << scale);
                HXRValueSettings v = values();
                if (cfg.patternD) v.patternD[1][n - 1] = 200;
                v.underWhite = cfg.underWhite;
                if (cfg.wprint) v.wprint.outputMode = kHxrWPrintBoth;
                const bool wp = cfg.wprint && cfg.dimension == 3;
                const HXRClrMgr* c = wp ? clr_of_set(white_ink_set(n)) : clr(n);
                HXRColorCvt* cvt = cfg.dimension == 3 ? HXRCreateColorCvt3D(&im, &v, scale, c, mm)
                                                      : HXRCreateColorCvt4D(&im, &v, scale, c, mm);
                // PatternD and the 4D tables have no one-ink form.
                ASSERT_EQ(cvt != nullptr, c && (n != 1 || (!cfg.patternD && cfg.dimension == 3)));
                if (!cvt) continue;
                EXPECT_EQ(cvt->colorNum, n);
                const HXRColorKernel none[2] = {nullptr, nullptr};
                expect_pair(wp ? cvt->wprintFunc : cvt->colorFunc, cfg.main, scale);
                EXPECT_EQ(std::memcmp(wp ? cvt->colorFunc : cvt->wprintFunc, none, sizeof none), 0);
                expect_pair(cvt->userSpecFunc, cfg.user, scale);
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
        const bool plainReduce =
            family == kColor3D || family == kColor3DPatternD || family == kColor4D || family == kColor4DPatternD;
        for (size_t r = 0; r < counts.size(); ++r) {
            EXPECT_EQ(rows[r].count, counts[r]) << f;
            const bool noForm =
                rows[r].count == 1 && (family == kColor3DPatternD || family == kColor3DUserSpecPatternD);
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
                GetColorCvtColorFunc(kHxrColorFuncTables.table[dim == 3 ? kColor3D : kColor4D], n, 2, pair) &&
                GetColorCvtColorFunc(kHxrColorFuncTables.table[dim == 3 ? kColor3DUserSpec : kColor4DUserSpec], n, 2,
                                     pair);
            const HXRColorCvt* cvt =
                dim == 3 ? HXRCreateColorCvt3D(&im, &v, 2, clr(n), mm) : HXRCreateColorCvt4D(&im, &v, 2, clr(n), mm);
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
    const Case cases[] = {{0, 0, 0, false}, {0, 3, 256, false}, {1, 11, 0xFFFFFFFF, false},
                          {0, 0, 1, true},  {1, 11, 255, true}, {1, 5, 128, true}};
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

uint32_t run_lut(uint32_t dimension, const BandCall& b) {
    auto* c = static_cast<HXRColorCvt*>(b.cvt);
    return dimension == 3
               ? HXRColorConvert3D(c, b.ink, b.random, b.planeArg(), b.attrArg(), b.count, b.start, b.lines, b.line)
               : HXRColorConvert4D(c, b.ink, b.random, b.planeArg(), b.attrArg(), b.count, b.start, b.lines, b.line);
}

// Converters with tables attached, descriptors and bands that pass.
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
    // N inks at `scale`, image width 20, distinct lines, pixel offset m.
    BandCall make(uint32_t n, int32_t scale, uint32_t dim = 3, bool user = true, uint32_t attrStride = 1,
                  bool underWhite = false) {
        BandCall b;
        const _HXR_IMAGE_INFO im = image(dim, 20, dim, 1, attrStride);
        v = values();
        v.underWhite = underWhite;
        HXRColorCvt* c = dim == 3 ? HXRCreateColorCvt3D(&im, &v, scale, clr(n), mm)
                                  : HXRCreateColorCvt4D(&im, &v, scale, clr(n), mm);
        EXPECT_NE(c, nullptr);
        luts.push_back(std::make_unique<TestLut>(dim, dim == 3 ? 64 : 32, n));
        userTable.assign(256 * ((n + 3) / 4), 0);
        HXRColorCvtLutSet set{};
        (dim == 3 ? set.lut3D : set.lut4D)[0] = &luts.back()->lut;
        if (user) {
            set.userTable = userTable.data();
            set.userChannels = n;
        }
        EXPECT_EQ(dim == 3 ? HXRSetColorCvt3DData(c, &set) : HXRSetColorCvt4DData(c, &set), 0u);
        b.cvt = c;
        b.inks = static_cast<int32_t>(n);
        b.ink = buffer(b.inks, scale == kHxrScaleHalf ? 10 : 20 * scale);
        paint(b.ink);
        b.random = HXRCreateRandNum(mm);
        for (uint32_t j = 0; j < 2 * dim; ++j) b.planes[j] = pixels.data() + (j / dim) * 256 + (j % dim);
        b.attrs[0] = attrBytes.data();
        b.attrs[1] = attrBytes.data() + 32;
        b.width = 20;
        if (scale == kHxrScaleHalf) b.count = 18;  // end 20 needs rows of 10
        calls().clear();
        return b;
    }
    std::unique_ptr<BoundTables> bound;
    HXRValueSettings v;
    std::vector<std::unique_ptr<TestLut>> luts;
    std::vector<uint32_t> userTable;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(512, 0x40);
    std::vector<uint8_t> attrBytes = std::vector<uint8_t>(64, 5);
};

TEST_F(LutBand, EachCheckRefusesWithoutTouchingTheDescriptor) {
    for (int32_t scale : {2, kHxrScaleHalf}) {
        for (uint32_t dim : {3u, 4u}) {
            SCOPED_TRACE(testing::Message() << dim << "D at " << scale);
            const BandRun run = [dim](const BandCall& b) {
                const uint32_t r = run_lut(dim, b);
                if (r != 0) {
                    EXPECT_TRUE(calls().empty());
                }
                calls().clear();
                return r;
            };
            std::vector<Refusal> cases = {
                {"no table attached",
                 [](BandCall& b, ColorTest&) { static_cast<HXRColorCvt*>(b.cvt)->lut[0] = nullptr; }},
                {"last plane of line 1 missing", [dim](BandCall& b, ColorTest&) { b.planes[2 * dim - 1] = nullptr; }},
                {"first plane missing", [](BandCall& b, ColorTest&) { b.planes[0] = nullptr; }},
                {"descriptor of other ink count", [](BandCall& b, ColorTest& t) { b.ink = t.buffer(5, 40); }},
                {"row of ink 3 line 1 missing", [](BandCall& b, ColorTest&) { b.ink->validInput[3][1] = 0; }},
                {"row of ink 0 line 0 missing", [](BandCall& b, ColorTest&) { b.ink->validInput[0][0] = 0; }},
            };
            if (scale == kHxrScaleHalf) {
                cases.push_back({"odd start", [](BandCall& b, ColorTest&) { b.start = 3; }});
                cases.push_back({"odd count", [](BandCall& b, ColorTest&) { b.count = 5; }});
            }
            // At 2:1 without a user table: the plain reduction kernels.
            expect_refusals([&] { return make(4, scale, dim, scale != kHxrScaleHalf); }, run, cases);
        }
    }
    BandCall other = make(4, 2, 4);
    EXPECT_EQ(run_lut(3, other), 1u);  // a 3D call on a 4D converter
    // Slots without a reduction form hold dummies: user colours, under-white.
    for (BandCall b : {make(4, kHxrScaleHalf, 3, true), make(4, kHxrScaleHalf, 4, false, 1, true)}) {
        const uint32_t dim = static_cast<HXRColorCvt*>(b.cvt)->dimension;
        const Snapshot before = snap(b.ink);
        EXPECT_EQ(run_lut(dim, b), 1u) << dim;
        EXPECT_TRUE(snap(b.ink) == before);
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
        BandCall b = make(5, c.scale, c.dim, c.user, c.attrStride);
        b.lines = c.lines;
        b.start = 4;
        b.count = 8;
        b.line = 13;
        const uint32_t m = c.dim;
        if (c.sameLines) {
            for (uint32_t j = 0; j < m; ++j) b.planes[m + j] = b.planes[j];
            b.attrs[1] = b.attrs[0];
        }
        ASSERT_EQ(run_lut(c.dim, b), 0u);
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

TEST_F(LutBand, SeedsAndSpanLimits) {
    BandCall b = make(4, 1);  // width 20, rows of 24
    for (int32_t line : {6, 7, 8}) {
        b.line = line;
        ASSERT_EQ(run_lut(3, b), 0u);
    }
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[0].seed, 0x42A52D1Au);  // lines 6 and 7: number 3
    EXPECT_EQ(calls()[1].seed, 0x42A52D1Au);
    EXPECT_EQ(calls()[2].seed, 0x9214C835u);  // line 8: number 4
    const std::pair<int32_t, int32_t> accepted[] = {{0, 20}, {20, 0}, {19, 1}};
    for (auto [start, count] : accepted) {
        b.start = start;
        b.count = count;
        EXPECT_EQ(run_lut(3, b), 0u) << start << "+" << count;
    }
}

TEST_F(LutBand, WhitePrintDispatch) {
    const _HXR_IMAGE_INFO im = image(3, 20, 3, 1, 1);
    HXRValueSettings wv = values();
    wv.wprint.outputMode = kHxrWPrintColourOnly;
    for (int32_t scale : {1, 2, kHxrScaleHalf}) {
        BandCall b;
        HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &wv, scale, clr_of_set(34), mm);
        ASSERT_NE(cvt, nullptr);
        TestLut lut(3, 64, 5);
        std::vector<uint32_t> user(512, 0);
        HXRColorCvtLutSet set{};
        set.lut3D[0] = &lut.lut;
        ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
        b.cvt = cvt;
        b.ink = buffer(5, 40);
        b.random = HXRCreateRandNum(mm);
        for (int j = 0; j < 6; ++j) b.planes[j] = pixels.data() + j;
        b.attrs[0] = b.attrs[1] = attrBytes.data();
        b.start = 0;
        b.count = 20;
        calls().clear();
        const Snapshot before = snap(b.ink);
        if (scale == kHxrScaleHalf) {
            EXPECT_EQ(run_lut(3, b), 1u);  // the white-print table has no reduction form
            EXPECT_TRUE(snap(b.ink) == before);
            EXPECT_TRUE(calls().empty());
            continue;
        }
        ASSERT_EQ(run_lut(3, b), 0u);
        ASSERT_EQ(calls().size(), 1u);
        EXPECT_EQ(calls()[0].id, kernel_id(kColor3DWprint, kNormal));
        EXPECT_EQ(calls()[0].aux, &cvt->wprintParam);
        // With a user table and an attribute plane the user kernel runs instead.
        set.userTable = user.data();
        set.userChannels = 5;
        ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
        ASSERT_EQ(run_lut(3, b), 0u);
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

}  // namespace
