#include "headcontrol/callbacks.h"

#include <cstdlib>
#include <cstring>

namespace ovcg::irac {

uint32_t check_required_callbacks(const OVF_COMMON* ovf) {
    if (!ovf) return kErrStartJobArgument;
    // Checked in word order so that the first missing word decides.
    const bool present[] = {
        ovf->alloc != nullptr,          ovf->realloc != nullptr,
        ovf->free != nullptr,           ovf->copy != nullptr,
        ovf->move != nullptr,           ovf->fill != nullptr,
        ovf->lead_zero_search != nullptr, ovf->trail_zero_search != nullptr,
        ovf->send_data != nullptr,      ovf->get_resource != nullptr,
        ovf->free_resource != nullptr,
    };
    for (bool p : present) {
        if (!p) return kErrStartJobArgument;
    }
    return 0;
}

CallbackTable relay_callbacks(const OVF_COMMON& ovf) {
    CallbackTable cb{};
    cb.alloc = ovf.alloc;
    cb.free = ovf.free;
    cb.copy = ovf.copy;
    cb.fill = ovf.fill;
    cb.lead_zero_search = ovf.lead_zero_search;
    cb.trail_zero_search = ovf.trail_zero_search;
    cb.realloc = ovf.realloc;
    cb.move = ovf.move;
    cb.get_resource = ovf.get_resource;
    cb.free_resource = ovf.free_resource;
    cb.resource_context = ovf.resource_context;
    cb.resource_context2 = ovf.resource_context2;
    cb.send_data = ovf.send_data;
    cb.send_context = ovf.send_context;
    cb.complement_list = nullptr;
    cb.loss_nozzle_query = nullptr;
    cb.debug_log = ovf.debug_log;
    return cb;
}

void* alloc_zeroed(const CallbackTable& cb, uint32_t size) {
    if (size == 0 || !cb.alloc) return nullptr;
    void* p = cb.alloc(size);
    if (p && cb.fill) cb.fill(p, 0, size);
    return p;
}

void release(const CallbackTable& cb, void* block) {
    if (block && cb.free) cb.free(block);
}

namespace {
FetchedResource fetch_with(const CallbackTable& cb, void* context, int kind) {
    FetchedResource res;
    if (!cb.get_resource) return res;
    uint32_t size = 0;
    void* p = cb.get_resource(context, kind, &size);
    if (!p) return res;
    res.data = static_cast<const uint8_t*>(p);
    res.size = size;
    res.context = context;
    return res;
}
}  // namespace

FetchedResource fetch_resource(const CallbackTable& cb, int kind) { return fetch_with(cb, cb.resource_context, kind); }

FetchedResource fetch_resource2(const CallbackTable& cb, int kind) {
    return fetch_with(cb, cb.resource_context2, kind);
}

void release_resource(const CallbackTable& cb, FetchedResource& res) {
    if (res.data && cb.free_resource) {
        cb.free_resource(res.context, const_cast<uint8_t*>(res.data));
    }
    res = FetchedResource{};
}

bool send(const CallbackTable& cb, const void* bytes, uint32_t length, int flag) {
    return cb.send_data && cb.send_data(cb.send_context, bytes, length, flag) != 0;
}

namespace defaults {

void* OVF_malloc(uint32_t size) { return size ? std::malloc(size) : nullptr; }

void* OVF_realloc(void* block, uint32_t size) {
    // A size of 0 leaves the block with its owner rather than freeing it.
    if (size == 0) return nullptr;
    return std::realloc(block, size);
}

void OVF_free(void* block) { std::free(block); }

void* OVF_memcpy(void* dst, const void* src, uint32_t count) {
    if (count) std::memcpy(dst, src, count);
    return dst;
}

void* OVF_memmove(void* dst, const void* src, uint32_t count) {
    if (count) std::memmove(dst, src, count);
    return dst;
}

void* OVF_memset(void* dst, int value, uint32_t count) {
    if (count) std::memset(dst, value & 0xFF, count);
    return dst;
}

namespace {
inline uint32_t load_word(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}
}  // namespace

int OVF_memsearch(const void* bytes, int count) {
    if (count <= 0 || !bytes) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    const size_t n = static_cast<size_t>(count);
    size_t i = 0;
    // Single bytes up to the first 4-byte boundary, whole words inside the
    // range, then the tail: never a byte outside [p, p + n).
    while (i < n && (reinterpret_cast<uintptr_t>(p + i) & 3u) != 0) {
        if (p[i]) return static_cast<int>(i);
        ++i;
    }
    while (n - i >= 4 && load_word(p + i) == 0) i += 4;
    while (i < n && p[i] == 0) ++i;
    return static_cast<int>(i);
}

int OVF_memrsearch(const void* bytes, int count) {
    if (count <= 0 || !bytes) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    size_t end = static_cast<size_t>(count);  // bytes [0, end) still to scan
    // Single bytes down to a 4-byte boundary of the address, then words,
    // then single bytes.
    while (end > 0 && (reinterpret_cast<uintptr_t>(p + end) & 3u) != 0) {
        if (p[end - 1]) return count - static_cast<int>(end);
        --end;
    }
    while (end >= 4 && load_word(p + end - 4) == 0) end -= 4;
    while (end > 0 && p[end - 1] == 0) --end;
    return count - static_cast<int>(end);
}

int OVF_SendData(void*, const void*, uint32_t, int) { return 1; }

void* OVF_GetResource(void* context, int, uint32_t* size) {
    if (size) *size = 0;
    return context;
}

void OVF_FreeResource(void*, void*) {}

bool OVF_SendMWInfo(uint32_t value) { return value == 0 || value == 1; }

uint32_t OVF_GetMWParam() { return 0; }

void OVF_DebugLog(const char*, ...) {}

OVF_COMMON table() {
    OVF_COMMON t{};
    t.alloc = OVF_malloc;
    t.realloc = OVF_realloc;
    t.free = OVF_free;
    t.copy = OVF_memcpy;
    t.move = OVF_memmove;
    t.fill = OVF_memset;
    t.lead_zero_search = OVF_memsearch;
    t.trail_zero_search = OVF_memrsearch;
    t.send_data = OVF_SendData;
    t.get_resource = OVF_GetResource;
    t.free_resource = OVF_FreeResource;
    t.debug_log = OVF_DebugLog;
    return t;
}

}  // namespace defaults
}  // namespace ovcg::irac
