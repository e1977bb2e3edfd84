// The engine instance behind the HXR_ entry points (include/ovcg/hxr.h):
// one job's records, set values, colour manager, halftone controller, data
// set and packages, all inside the instance's own memory manager, so that
// deleting the instance frees the job at once.
//
// States: created (HXR_CreateInstanceEx) -> values set (HXR_SetValue) ->
// started (HXR_StartJob). HXR_CreateInstance goes straight to started. A job
// start that fails leaves the instance in the failed state, in which only
// the deletion and the calls that check the handle alone are answered; the
// band calls then find no controller and refuse.
//
// The job start records the controller, the data set and the packages in the
// instance only when every step succeeded; a failed start keeps what it made
// in the memory manager until the instance is deleted.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_ht_ctrl.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_package_ops.h"
#include "hxr/control/hxr_traq2_data.h"
#include "hxr/control/hxr_value_settings.h"
#include "ovcg/hxr.h"

#include <cstdint>

// State bits.
inline constexpr uint32_t kHxrStateByCreateInstance = 1;  // made and started by HXR_CreateInstance
inline constexpr uint32_t kHxrStateCreated = 2;
inline constexpr uint32_t kHxrStateValueSet = 4;
inline constexpr uint32_t kHxrStateStarted = 8;
inline constexpr uint32_t kHxrStateStartFailed = 16;      // a job start ran and failed

inline constexpr char kHxrDutyFactorModeId[] = "DUTY_FACTOR_MODE";
inline constexpr uint32_t kHxrOutputScaleHalf = 0x20001;

// Codes of the instance's entry points (each function's own block).
inline constexpr uint32_t kHxrDefaultNull = 101;
inline constexpr uint32_t kHxrCreateFailed = 201;
inline constexpr uint32_t kHxrStartFailed = 202;
inline constexpr uint32_t kHxrDutyNull = 2201;
inline constexpr uint32_t kHxrDutyRange = 2203;
inline constexpr uint32_t kHxrColorConvertDataAlways = 2305;

inline constexpr uint32_t kHxrCreateNull = 20001;
inline constexpr uint32_t kHxrCreateServices = 20002;
inline constexpr uint32_t kHxrCreateNoMemMgr = 20003;
inline constexpr uint32_t kHxrCreateNoInstance = 20004;
inline constexpr uint32_t kHxrCreateBlob = 20005;

inline constexpr uint32_t kHxrSetNull = 20101;
inline constexpr uint32_t kHxrSetNullValue = 20102;
inline constexpr uint32_t kHxrSetByCreateInstance = 20103;
inline constexpr uint32_t kHxrSetNotCreated = 20104;
inline constexpr uint32_t kHxrSetStarted = 20105;
inline constexpr uint32_t kHxrSetUnknownKey = 20106;
inline constexpr uint32_t kHxrSetColorTableA = 20107;
inline constexpr uint32_t kHxrSetColorTableB = 20108;
inline constexpr uint32_t kHxrSetWPrintOutput = 20109;
inline constexpr uint32_t kHxrSetWPrintW = 20110;
inline constexpr uint32_t kHxrSetWPrintReduction = 20111;
inline constexpr uint32_t kHxrSetPatternDAValue = 20112;
inline constexpr uint32_t kHxrSetPatternDBValue = 20113;
inline constexpr uint32_t kHxrSetUnderWhiteValue = 20114;
inline constexpr uint32_t kHxrSetUnderWhiteNotCmyk = 20115;
inline constexpr uint32_t kHxrSetColourManager = 20116;
inline constexpr uint32_t kHxrSetPatternDAPosition = 20117;
inline constexpr uint32_t kHxrSetPatternDBPosition = 20118;
inline constexpr uint32_t kHxrSetAddedLut0 = 20119;
inline constexpr uint32_t kHxrSetAddedLut1 = 20120;
inline constexpr uint32_t kHxrSetTextEnhanceValue = 20121;
inline constexpr uint32_t kHxrSetTextEnhanceCondition = 20122;
inline constexpr uint32_t kHxrSetReductionValue = 20123;
inline constexpr uint32_t kHxrSetReductionScale = 20124;

