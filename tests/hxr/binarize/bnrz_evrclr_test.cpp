// Every-colour binariser over fakes of the host data set: bands compared with
// direct kernel calls on the same rows, records and SML tables; the plane
// table's layout and canaries; dot counts against the planes' histograms;
// any-dot; the job-start refusals one at a time; the span against the plane at
// a guard page; slots, switch positions and the error-line reset.
#include "bnrz_job.h"
#include "support/guard_page.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace ovcg_test;

class EveryColor : public BnrzJob {};

struct BandCase {
    const char* name;
    BnrzJobSpec spec;
    int32_t x0, n;
};

TEST_F(EveryColor, BandsEqualDirectKernelCallsAndCountsEqualHistograms) {
    const auto zero_small = [](uint32_t g, uint32_t d) { return d == 0 ? 0 : g * (d + 1); };
    const BandCase cases[] = {
        {"dither 1 bit", job_of(1, 1, 3), 3, 90},
        {"dither 2 bits, six colours, two areas", job_of(3, 2, 3).dither_areas(2), 0, 100},
        {"dither 2 bits, 16-bit rows", job_of(1, 2, 3).converter(5, 2), 5, 93},
        {"dither, derived colours of five dot sizes", job_of(11, 34, 3).dot_sizes(5), 1, 97},
        {"HybridED 1 bit", job_of(1, 1, 6), 0, 100},
        {"HybridED 2 bits, AllEDOnly 2x1", job_of(1, 2, 5).resolution(1440, 720), 7, 80},
        {"HybridED 2 bits, no small dots", job_of(1, 2, 6).resolution(720, 1440).rates(zero_small), 2, 96},
    };
    for (const BandCase& bc : cases) {
        SCOPED_TRACE(bc.name);
        ASSERT_TRUE(build(bc.spec));
        const HXRSwitchPosList list{1, {11}};
        start(bc.spec.areas > 1 ? &list : nullptr);
        make_references();
        std::vector<std::array<uint64_t, 4>> histogram(hc());
        fill_ink(1, bc.x0, bc.n);
        band_against_kernels(10, 2, histogram);
        fill_ink(2, bc.x0, bc.n);
        band_against_kernels(12, 1, histogram);
        expect_counts(histogram);
        TearDown();
        SetUp();
    }
}

TEST_F(EveryColor, NoDotsLeaveAnyDotZeroAndAFailingBandLeavesIt) {
    ASSERT_TRUE(build(job_of(1, 2, 3)));
    start();
    fill_ink(0, 0, 100);
    for (int32_t k = 0; k < interm->inkNum; ++k)
        for (uint32_t l = 0; l < 2; ++l) std::memset(HXRGetInkQuantityBuf(interm, k, l), 0, interm->linePixelSize);
    Planes p(2 * 2 * hc(), plane_bytes());
    uint32_t any = 5;
    ASSERT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), &any, 2, 0, nullptr), 0u);
    EXPECT_EQ(any, 0u);
    EXPECT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 2, 0, nullptr), 0u);  // no flag wanted

    // Colour 2's dither data disappears: colours 0 and 1 of line 0 are
    // written and counted, the flag stays as it was.
    fill_ink(3, 0, 100);
    Planes q(2 * 2 * hc(), plane_bytes());
    const uint32_t ord2 = HXRGetOutputColorOrder(clr, HXRGetHalftoneColorCode(clr, 2));
    dth.data[0][ord2].cells = nullptr;
    any = 5;
    EXPECT_EQ(HXRBinarize(ctrl, interm, random, q.table.data(), &any, 2, 4, nullptr), 1u);
    EXPECT_EQ(any, 5u);
    const std::vector<uint8_t> untouched(plane_bytes(), kPlaneFill);
    EXPECT_NE(q.bytes[0], untouched);
    EXPECT_NE(q.bytes[1], untouched);
    for (size_t e = 2; e < q.bytes.size(); ++e) EXPECT_EQ(q.bytes[e], untouched) << e;
    uint64_t counts[12] = {};
    ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, counts, 12), 12u);
    EXPECT_NE(counts[0] + counts[1] + counts[2] + counts[3] + counts[4] + counts[5], 0u);
    for (int v = 6; v < 12; ++v) EXPECT_EQ(counts[v], 0u) << v;
}

