// White-print parameters: the defaults of the instance's white-print block,
// the three setters behind the white-print keys of the set-value entry, and
// the check the job start makes.
//
// Every setter checks the whole record before it stores anything, so a
// refused record leaves the block as it was. The reduction curves come from
// the instance's memory manager; a later successful setting frees the curves
// it replaces.
//
// Results: the setters and the check answer 1 (stored / consistent) or 0.
#pragma once

#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_value_settings.h"

#include <cstdint>

inline constexpr uint32_t kHxrWPrintInfoW = 1;
inline constexpr uint32_t kHxrWPrintInfoReduction = 2;
inline constexpr uint32_t kHxrWPrintMaxWeight = 32768;     // 8.0 with 12 fraction bits
inline constexpr uint32_t kHxrWPrintMaxLevel = 0xFF000;    // full ink on the 8-bit scale, 12 fraction bits
inline constexpr uint32_t kHxrWPrintMaxFactor = 16;
inline constexpr uint32_t kHxrWPrintMaxScaled = 0xFF00000; // full ink on the decoded-amount scale
inline constexpr uint32_t kHxrWPrintReductionKind = 3;
inline constexpr uint32_t kHxrWPrintCurveEntries = 256;

// Key 1024.
struct HXRColorCvtWPrintOutputInfo {
    uint32_t outputMode;  // 0 W only, 1 colour only, 2 both
};
// Key 1025: weights (4096 = 1.0) and caps per LUT channel, bounds on the
// 8-bit ink scale with 12 fraction bits, and the bound factor.
struct HXRColorCvtWPrintWInfo {
    uint32_t weight[kHxrWPrintChannels];
    uint32_t cap[kHxrWPrintChannels];
    uint32_t upperBound;
    uint32_t lowerBound;
    uint32_t factor;
};
// Key 1026. The curve set: u8 count n (1..255), u16le entries per curve (256),
// u8 bytes per entry (2), u8 fraction bits (12), then n curves of 256 u16le
// multipliers from byte 5; it is read only during the call.
struct HXRColorCvtWPrintReductionInfo {
    uint32_t kind;  // 3
    uint32_t firstLevels[4];
    uint32_t secondLevels[4];
    uint32_t colourCurve;
    uint32_t wCurve;
    const uint8_t* curveSet;
};

void HXRSetHXRColorCvtWPrintParamDefaultValue(HXRColorCvtWPrintParam* block);
// Stores a mode of 0..2 (so "off" cannot be set again).
uint32_t HXRSetColorCvtWPrintOutputInfo(int32_t* outputMode, const HXRColorCvtWPrintOutputInfo* info);
uint32_t HXRSetColorCvtWPrintWInfo(HXRColorCvtWPrintParam* block, const HXRColorCvtWPrintWInfo* info);
uint32_t HXRSetColorCvtWPrintReductionInfo(HXRColorCvtWPrintParam* block, const HXRColorCvtWPrintReductionInfo* info,
                                           HXRMemMgr* memory);
// Curve `number` of the set widened to 256 u32 entries; null when the number
// is not below the count or memory runs out.
uint32_t* GetReductionCurve(const uint8_t* curveSet, uint32_t count, uint32_t number, HXRMemMgr* memory);
// 1 when the block's info flags fit its output mode; colour-only output drops
// the W info.
uint32_t HXRCheckColorCvtWPrintParam(HXRColorCvtWPrintParam* block);
