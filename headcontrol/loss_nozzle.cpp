#include "headcontrol/loss_nozzle.h"

#include "headcontrol/codes.h"
#include "headcontrol/loss_nozzle_proc.h"
#include "headcontrol/loss_nozzle_store.h"
#include "headcontrol/resource_stream.h"

namespace ovcg::irac {

namespace {

template <class T>
void free_module(T** object, const CallbackTable* cb) {
    if (!object || !*object || !cb) return;
    (*object)->cb = nullptr;
    release_ptr(*cb, *object);
}

void free_tables(const CallbackTable& cb, uint16_t**& tables, uint8_t count) {
    if (!tables) return;
    for (uint32_t i = 0; i < count; ++i) release_ptr(cb, tables[i]);
    release_ptr(cb, tables);
}

void free_pmc_model_part(const CallbackTable& cb, PmcResource* r) {
    if (r->sets) {
        for (uint32_t s = 0; s < r->setCount; ++s) {
            free_tables(cb, r->sets[s].tables1, r->sets[s].count1);
            free_tables(cb, r->sets[s].tables2, r->sets[s].count2);
        }
        release_ptr(cb, r->sets);
    }
    r->setCount = 0;
    release_ptr(cb, r->maskTable);
    r->maskWidth = 0;
    r->maskRows = r->maskHeight = r->multiplier = 0;
}

// count tables of rows x columns u16 values, every byte checked before the
// first table is allocated.
uint32_t read_table_group(ByteCursor& c, const CallbackTable& cb, uint16_t& rows, uint16_t& columns,
                          uint8_t& count, uint16_t**& tables) {
    if (!c.u16le(rows) || !c.u16le(columns) || !c.u8(count)) return kRscBadResource;
    const uint64_t values = uint64_t{rows} * columns;
    if (!has_room(c, values * count, 2)) return kRscBadResource;
    const uint8_t n = count;
    count = 0;  // what is allocated, for the free
    if (n == 0) return 0;
    if (uint32_t e = alloc_array(cb, n, kPmcNoResource, tables)) return e;
    count = n;
    for (uint32_t i = 0; i < n; ++i)
        if (uint32_t e = read_array(c, cb, values, kPmcNoResource, tables[i])) return e;
    return 0;
}

uint32_t read_mask(ByteCursor& c, const CallbackTable& cb, int form, PmcResource* r) {
    uint8_t width = 0, multiplier = 1;
    uint16_t rows = 0;
    if (!c.u8(width) || !c.u16le(rows)) return kRscBadResource;
    if (form == 1 && !c.u8(multiplier)) return kRscBadResource;
    const uint32_t height = uint32_t{rows} * multiplier;
    if (height > 0xFFFF) return kPmcNoResource;  // the height is kept in 16 bits
    if (uint32_t e = read_array(c, cb, uint64_t{width} * height, kPmcNoResource, r->maskTable)) return e;
    r->maskWidth = width;
    r->maskRows = rows;
    r->multiplier = multiplier;
    r->maskHeight = static_cast<uint16_t>(height);
    return 0;
}

uint32_t pmc_record(LossNozzleResources* holder, const CallbackTable& cb, PmcResource*& r) {
    if (!holder->pmc && alloc_record(cb, kPmcNoResource, holder->pmc)) return kPmcNoResource;
    r = holder->pmc;
    return 0;
}

}  // namespace

// ---- Objects ------------------------------------------------------------------------

uint32_t CCMN_Allocate(CcmnStore** out, const CallbackTable* cb) { return allocate_owned(out, cb, kCcmnNoStore); }
uint32_t CMS_Allocate(CmsObject** out, const CallbackTable* cb) { return allocate_owned(out, cb, kCmsNoObject); }
uint32_t NHC_Allocate(NhcObject** out, const CallbackTable* cb) { return allocate_owned(out, cb, kNhcNoObject); }
uint32_t PMC_Allocate(PmcObject** out, const CallbackTable* cb) { return allocate_owned(out, cb, kPmcNoObject); }
void CCMN_Free(CcmnStore** store, const CallbackTable* cb) {
    if (store && *store && cb) CCMN_ExitWorkArea(*store);
    free_module(store, cb);
}
void CMS_Free(CmsObject** object, const CallbackTable* cb) { free_module(object, cb); }
void NHC_Free(NhcObject** object, const CallbackTable* cb) {
    if (object && *object && cb) NHC_ExitWorkArea(*object);
    free_module(object, cb);
}
void PMC_Free(PmcObject** object, const CallbackTable* cb) {
    if (object && *object && cb) PMC_ExitWorkArea(*object);
    free_module(object, cb);
}

uint32_t LNC_Allocate(LncObject** out, const CallbackTable* cb) {
    if (!out) return kLncNoObject;
    *out = nullptr;
    LncObject* o = nullptr;
    if (allocate_owned(&o, cb, kLncNoObject)) return kLncNoObject;
    uint32_t e = CCMN_Allocate(&o->store, cb);
    if (!e) e = CMS_Allocate(&o->cms, cb);
    if (!e) e = NHC_Allocate(&o->nhc, cb);
    if (!e) e = PMC_Allocate(&o->pmc, cb);
    if (e) {
        LNC_Free(&o, cb);
        return e;
    }
    *out = o;
    return 0;
}

void LNC_Free(LncObject** object, const CallbackTable* cb) {
    if (!object || !*object || !cb) return;
    LncObject* o = *object;
    CCMN_Free(&o->store, cb);
    CMS_Free(&o->cms, cb);
    NHC_Free(&o->nhc, cb);
    PMC_Free(&o->pmc, cb);
    release_ptr(*cb, *object);
}

void LNC_SetOnOff(uint32_t flags, LncObject* o) {
    if (!o) return;
    CMS_SetOnOff((flags & kLncCms) ? 1 : 0, o->cms);
    NHC_SetOnOff((flags & kLncNhc) ? 1 : 0, o->nhc);
    PMC_SetOnOff((flags & kLncPmc) ? 1 : 0, o->pmc);
    o->commonOnOff = (flags & (kLncCms | kLncNhc | kLncPmc)) ? 1 : 0;
    CCMN_SetOnOff(o->commonOnOff, o->store);
}

uint8_t LNC_GetOnOff(uint32_t kind, const LncObject* o) {
    if (!o) return 0;
    switch (kind) {
        case kLncCommon: return o->commonOnOff;
        case kLncPmc: return PMC_GetOnOff(o->pmc);
        case kLncNhc: return NHC_GetOnOff(o->nhc);
        case kLncCms: return CMS_GetOnOff(o->cms);
        default: return 0;
    }
}

uint32_t LNC_SetLossNozzleMax(int16_t maximum, LncObject* o) {
    return CCMN_SetLossNozzleMax(maximum, o ? o->store : nullptr);
}

void CCMN_SetOnOff(uint8_t on, CcmnStore* s) {
    if (s) s->onOff = on;
}
uint8_t CCMN_GetOnOff(const CcmnStore* s) { return s ? s->onOff : 0; }

uint32_t CCMN_SetLossNozzleMax(int16_t maximum, CcmnStore* s) {
    if (maximum < 0) return kCcmnNegativeMaximum;
    if (!s) return kCcmnNoStore;
    s->lossNozzleMax = static_cast<uint16_t>(maximum);
    return 0;
}

uint16_t CCMN_GetComplatePassNumMax(const CcmnStore* s) { return s ? s->complementPassMax : 0; }
uint16_t CCMN_GetLossNozzleMax(const CcmnStore* s) { return s ? s->lossNozzleMax : 0; }
uint16_t CCMN_GetLossNozzleMaxPerInk(const CcmnStore* s) { return s ? s->lossNozzleMaxPerInk : 0; }

void CMS_SetOnOff(uint8_t on, CmsObject* o) {
    if (o) o->onOff = on;
}
uint8_t CMS_GetOnOff(const CmsObject* o) { return o ? o->onOff : 0; }
void NHC_SetOnOff(uint8_t on, NhcObject* o) {
    if (o) o->onOff = on;
}
uint8_t NHC_GetOnOff(const NhcObject* o) { return o ? o->onOff : 0; }
void PMC_SetOnOff(uint8_t on, PmcObject* o) {
    if (o) o->onOff = on;
}
uint8_t PMC_GetOnOff(const PmcObject* o) { return o ? o->onOff : 0; }

// ---- Resources ----------------------------------------------------------------------

uint32_t LNC_LoadModelResource(uint32_t flags, LossNozzleResources* holder, ByteCursor& c, int form,
                               const CallbackTable* cb) {
    if (flags & kLncPmc) return PMC_LoadModelResource(holder, c, form, cb);
    return 0;
}

uint32_t LNC_LoadUnitResource(uint32_t flags, LossNozzleResources* holder, ByteCursor& c, int form,
                              const CallbackTable* cb) {
    if (flags & kLncPmc) return PMC_LoadUnitResource(holder, c, form, cb);
    if (flags & kLncCms) return CMS_LoadUnitResource(holder, c, form, cb);
    return 0;
}

void LNC_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb) {
    PMC_FreeResourceMemory(holder, cb);
    CMS_FreeResourceMemory(holder, cb);
}

