#include "codecs/jpeg/jpeg_api.h"
#include "codecs/jpeg/markers.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace ovcg_test::jpegt {
namespace {

using ovcg::jpeg::ERR;
using ovcg::test::DecodedJpeg;
using ovcg::test::DecodeJpeg;

template <typename F>
uint32_t ErrOf(F&& f) {  // the ERR `f` throws, 0 when none
    try {
        f();
    } catch (ERR e) {
        return e;
    }
    return 0;
}

SDataPattern Pat(uint32_t kind, uint32_t pad, uint32_t sampling, uint32_t quality, bool plus = false) {
    SDataPattern p = plus ? PlusPattern() : PlainPattern();
    p.pixelKind = kind;
    p.pixelPadding = pad;
    p.sampling = sampling;
    p.quality = quality;
    return p;
}
SDataPattern With(SDataPattern p, uint32_t SDataPattern::*field, uint32_t v) {
    p.*field = v;
    return p;
}

struct OpenCase {
    const char* name;
    int outSize, width, height;
    SDataPattern pattern;
    unsigned lineBytes;
    int appLen;
    uint32_t err;  // 0: accepted
};

class JpegOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(JpegOpen, ChecksItsArguments) {
    const OpenCase& c = GetParam();
    CJpegAPI enc;
    Bytes out(static_cast<size_t>(std::max(c.outSize, 1))), app(70000, 1);
    int written = -1;
    SDataPattern p = c.pattern;
    EXPECT_EQ(ErrOf([&] {
                  enc.Open(out.data(), &written, c.outSize, c.width, c.height, &p, c.lineBytes,
                           c.appLen == 10 ? nullptr : app.data(), c.appLen);  // 10: no payload given
              }),
              c.err);
    if (c.err == 0) {
        EXPECT_EQ(written % 16, 0);
    }
    EXPECT_EQ(p.speed, 2u);  // forced in the caller's record
}

const SDataPattern kP = PlainPattern(), kGrey = Pat(2, 0, 0, 1);
INSTANTIATE_TEST_SUITE_P(
    Cases, JpegOpen,
    ::testing::Values(
        OpenCase{"smallest_out", 3072, 64, 64, kP, 256, 0, 0}, OpenCase{"one_pixel", 32768, 1, 1, kP, 4, 0, 0},
        OpenCase{"longest_app", 70000, 64, 64, kP, 256, 65518, 0},
        OpenCase{"grey_sampling_letter_M", 32768, 64, 64, With(kGrey, &SDataPattern::sampling, 4), 64, 0, 0},
        OpenCase{"out_too_small", 3071, 64, 64, kP, 256, 0, 1}, OpenCase{"width_0", 32768, 0, 64, kP, 256, 0, 1},
        OpenCase{"width_65536", 32768, 65536, 8, kP, 65536u * 4, 0, 1},
        OpenCase{"height_0", 32768, 64, 0, kP, 256, 0, 1}, OpenCase{"height_65536", 32768, 64, 65536, kP, 256, 0, 1},
        OpenCase{"app_longer_than_out", 4096, 64, 64, kP, 256, 4097, 1},
        OpenCase{"app_length_field_overflow", 70000, 64, 64, kP, 256, 65519, 1},
        OpenCase{"app_negative", 32768, 64, 64, kP, 256, -1, 1},
        OpenCase{"app_null", 32768, 64, 64, kP, 256, 10, 1},
        OpenCase{"header_beyond_out", 3072, 64, 64, kP, 256, 2400, 1},
        OpenCase{"colour_mode_0", 32768, 64, 64, With(kP, &SDataPattern::colourMode, 0), 256, 0, 1},
        OpenCase{"colour_mode_9", 32768, 64, 64, With(kP, &SDataPattern::colourMode, 9), 256, 0, 1},
        OpenCase{"padding_3", 32768, 64, 64, With(kP, &SDataPattern::pixelPadding, 3), 256, 0, 1},
        OpenCase{"pixel_kind_3", 32768, 64, 64, With(kP, &SDataPattern::pixelKind, 3), 256, 0, 1},
        OpenCase{"quality_3", 32768, 64, 64, With(kP, &SDataPattern::quality, 3), 256, 0, 1},
        OpenCase{"quality_negative", 32768, 64, 64, With(kP, &SDataPattern::quality, ~0u), 256, 0, 1},
        OpenCase{"sampling_4_colour", 32768, 64, 64, With(kP, &SDataPattern::sampling, 4), 256, 0, 1},
        OpenCase{"sampling_5_grey", 32768, 64, 64, With(kGrey, &SDataPattern::sampling, 5), 64, 0, 1},
        OpenCase{"line_short_rgba", 32768, 64, 64, kP, 255, 0, 1},
        OpenCase{"line_short_rgb", 32768, 64, 64, Pat(0, 0, 0, 1), 191, 0, 1},
        OpenCase{"line_short_grey", 32768, 64, 64, kGrey, 63, 0, 1},
        OpenCase{"line_short_grey_padded", 32768, 64, 64, Pat(2, 2, 0, 1), 127, 0, 1}),
    [](const auto& i) { return std::string(i.param.name); });

// An encoder opened on a 16 x 20 RGB image, for the call-order checks.
struct Opened {
    CJpegAPI enc;
    Bytes out = Bytes(32768);
    Image im;
    Opened() {
        SDataPattern p = kP;
        im = MakeImage(16, 20, p);
        int written = 0;
        enc.Open(out.data(), &written, 32768, 16, 20, &p, static_cast<unsigned>(im.stride), nullptr, 0);
    }
    void Row(int y) {
        enc.SetData(im.data.data() + static_cast<size_t>(y) * im.stride, 2048);
        int written = 0;
        while (enc.Compress(out.data(), &written) != CJpegAPI::kNeedInput) {
        }
    }
};

TEST(JpegApi, CallOrderChecks) {
    CJpegAPI fresh;
    int written = 99;
    Bytes out(4096);
    EXPECT_EQ(ErrOf([&] { fresh.SetData(out.data(), 32768); }), 1u);  // before Open
    EXPECT_EQ(ErrOf([&] { fresh.Close(out.data(), &written, 4096); }), 1u);
    Opened o;
    const uint8_t* rows = o.im.data.data();
    EXPECT_EQ(o.enc.Compress(o.out.data(), &written), CJpegAPI::kNeedInput);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ErrOf([&] { o.enc.Open(o.out.data(), &written, 32768, 16, 20, nullptr, 64, nullptr, 0); }), 1u);
    EXPECT_EQ(ErrOf([&] { o.enc.SetData(rows, 2047); }), 1u);
    EXPECT_EQ(ErrOf([&] { o.enc.SetData(rows, 2056); }), 1u);  // not a multiple of 16
    EXPECT_EQ(ErrOf([&] { o.enc.SetData(nullptr, 2048); }), 1u);
    o.enc.SetData(rows, 2048);
    EXPECT_EQ(ErrOf([&] { o.enc.SetData(rows, 2048); }), 4u);  // row still being coded
    int w = 0;
    while (o.enc.Compress(o.out.data(), &w) != CJpegAPI::kNeedInput) {
    }
    EXPECT_EQ(ErrOf([&] { o.enc.Close(o.out.data(), &written, 4095); }), 1u);
    EXPECT_EQ(ErrOf([&] { o.enc.Close(o.out.data(), &written, 4096); }), 3u);  // 12 lines missing
    Opened full;
    full.Row(0);
    full.Row(8);
    full.Row(16);
    EXPECT_EQ(full.enc.linesCoded(), 20);
    EXPECT_EQ(ErrOf([&] { full.enc.SetData(rows, 2048); }), 1u);  // no row left
    EXPECT_EQ(full.enc.Close(full.out.data(), &written, 4096), 0);
}

