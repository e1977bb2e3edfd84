// SML data manager: the SML data of one intent and part (the print mode's
// first or second SML resource), its ink-weight correction data and, for the
// monochrome-photo document type, its TNMX copy. Built at the job start by the
// data-set builders; read by the binariser through kHxrSmlDataMgrOps.
//
// Forwarders answer 1 on a null manager or argument (or a part the manager
// lacks) and otherwise what the called function answers.
#pragma once

#include "hxr/binarize/hxr_runtime_sml.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_sml_correct.h"
#include "hxr/control/hxr_sml_data.h"

#include <cstdint>

enum : uint32_t {
    kHxrSmlMgrFailed = 6601,
    kHxrSmlMgrNone = 6611,
};

inline constexpr uint32_t kHxrTnmxDocType = 7;

struct HXRSmlDataMgr {
    HXRSmlData* sml;
    HXRSmlCorrectData* correct;
    HXRSmlData* tnmx;  // null unless the document type is 7
};

// The manager of (intent, part 0 or 1). *error: 0 with a null result when the
// print mode names no SML resource there (not a failure); 6601 (also
// recorded) when the manager could not be built, expectedG 0xFFFFFFFF among
// the causes. needLut is the TNMX copy's mode. The calibration and printer
// identifier blobs may be absent (null data).
HXRSmlDataMgr* HXRCreateTRAQ2SmlDataMgr(const HXRResReadController* readCtrl, uint32_t intent, uint32_t part,
                                        uint32_t expectedG, uint32_t needLut, const _HXR_HALFTONE_INFO* halftone,
                                        HXRBlobRef calibTable, HXRBlobRef printerId, const HXRServiceTable* services,
                                        const HXRClrMgr* colours, HXRMemMgr* manager, uint32_t* error);
// Deletes the three parts and the manager; 6611 for null.
uint32_t HXRDeleteTRAQ2SmlDataMgr(HXRSmlDataMgr* mgr, HXRMemMgr* manager);

uint32_t HXRExecMultyDutyFactor(HXRSmlDataMgr* mgr, const uint32_t* words);
uint32_t HXRExecBrs(HXRSmlDataMgr* mgr, const uint32_t* brsTable, uint32_t colourCode);
uint32_t HXRGetSDMSmlIndexTable(HXRSmlDataMgr* mgr, uint32_t* out, uint32_t colourCode);
uint32_t HXRGetSDMSmlTable(HXRSmlDataMgr* mgr, uint32_t* rates, uint32_t colourCode);
// Every colour reads table A (calibration and multi-duty) again, so a BRS
// step of one line does not carry into the next.
uint32_t HXRPrepareEveryLineCorrection(HXRSmlDataMgr* mgr);
uint32_t HXRCopySDMSmlData(HXRSmlDataMgr* mgr, HXRSmlData* dst, HXRMemMgr* manager);
uint32_t HXRCheckSDMCoordinationSml(const HXRSmlDataMgr* a, const HXRSmlDataMgr* b);
HXRSmlColorData* HXRGetSDMOrgSmlTable(HXRSmlDataMgr* mgr);
HXRSmlColorData* HXRGetSDMOrgTNMXSmlTable(HXRSmlDataMgr* mgr);
// The working row resampled through the tone LUT (an HXRLutTNMXData) into the
// TNMX entry of `order`.
uint32_t HXRMergeLutInSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, const void* tnmxLutInfo, uint32_t order,
                          uint32_t lutColorNum, uint32_t lutColorOrder);
// The working row expanded to 65535 levels into the TNMX entry of `order`.
uint32_t HXRExpandTNMXDrtSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order);
uint32_t HXRResetTRAQ2SmlMgrTNMXSml(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order);
uint32_t HXRExpandTRAQ2SmlMgrTNMXDotRate(HXRSmlDataMgr* mgr, const HXRClrMgr* colours, HXRMemMgr* manager);
uint32_t HXRCopySDMSmlDataEveryColor(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order, HXRMemMgr* manager);
uint32_t HXRCopySDMSmlTNMXDataEveryColor(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order,
                                         HXRMemMgr* manager);
uint32_t HXRResetTRAQ2SmlMgrDot(HXRSmlDataMgr* mgr, HXRSmlColorData* row, uint32_t order);

// The manager's functions as the binariser's runtime SML state calls them.
extern const HXRSmlDataOps kHxrSmlDataMgrOps;
