#include "support/model_sml.h"

#include "common/byte_cursor.h"
#include "support/model_index.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace {

void put8(Bytes& b, uint8_t v) { b.push_back(v); }
void patch32(Bytes& b, size_t at, size_t v) { ovcg::store_u32le(b.data() + at, uint32_t(v)); }

}  // namespace

Bytes write_sml(const SmlSpec& s, SmlLayout* layout) {
    SmlLayout l;
    const size_t n = s.inks.size();
    Bytes b(20, 0);
    const uint8_t magic[4] = {0xFB, 0x69, 0xF7, 0xDC};
    std::copy(magic, magic + 4, b.begin() + 4);
    ovcg::store_u32le(b.data() + 8, 5);
    ovcg::store_u32le(b.data() + 12, 20);
    ovcg::store_u16le(b.data() + 16, s.grad);
    l.directory = b.size();
    put8(b, uint8_t(s.skipped_tables ? 6 : 4));
    // The four tables, entries filled below: kind, count, entry size, entries.
    const auto table = [&](uint8_t kind, uint8_t size) {
        put8(b, kind);
        put8(b, uint8_t(n));
        put8(b, size);
        const size_t at = b.size();
        b.insert(b.end(), n * size, uint8_t(0));
        return at;
    };
    l.ink_table = table(0, 5);
    if (s.skipped_tables) b.insert(b.end(), {4, 1, 3, 7, 7, 7, 5, 0, 0});
    l.set_table = table(3, 4);
    l.info_table = table(1, 4);
    l.dbg_table = table(2, 4);
    for (size_t k = 0; k < n; ++k) {
        const SmlInk& ink = s.inks[k];
        const size_t dots = ink.weights.size();
        if (ink.rates.size() != dots * s.grad) throw std::invalid_argument("sml: G rates per dot");
        if (ink.stride < 2) throw std::invalid_argument("sml: a rate takes two bytes");
        b[l.ink_table + 5 * k] = ink.code;
        l.header.push_back(b.size());
        patch32(b, l.ink_table + 5 * k + 1, b.size());
        b.insert(b.end(), {uint8_t(k), 255});

        l.set.push_back(b.size());
        patch32(b, l.set_table + 4 * k, b.size());
        b.insert(b.end(), {0, 0, uint8_t(k), uint8_t(dots), uint8_t(k), 0});
        for (uint16_t r : ink.rates) {
            put16(b, r);
            b.insert(b.end(), size_t(ink.stride - 2), uint8_t(0xEE));
        }

        l.info.push_back(b.size());
        patch32(b, l.info_table + 4 * k, b.size());
        put8(b, ink.stride);
        put16(b, ink.max);
        put8(b, uint8_t(dots));
        for (int16_t w : ink.weights) {
            put16(b, uint16_t(w));
            put32(b, 0);
        }

        l.dbg.push_back(b.size());
        patch32(b, l.dbg_table + 4 * k, b.size());
        put8(b, 0);
        put16(b, ink.dbg0);
        put16(b, ink.dbg255);
    }
    if (layout) *layout = l;
    return b;
}

SmlInk model_sml_ink(uint8_t code, int dots, uint16_t dbg0, uint16_t dbg255, uint16_t grad, int zero_dot) {
    if (dots < 1 || dots > 6 || grad < 2 || zero_dot >= dots || (zero_dot >= 0 && dots < 2))
        throw std::invalid_argument("model SML: 1..6 dots, 2 or more levels");
    SmlInk ink;
    ink.code = code;
    ink.dbg0 = dbg0;
    ink.dbg255 = dbg255;
    const int16_t three[3] = {30, 60, 100};
    for (int d = 0; d < dots; ++d) {
        const int16_t w = dots == 1 ? 100 : dots == 3 ? three[d] : int16_t(20 + 80 * d / (dots - 1));
        ink.weights.push_back(d == zero_dot ? int16_t(0) : w);
    }
    std::vector<int> active;
    for (int d = 0; d < dots; ++d)
        if (d != zero_dot) active.push_back(d);
    const uint32_t n = uint32_t(active.size());
    ink.rates.assign(size_t(dots) * grad, 0);
    // Level v lays x = v n 4080 / (G - 1) of ink: segment s (boundaries
    // belong to the lower one) hands dot s - 1's share to dot s.
    for (uint32_t v = 0; v < grad; ++v) {
        const uint32_t x = v * n * 4080 / (grad - 1u);
        const uint32_t s = std::min(x == 0 ? 0u : (x - 1) / 4080, n - 1);
        const uint32_t rem = x - 4080 * s;
        ink.rates[size_t(active[s]) * grad + v] = uint16_t(rem);
        if (s > 0) ink.rates[size_t(active[s - 1]) * grad + v] = uint16_t(4080 - rem);
    }
    return ink;
}

SmlSpec model_sml(const ModelDescription& model, bool colour, int out_bits) {
    SmlSpec s;
    const int dots = out_bits == 1 ? 1 : 3;
    if (colour) {
        for (uint8_t code : model_colour_codes(model))
            s.inks.push_back(model_sml_ink(code, dots, kModelColourDbg0, kModelColourDbg255));
    } else {
        s.inks.push_back(model_sml_ink(0, dots, kModelMonoDbg0, kModelMonoDbg255));
    }
    return s;
}

}  // namespace ovcg_test
