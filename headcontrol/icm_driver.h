// The job and page driver (ICM): the pass path behind the IRAC_ entry
// points. It owns the job instance, builds the engine's modules at job start
// (loss-nozzle objects, model resource reader, pass engine, overlap masks,
// band buffer, command encoder, in this order), maps each page's ink codes to
// the head's nozzle lines, clips the caller's rasters to the printed length,
// stores them one by one in the band buffer and, after each, lets the
// per-pass output loop (icm_output.cpp) print every pass the buffer can now
// serve. It also answers the value queries and settings.
//
// Calling order: ICM_StartJob; per page ICM_StartPage, ICM_DrawData for each
// run of one or two rasters, ICM_EndPage; ICM_EndJob (or ICM_AbortJob). The
// value accessors may be called between them in the states they name.
//
// States: 1 job open, no page; 2 page open; 3 page failed while drawing (only
// the page end remains, which turns it into 4); 4 page failed at its start
// or end (only the job end remains). ICM_EndJob and ICM_AbortJob free the
// job in every state; a page still open is ended first (ICM_EndJob prints
// its remaining passes, ICM_AbortJob drops them).
//
// Positions are rasters of the printed length: raster 0 is the first page
// raster after the ignored top rasters. The band buffer numbers the rasters
// it stores the same way.
//
// Errors (codes.h): the driver's own 9-93 and every code of the modules it
// calls, passed through unchanged. Nothing is allocated but through the
// callback table; a failed job start leaves nothing allocated.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/head_tables.h"
#include "headcontrol/loss_nozzle.h"
#include "headcontrol/mle.h"
#include "headcontrol/model_resource.h"
#include "headcontrol/ovc_encoder.h"
#include "headcontrol/pmm_masks.h"
#include "headcontrol/rbm_band_buffer.h"
#include "headcontrol/records.h"

#include <cstdint>

namespace ovcg::irac {

inline constexpr int32_t kIcmPixelShifts = 32;
inline constexpr int32_t kIcmMaxColours = 32;
inline constexpr int32_t kIcmOpenLengthSubMode = 3;
inline constexpr int32_t kIcmNoSwitch = 2147483647;

enum IcmState : uint32_t { kIcmJobOpen = 1, kIcmPageOpen = 2, kIcmDrawFailed = 3, kIcmPageFailed = 4 };

// One on/off byte per function flag, re-armed at every page start.
struct IcmFunctionSwitches {
    uint8_t brs;                 // 0x1
    uint8_t autoBottom;          // 0x2
    uint8_t deferredFeed;        // 0x4: the feed command after the first raster with data is pending
    uint8_t grouping;            // 0x40
    uint8_t flag80;              // 0x80: kept
    uint8_t verticalCorrection;  // 0x100
    uint8_t split;               // 0x200
    uint8_t colourMono;          // 0x400
    uint8_t cycle;               // 0x2000
    uint8_t curing;              // 0x4000
    uint8_t similar;             // always off
};

struct IcmSwitchRecord {
    uint32_t kind;
    int32_t position;
    int32_t raster;
    int32_t spare;
};

// The optional blocks of the function flags.
struct IcmBrsBlock {  // 0x1: nothing in the system arms it
    uint8_t armed;
    uint8_t switched;
    int32_t start;
    int32_t raster;
};
struct IcmColourMonoBlock {  // 0x400
    int32_t kind;            // 1 colour, 2 mono pending, 3 mono, 4 colour pending
    int64_t passes;
    int32_t headOffset;
};
struct IcmAutoBottomBlock {  // 0x2
    uint8_t armed;
    int32_t top;
    int32_t length;
};
struct IcmCycleBlock {  // 0x2000
    int32_t count;
    int32_t index;
};
struct IcmCorrectionBlock {  // 0x100
    int32_t count;
    uint32_t last;
};

struct IcmJob {
    uint8_t pathTag;  // 0: the pass path (byte 0 of the handle)
    IdentifierPair identifier;
    PrintDataCopy printData;
    OptionCopy option;
    int8_t pixelShift[kIcmPixelShifts];  // the caller's table, copied
    uint16_t verticalDenominator;
    uint16_t offAreaTop;
    uint16_t offAreaBottom;
    CallbackTable cb;
    ICMResourceData* res;  // lent by the resource reader
    uint32_t state;

