// What a LUT kernel call leaves, for comparing two runs on one band (a named
// kernel and a reference, or two kernels): the descriptor with a snapshot of
// its rows, intent rows and span, and where the call left the plane and
// attribute pointers.
#pragma once

#include "color_test_util.h"

#include <array>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace color_test {

// Planes: the plane pointers of both lines (6 for RGB, 8 for CMYK).
template <size_t Planes>
struct KernelOutcome {
    HXRIntermediateData* d;
    Snapshot snap;
    std::array<const uint8_t*, Planes> planes;
    std::array<const uint8_t*, 2> attrs;
    // The rows, intent rows and span (the descriptors are distinct records).
    bool same_rows(const KernelOutcome& o) const {
        return snap.block == o.snap.block && d->writtenStart == o.d->writtenStart && d->writtenEnd == o.d->writtenEnd;
    }
    bool operator==(const KernelOutcome& o) const { return same_rows(o) && planes == o.planes && attrs == o.attrs; }
};

// Where two outcomes first differ.
template <size_t Planes>
std::string outcome_difference(const KernelOutcome<Planes>& got, const KernelOutcome<Planes>& want) {
    std::ostringstream s;
    if (got.d->writtenStart != want.d->writtenStart || got.d->writtenEnd != want.d->writtenEnd)
        s << "; span " << got.d->writtenStart << ".." << got.d->writtenEnd << " want " << want.d->writtenStart << ".."
          << want.d->writtenEnd;
    const uint32_t row = got.d->linePixelSize;
    for (size_t i = 0; i < got.snap.block.size() && i < want.snap.block.size(); ++i) {
        if (got.snap.block[i] == want.snap.block[i]) continue;
        s << "; row " << i / row << " column " << i % row << ": " << int(got.snap.block[i]) << " want "
          << int(want.snap.block[i]);
        break;
    }
    for (size_t j = 0; j < Planes; ++j)
        if (got.planes[j] != want.planes[j]) s << "; plane " << j << " off by " << got.planes[j] - want.planes[j];
    for (int j = 0; j < 2; ++j)
        if (got.attrs[j] != want.attrs[j]) s << "; attrs " << j << " off by " << got.attrs[j] - want.attrs[j];
    return s.str();
}

// Ink k's row of line l, columns [from, to).
inline std::vector<uint8_t> ink_row(const HXRIntermediateData* d, int k, uint32_t l, int32_t from, int32_t to) {
    const uint8_t* r = HXRGetInkQuantityBuf(d, k, l);
    return {r + from, r + to};
}

}  // namespace color_test
