// The halftone controller: the per-job object through which the engine's
// page and band calls reach colour conversion and binarisation. It ties four
// parts made for the job: the random state, the ink buffer, the
// colour-conversion controller and the binarize controller. Per band it
// converts the input lines into ink rows, binarises them into dot rows and
// runs the text-edge step; for the parallel path it converts only and hands
// the ink rows out. Its getters answer the data-set builders' questions about
// the table, dither and dot-size data the converter and the binariser need.
//
// The binarize controller (and the text-edge step) is reached through one
// narrow table of functions, HXRBinarizeOps, chosen when the controller is
// made: the library's default binds the real binariser; tests install fakes
// with HXRSetBinarizeOps. A default table with a missing entry makes every
// controller creation fail, so a job never halftones without a binariser.
//
// Calling order: HXRCreateHtController at the job start; HXRSetResourceData,
// then HXRSetHybridED (halftone types 5 and 6); HXRSetBrs and
// HXRSetDataShift at any time after creation. Per page HXRStartPage,
// HXRResetSwitchingPos at any time, HXREndPage. Per band HXRHalftone or
// HXRConvertColor.
//
// Ownership: every part comes from the instance's memory manager and goes
// with it; HXRDeleteHtController returns the record and the random state
// early (the converter, the binariser and the ink buffer have no delete of
// their own and stay until the manager is deleted).
//
// Errors: creation answers null, with the first failure of the parts in the
// engine's error record (8203 for an output scale that gives no usable ink
// row). Every other call answers 0 or a code of the 82xx block below and
// records nothing.
#pragma once

#include "hxr/binarize/hxr_ed_tail_slot.h"
#include "hxr/binarize/hxr_randnum.h"
#include "hxr/binarize/hxr_runtime_dither.h"
#include "hxr/color/hxr_color_ctrl.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_traq2_data.h"
#include "hxr/control/hxr_value_settings.h"
#include "ovcg/hxr.h"

#include <cstdint>

inline constexpr uint32_t kHxrHtSetHybridFailed = 8200;
inline constexpr uint32_t kHxrHtSetNoController = 8201;
inline constexpr uint32_t kHxrHtSetBrsFailed = 8202;
inline constexpr uint32_t kHxrHtRowLength = 8203;  // error record: the output scale gives no ink row of 1..INT32_MAX pixels
inline constexpr uint32_t kHxrHtShiftNoController = 8211;
inline constexpr uint32_t kHxrHtShiftFailed = 8212;
inline constexpr uint32_t kHxrHtDataNoController = 8221;
inline constexpr uint32_t kHxrHtDataColourRefused = 8222;
inline constexpr uint32_t kHxrHtDataBinarizeRefused = 8223;
inline constexpr uint32_t kHxrHtResetNoController = 8231;
inline constexpr uint32_t kHxrHtResetFailed = 8232;
inline constexpr uint32_t kHxrHtPageNoController = 8241;
inline constexpr uint32_t kHxrHtPageSwitchFailed = 8242;
inline constexpr uint32_t kHxrHtPageResetFailed = 8243;
inline constexpr uint32_t kHxrHtBandNoController = 8251;
inline constexpr uint32_t kHxrHtBandBadArgument = 8252;
inline constexpr uint32_t kHxrHtBandConvertFailed = 8253;
inline constexpr uint32_t kHxrHtBandBinarizeFailed = 8254;
inline constexpr uint32_t kHxrHtBandTextEdgeFailed = 8255;
inline constexpr uint32_t kHxrHtInkNoController = 8261;
inline constexpr uint32_t kHxrHtInkBadArgument = 8262;
inline constexpr uint32_t kHxrHtInkNotLut8 = 8263;
inline constexpr uint32_t kHxrHtInkConvertFailed = 8264;
inline constexpr uint32_t kHxrHtInkNoOutput = 8265;