TEST_F(EveryColor, RefusedBandsWriteNothing) {
    ASSERT_TRUE(build(job_of(1, 1, 3)));
    start();
    fill_ink(4, 0, 100);
    struct Case {
        const char* name;
        int32_t lines, first;
        bool nullInterm, nullRandom, nullPlanes;
    };
    const Case cases[] = {
        {"no line", 0, 0, false, false, false},         {"three lines", 3, 0, false, false, false},
        {"negative lines", -1, 0, false, false, false}, {"negative first line", 1, -1, false, false, false},
        {"past INT32_MAX", 2, INT32_MAX, false, false, false}, {"no descriptor", 1, 0, true, false, false},
        {"no random state", 1, 0, false, true, false},  {"no plane table", 1, 0, false, false, true},
    };
    for (const Case& c : cases) {
        Planes p(12, plane_bytes());
        uint32_t any = 9;
        EXPECT_EQ(HXRBinarize(ctrl, c.nullInterm ? nullptr : interm, c.nullRandom ? nullptr : random,
                              c.nullPlanes ? nullptr : p.table.data(), &any, c.lines, c.first, nullptr),
                  1u)
            << c.name;
        EXPECT_EQ(any, 9u) << c.name;
        for (const auto& b : p.bytes) EXPECT_EQ(b, std::vector<uint8_t>(plane_bytes(), kPlaneFill)) << c.name;
    }
    // One line at INT32_MAX is a line like any other.
    Planes p(8, plane_bytes());
    EXPECT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 1, INT32_MAX, nullptr), 0u);
    uint64_t counts[12];
    EXPECT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, counts, 12), 12u);
}

// Everything fixed for the job that would fail every band is refused when
// the job starts, one cause at a time; a refused attachment also refuses
// every band.
TEST_F(EveryColor, JobStartRefusals) {
    enum Stage { kAttach, kHybrid, kNone };
    struct Case {
        const char* name;
        BnrzJobSpec spec;
        std::function<void(EveryColor&)> mutate;
        Stage refusedAt;
    };
    const auto none = [](EveryColor&) {};
    const Case cases[] = {
        {"ink set 1, type 6 accepted", job_of(1, 1, 6), none, kNone},
        {"ink set 26, type 3: an output order beyond the LUT colours", job_of(26, 2, 3), none, kAttach},
        {"ink set 26, type 5", job_of(26, 2, 5), none, kAttach},
        {"ink set 11, derived colours under type 3", job_of(11, 34, 3), none, kNone},
        {"a halftone colour without a binarize mode, type 5",
         job_of(1, 2, 5),
         [](EveryColor& j) { j.ctrl->everyColor->modes[1] = kHxrBnrzNone; },
         kHybrid},
        {"monochrome-photo direct kind, type 6", job_of(1, 1, 6).converter(6, 1), none, kHybrid},
        {"16-bit rows, type 6", job_of(1, 2, 6).converter(5, 2), none, kHybrid},
        {"mask of width 3", job_of(1, 1, 3).mask_width(3), none, kAttach},
        {"SML of 255 gradations",
         job_of(1, 2, 3),
         [](EveryColor& j) { j.sml[0][0].set_row(1, 255, 3, [](uint32_t g, uint32_t) { return g; }); },
         kAttach},
        {"an SML row of two dot sizes at 2 bits",
         job_of(1, 2, 3),
         [](EveryColor& j) { j.sml[0][0].set_row(2, 256, 2, [](uint32_t g, uint32_t) { return g; }); },
         kAttach},
        {"a short SML row in intent 1's own manager",
         job_of(1, 1, 3),
         [](EveryColor& j) {
             j.sml[1][0].set_row(3, 200, 1, [](uint32_t g, uint32_t) { return g; });
             j.set.sml[1][0] = &j.sml[1][0];
         },
         kAttach},
        {"no dither data manager", job_of(1, 1, 3), [](EveryColor& j) { j.set.dither[0] = nullptr; }, kAttach},
        {"no primary SML data manager", job_of(1, 1, 3), [](EveryColor& j) { j.set.sml[0][0] = nullptr; }, kAttach},
        {"a secondary manager not coordinated",
         job_of(1, 1, 3),
         [](EveryColor& j) {
             j.set.sml[1][1] = &j.sml[1][1];
             j.set.coordination[1] = 1;
         },
         kAttach},
        {"a secondary manager coordinated",
         job_of(1, 1, 3),
         [](EveryColor& j) { j.set.sml[0][1] = &j.sml[0][1]; },
         kNone},
        {"no dither data in the second area",
         job_of(1, 1, 3).dither_areas(2),
         [](EveryColor& j) { j.dth.data[1][2].cells = nullptr; },
         kAttach},
        {"no dither area", job_of(1, 1, 3), [](EveryColor& j) { j.dth.areas = 0; }, kAttach},
        {"a failing SML preparation",
         job_of(1, 1, 3),
         [](EveryColor& j) { j.sml[0][0].fail = "HXRPrepareEveryLineCorrection"; },
         kAttach},
        {"a HybridED colour with no dot size in use",
         job_of(1, 2, 6),
         [](EveryColor& j) { j.sml[0][0].set_row(3, 256, 3, [](uint32_t, uint32_t) { return 0; }); },
         kHybrid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(build(c.spec));
        if (c.spec.kind == kHxrCvtDirectTNMX)
            for (uint32_t o = 0; o < HXRGetOutputColorNum(clr); ++o)
                sml[0][0].set_row(o, 256, spec.dots, [](uint32_t g, uint32_t) { return g; }, true);
        c.mutate(*this);
        const uint32_t a = attach();
        EXPECT_EQ(a, c.refusedAt == kAttach ? 1u : 0u);
        if (a == 0 && spec.htType != kHxrHtTypeDither) {
            EXPECT_EQ(hybrid(), c.refusedAt == kHybrid ? 1u : 0u);
        }
        if (c.refusedAt != kNone) {
            // No band runs after a refused set-up.
            fill_ink(5, 0, 100);
            Planes p(4 * hc(), plane_bytes());
            EXPECT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 2, 0, nullptr), 1u);
            for (const auto& b : p.bytes) EXPECT_EQ(b, std::vector<uint8_t>(plane_bytes(), kPlaneFill));
        }
        EXPECT_EQ(error(), 0u);
        TearDown();
        SetUp();
    }
}

