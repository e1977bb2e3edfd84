// Huffman tables and entropy coding of the JPEG encoder.
//
// All tables are constants built at compile time (code words, and the
// precomputed AC words that join a code with its value bits), so encoders on
// several threads share them without any initialisation step.
#pragma once

#include "codecs/jpeg/jpeg_errors.h"
#include "codecs/jpeg/output_stream.h"

#include <array>
#include <bit>
#include <cstdint>

namespace ovcg::jpeg {

// A Huffman table as written into a DHT segment: code counts per length 1..16
// and the symbols in code order.
struct HuffmanSegment {
    uint8_t tableClassId;  // class (0 DC, 1 AC) << 4 | identifier
    uint8_t bits[16];
    uint8_t vals[256];
    int count;  // number of symbols
};

// Code word and length per symbol byte (DC: the category; AC: run << 4 | size).
// A length of 0 marks a symbol the table has no code for.
struct SHuffmanCodeTable {
    int symbolCount;
    uint16_t code[256];
    uint8_t length[256];
};

extern const HuffmanSegment kYDcSegment, kCDcSegment, kYDcSegment16, kCDcSegment16;
extern const HuffmanSegment kYAcSegment, kCAcSegment, kYAcSegment16, kCAcSegment16;

extern const SHuffmanCodeTable kYDcHuffmanT, kCDcHuffmanT, kYDcHuffmanT16, kCDcHuffmanT16;
extern const SHuffmanCodeTable kYAcHuffmanT, kCAcHuffmanT, kYAcHuffmanT16, kCAcHuffmanT16;

// Precomputed AC words for values -256..255 after a zero run r: (code << size |
// value bits) << 5 | total length. Indexed [r * 512 + value + 256].
inline constexpr int kAcWordValues = 512;
inline constexpr int kAcWordsPerTable = 16 * kAcWordValues;
extern const uint32_t* const kAcWords8[2];   // luminance, chrominance (8-bit tables)
extern const uint32_t* const kAcWords16[2];  // luminance, chrominance (16-bit tables)

// Natural-order index of the k-th coefficient in zigzag order.
inline constexpr uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Number of bits of |v| (0 for 0).
constexpr int BitSize(int v) { return std::bit_width(static_cast<unsigned>(v < 0 ? -v : v)); }

// The `size` low bits that follow a category code: v itself when positive,
// v - 1 (one's complement) when negative.
constexpr uint32_t ValueBits(int v, int size) {
    return static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << size) - 1u);
}

// The tables one block is coded with.
struct BlockTables {
    const SHuffmanCodeTable* dc;
    const SHuffmanCodeTable* ac;
    const uint32_t* acWords;
};

// Codes a DC difference: the category's code, then its low bits.
void EmitDc(COutputStream& out, int diff, const SHuffmanCodeTable& dc);

// Codes the AC coefficients 1..63 (natural order in `coeff`) of one block,
// with an end-of-block code when the last one is zero.
void EmitAc(COutputStream& out, const int* coeff, const BlockTables& t);

// Codes a whole block (DC difference and AC coefficients) with the same bytes
// as EmitDc and EmitAc, straight into the buffer from registers while it has
// room for the largest block, else through the stream.
void EmitBlock(COutputStream& out, int diff, const int* coeff, const BlockTables& t);

// Writes the DHT segment of a table.
void WriteHuffmanSegment(COutputStream& out, const HuffmanSegment& seg);

}  // namespace ovcg::jpeg
