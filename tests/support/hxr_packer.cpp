#include "support/hxr_packer.h"

#include "support/lz_pack.h"

namespace ovcg_test {

Bytes hxr_pack_stream(const Bytes& data, int max_match) {
    MsbBitWriter bits;
    AdaptiveCoder coder;
    // A distance or length base equal to the previous one is sent as class 0.
    uint32_t last_dist = 1, last_base = 1;
    lz77_parse(
        data, max_match < 0 ? 0u : uint32_t(max_match), 128, [&](uint8_t b) { coder.put(b, bits); },
        [&](uint32_t dist, uint32_t length) {
            const uint32_t base = length - 2;
            const uint32_t dclass = dist == last_dist ? 0 : lz_class(dist);
            const uint32_t lclass = base == last_base ? 0 : lz_class(base);
            coder.put(int(kLzFirstMatch + dclass * kLzLengthClasses + lclass), bits);
            if (dclass > 1) bits.put(dist - (1u << (dclass - 1)), int(dclass) - 1);
            if (lclass > 1) bits.put(base - (1u << (lclass - 1)), int(lclass) - 1);
            last_dist = dist;
            last_base = base;
        });
    const uint32_t count = static_cast<uint32_t>(data.size());
    Bytes b{uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
    const Bytes body = bits.finish();
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes hxr_envelope(const Bytes& stream, bool lut) {
    Bytes b{0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, uint8_t(lut ? 0xBA : 0xB9)};
    uint32_t len = static_cast<uint32_t>(stream.size());
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(len >> (8 * k)));
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

Bytes hxr_pack(const Bytes& data) { return hxr_envelope(hxr_pack_stream(data), false); }

Bytes hxr_pack_lut(const Bytes& interleaved, size_t body_offset, size_t nodes, size_t channels) {
    Bytes planar = interleaved;
    for (size_t k = 0; k < nodes; ++k)
        for (size_t c = 0; c < channels; ++c)
            planar.at(body_offset + c * nodes + k) = interleaved.at(body_offset + k * channels + c);
    return hxr_envelope(hxr_pack_stream(planar), true);
}

}  // namespace ovcg_test
