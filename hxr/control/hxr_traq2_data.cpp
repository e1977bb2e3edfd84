#include "hxr/control/hxr_traq2_data.h"

#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_pkg_dataset.h"

namespace {

uint64_t row_sum(const uint32_t* rates, uint32_t dots, uint32_t level) {
    uint64_t s = 0;
    for (uint32_t d = 0; d < dots; ++d) s += rates[size_t(level) * dots + d];
    return s;
}

// Step 3.
bool make_luts(HXRTRAQ2Data* set, const HXRResReadController* rc, const HXRHtCtrlAnswers& a,
               const _HXR_HALFTONE_INFO* ht, const _HXR_OPTION_INFO* option, const HXRDataSetOptions& v,
               const HXRClrMgr* clr, HXRMemMgr* mm, const char* duty_id) {
    if (!a.needLut && !a.needUBEC) return true;
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        const HXRLutResParser* p = HXRGetLutParser(rc, i);
        if (!p) continue;
        set->lut[i] = a.needLut ? HXRCreateTRAQ2LutSlc(p, a.lutType, a.lutGridNum, a.lutGridInfoType, ht, option,
                                                       duty_id, HXRPkgChannelMode(option, i), clr, mm)
                                : HXRCreateTRAQ2LutSlcOnlyDbg(p, a.colorConvertMode, ht, mm);
    }
    if (!set->lut[0]) return false;
    if (a.needLut && v.userColor.data) {
        set->user = HXRCreateTRAQ2LutUserData(v.userColor.data, v.userColor.size, HXRPkgChannelMode(option, 0), clr, mm);
        if (!set->user) return false;
    }
    return true;
}

// Step 6.
bool make_dither(HXRTRAQ2Data* set, const HXRResReadController* rc, const HXRHtCtrlAnswers& a,
                 const HXRClrMgr* clr, HXRMemMgr* mm) {
    if (!a.needDth) return true;
    const HXRDthLayout lay{a.dthOrder,       a.dthThreshAddition, a.dthDataBytes,
                           a.dthUpdatePixel, a.ubecBlockKind,     a.dthDataType};
    for (uint32_t i = 0; i < set->intentNum; ++i) set->dither[i] = HXRCreateTRAQ2DthDataMgr(rc, i, &lay, clr, mm);
    const HXRTRAQ2DthDataMgr* m = set->dither[0];
    if (!m) return false;
    for (uint32_t area = 0; area < m->areaNum; ++area)
        if (!HXRGetTRAQ2DthDataMgrDthInfo(m, area) || !HXRGetTRAQ2DthDataMgrDthOffInfo(m, area)) return false;
    return true;
}

// Step 7.
bool make_ubec(HXRTRAQ2Data* set, const HXRHtCtrlAnswers& a, const HXRClrMgr* clr, HXRMemMgr* mm) {
    if (!a.needUBEC) return true;
    for (uint32_t i = 0; i < set->intentNum; ++i)
        set->ubec[i] = HXRCreateTRAQ2UBECDataMgr(set->lut[i], set->sml[i][0], set->dither[i], a.ubecEncodeStep,
                                                 a.ubecSmlCalib, a.ubecTableType, clr, mm);
    return HXRGetTRAQ2UBECDataMgrUBECInfo(set->ubec[0], 0) != nullptr;
}

// Step 8: every halftone colour's PatternD value, mapped through its
// corrected SML table, at the colour's LUT channel.
bool set_pattern_d(HXRTRAQ2Data* set, const HXRHtCtrlAnswers& a, const HXRDataSetOptions& v, const HXRClrMgr* clr,
                   HXRMemMgr* mm) {
    if (!a.needLut || (a.lutType != kLutSlice3D && a.lutType != kLutSlice4D)) return true;
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        if (!set->lut[i]) continue;
        for (uint32_t h = 0; h < a.halftoneColorNum; ++h) {
            const uint32_t code = HXRGetHalftoneColorCode(clr, h), ord = HXRGetOutputColorOrderByHalftoneIndex(clr, h);
            const uint32_t lut_order = HXRGetLutColorOrder(clr, code);
            if (code == kHxrNoValue || ord >= kHxrMaxInks || lut_order >= kHxrMaxInks) return false;
            const uint32_t value = v.patternD[i] ? v.patternD[i][ord] : 0;
            const uint32_t level = HXRCalibPatternDitherUpperValue(set->sml[i][0], value, ord, code, clr, mm);
            if (level == kHxrNoValue || HXRSetTRAQ2LUTSlcPatternDitherUpperValue(set->lut[i], level, lut_order) != 1)
                return false;
        }
    }
    return true;
}

}  // namespace

