#include "support/irac_packer.h"

#include "support/lz_pack.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace {

constexpr size_t kHeaderSize = 9;

// The 9-byte envelope (the 4-byte prefix, the packed flag, then the unpacked
// size with its bytes in the order 2, 0, 3, 1) followed by the payload.
Bytes enveloped(const uint8_t* prefix, uint8_t packed, uint32_t size, const Bytes& payload) {
    const uint8_t head[kHeaderSize] = {prefix[0], prefix[1], prefix[2], prefix[3], packed,
                                       static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size),
                                       static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 8)};
    Bytes out;
    out.reserve(kHeaderSize + payload.size());
    for (uint8_t b : head) out.push_back(b);
    for (uint8_t b : payload) out.push_back(b);
    return out;
}

}  // namespace

Bytes irac_plain_resource(const std::array<uint8_t, 4>& prefix, const Bytes& body) {
    return enveloped(prefix.data(), 0, static_cast<uint32_t>(body.size()), body);
}

Bytes irac_pack(const Bytes& resource, const IracPackOptions& options, IracPackStats* stats) {
    if (resource.size() < kHeaderSize) throw std::invalid_argument("resource shorter than its header");
    const Bytes body(resource.begin() + kHeaderSize, resource.end());

    MsbBitWriter bits;
    AdaptiveCoder coder;
    auto symbol = [&](int sym) {
        if (coder.put(sym, bits) && stats) {
            ++stats->rebuilds;
            if (stats->record_lengths) stats->lengths_after_rebuild.push_back(coder.current().length);
        }
    };
    // Class 0 repeats the previous distance or length base (both start at 1).
    uint32_t prev_distance = 1, prev_base = 1;
    lz77_parse(
        body, options.matches ? kLzMaxMatch : 0, options.max_chain, [&](uint8_t b) { symbol(b); },
        [&](uint32_t distance, uint32_t length) {
            const uint32_t base = length - 2;
            const uint32_t d = options.repeat_classes && distance == prev_distance ? 0 : lz_class(distance);
            const uint32_t l = options.repeat_classes && base == prev_base ? 0 : lz_class(base);
            symbol(static_cast<int>(kLzFirstMatch + d * kLzLengthClasses + l));
            if (d > 1) bits.put(distance - (1u << (d - 1)), static_cast<int>(d) - 1);
            if (l > 1) bits.put(base - (1u << (l - 1)), static_cast<int>(l) - 1);
            prev_distance = distance;
            prev_base = base;
            if (stats) {
                stats->longest_match = std::max<size_t>(stats->longest_match, length);
                stats->farthest_distance = std::max<size_t>(stats->farthest_distance, distance);
            }
        });

    return enveloped(resource.data(), 1, static_cast<uint32_t>(body.size()), bits.finish());
}

void add_head_control_resource(ResWriter& writer, uint16_t id, const std::array<uint8_t, 4>& prefix,
                               const Bytes& body, bool packed) {
    const Bytes plain = irac_plain_resource(prefix, body);
    writer.add(4000, id, packed ? irac_pack(plain) : plain);
}

}  // namespace ovcg_test
