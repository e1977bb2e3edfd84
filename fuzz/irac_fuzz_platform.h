// The platform of the head-control fuzz targets: counted memory and the
// fuzz input served as the model resource (kind 256), each fetch an exact
// copy so that a read past its end is caught.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/model_resource.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace irac_fuzz {

struct Platform {
    const uint8_t* data = nullptr;  // the resource's bytes
    size_t size = 0;
    long blocks = 0;     // allocated and not freed
    long resources = 0;  // fetched and not released
};

inline Platform g_platform;

inline void* Alloc(uint32_t size) {
    if (size == 0 || size > (64u << 20)) return nullptr;
    ++g_platform.blocks;
    return std::malloc(size);
}
inline void* Realloc(void* p, uint32_t size) { return size ? std::realloc(p, size) : nullptr; }
inline void Free(void* p) {
    if (p) --g_platform.blocks;
    std::free(p);
}
inline void* Get(void*, int kind, uint32_t* size) {
    *size = 0;
    if (kind != ovcg::irac::kModelResourceKind) return nullptr;
    void* p = std::malloc(g_platform.size ? g_platform.size : 1);
    if (g_platform.size) std::memcpy(p, g_platform.data, g_platform.size);
    *size = static_cast<uint32_t>(g_platform.size);
    ++g_platform.resources;
    return p;
}
inline void Release(void*, void* p) {
    --g_platform.resources;
    std::free(p);
}

// The default callbacks with the counted memory and the resource above,
// serving `size` bytes at `data`: as the caller's table, and re-laid.
inline OVF_COMMON platform_table(const uint8_t* data, size_t size) {
    g_platform.data = data;
    g_platform.size = size;
    OVF_COMMON ovf = ovcg::irac::defaults::table();
    ovf.alloc = Alloc;
    ovf.realloc = Realloc;
    ovf.free = Free;
    ovf.get_resource = Get;
    ovf.free_resource = Release;
    return ovf;
}
inline ovcg::irac::CallbackTable callbacks(const uint8_t* data, size_t size) {
    return ovcg::irac::relay_callbacks(platform_table(data, size));
}

}  // namespace irac_fuzz
