// The walk over a tiled threshold matrix that every ordered-dither and
// HybridED kernel shares.
//
// Tiling. The matrix (W x H cells, HXRDthData) covers the page in tiles; each
// step right across a tile edge moves ShiftV rows down, and each further band
// of H nozzle positions starts ShiftH columns further right. A colour's
// offsets (HXRDthOffset) move its tiling; the vertical position is the head's
// nozzle number, not the raster line. For the first pixel X0 of a walk (a
// multiple of 4; with X = X0 + OffsetH and y = OffsetV + nozzle):
//   column = (X + (y / H) x ShiftH) mod W
//   row    = (y + (X / W) x ShiftV) mod H
// computed exactly (64-bit, shifts reduced mod W and H first), which equals
// the 32-bit arithmetic wherever that does not wrap.
//
// Walk. The kernels take pixels in groups of four: group k covers pixels
// X0 + 4k .. X0 + 4k + 3 and reads the four stored cells from (row, column)
// on; the padded row supplies the cells past column W - 1 (the same row of
// the next tile). After each group the column advances by 4; when it reaches
// W it is taken back by W and the row advances by ShiftV (mod H). The row of
// a pixel therefore depends on where the walk starts, not only on the pixel.
//
// Contract. Construct only on a record that HXRCheckDthData accepts (W >= 4,
// H >= 1, stride >= W + 3, cells present); the walk then never leaves the
// cells' W + 3 first cells of the H rows. It does no other check, allocates
// nothing and keeps no state beyond itself.
#pragma once

#include "hxr/control/hxr_ht_data.h"

#include <cstddef>
#include <cstdint>

// 0 when the record's geometry is one the walk can run on, else 1.
inline uint32_t HXRCheckDthData(const HXRDthData* d) {
    if (!d || !d->cells || d->SizeH < 4 || d->SizeV < 1) return 1;
    return uint64_t(d->stride) < uint64_t(d->SizeH) + 3 ? 1u : 0u;
}

namespace ovcg {

class DitherWalk {
public:
    // `first`: the first pixel of the walk, not negative (the kernels pass the
    // span start rounded down to their output byte).
    DitherWalk() = default;
    DitherWalk(const HXRDthData& d, const HXRDthOffset& off, uint32_t nozzle, int64_t first)
        : w_(uint32_t(d.SizeH)), h_(uint32_t(d.SizeV)) {
        const uint64_t shift_h = modulo(d.ShiftH, w_);
        shift_v_ = uint32_t(modulo(d.ShiftV, h_));
        const uint64_t x = uint64_t(first) + off.OffsetH;
        const uint64_t y = uint64_t(off.OffsetV) + nozzle;
        col_ = uint32_t((x % w_ + (y / h_) % w_ * shift_h) % w_);
        row_index_ = uint32_t((y % h_ + (x / w_) % h_ * shift_v_) % h_);
        stride_ = d.stride;
        base_ = d.cells;
        row_ = base_ + ptrdiff_t(row_index_) * stride_;
    }

    // The four cells of the current group.
    const uint16_t* cells() const { return row_ + col_; }
    uint32_t column() const { return col_; }
    uint32_t row() const { return row_index_; }

    // To the next group of four pixels.
    void next() {
        col_ += 4;
        if (col_ >= w_) {
            col_ -= w_;
            row_index_ += shift_v_;
            if (row_index_ >= h_) row_index_ -= h_;
            row_ = base_ + ptrdiff_t(row_index_) * stride_;
        }
    }

private:
    static uint64_t modulo(int32_t v, uint32_t m) {
        const int64_t r = int64_t(v) % int64_t(m);
        return uint64_t(r < 0 ? r + int64_t(m) : r);
    }

    uint32_t w_ = 0, h_ = 0;
    uint32_t shift_v_ = 0;
    uint32_t col_ = 0, row_index_ = 0;
    size_t stride_ = 0;
    const uint16_t* base_ = nullptr;
    const uint16_t* row_ = nullptr;
};

}  // namespace ovcg
