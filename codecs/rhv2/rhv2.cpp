#include "codecs/rhv2/rhv2.h"

#include "codecs/rhv2/rhv2_format.h"
#include "codecs/rhv2/rhv2_line.h"
#include "common/byte_cursor.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ovcg {
namespace {

using rhv2::Context;
using rhv2::FormatInfo;
using rhv2::LineSetup;
using rhv2::PlaneKind;

constexpr uint64_t kU32Max = std::numeric_limits<uint32_t>::max();
constexpr size_t kHeaderSize = 8;
constexpr uint32_t kMaxComponents = 5;
// Narrow lines are coded as this many pixels.
constexpr uint32_t kMinWidth = 3;

inline uint64_t align8(uint64_t v) { return (v + 7) & ~uint64_t{7}; }

// Bytes from one image line to the next for a line-advance mode.
inline uint64_t line_span(const Rhv2Params& p, uint64_t offset, uint64_t line_bytes) {
    if (p.line_advance == kRhv2AdvanceAlign8) return align8(offset + line_bytes) - offset;
    if (p.line_advance == kRhv2AdvanceStride) return p.stride;
    return line_bytes;
}

// Checks shared by both coders; fills the format and the byte counts.
bool check_params(const Rhv2Params& p, const FormatInfo*& fi, uint64_t& plane_bytes,
                  uint64_t& line_bytes) {
    fi = rhv2::format_info(p.format);
    if (!fi || p.width == 0) return false;
    if (p.format == kRhv2FmtYuv && (p.width & 1)) return false;
    if (fi->needs_depth && (p.depth < 1 || p.depth > 8)) return false;
    plane_bytes = uint64_t{p.width} * fi->components;
    line_bytes = uint64_t{p.width} * fi->bytes_per_pixel;
    // A stride shorter than a line would make lines overlap.
    if (p.line_advance == kRhv2AdvanceStride && p.stride < line_bytes) return false;
    // A line escaped to raw bytes must fit its 32-bit row-table entry.
    if (uint64_t{p.width} + 1 > kU32Max) return false;
    return true;
}

// Coded-area bytes one plane may take under the limit mode, given `pos`
// bytes already written and the physical capacity.
size_t plane_capacity(const Rhv2Params& p, const FormatInfo& fi, uint32_t plane, size_t pos,
                      size_t capacity) {
    size_t cap = capacity - pos;
    if (p.limit_mode == kRhv2LimitPerLine) {
        const bool second = fi.alpha_plane_limited && plane + 1 == fi.components;
        cap = std::min<size_t>(cap, second ? p.second_limit : p.first_limit);
    } else if (p.limit_mode == kRhv2LimitTotal) {
        cap = p.first_limit > pos ? std::min<size_t>(cap, p.first_limit - pos) : 0;
    }
    return cap;
}

}  // namespace

