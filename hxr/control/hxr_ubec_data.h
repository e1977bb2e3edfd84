// UBEC data manager of one intent: per halftone colour a table that tells the
// binariser, block by block of the colour's UBEC dither data, at which input
// levels the block's dot composition changes and how a composition decodes
// into dots.
//
// A block of N = bw bh pixels (8 or 16) holds a composition (c3, c2, c1):
// c3 pixels with the largest dot, c2 with the middle one, c1 with the small
// one (a single dot size uses c1 only). The post-decode table lists the
// compositions with c3 + c2 + c1 <= N, c3 outermost, c2, c1 innermost; entry
// i is the base-4 number whose digits, most significant first, are c1 ones,
// c2 twos and c3 threes, so digit k from the least significant end is the dot
// of the block's k-th pixel in threshold order (165 entries for N = 8, 969
// for N = 16; the rest of the P entries are 0). The order table packs a
// block's N orders into a u64, order p at bit p log2 N.
//
// Per block and level: c3 counts the thresholds below the largest dot's
// cumulative rate, c2 those of the rest below the middle rate, c1 those of the
// rest below the total rate (one dot size: k thresholds below the rate when it
// exceeds the block's first threshold). Walking v = 0..254 with the rates of
// level v + 1, a composition whose key (c3 << 10 | c2 << 5 | c1) exceeds the
// last recorded one and whose total does not fall records a breakpoint: v
// joins the pre-decode list and the composition's index the encode list
// (which starts with 0); the pre-decode list ends with 255. Lists longer than
// L places are thinned: the first 2L - n - 2 places stay, each following pair
// of breakpoints becomes one at the double-gamma mean of their levels with the
// first's composition, and the closing entry takes the last place; more than
// 2L - 2 breakpoints cannot be thinned so (7652).
//
// Codes recorded: 7551 (dither data with more than one area), 7651 (the LUT
// slice has no double-gamma tables), 7652 (too many breakpoints), 7653 (a UBEC
// order not below N); delete codes 7511 (manager), 7601 (data).
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_dth_data.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_sml_mgr.h"

#include <cstdint>

enum : uint32_t {
    kHxrUbecDataMgrNone = 7511,
    kHxrUbecAreas = 7551,
    kHxrUbecDataNone = 7601,
    kHxrUbecNoDblGamma = 7651,
    kHxrUbecBreakpoints = 7652,
    kHxrUbecOrderRange = 7653,
};

inline constexpr uint32_t kHxrUbecTableKind = 1;
inline constexpr uint32_t kHxrUbecLevels = 256;
// Compositions of N pixels (c3 + c2 + c1 <= N): C(N + 3, 3).
inline constexpr uint32_t kHxrUbecCompositions8 = 165;
inline constexpr uint32_t kHxrUbecCompositions16 = 969;

struct HXRTRAQ2UBECTable {
    uint8_t* preDecode;    // L per block: the last input level of each place
    uint16_t* encode;      // L per block: the composition index of each place
    uint32_t* postDecode;  // P codes
    uint64_t* order;       // one word per block
    uint32_t blockW, blockH, blocksH, blocksV;
    int32_t shiftH, shiftV;
    uint32_t P, L;
};

struct HXRTRAQ2UBECData {
    HXRTRAQ2UBECTable* table[kHxrMaxInks];  // by halftone colour; shared where allowed
};

struct HXRTRAQ2UBECDataMgr {
    uint32_t areaNum;   // 1
    uint32_t tableNum;  // tables made, shared ones once
    HXRTRAQ2UBECData* area[kHxrMaxDthAreas];
};

// P for N = 8 or 16 (0 otherwise); L for an encode step (1, 2, 3) and N.
uint32_t HXRUbecPostDecodeSize(uint32_t n);
uint32_t HXRUbecListSize(uint32_t encodeStep, uint32_t n);
// Fills the P-entry post-decode table; the number of compositions.
uint32_t HXRUbecFillPostDecode(uint32_t* post, uint32_t n, uint32_t p);
// The index of composition (c3, c2, c1) among the N-pixel compositions.
uint32_t HXRUbecCompositionIndex(uint32_t n, uint32_t c3, uint32_t c2, uint32_t c1);
// The pre-decode and encode lists of one block (L places each) from its N
// thresholds and a cumulative SML row of 1 or 3 dot sizes and 256 levels.
// 0; 1 for another dot count or fewer levels; 7652 for too many breakpoints.
uint32_t HXRUbecBuildBlock(const uint32_t* thresholds, uint32_t n, const HXRSmlColorData* sml, uint32_t l,
                           const uint32_t* decode, const uint32_t* encode, uint8_t* preDecode, uint16_t* encodeList);

// The tables of area 0 for every halftone colour. smlCalib takes the colour's
// corrected SML table in place of its rates. Null on failure.
HXRTRAQ2UBECDataMgr* HXRCreateTRAQ2UBECDataMgr(const HXRLutSlc* lut, HXRSmlDataMgr* sml,
                                              const HXRTRAQ2DthDataMgr* dither, uint32_t encodeStep,
                                              uint32_t smlCalib, uint32_t tableKind, const HXRClrMgr* colours,
                                              HXRMemMgr* manager);
uint32_t HXRDeleteTRAQ2UBECDataMgr(HXRTRAQ2UBECDataMgr* mgr, HXRMemMgr* manager);
// Deletes each distinct table once and the record; 7601 for null.
uint32_t HXRDeleteTRAQ2UBECData(HXRTRAQ2UBECData* data, HXRMemMgr* manager);

const HXRTRAQ2UBECData* HXRGetTRAQ2UBECDataMgrUBECInfo(const HXRTRAQ2UBECDataMgr* mgr, uint32_t area);
uint32_t HXRGetTRAQ2UBECAreaNum(const HXRTRAQ2UBECDataMgr* mgr);  // 0xFFFFFFFF for none
const HXRTRAQ2UBECTable* HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(const HXRTRAQ2UBECDataMgr* mgr, uint32_t area,
                                                               uint32_t colour);
const HXRTRAQ2UBECTable* HXRGetTRAQ2UBECDataDblDecSingleInfo(const HXRTRAQ2UBECData* data, uint32_t colour);
