// Whole pages planned by the pass engine, checked raster by raster: each
// raster of the printed window is printed once (alone, or in two halves by
// two passes), nothing outside it is printed, and every raster a pass reads
// lies within the reach the job driver buffers for. Plans with edge groups
// may print a raster in two halves of an MWSW overlap, or alone and as one
// half of an overlap, but never twice alone.
#include "pass_plan_fixture.h"

#include "headcontrol/codes.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;

struct LogicCase {
    const char* name;
    HcVariant variant;
    uint32_t shortest = 0;  // shorter pages may be refused with 246
};

using Checker = std::string (*)(const PagePlan&, int32_t, int64_t, int64_t, int64_t, int64_t);

// Plans every length with six inks, with a random not-printed window as
// well for the lengths that `windowed` picks, and checks each plan; with
// `shortWithout`, the lengths the logic refuses as too short without offsets.
void plan_lengths(const LogicCase& logic, const ovcg_test::ModelHeadControl& hc, const std::vector<uint32_t>& lengths,
                  Checker check, std::mt19937& rng, bool (*windowed)(uint32_t),
                  const std::set<uint32_t>* shortWithout = nullptr) {
    PassEngine engine(hc);
    ASSERT_EQ(engine.code, 0u) << logic.name;
    const int64_t height = MLE_GetHeadheight(engine.mle);
    for (uint32_t length : lengths) {
        for (int window = 0; window < (windowed(length) ? 2 : 1); ++window) {
            PageRequest q{length, six_inks(), {}, 0};
            int64_t lo = 0, hi = length;
            if (window) {
                lo = int64_t(rng() % length);
                hi = lo + int64_t(rng() % (length - lo + 1));
                q.notPrinted = {{int32_t(lo), int32_t(hi)}};
            }
            const PagePlan plan = plan_page(engine, q);
            // Offsets lengthen the plan, not the page: a page too short for
            // the logic is refused with them exactly when it is without.
            if (shortWithout) {
                EXPECT_EQ(plan.code == kMleNegativeRange, shortWithout->count(length) != 0)
                    << logic.name << ", length " << length << ": " << plan.code;
            }
            if (length < logic.shortest && plan.code == kMleNegativeRange) continue;
            ASSERT_EQ(plan.code, 0u) << logic.name << ", length " << length << ": " << plan.failedCall;
            EXPECT_EQ(check(plan, 6, lo, hi, MLE_GetOffsetNozzleMax(engine.mle), height), "")
                << logic.name << ", length " << length << ", window [" << lo << ", " << hi << ")";
            // Nor does a plan of the whole page (of the logic's length at
            // least) end with a pass that prints nothing.
            bool prints = window || length < logic.shortest;
            for (const NozzleRecord& r : plan.passes.back().nozzles)
                for (uint8_t st : r.states) prints |= st != 0 && st != 5;
            EXPECT_TRUE(prints) << logic.name << ", length " << length << ": the last pass prints nothing";
        }
    }
    EXPECT_EQ(engine.release(), "") << logic.name;
}

// The interleaved logics' upper passes need 3 rasters.
const LogicCase kLogics[] = {
    {"one pass per head height", HcVariant::Default, 3},
    {"interleaved, 180 nozzles", HcVariant::Interleaved, 3},
    {"interleaved, 8 nozzles", HcVariant::Interleaved8, 3},
    {"two heads split at the middle of their overlap", HcVariant::TwoHeads, 3},
    {"two heads printing their overlap both", HcVariant::TwoHeadsOverlap, 3},
    {"an upper and a pre-normal pass", HcVariant::PreNormal, 3},
};

// Page lengths around the logics' cycles and pass heights, then random ones.
std::vector<uint32_t> page_lengths() {
    std::vector<uint32_t> lengths = {3, 4, 5, 8, 17, 18, 19, 29, 30, 31, 179, 180, 181, 359, 360, 361,
                                     679, 680, 681, 1000, 1361, 4097, 20000};
    std::mt19937 rng(28);
    for (int i = 0; i < 12; ++i) lengths.push_back(3 + rng() % 19998);
    return lengths;
}

TEST(PassPlanInvariant, EveryRasterOnceForEveryLogicAndLength) {
    std::mt19937 rng(2028);
    for (const LogicCase& logic : kLogics)
        plan_lengths(logic, hc_variant(logic.variant), page_lengths(), check_plan, rng, [](uint32_t) { return true; });
}

