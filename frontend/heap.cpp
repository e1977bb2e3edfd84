#include "frontend/heap.h"

#include <cstdlib>
#include <cstring>

namespace ovcg::frontend {
namespace {
ovcg_heap g_installed = {nullptr, nullptr};
}  // namespace

void ovcg_heap_set_extern_functions(ovcg_allocate_fn allocate, ovcg_release_fn release) {
    if (allocate && release)
        g_installed = {allocate, release};
    else
        g_installed = {nullptr, nullptr};
}

ovcg_heap ovcg_heap_installed() { return g_installed; }

void* ovcg_heap_alloc(const ovcg_heap& heap, size_t size) {
    if (size == 0) size = 1;
    void* p = heap.allocate ? heap.allocate(size) : std::malloc(size);
    if (p) std::memset(p, 0, size);
    return p;
}

void ovcg_heap_free(const ovcg_heap& heap, void* block) {
    if (!block) return;
    if (heap.release)
        heap.release(block);
    else
        std::free(block);
}

}  // namespace ovcg::frontend
