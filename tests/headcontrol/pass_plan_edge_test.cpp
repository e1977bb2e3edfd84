// The edge groups against plans derived by hand (lower table, lower-edge
// record, F-trans pass table, MWSW states, repeat mode, extended feeds,
// MIR list, null passes), re-planning within a page, the lower-edge, BRS
// and loss-nozzle queries, and every allocation failure.
#include "pass_plan_fixture.h"

#include "headcontrol/codes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcLayer;
using ovcg_test::HcLogic;
using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

constexpr uint8_t K = 0x10;

uint32_t begin_page(PassEngine& e, uint32_t length, uint8_t ink = K, int32_t logic = 0) {
    if (uint32_t rc = MLE_StartPage(e.mle, length, 1, &ink, nullptr, nullptr)) return rc;
    return MLE_CreateSchedulingTable(e.mle, logic, nullptr);
}

std::string states_of(const NozzleRecord& r) {
    std::string s;
    for (uint8_t st : r.states) s += char('0' + st);
    return s;
}

struct Entry {
    int16_t first, end;
};
std::vector<Entry> lower_entries(const MleSchedule& s) {
    std::vector<Entry> out;
    for (int32_t i = 0; i < s.lowerPasses; ++i) out.push_back({s.lowerTable[i].first, s.lowerTable[i].end});
    return out;
}
bool operator==(Entry a, Entry b) { return a.first == b.first && a.end == b.end; }
void PrintTo(Entry e, std::ostream* os) { *os << "[" << e.first << ", " << e.end << ")"; }

// What one pass of ink K prints: its position, window and states.
struct PassWant {
    int32_t vPos;
    int16_t first, end;
    const char* states;
};

// The edge invariants over the whole page of `length` rasters.
std::string covers(PassEngine& e, uint32_t length, const std::vector<uint8_t>& inks = {K}) {
    return check_edge_plan(plan_page(e, {length, inks, {}, 0}), int32_t(inks.size()), 0, length, 0,
                           MLE_GetHeadheight(e.mle));
}

void expect_passes(const PagePlan& plan, const std::vector<PassWant>& want) {
    ASSERT_EQ(plan.code, 0u) << plan.failedCall;
    ASSERT_EQ(plan.passes.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        const NozzleRecord& r = plan.passes[i].nozzles[0];
        EXPECT_EQ(plan.passes[i].vPos, want[i].vPos);
        EXPECT_EQ(r.info.firstNozzle, want[i].first);
        EXPECT_EQ(r.info.endNozzle, want[i].end);
        EXPECT_EQ(states_of(r), want[i].states);
    }
}

// ---- Plans derived by hand ---------------------------------------------------------------

// Lower on 45 rasters: (45 - 16) mod 8 = 5, so G = 24: normal passes at 0,
// 8, 16 (end 23), segment passes at 0 ... 40 (3 virtual: 24, 32, 40), lower
// passes from 20 feeding 3 to 44. The first takes 24-27 (nozzles 4-7), each
// next the following 3 rasters; the one at 41 would start at 46 and the one
// at 44 finds nothing: 7 lower passes. The last prints rasters 43-44.
TEST(PassPlanEdgeGolden, LowerTableAndRecount) {
    PagePlan lower;
    {
    PassEngine e(hc_variant(HcVariant::Lower));
    ASSERT_EQ(begin_page(e, 45), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(s.normalPasses, 3);
    EXPECT_EQ(s.lowerPasses, 7);
    EXPECT_EQ(s.mwswExtraPasses, 3);
    EXPECT_EQ(lower_entries(s), (std::vector<Entry>{{4, 8}, {5, 8}, {5, 8}, {5, 8}, {5, 8}, {5, 8}, {5, 8}}));
    EXPECT_EQ(s.dummyHeadTable, nullptr);  // freed once the lower table stands
    expect_passes(plan_page(e, {45, {K}, {}, 0}), {{0, 0, 8, "11111111"},
                                                   {8, 0, 8, "11111111"},
                                                   {16, 0, 8, "11111111"},
                                                   {20, 4, 8, "1111"},
                                                   {23, 5, 8, "111"},
                                                   {26, 5, 8, "111"},
                                                   {29, 5, 8, "111"},
                                                   {32, 5, 8, "111"},
                                                   {35, 5, 8, "111"},
                                                   {38, 5, 7, "11"}});
    lower = plan_page(e, {45, {K}, {}, 0});
    }
    // Two tables: the lower feed 0 plus the normal feed 8 less feedBase 5 is
    // the same plan.
    PassEngine two(hc_variant(HcVariant::TwoTables));
    const PagePlan& a = lower;
    const PagePlan b = plan_page(two, {45, {K}, {}, 0});
    ASSERT_EQ(a.passes.size(), b.passes.size());
    for (size_t i = 0; i < a.passes.size(); ++i) {
        EXPECT_EQ(a.passes[i].vPos, b.passes[i].vPos);
        EXPECT_EQ(states_of(a.passes[i].nozzles[0]), states_of(b.passes[i].nozzles[0]));
    }
}

// LowerEdge on 45: rows of width 6, (45 - 16) mod 6 = 5, G = 24: normal
// passes at 0, 6, 12, 18 whose nozzles 6-7 print second half; the first
// lower pass (20) takes 24-27 and prints the last normal pass's second half
// (its nozzles 4-5, reached by the overlap layer's pass at 18) first half.
// No type-3 layer: x = 0, kind 3, split 0, rest 0.
TEST(PassPlanEdgeGolden, LowerEdgeRecordAndMarking) {
    PassEngine e(hc_variant(HcVariant::LowerEdge));
    ASSERT_EQ(begin_page(e, 45), 0u);
    const LowerEdgeRecord* rec = e.mle->schedule.lowerEdge;
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->mode, 2);
    EXPECT_EQ(rec->kind, 3);
    EXPECT_EQ(rec->split, 0);
    EXPECT_EQ(rec->rest, 0);
    const PagePlan plan = plan_page(e, {45, {K}, {}, 0});
    expect_passes(plan, {{0, 0, 8, "11111133"},
                         {6, 0, 8, "11111133"},
                         {12, 0, 8, "11111133"},
                         {18, 0, 8, "11111133"},
                         {20, 4, 8, "2211"},
                         {23, 5, 8, "111"},
                         {26, 5, 8, "111"},
                         {29, 5, 8, "111"},
                         {32, 5, 8, "111"},
                         {35, 5, 8, "111"},
                         {38, 5, 7, "11"}});
    const NozzleRecord& first = plan.passes[4].nozzles[0];
    EXPECT_EQ(first.info.lowerEdge, 1);
    EXPECT_EQ(first.info.lowerEdgeKind, 3);
    EXPECT_EQ(first.steps, (std::vector<uint16_t>{4, 4, 65535, 65535}));
    EXPECT_EQ(first.offsets, (std::vector<uint32_t>{0, 1, 2, 3}));
    // Both overlap partners are the normal pass 3, the first one then a cycle on.
    EXPECT_EQ(plan.passes[4].polFirst, 4u);
    EXPECT_EQ(plan.passes[4].polSecond, 3u);
}

