// Encoder round trips. The 8-bit streams are baseline JPEG: an independent
// decoder (libjpeg) must read them without a single warning, see the input
// within the quantisation error, and find exactly the coefficients our own
// test decoder finds.
#include "codecs/jpeg/color_convert.h"
#include "codecs/jpeg/markers.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
// jpeglib.h must come first: it defines the types jerror.h uses.
#include <jerror.h>

#include "support/libjpeg_decode.h"

namespace ovcg_test::jpegt {
namespace {

using ovcg::test::DecodedJpeg;
using ovcg::test::DecodeJpeg;
using ovcg_test::LibjpegDecoder;
using ovcg_test::LibjpegResult;
using Read = ovcg_test::LibjpegRead;

// The samples of one pixel as the configuration computes them, literally:
// float samples from the float formulas (here in double precision), or from
// the integer matrix; 16-bit samples from the matrix or from the float
// formulas in single precision rounded to nearest.
std::array<double, 3> Samples(double r, double g, double b, const SDataPattern& p) {
    const bool integerSamples = p.speed != 2;
    if (p.floatArithmetic == 1 && integerSamples) {
        const float R = static_cast<float>(r), G = static_cast<float>(g), B = static_cast<float>(b);
        return {std::floor(0.299f * R + 0.587f * G + 0.114f * B - 127.5f),
                std::floor(-0.1687f * R + -0.3313f * G + 0.5f * B + 0.5f),
                std::floor(0.5f * R + -0.4187f * G + -0.0813f * B + 0.5f)};
    }
    if (p.floatArithmetic != 1) {
        const int R = static_cast<int>(r), G = static_cast<int>(g), B = static_cast<int>(b);
        return {static_cast<double>((306 * R + 601 * G + 117 * B - 130560) >> 10),
                static_cast<double>((-173 * R - 339 * G + 512 * B + 512) >> 10),
                static_cast<double>((512 * R - 429 * G - 83 * B + 512) >> 10)};
    }
    return {0.299 * r + 0.587 * g + 0.114 * b - 128.0, -0.1687 * r - 0.3313 * g + 0.5 * b,
            0.5 * r - 0.4187 * g - 0.0813 * b};
}

// Every coefficient of every 8x8 MCU of the frame, from the literal samples:
// on the float path within one step of their exact transform quantised to
// nearest; on the integer path exactly the integer transform of those
// samples (the transform itself is checked against its literal flow graph
// elsewhere). Edge MCUs hold the pixels that exist on zero bytes (grey: on
// mid grey); the appended blocks are flat and decode as white.
void CheckCoefficients(const Image& im, const SDataPattern& p, const DecodedJpeg& d) {
    using namespace ovcg::jpeg;
    const bool grey = p.pixelKind == 2, integerPath = !grey && p.speed != 2;
    const uint8_t* lv = InputLevelTable(p.colourMode);
    const int16_t* const tables[2][4] = {{kYQuantumT8, kYQuantumT10, kYQuantumT12, kYQuantumT10_16},
                                         {kCQuantumT8, kCQuantumT10, kCQuantumT12, kCQuantumT10_16}};
    const size_t t = p.acPrecision16 == 1 ? 3 : p.quality;
    const double dcScale = p.dcPrecision16 == 1 ? 16.0 : 1.0;
    IntDivisors divisors[2];
    for (size_t c = 0; c < 2; ++c) ConvTableInt(tables[c][t], p.dcPrecision16 == 1, p.acPrecision16 == 1, &divisors[c]);
    for (int my = 0; my < im.height; my += 8) {
        for (int mx = 0; mx < 8 * d.comps[0].blocksAcross; mx += 8) {
            const size_t block = static_cast<size_t>((my / 8) * d.comps[0].blocksAcross + mx / 8);
            if (mx >= im.width) {  // appended: flat white
                for (size_t c = 0; c < (grey ? 1u : 3u); ++c) {
                    const auto& got = d.comps[c].coeffs[block];
                    ASSERT_EQ(std::count(got.begin() + 1, got.end(), 0), 63);
                    if (c == 0) {
                        ASSERT_GE(got[0] * tables[0][t][0] / (8.0 * dcScale) + 128.0, 254.0);
                    } else {
                        ASSERT_EQ(got[0], 0);
                    }
                }
                continue;
            }
            double s[3][64];
            for (int i = 0; i < 64; ++i) {
                const int x = mx + i % 8, y = my + i / 8;
                const uint8_t zero[3] = {0, 0, 0};
                const uint8_t* q = x < im.width && y < im.height ? im.px(x, y) : zero;
                const double r = lv[p.pixelKind == 1 ? q[2] : q[0]], g = lv[q[1]], b = lv[p.pixelKind == 1 ? q[0] : q[2]];
                const std::array<double, 3> v = Samples(r, g, b, p);
                s[0][i] = grey ? (q == zero ? 0.0 : q[0] - 128.0) : v[0];
                s[1][i] = v[1];
                s[2][i] = v[2];
            }
            for (size_t c = 0; c < (grey ? 1u : 3u); ++c) {
                const auto& got = d.comps[c].coeffs[block];
                if (integerPath) {
                    int16_t samples[64];
                    for (int i = 0; i < 64; ++i) samples[i] = static_cast<int16_t>(s[c][i]);
                    int want[64];
                    (p.speed == 0 ? DctAndQtiz_Chen_Quick : DctAndQtiz_Chen)(want, samples, divisors[c ? 1 : 0]);
                    for (size_t k = 0; k < 64; ++k)
                        ASSERT_EQ(got[k], want[k]) << "mcu " << mx << "," << my << " comp " << c << " coeff " << k;
                    continue;
                }
                const std::array<double, 64> f = ExactDct(s[c]);
                for (int k = 0; k < 64; ++k) {
                    const bool wide = k == 0 ? p.dcPrecision16 == 1 : p.acPrecision16 == 1;
                    const double exact = f[static_cast<size_t>(k)] * (wide ? 16.0 : 1.0) / tables[c ? 1 : 0][t][k];
                    ASSERT_LE(std::fabs(got[static_cast<size_t>(k)] - std::round(exact)), 1.0)
                        << "mcu " << mx << "," << my << " comp " << c << " coeff " << k;
                }
            }
        }
    }
}

struct RoundCase {
    const char* name;
    int width, height;
    SDataPattern pattern;
    int maxError;  // per sample, in 8-bit levels: the quantisation error of the tables, rounding included
                   // (the integer transform's divisors only approximate the tables' steps)
};

void PrintTo(const RoundCase& c, std::ostream* os) { *os << c.name; }

class JpegRoundTrip : public ::testing::TestWithParam<RoundCase> {};

// Our decoder checks the stream's layout and coefficients, libjpeg the pixels
// wherever it reads the stream.
TEST_P(JpegRoundTrip, DecodesCloseToTheInput) {
    const RoundCase& c = GetParam();
    const SDataPattern& p = c.pattern;
    const bool grey = p.pixelKind == 2, twelve = p.dcPrecision16 == 1 || p.acPrecision16 == 1;
    Image im = MakeImage(c.width, c.height, p, 5);  // lines longer than the pixels
    if (grey || p.sampling == 0) {
        FillPhoto(im, p, 5);
    } else {
        FillGroupChroma(im, 5);
    }
    const Encoded e = Encode(im, p);
    for (size_t chunk : e.chunks) EXPECT_EQ(chunk % 16, 0u);
    DecodedJpeg d;
    ASSERT_TRUE(DecodeJpeg(e.stream.data(), e.stream.size(), d)) << d.error;
    EXPECT_EQ(d.scanDataOffset, e.headerBytes);
    EXPECT_EQ(d.scanDataOffset % 16, 0u);
    EXPECT_EQ(d.trailing, Bytes(d.trailing.size(), 0));  // zero fill up to a multiple of 16
    EXPECT_EQ(e.stream.size() % 16, 0u);
    EXPECT_EQ(d.sofMarker, twelve ? 0xC1 : 0xC0);
    EXPECT_EQ(d.precision, twelve ? 12 : 8);
    EXPECT_EQ(d.height, c.height);
    const int mcuW = grey ? 8 : ovcg::jpeg::McuWidth(static_cast<int>(p.sampling));
    const int mcuH = grey ? 8 : ovcg::jpeg::McuHeight(static_cast<int>(p.sampling));
    const int bc = (c.width + 7) / 8, br = (c.height + 7) / 8;
    const int extra = bc * br < CJpegAPI::kMinBlocks ? CJpegAPI::kMinBlocks / br - bc + 1 : 0;
    EXPECT_EQ(d.width, c.width + mcuW * extra);
    if (grey || p.sampling == 0) {
        CheckCoefficients(im, p, d);
    } else {
        ASSERT_FALSE(twelve);  // subsampled streams are checked by libjpeg below
    }

    // libjpeg reads neither 12 bits nor such widths: there the coefficients are the check.
    if (twelve || d.width > 65500) return;
    LibjpegDecoder dec;
    const LibjpegResult& r = dec.Decode(e.stream, Read::kPixels);
    ASSERT_TRUE(r.clean()) << r.Report();
    EXPECT_EQ(r.width, d.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.precision, 8);
    ASSERT_EQ(r.components, grey ? 1 : 3);
    EXPECT_EQ(r.colourSpace, grey ? JCS_GRAYSCALE : JCS_YCbCr);
    EXPECT_EQ(r.sampling[0][0], mcuW / 8);
    EXPECT_EQ(r.sampling[0][1], mcuH / 8);
    if (!grey) {
        for (int k = 1; k < 3; ++k) EXPECT_EQ(r.sampling[k][0] * 10 + r.sampling[k][1], 11);
    }

    const size_t n = grey ? 1 : 3;
    auto at = [&](int x, int y, size_t k) { return static_cast<int>(r.pixels[(static_cast<size_t>(y) * static_cast<size_t>(r.width) + static_cast<size_t>(x)) * n + k]); };
    int maxErr = 0;
    double sq = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            for (size_t k = 0; k < n; ++k) {
                const int want = im.px(x, y)[!grey && p.pixelKind == 1 ? 2 - k : k];
                const int err = std::abs(at(x, y, k) - want);
                ASSERT_LE(err, c.maxError) << "x " << x << " y " << y << " sample " << k;
                maxErr = std::max(maxErr, err);
                sq += static_cast<double>(err) * err;
            }
    const double mse = sq / (static_cast<double>(c.width) * c.height * static_cast<double>(n));
    // The quick transform truncates: up to a whole step instead of a half.
    const double minPsnr = p.quality == 0 ? 34.0 : (p.speed == 0 && !grey) ? 37.0 : 40.0;
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)), minPsnr) << "max error " << maxErr;
    // The columns appended to reach the minimum block count are white.
    for (int y = 0; y < c.height; ++y)
        for (int x = c.width + (mcuW - c.width % mcuW) % mcuW; x < d.width; x += 29)
            for (size_t k = 0; k < n; ++k) ASSERT_GE(at(x, y, k), 254) << x << "," << y;
}

