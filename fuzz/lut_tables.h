// Synthetic colour tables for the LUT kernel fuzz targets
// (tests/support/synthetic_lut.h), one per ink count and variant, built on
// first use and kept for the rest of the run. lut_tables.cpp is built
// without the fuzzer's coverage (fuzz/CMakeLists.txt): a table is up to a
// million nodes of arithmetic that no input reaches, and with every
// comparison traced one table took a second or more to build.
#pragma once

#include "hxr/control/hxr_lut_data.h"

#include <cstdint>
#include <vector>

namespace lut_fuzz {

// 4D, 32 nodes per axis, 4..12 inks: variant 0 on the engine's node levels
// with a neutral gamma pair; 1 and 2 on even levels with the pairs
// (160, 80) and (300, 50), the second decoding past 65535.
HXRLutData* cmyk_table(int inks, int variant);

// 3D, 64 nodes per axis, 1..12 inks: variant 0 as above; 1, 2 and 3 on even
// levels with the pairs (100, 100), (100, 50) and (300, 50).
HXRLutData* rgb_table(int inks, int variant);

// The CMYK user colour table of `inks` inks and salt 0..255
// (synthetic_user_table).
const std::vector<uint32_t>& user_table(int inks, uint32_t salt);

}  // namespace lut_fuzz
