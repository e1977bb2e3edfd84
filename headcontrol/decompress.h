// Unpacking of packed head-control resources (IRAC_GetResourceDataSize and
// IRAC_DecompressResource are declared in ovcg/irac.h). The code stream is
// the one both engines share (common/lzh_unpack.h); this engine's envelope
// is a 9-byte header: the resource's first four bytes, the packed flag 1,
// the unpacked size in the byte order bits 16-23, 0-7, 24-31, 8-15. The
// unpacked bytes must begin AB B0 A0.
#pragma once

#include "common/lzh_unpack.h"

#include <cstdint>

namespace ovcg::irac {

namespace rdm {
inline constexpr uint32_t kHeaderSize = 9;
inline constexpr uint8_t kSignature[3] = {0xAB, 0xB0, 0xA0};
}  // namespace rdm

// Work area of one unpacking call, allocated through the caller's table.
using RdmWork = lzh::Work;

// Rebuilds the work area's code and decode table from its frequencies.
void RDM_MakecodeReverse(RdmWork& work);

// The unpacked size (bytes after the header) that a packed header states.
uint32_t rdm_unpacked_size(const uint8_t header[rdm::kHeaderSize]);

}  // namespace ovcg::irac
