#include "hxr/control/hxr_pkg_dataset.h"

#include "hxr/control/hxr_lut_build.h"

uint32_t HXRPkgDutyMode(const HXRDataSetOptions* values, const _HXR_OPTION_INFO* option, const HXRClrMgr* colours,
                        const char* dutyModeId, uint32_t notRecordCode, uint32_t rangeCode) {
    if (HXR8CheckTRAQ2SmlMDFParam(values->colorWords[0], colours) == 0 &&
        HXR8CheckTRAQ2SmlMDFParam(values->colorWords[1], colours) == 0)
        return kHxrPkgMultiDuty;
    const uint32_t r = HXRCheckTRAQ2LutSlcDutyFactorParam(option->colorValue, dutyModeId);
    if (r == 0) return kHxrPkgDutyRecord;
    HXRSetErrorInfo(r == 1 ? notRecordCode : rangeCode);
    return 0;
}

uint32_t HXRPkgChannelMode(const _HXR_OPTION_INFO* option, uint32_t intent) {
    return intent == 0 ? option->inkSelectionMode : option->channelMode1;
}

bool HXRPkgMakeSml(HXRTRAQ2Data* set, const HXRPkgSmlRequest& r, const HXRClrMgr* colours, HXRMemMgr* manager) {
    for (uint32_t part = 0; part < 2; ++part)
        for (uint32_t i = 0; i < set->intentNum; ++i) {
            uint32_t error = 0;
            HXRSmlDataMgr*& m = set->sml[i][part];
            m = HXRCreateTRAQ2SmlDataMgr(r.readCtrl, i, part, r.expectedG, r.needLut, r.halftone, r.calibration,
                                         r.printerId, r.services, colours, manager, &error);
            if (error != 0) return false;
            if (!m) continue;
            if (r.expandTnmx && HXRExpandTRAQ2SmlMgrTNMXDotRate(m, colours, manager) != 0) return false;
            const uint32_t* words = r.colorWords[i];
            if (r.dutyMode == kHxrPkgMultiDuty && words && HXRExecMultyDutyFactor(m, words) != 0) return false;
        }
    return set->sml[0][0] != nullptr;
}

bool HXRPkgMakeDither(HXRTRAQ2Data* set, const HXRResReadController* readCtrl, const HXRDthLayout& layout,
                      const HXRClrMgr* colours, HXRMemMgr* manager) {
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        if (!HXRGetDthResMgr(readCtrl, i)) continue;
        const HXRTRAQ2DthDataMgr* m = set->dither[i] = HXRCreateTRAQ2DthDataMgr(readCtrl, i, &layout, colours, manager);
        if (!m) return false;
        for (uint32_t area = 0; area < m->areaNum; ++area)
            if (!HXRGetTRAQ2DthDataMgrDthInfo(m, area) || !HXRGetTRAQ2DthDataMgrDthOffInfo(m, area)) return false;
    }
    return set->dither[0] != nullptr;
}

uint32_t HXRPkgThreshold(const HXRTRAQ2DthSingleData* d, uint32_t x, uint32_t y) {
    if (!d || d->view.SizeH <= 0 || x >= uint32_t(d->view.SizeH) || d->view.SizeV <= 0 || y >= uint32_t(d->view.SizeV))
        return kHxrNoValue;
    const uint64_t w = static_cast<uint32_t>(d->view.SizeH);
    const uint64_t i = d->order == kHxrDthOrderRowPairs ? ((uint64_t(y / 2) * w + x) << 1) + (y & 1)
                                                         : uint64_t(y) * d->rowLength + x;
    return HXRGetTRAQ2DthValue(d, i);
}
