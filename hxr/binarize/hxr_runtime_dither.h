// Runtime dither state: the page's dither switch positions, and for a line
// and an output colour order the dither data and offsets of the dither area
// that holds the line.
//
// The dither data manager belongs to the host halftoning data set; this
// record reaches it only through the calls of HXRDthDataOps, which the data
// set binds to its own functions (tests bind recording fakes).
//
// Errors: the switch-position operations record 8301 (more positions than the
// dither areas allow: as many as the areas or more with several areas, or more
// than five with any), 8302 (a negative first position or a descending one)
// and 8303 (a replacement with another count). A refused list changes
// nothing. The two switch-position operations answer 1 for success and 0 for
// failure; their caller converts.
#pragma once

#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrSwitchPosAreas = 8301;
inline constexpr uint32_t kHxrSwitchPosOrder = 8302;
inline constexpr uint32_t kHxrSwitchPosCount = 8303;
// Six dither areas at most, so five positions between them.
inline constexpr uint32_t kHxrMaxSwitchPos = 5;

// The dither data manager of one intent (opaque here).
struct HXRTRAQ2DthDataMgr;

// What the runtime dither calls of the dither data manager. A manager with one
// area answers area 0 for every area; null for a null manager, an area outside
// the manager's areas or an order above 12.
struct HXRDthDataOps {
    int32_t (*HXRGetTRAQ2DthAreaNum)(const HXRTRAQ2DthDataMgr* mgr);  // -1 for null
    const HXRDthData* (*HXRGetTRAQ2DthDataMgrDthSingleInfo)(const HXRTRAQ2DthDataMgr* mgr, int32_t area,
                                                            uint32_t order);
    const HXRDthOffset* (*HXRGetTRAQ2DthDataMgrDthOffSingleInfo)(const HXRTRAQ2DthDataMgr* mgr, int32_t area,
                                                                 uint32_t order);
};

// The host's switch-position record: a count and up to five ascending line
// numbers, the first not negative.
struct HXRSwitchPosList {
    uint32_t count;
    int32_t positions[kHxrMaxSwitchPos];
};

// Line y lies in area 0 below positions[0] (or always, with count 0);
// otherwise its area is the number of positions <= y.
struct HXRDthSwitchInfo {
    int32_t count;
    int32_t positions[kHxrMaxSwitchPos];
};

struct HXRRuntimeDither {
    const HXRDthDataOps* ops;
    const HXRTRAQ2DthDataMgr* dthDataMgr;  // intent 0's, attached by HXRSetDthMgr
    uint32_t hasSwitchInfo;                // 0 until the first page sets positions
    HXRDthSwitchInfo switchInfo;           // kept here: a page start allocates nothing
};

// Null for a null manager or ops table or a failed allocation.
HXRRuntimeDither* HXRCreateRuntimeDither(HXRMemMgr* manager, const HXRDthDataOps* ops);
// 0; 1 for a null runtime dither.
uint32_t HXRSetDthMgr(HXRRuntimeDither* dither, const HXRTRAQ2DthDataMgr* mgr);
// The data of the colour in the area of `line`; null without a manager.
const HXRDthData* HXRGetDthDataSingleInfo(const HXRRuntimeDither* dither, int32_t line, uint32_t order);
const HXRDthOffset* HXRGetDthOffDataSingleInfo(const HXRRuntimeDither* dither, int32_t line, uint32_t order);
// Page start: takes a fresh list (a null list keeps the old one and succeeds).
// The memory manager is not needed any more and may be null.
uint32_t HXRCreatDthSwitchInfo(HXRRuntimeDither* dither, const HXRSwitchPosList* list, HXRMemMgr* manager);
// Replaces the positions with a list of the same count; before any create a
// null list succeeds and any list fails (no error).
uint32_t HXRResetDthSwitchInfo(HXRRuntimeDither* dither, const HXRSwitchPosList* list);
// The dither area of a line (0 without switch positions).
int32_t HXRGetDthArea(const HXRRuntimeDither* dither, int32_t line);
