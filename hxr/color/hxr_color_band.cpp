#include "hxr/color/hxr_color_band.h"

#include <cstddef>

namespace {

// The line count and the caller's pointers.
bool CheckInputData(const HXRBandShape& shape, const uint8_t* const* planes, const uint8_t* const* attrs,
                    int32_t lines) {
    if (lines != 1 && lines != 2) return false;
    if (!planes || shape.planesPerLine < 1 || shape.planesPerLine > kHxrMaxInkNum) return false;
    const size_t given = static_cast<size_t>(lines) * shape.planesPerLine;
    if (shape.everyPlane) {
        for (size_t j = 0; j < given; ++j)
            if (!planes[j]) return false;
    }
    if (shape.attrStride != 0) {
        if (!attrs) return false;
        for (int32_t l = 0; l < lines; ++l)
            if (!attrs[l]) return false;
    }
    return true;
}

// The working arrays: a one-line band repeats line 0.
void GetInputData(const HXRBandShape& shape, const uint8_t* const* planes, const uint8_t* const* attrs, int32_t lines,
                  HXRBandInput* out) {
    const size_t m = shape.planesPerLine;
    for (size_t j = 0; j < m; ++j) {
        out->planes[j] = planes[j];
        out->planes[m + j] = lines == 2 ? planes[m + j] : planes[j];
    }
    if (shape.attrStride != 0) {
        out->attrs[0] = attrs[0];
        out->attrs[1] = lines == 2 ? attrs[1] : attrs[0];
    } else {
        out->attrs[0] = out->attrs[1] = shape.noAttribute;
    }
}

// Line 1 is line 0 again: every plane pointer, and with an attribute plane
// the attribute pointer, is the same.
uint32_t IsVExpansion(const HXRBandShape& shape, const HXRBandInput& in) {
    const size_t m = shape.planesPerLine;
    for (size_t j = 0; j < m; ++j)
        if (in.planes[j] != in.planes[m + j]) return 0;
    return shape.attrStride == 0 || in.attrs[0] == in.attrs[1] ? 1 : 0;
}

}  // namespace

bool HXRPrepareBand(const HXRBandShape& shape, const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count,
                    int32_t start, int32_t lines, HXRBandInput* out) {
    if (start < 0 || count < 0 || static_cast<int64_t>(start) + count > static_cast<int64_t>(shape.width)) return false;
    if (!CheckInputData(shape, planes, attrs, lines)) return false;
    GetInputData(shape, planes, attrs, lines, out);
    out->vExpansion = IsVExpansion(shape, *out);
    return true;
}

uint64_t HXRBandRowNeed(int32_t end, int32_t scale) {
    if (end < 0) return UINT64_MAX;
    if (scale > 0x10000) return static_cast<uint64_t>(end) / 2;
    if (scale < 1) return UINT64_MAX;
    return static_cast<uint64_t>(end) * static_cast<uint64_t>(scale) + 1;
}

bool HXRInkRowsFit(const HXRIntermediateData* d, uint32_t elementSize, uint64_t need, int32_t presentInks,
                   uint32_t vExpansion) {
    if (!d || d->elementSize != elementSize || d->linePixelSize < need) return false;
    if (presentInks > d->inkNum) return false;
    for (int32_t i = 0; i < presentInks; ++i) {
        if (d->validInput[i][0] != 1) return false;
        if (!vExpansion && d->validInput[i][1] != 1) return false;
    }
    return true;
}
