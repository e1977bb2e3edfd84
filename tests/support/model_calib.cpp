#include "support/model_calib.h"

#include <stdexcept>

namespace ovcg_test {

Bytes write_calib(const std::vector<CalibTable>& tables) {
    const size_t n = tables.size();
    Bytes b;
    put32(b, uint32_t(128 + 512 * n));
    put32(b, 0);
    put16(b, 400);
    b.resize(16, 0);
    put32(b, 256);
    put32(b, 12);
    put32(b, uint32_t(n));
    put32(b, 0);
    for (size_t k = 0; k < n; ++k) {
        put32(b, uint32_t(128 + 512 * k));
        put32(b, tables[k].id);
    }
    b.resize(128, 0);
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

}  // namespace ovcg_test
