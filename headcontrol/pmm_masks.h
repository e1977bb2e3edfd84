// The overlap masks (PMM): where consecutive passes overlap, each pass
// prints only part of a shared raster's dots. This module builds the masks
// that make the split: a 32-bit mask word per plane for the simple kind, and
// for the pattern kinds one mask row per grade (the raster's position in the
// overlap) with its complement row; and it ANDs raster bytes with them.
//
// Calling order (the job driver): PMM_Alloc_POLMaskWork, then
// PMM_Alloc_POLMaskPattern at job start; at every page start and schedule
// change PMM_ReAlloc_POLMaskPattern, and with a band-buffer shift
// PMM_ShiftPOLMaskPattern(repeat number, shift); the output loop fills the
// work's two mask slots and calls one of the masking functions;
// PMM_Free_POLMaskWork at job end. The work area borrows the callback table
// and ICMResourceData (whose default offset tables it builds and leaves in
// the block, which frees them).
//
// Pattern kinds (LayerKindInfo flags, tested in this order): 0x1/0x2
// gradation dispersion (64-byte rows, G rows per dispersion offset), 0x4/0x8
// rotation (64-byte rows, min(period, G) rows), 0x40 threshold dither and
// 0x200 stored pattern (rows of the kind's row bytes, G rows); 0x10/0x20 the
// simple word. G is the kind's value count, or, for a kind without one, the
// pass engine's F-trans overlap width of the table row that names it.
//
// The pass-colour kind table has one row per layer value (plus one per
// further F-trans segment) and one column per page colour (or one): the
// layer kind index each row uses. Rows of the further F-trans segments name
// their own pattern entries, numbered from layerKindCount, each built from
// the kind of row i0 (the first F-trans segment's row) in that column.
//
// Results: 0 or a code (codes.h): 26, 27, 34, 36, 38, 48, 49, 50, 75-78 and
// 91 as named there, 83 a table a kind needs is missing, too short or of width 0
// (base words, offset table, dispersion offsets, threshold matrix h x c,
// stored record width, row bytes), 84 an index outside its table (base word
// of a level, matrix or record, kind index in the pass-colour table, the
// F-trans row, a mode byte or layer value). A failure leaves the entries
// built so far; PMM_Free_POLMaskWork frees them.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/model_resource.h"

#include <cstdint>

