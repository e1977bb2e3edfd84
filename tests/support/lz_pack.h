// Pieces shared by the test packers of both engines' packed resources: an
// MSB-first bit writer, the adaptive length-limited Huffman code of 392
// symbols (256 literals, an end mark, 15 distance x 9 length classes), and a
// greedy LZ77 parse over a 16 KiB window. Written apart from the engines'
// unpackers so that a round trip checks one against the other.
#pragma once

#include "support/res_writer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace ovcg_test {

inline constexpr int kLzSymbols = 392;
inline constexpr int kLzFirstMatch = 257;
inline constexpr int kLzLengthClasses = 9;
inline constexpr int kLzMaxCodeLength = 12;
inline constexpr uint32_t kLzMinMatch = 3;
inline constexpr uint32_t kLzMaxMatch = 257;
inline constexpr uint32_t kLzMaxDistance = 16383;

class MsbBitWriter {
public:
    void put(uint32_t value, int count);
    // The bits so far, the last byte padded with zeros.
    Bytes finish() const;

private:
    Bytes out_;
    uint32_t acc_ = 0;
    int acc_bits_ = 0;
};

// Code lengths and canonical codes built from a set of frequencies: symbols
// sorted by decreasing frequency (shell sort, gaps 196 ... 1), a two-queue
// Huffman merge in which a leaf wins a tie, lengths limited to 12 bits, codes
// given shortest first in the sorted order.
struct LzCode {
    std::array<uint8_t, kLzSymbols> length{};
    std::array<uint16_t, kLzSymbols> code{};
};
LzCode lz_build_code(const std::array<uint32_t, kLzSymbols>& freq);

// The adaptive model: starts from the code of equal frequencies with the
// symbol counter at 3000, counts every symbol written and rebuilds the code
// when the counter reaches 4096 (then restarting the counts at 1 and the
// counter at 392).
class AdaptiveCoder {
public:
    AdaptiveCoder();
    // Writes sym with the current code; true when it caused a rebuild.
    bool put(int sym, MsbBitWriter& out);
    const LzCode& current() const { return code_; }
    size_t rebuilds() const { return rebuilds_; }

private:
    std::array<uint32_t, kLzSymbols> freq_{};
    LzCode code_;
    uint32_t counter_ = 0;
    size_t rebuilds_ = 0;
};

// Bit count of v (0 for 0): the class of a distance or a length base.
uint32_t lz_class(uint32_t v);

// Greedy parse of data: at each position the longest match of 3..max_match
// bytes at a distance of 1..16383 among max_chain hash-chain candidates
// (among equally long ones the previous match's distance), else a literal.
// max_match below 3 gives literals only.
void lz77_parse(const Bytes& data, uint32_t max_match, uint32_t max_chain,
                const std::function<void(uint8_t)>& literal,
                const std::function<void(uint32_t distance, uint32_t length)>& match);

}  // namespace ovcg_test