// x = (pitch x window - sum of the last type-3 layer's first n steps) /
// pitch, n = lowerSplit / (type-3 layers), at least 1.
struct RecordCase {
    const char* what;
    int16_t split;
    std::vector<HcLayer> layers3;
    uint8_t mode;
    int16_t kind, recSplit, rest;
};

const RecordCase kRecords[] = {
    // window 8, 4 x 6 = 24: x = -16.
    {"overlap steps beyond the window", 4, {HcLayer{3, 0, -17, {6}, {{0, 8}}, {1}, {0}, {}}}, 2, 3, -8, 16},
    // window 8, 4 x 1 = 4: x = 4.
    {"overlap steps within the window", 4, {HcLayer{3, 0, -17, {1}, {{0, 8}}, {1}, {0}, {}}}, 2, 2, 4, 4},
    // n = 4 / 2 = 2; the last layer: window 8 - 2 = 6, 1 + 2 = 3: x = 3.
    {"two type-3 layers",
     4,
     {HcLayer{3, 0, -17, {9}, {{0, 8}}, {1}, {0}, {}}, HcLayer{3, 0, -17, {1, 2}, {{2, 8}, {0, 8}}, {1}, {0}, {}}},
     7,
     2,
     3,
     3},
    // split 0: one step, 6: x = 2.
    {"a lower split of 0 sums one step", 0, {HcLayer{3, 0, -17, {6}, {{0, 8}}, {1}, {0}, {}}}, 2, 2, 2, 6},
};

TEST(PassPlanEdgeGolden, LowerEdgeRecordOneFieldAtATime) {
    for (const RecordCase& t : kRecords) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(HcVariant::LowerEdge);
        hc.modes[0].value3 = t.split;
        hc.modes[0].lower_edge_mode = t.mode;
        for (const HcLayer& l : t.layers3) hc.units[0].layers.push_back(l);
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, 45), 0u);
        const LowerEdgeRecord* rec = e.mle->schedule.lowerEdge;
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->mode, t.mode);
        EXPECT_EQ(rec->kind, t.kind);
        EXPECT_EQ(rec->split, t.recSplit);
        EXPECT_EQ(rec->rest, t.rest);
    }
}

// LowerEdge on two heads of 6 (virtual nozzles 0-7), each head's segment
// layer holding half of a virtual pass's window: head 0's [0, 4), head 1's
// [4, 8). Virtual passes at 24, 30, 36, 42. A lower pass taking its first
// raster from the other segment than the pass before is flagged, and takes
// nothing beyond the overlap layer's reach (none past the normal passes):
//   20: 24-27 from head 0's pass at 24            [4, 8)
//   23: first free 28 in head 1's (flag)          [5, 5)
//   26: 28-33 (head 1's 28-31, head 0's 30-33)     [2, 8)
//   29: 34-36 from head 1's pass at 30            [5, 8)
//   32: first free 37 in head 0's at 36 (flag)     [5, 5)
//   35: 37-42                                     [2, 8)
//   38: 43-45                                     [5, 8)
// 41 would start at 46 (head 1's, flagged), 44 at 46: 7 lower passes.
TEST(PassPlanEdgeGolden, LowerEdgeFlagsWhereTheSegmentChanges) {
    ModelHeadControl hc = hc_variant(HcVariant::LowerEdge);
    hc.head.nozzles = {6, 6};
    hc.head.overlaps = {4};
    hc.modes[0].color_order_more = hc.modes[0].color_order;
    hc.modes[0].use_heads = {1, 1};
    std::vector<HcLayer>& l = hc.units[0].layers;
    l[3].range = {{0, 4}};
    HcLayer second = l[3];
    second.kind = 25;
    second.range = {{4, 8}};
    l.push_back(second);
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 45), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(lower_entries(s), (std::vector<Entry>{{4, 8}, {5, 5}, {2, 8}, {5, 8}, {5, 5}, {2, 8}, {5, 8}}));
    ASSERT_NE(s.lowerEdge->passFlags, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(s.lowerEdge->passFlags, s.lowerEdge->passFlags + 9),
              (std::vector<uint8_t>{0, 1, 0, 0, 1, 0, 0, 1, 0}));
    EXPECT_EQ(covers(e, 45), "");
}

// FTrans on 57: (57 + 8 - 24) mod 8 = 1, H = 40: normal passes at 0 ... 24,
// virtual passes at 32, 40, 48, 56, F-trans passes at 30, 34, 38, 42, 46
// (value -2, feed 4). The overlap starts where the virtual pass after the
// one a pass takes from begins (its position + the normal feed 8):
//   30: takes 32-37 (nozzles 2-7); the next virtual pass begins at 40: none
//   34: takes 38-39 (4-5); 40-41 (6-7) are the overlap, POL index 9
//   38: takes 40-45 (2-7), printing 40-41 first half
//   42: takes 46-47; 48-49 overlap;   46: takes 48-53
// Lower passes from 48: 54-55 (6-7), 56 (5); the third would start at 59.
TEST(PassPlanEdgeGolden, FTransPassTable) {
    PassEngine e(hc_variant(HcVariant::FTrans));
    ASSERT_EQ(begin_page(e, 57), 0u);
    const MleSchedule& s = e.mle->schedule;
    ASSERT_EQ(s.fTransPasses, 5);
    const struct {
        int32_t pos;
        uint16_t first, overlap, end, pol;
    } want[] = {{30, 2, 8, 8, 65535}, {34, 4, 6, 8, 9}, {38, 2, 8, 8, 65535}, {42, 4, 6, 8, 9}, {46, 2, 8, 8, 65535}};
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const FTransPass& f = s.fTransTable[i];
        EXPECT_EQ(f.headPos, want[i].pos);
        EXPECT_EQ(f.first, want[i].first);
        EXPECT_EQ(f.overlapStart, want[i].overlap);
        EXPECT_EQ(f.nextOverlapStart, want[i].overlap);
        EXPECT_EQ(f.end, want[i].end);
        EXPECT_EQ(f.selector, 1);
        EXPECT_EQ(f.polIndex, want[i].pol);
    }
    EXPECT_EQ(lower_entries(s), (std::vector<Entry>{{6, 8}, {5, 8}}));
    EXPECT_EQ(MLE_GetFtransCalcPassNum(e.mle), 5);
    EXPECT_EQ(MLE_GetFtransCalcPOL(e.mle, 9), 2u);
    EXPECT_EQ(MLE_GetFtransCalcPOL(e.mle, 8), 0u);
    EXPECT_EQ(MLE_GetFtransCalcPOLIndex(e.mle), 0xFFFFFFFFu);  // the first pass has no overlap
    const PagePlan plan = plan_page(e, {57, {K}, {}, 0});
    ASSERT_EQ(plan.code, 0u);
    ASSERT_EQ(plan.passes.size(), 11u);
    EXPECT_EQ(states_of(plan.passes[5].nozzles[0]), "1133");
    EXPECT_EQ(plan.passes[5].nozzles[0].steps, (std::vector<uint16_t>{65535, 65535, 9, 9}));
    EXPECT_EQ(states_of(plan.passes[6].nozzles[0]), "221111");
    EXPECT_EQ(plan.passes[6].nozzles[0].steps[0], 9);
    // Partners: the F-trans pass marks its second half's partner a cycle on;
    // the pass printing a first half names the F-trans pass, then a cycle on.
    EXPECT_EQ(plan.passes[5].polSecond, 1u + 4u + 1u);
    EXPECT_EQ(plan.passes[6].polFirst, 4u + 1u + 1u);
    // Renumbering the POL indices of F-trans passes 2 on.
    MLE_StartPage(e.mle, 57, 1, &K, nullptr, nullptr);
    ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, nullptr), 0u);
    MLE_SetFtransCalcPOLIndex(e.mle, 20);
    EXPECT_EQ(s.fTransTable[3].polIndex, 22);
    EXPECT_EQ(MLE_GetFtransCalcPOL(e.mle, 22), 2u);
    EXPECT_EQ(MLE_GetFtransCalcPOL(e.mle, 21), 0u);  // pass 2 has no overlap
}