namespace ovcg::irac {

struct MLE_INSTANCE;

// What the masks need of the pass engine (MLE_FindPOLIndex,
// MLE_GetFtransCalcPOL, MLE_GetFtransCalcPassNum, MLE_GetFtransCalcPOLIndex,
// MLE_SetFtransCalcPOLIndex), bound to one engine object.
struct PmmPassEngine {
    void* engine;
    bool (*findPolIndex)(const void* engine, uint16_t index);
    uint32_t (*ftransCalcPol)(const void* engine, uint16_t index);
    int32_t (*ftransCalcPassNum)(const void* engine);
    uint32_t (*ftransCalcPolIndex)(const void* engine);
    void (*setFtransCalcPolIndex)(void* engine, uint16_t first);
};

// The page's colours: one command colour code each.
struct PmmPageColours {
    uint16_t count;
    const uint8_t* codes;
};

// Kind flags as this module reads them.
inline constexpr uint16_t kPolGradation64 = 0x1;
inline constexpr uint16_t kPolGradation32 = 0x2;
inline constexpr uint16_t kPolRotation64 = 0x4;
inline constexpr uint16_t kPolRotation32 = 0x8;
inline constexpr uint16_t kPolSimple = 0x30;
inline constexpr uint16_t kPolPatternKinds = 0x24F;
inline constexpr uint16_t kPolColourKinds = 0xA000;  // 0x8000 or 0x2000: the per-colour kind table
inline constexpr uint16_t kPolNone = 0xFFFF;          // pass-colour table: no kind

struct POLMaskPattern {
    int16_t layerKind;   // the kind it is built from; -1 not used
    uint16_t flags;
    int32_t rowBytes;
    int32_t rowCount;    // -1 until built
    uint32_t size;       // rowBytes x rowCount x blocks
    uint32_t blocks;     // dispersion offsets of a gradation kind; 1 otherwise
    uint8_t* mask;
    uint8_t* complement;
};

struct PassColorKindTable {
    uint16_t rowNum;
    uint16_t colNum;
    uint16_t ftransRows;
    uint16_t* entries;   // rowNum x colNum, row-major
};

struct PolFtransRecord {
    uint32_t polIndex;   // i0
    uint32_t width;      // its overlap width
    int32_t passes;
};

// One mask the masking functions read: `width` bytes from `pattern`
// repeated, read from byte `start` on.
struct PolMaskSlot {
    const uint8_t* pattern;
    uint32_t width;
    uint32_t start;
};
struct PolMaskInfo {
    PolMaskSlot slot[2];
};
using PolMaskingFn = uint32_t (*)(const uint8_t* src, uint32_t count, const PolMaskInfo* info, uint8_t* dst);

struct POLMaskWork {
    int16_t maskMode;            // the job driver's: 1 = rotate the words at page start
    const CallbackTable* cb;
    uint16_t simpleValueCount;
    uint16_t* simpleValues;
    uint16_t simpleComplement;
    uint16_t colorNum;
    uint32_t* maskWord;          // colorNum
    uint32_t* complementWord;    // colorNum
    uint32_t baseWord;           // the job's word; every page rotates this one
    int32_t patternCount;
    POLMaskPattern* patterns;
    PassColorKindTable* kindTable;
    bool colourKindsNeeded;
    uint16_t colourKindColours;
    uint16_t colourKindRows;
    uint8_t* colourKinds;        // colours x rows
    PolFtransRecord* ftrans;
    PolMaskInfo info;            // filled by the output loop
};

bool PMM_CheckKindPOLMaskPatternExists(uint16_t flags);
bool PMM_CheckKindGradationDispersionPOL(uint16_t flags);
uint32_t PMM_CountPOLMaskSetNum(const POLMaskWork* work);

// The work's simple words from the first kind with flag 0x10 or 0x20.
uint32_t PMM_Alloc_POLMaskWork(POLMaskWork* work, int16_t layerKindCount, const LayerKindInfo* kinds,
                               uint16_t colorNum, const CallbackTable* cb);
// Plane c's words = the job's word rotated right by (p / d + (c < p mod d))
// x bitsPerPixel bits: d the repeat number, p the shift of RBM_StartPage.
void PMM_ShiftPOLMaskPattern(POLMaskWork* work, uint16_t colorNum, uint16_t bitsPerPixel, uint32_t d, uint32_t p);
uint32_t PMM_Alloc_POLMaskPattern(POLMaskWork* work, ICMResourceData* icm, const PmmPassEngine& engine,
                                  uint16_t jobColours);
uint32_t PMM_ReAlloc_POLMaskPattern(POLMaskWork* work, ICMResourceData* icm, const PmmPassEngine& engine,
                                    const PmmPageColours& page);
void PMM_Free_POLMaskWork(POLMaskWork* work);

// The steps, for callers and tests that take them one at a time.
uint32_t PMM_Alloc_CRPMTable(bool perColour, bool useBlockE, PassColorKindTable** table, const PmmPageColours& page,
                             const ICMResourceData& icm, const PmmPassEngine& engine, const CallbackTable& cb);
uint32_t PMM_Alloc_DisPOLMask(POLMaskWork* work, const ICMResourceData& icm, const PmmPassEngine& engine);
uint32_t PMM_SetInfo_FtransPOLMask(POLMaskWork* work, const ICMResourceData& icm, const PmmPassEngine& engine);
uint32_t PMM_Make_POLMaskPattern(const CallbackTable& cb, ICMResourceData& icm, const PmmPassEngine& engine,
                                 POLMaskWork* work, POLMaskPattern* previous, int32_t previousCount);
// The default offset tables, built into icm when absent (49, 50).
uint32_t PMM_OffsetTable(ICMResourceData& icm, bool table64, const CallbackTable& cb,
                         const CountedArray<uint8_t>** out);

// The overlap grade of `raster` for ink `ink` on head `head` in the pass
// engine's current pass: kind = the nozzle's state; for kinds 2 and 3 (low
// 7 bits) grade = the nozzle's offset inside the run of nozzles of its state
// around it, modulo the row count of the pattern entry its layer row and
// the ink's column name in the work (the offset itself without a built
// entry); other kinds grade 0. 92 for a raster no nozzle of the pass prints,
// the pass engine's 255 for a head or ink outside the page. It serves the
// loss-nozzle complement; `work` may be null.
uint32_t PMM_GetPOLMaskGrad(MLE_INSTANCE* mle, const POLMaskWork* work, int32_t ink, int32_t head, int64_t raster,
                            uint8_t* kind, uint8_t* grade);
// dst[i] = src[i] AND mask[(start + i) mod width] for any width >= 1 and
// start (a slot of width 0 or without pattern gives zeros); the second form
// ANDs both slots. dst may equal src. Both return 0.
uint32_t PMM_Masking_RasterData_pol(const uint8_t* src, uint32_t count, const PolMaskInfo* info, uint8_t* dst);
uint32_t PMM_Masking_RasterData_polpol(const uint8_t* src, uint32_t count, const PolMaskInfo* info, uint8_t* dst);

}  // namespace ovcg::irac
