// HybridED of one 9921-pixel colour-line, 8-bit ink to 1 bit and to 2 bits
// (smallest dot size small, medium, large), at the 1x1 and 4x1 ratios, on
// photo-like and flat mid-tone rows, through the wrapper the binariser calls
// per (line, colour, head), the error line carried from line to line; and
// the slow literal model of the tests on the same rows. Mpx/s per
// colour-line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "binarize_lines.h"
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "support/dither_record.h"
#include "support/hybrid_ed_reference.h"
#include "support/model_dither.h"

namespace {

using ovcg_bench::bench_alloc;
using ovcg_bench::bench_free;
constexpr int32_t kWidth = ovcg_bench::kLineWidth;
constexpr int kLines = ovcg_bench::kLineCount;

// One level per ink value, or three cumulative sizes.
std::vector<uint32_t> rates(int bits) {
    std::vector<uint32_t> r;
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t total = v * 16;
        if (bits == 1) r.push_back(total);
        else r.insert(r.end(), {total, total * 2 / 3, total / 3});
    }
    return r;
}

struct Setup {
    int bits;
    uint32_t k;
    bool wide;  // 4x1 rather than 1x1
    bool photo;
    Setup(const benchmark::State& s)
        : bits(int(s.range(0))), k(uint32_t(s.range(1))), wide(s.range(2) != 0), photo(s.range(3) != 0) {}
};

void BM_hybrid_ed(benchmark::State& state) {
    const Setup s(state);
    const ovcg_test::PlainMaskSpec mask = ovcg_test::model_plain_mask(64, 64, 16);
    const ovcg_test::DitherRecord rec = ovcg_test::make_dither_record(64, 64, 0, 0, mask.thresholds);
    const HXRDthOffset off{5, 9};
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    HXRRandNum* random = HXRCreateRandNum(mm);
    // Rows in which the smallest size in use is k.
    std::vector<uint32_t> used = rates(s.bits);
    for (size_t i = 0; s.bits == 2 && i < used.size(); ++i)
        if (i % 3 < s.k) used[i] = 0;
    const HXRSmlColorData used_row{256, uint32_t(s.bits == 1 ? 1 : 3), {}, used.data()};
    const HXRSmlColorData* four[4] = {&used_row, nullptr, nullptr, nullptr};
    HXRIntermediateData interm{};
    interm.linePixelSize = uint32_t(kWidth + 8) & ~7u;
    HXRHybridEDBinarizer* b = HXRCreateBinarizeHybridED(0, s.wide ? 2880 : 720, 720, 1, 1, uint32_t(s.bits), 6, 1,
                                                        four, &interm, random, mm);
    std::vector<uint32_t> r = rates(s.bits);
    const HXRSmlColorData row{256, uint32_t(s.bits == 1 ? 1 : 3), {}, r.data()};
    const HXRSmlColorData* pair[2] = {&row, &row};
    const auto ink = ovcg_bench::ink_rows(s.photo);
    std::vector<uint8_t> plane(size_t(kWidth) * size_t(s.bits) / 8 + 1);
    uint32_t counts[7] = {};
    uint32_t line = 0;
    for (auto _ : state) {
        int32_t* error = HXRGetHybridEDErrorBuffer(b, random, line, 0);
        HXRBinarizeHybridED(b, plane.data(), counts, ink[line % kLines].data(), nullptr, error, 0, kWidth, &rec.data,
                            &off, pair, line);
        HXRSetHybridEDVPostion(b, line);
        benchmark::DoNotOptimize(plane.data());
        ++line;
    }
    state.counters["Mpx"] = benchmark::Counter(double(state.iterations()) * kWidth * 1e-6,
                                                 benchmark::Counter::kIsRate);
    HXRDeleteMemMgr(mm);
}

void BM_hybrid_ed_model(benchmark::State& state) {
    const Setup s(state);
    const ovcg_test::PlainMaskSpec mask = ovcg_test::model_plain_mask(64, 64, 16);
    const ovcg_test::DitherRecord rec = ovcg_test::make_dither_record(64, 64, 0, 0, mask.thresholds);
    std::vector<int32_t> thresholds(512);
    HXRMakeHybridEDThresholds(0, thresholds.data());
    HXRMakeHybridEDThresholds(1, thresholds.data() + 256);
    const std::vector<uint32_t> r = rates(s.bits);
    const auto ink = ovcg_bench::ink_rows(s.photo);
    std::vector<uint8_t> plane(size_t(kWidth) * size_t(s.bits) / 8 + 1);
    std::vector<int32_t> error(size_t(kWidth + 8) / 8 * 8 + 60);
    uint32_t counts[7] = {};
    uint32_t line = 0;
    const ovcg_test::EdKernelSpec recipe{s.wide ? ovcg_test::EdFamily::k4x1 : ovcg_test::EdFamily::k1x1, s.bits, s.k};
    for (auto _ : state) {
        ovcg_test::EdRun run;
        run.ink = ink[line % kLines].data();
        run.rates = r.data();
        run.dither = &rec;
        run.offset = {5, 9};
        run.nozzle = line;
        run.thresholds = thresholds.data();
        run.n = kWidth;
        ovcg_test::reference_hybrid_ed(recipe, run, plane, counts, error);
        ++line;
    }
    state.counters["Mpx"] = benchmark::Counter(double(state.iterations()) * kWidth * 1e-6,
                                                 benchmark::Counter::kIsRate);
}

void configurations(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bits", "k", "4x1", "photo"});
    for (int wide : {0, 1})
        for (int photo : {1, 0}) {
            b->Args({1, 0, wide, photo});
            for (int k : {0, 1, 2}) b->Args({2, k, wide, photo});
        }
}

}  // namespace

BENCHMARK(BM_hybrid_ed)->Apply(configurations);
BENCHMARK(BM_hybrid_ed_model)->Apply(configurations)->Iterations(3);
