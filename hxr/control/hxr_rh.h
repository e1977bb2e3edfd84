// The RH package's image and sections.
//
// Image (little-endian):
//   0   26  common head: u8 K, a zero byte, eight u16 dither offsets (one per
//           halftone colour, the first of its offset pair), eight u8 flags
//           (per halftone colour: with hybrid error diffusion the smaller of
//           the kinds of its part-0 and part-1 SML sections, else 0)
//   26  1   intent count
//   27  1   UBEC state of intent 0 (kRhUbec*)
//   28  4   slot count (kRhSlotCount)
//   32  8n  per slot {u32 offset, u32 size}, both 0 for an absent section
//   ...     the sections, each at a multiple of 8
//
// Sections list the K output colours in output order: channel k holds the
// LUT channel the colour manager gives output colour k; the lanes from K up
// to Kp = (K + 3) & ~3 are 0. Per-colour lists of the dither, SML and UBEC
// sections run over the halftone colours.
//
// Section writers take the two-pass cursor (hxr_pkg_writer.h) and return the
// section's bytes, or kHxrPkgFail with the failure recorded.
#pragma once

#include "hxr/control/hxr_packages.h"
#include "hxr/control/hxr_pkg_writer.h"

#include <cstdint>

inline constexpr uint32_t kRhMaxColours = 8;
inline constexpr uint32_t kRhMaxMatrices = 4;
inline constexpr uint32_t kRhMaxSml = 8;
inline constexpr uint32_t kRhMaxPartZeroSml = 4;
inline constexpr uint32_t kRhGridNum = 64;
inline constexpr uint32_t kRhSourceGridNum = 17;
inline constexpr uint32_t kRhLevels = 256;
inline constexpr uint32_t kRhCommonSize = 26;
inline constexpr uint8_t kRhNoSml = 255;

enum : uint32_t {
    kRhSlotGrid = 0,           // + intent: 64^3 nodes of Kp bytes
    kRhSlotPreLut = 2,         // + intent: 17^3 nodes of Kp bytes
    kRhSlotGray = 4,           // + intent: 64 nodes of Kp bytes
    kRhSlotGridPos = 6,        // + intent: 64 u16
    kRhSlotEncode = 8,         // + intent: 257 u16
    kRhSlotDecode = 10,        // + intent: 256 u16
    kRhSlotAdditional = 12,    // + intent: the additional table's bytes
    kRhSlotTnmx = 14,          // + intent: 256 bytes 0..255
    kRhSlotPrePos = 16,        // 256 u16
    kRhSlotCal = 17,           // + output colour: 256 u16
    kRhSlotSmlInfo = 25,       // u8 count, u8[8] part-0 numbers, u8[8] part-1 numbers
    kRhSlotSml = 26,           // + number: levels x 3 u16
    kRhSlotDitherInfo = 34,    // u8 count, u8[8] matrix numbers
    kRhSlotDitherParam = 35,   // u16[4] widths, u16[4] heights, u16[4] first step parameters
    kRhSlotMatrix = 36,        // + number: width x height u16
    kRhSlotUbecInfo = 40,      // u32 count, u32[8] table numbers
    kRhSlotUbecParam = 41,     // u16[4] blocks per row, u16[4] block rows, u8[4] block widths,
                               // u8[4] block heights, u16[4] horizontal shifts
    kRhSlotUbecEncode = 42,    // + number: blocks x 32 u16
    kRhSlotUbecPreDecode = 46, // + number: blocks x 32 bytes
    kRhSlotUbecPostDecode = 50,// + number: P x (u16 low half, u16 high half)
    kRhSlotUbecOrder = 54,     // + number: blocks x u64
    kRhSlotCount = 58,
};
inline constexpr uint32_t kRhDirectory = 32;

// UBEC state of an intent.
enum : uint8_t {
    kRhUbecNone = 0,      // no UBEC blocks in the intent's masks
    kRhUbecUnusable = 1,  // UBEC blocks, but not for every halftone colour of one area
    kRhUbecPresent = 2,
};

struct HXRRHData {
    uint8_t* image;
    uint32_t size;
    uint32_t offset[kRhSlotCount];
    uint32_t length[kRhSlotCount];  // 0: absent
};

// ---------------------------------------------------------------- sections

// count nodes of nodeBytes bytes, each written as Kp bytes: byte k the node's
// byte channel[k] (k < K), then zeros.
uint64_t WritePreLutRH(HXRPkgCursor c, const uint8_t* nodes, uint64_t count, uint32_t nodeBytes,
                       const uint32_t* channel, uint32_t colourNum);
// The 64^3 rebuilt grid (lane layout), the 17^3 padded source table and the
// 64-node gray axis (LUT order); lutChannel[k] the LUT channel of output
// colour k. The table must be a 3D one of 17 source and 64 rebuilt nodes
// (7801).
uint64_t HXRGetRHLut(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t colourNum,
                     const HXRMemMgr* manager);
