// The five head tables: per-nozzle-line properties of the heads, loaded from
// the model resource while it is parsed and then handed over.
//
//   LHT  layered halftone table        -> pass engine
//   SSS  shift list                    -> job driver (value queries 508/509)
//   YDS  feed-direction shift correction -> pass engine
//   NLM  nozzle-line map               -> pass engine
//   RLS  nozzle areas per discharge timing -> pass engine
//
// Each table is a record allocated zeroed through the callback table (the
// record keeps the table for its own allocations) and freed with its Free
// operation, which frees every array present and clears the caller's pointer.
// Loaders read from the model resource's cursor and advance it; a section
// running past the resource's end gives 104, a negative count 106 (codes.h).
// A failed allocation returns the module's code and leaves what was
// allocated in the table, for its Free operation.
//
// Colour codes per nozzle line are command colour codes. A lookup by colour
// code takes the first line carrying the code, line 0 when none does; a
// table without lines answers every lookup with 0 (false).
#pragma once

#include "common/byte_cursor.h"
#include "headcontrol/callbacks.h"
#include "headcontrol/resource_stream.h"

#include <cstdint>

namespace ovcg::irac {

struct NlmTable {
    uint8_t valid;
    int16_t headNum;
    int16_t lineNum;
    uint16_t* headKindOfLine;  // lineNum entries, kind 1 or 2
    uint8_t headKindExists;
    uint8_t* colorCodeOfLine;  // lineNum entries
    uint8_t chipUsedSet;
    uint16_t chipCount1;
    uint16_t* chips1;
    uint16_t chipCount2;
    uint16_t* chips2;
    uint16_t shiftKind1;
    uint16_t shiftKind2;
    uint16_t* verticalShiftOfLine;  // lineNum entries, made by NLM_SetChipUsed
    uint8_t hasKind2Line;
    uint16_t baseLine;
    const CallbackTable* cb;
};

struct YdsTable {
    uint8_t valid;
    int16_t lineNum;
    uint16_t resolutionBetweenNozzles;
    uint8_t resolutionExists;
    uint16_t* headColumnOfLine;  // lineNum entries
    uint8_t headColumnExists;
    uint8_t* colorCodeOfLine;    // lineNum entries
    uint8_t correctionSet;
    int16_t columnNum;
    int16_t valuesPerColumn;
    int16_t** numerators;        // columnNum arrays of valuesPerColumn
    int16_t** denominators;
    int16_t valuesPerLine;
    int16_t* correction;         // lineNum x valuesPerLine
    // resolutionBetweenNozzles times the split count; kept in 32 bits so
    // that a large split cannot wrap it.
    uint32_t effectiveResolution;
    const CallbackTable* cb;
};

struct NozzleAreaList {
    int16_t n;
    uint16_t* areas;
};

struct RlsTable {
    uint8_t valid;
    int16_t lineNum;
    uint16_t* headKindOfLine;
    uint8_t headKindExists;
    uint8_t* colorCodeOfLine;
    int16_t timingNum;
    NozzleAreaList* timings;
    uint8_t areasExist;
    int32_t dischargeTiming;  // 0 none, 1, 2
    uint8_t timingSet;
    int16_t kind2LineNum;
    uint16_t* kind2Lines;
    const CallbackTable* cb;
};

struct SssTable {
    uint8_t enabled;
    uint16_t shiftResolution;
    int16_t shiftNum;
    uint16_t* shifts;
    const CallbackTable* cb;
};

struct LhtTable {
    uint8_t enabled;
    int16_t virtualNozzleArrayNum;
    int16_t layerNum;
    uint16_t** layerStart;      // per virtual nozzle array, layerNum entries
    uint16_t** halftoneIndex;   // per virtual nozzle array, layerNum entries
    int16_t nozzleNum;
    uint16_t** layerOfNozzle;          // per virtual nozzle array, nozzleNum entries
    uint16_t** halftoneIndexOfNozzle;  // per virtual nozzle array, nozzleNum entries
    uint8_t stackedHTEachNozzleLine;
    const CallbackTable* cb;
};

// ---- Life cycle ---------------------------------------------------------------
// Allocate: 901 LHT, 921 SSS, 970 YDS, 980 NLM, 990 RLS (also for a null
// argument); *out is null on failure.
uint32_t LHT_Allocate(LhtTable** out, const CallbackTable* cb);
uint32_t SSS_Allocate(SssTable** out, const CallbackTable* cb);
uint32_t YDS_Allocate(YdsTable** out, const CallbackTable* cb);
uint32_t NLM_Allocate(NlmTable** out, const CallbackTable* cb);
uint32_t RLS_Allocate(RlsTable** out, const CallbackTable* cb);
void LHT_Free(LhtTable** table, const CallbackTable* cb);
void SSS_Free(SssTable** table, const CallbackTable* cb);
void YDS_Free(YdsTable** table, const CallbackTable* cb);
void NLM_Free(NlmTable** table, const CallbackTable* cb);
void RLS_Free(RlsTable** table, const CallbackTable* cb);
void YDS_FreeArrayOfInputCorrection(YdsTable* table);

// ---- Loaders, in the order the resource reader calls them -------------------
// Head section: allocate the per-line arrays (lineNum < 0 gives 106).
uint32_t YDS_PrepareBeforeLoadingResource(int16_t lineNum, bool resolutionExists, bool headColumnExists,
                                          YdsTable* table);
uint32_t NLM_PrepareBeforeLoadingResource(int16_t headNum, int16_t lineNum, bool exists, NlmTable* table);
uint32_t RLS_PrepareBeforeLoadingModelResource(int16_t lineNum, bool exists, RlsTable* table);
// Each reads only when its existence flag is set.
uint32_t YDS_LoadResolutionBetweenNozzles(ByteCursor& c, YdsTable* table);
uint32_t YDS_LoadHeadColumnOfNozzleLine(ByteCursor& c, YdsTable* table);
uint32_t NLM_LoadHeadKindOfNozzleLine(ByteCursor& c, NlmTable* table);
// Copies the nozzle-line map's kinds (when they exist) and lists the lines of kind 2.
uint32_t RLS_CopyHeadKindOfNozzleLine(const uint16_t* kinds, int16_t lineNum, bool exists, RlsTable* table);
// Mode entry: each reads nothing when its table is off.
uint32_t LHT_LoadFromResource(ByteCursor& c, ModelFormat format, LhtTable* table);
uint32_t SSS_LoadFromResource(ByteCursor& c, SssTable* table);
uint32_t RLS_LoadNozzleAreaOfEachDischargeTiming(ByteCursor& c, RlsTable* table);

// ---- Switches ---------------------------------------------------------------
void LHT_SetOnOff(bool on, LhtTable* table);
// Frees the loaded and built per-array data when the count changes.
void LHT_SetVirtualNozzleArrayNum(int16_t num, LhtTable* table);
void SSS_SetOnOff(bool on, SssTable* table);
void RLS_SetArrayOfNozzleAreaOfDischargeTimingExistence(bool on, RlsTable* table);

// ---- Colour order per nozzle line ---------------------------------------------
// In order: nothing when the table has no lines; lineNum > n gives the
// table's code (YDS 1001, NLM 985, RLS 996); else line i takes codes[n-1-i].
uint32_t YDS_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, YdsTable* table);
uint32_t NLM_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, NlmTable* table);
uint32_t RLS_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, RlsTable* table);
// Split order (A arrays of s codes): A x s < lineNum gives the table's code
// (A = 0: YDS 1002, NLM 986, RLS 997; else 1003, 987, 998). Line i x s + k
// takes codes[(A-1-i) x s + k]; lines at or past lineNum are not written, so
// with A x s above lineNum the groups from the end fill the lines. YDS also
// multiplies its effective resolution by s (not on error).
uint32_t YDS_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         YdsTable* table);
uint32_t NLM_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         NlmTable* table);
uint32_t RLS_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         RlsTable* table);

