// Dither data manager of one intent: per dither area and output ink the
// threshold matrix laid out for the binariser, the same matrix cut into UBEC
// blocks (thresholds and orders per block), and the ink's offsets into the
// tiling. Built at the job start from the intent's dither resource manager;
// read by the binariser through kHxrDthDataMgrOps and by the UBEC data
// manager.
//
// Thresholds: value = the mask's threshold t(x, y) plus the threshold
// addition a. Layouts (a value is 2 or 4 bytes: `dataBytes`):
//   order 1, rows: row y holds t(x, y) for x = 0..W-1, then L - W values
//     t(x mod W, y') for x = 0.., y' = (y + ShiftV) mod H: the same row of the
//     tile to the right. L = W, or (update pixels + W) rounded down to even
//     when update pixels > 1.
//   order 2, row pairs (W and H even, else 6951): for each pair of rows y,
//     y + 1 and each x the two values t(x, y), t(x, y + 1).
// Two-byte values pair up in u32 words, the first in the low half; on this
// little-endian layout that is a u16 array. The binariser reads the order-1
// two-byte layout (HXRDthData::cells, stride L); other layouts leave the view's
// cells null.
//
// Objects are shared: an ink whose mask is an earlier (area, ink)'s mask
// (HXRIsSameDth) takes that one's dither and UBEC dither data. Deleting a
// manager deletes each distinct object once.
//
// Codes recorded: 6951 (row pairs of an odd-sized mask), 6952 (a value that
// does not fit its cell, or a layout beyond the memory manager's block size);
// delete codes 6901 (area data), 7001 (offset data), 7311 (manager).
#pragma once

#include "hxr/binarize/hxr_runtime_dither.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_dither.h"
#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_readctrl.h"

#include <cstdint>

enum : uint32_t {
    kHxrDthDataNone = 6901,
    kHxrDthRowPairOdd = 6951,
    kHxrDthDataSize = 6952,
    kHxrDthOffDataNone = 7001,
    kHxrDthDataMgrNone = 7311,
};

inline constexpr uint32_t kHxrDthOrderRows = 1;
inline constexpr uint32_t kHxrDthOrderRowPairs = 2;
// Data types: which objects an (area, ink) gets.
inline constexpr uint32_t kHxrDthDataDither = 1;
inline constexpr uint32_t kHxrDthDataUbec = 2;
inline constexpr uint32_t kHxrDthDataBoth = 3;
// UBEC block kinds: 1 the mask's own blocks, 2 4 x 4, 3 4 x 2, 4 2 x 4.
inline constexpr uint32_t kHxrUbecBlockOwn = 1;
// At most this many distinct dither data objects (areas x inks).
inline constexpr uint32_t kHxrMaxDthObjects = kHxrMaxDthAreas * kHxrMaxInks;

// One (area, ink)'s threshold matrix in its layout.
struct HXRTRAQ2DthSingleData {
    HXRDthData view;      // SizeH W, SizeV H, ShiftH, ShiftV; cells and stride for the order-1 two-byte layout
    uint32_t order;       // 1 or 2
    uint32_t dataBytes;   // 2 or 4
    uint32_t rowLength;   // values per stored row: L (order 1) or 2 W (order 2)
    uint32_t valueCount;  // values stored
    uint16_t* narrow;     // two-byte layouts (room rounded up to whole u32)
    uint32_t* wide;       // four-byte layouts
};

// One (area, ink)'s UBEC blocks: block b covers columns (b mod blocksH) bw
// and rows (b div blocksH) bh onwards; its bw bh thresholds and orders in
// the order the block lists them (ascending thresholds for blocks cut from a
// plain mask), so that position p's pixel has the threshold
// thresholds[b N + orders[b N + p]].
struct HXRTRAQ2UBECDthData {
    uint32_t blockW, blockH;
    uint32_t blocksH, blocksV;
    int32_t shiftH, shiftV;
    uint32_t* thresholds;  // blocks x N
    uint32_t* orders;      // blocks x N
};

struct HXRTRAQ2DthData {
    HXRTRAQ2DthSingleData* dither[kHxrMaxInks];
    HXRTRAQ2UBECDthData* ubec[kHxrMaxInks];
};

struct HXRTRAQ2DthOffData {
    HXRDthOffset ink[kHxrMaxInks];  // 0 past the ink count
};

