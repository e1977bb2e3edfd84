// The planes of a band as the LUT kernels read them, for the tests' bands
// and the fuzz targets alike: `lines` lines of `pixels` pixels of C
// channels, interleaved in one block per line when the pixel stride is C or
// more (channel c at byte c x depth of each pixel), else one block per
// channel; an attribute block per line when the attribute stride is not 0,
// else both attribute pointers at one zero byte; a one-line band repeats
// line 0's pointers as line 1's. `block(bytes, samples)` hands out each
// block, `bytes` exactly what the band's last pixel needs, `samples` false
// for an attribute block; blocks are asked for line by line, sample blocks
// before the attribute block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg_test {

template <int C, class Block>
void lay_out_band(int lines, size_t pixels, uint32_t depth, uint32_t pixelOffset, uint32_t attrStride,
                  const uint8_t** planes, const uint8_t** attrs, Block&& block) {
    static const uint8_t kZero = 0;
    const bool interleaved = pixelOffset >= C;
    const size_t last = pixels > 0 ? pixels - 1 : 0;
    for (int l = 0; l < lines; ++l) {
        for (int c = 0; c < C; ++c) {
            if (interleaved && c > 0) {
                planes[l * C + c] = planes[l * C] + c * depth;
                continue;
            }
            planes[l * C + c] = block((last * pixelOffset + (interleaved ? C : 1)) * depth, true);
        }
        attrs[l] = attrStride ? block(last * attrStride + 1, false) : &kZero;
    }
    for (int l = lines; l < 2; ++l) {
        for (int c = 0; c < C; ++c) planes[l * C + c] = planes[c];
        attrs[l] = attrs[0];
    }
}

}  // namespace ovcg_test
