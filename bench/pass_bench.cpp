// Pass planning of a whole page as the output loop drives it: per pass the
// head table (MLE_MakeHeadTable), the nozzle information of every ink, and
// the step to the next pass (which builds the next head table).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "headcontrol/mle.h"
#include "headcontrol/model_resource.h"
#include "support/fake_ovf.h"
#include "support/model.h"
#include "support/model_head_control.h"

namespace {

using namespace ovcg::irac;

// A 47,000-raster page with six inks: `variant` gives the logic.
void PlanPage(benchmark::State& state, ovcg_test::HcVariant variant) {
    ovcg_test::FakeOvf ovf;
    ovf.set_resource(kModelResourceKind, ovcg_test::head_control_resource(
                                             ovcg_test::head_control_variant(ovcg_test::default_model(), variant)));
    const CallbackTable cb = relay_callbacks(ovf.table());
    RscObject* rsc = nullptr;
    MLE_INSTANCE* mle = nullptr;
    if (RSC_Constructor(&rsc, {ovcg_test::model_head_mode_id(), 1}, IRAC_OPT_ENGINE, &cb) ||
        MLE_Constructor(&mle, 0, &cb, rsc)) {
        state.SkipWithError("the model does not load");
        return;
    }
    const std::vector<uint8_t> inks = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    int64_t passes = 0;
    uint64_t sink = 0;
    for (auto _ : state) {
        MLE_StartPage(mle, 47000, uint16_t(inks.size()), inks.data(), nullptr, nullptr);
        if (MLE_CreateSchedulingTable(mle, 0, nullptr) != 0) {
            state.SkipWithError("no schedule");
            break;
        }
        for (uint8_t end = 0; !end; ++passes) {
            MLE_MakeHeadTable(mle);
            for (int32_t ink = 0; ink < int32_t(inks.size()); ++ink) {
                const MleNozzleInfo* info = nullptr;
                MLE_GetNozzleInfo(mle, 0, ink, &info);
                sink += uint64_t(info->endNozzle - info->firstNozzle);
            }
            MLE_Next(mle, nullptr, &end);
        }
        MLE_EndPage(mle);
    }
    benchmark::DoNotOptimize(sink);
    state.counters["passes"] = benchmark::Counter(double(passes), benchmark::Counter::kIsRate);
    MLE_Destructor(mle);
    RSC_Destructor(rsc);
}

void BM_PassPlanInterleaved(benchmark::State& state) { PlanPage(state, ovcg_test::HcVariant::Interleaved); }
void BM_PassPlanOnePass(benchmark::State& state) { PlanPage(state, ovcg_test::HcVariant::Default); }
// Edge logics on a head of 8 nozzles: normal, F-trans and lower passes
// (the tables claimed from the virtual passes at the schedule), and normal
// passes whose head tables look for MWSW passes to suppress against.
void BM_PassPlanEdgeFTrans(benchmark::State& state) { PlanPage(state, ovcg_test::HcVariant::FTrans); }
void BM_PassPlanEdgeMwsw(benchmark::State& state) { PlanPage(state, ovcg_test::HcVariant::Mwsw); }

}  // namespace

BENCHMARK(BM_PassPlanInterleaved)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassPlanOnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassPlanEdgeFTrans)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassPlanEdgeMwsw)->Unit(benchmark::kMillisecond);