    // Nozzle lines of the page and the slot tables [row][column].
    uint8_t* lineColour;    // per nozzle line: its command colour code
    int16_t* lineInk;       // per nozzle line: the page ink it prints
    uint8_t* splitPosition; // per nozzle line: its position in the split order (0x200)
    int16_t* slotLine;      // rows x linesPerRow: the nozzle line of the slot, -1 empty
    int16_t* slotInk;       // rows x linesPerRow: its page ink, -1 empty
    uint16_t* slotOrder;    // rows x linesPerRow: the grouping's order value (0x40)
    uint8_t* slotColour;    // heads x linesPerRow (linesPerRow with 0x200): the block's colour
    int16_t rows;
    int16_t linesPerRow;    // slot columns
    int16_t heads;
    int16_t nozzleLines;    // allocated lines
    int16_t pageLines;      // lines of the current page
    int32_t slotCapacity;   // entries of each slot table
    int32_t slotColourCapacity;

    // Page progress (64 bits: a run's end and an open page's growth never wrap).
    int64_t printLength;
    int32_t passPosition;
    int64_t bufferingEnd;
    int64_t passCounter;
    uint8_t scheduleChange;
    uint8_t pageFinished;
    uint8_t passBlank;
    uint8_t lengthChanged;  // ICM_ChangeSpecification changed this page
    POLMaskWork masks;
    PmmPassEngine passEngine;  // the pass engine as the masks see it
    uint16_t repeat;
    int64_t stored;         // the band buffer's next raster number
    int64_t counted;        // rasters handled: stored and skipped
    int64_t nextExpected;   // the caller's next raster

    uint32_t bandBytes;     // B: bytes of a plane line
    uint32_t lineBytes;     // B + 1: the widest block, its odd-width byte included
    uint8_t* workLine;      // lineBytes
    uint8_t* zeroLine;      // lineBytes, zero
    PolMaskingFn masking;

    IcmSwitchRecord switches[2];
    int16_t switchWrite;
    int16_t switchRead;
    IcmFunctionSwitches on;
    IcmBrsBlock* brs;
    IcmColourMonoBlock* colourMono;
    IcmAutoBottomBlock* autoBottom;
    IcmCycleBlock* cycle;
    IcmCorrectionBlock* correction;

    SssTable* sss;
    LncObject* lnc;
    uint32_t switchingPositions[2];
    uint32_t unitRaster;    // 0: none
    uint32_t headHeight;    // with option 0x2 and function flag 0x2
    int32_t groupSize;      // coded lines of one command

