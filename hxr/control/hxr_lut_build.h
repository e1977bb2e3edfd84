// Colour-table builder: turns the LUT resource's tables into the objects the
// colour kernels read (HXRLutData, HXRLutTNMXData, the user colour table) and
// wraps a colour or monochrome-photo table in a typed slice.
//
// A colour table is read from the resource with the intent's channel mode,
// reshaped by the user's picture controls and the duty factor
// (hxr_lut_adjust.h), re-gridded onto the engine's fixed grid (64 or 32
// nodes per axis for 3D, 32 for 4D) by tetrahedral interpolation in linear
// ink amounts, its neutral axis replaced by the optional 16-bit gray table,
// and packed in lane layout (hxr_lut_data.h).
//
// Channels: K is the colour manager's LUT colour count (HXRGetLutColorNum)
// and channel k must carry HXRGetLutColorCode(k) in every table read.
//
// Memory: everything comes from the instance's memory manager. A failed
// build returns null (or 1 / 0 as listed) and records its code with
// HXRSetErrorInfo; blocks it had allocated are freed again. Objects are
// built once per job and intent and only read afterwards (except the
// PatternD upper values and the additional table), so the worker threads
// read them without locks.
//
// Error codes (recorded in the engine's error record):
//   6201 null slice, 6202 slice of another type (delete)
//   6301 null colour table, 7401 null monochrome-photo table (delete)
//   6351 / 6352 colour count / ink codes differ from the colour table's
//     (also when the resource has no colour table)
//   6353 colour table dimension not 3 or 4
//   6354 colour table grid count not 2..32
//   6355 table gamma missing or outside 50..300
//   6356 / 6357 monochrome ink count (also no mono table) / code mismatch
//   6358 / 6359 monochrome dimension not 1 / grid count not 2..32
//   6360 / 6361 gray table ink count / code mismatch
//   6362 gray dimension not 1, 6363 gray grid count not 2..64,
//   6364 gray maximum not 255 or a gray value outside 0..255,
//   6365 gray gamma outside 50..300
//   6366 table dimension differs from the requested LUT type
//   6367 / 6368 double gamma 0 / 255 missing, or a pair without a coding
//   6369 target grid count not one of the engine's grids for the dimension
//   6551 user colour table channel count differs from K
//   6552 user colour table shorter than its header says
//   20403 additional table size is not entry count x K
//   9031-9034 the colour controls and the duty factor (hxr_lut_adjust.h)
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_lut_work.h"
#include "hxr/control/hxr_memory.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    kHxrLutSlcNone = 6201,
    kHxrLutSlcBadType = 6202,
    kHxrLutColorNone = 6301,
    kHxrLutColorNum = 6351,
    kHxrLutColorCode = 6352,
    kHxrLutColorDim = 6353,
    kHxrLutColorGrid = 6354,
    kHxrLutGammaRange = 6355,
    kHxrLutMonoNum = 6356,
    kHxrLutMonoCode = 6357,
    kHxrLutMonoDim = 6358,
    kHxrLutMonoGrid = 6359,
    kHxrLutGrayNum = 6360,
    kHxrLutGrayCode = 6361,
    kHxrLutGrayDim = 6362,
    kHxrLutGrayGrid = 6363,
    kHxrLutGrayMax = 6364,
    kHxrLutGrayGamma = 6365,
    kHxrLutTypeMismatch = 6366,
    kHxrLutDblGamma0 = 6367,
    kHxrLutDblGamma255 = 6368,
    kHxrLutTargetGrid = 6369,
    kHxrLutUserChannels = 6551,
    kHxrLutUserSize = 6552,
    kHxrLutTNMXNone = 7401,
    kHxrAdditionalLutSize = 20403,
};

// Node words of K channels in lane layout: ceil(K / 4).
inline constexpr uint32_t HXRGetLutUnitSizeU32(uint32_t colorNum) { return (colorNum + 3) / 4; }
// Byte of channel k inside a lane-layout node (little-endian words).
inline constexpr uint32_t HXRSortIndexLutResToRebuildLut(uint32_t k) {
    constexpr uint32_t lane[4] = {0, 2, 1, 3};
    return 4 * (k / 4) + lane[k % 4];
}

// ---------------------------------------------------------------- slices