uint32_t Vip2Rhv2Compress(const uint8_t* input, size_t input_size, uint8_t* coded,
                          size_t coded_capacity, uint8_t* row_table, size_t row_table_capacity,
                          uint8_t* work, size_t work_size, const Rhv2Params* params,
                          uint32_t* out_size) {
    if (!params || !out_size) return kRhv2Fail;
    *out_size = 0;
    const Rhv2Params p = *params;
    const FormatInfo* fi = nullptr;
    uint64_t plane_bytes = 0, line_bytes = 0;
    if (!input || !coded || !row_table || !work) return kRhv2Fail;
    if (!check_params(p, fi, plane_bytes, line_bytes)) return kRhv2Fail;
    const uint32_t cc = fi->components;
    const uint32_t w = p.width;
    if (work_size / 2 < plane_bytes) return kRhv2Fail;
    if (uint64_t{p.lines} * cc * 4 > row_table_capacity) return kRhv2Fail;
    if (p.lines == 0) return 0;

    // Two plane buffers: odd lines in the first, even lines in the second;
    // the other one is the line above (zeros for the first line).
    uint8_t* bufs[2] = {work, work + plane_bytes};
    std::memset(work, 0, 2 * plane_bytes);

    const ByteCursor in(input, input_size);
    Context ctx[kMaxComponents];
    size_t pos = 0;
    uint64_t in_off = 0;
    const bool carry = p.context_carry == 1;
    for (uint32_t line = 0; line < p.lines; ++line) {
        uint8_t* cur = bufs[(line & 1) ? 0 : 1];
        const uint8_t* above = bufs[(line & 1) ? 1 : 0];
        ByteCursor src;
        if (!in.sub_at(in_off, line_bytes, src)) return kRhv2Fail;
        rhv2::line_to_planes(p.format, p.depth, src.data(), w, cur);
        in_off += line_span(p, in_off, line_bytes);

        if (!carry) std::fill(ctx, ctx + kMaxComponents, Context{});
        const LineSetup setup{w, carry, carry && line > 0};

        for (uint32_t c = 0; c < cc; ++c) {
            const uint8_t* plane = cur + size_t(c) * w;
            const size_t cap = plane_capacity(p, *fi, c, pos, coded_capacity);
            const PlaneKind kind = rhv2::plane_kind(p.format, c);
            size_t len = 0;
            if (kind != PlaneKind::kTokens) {
                len = rhv2::stored_plane_bytes(kind, w);
                if (len > cap) return kRhv2Fail;
                if (kind == PlaneKind::kRaw)
                    std::memcpy(coded + pos, plane, w);
                else
                    rhv2::pack_bits(plane, w, coded + pos);
            } else {
                const Context saved = ctx[c];
                const bool escape = p.raw_escape == 1;
                // With the escape on, coding stops as soon as the line is
                // longer than its raw bytes.
                const size_t stop = escape ? std::min<size_t>(cap, w) : cap;
                rhv2::BitWriter bw(coded + pos, stop);
                rhv2::encode_plane(plane, above + size_t(c) * w, setup, ctx[c], bw, stop);
                len = bw.finish();
                if (escape && (bw.overflow() || len > w)) {
                    if (size_t(w) + 1 > cap) return kRhv2Fail;
                    coded[pos] = rhv2::kEscapeByte;
                    std::memcpy(coded + pos + 1, plane, w);
                    len = size_t(w) + 1;
                    ctx[c] = saved;
                } else if (bw.overflow()) {
                    return kRhv2Fail;
                }
            }
            store_u32be(row_table + 4 * (size_t(line) * cc + c), static_cast<uint32_t>(len));
            pos += len;
            if (p.line_padding == 1) {
                const size_t pad = static_cast<size_t>(align8(pos) - pos);
                const size_t room = p.limit_mode == kRhv2LimitTotal
                                        ? plane_capacity(p, *fi, c, pos, coded_capacity)
                                        : coded_capacity - pos;
                if (pad > room) return kRhv2Fail;
                std::memset(coded + pos, 0, pad);
                pos += pad;
            }
        }
    }
    if (pos > kU32Max) return kRhv2Fail;
    *out_size = static_cast<uint32_t>(pos);
    return 0;
}

