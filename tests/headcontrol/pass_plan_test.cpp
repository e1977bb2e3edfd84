// The pass engine against plans derived by hand, the page's ink columns,
// the accessors, every refusal and every allocation failure.
#include "pass_plan_fixture.h"

#include "headcontrol/codes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcLayer;
using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

constexpr uint8_t K = 0x10, C = 0x11, M = 0x12, Y = 0x13, c = 0x14, m = 0x15;

// Starts a page of the inks and plans it with logic 0: the first failing code.
uint32_t begin_page(PassEngine& e, uint32_t length, const std::vector<uint8_t>& inks) {
    if (uint32_t rc = MLE_StartPage(e.mle, length, uint16_t(inks.size()), inks.data(), nullptr, nullptr)) return rc;
    return MLE_CreateSchedulingTable(e.mle, 0, nullptr);
}

std::string states_of(const NozzleRecord& r) {
    std::string s;
    for (uint8_t st : r.states) s += char('0' + st);
    return s;
}

// ---- Plans derived by hand ---------------------------------------------------------------

// One pass per head height (180 nozzles, pitch 1, feed 180) on a 1000-raster
// page: the normal table's one row of width 180 leaves the layer at [0, 999];
// whole cycles (999 / 180 = 5) and one more step put six passes at 0, 180,
// ..., 900. The last reaches rasters 900-1079, of which 900-999 are the page.
TEST(PassPlanGolden, OnePassLogicOnAThousandRasters) {
    PassEngine e(hc_variant(HcVariant::Default));
    const PagePlan plan = plan_page(e, {1000, {K}, {}, 0});
    ASSERT_EQ(plan.code, 0u) << plan.failedCall;
    ASSERT_EQ(plan.passes.size(), 6u);
    for (int32_t i = 0; i < 6; ++i) {
        const PassRecord& p = plan.passes[size_t(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(p.vPos, 180 * i);
        EXPECT_EQ(p.entries[0].selector, 1);
        EXPECT_EQ(p.entries[0].group, 0);
        const NozzleRecord& r = p.nozzles[0];
        EXPECT_EQ(r.info.nozzlePos, 180 * i);
        EXPECT_EQ(r.info.firstNozzle, 0);
        EXPECT_EQ(r.info.endNozzle, i < 5 ? 180 : 100);
        EXPECT_EQ(states_of(r), std::string(size_t(r.info.endNozzle), '1'));
        EXPECT_EQ(r.offsets.back(), uint32_t(r.info.endNozzle - 1));
        // No overlap layer: the cycle of the overlap masks is 1 pass.
        EXPECT_EQ(p.polFirst, uint32_t(i));
        EXPECT_EQ(p.polSecond, uint32_t(i + 1));
        EXPECT_EQ(p.polPhase, i % 2);
    }
}

// The interleaved logic on 8 nozzles at pitch 2 (feeds 5, 7, 5, 11; cycle
// 28), on a 40-raster page, ink K at offset 0 and C 4 rasters higher. C
// prints each pass's rasters 4 higher, so its raster 39 is K's 43: the
// plan is made for 44 rasters.
//   upper layer [0, 1], feed 1: passes at 0 and 1.
//   normal layer [2, 43]: 41 / 28 = 1 cycle (4 passes at 2, 7, 14, 19),
//   then 30, 35 and 42 (49 > 43): 7 passes.
// Upper pass 0 reaches 0, 2, ..., 14; normal pass 0 (at 2, one pitch on)
// prints 2-16, so only nozzle 0 (raster 0) is left. Upper pass 1 reaches 1,
// 3, ..., 15; normal pass 1 (at 7, 3 pitches on) prints 7-21: nozzles 0-2
// (rasters 1, 3, 5) are left. Normal passes at steps 0 and 1 share their
// nozzles 6-7 (state 2, step values 1 and 2) with the passes two later,
// whose nozzles 0-1 print them second (state 3, step values 1 and 2). The
// overlap cycle is 2 passes (pass 2 is the first at the same parity); the
// normal pass i has partners i and i + 2 and phase (i / 2 + i mod 2) odd.
// The last passes stop at the page end: (40 - 30) / 2 = 5 nozzles and
// (40 - 35) / 2 -> 3, and the pass at 42 prints no K raster. Ink C
// (offset -4) reads 4 rasters higher: its window starts where its rasters
// reach 0 and ends where they reach 40. Its raster 38, the first half of
// an overlap in the pass at 30 (nozzle 6), is the second half's in the
// pass at 42 (nozzle 0): without that pass half its dots would be lost.
TEST(PassPlanGolden, InterleavedLogicOnFortyRasters) {
    ModelHeadControl hc = hc_variant(HcVariant::Interleaved8);
    hc.modes[0].array_values[1] = 4;
    PassEngine e(hc);
    const PagePlan plan = plan_page(e, {40, {K, C}, {}, 0});
    ASSERT_EQ(plan.code, 0u) << plan.failedCall;
    const struct {
        int32_t vPos;
        const char* kStates;
        int16_t cFirst, cEnd;
        uint32_t polFirst, polSecond;
        uint16_t phase;
    } want[] = {
        {0, "1", 0, 0, kMleNoPolPass, kMleNoPolPass, 0},  // C: first raster 0 needs nozzle 2 > active end
        {1, "111", 2, 3, kMleNoPolPass, kMleNoPolPass, 0},
        {2, "11111122", 1, 8, 0, 2, 0},
        {7, "11111122", 0, 8, 1, 3, 1},
        {14, "33111111", 0, 8, 2, 4, 1},
        {19, "33111111", 0, 8, 3, 5, 0},
        {30, "11111", 0, 7, 4, 6, 0},
        {35, "111", 0, 5, 5, 7, 1},
        {42, "", 0, 1, 6, 8, 1},
    };
    ASSERT_EQ(plan.passes.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        const PassRecord& p = plan.passes[i];
        EXPECT_EQ(p.vPos, want[i].vPos);
        EXPECT_EQ(p.entries[0].selector, 1);
        EXPECT_EQ(p.entries[0].rangeFirst, 0);
        EXPECT_EQ(p.entries[0].rangeEnd, 8);
        const NozzleRecord& k = p.nozzles[0];
        EXPECT_EQ(k.info.firstNozzle, 0);
        EXPECT_EQ(states_of(k), want[i].kStates);
        const NozzleRecord& cr = p.nozzles[1];
        EXPECT_EQ(cr.info.nozzlePos, want[i].vPos - 4);
        EXPECT_EQ(cr.info.firstNozzle, want[i].cFirst);
        EXPECT_EQ(cr.info.endNozzle, want[i].cEnd);
        EXPECT_EQ(p.polFirst, want[i].polFirst);
        EXPECT_EQ(p.polSecond, want[i].polSecond);
        EXPECT_EQ(p.polPhase, want[i].phase);
    }
    // Raster offsets and step values: in pass 3 (step 1) nozzles 6-7 are the
    // overlap window's first two; in pass 4 (step 2) nozzles 0-1 are, and
    // nozzles 2-7 keep their place in the normal window.
    EXPECT_EQ(plan.passes[3].nozzles[0].offsets, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 0, 1}));
    EXPECT_EQ(plan.passes[3].nozzles[0].steps,
              (std::vector<uint16_t>{65535, 65535, 65535, 65535, 65535, 65535, 2, 2}));
    EXPECT_EQ(plan.passes[4].nozzles[0].offsets, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(plan.passes[4].nozzles[0].steps,
              (std::vector<uint16_t>{1, 1, 65535, 65535, 65535, 65535, 65535, 65535}));
    // C's raster 38: first half in the pass at 30, second half in the pass at 42.
    EXPECT_EQ(states_of(plan.passes[6].nozzles[1]), "1111112");
    EXPECT_EQ(states_of(plan.passes[8].nozzles[1]), "3");
}

// A logic whose layer starts above the page (start 0 less topOffset 50):
// the first pass stands at -50 and its nozzles 50-179 print rasters 0-129.
TEST(PassPlanGolden, PassesAboveThePageTopAreNegative) {
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.units[0].top_offset = 50;
    PassEngine e(hc);
    const PagePlan plan = plan_page(e, {400, {K}, {}, 0});
    ASSERT_EQ(plan.code, 0u) << plan.failedCall;
    ASSERT_EQ(plan.passes.size(), 3u);  // -50, 130, 310 (490 > 399)
    EXPECT_EQ(plan.passes[0].vPos, -50);
    EXPECT_EQ(plan.passes[0].nozzles[0].info.nozzlePos, -50);
    EXPECT_EQ(plan.passes[0].nozzles[0].info.firstNozzle, 50);
    EXPECT_EQ(plan.passes[0].nozzles[0].info.endNozzle, 180);
    EXPECT_EQ(plan.passes[2].nozzles[0].info.endNozzle, 90);
    EXPECT_EQ(check_plan(plan, 1, 0, 400, 0, 180), "");
}

// A page too short for the logic is refused whatever the inks' offsets
// lengthen the plan by, and the memory sizing after the page start answers
// as it does. The upper-part logic (split 0): pitch 2, 3 nozzles, an upper
// layer on rasters 0-2 feeding 1, the normal layer from raster 3 to the
// page end feeding 3; page 2 is shorter than the fixed upper part (3), on
// page 3 the normal layer would end before it starts, page 4 prints. The
// repeat-mode head with a lower split of 9 or 40: (L - 24) / 4 normal
// passes on a page of L rasters, fewer than the split below 60 or 184. C
// stands `offset` rasters higher than K, or on a row 1 nozzle down: 1
// raster below K, which the logic does not reach above the page, so a
// plan that prints moves up 1 raster.
TEST(PassPlanGolden, PageTooShortForTheLogicWhateverTheOffsets) {
    constexpr uint32_t kShort = kMleNegativeRange;
    const struct {
        int16_t split;
        uint32_t length;
        uint16_t offset, shift;
        int32_t lead;
        uint32_t code;
    } kRows[] = {
        {0, 2, 0, 0, 0, kShort}, {0, 3, 0, 0, 0, kShort}, {0, 4, 0, 0, 0, 0},
        {0, 2, 1, 0, 0, kShort}, {0, 3, 1, 0, 0, kShort}, {0, 4, 1, 0, 0, 0},
        {0, 2, 2, 0, 0, kShort}, {0, 3, 2, 0, 0, kShort}, {0, 4, 2, 0, 0, 0},
        {9, 59, 0, 0, 0, kShort}, {9, 60, 0, 0, 0, 0}, {9, 61, 0, 0, 0, 0},
        {9, 59, 2, 0, 0, kShort}, {9, 60, 2, 0, 0, 0}, {9, 61, 2, 0, 0, 0},
        {9, 59, 0, 1, 0, kShort}, {9, 60, 0, 1, 1, 0}, {9, 61, 0, 1, 1, 0},
        {40, 183, 0, 0, 0, kShort}, {40, 184, 0, 0, 0, 0}, {40, 185, 0, 0, 0, 0},
        {40, 183, 2, 0, 0, kShort}, {40, 184, 2, 0, 0, 0}, {40, 185, 2, 0, 0, 0},
        {40, 183, 0, 1, 0, kShort}, {40, 184, 0, 1, 1, 0}, {40, 185, 0, 1, 1, 0},
    };
    for (const auto& t : kRows) {
        SCOPED_TRACE(testing::Message() << "split " << t.split << " length " << t.length << " offset " << t.offset
                                        << " shift " << t.shift);
        ModelHeadControl hc = hc_variant(t.split ? HcVariant::Repeat : HcVariant::Interleaved8);
        ovcg_test::HcMode& m = hc.modes[0];
        if (t.split) {
            m.value3 = t.split;
        } else {
            hc.head.nozzles = {3};
            hc.units[0].pitch = 2;
            hc.units[0].layers = {HcLayer{0, 0, 2, {1}, {{0, 3}}, {1}, {0}, {}},
                                  HcLayer{1, 3, 0, {3}, {{0, 3}}, {1}, {0}, {}}};
            hc.units[0].normal = {{3, 0, 0, 0}};
            for (ovcg_test::HcSubMode& s : m.sub_modes) s.min_length = 1;
        }
        m.array_values[1] = t.offset;
        if (t.shift) {
            m.function_flags |= 0x40;
            m.block_e = {1, {K, C}, {K, C}, {0, t.shift}};
        }
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        const PagePlan plan = plan_page(e, {t.length, {K, C}, {}, 0});
        EXPECT_EQ(plan.code, t.code) << plan.failedCall;
        const uint32_t start = begin_page(e, t.length, {K, C});
        EXPECT_EQ(start, t.code);
        EXPECT_EQ(e.mle->rowLead, t.lead);
        uint32_t size = 0;
        EXPECT_EQ(MLE_SumAllocateMemorySize(e.mle, &size), start);
        EXPECT_EQ(size == 0, start != 0) << size;
        MLE_EndPage(e.mle);
        EXPECT_EQ(e.release(), "");
    }
}

// ---- Rows of the split colour table ----------------------------------------------------------

// A pass of a plan as the rows see it: position, and per ink the first
// raster and the states of its window.
std::string pass_summary(const PassRecord& p) {
    std::string out = std::to_string(p.vPos) + ":";
    for (const NozzleRecord& r : p.nozzles)
        out.append(" ")
            .append(r.states.empty() ? std::string("-") : std::to_string(r.raster(r.info.firstNozzle)))
            .append("/")
            .append(states_of(r));
    return out;
}

// The grouped nozzle line: ink 0x30 prints with K's line from its nozzle 90
// on, every pass printing 90 nozzles of the pattern and feeding 90, so the
// ink stands 90 rasters below K and C. Its first 90 rasters come from a
// pass at -90, which a top offset of 90 provides. With a smaller top
// offset the plan moves up by what the logic lacks (89: its first pass at
// -89 misses raster 0 only), and every top offset up to 90 plans as 90
// does: passes at -90, 0, ..., 360 on a 400-raster page. A larger top
// offset keeps its own first pass.
TEST(PassPlanGolden, RowsStandingLowMoveThePlanUpByWhatTheLogicLacks) {
    const struct {
        uint16_t topOffset;
        int32_t lead, first;
        size_t passes;
    } cases[] = {{90, 0, -90, 6}, {0, 90, -90, 6}, {40, 50, -90, 6}, {89, 1, -90, 6}, {120, 0, -120, 6}};
    std::vector<std::string> designed;
    for (const auto& t : cases) {
        SCOPED_TRACE(t.topOffset);
        ModelHeadControl hc = hc_variant(HcVariant::DriverGrouped);
        hc.units[0].top_offset = t.topOffset;
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        const PagePlan plan = plan_page(e, {400, {K, 0x30, C}, {}, 0});
        ASSERT_EQ(plan.code, 0u) << plan.failedCall;
        EXPECT_EQ(e.mle->rowLead, t.lead);
        ASSERT_EQ(plan.passes.size(), t.passes);
        EXPECT_EQ(plan.passes[0].vPos, t.first);
        EXPECT_EQ(check_plan(plan, 3, 0, 400, 0, MLE_GetHeadheight(e.mle)), "");
        std::vector<std::string> summary;
        for (const PassRecord& p : plan.passes) summary.push_back(pass_summary(p));
        if (t.topOffset == 90) designed = summary;
        if (t.first == -90) {
            EXPECT_EQ(summary, designed);
        }
    }
    ASSERT_FALSE(designed.empty());
    // The pass at -90 prints the row's first rasters alone, nothing of K and C.
    EXPECT_EQ(designed[0], std::string("-90: -/ 0/").append(90, '1').append(" -/"));
}

// An ink's row shift counts against its line's offset at the page end too:
// C's line stands 10 rasters higher than K's, and passes of 170 nozzles
// feeding 170 print a 340-raster page in two. With C's ink on a row 10
// nozzles down it stands level with K and the two passes print it; a row
// less far down leaves C higher, and a third pass (at 340) prints its last
// rasters.
TEST(PassPlanGolden, RowsStandingHigherPlanThePageLonger) {
    const struct {
        uint16_t shift;
        size_t passes;
    } cases[] = {{10, 2}, {4, 3}, {0, 3}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.shift);
        ModelHeadControl hc = hc_variant(HcVariant::Default);
        ovcg_test::HcLogic& u = hc.units[0];
        u.layers[0].feed = {170};
        u.layers[0].range = {{0, 170}};
        u.normal = {{170, 0, 0, 0}};
        ovcg_test::HcMode& m = hc.modes[0];
        m.function_flags |= 0x40;
        m.block_e.rows = 1;
        m.block_e.colors = {K, C};
        m.block_e.codes = {K, C};
        m.block_e.shifts = {0, t.shift};
        m.array_values[1] = 10;
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        const PagePlan plan = plan_page(e, {340, {K, C}, {}, 0});
        ASSERT_EQ(plan.code, 0u) << plan.failedCall;
        EXPECT_EQ(e.mle->rowLead, 0);
        ASSERT_EQ(plan.passes.size(), t.passes);
        EXPECT_EQ(plan.passes[1].vPos, 170);
        EXPECT_EQ(check_plan(plan, 2, 0, 340, MLE_GetOffsetNozzleMax(e.mle), MLE_GetHeadheight(e.mle)), "");
    }
}

