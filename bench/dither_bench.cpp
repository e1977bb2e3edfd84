// Ordered dither of one 9921-pixel colour-line, 8-bit ink to 1 and 2 bits,
// on photo-like and flat rows, through the wrapper the binariser calls per
// (line, colour, head). Reported in Mpx/s per colour-line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "binarize_lines.h"
#include "hxr/binarize/hxr_bnrz_dither.h"
#include "support/dither_record.h"
#include "support/model_dither.h"

namespace {

using ovcg_bench::bench_alloc;
using ovcg_bench::bench_free;
constexpr int32_t kWidth = ovcg_bench::kLineWidth;
constexpr int kLines = ovcg_bench::kLineCount;

void BM_dither_8bit(benchmark::State& state) {
    const int bits = int(state.range(0));
    const bool photo = state.range(1) != 0;
    const ovcg_test::PlainMaskSpec mask = ovcg_test::model_plain_mask(64, 64, 16);
    const ovcg_test::DitherRecord rec = ovcg_test::make_dither_record(64, 64, 0, 0, mask.thresholds);
    const HXRDthOffset off{5, 9};
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    const HXRDitherBinarizer* b = HXRCreateBinarizeDither(1, 1, uint32_t(bits), mm);
    // Cumulative three-size rates, or one level per ink value.
    std::vector<uint32_t> r;
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t total = v * 16;
        if (bits == 1) r.push_back(total);
        else r.insert(r.end(), {total, total * 2 / 3, total / 3});
    }
    HXRSmlColorData row{256, uint32_t(bits == 1 ? 1 : 3), {}, r.data()};
    const HXRSmlColorData* pair[2] = {&row, &row};
    const auto ink = ovcg_bench::ink_rows(photo);
    std::vector<uint8_t> plane(size_t(kWidth) * bits / 8 + 1);
    uint32_t counts[7] = {};
    uint32_t line = 0;
    for (auto _ : state) {
        HXRBinarizeDither(b, plane.data(), counts, ink[line % kLines].data(), nullptr, 0, kWidth, &rec.data, &off,
                          pair, line);
        benchmark::DoNotOptimize(plane.data());
        ++line;
    }
    state.counters["Mpx"] = benchmark::Counter(double(state.iterations()) * kWidth * 1e-6,
                                                 benchmark::Counter::kIsRate);
    HXRDeleteMemMgr(mm);
}

}  // namespace

BENCHMARK(BM_dither_8bit)->ArgNames({"bits", "photo"})->Args({1, 1})->Args({1, 0})->Args({2, 1})->Args({2, 0});