    RscObject* rsc;
    MLE_INSTANCE* mle;
    OvcContext* ovc;
    RbmObject* rbm;
};

// The six-byte result of the job start.
struct IcmStartResult {
    uint16_t denominator;
    uint16_t offAreaTop;
    uint16_t offAreaBottom;
};

// The pass engine bound for the overlap masks.
PmmPassEngine ICM_PassEngineForMasks(MLE_INSTANCE* mle);

// ---- Job, page and raster runs ------------------------------------------------------
// Job start: 9 arguments out of range, 10 pixel shifts (a null table too),
// 23 a model value the driver cannot use, 31 the instance, 28-30, 32, 35,
// 41-45 allocations, and the modules' codes. *out is written on success only.
uint32_t ICM_StartJob(IcmJob** out, IdentifierPair identifier, const PrintDataCopy& printData,
                      const OptionCopy& option, IcmStartResult* result, const CallbackTable& cb);
// Frees the job in every state, ending an open page first (its passes are
// printed; a failure there is not reported). Null is ignored.
void ICM_EndJob(IcmJob* job);
// Drops an open page without printing it and frees the job. Null is ignored.
void ICM_AbortJob(IcmJob* job);
// 52 outside state 1; 11, 16-19 and the modules' codes move to state 4.
uint32_t ICM_StartPage(IcmJob* job, int32_t leftOffset, const uint8_t* inkCodes);
// A run of `count` (1 or 2) rasters from page raster `first`; line r of
// colour c is lines[r] + c x lineWidth. 54 outside state 2; 14 and the
// modules' codes move to state 3.
uint32_t ICM_DrawData(IcmJob* job, uint8_t* const* lines, uint32_t lineWidth, uint32_t first, uint32_t count);
// State 2: prints the rest and moves to 1 (4 on failure); state 3 moves to
// 4 and answers 0; otherwise 53.
uint32_t ICM_EndPage(IcmJob* job);
void ICM_SetFunctionFlag(uint32_t flags, IcmFunctionSwitches* area);
// Nothing in the system calls it: 58, 65, 64, 25 as the driver's checks say;
// the re-plan itself awaits the pass engine's (249).
uint32_t ICM_ChangeSpecification(IcmJob* job, int32_t passesBack, int32_t newLength);

// ---- The output loop (icm_output.cpp) -----------------------------------------------
// Prints every pass whose rasters are all stored: 0 or the first failing code.
uint32_t ICM_Draw_Rasterdata(IcmJob* job);
// The raster count the band buffer must hold before the current pass prints.
void ICM_Updata_Bufferingarea(IcmJob* job);
// Absolute horizontal position of a block whose top byte (input bytes from
// the rounded left offset) is `top`; 23 for a cycle-block entry outside its
// table, 317 for a position beyond 31 bits.
uint32_t ICM_Calc_hpos(const IcmJob* job, int32_t shift, uint32_t top, int32_t* position);
// Adds the vertical correction of a move to `position` to the encoder's pending one.
uint32_t ICM_Calc_ARC_vpos(IcmJob* job, uint32_t position);

// ---- Value accessors ----------------------------------------------------------------
// Positions rounded to the nearest multiple of the unit raster (halves up);
// without a unit raster (0) the last one is made even when `even`. The
// position 0x7FFFFFFF (none) is left as it is.
void ICM_RoundPositions(uint32_t unitRaster, uint32_t* positions, int count, bool even);
// The BRS answers of both paths: the logic's upper, lower and auto-lower
// flags with the BRS value; the lower position (corrected, or the mask
// switching position) rounded as above, and the positioning gap.
void ICM_FillBrsJob(MLE_INSTANCE* mle, uint32_t brsValue, IRACS_BRS_JOB* out);
uint32_t ICM_FillBrsPage(MLE_INSTANCE* mle, uint32_t unitRaster, IRACS_BRS_PAGE* out);
uint32_t ICM_GetValue_BRS_STARTJOB(IcmJob* job, IRACS_BRS_JOB* out);
uint32_t ICM_GetValue_BRS_STARTPAGE(IcmJob* job, IRACS_BRS_PAGE* out);
uint32_t ICM_GetValue_MINIMUM_LENGTH(IcmJob* job, uint32_t* out);
uint32_t ICM_GetValue_SWITCHING_POSITION(IcmJob* job, IRACS_SWITCHING_POSITION* out);
uint32_t ICM_GetValue_USE_HEAD(IcmJob* job, IRACS_USE_HEAD** out);
uint32_t ICM_GetValue_PREBUFF_RASTER(IcmJob* job, int32_t* out);
uint32_t ICM_GetValue_SSS_Enable(IcmJob* job, uint8_t* out);
uint32_t ICM_GetValue_SSS_ShiftNum(IcmJob* job, int16_t* out);
uint32_t ICM_GetValue_SSS_ShiftResolution(IcmJob* job, uint16_t* out);
uint32_t ICM_GetValue_SSS_Shift(IcmJob* job, int32_t index, uint16_t* out);
uint32_t ICM_SetValue_UNITRASTER(IcmJob* job, uint32_t value);
uint32_t ICM_SetValue_LENGTH(IcmJob* job, uint32_t value);

// Accessors that no value code reaches.
struct IcmColourCodes {
    int16_t count;
    const uint8_t* inkCodes;
    const uint8_t* colorCodes;
};
struct IcmCuring {
    uint32_t position;      // pass position less the head-top position
    uint32_t bufferingEnd;
    uint32_t curing;        // 1 with function flag 0x4000
    uint16_t pitch;         // the nozzle pitch, times the split factor with 0x200
};
struct IcmNextSchedule {
    int32_t position;       // pass position + the largest column offset
    int32_t last;           // min(buffering end - 1, page length - 1)
};
struct IcmPolMaskSets {
    uint32_t count;
    void* records;          // count records of 32 bytes
};
uint32_t ICM_GetValue_MIR(IcmJob* job);
uint32_t ICM_GetValue_LOSS_NOZZLE_COMPLEMENT(IcmJob* job);
uint32_t ICM_GetValue_DOTSIZE(IcmJob* job, uint8_t* out);
uint32_t ICM_GetValue_COLORCODE(IcmJob* job, IcmColourCodes* out);
uint32_t ICM_GetValue_OFFAREA(IcmJob* job, uint16_t* top, uint16_t* bottom);
uint32_t ICM_GetValue_VERTICAL_DENOMI(IcmJob* job, uint16_t* out);
uint32_t ICM_GetValue_IGNORERASTER(IcmJob* job, uint32_t* top, uint32_t* bottom);
uint32_t ICM_GetValue_POLMASKNUM(IcmJob* job, uint32_t* out);
uint32_t ICM_GetValue_POLMASKSET(IcmJob* job, IcmPolMaskSets* inOut);
uint32_t ICM_GetValue_CURING(IcmJob* job, IcmCuring* out);
uint32_t ICM_GetValue_NEXTMW_SCHEDULE(IcmJob* job, IcmNextSchedule* out);
uint32_t ICM_SetValue_PMC_PARAM(IcmJob* job, int16_t maximum);
uint32_t ICM_SetOn_Rasterdata_forLayeredHT(IcmJob* job);
bool ICM_IsStatusBeforeStartPage(const IcmJob* job);

}  // namespace ovcg::irac
