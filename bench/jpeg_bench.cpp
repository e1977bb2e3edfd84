// Encoding throughput of the level-3 band JPEG encoder on a large photo-like
// image, in the two configurations the encode buffers use.
#include "codecs/jpeg/jpeg_api.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using ovcg::jpeg::CJpegAPI;
using ovcg::jpeg::SDataPattern;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth shading, soft edges and sensor-like noise, 4 bytes a pixel (pad last).
const std::vector<uint8_t>& PhotoImage() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> im(static_cast<size_t>(kWidth) * kHeight * 4);
        std::mt19937 rng(42);
        std::normal_distribution<float> noise(0.0f, 3.0f);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &im[(static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4];
                const float fx = static_cast<float>(x) / kWidth, fy = static_cast<float>(y) / kHeight;
                const float blob = std::sin(fx * 17.0f) * std::cos(fy * 11.0f);
                const float base[3] = {120 + 90 * blob, 100 + 80 * fy + 30 * std::sin(fx * 40.0f), 90 + 70 * fx - 40 * blob};
                for (int c = 0; c < 3; ++c) {
                    const float v = base[c] + noise(rng);
                    p[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
                p[3] = 0;
            }
        }
        return im;
    }();
    return image;
}

void EncodeImage(benchmark::State& state, SDataPattern pattern) {
    const std::vector<uint8_t>& im = PhotoImage();
    std::vector<uint8_t> out(32768);
    size_t bytes = 0;
    for (auto _ : state) {
        CJpegAPI enc;
        SDataPattern p = pattern;
        int written = 0;
        enc.Open(out.data(), &written, 32768, kWidth, kHeight, &p, kWidth * 4, nullptr, 0);
        bytes = static_cast<size_t>(written);
        for (int y = 0; y < kHeight; y += enc.mcuHeight()) {
            enc.SetData(im.data() + static_cast<size_t>(y) * kWidth * 4, 32768);
            while (enc.Compress(out.data(), &written) != CJpegAPI::kNeedInput) bytes += static_cast<size_t>(written);
        }
        enc.Close(out.data(), &written, 32768);
        bytes += static_cast<size_t>(written);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MPixel/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_JpegEncodePhoto8(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 0, 1, 0, 1}); }
void BM_JpegEncodePhoto12(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 1, 1, 0, 16}); }

BENCHMARK(BM_JpegEncodePhoto8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodePhoto12)->Unit(benchmark::kMillisecond);

}  // namespace
