#include "hxr/control/hxr_readctrl.h"

#include "hxr/control/hxr_resmgr.h"

namespace {

struct Slot {
    HXRIndexInfo* info;
    HXRLutResParser* lut;
    HXRSmlResParser* sml;
    HXRSmlResParser* sml2;
    HXRRateResParser* rate;
    HXRDthResMgr* dither;
};

}  // namespace

struct HXRResReadController {
    HXRResMgr* resources;
    HXRIndexParser* index;
    int32_t intents;
    Slot slot[kHxrMaxIntents];
    HXRCfgResParser* cfg;
    HXRStrNCmpFn strncmp_;
    HXRStrCmpFn strcmp_;
    HXRAtoIFn atoi_;
    HXRStrCpyFn strcpy_;
    HXRMemCmpFn memcmp_;
    HXRStrLenFn strlen_;
    HXRMemMgr* mm;
};

namespace {

// Deletes a slot's object once: every slot that shares it lets go of it.
template <typename T>
uint32_t drop(HXRResReadController* c, uint32_t i, T* Slot::*member, uint32_t (*del)(T*, HXRMemMgr*)) {
    T* obj = c->slot[i].*member;
    if (!obj) return 0;
    for (Slot& s : c->slot)
        if (s.*member == obj) s.*member = nullptr;
    return del(obj, c->mm);
}

// Every parser and dither manager of both intents (the infos stay).
uint32_t drop_resources(HXRResReadController* c, uint32_t i) {
    uint32_t rc = drop(c, i, &Slot::lut, HXRDeleteLutResParser);
    if (!rc) rc = drop(c, i, &Slot::sml, HXRDeleteSmlResParser);
    if (!rc) rc = drop(c, i, &Slot::sml2, HXRDeleteSmlResParser);
    if (!rc) rc = drop(c, i, &Slot::rate, HXRDeleteRateResParser);
    if (!rc) rc = drop(c, i, &Slot::dither, HXRDeleteDthResMgr);
    return rc;
}

void drop_infos(HXRResReadController* c) {
    for (uint32_t i = 0; i < kHxrMaxIntents; ++i) drop(c, i, &Slot::info, HXRDeleteIndexInfo);
    c->intents = 0;
}

// Fetches a resource and parses it: 0, `missing` or `bad`.
template <typename P, typename Parse>
uint32_t read(HXRResReadController* c, uint32_t id, uint32_t kind, uint32_t missing, uint32_t bad, P*& out,
              Parse parse) {
    uint32_t size = 0;
    const uint8_t* res = HXRGetResource(c->resources, id, kind, &size);
    if (!res) return missing;
    out = parse(res, size);
    return out ? 0 : bad;
}

uint32_t read_lut(HXRResReadController* c, uint32_t id, HXRLutResParser*& out) {
    return read(c, id, kHxrResKindLut, kHxrReadNoLut, kHxrReadBadLut, out, [c](const uint8_t* r, uint32_t n) {
        return HXRCreateLutResParser(r, n, c->strncmp_, c->atoi_, c->memcmp_, c->mm);
    });
}
uint32_t read_sml(HXRResReadController* c, uint32_t id, uint32_t missing, uint32_t bad, HXRSmlResParser*& out) {
    return read(c, id, kHxrResKindSml, missing, bad, out,
                [c](const uint8_t* r, uint32_t n) { return HXRCreateSmlResParser(r, n, c->strncmp_, c->mm); });
}
uint32_t read_rate(HXRResReadController* c, uint32_t id, HXRRateResParser*& out) {
    return read(c, id, kHxrResKindRate, kHxrReadNoRate, kHxrReadBadRate, out,
                [c](const uint8_t* r, uint32_t n) { return HXRCreateRateResParser(r, n, c->strncmp_, c->mm); });
}
uint32_t make_dither(HXRResReadController* c, const HXRIndexInfo* info, const HXRClrMgr* clr, HXRDthResMgr*& out) {
    out = HXRCreateDthResMgr(info->ditherId, info->ditherOffsetId, clr, c->strncmp_, c->resources, c->mm);
    return out ? 0u : uint32_t(kHxrReadBadDither);
}

uint32_t read_intent0(HXRResReadController* c, const HXRClrMgr* clr) {
    Slot& s = c->slot[0];
    const HXRIndexInfo* info = s.info;
    uint32_t rc = read_lut(c, info->lutId, s.lut);
    if (!rc) rc = read_sml(c, info->smlId, kHxrReadNoSml, kHxrReadBadSml, s.sml);
    if (!rc && info->sml2Id != kHxrNoValue) rc = read_sml(c, info->sml2Id, kHxrReadNoSml2, kHxrReadBadSml2, s.sml2);
    if (!rc && info->rateId != kHxrNoValue) rc = read_rate(c, info->rateId, s.rate);
    if (!rc) rc = make_dither(c, info, clr, s.dither);
    return rc;
}

// A kind of intent 1: shares intent 0's object when the identifiers agree;
// otherwise the kind must be switchable and the resource is read afresh.
template <typename P, typename Read>
uint32_t share_or_read(uint32_t id0, uint32_t id1, P* obj0, P*& obj1, uint32_t kind, uint32_t refused, bool record,
                       Read read_it) {
    if (id1 == id0) {
        obj1 = obj0;
        return 0;
    }
    if (HXRCheckSwitchResource(kind) != 1) {
        if (record) HXRSetErrorInfo(kHxrRecordSwitch);
        return refused;
    }
    return read_it();
}

uint32_t read_intent1(HXRResReadController* c, const HXRClrMgr* clr) {
    const Slot& a = c->slot[0];
    Slot& b = c->slot[1];
    const HXRIndexInfo* i0 = a.info;
    const HXRIndexInfo* i1 = b.info;
    if (!i1) return kHxrReadNoInfo2;
    uint32_t rc = share_or_read(i0->lutId, i1->lutId, a.lut, b.lut, kHxrResKindLut, kHxrReadSwitchLut, false,
                                [&] { return read_lut(c, i1->lutId, b.lut); });
    if (!rc)
        rc = share_or_read(i0->smlId, i1->smlId, a.sml, b.sml, kHxrResKindSml, kHxrReadSwitchSml, true,
                           [&] { return read_sml(c, i1->smlId, kHxrReadNoSml, kHxrReadBadSml, b.sml); });
    // A second SML of intent 1 fails with the codes of the first.
    if (!rc && i1->sml2Id != kHxrNoValue)
        rc = share_or_read(i0->sml2Id, i1->sml2Id, a.sml2, b.sml2, kHxrResKindSml, kHxrReadSwitchSml2, true,
                           [&] { return read_sml(c, i1->sml2Id, kHxrReadNoSml, kHxrReadBadSml, b.sml2); });
    if (!rc && i1->rateId != kHxrNoValue)
        rc = share_or_read(i0->rateId, i1->rateId, a.rate, b.rate, kHxrResKindRate, kHxrReadSwitchRate, true,
                           [&] { return read_rate(c, i1->rateId, b.rate); });
    if (rc) return rc;
    const bool same_dither = i1->ditherId == i0->ditherId, same_offset = i1->ditherOffsetId == i0->ditherOffsetId;
    if (same_dither && same_offset) {
        b.dither = a.dither;
        return 0;
    }
    if ((!same_dither && HXRCheckSwitchResource(kHxrResKindDthMask) != 1) ||
        (!same_offset && HXRCheckSwitchResource(kHxrResKindDthOffset) != 1)) {
        HXRSetErrorInfo(kHxrRecordSwitch);
        return kHxrReadSwitchDither;
    }
    return make_dither(c, i1, clr, b.dither);
}

bool valid(const HXRResReadController* c, uint32_t i) { return c && i < uint32_t(c->intents); }

}  // namespace

