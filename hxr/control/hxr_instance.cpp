// Instance life cycle: creation, job start and deletion.
#include "hxr/control/hxr_instance.h"

#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/color/hxr_color_wprint.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kStartedOrFailed = kHxrStateStarted | kHxrStateStartFailed;

HXRInstance* as_instance(void* handle) { return static_cast<HXRInstance*>(handle); }

// The defaults an instance takes without an option record.
_HXR_OPTION_INFO default_option() {
    _HXR_OPTION_INFO o{};
    HXR_GetDefaultValue(&o);
    return o;
}

const unsigned char** blob_slot(_HXR_OPTION_INFO& o, uint32_t kind) {
    switch (kind) {
        case kHxrBlobPrinterId: return &o.printerId;
        case kHxrBlobCalibration: return &o.calibration;
        default: return &o.userColor;
    }
}

// Private copies of the option record's blobs; false when one is refused or
// cannot be copied (the copies made so far are freed again).
bool copy_blobs(HXRInstance* inst) {
    for (uint32_t kind = 0; kind < kHxrBlobCount; ++kind) {
        const unsigned char*& slot = *blob_slot(inst->option, kind);
        const uint8_t* blob = slot;
        slot = nullptr;
        if (!blob) continue;
        const uint32_t length = HXRBlobLength(static_cast<HXRBlob>(kind), blob);
        uint8_t* copy = length ? static_cast<uint8_t*>(HXRAllocMem(inst->memory, length)) : nullptr;
        if (!copy) {
            for (uint32_t k = 0; k < kind; ++k) {
                const unsigned char*& made = *blob_slot(inst->option, k);
                HXRFreeMem(inst->memory, const_cast<unsigned char*>(made));
                made = nullptr;
                inst->blobSize[k] = 0;
            }
            return false;
        }
        inst->services.MemCpy(copy, blob, length);
        slot = copy;
        inst->blobSize[kind] = length;
    }
    return true;
}

HXRBlobRef blob_ref(const HXRInstance* inst, uint32_t kind) {
    const unsigned char* const blobs[kHxrBlobCount] = {inst->option.printerId, inst->option.calibration,
                                                       inst->option.userColor};
    return {blobs[kind], inst->blobSize[kind]};
}

HXRDataSetOptions data_set_options(const HXRInstance* inst) {
    HXRDataSetOptions v{};
    v.colorWords[0] = inst->colorTable[0];
    v.colorWords[1] = inst->colorTable[1];
    v.patternD[0] = inst->values.patternD[0];
    v.patternD[1] = inst->values.patternD[1];
    v.printerId = blob_ref(inst, kHxrBlobPrinterId);
    v.calibration = blob_ref(inst, kHxrBlobCalibration);
    v.userColor = blob_ref(inst, kHxrBlobUserColor);
    return v;
}

// The table the job converts through when it has no controller to ask.
uint32_t lut_type_of(const HXRInstance* inst, const HXRHtController* ctrl) {
    if (ctrl) return HXRGetLutType(ctrl);
    if (inst->halftone.docType == kHxrDocTypeTNMX) return kLutSliceTNMX;
    if (inst->image.colorMode == kHxrColorModeRGB) return kLutSlice3D;
    if (inst->image.colorMode == kHxrColorModeCMYK) return kLutSlice4D;
    return 0;
}

// The two-to-one reduction has no kernels for user colours, white print,
// under-white, tables other than 3D and 4D, or ink planes given directly.
bool half_scale_refused(const HXRInstance* inst, const HXRHtController* ctrl) {
    if (inst->halftone.scale != kHxrOutputScaleHalf) return false;
    const uint32_t type = lut_type_of(inst, ctrl);
    return inst->blobSize[kHxrBlobUserColor] != 0 || inst->values.wprint.outputMode != kHxrWPrintOff ||
           inst->values.underWhite != 0 || (type != kLutSlice3D && type != kLutSlice4D) ||
           inst->image.colorMode > kHxrColorModeDirect;
}

// Everything a job start makes before it is recorded in the instance.
struct Started {
    HXRResReadController* readCtrl = nullptr;
    HXRClrMgr* colours = nullptr;
    HXRHtController* ctrl = nullptr;
    HXRTRAQ2Data* dataSet = nullptr;
    HXRSlut* slut = nullptr;
    HXRRHData* rh = nullptr;
};

