#include "support/model_dither.h"

#include "support/hxr_packer.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace ovcg_test {

namespace {

void put8(Bytes& b, uint8_t v) { b.push_back(v); }
void put_magic(Bytes& b, uint8_t a, uint8_t c, uint8_t d, uint8_t e) {
    put32(b, 0);  // bytes 0..3 are not read
    b.insert(b.end(), {a, c, d, e});
}

// Bayer index of (x, y) in a 2^k square.
uint32_t bayer(uint32_t x, uint32_t y, int k) {
    uint32_t v = 0;
    for (int i = 0; i < k; ++i) {
        uint32_t xb = (x >> i) & 1, yb = (y >> i) & 1;
        v = (v << 2) | ((xb ^ yb) << 1 | yb);
    }
    return v;
}

}  // namespace

Bytes write_dither_switch(const DitherSwitchSpec& s) {
    Bytes b;
    put_magic(b, 0xFC, 0xF9, 0x2E, 0xB8);
    const size_t inks = s.areas.empty() ? 0 : s.areas[0].size();
    put8(b, s.form);
    put8(b, uint8_t(inks));
    put8(b, uint8_t(s.areas.size()));
    b.resize(16, 0);
    if (s.form == 1) {
        for (uint16_t id : s.areas.at(0)) put16(b, id);
        return b;
    }
    const size_t table = b.size();
    b.resize(table + 4 * s.areas.size(), 0);
    for (size_t a = 0; a < s.areas.size(); ++a) {
        const uint32_t off = uint32_t(b.size());
        for (int k = 0; k < 4; ++k) b[table + 4 * a + k] = uint8_t(off >> (8 * k));
        for (uint16_t id : s.areas[a]) put16(b, id);
    }
    return b;
}

Bytes write_plain_mask(const PlainMaskSpec& s) {
    const size_t n = size_t(s.width) * s.height;
    if (s.thresholds.size() != n) throw std::invalid_argument("threshold count");
    Bytes b;
    put_magic(b, 0xCF, 0xF9, 0x2E, 0x47);
    put8(b, 3);
    put8(b, 3);
    put16(b, 32);  // thresholds right after the header, 4-aligned
    put16(b, s.width);
    put16(b, s.height);
    put32(b, 4080);
    put16(b, 0);
    put8(b, s.bits == 16 ? 2 : 1);
    put8(b, s.bits == 16 ? 0 : 4);
    put16(b, s.shift);
    put8(b, s.direction);
    put8(b, 0);
    b.resize(32, 0);
    if (s.bits == 16) {
        for (uint16_t t : s.thresholds) put16(b, t);
    } else {
        // Two 12-bit thresholds in three bytes, the second in the high nibbles.
        for (size_t i = 0; i < n; i += 2) {
            const uint16_t a = s.thresholds[i] & 0xFFF;
            const uint16_t c = i + 1 < n ? s.thresholds[i + 1] & 0xFFF : 0;
            put8(b, uint8_t(a));
            put8(b, uint8_t((a >> 8) | ((c & 0xF) << 4)));
            put8(b, uint8_t(c >> 4));
        }
        // Exactly the bytes the last threshold's 16-bit read spans.
        if (n) b.resize(32 + (3 * (n - 1)) / 2 + 2);
    }
    return b;
}

PlainMaskSpec model_plain_mask(uint16_t width, uint16_t height, int bits) {
    PlainMaskSpec s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    const uint16_t side = std::max(width, height);
    int k = 0;
    while ((1u << k) < side) ++k;
    const uint32_t cells = 1u << (2 * k);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            s.thresholds.push_back(uint16_t(1 + uint64_t(bayer(x, y, k)) * 4079 / (cells - 1 ? cells - 1 : 1)));
    return s;
}

PlainMaskSpec model_scattered_mask(uint16_t width, uint16_t height, int bits, uint16_t shift, uint8_t direction) {
    PlainMaskSpec s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    s.shift = shift;
    s.direction = direction;
    const uint32_t cells = uint32_t(width) * height;
    if (cells == 0) throw std::invalid_argument("empty mask");
    // The smallest stride above cells / 3 that shares no factor with the count.
    auto gcd = [](uint32_t a, uint32_t b) {
        while (b) a %= b, std::swap(a, b);
        return a;
    };
    uint32_t stride = cells / 3 + 1;
    while (gcd(stride, cells) != 1) ++stride;
    for (uint32_t i = 0; i < cells; ++i)
        s.thresholds.push_back(uint16_t(uint64_t(i) * stride % cells * 4080 / cells));
    return s;
}

PlainMaskSpec model_odd_mask_37() { return model_scattered_mask(37, 16, 16, 11, 1); }
PlainMaskSpec model_odd_mask_5() { return model_scattered_mask(5, 8, 12, 3, 0); }

Bytes write_ubec_mask(const UbecMaskSpec& s) {
    Bytes b;
    put_magic(b, 0xE7, 0xCB, 0x0D, 0x1E);
    const int32_t blocks = (s.width * s.height) / (s.block_w * s.block_h);
    put32(b, 2);                 // 8 version
    put32(b, 72);                // 12 offset of the blocks
    put32(b, uint32_t(s.block_size));  // 16
    put32(b, uint32_t(s.block_w));   // 20
    put32(b, uint32_t(s.block_h));   // 24
    put32(b, uint32_t(blocks));      // 28
    put32(b, uint32_t(s.width));     // 32
    put32(b, uint32_t(s.height));    // 36
    put32(b, 4080);                  // 40
    put32(b, 0);                     // 44
    put32(b, 0);                     // 48
    put32(b, uint32_t(s.shift_h));   // 52
    put32(b, uint32_t(s.shift_v));   // 56
    put32(b, 0);                     // 60 reserved
    put32(b, 0);                     // 64
    put32(b, 0);                     // 68: the block offset less 72
    for (uint16_t e : s.entries) put16(b, e);
    return b;
}

