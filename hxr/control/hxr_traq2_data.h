// The host halftoning data set of a job (built once at the job start when the
// host halftones): per intent a colour table slice, a primary and a secondary
// SML data manager, a dither data manager and a UBEC data manager, and the
// user colour table.
//
// The builder asks the halftone controller what the job's converter and
// binariser need; the caller hands those answers in as one record
// (HXRHtCtrlAnswers), filled from the controller's getters.
//
// Calling order: HXRCreateTRAQ2Data, the getters while the job runs,
// HXRDeleteTRAQ2Data (or the memory manager's deletion with the instance).
// Every object lives in the instance's memory manager; the data set owns
// them all and deletes each once.
//
// Errors: no data set, with the first failure in the error record: 6151
// (the per-colour words are neither multi-duty words nor a duty-factor
// record), 6152 (a duty factor out of range), and the codes of the slices and
// managers it builds; 6101 a delete of nothing.
#pragma once

#include "hxr/control/hxr_dth_data.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_sml_mgr.h"
#include "hxr/control/hxr_ubec_data.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    kHxrDataSetNone = 6101,
    kHxrDutyNotARecord = 6151,
    kHxrDutyOutOfRange = 6152,
};

// What the halftone controller answers, getter by getter.
struct HXRHtCtrlAnswers {
    uint32_t needLut;           // HXRNeedLut
    uint32_t lutType;           // HXRGetLutType: 3, 4 or 17
    uint32_t lutGridNum;        // HXRGetLutGridNum
    uint32_t lutGridInfoType;   // HXRGetLutGridInfoType
    uint32_t colorConvertMode;  // HXRGetColorConvertMode
    uint32_t smlGradNum;        // HXRGetHtCtrlSmlGradNum
    uint32_t needDth;           // HXRNeedDth
    uint32_t dthOrder;          // HXRGetDthOrder
    uint32_t dthThreshAddition; // HXRGetDthThreshAddition
    uint32_t dthDataBytes;      // HXRGetDthDataBytes
    uint32_t dthUpdatePixel;    // HXRGetDthThreshUpdatePixel
    uint32_t dthDataType;       // HXRGetDthDataType
    uint32_t needUBEC;          // HXRNeedUBEC
    uint32_t ubecBlockKind;     // HXRGetUBECBlockSize
    uint32_t ubecEncodeStep;    // HXRGetUBECEncodeStep
    uint32_t ubecTableType;     // HXRGetUBECTableType
    uint32_t ubecSmlCalib;      // HXRNeedUBECSmlCalib
    uint32_t halftoneColorNum;  // HXRGetHtCtrlHalftoneColorNum
};

// The instance's values the data set reads besides the option record: per
// intent the twelve per-colour words (multi-duty words, 1024 = 100 %, or a
// duty-factor record) and the twelve PatternD values by output colour
// position (null: all 0), and the private copies of the option record's
// blobs with their sizes (null data: none).
struct HXRDataSetOptions {
    const uint32_t* colorWords[2];
    const uint32_t* patternD[2];
    HXRBlobRef printerId;
    HXRBlobRef calibration;
    HXRBlobRef userColor;
};

struct HXRTRAQ2Data {
    uint32_t intentNum;
    HXRLutSlc* lut[2];
    HXRSmlDataMgr* sml[2][2];  // [intent][0 primary, 1 secondary]
    HXRTRAQ2DthDataMgr* dither[2];
    HXRTRAQ2UBECDataMgr* ubec[2];
    HXRLutUserData* user;
};

HXRTRAQ2Data* HXRCreateTRAQ2Data(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                                 const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                 const HXRDataSetOptions* values, const HXRServiceTable* services,
                                 const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId);
// Deletes every object of the data set once, then the record; 6101 for null.
uint32_t HXRDeleteTRAQ2Data(HXRTRAQ2Data* set, HXRMemMgr* manager);

// Getters: null for a null set, an intent above 1 or a missing object.
HXRLutData* HXRGetLut3DData(const HXRTRAQ2Data* set, uint32_t intent);
HXRLutData* HXRGetLut4DData(const HXRTRAQ2Data* set, uint32_t intent);
HXRLutTNMXData* HXRGetLutTNMXData(const HXRTRAQ2Data* set, uint32_t intent);
HXRSmlDataMgr* HXRGetSmlDataMgr(const HXRTRAQ2Data* set, uint32_t intent, uint32_t which);
HXRTRAQ2DthDataMgr* HXRGetDthDataMgr(const HXRTRAQ2Data* set, uint32_t intent);
HXRTRAQ2UBECDataMgr* HXRGetUBECDataMgr(const HXRTRAQ2Data* set, uint32_t intent);
HXRLutUserData* HXRGetLutUserData(const HXRTRAQ2Data* set);
// 0 when the intent has no secondary SML data manager or its two managers
// agree in every colour's levels, dot count and dot weights; 1 otherwise or
// for a bad argument.
uint32_t HXRCheckCoordinationSml(const HXRTRAQ2Data* set, uint32_t intent);

// The level of the colour's corrected SML table whose rate sum is nearest
// the sum S of its rates at `level` (the first level reaching S, or the one
// before it when that is strictly nearer; 0 when level 0 already exceeds S;
// the last level when none reaches S). 0xFFFFFFFF for a level not below the
// table's levels or any other failure.
uint32_t HXRCalibPatternDitherUpperValue(HXRSmlDataMgr* sml, uint32_t level, uint32_t outputIndex,
                                         uint32_t inkCode, const HXRClrMgr* colours, HXRMemMgr* manager);