// Ink-selection modes of the option record.
inline constexpr uint32_t kHxrInkSelOnlyClear = 2;   // only the channel of colour code 10
inline constexpr uint32_t kHxrInkSelAllButClear = 4; // every channel but that one
inline constexpr uint32_t kHxrClearInkCode = 10;

// Dot counts a controller reads at most: three per output colour.
inline constexpr uint32_t kHxrHtDotCounts = 3 * kHxrMaxInks;

struct HXRBinarizeController;  // the binariser's own record (opaque here)

// The binarize controller as the halftone controller uses it. Results of the
// setters and of binarize: 0 success, anything else failure.
struct HXRBinarizeOps {
    // printMode is only tested for presence.
    HXRBinarizeController* (*create)(const _HXR_HALFTONE_INFO* halftone, const void* printMode, uint32_t converterKind,
                                     uint32_t pixelCount, uint32_t elementSize, const HXRClrMgr* colours,
                                     HXRMemMgr* memory);
    uint32_t (*setHybridED)(HXRBinarizeController* c, const _HXR_HALFTONE_INFO* halftone, uint32_t converterKind,
                            uint32_t elementSize, const HXRClrMgr* colours, const HXRIntermediateData* ink,
                            HXRRandNum* random, HXRMemMgr* memory);
    uint32_t (*setBrs)(HXRBinarizeController* c, const void* brs);
    uint32_t (*setDataShift)(HXRBinarizeController* c, const void* source, const HXRClrMgr* colours);
    uint32_t (*setData)(HXRBinarizeController* c, const HXRTRAQ2Data* set, const HXRClrMgr* colours,
                        HXRMemMgr* memory);
    // mode 0 page start, 1 reset within the page.
    uint32_t (*setSwitchPos)(HXRBinarizeController* c, const HXRSwitchPosList* positions, uint32_t mode,
                             HXRMemMgr* memory);
    uint32_t (*binarize)(HXRBinarizeController* c, const HXRIntermediateData* ink, HXRRandNum* random,
                         uint8_t* const* planes, uint32_t* anyDot, int32_t lines, int32_t firstLine,
                         const void* tnmxLutInfo);
    uint32_t (*resetErrorBuffer)(HXRBinarizeController* c, HXRRandNum* random);
    // Number of 64-bit counts written (room for `capacity`).
    uint32_t (*dotCounter)(HXRBinarizeController* c, uint64_t* counts, uint32_t capacity);
    uint32_t (*textEnhance)(const HXRColorCvtController* colour, const HXRBinarizeController* c,
                            const uint8_t* const* input, uint8_t* const* planes, int32_t count, int32_t x0,
                            int32_t lines);
    // 1 when text-enhance mode 3 may be set for the job.
    uint32_t (*textEdgeCondition)(const _HXR_HALFTONE_INFO* halftone, const HXRClrMgr* colours);
    // Queries; a null controller answers 0 (outputColorOrder 0xFFFFFFFF).
    uint32_t (*smlGradNum)(const HXRBinarizeController* c);
    uint32_t (*ifUseDth)(const HXRBinarizeController* c);
    uint32_t (*dthOrder)(const HXRBinarizeController* c);
    uint32_t (*dthThreshAddition)(const HXRBinarizeController* c);
    uint32_t (*dthDataBytes)(const HXRBinarizeController* c);
    uint32_t (*dthDataType)(const HXRBinarizeController* c);
    uint32_t (*dthThreshUpdatePixel)(const HXRBinarizeController* c);
    uint32_t (*ifUseUBEC)(const HXRBinarizeController* c);
    uint32_t (*ubecBlockSize)(const HXRBinarizeController* c);
    uint32_t (*ubecEncodeStep)(const HXRBinarizeController* c);
    uint32_t (*ubecTableType)(const HXRBinarizeController* c);
    uint32_t (*bitPerColor)(const HXRBinarizeController* c);
    uint32_t (*pixelSize)(const HXRBinarizeController* c);
    uint32_t (*outputColorOrder)(const HXRBinarizeController* c, uint32_t code);
    uint32_t (*halftoneColorNum)(const HXRBinarizeController* c);
};

