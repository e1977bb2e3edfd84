// Resource-file reader: one process-wide index over a .RES file, and fetches
// by numeric type and identifier. The C interface is in ovcg/ovs_resource.h;
// this header adds what tests and tools inspect.
#pragma once

#include "ovcg/ovs_resource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovcg {

struct ResIndexEntry {
    uint16_t id;
    uint16_t type;
    uint64_t offset;  // of the data in the file
    uint32_t size;    // data bytes
};

// The entries of the current index, in file order (empty when none is loaded).
std::vector<ResIndexEntry> res_index_entries();

// Longest resource-file path the index holds (a longer one is refused).
inline constexpr size_t kResPathMax = 255;

}  // namespace ovcg
