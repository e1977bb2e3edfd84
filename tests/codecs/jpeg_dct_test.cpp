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

}  // namespace
}  // namespace ovcg::jpeg