// Every coefficient of every whole 8x8 MCU is within one step of the exact
// transform of the exact colour conversion, quantised to nearest.
void CheckCoefficients(const Image& im, const SDataPattern& p, const DecodedJpeg& d) {
    using namespace ovcg::jpeg;
    const double pi = std::acos(-1.0);
    const bool grey = p.pixelKind == 2;
    const uint8_t* lv = InputLevelTable(p.colourMode);
    const int16_t* const tables[2][4] = {{kYQuantumT8, kYQuantumT10, kYQuantumT12, kYQuantumT10_16},
                                         {kCQuantumT8, kCQuantumT10, kCQuantumT12, kCQuantumT10_16}};
    const size_t t = p.acPrecision16 == 1 ? 3 : p.quality;
    for (int my = 0; my + 8 <= im.height; my += 8) {
        for (int mx = 0; mx + 8 <= im.width; mx += 8) {
            double s[3][64];
            for (int i = 0; i < 64; ++i) {
                const uint8_t* q = im.px(mx + i % 8, my + i / 8);
                const double r = lv[p.pixelKind == 1 ? q[2] : q[0]], g = lv[q[1]], b = lv[p.pixelKind == 1 ? q[0] : q[2]];
                s[0][i] = grey ? q[0] - 128.0 : 0.299 * r + 0.587 * g + 0.114 * b - 128.0;
                s[1][i] = -0.1687 * r - 0.3313 * g + 0.5 * b;
                s[2][i] = 0.5 * r - 0.4187 * g - 0.0813 * b;
            }
            for (size_t c = 0; c < (grey ? 1u : 3u); ++c) {
                const auto& got = d.comps[c].coeffs[static_cast<size_t>((my / 8) * d.comps[c].blocksAcross + mx / 8)];
                for (int k = 0; k < 64; ++k) {
                    const int u = k % 8, v = k / 8;
                    double sum = 0;
                    for (int i = 0; i < 64; ++i)
                        sum += s[c][i] * std::cos((2 * (i % 8) + 1) * u * pi / 16) * std::cos((2 * (i / 8) + 1) * v * pi / 16);
                    const double f = 0.25 * (u ? 1.0 : std::sqrt(0.5)) * (v ? 1.0 : std::sqrt(0.5)) * sum;
                    const bool wide = k == 0 ? p.dcPrecision16 == 1 : p.acPrecision16 == 1;
                    const double exact = f * (wide ? 16.0 : 1.0) / tables[c ? 1 : 0][t][k];
                    ASSERT_LE(std::fabs(got[static_cast<size_t>(k)] - std::round(exact)), 1.0)
                        << "mcu " << mx << "," << my << " comp " << c << " coeff " << k;
                }
            }
        }
    }
}

