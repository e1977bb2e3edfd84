// Runtime SML state: the job's four SML data managers (intent 0/1 x slot 0
// primary / 1 secondary; a line that one head lays uses slot 0, a line of two
// heads slot 1) and, per intent and halftone colour, the working SML row the
// kernels read. HXRGetRnrzSmlTable builds a row from its slot's manager:
// the colour's corrected rates, scaled by the line's SML rate, passed through
// the monochrome-photo table for the TNMX converter kinds, made cumulative and
// cut to three dot sizes; the row is kept while its (slot, rate) stays.
//
// The SML data managers belong to the host halftoning data set; this record
// reaches them only through HXRSmlDataOps, which the data set binds to its
// own functions (tests bind recording fakes). The BRS hook (a per-nozzle
// correction) accepts no source in this system.
//
// A built row always covers what the kernels read: 256 or more levels, one
// value per level for 1-bit output and three for 2-bit output, every rate
// within 0..4080. A row that cannot be built so is refused (null); nothing
// here records an error code.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrSmlLevels = 256;
inline constexpr uint32_t kHxrSmlRateFull = 255;
inline constexpr uint32_t kHxrSmlMaxRate = 4080;
// Converter kinds that run the monochrome-photo (TNMX) path.
inline constexpr uint32_t kHxrCvtTNMX = 4;
inline constexpr uint32_t kHxrCvtDirectTNMX = 6;

// An SML data manager (opaque here).
struct HXRSmlDataMgr;

// What the runtime SML calls of an SML data manager and of the per-colour row
// helpers. Every call answers 0 for success, 1 for failure (null arguments
// among them). Orders are output colour orders 0..11.
struct HXRSmlDataOps {
    // A new rates buffer of the source's size from `memory`, and the source's
    // rates, dot values, dot-size count and gradation count.
    uint32_t (*HXRCopySDMSmlDataEveryColor)(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order,
                                            HXRMemMgr* memory);
    uint32_t (*HXRCopySDMSmlTNMXDataEveryColor)(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order,
                                                HXRMemMgr* memory);
    // The dot-size count and dot values of the manager's data (rates untouched).
    uint32_t (*HXRResetTRAQ2SmlMgrDot)(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order);
    // Fills gradation count x dot-size count rates of the colour's current correction.
    uint32_t (*HXRGetSDMSmlTable)(HXRSmlDataMgr* mgr, uint32_t* rates, uint32_t code);
    uint32_t (*HXRPrepareEveryLineCorrection)(HXRSmlDataMgr* mgr);
    // Monochrome-photo paths: from the row into the manager's TNMX data of `order`.
    uint32_t (*HXRMergeLutInSml)(HXRSmlDataMgr* mgr, HXRSmlColorData* row, const void* tnmxLutInfo,
                                 uint32_t order, uint32_t lutColorNum, uint32_t lutColorOrder);
    uint32_t (*HXRExpandTNMXDrtSml)(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order);
    // The manager's rows by output order (12), or null.
    HXRSmlColorData* (*HXRGetSDMOrgTNMXSmlTable)(HXRSmlDataMgr* mgr);
    HXRSmlColorData* (*HXRGetSDMOrgSmlTable)(HXRSmlDataMgr* mgr);
    // Row helpers.
    uint32_t (*HXRCopyTRAQ2SmlDotRate)(const HXRSmlColorData* source, HXRSmlColorData* target);
    uint32_t (*HXRAddRateTRAQ2SmlDataEveryColor)(HXRSmlColorData* row);
    uint32_t (*HXRSplitTRAQ2SmlDataEveryColor)(HXRSmlColorData* row, uint32_t derived);
};

// The host's BRS source: two words; one whose first word is set is refused.
struct HXRBrsSource {
    const void* entries;
    const void* data;
};

struct HXRSmlCacheKey {
    int32_t slot;  // -1: never built
    int32_t rate;
};

struct HXRRuntimeSml {
    const HXRBrsSource* brsSource;  // always null
    const void* brsData;
    const HXRSmlDataOps* ops;
    uint32_t valuesPerLevel;        // what the kernels read per level: 1 (1-bit) or 3 (2-bit)
    HXRSmlDataMgr* smlDataMgr[2][2];
    HXRSmlColorData smlRow[2][12];      // by intent and halftone colour index
    HXRSmlColorData tnmxSmlRow[2][12];  // converter kind 6 only: the plain data
    HXRSmlCacheKey cacheKey[2][12];
    // Rates each row's buffer holds, as its copy made it.
    uint64_t smlRowRoom[2][12];
    uint64_t tnmxSmlRowRoom[2][12];
};

// Null for a refused BRS source, a null ops table, a dot mode whose low four
// bits are not 1 or 2, or a failed allocation.
HXRRuntimeSml* HXRCreateRuntimeSml(const HXRBrsSource* brs, HXRMemMgr* manager, const HXRSmlDataOps* ops,
                                   uint32_t dotMode);
// 0 after clearing the BRS source; 1 for a null state or a refused source.
uint32_t HXRSetBrsRuntimeSml(HXRRuntimeSml* sml, const HXRBrsSource* brs);
// Attaches a manager to (intent, slot) and copies its data of every halftone
// colour into the working rows of the intent (kind 6: the TNMX data, and the
// plain data into the second set). 1 for a null state or manager, an intent
// or slot above 1, no halftone colour, a colour without an output order or a
// failed copy.
uint32_t HXRSetSmlData(HXRRuntimeSml* sml, HXRSmlDataMgr* mgr, uint32_t intent, uint32_t slot,
                       uint32_t converterKind, const HXRClrMgr* colours, HXRMemMgr* memory);
// 0 without a BRS source; 1 for a null state.
uint32_t HXRBrsGetCorrection(const HXRRuntimeSml* sml, uint32_t count, const void* pairs);
uint32_t HXRCorrectBrs(const HXRRuntimeSml* sml, uint32_t code, int32_t nozzle, uint32_t intent, uint32_t slot);
// Puts the slot's manager back on its base weights before a fetch.
uint32_t HXRPrepareEveryLineSml(HXRRuntimeSml* sml, uint32_t intent, uint32_t slot);
// The working row of the colour for (intent, slot, rate 0..255); null on any
// refusal (see the header comment).
HXRSmlColorData* HXRGetRnrzSmlTable(HXRRuntimeSml* sml, uint32_t code, uint32_t intent, uint32_t slot,
                                    uint32_t rate, uint32_t converterKind, const void* tnmxLutInfo,
                                    const HXRClrMgr* colours);
// The slot manager's uncorrected row of the colour's output order, or null.
HXRSmlColorData* HXRGetRnrzOrgSmlTable(HXRRuntimeSml* sml, uint32_t code, uint32_t intent, uint32_t slot,
                                       const HXRClrMgr* colours);
// 0 when a row covers what a kernel of `dotMode` reads (rates present, 256 or
// more levels, one value per level at 1 bit, three at 2 bits); else 1. The job
// start checks the built rows with it and the kernel wrappers each call.
uint32_t HXRCheckSmlRow(const HXRSmlColorData* row, uint32_t dotMode);
