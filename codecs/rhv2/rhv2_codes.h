// The bit-level vocabulary of RHV2: difference codes, run-length pieces,
// token prefixes, and the bounded bit writer and reader.
//
// Codes are packed least significant bit first: the first bit of a component
// line is bit 0 of its first byte. Every code below is therefore stored as the
// integer whose bit k is the k-th bit written.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg::rhv2 {

struct Code {
    uint32_t bits;
    uint8_t len;
};

// Difference code of a signed difference d (index: the byte value of d).
//   0: 101;  +-1: 00+1 bit;  2..3: 01+2;  4..7: 100+3;  8..15: 110+4;
//   16..31: 1110+5;  32..63: 11110+6;  64..127: 111110+7;  -128: 1111110.
// The extra k bits carry d for d > 0 and d - 1 (mod 2^k) for d < 0.
constexpr std::array<Code, 256> make_diff_codes() {
    std::array<Code, 256> t{};
    for (int b = 0; b < 256; ++b) {
        int d = b < 128 ? b : b - 256;
        if (d == 0) { t[b] = {0b101, 3}; continue; }
        if (d == -128) { t[b] = {0b0111111, 7}; continue; }
        int mag = d < 0 ? -d : d;
        int k = 0;
        while ((1 << k) <= mag) ++k;
        // Prefixes in written order: 00, 01, 100, 110, 1110, 11110, 111110.
        constexpr uint32_t prefix_bits[8] = {0, 0b00, 0b10, 0b001, 0b011, 0b0111, 0b01111, 0b011111};
        constexpr uint8_t prefix_len[8] = {0, 2, 2, 3, 3, 4, 5, 6};
        uint32_t extra = static_cast<uint32_t>(d > 0 ? d : d - 1) & ((1u << k) - 1);
        t[b] = {prefix_bits[k] | (extra << prefix_len[k]), static_cast<uint8_t>(prefix_len[k] + k)};
    }
    return t;
}
inline constexpr std::array<Code, 256> kDiffCodes = make_diff_codes();

// Ends a difference sequence: seven one-bits.
inline constexpr Code kTerminator = {0x7F, 7};
inline constexpr int kTerminatorValue = 256;  // decoder's value for the terminator

// Run-length piece: the rest r (0..254) of a run as a difference value:
// 0 -> -128, 2k+1 -> k, 2k -> -k. The code of 127 means "255 more".
constexpr std::array<uint8_t, 256> make_run_map() {
    std::array<uint8_t, 256> t{};
    for (int r = 0; r < 256; ++r) {
        int d = r == 0 ? -128 : (r & 1) ? (r - 1) / 2 : -(r / 2);
        t[r] = static_cast<uint8_t>(d & 0xFF);
    }
    return t;
}
inline constexpr std::array<uint8_t, 256> kRunMap = make_run_map();
inline constexpr uint32_t kRunStep = 255;
inline constexpr int kRunStepValue = 127;
inline constexpr int kRunToEndValue = -128;

// Decoding table over the next 13 bits (the longest code): value (-128..127,
// or kTerminatorValue) and length.
struct DecodeEntry {
    int16_t value;
    uint8_t len;
};
inline constexpr unsigned kPeekBits = 13;
constexpr std::array<DecodeEntry, 1u << kPeekBits> make_decode_table() {
    std::array<DecodeEntry, 1u << kPeekBits> t{};
    auto fill = [&t](uint32_t bits, uint8_t len, int16_t value) {
        for (uint32_t high = 0; high < (1u << (kPeekBits - len)); ++high)
            t[bits | (high << len)] = {value, len};
    };
    for (int b = 0; b < 256; ++b)
        fill(kDiffCodes[b].bits, kDiffCodes[b].len, static_cast<int16_t>(b < 128 ? b : b - 256));
    fill(kTerminator.bits, kTerminator.len, kTerminatorValue);
    return t;
}
inline constexpr std::array<DecodeEntry, 1u << kPeekBits> kDecodeTable = make_decode_table();

// Tokens and their prefixes by coding state (2, 3 or 4). A prefix is n
// one-bits then a zero; the table gives n per state and token.
enum Token : uint8_t { kAbove, kLastRun, kSecondRun, kDiffRun, kDiffSeq, kDiffRunShort, kTokenCount };
inline constexpr uint8_t kNoToken = 0xFF;

