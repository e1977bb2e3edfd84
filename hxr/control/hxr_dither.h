// Dither resources and their manager: the dither switch (which mask each ink
// of each page area uses), the threshold masks in plain and UBEC (block) form,
// and the per-ink offsets at which masks are laid over the page.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_resmgr.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindDthSwitch = 5;
inline constexpr uint32_t kHxrResKindDthMask = 6;
inline constexpr uint32_t kHxrResKindDthOffset = 7;

inline constexpr uint32_t kHxrMaxDthAreas = 6;
inline constexpr int32_t kHxrDthThresholdMax = 4080;
inline constexpr uint32_t kHxrDthTypePlain = 0;
inline constexpr uint32_t kHxrDthTypeUbec = 1;
// A switch entry that names no mask.
inline constexpr uint16_t kHxrDthNoMask = 0xFFFF;

// Error-record and result codes.
enum : uint32_t {
    kHxrDthMgrNone = 4801,
    kHxrDthMaskNone = 4901,
    kHxrDthMaskMagic = 4951, kHxrDthMaskForm = 4952, kHxrDthMaskMaximum = 4953, kHxrDthMaskSize = 4954,
    kHxrDthMaskDirection = 4955, kHxrDthMaskPacking = 4956, kHxrDthMaskByte27 = 4957,
    kHxrUbecOffset = 4980, kHxrUbecMaximum = 4981, kHxrUbecSize = 4982, kHxrUbecBlockShape = 4983,
    kHxrUbecBlockSize = 4984, kHxrUbecWidth = 4985, kHxrUbecHeight = 4986, kHxrUbecBlockCount = 4987,
    kHxrUbecTwoShifts = 4988, kHxrUbecShiftH = 4989, kHxrUbecShiftV = 4990, kHxrUbecReserved = 4991,
    kHxrDthOffNone = 5001,
    kHxrDthOffMagic = 5051, kHxrDthOffVersion = 5052, kHxrDthOffEntry = 5053, kHxrDthOffDivisor = 5054,
    kHxrDthSwcNone = 5101,
    kHxrDthSwcMagic = 5151, kHxrDthSwcForm = 5152, kHxrDthSwcInk = 5153, kHxrDthSwcArea = 5154,
    kHxrDthSwcTooManyInks = 5155, kHxrDthSwcTooManyAreas = 5156,
};

struct HXRDthSwcResParser;
struct HXRDthResParser;
struct HXRDthOffResParser;
struct HXRDthResMgr;

// Parsers keep pointers into the resource, which must outlive them. Each
// failure stores its code in the error record and returns none.
HXRDthSwcResParser* HXRCreateDthSwcResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                             HXRMemMgr* manager);
uint32_t HXRDeleteDthSwcResParser(HXRDthSwcResParser* parser, HXRMemMgr* manager);
uint32_t HXRGetDthResNo(const HXRDthSwcResParser* parser, uint32_t area, uint32_t ink);
uint32_t HXRGetDthSwcResAreaNum(const HXRDthSwcResParser* parser);
uint32_t HXRGetDthSwcResInkNum(const HXRDthSwcResParser* parser);

HXRDthResParser* HXRCreateDthResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                       HXRMemMgr* manager);
uint32_t HXRDeleteDthResParser(HXRDthResParser* mask, HXRMemMgr* manager);
uint32_t HXRGetDthThresh(const HXRDthResParser* mask, uint32_t x, uint32_t y);  // plain masks
uint32_t HXRGetDthSizeH(const HXRDthResParser* mask);
uint32_t HXRGetDthSizeV(const HXRDthResParser* mask);
uint32_t HXRGetDthShiftH(const HXRDthResParser* mask);
uint32_t HXRGetDthShiftV(const HXRDthResParser* mask);
uint32_t HXRGetDthResType(const HXRDthResParser* mask);
uint32_t HXRGetDthBits(const HXRDthResParser* mask);  // 12 or 16 for plain masks
// UBEC masks only (else 0xFFFFFFFF).
uint32_t HXRGetDthUBECThresh(const HXRDthResParser* mask, uint32_t block, uint32_t j);
uint32_t HXRGetDthUBECOrder(const HXRDthResParser* mask, uint32_t block, uint32_t j);
uint32_t HXRGetDthUBECBlockNum(const HXRDthResParser* mask);
uint32_t HXRGetDthUBECBlockNumH(const HXRDthResParser* mask);
uint32_t HXRGetDthUBECBlockNumV(const HXRDthResParser* mask);
uint32_t HXRGetDthUBECBlockSize(const HXRDthResParser* mask);
uint32_t HXRGetDthUBECBlockSizeH(const HXRDthResParser* mask);
uint32_t HXRGetDthUBECBlockSizeV(const HXRDthResParser* mask);

HXRDthOffResParser* HXRCreateDthOffResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                             HXRMemMgr* manager);
uint32_t HXRDeleteDthOffResParser(HXRDthOffResParser* parser, HXRMemMgr* manager);
uint32_t HXRGetDthOffsetNum(const HXRDthOffResParser* parser);
// (size x multiplier) / divisor + addend of entry k, signed and truncating;
// 0xFFFFFFFF with 5053 for a missing entry, 5054 for a divisor of 0. The same
// entries serve every area.
uint32_t HXRGetDthOffsetH(const HXRDthOffResParser* parser, uint32_t area, uint32_t k, int32_t size);
uint32_t HXRGetDthOffsetV(const HXRDthOffResParser* parser, uint32_t area, uint32_t k, int32_t size);

// Loads the masks of the job's output inks: the dither identifier names a
// switch resource, or one mask that every ink uses. None on failure.
HXRDthResMgr* HXRCreateDthResMgr(uint32_t ditherId, uint32_t offsetId, const HXRClrMgr* colours,
                                 HXRStrNCmpFn compare, HXRResMgr* resources, HXRMemMgr* manager);
uint32_t HXRDeleteDthResMgr(HXRDthResMgr* mgr, HXRMemMgr* manager);
uint32_t HXRGetDthResAreaNum(const HXRDthResMgr* mgr);

// Lookups by area and output ink index; 0xFFFFFFFF when the ink has no
// dither-offset order, its slot is empty or the request is out of range.
// Thresholds of plain masks are read at (x, y) as given; UBEC masks repeat
// over the page in both directions.
uint32_t HXRGetDthResMgrThresh(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink, uint32_t x, uint32_t y);
// The threshold at `position` of block `block` of a bw x bh block grid, and in
// *order its rank; for a plain mask the block's thresholds taken in ascending
// order, for a UBEC mask (whose blocks must be bw x bh) the entry itself.
uint32_t HXRGetDthResMgrUBECThresh(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink, uint32_t block,
                                   uint32_t position, uint32_t bw, uint32_t bh, uint32_t* order);
uint32_t HXRGetDthResMgrSizeH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrSizeV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrShiftH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrShiftV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrOffsetH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrOffsetV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockNum(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockNumH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockNumV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockSize(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockSizeH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
uint32_t HXRGetDthResMgrUBECBlockSizeV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
// 1 when both use the same mask object, else 0.
uint32_t HXRIsSameDth(const HXRDthResMgr* mgr, uint32_t area1, uint32_t ink1, uint32_t area2, uint32_t ink2);
// The mask of an (area, output ink), or none; for the data-set builders.
const HXRDthResParser* HXRGetDthResMgrMask(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink);
