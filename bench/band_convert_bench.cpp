// The band pipeline's line preparation on A1-wide lines (594 mm at 720 dpi):
// the 16-to-8-bit reduction and the in-place converters. Bytes processed are
// input bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "halftoning/band_convert.h"

namespace {

constexpr unsigned kPixels = 16840;

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 rng(1);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Components per pixel as the argument.
void BM_Nch16to8(benchmark::State& state) {
    const int comps = static_cast<int>(state.range(0));
    std::vector<uint16_t> src(size_t{kPixels} * static_cast<size_t>(comps));
    std::mt19937 rng(2);
    for (auto& v : src) v = static_cast<uint16_t>(rng());
    std::vector<uint8_t> dst(src.size());
    unsigned seed = 0;
    for (auto _ : state) {
        ovcg::Nch16to8(src.data(), dst.data(), kPixels, 1, comps, &seed);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size() * 2));
}

template <class Converter>
void BM_Convert(benchmark::State& state) {
    Converter conv(static_cast<int>(state.range(0)));
    const size_t inBytes = size_t{kPixels} * conv.Components() * (state.range(0) ? 2 : 1);
    const std::vector<uint8_t> source = RandomBytes(inBytes + 1);
    std::vector<uint8_t> line = source;
    std::vector<uint8_t> alpha(kPixels + 1);
    for (auto _ : state) {
        // The converters work in place; the timing does not depend on the
        // bytes, so the line is converted again as it stands.
        conv.Convert(line.data(), kPixels, alpha.data());
        benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(inBytes));
}

BENCHMARK(BM_Nch16to8)->Arg(1)->Arg(3)->Arg(4)->Arg(12);
// Argument: the 16-bit-input flag.
BENCHMARK(BM_Convert<ovcg::CRGBXtoXRGB>)->Arg(0)->Arg(1);
BENCHMARK(BM_Convert<ovcg::CBGRXtoXRGB>)->Arg(0);
BENCHMARK(BM_Convert<ovcg::CRGBXto8BITGRAY>)->Arg(0)->Arg(1);
BENCHMARK(BM_Convert<ovcg::CBGRto8BITGRAY>)->Arg(0);
BENCHMARK(BM_Convert<ovcg::CCMYKto8BITGRAY>)->Arg(0);
BENCHMARK(BM_Convert<ovcg::CBGRtoRGB>)->Arg(0);

}  // namespace
