// The resource read controller: finds the job's print mode in the index and
// reads every resource the mode names, for one intent or two.
//
// Calling order (inside the job start): HXRCreateResReadController,
// HXRFindPrintMode, HXRGetBlackInkCode, HXRReadAllResource, the getters while
// the job's data sets are built, HXRDeleteResReadController. The controller,
// its resources and its parsers live in the instance's memory manager; the
// parsers point into the fetched resources, which the controller's resource
// manager holds until the controller is deleted. A parser of intent 1 is the
// very object of intent 0 when both name the same resource; it is deleted
// once.
//
// Results are 0 or a code of the 41xx block below. The codes returned are
// not written to the error record; the specific failures are (4151..4154,
// and the parsers' own codes), and the record keeps the first of them.
#pragma once

#include "hxr/control/hxr_cfg.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_dither.h"
#include "hxr/control/hxr_index.h"
#include "hxr/control/hxr_lut.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_rate.h"
#include "hxr/control/hxr_sml.h"

#include <cstdint>

inline constexpr uint32_t kHxrMaxIntents = 2;
// A second document type of this value asks for no second intent.
inline constexpr uint32_t kHxrNoSecondDocType = 0xFFFFFFFFu;

enum : uint32_t {
    // HXRFindPrintMode
    kHxrReadNoController = 4101,
    kHxrReadNoIndex = 4102,
    kHxrReadBadIndex = 4103,
    kHxrReadNoMode = 4131,           // no row matches
    kHxrReadManyModes = 4132,        // several rows match
    kHxrReadModeInfo = 4133,
    kHxrReadNoMode2 = 4134,          // the same, for the second intent
    kHxrReadManyModes2 = 4135,
    kHxrReadModeInfo2 = 4136,
    // HXRReadAllResource
    kHxrReadNoArgument = 4111,       // no controller or colour manager
    kHxrReadNotFound = 4112,         // the print mode is not found yet
    kHxrReadNoInfo2 = 4113,
    kHxrReadNoLut = 4114,
    kHxrReadBadLut = 4115,
    kHxrReadNoSml = 4116,
    kHxrReadBadSml = 4117,
    kHxrReadNoSml2 = 4118,
    kHxrReadBadSml2 = 4119,
    kHxrReadNoRate = 4120,
    kHxrReadBadRate = 4121,
    kHxrReadBadDither = 4122,
    kHxrReadBadCfg = 4124,
    kHxrReadSwitchLut = 4125,        // intent 1 names another resource of a kind
    kHxrReadSwitchSml = 4126,        // that cannot switch
    kHxrReadSwitchSml2 = 4127,
    kHxrReadSwitchRate = 4128,
    kHxrReadSwitchDither = 4129,
    // HXRDeleteResReadController
    kHxrReadDeleteNone = 4141,
    // Error record only.
    kHxrRecordNoMode = 4151,
    kHxrRecordManyModes = 4152,
    kHxrRecordNoMode2 = 4153,
    kHxrRecordSwitch = 4154,
    kHxrRecordNoResMgr = 9023,
};

struct HXRResReadController;

// Every slot empty; none without a service table (or one lacking the
// entries the readers use) or memory; 9023 recorded when the resource manager
// cannot be made.
HXRResReadController* HXRCreateResReadController(const HXRServiceTable* services, HXRMemMgr* manager);
// Parses the index (once) and finds the row of the query and, when the
// option record's second document type is given and differs, the row of the
// second intent.
uint32_t HXRFindPrintMode(HXRResReadController* controller, const _HXR_HALFTONE_INFO* query,
                          const _HXR_OPTION_INFO* option);
// Intent 0's black ink code; 0xFFFFFFFF without a controller or print mode.
uint32_t HXRGetBlackInkCode(const HXRResReadController* controller);
// Reads the LUT, SML, second SML, rate and dither resources of each intent
// and the optional configuration resource 991. A repeated call reads afresh.
uint32_t HXRReadAllResource(HXRResReadController* controller, const HXRClrMgr* colours);
// 0, 4141 for none, or the first non-zero result of a deleter (at once).
uint32_t HXRDeleteResReadController(HXRResReadController* controller);

// Getters: none (or 0xFFFFFFFF for a number) unless intent < the intent count.
uint32_t HXRGetIntentNum(const HXRResReadController* controller);  // 0 for none
const HXRLutResParser* HXRGetLutParser(const HXRResReadController* controller, uint32_t intent);
// which 0: the SML parser, 1: the second SML parser.
const HXRSmlResParser* HXRGetSmlParser(const HXRResReadController* controller, uint32_t intent, uint32_t which);
const HXRRateResParser* HXRGetRateParser(const HXRResReadController* controller, uint32_t intent);
const HXRDthResMgr* HXRGetDthResMgr(const HXRResReadController* controller, uint32_t intent);
uint32_t HXRGetDthResMgrAreaNum(const HXRResReadController* controller, uint32_t intent);
// The one configuration parser of the job, for any valid intent.
const HXRCfgResParser* HXRGetCfgRateParser(const HXRResReadController* controller, uint32_t intent);
const char* HXRGetInkSetStr(const HXRResReadController* controller, uint32_t intent);
const char* HXRGetMicroStr(const HXRResReadController* controller, uint32_t intent);
uint32_t HXRGetDblGamma0(const HXRResReadController* controller, uint32_t intent);
uint32_t HXRGetDblGamma255(const HXRResReadController* controller, uint32_t intent);
