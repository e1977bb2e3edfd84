#include "hxr/control/hxr_memory.h"

#include <atomic>

namespace {

// Every block starts with this 32-byte header; the caller's bytes follow it.
struct BlockHeader {
    BlockHeader* next;
    void* user;
    uint32_t size;
    uint32_t pad_[3];
};
static_assert(sizeof(BlockHeader) == 32, "block header is 32 bytes");

// The size the record is reported with (first block, allocate, free); the tail
// pointer only saves walking the list on every allocation.
constexpr uint64_t kRecordReportedSize = 24;

std::atomic<uint32_t> g_error_code{0};
char g_empty_message[1] = {0};

}  // namespace

struct HXRMemMgr {
    BlockHeader* first;
    HXRAllocFn allocate;
    HXRFreeFn release;
    BlockHeader* last;
    uint32_t count;
};

HXRMemMgr* HXRCreateMemMgr(HXRAllocFn allocate, HXRFreeFn release) {
    if (!allocate || !release) return nullptr;
    auto* m = static_cast<HXRMemMgr*>(allocate(1, sizeof(HXRMemMgr)));
    if (!m) return nullptr;
    m->first = nullptr;
    m->last = nullptr;
    m->count = 0;
    m->allocate = allocate;
    m->release = release;
    return m;
}

uint32_t HXRDeleteMemMgr(HXRMemMgr* m) {
    if (!m) {
        HXRSetErrorInfo(kHxrMemNoManager);
        return kHxrMemNoManager;
    }
    BlockHeader* b = m->first;
    while (b) {
        BlockHeader* next = b->next;
        m->release(b);
        b = next;
    }
    HXRFreeFn release = m->release;
    release(m);
    return 0;
}

void* HXRAllocMem(HXRMemMgr* m, uint32_t size) {
    if (!m) return nullptr;
    auto* b = static_cast<BlockHeader*>(m->allocate(1, static_cast<size_t>(size) + sizeof(BlockHeader)));
    if (!b) return nullptr;
    b->next = nullptr;
    b->user = reinterpret_cast<uint8_t*>(b) + sizeof(BlockHeader);
    b->size = size;
    if (m->last)
        m->last->next = b;
    else
        m->first = b;
    m->last = b;
    ++m->count;
    return b->user;
}

uint32_t HXRFreeMem(HXRMemMgr* m, void* p) {
    if (!m) {
        HXRSetErrorInfo(kHxrMemNoManager);
        return kHxrMemNoManager;
    }
    if (!p) return 0;
    BlockHeader* prev = nullptr;
    for (BlockHeader* b = m->first; b; prev = b, b = b->next) {
        if (b->user != p) continue;
        if (prev)
            prev->next = b->next;
        else
            m->first = b->next;
        if (m->last == b) m->last = prev;
        --m->count;
        m->release(b);
        return 0;
    }
    HXRSetErrorInfo(kHxrMemNotFound);
    return kHxrMemNotFound;
}

uint32_t HXRFreeObject(HXRMemMgr* m, void* object, uint32_t none_code) {
    if (!object) {
        HXRSetErrorInfo(none_code);
        return none_code;
    }
    return HXRFreeMem(m, object);
}

uint32_t HXRGetMemSize(const HXRMemMgr* m, const void* p) {
    if (!m || !p) return 0;
    for (const BlockHeader* b = m->first; b; b = b->next)
        if (b->user == p) return b->size;
    return 0;
}

uint64_t HXRGetAllMemSize(const HXRMemMgr* m) {
    if (!m) return 0;
    uint64_t total = kRecordReportedSize;
    for (const BlockHeader* b = m->first; b; b = b->next) total += uint64_t(b->size) + sizeof(BlockHeader);
    return total;
}

uint32_t HXRGetMemBlockCount(const HXRMemMgr* m) { return m ? m->count : 0; }

void HXRSetErrorInfo(uint32_t code) {
    if (code == 0) {
        g_error_code.store(0, std::memory_order_release);
        return;
    }
    uint32_t expected = 0;
    // Of two concurrent first failures exactly one wins.
    g_error_code.compare_exchange_strong(expected, code, std::memory_order_acq_rel);
}

uint32_t HXRGetErrorInfo(char** message) {
    if (message) *message = g_empty_message;
    return g_error_code.load(std::memory_order_acquire);
}

bool HXRRestoreErrorInfo(uint32_t expected, uint32_t restore) {
    return g_error_code.compare_exchange_strong(expected, restore, std::memory_order_acq_rel);
}
