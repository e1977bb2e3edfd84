// The ink buffer descriptor: the one record through which colour conversion
// and binarisation meet. Per band a converter writes one ink-quantity row per
// ink and line, the span it wrote and (with an attribute plane) the intent
// rows; the binarizer reads them back by ink and line.
//
// Ownership: the record and its one row block come from the engine
// instance's memory manager and live until that manager is deleted; there is
// no destroy operation.
//
// Errors: accessors never fail hard. A bad argument gives the neutral answer
// each declaration names (null, 0, 0xFFFFFFFF or 1) and changes nothing.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr int32_t kHxrMaxInkNum = 12;

struct HXRIntermediateData {
    int32_t inkNum;            // 1..12; ink k = LUT channel k
    uint32_t linePixelSize;    // row length in elements: (width + 8) & ~7, at least width + 1
    uint32_t elementSize;      // 1 (8-bit rows) or 2 (16-bit rows)
    uint8_t* inkQuantityBuf;   // every row: ink k line l at element (2k + l) x linePixelSize
    uint8_t* intentBuf;        // two rows of one byte per pixel after the ink rows, or null
    uint32_t reductionMethod;  // 2:1 reduction: 0 plain average, 1 mean of the decoded amounts
    int32_t writtenStart;      // span of the last band: [writtenStart, writtenEnd)
    int32_t writtenEnd;
    uint32_t vExpansion;                    // 1: line 1 is served from line 0's rows
    uint32_t validInput[kHxrMaxInkNum][2];  // 1 = row holds data
    uint32_t directInkOff[kHxrMaxInkNum];   // direct converter writes 0 for a flagged ink
    int32_t clearPos;                       // LUT channel of the under-white ink, or -1
};

// A new descriptor, or null when an argument is out of range or memory runs
// out. Every argument is checked before anything is allocated: inkNum 1..12,
// width >= 1, elementSize 1 or 2, withIntent 0 or 1, clearPos -1..inkNum-1,
// and the row block (elementSize x rowLength x (inkNum + withIntent) x 2
// bytes, computed in 64 bits) must fit the allocator's 32-bit size.
// directInkOff holds one flag per ink; null means no ink is switched off.
// Every ink row starts valid.
HXRIntermediateData* HXRCreateIntermediateData(int32_t inkNum, int32_t width, int32_t elementSize, uint32_t withIntent,
                                               const uint32_t* directInkOff, int32_t clearPos, HXRMemMgr* memory);

// 0 and stores [start, end); 1 when null, start < 0, start > end or end is
// beyond the row.
uint32_t HXRSetWritingArea(HXRIntermediateData* d, int32_t start, int32_t end);
// 0 with the start and the pixel count of the last span; 1 on a null pointer.
uint32_t HXRGetWrittenArea(const HXRIntermediateData* d, uint32_t* start, uint32_t* count);
// 0 and stores the flag; 1 when null or flag > 1.
uint32_t HXRSetVExpansion(HXRIntermediateData* d, uint32_t flag);
// Marks row (ink, line) valid when plane pointer [line x inkNum + ink] is not
// null, for the first `lines` lines; with one line every line-1 row becomes
// invalid. 1 when null or lines is not 1 or 2.
uint32_t HXRSetValidInput(HXRIntermediateData* d, const uint8_t* const* planes, int32_t lines);

// The row of `ink` and `line` (line 1 reads line 0 under vertical
// expansion); null when null, the ink or line is out of range, the element
// size differs (8-bit and 16-bit accessors) or the row is not valid.
uint8_t* HXRGetInkQuantityBuf(const HXRIntermediateData* d, int32_t ink, uint32_t line);
uint16_t* HXRGetInkQuantityBuf16(const HXRIntermediateData* d, int32_t ink, uint32_t line);
// Intent row `line` (row 1 reads row 0 under vertical expansion); null when
// null, line > 1 or the descriptor has no intent rows.
uint8_t* HXRGetIntentBuf(const HXRIntermediateData* d, uint32_t line);

uint32_t HXRGet1Color1LinePixelSize(const HXRIntermediateData* d);  // 0 when null
uint32_t HXRGetInkNum(const HXRIntermediateData* d);                // 0 when null
uint32_t HXRGetInkElementSize(const HXRIntermediateData* d);        // 0xFFFFFFFF when null
// The ink's flag; 0 when null or the ink is out of range.
uint32_t HXRGetInkDirectInkOffFlag(const HXRIntermediateData* d, int32_t ink);
int32_t HXRGetIntermClearPos(const HXRIntermediateData* d);    // 0 when null
uint32_t HXRGetReductionMethod(const HXRIntermediateData* d);  // 0 when null
// 0 and stores 0 or 1; 1 (nothing stored) when null or method >= 2, so the
// engine's "not set" value leaves the descriptor's own method.
uint32_t HXRSetReductionMethod(HXRIntermediateData* d, uint32_t method);