HXRTRAQ2Data* HXRCreateTRAQ2Data(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                                 const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                 const HXRDataSetOptions* values, const HXRServiceTable* services,
                                 const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId) {
    if (!readCtrl || !htCtrl || !halftone || !option || !values || !services || !colours || !manager) return nullptr;
    const HXRHtCtrlAnswers& a = *htCtrl;
    const uint32_t duty =
        HXRPkgDutyMode(values, option, colours, dutyModeId, kHxrDutyNotARecord, kHxrDutyOutOfRange);
    const uint32_t intents = HXRGetIntentNum(readCtrl);
    if (duty == 0 || intents < 1 || intents > 2) return nullptr;
    auto* set = HXRAllocRecord<HXRTRAQ2Data>(manager);
    if (!set) return nullptr;
    set->intentNum = intents;
    const bool ok = make_luts(set, readCtrl, a, halftone, option, *values, colours, manager, dutyModeId) &&
                    HXRPkgMakeSml(set,
                                  {readCtrl, a.smlGradNum, a.needLut, halftone, values->calibration,
                                   values->printerId, services, duty, values->colorWords, false},
                                  colours, manager) &&
                    make_dither(set, readCtrl, a, colours, manager) && make_ubec(set, a, colours, manager) &&
                    set_pattern_d(set, a, *values, colours, manager);
    if (ok) return set;
    HXRDeleteTRAQ2Data(set, manager);
    return nullptr;
}

uint32_t HXRDeleteTRAQ2Data(HXRTRAQ2Data* set, HXRMemMgr* manager) {
    if (!set) return HXRFreeObject(manager, nullptr, kHxrDataSetNone);
    uint32_t first = 0;
    const auto keep = [&](uint32_t r) {
        if (first == 0) first = r;
    };
    for (uint32_t i = 0; i < 2; ++i) {
        if (set->ubec[i]) keep(HXRDeleteTRAQ2UBECDataMgr(set->ubec[i], manager));
        if (set->dither[i]) keep(HXRDeleteTRAQ2DthDataMgr(set->dither[i], manager));
        for (HXRSmlDataMgr* m : set->sml[i])
            if (m) keep(HXRDeleteTRAQ2SmlDataMgr(m, manager));
        if (set->lut[i]) keep(HXRDeleteTRAQ2LutSlc(set->lut[i], manager));
    }
    keep(HXRFreeMem(manager, set->user));
    keep(HXRFreeMem(manager, set));
    return first;
}

HXRLutData* HXRGetLut3DData(const HXRTRAQ2Data* set, uint32_t intent) {
    return set && intent < 2 ? HXRGetTRAQ2Lut3DColor(set->lut[intent]) : nullptr;
}

HXRLutData* HXRGetLut4DData(const HXRTRAQ2Data* set, uint32_t intent) {
    return set && intent < 2 ? HXRGetTRAQ2Lut4DColor(set->lut[intent]) : nullptr;
}

HXRLutTNMXData* HXRGetLutTNMXData(const HXRTRAQ2Data* set, uint32_t intent) {
    return set && intent < 2 ? HXRGetTRAQ2LutTNMX(set->lut[intent]) : nullptr;
}

HXRSmlDataMgr* HXRGetSmlDataMgr(const HXRTRAQ2Data* set, uint32_t intent, uint32_t which) {
    return set && intent < 2 && which < 2 ? set->sml[intent][which] : nullptr;
}

HXRTRAQ2DthDataMgr* HXRGetDthDataMgr(const HXRTRAQ2Data* set, uint32_t intent) {
    return set && intent < 2 ? set->dither[intent] : nullptr;
}

HXRTRAQ2UBECDataMgr* HXRGetUBECDataMgr(const HXRTRAQ2Data* set, uint32_t intent) {
    return set && intent < 2 ? set->ubec[intent] : nullptr;
}

HXRLutUserData* HXRGetLutUserData(const HXRTRAQ2Data* set) { return set ? set->user : nullptr; }

uint32_t HXRCheckCoordinationSml(const HXRTRAQ2Data* set, uint32_t intent) {
    if (!set || intent > 1) return 1;
    if (!set->sml[intent][1]) return 0;
    return HXRCheckSDMCoordinationSml(set->sml[intent][0], set->sml[intent][1]);
}

uint32_t HXRCalibPatternDitherUpperValue(HXRSmlDataMgr* sml, uint32_t level, uint32_t outputIndex,
                                         uint32_t inkCode, const HXRClrMgr* colours, HXRMemMgr* manager) {
    if (!sml || !sml->sml || outputIndex >= kHxrMaxInks || !colours) return kHxrNoValue;
    if (HXRGetOutputColorOrder(colours, inkCode) != outputIndex) return kHxrNoValue;
    const HXRSmlColorData& e = sml->sml->entry[outputIndex];
    const uint32_t levels = e.gradationNum, dots = e.dotSizeNum;
    if (!e.rates || level >= levels) return kHxrNoValue;
    auto* table = HXRAllocArray<uint32_t>(manager, uint64_t(levels) * dots);
    if (!table) return kHxrNoValue;
    uint32_t found = kHxrNoValue;
    if (HXRGetSDMSmlTable(sml, table, inkCode) == 0) {
        const uint64_t target = row_sum(e.rates, dots, level);
        found = levels - 1;
        for (uint32_t k = 0; k < levels; ++k) {
            const uint64_t sum = row_sum(table, dots, k);
            if (sum < target) continue;
            // Level 0 beyond the target answers 0: no level lies below it.
            const bool before = sum > target && k > 0 && target - row_sum(table, dots, k - 1) < sum - target;
            found = before ? k - 1 : k;
            break;
        }
    }
    HXRFreeMem(manager, table);
    return found;
}
