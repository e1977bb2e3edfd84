// How the job start reaches the printer-side packages (hxr_packages.h): the
// SLUT package (output flag 2) and the RH package (output flag 4), through
// one table of functions. The library's default binds the package builders;
// a table entry left empty makes the job start refuse the flag that needs it
// (20208, 20209) and the getters answer their refusal. Tests install fakes
// with HXRSetPackageOps.
#pragma once

#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_traq2_data.h"
#include "ovcg/hxr.h"

#include <cstdint>

struct HXRSlut;    // the SLUT package: its bytes and their size
struct HXRRHData;  // the RH package

// Everything a package builder reads of the job. The read controller has read
// every resource of the print mode; answers are the halftone controller's
// (null when the job has none); added[i] the instance's additional table of
// intent i (size 0 when none).
struct HXRPackageInputs {
    const HXRResReadController* readCtrl;
    const HXRHtCtrlAnswers* answers;
    const _HXR_HALFTONE_INFO* halftone;
    const _HXR_OPTION_INFO* option;
    const HXRDataSetOptions* values;
    const HXRAdditionalLut* added;  // two entries
    const HXRServiceTable* services;
    const HXRClrMgr* colours;
    HXRMemMgr* memory;
    const char* dutyModeId;
};

struct HXRPackageOps {
    // Null on failure, with the builder's code in the error record.
    HXRSlut* (*createSlut)(const HXRPackageInputs* in);
    // 0 with the package's bytes and size; non-zero for a null argument.
    uint32_t (*getSlut)(const HXRSlut* slut, const uint8_t** data, uint32_t* size);
    HXRRHData* (*createRH)(const HXRPackageInputs* in);
    // Each 0 with a pointer and a size, else the getter's own code. kind /
    // reserved as the RH getters take them; new blocks come from memory.
    uint32_t (*getRHData)(const HXRRHData* rh, const void** data, uint32_t* size);
    uint32_t (*getRHCommonData)(const HXRRHData* rh, void** data, uint32_t* size, uint32_t reserved,
                                HXRMemMgr* memory);
    uint32_t (*getRHLutData)(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* memory);
    uint32_t (*getRHDitherData)(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind,
                                HXRMemMgr* memory);
    uint32_t (*getRHUBECData)(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* memory);
};

// The table job starts take: the library's default unless a test installed
// another; null restores the default.
const HXRPackageOps* HXRGetPackageOps();
void HXRSetPackageOps(const HXRPackageOps* ops);
const HXRPackageOps* HXRDefaultPackageOps();
