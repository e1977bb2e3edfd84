// RHV2 failures: bad arguments, buffer sizes, size-helper overflow, and
// hostile streams that must be refused without touching memory outside the
// buffers (guard pages catch any stray access).
#include "codecs/rhv2/rhv2.h"
#include "common/byte_cursor.h"
#include "rhv2_test_util.h"
#include "support/guard_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace ovcg_test {
namespace {

using namespace rhv2t;
using ovcg::kRhv2Fail;

// ---- size helpers -----------------------------------------------------------

TEST(Rhv2Sizes, Values) {
    struct Row { uint32_t type, width, lines, stride, color, rat, buf0, buf1, work; };
    const Row rows[] = {
        // buf0 = table + ((13 x max(w, 3) + 27) >> 3) x lines x cs + 8
        {0, 100, 8, 100, 1, 32, 32 + 165 * 8 + 8, 800, 200},
        {1, 10, 2, 40, 4, 32, 32 + 19 * 2 * 4 + 8, 80, 80},
        {2, 3, 1, 9, 3, 12, 12 + 8 * 3 + 8, 9, 18},
        // widths below 3: the bound of width 3; work = cs x lines x 3 + cs x 6
        {2, 1, 4, 3, 3, 48, 48 + 8 * 4 * 3 + 8, 12, 3 * 4 * 3 + 18},
        {0, 2, 8, 2, 1, 32, 32 + 8 * 8 + 8, 16, 24 + 6},
        // invalid colour type
        {3, 10, 1, 10, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        EXPECT_EQ(ovcg::Rhv2GetColorSize(r.type), r.color);
        EXPECT_EQ(ovcg::Rhv2GetRATSize(r.type, r.lines), r.rat);
        EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(0, r.type, r.width, r.lines, r.stride), r.buf0);
        EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(1, r.type, r.width, r.lines, r.stride), r.buf1);
        EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(2, r.type, r.width, r.lines, r.stride), 0u);
        EXPECT_EQ(ovcg::Rhv2GetWorkBufSize(r.type, r.width, r.lines), r.work);
    }
}

TEST(Rhv2Sizes, OverflowGivesZero) {
    const uint32_t big = 0xFFFFFFFFu;
    EXPECT_EQ(ovcg::Rhv2GetRATSize(1, big), 0u);
    EXPECT_EQ(ovcg::Rhv2GetRATSize(1, 0x40000000u), 0u);  // 4 x 4 x 2^30 = 2^34
    EXPECT_EQ(ovcg::Rhv2GetRATSize(0, 0x3FFFFFFFu), 0xFFFFFFFCu);  // largest that fits
    EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(0, 1, big, 8, 4), 0u);
    EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(0, 0, 1000, big, 1000), 0u);
    EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(1, 0, 10, 0x10000u, 0x10000u), 0u);
    EXPECT_EQ(ovcg::Rhv2GetRhv2BufSize(1, 0, 10, 0xFFFFu, 0x10001u), 0xFFFFFFFFu);
    EXPECT_EQ(ovcg::Rhv2GetWorkBufSize(1, 0x20000000u, 1), 0u);
    EXPECT_EQ(ovcg::Rhv2GetWorkBufSize(2, 1, big), 0u);
}

// ---- Rhv2CompDecomp arguments -------------------------------------------------

struct ArgCase {
    const char* name;
    uint32_t mode, type, width, lines, stride;
    bool null_in, null_out, null_work, null_size;
    int64_t in_delta, out_delta, work_delta;  // added to the sizes that suffice
};

