// Two-line bands of the six-colour ink set through the binarize controller
// over the model's host data set, 9921-pixel photo-like rows, ordered dither
// and HybridED at 1 and 2 bits; beside them the same kernels called directly
// for every (line, colour), which is what the driver adds its per-step work
// (SML preparation and fetch, dither data, dot counts) to. Mpx/s counts every
// colour-line.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "binarize_lines.h"
#include "support/bnrz_model_job.h"
#include "support/model.h"

namespace {

using namespace ovcg_test;
constexpr int32_t kWidth = ovcg_bench::kLineWidth;
constexpr uint32_t kInkSet = 3;

struct Band {
    CountingServices svc;
    HXRMemMgr* mm = nullptr;
    BnrzModelJob job{svc};
    std::vector<std::vector<uint8_t>> planes;
    std::vector<uint8_t*> table;
    uint32_t hc = 0;

    explicit Band(benchmark::State& state) {
        const uint32_t ht = uint32_t(state.range(0)), bits = uint32_t(state.range(1));
        mm = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
        const BnrzModelQuery q{kInkSet, bits, ht, 600, 600, 1, 1, kWidth};
        HXRBinarizeController* c = nullptr;
        if (job.make(build_model(default_model()), q, mm)) c = job.ctrl;
        if (!c || HXRSetBinarizeData(c, job.data, job.clr, mm) != 0 ||
            (ht != 3 && HXRSetHybridEDBinarize(c, &job.ht, 1, 1, job.clr, job.interm, job.random, mm) != 0) ||
            HXRSetHtSwitchPos(c, nullptr, 0, mm) != 0 || HXRResetBnrzErrorBuffer(c, job.random) != 0) {
            state.SkipWithError("job set-up failed");
            return;
        }
        const auto rows = ovcg_bench::ink_rows(true);
        for (int32_t k = 0; k < job.interm->inkNum; ++k)
            for (uint32_t l = 0; l < 2; ++l)
                std::memcpy(HXRGetInkQuantityBuf(job.interm, k, l), rows[size_t(2 * k + l)].data(), size_t(kWidth));
        HXRSetWritingArea(job.interm, 0, kWidth);
        hc = HXRGetHalftoneColorNum(job.clr);
        planes.assign(2 * 2 * hc, std::vector<uint8_t>(HXRGetBnrzPixelSize(c) * bits / 8));
        for (auto& p : planes) table.push_back(p.data());
    }
    ~Band() {
        job.release();
        HXRDeleteMemMgr(mm);
    }
};

void BM_BinarizeBand(benchmark::State& state) {
    Band b(state);
    if (!b.job.ctrl) return;
    int32_t line = 0;
    for (auto _ : state) {
        uint32_t any = 0;
        if (HXRBinarize(b.job.ctrl, b.job.interm, b.job.random, b.table.data(), &any, 2, line, nullptr) != 0)
            state.SkipWithError("band refused");
        benchmark::DoNotOptimize(any);
        line += 2;
    }
    state.counters["Mpx"] = benchmark::Counter(double(state.iterations()) * kWidth * 2 * b.hc * 1e-6,
                                                 benchmark::Counter::kIsRate);
}

// The dither kernels alone, on the tables the band's first step fetched.
void BM_BinarizeBandKernelsOnly(benchmark::State& state) {
    Band b(state);
    if (!b.job.ctrl) return;
    HXREveryColorBinarizer* e = b.job.ctrl->everyColor;
    const HXRClrMgr* clr = b.job.clr;
    uint32_t any = 0;
    HXRBinarize(b.job.ctrl, b.job.interm, b.job.random, b.table.data(), &any, 2, 0, nullptr);
    int32_t line = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < 2; ++i)
            for (uint32_t c = 0; c < b.hc; ++c) {
                const uint32_t code = HXRGetHalftoneColorCode(clr, c);
                const uint32_t ord = HXRGetOutputColorOrder(clr, code);
                const HXRSmlColorData* sml[2] = {&e->runtimeSml->smlRow[0][c], &e->runtimeSml->smlRow[1][c]};
                uint32_t counts[7] = {};
                HXRBinarizeDither(e->ditherBinarizer, b.table[i * b.hc + c], counts,
                                  HXRGetInkQuantityBuf(b.job.interm, int32_t(HXRGetLutColorOrder(clr, code)), i),
                                  nullptr, 0, kWidth, HXRGetDthDataSingleInfo(e->runtimeDither, line, ord),
                                  HXRGetDthOffDataSingleInfo(e->runtimeDither, line, ord), sml, uint32_t(line));
            }
        line += 2;
    }
    state.counters["Mpx"] = benchmark::Counter(double(state.iterations()) * kWidth * 2 * b.hc * 1e-6,
                                                 benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_BinarizeBand)->ArgNames({"type", "bits"})->Args({3, 1})->Args({3, 2})->Args({6, 1})->Args({6, 2});
BENCHMARK(BM_BinarizeBandKernelsOnly)->ArgNames({"type", "bits"})->Args({3, 1})->Args({3, 2});