// Every layer type of the upper, pre-normal and normal groups at once (head
// overlaps, overlap priorities and appends): whatever the overlaps make of
// the rasters, every window stays inside its head and the printed window,
// states stay within 0-3 and every raster read lies within the reach.
TEST(PassPlanInvariant, EveryLayerTypeStaysInBounds) {
    PassEngine engine(hc_variant(HcVariant::EveryPassLayer));
    ASSERT_EQ(engine.code, 0u);
    const int64_t height = MLE_GetHeadheight(engine.mle);
    for (uint32_t length : page_lengths()) {
        const PagePlan plan = plan_page(engine, {length, six_inks(), {}, 0});
        ASSERT_EQ(plan.code, 0u) << length << ": " << plan.failedCall;
        for (const PassRecord& p : plan.passes)
            for (const NozzleRecord& r : p.nozzles) {
                EXPECT_LE(0, r.info.firstNozzle);
                EXPECT_LE(r.info.firstNozzle, r.info.endNozzle);
                EXPECT_LE(r.info.endNozzle, r.info.headNozzles);
                for (size_t k = 0; k < r.states.size(); ++k) {
                    EXPECT_LE(r.states[k], 3);
                    const int64_t raster = r.raster(r.info.firstNozzle + int32_t(k));
                    EXPECT_GE(raster, p.vPos + MLE_GetOffsetNozzleMax(engine.mle));
                    EXPECT_LT(raster, p.vPos + MLE_GetOffsetNozzleMax(engine.mle) + height);
                    if (r.states[k] != 0) {
                        EXPECT_TRUE(raster >= 0 && raster < int64_t(length)) << raster;
                    }
                }
            }
    }
    EXPECT_EQ(engine.release(), "");
}

const LogicCase kEdgeLogics[] = {
    {"lower passes after a segment layer", HcVariant::Lower, 24},
    {"lower passes with the lower-edge record", HcVariant::LowerEdge, 28},
    {"an MWSW region with overlap layers", HcVariant::Mwsw, 23},
    {"F-trans passes between normal and lower", HcVariant::FTrans, 39},
    {"repeat mode", HcVariant::Repeat, 39},
    {"two moving-range tables", HcVariant::TwoTables, 24},
    {"lower passes at pitch 2", HcVariant::LowerInterleaved, 105},
};

// Every length to a few of the logics' cycles past their shortest page
// (the page end meets every phase of the patterns), then long ones.
std::vector<uint32_t> edge_lengths(uint32_t seed) {
    std::vector<uint32_t> lengths;
    for (uint32_t l = 1; l < 130; ++l) lengths.push_back(l);
    for (uint32_t l : {179u, 180u, 181u, 1000u, 4097u}) lengths.push_back(l);
    std::mt19937 rng(seed);
    for (int i = 0; i < 6; ++i) lengths.push_back(3 + rng() % 19998);
    return lengths;
}

TEST(PassPlanEdgeInvariant, EveryRasterReachedAndNoneTwiceAlone) {
    std::mt19937 rng(2032);
    for (const LogicCase& logic : kEdgeLogics)
        plan_lengths(logic, hc_variant(logic.variant), edge_lengths(uint32_t(logic.variant)), check_edge_plan, rng,
                     [](uint32_t length) { return length % 2 == 0; });
}

// ---- Nozzle-line offsets ------------------------------------------------------------------

// Every ink prints the pattern of nozzles moved by its nozzle line's offset
// on the head: the lines standing higher reach each raster later, and the
// page is planned for them too. Each of the logics above (the edge logics
// by their rule) with random offsets, at the page lengths that meet the
// patterns' phases densely at the small end and sparsely up to 100,000,
// with and without a not-printed window: every raster of every ink inside
// the window once, none outside it.
struct OffsetCase {
    LogicCase logic;
    Checker check;
};

std::vector<uint32_t> offset_lengths(std::mt19937& rng, uint32_t longest) {
    std::vector<uint32_t> lengths;
    for (uint32_t l = 1; l <= 48; ++l) lengths.push_back(l);
    for (uint32_t l : {179u, 181u, 361u, 1000u}) lengths.push_back(l);
    for (int i = 0; i < 2; ++i) lengths.push_back(49 + rng() % (longest - 49));
    lengths.push_back(longest);
    return lengths;
}

