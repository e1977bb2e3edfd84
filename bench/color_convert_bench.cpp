// The direct and monochrome-photo converters on a band of two A0-wide lines
// (9921 pixels), against a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "hxr/color/hxr_color_direct.h"
#include "hxr/color/hxr_color_tnmx.h"

namespace {

constexpr int32_t kWidth = 9921;

void* bench_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
void bench_free(void* p) { std::free(p); }

// One engine instance's worth of records for a converter of `inks` inks.
struct Job {
    HXRMemMgr* mm = HXRCreateMemMgr(bench_alloc, bench_free);
    HXRClrMgr* clr;
    HXRRandNum* random = HXRCreateRandNum(mm);
    explicit Job(uint32_t inkSet) : clr(HXRCreateClrMgr(inkSet, 1, 0, mm)) {}
    ~Job() { HXRDeleteMemMgr(mm); }
};

// Args: scale, ink count (1: ink set 0, 4: ink set 1).
void BM_DirectExpand(benchmark::State& state) {
    const int32_t scale = static_cast<int32_t>(state.range(0));
    const uint32_t inks = static_cast<uint32_t>(state.range(1));
    Job job(inks == 1 ? 0 : 1);
    const _HXR_IMAGE_INFO im{100 + inks, 1, 1, 0, kWidth};
    HXRColorCvtDirect* c = HXRCreateColorCvtDirect(&im, scale, job.clr, job.mm);
    HXRIntermediateData* d =
        HXRCreateIntermediateData(static_cast<int32_t>(inks), kWidth * scale, 1, 0, nullptr, -1, job.mm);
    std::vector<uint8_t> planes(2 * inks * kWidth);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>(i * 7);
    std::vector<const uint8_t*> ptrs(2 * inks);
    for (uint32_t j = 0; j < 2 * inks; ++j) ptrs[j] = planes.data() + j * kWidth;
    if (!c || !d) state.SkipWithError("set-up failed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(HXRColorConvertDirect(c, d, job.random, ptrs.data(), nullptr, kWidth, 0, 2, 0));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * inks * kWidth * scale);
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kWidth);
}
BENCHMARK(BM_DirectExpand)->Args({1, 1})->Args({4, 1})->Args({1, 4})->Args({4, 4});

// The yardstick: copying the bytes a scale-1 band of `inks` inks writes.
void BM_DirectMemcpy(benchmark::State& state) {
    const size_t bytes = 2 * static_cast<size_t>(state.range(0)) * kWidth;
    std::vector<uint8_t> src(bytes, 3), dst(bytes + 64);
    for (auto _ : state) {
        for (size_t row = 0; row < bytes; row += kWidth) std::memcpy(dst.data() + row, src.data() + row, kWidth);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
BENCHMARK(BM_DirectMemcpy)->Arg(1)->Arg(4);

// Two distinct lines of interleaved 8-bit RGB; items are input pixels of
// both lines. Arg: scale.
void BM_TnmxConvert(benchmark::State& state) {
    const int32_t scale = static_cast<int32_t>(state.range(0));
    Job job(1);
    const _HXR_IMAGE_INFO im{3, 1, 3, 0, kWidth};
    HXRColorCvtTNMX* c = HXRCreateColorCvtTNMX(&im, scale, job.clr, job.mm);
    HXRIntermediateData* d = HXRCreateIntermediateData(4, kWidth * scale, 1, 0, nullptr, -1, job.mm);
    std::vector<uint8_t> rgb(2 * 3 * kWidth);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    const uint8_t* planes[6];
    for (int j = 0; j < 6; ++j) planes[j] = rgb.data() + (j / 3) * 3 * kWidth + j % 3;
    if (!c || !d) state.SkipWithError("set-up failed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(HXRColorConvertTNMX(c, d, job.random, planes, nullptr, kWidth, 0, 2, 0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kWidth);
}
BENCHMARK(BM_TnmxConvert)->Arg(1)->Arg(2);

}  // namespace
