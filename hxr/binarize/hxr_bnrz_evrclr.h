// Every-colour binariser: the working object behind the binarize controller.
// It holds the binarize mode of every halftone colour, the job's dither
// binariser, a HybridED object per HybridED colour, the runtime dither and
// SML state, the data-shift object and the dot counter. Per band of one or
// two lines it walks line by line, halftone colour by halftone colour and
// print head by print head, hands each step its ink row, intent row, written
// span, dither data and SML tables, calls the colour's kernel and adds the
// kernel's dot counts to the job's 64-bit counters.
//
// Calling order per job: HXRCreateBinarizeEveryColor; HXRSetBinarizeEveryColorData
// (attaches the data set and checks the job); for halftone types 5 and 6
// HXRCreateBinarizeEveryColorHybridED. Per page: HXRSetBnrzEvrClrSwitchPos
// (mode 0), HXRResetErrorBufferBinarizeEveryColor. Per band:
// HXRBinarizeEveryColor. The dot counts whenever the host asks.
//
// Job-start check. Whatever is fixed for the job and would otherwise fail
// every band is refused when the job starts: data attachment refuses a
// halftone colour whose output order or ink row lies outside the LUT colours,
// an output colour missing for a LUT colour, a dither record of any area that
// the walk cannot run on or that has no offsets, and an SML row of any slot
// that does not cover the kernels (the monochrome-photo kind 4 merges each
// band's table record into its rows, which its kernels check); the HybridED
// set-up refuses a halftone colour that is not HybridED or gets no object,
// and ink rows other than 8-bit. A band before a successful attachment, or
// after a refused HybridED set-up, is refused.
//
// Plane table of a band: the plane of head h, band line i and halftone colour
// c is entry h x (L x HC) + i x HC + c (L the band's line count, HC the
// halftone colour count); head-1 entries are read only for lines that two
// heads lay. A plane holds `planePixels` pixels at `bitPerColor` bits, most
// significant first. A null plane or ink row is a step without dots.
//
// Ownership: everything comes from the engine's memory manager and lives as
// long as it. Errors: nothing here records an error code (the switch-position
// state records 8301..8303); operations answer 0 for success and 1 for
// failure, a failing band leaving what it already wrote and counted.
#pragma once

#include "hxr/binarize/hxr_bnrz_dither.h"
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "hxr/binarize/hxr_data_shift.h"
#include "hxr/binarize/hxr_randnum.h"
#include "hxr/binarize/hxr_runtime_dither.h"
#include "hxr/binarize/hxr_runtime_sml.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrBnrzColors = 12;
// Values a dot-counter read writes per real output colour (dot codes 1..3).
inline constexpr uint32_t kHxrDotCountsPerColor = 3;

// The host halftoning data set of the job (opaque here).
struct HXRTRAQ2Data;

// What data attachment reads of the data set, and the calls through which
// the runtime state reaches the data set's managers: kHxrBnrzDataSetOps binds
// the data set's own functions; tests bind fakes.
struct HXRBnrzDataOps {
    const HXRDthDataOps* dither;
    const HXRSmlDataOps* sml;
    // The dither data manager of intent 0 or 1, or null.
    HXRTRAQ2DthDataMgr* (*HXRGetDthDataMgr)(const HXRTRAQ2Data* set, uint32_t intent);
    // The SML data manager of (intent, slot 0 primary / 1 secondary), or null.
    HXRSmlDataMgr* (*HXRGetSmlDataMgr)(const HXRTRAQ2Data* set, uint32_t intent, uint32_t slot);
    // 0 when the intent has no secondary manager or its two managers agree.
    uint32_t (*HXRCheckCoordinationSml)(const HXRTRAQ2Data* set, uint32_t intent);
};

// The job's data set (hxr/control/hxr_traq2_data.h) and its managers.
extern const HXRBnrzDataOps kHxrBnrzDataSetOps;

struct HXREveryColorBinarizer {
    uint32_t modes[kHxrBnrzColors];  // per halftone colour index (hxr_bnrz_mode.h); 0 beyond HC
    HXRDitherBinarizer* ditherBinarizer;
    HXRHybridEDBinarizer* hybridED[kHxrBnrzColors];  // null where the mode is not HybridED
    HXRRuntimeDither* runtimeDither;
    HXRRuntimeSml* runtimeSml;
    const HXRClrMgr* colorManager;
    HXRDataShift* dataShift;
    HXRCountDot* dotCounter;
    const HXRBnrzDataOps* ops;
    uint32_t planePixels;  // pixels an output plane holds
    uint32_t dataReady;    // 1 after a data attachment that passed the job check
    HXRHybridEDTailSlot* tailSlot;  // null until the runs are cut
};

// Null for a null colour manager or ops table (or one without its two
// manager tables), a halftone type other than 3, 5 and 6, no halftone colour
// or more than 12, a dot mode or element size without a dither kernel (dot
// modes 1, 2 and 34, sizes 1 and 2 have one), or a failed allocation.
// `planePixels`: the pixels of one output plane (a multiple of 8).
HXREveryColorBinarizer* HXRCreateBinarizeEveryColor(uint32_t htType, uint32_t inkSet, int32_t hRes, int32_t vRes,
                                                    uint32_t dotMode, uint32_t converterKind, uint32_t elementSize,
                                                    const HXRClrMgr* colours, HXRMemMgr* memory,
                                                    const HXRBnrzDataOps* ops, uint32_t planePixels);