// Images whose 2x2 groups share one chroma (a colour plus a grey offset per
// pixel), so that subsampling by picking one pixel loses nothing.
void FillGroupChroma(Image& im, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            const int gx = x / 2, gy = y / 2, d = static_cast<int>(rng() % 13) - 6;
            const int base[3] = {40 + (gx * 7) % 150, 50 + (gy * 11) % 140, 60 + ((gx + gy) * 5) % 120};
            for (int c = 0; c < 3; ++c) im.px(x, y)[c] = static_cast<uint8_t>(base[c] + d);
        }
}

struct RoundCase {
    const char* name;
    int width, height;
    SDataPattern pattern;
    double maxError;  // per sample, in 8-bit levels
};

class JpegRoundTrip : public ::testing::TestWithParam<RoundCase> {};

TEST_P(JpegRoundTrip, DecodesCloseToTheInput) {
    const RoundCase& c = GetParam();
    const SDataPattern& p = c.pattern;
    const bool grey = p.pixelKind == 2, twelve = p.dcPrecision16 == 1 || p.acPrecision16 == 1;
    Image im = MakeImage(c.width, c.height, p, 3);
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
    const int bc = (c.width + 7) / 8, br = (c.height + 7) / 8;
    const int extra = bc * br < 1440 ? 1440 / br - bc + 1 : 0;
    EXPECT_EQ(d.width, c.width + mcuW * extra);
    if (grey || p.sampling == 0) CheckCoefficients(im, p, d);

    const std::vector<double> px = d.Pixels();
    const size_t n = grey ? 1 : 3;
    const double scale = twelve ? 16.0 : 1.0;
    auto at = [&](int x, int y, size_t k) { return px[(static_cast<size_t>(y) * static_cast<size_t>(d.width) + static_cast<size_t>(x)) * n + k] / scale; };
    double maxErr = 0, sq = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            for (size_t k = 0; k < n; ++k) {
                const int want = im.px(x, y)[!grey && p.pixelKind == 1 ? 2 - k : k];
                const double err = std::fabs(at(x, y, k) - want);
                maxErr = std::max(maxErr, err);
                sq += err * err;
            }
    EXPECT_LE(maxErr, c.maxError);
    const double mse = sq / (static_cast<double>(c.width) * c.height * static_cast<double>(n));
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)), p.quality == 0 ? 34.0 : 40.0);
    // The appended columns decode as white.
    for (int y = 0; y < c.height; ++y)
        for (int x = c.width + (mcuW - c.width % mcuW) % mcuW; x < d.width; x += 37)
            for (size_t k = 0; k < n; ++k) ASSERT_GE(at(x, y, k), 254.0);
}

