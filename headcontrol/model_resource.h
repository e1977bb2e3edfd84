// The model resource reader (RSC): fetches resource kind 256 once per job,
// parses it into the four blocks of the job driver (ICMResourceData), the
// pass engine (MLEResourceData), the command encoder (ESCResourceData) and
// the band buffer (RBMResourceData), loads the five head tables and the
// loss-nozzle sections, and releases the resource before it returns.
//
// Calling order: RSC_Constructor; the getters lend blocks (the object keeps
// them); the RSC_Transfer* calls hand a head table over (the pass engine
// takes LHT, YDS, NLM, RLS, the job driver SSS); RSC_Destructor frees the
// blocks and every head table not handed over.
//
// Resource layout, in file order (little-endian): a 16-byte header (i16
// format major, i16 minor, u8 packed flag, 11 bytes not read), the head
// section with its optional tables, the colour table, 4 bytes not read, the
// mode table and its entries, the microweave unit table and its units, the
// encoder mode table and its entries. A mode, unit or encoder entry is read
// through a cursor of exactly its stated size; the next section starts at
// the sum of the stated sizes.
//
// Errors (codes.h): 101/102 object and blocks, 103 no resource, 104 a count,
// array, entry or size sum running past the resource or its entry, 105
// still packed, 106 a value refused (negative count, zero divisor, a
// resolution the base unit cannot express in one byte, bits per
// dot not 1 or 2, overlap above a neighbour head, virtual nozzle count
// outside 1..32767, split below 1, extra record above 256 bytes, empty list
// under its flag), 161, 165, 166, 176, 184, 190, the allocation codes, and
// the codes of the head tables and the loss-nozzle loaders. On failure the
// partial object is freed, the resource released and *out left null.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/head_tables.h"
#include "headcontrol/loss_nozzle.h"
#include "headcontrol/microweave.h"
#include "headcontrol/records.h"
#include "ovcg/irac.h"

#include <cstdint>