TEST(PassPlanInvariant, InksWithNozzleLineOffsetsPrintEveryRasterOfThePage) {
    std::vector<OffsetCase> cases;
    for (const LogicCase& l : kLogics) cases.push_back({l, check_plan});
    for (const LogicCase& l : kEdgeLogics) cases.push_back({l, check_edge_plan});
    std::mt19937 rng(44);
    for (const OffsetCase& t : cases) {
        ovcg_test::ModelHeadControl hc = hc_variant(t.logic.variant);
        // Up to two head heights of the edge logics' 8 nozzles, up to 40
        // rasters on the others; the 8-nozzle heads' pages are many passes
        // long already at 10,000 rasters.
        const bool small = hc.head.nozzles[0] <= 8;
        const uint32_t most = small ? 16 : 40;
        for (uint16_t& offset : hc.modes[0].array_values) offset = uint16_t(rng() % (most + 1));
        hc.modes[0].array_values[rng() % hc.modes[0].array_values.size()] = uint16_t(most);
        hc.modes[0].array_values[0] = 0;
        const std::vector<uint32_t> lengths = offset_lengths(rng, small ? 10000 : 100000);
        std::set<uint32_t> shortWithout;
        {
            PassEngine base(hc_variant(t.logic.variant));  // one engine at a time: they share the allocator
            for (uint32_t length : lengths)
                if (plan_page(base, {length, six_inks(), {}, 0}).code == kMleNegativeRange) shortWithout.insert(length);
        }
        plan_lengths(t.logic, hc, lengths, t.check, rng, [](uint32_t length) { return length % 4 == 1; },
                     &shortWithout);
    }
}

// ---- Rows of the split colour table ----------------------------------------------------------

// Every ink on a row of the split colour table, c on a second row of K's
// nozzle line, each row shifted down its line by up to the spare nozzles
// the head gets below the logic's windows, with random nozzle-line offsets
// as above. A row standing lower than the pattern prints the page's first
// rasters only from passes above the page top, which these logics (made
// without rows) lack: the plan moves up for it. Each logic (the edge ones
// by their rule), at the page lengths of the offsets, with and without a
// not-printed window: every raster of every ink inside the window once,
// none outside it.
TEST(PassPlanInvariant, InksOnShiftedRowsPrintEveryRasterOfThePage) {
    std::vector<OffsetCase> cases;
    for (const LogicCase& l : kLogics) cases.push_back({l, check_plan});
    for (const LogicCase& l : kEdgeLogics) cases.push_back({l, check_edge_plan});
    std::mt19937 rng(4444);
    for (const OffsetCase& t : cases) {
        ovcg_test::ModelHeadControl hc = hc_variant(t.logic.variant);
        const bool small = hc.head.nozzles[0] <= 8;
        const uint16_t spare = small ? 5 : 37;
        hc.head.nozzles.back() = uint16_t(hc.head.nozzles.back() + spare);
        ovcg_test::HcMode& m = hc.modes[0];
        m.function_flags |= 0x40;
        m.block_e.rows = 2;
        m.block_e.codes = six_inks();
        m.block_e.colors = six_inks();
        m.block_e.colors[4] = 0x10;
        m.block_e.shifts.clear();
        for (size_t i = 0; i < 6; ++i) m.block_e.shifts.push_back(uint16_t(rng() % (spare + 1)));
        m.block_e.shifts[rng() % 6] = spare;
        const uint32_t most = small ? 16 : 40;
        for (uint16_t& offset : m.array_values) offset = uint16_t(rng() % (most + 1));
        m.array_values[0] = 0;
        const std::vector<uint32_t> lengths = offset_lengths(rng, small ? 10000 : 100000);
        plan_lengths(t.logic, hc, lengths, t.check, rng, [](uint32_t length) { return length % 4 == 1; });
    }
}

