// What the binarisation benchmarks share: the host allocator hooks of the
// engine's memory manager, and 64 rows of one 9921-pixel colour-line (the
// width of a roll at its widest) of 8-bit ink, photo-like (a smooth tone field
// with a little grain) or one flat mid tone.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace ovcg_bench {

inline constexpr int32_t kLineWidth = 9921;
inline constexpr int kLineCount = 64;

inline void* bench_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
inline void bench_free(void* p) { std::free(p); }

// Rows padded to a multiple of 8 pixels, as the ink buffer's are.
inline std::vector<std::vector<uint8_t>> ink_rows(bool photo) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> r(kLineCount, std::vector<uint8_t>(size_t(kLineWidth + 8) / 8 * 8));
    for (int y = 0; y < kLineCount; ++y)
        for (size_t x = 0; x < r[size_t(y)].size(); ++x) {
            const double t = 127.5 + 110 * std::sin(double(x) / 700.0) * std::cos(double(y) / 40.0);
            r[size_t(y)][x] = photo ? uint8_t(std::lround(t) + int(rng() % 9) - 4) : uint8_t(128);
        }
    return r;
}

}  // namespace ovcg_bench