// ---- Page start: ink columns -------------------------------------------------------------

struct ColumnCase {
    const char* what;
    HcVariant variant;
    int32_t direction;
    int16_t resolution;                // mode value 1 (R); 0 keeps the variant's
    std::vector<uint16_t> lineValues;  // empty keeps the variant's
    std::vector<uint8_t> inks;
    uint32_t code;
    std::vector<int32_t> offsets;  // per ink
    std::vector<int16_t> ranks;    // per ink
    int16_t minColumn, maxColumn, upper, lower;
    int32_t top;
};

// Corrected: offsets K 0, C 12, M 4, Y 12, c 30, m 7; correction values
// 40, 0, 25, 40, 10, 0 (D = 40); head-top mode 7 with value 100, so the
// head top is minNegOffset (-30) - the smallest column offset + 100.
// With R = 25400 the correction is t = (40 - corr) x dir x 10 / 40 +- 5,
// and the offset t / 10 - o (each division truncating).
const ColumnCase kColumns[] = {
    {"offsets alone: ranks share ties", HcVariant::Corrected, 0, 0, {}, {K, C, M, Y, c, m}, 0,
     {0, -12, -4, -12, -30, -7}, {0, 3, 1, 3, 4, 2}, 4, 0, 0, 4, 100},
    // K: t = 0 + 5 -> 0; C: 10 + 5 -> 1 - 12; M: 150 / 40 = 3, + 5 -> 0 - 4;
    // Y: 5 -> -12; c: 300 / 40 = 7, + 5 -> 1 - 30; m: 15 -> 1 - 7.
    {"direction +1", HcVariant::Corrected, 1, 25400, {}, {K, C, M, Y, c, m}, 0,
     {0, -11, -4, -12, -29, -6}, {0, 3, 1, 3, 4, 2}, 4, 0, 0, 4, 99},
    // C: -10 - 5 -> -1 - 12; M: -3 - 5 -> 0 - 4; c: -7 - 5 -> -1 - 30; m: -15 -> -1 - 7.
    {"direction -1", HcVariant::Corrected, -1, 25400, {}, {K, C, M, Y, c, m}, 0,
     {0, -13, -4, -12, -31, -8}, {0, 3, 1, 3, 4, 2}, 4, 0, 0, 4, 101},
    // R = 12700 halves: C 1200 / 40 = 30 -> 15 + 5 -> 2; M 450 / 40 = 11 -> 5,
    // + 5 -> 1; c 900 / 40 = 22 -> 11, + 5 -> 1; m 30 -> 15 + 5 -> 2.
    {"direction 3, truncations", HcVariant::Corrected, 3, 12700, {}, {K, C, M, Y, c, m}, 0,
     {0, -10, -3, -12, -29, -5}, {0, 3, 1, 3, 4, 2}, 4, 0, 0, 4, 99},
    {"every correction value 0: none", HcVariant::Corrected, 1, 25400, {0, 0, 0, 0, 0, 0}, {K, C, M, Y, c, m}, 0,
     {0, -12, -4, -12, -30, -7}, {0, 3, 1, 3, 4, 2}, 4, 0, 0, 4, 100},
    // Values -12, -30, -4: M's is the largest and becomes 0.
    {"normalised to the largest", HcVariant::Corrected, 0, 0, {}, {C, c, M}, 0, {-8, -26, 0}, {1, 2, 0}, 1, 2, 2, 1,
     96},
    {"first of equal extremes wins", HcVariant::Corrected, 0, 0, {}, {C, Y, K}, 0, {-12, -12, 0}, {1, 1, 0}, 0, 2, 2,
     0, 100},
    {"head-top mode other than 7: its value", HcVariant::Default, 0, 0, {}, {K}, 0, {0}, {0}, 0, 0, 0, 0, 0},
    {"an ink the colour table lacks", HcVariant::Default, 0, 0, {}, {K, 0x99}, kMleUnknownInk, {}, {}, 0, 0, 0, 0, 0},
    {"a colour without a correction value", HcVariant::Corrected, 1, 0, {5, 5, 5, 5, 5}, {K}, kMleTooManyInks, {}, {},
     0, 0, 0, 0, 0},
    {"no correction value needed without a direction", HcVariant::Corrected, 0, 0, {5, 5, 5, 5, 5}, {K, C}, 0,
     {0, -12}, {0, 1}, 1, 0, 0, 1, 100},
};