uint32_t Vip2Rhv2Decompress(const uint8_t* coded, size_t coded_size, uint8_t* output,
                            size_t output_capacity, const uint8_t* row_table,
                            size_t row_table_size, uint8_t* work, size_t work_size,
                            const Rhv2Params* params) {
    if (!params || !coded || !output || !row_table || !work) return kRhv2Fail;
    const Rhv2Params p = *params;
    const FormatInfo* fi = nullptr;
    uint64_t plane_bytes = 0, line_bytes = 0;
    if (!check_params(p, fi, plane_bytes, line_bytes)) return kRhv2Fail;
    const uint32_t cc = fi->components;
    const uint32_t w = p.width;
    if (work_size < plane_bytes) return kRhv2Fail;
    if (uint64_t{p.lines} * cc * 4 > row_table_size) return kRhv2Fail;

    // One plane buffer, rebuilt in place on top of the line above.
    std::memset(work, 0, plane_bytes);
    ByteCursor table(row_table, row_table_size);
    const ByteCursor src(coded, coded_size);
    Context ctx[kMaxComponents];
    uint64_t off = 0;
    uint64_t out_off = 0;
    const bool carry = p.context_carry == 1;
    for (uint32_t line = 0; line < p.lines; ++line) {
        if (!carry) std::fill(ctx, ctx + kMaxComponents, Context{});
        const LineSetup setup{w, carry, carry && line > 0};

        for (uint32_t c = 0; c < cc; ++c) {
            const uint32_t entry = table.u32be();
            ByteCursor bytes;
            if (!table.ok() || !src.sub_at(off, entry, bytes)) return kRhv2Fail;
            uint8_t* plane = work + size_t(c) * w;
            const PlaneKind kind = rhv2::plane_kind(p.format, c);
            if (kind == PlaneKind::kTokens) {
                if (!rhv2::decode_plane(bytes.data(), entry, setup, ctx[c], plane)) return kRhv2Fail;
            } else {
                if (entry != rhv2::stored_plane_bytes(kind, w)) return kRhv2Fail;
                if (kind == PlaneKind::kRaw)
                    std::memcpy(plane, bytes.data(), w);
                else
                    rhv2::unpack_bits(bytes.data(), w, plane);
            }
            off += entry;
            if (p.line_padding == 1) off = align8(off);
        }

        const uint64_t span = line_span(p, out_off, line_bytes);
        if (out_off + span > output_capacity) return kRhv2Fail;
        uint8_t* dst = output + out_off;
        rhv2::planes_to_line(p.format, p.depth, work, w, dst);
        std::memset(dst + line_bytes, 0, static_cast<size_t>(span - line_bytes));
        out_off += span;
    }
    return 0;
}

uint32_t Rhv2GetColorSize(uint32_t colour_type) {
    switch (colour_type) {
    case kRhv2Gray: return 1;
    case kRhv2Four: return 4;
    case kRhv2Three: return 3;
    default: return 0;
    }
}

namespace {
inline uint32_t checked(uint64_t v) { return v > kU32Max ? 0 : static_cast<uint32_t>(v); }
}  // namespace

uint32_t Rhv2GetRATSize(uint32_t colour_type, uint32_t lines) {
    return checked(uint64_t{Rhv2GetColorSize(colour_type)} * lines * 4);
}

uint32_t Rhv2GetRhv2BufSize(uint32_t mode, uint32_t colour_type, uint32_t width, uint32_t lines,
                            uint32_t stride) {
    const uint64_t cs = Rhv2GetColorSize(colour_type);
    if (cs == 0) return 0;
    if (mode == kRhv2Compress) {
        // 13 bits per sample and 27 bits per line bound the token code.
        const uint64_t per_line = (13 * uint64_t{std::max(width, kMinWidth)} + 27) >> 3;
        return checked(cs * lines * 4 + per_line * lines * cs + kHeaderSize);
    }
    if (mode == kRhv2Decompress) return checked(uint64_t{lines} * stride);
    return 0;
}

uint32_t Rhv2GetWorkBufSize(uint32_t colour_type, uint32_t width, uint32_t lines) {
    const uint64_t cs = Rhv2GetColorSize(colour_type);
    if (width >= kMinWidth) return checked(cs * width * 2);
    return checked(cs * lines * kMinWidth + cs * 2 * kMinWidth);
}

