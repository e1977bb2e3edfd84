// The small pieces the literal reference models of the LUT kernels (RGB and
// CMYK) read their input with, each as the kernels' description states it:
// a sample's level, the pointer advance, the generator and its dither
// offsets, the bound test and the mean of reduction method 1. They share no
// code with the kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "hxr/color/hxr_interm.h"

namespace ovcg_test {

// |a - b| <= bound.
inline bool ref_within(int64_t a, int64_t b, int64_t bound) { return a - b >= -bound && a - b <= bound; }

// The level of pixel `pixel` of a plane: its byte at depth 1, the high byte
// of its host-order 16-bit sample at depth 2.
inline uint32_t ref_sample(const uint8_t* plane, size_t pixel, size_t stride, size_t depth) {
    if (depth == 1) return plane[pixel * stride];
    uint16_t v;
    std::memcpy(&v, plane + 2 * pixel * stride, 2);
    return v >> 8u;
}

// Moves the first `lines` lines' plane pointers (`channels` per line) by
// pixels x stride x depth bytes and their attribute pointers by pixels x
// attribute stride bytes.
inline void ref_advance(const uint8_t** planes, const uint8_t** attrs, int channels, int lines, size_t pixels,
                        size_t stride, size_t depth, size_t attrStride) {
    for (int l = 0; l < lines; ++l) {
        for (int c = 0; c < channels; ++c) planes[l * channels + c] += pixels * stride * depth;
        attrs[l] += pixels * attrStride;
    }
}

// x = x x 69069 + 62003.
inline uint32_t ref_next(uint32_t x) { return x * 69069u + 62003u; }

// The dither offset of the block at column o: fresh, (x >> 24) & 254, kept
// in `kept`, when (o & mask) is 0; else the kept one XOR 128.
inline uint32_t ref_offset(uint32_t x, uint32_t& kept, int64_t o, uint32_t mask) {
    if ((static_cast<uint32_t>(o) & mask) == 0) {
        kept = (x >> 24) & 254;
        return kept;
    }
    return kept ^ 128;
}

// The code of the mean decoded amount of a and b (decoded through da and
// db), re-encoded with e; the encode-table index is clamped at 255.
inline uint32_t ref_mean_code(uint32_t a, uint32_t b, const uint32_t* da, const uint32_t* db, const uint32_t* e) {
    const uint32_t t = ((db[b] + da[a]) << 7) + 64;
    uint32_t i = t >> 16;
    if (i > 255) i = 255;
    const uint32_t f = (t >> 8) & 255;
    return (e[i] + ((f * (e[i + 1] - e[i])) >> 8) + 16) >> 5;
}

// The rows one kernel call writes and the area it announces: every ink's
// quantity rows and the intent rows of the call's lines, the reduction
// method, and the written span [first, last) (a 2:1 scale divides the
// source span; any other multiplies it). `open` returns false, writing no
// area, for a reduction scale without a divisor.
struct RefCallArea {
    uint32_t method = 0;
    uint8_t* rows[12][2] = {};
    uint8_t* intent[2] = {};
    bool intents = false;
    int64_t first = 0, last = 0;

    bool open(HXRIntermediateData* ink, int inks, int lines, bool reduce, int32_t scale, int32_t start,
              int32_t end) {
        for (int k = 0; k < inks; ++k)
            for (int l = 0; l < lines; ++l) rows[k][l] = HXRGetInkQuantityBuf(ink, k, static_cast<uint32_t>(l));
        intents = true;
        for (int l = 0; l < lines; ++l) {
            intent[l] = HXRGetIntentBuf(ink, static_cast<uint32_t>(l));
            intents = intents && intent[l] != nullptr;
        }
        if (reduce) {
            method = HXRGetReductionMethod(ink);
            const int32_t d = scale >> 16, m = scale & 0xFFFF;
            if (d == 0) return false;
            first = int64_t{start} * m / d;
            last = int64_t{end} * m / d;
        } else {
            first = int64_t{start} * scale;
            last = int64_t{end} * scale;
        }
        HXRSetWritingArea(ink, static_cast<int32_t>(first), static_cast<int32_t>(last));
        return true;
    }
};

}  // namespace ovcg_test