TEST(PassPlanStartPage, ColumnsOffsetsRanksAndHeadTop) {
    for (const ColumnCase& t : kColumns) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(t.variant);
        if (t.resolution) hc.modes[0].value1 = t.resolution;
        if (!t.lineValues.empty()) hc.head.line_values = t.lineValues;
        PassEngine e(hc, t.direction);
        ASSERT_EQ(e.code, 0u);
        int32_t top = -1;
        ASSERT_EQ(MLE_StartPage(e.mle, 1000, uint16_t(t.inks.size()), t.inks.data(), nullptr, &top), t.code);
        if (t.code) continue;
        for (size_t i = 0; i < t.inks.size(); ++i) {
            EXPECT_EQ(MLE_GetOffsetNozzle(e.mle, int32_t(i)), t.offsets[i]) << "ink " << i;
            EXPECT_EQ(MLE_GetIndexNozzle(e.mle, int32_t(i)), t.ranks[i]) << "ink " << i;
        }
        EXPECT_EQ(e.mle->minOffsetColumn, t.minColumn);
        EXPECT_EQ(MLE_GetUpperColumnIndex(e.mle), t.maxColumn);
        EXPECT_EQ(MLE_GetOffsetNozzleMax(e.mle), t.offsets[size_t(t.minColumn)]);
        EXPECT_EQ(e.mle->upperInk, t.upper);
        EXPECT_EQ(e.mle->lowerInk, t.lower);
        EXPECT_EQ(top, t.top);
        EXPECT_EQ(MLE_GetHeadTopPosition(e.mle), t.top);
    }
}

// The split colour table: K's rows 0x30 and 0x31 (shift 2) and C, Y (shift
// 1) rows; offsets K 0, C 5, Y 3. Inks 0x30, 0x31, 0x32, 0x34 take columns
// K, K, C, Y; their p = shift x pitch + column offset: 0, 2, -5, -2, so ink 1
// stands highest and ink 2 lowest. Head top (mode 7, value 50): -(0 + 2) +
// 50, plus the largest row shift x pitch - offset of its colour (K's 2).
TEST(PassPlanStartPage, SplitColourTableColumnsAndShifts) {
    ModelHeadControl hc = hc_variant(HcVariant::SplitColors);
    hc.modes[0].array_values = {0, 5, 0, 3, 0, 0};
    for (auto& s : hc.modes[0].sub_modes) s.head_top_value = 50;
    PassEngine e(hc);
    ASSERT_EQ(e.code, 0u);
    const std::vector<uint8_t> inks = {0x30, 0x31, 0x32, 0x34};
    int32_t top = 0;
    ASSERT_EQ(MLE_StartPage(e.mle, 500, 4, inks.data(), nullptr, &top), 0u);
    EXPECT_EQ(e.mle->columnCount, 3);
    EXPECT_EQ(std::vector<int16_t>(e.mle->inkColumn, e.mle->inkColumn + 4), (std::vector<int16_t>{0, 0, 1, 2}));
    EXPECT_EQ(std::vector<int32_t>(e.mle->inkNozzleShift, e.mle->inkNozzleShift + 4),
              (std::vector<int32_t>{0, 2, 0, 1}));
    EXPECT_EQ(MLE_GetOffsetNozzle(e.mle, 2), -5);
    EXPECT_EQ(e.mle->upperInk, 1);
    EXPECT_EQ(e.mle->lowerInk, 2);
    EXPECT_EQ(top, 50);
    // The shifted row's window is the pattern's (178 nozzles) moved 2
    // nozzles down. Ink 1 stands 2 rasters below the pattern, which the
    // logic does not reach above the page: the plan stands 2 rasters
    // higher, its first pass at -2 printing ink 1 from raster 0.
    uint32_t pos = 0;
    ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, &pos), 0u);
    EXPECT_EQ(int32_t(pos), -2);
    EXPECT_EQ(e.mle->rowLead, 2);
    const MleNozzleInfo* info = nullptr;
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 1, &info), 0u);
    EXPECT_EQ(info->firstNozzle, 2);
    EXPECT_EQ(info->endNozzle, 180);
    EXPECT_EQ(info->nozzlePos + info->firstNozzle, 0);
    // A code that no row of the table holds.
    const uint8_t command = K;
    EXPECT_EQ(MLE_StartPage(e.mle, 500, 1, &command, nullptr, &top), kMleUnknownInk);
}

