// The pass engine (MLE): turns the model's microweave logic into the head
// passes of one page and answers, pass by pass, where the head stands and
// which nozzle prints which raster.
//
// Calling order: MLE_Constructor once per job (after RSC_Constructor; it
// takes over the LHT, YDS, NLM and RLS tables); per page MLE_StartPage,
// MLE_CreateSchedulingTable, then MLE_MakeHeadTable / MLE_GetNozzleInfo /
// MLE_Next for every pass, and MLE_EndPage; MLE_Destructor at job end (it
// also frees a page that was not ended). The object keeps a pointer to the
// MLE block of the RSC object, which must outlive it.
//
// Positions are rasters from the page top. A position above the top is
// negative: the 32-bit position fields hold it as a signed value, and the
// interface hands it out as the two's complement in a u32 (MLE_GetVPos).
// Every ink prints the same pattern of nozzles, moved by its column's
// offset and, with the split colour table, by its row's shift down the
// nozzle line; where an ink's nozzles stand d rasters higher on the head
// than the others, the passes are planned for a page d rasters longer (so
// that its last rasters are printed too); where a row stands lower than the
// logic's passes reach above the page top, the plan is moved up by what it
// lacks (MLE_CreateSchedulingTable: the page then starts that much further
// from the first pass). Each ink's window stays within the page (the
// not-printed window).
//
// The plan is built in three layers: mle_walk.h (the pure arithmetic of a
// layer's passes: positions, steps, counts; no allocation), mle_schedule
// (page-edge mapping: the moving range, layer ranges, phases and pass
// counts), mle_head_table (the per-pass nozzle states and the nozzle
// information of one head and ink), mle_edge (the tables of the MWSW,
// F-trans and lower groups, the MIR list) and mle_replan (re-planning
// within a page, the lower-edge and BRS queries, the loss-nozzle queries).
//
// Errors (codes.h, 2xx): every operation returns 0 or its code at once;
// arrays already allocated stay attached and are freed by MLE_EndPage or
// MLE_Destructor. Head tables that cannot be built are reported with the
// caller's code (222-226, 252, 254, 262, 271, 283, 957). A logic whose
// values cannot serve as divisors, moduli, indexes or loop steps, a plan
// whose passes or positions do not fit 31 bits, and a logic whose passes
// would cost too much work (one head table, the passes of a stretch of the
// page, or those standing off the page beyond a bound; see the schedule),
// give 249.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/head_tables.h"
#include "headcontrol/microweave.h"
#include "headcontrol/mle_walk.h"
#include "headcontrol/model_resource.h"

#include <cstdint>

