// The common call of every LUT colour kernel, and the thirteen tables from
// which a converter picks its kernels once, when it is made.
//
// A kernel converts one band of one or two input lines of 3 (RGB) or 4
// (CMYK) channels into N ink rows of the ink buffer descriptor. It is void:
// it checks nothing, reports nothing, allocates nothing and keeps no state.
// The converter frame (hxr_color_cvt.h) establishes everything a kernel may
// rely on before it calls it:
//
//  luts        LUT0 and LUT1 (LUT1 is LUT0 again for a one-intent job), both
//              non-null, each with N channels, the converter's grid (64 nodes
//              per axis for 3D, 32 for 4D) and a pre-table that keeps every
//              coordinate on that grid.
//  aux         main kernels: the user table or null; UserSpec kernels: the
//              user table (never null, N channels per entry); white-print
//              kernels: the converter's HXRColorCvtWPrintParam copy.
//  ink         inkNum == N, element size 1, rows of inks 0..N-1 present for
//              every line the kernel fetches (line 0 only under vertical
//              expansion, which the frame stored), and rows at least
//              end x scale + 1 elements long (end / 2 at scale 0x20001), so
//              the lone last column of an odd band also fits. Its clear
//              position is -1 or an ink below N: the CMYK under-white
//              kernels write 0 to that ink at blank pixels.
//  seed        start value of the kernel's generator x = x x 69069 + 62003.
//  pixelOffset samples from one pixel to the next within a plane.
//  sampleBytes 1 or 2; of a 16-bit sample (host order) the high byte is used.
//  scale       1, 2, 4, 8, or 0x20001 (2:1 reduction: start and end even).
//  planes      2 x m non-null pointers (line 0 first; a one-line band
//              repeats line 0), each at pixel 0 of its plane. The kernel may
//              move them forward in place; the array is the frame's own copy.
//  attrs       the attribute pointer of line 0 and line 1, also movable;
//              without an attribute plane both address one zero byte.
//  attrStride  bytes between attribute bytes; 0 without an attribute plane.
//  start, end  input pixels [start, end), 0 <= start <= end <= width.
//
// A kernel sets the written span ([start x scale, end x scale), or
// [start / 2, end / 2) at 0x20001), writes every output pixel of the span in
// every row it fetched and copies each pixel's attribute byte into the intent
// rows when the descriptor has them. The ExpandH2NxV2 form (identical lines)
// writes line 0 only.
//
// Offsets such as start x pixelOffset x sampleBytes are pointer-width
// products: in 32 bits they wrap on wide pages.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_lut_data.h"

#include <cstdint>
#include <type_traits>

using HXRColorKernel = void (*)(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
                                uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
                                const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end);
// The function type itself, to declare named kernels in one line each.
using HXRColorKernelFn = std::remove_pointer_t<HXRColorKernel>;

// Kernels that return at once and write nothing: the reduction slot of the
// tables that have no reduction form. The frame refuses a band that would be
// dispatched to either (it would leave the previous band's rows and span).
void HXRColorConvertDummy(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
                          uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
                          const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end);
void HXRColorConvertDummyWp(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
                            uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
                            const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end);

// One row of a kernel table: output colour count and its three forms.
struct HXRColorFuncRow {
    int32_t count;  // -1 ends the table
    HXRColorKernel expandH2NxV2;
    HXRColorKernel normal;
    HXRColorKernel reduceH;
};

// The thirteen families, in the order of the description.
enum HXRColorFamily : uint32_t {
    kColor3D,
    kColor3DPatternD,
    kColor3DUserSpec,
    kColor3DUserSpecPatternD,
    kColor3DWprint,
    kColor4D,
    kColor4DPatternD,
    kColor4DUnderWhite,
    kColor4DUnderWhitePatternD,
    kColor4DUserSpec,
    kColor4DUserSpecPatternD,
    kColor4DUserSpecUnderWhite,
    kColor4DUserSpecUnderWhitePatternD,
    kColorFamilyCount
};

// Rows per family including the end row (the 3D PatternD families carry an
// empty one-ink row before their nine).
inline constexpr uint32_t kColorFuncRowsMax = 11;

struct HXRColorFuncTables {
    HXRColorFuncRow table[kColorFamilyCount][kColorFuncRowsMax];
};

// The constant description of every table. A kernel slot stays null until
// the kernels of its family exist; a null slot fails the lookup, so no
// converter is made for a family without kernels.
extern const HXRColorFuncTables kHxrColorFuncTables;

// The tables converters are made from: the description, or the tables bound
// through the test seam below.
const HXRColorFuncRow* HXRGetColorFuncTable(HXRColorFamily family);

// Test seam: converters made while `tables` is bound take their kernels from
// it. Null restores the description. Returns the previous binding. Read only
// when a converter is made, never per band.
const HXRColorFuncTables* HXRBindColorFuncTables(const HXRColorFuncTables* tables);

// The row and slot lookup: the first row of `count`; scale above 0x10000
// takes the reduction kernel in both slots, an odd scale the Normal kernel in
// both, an even scale Normal in slot 0 (distinct lines) and ExpandH2NxV2 in
// slot 1 (identical lines). False, with both slots null, when the table has
// no such row or a slot would be null.
bool GetColorCvtColorFunc(const HXRColorFuncRow* table, uint32_t count, int32_t scale, HXRColorKernel out[2]);
