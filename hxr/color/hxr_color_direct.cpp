#include "hxr/color/hxr_color_direct.h"

#include "hxr/color/hxr_color_band.h"

#include <cstddef>
#include <cstring>

const HXRDirectFuncRow DirectFuncTable[] = {
    {1, HXRColorConvertDirectExpand, nullptr},  {4, HXRColorConvertDirectExpand, nullptr},
    {5, HXRColorConvertDirectExpand, nullptr},  {6, HXRColorConvertDirectExpand, nullptr},
    {7, HXRColorConvertDirectExpand, nullptr},  {8, HXRColorConvertDirectExpand, nullptr},
    {9, HXRColorConvertDirectExpand, nullptr},  {10, HXRColorConvertDirectExpand, nullptr},
    {12, HXRColorConvertDirectExpand, nullptr}, {-1, nullptr, nullptr},
};

const HXRDirectFuncRow TNMXDirectFuncTable[] = {
    {6, HXRColorConvertDirectExpand, nullptr},  {7, HXRColorConvertDirectExpand, nullptr},
    {8, HXRColorConvertDirectExpand, nullptr},  {10, HXRColorConvertDirectExpand, nullptr},
    {12, HXRColorConvertDirectExpand, nullptr}, {-1, nullptr, nullptr},
};

