// Packer for the halftone engine's packed resources: an envelope of 8 magic
// bytes and the packed length around a code stream that starts with its
// 4-byte unpacked count.
#pragma once

#include "support/res_writer.h"

#include <cstddef>
#include <cstdint>

namespace ovcg_test {

// Greedy LZ77 of `data` into a code stream (count first). `max_match` limits
// match lengths (3..257), 0 = literals only.
Bytes hxr_pack_stream(const Bytes& data, int max_match = 257);
// The envelope around a stream: magic, packed length, the stream (whose count
// is the unpacked length).
Bytes hxr_envelope(const Bytes& stream, bool lut);
// hxr_envelope(hxr_pack_stream(data), false).
Bytes hxr_pack(const Bytes& data);
// A packed colour look-up table: the body of `nodes` x `channels` bytes at
// `body_offset` is stored planar (all of channel 0, then channel 1, ...).
Bytes hxr_pack_lut(const Bytes& interleaved, size_t body_offset, size_t nodes, size_t channels);

}  // namespace ovcg_test
