// The front end allocates only through the caller's allocator. Until a caller
// installs one (ovcgInitialize), the C runtime's is used, so the exported
// raster pipeline also works for callers that never initialise the library.
//
// The installed allocator is read and replaced only under the call claim
// (frontend/call_claim.h). A block goes back to the allocator that gave it:
// the context's blocks are all released before ovcgInitialize installs the
// next allocator, and a raster pipeline, which the caller may keep across
// that, keeps the allocator it was made with for itself, its pipes and its
// writers.
#pragma once

#include <cstddef>

#include "ovcg/ovcg.h"

namespace ovcg::frontend {

// An allocate and release pair; both null: the C runtime's.
struct ovcg_heap {
    ovcg_allocate_fn allocate;
    ovcg_release_fn release;
};

// Installs the caller's allocate and release functions (null: the C runtime's).
void ovcg_heap_set_extern_functions(ovcg_allocate_fn allocate, ovcg_release_fn release);
// The allocator installed now.
ovcg_heap ovcg_heap_installed();

// size bytes from the heap, zero-filled (size 0 gets a 1-byte block); null
// when out of memory.
void* ovcg_heap_alloc(const ovcg_heap& heap, size_t size);
// Gives a block back to the heap it came from; ignores null.
void ovcg_heap_free(const ovcg_heap& heap, void* block);

// The same with the installed allocator.
inline void* ovcg_malloc(size_t size) { return ovcg_heap_alloc(ovcg_heap_installed(), size); }
inline void ovcg_free(void* block) { ovcg_heap_free(ovcg_heap_installed(), block); }

}  // namespace ovcg::frontend