TEST(Rhv2Args, RefusedBeforeAnythingIsWritten) {
    const ArgCase cases[] = {
        {"mode_2", 2, 0, 8, 2, 8, false, false, false, false, 0, 0, 0},
        {"type_3", 0, 3, 8, 2, 8, false, false, false, false, 0, 0, 0},
        {"width_0", 0, 0, 0, 2, 8, false, false, false, false, 0, 0, 0},
        {"lines_0", 0, 0, 8, 0, 8, false, false, false, false, 0, 0, 0},
        {"stride_0", 0, 0, 8, 2, 0, false, false, false, false, 0, 0, 0},
        {"null_input", 0, 0, 8, 2, 8, true, false, false, false, 0, 0, 0},
        {"null_output", 0, 0, 8, 2, 8, false, true, false, false, 0, 0, 0},
        {"null_work", 0, 0, 8, 2, 8, false, false, true, false, 0, 0, 0},
        {"null_size", 0, 0, 8, 2, 8, false, false, false, true, 0, 0, 0},
        {"stride_below_row", 0, 1, 8, 2, 31, false, false, false, false, 0, 0, 0},
        {"stride_below_row_narrow", 0, 2, 2, 2, 5, false, false, false, false, 0, 0, 0},
        {"decode_stride_below_row", 1, 1, 8, 2, 31, false, false, false, false, 0, 0, 0},
        {"decode_mode_2", 2, 1, 8, 2, 32, false, false, false, false, 0, 0, 0},
        {"input_short", 0, 1, 8, 2, 32, false, false, false, false, -1, 0, 0},
        {"input_short_narrow", 0, 0, 1, 4, 1, false, false, false, false, -1, 0, 0},
        {"output_below_header_and_table", 0, 0, 8, 2, 8, false, false, false, false, 0, -1000, 0},
        {"work_short", 0, 2, 8, 2, 24, false, false, false, false, 0, 0, -1},
        {"work_short_narrow", 0, 2, 2, 3, 6, false, false, false, false, 0, 0, -1},
        {"decode_output_short", 1, 0, 8, 2, 8, false, false, false, false, 0, -1, 0},
        {"decode_input_below_table", 1, 1, 8, 2, 32, false, false, false, false, -1000, 0, 0},
        {"decode_work_short", 1, 0, 8, 2, 8, false, false, false, false, 0, 0, -1},
    };
    for (const ArgCase& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t cs = std::max(1u, ovcg::Rhv2GetColorSize(c.type));
        const uint32_t row = c.width * cs;
        size_t in_size, out_size;
        Bytes valid_stream;
        if (c.mode == 1) {
            const uint32_t type = c.type > 2 ? 0 : c.type;
            valid_stream = encode(type, c.width, c.lines, std::max(c.stride, row),
                                  Bytes(size_t(std::max(c.stride, row)) * c.lines, 1));
            in_size = valid_stream.size();
            out_size = size_t(c.stride) * c.lines;
        } else {
            in_size = c.lines ? size_t(c.stride) * (c.lines - 1) + row : 0;
            out_size = 8 + 4 * cs * c.lines + (13 * std::max(c.width, 3u) + 27) / 8 * c.lines * cs;
        }
        size_t work_size = c.width >= 3 ? 2 * size_t(row) : size_t(cs) * (c.lines * 3 + 6);
        in_size = size_t(int64_t(in_size) + c.in_delta);
        if (c.in_delta < -int64_t(valid_stream.size()) && c.mode == 1) in_size = 8;
        out_size = c.out_delta < -int64_t(out_size) ? 4 : size_t(int64_t(out_size) + c.out_delta);
        work_size = size_t(int64_t(work_size) + c.work_delta);

        GuardedBytes in(std::max(in_size, valid_stream.size()));
        in.assign(valid_stream.data(), valid_stream.size());
        GuardedBytes out(out_size);
        std::fill(out.begin(), out.end(), 0xAB);
        GuardedBytes work(work_size);
        uint32_t size = 12345;
        uint32_t rc = ovcg::Rhv2CompDecomp(
            c.mode, c.type, c.width, c.lines, c.stride, c.null_in ? nullptr : in.data(), in_size,
            c.null_out ? nullptr : out.data(), out_size, c.null_work ? nullptr : work.data(), work_size,
            c.null_size ? nullptr : &size);
        EXPECT_EQ(rc, kRhv2Fail);
        if (!c.null_size) {
            EXPECT_EQ(size, 0u);
        }
        if (c.in_delta == 0 && c.work_delta == 0) {
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xAB; }));
        }
    }
}