uint32_t start_steps(HXRInstance* inst, Started& s) {
    HXRMemMgr* mm = inst->memory;
    const uint32_t flags = inst->outputFlags;
    // The print mode.
    s.readCtrl = HXRCreateResReadController(&inst->services, mm);
    if (!s.readCtrl) return kHxrStartPrintMode;
    // The reader's own result goes to the error record when no more specific
    // failure is there (a resource that is missing or cannot be unpacked
    // records nothing by itself).
    if (const uint32_t r = HXRFindPrintMode(s.readCtrl, &inst->halftone, &inst->option)) {
        HXRSetErrorInfo(r);
        return kHxrStartPrintMode;
    }
    const uint32_t black = HXRGetBlackInkCode(s.readCtrl);
    if (black == kNone) return kHxrStartPrintMode;
    // The colours and the resources.
    s.colours = HXRCreateClrMgr(inst->halftone.inkSet, inst->halftone.outputBits, black, mm);
    if (!s.colours) {
        HXRSetErrorInfo(kHxrRecordColourManager);
        return kHxrStartPrintMode;
    }
    if (const uint32_t r = HXRReadAllResource(s.readCtrl, s.colours)) {
        HXRSetErrorInfo(r);
        return kHxrStartPrintMode;
    }
    // The controller.
    if (flags & (HXR_OUTPUT_HOST | HXR_OUTPUT_SLUT)) {
        s.ctrl = HXRCreateHtController(&inst->image, &inst->halftone, &inst->option, &inst->values, s.colours, mm);
        if (!s.ctrl) return kHxrStartController;
    }
    const HXRHtCtrlAnswers answers = HXRGetHtCtrlAnswers(s.ctrl);
    const HXRDataSetOptions values = data_set_options(inst);
    const HXRPackageOps* ops = HXRGetPackageOps();
    const HXRPackageInputs in{s.readCtrl, s.ctrl ? &answers : nullptr, &inst->halftone, &inst->option,
                              &values,    inst->added,                   &inst->services, s.colours,
                              mm,         kHxrDutyFactorModeId};
    // The data sets.
    if (flags & HXR_OUTPUT_HOST) {
        s.dataSet = HXRCreateTRAQ2Data(s.readCtrl, &answers, &inst->halftone, &inst->option, &values, &inst->services,
                                       s.colours, mm, kHxrDutyFactorModeId);
        if (!s.dataSet) return kHxrStartDataSet;
    }
    if (flags & HXR_OUTPUT_SLUT) {
        s.slut = ops->createSlut ? ops->createSlut(&in) : nullptr;
        if (!s.slut) return kHxrStartSlut;
    }
    // The two-to-one reduction.
    if (half_scale_refused(inst, s.ctrl)) return kHxrStartHalfScale;
    // The RH package.
    if (flags & HXR_OUTPUT_RH) {
        s.rh = ops->createRH ? ops->createRH(&in) : nullptr;
        if (!s.rh) return kHxrStartRH;
    }
    // The controller takes the data set, or goes.
    if (flags & HXR_OUTPUT_HOST) {
        if (HXRSetResourceData(s.ctrl, s.dataSet, s.colours, mm) != 0) return kHxrStartResourceData;
        const uint32_t ht = inst->halftone.htType;
        if ((ht == 5 || ht == 6) &&
            HXRSetHybridED(s.ctrl, &inst->image, &inst->halftone, &inst->option, s.colours, mm) != 0)
            return kHxrStartHybridED;
    } else if (s.ctrl) {
        if (HXRDeleteHtController(s.ctrl, mm) != 0) return kHxrStartFreeController;
        s.ctrl = nullptr;
    }
    return 0;
}

