// The platform of the head-control fuzz targets: the default callbacks with
// counted memory (a block left over is a finding) and the fuzz input served
// as the model resource (kind 256), each fetch an exact copy so that a read
// past its end is caught.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/model_resource.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace irac_fuzz {

inline const uint8_t* g_data = nullptr;
inline size_t g_size = 0;
inline long g_blocks = 0;     // blocks allocated and not freed
inline long g_resources = 0;  // resources fetched and not released

inline void* Alloc(uint32_t size) {
    if (size == 0 || size > (64u << 20)) return nullptr;
    ++g_blocks;
    return std::malloc(size);
}
inline void* Realloc(void* p, uint32_t size) { return size ? std::realloc(p, size) : nullptr; }
inline void Free(void* p) {
    if (p) --g_blocks;
    std::free(p);
}
inline void* Get(void*, int kind, uint32_t* size) {
    *size = 0;
    if (kind != ovcg::irac::kModelResourceKind) return nullptr;
    void* p = std::malloc(g_size ? g_size : 1);
    if (g_size) std::memcpy(p, g_data, g_size);
    *size = static_cast<uint32_t>(g_size);
    ++g_resources;
    return p;
}
inline void Release(void*, void* p) {
    --g_resources;
    std::free(p);
}

// The table over `data` as the model resource.
inline OVF_COMMON platform(const uint8_t* data, size_t size) {
    g_data = data;
    g_size = size;
    OVF_COMMON ovf = ovcg::irac::defaults::table();
    ovf.alloc = Alloc;
    ovf.realloc = Realloc;
    ovf.free = Free;
    ovf.get_resource = Get;
    ovf.free_resource = Release;
    return ovf;
}

}  // namespace irac_fuzz