// The table new controllers take: the library's default unless a test
// installed another. Null restores the default.
const HXRBinarizeOps* HXRGetBinarizeOps();
void HXRSetBinarizeOps(const HXRBinarizeOps* ops);
// The library's own binding: the binarize controller and the text-edge step.
const HXRBinarizeOps* HXRDefaultBinarizeOps();
// 1 when every entry of the table is set.
uint32_t HXRBinarizeOpsComplete(const HXRBinarizeOps* ops);

struct HXRHtController {
    HXRRandNum* random;
    HXRIntermediateData* ink;
    HXRColorCvtController* colour;
    HXRBinarizeController* binarize;
    const HXRBinarizeOps* ops;
    uint32_t mode;         // the converter kind
    uint32_t elementSize;  // ink element size, 1 or 2
};

// values: the instance's block of set values (the converter reads it; the
// ink buffer takes its reduction method). Null without image, halftone,
// option, values or colour manager; with ink-selection modes 1, 3 and 5 for
// an image colour mode other than 3 and 4; when a part cannot be made, the
// output scale's denominator is negative, or the ink row would be 0 pixels
// or more than INT32_MAX.
HXRHtController* HXRCreateHtController(const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                       const _HXR_OPTION_INFO* option, HXRValueSettings* values,
                                       const HXRClrMgr* colours, HXRMemMgr* memory);
// Frees the record and the random state; 8201 for null.
uint32_t HXRDeleteHtController(HXRHtController* controller, HXRMemMgr* memory);

// Ink row length for an output scale word (numerator low 16 bits, signed
// denominator high 16 bits, 0 counting as the whole word x width); 0 when the
// denominator is negative or the row is 0 or above INT32_MAX pixels.
uint32_t HXRHtInkRowLength(uint32_t scale, uint32_t width);
// Ink-selection flags for `inks` ink rows (12 written); 1 when the mode
// needs RGB or CMYK input and the image has neither.
uint32_t HXRHtInkSelectionFlags(uint32_t mode, uint32_t colourMode, int32_t clearPos, uint32_t inks,
                                uint32_t flags[kHxrMaxInks]);

// Set-up. HXRSetHybridED: 1 for a null image, halftone or colour manager,
// 8201, 8200.
uint32_t HXRSetHybridED(HXRHtController* controller, const _HXR_IMAGE_INFO* image,
                        const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                        const HXRClrMgr* colours, HXRMemMgr* memory);
uint32_t HXRSetBrs(HXRHtController* controller, const void* brs);                             // 8201 / 8202
uint32_t HXRSetDataShift(HXRHtController* controller, const void* source, const HXRClrMgr* colours);  // 8211 / 8212
// The data set's tables go to the converter (8222), then to the binariser (8223); 8221 null.
uint32_t HXRSetResourceData(HXRHtController* controller, const HXRTRAQ2Data* set, const HXRClrMgr* colours,
                            HXRMemMgr* memory);

// Per page. The switching-position record is {count, positions...}.
uint32_t HXRStartPage(HXRHtController* controller, const HXRSwitchPosList* positions, HXRMemMgr* memory);
uint32_t HXRResetSwitchingPos(HXRHtController* controller, const HXRSwitchPosList* positions, HXRMemMgr* memory);
uint32_t HXREndPage();

// Per band. outputRows: the binariser's plane table; inputPlanes and
// attributePlanes as the converter takes them.
uint32_t HXRHalftone(HXRHtController* controller, uint8_t* const* outputRows, uint32_t* anyDot,
                     const uint8_t* const* inputPlanes, const uint8_t* const* attributePlanes, int32_t pixels,
                     int32_t xOffset, int32_t lines, int32_t firstRow);