// The double gammas of the table and of every output colour's dot sizes.
void record_gammas(HXRInstance* inst, const HXRResReadController* rc, const HXRClrMgr* colours) {
    const HXRLutResParser* lut = HXRGetLutParser(rc, 0);
    const bool colour = inst->halftone.inkSet != 0;
    const uint32_t g0 = colour ? HXRGetLutColorDblGamma0(lut) : HXRGetLutMonoDblGamma0(lut);
    const uint32_t g255 = colour ? HXRGetLutColorDblGamma255(lut) : HXRGetLutMonoDblGamma255(lut);
    inst->lutGamma[0] = lut && g0 == HXRGetDblGamma0(rc, 0) ? g0 : kNone;
    inst->lutGamma[1] = lut && g255 == HXRGetDblGamma255(rc, 0) ? g255 : kNone;
    for (auto& pair : inst->dotGamma) pair[0] = pair[1] = kNone;
    const HXRSmlResParser* sml = HXRGetSmlParser(rc, 0, 0);
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (!sml || n < 1 || n > kHxrMaxInks) return;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t code = HXRGetOutputColorCode(colours, i);
        inst->dotGamma[i][0] = HXRGetSmlDoubleGamma0(sml, code);
        inst->dotGamma[i][1] = HXRGetSmlDoubleGamma255(sml, code);
    }
}

}  // namespace

uint32_t HXRBlobLength(HXRBlob kind, const uint8_t* b) {
    if (!b) return 0;
    switch (kind) {
        case kHxrBlobPrinterId:
            if (b[0] == ' ') return uint32_t{b[1]} + 2;
            if (b[0] == '0') return uint32_t{b[1]} + 256u * b[2] + 3;
            return 0;
        case kHxrBlobCalibration: {
            const uint32_t length = LeToUint32(b);
            return length < 4 ? 0 : length;
        }
        case kHxrBlobUserColor: return (uint32_t{b[2]} + 256u * b[3]) * b[0] + 4;
        default: return 0;
    }
}

uint32_t HXRWriteRealOutputCodes(const HXRClrMgr* colours, signed char* codes) {
    const uint32_t n = HXRGetRealOutputColorNum(colours);
    if (!codes || n == 0 || n > kHxrMaxInks) return 0;
    for (uint32_t i = 0; i < n; ++i)
        if ((HXRGetRealOutputColorCode(colours, i) & 0xFF) == 0xFF) return 0;
    for (uint32_t i = 0; i < n; ++i) codes[i] = static_cast<signed char>(HXRGetRealOutputColorCode(colours, i));
    return n;
}

unsigned int HXR_GetDefaultValue(_HXR_OPTION_INFO* o) {
    if (!o) return kHxrDefaultNull;
    *o = {};
    o->tone[0] = -1;
    o->tone[9] = 220;
    std::fill(o->colorValue, o->colorValue + kHxrMaxInks, 1024u);
    o->inkSelectionMode = 0;
    o->secondDocType = kNone;
    o->channelMode1 = kNone;
    return 0;
}

unsigned int HXR_SetDutyFactorValue(_HXR_OPTION_INFO* o, unsigned int factor) {
    if (!o) {
        HXRSetErrorInfo(kHxrDutyNull);
        return kHxrDutyNull;
    }
    if (factor < 128 || factor > 8192) {
        HXRSetErrorInfo(kHxrDutyRange);
        return kHxrDutyRange;
    }
    uint8_t* words = reinterpret_cast<uint8_t*>(o->colorValue);
    std::copy(kHxrDutyFactorModeId, kHxrDutyFactorModeId + 16, words);
    o->colorValue[4] = factor;
    std::fill(o->colorValue + 5, o->colorValue + 12, 0xFFFFFFFFu);
    return 0;
}

unsigned int HXR_GetOutputColorOrderRough(int inkSet, signed char* codes, const HXRServiceTable* services) {
    if (!codes || !services) return 0;
    HXRMemMgr* mm = HXRCreateMemMgr(services->Alloc, services->Free);
    if (!mm) return 0;
    const uint32_t set = static_cast<uint32_t>(inkSet);
    HXRClrMgr* clr = HXRCreateClrMgr(set, 1, kInkK, mm);
    if (!clr) clr = HXRCreateClrMgr(set, 34, kInkK, mm);
    const uint32_t n = HXRWriteRealOutputCodes(clr, codes);
    HXRDeleteMemMgr(mm);
    return n;
}