uint32_t Rhv2CompDecomp(uint32_t mode, uint32_t colour_type, uint32_t width, uint32_t lines,
                        uint32_t stride, const uint8_t* input, size_t input_size, uint8_t* output,
                        size_t output_size, uint8_t* work, size_t work_size, uint32_t* out_size) {
    if (out_size) *out_size = 0;
    if (mode > kRhv2Decompress || colour_type > kRhv2Three || width == 0 || lines == 0 ||
        stride == 0 || !input || !output || !work || !out_size)
        return kRhv2Fail;
    const uint32_t cs = Rhv2GetColorSize(colour_type);
    const uint64_t row_bytes = uint64_t{width} * cs;
    if (stride < row_bytes) return kRhv2Fail;
    const uint64_t table = uint64_t{cs} * lines * 4;
    const bool narrow = width < kMinWidth;

    Rhv2Params p;
    p.width = narrow ? kMinWidth : width;
    p.lines = lines;
    p.format = colour_type == kRhv2Gray   ? kRhv2FmtGray
               : colour_type == kRhv2Four ? kRhv2FmtInterleaved4
                                          : kRhv2FmtInterleaved3;
    p.depth = 0;
    p.line_advance = kRhv2AdvanceStride;
    p.line_padding = 0;
    p.stride = narrow ? kMinWidth * cs : stride;
    p.context_carry = 1;
    p.raw_escape = 1;
    p.limit_mode = kRhv2LimitNone;
    p.first_limit = 0;
    p.second_limit = 0;

    // Narrow images go through the work buffer as 3-pixel lines behind the
    // coders' own 2 x 3 pixels.
    const uint64_t coder_work = narrow ? uint64_t{2} * kMinWidth * cs : uint64_t{2} * width * cs;
    const uint64_t narrow_bytes = narrow ? uint64_t{kMinWidth} * cs * lines : 0;
    if (work_size < coder_work + narrow_bytes) return kRhv2Fail;
    uint8_t* narrow_img = work + coder_work;

    if (mode == kRhv2Compress) {
        if (output_size < kHeaderSize + table) return kRhv2Fail;
        const uint8_t* image = input;
        size_t image_size = input_size;
        if (narrow) {
            std::memset(narrow_img, 0, narrow_bytes);
            const ByteCursor in(input, input_size);
            for (uint32_t line = 0; line < lines; ++line) {
                ByteCursor src;
                if (!in.sub_at(uint64_t{line} * stride, row_bytes, src)) return kRhv2Fail;
                std::memcpy(narrow_img + size_t(line) * p.stride, src.data(), row_bytes);
            }
            image = narrow_img;
            image_size = narrow_bytes;
        }
        uint32_t coded = 0;
        if (Vip2Rhv2Compress(image, image_size, output + kHeaderSize + table,
                             output_size - kHeaderSize - table, output + kHeaderSize, table, work,
                             coder_work, &p, &coded) != 0)
            return kRhv2Fail;
        const uint64_t total = kHeaderSize + table + coded;
        if (total > kU32Max) return kRhv2Fail;
        output[0] = 0xFF;
        output[1] = 0x00;
        output[2] = static_cast<uint8_t>(cs);
        output[3] = colour_type == kRhv2Three ? 1 : 0;
        store_u32be(output + 4, lines);
        *out_size = static_cast<uint32_t>(total);
        return 0;
    }

    // Decompression: the header is not checked; the row table and the coded
    // area must lie inside the input.
    const uint64_t image_bytes = uint64_t{lines} * stride;
    if (image_bytes > kU32Max || output_size < image_bytes) return kRhv2Fail;
    if (input_size < kHeaderSize + table) return kRhv2Fail;
    const uint8_t* coded = input + kHeaderSize + table;
    const size_t coded_size = input_size - kHeaderSize - table;
    if (!narrow) {
        if (Vip2Rhv2Decompress(coded, coded_size, output, output_size, input + kHeaderSize, table,
                               work, coder_work, &p) != 0)
            return kRhv2Fail;
    } else {
        // Decode the 3-pixel lines into the work buffer, then hand out only
        // the caller's width.
        if (Vip2Rhv2Decompress(coded, coded_size, narrow_img, narrow_bytes, input + kHeaderSize,
                               table, work, coder_work, &p) != 0)
            return kRhv2Fail;
        for (uint32_t line = 0; line < lines; ++line) {
            uint8_t* dst = output + size_t(line) * stride;
            std::memcpy(dst, narrow_img + size_t(line) * p.stride, row_bytes);
            std::memset(dst + row_bytes, 0, stride - row_bytes);
        }
    }
    *out_size = static_cast<uint32_t>(image_bytes);
    return 0;
}

}  // namespace ovcg