TEST(PassPlanStartPage, AtMostThirtyTwoInks) {
    PassEngine e(hc_variant(HcVariant::Default));
    const std::vector<uint8_t> inks(33, K);
    EXPECT_EQ(MLE_StartPage(e.mle, 100, 33, inks.data(), nullptr, nullptr), kMleTooManyInks);
    EXPECT_EQ(MLE_StartPage(e.mle, 100, 32, inks.data(), nullptr, nullptr), 0u);
    EXPECT_EQ(MLE_StartPage(e.mle, 100, 1, nullptr, nullptr, nullptr), kMleUnknownInk);
}

// ---- Stepping and accessors ---------------------------------------------------------------

TEST(PassPlanEngine, NextPastTheEndKeepsReportingTheEnd) {
    PassEngine e(hc_variant(HcVariant::Default));
    const uint8_t ink = K;
    ASSERT_EQ(MLE_StartPage(e.mle, 360, 1, &ink, nullptr, nullptr), 0u);
    uint32_t pos = 99;
    ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, &pos), 0u);
    EXPECT_EQ(pos, 0u);
    EXPECT_FALSE(MLE_IsLastPass(e.mle));
    uint8_t end = 9;
    ASSERT_EQ(MLE_Next(e.mle, &pos, &end), 0u);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(pos, 180u);
    EXPECT_TRUE(MLE_IsLastPass(e.mle));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(MLE_Next(e.mle, &pos, &end), 0u);
        EXPECT_EQ(end, 1);
        EXPECT_EQ(e.mle->passNo, 2);
        EXPECT_EQ(MLE_GetVPos(e.mle), 180u);
    }
    // A new length re-plans from logic 0, keeping the pass: 720 rasters, 4 passes.
    ASSERT_EQ(MLE_ReCreateSchedulingTable(e.mle, 720), 0u);
    EXPECT_EQ(e.mle->schedule.normalPasses, 4);
    EXPECT_EQ(MLE_GetVPos(e.mle), 360u);
    EXPECT_FALSE(MLE_IsLastPass(e.mle));
    MLE_EndPage(e.mle);
    MLE_EndPage(e.mle);  // twice is harmless
}

TEST(PassPlanEngine, AccessorsOfOneAndTwoHeads) {
    {
        PassEngine e(hc_variant(HcVariant::Interleaved));
        EXPECT_EQ(MLE_GetHeadheight(e.mle), 359u);  // (180 - 1) x 2 + 1
        EXPECT_EQ(MLE_GetNozzleMax(e.mle), 180);
        EXPECT_EQ(MLE_GetNormalMaxFeed(e.mle), 269);
        EXPECT_TRUE(MLE_BRSUpper(e.mle));
        EXPECT_FALSE(MLE_BRSLower(e.mle));
        EXPECT_FALSE(MLE_BRS(e.mle));
        EXPECT_FALSE(MLE_BRSAutoLower(e.mle));
        EXPECT_FALSE(MLE_BRSPositioning(e.mle));
        EXPECT_TRUE(MLE_FindPOLIndex(e.mle, 2));
        EXPECT_FALSE(MLE_FindPOLIndex(e.mle, 3));
        EXPECT_FALSE(MLE_GetLayeredHTEnable(e.mle));
        ASSERT_EQ(begin_page(e, 1000, {K}), 0u);
        EXPECT_EQ(MLE_GetNozzlePitchIncludedNozzleInfo(e.mle), 2);
        EXPECT_EQ(e.mle->schedule.polCycle, 2);
    }
    {
        // The reach takes the largest pitch of the mode's logics (slot 2's, 2).
        PassEngine e(hc_variant(HcVariant::SharedUnits));
        EXPECT_EQ(e.mle->resource->units[0].pitch, 1);
        EXPECT_EQ(MLE_GetHeadheight(e.mle), 359u);
        EXPECT_TRUE(MLE_BRSAutoLower(e.mle));  // slot 3 holds a logic
    }
    {
        // Corrected, no direction: offsets 0 to -30 widen the reach by 30.
        PassEngine e(hc_variant(HcVariant::Corrected));
        EXPECT_EQ(MLE_GetHeadheight(e.mle), 210u);
        EXPECT_EQ(MLE_GetNozzleOffsetTRAQ(e.mle, C), 12);
        EXPECT_EQ(MLE_GetNozzleOffsetTRAQ(e.mle, 0x99), 0);  // the first colour's
        int32_t n = 0;
        uint8_t codes[4] = {};
        MLE_GetTRAQColorCode(e.mle, &n, codes, 4);
        EXPECT_EQ(n, 6);
        EXPECT_EQ(std::vector<uint8_t>(codes, codes + 4), (std::vector<uint8_t>{K, C, M, Y}));
    }
    {
        PassEngine e(hc_variant(HcVariant::SplitColors));
        int32_t n = 0;
        MLE_GetTRAQColorCode(e.mle, &n, nullptr, 0);
        EXPECT_EQ(n, 7);  // the row codes
    }
    {
        // Two heads of 92 sharing 4: virtual nozzles 0-179, head 1 from 88.
        PassEngine e(hc_variant(HcVariant::TwoHeadsOverlap));
        EXPECT_EQ(MLE_GetHeadheight(e.mle), 180u);
        EXPECT_EQ(MLE_GetNozzleMax(e.mle), 92);
        ASSERT_EQ(begin_page(e, 1000, {K, C}), 0u);
        ASSERT_EQ(MLE_Next(e.mle, nullptr, nullptr), 0u);  // pass 1 at 180
        const MleNozzleInfo* info = nullptr;
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 1, &info), 0u);
        EXPECT_EQ(info->head, 0);
        EXPECT_EQ(info->nozzlePos, 180);
        EXPECT_EQ(info->firstNozzle, 0);
        EXPECT_EQ(info->endNozzle, 92);  // up to the overlap layer's end
        EXPECT_EQ(info->prevOverlapValues, nullptr);
        EXPECT_EQ(info->nextOverlap.first, 88);
        EXPECT_EQ(info->nextOverlap.end, 92);
        ASSERT_NE(info->nextOverlapValues, nullptr);
        EXPECT_EQ(std::vector<uint16_t>(info->nextOverlapValues, info->nextOverlapValues + 4),
                  (std::vector<uint16_t>{7, 7, 7, 7}));
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 1, 0, &info), 0u);
        EXPECT_EQ(info->head, 1);
        EXPECT_EQ(info->headNozzles, 92);
        EXPECT_EQ(info->nozzlePos, 180 + 88);
        EXPECT_EQ(info->firstNozzle, 0);  // from the overlap layer's start
        EXPECT_EQ(info->endNozzle, 92);
        EXPECT_EQ(info->prevOverlap.first, 0);
        EXPECT_EQ(info->prevOverlap.end, 4);
        EXPECT_EQ(info->nextOverlapValues, nullptr);
        EXPECT_EQ(MLE_GetNozzleInfo(e.mle, 2, 0, &info), kMleNoNozzleInfo);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(MLE_GetNozzleInfo(e.mle, 0, 2, &info), kMleNoNozzleInfo);
        EXPECT_EQ(MLE_GetNozzleInfo(e.mle, -1, 0, &info), kMleNoNozzleInfo);
    }
    {
        // A head-overlap window wider than the shared nozzles (80-99): the
        // connection values land only on the 4 shared ones.
        ModelHeadControl hc = hc_variant(HcVariant::TwoHeadsOverlap);
        hc.units[0].layers.back().range = {{80, 100}};
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, 1000, {K}), 0u);
        EXPECT_EQ(std::vector<uint16_t>(e.mle->table.overlapValues[0], e.mle->table.overlapValues[0] + 4),
                  (std::vector<uint16_t>{7, 7, 7, 7}));
        const MleNozzleInfo* info = nullptr;
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
        EXPECT_EQ(info->endNozzle, 92);
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 1, 0, &info), 0u);
        EXPECT_EQ(info->firstNozzle, 0);
        EXPECT_EQ(e.release(), "");
    }
    {
        // Without a head-overlap layer the heads split the 4 shared nozzles.
        PassEngine e(hc_variant(HcVariant::TwoHeads));
        ASSERT_EQ(begin_page(e, 1000, {K}), 0u);
        const MleNozzleInfo* info = nullptr;
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
        EXPECT_EQ(info->endNozzle, 90);
        ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 1, 0, &info), 0u);
        EXPECT_EQ(info->firstNozzle, 2);
        EXPECT_EQ(info->endNozzle, 92);
    }
}

