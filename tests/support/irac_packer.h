// Packer for head-control resources (type 4000): LZ77 over a 16 KiB window,
// literals, end mark and match classes coded with the adaptive Huffman code
// that the engine's unpacker rebuilds on the same schedule.
//
// Packed layout: the resource's first four bytes, a packed flag 1, the size
// of what follows the 9-byte header in the byte order bits 16-23, 0-7,
// 24-31, 8-15, then the code stream (MSB first, zero-padded to a byte).
#pragma once

#include "support/res_writer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovcg_test {

struct IracPackOptions {
    bool matches = true;         // false: every byte a literal
    bool repeat_classes = true;  // code a distance or length equal to the previous one as class 0
    uint32_t max_chain = 64;     // match candidates tried per position
};

struct IracPackStats {
    size_t rebuilds = 0;
    size_t longest_match = 0;
    size_t farthest_distance = 0;
    // With record_lengths, the code lengths of all 392 symbols after each rebuild.
    bool record_lengths = false;
    std::vector<std::array<uint8_t, 392>> lengths_after_rebuild;
};

// A plain (unpacked) head-control resource: the four prefix bytes, packed
// flag 0, the body's size in the header's byte order, then the body. Packing
// and unpacking it gives it back byte for byte.
Bytes irac_plain_resource(const std::array<uint8_t, 4>& prefix, const Bytes& body);

// Packs a plain resource of at least 9 bytes (bytes 4-8 of the input are
// not read: the packed header states the size of what follows them).
Bytes irac_pack(const Bytes& resource, const IracPackOptions& options = {},
                IracPackStats* stats = nullptr);

// Adds a head-control resource (type 4000) to a model file, packed or plain.
void add_head_control_resource(ResWriter& writer, uint16_t id, const std::array<uint8_t, 4>& prefix,
                               const Bytes& body, bool packed);

}  // namespace ovcg_test