UbecMaskSpec model_ubec_mask(int32_t width, int32_t height, int32_t block_w, int32_t block_h) {
    UbecMaskSpec s;
    s.block_w = block_w;
    s.block_h = block_h;
    s.block_size = block_w * block_h;
    s.width = width;
    s.height = height;
    const int32_t blocks = (width * height) / s.block_size;
    // Each block: entry j carries order (j * 5 + block) mod size, and a
    // threshold that grows with the block and the entry.
    for (int32_t blk = 0; blk < blocks; ++blk) {
        for (int32_t j = 0; j < s.block_size; ++j) {
            const uint16_t order = uint16_t((j * 5 + blk) % s.block_size);
            const uint16_t t = uint16_t(1 + (blk * s.block_size + j) * 4079 / (blocks * s.block_size));
            s.entries.push_back(uint16_t(order << 12 | t));
        }
    }
    return s;
}

Bytes write_dither_offset(const std::vector<DitherOffsetEntry>& entries) {
    Bytes b;
    put_magic(b, 0xE7, 0xCB, 0x0D, 0xFF);
    put32(b, 1);
    put32(b, 20);
    put32(b, uint32_t(entries.size()));
    for (const DitherOffsetEntry& e : entries) b.insert(b.end(), {e.h_mul, e.h_div, e.h_add, e.v_mul, e.v_div, e.v_add});
    return b;
}

std::vector<DitherOffsetEntry> model_dither_offsets() {
    std::vector<DitherOffsetEntry> e;
    for (uint8_t k = 0; k < 12; ++k)
        e.push_back({uint8_t(k % 4), 4, uint8_t(k), uint8_t((k + 1) % 3), 3, uint8_t(2 * k)});
    return e;
}

void add_model_dither(ResWriter& w, const ModelDescription& model, DitherPacking packing) {
    size_t inks = 1;
    for (const ModelInkSet& s : model.ink_sets) inks = std::max(inks, s.inks.size());
    inks = std::min<size_t>(inks, 12);
    auto put = [&](uint16_t id, const Bytes& data, bool mask) {
        const bool pack = packing == DitherPacking::AllPacked || (mask && packing == DitherPacking::MasksPacked);
        w.add(kResTypeHalftone, uint16_t(id + 100), pack ? hxr_pack(data) : data);
    };
    // One area: the first ink in dither-offset order takes the 12-bit mask,
    // the others share the 16-bit one.
    DitherSwitchSpec one;
    one.areas.emplace_back();
    for (size_t k = 0; k < inks; ++k) one.areas[0].push_back(k == 0 ? kModelMask12Id : kModelMask16Id);
    put(kModelDitherSwitchId, write_dither_switch(one), false);
    // Two areas: area 0 as above, area 1 on UBEC masks.
    DitherSwitchSpec two = one;
    two.form = 2;
    two.areas.emplace_back();
    for (size_t k = 0; k < inks; ++k) two.areas[1].push_back(k % 2 ? kModelMaskUbec8Id : kModelMaskUbecId);
    put(kModelDitherSwitchAreasId, write_dither_switch(two), false);

    // One area on four distinct 32-wide masks (inks take them in turn), and
    // one on 32-wide UBEC masks of two block shapes.
    DitherSwitchSpec four, ubec;
    four.areas.emplace_back();
    ubec.areas.emplace_back();
    for (size_t k = 0; k < inks; ++k) {
        four.areas[0].push_back(kModelMask32Ids[k % 4]);
        ubec.areas[0].push_back(k % 2 ? kModelMaskUbec32x2Id : kModelMaskUbecId);
    }
    put(kModelDitherSwitchFourId, write_dither_switch(four), false);
    put(kModelDitherSwitchUbecId, write_dither_switch(ubec), false);
    put(kModelMask32Ids[0], write_plain_mask(model_plain_mask(32, 32, 16)), true);
    put(kModelMask32Ids[1], write_plain_mask(model_scattered_mask(32, 32, 16, 0, 0)), true);
    put(kModelMask32Ids[2], write_plain_mask(model_plain_mask(32, 32, 12)), true);
    put(kModelMask32Ids[3], write_plain_mask(model_scattered_mask(32, 32, 12, 0, 0)), true);
    put(kModelMaskUbec32x2Id, write_ubec_mask(model_ubec_mask(32, 32, 4, 2)), true);
    std::vector<DitherOffsetEntry> flat = model_dither_offsets();
    for (DitherOffsetEntry& e : flat) e.v_mul = 0, e.v_div = 1, e.v_add = 0;
    put(kModelDitherOffsetFlatId, write_dither_offset(flat), false);

    put(kModelMask16Id, write_plain_mask(model_plain_mask(64, 64, 16)), true);
    put(kModelMask12Id, write_plain_mask(model_plain_mask(32, 32, 12)), true);
    put(kModelMaskUbecId, write_ubec_mask(model_ubec_mask(32, 32, 4, 4)), true);
    put(kModelMaskUbec8Id, write_ubec_mask(model_ubec_mask(16, 8, 4, 2)), true);
    put(kModelDitherOffsetId, write_dither_offset(model_dither_offsets()), false);
}

}  // namespace ovcg_test
