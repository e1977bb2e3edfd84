// What the head-control benchmarks share: the platform's resource hooks,
// serving a copy of the byte vector that the resource context points at.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ovcg_bench {

inline void* serve_resource(void* context, int, uint32_t* size) {
    const auto* r = static_cast<const std::vector<uint8_t>*>(context);
    void* p = std::malloc(r->size() ? r->size() : 1);
    if (!r->empty()) std::memcpy(p, r->data(), r->size());
    *size = uint32_t(r->size());
    return p;
}
inline void release_resource(void*, void* p) { std::free(p); }

}  // namespace ovcg_bench
