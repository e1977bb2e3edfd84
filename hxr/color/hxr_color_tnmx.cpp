#include "hxr/color/hxr_color_tnmx.h"

#include "hxr/color/hxr_color_band.h"

#include <cstddef>
#include <cstring>

namespace {

template <uint32_t SampleBytes>
inline uint32_t sample(const uint8_t* p) {
    if constexpr (SampleBytes == 1) {
        return *p;
    } else {
        uint16_t v;  // host order, possibly unaligned; the high byte counts
        std::memcpy(&v, p, 2);
        return v >> 8;
    }
}

// One line's gray codes into `out` (at output column start x Scale): every
// input pixel fills Scale columns; at scale 1 an odd count repeats its last
// code one column further, as the pairwise walk of the line does.
template <uint32_t SampleBytes, int Scale>
void gray_line(uint8_t* out, const uint8_t* r, const uint8_t* g, const uint8_t* b, size_t step, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const size_t o = static_cast<size_t>(i) * step;
        const uint8_t v =
            HXRTNMXGray(sample<SampleBytes>(r + o), sample<SampleBytes>(g + o), sample<SampleBytes>(b + o));
        for (int k = 0; k < Scale; ++k) out[static_cast<size_t>(i) * Scale + k] = v;
    }
    if (Scale == 1 && (count & 1) != 0) out[count] = out[count - 1];
}

using GrayLine = void (*)(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, size_t, int32_t);

GrayLine gray_line_for(uint32_t sampleBytes, int32_t scale) {
    if (sampleBytes == 1) return HXRForScale(scale, [](auto s) -> GrayLine { return gray_line<1, s()>; });
    if (sampleBytes == 2) return HXRForScale(scale, [](auto s) -> GrayLine { return gray_line<2, s()>; });
    return nullptr;
}

// Converts `lines` lines (rows of ink 0) after moving their plane pointers
// to the start pixel.
void convert_lines(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                   const uint8_t** planes, int32_t start, int32_t end, uint32_t lines) {
    uint8_t* rows[2] = {HXRGetInkQuantityBuf(ink, 0, 0), HXRGetInkQuantityBuf(ink, 0, 1)};
    HXRSetWritingArea(ink, start * scale, end * scale);
    const size_t step = static_cast<size_t>(pixelOffset) * sampleBytes;
    for (uint32_t j = 0; j < 3 * lines; ++j) planes[j] += static_cast<size_t>(start) * step;
    const GrayLine line = gray_line_for(sampleBytes, scale);
    if (!line || start >= end) return;
    for (uint32_t l = 0; l < lines; ++l) {
        if (!rows[l]) continue;
        line(rows[l] + static_cast<size_t>(start) * scale, planes[3 * l], planes[3 * l + 1], planes[3 * l + 2], step,
             end - start);
    }
}

}  // namespace

void HXRTNMXConvertNormal(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                          const uint8_t** planes, const uint8_t**, int32_t start, int32_t end) {
    convert_lines(ink, pixelOffset, sampleBytes, scale, planes, start, end, 2);
}

void HXRTNMXConvertExpandH2NxV2(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                                const uint8_t** planes, const uint8_t**, int32_t start, int32_t end) {
    convert_lines(ink, pixelOffset, sampleBytes, scale, planes, start, end, 1);
}

HXRColorCvtTNMX* HXRCreateColorCvtTNMX(const _HXR_IMAGE_INFO* imageInfo, int32_t scale, const HXRClrMgr* colourManager,
                                       HXRMemMgr* memory) {
    if (!imageInfo || !colourManager) return nullptr;
    if (HXRGetOutputColorNum(colourManager) == 0) return nullptr;
    if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return nullptr;
    auto* c = static_cast<HXRColorCvtTNMX*>(HXRAllocMem(memory, sizeof(HXRColorCvtTNMX)));
    if (!c) return nullptr;
    c->convertFunc[0] = HXRTNMXConvertNormal;
    c->convertFunc[1] = scale % 2 != 0 ? HXRTNMXConvertNormal : HXRTNMXConvertExpandH2NxV2;
    c->lutInfo[0] = c->lutInfo[1] = nullptr;
    HXRKeepImageGeometry(c, *imageInfo, scale);
    return c;
}

uint32_t HXRSetColorCvtTNMXData(HXRColorCvtTNMX* c, const HXRColorCvtLutSet* set) {
    if (!c || !set || !set->lutTNMX[0]) return 1;
    c->lutInfo[0] = set->lutTNMX[0];
    c->lutInfo[1] = set->lutTNMX[1] ? set->lutTNMX[1] : set->lutTNMX[0];
    return 0;
}

uint32_t HXRColorConvertTNMX(HXRColorCvtTNMX* c, HXRIntermediateData* ink, HXRRandNum* random,
                             const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                             int32_t lines, int32_t lineNumber) {
    if (!c || !ink || !random) return 1;
    const HXRBandShape shape = {c->width, c->attrStride, 3, true, nullptr};
    HXRBandInput in;
    if (!HXRPrepareBand(shape, planes, attrs, count, start, lines, &in)) return 1;
    const int32_t end = start + count;
    if (ink->inkNum < 1 || !HXRInkRowsFit(ink, 1, HXRBandRowNeed(end, c->scale), 1, in.vExpansion)) return 1;

    HXRSetVExpansion(ink, in.vExpansion);
    HXRGetRandNum(random, static_cast<uint32_t>(lineNumber / 2));
    c->convertFunc[in.vExpansion](ink, c->pixelOffset, c->sampleBytes, c->scale, in.planes, in.attrs, start, end);
    return 0;
}

uint32_t HXRGetColorCvtTNMXLutGridNum(const HXRColorCvtTNMX* c) { return c ? kHxrTNMXLutGridNum : 0; }

const HXRLutTNMXData* HXRGetColorCvtTNMXLutInfo(const HXRColorCvtTNMX* c, uint32_t intent) {
    return c && intent < 2 ? c->lutInfo[intent] : nullptr;
}

const uint32_t* HXRGetColorCvtTNMXLUTData(const HXRColorCvtTNMX* c, uint32_t intent) {
    const HXRLutTNMXData* info = HXRGetColorCvtTNMXLutInfo(c, intent);
    return info ? info->table : nullptr;
}
