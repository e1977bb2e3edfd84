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
// well for the lengths that `windowed` picks, and checks each plan.
void plan_lengths(const LogicCase& logic, const std::vector<uint32_t>& lengths, Checker check, std::mt19937& rng,
                  bool (*windowed)(uint32_t)) {
    PassEngine engine(hc_variant(logic.variant));
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
            if (length < logic.shortest && plan.code == kMleNegativeRange) continue;
            ASSERT_EQ(plan.code, 0u) << logic.name << ", length " << length << ": " << plan.failedCall;
            EXPECT_EQ(check(plan, 6, lo, hi, MLE_GetOffsetNozzleMax(engine.mle), height), "")
                << logic.name << ", length " << length << ", window [" << lo << ", " << hi << ")";
        }
    }
    EXPECT_EQ(engine.release(), "") << logic.name;
}

const LogicCase kLogics[] = {
    {"one pass per head height", HcVariant::Default},
    {"interleaved, 180 nozzles", HcVariant::Interleaved},
    {"interleaved, 8 nozzles", HcVariant::Interleaved8},
    {"two heads split at the middle of their overlap", HcVariant::TwoHeads},
    {"two heads printing their overlap both", HcVariant::TwoHeadsOverlap},
    {"an upper and a pre-normal pass", HcVariant::PreNormal},
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
    for (const LogicCase& logic : kLogics) plan_lengths(logic, page_lengths(), check_plan, rng, [](uint32_t) { return true; });
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
        plan_lengths(logic, edge_lengths(uint32_t(logic.variant)), check_edge_plan, rng,
                     [](uint32_t length) { return length % 2 == 0; });
}

}  // namespace
}  // namespace ovcg::irac::test