struct HXRTRAQ2DthDataMgr {
    uint32_t areaNum;
    uint32_t dataNum;  // (dither, UBEC dither) pairs made, shared ones once
    HXRTRAQ2DthData* area[kHxrMaxDthAreas];
    HXRTRAQ2DthOffData* offset[kHxrMaxDthAreas];
};

// The layout parameters of a manager.
struct HXRDthLayout {
    uint32_t order;          // 1 rows, 2 row pairs
    uint32_t threshAddition;
    uint32_t dataBytes;      // 2 or 4
    uint32_t updatePixels;
    uint32_t ubecBlockKind;  // 1..4
    uint32_t dataType;       // 1 dither, 2 UBEC (needs data bytes 2), 3 both (fails only when both fail)
};

// Null unless every area of the intent's dither resources gets its data and
// offsets.
HXRTRAQ2DthDataMgr* HXRCreateTRAQ2DthDataMgr(const HXRResReadController* readCtrl, uint32_t intent,
                                            const HXRDthLayout* layout, const HXRClrMgr* colours,
                                            HXRMemMgr* manager);
// From a dither resource manager directly (what the one above does per intent).
HXRTRAQ2DthDataMgr* HXRCreateTRAQ2DthDataMgrFrom(const HXRDthResMgr* resources, const HXRDthLayout* layout,
                                                const HXRClrMgr* colours, HXRMemMgr* manager);
uint32_t HXRDeleteTRAQ2DthDataMgr(HXRTRAQ2DthDataMgr* mgr, HXRMemMgr* manager);
// Deletes an area's distinct objects once and the record; 6901 for null.
uint32_t HXRDeleteTRAQ2DthData(HXRTRAQ2DthData* data, HXRMemMgr* manager);
uint32_t HXRDeleteTRAQ2DthOffData(HXRTRAQ2DthOffData* data, HXRMemMgr* manager);

// Getters: a manager of one area answers area 0 for every area; null (or
// 0xFFFFFFFF) for a null manager, an area outside its areas or an ink not
// below 12.
const HXRTRAQ2DthData* HXRGetTRAQ2DthDataMgrDthInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area);
const HXRTRAQ2DthOffData* HXRGetTRAQ2DthDataMgrDthOffInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area);
const HXRDthData* HXRGetTRAQ2DthDataMgrDthSingleInfo(const HXRTRAQ2DthDataMgr* mgr, int32_t area, uint32_t ink);
const HXRTRAQ2UBECDthData* HXRGetTRAQ2DthDataMgrUBECSingleInfo(const HXRTRAQ2DthDataMgr* mgr, uint32_t area,
                                                               uint32_t ink);
const HXRDthOffset* HXRGetTRAQ2DthDataMgrDthOffSingleInfo(const HXRTRAQ2DthDataMgr* mgr, int32_t area, uint32_t ink);
int32_t HXRGetTRAQ2DthAreaNum(const HXRTRAQ2DthDataMgr* mgr);  // -1 for null
uint32_t HXRGetTRAQ2DthDataNum(const HXRTRAQ2DthDataMgr* mgr);  // 0 for null
// The distinct dither data objects over all areas and inks, in order of
// first appearance, written to `list` (room for `capacity`); their number.
uint32_t HXRGetTRAQ2DthSingleInfoDataList(const HXRTRAQ2DthDataMgr* mgr, const HXRTRAQ2DthSingleData** list,
                                          uint32_t capacity);
// The position in such a list of (area, ink)'s object; 0xFFFFFFFF when absent.
uint32_t HXRSherchTRAQ2DthSingleInfoData(const HXRTRAQ2DthDataMgr* mgr, const HXRTRAQ2DthSingleData* const* list,
                                         uint32_t count, uint32_t area, uint32_t ink);

// Object-level getters (null for an ink not below 12).
const HXRTRAQ2DthSingleData* HXRGetTRAQ2DthDataSingleInfo(const HXRTRAQ2DthData* data, uint32_t ink);
const HXRTRAQ2UBECDthData* HXRGetTRAQ2DthDataUBECSingleInfo(const HXRTRAQ2DthData* data, uint32_t ink);
const HXRDthOffset* HXRGetDthOffSingle(const HXRTRAQ2DthOffData* data, uint32_t ink);
// Value i of an object's layout (0xFFFFFFFF past the end).
uint32_t HXRGetTRAQ2DthValue(const HXRTRAQ2DthSingleData* data, uint64_t i);

// The manager's functions as the binariser's runtime dither state calls them.
extern const HXRDthDataOps kHxrDthDataMgrOps;
