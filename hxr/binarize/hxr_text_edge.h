// Text-edge step. With the 2:1 horizontal reduction (output scale 0x20001)
// every output pixel stands for two input pixels, and a hard black-to-white
// edge inside such a pair would otherwise be halftoned as a mid-grey. After
// binarisation of a band, the step finds the pairs in which one pixel is pure
// black (all three samples 0) and the other pure white (all three 255) and
// leaves at that output pixel only one dot of code 2, in the plane of ink
// code 0 (or 12 where the ink set has no 0). A job switches it on with the
// text-enhance value 3.
//
// The step reads the job's halftone controller through its two parts: the
// colour-conversion controller (kind, text-enhance setting, ink element size,
// input pixel stride and sample size) and the binarize controller (planes'
// bits and pixels, halftone colours, output order of the target ink).
//
// Input: the line table the colour converter got, three sample pointers per
// line (line-major). Pixel x of a line lies x x stride samples from the
// pointer; of a 16-bit sample the high byte is tested, as the converters use
// it. Planes: the band's plane table (hxr_bnrz_evrclr.h); only the head-0
// planes of the band's lines are touched, pixel p in byte p / 4 at bits
// 7 - 2 (p mod 4) and 6 - 2 (p mod 4). Dot counters are not adjusted.
//
// The step does nothing (result 0) where it cannot apply: planes other than
// 2-bit, a target not below the halftone colour count, a null sample pointer;
// a null plane is skipped. An odd pixel count ends at the last whole pair.
// No error code is recorded.
#pragma once

#include "hxr/binarize/hxr_bnrz_ctrl.h"
#include "hxr/color/hxr_color_ctrl.h"
#include "hxr/control/hxr_clrmgr.h"
#include "ovcg/hxr.h"

#include <cstdint>

inline constexpr uint32_t kHxrTextEnhanceOff = 0;
inline constexpr uint32_t kHxrTextEnhancePairEdge = 3;

// 1 when text-enhance mode 3 may be set: output scale 0x20001, dot mode 2, 34
// or 66, and 1, 4 or 5 output colours; else 0 (also for null arguments).
uint32_t IsTextEdge07Condition(const _HXR_HALFTONE_INFO* halftone, const HXRClrMgr* colours);

// The band step: 0 done or nothing to do (not the RGB LUT converter, setting
// 0, 16-bit ink, no target ink); 1 for a null controller part, line table or
// plane table, a negative pixel count or x offset, a line count other than 1
// and 2, output pixels past the planes, or a failing pass.
uint32_t HXRTextEnhance(const HXRColorCvtController* colourCvt, const HXRBinarizeController* binarize,
                        const uint8_t* const* input, uint8_t* const* planes, int32_t count, int32_t x0, int32_t lines);

// One pass with the given setting, halftone colour count and target plane
// index: at an edge a setting other than 3 ends the pass with 1. Arguments as
// for HXRTextEnhance.
uint32_t HXRTextEnhanceColor(uint32_t setting, const HXRColorCvtController* colourCvt,
                             const HXRBinarizeController* binarize, const uint8_t* const* input,
                             uint8_t* const* planes, int32_t count, int32_t x0, int32_t lines, uint32_t halftoneColors,
                             uint32_t target);
