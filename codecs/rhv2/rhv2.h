// RHV2: the library's lossless line coder for contone bands of level-3 image
// records.
//
// A band of 8-bit samples is split into component lines (planes); each plane
// is coded by itself with prefix-coded tokens (runs equal to the line above,
// runs of the last or of a second remembered value, prediction differences)
// and lands byte-aligned in the coded area. A big-endian row table gives the
// coded length of every component line; a line whose code would be longer
// than its raw bytes is stored as 7F followed by the raw bytes.
//
// Stream written by Rhv2CompDecomp in mode 0 (multi-byte values big-endian):
//   FF 00 <colour size> <1 for colour type 2, else 0> <lines u32>
//   <row table: u32 per component line, line 0 component 0 first>
//   <coded component lines in the same order, no gaps>
//
// The printer decodes this format, so the bit layout must not change.
//
// Every function takes the size of each buffer it is given and never reads or
// writes outside it. Results are 0 for success and kRhv2Fail (0xFFFFFFFF) for
// any failure; the codec allocates nothing and keeps no state between calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg {

inline constexpr uint32_t kRhv2Fail = 0xFFFFFFFFu;

// Rhv2CompDecomp modes.
inline constexpr uint32_t kRhv2Compress = 0;
inline constexpr uint32_t kRhv2Decompress = 1;

// Colour types of the public functions.
inline constexpr uint32_t kRhv2Gray = 0;   // 1 byte per pixel
inline constexpr uint32_t kRhv2Four = 1;   // 4-byte pixels
inline constexpr uint32_t kRhv2Three = 2;  // 3-byte pixels

// Pixel formats of the line coders (Rhv2Params::format).
enum Rhv2Format : uint32_t {
    kRhv2FmtPlanar4 = 0,         // 4 planes of width bytes, copied
    kRhv2FmtGreenDiff = 1,       // 4-byte pixels, first and third as difference to the second
    kRhv2FmtYuv = 2,             // 4-byte pixels through Rhv2YuvConv (lossy, even width)
    kRhv2FmtPlanar4Raw = 3,      // as 0, every plane stored raw
    kRhv2FmtGray = 4,            // 1 byte per pixel
    kRhv2FmtGrayDepth = 5,       // 1 byte, top `depth` bits kept
    kRhv2FmtGrayRaw = 6,         // 1 byte, stored raw
    kRhv2FmtGrayDepthRaw = 7,    // as 5, stored raw
    kRhv2FmtBit = 8,             // bit 0 of each byte, token coded
    kRhv2FmtBitPacked = 9,       // bit 0 of each byte, packed 8 per byte
    kRhv2FmtFive = 10,           // 5-byte pixels, the 5th masked to bit 0
    kRhv2FmtFiveDepth = 11,      // as 10, the first 4 with `depth` bits kept
    kRhv2FmtPlanar5Raw = 12,     // 5 planes copied; planes 0-3 raw, plane 4 bit-packed
    kRhv2FmtFiveDepthRaw = 13,   // 5-byte pixels, first 4 with `depth` bits; raw / bit-packed
    kRhv2FmtInterleaved4 = 14,   // 4-byte pixels split into 4 planes
    kRhv2FmtInterleaved3 = 15,   // 3-byte pixels split into 3 planes
    kRhv2FmtCount = 16,
};

// Line-advance modes (Rhv2Params::line_advance).
inline constexpr uint32_t kRhv2AdvanceAlign8 = 1;   // next line at the next multiple of 8 bytes
inline constexpr uint32_t kRhv2AdvanceStride = 2;   // next line one stride further

// Limit modes (Rhv2Params::limit_mode).
inline constexpr uint32_t kRhv2LimitPerLine = 0;
inline constexpr uint32_t kRhv2LimitTotal = 1;
inline constexpr uint32_t kRhv2LimitNone = 2;

