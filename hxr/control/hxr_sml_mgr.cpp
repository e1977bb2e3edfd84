#include "hxr/control/hxr_sml_mgr.h"

#include "hxr/control/hxr_alloc_array.h"

HXRSmlDataMgr* HXRCreateTRAQ2SmlDataMgr(const HXRResReadController* readCtrl, uint32_t intent, uint32_t part,
                                        uint32_t expectedG, uint32_t needLut, const _HXR_HALFTONE_INFO* halftone,
                                        HXRBlobRef calibTable, HXRBlobRef printerId, const HXRServiceTable* services,
                                        const HXRClrMgr* colours, HXRMemMgr* manager, uint32_t* error) {
    uint32_t ignored = 0;
    if (!error) error = &ignored;
    *error = 0;
    const HXRSmlResParser* parser = HXRGetSmlParser(readCtrl, intent, part);
    if (!parser) return nullptr;
    const auto failed = [&](HXRSmlDataMgr* mgr) -> HXRSmlDataMgr* {
        if (mgr) HXRDeleteTRAQ2SmlDataMgr(mgr, manager);
        HXRSetErrorInfo(kHxrSmlMgrFailed);
        *error = kHxrSmlMgrFailed;
        return nullptr;
    };
    if (expectedG == kHxrNoValue || !halftone || !services || !colours) return failed(nullptr);
    auto* mgr = HXRAllocRecord<HXRSmlDataMgr>(manager);
    if (!mgr) return failed(nullptr);
    mgr->sml = HXRCreateTRAQ2SmlData(parser, expectedG, colours, manager);
    if (!mgr->sml) return failed(mgr);
    if (halftone->docType == kHxrTnmxDocType) {
        mgr->tnmx = HXRCreateTRAQ2SmlTNMXData(mgr->sml, needLut, colours, manager);
        if (!mgr->tnmx) return failed(mgr);
    }
    mgr->correct = HXRCreateTRAQ2SmlCorrectData(
        mgr->sml, calibTable, printerId, HXRGetCfgRateParser(readCtrl, intent), HXRGetMicroStr(readCtrl, intent),
        HXRGetInkSetStr(readCtrl, intent), halftone->inkSet, halftone->outputBits, services->StrNCmp,
        HXRGetRateParser(readCtrl, intent), colours, manager);
    if (!mgr->correct) return failed(mgr);
    return mgr;
}

uint32_t HXRDeleteTRAQ2SmlDataMgr(HXRSmlDataMgr* mgr, HXRMemMgr* manager) {
    if (!mgr) return HXRFreeObject(manager, nullptr, kHxrSmlMgrNone);
    uint32_t first = 0;
    const auto keep = [&](uint32_t r) {
        if (first == 0) first = r;
    };
    if (mgr->correct) keep(HXRDeleteTRAQ2SmlCorrectData(mgr->correct, manager));
    if (mgr->tnmx) keep(HXRDeleteTRAQ2SmlData(mgr->tnmx, manager));
    if (mgr->sml) keep(HXRDeleteTRAQ2SmlData(mgr->sml, manager));
    keep(HXRFreeMem(manager, mgr));
    return first;
}

uint32_t HXRExecMultyDutyFactor(HXRSmlDataMgr* mgr, const uint32_t* words) {
    return mgr && words ? HXRControlInkWeightTRAQ2SmlByRate(mgr->correct, words) : 1;
}

uint32_t HXRExecBrs(HXRSmlDataMgr* mgr, const uint32_t* brsTable, uint32_t colourCode) {
    return mgr ? HXRSetBrsExcutedInkWeight(mgr->correct, brsTable, colourCode) : 1;
}

uint32_t HXRGetSDMSmlIndexTable(HXRSmlDataMgr* mgr, uint32_t* out, uint32_t colourCode) {
    return mgr ? HXRGetSmlIndexTable(out, mgr->correct, colourCode) : 1;
}