// The overlap width from the type-12 layer's window (flag 0x10 clear): 2
// nozzles each. A width beyond the window starts the overlap at the first
// nozzle instead of wrapping below it.
TEST(PassPlanEdgeGolden, FTransOverlapFromThePolLayer) {
    ModelHeadControl hc = hc_variant(HcVariant::FTrans);
    hc.units[0].flags = 0;
    {
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 57), 0u);
    for (int32_t i = 0; i < 5; ++i) {
        const FTransPass& f = e.mle->schedule.fTransTable[i];
        EXPECT_EQ(f.first, 2) << i;
        EXPECT_EQ(f.overlapStart, 6) << i;
        EXPECT_EQ(f.polIndex, 9) << i;
    }
    EXPECT_EQ(MLE_GetFtransCalcPassNum(e.mle), 0);  // the table carries no POL indices without flag 0x10
    EXPECT_EQ(lower_entries(e.mle->schedule), (std::vector<Entry>{{4, 8}, {5, 8}}));
    EXPECT_EQ(covers(e, 57, six_inks()), "");
    }
    hc.units[0].layers[2].range = {{0, 20}};
    PassEngine wide(hc);
    ASSERT_EQ(begin_page(wide, 57), 0u);
    const FTransPass& f = wide.mle->schedule.fTransTable[0];
    EXPECT_EQ(f.first, 2);
    EXPECT_EQ(f.overlapStart, 2);
    EXPECT_EQ(f.end, 8);
}

// Mwsw on 57: (57 - 8) mod 8 = 1, G' = 48: normal passes at 0 ... 40, MWSW
// passes at 44, 48, 52, 56. The last normal pass and the first MWSW pass
// share 44-47: the normal pass prints them 7 (layer 7, nozzles 4-5) and 6
// (layer 8, 6-7), the MWSW pass 6 and 7, with the layers' step values.
TEST(PassPlanEdgeGolden, MwswSuppressionAndOverlap) {
    {
    PassEngine e(hc_variant(HcVariant::Mwsw));
    const PagePlan plan = plan_page(e, {57, {K}, {}, 0});
    expect_passes(plan, {{0, 0, 8, "11111111"},
                         {8, 0, 8, "11111111"},
                         {16, 0, 8, "11111111"},
                         {24, 0, 8, "11111111"},
                         {32, 0, 8, "11111111"},
                         {40, 0, 8, "11117766"},
                         {44, 0, 4, "6677"},
                         {48, 0, 4, "1111"},
                         {52, 0, 4, "1111"},
                         {56, 0, 1, "1"}});
    EXPECT_EQ(plan.passes[5].nozzles[0].steps, (std::vector<uint16_t>{65535, 65535, 65535, 65535, 5, 5, 6, 6}));
    EXPECT_EQ(plan.passes[5].nozzles[0].offsets, (std::vector<uint32_t>{0, 1, 2, 3, 0, 1, 0, 1}));
    EXPECT_EQ(plan.passes[6].nozzles[0].steps, (std::vector<uint16_t>{5, 5, 6, 6}));
    EXPECT_EQ(plan.passes[6].entries[0].group, 1);
    }
    // Without layer 8 the rasters 46-47 stay suppressed in both passes.
    ModelHeadControl hc = hc_variant(HcVariant::Mwsw);
    hc.units[0].layers.pop_back();
    {
    PassEngine no8(hc);
    const PagePlan p8 = plan_page(no8, {57, {K}, {}, 0});
    ASSERT_EQ(p8.code, 0u);
    EXPECT_EQ(states_of(p8.passes[5].nozzles[0]), "11117755");
    EXPECT_EQ(states_of(p8.passes[6].nozzles[0]), "6655");
    }

    // MWSW passes of the normal group's own group leave the shared rasters
    // to the normal pass: the first MWSW pass prints nothing.
    hc = hc_variant(HcVariant::Mwsw);
    for (HcLayer& l : hc.units[0].layers) l.group = {0};
    PassEngine same(hc);
    const PagePlan ps = plan_page(same, {57, {K}, {}, 0});
    ASSERT_EQ(ps.code, 0u);
    EXPECT_EQ(states_of(ps.passes[5].nozzles[0]), "11111111");
    EXPECT_EQ(ps.passes[6].nozzles[0].info.endNozzle, ps.passes[6].nozzles[0].info.firstNozzle);
    EXPECT_EQ(covers(same, 57), "");
}

// Repeat on 57: (57 - 24) mod 4 = 1: normal passes at 8 ... 36 (end 39),
// upper passes at -2 and 2, lower passes at 38 ... 54 (value -2; 54 + 2 <
// 57 is the last). Each outside pass prints normal pass (p - 2) mod 2's
// pattern (nozzles 0-3) two nozzles lower; its POL partners move with it.
TEST(PassPlanEdgeGolden, RepeatModeMovesTheNormalPattern) {
    PassEngine e(hc_variant(HcVariant::Repeat));
    ASSERT_EQ(begin_page(e, 57), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(s.upperPasses, 2);
    EXPECT_EQ(s.normalPasses, 8);
    EXPECT_EQ(s.lowerPasses, 5);
    EXPECT_EQ(e.mle->table.nozzleShift, 2);
    const PagePlan plan = plan_page(e, {57, {K}, {}, 0});
    std::vector<PassWant> want = {{-2, 2, 6, "1111"}, {2, 2, 6, "1111"}};
    for (int32_t i = 0; i < 8; ++i) want.push_back({8 + 4 * i, 0, 4, "1111"});
    for (int32_t i = 0; i < 4; ++i) want.push_back({38 + 4 * i, 2, 6, "1111"});
    want.push_back({54, 2, 3, "1"});
    expect_passes(plan, want);
    EXPECT_EQ(int32_t(plan.passes[0].polFirst), -2);
    EXPECT_EQ(plan.passes[1].polSecond, 0u);
    EXPECT_EQ(plan.passes[10].polFirst, 8u);
}

// Off the nozzle grid (pitch 2, a pass an odd number of rasters from its
// normal pass) the head table fails; so does a pattern moved above nozzle 0.
TEST(PassPlanEdgeGolden, RepeatModeOffTheGrid) {
    const struct {
        const char* what;
        uint16_t pitch;
        int32_t upperStart;
        int16_t lowerValue;
        uint32_t create;  // MLE_CreateSchedulingTable
        int32_t failingPass;
    } kCases[] = {
        {"an upper pass off the grid", 2, 3, -2, kMleCreateFailed, 0},
        {"lower passes off the grid", 2, 2, -3, 0, 10},
        {"lower passes below their normal passes", 1, 2, 2, 0, 10},
    };
    for (const auto& t : kCases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(HcVariant::Repeat);
        hc.units[0].pitch = t.pitch;
        hc.units[0].layers[0].start = t.upperStart;
        hc.units[0].normal[0].value = t.lowerValue;
        PassEngine e(hc);
        ASSERT_EQ(MLE_StartPage(e.mle, 57, 1, &K, nullptr, nullptr), 0u);
        ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, nullptr), t.create);
        if (t.create) continue;
        uint32_t rc = 0;
        while (!rc && e.mle->passNo < t.failingPass) rc = MLE_Next(e.mle, nullptr, nullptr);
        EXPECT_EQ(rc, kMleNextFailed);
        EXPECT_EQ(e.mle->passNo, t.failingPass);
        EXPECT_EQ(MLE_MakeHeadTable(e.mle), kMleMakeFailed);
        uint8_t valid = 9;
        e.mle->passNo = 0;
        EXPECT_EQ(MLE_GetHeadPosAfterPass(e.mle, t.failingPass, &valid, nullptr, nullptr, nullptr, nullptr),
                  kMleHeadPosFailed);
    }
}

