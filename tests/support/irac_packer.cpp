#include "support/irac_packer.h"

#include "support/lz_pack.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace {

constexpr size_t kHeaderSize = 9;

void put_size(Bytes& out, uint32_t size) {
    out[5] = static_cast<uint8_t>(size >> 16);
    out[6] = static_cast<uint8_t>(size);
    out[7] = static_cast<uint8_t>(size >> 24);
    out[8] = static_cast<uint8_t>(size >> 8);
}

}  // namespace

Bytes irac_plain_resource(const std::array<uint8_t, 4>& prefix, const Bytes& body) {
    Bytes out(kHeaderSize, 0);
    std::copy(prefix.begin(), prefix.end(), out.begin());
    put_size(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
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

    Bytes out(resource.begin(), resource.begin() + 4);
    out.resize(kHeaderSize, 0);
    out[4] = 1;
    put_size(out, static_cast<uint32_t>(body.size()));
    const Bytes code = bits.finish();
    out.insert(out.end(), code.begin(), code.end());
    return out;
}

void add_head_control_resource(ResWriter& writer, uint16_t id, const std::array<uint8_t, 4>& prefix,
                               const Bytes& body, bool packed) {
    const Bytes plain = irac_plain_resource(prefix, body);
    writer.add(4000, id, packed ? irac_pack(plain) : plain);
}

}  // namespace ovcg_test
