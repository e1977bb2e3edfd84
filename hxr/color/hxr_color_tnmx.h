// The monochrome-photo (TNMX) converter: every RGB pixel becomes one 8-bit
// gray code, (30 R + 59 G + 11 B) / 100 truncated, written into ink 0's rows
// of the ink buffer descriptor. The engine's band step applies the job's
// TNMX table to that gray row afterwards; the converter only keeps the
// tables of both intents so that the engine and the binarizer can ask for
// them.
//
// Calling order and errors as for the LUT converters (hxr_color_cvt.h):
// create once per job, attach the tables, convert per band; null from the
// creator, 1 for a refused call, 0 for success; a refused band leaves the
// descriptor as it was.
#pragma once

#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_color_lut_set.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "ovcg/hxr.h"

#include <cstdint>

inline constexpr uint32_t kHxrTNMXLutGridNum = 256;

// The TNMX kernel call: descriptor, pixel offset, sample bytes, scale, the
// six plane pointers (line 0 R, G, B, then line 1's; moved to the start
// pixel in place), the attribute pair (not read), start and end input pixel.
// The converter guarantees what the LUT kernels are guaranteed (see
// hxr_color_kernel.h) for ink 0: the rows it fetches exist and hold
// end x scale + 1 elements. Neither kernel writes intent rows.
using HXRTNMXKernel = void (*)(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                               const uint8_t** planes, const uint8_t** attrs, int32_t start, int32_t end);

struct HXRColorCvtTNMX {
    HXRTNMXKernel convertFunc[2];      // [0] distinct lines, [1] identical lines
    const HXRLutTNMXData* lutInfo[2];  // per intent; null until attached
    uint32_t pixelOffset;
    uint32_t sampleBytes;
    uint32_t attrStride;
    uint32_t width;
    int32_t scale;  // 1, 2, 4 or 8
};

// The gray code of an RGB pixel.
constexpr uint8_t HXRTNMXGray(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint8_t>((30 * r + 59 * g + 11 * b) / 100);
}

// Null when the image record or colour manager is null, the output colour
// count is 0, the scale is not 1, 2, 4 or 8 (there is no 2:1 reduction form),
// or memory runs out.
HXRColorCvtTNMX* HXRCreateColorCvtTNMX(const _HXR_IMAGE_INFO* imageInfo, int32_t scale, const HXRClrMgr* colourManager,
                                       HXRMemMgr* memory);
// 0 after attaching intent 0's table and intent 1's (or intent 0's again);
// 1 when the converter or set is null or intent 0 has no table.
uint32_t HXRSetColorCvtTNMXData(HXRColorCvtTNMX* converter, const HXRColorCvtLutSet* set);
// One band: planes holds lines x 3 pointers, line-major. 1 when the
// converter, descriptor or random state is null, the span is negative or
// beyond the width, lines is not 1 or 2, a needed pointer is missing, or the
// descriptor has no ink, an element size other than 1, a missing ink-0 row
// or rows too short. Else 0 after the kernel ran. Reseeds the random state
// from the line number as the LUT converters do.
uint32_t HXRColorConvertTNMX(HXRColorCvtTNMX* converter, HXRIntermediateData* ink, HXRRandNum* random,
                             const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                             int32_t lines, int32_t lineNumber);

// Both lines into ink 0's rows 0 and 1; with scale 1 an odd band's last
// gray code is also written one column past the span.
void HXRTNMXConvertNormal(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                          const uint8_t** planes, const uint8_t** attrs, int32_t start, int32_t end);
// Identical lines at an even scale: line 0 into row 0 only.
void HXRTNMXConvertExpandH2NxV2(HXRIntermediateData* ink, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                                const uint8_t** planes, const uint8_t** attrs, int32_t start, int32_t end);

uint32_t HXRGetColorCvtTNMXLutGridNum(const HXRColorCvtTNMX* converter);  // 256; 0 when null
// The table record of intent 0 or 1; null when null or another intent.
const HXRLutTNMXData* HXRGetColorCvtTNMXLutInfo(const HXRColorCvtTNMX* converter, uint32_t intent);
// That record's table; null when there is none.
const uint32_t* HXRGetColorCvtTNMXLUTData(const HXRColorCvtTNMX* converter, uint32_t intent);
