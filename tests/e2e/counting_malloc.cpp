// The process's allocated bytes, counted at the C library's allocation
// functions: every block from any thread, the C++ allocations included, by
// the size the allocator gave it. (The C library's own statistics count
// blocks kept in its per-thread caches as in use, so they drift.) Sanitizer
// builds have their own allocator and count; this file then adds nothing.
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "e2e_job.h"

#if defined(__SANITIZE_ADDRESS__)
#define OVCG_E2E_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OVCG_E2E_OWN_ALLOCATOR 1
#endif
#endif

#ifndef OVCG_E2E_OWN_ALLOCATOR

namespace {
std::atomic<int64_t> g_allocated{0};

void* counted(void* p) {
    if (p) g_allocated.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) { return counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }
void free(void* block) {
    if (block) g_allocated.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    __libc_free(block);
}
void* realloc(void* block, size_t size) {
    const int64_t old = block ? static_cast<int64_t>(malloc_usable_size(block)) : 0;
    void* p = __libc_realloc(block, size);
    if (p) {
        g_allocated.fetch_add(static_cast<int64_t>(malloc_usable_size(p)) - old, std::memory_order_relaxed);
    } else if (block && size == 0) {
        g_allocated.fetch_sub(old, std::memory_order_relaxed);  // freed
    }
    return p;
}
void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = counted(__libc_memalign(alignment, size));
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void* valloc(size_t size) { return counted(__libc_memalign(4096, size)); }
void* pvalloc(size_t size) { return counted(__libc_memalign(4096, (size + 4095) & ~size_t{4095})); }
}

namespace ovcg_e2e {
int64_t counted_allocated_bytes() { return g_allocated.load(std::memory_order_relaxed); }
}  // namespace ovcg_e2e

#endif
