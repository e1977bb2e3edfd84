// The two zero-byte scans over a 40 KB raster line, against a plain byte loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/platform.h"

namespace {

constexpr int kLine = 40 * 1024;

int ByteLead(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[i] == 0) ++i;
    return i;
}

int ByteTrail(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[n - 1 - i] == 0) ++i;
    return i;
}

// A blank line (the common case between printed areas), scanned whole; the
// argument shifts the start off word alignment.
std::vector<uint8_t> BlankLine() { return std::vector<uint8_t>(kLine + 16, 0); }

void BM_memsearch(benchmark::State& state) {
    auto line = BlankLine();
    const uint8_t* p = line.data() + state.range(0);
    for (auto _ : state) benchmark::DoNotOptimize(OVF_memsearch(p, kLine));
    state.SetBytesProcessed(int64_t(state.iterations()) * kLine);
}

void BM_memrsearch(benchmark::State& state) {
    auto line = BlankLine();
    const uint8_t* p = line.data() + state.range(0);
    for (auto _ : state) benchmark::DoNotOptimize(OVF_memrsearch(p, kLine));
    state.SetBytesProcessed(int64_t(state.iterations()) * kLine);
}

void BM_byte_lead(benchmark::State& state) {
    auto line = BlankLine();
    const uint8_t* p = line.data() + state.range(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.data());
        benchmark::DoNotOptimize(ByteLead(p, kLine));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kLine);
}

void BM_byte_trail(benchmark::State& state) {
    auto line = BlankLine();
    const uint8_t* p = line.data() + state.range(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.data());
        benchmark::DoNotOptimize(ByteTrail(p, kLine));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kLine);
}

}  // namespace

BENCHMARK(BM_memsearch)->Arg(0)->Arg(3);
BENCHMARK(BM_memrsearch)->Arg(0)->Arg(3);
BENCHMARK(BM_byte_lead)->Arg(0)->Arg(3);
BENCHMARK(BM_byte_trail)->Arg(0)->Arg(3);
