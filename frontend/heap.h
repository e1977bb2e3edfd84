// The front end allocates only through the caller's allocator. Until a caller
// installs one (ovcgInitialize), the C runtime's is used, so the exported
// raster pipeline also works for callers that never initialise the library.
#pragma once

#include <cstddef>

#include "ovcg/ovcg.h"

namespace ovcg::frontend {

// Installs the caller's allocate and release functions (null: the C runtime's).
void ovcg_heap_set_extern_functions(ovcg_allocate_fn allocate, ovcg_release_fn release);
// size bytes, zero-filled (size 0 gets a 1-byte block); null when out of memory.
void* ovcg_malloc(size_t size);
// Ignores null.
void ovcg_free(void* block);

}  // namespace ovcg::frontend