SDataPattern Both16() {
    SDataPattern p = PlainPattern();  // both precisions raised, tables unscaled
    p.dcPrecision16 = p.acPrecision16 = 1;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegRoundTrip,
    ::testing::Values(
        RoundCase{"rgb_w13_h20", 13, 20, Pat(0, 2, 0, 1), 8}, RoundCase{"rgb_w100_h20", 100, 20, Pat(0, 2, 0, 1), 8},
        RoundCase{"bgr_w13_h20", 13, 20, Pat(1, 2, 0, 1), 8}, RoundCase{"bgr_w100_h20", 100, 20, Pat(1, 2, 0, 1), 8},
        RoundCase{"rgb_lead_pad", 100, 20, Pat(0, 1, 0, 1), 8}, RoundCase{"rgb_no_pad", 100, 20, Pat(0, 0, 0, 1), 8},
        RoundCase{"bgr_no_pad", 13, 20, Pat(1, 0, 0, 1), 8}, RoundCase{"quality0", 100, 20, Pat(0, 2, 0, 0), 20},
        RoundCase{"quality2", 100, 20, Pat(0, 2, 0, 2), 8}, RoundCase{"big_no_extra", 320, 296, Pat(0, 2, 0, 1), 8},
        RoundCase{"plus_w13_h20", 13, 20, Pat(0, 2, 0, 1, true), 8},
        RoundCase{"plus_w100_h20", 100, 20, Pat(0, 2, 0, 1, true), 8},
        RoundCase{"plus_bgr_big", 320, 296, Pat(1, 2, 0, 1, true), 8},
        RoundCase{"dc_and_ac_16", 64, 40, Both16(), 8}, RoundCase{"h211", 100, 20, Pat(0, 2, 1, 1), 8},
        RoundCase{"w211", 100, 20, Pat(0, 2, 2, 1), 8}, RoundCase{"s411", 100, 20, Pat(0, 2, 3, 1), 8},
        RoundCase{"s411_bgr_odd", 37, 29, Pat(1, 0, 3, 1), 8}, RoundCase{"w211_big", 336, 280, Pat(0, 2, 2, 1), 8},
        RoundCase{"grey", 100, 20, Pat(2, 0, 0, 1), 3}, RoundCase{"grey_padded", 13, 20, Pat(2, 1, 4, 1), 3},
        RoundCase{"grey_big_q0", 320, 300, Pat(2, 2, 0, 0), 12},
        RoundCase{"grey_plus", 100, 20, Pat(2, 0, 0, 1, true), 3},
        RoundCase{"widest", 65535, 1, Pat(2, 0, 0, 1), 3}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(JpegApi, HundredByEightGetsFourteenTwentyEightWhiteColumns) {
    struct Case {
        int w, h, extra;
    } cases[] = {{100, 8, 1428}, {8 * 1440, 8, 0}, {8 * 1439, 8, 2}};
    for (const auto& c : cases) {
        SDataPattern p = PlainPattern();
        CJpegAPI enc;
        Bytes out(32768);
        int written = 0;
        enc.Open(out.data(), &written, 32768, c.w, c.h, &p, static_cast<unsigned>(c.w * 4), nullptr, 0);
        EXPECT_EQ(enc.extraBlockColumns(), c.extra);
        EXPECT_EQ(enc.frameWidth(), c.w + 8 * c.extra);
    }
}

TEST(JpegApi, StreamIsTheSameForEveryChunkSizeAndChunksAreMultiplesOfSixteen) {
    for (const SDataPattern& p : {PlainPattern(), PlusPattern()}) {
        Image im = MakeImage(256, 100, p);
        FillRandom(im, p, 3);  // high entropy: several chunks per row
        const Encoded big = Encode(im, p, 32768);
        for (int chunk : {2048, 4096, 2048 + 16 * 7}) {
            const Encoded small = Encode(im, p, chunk);
            EXPECT_EQ(small.stream, big.stream) << chunk;
            EXPECT_GT(small.chunks.size(), big.chunks.size());
            for (size_t i = 1; i + 1 < small.chunks.size(); ++i) {
                EXPECT_EQ(small.chunks[i] % 16, 0u);
                EXPECT_LE(small.chunks[i], static_cast<size_t>(chunk));
            }
        }
        DecodedJpeg d;
        EXPECT_TRUE(DecodeJpeg(big.stream.data(), big.stream.size(), d)) << d.error;
    }
}

TEST(JpegApi, RowEndCutsToSixteenAndCarriesTheTail) {
    SDataPattern p = PlainPattern();
    Image im = MakeImage(2048, 8, p);
    FillPhoto(im, p, 4);
    CJpegAPI enc;
    Bytes out(32768);
    int written = 0;
    enc.Open(out.data(), &written, 32768, 2048, 8, &p, static_cast<unsigned>(im.stride), nullptr, 0);
    enc.SetData(im.data.data(), 32768);
    ASSERT_EQ(enc.Compress(out.data(), &written), CJpegAPI::kRowDone);
    EXPECT_EQ(written % 16, 0);
    const int carried = enc.stream().carryCount();
    EXPECT_LT(carried, 16);
    const Bytes tail(enc.stream().carry(), enc.stream().carry() + carried);
    enc.Close(out.data(), &written, 32768);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + carried), tail);  // the tail opens the last chunk
}

