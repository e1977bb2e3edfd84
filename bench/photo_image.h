// The photo-like page the JPEG and level-3 benchmarks share: smooth shading,
// soft edges and sensor-like noise, 4 bytes a pixel (R, G, B, pad 0).
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace ovcg_bench {

inline constexpr int kPhotoWidth = 4000;
inline constexpr int kPhotoHeight = 3000;

inline const std::vector<uint8_t>& PhotoImage() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> im(static_cast<size_t>(kPhotoWidth) * kPhotoHeight * 4);
        std::mt19937 rng(42);
        std::normal_distribution<float> noise(0.0f, 3.0f);
        for (int y = 0; y < kPhotoHeight; ++y) {
            for (int x = 0; x < kPhotoWidth; ++x) {
                uint8_t* p = &im[(static_cast<size_t>(y) * kPhotoWidth + static_cast<size_t>(x)) * 4];
                const float fx = static_cast<float>(x) / kPhotoWidth, fy = static_cast<float>(y) / kPhotoHeight;
                const float blob = std::sin(fx * 17.0f) * std::cos(fy * 11.0f);
                const float base[3] = {120 + 90 * blob, 100 + 80 * fy + 30 * std::sin(fx * 40.0f),
                                       90 + 70 * fx - 40 * blob};
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

}  // namespace ovcg_bench