TEST(Rhv2Args, ExactSizesSuffice) {
    // The same calls with the sizes the cases above shorten by one byte.
    const uint32_t w = 8, lines = 2, stride = 33;
    Bytes img = make_image(Content::kMixed, w, lines, 4, stride, 1);
    const size_t in_size = size_t(stride) * (lines - 1) + 4 * w;
    GuardedBytes in(in_size);
    in.assign(img.data(), in_size);
    GuardedBytes out(ovcg::Rhv2GetRhv2BufSize(0, 1, w, lines, stride));
    GuardedBytes work(ovcg::Rhv2GetWorkBufSize(1, w, lines));
    uint32_t size = 0;
    ASSERT_EQ(comp_decomp(0, 1, w, lines, stride, in, out, work, &size), 0u);
    GuardedBytes coded(size);
    coded.assign(out.data(), size);
    GuardedBytes image(size_t(stride) * lines);
    ASSERT_EQ(comp_decomp(1, 1, w, lines, stride, coded, image, work, &size), 0u);
    EXPECT_EQ(size, stride * lines);
}

// Decoding widths 1 and 2 writes only the caller's pixels per line.
TEST(Rhv2Args, NarrowDecodeStaysInsideTheCallersLines) {
    for (uint32_t type : {0u, 1u, 2u}) {
        for (uint32_t w : {1u, 2u}) {
            const uint32_t cs = ovcg::Rhv2GetColorSize(type);
            const uint32_t stride = w * cs, lines = 5;
            Bytes img = make_image(Content::kNoisy, w, lines, cs, stride, w + type);
            Bytes s = encode(type, w, lines, stride, img);
            ASSERT_FALSE(s.empty());
            GuardedBytes out(size_t(stride) * lines);  // a guard page right after
            Bytes work(ovcg::Rhv2GetWorkBufSize(type, w, lines));
            uint32_t size = 0;
            ASSERT_EQ(comp_decomp(1, type, w, lines, stride, s, out, work, &size), 0u);
            EXPECT_EQ(Bytes(out.begin(), out.end()), img);
        }
    }
}

// ---- line coder arguments -------------------------------------------------------

