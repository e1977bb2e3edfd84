// Whole pages planned by the pass engine, checked raster by raster: each
// raster of the printed window is printed once (alone, or in two halves by
// two passes), nothing outside it is printed, and every raster a pass reads
// lies within the reach the job driver buffers for.
#include "pass_plan_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;

struct LogicCase {
    const char* name;
    HcVariant variant;
};

const LogicCase kLogics[] = {
    {"one pass per head height", HcVariant::Default},
    {"interleaved, 180 nozzles", HcVariant::Interleaved},
    {"interleaved, 8 nozzles", HcVariant::Interleaved8},
    {"two heads split at the middle of their overlap", HcVariant::TwoHeads},
    {"two heads printing their overlap both", HcVariant::TwoHeadsOverlap},
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
    for (const LogicCase& logic : kLogics) {
        PassEngine engine(hc_variant(logic.variant));
        ASSERT_EQ(engine.code, 0u) << logic.name;
        const int64_t height = MLE_GetHeadheight(engine.mle);
        for (uint32_t length : page_lengths()) {
            for (int window = 0; window < 2; ++window) {
                PageRequest q{length, six_inks(), {}, 0};
                int64_t lo = 0, hi = length;
                if (window) {
                    lo = int64_t(rng() % length);
                    hi = lo + int64_t(rng() % (length - lo + 1));
                    q.notPrinted = {{int32_t(lo), int32_t(hi)}};
                }
                const PagePlan plan = plan_page(engine, q);
                ASSERT_EQ(plan.code, 0u) << logic.name << ", length " << length << ": " << plan.failedCall;
                EXPECT_EQ(check_plan(plan, 6, lo, hi, MLE_GetOffsetNozzleMax(engine.mle), height), "")
                    << logic.name << ", length " << length << ", window [" << lo << ", " << hi << ")";
            }
        }
        EXPECT_EQ(engine.release(), "") << logic.name;
    }
}

}  // namespace
}  // namespace ovcg::irac::test