// Two tables with a lower cycle of 2 over a normal cycle of 2 (feeds 3, 5;
// feedBase 1: lower feed table 2, 4). The page end falls in the first row
// (no width walked): the first normal step already exceeds 0, offset 1, so
// the lower feeds 0, 1 become 0 + 4, 1 + 2.
TEST(PassPlanEdgeGolden, TwoTablesExtendTheLowerFeeds) {
    ModelHeadControl hc = hc_variant(HcVariant::TwoTables);
    std::vector<HcLayer>& l = hc.units[0].layers;
    l[1].feed = l[2].feed = {3, 5};
    l[1].range = l[2].range = {{0, 8}, {0, 8}};
    l[0].feed = {0, 1};
    l[0].range = {{0, 8}, {0, 8}};
    hc.units[0].feed_base = 1;
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 45), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(int16_t(s.lowerFeedTable[0]), 2);
    EXPECT_EQ(int16_t(s.lowerFeedTable[1]), 4);
    EXPECT_EQ(s.lower->feed[0], 4);
    EXPECT_EQ(s.lower->feed[1], 3);
    EXPECT_EQ(s.lower->cycleFeed, 7);
    // The resource's logic keeps its own feeds.
    EXPECT_EQ(e.mle->resource->units[0].layers[0].feed[0], 0);
}

// Two tables with F-trans passes (FTrans, feedBase 5: each F-trans, POL
// source and lower feed step gains 3) and lowerSumSteps 3 (flags 0x21):
// the F-trans value gains the two steps from the phase, 4 + 4, and the
// F-trans layers end 8 after their start: three passes.
TEST(PassPlanEdgeGolden, TwoTablesWithFTransSumSteps) {
    ModelHeadControl hc = hc_variant(HcVariant::FTrans);
    HcLogic& u = hc.units[0];
    u.flags = ovcg_test::kHcTwoTables | ovcg_test::kHcFixedFTrans | ovcg_test::kHcLowerPositioning;
    u.feed_base = 5;
    u.lower_sum_steps = 3;
    u.layers[0].feed = {0};
    u.layers[1].feed = {1};
    u.layers[2].feed = {1};
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 57), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(s.lower->feed[0], 3);
    EXPECT_EQ(s.fTrans->feed[0], 4);
    EXPECT_EQ(s.fTransPol->feed[0], 4);
    EXPECT_EQ(s.fTrans->cycleFeed, 4);
    EXPECT_EQ(s.fTrans->end - s.fTrans->start, 8);
    EXPECT_EQ(s.fTransPasses, 3);
}

// Lower selector blocks (lowerSplit 8, blocks of 2) from the normal list
// {1, 2} and the second head's {3, 4}, each from index passBase (3) - 4:
// 0x8000 takes turns (A A B B A A B B -> 2 1 4 3 2 1 4 3), 0x4000 takes
// the first list's blocks first (2 1 2 1 4 3 4 3).
TEST(PassPlanEdgeGolden, LowerSelectorBlocks) {
    for (const auto& [flags, want] : {std::pair<uint16_t, std::vector<uint8_t>>{0x8000, {2, 1, 4, 3, 2, 1, 4, 3}},
                                      {0x4000, {2, 1, 2, 1, 4, 3, 4, 3}}}) {
        SCOPED_TRACE(flags);
        ModelHeadControl hc = hc_variant(HcVariant::Lower);
        hc.head.nozzles = {6, 6};
        hc.head.overlaps = {4};
        hc.modes[0].color_order_more = hc.modes[0].color_order;
        hc.modes[0].use_heads = {1, 1};
        hc.modes[0].color_num = 4;
        hc.modes[0].value3 = 8;
        HcLogic& u = hc.units[0];
        u.flags = flags;
        u.layers[1].selector = u.layers[2].selector = {1, 2};
        HcLayer second = u.layers[1];
        second.kind = 21;
        second.selector = {3, 4};
        u.layers.push_back(second);
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, 45), 0u);
        const MleSchedule& s = e.mle->schedule;
        ASSERT_GE(s.lowerPasses, 4);
        for (int32_t i = 0; i < s.lowerPasses; ++i) EXPECT_EQ(s.lowerTable[i].selector, want[size_t(i % 8)]) << i;
    }
}

