// The band path (STM): the second implementation behind the IRAC_ entry
// points, taken with option flag 0x8. Instead of planning head passes it
// collects whole raster lines per colour into bands of N lines (N from the
// band-path resource, kind 768) and sends each band colour by colour as one
// raster command: feed to the band's first line, horizontal position, raster
// header, data (run-length coded when that is not longer), carriage return.
//
// With option flag 0x10 the job also builds the model resource reader and a
// pass engine, only to answer the BRS, length, switching-position and
// used-head queries and to check a new print length; their plan never
// drives the output.
//
// Calling order: STM_Constructor; STM_SetValue_BITLEN (required) and
// STM_SetValue_ESCiFORM before the first page; per page STM_StartPage, any
// number of STM_DrawRasterData runs, STM_EndPage; STM_Destructor or
// STM_AbortJob at the end. Both free the job in every state: the caller
// drops the handle after either.
//
// States: 1 job open, 2 page open, 3 drawing failed (only the page end
// remains, which turns it into 4), 4 failed (page start or end).
//
// Placement: a page dot d (bit-length bits from the most significant end of
// the caller's bytes) prints at horizontal dot left offset + d; band line k
// prints at page line band start + k. The left offset is split into a base
// that is a multiple of 8 x bit length dots (the horizontal granularity of a
// band image, bit length squared bytes) and a byte and bit shift inside it.
//
// Errors (codes.h): 601-636 and 701-705 (the resource), and the codes of
// the encoder (3xx), the model resource reader (1xx) and the pass engine
// (2xx), passed through unchanged.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/mle.h"
#include "headcontrol/model_resource.h"
#include "headcontrol/ovc_encoder.h"
#include "headcontrol/records.h"
#include "headcontrol/str_band_resource.h"
#include "ovcg/irac.h"

#include <cstdint>

namespace ovcg::irac {

inline constexpr int32_t kStmMaxColours = 32;

enum StmState : uint32_t { kStmJobOpen = 1, kStmPageOpen = 2, kStmDrawFailed = 3, kStmFailed = 4 };

struct StmJob {
    uint8_t pathTag;  // 1: the band path (byte 0 of the handle)
    IdentifierPair identifier;
    PrintDataCopy printData;
    OptionCopy option;
    CallbackTable cb;
    ICMResourceData* hcData;  // with flag 0x10: the model resource's engine block, borrowed
    uint32_t state;
    // Horizontal placement of the page.
    uint32_t hposBase;    // dots: the left offset rounded down to group dots
    uint32_t startByte;
    uint32_t startShift;  // bits, 0..7
    uint32_t groupBytes;  // bit length squared
    uint32_t groupDots;   // 8 x bit length
    uint8_t* colourCodes; // per colour: the raster command's colour
    // The band.
    uint32_t bandStartLine;
    // The widest group (4 bytes) + raster width + 1: made at the first page,
    // it holds the lines of either bit length, so a bit length changed
    // between pages cannot write past a line.
    uint32_t bandLineBytes;
    uint32_t bandStride;     // band line bytes + 1: a spare zero byte for the even width of a coded band
    uint64_t bandBytes;      // N x band stride
    uint8_t* band[kStmMaxColours];
    uint8_t* blankLine;      // band stride zero bytes
    uint32_t* startOffset[kStmMaxColours];  // per line: the first data byte
    uint32_t* trailZeros[kStmMaxColours];   // per line: zero bytes at its end
    uint32_t lineCounter;    // lines received on this page
    uint32_t* lineFlags;     // per band line: bit c when colour c has data
    uint8_t bandSent;        // a band went out on this page
    uint8_t brsBlocking[10]; // cleared at job start, never set
    uint16_t bitLength;      // 1 or 2; 0 until set
    uint32_t switchingPositions[2];
    uint32_t unitRaster;     // 0: none
    uint32_t printLength;
    uint8_t headForm;        // 0: 9-byte raster header; 1: 14-byte
    StrObject* str;
    OvcContext* ovc;
    RscObject* rsc;
    MLE_INSTANCE* mle;
};

// 602 null records or pixel-shift table, 603 values out of range (a
// non-zero shift among the colours' too), 601, 604-606 allocations; the
// codes of the parts it builds. *out is written on success only; nothing is
// left allocated on failure. value->value is set to 0.
uint32_t STM_Constructor(StmJob** out, const IdentifierPair* identifier, const PrintDataCopy* printData,
                         const OptionCopy* option, IRACS_VALUE* value, const CallbackTable* cb);
// Frees the job in every state (an open page's partial band is dropped).
void STM_Destructor(StmJob* job);
void STM_AbortJob(StmJob* job);
// 621 outside state 1; 609, 611, 625, the encoder's and the pass engine's
// codes leave state 4.
uint32_t STM_StartPage(StmJob* job, int32_t leftOffset, const uint8_t* inkCodes);
// 618 outside state 2; 615, 616 and the encoder's codes leave state 3.
uint32_t STM_DrawRasterData(StmJob* job, const RasterRun* run);
// State 2: sends the partial band and returns to 1 (4 and the code on
// failure); state 3: 4 and 0; otherwise 4 and 623.
uint32_t STM_EndPage(StmJob* job);
// Sends the band held: 617 and the encoder's codes.
uint32_t STM_DrawRastergraphics(StmJob* job);
// Sends the band when `count` lines make whole bands.
uint32_t STM_WrapDrawRastergraphics(StmJob* job, uint32_t count);

// ---- Value queries and settings (stm_values.cpp) --------------------------------------
uint32_t STM_GetValue_BRS_STARTJOB(StmJob* job, IRACS_BRS_JOB* out);
uint32_t STM_GetValue_BRS_STARTPAGE(StmJob* job, IRACS_BRS_PAGE* out);
uint32_t STM_GetValue_MINIMUM_LENGTH(StmJob* job, uint32_t* out);
uint32_t STM_GetValue_SWITCHING_POSITION(StmJob* job, IRACS_SWITCHING_POSITION* out);
uint32_t STM_GetValue_USE_HEAD(StmJob* job, IRACS_USE_HEAD** out);
uint32_t STM_GetValue_LAYERS_INKCODE(StmJob* job, IRACS_LAYERS_INKCODE* io);
uint32_t STM_SetValue_UNITRASTER(StmJob* job, uint32_t value);
uint32_t STM_SetValue_LENGTH(StmJob* job, uint32_t value);
uint32_t STM_SetValue_BITLEN(StmJob* job, int32_t value);
uint32_t STM_SetValue_ESCiFORM(StmJob* job, int8_t value);

}  // namespace ovcg::irac