struct ValueCase {
    const char* what;
    void (*edit)(ModelHeadControl&);
    uint32_t minLengthCode;
    uint32_t minLength;
    uint32_t preBufferingCode;
    int32_t preBuffering;
    uint32_t switchingCode;
    int32_t switching, switchingSecond;
};

const ValueCase kValues[] = {
    {"the default sub-mode", [](ModelHeadControl&) {}, 0, 180, 0, -1, 0, 0, 0x7fffffff},
    {"minimum length 0", [](ModelHeadControl& h) { h.modes[0].sub_modes[0].min_length = 0; }, kMleNoMinLength, 0, 0,
     -1, 0, 0, 0x7fffffff},
    {"pre-buffering -2",
     [](ModelHeadControl& h) { h.modes[0].sub_modes[0].pre_buffering = -2; }, 0, 180, kMleNoPreBuffering, 0, 0, 0,
     0x7fffffff},
    {"no switching position",
     [](ModelHeadControl& h) { h.modes[0].sub_modes[0].ht_mask_switching = -1; }, 0, 180, 0, -1,
     kMleNoSwitchingPosition, 0, 0},
    // The pass after the normal group lies in no group: no head table.
    {"switching from a pass after the last",
     [](ModelHeadControl& h) {
         h.modes[0].sub_modes[0].ht_mask_switching = 77;
         h.modes[0].sub_modes[0].brs_method = 1;
     },
     0, 180, 0, -1, kMleSwitchingTableFailed, 77, 0},
};

TEST(PassPlanEngine, ValueQueries) {
    for (const ValueCase& t : kValues) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(HcVariant::Default);
        t.edit(hc);
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        ASSERT_EQ(begin_page(e, 1000, {K}), 0u);
        uint32_t length = 0;
        EXPECT_EQ(MLE_GetMinLength(e.mle, &length), t.minLengthCode);
        if (!t.minLengthCode) {
            EXPECT_EQ(length, t.minLength);
        }
        int32_t pre = 5;
        EXPECT_EQ(MLE_GetPreBuffringRasterPos(e.mle, &pre), t.preBufferingCode);
        if (!t.preBufferingCode) {
            EXPECT_EQ(pre, t.preBuffering);
        }
        int32_t a = -9, b = -9;
        EXPECT_EQ(MLE_GetHTMaskSwitchingPosition(e.mle, &a, &b), t.switchingCode);
        if (t.switchingCode != kMleNoSwitchingPosition) {
            EXPECT_EQ(a, t.switching);
        }
        if (!t.switchingCode) {
            EXPECT_EQ(b, t.switchingSecond);
        }
        // The current pass's table is intact.
        EXPECT_EQ(e.mle->table.headPos, 0);
        EXPECT_EQ(e.mle->table.activeEnd, 180);
    }
}

// Null passes after the normal group: (10, 0) is the first F-trans null
// pass, (2, 0) the first lower one, right after it.
TEST(PassPlanEngine, NullPassQueries) {
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.units[0].null_passes = {{10, 0}, {2, 0}, {2, 5}};
    PassEngine e(hc);
    const uint8_t ink = K;
    ASSERT_EQ(MLE_StartPage(e.mle, 1000, 1, &ink, nullptr, nullptr), 0u);
    ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, nullptr), 0u);  // 6 normal passes
    for (int32_t p = 0; p < 6; ++p) EXPECT_FALSE(MLE_IsInsertNullPass(e.mle, p)) << p;
    EXPECT_TRUE(MLE_IsInsertNullPass(e.mle, 6));
    EXPECT_TRUE(MLE_IsInsertNullPass(e.mle, 7));
    EXPECT_FALSE(MLE_IsInsertNullPass(e.mle, 8));  // only 2 other entries: (2, 5) is out of reach
    EXPECT_FALSE(MLE_IsInsertNullPass(e.mle, -1));
    EXPECT_EQ(MLE_GetInsertNullPassNum(e.mle, 0, 100), 2u);
    EXPECT_EQ(MLE_GetInsertNullPassNum(e.mle, 7, 0xFFFFFFFFu), 1u);
    EXPECT_EQ(MLE_GetInsertNullPassNum(e.mle, 0, 6), 0u);
}

// ---- Corrections of the nozzle information -------------------------------------------------

// Layered halftoning: every nozzle array puts nozzles 0-89 in layer 0
// (halftone index 3) and 90 on in layer 1, whose index is negative: those
// nozzles do not print, whatever their state.
TEST(PassPlanNozzleInfo, LayeredHalftoneDisablesNozzlesWithoutIndex) {
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.modes[0].function_flags |= 0x10000;
    hc.modes[0].lht.starts.assign(6, {0, 90});
    hc.modes[0].lht.halftones.assign(6, {3, 0xFFFF});
    PassEngine e(hc);
    ASSERT_EQ(e.code, 0u);
    EXPECT_TRUE(MLE_GetLayeredHTEnable(e.mle));
    ASSERT_EQ(begin_page(e, 1000, {C}), 0u);
    const MleNozzleInfo* info = nullptr;
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
    ASSERT_EQ(info->endNozzle, 180);
    ASSERT_NE(info->lhtLayer, nullptr);
    EXPECT_EQ(info->state[89], 1);
    EXPECT_EQ(info->state[90], 0);
    EXPECT_EQ(info->lhtLayer[89], 0);
    EXPECT_EQ(info->lhtLayer[90], 1);
    EXPECT_EQ(info->lhtHalftone[0], 3);
    EXPECT_EQ(e.mle->schedule.state[90], 1);  // the pass's own state is untouched
}

// Layered halftoning without layer arrays for the ink (no nozzle has a
// window, so none were built): no nozzle information.
TEST(PassPlanNozzleInfo, LayeredHalftoneWithoutArrays) {
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.modes[0].function_flags |= 0x10000;
    hc.modes[0].lht.starts.assign(6, {0});
    hc.modes[0].lht.halftones.assign(6, {1});
    hc.units[0].layers[0].range = {{0, 0}};
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 1000, {K}), 0u);
    const MleNozzleInfo* info = nullptr;
    EXPECT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), kMleNoNozzleInfo);
}

// The nozzle-line map, once chips are set: C's line is of head kind 2
// (chip 0: vertical shift 2 - 1 - 0 = 1, the base line), the others of kind
// 1 (chip 1: shift 0). K's head-top shift 1 - 0 moves its base down by head
// 1's first nozzle (88); C's 0 keeps it but takes the next head ((h + 1)
// mod 2). Every pass stands 88 rasters lower (the base head's first nozzle).
TEST(PassPlanNozzleInfo, NozzleLineMapMovesBaseAndHead) {
    ModelHeadControl hc = hc_variant(HcVariant::TwoHeads);
    hc.head.head_kinds = {1, 1, 1, 1, 2, 1};  // lines hold the colour order reversed: line 4 is C
    PassEngine e(hc);
    ASSERT_EQ(e.code, 0u);
    const uint16_t one = 1, zero = 0;
    ASSERT_EQ(NLM_SetChipUsed(1, 1, &one, e.mle->nlm), 0u);
    ASSERT_EQ(NLM_SetChipUsed(2, 1, &zero, e.mle->nlm), 0u);
    const uint8_t inks[] = {K, C};
    ASSERT_EQ(MLE_StartPage(e.mle, 1000, 2, inks, nullptr, nullptr), 0u);
    uint32_t pos = 0;
    ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, &pos), 0u);
    EXPECT_EQ(pos, 88u);
    ASSERT_EQ(MLE_Next(e.mle, &pos, nullptr), 0u);
    EXPECT_EQ(pos, 180u + 88u);
    const MleNozzleInfo* info = nullptr;
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
    EXPECT_EQ(info->head, 0);
    EXPECT_EQ(info->nozzlePos, 180 + 88);
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 1, &info), 0u);
    EXPECT_EQ(info->head, 1);
    EXPECT_EQ(info->nozzlePos, 180 + 88);
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 1, 1, &info), 0u);
    EXPECT_EQ(info->head, 0);
    EXPECT_EQ(info->nozzlePos, 180);
}

