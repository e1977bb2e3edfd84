// The band path: pages of 2,000 rasters through IRAC_DrawData with option
// 0x8 (30 KB x 4 colours, 2-bit dots at 10 % coverage, bands of 64 lines,
// run-length coding on), with the left offset on a group boundary (lines
// copied) and 5 dots into it (lines shifted), every command sent to a
// callback that discards it. Bytes processed are input bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "headcontrol/callbacks.h"
#include "irac_platform.h"
#include "ovcg/irac.h"
#include "support/model.h"
#include "support/model_band_path.h"

namespace {

using namespace ovcg::irac;

constexpr uint32_t kRasters = 2000;
constexpr int kDistinct = 16;
constexpr int kColours = 4;

void BM_BandPathPage(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const int32_t left = int32_t(state.range(1));
    ovcg_test::ModelBandPath band = ovcg_test::default_band_path(ovcg_test::default_model());
    band.lines = 64;
    std::vector<uint8_t> resource = ovcg_test::band_path_resource(band);
    OVF_COMMON ovf = defaults::table();
    ovf.get_resource = ovcg_bench::serve_resource;
    ovf.free_resource = ovcg_bench::release_resource;
    ovf.resource_context2 = &resource;
    const IRACS_IDENTIFIER id{0, 0, 0, 0, 0};
    const IRACS_PRINTDATA_INFO pd{uint32_t(n), kRasters, kColours};
    const int8_t shifts[32] = {};
    const IRACS_OPTION option{0, shifts, IRAC_OPT_BAND_PATH};
    IRACS_VALUE value{};
    IRAC_INSTANCE_DEF* h = nullptr;
    const int32_t bits = 2;
    if (IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf) || IRAC_SetValue(h, IRAC_SET_BITLEN, &bits)) {
        state.SkipWithError("job not started");
        return;
    }
    std::mt19937 rng(10);
    std::vector<std::vector<uint8_t>> data(kDistinct, std::vector<uint8_t>(n * kColours, 0));
    for (auto& r : data)
        for (auto& b : r)
            for (int d = 0; d < 4; ++d)
                if (rng() % 100 < 10) b = uint8_t(b | ((1 + rng() % 3) << (6 - 2 * d)));
    const std::vector<uint8_t> inks(band.inks.begin(), band.inks.begin() + kColours);
    for (auto _ : state) {
        bool ok = IRAC_StartPage(h, left, inks.data()) == 0;
        for (uint32_t r = 0; ok && r < kRasters; ++r) {
            uint8_t* lines[1] = {data[r % kDistinct].data()};
            const IRACS_RASTERDATA run{lines, uint32_t(n), 1, r};
            ok = IRAC_DrawData(h, &run) == 0;
        }
        if (!ok || IRAC_EndPage(h)) {
            state.SkipWithError("page failed");
            break;
        }
    }
    IRAC_EndJob(h);
    state.SetBytesProcessed(int64_t(state.iterations()) * kRasters * int64_t(n) * kColours);
}

}  // namespace

BENCHMARK(BM_BandPathPage)->Args({30 * 1024, 0})->Args({30 * 1024, 5})->Unit(benchmark::kMillisecond);