SDataPattern Both16() {
    SDataPattern p = PlainPattern();  // both precisions raised, tables unscaled
    p.dcPrecision16 = p.acPrecision16 = 1;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegRoundTrip,
    ::testing::Values(
        RoundCase{"rgb_w13", 13, 20, Pat(0, 2, 0, 1), 8}, RoundCase{"rgb_w100", 100, 20, Pat(0, 2, 0, 1), 8},
        RoundCase{"bgr_w13", 13, 20, Pat(1, 2, 0, 1), 8}, RoundCase{"bgr_w100", 100, 20, Pat(1, 2, 0, 1), 8},
        RoundCase{"rgb_w13_lead_pad", 13, 20, Pat(0, 1, 0, 1), 8},
        RoundCase{"bgr_w100_lead_pad", 100, 20, Pat(1, 1, 0, 1), 8},
        RoundCase{"rgb_w100_no_pad", 100, 20, Pat(0, 0, 0, 1), 8},
        RoundCase{"bgr_w13_no_pad", 13, 20, Pat(1, 0, 0, 1), 8},
        RoundCase{"quality0", 100, 20, Pat(0, 2, 0, 0), 20}, RoundCase{"quality2", 100, 20, Pat(0, 2, 0, 2), 8},
        RoundCase{"quality2_bgr", 100, 20, Pat(1, 2, 0, 2), 8},
        RoundCase{"big_no_extra_columns", 320, 296, Pat(0, 2, 0, 1), 8},
        RoundCase{"mcu_8x16", 100, 20, Pat(0, 2, 1, 1), 8}, RoundCase{"mcu_16x8", 100, 20, Pat(0, 2, 2, 1), 8},
        RoundCase{"mcu_16x8_bgr", 100, 20, Pat(1, 2, 2, 1), 8}, RoundCase{"mcu_16x16", 100, 20, Pat(0, 2, 3, 1), 8},
        RoundCase{"mcu_16x16_bgr_odd", 37, 29, Pat(1, 0, 3, 1), 8},
        RoundCase{"mcu_16x8_big", 336, 280, Pat(0, 2, 2, 1), 8},
        RoundCase{"grey_w13", 13, 20, Pat(2, 0, 0, 1), 3}, RoundCase{"grey_w100", 100, 20, Pat(2, 0, 0, 1), 3},
        RoundCase{"grey_w100_padded", 100, 20, Pat(2, 1, 0, 1), 3},
        RoundCase{"grey_w13_padded_M", 13, 20, Pat(2, 1, 4, 1), 3},
        RoundCase{"grey_big_q0", 320, 300, Pat(2, 2, 0, 0), 12}, RoundCase{"widest", 65535, 1, Pat(2, 0, 0, 1), 3},
        RoundCase{"plus_w13", 13, 20, Pat(0, 2, 0, 1, true), 8}, RoundCase{"plus_w100", 100, 20, Pat(0, 2, 0, 1, true), 8},
        RoundCase{"plus_bgr_big", 320, 296, Pat(1, 2, 0, 1, true), 8},
        RoundCase{"plus_grey", 100, 20, Pat(2, 0, 0, 1, true), 3}, RoundCase{"dc_and_ac_16", 64, 40, Both16(), 8},
        // The float path with the integer matrix, and the integer path (16-bit
        // converters, integer transform; speed 0 its quick form) with both
        // colour arithmetics, every sampling and byte order.
        RoundCase{"matrix_rgb_w13", 13, 20, Speed(Pat(0, 2, 0, 1), 2, 0), 8},
        RoundCase{"matrix_mcu_16x16_bgr", 100, 20, Speed(Pat(1, 2, 3, 1), 2, 0), 8},
        RoundCase{"int_rgb_w13", 13, 20, Speed(Pat(0, 2, 0, 1), 1), 12},
        RoundCase{"int_bgr_w100_matrix", 100, 20, Speed(Pat(1, 2, 0, 1), 1, 0), 12},
        RoundCase{"int_q0_lead_pad", 100, 20, Speed(Pat(0, 1, 0, 0), 1, 0), 32},
        RoundCase{"int_q2_no_pad", 37, 29, Speed(Pat(1, 0, 0, 2), 1), 12},
        RoundCase{"int_mcu_8x16", 100, 20, Speed(Pat(0, 2, 1, 1), 1), 12},
        RoundCase{"int_mcu_16x8_bgr_matrix", 100, 20, Speed(Pat(1, 2, 2, 1), 1, 0), 12},
        RoundCase{"int_mcu_16x16", 37, 29, Speed(Pat(0, 0, 3, 1), 1), 12},
        RoundCase{"int_big", 320, 296, Speed(Pat(0, 2, 0, 1), 1), 12},
        RoundCase{"quick_rgb_w13", 13, 20, Speed(Pat(0, 2, 0, 1), 0), 20},
        RoundCase{"quick_bgr_w100_matrix", 100, 20, Speed(Pat(1, 2, 0, 1), 0, 0), 20},
        RoundCase{"quick_q0", 100, 20, Speed(Pat(0, 2, 0, 0), 0), 40},
        RoundCase{"quick_mcu_8x16_matrix", 100, 20, Speed(Pat(0, 1, 1, 1), 0, 0), 20},
        RoundCase{"quick_mcu_16x8", 100, 20, Speed(Pat(1, 2, 2, 2), 0), 20},
        RoundCase{"quick_mcu_16x16_bgr", 37, 29, Speed(Pat(1, 0, 3, 1), 0), 20},
        RoundCase{"quick_big_16x16", 336, 280, Speed(Pat(0, 2, 3, 1), 0, 0), 20},
        RoundCase{"quick_grey", 100, 20, Speed(Pat(2, 0, 0, 1), 0), 3},
        RoundCase{"int_plus", 100, 20, Speed(Pat(0, 2, 0, 1, true), 1), 12},
        RoundCase{"quick_plus_bgr", 64, 40, Speed(Pat(1, 2, 0, 1, true), 0, 0), 20},
        RoundCase{"int_dc_and_ac_16", 64, 40, Speed(Both16(), 1), 12}),
    [](const auto& i) { return std::string(i.param.name); });

