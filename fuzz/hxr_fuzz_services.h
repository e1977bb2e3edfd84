// Host services for fuzzing the halftone engine: the C library behind the
// engine's service table, allocations capped so that a hostile length cannot
// exhaust the fuzzer's memory, and one resource served for every identifier
// from a heap block of exactly its size.
#pragma once

#include "ovcg/hxr.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace hxr_fuzz {

inline void* alloc(size_t count, size_t size) {
    if (!count || !size || size > (64u << 20) / count) return nullptr;
    return std::calloc(count, size);
}
inline void release(void* p) { std::free(p); }
inline void* copy(void* d, const void* s, size_t n) { return std::memcpy(d, s, n); }
inline void* fill(void* d, int v, size_t n) { return std::memset(d, v, n); }
inline int compare(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n); }
inline char* str_copy(char* d, const char* s) { return std::strcpy(d, s); }
inline int str_compare(const char* a, const char* b) { return std::strcmp(a, b); }
inline int str_ncompare(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }
inline size_t str_length(const char* s) { return std::strlen(s); }
inline int to_integer(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 10)); }

inline void* get_resource(void* context, unsigned int* size, int, int) {
    const auto* bytes = static_cast<const std::vector<uint8_t>*>(context);
    void* p = std::malloc(bytes->empty() ? 1 : bytes->size());
    if (p && !bytes->empty()) std::memcpy(p, bytes->data(), bytes->size());
    *size = static_cast<unsigned int>(bytes->size());
    return p;
}
inline int free_resource(void*, void* data) {
    std::free(data);
    return 0;
}

// The table, serving `resource` for every identifier and kind.
inline HXRServiceTable services(const std::vector<uint8_t>* resource) {
    return {alloc,   release, get_resource, free_resource, const_cast<std::vector<uint8_t>*>(resource), copy, fill,
            compare, str_copy, str_compare, str_ncompare, str_length, to_integer};
}

// A copy of the input in a heap block of exactly its size, so that the
// sanitizer sees a read past it.
struct Exact {
    Exact(const uint8_t* data, size_t size) : p(static_cast<uint8_t*>(std::malloc(size ? size : 1))), n(uint32_t(size)) {
        if (size) std::memcpy(p, data, size);
    }
    ~Exact() { std::free(p); }
    Exact(const Exact&) = delete;
    Exact& operator=(const Exact&) = delete;
    uint8_t* p;
    uint32_t n;
};

}  // namespace hxr_fuzz
