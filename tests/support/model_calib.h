// Writer of the calibration blob a caller may hand the halftone engine: per
// output colour a table of 256 signed 16-bit values.
#pragma once

#include "support/res_writer.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

struct CalibTable {
    uint32_t id = 0;
    std::vector<int16_t> values;  // 256
};
// A 128-byte header (length, 400, 256 levels, 12, count, index), then the
// tables at 128 + 512 k; the length is exactly 128 + 512 n.
Bytes write_calib(const std::vector<CalibTable>& tables);
// A table that bends level v by `bend` at mid-scale.
CalibTable model_calib_table(uint32_t id, int bend);
// A table of positions for the SML correction: level v maps to the level
// v + bend v (255 - v) / 16384 of the ink-weight table, in 1/16 levels.
CalibTable model_calib_positions(uint32_t id, int bend);

}  // namespace ovcg_test
