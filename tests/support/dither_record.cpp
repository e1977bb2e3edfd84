#include "support/dither_record.h"

#include <stdexcept>

namespace ovcg_test {

DitherRecord make_dither_record(int32_t width, int32_t height, int32_t shift_h, int32_t shift_v,
                                std::vector<uint16_t> thresholds, uint32_t stride) {
    if (width < 1 || height < 1 || thresholds.size() != size_t(width) * size_t(height))
        throw std::invalid_argument("dither record: threshold count");
    if (stride == 0) stride = uint32_t(width + 4) & ~1u;
    if (stride < uint32_t(width) + 3) throw std::invalid_argument("dither record: stride");
    DitherRecord r;
    r.width = width;
    r.height = height;
    r.shift_h = shift_h;
    r.shift_v = shift_v;
    r.thresholds = std::move(thresholds);
    r.cells.resize(size_t(stride) * size_t(height));
    const int32_t sv = ((shift_v % height) + height) % height;
    for (int32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < stride; ++x) {
            // Past the matrix: the same row of the tile to the right.
            const int32_t row = int32_t(x) < width ? y : (y + sv) % height;
            const int32_t col = int32_t(x) % width;
            r.cells[size_t(y) * stride + x] = uint16_t(r.thresholds[size_t(row) * size_t(width) + size_t(col)] + 8192);
        }
    r.data = {width, height, shift_h, shift_v, r.cells.data(), stride};
    return r;
}

uint32_t reference_cell(const DitherRecord& r, const HXRDthOffset& off, uint32_t nozzle, int64_t first, int64_t x) {
    using Wide = unsigned __int128;
    const Wide w = Wide(r.width), h = Wide(r.height);
    auto mod = [](int64_t v, int64_t m) { return Wide(((v % m) + m) % m); };
    const Wide sh = mod(r.shift_h, r.width), sv = mod(r.shift_v, r.height);
    const Wide big_x = Wide(first) + off.OffsetH, y = Wide(off.OffsetV) + nozzle;
    const Wide c0 = (big_x + (y / h) * sh) % w;
    const Wide r0 = (y + (big_x / w) * sv) % h;
    const Wide t = c0 + Wide(x - first);
    const Wide row = (r0 + (t / w) * sv) % h;
    return r.thresholds[size_t(row * w + t % w)] + 8192u;
}

}  // namespace ovcg_test
