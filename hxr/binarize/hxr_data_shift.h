// Data shift and dot counter of the binariser.
//
// The data-shift object tells, for every raster line and output colour order,
// how many print heads lay the line and each head's nozzle number and SML
// rate. No shift source can be installed in this system (a reset refuses a
// complete source), so every object holds the identity: one head, rate 255,
// the line number itself as the nozzle number.
//
// The dot counter keeps 64-bit counts per halftone colour index (0..11) and
// dot code 1..6, which the host reads and clears through the binariser.
//
// Errors: lookups on a line outside 0..lastLine record 10105 and answer the
// neutral value (0 heads, rate 0, nozzle -1); every other refusal answers the
// neutral value or 1 without recording anything.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrDataShiftLine = 10105;
inline constexpr uint32_t kHxrDataShiftColors = 12;
inline constexpr uint32_t kHxrDotCodes = 6;
// A head that lays no dots.
inline constexpr uint16_t kHxrNoNozzle = 0xFFFF;

// The host's shift source: two words; a source in which both are set is
// refused.
struct HXRDataShiftSource {
    const void* table;
    const void* layout;
};

// Entry layout (6 bytes): u16le nozzle[2] at 0 and 2 (0xFFFF = head unused),
// u8 rate[2] at 4 and 5 (255 = full rate).
struct HXRDataShift {
    uint32_t colorIndex[kHxrDataShiftColors];  // entry of an output colour within a line
    uint32_t lineStride;                       // entries per line
    int32_t lastLine;
    uint32_t entrySize;                        // bytes per entry
    const uint8_t* table;                      // entry of line 0, colour index 0
    uint8_t identityEntry[6];
};

// A new object, reset; null on a refused source or a failed allocation.
HXRDataShift* HXRCreateDataShift(const HXRDataShiftSource* source, const HXRClrMgr* colours,
                                 HXRMemMgr* manager);
// 0 after writing the identity state; 1 for a null object or a complete source
// (object unchanged). The colour manager is not read.
uint32_t HXRSetDataShiftDataShift(HXRDataShift* shift, const HXRDataShiftSource* source,
                                  const HXRClrMgr* colours);
// 1 for a null object or a line outside 0..lastLine, else 0.
uint32_t HXRDataShiftGetCorrection(const HXRDataShift* shift, int32_t line);
// Heads laying (line, output colour order): 0, 1 or 2.
uint32_t HXRGetUseHeadNum(const HXRDataShift* shift, int32_t line, uint32_t order);
// SML rate 0..255 of head 0 or 1; 0 for an unused head.
uint32_t HXRGetUseSmlRate(const HXRDataShift* shift, int32_t line, uint32_t order, uint32_t head);
// Nozzle number of head 0 or 1; -1 for an unused head.
int32_t HXRGetUseNozzleNumber(const HXRDataShift* shift, int32_t line, uint32_t order, uint32_t head);
// 0 identity, 1 a correction in force, -1 unusable (a negative lastLine also
// records 10105).
int32_t HXRIsDataShiftCorrection(const HXRDataShift* shift);

struct HXRCountDot {
    uint64_t count[kHxrDataShiftColors][kHxrDotCodes];  // [colour][code - 1]
    // What lines walked on a helper thread counted (hxr_ed_tail_slot.h):
    // added there, read with `count` once those lines are joined.
    uint64_t late[kHxrDataShiftColors][kHxrDotCodes];
};

HXRCountDot* HXRCreateCountDot(HXRMemMgr* manager);
// 0; 1 for null.
uint32_t HXRClearDotCounter(HXRCountDot* counter);
// Adds counts of codes 1..6 to colour `index`: 0; 1 for a null counter or
// array or an index above 11 (nothing added).
uint32_t HXRAddDotCounter(HXRCountDot* counter, const uint32_t* counts, uint32_t index);
// Copies the six counts of colour `index`: 0; 1 as for HXRAddDotCounter.
uint32_t HXRGetDotCounter(const HXRCountDot* counter, uint64_t* out, uint32_t index);
