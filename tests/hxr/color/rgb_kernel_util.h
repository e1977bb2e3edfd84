// RGB bands for the kernel tests (lut_band.h has the bands and their
// photo-like content), content with exact repeats, and the plain RGB
// kernels by walk.
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

}  // namespace color_test