// lutType 3 or 4: a colour slice (HXRCreateTRAQ2LutColorData with the colour
// flag = halftone word 0 != 0, the document type = word 2, the duty block =
// the option record's per-colour words); 17: a monochrome-photo slice
// (HXRCreateTRAQ2LutTNMXData with the option record's nine monochrome-photo
// words). Any other type, or a null record, yields null. gridInfoType is not
// used. channelMode: the option record's channel-mode word of the intent.
HXRLutSlc* HXRCreateTRAQ2LutSlc(const HXRLutResParser* parser, uint32_t lutType, uint32_t gridNum,
                                uint32_t gridInfoType, const _HXR_HALFTONE_INFO* halftoneInfo,
                                const _HXR_OPTION_INFO* optionInfo, const char* dutyModeId, uint32_t channelMode,
                                const HXRClrMgr* clrMgr, HXRMemMgr* mem);
// Deletes the table (with every block it owns) and the slice. 0; 6201 null
// slice; 6202 another type (nothing freed); else the first failing free.
uint32_t HXRDeleteTRAQ2LutSlc(HXRLutSlc* slice, HXRMemMgr* mem);

// The slice's table when it is of that type; null otherwise or for null.
HXRLutData* HXRGetTRAQ2Lut3DColor(const HXRLutSlc* slice);
HXRLutData* HXRGetTRAQ2Lut4DColor(const HXRLutSlc* slice);
HXRLutTNMXData* HXRGetTRAQ2LutTNMX(const HXRLutSlc* slice);
// Of a colour slice (types 3 and 4); null for null or a monochrome-photo slice.
const uint32_t* HXRGetTRAQ2LutDbgDecTable(const HXRLutSlc* slice);
const uint32_t* HXRGetTRAQ2LutDbgEncTable(const HXRLutSlc* slice);
const uint32_t* HXRGetTRAQ2LutGridPosTable(const HXRLutSlc* slice);

// A type-3 slice whose table holds only the decode and encode tables (grid
// null, gridNum 0): the colour double gamma when halftone word 0 is not 0,
// else the monochrome one (6367 / 6368 when missing). Only colour-conversion
// modes 1, 2 and 5; any other yields null.
HXRLutSlc* HXRCreateTRAQ2LutSlcOnlyDbg(const HXRLutResParser* parser, uint32_t colorConvertMode,
                                       const _HXR_HALFTONE_INFO* halftoneInfo, HXRMemMgr* mem);
HXRLutData* HXRCreateTRAQ2LutColorDataOnlyDbg(const HXRLutResParser* parser, uint32_t colourFlag, HXRMemMgr* mem);

// Stores value as the PatternD upper value of LUT-order colour lutOrder.
// 1; 0 for a null or monochrome-photo slice or an order of 12 or more.
uint32_t HXRSetTRAQ2LUTSlcPatternDitherUpperValue(HXRLutSlc* slice, uint32_t value, uint32_t lutOrder);

// 0 valid; 1 not a duty-factor block; 2 value outside 128..8192.
uint32_t HXRCheckTRAQ2LutSlcDutyFactorParam(const uint32_t* block, const char* dutyModeId);
uint32_t HXRCheckTRAQ2LutColorDataDutyFactorParam(const uint32_t* block, const char* dutyModeId);

// Attaches a copy of blob's bytes, scaled by the duty factor of the option
// record's per-colour words, to the slice's colour table (replacing one
// attached before). The blob must hold exactly entryCount x K bytes (K >= 1),
// else 20403. 0; 1 on a null argument, a monochrome-photo slice or failure.
uint32_t HXR8SetTRAQ2LutSlcCopyAdditionalLUT(HXRLutSlc* slice, const HXRAdditionalLut* blob, uint32_t entryCount,
                                             const _HXR_OPTION_INFO* optionInfo, const char* dutyModeId,
                                             const HXRClrMgr* clrMgr, HXRMemMgr* mem);
uint32_t HXR8SetTRAQ2LutColorCopyAdditionalLUT(HXRLutData* lut, const HXRAdditionalLut* blob, uint32_t entryCount,
                                               const _HXR_OPTION_INFO* optionInfo, const char* dutyModeId,
                                               const HXRClrMgr* clrMgr, HXRMemMgr* mem);

// ---------------------------------------------------------------- tables

// The colour table of an intent. colourFlag 0 builds the monochrome table
// (the mono LUT laid on the gray axis of a 3D grid). docType is halftone word
// 2 (4 disables the gray table, as do non-zero balances and a 4D table); dutyBlock the twelve
// per-colour words (a duty-factor block or not). The object records gridNum,
// dimension and channels; its padded copy and gray-axis copy stay attached.
HXRLutData* HXRCreateTRAQ2LutColorData(const HXRLutResParser* parser, uint32_t lutType, uint32_t gridNum,
                                       uint32_t colourFlag, uint32_t docType, const _HXR_OPTION_INFO* optionInfo,
                                       const uint32_t* dutyBlock, const char* dutyModeId, uint32_t channelMode,
                                       const HXRClrMgr* clrMgr, HXRMemMgr* mem);