// libjpeg's entropy decoding of the stream agrees coefficient for coefficient
// with our test decoder's, and both read the same quantisation tables: a
// mistake shared by the encoder and the test decoder cannot hide. The random
// image makes long codes and many FF bytes to stuff.
TEST(LibjpegCoefficients, MatchOurDecoderExactly) {
    struct Case {
        const char* name;
        SDataPattern pattern;
        bool random;
        int width, height;
    } cases[] = {{"photo_rgb", Pat(0, 2, 0, 1), false, 100, 20},   {"random_rgb", Pat(0, 2, 0, 1), true, 256, 100},
                 {"random_bgr_q0", Pat(1, 0, 0, 0), true, 13, 20}, {"random_q2", Pat(0, 1, 0, 2), true, 64, 64},
                 {"random_16x16", Pat(0, 2, 3, 1), true, 100, 40}, {"random_grey", Pat(2, 0, 0, 1), true, 200, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image im = MakeImage(c.width, c.height, c.pattern);
        if (c.random) {
            FillRandom(im, c.pattern, 21);
        } else {
            FillPhoto(im, c.pattern, 21);
        }
        const Encoded e = Encode(im, c.pattern, 2048);
        DecodedJpeg ours;
        ASSERT_TRUE(DecodeJpeg(e.stream.data(), e.stream.size(), ours)) << ours.error;
        LibjpegDecoder dec;
        const LibjpegResult& r = dec.Decode(e.stream, Read::kCoefficients);
        ASSERT_TRUE(r.clean()) << r.Report();
        ASSERT_EQ(r.coeffs.size(), ours.comps.size());
        for (size_t comp = 0; comp < ours.comps.size(); ++comp) {
            const auto& mine = ours.comps[comp];
            const size_t tq = static_cast<size_t>(mine.tq);
            ASSERT_LT(tq, 2u);
            ASSERT_EQ(r.quant[tq].size(), 1u);
            EXPECT_EQ(r.quant[tq][0], ours.quant[tq]);
            const int hScale = r.sampling[comp][0], vScale = r.sampling[comp][1];
            const int compW = (r.width * hScale + r.sampling[0][0] - 1) / r.sampling[0][0];
            const int compH = (r.height * vScale + r.sampling[0][1] - 1) / r.sampling[0][1];
            const int wBlocks = (compW + 7) / 8, hBlocks = (compH + 7) / 8;
            ASSERT_EQ(r.coeffs[comp].size(), static_cast<size_t>(wBlocks * hBlocks));
            for (int by = 0; by < hBlocks; ++by)
                for (int bx = 0; bx < wBlocks; ++bx)
                    ASSERT_EQ(r.coeffs[comp][static_cast<size_t>(by * wBlocks + bx)],
                              mine.coeffs[static_cast<size_t>(by * mine.blocksAcross + bx)])
                        << "component " << comp << " block " << bx << "," << by;
        }
    }
}

// The 12-bit configuration is extended sequential JPEG at a precision this
// libjpeg build does not decode: every segment before the frame header must
// still read cleanly, and the only objection is the precision.
TEST(LibjpegStreams, TwelveBitStreamIsRefusedOnlyForItsPrecision) {
    const SDataPattern p = PlusPattern();
    Image im = MakeImage(100, 20, p);
    FillPhoto(im, p, 4);
    LibjpegDecoder dec;
    const LibjpegResult& r = dec.Decode(Encode(im, p).stream, Read::kCoefficients);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.errorCode, JERR_BAD_PRECISION) << r.error;
    EXPECT_TRUE(r.warnings.empty()) << r.Report();
}

// A new coder holds the standard's example tables, which libjpeg scales by
// exactly 100 % at quality 50.
TEST(LibjpegTables, ANewCoderHoldsTheStandardExampleTables) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 50, TRUE);
    const ovcg::jpeg::CJpegCoder coder;
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 64; ++k) EXPECT_EQ(coder.quantTable(c)[k], cinfo.quant_tbl_ptrs[c]->quantval[k]) << c << " " << k;
    jpeg_destroy_compress(&cinfo);
}

}  // namespace
}  // namespace ovcg_test::jpegt
