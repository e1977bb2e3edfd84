// The head-control raster side on 20 KB and 45 KB colour lines, 8 colours
// a raster, 2 bits a dot at 10 % and 30 % halftone coverage or blank:
// storing a raster in the band buffer (plain copy; table expansion with a
// shift and with repeat 2 / planes 2) beside memcpy of the same bytes, and
// the run-length coder and size walk. Bytes processed are input bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "headcontrol/ovc_encoder.h"
#include "headcontrol/ovc_run_length.h"
#include "headcontrol/rbm_band_buffer.h"

namespace {

using namespace ovcg::irac;

constexpr int kColours = 8;

// A halftoned line: each 2-bit dot set (1 to 3) with the given chance.
std::vector<uint8_t> halftone(size_t n, int percent, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> line(n, 0);
    if (percent == 0) return line;
    for (auto& b : line)
        for (int d = 0; d < 4; ++d)
            if (int(rng() % 100) < percent) b = uint8_t(b | ((1 + rng() % 3) << (6 - 2 * d)));
    return line;
}

std::vector<uint8_t> raster(size_t n, int percent) {
    std::vector<uint8_t> all;
    for (int c = 0; c < kColours; ++c) {
        const auto line = halftone(n, percent, uint32_t(c + 1));
        all.insert(all.end(), line.begin(), line.end());
    }
    return all;
}

// state.range: 0 line bytes, 1 coverage %, 2 left offset in dots, 3 repeat = planes.
void BM_HeadRasterStore(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const uint16_t rp = uint16_t(state.range(3));
    const OVF_COMMON ovf = defaults::table();
    const CallbackTable cb = relay_callbacks(ovf);
    RBMResourceData res{rp, 2, rp, 1};
    RscObject rsc{};
    rsc.rbm = &res;
    RbmObject* rbm = nullptr;
    uint32_t planeLine = 0;
    if (RBM_Constructor(&rbm, uint32_t(n), kColours, 1, 64, &rsc, &planeLine, &cb) ||
        RBM_StartPage(rbm, int32_t(state.range(2)), 0, 0, 0, 0, nullptr)) {
        state.SkipWithError("band buffer not built");
        return;
    }
    auto data = raster(n, int(state.range(1)));
    uint8_t* lines[1] = {data.data()};
    int32_t r = 0;
    uint8_t has = 0;
    for (auto _ : state) {
        RBM_SetRasterdata(rbm, r++, int32_t(n), lines, 0, 0, &has);
        benchmark::DoNotOptimize(has);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n) * kColours);
    RBM_Destructor(rbm);
}

void BM_HeadRasterMemcpy(benchmark::State& state) {
    const size_t n = size_t(state.range(0)) * kColours;
    auto data = raster(size_t(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> ring(n * 64);
    size_t slot = 0;
    for (auto _ : state) {
        std::memcpy(ring.data() + (slot++ % 64) * n, data.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

// state.range: 0 line bytes, 1 coverage %, 2 run-length mode (sign: coder).
void BM_HeadRasterCoder(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const int mode = int(state.range(2));
    const OVF_COMMON ovf = defaults::table();
    const CallbackTable cb = relay_callbacks(ovf);
    const auto line = halftone(n, int(state.range(1)), 3);
    const uint32_t m = uint32_t(mode < 0 ? -mode : mode);
    std::vector<uint8_t> code(worst_case_code_size(n, m));
    const RunLengthCoder coder = mode > 0 ? OVC_RunLengthEncoding_Plus : OVC_RunLengthEncoding_Minus;
    for (auto _ : state) benchmark::DoNotOptimize(coder(cb, line.data(), code.data(), code.size(), n, m));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_HeadRasterCodedSize(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const OVF_COMMON ovf = defaults::table();
    const CallbackTable cb = relay_callbacks(ovf);
    OvcContext* ctx = nullptr;
    if (OVC_Constructor_for_STM(&ctx, &cb, int(state.range(2)))) {
        state.SkipWithError("encoder not built");
        return;
    }
    const auto line = halftone(n, int(state.range(1)), 3);
    for (auto _ : state) benchmark::DoNotOptimize(OVC_ClacRunLengthEncodingSize(ctx, line.data(), uint32_t(n)));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
    OVC_Destructor_for_STM(ctx);
}

void StoreArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bytes", "cover", "left", "rp"});
    for (int64_t n : {20 * 1024, 45 * 1024})
        for (int64_t cover : {0, 10, 30}) {
            b->Args({n, cover, 0, 1});  // plain copy
            b->Args({n, cover, 1, 1});  // tables: one dot of shift
            b->Args({n, cover, 1, 2});  // tables: repeat 2, two planes
        }
}

void CopyArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bytes", "cover"});
    for (int64_t n : {20 * 1024, 45 * 1024}) b->Args({n, 30});
}

void CoderArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bytes", "cover", "mode"});
    for (int64_t n : {20 * 1024, 45 * 1024})
        for (int64_t cover : {0, 10, 30})
            for (int64_t mode : {2, -2}) b->Args({n, cover, mode});
}

BENCHMARK(BM_HeadRasterStore)->Apply(StoreArgs);
BENCHMARK(BM_HeadRasterMemcpy)->Apply(CopyArgs);
BENCHMARK(BM_HeadRasterCoder)->Apply(CoderArgs);
BENCHMARK(BM_HeadRasterCodedSize)->Apply(CoderArgs);

}  // namespace
