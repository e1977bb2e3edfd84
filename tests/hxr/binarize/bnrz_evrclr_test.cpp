// Every-colour binariser over fakes of the host data set, for what the real
// data set cannot be made to do: a band failing part way, refused bands, the
// job-start refusals of missing, uncoordinated or failing managers and of
// hostile records, the span against the plane at a guard page, slots, switch
// positions and the error-line reset. Bands over the real data set are in
// bnrz_model_test.cpp.
#include "bnrz_job.h"
#include "support/guard_page.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace ovcg_test;

class EveryColor : public BnrzJob {};

TEST_F(EveryColor, AFailingBandKeepsWhatItWroteAndLeavesAnyDot) {
    ASSERT_TRUE(build(job_of(1, 2, 3)));
    start();
    // Colour 2's dither data disappears: colours 0 and 1 of line 0 are
    // written and counted, the flag stays as it was.
    fill_ink(3, 0, 100);
    Planes q(2 * 2 * hc(), plane_bytes());
    uint32_t any = 5;
    const uint32_t ord2 = HXRGetOutputColorOrder(clr, HXRGetHalftoneColorCode(clr, 2));
    dth.data[0][ord2].cells = nullptr;
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
        BnrzJobSpec recipe;
        std::function<void(EveryColor&)> mutate;
        Stage refusedAt;
    };
    const auto none = [](EveryColor&) {};
    const Case cases[] = {
        {"ink set 1, type 6 accepted", job_of(1, 1, 6), none, kNone},
        {"a halftone colour without a binarize mode, type 5",
         job_of(1, 2, 5),
         [](EveryColor& j) { j.ctrl->everyColor->modes[1] = kHxrBnrzNone; },
         kHybrid},
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
        ASSERT_TRUE(build(c.recipe));
        c.mutate(*this);
        const uint32_t a = attach();
        EXPECT_EQ(a, c.refusedAt == kAttach ? 1u : 0u);
        if (a == 0 && recipe.htType != kHxrHtTypeDither) {
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
}

}  // namespace