// The feed-direction shift (resolution 2, numerator 1 / 1: 2 nozzles)
// renumbers the window without moving its rasters; a window starting at
// nozzle 0 cannot move below it and keeps its numbers.
TEST(PassPlanNozzleInfo, FeedDirectionShiftRenumbersTheWindow) {
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.units[0].top_offset = 50;
    hc.head.yds_resolution = 2;
    hc.head.yds_columns.assign(6, 0);
    PassEngine e(hc);
    ASSERT_EQ(e.code, 0u);
    const int16_t num[] = {1}, den[] = {1};
    const int16_t* nums[] = {num};
    const int16_t* dens[] = {den};
    ASSERT_EQ(YDS_SetCorrectionArray(1, 1, nums, dens, e.mle->yds), 0u);
    ASSERT_EQ(begin_page(e, 400, {K}), 0u);
    const MleNozzleInfo* info = nullptr;
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
    EXPECT_EQ(info->yShift, 2);
    EXPECT_EQ(info->firstNozzle, 48);
    EXPECT_EQ(info->endNozzle, 178);
    EXPECT_EQ(info->nozzlePos + (info->yShift + info->firstNozzle) * info->pitch, 0);
    EXPECT_EQ(info->state, e.mle->schedule.state + 50);
    ASSERT_EQ(MLE_Next(e.mle, nullptr, nullptr), 0u);
    ASSERT_EQ(MLE_GetNozzleInfo(e.mle, 0, 0, &info), 0u);
    EXPECT_EQ(info->yShift, 0);
    EXPECT_EQ(info->firstNozzle, 0);
}

// ---- Refusals ----------------------------------------------------------------------------

struct RefusalCase {
    const char* what;
    HcVariant variant;
    void (*edit)(ModelHeadControl&);
    uint32_t length;
    int32_t logic;
    uint32_t code;
    std::vector<uint8_t> inks{K};
    uint32_t replan = 0;  // the page re-planned to this length: the code is the re-plan's
};

HcLayer& normal_layer(ModelHeadControl& h) { return h.units[0].layers[0]; }

// The normal layer as a cycle of the feeds, each pass over nozzle 0 alone.
void narrow_cycle(ModelHeadControl& h, std::vector<int16_t> feeds) {
    HcLayer& l = normal_layer(h);
    l.range.assign(feeds.size(), {0, 1});
    l.feed = std::move(feeds);
}

// A head of n nozzles at pitch p: the normal layer a pass of n - 1
// nozzles feeding n - 1 (with p even, n - 1 and p share no factor).
void large_head(ModelHeadControl& h, uint16_t n, uint16_t p) {
    h.head.nozzles = {n};
    h.units[0].pitch = p;
    h.units[0].normal = {{uint16_t(n - 1), 0, 0, 0}};
    normal_layer(h).feed = {int16_t(n - 1)};
    normal_layer(h).range = {{0, uint16_t(n - 1)}};
}

// k overlap layers with priority over the normal layer's windows, each over 32767 nozzles.
void priority_layers(ModelHeadControl& h, int k) {
    HcLayer l = normal_layer(h);
    l.kind = 13;
    l.range = {{0, 32767}};
    for (int i = 0; i < k; ++i) h.units[0].layers.push_back(l);
}

// A top offset of 40 and n upper passes feeding 90 over nozzle 0 alone,
// ending 1050 rasters above the plan's end: nothing of them reaches the page.
void upper_passes(ModelHeadControl& h, int n) {
    h.units[0].top_offset = 40;
    h.units[0].layers.push_back(HcLayer{0, -(n * 90 + 1000), -1050, {90}, {{0, 1}}, {1}, {0}, {}});
}

void low_rows_ending(ModelHeadControl& h, int32_t end) {
    h.units[0].top_offset = 0;
    normal_layer(h).end = end;
}

// Repeat mode without upper passes, a lower split of 40 and the normal row's
// value 0: on 57 rasters 9 normal passes (8 ... 40), the lower passes from
// `start` + 57 to 56. A lower pass's window starts 2 rasters below it.
void repeat_lower_only(ModelHeadControl& h, int32_t start) {
    h.units[0].layers.erase(h.units[0].layers.begin());
    h.units[0].layers[1].start = start;
    h.units[0].normal[0].value = 0;
    h.modes[0].value3 = 40;
}

// C on a row 1 nozzle down, 1 raster below K: the plan moves up 1 raster.
void repeat_row_one_down(ModelHeadControl& h) {
    h.modes[0].value3 = 9;
    h.modes[0].function_flags |= 0x40;
    h.modes[0].block_e = {1, {K, C}, {K, C}, {0, 1}};
}

