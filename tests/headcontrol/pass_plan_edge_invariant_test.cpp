// Whole pages of the edge logics, checked raster by raster: every raster of
// the printed window is printed (alone, or in two halves of an overlap or
// of an MWSW overlap) and none twice alone, over page lengths from tables
// and random ones; pages shorter than a logic's fixed part are refused
// with 246.
#include "pass_plan_fixture.h"

#include "headcontrol/codes.h"

#include <gtest/gtest.h>

#include <random>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;

struct EdgeLogic {
    const char* name;
    HcVariant variant;
    uint32_t shortest;  // pages from this length plan; shorter ones may be refused with 246
};

const EdgeLogic kEdgeLogics[] = {
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
    for (const EdgeLogic& logic : kEdgeLogics) {
        PassEngine engine(hc_variant(logic.variant));
        ASSERT_EQ(engine.code, 0u) << logic.name;
        const int64_t height = MLE_GetHeadheight(engine.mle);
        for (uint32_t length : edge_lengths(uint32_t(logic.variant))) {
            for (int window = 0; window < (length % 2 ? 1 : 2); ++window) {
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
                EXPECT_EQ(check_edge_plan(plan, 6, lo, hi, MLE_GetOffsetNozzleMax(engine.mle), height), "")
                    << logic.name << ", length " << length << ", window [" << lo << ", " << hi << ")";
            }
        }
        EXPECT_EQ(engine.release(), "") << logic.name;
    }
}

}  // namespace
}  // namespace ovcg::irac::test