uint64_t HXRGetRHPreLut(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t colourNum,
                        const HXRMemMgr* manager);
uint64_t HXRGetRHGrayData(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t colourNum);
// For each rebuilt level p[i]: s = the source-grid index of p[i] (1/128 node
// steps) as (s & ~127) x 2 + (s & 127).
uint64_t HXRGetRHLutGridPosTable(HXRPkgCursor c, const HXRLutData* lut);
uint64_t HXRGetRHLutEncTable(HXRPkgCursor c, const HXRLutData* lut);   // 257 low halves
uint64_t HXRGetRHLutDecTable(HXRPkgCursor c, const HXRLutData* lut);   // 256 low halves
uint64_t HXRGetRHLutAdditionalLut(HXRPkgCursor c, const HXRLutData* lut);
// 256 bytes 0..255; 7802 without a monochrome-photo table or for a
// monochrome job (colour flag 0).
uint64_t HXRGetRHLutTNMX(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t colourFlag);
uint64_t HXRGetRHPrePos(HXRPkgCursor c, const HXRLutData* lut);
// levels x 3 u16: a one-dot row repeats its rate, a two-dot row ends in 0.
uint64_t HXRGetRHSml(HXRPkgCursor c, const HXRSmlColorData* row);
// (p + 8) >> 4 of 256 positions (null: 256 j, the identity).
uint64_t WriteCalTableKVT38P(HXRPkgCursor c, const uint32_t* positions);
// 0 for a one-dot row; else 1 when some level has r0 != r1, 2 when some has
// r1 != r2, 3 when some r2 != 0, else 0 (the three values as the section
// holds them).
uint8_t HXRGetRHSmlKind(const HXRSmlColorData* row);

// ---------------------------------------------------------------- plans

// SML numbering: every halftone colour's part-0 row (and part-1 row when
// part1 is given) gets a section number; equal rows share one, a part-1 row
// equal to any part-0 row takes its number. monochromePhoto: a colour's
// part-1 number is its part-0 number. 0; 7901 more than eight sections; 7902
// more than four part-0 sections beside part-1 rows.
struct HXRRhSmlPlan {
    uint32_t count;
    uint32_t partZeroCount;
    uint8_t no0[kRhMaxColours];
    uint8_t no1[kRhMaxColours];  // kRhNoSml without part-1 rows
    const HXRSmlColorData* section[kRhMaxSml];
    uint8_t kind[kRhMaxSml];
};
uint32_t SetSmlNoTbl(HXRRhSmlPlan* plan, const HXRSmlColorData* part0, const HXRSmlColorData* part1,
                     uint32_t colours, bool monochromePhoto);

// Dither: matrix numbers of area 0's threshold matrices by halftone colour
// (7214 a colour without one, 7702 a fifth), their checks (7703..7706) and the
// offsets (7701).
struct HXRRhDitherPlan {
    uint32_t count;
    uint8_t number[kRhMaxColours];
    const HXRTRAQ2DthSingleData* matrix[kRhMaxMatrices];
    uint16_t width[kRhMaxMatrices], height[kRhMaxMatrices], step[kRhMaxMatrices];
    uint16_t offset[kRhMaxColours];
};
uint32_t HXRGetDitherInfo(HXRRhDitherPlan* plan, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours);
uint32_t HXRGetDitherPram(HXRRhDitherPlan* plan);
uint32_t HXRGetRHDitherOffset(HXRRhDitherPlan* plan, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours);
uint64_t HXRGetDitherMaskData(HXRPkgCursor c, const HXRTRAQ2DthSingleData* matrix);

// UBEC: table numbers by halftone colour (8501 a fifth table) and the tables'
// geometry (8502, 8503).
struct HXRRhUbecPlan {
    uint32_t count;
    uint32_t number[kRhMaxColours];
    const HXRTRAQ2UBECTable* table[kRhMaxMatrices];
    uint16_t blocksH[kRhMaxMatrices], blocksV[kRhMaxMatrices], shiftH[kRhMaxMatrices];
    uint8_t blockW[kRhMaxMatrices], blockH[kRhMaxMatrices];
};
uint32_t HXRGetUBECInfo(HXRRhUbecPlan* plan, const HXRTRAQ2UBECDataMgr* ubec, uint32_t halftoneColours);
uint32_t HXRGetUBECPram(HXRRhUbecPlan* plan);
// The sections of one table; the encode and pre-decode ones only for 32
// places per block (else 0 bytes: absent).
uint64_t HXRGetUBECEncTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t);
uint64_t HXRGetUBECPreDecTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t);
uint64_t HXRGetUBECPostDecTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t);
uint64_t HXRGetUBECOrderTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t);

// The checks of the package's shape: 7201 K above 8, 7211 K not 1, 4..8,
// 7212 more than two intents, 7213 a monochrome-photo job with K not 6 or 8.
uint32_t HXRCheckRHShape(uint32_t colourNum, uint32_t intentNum, bool monochromePhoto);
