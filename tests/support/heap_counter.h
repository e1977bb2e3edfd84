// The process's heap bytes, for tests and benchmarks that check what a job
// leaves behind or how much it needs at most.
//
// In a build without the address sanitizer, the C library's allocation
// functions are replaced by counting ones (malloc, calloc, realloc, free and
// the aligned forms): every block from any thread, C++ allocations included,
// is counted by the bytes asked for it, and blocks are counted too. (The C
// library's own statistics count blocks kept in its per-thread caches as in
// use, so they drift; and the size the allocator gives a block depends on
// the free chunks at hand, so it drifts with the threads' timing.) With the
// address sanitizer the sanitizer's allocator counts bytes, and no peak or
// block count is kept.
#pragma once

#include <cstdint>

namespace ovcg_test {

// Bytes allocated now.
uint64_t heap_bytes();
// Blocks allocated now (0 when not kept).
uint64_t heap_blocks();
// The most allocated at any moment since the last reset (0 when not kept).
uint64_t heap_peak_bytes();
// Starts a new peak at the current count.
void heap_reset_peak();
// True when the peak is kept (no sanitizer allocator).
bool heap_peak_kept();

}  // namespace ovcg_test