TEST(Rhv2Args, CoderParameters) {
    struct Case { const char* name; uint32_t format, width; uint8_t depth; int work_delta; bool null_work; };
    const Case cases[] = {
        {"format_16", 16, 8, 0, 0, false},
        {"yuv_odd_width", 2, 7, 0, 0, false},
        {"depth_0", 5, 8, 0, 0, false},
        {"depth_9", 11, 8, 9, 0, false},
        {"null_work", 4, 8, 0, 0, true},
        {"work_short", 14, 8, 0, -1, false},
        {"width_0", 4, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ovcg::Rhv2Params p = coder_params(c.format, c.width, 2, c.depth);
        const uint32_t cc = std::max(1u, ovcg::Rhv2FormatComponents(c.format));
        Bytes img(64 * 5, 3), coded(1024), table(64);
        Bytes work(std::max<int64_t>(0, int64_t(2 * c.width * cc) + c.work_delta));
        uint32_t size = 77;
        EXPECT_EQ(ovcg::Vip2Rhv2Compress(img.data(), img.size(), coded.data(), coded.size(), table.data(),
                                         table.size(), c.null_work ? nullptr : work.data(), work.size(), &p,
                                         &size),
                  kRhv2Fail);
        EXPECT_EQ(size, 0u);
        Bytes dwork(std::max<int64_t>(0, int64_t(c.width * cc) + c.work_delta));
        EXPECT_EQ(ovcg::Vip2Rhv2Decompress(coded.data(), coded.size(), img.data(), img.size(), table.data(),
                                           table.size(), c.null_work ? nullptr : dwork.data(), dwork.size(),
                                           &p),
                  kRhv2Fail);
    }
}

TEST(Rhv2Args, CoderBuffersTooSmall) {
    ovcg::Rhv2Params p = coder_params(ovcg::kRhv2FmtInterleaved4, 16, 3);
    p.line_advance = ovcg::kRhv2AdvanceStride;
    p.stride = 64;
    Bytes img = make_image(Content::kNoisy, 16, 3, 4, 64, 2);
    Bytes work(2 * 16 * 4);
    uint32_t size = 0;
    // Row table one entry short; coded area one byte short of the noise;
    // input one byte short of the last line; stride below a line.
    Bytes table(4 * 4 * 3), coded(4 * 3 * 17);
    auto run = [&](size_t in_size, size_t coded_size, size_t table_size) {
        return ovcg::Vip2Rhv2Compress(img.data(), in_size, coded.data(), coded_size, table.data(), table_size,
                                      work.data(), work.size(), &p, &size);
    };
    EXPECT_EQ(run(img.size(), coded.size(), table.size() - 1), kRhv2Fail);
    EXPECT_EQ(run(img.size(), coded.size() - 1, table.size()), kRhv2Fail);
    EXPECT_EQ(run(2 * 64 + 63, coded.size(), table.size()), kRhv2Fail);
    ASSERT_EQ(run(2 * 64 + 64, coded.size(), table.size()), 0u);
    EXPECT_EQ(size, coded.size());
    p.stride = 63;
    EXPECT_EQ(run(img.size(), coded.size(), table.size()), kRhv2Fail);
}

// ---- hostile streams --------------------------------------------------------------

// A one-component stream of width `w` with hand-written lines.
uint32_t decode_lines(uint32_t w, const std::vector<Bytes>& lines, Bytes* out = nullptr) {
    Bytes s = stream(1, 0, static_cast<uint32_t>(lines.size()), lines);
    uint32_t rc = 0;
    Bytes img = decode(0, w, static_cast<uint32_t>(lines.size()), w, s, &rc);
    if (out) *out = img;
    return rc;
}

TEST(Rhv2Hostile, MalformedLines) {
    struct Case { const char* name; uint32_t width; std::vector<Bytes> lines; bool ok = false; };
    const Case cases[] = {
        // Controls: well-formed neighbours of the cases below.
        {"control_run_to_end", 4, {bits("0 1111110")}, true},
        {"control_255_then_rest", 300, {bits("0 1111101111111 1111110 0 1111110")}, true},
        {"control_long_prefix_at_end", 4, {Bytes{0x37, 0xFD, 0x01}, bits("110 001 10 101")}, true},
        {"control_escape", 4, {Bytes{0x7F, 1, 2, 3, 4}}, true},
        // Prefix 11111 is none of state 2's, and the byte is not 7F.
        {"no_prefix_state2", 4, {bits("11111 000")}},
        // State 4 (after 37 FD 01) has no prefix 111111.
        {"no_prefix_state4", 4, {Bytes{0x37, 0xFD, 0x01}, bits("111111 00")}},
        // Run piece that is the terminator.
        {"terminator_as_run", 4, {bits("0 1111111")}},
        {"terminator_after_255", 300, {bits("0 1111101111111 1111111")}},
        // A sequence of one difference (0), the terminator and a run to the end.
        {"control_sequence_of_one", 4, {bits("11110 101 1111111 1111110")}, true},
        // The terminator at once after the sequence token, then a run to the end.
        {"terminator_first_in_sequence", 4, {bits("11110 1111111 1111110")}},
        // Above-run of 5 (d 2 = 01 01) in a line of 4.
        {"run_past_end", 4, {bits("0 0101")}},
        // Runs of 255 more in a line of 100.
        {"run_255_past_end", 100, {bits("0 1111101111111 101")}},
        // Difference and run, d 10, then a run of 5 (d 2 = 01 01) where 3 are left.
        {"diff_run_past_end", 4, {bits("1110 1100101 0101")}},
        // Short prefix at the last sample: run2 (1) does not fit.
        {"short_prefix_at_end", 4, {Bytes{0x37, 0xFD, 0x01}, bits("110 001 0 101")}},
        // Row entry larger than the bytes the line uses.
        {"entry_too_long", 4, {Bytes{0x37, 0xFD, 0x01, 0x00}}},
        // Row entry shorter than the code.
        {"entry_too_short", 4, {Bytes{0x37, 0xFD}}},
        {"entry_zero", 4, {Bytes{}}},
        // Escaped line with the wrong length.
        {"escape_short", 4, {Bytes{0x7F, 1, 2, 3}}},
        {"escape_long", 4, {Bytes{0x7F, 1, 2, 3, 4, 5}}},
        // Sequence running past the line end into zero bits.
        {"sequence_past_bytes", 8, {bits("11110 1100101")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode_lines(c.width, c.lines), c.ok ? 0u : kRhv2Fail);
    }
}

TEST(Rhv2Hostile, AboveRunWithoutCarryIsRefused) {
    ovcg::Rhv2Params p = coder_params(ovcg::kRhv2FmtGray, 4, 1);
    Bytes coded = bits("01111110"), table = {0, 0, 0, 1}, out(4), work(4);
    for (uint32_t carry : {0u, 1u}) {
        p.context_carry = carry;
        EXPECT_EQ(ovcg::Vip2Rhv2Decompress(coded.data(), coded.size(), out.data(), out.size(), table.data(),
                                           table.size(), work.data(), work.size(), &p),
                  carry ? 0u : kRhv2Fail);
    }
}

TEST(Rhv2Hostile, RowTableBeyondTheCodedArea) {
    Bytes s = encode(0, 4, 2, 4, Bytes{10, 10, 10, 10, 1, 2, 3, 4});
    ASSERT_FALSE(s.empty());
    for (uint32_t bad : {0xFFFFFFFFu, 0x80000000u, 100u}) {
        Bytes t = s;
        ovcg::store_u32be(&t[8], bad);
        uint32_t rc = 0;
        decode(0, 4, 2, 4, t, &rc);
        EXPECT_EQ(rc, kRhv2Fail) << bad;
    }
}

// Every truncation of valid streams is refused, and no access leaves the
// input (the guard page sits right after the last byte).
TEST(Rhv2Hostile, EveryTruncationFails) {
    for (uint32_t type : {0u, 1u, 2u}) {
        const uint32_t cs = ovcg::Rhv2GetColorSize(type), w = 40, lines = 3;
        Bytes img = make_image(Content::kMixed, w, lines, cs, w * cs, type);
        Bytes s = encode(type, w, lines, w * cs, img);
        Bytes work(ovcg::Rhv2GetWorkBufSize(type, w, lines));
        Bytes out(size_t(w) * cs * lines);
        for (size_t n = 0; n < s.size(); ++n) {
            GuardedBytes in(n);
            in.assign(s.data(), n);
            uint32_t size = 0;
            EXPECT_EQ(comp_decomp(1, type, w, lines, w * cs, in, out, work, &size), kRhv2Fail)
                << "type " << type << " size " << n;
        }
    }
}

// Random corruption: decoding either fails or succeeds, never reads or
// writes outside its buffers.
TEST(Rhv2Hostile, MutatedStreamsStayInBounds) {
    std::mt19937 rng(1234);
    for (uint32_t type : {0u, 1u, 2u}) {
        for (uint32_t w : {1u, 3u, 50u}) {
            const uint32_t cs = ovcg::Rhv2GetColorSize(type), lines = 4;
            Bytes img = make_image(Content::kMixed, w, lines, cs, w * cs, w);
            Bytes s = encode(type, w, lines, w * cs, img);
            for (int round = 0; round < 300; ++round) {
                Bytes t = s;
                const int flips = 1 + static_cast<int>(rng() % 3);
                for (int f = 0; f < flips; ++f) t[8 + rng() % (t.size() - 8)] ^= static_cast<uint8_t>(1u << (rng() % 8));
                GuardedBytes in(t.size());
                in.assign(t.data(), t.size());
                GuardedBytes out(size_t(w) * cs * lines);
                GuardedBytes work(ovcg::Rhv2GetWorkBufSize(type, w, lines));
                uint32_t size = 0;
                if (comp_decomp(1, type, w, lines, w * cs, in, out, work, &size) == 0) {
                    EXPECT_EQ(size, out.size());
                }
            }
        }
    }
}

}  // namespace
}  // namespace ovcg_test
