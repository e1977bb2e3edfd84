#include "support/heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstddef>

// The address and the thread sanitizer bring allocators of their own, which
// a malloc of this file would cut out (the thread sanitizer's start-up then
// fails).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OVCG_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define OVCG_SANITIZER_ALLOCATOR 1
#endif
#endif

#ifdef OVCG_SANITIZER_ALLOCATOR

// The sanitizer runtime's count (its header is not installed with every
// compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);

namespace ovcg_test {
uint64_t heap_bytes() { return __sanitizer_get_current_allocated_bytes(); }
uint64_t heap_peak_bytes() { return 0; }
void heap_reset_peak() {}
bool heap_peak_kept() { return false; }
}  // namespace ovcg_test

#else

namespace {

std::atomic<int64_t> g_bytes{0};
std::atomic<int64_t> g_peak{0};

void add(int64_t n) {
    const int64_t now = g_bytes.fetch_add(n, std::memory_order_relaxed) + n;
    int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void* counted(void* p) {
    if (p) add(static_cast<int64_t>(malloc_usable_size(p)));
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
    if (block) g_bytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    __libc_free(block);
}
void* realloc(void* block, size_t size) {
    const int64_t old = block ? static_cast<int64_t>(malloc_usable_size(block)) : 0;
    void* p = __libc_realloc(block, size);
    if (p)
        add(static_cast<int64_t>(malloc_usable_size(p)) - old);
    else if (block && size == 0)
        add(-old);  // freed
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

namespace ovcg_test {
uint64_t heap_bytes() { return static_cast<uint64_t>(g_bytes.load(std::memory_order_relaxed)); }
uint64_t heap_peak_bytes() { return static_cast<uint64_t>(g_peak.load(std::memory_order_relaxed)); }
void heap_reset_peak() { g_peak.store(g_bytes.load(std::memory_order_relaxed), std::memory_order_relaxed); }
bool heap_peak_kept() { return true; }
}  // namespace ovcg_test

#endif
