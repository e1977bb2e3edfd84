#include "support/model_rate.h"

#include "common/byte_cursor.h"
#include "support/model_index.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

Bytes write_rate(const RateSpec& s) {
    Bytes b(kRateEntriesAt, 0);
    const uint8_t magic[8] = {0xA9, 0x81, 0x55, 0x27, 0x40, 0xAA, 0x35, 0x4A};
    std::copy(magic, magic + 8, b.begin());
    ovcg::store_u16le(b.data() + 8, s.version);
    ovcg::store_u16le(b.data() + 16, 0x1234);  // kept, not used
    b[18] = uint8_t(s.entries.size());
    b[19] = s.k;
    b[20] = s.byte20;
    size_t line_at = kRateEntriesAt + s.entries.size() * (size_t(s.k) + 1) * 2;
    Bytes lines;
    for (const RateEntry& e : s.entries) {
        if (e.lines.size() != s.k) throw std::invalid_argument("rate: k lines per entry");
        put16(b, uint16_t(e.code));
        for (const auto& l : e.lines) {
            if (!l) {
                put16(b, 0);
                continue;
            }
            if (line_at + 8 > 0x7FFF) throw std::invalid_argument("rate: offsets are 16-bit");
            put16(b, uint16_t(line_at));
            for (int16_t v : {l->x0, l->y0, l->x1, l->y1}) put16(lines, uint16_t(v));
            line_at += 8;
        }
    }
    b.insert(b.end(), lines.begin(), lines.end());
    return b;
}

RateSpec model_rate(const ModelDescription& model) {
    RateSpec s;
    s.k = 3;
    std::vector<uint8_t> codes = model_colour_codes(model);
    bool has_k = false;
    for (uint8_t c : codes) has_k = has_k || c == 0;
    if (!has_k) codes.push_back(0);
    for (uint8_t c : codes) {
        RateEntry e;
        e.code = c;
        for (int16_t d = 0; d < 3; ++d) e.lines.push_back(RateLine{0, int16_t(8 * d), 255, int16_t(255 - 8 * d - c)});
        s.entries.push_back(e);
    }
    s.entries.back().lines[2].reset();
    return s;
}

}  // namespace ovcg_test
