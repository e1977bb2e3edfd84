#include "support/model_printer_id.h"

#include "common/byte_cursor.h"

#include <stdexcept>

namespace ovcg_test {

Bytes write_printer_id(const std::vector<uint8_t>& ids, bool long_form) {
    const size_t n = ids.size() + 1;
    if (n > (long_form ? 65535u : 255u)) throw std::invalid_argument("printer id: too many IDs for the form");
    Bytes b;
    if (long_form) {
        b.assign(4, 0);
        b[0] = 0x30;
        ovcg::store_u16le(b.data() + 1, uint16_t(n));
    } else {
        b = {0x20, uint8_t(n), 0};
    }
    b.insert(b.end(), ids.begin(), ids.end());
    return b;
}

std::vector<uint8_t> model_printer_ids(size_t count) {
    std::vector<uint8_t> ids;
    for (size_t i = 0; i < count; ++i) ids.push_back(uint8_t(1 + (37 * i + 11) % 250));
    return ids;
}

}  // namespace ovcg_test