unsigned int HXR_CreateInstanceEx(void** handle, const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                  const _HXR_OPTION_INFO* option, const HXRServiceTable* services, int flags) {
    // Each job keeps its own first failure.
    HXRSetErrorInfo(0);
    if (!handle) return kHxrCreateNull;
    *handle = nullptr;
    if (!image || !halftone || !services) return kHxrCreateNull;
    if (!services->MemCpy || !services->MemSet || !services->MemCmp || !services->StrCpy || !services->StrCmp ||
        !services->StrNCmp || !services->StrLen || !services->AtoI) {
        HXRSetErrorInfo(kHxrRecordServices);
        return kHxrCreateServices;
    }
    HXRMemMgr* mm = HXRCreateMemMgr(services->Alloc, services->Free);
    if (!mm) {
        HXRSetErrorInfo(kHxrRecordMemMgr);
        return kHxrCreateNoMemMgr;
    }
    HXRInstance* inst = HXRAllocRecord<HXRInstance>(mm);
    if (!inst) {
        HXRDeleteMemMgr(mm);
        return kHxrCreateNoInstance;
    }
    inst->memory = mm;
    inst->image = *image;
    inst->halftone = *halftone;
    inst->services = *services;
    inst->outputFlags = static_cast<uint32_t>(flags);
    inst->option = option ? *option : default_option();
    if (!copy_blobs(inst)) {
        HXRDeleteMemMgr(mm);
        return kHxrCreateBlob;
    }
    for (auto& table : inst->colorTable) std::copy(inst->option.colorValue, inst->option.colorValue + kHxrMaxInks, table);
    HXRSetHXRColorCvtWPrintParamDefaultValue(&inst->values.wprint);
    inst->values.reductionMethod = kNone;
    inst->lutGamma[0] = inst->lutGamma[1] = kNone;
    for (auto& pair : inst->dotGamma) pair[0] = pair[1] = kNone;
    inst->state = kHxrStateCreated;
    *handle = inst;
    return 0;
}

unsigned int HXR_StartJob(void* handle) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return kHxrStartNull;
    if (inst->state & kHxrStateByCreateInstance) return kHxrStartByCreateInstance;
    if (!(inst->state & kHxrStateCreated)) return kHxrStartNotCreated;
    if (inst->state & kStartedOrFailed) return kHxrStartAgain;
    inst->state |= kHxrStateStartFailed;  // until every step has passed
    Started s;
    const uint32_t r = HXRCheckColorCvtWPrintParam(&inst->values.wprint) == 0 ? kHxrStartWPrint : start_steps(inst, s);
    if (r != 0) {
        // A failure without a more specific record is recorded by its own code.
        HXRSetErrorInfo(r);
        HXRDeleteResReadController(s.readCtrl);
        return r;
    }
    // The gammas, the reader and the blob copies go; only then are the job's objects recorded.
    record_gammas(inst, s.readCtrl, s.colours);
    if (HXRDeleteResReadController(s.readCtrl) != 0) return kHxrStartDeleteReadCtrl;
    static constexpr uint32_t kFreeCodes[kHxrBlobCount] = {kHxrStartFreePrinterId, kHxrStartFreeCalibration,
                                                           kHxrStartFreeUserColor};
    for (uint32_t kind = 0; kind < kHxrBlobCount; ++kind) {
        const unsigned char*& slot = *blob_slot(inst->option, kind);
        if (HXRFreeMem(inst->memory, const_cast<unsigned char*>(slot)) != 0) return kFreeCodes[kind];
        slot = nullptr;
        inst->blobSize[kind] = 0;
    }
    inst->colours = s.colours;
    inst->htCtrl = s.ctrl;
    inst->dataSet = s.dataSet;
    inst->slut = s.slut;
    inst->rh = s.rh;
    inst->state = (inst->state & ~kHxrStateStartFailed) | kHxrStateStarted;
    return 0;
}

unsigned int HXR_CreateInstance(void** handle, const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                const _HXR_OPTION_INFO* option, const HXRServiceTable* services, int flags) {
    if (HXR_CreateInstanceEx(handle, image, halftone, option, services, flags) != 0) return kHxrCreateFailed;
    if (HXR_StartJob(*handle) != 0) {
        // The caller never holds a half-started job: a retry under another
        // document type would otherwise lose it.
        HXR_DeleteInstance(*handle);
        *handle = nullptr;
        return kHxrStartFailed;
    }
    as_instance(*handle)->state |= kHxrStateByCreateInstance;
    return 0;
}

unsigned int HXR_EndJob(void* handle) { return handle ? 0 : kHxrEndJobNull; }

void HXR_DeleteInstance(void* handle) {
    if (HXRInstance* inst = as_instance(handle)) HXRDeleteMemMgr(inst->memory);
}