// Frees the grid, the padded and gray-axis copies, the additional table and
// the object. 0; 6301 for null; else the first failing free.
uint32_t HXRDeleteTRAQ2LutColorData(HXRLutData* lut, HXRMemMgr* mem);

// The monochrome-photo table (lutType 1), reshaped by the nine controls
// (circle x, circle y, gamma, brightness, contrast, shadow and highlight
// tonality, maximum density, highlight point). Failures yield null without a
// code.
HXRLutTNMXData* HXRCreateTRAQ2LutTNMXData(const HXRLutResParser* parser, uint32_t lutType, uint32_t gridNum,
                                          uint32_t docType, const int32_t* tnmxControls, const HXRClrMgr* clrMgr,
                                          HXRMemMgr* mem);
// 0; 7401 for null; else the first failing free.
uint32_t HXRDeleteTRAQ2LutTNMXData(HXRLutTNMXData* lut, HXRMemMgr* mem);

// The user colour table from the option record's blob of `size` bytes (byte
// 0 channels per entry, u16 at byte 2 entry count, entries from byte 4): 256
// lane-layout entries of ceil(K/4) words, entries past the blob's count 0.
// channelMode (intent 0's): 2 clears the colour-code-10 channel, 4 and 5
// every other channel. Null (6551, 6552, 5451) on failure.
HXRLutUserData* HXRCreateTRAQ2LutUserData(const uint8_t* userTable, uint32_t size, uint32_t channelMode,
                                          const HXRClrMgr* clrMgr, HXRMemMgr* mem);

// ---------------------------------------------------------------- re-gridding

// Clears ceil(count/4) words at dst and ORs value k (0..255) into its lane.
// Returns ceil(count/4); a count below 1 writes nothing and returns 0.
uint32_t HXRRearrangeLut(uint32_t* dst, const uint32_t* values, int32_t count);

// index[v] = position of input level v on a grid of `count` node levels in
// 1/128 node steps: for each interval k of positive step s,
// index[v] = 128 k + ((v - L[k]) 128 + s / 2) / s for L[k] <= v < L[k+1];
// index[L[count-1]] = 128 (count - 1). count below 2 writes index[0] = 0.
// levels are non-decreasing and at most 255. 0; 1 for a null pointer.
uint32_t HXRGetSrcLutGridPosIndex(uint32_t* index, uint32_t count, const uint32_t* levels);

// One pixel interpolated in a lane-layout grid of gridNum (>= 2) nodes per
// axis and inkNum (1..12) channels: the same tetrahedral node interpolation
// the re-gridding uses, over every byte of the node; out[k] receives channel
// k. index is HXRGetSrcLutGridPosIndex of the grid's levels. Levels above
// 255 (4D) are clamped, the excess boosting channels 0, 2, 4, 5 (all four
// with four channels). 0; 1 for a null pointer or a count out of range.
uint32_t HXR8TRAQ2LutInterpolate3D(uint8_t* out, uint32_t level0, uint32_t level1, uint32_t level2,
                                   const uint32_t* decode, const uint32_t* encode, const uint32_t* grid,
                                   uint32_t gridNum, uint32_t inkNum, const uint32_t* index);
uint32_t HXR8TRAQ2LutInterpolate4D(uint8_t* out, uint32_t level0, uint32_t level1, uint32_t level2,
                                   uint32_t level3, const uint32_t* decode, const uint32_t* encode,
                                   const uint32_t* grid, uint32_t gridNum, uint32_t inkNum, const uint32_t* index);

// The grid table of N^D lane-layout nodes re-gridded from the work table
// (index = HXRGetSrcLutGridPosIndex of its levels): 3D onto 64 or 32 nodes
// with the white node and, given a gray table and grayOut (N x 4 ceil(K/4)
// bytes), the gray diagonal; 4D onto 32 nodes at levels scaled by the duty.
// Null (6369 for another N) on failure.
uint32_t* HXRRebuildLut(const HXRLutWork* work, const HXRGrayLutWork* grayWork, const uint32_t* decode,
                        const uint32_t* encode, const uint32_t* index, uint32_t gridNum, HXRMemMgr* mem,
                        uint8_t* grayOut);
