// Byte-exact RHV2 streams. The expected bits are written out by hand from the
// code tables (prefixes, difference codes, run pieces), in written order, so
// a misreading shared by the encoder and the decoder still shows up here.
#include "codecs/rhv2/rhv2.h"
#include "codecs/rhv2/rhv2_codes.h"
#include "codecs/rhv2/rhv2_line.h"
#include "rhv2_test_util.h"

#include <gtest/gtest.h>

namespace ovcg_test {
namespace {

using namespace rhv2t;
using ovcg::rhv2::Context;

Bytes repeat(size_t n, uint8_t v) { return Bytes(n, v); }
Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct ExactCase {
    const char* name;
    uint32_t type;
    uint32_t width;
    uint32_t lines;
    Bytes image;                    // lines x width x colour size, contiguous
    std::vector<Bytes> coded_lines; // per component line, in stream order
};

void PrintTo(const ExactCase& c, std::ostream* os) { *os << c.name; }

std::vector<ExactCase> exact_cases() {
    // Code pieces used below (written order):
    //   difference 10: 110 0101      difference 0: 101
    //   run to the end of the line: 1111110 (the code of -128)
    //   255 more: 1111101111111 (the code of 127)
    //   run 1: 101, run 2: 000, run 3: 001
    const std::string d10 = "1100101";
    const std::string to_end = "1111110";
    const std::string more255 = "111110 1111111";
    std::vector<ExactCase> v;

    // Above-run (state 2 prefix 0) over the zero line above, to the end.
    v.push_back({"zero_line", 0, 4, 1, repeat(4, 0), {bits("0" + to_end)}});
    v.push_back({"zero_line_four", 1, 3, 1, repeat(12, 0),
                 {bits("01111110"), bits("01111110"), bits("01111110"), bits("01111110")}});
    v.push_back({"zero_line_three", 2, 5, 1, repeat(15, 0),
                 {bits("01111110"), bits("01111110"), bits("01111110")}});

    // Difference and run (state 2 prefix 1110), difference 10, run to the end.
    v.push_back({"four_tens", 0, 4, 1, repeat(4, 10), {Bytes{0x37, 0xFD, 0x01}}});

    // A run of exactly 255 that stops before the end: the code of 127, then
    // 1111110 adding nothing. The last sample: state 4, run 0 != run2, so
    // prefix 10 and no run; difference 20 - 10.
    v.push_back({"run_255", 0, 257, 1, cat(repeat(256, 10), {20}),
                 {bits("1110" + d10 + more255 + to_end + "10" + d10)}});
    v.push_back({"run_510", 0, 512, 1, cat(repeat(511, 10), {20}),
                 {bits("1110" + d10 + more255 + more255 + to_end + "10" + d10)}});

    // 50 50 | 100 100 | 50 50 50 | 7:
    //   i0 difference and run: 1110, d 50 = 11110 010011, run 1 = 101 (run2 = 1)
    //   i2 state 4, run 1 == run2: short prefix 0, d 100 - 50 = 50, no run
    //   i4 50 == second, |50 - 100| >= 8: second-value run 11110 (state 4), run 3 = 001
    //   i7 state 2, last sample: 1110, d 7 - 50 = -43 = 11110 001010
    v.push_back({"second_value_run", 0, 8, 1, Bytes{50, 50, 100, 100, 50, 50, 50, 7},
                 {bits("1110 11110010011 101  0 11110010011  11110 001  1110 11110001010")}});

    // 7 7 7 | 40 40 40 | 90 90 90: two runs of 2 in a row make run2 2, so the
    // third difference (run 2 to the end) takes the short prefix:
    //   1110 d7=100111 run 2=000; state 4, run 2 != run2 1: 10, d 33 =
    //   11110 100001, run 000; short 0, d 50 = 11110 010011, no run.
    v.push_back({"run2_from_two_equal_runs", 0, 9, 1, Bytes{7, 7, 7, 40, 40, 40, 90, 90, 90},
                 {bits("1110 100111 000  10 11110100001 000  0 11110010011")}});

    // 7 7 | 40 40 | 90 90: a run of 1 after each difference equals run2 (1),
    // so the second and third differences take the short prefix:
    //   1110 d7=100111 run 1=101; short 0, d 33 = 11110 100001; short 0, d 50 = 11110 010011.
    v.push_back({"short_prefix_while_runs_repeat", 0, 6, 1, Bytes{7, 7, 40, 40, 90, 90},
                 {bits("1110 100111 101  0 11110100001  0 11110010011")}});

    // 10 20 30 40 40 40 40 5: difference sequence (state 2 prefix 11110),
    // d 10 four times, then 40 40 40 ahead: terminator 1111111 and run 3
    // (001) of 40s; the 5 in state 3: prefix 10, d -35 = 11110 001110.
    v.push_back({"difference_sequence_end", 0, 8, 1, Bytes{10, 20, 30, 40, 40, 40, 40, 5},
                 {bits("11110" + d10 + d10 + d10 + d10 + "1111111 001 10 11110001110")}});

    // A difference sequence to the line end whose code is exactly the raw
    // size (61 bits = 8 bytes) stays coded.
    {
        std::string s = "11110";
        for (int i = 0; i < 8; ++i) s += d10;
        v.push_back({"sequence_to_end_equal_raw", 0, 8, 1, Bytes{10, 20, 30, 40, 50, 60, 70, 80},
                     {bits(s)}});
        // The same line again: above-run with the state-3 prefix 110.
        v.push_back({"identical_line_state3", 0, 8, 2,
                     Bytes{10, 20, 30, 40, 50, 60, 70, 80, 10, 20, 30, 40, 50, 60, 70, 80},
                     {bits(s), bits("110" + to_end)}});
    }

    // 26 bits for 3 samples: longer than raw, stored as 7F and the bytes.
    v.push_back({"escape", 0, 3, 1, Bytes{10, 20, 30}, {Bytes{0x7F, 10, 20, 30}}});
    // After an escaped line the context is the one before it (state 2), so
    // an identical next line is prefix 0 and the run to the end.
    v.push_back({"escape_then_identical", 0, 4, 2, Bytes{10, 20, 30, 40, 10, 20, 30, 40},
                 {Bytes{0x7F, 10, 20, 30, 40}, bits("0" + to_end)}});
    // Context before the escaped middle line: state 4, last 10: the third
    // line is a last-value run (1110) to the end.
    v.push_back({"escape_restores_context", 0, 4, 3,
                 Bytes{10, 10, 10, 10, 200, 3, 150, 77, 10, 10, 10, 10},
                 {Bytes{0x37, 0xFD, 0x01}, Bytes{0x7F, 200, 3, 150, 77}, bits("1110" + to_end)}});

    // Second line 10 10 12 12 under 10 10 10 10 (state 4, run2 1):
    //   above-run prefix 110, run 2 = 000; then 12: short prefix 0 (run 1 ==
    //   run2), d = 12 - ((10 + 10) >> 1) = 2 = 01 01, no run.
    v.push_back({"above_run_and_mean_prediction", 0, 4, 2, Bytes{10, 10, 10, 10, 10, 10, 12, 12},
                 {Bytes{0x37, 0xFD, 0x01}, bits("110 000 0 0101")}});

    // Width 1 is coded as 3 pixels 5 0 0 and 6 0 0:
    //   line 0: sequence 11110, d 5 = 100 101, d -5 = 100 010, d 0 = 101
    //   line 1 (state 3): sequence 0, d 6 - above 5 = 001, d 0 - ((6+0)>>1) =
    //   -3 = 0100, d 0 = 101
    v.push_back({"narrow_width_1", 0, 1, 2, Bytes{5, 6},
                 {bits("11110 100101 100010 101"), bits("0 001 0100 101")}});

    // Four-byte pixels: the planes of each line in turn; plane 3 all zero.
    v.push_back({"four_planes_order", 1, 4, 1,
                 Bytes{10, 0, 10, 0, 10, 0, 10, 0, 10, 0, 10, 0, 10, 0, 10, 0},
                 {Bytes{0x37, 0xFD, 0x01}, bits("0" + to_end), Bytes{0x37, 0xFD, 0x01},
                  bits("0" + to_end)}});

    // Further prefixes and boundaries, derived bit by bit from the code tables.
    // 255 x 4 on the first line: the initial last value 0xFF gives a
    // last-value run, state-2 prefix 110.
    v.push_back({"last_run_state2", 0, 4, 1, repeat(4, 255), {bits("110" + to_end)}});
    // As second_value_run, then 100 100 in state 2: second-value run prefix 10.
    v.push_back({"second_run_state2", 0, 9, 1, Bytes{50, 50, 100, 100, 50, 50, 50, 100, 100},
                 {bits("1110 11110010011 101  0 11110010011  11110 001  10" + to_end)}});
    // Last and second 7 apart: no second-value run, the 20 is a short
    // difference and run (d -7 = 100 000). 8 apart: second-value run.
    v.push_back({"second_gap_7", 0, 6, 1, Bytes{20, 20, 27, 27, 20, 20},
                 {bits("1110 111000101 101  0 100111  0 100000")}});
    v.push_back({"second_gap_8", 0, 6, 1, Bytes{20, 20, 28, 28, 20, 20},
                 {bits("1110 111000101 101  0 1100001  11110" + to_end)}});
    // Difference sequence in state 4 (prefix 111110), ended by the terminator
    // and a closing run to the end of the line.
    v.push_back({"sequence_state4_run_to_end", 0, 8, 1, Bytes{10, 10, 20, 30, 40, 40, 40, 40},
                 {bits("1110" + d10 + "101  111110" + d10 + d10 + d10 + "1111111" + to_end)}});
    // The sequence stops when three equal samples lie ahead (j + 2 the last
    // sample), but not when only two are left: 40 bits = raw size, kept.
    v.push_back({"sequence_stops_before_last_three", 0, 5, 1, Bytes{10, 20, 30, 30, 30},
                 {bits("11110" + d10 + d10 + d10 + "1111111" + to_end)}});
    v.push_back({"sequence_runs_to_end_with_two_left", 0, 4, 1, Bytes{10, 20, 30, 30},
                 {bits("11110" + d10 + d10 + d10 + "101")}});
    // Above-run of 256 that stops short of the end (255 more, then rest 1 =
    // 101); the run leaves the state at 2 and makes 0 the last value.
    v.push_back({"above_run_256", 0, 258, 1, cat(repeat(256, 0), {9, 9}),
                 {bits("0" + more255 + "101  1110 1101001" + to_end)}});
    // Runs of 254 (rest 254 -> -127 = 111110 0000000) and 256 (255 more, 101).
    v.push_back({"run_254", 0, 256, 1, cat(repeat(255, 10), {20}),
                 {bits("1110" + d10 + "111110 0000000  10" + d10)}});
    v.push_back({"run_256", 0, 258, 1, cat(repeat(257, 10), {20}),
                 {bits("1110" + d10 + more255 + "101  10" + d10)}});
    // A difference of -128 has the code of the run to the end.
    v.push_back({"difference_minus_128", 0, 4, 1, repeat(4, 128), {bits("1110 1111110" + to_end)}});
    // Differences are taken modulo 256: 250 is -6 (100 100); under it,
    // 3 - 250 is 9 (110 1001), long prefix 10 as run 3 != run2 1.
    v.push_back({"difference_wraps", 0, 4, 2, cat(repeat(4, 250), repeat(4, 3)),
                 {bits("1110 100100" + to_end), bits("10 1101001" + to_end)}});
    // Three components, each with its own context: plane 0 is in state 4 on
    // line 1 (above-run prefix 110), plane 1 still in state 2 (prefix 0);
    // plane 2 predicts from above (6 - 5 = 1 = 001). Plane 0 of line 0 takes
    // exactly its 3 raw bytes and stays coded.
    v.push_back({"three_planes_own_context", 2, 3, 2,
                 Bytes{10, 0, 5, 10, 0, 5, 10, 0, 5, 10, 0, 6, 10, 0, 6, 10, 0, 6},
                 {bits("1110" + d10 + to_end), bits("0" + to_end), bits("1110 100101" + to_end),
                  bits("110" + to_end), bits("0" + to_end), bits("10 001" + to_end)}});
    return v;
}

class Rhv2Exact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(Rhv2Exact, EncodesToHandDerivedBytes) {
    const ExactCase& c = GetParam();
    const uint32_t cs = ovcg::Rhv2GetColorSize(c.type);
    const uint32_t stride = c.width * cs;
    uint32_t rc = 1;
    Bytes got = encode(c.type, c.width, c.lines, stride, c.image, &rc);
    ASSERT_EQ(rc, 0u);
    Bytes want = stream(static_cast<uint8_t>(cs), c.type == 2 ? 1 : 0, c.lines, c.coded_lines);
    EXPECT_EQ(got, want);
}

TEST_P(Rhv2Exact, DecodesHandDerivedBytes) {
    const ExactCase& c = GetParam();
    const uint32_t cs = ovcg::Rhv2GetColorSize(c.type);
    const uint32_t stride = c.width * cs;
    Bytes s = stream(static_cast<uint8_t>(cs), c.type == 2 ? 1 : 0, c.lines, c.coded_lines);
    uint32_t rc = 1;
    Bytes got = decode(c.type, c.width, c.lines, stride, s, &rc);
    ASSERT_EQ(rc, 0u);
    EXPECT_EQ(got, c.image);
}

INSTANTIATE_TEST_SUITE_P(Streams, Rhv2Exact, ::testing::ValuesIn(exact_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rhv2Exact, FourTensLeaveStateFour) {
    const uint8_t line[4] = {10, 10, 10, 10};
    const uint8_t above[4] = {0, 0, 0, 0};
    uint8_t out[8] = {};
    ovcg::rhv2::BitWriter w(out, sizeof out);
    Context ctx;
    ovcg::rhv2::encode_plane(line, above, {4, true, false}, ctx, w, sizeof out);
    ASSERT_EQ(w.finish(), 3u);
    EXPECT_EQ(ctx.state, 4u);
    EXPECT_EQ(ctx.last, 10);
    EXPECT_EQ(ctx.second, 0xFF);
    EXPECT_EQ(ctx.run1, 3u);
    EXPECT_EQ(ctx.run2, 1u);

    // The decoder ends in the same context.
    uint8_t plane[4] = {};
    Context dctx;
    ASSERT_TRUE(ovcg::rhv2::decode_plane(out, 3, {4, true, false}, dctx, plane));
    EXPECT_EQ(dctx, ctx);
}

// Without the context carry there are no above-runs and every line starts
// afresh: a zero line is a second-value run (second 0, last 0xFF; prefix
// 10) to the end, and 5 6 7 8 is predicted from the left only (d 5, 1, 1, 1).
TEST(Rhv2Exact, WithoutCarryBytes) {
    ovcg::Rhv2Params p = coder_params(ovcg::kRhv2FmtGray, 4, 3);
    p.context_carry = 0;
    const Bytes img = {0, 0, 0, 0, 5, 6, 7, 8, 0, 0, 0, 0};
    const std::vector<Bytes> want = {bits("10 1111110"), bits("11110 100101 001 001 001"),
                                     bits("10 1111110")};
    Bytes coded(64), table(12), work(8);
    uint32_t size = 0;
    ASSERT_EQ(ovcg::Vip2Rhv2Compress(img.data(), img.size(), coded.data(), coded.size(), table.data(),
                                     table.size(), work.data(), work.size(), &p, &size),
              0u);
    const Bytes s = stream(1, 0, 3, want);
    EXPECT_EQ(Bytes(table.begin(), table.end()), Bytes(s.begin() + 8, s.begin() + 20));
    EXPECT_EQ(Bytes(coded.begin(), coded.begin() + size), Bytes(s.begin() + 20, s.end()));

    Bytes out(12, 0xCC), dwork(4);
    ASSERT_EQ(ovcg::Vip2Rhv2Decompress(s.data() + 20, s.size() - 20, out.data(), out.size(), s.data() + 8, 12,
                                       dwork.data(), dwork.size(), &p),
              0u);
    EXPECT_EQ(out, img);
}

TEST(Rhv2Codes, DecodeTableInvertsEveryDifferenceCode) {
    for (int b = 0; b < 256; ++b) {
        const auto& c = ovcg::rhv2::kDiffCodes[b];
        // Any bits after the code do not change the decoding.
        for (uint32_t junk : {0u, 0x1FFFu, 0x0AAAu}) {
            uint32_t peek = (c.bits | (junk << c.len)) & 0x1FFF;
            auto e = ovcg::rhv2::kDecodeTable[peek];
            EXPECT_EQ(e.len, c.len);
            EXPECT_EQ(e.value, static_cast<int8_t>(b));
        }
    }
    auto t = ovcg::rhv2::kDecodeTable[0x7F | 0x1F80];
    EXPECT_EQ(t.value, ovcg::rhv2::kTerminatorValue);
    EXPECT_EQ(t.len, 7);
}

// Format 2's transform on one pair, worked by hand.
TEST(Rhv2Yuv, PairByHand) {
    // (100, 50, 30, 7) and (0, 255, 128, 9):
    //   Y0 = (100 + 100 + 30) >> 2 = 57, Y1 = (0 + 510 + 128) >> 2 = 159
    //   uA = ((30 - 50) >> 1) + 128 = 118, uB = ((128 - 255) >> 1) + 128 = 64, U = 91
    //   vA = ((100 - 50) >> 1) + 128 = 153, vB = ((0 - 255) >> 1) + 128 = 0, V = 76
    const uint8_t in[8] = {100, 50, 30, 7, 0, 255, 128, 9};
    uint8_t out[8] = {};
    ovcg::Rhv2YuvConv(in, 2, out);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{57, 91, 76, 7, 159, 91, 76, 9}));
    // Back: u = -37, v = -52.
    //   pixel 0: 57 + 19 - 78 = -2 -> 0; 57 + 19 + 26 = 102; 57 - 56 + 26 = 27
    //   pixel 1: 159 + 19 - 78 = 100; 159 + 19 + 26 = 204; 159 - 56 + 26 = 129
    uint8_t back[8] = {};
    ovcg::Rhv2YuvDeconv(out, 2, back);
    EXPECT_EQ(Bytes(back, back + 8), (Bytes{0, 102, 27, 7, 100, 204, 129, 9}));
}

}  // namespace
}  // namespace ovcg_test