namespace ovcg::irac {

// Resource kind of the model resource.
inline constexpr int kModelResourceKind = 256;

// headOptionMask bits of the head section.
inline constexpr uint16_t kOptPolBaseA = 0x1;
inline constexpr uint16_t kOptPolBaseB = 0x2;
inline constexpr uint16_t kOptPolBaseC = 0x4;
inline constexpr uint16_t kOptPolOffset64 = 0x8;
inline constexpr uint16_t kOptPolOffset32 = 0x10;
inline constexpr uint16_t kOptPolDispersion = 0x20;
inline constexpr uint16_t kOptPolOrder = 0x40;
inline constexpr uint16_t kOptPolMatrices = 0x100;
inline constexpr uint16_t kOptPolStored = 0x200;
inline constexpr uint16_t kOptLossNozzle = 0x400;
inline constexpr uint16_t kOptNoOffsetTables = 0x8000;  // 0x8, 0x10 and 0x40 counts are absent

// headSectionFlags bits (format 1.3 on).
inline constexpr uint16_t kHeadYdsResolution = 0x8;
inline constexpr uint16_t kHeadYdsColumns = 0x10;
inline constexpr uint16_t kHeadKinds = 0x20;

// functionFlags of the selected mode and sub-mode.
inline constexpr uint32_t kFnBrs = 0x1;
inline constexpr uint32_t kFnAutoBottom = 0x2;
inline constexpr uint32_t kFnDeferredFeed = 0x4;
inline constexpr uint32_t kFnLowerEdge = 0x20;
inline constexpr uint32_t kFnBlockE = 0x40;
inline constexpr uint32_t kFnLayerValuesPerColour = 0x80;
inline constexpr uint32_t kFnBlockD = 0x100;
inline constexpr uint32_t kFnSplit = 0x200;
inline constexpr uint32_t kFnBlockC = 0x400;
inline constexpr uint32_t kFnBlockA = 0x800;
inline constexpr uint32_t kFnMle = 0x1000;
inline constexpr uint32_t kFnBlockB = 0x2000;
inline constexpr uint32_t kFnLayeredHalftone = 0x10000;
inline constexpr uint32_t kFnShiftList = 0x20000;
inline constexpr uint32_t kFnDischargeTiming = 0x40000;
inline constexpr uint32_t kFnPmcUnit = 0x80000;
inline constexpr uint32_t kFnCmsUnit = 0x200000;

// encoderFlags of the encoder entry.
inline constexpr uint16_t kEncRemap = 0x1;
inline constexpr uint16_t kEncMultiLine = 0x4;
inline constexpr uint16_t kEncShortPageFormat = 0x8;

// LayerKindInfo flag bits that suppress the value list.
inline constexpr uint16_t kKindNoValues = 0x420C;
inline constexpr uint16_t kKindDither = 0x40;
inline constexpr uint16_t kKindStored = 0x200;
inline constexpr uint16_t kKindRange = 0x4000;

struct LayerKindInfo {
    uint16_t flags;
    int16_t n;          // also the grade count when no values are stored
    uint16_t* values;   // n entries, only when no flag of kKindNoValues is set
    // flag 0x40 (threshold dither): row bytes, matrix index, column step
    uint16_t ditherRowBytes;
    uint8_t ditherMatrix;
    uint8_t ditherColumnStep;
    // flag 0x4000: [0] low and [1] high of the level range, [2] carried
    uint16_t range[3];
    // flag 0x200 (stored pattern): row bytes, record index
    uint16_t storedRowBytes;
    uint8_t storedRecord;
};

struct MatrixRecord {
    int8_t rows;
    uint8_t columns;
    uint8_t* data;   // rows x columns
};

struct TaggedBytesRecord {
    uint32_t tags;   // format 1.4 on; bit 0: `extra` follows
    uint8_t rows;
    int16_t columns;
    uint8_t* data;   // rows x columns
    uint8_t* extra;  // columns bytes when tag bit 0
};

template <class T>
struct CountedArray {
    int16_t count;
    T* items;
};

struct BlockB {        // function flag 0x2000
    uint16_t value;
    int16_t n;
    uint16_t* list;      // n
    uint16_t* perColor;  // n x colorNum
};

struct BlockC {        // function flag 0x400
    uint32_t value0;
    uint32_t value1;
    uint32_t value2;
    uint16_t value3;
    int16_t n;
    uint8_t* bytes;
};

struct SplitColorOrder {  // function flag 0x200
    uint8_t value;
    int16_t n;           // the split count, at least 1
    uint8_t* codes;      // headNum x nozzleArrayNum x n, by head, then array, then n
};

struct BlockD {        // function flag 0x100
    uint16_t value;
    int16_t n;
    uint16_t* list;
};

// The split colour table (function flag 0x40), shared by ICM and MLE.
struct BlockE {
    uint16_t rows;
    int16_t n;
    uint8_t* commandColors;  // n
    uint8_t* rowCodes;       // n
    uint16_t* rowShifts;     // n
};

// The head record of MLEResourceData, from the head section. The job driver
// reads headValueC and headValueD as the off-area top and bottom.
struct HeadRecord {
    int16_t headNum;
    int16_t nozzleLineNum;
    uint16_t* nozzleNumOfHead;  // headNum, times the split count with flag 0x200
    uint16_t* headOverlapNum;   // headNum - 1, likewise
    uint16_t* lineValues;       // nozzleLineNum
    uint16_t headValueC;
    uint16_t headValueD;
};

struct MLEResourceData {
    int16_t nozzleArrayNum;
    uint8_t* colorOrder;            // nozzleArrayNum command colour codes
    int16_t unitIndexOfSlot[4];     // -1: the slot has no unit
    int16_t unitNum;
    MicroweaveLogicRecord* units;   // unitNum
    HeadRecord head;
    uint16_t* nozzleArrayValues;    // per nozzle array: its offset on the head, in rasters
    uint16_t headValueA;
    int16_t modeValue1;
    int16_t modeValue3;
    uint32_t subModeValue0;
    int16_t subModeValue1;
    uint8_t mleFlag;
    uint8_t blockAFlag;
    uint32_t headValueB;
    uint32_t unitValue8;
    BlockE* blockE;                 // owned by ICMResourceData
    uint8_t optionWordLow;
    uint8_t optionWordHigh;
    uint32_t modeValue5;
    uint32_t functionFlags;
    int32_t htMaskSwitchingPosition;
    uint32_t brsCalculationMethod;
    uint32_t subModeValue4;
    uint32_t minLength;
    int32_t preBufferingRaster;
    uint16_t colorNum;              // the mode's mask planes, as in ICMResourceData
};

struct ICMResourceData {
    uint16_t modeValue0;
    int16_t modeValue1;
    uint16_t bitsPerPixel;
    int16_t modeValue3;
    uint16_t headValueA;
    uint32_t subModeValue2;          // ignored top rasters
    uint32_t subModeValue3;          // ignored bottom rasters
    const HeadRecord* head;          // in MLEResourceData
    int16_t layerKindCount;
    LayerKindInfo* layerKinds;
    CountedArray<uint32_t> polBaseWordsA;
    CountedArray<uint32_t> polBaseWordsB;
    CountedArray<uint32_t> polBaseWordsC;
    CountedArray<uint8_t> polOffsetTable64;
    CountedArray<uint8_t> polOffsetTable32;
    CountedArray<MatrixRecord> polThresholdMatrices;
    CountedArray<TaggedBytesRecord> polStoredPatterns;
    CountedArray<uint8_t> polDispersionOffsets;
    CountedArray<uint8_t> polOrderTable;
    int16_t modeByteCount;
    uint8_t* modeBytes;
    BlockB blockB;
    BlockC blockC;
    SplitColorOrder splitColorOrder;
    BlockD blockD;
    uint32_t unitValue2;
    uint32_t unitValue4;
    uint16_t blockA[4];              // function flag 0x800
    int16_t nozzleArrayNum;
    int32_t colorOrderOfHeadsNum;    // nozzleArrayNum x headNum, or nozzleArrayNum with flag 0x200
    uint8_t* colorOrderOfHeads;
    uint8_t encoderFlag2;            // 1 when encoderFlags has 0x4
    uint32_t encoderSubModeValue;    // the band buffer's buffering margin
    int16_t colorTableNum;
    uint8_t* inkCodes;
    uint8_t* colorCodes;
    uint32_t functionFlags;
    uint16_t colorNum;
    BlockE* blockE;
    int16_t layerValueCount;
    uint16_t* layerValues;
    IRACS_USE_HEAD useHead;          // heads points at useHeadBytes
    uint8_t* useHeadBytes;
    LossNozzleResources* lossNozzleModelData;
    uint8_t stackedHTEachNozzleLine;
};

inline constexpr size_t kEscColorCodesMax = 256;

struct ESCResourceData {
    uint8_t value0;        // dot size
    uint32_t value1;       // page format
    uint16_t colorCodeNum;
    uint8_t colorCodes[kEscColorCodesMax];
    uint16_t value3;       // base unit, in steps per inch
    uint16_t value4;       // horizontal resolution, dpi: divides value3 into at most 255 steps
    uint16_t value5;       // vertical resolution, dpi: likewise
    int8_t value2;         // run-length mode
    uint8_t modeByte;      // bits per dot
    int16_t colorRemapNum;
    uint8_t* remapFrom;
    uint8_t* remapTo;
    uint16_t encoderFlags;
};

// The unit command carries each axis as the number of base steps per dot,
// one byte wide: a resolution of 0, one that does not divide the base, or a
// step outside 1..255 would reach the printer as a wrong byte. True, with
// the two steps, when both axes fit.
bool RSC_ResolutionSteps(const ESCResourceData& esc, uint8_t& vertical, uint8_t& horizontal);

struct RBMResourceData {
    uint16_t modeValue0;
    uint16_t bitsPerPixel;
    uint16_t colorNum;
    uint16_t encoderWord3;  // not 0
};

struct RscObject {
    const CallbackTable* cb;
    IdentifierPair identifier;
    uint32_t optionFlags;  // the job's option flags, carried
    ICMResourceData* icm;
    MLEResourceData* mle;
    ESCResourceData* esc;
    RBMResourceData* rbm;
    uint32_t functionFlags;
    LhtTable* lht;
    SssTable* sss;
    YdsTable* yds;
    NlmTable* nlm;
    RlsTable* rls;
};

uint32_t RSC_Constructor(RscObject** out, IdentifierPair identifier, uint32_t optionFlags,
                         const CallbackTable* cb);
void RSC_Destructor(RscObject* object);

// 103 (and a null *out) for a null object or output.
uint32_t RSC_GetICMResourceData(RscObject* object, ICMResourceData** out);
uint32_t RSC_GetMLEResourceData(RscObject* object, MLEResourceData** out);
uint32_t RSC_GetESCResourceData(RscObject* object, ESCResourceData** out);
uint32_t RSC_GetRBMResourceData(RscObject* object, RBMResourceData** out);
uint32_t RSC_TransferLht(LhtTable** out, RscObject* object);
uint32_t RSC_TransferSss(SssTable** out, RscObject* object);
uint32_t RSC_TransferYds(YdsTable** out, RscObject* object);
uint32_t RSC_TransferNlm(NlmTable** out, RscObject* object);
uint32_t RSC_TransferRls(RlsTable** out, RscObject* object);

// The head section and the headOptionMask tables, from the cursor's
// position (just after the 16-byte header).
uint32_t RSC_GetModelResource(RscObject* object, ByteCursor& c, ModelFormat format);

}  // namespace ovcg::irac
