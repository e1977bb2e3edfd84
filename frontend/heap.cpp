#include "frontend/heap.h"

#include <cstdlib>
#include <cstring>

namespace ovcg::frontend {
namespace {
ovcg_allocate_fn g_allocate = nullptr;
ovcg_release_fn g_release = nullptr;
}  // namespace

void ovcg_heap_set_extern_functions(ovcg_allocate_fn allocate, ovcg_release_fn release) {
    if (allocate && release) {
        g_allocate = allocate;
        g_release = release;
    } else {
        g_allocate = nullptr;
        g_release = nullptr;
    }
}

void* ovcg_malloc(size_t size) {
    if (size == 0) size = 1;
    void* p = g_allocate ? g_allocate(size) : std::malloc(size);
    if (p) std::memset(p, 0, size);
    return p;
}

void ovcg_free(void* block) {
    if (!block) return;
    if (g_release)
        g_release(block);
    else
        std::free(block);
}

}  // namespace ovcg::frontend