TEST(JpegApi, PadBytesNeverChangeTheStream) {
    for (uint32_t pad : {1u, 2u}) {
        for (uint32_t kind : {0u, 1u, 2u}) {
            SDataPattern p = Pat(kind, pad, 0, 1);
            Image a = MakeImage(40, 24, p, 0, 0x00), b = MakeImage(40, 24, p, 0, 0xFF);
            FillPhoto(a, p, 8);
            FillPhoto(b, p, 8);
            for (int i = 0; i < 64; ++i)  // one single-coloured MCU
                for (int k = 0; k < (kind == 2 ? 1 : 3); ++k) a.px(8 + i % 8, 8 + i / 8)[k] = b.px(8 + i % 8, 8 + i / 8)[k] = 77;
            EXPECT_EQ(Encode(a, p).stream, Encode(b, p).stream) << pad << " " << kind;
        }
    }
}

// A single-coloured MCU takes the shortcut; its coefficients must be those
// the full colour conversion and DCT give for the same MCU.
TEST(JpegApi, SingleColourShortcutGivesTheFullPathCoefficients) {
    using namespace ovcg::jpeg;
    std::mt19937 rng(17);
    const int16_t* const yq[3] = {kYQuantumT8, kYQuantumT10, kYQuantumT12};
    const int16_t* const cq[3] = {kCQuantumT8, kCQuantumT10, kCQuantumT12};
    for (uint32_t quality : {0u, 1u, 2u})
        for (int plus = 0; plus < 2; ++plus)
            for (uint32_t arith : {1u, 0u})
                for (uint32_t mode : {1u, 2u, 3u}) {
                    if (plus && arith == 0) continue;  // the integer shortcut rounds before the factor 16
                    SDataPattern p = Pat(0, 2, 0, quality, plus != 0);
                    p.floatArithmetic = arith;
                    p.colourMode = mode;
                    Image im = MakeImage(8 * 40, 8, p);
                    for (int m = 0; m < 40; ++m) {
                        const uint32_t col = m < 4 ? 0x555555u * static_cast<uint32_t>(m) : static_cast<uint32_t>(rng());
                        for (int i = 0; i < 64; ++i)
                            for (int k = 0; k < 3; ++k) im.px(m * 8 + i % 8, i / 8)[k] = static_cast<uint8_t>(col >> (8 * k));
                    }
                    const Encoded e = Encode(im, p);
                    DecodedJpeg d;
                    ASSERT_TRUE(DecodeJpeg(e.stream.data(), e.stream.size(), d)) << d.error;
                    CJpegCoder ref;
                    ref.SetPrecision(plus != 0, false);
                    ref.SetJpegQuality(yq[quality], cq[quality]);
                    ref.ConvTable();
                    for (int m = 0; m < 40; ++m) {
                        float mcu[kMaxMcuSamples];
                        RgbToYuv111_Float({InputLevelTable(mode), 4, arith == 1}, im.px(m * 8, 0),
                                          static_cast<ptrdiff_t>(im.stride), mcu);
                        for (size_t comp = 0; comp < 3; ++comp) {
                            int coeff[64];
                            const auto& div = ref.divisors(comp == 0 ? 0 : 1);
                            DctAndQtiz_Chen_Float(coeff, mcu + 64 * comp, div.mul, div.half);
                            const auto& got = d.comps[comp].coeffs[static_cast<size_t>(m)];
                            ASSERT_EQ(got[0], coeff[0]) << "quality " << quality << " plus " << plus << " arith "
                                                        << arith << " mode " << mode << " mcu " << m << " comp " << comp;
                            for (int k = 1; k < 64; ++k) ASSERT_EQ(got[static_cast<size_t>(k)], 0);
                        }
                    }
                }
}

