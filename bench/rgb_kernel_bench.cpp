// The RGB LUT kernels on a band of two A0-wide lines (9921 pixels) of 8-bit
// interleaved RGB (pixel stride 3), no attribute plane, through a smooth
// 64-node table: Normal at scale 1 for 4, 6 and 8 inks, on photo-like content
// (gradients with mild noise and hard edges), a uniform band and pure noise.
// Items are input pixels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_interm.h"
#include "support/synthetic_lut.h"

namespace {

constexpr int32_t kWidth = 9921;

enum Content : int { kPhoto, kUniform, kNoise };

// Two lines of interleaved RGB.
std::vector<uint8_t> band(Content content) {
    std::vector<uint8_t> px(2 * 3 * size_t{kWidth});
    std::mt19937 rng(12345);
    for (int l = 0; l < 2; ++l) {
        for (int32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = px.data() + (size_t(l) * kWidth + size_t(x)) * 3;
            for (int c = 0; c < 3; ++c) {
                int v;
                switch (content) {
                    case kUniform: v = 128 + 40 * c; break;
                    case kNoise: v = int(rng() & 255); break;
                    default: {
                        // A slow gradient per channel, a new patch every 700
                        // pixels, an edge of 120 levels every 1100, noise of +-2.
                        const int patch = x / 700, edge = (x / 1100) % 2;
                        v = (patch * 53 + c * 71) % 160 + (x % 700) * (c + 1) / 20 + edge * 120 % 256;
                        v += int(rng() % 5) - 2 + l;
                        v = v < 0 ? 0 : v > 255 ? 255 : v;
                    }
                }
                p[c] = uint8_t(v);
            }
        }
    }
    return px;
}

HXRColorKernel normal_kernel(int32_t inks) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[kColor3D]; row->count != -1; ++row)
        if (row->count == inks) return row->normal;
    return nullptr;
}

void* bench_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
void bench_free(void* p) { std::free(p); }

// Args: ink count, content.
void BM_RgbKernelNormal(benchmark::State& state) {
    const auto inks = int32_t(state.range(0));
    const auto content = Content(state.range(1));
    ovcg_test::LutSpec spec;
    spec.inks = uint32_t(inks);
    spec.grid = ovcg_test::LutGrid::Smooth;
    const ovcg_test::SyntheticLut lut(spec);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    HXRIntermediateData* d = HXRCreateIntermediateData(inks, kWidth, 1, 1, nullptr, -1, mm);
    const std::vector<uint8_t> px = band(content);
    const HXRColorKernel kernel = normal_kernel(inks);
    static const uint8_t kZero = 0;
    if (!mm || !d || !kernel) state.SkipWithError("set-up failed");
    uint32_t seed = 0x12345678;
    for (auto _ : state) {
        const uint8_t* planes[6];
        for (int j = 0; j < 6; ++j) planes[j] = px.data() + size_t(j / 3) * 3 * kWidth + size_t(j % 3);
        const uint8_t* attrs[2] = {&kZero, &kZero};
        kernel(luts, nullptr, d, seed, 3, 1, 1, planes, attrs, 0, 0, kWidth);
        seed = seed * 1664525u + 1013904223u;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kWidth);
    HXRDeleteMemMgr(mm);
}
BENCHMARK(BM_RgbKernelNormal)
    ->ArgNames({"inks", "content"})
    ->Args({4, kPhoto})
    ->Args({6, kPhoto})
    ->Args({8, kPhoto})
    ->Args({4, kUniform})
    ->Args({6, kUniform})
    ->Args({8, kUniform})
    ->Args({4, kNoise})
    ->Args({6, kNoise})
    ->Args({8, kNoise});

}  // namespace