// One list of selectors {1, 2} (no second head), lowerSplit 4: the lower
// passes take 2 1 2 1 ... from index 3 - 2, and each takes its rasters only
// from the virtual passes of its selector (24 and 40 are 2, 32 is 1).
TEST(PassPlanEdgeGolden, LowerSelectorsClaimTheirOwnPlane) {
    ModelHeadControl hc = hc_variant(HcVariant::Lower);
    hc.modes[0].color_num = 2;
    hc.modes[0].value3 = 4;
    hc.units[0].flags = 0x8000;
    hc.units[0].layers[1].selector = hc.units[0].layers[2].selector = {1, 2};
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 45), 0u);
    const MleSchedule& s = e.mle->schedule;
    EXPECT_EQ(lower_entries(s), (std::vector<Entry>{{4, 8}, {8, 8}, {2, 6}, {3, 8}, {8, 8}, {2, 5}, {2, 8}}));
    std::vector<uint8_t> selectors;
    for (int32_t i = 0; i < s.lowerPasses; ++i) selectors.push_back(s.lowerTable[i].selector);
    EXPECT_EQ(selectors, (std::vector<uint8_t>{2, 1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(covers(e, 45), "");
}

// ---- MIR list and null passes --------------------------------------------------------------

// FTrans on 57: sections normal (kind 3, no values with lowerSplit 0),
// F-trans (5 passes + 1 null entry: 4 4 4 0 4 4, the fourth a null pass)
// and lower (2 + 1: the first a null pass, 0 3 3).
TEST(PassPlanEdgeGolden, MirSectionsAndNullPasses) {
    PassEngine e(hc_variant(HcVariant::FTrans));
    ASSERT_EQ(begin_page(e, 57), 0u);
    const MleMirList* mir = nullptr;
    ASSERT_EQ(MLE_GetMIR(e.mle, &mir), 0u);
    ASSERT_NE(mir, nullptr);
    ASSERT_EQ(mir->sectionCount, 3u);
    auto values = [](const MleMirSection& s) { return std::vector<uint32_t>(s.values, s.values + s.valueCount); };
    EXPECT_EQ(mir->sections[0].kind, 3u);
    EXPECT_EQ(mir->sections[0].passes, 4u);
    EXPECT_EQ(mir->sections[0].valueCount, 0u);
    EXPECT_EQ(mir->sections[1].kind, 5u);
    EXPECT_EQ(mir->sections[1].passes, 5u);
    EXPECT_EQ(values(mir->sections[1]), (std::vector<uint32_t>{4, 4, 4, 0, 4, 4}));
    EXPECT_EQ(mir->sections[2].kind, 6u);
    EXPECT_EQ(values(mir->sections[2]), (std::vector<uint32_t>{0, 3, 3}));
    EXPECT_EQ(mir->markSection, 0u);
    // The output loop's null passes: the fourth F-trans pass and the first lower one.
    std::vector<int32_t> nulls;
    for (int32_t p = 0; p < 16; ++p)
        if (MLE_IsInsertNullPass(e.mle, p)) nulls.push_back(p);
    EXPECT_EQ(nulls, (std::vector<int32_t>{7, 10}));
    EXPECT_EQ(MLE_GetInsertNullPassNum(e.mle, 0, 100), 2u);
}

struct MirCase {
    const char* what;
    HcVariant variant;
    uint16_t flags;  // added to the logic's
    int16_t split;
    std::vector<std::vector<uint32_t>> values;  // per section
    uint32_t markSection, markStep;
};

// PreNormal on 40 (upper pass at 0, pre-normal at 1, normal passes at 2, 7,
// 14, 19, 30, 35, feeds 5 7 5 11): three sections, where a list sized by
// the kinds 0, 2, 11, 12 would hold two. With flag 0x4 the pre-normal
// section takes the step into the normal group (2 - 1) and the normal one
// holds 6 - 1 values from one step later. FTrans's marks: the step into the
// F-trans group (30 - 24) with flag 0x2, into the lower group (48 - 46)
// with 0x1, which wins.
const MirCase kMirCases[] = {
    {"one value per pass of the split", HcVariant::PreNormal, 0, 2, {{2, 2}, {1, 1}, {11, 5}}, 0, 0},
    {"no trailing feed", HcVariant::PreNormal, 0x4, 2, {{2, 2}, {1, 1, 1}, {5, 7, 5, 11, 5}}, 0, 0},
    {"the F-trans mark", HcVariant::FTrans, 0x2, 3, {{8, 8, 8}, {4, 4, 4, 0, 4, 4}, {0, 3, 3}}, 5, 6},
    {"the lower mark wins", HcVariant::FTrans, 0x3, 3, {{8, 8, 8}, {4, 4, 4, 0, 4, 4}, {0, 3, 3}}, 6, 2},
};

TEST(PassPlanEdgeGolden, MirValuesAndMarks) {
    for (const MirCase& t : kMirCases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(t.variant);
        hc.units[0].flags = uint16_t(hc.units[0].flags | t.flags);
        hc.modes[0].value3 = t.split;
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, t.variant == HcVariant::FTrans ? 57 : 40), 0u);
        const MleMirList* mir = nullptr;
        // Twice: the second call refills the same list.
        for (int call = 0; call < 2; ++call) ASSERT_EQ(MLE_GetMIR(e.mle, &mir), 0u);
        ASSERT_EQ(mir->sectionCount, t.values.size());
        for (size_t k = 0; k < t.values.size(); ++k) {
            const MleMirSection& sec = mir->sections[k];
            EXPECT_EQ(std::vector<uint32_t>(sec.values, sec.values + sec.valueCount), t.values[k]) << k;
        }
        EXPECT_EQ(mir->markSection, t.markSection);
        EXPECT_EQ(mir->markStep, t.markStep);
        EXPECT_EQ(e.mle->table.headPos, 0);  // the current pass's table is back
    }
}

// ---- Re-planning ------------------------------------------------------------------------------

// LowerEdgeSlot on 45: slot 0 is Lower, slot 3 Lower with lower feed 2, slots
// 1 and 2 empty.
TEST(PassPlanEdgeReplan, ChangeMicroWeaveLogicForEachSelector) {
    uint32_t pos = 99;
    {
    PassEngine e(hc_variant(HcVariant::LowerEdgeSlot));
    ASSERT_EQ(begin_page(e, 45), 0u);
    MLE_INSTANCE* m = e.mle;
    // 3: the lower-edge logic for autoBottomLength, 0 before the range is asked.
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, 3, 0, &pos), kMleNegativeRange);
    ASSERT_EQ(MLE_ChangeMicroWeaveLogic(m, -1, 45, &pos), 0u);
    m->resource->modeValue5 = 2;  // the range from the normal layer's first window
    ASSERT_EQ(MLE_GetAutoBottomRange(m, nullptr, nullptr), 0u);
    EXPECT_EQ(m->autoBottomLength, 29u);  // 45 - (0 - -16)
    ASSERT_EQ(MLE_ChangeMicroWeaveLogic(m, 3, 0, &pos), 0u);
    EXPECT_EQ(m->schedule.scheduleLength, 29u);
    EXPECT_EQ(m->schedule.lower->feed[0], 2);
    // -1: logic 0 for 100 rasters: G = 80, 10 normal passes.
    ASSERT_EQ(MLE_ChangeMicroWeaveLogic(m, -1, 100, &pos), 0u);
    EXPECT_EQ(m->schedule.scheduleLength, 100u);
    EXPECT_EQ(m->schedule.normalPasses, 10);
    EXPECT_EQ(pos, 0u);
    // 0: its non-negative starts 16 lower; (100 - 32) mod 8 = 4: the normal
    // layer [16, 79] holds 8 passes.
    ASSERT_EQ(MLE_ChangeMicroWeaveLogic(m, 0, 16, &pos), 0u);
    EXPECT_EQ(m->layerShift, 16);
    EXPECT_EQ(m->passNo, 0);
    EXPECT_EQ(m->schedule.normal->start, 16);
    EXPECT_EQ(m->schedule.normalPasses, 8);
    EXPECT_EQ(pos, 16u);
    // A selector outside -1..3 leaves the schedule as it was.
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, 4, 0, &pos), kMleNoLogic);
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, -2, 0, &pos), kMleNoLogic);
    EXPECT_EQ(m->schedule.normalPasses, 8);
    EXPECT_EQ(MLE_MakeHeadTable(m), 0u);
    // Empty slots.
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, 1, 0, &pos), kMleNoLogic);
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, 2, 0, &pos), kMleNoLogic);
    // 3 again: the layer shift applies to the lower-edge logic too, and 29
    // rasters no longer hold its normal layer from 16.
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, 3, 0, &pos), kMleNegativeRange);
    // A shorter page than the current pass: its head table fails.
    ASSERT_EQ(MLE_ChangeMicroWeaveLogic(m, -1, 200, &pos), 0u);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(MLE_Next(m, nullptr, nullptr), 0u);
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(m, -1, 45, &pos), kMleChangeFailed);
    MLE_EndPage(m);
    EXPECT_EQ(e.release(), "");
    }

    // Without a lower-edge logic, selector 3 fails after the schedule is freed.
    PassEngine lower(hc_variant(HcVariant::Lower));
    ASSERT_EQ(begin_page(lower, 45), 0u);
    EXPECT_EQ(MLE_ChangeMicroWeaveLogic(lower.mle, 3, 0, &pos), kMleNoLogic);
    EXPECT_EQ(lower.mle->schedule.logic.layers, nullptr);
    EXPECT_FALSE(MLE_BRSAutoLower(lower.mle));
}

