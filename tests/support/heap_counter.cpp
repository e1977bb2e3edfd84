#include "support/heap_counter.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/sanitized.h"

// The address and the thread sanitizer bring allocators of their own, which
// a malloc of this file would cut out (the thread sanitizer's start-up then
// fails).
#if OVCG_TEST_SANITIZED

// The sanitizer runtime's count (its header is not installed with every
// compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);

namespace ovcg_test {
uint64_t heap_bytes() { return __sanitizer_get_current_allocated_bytes(); }
uint64_t heap_blocks() { return 0; }
uint64_t heap_peak_bytes() { return 0; }
void heap_reset_peak() {}
bool heap_peak_kept() { return false; }
}  // namespace ovcg_test

#else

namespace {

// Live blocks by address with the bytes asked for each. The count is the sum
// of what was asked for, not what the allocator handed out: a block's usable
// size depends on the free chunks it was cut from (a chunk a few bytes larger
// is handed out whole), so usable sizes of blocks that outlive a measurement
// (the C library's own thread records among them) vary with the order in
// which threads freed memory, and the same work would count differently from
// run to run. The table lives in its own pages (no malloc inside malloc),
// split into stripes by address, each under its own lock.
struct Entry {
    uintptr_t key;  // 0: free
    uint64_t size;
};

class Stripe {
public:
    // False when the table cannot grow.
    bool Insert(uintptr_t key, uint64_t size) {
        Lock();
        bool ok = m_count + 1 <= m_capacity / 2 || Grow();
        if (ok) {
            Entry* e = Find(key);
            if (e->key == 0) ++m_count;
            *e = Entry{key, size};
        }
        Unlock();
        return ok;
    }
    // The bytes asked for the block, or -1 when it is not in the table.
    int64_t Remove(uintptr_t key) {
        Lock();
        int64_t size = -1;
        if (m_capacity > 0) {
            Entry* e = Find(key);
            if (e->key == key) {
                size = static_cast<int64_t>(e->size);
                Erase(static_cast<size_t>(e - m_table));
                --m_count;
            }
        }
        Unlock();
        return size;
    }

private:
    static size_t Home(uintptr_t key, size_t mask) {
        return static_cast<size_t>(((key >> 4) * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    }
    // The key's entry, or the free entry where it would go.
    Entry* Find(uintptr_t key) const {
        const size_t mask = m_capacity - 1;
        for (size_t i = Home(key, mask);; i = (i + 1) & mask)
            if (m_table[i].key == key || m_table[i].key == 0) return &m_table[i];
    }
    // Linear probing without tombstones: the entries after a hole that
    // would be found through it move into it.
    void Erase(size_t hole) {
        const size_t mask = m_capacity - 1;
        m_table[hole].key = 0;
        for (size_t i = (hole + 1) & mask; m_table[i].key != 0; i = (i + 1) & mask) {
            const size_t home = Home(m_table[i].key, mask);
            if (((i - home) & mask) >= ((i - hole) & mask)) {
                m_table[hole] = m_table[i];
                m_table[i].key = 0;
                hole = i;
            }
        }
    }
    bool Grow() {
        const size_t capacity = m_capacity ? 2 * m_capacity : 1024;
        void* p = mmap(nullptr, capacity * sizeof(Entry), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        Entry* old = m_table;
        const size_t oldCapacity = m_capacity;
        m_table = static_cast<Entry*>(p);
        m_capacity = capacity;
        for (size_t i = 0; i < oldCapacity; ++i)
            if (old[i].key != 0) *Find(old[i].key) = old[i];
        if (old) munmap(old, oldCapacity * sizeof(Entry));
        return true;
    }

public:
    void Lock() {
        while (m_lock.test_and_set(std::memory_order_acquire)) sched_yield();
    }
    void Unlock() { m_lock.clear(std::memory_order_release); }

private:
    std::atomic_flag m_lock = ATOMIC_FLAG_INIT;
    Entry* m_table = nullptr;
    size_t m_capacity = 0;  // a power of two, or 0
    size_t m_count = 0;
};

constexpr size_t kStripes = 64;
// Constant-initialised: static constructors that run first allocate too.
constinit Stripe g_stripes[kStripes];
constinit std::atomic<int64_t> g_bytes{0};
constinit std::atomic<int64_t> g_blocks{0};
constinit std::atomic<int64_t> g_peak{0};

Stripe& StripeOf(uintptr_t key) { return g_stripes[(key >> 4) % kStripes]; }

// A child forked while another thread held a stripe would wait for it at its
// first allocation: fork holds them all.
void LockAll() {
    for (Stripe& s : g_stripes) s.Lock();
}
void UnlockAll() {
    for (Stripe& s : g_stripes) s.Unlock();
}
const int g_forkHandlers = pthread_atfork(LockAll, UnlockAll, UnlockAll);

void add(int64_t n) {
    const int64_t now = g_bytes.fetch_add(n, std::memory_order_relaxed) + n;
    int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void* counted(void* p, size_t size) {
    if (!p) return p;
    const auto key = reinterpret_cast<uintptr_t>(p);
    if (!StripeOf(key).Insert(key, size)) {
        static const char kMessage[] = "heap counter: no memory for its table of blocks\n";
        (void)!write(2, kMessage, sizeof kMessage - 1);
        abort();
    }
    g_blocks.fetch_add(1, std::memory_order_relaxed);
    add(static_cast<int64_t>(size));
    return p;
}

// Takes the block out of the count before the C library may hand its
// address to another thread. Blocks the count never saw (the C library's
// own, made before or around it) are not subtracted.
void uncount(void* p) {
    if (!p) return;
    const int64_t size = StripeOf(reinterpret_cast<uintptr_t>(p)).Remove(reinterpret_cast<uintptr_t>(p));
    if (size < 0) return;
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_bytes.fetch_sub(size, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) { return counted(__libc_malloc(size), size); }
void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size), count * size); }
void free(void* block) {
    uncount(block);
    __libc_free(block);
}
void* realloc(void* block, size_t size) {
    if (!block) return malloc(size);
    const auto key = reinterpret_cast<uintptr_t>(block);
    const int64_t old = StripeOf(key).Remove(key);
    void* p = __libc_realloc(block, size);
    if (old >= 0) {
        g_blocks.fetch_sub(1, std::memory_order_relaxed);
        g_bytes.fetch_sub(old, std::memory_order_relaxed);
    }
    if (p) return counted(p, size);
    // Failed: the block stays (size 0 frees it).
    if (size != 0 && old >= 0) counted(block, static_cast<size_t>(old));
    return nullptr;
}
void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size), size); }
void* aligned_alloc(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size), size); }
int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = counted(__libc_memalign(alignment, size), size);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void* valloc(size_t size) { return counted(__libc_memalign(4096, size), size); }
void* pvalloc(size_t size) {
    const size_t rounded = (size + 4095) & ~size_t{4095};
    return counted(__libc_memalign(4096, rounded), rounded);
}
}

namespace ovcg_test {
uint64_t heap_bytes() { return static_cast<uint64_t>(g_bytes.load(std::memory_order_relaxed)); }
uint64_t heap_blocks() { return static_cast<uint64_t>(g_blocks.load(std::memory_order_relaxed)); }
uint64_t heap_peak_bytes() { return static_cast<uint64_t>(g_peak.load(std::memory_order_relaxed)); }
void heap_reset_peak() { g_peak.store(g_bytes.load(std::memory_order_relaxed), std::memory_order_relaxed); }
bool heap_peak_kept() { return true; }
}  // namespace ovcg_test

#endif
