// Unpacking of packed head-control resources (IRAC_GetResourceDataSize and
// IRAC_DecompressResource are declared in ovcg/irac.h).
#pragma once

#include "headcontrol/rdm_code.h"

#include <cstdint>

namespace ovcg::irac {

// Work area of one unpacking call, allocated through the caller's table.
struct RdmWork {
    int16_t decode[rdm::kTableSize];
    rdm::CodeState code;
    uint8_t window[rdm::kWindowSize];
};

// Rebuilds the work area's code and decode table from its frequencies.
void RDM_MakecodeReverse(RdmWork& work);

// The unpacked size (bytes after the header) that a packed header states.
uint32_t rdm_unpacked_size(const uint8_t header[rdm::kHeaderSize]);

}  // namespace ovcg::irac