// Parameters of the line coders, filled by Rhv2CompDecomp.
struct Rhv2Params {
    uint32_t width = 0;          // pixels per line
    uint32_t lines = 0;          // number of lines
    uint32_t format = 0;         // Rhv2Format
    uint8_t depth = 0;           // sample depth (1..8) of formats 5, 7, 11 and 13
    uint32_t line_advance = 0;   // 1: align lines to 8 bytes, 2: stride, else contiguous
    uint32_t line_padding = 0;   // 1: each coded component line padded to 8 bytes of the coded area
    uint32_t stride = 0;         // input (encoder) or output (decoder) line stride in bytes
    uint32_t context_carry = 0;  // 1: predict from the line above and carry the coding context
    uint32_t raw_escape = 0;     // 1: a line coded longer than its raw bytes is stored raw
    uint32_t limit_mode = 0;     // 0 per line, 1 whole coded area, 2 none
    uint32_t first_limit = 0;    // byte limit (mode 0: most planes per line; mode 1: total)
    uint32_t second_limit = 0;   // mode 0: per-line limit of the single bit plane / alpha plane
};

// Components per pixel of a colour type: 1, 4, 3 for types 0, 1, 2; 0 otherwise.
uint32_t Rhv2GetColorSize(uint32_t colour_type);
// Row-table bytes: colour size x lines x 4; 0 when invalid or too large for 32 bits.
uint32_t Rhv2GetRATSize(uint32_t colour_type, uint32_t lines);
// Buffer bytes for Rhv2CompDecomp's output: mode 0 the worst-case stream,
// mode 1 lines x stride; 0 for other modes, invalid types or 32-bit overflow.
uint32_t Rhv2GetRhv2BufSize(uint32_t mode, uint32_t colour_type, uint32_t width, uint32_t lines,
                            uint32_t stride);
// Work-buffer bytes for Rhv2CompDecomp; 0 for invalid types or 32-bit overflow.
uint32_t Rhv2GetWorkBufSize(uint32_t colour_type, uint32_t width, uint32_t lines);

// Mode 0: codes `lines` lines of `width` pixels at `stride` from `input` into
// the stream in `output`; *out_size = stream bytes.
// Mode 1: decodes the stream in `input` (input_size bytes) into `lines` lines
// at `stride` in `output`, each line zero-filled up to the stride;
// *out_size = lines x stride.
// Widths 1 and 2 are coded as width 3 with zero padding (through the work
// buffer); decoding them writes only `width` pixels per line.
uint32_t Rhv2CompDecomp(uint32_t mode, uint32_t colour_type, uint32_t width, uint32_t lines,
                        uint32_t stride, const uint8_t* input, size_t input_size, uint8_t* output,
                        size_t output_size, uint8_t* work, size_t work_size, uint32_t* out_size);

// Line encoder: codes the image in `input` into the coded area and the row
// table; *out_size = coded-area bytes. The work buffer needs 2 x width x
// component-count bytes.
uint32_t Vip2Rhv2Compress(const uint8_t* input, size_t input_size, uint8_t* coded,
                          size_t coded_capacity, uint8_t* row_table, size_t row_table_capacity,
                          uint8_t* work, size_t work_size, const Rhv2Params* params,
                          uint32_t* out_size);

// Line decoder: rebuilds the image from the coded area and the row table.
// The work buffer needs width x component-count bytes.
uint32_t Vip2Rhv2Decompress(const uint8_t* coded, size_t coded_size, uint8_t* output,
                            size_t output_capacity, const uint8_t* row_table,
                            size_t row_table_size, uint8_t* work, size_t work_size,
                            const Rhv2Params* params);

// Colour transform of format 2 on `width` 4-byte pixels (pairs share U and V;
// an odd last pixel is paired with itself). Output may equal input.
void Rhv2YuvConv(const uint8_t* input, uint32_t width, uint8_t* output);
// Approximate inverse of Rhv2YuvConv, per pixel. Output may equal input.
void Rhv2YuvDeconv(const uint8_t* input, uint32_t width, uint8_t* output);

// Components per pixel of a line-coder pixel format; 0 for unknown formats.
uint32_t Rhv2FormatComponents(uint32_t format);

}  // namespace ovcg
