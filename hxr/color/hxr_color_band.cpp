#include "hxr/color/hxr_color_band.h"

#include <cstddef>

bool HXRPrepareBand(const HXRBandShape& shape, const uint8_t* const* planes, const uint8_t* const* attrs,
                    int32_t count, int32_t start, int32_t lines, HXRBandInput* out) {
    if (start < 0 || count < 0 || static_cast<int64_t>(start) + count > static_cast<int64_t>(shape.width))
        return false;
    if (lines != 1 && lines != 2) return false;
    if (!planes || shape.planesPerLine < 1 || shape.planesPerLine > kHxrMaxInkNum) return false;
    const size_t m = shape.planesPerLine;
    const size_t given = static_cast<size_t>(lines) * m;
    if (shape.everyPlane) {
        for (size_t j = 0; j < given; ++j)
            if (!planes[j]) return false;
    }
    if (shape.attrStride != 0) {
        if (!attrs) return false;
        for (int32_t l = 0; l < lines; ++l)
            if (!attrs[l]) return false;
    }

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
    bool same = true;
    for (size_t j = 0; j < m; ++j) same = same && out->planes[j] == out->planes[m + j];
    if (shape.attrStride != 0) same = same && out->attrs[0] == out->attrs[1];
    out->vExpansion = same ? 1 : 0;
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
