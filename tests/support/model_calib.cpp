#include "support/model_calib.h"

#include "common/byte_cursor.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

Bytes write_calib(const std::vector<CalibTable>& tables) {
    const size_t n = tables.size();
    if (n > 12) throw std::invalid_argument("calibration: at most 12 tables");
    Bytes b(128, 0);
    ovcg::store_u32le(b.data(), uint32_t(128 + 512 * n));
    ovcg::store_u16le(b.data() + 8, 400);
    ovcg::store_u32le(b.data() + 16, 256);
    ovcg::store_u32le(b.data() + 20, 12);
    ovcg::store_u32le(b.data() + 24, uint32_t(n));
    for (size_t k = 0; k < n; ++k) {
        ovcg::store_u32le(b.data() + 32 + 8 * k, uint32_t(128 + 512 * k));
        ovcg::store_u32le(b.data() + 36 + 8 * k, tables[k].id);
    }
    for (const CalibTable& t : tables) {
        if (t.values.size() != 256) throw std::invalid_argument("calibration: 256 values a table");
        for (int16_t v : t.values) put16(b, uint16_t(v));
    }
    return b;
}

CalibTable model_calib_table(uint32_t id, int bend) {
    CalibTable t;
    t.id = id;
    for (int v = 0; v < 256; ++v) t.values.push_back(int16_t(v + bend * v * (255 - v) / (128 * 128)));
    return t;
}

CalibTable model_calib_positions(uint32_t id, int bend) {
    CalibTable t = model_calib_table(id, bend);
    for (int16_t& v : t.values) v = int16_t(std::clamp(16 * int(v), 0, 16 * 255));
    return t;
}

}  // namespace ovcg_test
