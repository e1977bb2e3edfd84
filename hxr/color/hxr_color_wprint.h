// The white-print parameter block (HXRColorCvtWPrintParam,
// hxr/control/hxr_value_settings.h): its defaults, the three setters behind
// the white-print keys of the engine's set-value entry (1024 output mode,
// 1025 W info, 1026 reduction info), the check at job start and the loading
// of the reduction curves. The 3D converter completes the block (W channel)
// and copies it at creation; the white-print kernels read only that copy.
//
// Scales: weights have 12 fraction bits (4096 = 1.0); caps and bounds are
// given on the 8-bit ink scale with 12 fraction bits (0xFF000 = full ink) and
// stored x 256, on the decoded-amount scale of the double-gamma coding (full
// ink 0xFF00000). The scaled bounds are bound x factor, at most 0xFF00000.
//
// Results: the setters and the check answer 1 for success and 0 for failure
// (the set-value entry turns 0 into its own codes); nothing is recorded in
// the error record. A failing setter keeps what it stored before the failing
// check and leaves its info flag as it was. A reduction setting whose curves
// cannot both be loaded keeps the block's earlier curves (and frees the one
// it did load), so reduction info that is flagged always has both curves.
// Curves come from the instance's memory manager and live until it is
// deleted.
#pragma once

#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_value_settings.h"

#include <cstdint>

// Key 1024: the output mode, 0..2 (taken unsigned: -1 cannot be set again).
struct HXRColorCvtWPrintOutputInfo {
    uint32_t outputMode;
};

// Key 1025.
struct HXRColorCvtWPrintWInfo {
    uint32_t weight[kHxrWPrintChannels];  // 0..32768
    uint32_t cap[kHxrWPrintChannels];     // 0..0xFF000
    uint32_t upperBound;                  // 0..0xFF000, not below the lower bound
    uint32_t lowerBound;                  // 0..0xFF000
    uint32_t factor;                      // 0..16
};

// Key 1026. The curve set is read during the call only: header u8 curve
// count n (1..255), u16 LE entries per curve (256), u8 bytes per entry (2),
// u8 fraction bits (12), then n curves of 256 u16 LE multipliers at
// 5 + 512 i. The set must hold the n curves its header announces.
struct HXRColorCvtWPrintReductionInfo {
    uint32_t kind;             // must be 3
    uint32_t firstLevels[4];   // the first three are read, 0..255
    uint32_t secondLevels[4];  // the first three are read, 0..255
    uint32_t colourCurveNumber;
    uint32_t wCurveNumber;
    const uint8_t* curveSet;
};

inline constexpr uint32_t kHxrWPrintReductionKind = 3;
inline constexpr uint32_t kHxrWPrintMaxWeight = 32768;
inline constexpr uint32_t kHxrWPrintMaxLevel = 0xFF000;  // caps and bounds as given
inline constexpr uint32_t kHxrWPrintMaxAmount = 0xFF00000;
inline constexpr uint32_t kHxrWPrintMaxFactor = 16;
inline constexpr uint32_t kHxrWPrintCurveHeader = 5;
inline constexpr uint32_t kHxrWPrintCurveBytes = 512;

// Output mode -1, flags 0, W channel -1, every other field 0xFFFFFFFF
// except the scaled bounds (0) and the curves (null). Nothing for null.
void HXRSetHXRColorCvtWPrintParamDefaultValue(HXRColorCvtWPrintParam* block);

// Stores the mode into `outputMode` (the block's field). 0 for a null
// pointer or a mode above 2.
uint32_t HXRSetColorCvtWPrintOutputInfo(int32_t* outputMode, const HXRColorCvtWPrintOutputInfo* info);

// Weights, then caps (x 256), each checked and stored in channel order; then
// bounds and factor checked together and stored with the scaled bounds; sets
// flag bit 0. 0 on a null pointer or a value out of range.
uint32_t HXRSetColorCvtWPrintWInfo(HXRColorCvtWPrintParam* block, const HXRColorCvtWPrintWInfo* info);

// Kind 3; levels 0..255 stored per k, the fourth ones 0, the range the
// largest second level; the curve set's header; both curves loaded; sets
// flag bit 1. 0 on any failure.
uint32_t HXRSetColorCvtWPrintReductionInfo(HXRColorCvtWPrintParam* block, const HXRColorCvtWPrintReductionInfo* info,
                                           HXRMemMgr* memory);

// Curve `number` of a set of `count` curves widened to 256 u32 in a new
// block; null when the number is not below the count, the set is null or
// memory runs out.
uint32_t* GetReductionCurve(const uint8_t* curveSet, uint32_t count, uint32_t number, HXRMemMgr* memory);

// 1 when the flags fit the output mode, else 0 (also for null):
//   flags   mode -1   0   1            2
//   0       valid     no  valid        no
//   1       no        ok  ok, flags 0  ok
//   2       no        no  ok           no
//   3       no        ok  ok, flags 2  ok
// Any other mode or flags value is invalid. Colour-only mode drops W info.
uint32_t HXRCheckColorCvtWPrintParam(HXRColorCvtWPrintParam* block);
