#include "codecs/jpeg/jpeg_api.h"
#include "codecs/jpeg/markers.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

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

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

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
    for (const SDataPattern& p : {PlainPattern(), PlusPattern(), Speed(PlainPattern(), 2, 0), Speed(PlainPattern(), 1),
                                  Speed(PlusPattern(), 1, 0), Speed(Pat(1, 2, 3, 1), 0), Speed(Pat(0, 0, 1, 0), 0, 0)}) {
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

// Pad bytes and line tails (read by neither full, edge nor single-coloured
// MCUs) never change the stream.
TEST(JpegApi, PadBytesNeverChangeTheStream) {
    for (uint32_t speed : {0u, 2u}) {
        for (uint32_t pad : {1u, 2u}) {
            for (uint32_t kind : {0u, 1u, 2u}) {
                SDataPattern p = Speed(Pat(kind, pad, 0, 1), speed, speed == 0 ? 0 : 1);
                Image a = MakeImage(13, 20, p, 7, 0x00), b = MakeImage(13, 20, p, 7, 0xFF);
                FillPhoto(a, p, 8);
                FillPhoto(b, p, 8);
                for (int i = 0; i < 64; ++i)  // one single-coloured MCU
                    for (int k = 0; k < (kind == 2 ? 1 : 3); ++k) a.px(i % 8, 8 + i / 8)[k] = b.px(i % 8, 8 + i / 8)[k] = 77;
                EXPECT_EQ(Encode(a, p).stream, Encode(b, p).stream) << pad << " " << kind << " " << speed;
            }
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
                for (uint32_t mode : {1u, 2u, 3u})
                    for (uint32_t speed : {2u, 1u}) {
                        if (plus && arith == 0) continue;  // the integer shortcut rounds before the factor 16
                        // The integer path rounds its samples first; the float
                        // shortcut does not.
                        if (speed == 1 && arith == 1) continue;
                        SDataPattern p = Speed(Pat(0, 2, 0, quality, plus != 0), speed, arith);
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
                            const ConvertParams cp{InputLevelTable(mode), 4, arith == 1, false};
                            float mcu[kMaxMcuSamples];
                            int16_t mcuInt[kMaxMcuSamples];
                            RgbToYuv111_Float(cp, im.px(m * 8, 0), static_cast<ptrdiff_t>(im.stride), mcu);
                            RgbToYuv111(cp, im.px(m * 8, 0), static_cast<ptrdiff_t>(im.stride), mcuInt);
                            for (size_t comp = 0; comp < 3; ++comp) {
                                int coeff[64];
                                const int cls = comp == 0 ? 0 : 1;
                                if (speed == 2) {
                                    DctAndQtiz_Chen_Float(coeff, mcu + 64 * comp, ref.divisors(cls).mul, ref.divisors(cls).half);
                                } else {
                                    DctAndQtiz_Chen(coeff, mcuInt + 64 * comp, ref.intDivisors(cls));
                                }
                                const auto& got = d.comps[comp].coeffs[static_cast<size_t>(m)];
                                ASSERT_EQ(got[0], coeff[0]) << "quality " << quality << " plus " << plus << " arith "
                                                            << arith << " mode " << mode << " speed " << speed
                                                            << " mcu " << m << " comp " << comp;
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

// An 8 x 8 image of one colour: its MCU takes the single-colour shortcut, then
// 1440 white MCUs fill the row (fewer than 1440 blocks). Codes worked out by
// hand from the standard tables: luminance DC category 10 "11111110", 11
// "111111110", 15 (16 categories) "1111111111110"; chrominance DC 0 "00";
// end of block "1010" (luminance), "00" (chrominance).
struct FlatCase {
    const char* name;
    SDataPattern p;
    uint8_t level;        // every colour byte (or grey sample) of the image
    const char* first;    // the image's MCU
    const char* white;    // the first white MCU (DC jumps to white)
    const char* again;    // every further white MCU (DC difference 0)
};

// Entropy bits to bytes: FF stuffed, the last byte padded with one-bits, the
// end marker, zeros up to a multiple of 16 counted from the stream start.
Bytes PackScan(const std::string& bits, size_t start) {
    Bytes out;
    auto put = [&](uint8_t b) {
        out.push_back(b);
        if (b == 0xFF) out.push_back(0x00);
    };
    size_t i = 0;
    for (; i + 8 <= bits.size(); i += 8) put(static_cast<uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
    if (i < bits.size()) put(static_cast<uint8_t>(std::stoi((bits.substr(i) + "1111111").substr(0, 8), nullptr, 2)));
    out.insert(out.end(), {0xFF, 0xD9});
    while ((start + out.size()) % 16) out.push_back(0);
    return out;
}

TEST(JpegApi, FlatImageThenWhiteColumnsGiveTheseExactBytes) {
    SDataPattern mode2 = PlainPattern();
    mode2.colourMode = 2;  // black reads as 32, white as 223
    const FlatCase cases[] = {
        // Y: -128 * 64 / 8 = -1024; white 127 -> 8 * 127 + 4 = 1020, difference 2044.
        {"plain_black", PlainPattern(), 0, "111111110" "01111111111" "1010" "00" "00" "00" "00",
         "111111110" "11111111100" "1010" "00" "00" "00" "00", "00" "1010" "00" "00" "00" "00"},
        // 16 times: -16384, then 16320 (difference 32704).
        {"plus_black", PlusPattern(), 0, "1111111111110" "011111111111111" "1010" "00" "00" "00" "00",
         "1111111111110" "111111111000000" "1010" "00" "00" "00" "00", "00" "1010" "00" "00" "00" "00"},
        // Quality 0, DC quantiser 2: -512; white 8 * 127 / 2 + 4 = 512.
        {"q0_black", Pat(0, 2, 0, 0), 0, "11111110" "0111111111" "1010" "00" "00" "00" "00",
         "111111110" "10000000000" "1010" "00" "00" "00" "00", "00" "1010" "00" "00" "00" "00"},
        // Black 32 - 128 = -96 -> -768; white 223 - 127.5 = 95 -> 764 (difference 1532).
        {"mode2_black", mode2, 0, "11111110" "0011111111" "1010" "00" "00" "00" "00",
         "111111110" "10111111100" "1010" "00" "00" "00" "00", "00" "1010" "00" "00" "00" "00"},
        // Grey 0: round(8 * -128) = -1024; white (8 * 255 - 1024) = 1016, without the 4.
        {"grey_black", Pat(2, 0, 0, 1), 0, "111111110" "01111111111" "1010", "111111110" "11111111000" "1010", "00" "1010"},
        {"plus_grey_black", Pat(2, 0, 0, 1, true), 0, "1111111111110" "011111111111111" "1010",
         "1111111111110" "111111110000000" "1010", "00" "1010"},
    };
    for (const auto& c : cases) {
        Image im = MakeImage(8, 8, c.p);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                for (int k = 0; k < (c.p.pixelKind == 2 ? 1 : 3); ++k) im.px(x, y)[k] = c.level;
        const Encoded e = Encode(im, c.p);
        ASSERT_EQ(e.headerBytes, c.p.pixelKind == 2 ? 448u : 736u) << c.name;
        const Bytes head(e.stream.begin(), e.stream.begin() + static_cast<ptrdiff_t>(e.headerBytes));
        // Frame width 8 + 8 * 1440 = 11528 = 0x2D08.
        EXPECT_EQ(Bytes(head.begin() + 124, head.begin() + 128), (Bytes{0x00, 0x08, 0x2D, 0x08})) << c.name;
        std::string bits = std::string(c.first) + c.white;
        for (int i = 1; i < 1440; ++i) bits += c.again;
        EXPECT_EQ(Bytes(e.stream.begin() + static_cast<ptrdiff_t>(e.headerBytes), e.stream.end()),
                  PackScan(bits, e.headerBytes))
            << c.name;
        for (size_t n : e.chunks) EXPECT_EQ(n % 16, 0u) << c.name;
    }
    // The packing above, spelled out once: FF is followed by 00.
    Image im = MakeImage(8, 8, PlainPattern());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) std::fill(im.px(x, y), im.px(x, y) + 3, 0);
    const Encoded e = Encode(im, PlainPattern());
    EXPECT_EQ(Bytes(e.stream.begin() + 736, e.stream.begin() + 746),
              (Bytes{0xFF, 0x00, 0x3F, 0xFA, 0x00, 0xFF, 0x00, 0x7F, 0xCA, 0x00}));
    EXPECT_EQ(e.chunks, (std::vector<size_t>{736, 2528, 16}));
    // 16 times DC precision: 2531 entropy bytes at the row end, so 2528 are
    // sent and the last 3 (A0 02 80) open Close's chunk, followed by 3F (2
    // pending zero bits and six one-bits), FF D9 and 10 zeros.
    im = MakeImage(8, 8, PlusPattern());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) std::fill(im.px(x, y), im.px(x, y) + 3, 0);
    const Encoded plus = Encode(im, PlusPattern());
    EXPECT_EQ(Bytes(plus.stream.begin() + 736, plus.stream.begin() + 749),
              (Bytes{0xFF, 0x00, 0xF3, 0xFF, 0x00, 0xFA, 0x00, 0xFF, 0x00, 0xF7, 0xFC, 0x0A, 0x00}));
    EXPECT_EQ(plus.chunks, (std::vector<size_t>{736, 2528, 16}));
    Bytes last = {0xA0, 0x02, 0x80, 0x3F, 0xFF, 0xD9};
    last.resize(16, 0);
    EXPECT_EQ(Bytes(plus.stream.end() - 16, plus.stream.end()), last);
}

// The arithmetic is single precision without contraction, or integer, so a
// stream is the same on every build: a fixed image gives fixed bytes (checked
// by digest), at every speed and colour arithmetic.
TEST(JpegApi, StreamsAreReproducible) {
    struct Case {
        SDataPattern p;
        uint64_t digest;
    } cases[] = {{PlainPattern(), 5179065145775654557ull},
                 {PlusPattern(), 2500054980904650593ull},
                 {Pat(1, 1, 3, 0), 3919268461982393915ull},
                 {Pat(2, 0, 0, 2), 4461222199654030828ull},
                 {Speed(PlainPattern(), 2, 0), 232092636338229351ull},
                 {Speed(PlainPattern(), 1), 7166535860805301799ull},
                 {Speed(PlusPattern(), 1, 0), 3003254385378958325ull},
                 {Speed(Pat(1, 1, 3, 0), 0), 15693924033521353279ull},
                 {Speed(Pat(0, 2, 2, 1), 0, 0), 11938947499819813812ull}};
    for (const auto& c : cases) {
        Image im = MakeImage(72, 40, c.p);
        FillPhoto(im, c.p, 77);
        uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (uint8_t b : Encode(im, c.p).stream) h = (h ^ b) * 1099511628211ull;
        EXPECT_EQ(h, c.digest) << "speed " << c.p.speed << " arithmetic " << c.p.floatArithmetic;
    }
}

// Open forces speed 2 in the caller's record and in its own copy; only
// OverrideSpeed, before Open, chooses another, and the option segment names
// the speed used.
TEST(JpegApi, SpeedOverride) {
    struct Case {
        int speed;  // -1: no override
        const char* text;
    } cases[] = {{-1, "QUALTY"}, {2, "QUALTY"}, {1, "NORMAL"}, {0, " QUICK"}};
    for (const auto& c : cases) {
        CJpegAPI enc;
        if (c.speed >= 0) enc.OverrideSpeed(static_cast<uint32_t>(c.speed));
        SDataPattern p = Speed(PlainPattern(), 0);
        Bytes out(32768);
        int written = 0;
        enc.Open(out.data(), &written, 32768, 64, 64, &p, 256, nullptr, 0);
        EXPECT_EQ(p.speed, 2u);
        EXPECT_EQ(std::string(out.begin() + 52 + 32, out.begin() + 52 + 38), c.text);
        EXPECT_EQ(enc.quickDct(), c.speed == 0);
        EXPECT_EQ(ErrOf([&] { enc.OverrideSpeed(1); }), 1u);  // after Open
    }
    CJpegAPI enc;
    EXPECT_EQ(ErrOf([&] { enc.OverrideSpeed(3); }), 1u);
}

}  // namespace
}  // namespace ovcg_test::jpegt