namespace {

template <typename T>
inline T load(const uint8_t* p) {
    T v;  // host order, possibly unaligned
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One plane of `count` pixels into a row at its start column: every sample
// fills Scale elements. A packed 8-bit plane at scale 1 is a plain copy.
template <typename T, int Scale>
void expand_plane(T* out, const uint8_t* src, size_t step, size_t count) {
    if (Scale == 1 && step == sizeof(T)) {
        std::memcpy(out, src, count * sizeof(T));
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const T v = load<T>(src + i * step);
        for (int k = 0; k < Scale; ++k) out[i * Scale + k] = v;
    }
}

template <typename T>
using PlaneFn = void (*)(T*, const uint8_t*, size_t, size_t);

template <typename T>
PlaneFn<T> plane_fn(int32_t scale) {
    return HXRForScale(scale, [](auto s) -> PlaneFn<T> { return expand_plane<T, s()>; });
}

template <typename T>
void expand_inks(int32_t n, uint32_t lines, HXRIntermediateData* ink, uint32_t pixelOffset, int32_t scale,
                 const uint8_t** planes, int32_t start, int32_t end) {
    const PlaneFn<T> fn = plane_fn<T>(scale);
    if (!fn || start >= end) return;
    const size_t step = static_cast<size_t>(pixelOffset) * sizeof(T);
    const size_t count = static_cast<size_t>(end - start);
    const size_t first = static_cast<size_t>(start) * static_cast<size_t>(scale);
    for (uint32_t j = 0; j < lines * static_cast<uint32_t>(n); ++j) {
        const int32_t k = static_cast<int32_t>(j % static_cast<uint32_t>(n));
        const uint32_t line = j / static_cast<uint32_t>(n);
        T* row;
        if constexpr (sizeof(T) == 1)
            row = HXRGetInkQuantityBuf(ink, k, line);
        else
            row = HXRGetInkQuantityBuf16(ink, k, line);
        if (!row || !planes[j]) continue;
        if (HXRGetInkDirectInkOffFlag(ink, k) != 0)
            std::memset(row + first, 0, count * static_cast<size_t>(scale) * sizeof(T));
        else
            fn(row + first, planes[j] + static_cast<size_t>(start) * step, step, count);
    }
}

HXRColorCvtDirect* create(const _HXR_IMAGE_INFO* image, int32_t scale, const HXRClrMgr* clr, HXRMemMgr* memory,
                          const HXRDirectFuncRow* table) {
    if (!image || !clr) return nullptr;
    const uint32_t n = HXRGetOutputColorNum(clr);
    if (n == 0) return nullptr;
    const HXRDirectKernel fn = HXRLookupDirectFunc(table, n, scale);
    if (!fn || (scale != 1 && scale != 2 && scale != 4 && scale != 8)) return nullptr;
    auto* c = static_cast<HXRColorCvtDirect*>(HXRAllocMem(memory, sizeof(HXRColorCvtDirect)));
    if (!c) return nullptr;
    c->directFunc = fn;
    c->colorNum = n;
    HXRKeepImageGeometry(c, *image, scale);
    return c;
}

}  // namespace

HXRDirectKernel HXRLookupDirectFunc(const HXRDirectFuncRow* table, uint32_t count, int32_t scale) {
    if (!table) return nullptr;
    for (const HXRDirectFuncRow* row = table; row->count != -1; ++row)
        if (static_cast<uint32_t>(row->count) == count) return scale > 0x10000 ? row->reduce : row->expand;
    return nullptr;
}

HXRColorCvtDirect* HXRCreateColorCvtDirect(const _HXR_IMAGE_INFO* imageInfo, int32_t scale,
                                           const HXRClrMgr* colourManager, HXRMemMgr* memory) {
    return create(imageInfo, scale, colourManager, memory, DirectFuncTable);
}

HXRColorCvtDirect* HXRCreateColorCvtDirectTNMX(const _HXR_IMAGE_INFO* imageInfo, int32_t scale,
                                               const HXRClrMgr* colourManager, HXRMemMgr* memory) {
    return create(imageInfo, scale, colourManager, memory, TNMXDirectFuncTable);
}

void HXRColorConvertDirectExpand(int32_t colorNum, uint32_t vExpansion, HXRIntermediateData* ink, uint32_t pixelOffset,
                                 uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
                                 uint32_t attrStride, int32_t start, int32_t end) {
    if (sampleBytes != 1 && sampleBytes != 2) return;
    HXRSetWritingArea(ink, start * scale, end * scale);
    const uint32_t lines = vExpansion == 1 ? 1 : 2;
    if (sampleBytes == 1)
        expand_inks<uint8_t>(colorNum, lines, ink, pixelOffset, scale, planes, start, end);
    else
        expand_inks<uint16_t>(colorNum, lines, ink, pixelOffset, scale, planes, start, end);

    // Intent rows only with an attribute plane; pixel x's byte lies x
    // attribute strides from its line's start, like its samples.
    if (attrStride == 0 || !HXRGetIntentBuf(ink, 0) || !HXRGetIntentBuf(ink, 1) || scale < 1) return;
    const PlaneFn<uint8_t> fn = plane_fn<uint8_t>(scale);
    if (!fn || start >= end) return;
    for (uint32_t l = 0; l < lines; ++l) {
        uint8_t* row = HXRGetIntentBuf(ink, l);
        fn(row + static_cast<size_t>(start) * static_cast<size_t>(scale),
           attrs[l] + static_cast<size_t>(start) * attrStride, attrStride, static_cast<size_t>(end - start));
    }
}

uint32_t HXRColorConvertDirect(HXRColorCvtDirect* c, HXRIntermediateData* ink, HXRRandNum* random,
                               const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                               int32_t lines, int32_t) {
    if (!c || !ink || !random) return 1;
    const HXRBandShape shape = {c->width, c->attrStride, c->colorNum, false, nullptr};
    HXRBandInput in;
    if (!HXRPrepareBand(shape, planes, attrs, count, start, lines, &in)) return 1;
    const int32_t end = start + count;
    if (ink->inkNum != static_cast<int32_t>(c->colorNum) ||
        !HXRInkRowsFit(ink, c->sampleBytes, HXRBandRowNeed(end, c->scale), 0, in.vExpansion))
        return 1;

    HXRSetVExpansion(ink, in.vExpansion);
    HXRSetValidInput(ink, in.planes, lines);
    c->directFunc(static_cast<int32_t>(c->colorNum), in.vExpansion, ink, c->pixelOffset, c->sampleBytes, c->scale,
                  in.planes, in.attrs, c->attrStride, start, end);
    return 0;
}

uint32_t HXRGetColorCvtDirectElementSize(const HXRColorCvtDirect* c) { return c ? c->sampleBytes : 0; }
uint32_t HXRGetColorCvtDirectColorNum(const HXRColorCvtDirect* c) { return c ? c->colorNum : 0; }