TEST_F(EveryColor, ErrorLineResetFailsForAColourWithoutItsObject) {
    ASSERT_TRUE(build(job_of(1, 2, 6)));
    ASSERT_EQ(attach(), 0u);
    EXPECT_EQ(HXRResetBnrzErrorBuffer(ctrl, random), 1u);  // before the HybridED set-up
    ASSERT_EQ(hybrid(), 0u);
    EXPECT_EQ(HXRResetBnrzErrorBuffer(ctrl, random), 0u);
    EXPECT_EQ(HXRResetBnrzErrorBuffer(ctrl, nullptr), 1u);
    ctrl->everyColor->hybridED[2] = nullptr;
    EXPECT_EQ(HXRResetBnrzErrorBuffer(ctrl, random), 1u);
    // Every band fails at that colour, after colours 0 and 1.
    fill_ink(6, 0, 100);
    Planes p(4 * hc(), plane_bytes());
    EXPECT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 1, 0, nullptr), 1u);
    EXPECT_EQ(p.bytes[2], std::vector<uint8_t>(plane_bytes(), kPlaneFill));
}

// The written span must lie inside the plane: one reaching past it is refused
// with the plane untouched (the plane ends at a guard page).
TEST_F(EveryColor, SpanPastThePlaneIsRefused) {
    for (uint32_t mode : {1u, 2u}) {
        for (uint32_t ht : {3u, 6u}) {
            SCOPED_TRACE(std::to_string(mode) + " bits, type " + std::to_string(ht));
            ASSERT_TRUE(build(job_of(1, mode, ht).pixels(37)));  // planes of 40 pixels
            // A descriptor wider than the planes.
            interm = HXRCreateIntermediateData(4, 64, 1, 0, nullptr, -1, mm);
            start();
            fill_ink(7, 0, 41);
            std::vector<GuardedBytes> guarded;
            std::vector<uint8_t*> table(8 * hc());
            for (uint32_t e = 0; e < hc(); ++e) {
                guarded.push_back(GuardedBytes::EndingAtGuard(plane_bytes()));
                std::memset(guarded.back().data(), kPlaneFill, plane_bytes());
                table[e] = guarded.back().data();
            }
            EXPECT_EQ(HXRBinarize(ctrl, interm, random, table.data(), nullptr, 1, 0, nullptr), 1u);
            for (GuardedBytes& g : guarded)
                EXPECT_EQ(std::vector<uint8_t>(g.begin(), g.end()), std::vector<uint8_t>(plane_bytes(), kPlaneFill));
            // Up to the plane's last pixel the kernels write its last byte.
            ASSERT_EQ(HXRSetWritingArea(interm, 3, 40), 0u);
            EXPECT_EQ(HXRBinarize(ctrl, interm, random, table.data(), nullptr, 1, 0, nullptr), 0u);
            // A descriptor of 16-bit rows is not the job's.
            HXRIntermediateData* wide = HXRCreateIntermediateData(4, 40, 2, 0, nullptr, -1, mm);
            EXPECT_EQ(HXRBinarize(ctrl, wide, random, table.data(), nullptr, 1, 0, nullptr), 1u);
            TearDown();
            SetUp();
        }
    }
}

