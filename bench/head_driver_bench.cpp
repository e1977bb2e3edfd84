// The head-control job driver: pages of 5,000 rasters through IRAC_DrawData
// (30 KB x 4 colours in the single-line form, 45 KB x 8 in the multi-line
// form, 2-bit dots at 10 % coverage, every command sent to a callback that
// discards it), beside what the raster side alone spends on the same lines
// (each raster stored in the band buffer, each colour line coded once); and
// the end of an open-length page after 1,000 rasters. Bytes processed are
// input bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "headcontrol/callbacks.h"
#include "headcontrol/ovc_encoder.h"
#include "headcontrol/ovc_run_length.h"
#include "headcontrol/rbm_band_buffer.h"
#include "irac_platform.h"
#include "ovcg/irac.h"
#include "support/model.h"
#include "support/model_head_control.h"

namespace {

using namespace ovcg::irac;

constexpr uint32_t kPageRasters = 5000;
constexpr int kDistinct = 16;  // rasters cycled through

// The default model's head with up to 8 colours; the multi-line form on request.
std::vector<uint8_t> model_resource(int colours, bool multi) {
    ovcg_test::ModelHeadControl hc =
        ovcg_test::head_control_variant(ovcg_test::default_model(), ovcg_test::HcVariant::Default);
    ovcg_test::HcMode& m = hc.modes[0];
    for (uint8_t ink = uint8_t(m.color_order.size()); ink < colours; ++ink) {
        hc.color_table.push_back({uint8_t(ink + 0x20), uint8_t(0x30 + ink)});
        m.color_order.push_back(uint8_t(0x30 + ink));
        m.array_values.push_back(0);
        hc.head.line_values.push_back(0);
    }
    if (multi) hc.encoders[0].flags = 0x4;
    return ovcg_test::head_control_resource(hc);
}

std::vector<uint8_t> ink_codes(int colours) {
    std::vector<uint8_t> inks;
    for (int c = 0; c < colours; ++c) inks.push_back(uint8_t(c < 6 ? c : c + 0x20));
    return inks;
}

OVF_COMMON platform(std::vector<uint8_t>* resource) {
    OVF_COMMON t = defaults::table();
    t.get_resource = ovcg_bench::serve_resource;
    t.free_resource = ovcg_bench::release_resource;
    t.resource_context = resource;
    return t;
}

// A raster of all colours: each 2-bit dot set (1 to 3) with a 10 % chance.
std::vector<std::vector<uint8_t>> rasters(size_t n, int colours) {
    std::mt19937 rng(10);
    std::vector<std::vector<uint8_t>> all(kDistinct, std::vector<uint8_t>(n * size_t(colours), 0));
    for (auto& r : all)
        for (auto& b : r)
            for (int d = 0; d < 4; ++d)
                if (rng() % 100 < 10) b = uint8_t(b | ((1 + rng() % 3) << (6 - 2 * d)));
    return all;
}

struct Job {
    std::vector<uint8_t> resource;
    OVF_COMMON ovf;
    IRAC_INSTANCE_DEF* handle = nullptr;
    std::vector<uint8_t> inks;

    Job(size_t n, int colours, bool multi, uint32_t subMode, uint32_t length)
        : resource(model_resource(colours, multi)), ovf(platform(&resource)), inks(ink_codes(colours)) {
        const IRACS_IDENTIFIER id{0, subMode, 1, 4, ovcg_test::model_head_mode_id()};
        const IRACS_PRINTDATA_INFO pd{uint32_t(n), length, uint16_t(colours)};
        const int8_t shifts[32] = {};
        const IRACS_OPTION option{0, shifts, IRAC_OPT_ENGINE};
        IRACS_VALUE value{};
        if (IRAC_StartJob(&handle, &id, &pd, &option, &value, &ovf)) handle = nullptr;
    }
    ~Job() { IRAC_EndJob(handle); }

    bool draw(std::vector<std::vector<uint8_t>>& data, size_t n, uint32_t from, uint32_t count) {
        for (uint32_t r = from; r < from + count; ++r) {
            uint8_t* lines[1] = {data[r % kDistinct].data()};
            const IRACS_RASTERDATA run{lines, uint32_t(n), 1, r};
            if (IRAC_DrawData(handle, &run)) return false;
        }
        return true;
    }
};

// state.range: 0 line bytes, 1 colours, 2 multi-line form.
void BM_HeadDriverPage(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const int colours = int(state.range(1));
    Job job(n, colours, state.range(2) != 0, 1, kPageRasters);
    auto data = rasters(n, colours);
    if (!job.handle) {
        state.SkipWithError("job not started");
        return;
    }
    for (auto _ : state) {
        if (IRAC_StartPage(job.handle, 0, job.inks.data()) || !job.draw(data, n, 0, kPageRasters) ||
            IRAC_EndPage(job.handle)) {
            state.SkipWithError("page failed");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPageRasters * int64_t(n) * colours);
}

// The raster side alone on the same lines: store each raster, code each
// colour line once.
void BM_HeadDriverRasterSide(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const int colours = int(state.range(1));
    const OVF_COMMON ovf = defaults::table();
    const CallbackTable cb = relay_callbacks(ovf);
    RBMResourceData res{1, 2, 1, 1};
    RscObject rsc{};
    rsc.rbm = &res;
    RbmObject* rbm = nullptr;
    uint32_t planeLine = 0;
    if (RBM_Constructor(&rbm, uint32_t(n), int16_t(colours), 1, 180, &rsc, &planeLine, &cb) ||
        RBM_StartPage(rbm, 0, 0, 0, 0, 0, nullptr)) {
        state.SkipWithError("band buffer not built");
        return;
    }
    auto data = rasters(n, colours);
    std::vector<uint8_t> code(worst_case_code_size(n + 1, 2));
    for (auto _ : state) {
        for (uint32_t r = 0; r < kPageRasters; ++r) {
            uint8_t* lines[1] = {data[r % kDistinct].data()};
            uint8_t has = 0;
            RBM_SetRasterdata(rbm, int32_t(r), int32_t(n), lines, 0, 0, &has);
            for (int c = 0; c < colours; ++c)
                benchmark::DoNotOptimize(
                    OVC_RunLengthEncoding_Plus(cb, lines[0] + size_t(c) * n, code.data(), code.size(), n, 2));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPageRasters * int64_t(n) * colours);
    RBM_Destructor(rbm);
}

// The end of an open-length page (21,543,311 rasters allowed) after 1,000.
void BM_HeadDriverOpenPageEnd(benchmark::State& state) {
    const size_t n = 30 * 1024;
    Job job(n, 4, false, 3, IRAC_OPEN_PAGE_LENGTH);
    auto data = rasters(n, 4);
    if (!job.handle) {
        state.SkipWithError("job not started");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const bool drawn = IRAC_StartPage(job.handle, 0, job.inks.data()) == 0 && job.draw(data, n, 0, 1000);
        state.ResumeTiming();
        if (!drawn || IRAC_EndPage(job.handle)) {
            state.SkipWithError("page failed");
            return;
        }
    }
}

}  // namespace

BENCHMARK(BM_HeadDriverPage)->Args({30 * 1024, 4, 0})->Args({45 * 1024, 8, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeadDriverRasterSide)->Args({30 * 1024, 4})->Args({45 * 1024, 8})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeadDriverOpenPageEnd)->Unit(benchmark::kMillisecond);
