// Dither records laid out as the host halftoning data set lays them out, for
// tests and benchmarks of the dither and HybridED kernels: rows of
// (W + 4) rounded down to even cells, the cells past column W - 1 continuing
// the same row of the next tile (matrix row + ShiftV, modulo H), every cell
// the threshold plus 8192.
#pragma once

#include "hxr/control/hxr_ht_data.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovcg_test {

// Move-only: `data` points into `cells`.
struct DitherRecord {
    DitherRecord() = default;
    DitherRecord(DitherRecord&&) = default;
    DitherRecord& operator=(DitherRecord&&) = default;
    DitherRecord(const DitherRecord&) = delete;
    DitherRecord& operator=(const DitherRecord&) = delete;

    int32_t width = 0, height = 0, shift_h = 0, shift_v = 0;
    std::vector<uint16_t> thresholds;  // width x height, row by row, unpadded
    std::vector<uint16_t> cells;       // the padded rows
    HXRDthData data{};

    // The threshold of matrix cell (x, y), as the kernels compare it.
    uint32_t threshold(int64_t x, int64_t y) const { return thresholds[size_t(y * width + x)]; }
};

// The cell (threshold + 8192) of pixel x for a walk that starts at pixel
// `first` (the kernels' first output byte), taken from the unpadded matrix:
// with c0, r0 the start column and row, and t = c0 + (x - first), pixel x
// lies in matrix column t mod W of row r0 + (t div W) x ShiftV (mod H), the
// row stepping ShiftV at each tile edge the group walk crosses.
uint32_t reference_cell(const DitherRecord& r, const HXRDthOffset& off, uint32_t nozzle, int64_t first, int64_t x);

// `stride` 0: (width + 4) & ~1. Throws std::invalid_argument for a threshold
// count other than width x height or a stride below width + 3.
DitherRecord make_dither_record(int32_t width, int32_t height, int32_t shift_h, int32_t shift_v,
                                std::vector<uint16_t> thresholds, uint32_t stride = 0);

}  // namespace ovcg_test