// Bands cut their long HybridED runs for a helper thread from now on
// (HXRCutEveryColorRuns): HXRHalftone may then return before the second
// halves of its lines are written, and the caller joins the slot before it
// reads them or the dot counts. Null for a null controller or manager, a
// binariser of another kind, text enhancement (it reads the planes within
// the band), or as HXRCutEveryColorRuns refuses.
HXRHybridEDTailSlot* HXRCutHtRuns(HXRHtController* controller, HXRMemMgr* memory);
// inkRows: one row per line and ink (line x inks + ink); each gets the
// written span's bytes at the same byte offset. Mode 4 writes 16-bit
// little-endian values, so start and length come out doubled (bytes).
uint32_t HXRConvertColor(HXRHtController* controller, uint8_t* const* inkRows, int32_t* writtenStart,
                         int32_t* writtenLength, const uint8_t* const* inputPlanes,
                         const uint8_t* const* attributePlanes, int32_t pixels, int32_t xOffset, int32_t lines,
                         int32_t firstRow);

// Getters: 0 for a null controller unless stated.
uint32_t HXRNeedLut(const HXRHtController* c);
uint32_t HXRGetLutType(const HXRHtController* c);
uint32_t HXRGetLutGridNum(const HXRHtController* c);
uint32_t HXRGetLutGridInfoType(const HXRHtController* c);
uint32_t HXRGetHtCtrlTextEnhance(const HXRHtController* c);
uint32_t HXRGetHtCtrlInkQtElementSize(const HXRHtController* c);
uint32_t HXRGetHtCtrlPixelOffset(const HXRHtController* c);
uint32_t HXRIfLutType3D4D(const HXRHtController* c);
uint32_t HXRGetColorConvertMode(const HXRHtController* c);  // 0xFFFFFFFF for null
// One pixel through the converter's table; 8251 for a null controller.
uint32_t HXRGetHalftoneColorConvertData(const HXRHtController* c, uint8_t* out, const uint8_t* pixel,
                                        uint32_t colourMode, uint32_t mode, uint32_t useAttribute,
                                        int32_t channels);
uint32_t HXRGetHtCtrlSmlGradNum(const HXRHtController* c);
uint32_t HXRIfAddBiggerDotRate(const HXRHtController* c);  // always 0
uint32_t HXRNeedDth(const HXRHtController* c);
uint32_t HXRGetDthOrder(const HXRHtController* c);
uint32_t HXRGetDthThreshAddition(const HXRHtController* c);
uint32_t HXRGetDthDataBytes(const HXRHtController* c);
uint32_t HXRGetDthDataType(const HXRHtController* c);
uint32_t HXRGetDthThreshUpdatePixel(const HXRHtController* c);
uint32_t HXRNeedUBEC(const HXRHtController* c);
uint32_t HXRGetUBECBlockSize(const HXRHtController* c);
uint32_t HXRGetUBECEncodeStep(const HXRHtController* c);
uint32_t HXRGetUBECTableType(const HXRHtController* c);
uint32_t HXRNeedUBECSmlCalib(const HXRHtController* c);  // always 0
uint32_t HXRGetHtCtrlHalftoneColorNum(const HXRHtController* c);
uint32_t HXRGetHtCtrlOutputColorOrder(const HXRHtController* c, uint32_t code);  // 0xFFFFFFFF for null
// Bytes of one output row: ceil(pixels / (8 / bits)) for 1 or 2 bits per
// colour, 0 for any other bit count; the colour does not change it.
uint32_t HXRGetWriteOutBufSize(const HXRHtController* c, uint32_t colour);
// Bytes of one ink row, doubled for converter kind 4 (16-bit values out).
uint32_t HXRGetWriteInkBufSize(const HXRHtController* c);
// 0 after the binariser's error lines were re-seeded; 1 for null or refusal.
uint32_t HXRResetHtCtrlErrorBuffer(HXRHtController* c);
// Counts written (three per output colour); 0 for a null argument.
uint32_t HXRGetHtCtrlDotCounter(HXRHtController* c, uint64_t* counts, uint32_t capacity);

// What the data-set builder asks, answered by the controller.
HXRHtCtrlAnswers HXRGetHtCtrlAnswers(const HXRHtController* c);