// One HybridED object per halftone colour (from the four uncorrected SML rows
// of the colour: intent 0 primary and secondary, intent 1 primary and
// secondary). 0 only when every halftone colour is a HybridED colour and got
// its object, and the element size and the descriptor's are 1; else 1, and
// the binariser refuses every band.
uint32_t HXRCreateBinarizeEveryColorHybridED(HXREveryColorBinarizer* b, uint32_t inkSet, int32_t hRes, int32_t vRes,
                                             uint32_t converterKind, uint32_t elementSize, uint32_t dotMode,
                                             uint32_t htType, const HXRIntermediateData* interm, HXRRandNum* random,
                                             HXRMemMgr* memory);
// 1 for a null binariser, else 1 when the runtime SML refuses the source.
uint32_t HXRSetBrsBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRBrsSource* brs);
// 1 for a null binariser, else 1 when the data-shift object refuses the source.
uint32_t HXRSetDataShiftBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRDataShiftSource* source,
                                           const HXRClrMgr* colours);
// Attaches intent 0's dither data manager and the four SML slots: (t, 0) the
// intent's primary manager (intent 1 falls back on intent 0's; intent 0's must
// exist), (t, 1) the intent's secondary manager when it exists and the
// data set finds it coordinated with the primary (else 1), or the manager of
// (t, 0). Then the job check (header). 1 on any failure; the binariser then
// refuses every band until an attachment succeeds.
uint32_t HXRSetBinarizeEveryColorData(HXREveryColorBinarizer* b, const HXRTRAQ2Data* set, const HXRClrMgr* colours,
                                      HXRMemMgr* memory);
// Mode 0 (page start): a fresh list (refused with a non-empty list while a
// data-shift correction is in force); mode 1: replaces the positions. 1 for a
// null binariser, another mode or a refused list.
uint32_t HXRSetBnrzEvrClrSwitchPos(HXREveryColorBinarizer* b, const HXRSwitchPosList* list, uint32_t mode,
                                   HXRMemMgr* memory);
// One band of `lines` (1 or 2) lines from `firstLine` on. `planes` holds
// heads x lines x HC plane pointers (header); `anyDot`, when given, becomes 1
// when a kernel placed a dot, 0 otherwise, and is left alone on failure.
// `tnmxLutInfo`: the monochrome-photo table record of converter kind 4, else
// null. 1, before anything is done, for: a null binariser, descriptor, random
// state or plane table; a line count other than 1 or 2; a line beyond
// INT32_MAX; no successful data attachment; a descriptor whose element size
// is not the binariser's; a written span reaching past the plane or the ink
// row. Any failure later returns 1 at once.
uint32_t HXRBinarizeEveryColor(HXREveryColorBinarizer* b, const HXRIntermediateData* interm, HXRRandNum* random,
                               uint8_t* const* planes, uint32_t* anyDot, int32_t lines, int32_t firstLine,
                               const void* tnmxLutInfo);
// Every HybridED colour cuts its long runs for a helper thread from now on
// (HXRSetHybridEDTailSlot), through one slot the binariser makes and keeps
// (the same slot on a second call), the second halves counted into the
// colour's dot counter. A band then returns with those halves possibly
// unwritten and its `anyDot` blind to them: the caller joins the slot before
// it reads the planes or the counts. Null for a null binariser or manager,
// no HybridED colour, or a colour that cannot cut (those before it cut).
HXRHybridEDTailSlot* HXRCutEveryColorRuns(HXREveryColorBinarizer* b, HXRMemMgr* memory);
// Re-seeds the error lines of every HybridED colour for line 0. 1 for a null
// binariser or random state, a HybridED colour without its object, or a
// failed re-seeding.
uint32_t HXRResetErrorBufferBinarizeEveryColor(HXREveryColorBinarizer* b, HXRRandNum* random);
// Writes, per real output colour k, the counts of dot codes 1, 2 and 3 of
// counter k (those beyond the colour's dot sizes as 0) at out[3k..3k+2] and
// clears every counter; the number of values written (3 per real output
// colour). 0 for a null binariser or array, no real output colour, a
// `capacity` below that number, or a colour whose dot sizes are not 1, 3 or 5;
// the counters are then kept.
uint32_t HXRGetBnrzEvrClrDotCounter(HXREveryColorBinarizer* b, uint64_t* out, uint32_t capacity);
// 8192; 0 for a null binariser.
uint32_t HXRGetBnrzEvrClrDthThreshAddition(const HXREveryColorBinarizer* b);
// 1 when every halftone colour's mode is UBEC (4); 0 otherwise, for a null
// binariser or no halftone colour.
uint32_t HXRGetBnrzEvrClrUsingUBECTable(const HXREveryColorBinarizer* b);
// 2 when every halftone colour's mode is UBEC, else 1; 0 for a null binariser
// or no halftone colour.
uint32_t HXRGetBnrzEvrClrDthDataType(const HXREveryColorBinarizer* b);
// Output colour order of the code (low 8 bits compared); 0xFFFFFFFF for a null binariser.
uint32_t HXRGetBnrzEvrClrOutputColorOrder(const HXREveryColorBinarizer* b, uint32_t code);
// Halftone colour count; 0 for a null binariser.
uint32_t HXRGetBnrzEvrClrHalftoneColorNum(const HXREveryColorBinarizer* b);