const RefusalCase kRefusals[] = {
    {"slot 1 without a logic", HcVariant::Default, [](ModelHeadControl&) {}, 1000, 1, kMleNoLogic},
    {"slot -1", HcVariant::Default, [](ModelHeadControl&) {}, 1000, -1, kMleNoLogic},
    {"slot 4", HcVariant::Default, [](ModelHeadControl&) {}, 1000, 4, kMleNoLogic},
    {"page shorter than the normal layer's start", HcVariant::Interleaved, [](ModelHeadControl&) {}, 1, 0,
     kMleNegativeRange},
    {"normal layer ending before its start", HcVariant::Interleaved, [](ModelHeadControl&) {}, 2, 0,
     kMleNegativeRange},
    {"empty normal table", HcVariant::Default, [](ModelHeadControl& h) { h.units[0].normal.clear(); }, 1000, 0,
     kMleEmptyRangeTable},
    {"normal table of width 0", HcVariant::Default, [](ModelHeadControl& h) { h.units[0].normal[0].width = 0; }, 1000,
     0, kMleEmptyRangeTable},
    {"pitch 0", HcVariant::Default, [](ModelHeadControl& h) { h.units[0].pitch = 0; }, 1000, 0, kMleBadLogic},
    {"no head units", HcVariant::Default, [](ModelHeadControl& h) { h.units[0].head_units.clear(); }, 1000, 0,
     kMleBadLogic},
    {"negative kind", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).kind = -1; }, 1000, 0,
     kMleBadLogic},
    {"kind of head 1 with one head", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).kind = 21; }, 1000,
     0, kMleBadLogic},
    {"cycle length 0", HcVariant::Default,
     [](ModelHeadControl& h) {
         normal_layer(h).feed.clear();
         normal_layer(h).range.clear();
     },
     1000, 0, kMleBadLogic},
    {"range end above 32767", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).range[0].second = 40000; },
     1000, 0, kMleBadLogic},
    {"feed sum 0", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).feed[0] = 0; }, 1000, 0,
     kMleBadLogic},
    {"feed sum negative", HcVariant::Interleaved,
     [](ModelHeadControl& h) { h.units[0].layers[3].feed = {-5, -1, 0, 1}; }, 1000, 0, kMleBadLogic},
    {"feed sum past 16 bits", HcVariant::Default,
     [](ModelHeadControl& h) {
         normal_layer(h).feed = {20000, 20000};
         normal_layer(h).range = {{0, 180}, {0, 180}};
     },
     1000, 0, kMleBadLogic},
    {"lower passes without a segment layer", HcVariant::Default,
     [](ModelHeadControl& h) { h.units[0].layers.push_back(normal_layer(h)), h.units[0].layers.back().kind = 2; },
     1000, 0, kMleNoExtraPasses},
    {"repeat mode with a lower split of 0", HcVariant::Default, [](ModelHeadControl& h) { h.units[0].flags = 0x100; },
     1000, 0, kMleBadLogic},
    // 32767 passes per raster of cycle feed 1 on an open-length page: 7 x 10^11 passes.
    {"more than 2^31 - 1 passes", HcVariant::Default,
     [](ModelHeadControl& h) {
         normal_layer(h).feed.assign(32767, 0);
         normal_layer(h).feed[0] = 1;
         normal_layer(h).range.assign(32767, {0, 180});
     },
     21543311, 0, kMleBadLogic},
    {"a page end beyond 31 bits", HcVariant::Default, [](ModelHeadControl&) {}, 0x80000001u, 0, kMleBadLogic},
    {"a plan of 2^31 - 1 rasters", HcVariant::Default, [](ModelHeadControl&) {}, 0x7FFFFFFFu, 0, 0},
    {"a page end beyond 31 bits, the layer's end within", HcVariant::Default,
     [](ModelHeadControl& h) { normal_layer(h).end = 1000; }, 0x80000001u, 0, kMleBadLogic},
    // The work bounds, for one ink (the default: a head of 180 nozzles,
    // pitch 1, feed 180). A pass costs the driver at least 2^14 nozzle
    // steps; a regular pass of the logic's head (N nozzles of its pattern,
    // pitch p) costs R = 4 N + 4 N p + 2^14, and a stretch of 4096 rasters
    // may cost 4 x 4096 x R. A cycle of 4 passes advancing 1 raster over
    // nozzle 0 alone (N = 1): R = 16392, a stretch 268566528 steps. Its
    // passes visit 16 passes of the cycle within the reach: 4 + (4 + 16 +
    // 16) + 2^14 = 16424 steps a pass, at most 16352 passes: 4 a raster of
    // the page, 16352 on a page of 4088 rasters, 16356 on one of 4089.
    {"a stretch of 16352 passes of 16424 steps", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {0, 0, 0, 1}); }, 4088, 0, 0},
    {"a stretch of 16356 passes of 16424 steps", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {0, 0, 0, 1}); }, 4089, 0, kMleBadLogic},
    // Seven inks: the driver sends 7 x 180 lines a pass, 20160 steps; a
    // regular pass costs 20168, this one 20200: at most 16358 passes.
    {"seven inks: a stretch of 16356 passes of 20200 steps", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {0, 0, 0, 1}); }, 4089, 0, 0, std::vector<uint8_t>(7, K)},
    {"seven inks: a stretch of 16360 passes of 20200 steps", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {0, 0, 0, 1}); }, 4090, 0, kMleBadLogic, std::vector<uint8_t>(7, K)},
    // Two passes advancing 3 rasters, and three advancing 4: 0.67 and 0.75
    // passes a raster, each sending 180 lines; both far within the bounds.
    {"a raster sent 120 times", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {1, 2}); }, 5000, 0, 0},
    {"a raster sent 135 times", HcVariant::Default,
     [](ModelHeadControl& h) { narrow_cycle(h, {1, 1, 2}); }, 5000, 0, 0},
    // One build, bounded by 2^20 steps for heads up to 16 x (4 N + 4 N p)
    // = 2^20 steps. Each overlap layer with priority walks the normal
    // layer's 6 passes with its own window of 32767 nozzles: 6 x 32768 + 7
    // steps; the sweeps take 4 x 32767, the normal layer's own walk a step
    // per pass (1 + 6 + 6): 131081 + 196615 k steps, 917541 for k = 4 such
    // layers, beyond 2^20 for 5.
    {"four wide priority overlap layers", HcVariant::Default, [](ModelHeadControl& h) { priority_layers(h, 4); },
     1000, 0, 0},
    {"five wide priority overlap layers", HcVariant::Default, [](ModelHeadControl& h) { priority_layers(h, 5); },
     1000, 0, kMleBadLogic},
    // A head of 2048 nozzles at pitch 8 (one normal pass of 2047 on the
    // page) may build 16 x (4 x 2048 + 4 x 2048 x 8) = 1179648 steps: k
    // wide priority layers cost 4 x 32767 + 3 + 32770 k, 1146941 for k =
    // 31, 1179711 for 32. The small head refuses the 31.
    {"31 wide priority overlap layers on a head of 2048 nozzles", HcVariant::Default,
     [](ModelHeadControl& h) { large_head(h, 2048, 8), priority_layers(h, 31); }, 1000, 0, 0},
    {"32 wide priority overlap layers on a head of 2048 nozzles", HcVariant::Default,
     [](ModelHeadControl& h) { large_head(h, 2048, 8), priority_layers(h, 32); }, 1000, 0, kMleBadLogic},
    {"31 wide priority overlap layers on the small head", HcVariant::Default,
     [](ModelHeadControl& h) { priority_layers(h, 31); }, 1000, 0, kMleBadLogic},
    // Cycle feed 2 or 1 under a 180-nozzle window: each raster reached by
    // 90 or 180 passes, but half a pass or a pass a raster, each walking
    // the passes within its reach a step each: within the bounds.
    {"feed 2 under a wide window", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).feed = {2}; }, 1000,
     0, 0},
    {"feed 1 under a wide window", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).feed = {1}; }, 1000,
     0, 0},
    // Passes more than a head's height above the page: (-start - 1000) /
    // 180 of them, of 4 x 180 + (1 + 4 + 4) + 2^14 = 17113 steps each; they
    // may cost a stretch of regular passes, 4096 x (4 x 180 + 4 x 180 +
    // 2^14) = 73007104 steps: at most 4266.
    {"4266 passes above the page", HcVariant::Default,
     [](ModelHeadControl& h) { normal_layer(h).start = -(4266 * 180 + 1000); }, 1000, 0, 0},
    {"4267 passes above the page", HcVariant::Default,
     [](ModelHeadControl& h) { normal_layer(h).start = -(4267 * 180 + 1000); }, 1000, 0, kMleBadLogic},
    // Ink 0x30 on a row 90 nozzles down: the logic's passes start at the
    // page top, so the plan is laid out 50 rasters longer (the top offset
    // gives 40) and moved up by as much. An upper layer of empty passes
    // (feed 90, nozzle 0 alone) stands above the page, laid out from the
    // plan's end; the passes above the page top less a head's height and
    // the lead are bounded as above.
    {"rows standing low: 4180 passes above the page", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { upper_passes(h, 4180); }, 1040, 0, 0, {K, 0x30, C}},
    {"rows standing low: 4181 passes above the page", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { upper_passes(h, 4181); }, 1040, 0, kMleBadLogic, {K, 0x30, C}},
    // The upper passes 40 rasters higher: with the plan moved up by the lead
    // (50), the last stands a head's height and the lead above the page top,
    // not yet off the page; 1 raster higher it is.
    {"rows standing low: the last pass a head's height and the lead above the page", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { upper_passes(h, 4180), h.units[0].layers.back().start -= 40; }, 1040, 0, 0,
     {K, 0x30, C}},
    {"rows standing low: the last pass 1 raster higher", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { upper_passes(h, 4180), h.units[0].layers.back().start -= 41; }, 1040, 0,
     kMleBadLogic, {K, 0x30, C}},
    // Without a top offset the lead is 90. The normal layer (passes every 90
    // rasters) ends at 377,459, as far down as the bounds let it on a page
    // of 1000 rasters (one pass more refuses it). Re-planned shorter, more of
    // its passes stand below the page's end and a head's height: at 900 as
    // many, at 899 one more.
    {"rows standing low: passes below the page", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { low_rows_ending(h, 377459); }, 1000, 0, 0, {K, 0x30, C}},
    {"rows standing low: a pass more below the page", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { low_rows_ending(h, 377460); }, 1000, 0, kMleBadLogic, {K, 0x30, C}},
    {"rows standing low: passes below a page re-planned shorter", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { low_rows_ending(h, 377459); }, 1000, 0, 0, {K, 0x30, C}, 900},
    {"rows standing low: a pass more below a page re-planned shorter", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { low_rows_ending(h, 377459); }, 1000, 0, kMleBadLogic, {K, 0x30, C}, 899},
    // Re-planned to 50 rasters, the page is shorter than the normal layer's
    // start (100), though the plan, moved up by the lead of 90, reaches it.
    {"rows standing low: a page re-planned shorter than the normal layer's start", HcVariant::DriverGrouped,
     [](ModelHeadControl& h) { low_rows_ending(h, 0), normal_layer(h).start = 100; }, 1000, 0, kMleNegativeRange,
     {K, 0x30, C}, 50},
    {"a layer starting at -2^31", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).start = INT32_MIN; },
     1000, 0, kMleBadLogic},
    {"a selector outside 1..colorNum", HcVariant::Default, [](ModelHeadControl& h) { normal_layer(h).selector = {2}; },
     1000, 0, kMleCreateFailed},
    {"an empty selector list reads 0", HcVariant::Default,
     [](ModelHeadControl& h) { normal_layer(h).selector.clear(); }, 1000, 0, kMleCreateFailed},
    // The edge logics.
    {"an extended lower cycle summing to 0", HcVariant::TwoTables,
     [](ModelHeadControl& h) { h.units[0].feed_base = 8; }, 57, 0, kMleBadLowerFeed},
    {"an extended lower cycle summing below 0", HcVariant::TwoTables,
     [](ModelHeadControl& h) { h.units[0].feed_base = 12; }, 57, 0, kMleBadLowerFeed},
    {"a lower cycle not a multiple of the normal cycle", HcVariant::TwoTables,
     [](ModelHeadControl& h) {
         for (size_t i : {1u, 2u}) {
             h.units[0].layers[i].feed = {4, 4};
             h.units[0].layers[i].range = {{0, 8}, {0, 8}};
         }
     },
     57, 0, kMleBadLowerFeed},
    {"a negative sum of F-trans steps", HcVariant::FTrans,
     [](ModelHeadControl& h) {
         ovcg_test::HcLogic& u = h.units[0];
         u.flags = ovcg_test::kHcTwoTables | ovcg_test::kHcFixedFTrans | ovcg_test::kHcLowerPositioning;
         u.feed_base = 5;
         u.lower_sum_steps = 2;
         u.layers[0].feed = {0};
         u.layers[1].feed = {-5, 3};  // extended -2, 6
         u.layers[1].range = {{0, 8}, {0, 8}};
     },
     57, 0, kMleBadLowerFeed},
    {"two tables without a normal layer", HcVariant::TwoTables,
     [](ModelHeadControl& h) { h.units[0].layers[1].kind = 9; }, 57, 0, kMleBadLogic},
    {"an MWSW feed column summing to 0", HcVariant::Mwsw,
     [](ModelHeadControl& h) { h.units[0].mwsw[0].feed = 0; }, 57, 0, kMleEmptyRangeTable},
    {"an empty F-trans table", HcVariant::FTrans, [](ModelHeadControl& h) { h.units[0].ftrans.clear(); },
     57, 0, kMleEmptyRangeTable},
    {"a lower layer with a feed sum of 0", HcVariant::Lower,
     [](ModelHeadControl& h) { h.units[0].layers[0].feed = {0}; }, 57, 0, kMleBadLogic},
    {"lower selector blocks with a lower split of 0", HcVariant::Lower,
     [](ModelHeadControl& h) { h.units[0].flags = 0x8000; }, 57, 0, kMleBadLogic},
    {"lower passes without virtual passes", HcVariant::Lower,
     [](ModelHeadControl& h) { h.units[0].layers[2].end = -17; }, 57, 0, kMleNoExtraPasses},
    {"repeat mode with fewer normal passes than the split", HcVariant::Repeat,
     [](ModelHeadControl& h) { h.modes[0].value3 = 40; }, 57, 0, kMleNegativeRange},
    {"repeat mode with as many normal passes as the split", HcVariant::Repeat,
     [](ModelHeadControl& h) { h.modes[0].value3 = 8; }, 57, 0, 0},
    {"repeat mode with one normal pass fewer than the split", HcVariant::Repeat,
     [](ModelHeadControl& h) { h.modes[0].value3 = 9; }, 57, 0, kMleNegativeRange},
    {"repeat mode with no pass outside the normal group", HcVariant::Repeat,
     [](ModelHeadControl& h) { h.units[0].layers = {h.units[0].layers[1]}, h.modes[0].value3 = 40; }, 57, 0, 0},
    // Lower passes at 52 and 56: the recount keeps the first (window at 54),
    // not the second (58); at 56 alone it keeps none.
    {"repeat mode whose recount leaves one pass outside the normal group", HcVariant::Repeat,
     [](ModelHeadControl& h) { repeat_lower_only(h, -5); }, 57, 0, kMleNegativeRange},
    {"repeat mode whose recount leaves no pass outside the normal group", HcVariant::Repeat,
     [](ModelHeadControl& h) { repeat_lower_only(h, -1); }, 57, 0, 0},
    // Planned on 60 rasters with a row lead of 1, re-planned on 59: 8 normal
    // passes on the page's own length, fewer than the split (the plan, 1
    // raster longer, would hold 9).
    {"repeat mode with a row lead of 1, re-planned shorter than the split", HcVariant::Repeat,
     repeat_row_one_down, 60, 0, kMleNegativeRange, {K, C}, 59},
    // 65,537 lower passes feeding 1 from the page top: one more than the edge tables hold.
    {"more lower passes than the edge tables hold", HcVariant::Lower,
     [](ModelHeadControl& h) { h.units[0].layers[0].start = 0, h.units[0].layers[0].feed = {1}; }, 65537, 0,
     kMleBadLogic},
    // The lower-edge record of a type-3 layer stepping 10000 x 6 against a
    // window of 8: x = -59992, beyond 16 bits.
    {"a lower-edge record beyond 16 bits", HcVariant::LowerEdge,
     [](ModelHeadControl& h) {
         h.modes[0].value3 = 10000;
         h.units[0].layers.push_back(HcLayer{3, 0, -17, {6}, {{0, 8}}, {1}, {0}, {}});
     },
     45, 0, kMleBadLogic},
    // 20,000 lower passes feeding 1, each searching 2000 virtual passes of feed 1.
    {"edge tables too costly to build", HcVariant::Lower,
     [](ModelHeadControl& h) {
         h.units[0].layers[0].start = 0;
         h.units[0].layers[0].feed = {1};
         h.units[0].layers[2].feed = {1};
         h.units[0].layers[2].range = {{0, 2000}};
     },
     20000, 0, kMleBadLogic},
};