// The smallest case: one head of 4 nozzles at pitch 1 feeding 4, an 8-raster
// page, inks at offsets 0 and 2. The second ink's nozzles stand 2 rasters
// higher: passes at 0 and 4 leave its rasters 6 and 7, which a third pass
// at 8 prints (and nothing of the first ink).
TEST(PassPlanInvariant, TheLaggingInkGetsAPassOfItsOwn) {
    ovcg_test::ModelHeadControl hc = hc_variant(HcVariant::Interleaved8);
    hc.head.nozzles = {4};
    ovcg_test::HcLogic& u = hc.units[0];
    u.pitch = 1;
    u.layers = {ovcg_test::HcLayer{1, 0, 0, {4}, {{0, 4}}, {1}, {0}, {}}};
    u.normal = {{4, 0, 0, 0}};
    hc.modes[0].array_values.assign(hc.modes[0].array_values.size(), 0);
    hc.modes[0].array_values[1] = 2;
    PassEngine e(hc);
    ASSERT_EQ(e.code, 0u);
    const PagePlan plan = plan_page(e, {8, {0x10, 0x11}, {}, 0});
    ASSERT_EQ(plan.code, 0u) << plan.failedCall;
    ASSERT_EQ(plan.passes.size(), 3u);
    const int32_t rasters[3][2][2] = {{{0, 4}, {0, 2}}, {{4, 8}, {2, 6}}, {{8, 8}, {6, 8}}};  // [pass][ink] first, end
    for (size_t p = 0; p < 3; ++p)
        for (size_t ink = 0; ink < 2; ++ink) {
            const NozzleRecord& r = plan.passes[p].nozzles[ink];
            const int32_t first = r.info.firstNozzle < r.info.endNozzle ? int32_t(r.raster(r.info.firstNozzle)) : 8;
            EXPECT_EQ(first, rasters[p][ink][0]) << "pass " << p << " ink " << ink;
            EXPECT_EQ(first + r.info.endNozzle - r.info.firstNozzle, rasters[p][ink][1]) << "pass " << p << " ink " << ink;
        }
    EXPECT_EQ(check_plan(plan, 2, 0, 8, MLE_GetOffsetNozzleMax(e.mle), MLE_GetHeadheight(e.mle)), "");
}

// ---- Heads of many nozzles -------------------------------------------------------------------

// A head of n nozzles at pitch p printing each raster once: normal passes
// of m nozzles feeding m (m the largest up to n sharing no factor with p)
// from raster (p - 1) m on, where they reach every raster once; above them
// (p - 1) m upper passes feeding 1 over the whole window, each printing
// what no later pass reaches. A pass a raster at the top, each walking
// the passes within the head's reach.
void regular_head(ovcg_test::ModelHeadControl& hc, uint16_t n, uint16_t p) {
    uint16_t m = n;
    auto gcd = [](uint32_t a, uint32_t b) {
        while (b) a = std::exchange(b, a % b);
        return a;
    };
    while (gcd(m, p) != 1) --m;
    const int32_t upper = int32_t(p - 1) * m;
    hc.head.nozzles = {n};
    ovcg_test::HcLogic& u = hc.units[0];
    u.pitch = p;
    u.layers = {ovcg_test::HcLayer{0, 0, upper - 1, {1}, {{0, m}}, {1}, {0}, {}},
                ovcg_test::HcLayer{1, upper, 0, {int16_t(m)}, {{0, m}}, {1}, {0}, {}}};
    u.normal = {{m, 0, 0, 0}};
}

// Heads of up to 2048 nozzles at pitch up to 8 plan such logics on long
// pages, and a head of 1280 at pitch 4 prints a page of 100,000 rasters
// once.
TEST(PassPlanInvariant, RegularLogicsOfLargeHeadsArePlanned) {
    const struct {
        uint16_t nozzles, pitch;
        uint32_t length;
        bool print;
    } heads[] = {
        {251, 3, 3000, true}, {211, 4, 3000, true}, {180, 8, 3000, false}, {1280, 4, 100000, true},
        {2048, 2, 20000, false}, {2048, 8, 20000, false}, {2048, 8, 100000, false},
    };
    for (const auto& t : heads) {
        SCOPED_TRACE(std::to_string(t.nozzles) + " nozzles at pitch " + std::to_string(t.pitch));
        ovcg_test::ModelHeadControl hc = hc_variant(HcVariant::Default);
        regular_head(hc, t.nozzles, t.pitch);
        PassEngine e(hc);
        ASSERT_EQ(e.code, 0u);
        const uint8_t ink = 0x10;
        if (!t.print) {
            ASSERT_EQ(MLE_StartPage(e.mle, t.length, 1, &ink, nullptr, nullptr), 0u);
            EXPECT_EQ(MLE_CreateSchedulingTable(e.mle, 0, nullptr), 0u);
            MLE_EndPage(e.mle);
            continue;
        }
        const PagePlan plan = plan_page(e, {t.length, {ink}, {}, 0});
        ASSERT_EQ(plan.code, 0u) << plan.failedCall;
        EXPECT_EQ(check_plan(plan, 1, 0, t.length, 0, MLE_GetHeadheight(e.mle)), "");
    }
}

}  // namespace
}  // namespace ovcg::irac::test