TEST(JpegApi, GreyBlockWithOneDifferentSampleIsNotSingleColoured) {
    SDataPattern p = Pat(2, 0, 0, 1);
    Image im = MakeImage(16, 16, p);
    std::fill(im.data.begin(), im.data.end(), 100);
    im.px(7, 7)[0] = 200;  // the last sample of the first block
    const Encoded e = Encode(im, p);
    DecodedJpeg d;
    ASSERT_TRUE(DecodeJpeg(e.stream.data(), e.stream.size(), d)) << d.error;
    const auto& blocks = d.comps[0].coeffs;
    EXPECT_NE(std::count(blocks[0].begin() + 1, blocks[0].end(), 0), 63);
    std::array<int, 64> flat{};
    flat[0] = -224;  // round(8 * (100 - 128) / 1), nothing else
    EXPECT_EQ(blocks[1], flat);
}

// The arithmetic is single precision without contraction, so a stream is the
// same on every build: a fixed image gives fixed bytes (checked by digest).
TEST(JpegApi, StreamsAreReproducible) {
    struct Case {
        SDataPattern p;
        uint64_t digest;
    } cases[] = {{PlainPattern(), 5179065145775654557ull},
                 {PlusPattern(), 2500054980904650593ull},
                 {Pat(1, 1, 3, 0), 3919268461982393915ull},
                 {Pat(2, 0, 0, 2), 4461222199654030828ull}};
    for (const auto& c : cases) {
        Image im = MakeImage(72, 40, c.p);
        FillPhoto(im, c.p, 77);
        uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (uint8_t b : Encode(im, c.p).stream) h = (h ^ b) * 1099511628211ull;
        EXPECT_EQ(h, c.digest);
    }
}

}  // namespace
}  // namespace ovcg_test::jpegt