TEST(PassPlanEngine, RefusalsOneFieldAtATime) {
    for (const RefusalCase& t : kRefusals) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(t.variant);
        t.edit(hc);
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        ASSERT_EQ(MLE_StartPage(e.mle, t.length, uint16_t(t.inks.size()), t.inks.data(), nullptr, nullptr), 0u);
        const uint32_t rc = MLE_CreateSchedulingTable(e.mle, t.logic, nullptr);
        EXPECT_EQ(t.replan && !rc ? MLE_ReCreateSchedulingTable(e.mle, t.replan) : rc, t.code);
        // The memory sizing refuses the page's logic alike, but for the
        // first pass's head table, which it does not build.
        uint32_t size = 0;
        if (!t.replan && t.logic == 0 && rc != kMleCreateFailed) {
            EXPECT_EQ(MLE_SumAllocateMemorySize(e.mle, &size), rc) << "sizing";
        }
        EXPECT_EQ(e.release(), "");
    }
}

// ---- Allocation failures ---------------------------------------------------------------------

// Fails the n-th allocation of the engine (and every later one) in the
// constructor, the page start or the schedule; each gives its code, and
// ending the page and the job leaves nothing allocated.
std::vector<uint32_t> sweep(const ModelHeadControl& hc) {
    std::vector<uint32_t> codes;
    for (size_t n = 1; n < 200; ++n) {
        PassEngine e(hc, 0, 1, n);
        uint32_t code = e.code;
        if (!code) {
            const std::vector<uint8_t> inks = six_inks();
            code = MLE_StartPage(e.mle, 1000, 6, inks.data(), nullptr, nullptr);
            if (!code) code = MLE_CreateSchedulingTable(e.mle, 0, nullptr);
            MLE_EndPage(e.mle);
        }
        if (code != 0 && e.mle && n <= 4) ADD_FAILURE() << "object returned on failure, allocation " << n;
        EXPECT_EQ(e.release(), "") << "allocation " << n;
        if (!code) break;
        codes.push_back(code);
    }
    return codes;
}

TEST(PassPlanAlloc, EachAllocationGivesItsCodeAndLeavesNothing) {
    // Object, input-ink record, head entries and first nozzles; the page's
    // ink codes and nozzle lines; the layer copy, the layers' walk bounds,
    // four per-nozzle arrays, the builders' scratch, the overlap widths; the layered-halftone
    // nozzle arrays (two tables of pointers and a pair per nozzle array).
    std::vector<uint32_t> one = {201, 201, 204, 204, 201, 201, 202, 203, 203, 203, 203, 203, 203, 203};
    one.insert(one.end(), 14, kLhtNoNozzleArrays);
    EXPECT_EQ(sweep(hc_variant(HcVariant::Default)), one);
    // Two heads add the overlap zones, their array table and one array.
    std::vector<uint32_t> two = {201, 201, 204, 204, 205, 205, 205};
    two.insert(two.end(), one.begin() + 4, one.end());
    EXPECT_EQ(sweep(hc_variant(HcVariant::TwoHeadsOverlap)), two);
}

}  // namespace
}  // namespace ovcg::irac::test
