// Per-band checks every converter makes before it stores anything: the
// span, the line count and pointers of the caller's band, and whether the
// ink buffer descriptor can take what the kernel will write. Kernels trust
// both, so a band that fails either is refused (1) with the descriptor left
// as it was.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "ovcg/hxr.h"

#include <cstdint>
#include <type_traits>

inline constexpr uint32_t kHxrMaxBandPlanes = 2 * kHxrMaxInkNum;

// The frame's own copies of the caller's pointers, which kernels may move.
struct HXRBandInput {
    const uint8_t* planes[kHxrMaxBandPlanes];  // line 0's, then line 1's
    const uint8_t* attrs[2];
    uint32_t vExpansion;  // line 1's pointers equal line 0's
};

struct HXRBandShape {
    uint32_t width;              // input pixels per line
    uint32_t attrStride;         // 0 = no attribute plane
    uint32_t planesPerLine;      // 1..12
    bool everyPlane;             // false: a single plane pointer may be null (direct input)
    const uint8_t* noAttribute;  // both attribute pointers without an attribute plane
};

// False unless start >= 0, count >= 0, start + count <= width (in 64 bits),
// lines is 1 or 2, the plane array is given with (when everyPlane) its
// first lines x planesPerLine pointers, and with an attribute plane the
// attribute array and its first lines pointers. Then fills `out`: a one-line
// band repeats line 0, so it is always a vertical-expansion band.
bool HXRPrepareBand(const HXRBandShape& shape, const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count,
                    int32_t start, int32_t lines, HXRBandInput* out);

// Elements every row needs for a band ending at input pixel `end`: the last
// output column written plus one, end x scale + 1 (the lone last column of an
// odd band is written twice), or end / 2 for the 2:1 reduction 0x20001.
uint64_t HXRBandRowNeed(int32_t end, int32_t scale);

// The descriptor's element size is `elementSize`, its rows hold at least
// `need` elements, and the rows of inks 0..presentInks-1 are valid on line 0
// and, unless `vExpansion`, on line 1.
bool HXRInkRowsFit(const HXRIntermediateData* d, uint32_t elementSize, uint64_t need, int32_t presentInks,
                   uint32_t vExpansion);

// The instantiation `pick` returns for a horizontal scale of 1, 2, 4 or 8
// (given as a std::integral_constant), or null for any other scale: one
// routine per scale, chosen once per band.
template <class Pick>
auto HXRForScale(int32_t scale, Pick pick) -> decltype(pick(std::integral_constant<int, 1>{})) {
    switch (scale) {
        case 1: return pick(std::integral_constant<int, 1>{});
        case 2: return pick(std::integral_constant<int, 2>{});
        case 4: return pick(std::integral_constant<int, 4>{});
        case 8: return pick(std::integral_constant<int, 8>{});
        default: return nullptr;
    }
}

// Copies what every converter keeps of the image record, and the scale.
template <class Converter>
void HXRKeepImageGeometry(Converter* c, const _HXR_IMAGE_INFO& image, int32_t scale) {
    c->pixelOffset = image.pixelOffset;
    c->sampleBytes = image.sampleBytes;
    c->attrStride = image.attributeStride;
    c->width = image.width;
    c->scale = scale;
}