uint32_t PMC_LoadModelResource(LossNozzleResources* holder, ByteCursor& c, int form, const CallbackTable* cb) {
    if (!holder || !cb) return kPmcNoResource;
    PmcResource* r = nullptr;
    if (uint32_t e = pmc_record(holder, *cb, r)) return e;
    free_pmc_model_part(*cb, r);
    uint32_t flags = 1;  // without form 1 the mask always follows
    if (form == 1 && !c.u32le(flags)) return kRscBadResource;
    uint8_t sets = 0;
    if (!c.u8(sets)) return kRscBadResource;
    // Each set holds at least its two 5-byte group headers.
    if (!has_room(c, sets, 10)) return kRscBadResource;
    if (uint32_t e = alloc_array(*cb, sets, kPmcNoResource, r->sets)) return e;
    r->setCount = sets;
    for (uint32_t s = 0; s < sets; ++s) {
        PmcTableSet& set = r->sets[s];
        if (uint32_t e = read_table_group(c, *cb, set.rows1, set.columns1, set.count1, set.tables1)) return e;
        if (uint32_t e = read_table_group(c, *cb, set.rows2, set.columns2, set.count2, set.tables2)) return e;
    }
    if (flags & 1u) return read_mask(c, *cb, form, r);
    return 0;
}