HXRResReadController* HXRCreateResReadController(const HXRServiceTable* svc, HXRMemMgr* mm) {
    if (!svc || !mm || !svc->StrNCmp || !svc->StrCmp || !svc->AtoI || !svc->StrCpy || !svc->MemCmp || !svc->StrLen)
        return nullptr;
    auto* c = static_cast<HXRResReadController*>(HXRAllocMem(mm, sizeof(HXRResReadController)));
    if (!c) return nullptr;
    c->resources = HXRCreateResMgr(svc->GetResource, svc->FreeResource, svc->Context, svc->MemCpy, mm);
    if (!c->resources) {
        HXRSetErrorInfo(kHxrRecordNoResMgr);
        HXRFreeMem(mm, c);
        return nullptr;
    }
    c->strncmp_ = svc->StrNCmp;
    c->strcmp_ = svc->StrCmp;
    c->atoi_ = svc->AtoI;
    c->strcpy_ = svc->StrCpy;
    c->memcmp_ = svc->MemCmp;
    c->strlen_ = svc->StrLen;
    c->mm = mm;
    return c;  // every other field is zero
}

uint32_t HXRFindPrintMode(HXRResReadController* c, const _HXR_HALFTONE_INFO* query, const _HXR_OPTION_INFO* option) {
    if (!c || !query) return kHxrReadNoController;
    if (!c->index) {
        uint32_t size = 0;
        const uint8_t* text = HXRGetResource(c->resources, kHxrIndexResourceId, kHxrResKindIndex, &size);
        if (!text) return kHxrReadNoIndex;
        c->index = HXRCreateIndexResParser(text, size, c->mm, c->strcmp_, c->strcpy_, c->atoi_, c->strlen_);
        if (!c->index) return kHxrReadBadIndex;
    }
    drop_infos(c);

    // Exactly one row per intent.
    const auto find = [c](const _HXR_HALFTONE_INFO& q, uint32_t none, uint32_t record_none, uint32_t many,
                          uint32_t no_info, HXRIndexInfo*& out) {
        const uint32_t n = HXRGetMatchedPrintMode(c->index, &q);
        if (n != 1) {
            HXRSetErrorInfo(n == 0 ? record_none : kHxrRecordManyModes);
            return n == 0 ? none : many;
        }
        out = HXRCreateIndexInfo(c->index, &q, 1, c->mm, c->strcpy_, c->atoi_);
        return out ? 0u : no_info;
    };
    HXRIndexInfo* first = nullptr;
    HXRIndexInfo* second = nullptr;
    uint32_t rc = find(*query, kHxrReadNoMode, kHxrRecordNoMode, kHxrReadManyModes, kHxrReadModeInfo, first);
    const uint32_t doc2 = option ? option->secondDocType : kHxrNoSecondDocType;
    if (!rc && doc2 != kHxrNoSecondDocType && doc2 != query->docType) {
        _HXR_HALFTONE_INFO q2 = *query;
        q2.docType = doc2;
        rc = find(q2, kHxrReadNoMode2, kHxrRecordNoMode2, kHxrReadManyModes2, kHxrReadModeInfo2, second);
    }
    if (rc) {
        if (first) HXRDeleteIndexInfo(first, c->mm);
        return rc;
    }
    c->slot[0].info = first;
    c->slot[1].info = second;
    c->intents = second ? 2 : 1;
    return 0;
}

