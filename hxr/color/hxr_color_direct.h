// The direct converters: the caller's input already holds one plane per ink
// (image colour modes 101 to 112), so each plane is copied into its ink row,
// every pixel widened to the horizontal scale, inks whose direct-ink-off flag
// is set forced to 0, and the attribute bytes copied into the intent rows.
// Kind 5 serves ordinary jobs, kind 6 monochrome-photo jobs; they differ only
// in the ink counts their tables allow.
//
// Calling order and errors as for the LUT converters (hxr_color_cvt.h):
// create once per job (no tables to attach), convert per band; null from the
// creators, 1 for a refused band, 0 for success; a refused band leaves the
// descriptor as it was.
#pragma once

#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "ovcg/hxr.h"

#include <cstdint>

// The direct routine call: ink count N, vertical-expansion flag, descriptor,
// pixel offset, sample bytes (= element size), scale, the 2 x N plane
// pointers (line 0's inks, then line 1's; a null one marks an ink without
// data), the attribute pair, attribute stride, start and end input pixel.
// The converter guarantees: inkNum == N, element size == sample bytes, rows
// of end x scale + 1 elements, valid flags that match the plane pointers,
// 0 <= start <= end <= width, scale 1, 2, 4 or 8.
using HXRDirectKernel = void (*)(int32_t colorNum, uint32_t vExpansion, HXRIntermediateData* ink, uint32_t pixelOffset,
                                 uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
                                 uint32_t attrStride, int32_t start, int32_t end);

// {ink count, routine for scales up to 0x10000, routine for larger scales};
// a count of -1 ends a table.
struct HXRDirectFuncRow {
    int32_t count;
    HXRDirectKernel expand;
    HXRDirectKernel reduce;
};

extern const HXRDirectFuncRow DirectFuncTable[];
extern const HXRDirectFuncRow TNMXDirectFuncTable[];

// The routine of the first row of `count` for `scale`; null when there is no
// row or its slot is empty.
HXRDirectKernel HXRLookupDirectFunc(const HXRDirectFuncRow* table, uint32_t count, int32_t scale);

struct HXRColorCvtDirect {
    HXRDirectKernel directFunc;
    uint32_t colorNum;  // ink planes = the output colour count
    uint32_t pixelOffset;
    uint32_t sampleBytes;  // also the element size of the ink rows
    uint32_t attrStride;
    uint32_t width;
    int32_t scale;  // 1, 2, 4 or 8
};

// Null when the image record or colour manager is null, the output colour
// count is 0 or has no row in the form's table, the scale is not 1, 2, 4 or
// 8, or memory runs out.
HXRColorCvtDirect* HXRCreateColorCvtDirect(const _HXR_IMAGE_INFO* imageInfo, int32_t scale,
                                           const HXRClrMgr* colourManager, HXRMemMgr* memory);
HXRColorCvtDirect* HXRCreateColorCvtDirectTNMX(const _HXR_IMAGE_INFO* imageInfo, int32_t scale,
                                               const HXRClrMgr* colourManager, HXRMemMgr* memory);

// One band: planes holds lines x N pointers, line-major (single pointers may
// be null); attrs one pointer per line. Marks each ink row valid exactly when
// its plane pointer is given. 1 when the converter, descriptor or random
// state is null, the span is negative or beyond the width, lines is not 1 or
// 2, the plane array or a needed attribute pointer is missing, or the
// descriptor's ink count is not N, its element size not the sample size, or
// its rows too short. Else 0 after the routine ran. The random state and the
// line number are not used.
uint32_t HXRColorConvertDirect(HXRColorCvtDirect* converter, HXRIntermediateData* ink, HXRRandNum* random,
                               const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                               int32_t lines, int32_t lineNumber);

// The routine of both tables. Pixel x of a plane is the sample at
// x x pixelOffset samples from the line start; its attribute byte is at
// x x attrStride bytes from the line start. Writes nothing for a sample size
// other than 1 or 2.
void HXRColorConvertDirectExpand(int32_t colorNum, uint32_t vExpansion, HXRIntermediateData* ink, uint32_t pixelOffset,
                                 uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
                                 uint32_t attrStride, int32_t start, int32_t end);

uint32_t HXRGetColorCvtDirectElementSize(const HXRColorCvtDirect* converter);  // 0 when null
uint32_t HXRGetColorCvtDirectColorNum(const HXRColorCvtDirect* converter);     // 0 when null