uint32_t PMC_LoadUnitResource(LossNozzleResources* holder, ByteCursor& c, int form, const CallbackTable* cb) {
    if (!holder || !cb) return kPmcNoResource;
    uint8_t kind = 0;
    uint16_t length = 0;
    if (!c.u8(kind)) return kRscBadResource;
    if (form == 0 && !c.skip(1)) return kRscBadResource;
    if (!c.u16le(length)) return kRscBadResource;
    if (!has_room(c, length, 1)) return kRscBadResource;
    PmcResource* r = nullptr;
    if (uint32_t e = pmc_record(holder, *cb, r)) return e;
    release_ptr(*cb, r->unitData);
    r->unitLength = 0;
    if (uint32_t e = read_array(c, *cb, length, kPmcNoResource, r->unitData)) return e;
    r->unitKind = kind;
    r->unitLength = length;
    return 0;
}

uint32_t CMS_LoadUnitResource(LossNozzleResources* holder, ByteCursor& c, int, const CallbackTable* cb) {
    if (!holder || !cb) return kCmsNoResource;
    uint8_t flags = 0, n = 0;
    if (!c.u8(flags) || !c.skip(3)) return kRscBadResource;
    const bool present = (flags & 1u) != 0;
    if (present && (!c.u8(n) || !has_room(c, n, 2))) return kRscBadResource;
    CMS_FreeResourceMemory(holder, cb);
    if (alloc_record(*cb, kCmsNoResource, holder->cms)) return kCmsNoResource;
    if (uint32_t e = read_array(c, *cb, n, kCmsNoResource, holder->cms->thresholds)) return e;
    if (uint32_t e = read_array(c, *cb, n, kCmsNoResource, holder->cms->types)) return e;
    holder->cms->n = n;
    return 0;
}

void PMC_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb) {
    if (!holder || !holder->pmc || !cb) return;
    free_pmc_model_part(*cb, holder->pmc);
    release_ptr(*cb, holder->pmc->unitData);
    release_ptr(*cb, holder->pmc);
}

void CMS_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb) {
    if (!holder || !holder->cms || !cb) return;
    release_ptr(*cb, holder->cms->thresholds);
    release_ptr(*cb, holder->cms->types);
    release_ptr(*cb, holder->cms);
}

}  // namespace ovcg::irac
