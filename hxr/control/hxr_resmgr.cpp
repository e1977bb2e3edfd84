#include "hxr/control/hxr_resmgr.h"

namespace {

struct CacheEntry {
    CacheEntry* next;
    uint32_t identifier;
    uint32_t size;
    uint8_t* data;
};

}  // namespace

struct HXRResMgr {
    CacheEntry* cache;
    HXRDeCompState* decomp;
    HXRGetResourceFn get;
    HXRFreeResourceFn release;
    void* context;
    HXRMemCpyFn copy;
    HXRMemMgr* mm;
};

HXRResMgr* HXRCreateResMgr(HXRGetResourceFn get, HXRFreeResourceFn release, void* context, HXRMemCpyFn copy,
                           HXRMemMgr* mm) {
    if (!get || !release || !copy || !mm) return nullptr;
    auto* m = static_cast<HXRResMgr*>(HXRAllocMem(mm, sizeof(HXRResMgr)));
    if (!m) return nullptr;
    if (HXRDeCompNew(&m->decomp, mm) != 0) {
        HXRFreeMem(mm, m);
        return nullptr;
    }
    m->cache = nullptr;
    m->get = get;
    m->release = release;
    m->context = context;
    m->copy = copy;
    m->mm = mm;
    return m;
}

const uint8_t* HXRGetResource(HXRResMgr* m, uint32_t identifier, uint32_t kind, uint32_t* size) {
    if (size) *size = 0;
    if (!m) return nullptr;
    for (CacheEntry* e = m->cache; e; e = e->next) {
        if (e->identifier == identifier && e->data) {
            if (size) *size = e->size;
            return e->data;
        }
    }
    unsigned int raw_size = 0;
    void* raw = m->get(m->context, &raw_size, static_cast<int>(identifier), static_cast<int>(kind));
    if (!raw) return nullptr;

    void* unpacked = nullptr;
    uint32_t unpacked_size = 0;
    if (HXRDeComp(m->decomp, raw, raw_size, &unpacked, &unpacked_size, m->mm) != 0) {
        m->release(m->context, raw);
        return nullptr;
    }
    uint8_t* data = static_cast<uint8_t*>(unpacked);
    if (unpacked == raw) {
        // Stored plain: keep a copy of our own, with zero bytes after it.
        if (uint64_t(raw_size) + kHxrResourceSlack > UINT32_MAX) {
            m->release(m->context, raw);
            return nullptr;
        }
        data = static_cast<uint8_t*>(HXRAllocMem(m->mm, raw_size + kHxrResourceSlack));
        if (!data) {
            m->release(m->context, raw);
            return nullptr;
        }
        if (raw_size) m->copy(data, raw, raw_size);
        unpacked_size = raw_size;
    }
    m->release(m->context, raw);
    auto* e = static_cast<CacheEntry*>(HXRAllocMem(m->mm, sizeof(CacheEntry)));
    if (!e) {
        HXRFreeMem(m->mm, data);
        return nullptr;
    }
    e->identifier = identifier;
    e->size = unpacked_size;
    e->data = data;
    e->next = m->cache;
    m->cache = e;
    if (size) *size = unpacked_size;
    return data;
}

uint32_t HXRDeleteResMgr(HXRResMgr* m) {
    if (!m) {
        HXRSetErrorInfo(kHxrResMgrNone);
        return kHxrResMgrNone;
    }
    HXRMemMgr* mm = m->mm;
    uint32_t rc = static_cast<uint32_t>(HXRDeCompDelete(m->decomp, mm));
    CacheEntry* e = m->cache;
    while (e) {
        CacheEntry* next = e->next;
        uint32_t r = HXRFreeMem(mm, e->data);
        if (!rc) rc = r;
        r = HXRFreeMem(mm, e);
        if (!rc) rc = r;
        e = next;
    }
    uint32_t r = HXRFreeMem(mm, m);
    return rc ? rc : r;
}
