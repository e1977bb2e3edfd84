// The colour-conversion controller: chooses the kind of converter from the
// image and halftone records when the halftone controller is made, creates
// it, and forwards the job's tables, every band and the converter questions
// to it.
//
// Calling order: HXRCreateColorCvtController once per instance; the getters
// at any time; HXRSetColorCvtData once the job's tables are ready;
// HXRColorConvert per band. The record lives in the instance's memory
// manager until the manager is deleted.
//
// Errors: creation records 9001, 9002, 9003 or 9011 in the engine's error
// record (the first failure of a job is kept) and answers null; null
// arguments and memory exhaustion answer null without a code. The other
// operations answer 1 for failure and record nothing; their callers turn the
// 1 into codes of their own.
#pragma once

#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_color_lut_set.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_value_settings.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    kHxrColorCvtImageInvalid = 9001,  // negative stride, attribute stride or width; sample size not 1 or 2
    kHxrColorCvtModeInvalid = 9002,   // colour mode not convertible for the document type
    kHxrColorCvtDirectCount = 9003,   // the direct converter's ink count is not the image's plane count
    kHxrColorCvtScaleInvalid = 9011,  // scale not 1, 2, 4, 8 or 0x20001
};

// Converter kinds (0 and 3 are never made).
inline constexpr uint32_t kHxrColorCvt3D = 1;
inline constexpr uint32_t kHxrColorCvt4D = 2;
inline constexpr uint32_t kHxrColorCvtTNMX = 4;
inline constexpr uint32_t kHxrColorCvtDirect = 5;
inline constexpr uint32_t kHxrColorCvtDirectTNMX = 6;

inline constexpr uint32_t kHxrDocTypeTNMX = 7;
inline constexpr uint32_t kHxrColorModeRGB = 3;
inline constexpr uint32_t kHxrColorModeCMYK = 4;
inline constexpr uint32_t kHxrColorModeDirect = 100;  // + the number of ink planes

struct HXRColorCvtController {
    uint32_t kind;
    void* converter;  // HXRColorCvt (1, 2), HXRColorCvtTNMX (4) or HXRColorCvtDirect (5, 6)
};

// The ink-plane count of a direct colour mode (1, 4..10 or 12), else 0.
uint32_t HXRDirectColorModePlanes(uint32_t colourMode);

// values: the instance's block of set values (read by the 3D and 4D
// converters; a 3D converter in white-print mode completes its white-print
// block).
HXRColorCvtController* HXRCreateColorCvtController(const _HXR_IMAGE_INFO* imageInfo,
                                                   const _HXR_HALFTONE_INFO* halftoneInfo, HXRValueSettings* values,
                                                   const HXRClrMgr* colourManager, HXRMemMgr* memory);
// Hands the job's tables to the converter: 1 when the controller is null,
// the kind is not one that is made, or the converter refuses them.
uint32_t HXRSetColorCvtData(HXRColorCvtController* controller, const HXRColorCvtLutSet* set);
// Converts one band through the converter; 1 when the controller is null,
// the kind is not one that is made, or the converter refuses the band.
uint32_t HXRColorConvert(HXRColorCvtController* controller, HXRIntermediateData* ink, HXRRandNum* random,
                         const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                         int32_t lines, int32_t lineNumber);

uint32_t HXRGeColorCvtMode(const HXRColorCvtController* controller);              // the kind; 0 when null
uint32_t HXRGetColorCvtLutType(const HXRColorCvtController* controller);          // 3, 4, 17 or 0
uint32_t HXRIfUseLut(const HXRColorCvtController* controller);                    // LUT type != 0
uint32_t HXRGetColorCvtLutGridInfoType(const HXRColorCvtController* controller);  // as HXRIfUseLut
uint32_t HXRGetColorCvtLutGridNum(const HXRColorCvtController* controller);       // 64, 32, 256 or 0
uint32_t HXRGetInkQuantityElementSize(const HXRColorCvtController* controller);   // 1, 2 or 0
uint32_t HXRGetColorCvtTextEnhance(const HXRColorCvtController* controller);      // kinds 1, 2; else 0
uint32_t HXRGetColorCvtPixelOffset(const HXRColorCvtController* controller);      // kinds 1, 2; else 0
// One pixel through the converter's table (HXRGetColorConvert3DData on a 3D
// controller with colourMode 3, HXRGetColorConvert4DData on a 4D one with
// colourMode 4): 0 with `channels` codes at out; 1 for any other
// combination, a null controller, out or pixel, or the converter's refusal.
uint32_t HXRGetColorConvertColorConvertData(const HXRColorCvtController* controller, uint8_t* out,
                                            const uint8_t* pixel, uint32_t colourMode, uint32_t mode,
                                            uint32_t useAttribute, int32_t channels);

// The TNMX converter's table record / table of intent 0 or 1; null for any
// other kind or intent.
const HXRLutTNMXData* HXRGetTNMXLutInfo(const HXRColorCvtController* controller, uint32_t intent);
const uint32_t* HXRGetTNMXLutData(const HXRColorCvtController* controller, uint32_t intent);
