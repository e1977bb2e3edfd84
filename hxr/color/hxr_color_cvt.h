// The LUT colour converters: RGB input through a 3D table (64 nodes per
// axis) and CMYK input through a 4D table (32 nodes per axis) into N ink
// rows. Everything that depends on the job (table family, ink count, scale)
// is chosen once at creation: three pairs of kernels, slot 0 for a band whose
// two lines differ and slot 1 for a band whose lines are the same. Per band
// the frame checks the input and the descriptor, decides vertical expansion,
// seeds the kernel from the line number and calls one stored kernel.
//
// Calling order: create (the converter controller does, once per job);
// attach the job's tables with HXRSetColorCvt3DData / 4DData; then one
// HXRColorConvert3D / 4D per band. The record lives in the engine's memory
// manager until the manager is deleted.
//
// Errors: creators answer null; the others answer 1 for failure and 0 for
// success. Nothing is recorded in the error record here, and a refused band
// leaves the descriptor as it was.
#pragma once

#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_color_lut_set.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_value_settings.h"
#include "ovcg/hxr.h"

#include <cstdint>

inline constexpr uint32_t kHxr3DLutGridNum = 64;
inline constexpr uint32_t kHxr4DLutGridNum = 32;
inline constexpr int32_t kHxrScaleHalf = 0x20001;
// Colour code of the white-print ink.
inline constexpr uint32_t kHxrWhiteInkCode = 16;

struct HXRColorCvt {
    HXRColorKernel colorFunc[2];     // null in white-print mode
    HXRColorKernel userSpecFunc[2];  // with an attribute plane and a user table
    HXRColorKernel wprintFunc[2];    // white-print mode only
    const HXRLutData* lut[2];        // LUT0, LUT1; null until data is attached
    const HXRLutUserData* userTable;
    uint32_t pixelOffset;
    uint32_t sampleBytes;
    uint32_t attrStride;
    uint32_t width;
    int32_t scale;
    uint32_t textEnhance;
    HXRColorCvtWPrintParam wprintParam;  // copy taken at creation
    uint32_t dimension;                  // 3 or 4 input channels
    uint32_t colorNum;                   // N, the output colour count
};

// Null when the image record, the value block or the colour manager is null,
// the scale is not 1, 2, 4, 8 or 0x20001, the output colour count has no row
// or a needed slot is empty in a chosen table (main or white-print, and
// UserSpec), white print finds no LUT channel of colour code 16 among the N
// output channels, or memory
// runs out. A 3D converter in white-print mode (output mode other than -1)
// writes the W channel, and zero weight and cap for it, into the caller's
// block only once nothing can fail any more, then copies the block.
HXRColorCvt* HXRCreateColorCvt3D(const _HXR_IMAGE_INFO* imageInfo, HXRValueSettings* values, int32_t scale,
                                 const HXRClrMgr* colourManager, HXRMemMgr* memory);
HXRColorCvt* HXRCreateColorCvt4D(const _HXR_IMAGE_INFO* imageInfo, HXRValueSettings* values, int32_t scale,
                                 const HXRClrMgr* colourManager, HXRMemMgr* memory);

// Attaches LUT0 (intent 0), LUT1 (intent 1, else LUT0) and the user table.
// 1, attaching nothing, when the converter or set is null, intent 0 has no
// table of the converter's dimension, or a table cannot be indexed by the
// kernels: each LUT must have the converter's dimension, N channels, the
// converter's grid and a pre-table within it; the user table N channels.
uint32_t HXRSetColorCvt3DData(HXRColorCvt* converter, const HXRColorCvtLutSet* set);
uint32_t HXRSetColorCvt4DData(HXRColorCvt* converter, const HXRColorCvtLutSet* set);

// Converts one band: planes holds lines x 3 (3D) or x 4 (4D) sample
// pointers, line-major; attrs one pointer per line (ignored without an
// attribute plane). 1 when the converter, descriptor or random state is
// null, the converter is of the other dimension, no table is attached, the
// span is negative or beyond the width, the scale is 0x20001 with an odd
// start or count, lines is not 1 or 2, a needed pointer is missing, the band
// would go to a slot that has no kernel for it (a dummy), or the descriptor
// cannot take the band (ink count other than N, element size other than 1,
// a missing row, rows too short). Else 0 after the kernel ran.
uint32_t HXRColorConvert3D(HXRColorCvt* converter, HXRIntermediateData* ink, HXRRandNum* random,
                           const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                           int32_t lines, int32_t lineNumber);
uint32_t HXRColorConvert4D(HXRColorCvt* converter, HXRIntermediateData* ink, HXRRandNum* random,
                           const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                           int32_t lines, int32_t lineNumber);

// The ink codes of one pixel, interpolated exactly (tetrahedrally, in
// decoded ink amounts) in the converter's grid, not by the kernels' random
// node choice: pixel holds R, G, B (4D: four colour bytes) and then the
// attribute byte; LUT1 when useAttribute is 1 and the attribute's two low
// bits are 1, else LUT0. Writes the first `channels` codes (LUT order) to
// out and answers 0. 1, writing nothing, when the converter is null or of
// the other dimension, out or pixel is null, mode is not 1, channels is
// outside 1..N, no table is attached, or the grid positions cannot be made.
uint32_t HXRGetColorConvert3DData(const HXRColorCvt* converter, uint8_t* out, const uint8_t* pixel, uint32_t mode,
                                  uint32_t useAttribute, int32_t channels);
uint32_t HXRGetColorConvert4DData(const HXRColorCvt* converter, uint8_t* out, const uint8_t* pixel, uint32_t mode,
                                  uint32_t useAttribute, int32_t channels);

uint32_t HXRGetColorCvtClrTextEnhance(const HXRColorCvt* converter);  // 0 when null
uint32_t HXRGetColorCvtClrPixelOffset(const HXRColorCvt* converter);  // 0 when null
uint32_t HXRGetColorCvt3DLutGridNum(const HXRColorCvt* converter);    // 64; 0 when null
uint32_t HXRGetColorCvt4DLutGridNum(const HXRColorCvt* converter);    // 32; 0 when null
uint32_t HXRGetColorCvt3DLutGridNumCore();                            // 64
uint32_t HXRGetColorCvt4DLutGridNumCore();                            // 32
