// The RGB LUT kernels on a band of two A0-wide lines (9921 pixels) of 8-bit
// interleaved RGB (pixel stride 3), no attribute plane, through a smooth
// 64-node table: Normal at scale 1 for 4, 6 and 8 inks, on photo-like content
// (gradients with mild noise and hard edges), a uniform band and pure noise.
// Beside them the user-colour Normal kernels (an attribute plane marking one
// pixel in 16 as a user colour) and the white-print Normal kernels (colour
// and W written, W info and reduction both on, the W channel last) on the
// photo-like band, and the PatternD Normal kernels (pattern upper value 64
// for ink 0 and ink 2) on the photo-like and the uniform band. Items are
// input pixels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_value_settings.h"
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

HXRColorKernel normal_kernel(HXRColorFamily family, int32_t inks) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[family]; row->count != -1; ++row)
        if (row->count == inks) return row->normal;
    return nullptr;
}

void* bench_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
void bench_free(void* p) { std::free(p); }

// One Normal kernel of `family` on the band; `aux` and the attribute plane
// (stride 1, or none) as that family is called.
void run_normal(benchmark::State& state, HXRColorFamily family, int32_t inks, Content content, const void* aux,
                const uint8_t* attrPlane, uint32_t patternUpper = 0) {
    ovcg_test::LutSpec recipe;
    recipe.inks = uint32_t(inks);
    recipe.grid = ovcg_test::LutGrid::Smooth;
    recipe.patternUpper[0] = recipe.patternUpper[2] = patternUpper;
    const ovcg_test::SyntheticLut lut(recipe);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    HXRIntermediateData* d = HXRCreateIntermediateData(inks, kWidth, 1, 1, nullptr, -1, mm);
    const std::vector<uint8_t> px = band(content);
    const HXRColorKernel kernel = normal_kernel(family, inks);
    static const uint8_t kZero = 0;
    if (!mm || !d || !kernel) state.SkipWithError("set-up failed");
    uint32_t seed = 0x12345678;
    for (auto _ : state) {
        const uint8_t* planes[6];
        for (int j = 0; j < 6; ++j) planes[j] = px.data() + size_t(j / 3) * 3 * kWidth + size_t(j % 3);
        const uint8_t* attrs[2] = {attrPlane ? attrPlane : &kZero, attrPlane ? attrPlane + kWidth : &kZero};
        kernel(luts, aux, d, seed, 3, 1, 1, planes, attrs, attrPlane ? 1 : 0, 0, kWidth);
        seed = seed * 1664525u + 1013904223u;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kWidth);
    HXRDeleteMemMgr(mm);
}

// Args: ink count, content.
void BM_RgbKernelNormal(benchmark::State& state) {
    run_normal(state, kColor3D, int32_t(state.range(0)), Content(state.range(1)), nullptr, nullptr);
}

// Args: ink count. One pixel in 16 is a user colour.
void BM_RgbKernelUserNormal(benchmark::State& state) {
    const auto inks = int32_t(state.range(0));
    std::vector<uint32_t> table(256 * size_t((inks + 3) / 4), 0x40302010u);
    std::vector<uint8_t> attrs(2 * size_t{kWidth}, 0);
    for (size_t x = 0; x < attrs.size(); x += 16) attrs[x] = 4;
    run_normal(state, kColor3DUserSpec, inks, kPhoto, table.data(), attrs.data());
}

// Args: ink count. Colour and W, weights 0.5, caps and bounds in range,
// factor 2, reduction range 64 with curves of 0.75.
void BM_RgbKernelWpNormal(benchmark::State& state) {
    const auto inks = int32_t(state.range(0));
    std::vector<uint32_t> curve(256, 3072);
    HXRColorCvtWPrintParam p{};
    p.outputMode = kHxrWPrintBoth;
    p.infoFlags = 3;
    p.wChannel = inks - 1;
    for (uint32_t k = 0; k < kHxrWPrintChannels; ++k) {
        p.weight[k] = 2048;
        p.cap[k] = 0xC0000 << 8;
    }
    p.weight[inks - 1] = p.cap[inks - 1] = 0;
    p.upperBound = 0xE0000 << 8;
    p.lowerBound = 0x10000 << 8;
    p.factor = 2;
    p.scaledUpperBound = 0xFF00000;
    p.scaledLowerBound = p.lowerBound * 2;
    p.reductionRange = 64;
    p.colourCurve = p.wCurve = curve.data();
    run_normal(state, kColor3DWprint, inks, kPhoto, &p, nullptr);
}

// Args: ink count, content.
void BM_RgbKernelPdNormal(benchmark::State& state) {
    run_normal(state, kColor3DPatternD, int32_t(state.range(0)), Content(state.range(1)), nullptr, nullptr, 64);
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

BENCHMARK(BM_RgbKernelUserNormal)->ArgNames({"inks"})->Arg(4)->Arg(6)->Arg(8);
BENCHMARK(BM_RgbKernelWpNormal)->ArgNames({"inks"})->Arg(4)->Arg(6)->Arg(8);
BENCHMARK(BM_RgbKernelPdNormal)
    ->ArgNames({"inks", "content"})
    ->Args({4, kPhoto})
    ->Args({6, kPhoto})
    ->Args({8, kPhoto})
    ->Args({4, kUniform})
    ->Args({8, kUniform});

}  // namespace