inline constexpr uint32_t kHxrStartNull = 20201;
inline constexpr uint32_t kHxrStartByCreateInstance = 20202;
inline constexpr uint32_t kHxrStartNotCreated = 20203;
inline constexpr uint32_t kHxrStartAgain = 20204;
inline constexpr uint32_t kHxrStartPrintMode = 20205;
inline constexpr uint32_t kHxrStartController = 20206;
inline constexpr uint32_t kHxrStartDataSet = 20207;
inline constexpr uint32_t kHxrStartSlut = 20208;
inline constexpr uint32_t kHxrStartRH = 20209;
inline constexpr uint32_t kHxrStartResourceData = 20210;
inline constexpr uint32_t kHxrStartHybridED = 20211;
inline constexpr uint32_t kHxrStartFreeController = 20212;
inline constexpr uint32_t kHxrStartDeleteReadCtrl = 20213;
inline constexpr uint32_t kHxrStartFreePrinterId = 20214;
inline constexpr uint32_t kHxrStartFreeCalibration = 20215;
inline constexpr uint32_t kHxrStartFreeUserColor = 20216;
inline constexpr uint32_t kHxrStartWPrint = 20217;
inline constexpr uint32_t kHxrStartHalfScale = 20218;

inline constexpr uint32_t kHxrEndJobNull = 20301;

// Error record only.
inline constexpr uint32_t kHxrRecordColourManager = 9012;
inline constexpr uint32_t kHxrRecordServices = 9021;
inline constexpr uint32_t kHxrRecordMemMgr = 9022;
inline constexpr uint32_t kHxrRecordAddedNeedsRH = 20401;
inline constexpr uint32_t kHxrRecordAddedNeedsDuty = 20402;

// The private copies of the option record's blobs, in option order.
enum HXRBlob : uint32_t { kHxrBlobPrinterId, kHxrBlobCalibration, kHxrBlobUserColor, kHxrBlobCount };

struct HXRInstance {
    HXRMemMgr* memory;
    HXRClrMgr* colours;
    HXRHtController* htCtrl;  // null without output flag 1
    HXRSlut* slut;            // null without output flag 2
    HXRRHData* rh;            // null without output flag 4
    uint32_t lutGamma[2];     // the table's double gamma at 0 and 255; 0xFFFFFFFF unavailable
    uint32_t dotGamma[kHxrMaxInks][2];
    HXRTRAQ2Data* dataSet;
    _HXR_IMAGE_INFO image;
    _HXR_HALFTONE_INFO halftone;
    _HXR_OPTION_INFO option;  // its blob pointers are the private copies (null once freed)
    HXRServiceTable services;
    uint32_t blobSize[kHxrBlobCount];
    uint32_t outputFlags;
    uint32_t colorTable[2][kHxrMaxInks];  // per-colour tables A and B
    HXRValueSettings values;
    HXRAdditionalLut added[2];
    uint32_t state;
};

// Bytes of a blob from its own head (0 for an unknown printer-identifier form
// or a calibration blob shorter than its length word).
uint32_t HXRBlobLength(HXRBlob kind, const uint8_t* blob);
// The real output colour codes of a colour manager as signed bytes; their
// count, 0 when there is none or a code reads 255.
uint32_t HXRWriteRealOutputCodes(const HXRClrMgr* colours, signed char* codes);

// The instance's bands cut their long HybridED runs for a helper thread
// from now on (HXRCutHtRuns); *slot is the slot, which lives as long as the
// instance. 0 when cut; 1 for a null instance, slot pointer or halftone
// controller, or as HXRCutHtRuns refuses (*slot null).
uint32_t HXRCutInstanceRuns(void* handle, HXRHybridEDTailSlot** slot);