TEST_F(EveryColor, SlotsTakeTheirManagers) {
    ASSERT_TRUE(build(job_of(1, 1, 3)));
    set.sml[0][1] = &sml[0][1];
    set.sml[1][0] = &sml[1][0];
    ASSERT_EQ(attach(), 0u);
    const HXRRuntimeSml* rs = ctrl->everyColor->runtimeSml;
    EXPECT_EQ(rs->smlDataMgr[0][0], sml[0][0].handle());
    EXPECT_EQ(rs->smlDataMgr[0][1], sml[0][1].handle());
    EXPECT_EQ(rs->smlDataMgr[1][0], sml[1][0].handle());
    EXPECT_EQ(rs->smlDataMgr[1][1], sml[1][0].handle());  // intent 1 has no secondary: its primary
    // Without managers of intent 1, intent 0's primary serves every slot of it.
    set.sml[0][1] = nullptr;
    set.sml[1][0] = nullptr;
    ASSERT_EQ(attach(), 0u);
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t s = 0; s < 2; ++s) EXPECT_EQ(rs->smlDataMgr[t][s], sml[0][0].handle()) << t << s;
    EXPECT_EQ(HXRSetBinarizeData(ctrl, nullptr, clr, mm), 1u);
}

TEST_F(EveryColor, SwitchPositionsDotCounterCapacityAndQueries) {
    ASSERT_TRUE(build(job_of(11, 34, 3).dot_sizes(5).dither_areas(3)));
    ASSERT_EQ(attach(), 0u);
    const HXRSwitchPosList two{2, {100, 200}}, other{1, {5}}, bad{2, {200, 100}};
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, &two, 1, mm), 1u);  // replace before any create
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, nullptr, 1, mm), 0u);
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, &two, 0, mm), 0u);
    EXPECT_EQ(HXRGetDthArea(ctrl->everyColor->runtimeDither, 150), 1);
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, &other, 1, mm), 1u);
    expect_error(8303);
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, &bad, 0, mm), 1u);
    expect_error(8302);
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, &two, 2, mm), 1u);

    // Six real output colours: 18 values, fewer room refused with the counts kept.
    fill_ink(8, 0, 100);
    Planes p(4 * hc(), plane_bytes());
    ASSERT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 2, 0, nullptr), 0u);
    std::vector<uint64_t> out(18, 0);
    EXPECT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, out.data(), 17), 0u);
    EXPECT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, nullptr, 18), 0u);
    EXPECT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, out.data(), 18), 18u);
    uint64_t total = 0;
    for (uint64_t v : out) total += v;
    EXPECT_NE(total, 0u);

    EXPECT_EQ(HXRGetBnrzEvrClrHalftoneColorNum(ctrl->everyColor), 6u);
    EXPECT_EQ(HXRGetBnrzEvrClrOutputColorOrder(ctrl->everyColor, 257), 0u);
    EXPECT_EQ(HXRGetBnrzEvrClrOutputColorOrder(ctrl->everyColor, 9), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetBnrzEvrClrDthDataType(ctrl->everyColor), 1u);
    EXPECT_EQ(HXRGetBnrzEvrClrUsingUBECTable(ctrl->everyColor), 0u);
    // Every colour on UBEC tables (no rule produces it): the other answers.
    for (uint32_t c = 0; c < 6; ++c) ctrl->everyColor->modes[c] = kHxrBnrzUbec;
    EXPECT_EQ(HXRGetBnrzEvrClrDthDataType(ctrl->everyColor), 2u);
    EXPECT_EQ(HXRGetBnrzEvrClrUsingUBECTable(ctrl->everyColor), 1u);
    EXPECT_EQ(HXRIfUseUBEC(ctrl), 1u);
    // Null binariser.
    EXPECT_EQ(HXRGetBnrzEvrClrDthDataType(nullptr), 0u);
    EXPECT_EQ(HXRGetBnrzEvrClrUsingUBECTable(nullptr), 0u);
    EXPECT_EQ(HXRGetBnrzEvrClrDthThreshAddition(nullptr), 0u);
    EXPECT_EQ(HXRGetBnrzEvrClrOutputColorOrder(nullptr, 0), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetBnrzEvrClrHalftoneColorNum(nullptr), 0u);
    EXPECT_EQ(HXRGetBnrzEvrClrDotCounter(nullptr, out.data(), 18), 0u);
    EXPECT_EQ(HXRSetBnrzEvrClrSwitchPos(nullptr, nullptr, 0, mm), 1u);
    EXPECT_EQ(HXRResetErrorBufferBinarizeEveryColor(nullptr, random), 1u);
    EXPECT_EQ(HXRCreateBinarizeEveryColorHybridED(nullptr, 1, 720, 720, 1, 1, 1, 6, interm, random, mm), 1u);
    EXPECT_EQ(HXRSetBinarizeEveryColorData(nullptr, set.handle(), clr, mm), 1u);
    EXPECT_EQ(HXRSetBrsBinarizeEveryColor(nullptr, nullptr), 1u);
    EXPECT_EQ(HXRSetDataShiftBinarizeEveryColor(nullptr, nullptr, clr), 1u);
}

}  // namespace
