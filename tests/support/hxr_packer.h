// Packer for the halftone engine's packed resources: LZ77 over a 16384-byte
// ring coded with the adaptive canonical Huffman code the engine's decoder
// rebuilds as it goes. Written independently of the decoder so that each
// checks the other.
#pragma once

#include "support/res_writer.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace ovcg_test {

inline constexpr int kHxrPackSymbols = 392;

// The code the model builds from a set of frequencies.
struct HxrPackCode {
    std::array<uint8_t, kHxrPackSymbols> length{};
    std::array<uint16_t, kHxrPackSymbols> code{};
};
HxrPackCode hxr_pack_build_code(const std::array<uint32_t, kHxrPackSymbols>& freq);

// Writes a code stream symbol by symbol with the adaptive model; tests use it
// for hand-made and hostile streams.
class HxrStreamWriter {
public:
    HxrStreamWriter();
    void literal(uint8_t byte) { symbol(byte); }
    void end_mark() { symbol(256); }
    // A match symbol of distance class d (0..14) and length class l (0..8),
    // followed by its d-1 and l-1 extra bits.
    void match(int dclass, uint32_t dextra, int lclass, uint32_t lextra);
    // A symbol coded with the current code (updates the model).
    void symbol(int sym);
    void bits(uint32_t value, int count);
    // The stream: the 4-byte count, then the bits padded with zeros to a byte.
    Bytes finish(uint32_t count) const;
    size_t symbols() const { return symbols_; }
    size_t rebuilds() const { return rebuilds_; }
    const HxrPackCode& current() const { return code_; }

private:
    std::array<uint32_t, kHxrPackSymbols> freq_{};
    HxrPackCode code_;
    uint32_t counter_ = 0;
    Bytes out_;
    uint32_t acc_ = 0;
    int acc_bits_ = 0;
    size_t symbols_ = 0;
    size_t rebuilds_ = 0;
};

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