TEST(PassPlanEdgeReplan, ChangeSpecification) {
    int32_t before = -9, after = -9;
    {
    PassEngine e(hc_variant(HcVariant::Lower));
    ASSERT_EQ(begin_page(e, 45), 0u);
    MLE_INSTANCE* m = e.mle;
    EXPECT_EQ(MLE_ChangeSpecification(m, &before, &after, 100, 1), kMleChangeBehind);
    ASSERT_EQ(MLE_Next(m, nullptr, nullptr), 0u);
    ASSERT_EQ(MLE_Next(m, nullptr, nullptr), 0u);  // pass 2 at 16
    // 100 rasters, one pass back: pass 1 (8), after pass 0 (0).
    ASSERT_EQ(MLE_ChangeSpecification(m, &before, &after, 100, 1), 0u);
    EXPECT_EQ(m->passNo, 1);
    EXPECT_EQ(m->schedule.normalPasses, 10);
    EXPECT_EQ(before, 0);
    EXPECT_EQ(after, 8);
    // Back to pass 0: the head top (value 0) before it.
    ASSERT_EQ(MLE_ChangeSpecification(m, &before, &after, 100, 1), 0u);
    EXPECT_EQ(m->passNo, 0);
    EXPECT_EQ(before, 0);
    EXPECT_EQ(after, 0);
    // A pass beyond the normal group, or beyond the plan.
    for (int i = 0; i < 12; ++i) ASSERT_EQ(MLE_Next(m, nullptr, nullptr), 0u);
    EXPECT_EQ(MLE_ChangeSpecification(m, &before, &after, 100, 0), kMleChangeTooFar);
    EXPECT_EQ(m->passNo, 12);
    EXPECT_EQ(MLE_ChangeSpecification(m, &before, &after, 45, 2), kMleChangeTooFar);
    MLE_EndPage(m);
    }

    // A head table that fails: repeat mode with its upper pass off the grid.
    ModelHeadControl hc = hc_variant(HcVariant::Repeat);
    hc.units[0].pitch = 2;
    hc.units[0].layers[0].start = 3;
    PassEngine r(hc);
    ASSERT_EQ(MLE_StartPage(r.mle, 57, 1, &K, nullptr, nullptr), 0u);
    ASSERT_EQ(MLE_CreateSchedulingTable(r.mle, 0, nullptr), kMleCreateFailed);
    EXPECT_EQ(MLE_ChangeSpecification(r.mle, &before, &after, 57, 0), kMleReplanFailed);
}

// ---- Lower edge, BRS and footer queries ------------------------------------------------------------

struct AutoBottomCase {
    const char* what;
    HcVariant variant;
    int16_t a;       // mode value 1
    uint32_t b;      // head value B
    uint16_t c;      // head value A
    uint32_t units8;
    uint32_t flags;  // mode value 5
    uint32_t code;
    uint32_t bottom;  // autoBottomLength
    int32_t top, length;
};

// Lower page of 45 rasters, the lower-edge logic's lower layer [-16, 0].
const AutoBottomCase kAutoBottom[] = {
    // From the first window: position 0.
    {"the normal layer's first window", HcVariant::LowerEdgeSlot, 600, 0, 600, 0, 2, 0, 29, 0, 29},
    // L = ceil(-600 x 22 / 600) + 45 = 23, S = 23 - 7 = 16: 2 cycles reach it.
    {"the pass reaching the last head's raster", HcVariant::LowerEdgeSlot, -600, 22, 600, 0, 0, 0, 7, 16, -9},
    // S = 38: the normal passes end at 16.
    {"beyond the normal passes", HcVariant::LowerEdgeSlot, 600, 0, 600, 0, 0, kMleAutoBottomPasses, 29, 0, 0},
    {"a page ending above the layer", HcVariant::LowerEdgeSlot, -600, 100, 600, 0, 0, kMleAutoBottomShort, 0, 0, 0},
    // 2 x 0x80000001 / 4 in 64 bits: 2^30 + 1 (32 bits would give 1).
    {"a x b past 32 bits", HcVariant::LowerEdgeSlot, 2, 0x80000001u, 4, 5, 2, 0, 1073741875u, 0, 1073741875},
    {"no lower-edge logic", HcVariant::Lower, 600, 0, 600, 0, 2, 0, 32768, 0, 32768},
};

TEST(PassPlanEdgeQueries, AutoBottomRange) {
    for (const AutoBottomCase& t : kAutoBottom) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(t.variant);
        hc.modes[0].value1 = t.a;
        hc.head.value_b = t.b;
        hc.head.value_a = t.c;
        hc.modes[0].unit_value8 = t.units8;
        hc.modes[0].value5 = t.flags;
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, 45), 0u);
        int32_t top = -1, length = -1;
        EXPECT_EQ(MLE_GetAutoBottomRange(e.mle, &top, &length), t.code);
        EXPECT_EQ(e.mle->autoBottomLength, t.bottom);
        if (t.code) continue;
        EXPECT_EQ(top, t.top);
        EXPECT_EQ(length, t.length);
    }
    {
        // The reader refuses a value A of 0; the range would add nothing.
        ModelHeadControl hc = hc_variant(HcVariant::LowerEdgeSlot);
        hc.modes[0].value5 = 2;
        hc.head.value_b = 7;
        PassEngine e(hc);
        ASSERT_EQ(begin_page(e, 45), 0u);
        e.mle->resource->headValueA = 0;
        EXPECT_EQ(MLE_GetAutoBottomRange(e.mle, nullptr, nullptr), 0u);
        EXPECT_EQ(e.mle->autoBottomLength, 29u);
    }
    // A logic without layers of kinds 6, 1 and 3.
    ModelHeadControl hc = hc_variant(HcVariant::Default);
    hc.units[0].layers[0].kind = 0;
    PassEngine e(hc);
    ASSERT_EQ(begin_page(e, 1000), 0u);
    EXPECT_EQ(MLE_GetAutoBottomRange(e.mle, nullptr, nullptr), kMleAutoBottomNoLayer);
}

struct BrsCase {
    const char* what;
    HcVariant variant;
    uint16_t flags, flags2;
    int16_t lowerValue;  // the normal row's value, 0 keeps the variant's
    uint32_t length;
    uint16_t inks;
    uint32_t gapCode;
    int32_t gap;
    uint32_t lowerCode;
    int32_t lower;
};

