// Steps the two printer-side package builders share while they assemble
// their per-job data set (an HXRTRAQ2Data they delete again once the package
// is written): how the per-colour words act, the SML data managers of parts
// 0 and 1 of every intent, and the dither data managers.
#pragma once

#include "hxr/control/hxr_traq2_data.h"

#include <cstdint>

inline constexpr uint32_t kHxrPkgMultiDuty = 1;  // the per-colour words are multi-duty factors
inline constexpr uint32_t kHxrPkgDutyRecord = 2; // a duty-factor record scales the colour tables instead

// kHxrPkgMultiDuty when both intents' words are multi-duty words, else
// kHxrPkgDutyRecord when the option record holds a valid duty-factor record;
// 0 after recording notRecordCode (no record) or rangeCode (value outside
// 128..8192).
uint32_t HXRPkgDutyMode(const HXRDataSetOptions* values, const _HXR_OPTION_INFO* option, const HXRClrMgr* colours,
                        const char* dutyModeId, uint32_t notRecordCode, uint32_t rangeCode);

// The option record's LUT channel mode of an intent.
uint32_t HXRPkgChannelMode(const _HXR_OPTION_INFO* option, uint32_t intent);

struct HXRPkgSmlRequest {
    const HXRResReadController* readCtrl;
    uint32_t expectedG;
    uint32_t needLut;
    const _HXR_HALFTONE_INFO* halftone;
    HXRBlobRef calibration;
    HXRBlobRef printerId;
    const HXRServiceTable* services;
    uint32_t dutyMode;        // kHxrPkgMultiDuty applies colorWords of each intent
    const uint32_t* const* colorWords;
    bool expandTnmx;          // expand the monochrome-photo rates to 512 levels
};
// set->sml[i][part] for every intent of the set, part 0 then part 1; false
// when a manager fails (its code recorded), a multi-duty step or expansion
// fails, or intent 0 has no part-0 manager.
bool HXRPkgMakeSml(HXRTRAQ2Data* set, const HXRPkgSmlRequest& request, const HXRClrMgr* colours,
                   HXRMemMgr* manager);

// Threshold (x, y) of a dither data object, whatever its layout (rows or
// row pairs); 0xFFFFFFFF outside it.
uint32_t HXRPkgThreshold(const HXRTRAQ2DthSingleData* data, uint32_t x, uint32_t y);

// set->dither[i] in the layout for every intent with dither resources; false
// unless intent 0's is made and every area of each made manager has its
// dither and offset data.
bool HXRPkgMakeDither(HXRTRAQ2Data* set, const HXRResReadController* readCtrl, const HXRDthLayout& layout,
                      const HXRClrMgr* colours, HXRMemMgr* manager);
