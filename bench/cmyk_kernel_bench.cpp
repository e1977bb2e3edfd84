// The CMYK LUT kernels on a band of two A0-wide lines (9921 pixels) of 8-bit
// interleaved CMYK (pixel stride 4), no attribute plane, through a smooth
// 32-node 4D table: Normal at scale 1 for 4 and 6 inks, plain and with the
// under-white clear, each without and with PatternD (upper values 120 in
// inks 0 and 2, so that light areas hold), on photo-like content (gradients with mild noise, hard
// edges and blank margins), a uniform band and pure noise. Items are input
// pixels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_interm.h"
#include "support/synthetic_lut.h"

namespace {

constexpr int32_t kWidth = 9921;

enum Content : int { kPhoto, kUniform, kNoise };

// Two lines of interleaved CMYK.
std::vector<uint8_t> cmyk_band(Content content) {
    std::vector<uint8_t> px(2 * 4 * size_t{kWidth});
    std::mt19937 rng(4321);
    for (int l = 0; l < 2; ++l) {
        for (int32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = px.data() + (size_t(l) * kWidth + size_t(x)) * 4;
            // Photo: blank margins of 300 pixels, a new patch every 700
            // pixels with a slow gradient per channel, an edge of 120 levels
            // every 1100, noise of +-2.
            const bool margin = x < 300 || x >= kWidth - 300;
            for (int c = 0; c < 4; ++c) {
                int v;
                switch (content) {
                    case kUniform: v = 40 + 50 * c; break;
                    case kNoise: v = int(rng() & 255); break;
                    default: {
                        const int patch = x / 700, edge = (x / 1100) % 2;
                        v = margin ? 0 : (patch * 37 + c * 59) % 150 + (x % 700) * (c + 1) / 25 + edge * 120 % 256;
                        if (!margin) v += int(rng() % 5) - 2 + l;
                        v = v < 0 ? 0 : v > 255 ? 255 : v;
                    }
                }
                p[c] = uint8_t(v);
            }
        }
    }
    return px;
}

void* bench_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
void bench_free(void* p) { std::free(p); }

// Args: ink count, content, table: bit 0 under-white (clearing the last
// ink), bit 1 PatternD (0: Color4DFuncTable's Normal, 1: Color4DUnderWhite,
// 2: Color4DPatternD, 3: Color4DUnderWhitePatternD).
void BM_CmykKernelNormal(benchmark::State& state) {
    const auto inks = int32_t(state.range(0));
    const auto content = Content(state.range(1));
    const bool underWhite = (state.range(2) & 1) != 0, patternD = (state.range(2) & 2) != 0;
    ovcg_test::LutSpec recipe;
    recipe.inks = uint32_t(inks);
    recipe.dimension = 4;
    recipe.grid = ovcg_test::LutGrid::Smooth;
    if (patternD) recipe.patternUpper[0] = recipe.patternUpper[2] = 120;
    const ovcg_test::SyntheticLut lut(recipe);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    HXRIntermediateData* d =
        HXRCreateIntermediateData(inks, kWidth, 1, 1, nullptr, underWhite ? inks - 1 : -1, mm);
    const std::vector<uint8_t> px = cmyk_band(content);
    HXRColorKernel kernel = nullptr;
    constexpr HXRColorFamily kTables[] = {kColor4D, kColor4DUnderWhite, kColor4DPatternD,
                                          kColor4DUnderWhitePatternD};
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[kTables[int(underWhite) | int(patternD) << 1]];
         row->count != -1; ++row)
        if (row->count == inks) kernel = row->normal;
    static const uint8_t kZero = 0;
    if (!mm || !d || !kernel) state.SkipWithError("set-up failed");
    uint32_t seed = 0x12345678;
    for (auto _ : state) {
        const uint8_t* planes[8];
        for (int j = 0; j < 8; ++j) planes[j] = px.data() + size_t(j / 4) * 4 * kWidth + size_t(j % 4);
        const uint8_t* attrs[2] = {&kZero, &kZero};
        kernel(luts, nullptr, d, seed, 4, 1, 1, planes, attrs, 0, 0, kWidth);
        seed = seed * 1664525u + 1013904223u;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kWidth);
    HXRDeleteMemMgr(mm);
}
BENCHMARK(BM_CmykKernelNormal)
    ->ArgNames({"inks", "content", "table"})
    ->Args({4, kPhoto, 0})
    ->Args({6, kPhoto, 0})
    ->Args({4, kUniform, 0})
    ->Args({6, kUniform, 0})
    ->Args({4, kNoise, 0})
    ->Args({6, kNoise, 0})
    ->Args({4, kPhoto, 1})
    ->Args({6, kPhoto, 1})
    ->Args({4, kPhoto, 2})
    ->Args({6, kPhoto, 2})
    ->Args({4, kUniform, 2})
    ->Args({6, kUniform, 2})
    ->Args({4, kNoise, 2})
    ->Args({6, kNoise, 2})
    ->Args({6, kPhoto, 3});

}  // namespace