uint32_t HXRGetBlackInkCode(const HXRResReadController* c) {
    return c && c->slot[0].info ? c->slot[0].info->blackInkCode : kHxrNoValue;
}

uint32_t HXRReadAllResource(HXRResReadController* c, const HXRClrMgr* clr) {
    if (!c || !clr) return kHxrReadNoArgument;
    if (c->intents < 1 || !c->slot[0].info) return kHxrReadNotFound;
    for (uint32_t i = 0; i < kHxrMaxIntents; ++i) drop_resources(c, i);
    if (c->cfg) {
        HXRDeleteCfgResParser(c->cfg, c->mm);
        c->cfg = nullptr;
    }
    uint32_t rc = read_intent0(c, clr);
    if (!rc && c->intents == 2) rc = read_intent1(c, clr);
    if (rc) return rc;

    uint32_t size = 0;
    const uint8_t* cfg = HXRGetResource(c->resources, kHxrCfgResourceId, kHxrResKindCfg, &size);
    if (cfg) {
        c->cfg = HXRCreateCfgResParser(cfg, size, c->strncmp_, c->mm);
        if (!c->cfg) return kHxrReadBadCfg;
    }
    return 0;
}

uint32_t HXRDeleteResReadController(HXRResReadController* c) {
    if (!c) {
        HXRSetErrorInfo(kHxrReadDeleteNone);
        return kHxrReadDeleteNone;
    }
    if (const uint32_t rc = HXRDeleteResMgr(c->resources)) return rc;
    if (c->index) {
        if (const uint32_t rc = HXRDeleteIndexResParser(c->index, c->mm)) return rc;
    }
    for (uint32_t i = 0; i < kHxrMaxIntents; ++i) {
        if (const uint32_t rc = drop(c, i, &Slot::info, HXRDeleteIndexInfo)) return rc;
        if (const uint32_t rc = drop_resources(c, i)) return rc;
    }
    if (c->cfg) {
        if (const uint32_t rc = HXRDeleteCfgResParser(c->cfg, c->mm)) return rc;
    }
    return HXRFreeMem(c->mm, c);
}

uint32_t HXRGetIntentNum(const HXRResReadController* c) { return c ? uint32_t(c->intents) : 0; }
const HXRLutResParser* HXRGetLutParser(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].lut : nullptr;
}
const HXRSmlResParser* HXRGetSmlParser(const HXRResReadController* c, uint32_t i, uint32_t which) {
    if (!valid(c, i)) return nullptr;
    return which == 0 ? c->slot[i].sml : which == 1 ? c->slot[i].sml2 : nullptr;
}
const HXRRateResParser* HXRGetRateParser(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].rate : nullptr;
}
const HXRDthResMgr* HXRGetDthResMgr(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].dither : nullptr;
}
uint32_t HXRGetDthResMgrAreaNum(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) && c->slot[i].dither ? HXRGetDthResAreaNum(c->slot[i].dither) : kHxrNoValue;
}
const HXRCfgResParser* HXRGetCfgRateParser(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->cfg : nullptr;
}
const char* HXRGetInkSetStr(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].info->inkSet : nullptr;
}
const char* HXRGetMicroStr(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].info->micro : nullptr;
}
uint32_t HXRGetDblGamma0(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].info->dblGamma0 : kHxrNoValue;
}
uint32_t HXRGetDblGamma255(const HXRResReadController* c, uint32_t i) {
    return valid(c, i) ? c->slot[i].info->dblGamma255 : kHxrNoValue;
}