// Lower on 45: normal passes 0, 8, 16, first lower pass at 20 (value -4).
// The gap: the normal feed 8 less the step 16 -> 20. The lower position:
// with positioning the first lower pass's nozzle 0 less 1, without it the
// last normal pass's.
const BrsCase kBrs[] = {
    {"positioning", HcVariant::Lower, 0x1, 0, 0, 45, 1, 0, 4, 0, 19},
    {"no positioning", HcVariant::Lower, 0, 0, 0, 45, 1, 0, 0, 0, 16},
    {"positioning gap switched off", HcVariant::Lower, 0x1, 0x1, 0, 45, 1, 0, 0, 0, 0},
    {"a lower pass further than the normal feed", HcVariant::Lower, 0x1, 0, 2, 45, 1, kMleBrsGapNegative, 0, 0, 25},
    {"no pass after the normal group", HcVariant::Default, 0x1, 0, 0, 1000, 1, kMleBrsGapFailed, 0, 0, 0},
    {"a lower-edge logic", HcVariant::LowerEdgeSlot, 0x1, 0, 0, 45, 1, 0, 0, 0, 0},
    // FTrans: the step 24 -> 30 into the F-trans group.
    {"F-trans passes", HcVariant::FTrans, 0x1, 0, 0, 57, 1, 0, 2, kMleBrsCorrectFTrans, 0},
    // MWSW: normal pass 5 (40), the last of the second layer's cycle.
    {"MWSW passes", HcVariant::Mwsw, 0x1, 0, 0, 57, 1, 0, 0, 0, 40},
    {"MWSW passes, no ink", HcVariant::Mwsw, 0, 0, 0, 57, 0, 0, 0, kMleBrsCorrectFailed, 0},
};

TEST(PassPlanEdgeQueries, BrsPositioning) {
    for (const BrsCase& t : kBrs) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = hc_variant(t.variant);
        hc.units[0].flags = uint16_t(hc.units[0].flags | t.flags);
        hc.units[0].flags2 = t.flags2;
        if (t.lowerValue) hc.units[0].normal[0].value = t.lowerValue;
        PassEngine e(hc);
        ASSERT_EQ(MLE_StartPage(e.mle, t.length, t.inks, &K, nullptr, nullptr), 0u);
        ASSERT_EQ(MLE_CreateSchedulingTable(e.mle, 0, nullptr), 0u);
        int32_t gap = -1, lower = -1;
        EXPECT_EQ(MLE_BRSPositioningGap(e.mle, &gap), t.gapCode);
        EXPECT_EQ(gap, t.gapCode ? 0 : t.gap);
        EXPECT_EQ(MLE_BRSCorrectLowerPosition(e.mle, &lower), t.lowerCode);
        EXPECT_EQ(lower, t.lowerCode ? 0 : t.lower);
        EXPECT_EQ(e.mle->table.headPos, 0);  // the current pass's table is back
    }
}

TEST(PassPlanEdgeQueries, FooterTopAndHeadPositionAfterPasses) {
    int32_t pos = 0;
    uint8_t present = 0;
    {
    PassEngine e(hc_variant(HcVariant::Lower));
    ASSERT_EQ(begin_page(e, 45), 0u);
    ASSERT_EQ(MLE_GetFooterTopPosition(e.mle, &pos, &present), 0u);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(pos, 20);
    uint8_t valid = 0;
    int32_t vPos = 0, headPos = 0, shifted = 0;
    uint16_t selector = 0;
    ASSERT_EQ(MLE_GetHeadPosAfterPass(e.mle, 4, &valid, &vPos, &headPos, &shifted, &selector), 0u);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(vPos, 23);
    EXPECT_EQ(headPos, 23);
    EXPECT_EQ(shifted, 23);
    EXPECT_EQ(selector, 1);
    EXPECT_EQ(e.mle->table.headPos, 23);  // that pass's table stays
    ASSERT_EQ(MLE_GetHeadPosAfterPass(e.mle, 10, &valid, &vPos, &headPos, &shifted, &selector), 0u);
    EXPECT_EQ(valid, 0);
    }
    PassEngine d(hc_variant(HcVariant::Default));
    ASSERT_EQ(begin_page(d, 1000), 0u);
    ASSERT_EQ(MLE_GetFooterTopPosition(d.mle, &pos, &present), 0u);
    EXPECT_EQ(present, 0);
}

// ---- Loss-nozzle queries -------------------------------------------------------------------------