inline constexpr uint8_t kPrefixOnes[3][kTokenCount] = {
    // above, last, second, diff+run, diff seq, short diff+run
    {0, 2, 1, 3, 4, kNoToken},  // state 2
    {2, 3, 4, 1, 0, kNoToken},  // state 3
    {2, 3, 4, 1, 5, 0},         // state 4
};
// Inverse: token by state and number of leading one-bits (kNoToken: no prefix).
inline constexpr uint8_t kTokenByOnes[3][8] = {
    {kAbove, kSecondRun, kLastRun, kDiffRun, kDiffSeq, kNoToken, kNoToken, kNoToken},
    {kDiffSeq, kDiffRun, kAbove, kLastRun, kSecondRun, kNoToken, kNoToken, kNoToken},
    {kDiffRunShort, kDiffRun, kAbove, kLastRun, kSecondRun, kDiffSeq, kNoToken, kNoToken},
};

inline constexpr Code prefix_code(uint32_t state, Token token) {
    uint8_t n = kPrefixOnes[state - 2][token];
    return {(1u << n) - 1, static_cast<uint8_t>(n + 1)};
}

// First byte of a component line stored raw. It starts with seven one-bits,
// which is no prefix in any state.
inline constexpr uint8_t kEscapeByte = 0x7F;

// Bounded LSB-first bit writer. Writes nothing at or past `cap` bytes; a code
// that does not fit sets overflow() and the rest is dropped.
class BitWriter {
public:
    BitWriter(uint8_t* dst, size_t cap) : dst_(dst), cap_(cap) {}

    void put(uint32_t bits, unsigned len) {
        acc_ |= static_cast<uint64_t>(bits) << nbits_;
        nbits_ += len;
        if (nbits_ >= 32) flush32();
    }
    void put(Code c) { put(c.bits, c.len); }

    // Bytes the line takes so far, counting a partial last byte.
    size_t bytes() const { return pos_ + (nbits_ + 7) / 8; }
    bool overflow() const { return overflow_; }

    // Writes the partial last byte (zero-padded); returns the line's bytes.
    size_t finish() {
        while (nbits_ > 0) {
            emit(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            nbits_ = nbits_ > 8 ? nbits_ - 8 : 0;
        }
        return pos_;
    }

private:
    void emit(uint8_t b) {
        if (pos_ < cap_) dst_[pos_] = b; else overflow_ = true;
        ++pos_;
    }
    void flush32() {
        if (cap_ - (pos_ < cap_ ? pos_ : cap_) >= 4) {
            uint32_t w = static_cast<uint32_t>(acc_);
            dst_[pos_] = static_cast<uint8_t>(w);
            dst_[pos_ + 1] = static_cast<uint8_t>(w >> 8);
            dst_[pos_ + 2] = static_cast<uint8_t>(w >> 16);
            dst_[pos_ + 3] = static_cast<uint8_t>(w >> 24);
            pos_ += 4;
        } else {
            for (int i = 0; i < 4; ++i) emit(static_cast<uint8_t>(acc_ >> (8 * i)));
        }
        acc_ >>= 32;
        nbits_ -= 32;
    }

    uint8_t* dst_;
    size_t cap_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    unsigned nbits_ = 0;
    bool overflow_ = false;
};

// LSB-first bit reader over exactly the bytes of one component line. Bits
// past the end read as zero; consumed() tells how far the decoder went, so a
// caller compares it with the line's size instead of trusting the codes.
class BitReader {
public:
    BitReader(const uint8_t* src, size_t size) : src_(src), size_(size) { refill(); }

    // The next 32 bits without consuming them.
    uint32_t peek() const { return static_cast<uint32_t>(acc_); }
    void skip(unsigned len) {
        acc_ >>= len;
        nbits_ -= len;
        consumed_ += len;
        if (nbits_ < 32) refill();
    }
    // Reads one difference code (or the terminator).
    DecodeEntry code() {
        DecodeEntry e = kDecodeTable[peek() & ((1u << kPeekBits) - 1)];
        skip(e.len);
        return e;
    }
    uint32_t bits(unsigned len) {
        uint32_t v = peek() & ((1u << len) - 1);
        skip(len);
        return v;
    }
    uint64_t consumed() const { return consumed_; }
    // True once the decoder has read past the line's bytes.
    bool overrun() const { return consumed_ > static_cast<uint64_t>(size_) * 8; }

private:
    void refill() {
        while (nbits_ <= 56) {
            uint64_t b = next_ < size_ ? src_[next_] : 0;
            ++next_;
            acc_ |= b << nbits_;
            nbits_ += 8;
        }
    }

    const uint8_t* src_;
    size_t size_;
    size_t next_ = 0;
    uint64_t acc_ = 0;
    unsigned nbits_ = 0;
    uint64_t consumed_ = 0;
};

}  // namespace ovcg::rhv2