namespace ovcg::irac {

// Inks (and so nozzle columns) of one page.
inline constexpr int32_t kMleMaxInks = 32;
// Step value of a nozzle that no layer gave one; POL pass number "none".
inline constexpr uint16_t kMleNoStepValue = 65535;
inline constexpr uint32_t kMleNoPolPass = 0xFFFFFFFFu;

// Nozzle states of a pass.
inline constexpr uint8_t kNozzleIdle = 0;
inline constexpr uint8_t kNozzleAlone = 1;       // prints its raster alone
inline constexpr uint8_t kNozzleFirstHalf = 2;   // shares its raster: first half of the overlap
inline constexpr uint8_t kNozzleSecondHalf = 3;  // shares its raster: second half
inline constexpr uint8_t kNozzleSuppressed = 5;  // another group prints its raster (MWSW)
inline constexpr uint8_t kNozzleMwswFirst = 6;
inline constexpr uint8_t kNozzleMwswSecond = 7;

// Pass groups, in pass order.
enum class PassGroup : uint8_t { Upper, PreNormal, Normal, Mwsw, FTrans, Lower, None };

// A nozzle range [first, end) in head nozzles.
struct MleNozzleRange {
    int16_t first;
    int16_t end;
};

// What the output loop reads for one head and one ink of the current pass
// (MLE_GetNozzleInfo). Nozzle k of the head, firstNozzle <= k < endNozzle,
// prints raster nozzlePos + (yShift + k) x pitch; its per-nozzle values are
// element k - firstNozzle of the arrays below. The arrays are the engine's
// and stay valid until the next call that builds a head table or asks for
// nozzle information.
struct MleNozzleInfo {
    uint16_t pitch;               // raster step between neighbour nozzles: the logic's pitch
    uint16_t firstHeadNozzles;    // nozzle count of head 0
    int16_t head;                 // the head described (after the nozzle-line map)
    uint16_t headNozzles;         // its nozzle count
    uint16_t selector;            // horizontal value v: its head entry's selector, 1..colorNum
    uint16_t group;               // its head entry's group
    // Nozzles shared with the previous and the next head, in this head's
    // nozzle numbers (after yShift); {0, 0} where there is no such head.
    MleNozzleRange prevOverlap;
    MleNozzleRange nextOverlap;
    // Head-connection values of those ranges, one per nozzle of the range
    // (element k - range.first); null where there is no such head.
    const uint16_t* prevOverlapValues;
    const uint16_t* nextOverlapValues;
    int32_t nozzlePos;            // raster of the head's nozzle 0 (negative above the page)
    int16_t firstNozzle;          // printing window [firstNozzle, endNozzle); empty when equal
    int16_t endNozzle;
    int16_t yShift;               // feed-direction shift applied to the window
    uint16_t polPhase;            // which of the two alternating overlap masks applies
    const uint8_t* state;         // nozzle states (with layered halftoning: 0 where disabled)
    const uint32_t* rasterOffset; // raster index of the nozzle within its layer window
    const uint16_t* headNo;       // head entry that the nozzle prints for
    const uint16_t* stepValue;    // overlap step value, kMleNoStepValue when none
    const uint16_t* lhtLayer;     // layered-halftone layer; null without the table
    const uint16_t* lhtHalftone;  // layered-halftone halftone index; null without the table
    uint16_t overlapWidth;        // the head's overlap width in nozzles
    uint8_t lowerEdge;            // 1 with the lower-edge record
    uint8_t lowerEdgeKind;        // the record's kind, else 2
    int32_t lowerEdgeRest;        // the record's rest, else 0
};

// One head entry of the current pass.
struct MleHeadEntry {
    uint16_t selector;
    uint16_t group;
    uint16_t rangeFirst;  // window of the layer step that filled the entry
    uint16_t rangeEnd;
    uint8_t filled;       // the builders' record of what the pass set (selector, window)
};

// Virtual nozzles [first, end) that heads i and i + 1 share.
struct MleOverlapZone {
    uint16_t first;
    uint16_t end;
};

// The page's inks as given: one code per ink and its nozzle line (the
// colour's position counted from the end of the resource's colour order;
// 0 when the colour is not there).
struct InputInkInfo {
    int16_t count;
    uint8_t* codes;
    uint16_t* positions;
};

// Tables that the edge planning builds for the F-trans and lower groups.
struct FTransPass {
    int32_t headPos;
    uint16_t first;
    uint16_t overlapStart;
    uint16_t nextOverlapStart;
    uint16_t end;
    uint8_t selector;
    uint8_t group;
    uint16_t polIndex;  // kMleNoStepValue: none
};

struct LowerEntry {
    int16_t first;
    int16_t end;
    uint8_t selector;
    uint8_t group;
};

struct LowerEdgeRecord {
    uint8_t mode;
    int16_t split;
    int16_t rest;
    int16_t kind;  // 2 or 3
    int32_t work[2];
    uint8_t* passFlags;  // one per lower pass
};

// The page schedule: zeroed at each page start, filled by CreateSchedule,
// freed by FreeSchedule.
struct MleSchedule {
    MicroweaveLogicRecord logic;     // copy of the selected logic; `layers` is a private copy
    walk::LayerSpan* spans;          // per layer: what bounds the walks over its passes
    // Classified layers (the last layer of a kind wins).
    MicroweaveLayerRecord* upper;        // kind 0
    MicroweaveLayerRecord* normal;       // kind 1
    MicroweaveLayerRecord* lower;        // kind 2
    MicroweaveLayerRecord* normalPol;    // kind 3
    MicroweaveLayerRecord* lowerPol;     // kind 4
    MicroweaveLayerRecord* mwsw;         // kind 6
    MicroweaveLayerRecord* mwswPol;      // kind 7
    MicroweaveLayerRecord* preNormal;    // kind 9
    MicroweaveLayerRecord* fTrans;       // kind 10
    MicroweaveLayerRecord* fTransPol;    // kind 12
    MicroweaveLayerRecord* secondNormal; // kind 21
    int32_t segmentCount;                // type-5 layers
    MicroweaveLayerRecord** segments;
    // Pass groups, in pass order, and the start rasters of groups 9, 1, 6, 10, 2.
    int32_t upperPasses;
    int32_t preNormalPasses;
    int32_t normalPasses;
    int32_t mwswPasses;
    int32_t fTransPasses;
    int32_t lowerPasses;
    int32_t mwswExtraPasses;
    int32_t preNormalStart;
    int32_t normalStart;
    int32_t mwswStart;
    int32_t fTransStart;
    int32_t lowerStart;
    int16_t maxNozzle;              // nozzles of the per-nozzle arrays
    int32_t nozzleSpan;
    int32_t polCycle;
    uint32_t scheduleLength;        // the page length the schedule is built for
    uint32_t notPrintStart;         // rasters outside [notPrintStart, notPrintEnd) are not printed
    uint32_t notPrintEnd;
    int64_t rangeStart;
    int64_t rangeBase;
    // Edge planning (mle_edge.h).
    FTransPass* fTransTable;         // fTransPasses
    LowerEntry* lowerTable;          // lowerPasses (the count before the recount allocated)
    LowerEntry* dummyHeadTable;      // the virtual passes' windows while the tables are built
    LowerEdgeRecord* lowerEdge;
    uint16_t* lowerFeedTable;        // two tables: per normal step, its feed less feedBase (signed 16 bits)
    int16_t* workArrays[3];          // [0]: private copies of the feeds the two tables extend
    // Per-nozzle arrays of the head table (maxNozzle entries) and per-head overlap widths.
    uint8_t* state;
    uint32_t* rasterOffset;
    uint16_t* headNo;
    uint16_t* stepValue;
    uint16_t* overlapWidth;
    uint8_t* lhtEnable;             // with layered halftoning
    int32_t* cover;                 // maxNozzle + 1: scratch of the head table's builders
};

// The head table of the current pass.
struct MleHeadTable {
    int32_t headPos;                // raster of nozzle 0 of head 0
    MleHeadEntry* entries;          // per head
    uint16_t* headStart;            // per head: its first virtual nozzle
    MleOverlapZone* zones;          // per boundary (heads - 1), two heads or more
    uint16_t** overlapValues;       // per boundary: one head-connection value per shared nozzle
    int16_t activeFirst;            // every non-zero state lies in [activeFirst, activeEnd)
    int16_t activeEnd;
    uint16_t nozzleShift;           // repeat mode: pattern offset of the pass, in nozzles
    uint16_t polPhase;
    uint32_t polPassFirst;          // pass numbers of the overlap partners, kMleNoPolPass: none
    uint32_t polPassSecond;
    MleNozzleInfo info;
};

// The per-pass feed list of the page (MLE_GetMIR): one section per pass group.
struct MleMirSection {
    uint32_t kind;
    uint32_t passes;
    uint32_t valueCount;
    uint32_t* values;
};
struct MleMirList {
    uint32_t sectionCount;
    MleMirSection* sections;
    uint32_t markSection;
    uint32_t markStep;
};

struct MLE_INSTANCE {
    int16_t printDirection;         // non-zero: per-colour direction correction, its sign the rounding
    const CallbackTable* cb;
    uint32_t autoBottomLength;
    MLEResourceData* resource;      // lent by the RSC object
    // Page ink area (zeroed at each page start).
    int16_t columnCount;
    int16_t columnRank[kMleMaxInks];
    int32_t columnOffset[kMleMaxInks];   // rasters, normalised: the largest is 0
    uint8_t columnCode[kMleMaxInks];     // command colour code of the column
    uint16_t columnLine[kMleMaxInks];    // its nozzle line: colour count - 1 - its colour index
    int16_t minOffsetColumn;
    int16_t maxOffsetColumn;
    int32_t minNegOffset;
    uint16_t inkCount;
    int16_t inkColumn[kMleMaxInks];
    int32_t inkNozzleShift[kMleMaxInks]; // nozzles, from the split colour table
    int16_t upperInk;
    int16_t lowerInk;
    int32_t rowLead;                     // rasters the plan stands higher for rows standing low
    InputInkInfo* inputInk;
    // Pass state.
    int32_t vPos;
    int32_t passNo;
    int32_t layerShift;
    MleSchedule schedule;
    MleHeadTable table;
    MleMirList* mir;
    LhtTable* lht;
    YdsTable* yds;
    NlmTable* nlm;
    RlsTable* rls;
};

// ---- Life cycle -------------------------------------------------------------------
// 201 object or ink record, 204 per-head tables, 205 overlap tables, 249 a
// head record the engine cannot use, 103 without an RSC object.
uint32_t MLE_Constructor(MLE_INSTANCE** out, int32_t printDirection, const CallbackTable* cb, RscObject* rsc);
void MLE_Destructor(MLE_INSTANCE* object);
// Maps the page's inks to nozzle columns; `top` gets the head-top position.
// 243 an ink the colour table (or the split colour table) lacks, 250 more
// than 32 inks or a correction value missing for a colour, 201 ink record.
uint32_t MLE_StartPage(MLE_INSTANCE* object, uint32_t length, uint16_t inkCount, const uint8_t* codes,
                       const void* unused, int32_t* top);
// Loads logic `selector` (0-3) and builds the page's schedule and the head
// table of the current pass: 242, 202, 249, the schedule's codes, 225. With
// inks on rows standing below the logic's reach above the page top, the
// plan is first tried as it stands and then moved up (rowLead, kept by the
// page's later re-plans); 203 when the trial's tallies cannot be allocated.
uint32_t MLE_CreateSchedulingTable(MLE_INSTANCE* object, int32_t selector, uint32_t* vPos);
uint32_t MLE_ReCreateSchedulingTable(MLE_INSTANCE* object, uint32_t length);  // 262 for the head table
uint32_t MLE_MakeHeadTable(MLE_INSTANCE* object);                              // 226
uint32_t MLE_Next(MLE_INSTANCE* object, uint32_t* vPos, uint8_t* end);         // 222
bool MLE_IsLastPass(const MLE_INSTANCE* object);
uint32_t MLE_GetVPos(const MLE_INSTANCE* object);
void MLE_EndPage(MLE_INSTANCE* object);
void MLE_SetNotPrintRaster(MLE_INSTANCE* object, int32_t start, int32_t end);

// ---- Accessors --------------------------------------------------------------------
// 255 for a head or ink outside the page, or an ink without layered-halftone arrays.
uint32_t MLE_GetNozzleInfo(MLE_INSTANCE* object, int32_t head, int32_t ink, const MleNozzleInfo** out);
void MLE_GetPOLPassNo(const MLE_INSTANCE* object, uint32_t* first, uint32_t* second);
uint32_t MLE_GetHeadheight(const MLE_INSTANCE* object);
int32_t MLE_GetOffsetNozzleMax(const MLE_INSTANCE* object);
int32_t MLE_GetOffsetNozzle(const MLE_INSTANCE* object, int32_t ink);
int16_t MLE_GetIndexNozzle(const MLE_INSTANCE* object, int32_t ink);
int16_t MLE_GetUpperColumnIndex(const MLE_INSTANCE* object);
int16_t MLE_GetNormalMaxFeed(const MLE_INSTANCE* object);
uint16_t MLE_GetNozzleOffsetTRAQ(const MLE_INSTANCE* object, uint8_t code);
uint16_t MLE_GetNozzleMax(const MLE_INSTANCE* object);
bool MLE_BRS(const MLE_INSTANCE* object);
bool MLE_BRSUpper(const MLE_INSTANCE* object);
bool MLE_BRSLower(const MLE_INSTANCE* object);
bool MLE_BRSAutoLower(const MLE_INSTANCE* object);
bool MLE_BRSPositioning(const MLE_INSTANCE* object);
int32_t MLE_GetHeadTopPosition(const MLE_INSTANCE* object);
bool MLE_FindPOLIndex(const MLE_INSTANCE* object, uint16_t index);
uint32_t MLE_GetFtransCalcPOL(const MLE_INSTANCE* object, uint16_t index);
int32_t MLE_GetFtransCalcPassNum(const MLE_INSTANCE* object);
uint32_t MLE_GetFtransCalcPOLIndex(const MLE_INSTANCE* object);
void MLE_SetFtransCalcPOLIndex(MLE_INSTANCE* object, uint16_t first);
// `count` gets the number of codes; at most `capacity` are written.
void MLE_GetTRAQColorCode(const MLE_INSTANCE* object, int32_t* count, uint8_t* codes, int32_t capacity);
uint32_t MLE_GetMinLength(const MLE_INSTANCE* object, uint32_t* length);                          // 281
uint32_t MLE_GetHTMaskSwitchingPosition(MLE_INSTANCE* object, int32_t* pos, int32_t* switchPos);  // 282-284
uint32_t MLE_GetPreBuffringRasterPos(const MLE_INSTANCE* object, int32_t* pos);                    // 290
bool MLE_IsBRSCalculationMethod(const MLE_INSTANCE* object);
bool MLE_IsInsertNullPass(const MLE_INSTANCE* object, int32_t pass);
uint32_t MLE_GetInsertNullPassNum(const MLE_INSTANCE* object, int32_t first, uint32_t count);
uint16_t MLE_GetNozzlePitchIncludedNozzleInfo(const MLE_INSTANCE* object);
bool MLE_GetLayeredHTEnable(const MLE_INSTANCE* object);

// ---- Re-planning within a page ------------------------------------------------------
// Frees the schedule and loads logic max(selector, 0): selector -1 re-plans
// logic 0 for the page length `value`; 0-2 load that logic with its
// non-negative layer starts moved down by `value` (kept as layerShift) and
// the pass counter back at 0; 3 loads the lower-edge logic for the length
// of MLE_GetAutoBottomRange, its starts moved by a positive layerShift.
// 242 for a selector outside -1..3 (the schedule left as it was) or an
// empty slot (the schedule freed); the schedule's codes; 223 head table.
uint32_t MLE_ChangeMicroWeaveLogic(MLE_INSTANCE* object, int32_t selector, uint32_t value, uint32_t* vPos);
// Re-plans logic 0 for `length` and steps `back` passes back: `before` the
// head position of the pass before the new one (the head top for pass 0),
// `after` the new pass's vPos. 260 more passes back than made, 261 a new
// pass beyond the normal group or the plan (the new schedule stands, the
// pass counter unchanged), 262 a head table; the schedule's codes.
uint32_t MLE_ChangeSpecification(MLE_INSTANCE* object, int32_t* before, int32_t* after, uint32_t length, int32_t back);
// The lower-edge logic's range (autoBottomLength is set): 241 no layer of
// kind 6, 1 or 3, 245 the page ends above that layer, 240 the range lies
// beyond the group's passes.
uint32_t MLE_GetAutoBottomRange(MLE_INSTANCE* object, int32_t* top, int32_t* length);
// The per-pass feed list of the page, one section per group with passes
// (kinds 1 upper, 2 pre-normal, 3 normal, 5 F-trans, 6 lower); it stays the
// engine's until the next call or MLE_Destructor. 206 memory, 271 a head
// table (or no schedule).
uint32_t MLE_GetMIR(MLE_INSTANCE* object, const MleMirList** list);
// The head position of the first pass after the normal group; present 0
// (and 0) without lower passes. 224 head table.
uint32_t MLE_GetFooterTopPosition(MLE_INSTANCE* object, int32_t* pos, uint8_t* present);
// The BRS queries: 253 a negative gap, 254 / 252 a head table, 251 a
// logic with F-trans passes.
uint32_t MLE_BRSPositioningGap(MLE_INSTANCE* object, int32_t* gap);
uint32_t MLE_BRSCorrectLowerPosition(MLE_INSTANCE* object, int32_t* pos);
// The schedule memory the mode's logics need at most (the page's schedule
// is kept); a logic's schedule code when one fails: 246 for a page too
// short for a logic, as MLE_CreateSchedulingTable answers it.
uint32_t MLE_SumAllocateMemorySize(MLE_INSTANCE* object, uint32_t* size);
int32_t MLE_GetUNDIndex(const MLE_INSTANCE* object, int32_t raster);

// ---- Loss-nozzle queries (positions in rasters) ---------------------------------------
// The last raster the ink prints in the current pass over the heads it
// uses; 0xFFFFFFFF when none prints.
uint32_t MLE_GetNozzleEndPosition(MLE_INSTANCE* object, int32_t ink);
// yShift plus, for head > 0, the head's first virtual nozzle (0 for a
// head or ink outside the page).
int32_t MLE_GetHeadOffset(MLE_INSTANCE* object, int32_t ink, int32_t head);
// The nozzle information of the head and ink as separate values: 255 as
// MLE_GetNozzleInfo.
uint32_t MLE_GetHeadInfo(MLE_INSTANCE* object, int32_t ink, int32_t head, int32_t* offset, uint16_t* nozzles,
                         MleNozzleRange* window, MleNozzleRange* lowerPair, MleNozzleRange* upperPair,
                         const uint8_t** states, const uint16_t** halftoneIndices);
// Builds the head table of pass passNo + n in place (it stays): valid 0
// beyond the last pass; 957 head table.
uint32_t MLE_GetHeadPosAfterPass(MLE_INSTANCE* object, int32_t n, uint8_t* valid, int32_t* vPos, int32_t* headPos,
                                 int32_t* vPosShifted, uint16_t* selector);
int32_t MLE_GetEndHeadNo(const MLE_INSTANCE* object, int32_t ink);
uint16_t MLE_GetHeadOffsetSize(const MLE_INSTANCE* object, int32_t head);
int32_t MLE_GetHeadNum(const MLE_INSTANCE* object);
uint16_t MLE_GetNozzleNum(const MLE_INSTANCE* object, int32_t head, int32_t divisor);  // 0 for divisor 0
int32_t MLE_GetVirtualNozzleNum(const MLE_INSTANCE* object);
uint32_t MLE_SetYdsCorrectionArray(MLE_INSTANCE* object, int32_t columnNum, int32_t valuesPerLine,
                                   const int16_t* const* numerators, const int16_t* const* denominators);
uint32_t MLE_SetNlmChipUsed(MLE_INSTANCE* object, int32_t kind, int32_t count, const uint16_t* chips);
void MLE_SetRlsDischargeTiming(MLE_INSTANCE* object, int32_t timing);

// ---- Schedule builder and head table (mle_schedule.cpp, mle_head_table.cpp) ----------
// Loads the logic of slot `selector` into the schedule: 242 without one,
// 249 a logic the engine cannot plan, 202 the layer copy.
uint32_t GetResouceData(MLE_INSTANCE& engine, const CallbackTable& cb, int32_t selector);
uint32_t CreateSchedule(MLE_INSTANCE& engine, uint32_t pageLength, bool firstBuild);
void FreeSchedule(MLE_INSTANCE& engine);
void FreeInputInkInfoContent(const CallbackTable& cb, InputInkInfo& record);
// True when the pair (code, pass) is in the logic's null-pass list.
bool IsInsertNullPass(const MicroweaveLogicRecord& logic, uint16_t code, uint32_t pass);
// False when the pass lies in no group or its head table breaks a rule
// (a head entry's selector outside 1..colorNum; in repeat mode a pass off
// the normal cycle's nozzle grid).
bool MakeHeadTable(MLE_INSTANCE& engine, int32_t pass);
// False for a head or ink outside the page, or missing layered-halftone arrays.
bool GetNozzleInfo(MLE_INSTANCE& engine, int32_t head, int32_t ink);
// The head fields of the nozzle information (head, entry, boundaries) alone.
void FillHeadInfo(MLE_INSTANCE& engine, int32_t head);
int32_t CalcHeadTopPosition(const MLE_INSTANCE& engine);

}  // namespace ovcg::irac