// TwoHeads: heads of 92 sharing 4 (head 1 from virtual nozzle 88), one pass
// per 180 rasters.
TEST(PassPlanEdgeQueries, LossNozzleQueries) {
    {
    PassEngine e(hc_variant(HcVariant::TwoHeads));
    MLE_INSTANCE* m = e.mle;
    EXPECT_EQ(MLE_GetHeadNum(m), 2);
    EXPECT_EQ(MLE_GetNozzleNum(m, 0, 2), 46);
    EXPECT_EQ(MLE_GetNozzleNum(m, 1, 0), 0);
    EXPECT_EQ(MLE_GetNozzleNum(m, 2, 1), 0);
    EXPECT_EQ(MLE_GetVirtualNozzleNum(m), 180);
    EXPECT_EQ(MLE_GetHeadOffsetSize(m, 1), 88);
    EXPECT_EQ(MLE_GetHeadOffsetSize(m, 0), 0);
    ASSERT_EQ(begin_page(e, 1000), 0u);
    // Pass 0: head 1's window ends at raster 88 + 91; the last pass (900) at 999.
    EXPECT_EQ(MLE_GetNozzleEndPosition(m, 0), 179u);
    EXPECT_EQ(MLE_GetHeadOffset(m, 0, 1), 88);
    EXPECT_EQ(MLE_GetHeadOffset(m, 0, 0), 0);
    EXPECT_EQ(MLE_GetEndHeadNo(m, 0), 1);
    int32_t offset = -1;
    uint16_t nozzles = 0;
    MleNozzleRange window{}, below{}, above{};
    const uint8_t* states = nullptr;
    const uint16_t* halftones = nullptr;
    ASSERT_EQ(MLE_GetHeadInfo(m, 0, 1, &offset, &nozzles, &window, &below, &above, &states, &halftones), 0u);
    EXPECT_EQ(offset, 88);
    EXPECT_EQ(nozzles, 92);
    EXPECT_EQ(window.first, 2);
    EXPECT_EQ(window.end, 92);
    EXPECT_EQ(below.end, 4);
    EXPECT_EQ(above.end, 0);
    ASSERT_NE(states, nullptr);
    EXPECT_EQ(halftones, nullptr);
    EXPECT_EQ(MLE_GetHeadInfo(m, 1, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              kMleNoNozzleInfo);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(MLE_Next(m, nullptr, nullptr), 0u);
    EXPECT_EQ(MLE_GetNozzleEndPosition(m, 0), 999u);
    MLE_SetNotPrintRaster(m, 0, 800);  // the last pass prints nothing
    EXPECT_EQ(MLE_GetNozzleEndPosition(m, 0), 0xFFFFFFFFu);
    EXPECT_EQ(MLE_GetNozzleEndPosition(m, 1), 0xFFFFFFFFu);
    }

    // With the nozzle-line map (K's line of kind 1 on chip 1, the others
    // kind 2 on chip 0) K uses head 1 only: its first nozzle shifts the
    // position by 88 rasters.
    ModelHeadControl hc = hc_variant(HcVariant::TwoHeads);
    hc.head.head_kinds = {2, 2, 2, 2, 2, 1};  // lines reversed: line 5 is K
    PassEngine n(hc);
    const uint16_t one = 1, zero = 0;
    ASSERT_EQ(MLE_SetNlmChipUsed(n.mle, 1, 1, &one), 0u);
    ASSERT_EQ(MLE_SetNlmChipUsed(n.mle, 2, 1, &zero), 0u);
    ASSERT_EQ(begin_page(n, 1000), 0u);
    EXPECT_EQ(MLE_GetEndHeadNo(n.mle, 0), 1);
    uint8_t valid = 0;
    int32_t vPos = 0, shifted = 0;
    ASSERT_EQ(MLE_GetHeadPosAfterPass(n.mle, 1, &valid, &vPos, nullptr, &shifted, nullptr), 0u);
    EXPECT_EQ(shifted, vPos + 88);
    MLE_SetRlsDischargeTiming(n.mle, 1);
    EXPECT_TRUE(RLS_IsValid(n.mle->rls));
    EXPECT_EQ(MLE_SetYdsCorrectionArray(n.mle, -1, 0, nullptr, nullptr), kYdsBadCorrectionInput);
    EXPECT_EQ(MLE_SetNlmChipUsed(nullptr, 1, 1, &one), kMleNoObject);
}

// Rows of the split colour table as thresholds: 10, 20, ... 60 (passes of
// 120 nozzles, so that the row 60 nozzles down stays on the head).
TEST(PassPlanEdgeQueries, UndIndexAndMemorySize) {
    ModelHeadControl hc = hc_variant(HcVariant::SplitColors);
    hc.modes[0].block_e.shifts = {0, 10, 20, 30, 40, 50, 60};
    hc.units[0].layers[0].feed = {120};
    hc.units[0].layers[0].range = {{0, 120}};
    hc.units[0].normal = {{120, 0, 0, 0}};
    {
        PassEngine split(hc);
        for (const auto& [raster, index] : {std::pair{0, 0}, {9, 0}, {10, 1}, {35, 3}, {60, 6}, {100000, 6}})
            EXPECT_EQ(MLE_GetUNDIndex(split.mle, raster), index) << raster;
    }
    {
        PassEngine d(hc_variant(HcVariant::Default));
        EXPECT_EQ(MLE_GetUNDIndex(d.mle, 50), 0);
    }

    const struct {
        HcVariant variant;
        uint32_t length, size;
    } kSizes[] = {
        // 9 x 8 nozzles + 6 x 9 lower passes (before the recount) + 88 x 3 layers, + 8 + 1040.
        {HcVariant::Lower, 45, 72 + 54 + 264 + 1048},
        // Slot 3's lower passes feed 2: 13.
        {HcVariant::LowerEdgeSlot, 45, 72 + 78 + 264 + 1048},
        // 9 x 180 + 88, + 16 + 1040, + 3 x 4 + 4 + 2 x 4 for the second head.
        {HcVariant::TwoHeads, 45, 1620 + 88 + 1056 + 24},
        // Repeat mode on 59: lower passes at 38, 42, ..., 58, 6 before the
        // recount (the page keeps 5: the last window starts at 60).
        {HcVariant::Repeat, 59, 54 + 36 + 264 + 1048},
    };
    for (const auto& t : kSizes) {
        PassEngine e(hc_variant(t.variant));
        ASSERT_EQ(begin_page(e, t.length), 0u);
        const int32_t passes = e.mle->schedule.lowerPasses;
        uint32_t size = 0;
        ASSERT_EQ(MLE_SumAllocateMemorySize(e.mle, &size), 0u);
        EXPECT_EQ(size, t.size);
        EXPECT_EQ(e.mle->schedule.lowerPasses, passes);  // the page's schedule is kept
        ASSERT_EQ(MLE_MakeHeadTable(e.mle), 0u);
        MLE_EndPage(e.mle);
        EXPECT_EQ(e.release(), "");
    }
}

// ---- Allocation failures ---------------------------------------------------------------------------

// Fails the n-th allocation of the engine (and every later one) from the
// constructor to the MIR list; each gives its code and nothing is left.
std::vector<uint32_t> sweep(const ModelHeadControl& hc, uint32_t length, const std::vector<uint8_t>& inks = {K}) {
    std::vector<uint32_t> codes;
    for (size_t n = 1; n < 200; ++n) {
        PassEngine e(hc, 0, 1, n);
        uint32_t code = e.code;
        if (!code) {
            code = MLE_StartPage(e.mle, length, uint16_t(inks.size()), inks.data(), nullptr, nullptr);
            if (!code) code = MLE_CreateSchedulingTable(e.mle, 0, nullptr);
            const MleMirList* mir = nullptr;
            if (!code) code = MLE_GetMIR(e.mle, &mir);
            MLE_EndPage(e.mle);
        }
        EXPECT_EQ(e.release(), "") << "allocation " << n;
        if (!code) break;
        codes.push_back(code);
    }
    return codes;
}

TEST(PassPlanEdgeAlloc, EachAllocationGivesItsCodeAndLeavesNothing) {
    // Object, ink record, head tables; the page's inks; the layer copy,
    // walk bounds, segment list, five per-nozzle arrays, overlap widths and
    // the layered-halftone arrays; then the edge tables and the MIR list.
    std::vector<uint32_t> head = {201, 201, 204, 204, 201, 201, 202, 203, 203, 203, 203, 203, 203, 203, 203};
    head.insert(head.end(), 14, kLhtNoNozzleArrays);
    auto with = [&](std::vector<uint32_t> tail) {
        std::vector<uint32_t> all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    // Dummy head table, lower table, F-trans table; MIR header, sections,
    // and the F-trans and lower values (the normal section holds none).
    EXPECT_EQ(sweep(hc_variant(HcVariant::FTrans), 57), with({203, 203, 203, 206, 206, 206, 206}));
    // The lower-edge record and its flags around them; with lowerSplit 0
    // and no null entries the MIR sections hold no values.
    EXPECT_EQ(sweep(hc_variant(HcVariant::LowerEdge), 45), with({203, 203, 203, 203, 206, 206}));
    // The lower feed table and the private feeds, before the edge tables.
    EXPECT_EQ(sweep(hc_variant(HcVariant::TwoTables), 45), with({203, 203, 203, 203, 206, 206}));
    // A grouped line whose row stands 90 rasters below the logic's top: the
    // first plan (no segment list), the top rasters' tallies, the plan
    // moved up (its per-nozzle and layered-halftone arrays are kept; the
    // logic first tried on a copy of its layers for the page's own length),
    // the MIR list.
    ModelHeadControl grouped = hc_variant(HcVariant::DriverGrouped);
    grouped.units[0].top_offset = 0;
    std::vector<uint32_t> plan = {202, 203, 203, 203, 203, 203, 203, 203};
    std::vector<uint32_t> want = {201, 201, 204, 204, 201, 201};
    want.insert(want.end(), plan.begin(), plan.end());
    want.insert(want.end(), 14, kLhtNoNozzleArrays);
    want.insert(want.end(), {203, 202, 202, 203});
    want.insert(want.end(), plan.begin() + 1, plan.end());
    want.insert(want.end(), {206, 206});
    EXPECT_EQ(sweep(grouped, 400, {K, 0x30}), want);
}

}  // namespace
}  // namespace ovcg::irac::test
