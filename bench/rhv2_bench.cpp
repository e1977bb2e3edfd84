// RHV2 on a wide band (8 lines of 7200 pixels, the block size the level-3
// encode buffer uses), both directions, for each colour type and three kinds
// of content. Throughput is counted in raw image bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codecs/rhv2/rhv2.h"

namespace {

constexpr uint32_t kWidth = 7200;
constexpr uint32_t kLines = 8;

enum Content { kSmooth, kFlat, kNoise };

std::vector<uint8_t> Band(uint32_t cs, int content) {
    std::mt19937 rng(17);
    std::vector<uint8_t> img(size_t(kWidth) * cs * kLines);
    for (uint32_t y = 0; y < kLines; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            for (uint32_t c = 0; c < cs; ++c) {
                uint8_t v = content == kNoise  ? uint8_t(rng())
                            : content == kFlat ? uint8_t((x / 400) * 40 + c)
                                               : uint8_t(x / 9 + y + c * 30 + rng() % 3);
                img[(size_t(y) * kWidth + x) * cs + c] = v;
            }
    return img;
}

void BM_Rhv2Compress(benchmark::State& state) {
    const uint32_t type = static_cast<uint32_t>(state.range(0));
    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
    const uint32_t stride = kWidth * cs;
    auto img = Band(cs, static_cast<int>(state.range(1)));
    std::vector<uint8_t> out(ovcg::Rhv2GetRhv2BufSize(0, type, kWidth, kLines, stride));
    std::vector<uint8_t> work(ovcg::Rhv2GetWorkBufSize(type, kWidth, kLines));
    uint32_t size = 0;
    for (auto _ : state) {
        if (ovcg::Rhv2CompDecomp(0, type, kWidth, kLines, stride, img.data(), img.size(), out.data(),
                                 out.size(), work.data(), work.size(), &size) != 0)
            state.SkipWithError("compress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(img.size()));
    state.counters["ratio"] = double(img.size()) / double(size ? size : 1);
}

void BM_Rhv2Decompress(benchmark::State& state) {
    const uint32_t type = static_cast<uint32_t>(state.range(0));
    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
    const uint32_t stride = kWidth * cs;
    auto img = Band(cs, static_cast<int>(state.range(1)));
    std::vector<uint8_t> coded(ovcg::Rhv2GetRhv2BufSize(0, type, kWidth, kLines, stride));
    std::vector<uint8_t> work(ovcg::Rhv2GetWorkBufSize(type, kWidth, kLines));
    uint32_t size = 0;
    ovcg::Rhv2CompDecomp(0, type, kWidth, kLines, stride, img.data(), img.size(), coded.data(),
                         coded.size(), work.data(), work.size(), &size);
    std::vector<uint8_t> out(img.size());
    for (auto _ : state) {
        uint32_t n = 0;
        if (ovcg::Rhv2CompDecomp(1, type, kWidth, kLines, stride, coded.data(), size, out.data(),
                                 out.size(), work.data(), work.size(), &n) != 0)
            state.SkipWithError("decompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(img.size()));
}

// Arguments: colour type (0 gray, 1 four bytes, 2 three bytes), content.
void Args(benchmark::internal::Benchmark* b) {
    b->ArgNames({"type", "content"});
    for (int type : {0, 1, 2})
        for (int content : {kSmooth, kFlat, kNoise}) b->Args({type, content});
}

BENCHMARK(BM_Rhv2Compress)->Apply(Args);
BENCHMARK(BM_Rhv2Decompress)->Apply(Args);

}  // namespace
