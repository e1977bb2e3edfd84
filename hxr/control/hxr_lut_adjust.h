// The user's picture controls burnt into a job's colour tables once, while
// the tables are built (hxr_lut_build.h), so the kernels never see them:
// brightness, contrast, saturation, gamma and three balances reshape a 3D
// table and its gray table; a duty factor scales ink codes; the
// monochrome-photo controls reshape the monochrome-photo table through
// double-precision tone curves, a colour tone and an ink limit.
//
// Everything works in place on the working records (hxr_lut_work.h) and
// takes scratch memory from the instance's memory manager. The colour
// controls use integer arithmetic (with a table of prime logarithms) wide
// enough for every input; only the monochrome-photo curves use doubles.
//
// Error codes: 9031 brightness, contrast, saturation or a balance outside
// -50..50; 9032 gamma neither -1 nor 50..300; 9033 saturation or a balance
// non-zero for a monochrome table; 9034 duty factor outside 128..8192.
// Monochrome-photo failures return 1 without a code.
#pragma once

#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_lut_work.h"
#include "hxr/control/hxr_memory.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    kHxrAdjustRange = 9031,
    kHxrAdjustGamma = 9032,
    kHxrAdjustMono = 9033,
    kHxrAdjustDutyRange = 9034,
};

// Tone words of the option record.
enum : uint32_t {
    kToneGamma = 0, kToneBrightness = 1, kToneContrast = 2, kToneSaturation = 3,
    kToneBalance1 = 4, kToneBalance2 = 5, kToneBalance3 = 6, kToneTnmx = 7,
};
// The nine monochrome-photo words from kToneTnmx on.
enum : uint32_t {
    kTnmxCircleX = 0, kTnmxCircleY = 1, kTnmxGamma = 2, kTnmxBrightness = 3, kTnmxContrast = 4,
    kTnmxShadow = 5, kTnmxHighlight = 6, kTnmxMaxOd = 7, kTnmxHighlightPoint = 8, kTnmxControlCount = 9,
};

// round(5000 ln p) of the 97 primes 2 .. 509.
inline constexpr uint32_t kHxrLogPrimes = 97;
extern const uint32_t LogTable[kHxrLogPrimes];
// 5000 ln n from the prime factors of n (1..511).
uint32_t LogInteger(uint32_t n);

// Curves of 256 levels, each entry 0..255 after the call.
void AdjustBrightness(int32_t* curve, int32_t brightness);
void AdjustContrast(int32_t* curve, int32_t contrast);
// Adds the gamma's tone offset and the balance to each of the three curves.
void AdjustStrengthAndGamma(int32_t* curve1, int32_t* curve2, int32_t* curve3, int32_t balance1, int32_t balance2,
                            int32_t balance3, uint32_t gamma, uint32_t tableGamma);

// The 3D table (and gray table, when given) reshaped by the option record's
// seven tone words; a 4D table is left as it is. 0, or 1 with a code.
uint32_t HXRAdjustColor(HXRLutWork* work, HXRGrayLutWork* grayWork, const _HXR_OPTION_INFO* optionInfo,
                        uint32_t monochrome, HXRMemMgr* mem);

// block: twelve words, the 16 identifier bytes, the value, seven words
// 0xFFFFFFFF. 0 valid; 1 not a duty-factor block (or null); 2 value outside
// 128..8192.
uint32_t HXRCheckDutyFactorParam(const uint32_t* block, const char* dutyModeId);
// A 3D table's codes (and gray values) become min(255, (v d + 512) >> 10); a
// 4D table records d for its grid levels. A block that is no duty block
// means 100 %. 0; 1 (9034) for a value out of range.
uint32_t HXRAdjustDuty(HXRLutWork* work, HXRGrayLutWork* grayWork, const uint32_t* block, const char* dutyModeId);
// The same scaling on an additional table's bytes.
uint32_t HXRAdjsutDutyAdditionalLUT(HXRAdditionalLut* lut, const uint32_t* block, const char* dutyModeId);

// The monochrome-photo table reshaped by the nine controls. 0, or 1.
uint32_t HXRAdjustColorTNMX(HXRLutTNMXWork* work, const int32_t* tnmxControls, HXRMemMgr* mem);
// Sorts the pairs by input (bubble sort, outputs following their inputs).
void tnmx_sort(int32_t* inputs, int32_t* outputs, uint32_t count);
