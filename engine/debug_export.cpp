#include "engine/debug_export.h"

#include <atomic>

namespace ovcg {
namespace {

std::atomic<DebugExportHook> g_hook{nullptr};

}  // namespace

void SetDebugExportHook(DebugExportHook hook) { g_hook.store(hook); }

DebugExportHook GetDebugExportHook() { return g_hook.load(); }

int32_t DebugExport(int32_t id, int32_t size, void* data) {
    const DebugExportHook hook = g_hook.load();
    return hook ? hook(id, size, data) : 0;
}

}  // namespace ovcg
