// Where the engine's classes hand numbered debug records (id, size, data).
// The job interface installs its export entry here; until it does, records
// go nowhere and the export answers 0.
#pragma once

#include <cstdint>

namespace ovcg {

using DebugExportHook = int32_t (*)(int32_t id, int32_t size, void* data);

// Installs the hook (null removes it). Process-wide.
void SetDebugExportHook(DebugExportHook hook);
DebugExportHook GetDebugExportHook();
// Calls the hook with the three values and returns its result; 0 without one.
int32_t DebugExport(int32_t id, int32_t size, void* data);

}  // namespace ovcg
