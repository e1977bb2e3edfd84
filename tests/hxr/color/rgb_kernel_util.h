// RGB bands for the kernel tests (lut_band.h has the bands and their
// photo-like content) and the plain RGB kernels by walk.
#pragma once

#include "hxr/color/hxr_color_kernel.h"
#include "lut_band.h"
#include "support/rgb_reference.h"

namespace color_test {

// The plain kernel of a walk for an ink count, from Color3DFuncTable.
inline HXRColorKernel plain_kernel(int inks, ovcg_test::RgbWalk walk) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[kColor3D]; row->count != -1; ++row) {
        if (row->count != inks) continue;
        return walk == ovcg_test::RgbWalk::Normal ? row->normal
               : walk == ovcg_test::RgbWalk::Expand ? row->expandH2NxV2
                                                    : row->reduceH;
    }
    return nullptr;
}

struct RgbPixelIn {
    uint8_t r, g, b, attr;
};

// Three-channel bands (lut_band.h), set a pixel at a time.
class RgbBand : public LutBand<3> {
public:
    using LutBand::LutBand;
    // Sets a pixel; at depth 2 the low byte of every sample is `low`.
    void set(int line, int32_t x, const RgbPixelIn& p, uint8_t low = 0) {
        const uint8_t v[3] = {p.r, p.g, p.b};
        LutBand::set(line, x, v, p.attr, low);
    }
};

// Content with exact repeats: runs of 2 to 17 pixels, each exactly uniform
// on both lines, uniform per line with the lines a few levels apart, a ramp
// of one level per pixel, or noise; runs often share a colour with the run
// before or differ from it by a few levels. Attribute bytes change per run
// (LUT choice, user bit). Low bytes are random.
inline void fill_patches(RgbBand& band, uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static constexpr uint8_t kAttrs[] = {0, 0, 1, 1, 2, 4, 5, 0x11, 0x14, 0xFD};
    const auto level = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    int base[3] = {};
    uint8_t attr = 0;
    for (int32_t x = 0; x < band.width();) {
        const uint32_t run = 2 + pick(16), kind = pick(5), change = pick(3);
        for (int c = 0; c < 3; ++c)
            base[c] = change == 0 ? base[c] : change == 1 ? base[c] + int(pick(9)) - 4 : int(pick(256));
        if (pick(3) == 0) attr = kAttrs[pick(sizeof kAttrs)];
        const int apart = 1 + int(pick(4));
        for (uint32_t i = 0; i < run && x < band.width(); ++i, ++x) {
            for (int l = 0; l < band.lines(); ++l) {
                uint8_t v[3];
                for (int c = 0; c < 3; ++c) {
                    switch (kind) {
                        case 2: v[c] = level(base[c] + (l ? apart : 0)); break;
                        case 3: v[c] = level(base[c] + (c == 0 ? int(i) : 0)); break;
                        case 4: v[c] = static_cast<uint8_t>(pick(256)); break;
                        default: v[c] = level(base[c]); break;
                    }
                }
                band.set(l, x, {v[0], v[1], v[2], attr}, static_cast<uint8_t>(pick(256)));
            }
        }
    }
}

}  // namespace color_test