// ---- Queries ------------------------------------------------------------------
bool NLM_IsValid(const NlmTable* table);
bool YDS_IsValid(const YdsTable* table);
bool RLS_IsValid(const RlsTable* table);

// Kind 1 or 2, chips below headNum (else 988); 982/983 on allocation.
uint32_t NLM_SetChipUsed(int32_t kind, int32_t count, const uint16_t* chips, NlmTable* table);
int32_t NLM_GetHeadVerticalShiftAmount(uint8_t code, const NlmTable* table);
int32_t NLM_GetBaseHeadVerticalShiftAmount(const NlmTable* table);
int32_t NLM_GetHeadTopShiftAmount(uint8_t code, const NlmTable* table);
// False (outputs untouched) when the kind's chip list is empty.
bool NLM_GetUseHeadRange(uint8_t code, const NlmTable* table, int32_t* first, int32_t* last);

// Copies the inputs (columnNum arrays of valuesPerLine numerators and
// denominators) and computes the correction of every line: 978 for a head
// column >= columnNum, a zero denominator or a count below 0 (nothing
// changed); 972-976 on allocation.
uint32_t YDS_SetCorrectionArray(int32_t columnNum, int32_t valuesPerLine, const int16_t* const* numerators,
                                const int16_t* const* denominators, YdsTable* table);
int32_t YDS_GetShiftAmount(uint8_t code, int32_t index, const YdsTable* table);

void RLS_SetDischargeTiming(int32_t timing, RlsTable* table);
bool RLS_JudgedDisableNozzleArea(uint8_t code, uint16_t area, const RlsTable* table);

bool SSS_GetEnable(const SssTable* table);
uint16_t SSS_GetShiftResolution(const SssTable* table);
int16_t SSS_GetShiftNum(const SssTable* table);
uint16_t SSS_GetShift(int32_t index, const SssTable* table);

bool LHT_GetEnable(const LhtTable* table);
uint8_t LHT_GetStackedHTEachNozzleLineFlag(const LhtTable* table);
bool LHT_IsValidStackedHTEachNozzleLine(const LhtTable* table);
// (Re)builds the per-nozzle layer and halftone-index arrays for nozzleNum
// nozzles (906 on allocation; nozzleNum < 1 leaves none).
uint32_t LHT_CreateLayerArrayOfVirtualNozzleArray(int16_t nozzleNum, LhtTable* table);
const uint16_t* LHT_GetLayerArrayOfVirtualNozzleArray(int32_t array, const LhtTable* table);
const uint16_t* LHT_GetHalftoneIndexArrayOfVirtualNozzleArray(int32_t array, const LhtTable* table);

}  // namespace ovcg::irac