uint32_t HXRGetSDMSmlTable(HXRSmlDataMgr* mgr, uint32_t* rates, uint32_t colourCode) {
    return mgr ? HXRGetSmlTable(rates, mgr->correct, colourCode) : 1;
}

uint32_t HXRPrepareEveryLineCorrection(HXRSmlDataMgr* mgr) {
    return mgr ? HXRPrepareFinalWeightTable(mgr->correct) : 1;
}

uint32_t HXRCopySDMSmlData(HXRSmlDataMgr* mgr, HXRSmlData* dst, HXRMemMgr* manager) {
    return mgr ? HXRCopyTRAQ2SmlData(mgr->sml, dst, manager) : 1;
}

uint32_t HXRCheckSDMCoordinationSml(const HXRSmlDataMgr* a, const HXRSmlDataMgr* b) {
    return a && b ? HXRCheckCoordinationTRAQ2Sml(a->sml, b->sml) : 1;
}

HXRSmlColorData* HXRGetSDMOrgSmlTable(HXRSmlDataMgr* mgr) { return mgr && mgr->sml ? mgr->sml->entry : nullptr; }

HXRSmlColorData* HXRGetSDMOrgTNMXSmlTable(HXRSmlDataMgr* mgr) {
    return mgr && mgr->tnmx ? mgr->tnmx->entry : nullptr;
}

uint32_t HXRMergeLutInSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, const void* tnmxLutInfo, uint32_t order,
                          uint32_t lutColorNum, uint32_t lutColorOrder) {
    if (!mgr) return 1;
    return HXRGetTRAQ2SmlTNMXMergeLut(row, order, static_cast<const HXRLutTNMXData*>(tnmxLutInfo), lutColorOrder,
                                      lutColorNum, mgr->tnmx);
}

uint32_t HXRExpandTNMXDrtSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order) {
    return mgr ? HXRGetTRAQ2SmlTNMXExpand(row, order, mgr->tnmx) : 1;
}

uint32_t HXRResetTRAQ2SmlMgrTNMXSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order) {
    return mgr ? HXRResetTRAQ2SmlTNMX(row, order, mgr->tnmx) : 1;
}

uint32_t HXRExpandTRAQ2SmlMgrTNMXDotRate(HXRSmlDataMgr* mgr, const HXRClrMgr* colours, HXRMemMgr* manager) {
    return mgr ? HXRTRAQ2SmlTNMXExpandDotRate(mgr->sml, mgr->tnmx, colours, manager) : 1;
}

uint32_t HXRCopySDMSmlDataEveryColor(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order, HXRMemMgr* manager) {
    return mgr ? HXRCopyTRAQ2SmlDataEveryColor(mgr->sml, row, order, manager) : 1;
}

uint32_t HXRCopySDMSmlTNMXDataEveryColor(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order,
                                         HXRMemMgr* manager) {
    return mgr ? HXRCopyTRAQ2SmlDataEveryColor(mgr->tnmx, row, order, manager) : 1;
}

uint32_t HXRResetTRAQ2SmlMgrDot(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order) {
    return mgr ? HXRResetTRAQ2SmlDot(mgr->sml, row, order) : 1;
}

const HXRSmlDataOps kHxrSmlDataMgrOps = {
    HXRCopySDMSmlDataEveryColor,     HXRCopySDMSmlTNMXDataEveryColor,  HXRResetTRAQ2SmlMgrDot,
    HXRGetSDMSmlTable,               HXRPrepareEveryLineCorrection,    HXRMergeLutInSml,
    HXRExpandTNMXDrtSml,             HXRGetSDMOrgTNMXSmlTable,         HXRGetSDMOrgSmlTable,
    HXRCopyTRAQ2SmlDotRate,          HXRAddRateTRAQ2SmlDataEveryColor, HXRSplitTRAQ2SmlDataEveryColor,
};
