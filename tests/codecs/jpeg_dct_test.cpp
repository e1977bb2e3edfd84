#include "codecs/jpeg/dct_quant.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace ovcg::jpeg {
namespace {

struct DctCase {
    const char* name;
    const int16_t* table;
    bool dc16, ac16;
};

class JpegFloatDct : public ::testing::TestWithParam<DctCase> {};

// The fast transform with quantisation matches round(16^k F / q) of the literal
// formula; a difference is allowed only where the exact quotient sits within a
// hair of a rounding boundary.
TEST_P(JpegFloatDct, MatchesTheLiteralTransform) {
    const auto& c = GetParam();
    FloatDivisors d;
    ConvTableFloat(c.table, c.dc16, c.ac16, &d);
    std::mt19937 rng(99);
    int boundary = 0;
    for (int iter = 0; iter < 400; ++iter) {
        float block[64], copy[64];
        const int kind = iter % 4;
        for (int k = 0; k < 64; ++k) {
            float v;
            if (kind == 0) v = static_cast<float>(static_cast<int>(rng() % 256) - 128);                 // noise
            else if (kind == 1) v = static_cast<float>((k % 8) * 30 - 105) + static_cast<float>(rng() % 3);  // ramp
            else if (kind == 2) v = (k / 8 + k % 8) % 2 ? 127.0f : -128.0f;                            // checker
            else v = static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 7.9f;                 // fractional
            block[k] = copy[k] = v;
        }
        int out[64];
        DctAndQtiz_Chen_Float(out, block, d.mul, d.half);
        const std::array<double, 64> ref = ovcg_test::jpegt::ExactDct(copy);
        for (int k = 0; k < 64; ++k) {
            const double s = (k == 0 ? c.dc16 : c.ac16) ? 16.0 : 1.0;
            const double exact = ref[static_cast<size_t>(k)] * s / c.table[k];
            const double rounded = exact >= 0 ? std::floor(exact + 0.5) : -std::floor(-exact + 0.5);
            const double frac = std::fabs(std::fabs(exact) - std::floor(std::fabs(exact)) - 0.5);
            if (frac < 1e-3 * s) {
                ++boundary;
                EXPECT_LE(std::fabs(out[k] - rounded), 1.0);
            } else {
                ASSERT_EQ(out[k], static_cast<int>(rounded)) << "coefficient " << k << " iteration " << iter;
            }
        }
    }
    EXPECT_LT(boundary, 400 * 64 / 10);  // the exact comparison covers most coefficients
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegFloatDct,
                         ::testing::Values(DctCase{"q10_luma", kYQuantumT10, false, false},
                                           DctCase{"q8_chroma", kCQuantumT8, false, false},
                                           DctCase{"q8_luma_dc16", kYQuantumT8, true, false},
                                           DctCase{"q16_chroma_ac16", kCQuantumT10_16, false, true}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(JpegFloatDct, QuantisationRoundsHalfAwayFromZero) {
    // A flat block of v gives DC 8v at q = 1; at q = 16 the quotient v / 2.
    FloatDivisors d;
    int16_t q[64];
    for (auto& x : q) x = 16;
    ConvTableFloat(q, false, false, &d);
    for (int v : {1, 3, -1, -3, 5, -5}) {
        float blk[64];
        for (auto& x : blk) x = static_cast<float>(v);
        int out[64];
        DctAndQtiz_Chen_Float(out, blk, d.mul, d.half);
        EXPECT_EQ(out[0], v > 0 ? (v + 1) / 2 : (v - 1) / 2) << v;
    }
}

// A 16-bit intermediate; records whether any value ever needed more bits.
struct Narrow {
    bool overflow = false;
    int16_t operator()(int v) {
        if (v < -32768 || v > 32767) overflow = true;
        return static_cast<int16_t>(v);
    }
};

// Product by a 10-bit constant, rounded back: (x c + 512) >> 10.
int16_t RoundedProduct(Narrow& n, int16_t x, int c) { return n((x * c + 512) >> 10); }

// The flow graph on eight values spaced `step` apart, literally: every sum and
// product kept in a 16-bit variable.
void LiteralAan8(int16_t* p, int step, Narrow& n) {
    int16_t d[8];
    for (int i = 0; i < 8; ++i) d[i] = p[i * step];
    const int16_t tmp0 = n(d[0] + d[7]), tmp7 = n(d[0] - d[7]), tmp1 = n(d[1] + d[6]), tmp6 = n(d[1] - d[6]);
    const int16_t tmp2 = n(d[2] + d[5]), tmp5 = n(d[2] - d[5]), tmp3 = n(d[3] + d[4]), tmp4 = n(d[3] - d[4]);
    const int16_t tmp10 = n(tmp0 + tmp3), tmp13 = n(tmp0 - tmp3), tmp11 = n(tmp1 + tmp2), tmp12 = n(tmp1 - tmp2);
    p[0] = n(tmp10 + tmp11);
    p[4 * step] = n(tmp10 - tmp11);
    const int16_t z1 = RoundedProduct(n, n(tmp12 + tmp13), 724);
    p[2 * step] = n(tmp13 + z1);
    p[6 * step] = n(tmp13 - z1);
    const int16_t t10 = n(tmp4 + tmp5), t11 = n(tmp5 + tmp6), t12 = n(tmp6 + tmp7);
    const int16_t z5 = RoundedProduct(n, n(t10 - t12), 392);
    const int16_t z2 = n(RoundedProduct(n, t10, 554) + z5);
    const int16_t z4 = n(RoundedProduct(n, t12, 1338) + z5);
    const int16_t z3 = RoundedProduct(n, t11, 724);
    const int16_t z11 = n(tmp7 + z3), z13 = n(tmp7 - z3);
    p[5 * step] = n(z13 + z2);
    p[3 * step] = n(z13 - z2);
    p[1 * step] = n(z11 + z4);
    p[7 * step] = n(z11 - z4);
}

// The 14-bit AAN scales from their definition, independently of the encoder.
std::array<int, 64> ScalesFromDefinition() {
    const double pi = std::acos(-1.0);
    std::array<int, 64> a{};
    auto s = [&](int k) { return k == 0 ? 1.0 : std::cos(k * pi / 16) * std::sqrt(2.0); };
    for (int k = 0; k < 64; ++k) a[static_cast<size_t>(k)] = static_cast<int>(std::lround(16384 * s(k / 8) * s(k % 8)));
    return a;
}

// The literal integer transform with quantisation: rows, then columns, then
// (16^acc v + d/2) / d (or - d/2 for negative v; no half divisor when quick),
// with d = (q A + 1024) >> 11.
std::array<int, 64> LiteralIntDct(const int16_t* in, const int16_t* q, bool dc16, bool ac16, bool quick, Narrow& n) {
    static const std::array<int, 64> A = ScalesFromDefinition();
    int16_t b[64];
    std::copy(in, in + 64, b);
    for (int r = 0; r < 8; ++r) LiteralAan8(b + 8 * r, 1, n);
    for (int c = 0; c < 8; ++c) LiteralAan8(b + c, 8, n);
    std::array<int, 64> out{};
    for (size_t k = 0; k < 64; ++k) {
        const int d = (q[k] * A[k] + 1024) >> 11;
        const int v = b[k] * ((k == 0 ? dc16 : ac16) ? 16 : 1);
        const int half = quick ? 0 : d / 2;
        out[k] = v >= 0 ? (v + half) / d : (v - half) / d;
    }
    return out;
}

// Blocks in the converters' range -128..128: noise, extremes, and for each
// frequency the sign pattern that drives it (and the intermediates) hardest.
std::vector<std::array<int16_t, 64>> IntBlocks(std::mt19937& rng, int noise) {
    std::vector<std::array<int16_t, 64>> blocks;
    const double pi = std::acos(-1.0);
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
            for (int sign : {1, -1}) {
                std::array<int16_t, 64> b{};
                for (int i = 0; i < 64; ++i) {
                    const double basis = std::cos((2 * (i % 8) + 1) * u * pi / 16) * std::cos((2 * (i / 8) + 1) * v * pi / 16);
                    b[static_cast<size_t>(i)] = static_cast<int16_t>(sign * (basis >= 0 ? 128 : -128));
                }
                blocks.push_back(b);
            }
    for (int16_t flat : {-128, -1, 0, 1, 127, 128}) {
        std::array<int16_t, 64> b{};
        b.fill(flat);
        blocks.push_back(b);
    }
    for (int i = 0; i < noise; ++i) {
        std::array<int16_t, 64> b{};
        const int span = i % 3 == 0 ? 257 : i % 3 == 1 ? 41 : 7;  // full range, texture, near flat
        const int base = static_cast<int>(rng() % 257) - 128;
        for (auto& x : b) x = static_cast<int16_t>(std::clamp(base + static_cast<int>(rng() % static_cast<unsigned>(span)) - span / 2, -128, 128));
        blocks.push_back(b);
    }
    return blocks;
}

struct IntCase {
    const char* name;
    const int16_t* table;
    bool dc16, ac16;
};
void PrintTo(const IntCase& c, std::ostream* os) { *os << c.name; }

class JpegIntDct : public ::testing::TestWithParam<IntCase> {};

TEST_P(JpegIntDct, BothVariantsMatchTheLiteralFlowGraph) {
    const IntCase& c = GetParam();
    IntDivisors t;
    ConvTableInt(c.table, c.dc16, c.ac16, &t);
    std::mt19937 rng(11);
    Narrow n;
    for (const auto& blk : IntBlocks(rng, 600)) {
        for (bool quick : {false, true}) {
            int out[64];
            (quick ? DctAndQtiz_Chen_Quick : DctAndQtiz_Chen)(out, blk.data(), t);
            const std::array<int, 64> want = LiteralIntDct(blk.data(), c.table, c.dc16, c.ac16, quick, n);
            for (size_t k = 0; k < 64; ++k) ASSERT_EQ(out[k], want[k]) << "coefficient " << k << " quick " << quick;
        }
    }
    EXPECT_FALSE(n.overflow);  // 16 bits hold every intermediate
}

// Against the exact transform: the flow graph's output is 8 a[row] a[col]
// times the exact coefficient, off by the error its rounded products
// accumulate (at most 12 units: each pass rounds to within about 1.5, and the
// column pass adds up to 7 row errors; 7 is the most seen); the divisor
// takes that scale out again.
TEST_P(JpegIntDct, StaysWithinItsRoundingOfTheExactTransform) {
    const IntCase& c = GetParam();
    IntDivisors t;
    ConvTableInt(c.table, c.dc16, c.ac16, &t);
    FloatDivisors f;
    ConvTableFloat(c.table, c.dc16, c.ac16, &f);
    const std::array<int, 64> A = ScalesFromDefinition();
    std::mt19937 rng(12);
    for (const auto& blk : IntBlocks(rng, 300)) {
        const std::array<double, 64> exact = ovcg_test::jpegt::ExactDct(blk.data());
        float fwork[64];
        std::copy(blk.begin(), blk.end(), fwork);
        int rounded[64], quick[64], flt[64];
        DctAndQtiz_Chen(rounded, blk.data(), t);
        DctAndQtiz_Chen_Quick(quick, blk.data(), t);
        DctAndQtiz_Chen_Float(flt, fwork, f.mul, f.half);
        for (size_t k = 0; k < 64; ++k) {
            const double s = (k == 0 ? c.dc16 : c.ac16) ? 16.0 : 1.0;
            const int d = t.divisor[k];
            const double scaled = exact[k] * A[k] / 2048.0 * s / d;  // 8 a a F 16^acc / d
            const double slack = 12.0 * s / d;                       // the flow graph's rounding
            EXPECT_LE(std::fabs(rounded[k] - scaled), 0.5 + slack) << "coefficient " << k;
            EXPECT_LE(std::fabs(quick[k] - scaled), 1.0 + slack) << "coefficient " << k;
            EXPECT_LE(std::abs(quick[k]), std::abs(rounded[k]));
            // Dequantised to the exact transform's scale, the integer and float
            // results differ by at most their two half steps and the rounding.
            const double stepInt = d * 2048.0 / (A[k] * s), stepFloat = c.table[k] / s;
            EXPECT_LE(std::fabs(rounded[k] * stepInt - flt[k] * stepFloat), stepInt * (0.5 + slack) + stepFloat * 0.5 + 1e-6)
                << "coefficient " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegIntDct,
                         ::testing::Values(IntCase{"q10_luma", kYQuantumT10, false, false},
                                           IntCase{"q10_chroma", kCQuantumT10, false, false},
                                           IntCase{"q8_luma", kYQuantumT8, false, false},
                                           IntCase{"q8_chroma_dc16", kCQuantumT8, true, false},
                                           IntCase{"q16_luma_dc16_ac16", kYQuantumT10_16, true, true},
                                           IntCase{"default_luma", kYQuantumT, false, false},
                                           IntCase{"default_chroma_dc16", kCQuantumT, true, false}),
                         [](const auto& i) { return std::string(i.param.name); });

// The 14-bit scales (whose first entries are 16384, 22725, 21407, 19266),
// and the quantiser divides exactly, for every table value 1..255 and every
// transform output, however close to a multiple of the divisor.
TEST(JpegIntDct, DivisorsAndQuantisation) {
    const std::array<int, 64> A = ScalesFromDefinition();
    EXPECT_EQ((std::array<int, 4>{A[0], A[1], A[2], A[3]}), (std::array<int, 4>{16384, 22725, 21407, 19266}));
    for (size_t k = 0; k < 64; ++k) EXPECT_EQ(kAanScales14[k], A[k]) << k;
    std::mt19937 rng(5);
    for (int q = 1; q <= 255; ++q) {
        int16_t table[64];
        std::fill(table, table + 64, static_cast<int16_t>(q));
        const bool dc16 = q % 2 == 0, ac16 = q % 3 == 0;
        IntDivisors t;
        ConvTableInt(table, dc16, ac16, &t);
        for (int round = 0; round < 40; ++round) {
            int32_t v[64];
            for (size_t k = 0; k < 64; ++k) {  // around a multiple of d, or of d less its half
                const int d = (q * A[k] + 1024) >> 11, s = (k == 0 ? dc16 : ac16) ? 16 : 1;
                const int m = round < 4 ? round : static_cast<int>(rng() % static_cast<unsigned>(65535 * s / d + 1));
                const int target = m * d - (round % 2 ? d / 2 : 0) + static_cast<int>(rng() % 3) - 1;
                v[k] = std::clamp(target / s + static_cast<int>(rng() % 2), 0, 65535) * (rng() % 2 ? -1 : 1);
            }
            for (bool quick : {false, true}) {
                int out[64];
                (quick ? QuantiseInt<true> : QuantiseInt<false>)(out, v, t);
                for (size_t k = 0; k < 64; ++k) {
                    const int d = (q * A[k] + 1024) >> 11, c = v[k] * ((k == 0 ? dc16 : ac16) ? 16 : 1);
                    const int half = quick ? 0 : d / 2;
                    ASSERT_EQ(out[k], c >= 0 ? (c + half) / d : (c - half) / d) << v[k] << " / " << d << " quick " << quick;
                }
            }
        }
    }
}

// Flat blocks: DC = 64 v / d with d = 8 q, rounded half away from zero (quick:
// truncated); at 16 times precision the factor 16 comes before the rounding,
// so a flat 0 stays 0.
TEST(JpegIntDct, FlatBlocks) {
    struct Case {
        int q;
        bool dc16;
        int16_t v;
        int dc, quickDc;
    } cases[] = {{1, false, -128, -1024, -1024}, {3, false, -1, -3, -2}, {16, false, 1, 1, 0},
                 {3, true, 1, 43, 42}, {3, true, 0, 0, 0}, {2, true, 128, 8192, 8192}, {5, true, -7, -179, -179}};
    for (const auto& c : cases) {
        int16_t table[64];
        std::fill(table, table + 64, static_cast<int16_t>(c.q));
        IntDivisors t;
        ConvTableInt(table, c.dc16, false, &t);
        for (bool quick : {false, true}) {
            int16_t blk[64];
            std::fill(blk, blk + 64, c.v);
            int out[64];
            (quick ? DctAndQtiz_Chen_Quick : DctAndQtiz_Chen)(out, blk, t);
            EXPECT_EQ(out[0], quick ? c.quickDc : c.dc) << "q " << c.q << " v " << c.v << " dc16 " << c.dc16 << " quick " << quick;
            EXPECT_EQ(std::count(out + 1, out + 64, 0), 63);
        }
    }
}

// ---- The unscaled transform (12-bit constants, plain divisors) ----

// The 8-point pass literally as the inverse Chen-Wang flow graph read
// backwards: each of its four stages transposed in turn, named as in the
// inverse graph (x0 .. x8 there hold X0, X4, X6, X2, X1, X7, X5, X3); every
// product by a constant rounded by +2048 >> 12 at once.
void LiteralEsd2Pass(int32_t* p, int step) {
    const auto mul = [](int32_t c, int32_t v) { return c * v; };
    const auto round12 = [](int32_t v) { return (v + 2048) >> 12; };
    const int32_t y[8] = {p[0], p[step], p[2 * step], p[3 * step], p[4 * step], p[5 * step], p[6 * step], p[7 * step]};
    // Fourth stage of the inverse: y0 = x7 + x1, y7 = x7 - x1; y1 = x3 + x2,
    // y6 = x3 - x2; y2 = x0 + x4, y5 = x0 - x4; y3 = x8 + x6, y4 = x8 - x6.
    const int32_t x7 = y[0] + y[7], x1 = y[0] - y[7], x3 = y[1] + y[6], x2 = y[1] - y[6];
    const int32_t x0 = y[2] + y[5], x4 = y[2] - y[5], x8 = y[3] + y[4], x6 = y[3] - y[4];
    // Third stage: x7 = x8 + x3, x8 = x8 - x3; x3 = x0 + x2, x0 = x0 - x2;
    // x2 = c4 (x4 + x5), x4 = c4 (x4 - x5).
    const int32_t s8 = x7 + x8, s3 = x7 - x8, s0 = x3 + x0, s2 = x3 - x0;
    const int32_t s4 = round12(mul(2896, x2 + x4)), s5 = round12(mul(2896, x2 - x4));
    // Second stage: x8 = x0 + x1, x0 = x0 - x1; x1 = W6 (x3 + x2), x2 = x1 -
    // (W2 + W6) x2, x3 = x1 + (W2 - W6) x3; x1 = x4 + x6, x4 = x4 - x6,
    // x6 = x5 + x7, x5 = x5 - x7.
    const int32_t X0 = s8 + s0, X4 = s8 - s0;
    const int32_t t = mul(2217, s2 + s3);
    const int32_t X6 = round12(t - mul(5352 + 2217, s2)), X2 = round12(t + mul(5352 - 2217, s3));
    const int32_t f4 = x1 + s4, f6 = x1 - s4, f5 = x6 + s5, f7 = x6 - s5;
    // First stage: x8 = W7 (x4 + x5), x4 = x8 + (W1 - W7) x4, x5 = x8 - (W1 +
    // W7) x5; x8 = W3 (x6 + x7), x6 = x8 - (W3 - W5) x6, x7 = x8 - (W3 + W5) x7.
    const int32_t u = mul(1130, f4 + f5), w = mul(4816, f6 + f7);
    const int32_t X1 = round12(u + mul(5681 - 1130, f4)), X7 = round12(u - mul(5681 + 1130, f5));
    const int32_t X5 = round12(w - mul(4816 - 3218, f6)), X3 = round12(w - mul(4816 + 3218, f7));
    const int32_t X[8] = {X0, X1, X2, X3, X4, X5, X6, X7};
    for (int k = 0; k < 8; ++k) p[k * step] = X[k];
}

std::array<int, 64> LiteralEsd2(const int16_t* in, const int16_t* q, bool dc16) {
    int32_t b[64];
    std::copy(in, in + 64, b);
    for (int r = 0; r < 8; ++r) LiteralEsd2Pass(b + 8 * r, 1);
    for (int c = 0; c < 8; ++c) LiteralEsd2Pass(b + c, 8);
    std::array<int, 64> out{};
    for (size_t k = 0; k < 64; ++k) {
        const int v = b[k] * (k == 0 && dc16 ? 16 : 1), d = 8 * q[k];
        out[k] = v >= 0 ? (v + d / 2) / d : (v - d / 2) / d;
    }
    return out;
}

// The constants are 4096 sqrt(2) cos(k pi / 16) and 4096 / sqrt(2), rounded.
TEST(JpegEsd2Dct, ConstantsFromTheirDefinition) {
    const double pi = std::acos(-1.0);
    const int expected[7] = {5681, 5352, 4816, 3218, 2217, 1130, 2896};
    const double exact[7] = {std::cos(pi / 16), std::cos(2 * pi / 16), std::cos(3 * pi / 16), std::cos(5 * pi / 16),
                             std::cos(6 * pi / 16), std::cos(7 * pi / 16), 0.5};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(std::lround(4096 * std::sqrt(2.0) * exact[i]), expected[i]) << i;
}

// Against the literal flow graph exactly, and within its rounding of the
// exact transform quantised to nearest: the row pass is off by about 1.5
// (its own rounding, the butterfly's carried through a rotation, and the
// constants' own rounding on the largest sums), the column pass adds its
// rounding and up to 3.7 times the row errors, so 8 F stays within 8 units
// (6.9 is the most seen over 300,000 blocks of this range); the divisor 8q
// scales that.
TEST_P(JpegIntDct, Esd2MatchesTheLiteralFlowGraphAndTheExactTransform) {
    const IntCase& c = GetParam();
    const JPEG_DC_ACCURACY acc = c.dc16 ? JPEG_DC_X16 : JPEG_DC_NORMAL;
    std::mt19937 rng(13);
    int exact = 0, total = 0;
    for (const auto& blk : IntBlocks(rng, 600)) {
        int16_t work[64];
        std::copy(blk.begin(), blk.end(), work);
        DctAndQtiz_ESD2(work, c.table, acc);
        const std::array<int, 64> want = LiteralEsd2(blk.data(), c.table, c.dc16);
        for (size_t k = 0; k < 64; ++k) ASSERT_EQ(work[k], want[k]) << "coefficient " << k;
        const std::array<double, 64> ref = ovcg_test::jpegt::ExactDct(blk.data());
        for (size_t k = 0; k < 64; ++k) {
            const double s = k == 0 && c.dc16 ? 16.0 : 1.0;
            const double scaled = ref[k] * s / c.table[k];
            const double rounded = scaled >= 0 ? std::floor(scaled + 0.5) : -std::floor(-scaled + 0.5);
            ASSERT_LE(std::fabs(work[k] - scaled), 0.5 + 8.0 * s / (8.0 * c.table[k])) << "coefficient " << k;
            exact += work[k] == rounded;
            ++total;
        }
    }
    EXPECT_GT(exact, total * 9 / 10);  // most coefficients are the exactly rounded ones
}

// Flat blocks: the DC is 8 F = 64 v divided by 8q, rounded half away from
// zero, the factor 16 before the rounding; every other coefficient 0.
TEST(JpegEsd2Dct, FlatBlocks) {
    const struct {
        int q;
        bool dc16;
        int16_t v;
        int dc;
    } cases[] = {{1, false, -128, -1024}, {3, false, -1, -3}, {16, false, 1, 1}, {16, false, -1, -1},
                 {3, true, 1, 43},        {3, true, 0, 0},    {2, true, 128, 8192}, {5, true, -7, -179},
                 {255, false, 128, 4}, {255, true, -128, -64}};
    for (const auto& c : cases) {
        int16_t table[64];
        std::fill(table, table + 64, static_cast<int16_t>(c.q));
        int16_t blk[64];
        std::fill(blk, blk + 64, c.v);
        DctAndQtiz_ESD2(blk, table, c.dc16 ? JPEG_DC_X16 : JPEG_DC_NORMAL);
        EXPECT_EQ(blk[0], c.dc) << "q " << c.q << " v " << c.v << " dc16 " << c.dc16;
        EXPECT_EQ(std::count(blk + 1, blk + 64, 0), 63);
    }
}

}  // namespace
}  // namespace ovcg::jpeg
