#include "halftoning/band_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace ovcg;
using Bytes = std::vector<uint8_t>;

// Slow, literal reduction: one seed step per pixel, top byte as r.
Bytes ReduceReference(const std::vector<uint16_t>& in, int pixels, int comps, uint32_t& seed) {
    Bytes out(in.size());
    for (int p = 0; p < pixels; ++p) {
        const uint32_t r = seed >> 24;
        for (int c = 0; c < comps; ++c) {
            const uint32_t v = in[static_cast<size_t>(p * comps + c)];
            out[static_cast<size_t>(p * comps + c)] = static_cast<uint8_t>((v - (v >> 8) + r) >> 8);
        }
        seed = seed * 48828125u + 1u;
    }
    return out;
}

TEST(Nch16to8Test, ExactSamplesAndBoundsForEverySeedByte) {
    // v = 257 q gives q whatever r: 257q - q + r = 256q + r, and r < 256.
    for (uint32_t top = 0; top < 256; ++top) {
        for (uint32_t q : {0u, 1u, 127u, 128u, 254u, 255u}) {
            const uint16_t v = static_cast<uint16_t>(257 * q);
            unsigned char out = 0xAA;
            unsigned seed = top << 24;
            Nch16to8(&v, &out, 1, 1, 1, &seed);
            EXPECT_EQ(out, q) << "r " << top;
        }
    }
    // Seed 0: r = 0, so 255 and 256 (below 257) still give 0.
    const uint16_t in[4] = {0, 255, 256, 65535};
    unsigned char out[4];
    for (int i = 0; i < 4; ++i) {
        unsigned seed = 0;
        Nch16to8(&in[i], &out[i], 1, 1, 1, &seed);
        EXPECT_EQ(seed, 1u);  // one step: 0 x 48828125 + 1
    }
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0, 0, 0, 255}));
}

TEST(Nch16to8Test, MonotoneAndUnbiased) {
    // For a fixed r the result never falls as v rises; over many seeds the
    // mean of a constant v lies within 0.5 of v / 257.
    for (uint32_t r : {0u, 77u, 255u}) {
        int last = 0;
        for (uint32_t v = 0; v <= 65535; ++v) {
            const uint16_t s = static_cast<uint16_t>(v);
            unsigned char out;
            unsigned seed = r << 24;
            Nch16to8(&s, &out, 1, 1, 1, &seed);
            ASSERT_GE(out, last) << v;
            last = out;
        }
    }
    std::mt19937 rng(7);
    for (int trial = 0; trial < 40; ++trial) {
        const uint16_t v = static_cast<uint16_t>(rng());
        std::vector<uint16_t> line(4096, v);
        Bytes out(line.size());
        unsigned seed = static_cast<unsigned>(rng());
        Nch16to8(line.data(), out.data(), 4096, 1, 1, &seed);
        double sum = 0;
        for (uint8_t b : out) sum += b;
        EXPECT_NEAR(sum / 4096, v / 257.0, 0.5) << v;
    }
}

TEST(Nch16to8Test, FastEqualsReferenceInAndOutOfPlace) {
    std::mt19937 rng(11);
    for (int comps = 1; comps <= 13; ++comps) {
        for (int pixels : {1, 7, 8, 255, 256, 257, 700}) {
            const int lines = 1 + static_cast<int>(rng() % 3);
            std::vector<uint16_t> in(static_cast<size_t>(pixels * lines * comps));
            for (auto& v : in) v = static_cast<uint16_t>(rng());
            const unsigned start = static_cast<unsigned>(rng());
            uint32_t refSeed = start;
            const Bytes want = ReduceReference(in, pixels * lines, comps, refSeed);

            Bytes out(in.size());
            unsigned seed = start;
            Nch16to8(in.data(), out.data(), pixels, lines, comps, &seed);
            EXPECT_EQ(out, want) << comps << "x" << pixels;
            EXPECT_EQ(seed, refSeed) << "one step per pixel";

            // In place: the same bytes at the start of the 16-bit buffer.
            std::vector<uint16_t> inplace = in;
            seed = start;
            auto* bytes = reinterpret_cast<unsigned char*>(inplace.data());
            Nch16to8(inplace.data(), bytes, pixels, lines, comps, &seed);
            EXPECT_EQ(Bytes(bytes, bytes + want.size()), want) << comps << "x" << pixels;
        }
    }
}

TEST(Nch16to8Test, NothingChangesWithoutWork) {
    const uint16_t in[2] = {65535, 65535};
    unsigned char out[2] = {9, 9};
    unsigned seed = 5;
    Nch16to8(in, out, 2, 0, 1, &seed);
    Nch16to8(in, out, 0, 1, 1, &seed);
    Nch16to8(in, out, 2, 1, 0, &seed);
    EXPECT_EQ(seed, 5u);
    EXPECT_EQ(out[0], 9);
    Nch16to8(in, out, 2, 1, 1, nullptr);  // a null seed starts at 0
    EXPECT_EQ(out[0], 255);
}

// ---------------------------------------------------------------------------
// Converters against one literal per-pixel reference.

struct ConverterCase {
    const char* name;
    ConverterKind kind;
    int in;       // bytes per source pixel
    int out;      // bytes per result pixel
    int r, g, b, x;  // source byte positions (x: alpha or K)
    int terminator;  // -1: none
};

Bytes Reference(const ConverterCase& c, const Bytes& line, size_t pixels, Bytes* alpha) {
    Bytes out = line;
    for (size_t p = 0; p < pixels; ++p) {
        const uint8_t* s = &line[p * static_cast<size_t>(c.in)];
        uint8_t* d = &out[p * static_cast<size_t>(c.out)];
        switch (c.kind) {
            case ConverterKind::kBGRtoRGB: d[0] = s[2], d[1] = s[1], d[2] = s[0]; break;
            case ConverterKind::kRGBXtoXRGB:
            case ConverterKind::kBGRXtoXRGB: d[0] = s[c.x], d[1] = s[c.r], d[2] = s[c.g], d[3] = s[c.b]; break;
            case ConverterKind::kCMYKtoGray: d[0] = s[3]; break;
            default: d[0] = static_cast<uint8_t>((30 * s[c.r] + 59 * s[c.g] + 11 * s[c.b]) / 100); break;
        }
        if (alpha && c.x >= 0 && c.kind != ConverterKind::kCMYKtoGray) (*alpha)[p] = s[c.x];
    }
    if (c.terminator >= 0) out[pixels] = static_cast<uint8_t>(c.terminator);
    return out;
}

const ConverterCase kConverters[] = {
    {"BGRtoRGB", ConverterKind::kBGRtoRGB, 3, 3, 2, 1, 0, -1, -1},
    {"BGRtoGray", ConverterKind::kBGRtoGray, 3, 1, 2, 1, 0, -1, 255},
    {"RGBXtoGray", ConverterKind::kRGBXtoGray, 4, 1, 0, 1, 2, 3, 255},
    {"BGRXtoGray", ConverterKind::kBGRXtoGray, 4, 1, 2, 1, 0, 3, 255},
    {"RGBXtoXRGB", ConverterKind::kRGBXtoXRGB, 4, 4, 0, 1, 2, 3, -1},
    {"BGRXtoXRGB", ConverterKind::kBGRXtoXRGB, 4, 4, 2, 1, 0, 3, -1},
    {"CMYKtoGray", ConverterKind::kCMYKtoGray, 4, 1, 0, 0, 0, 3, 0},
};

TEST(ConverterTest, EveryConverterEqualsTheReferenceOnRandomLines) {
    std::mt19937 rng(3);
    for (const ConverterCase& c : kConverters) {
        for (unsigned pixels : {0u, 1u, 5u, 255u, 256u, 300u, 1031u}) {
            for (int sixteen = 0; sixteen < 2; ++sixteen) {
                auto conv = MakeConverter(c.kind, c.in, sixteen);
                ASSERT_NE(conv, nullptr);
                EXPECT_EQ(conv->Components(), static_cast<unsigned>(c.in)) << c.name;
                const size_t samples = size_t{pixels} * static_cast<size_t>(c.in);
                Bytes line(samples * (sixteen ? 2 : 1) + 1, 0x5A);
                for (auto& b : line) b = static_cast<uint8_t>(rng());
                Bytes eight = line;
                if (sixteen) {
                    // The base step first: the 16-bit line reduced with seed 0.
                    std::vector<uint16_t> wide(samples);
                    if (samples) std::memcpy(wide.data(), line.data(), samples * 2);
                    uint32_t seed = 0;
                    const Bytes reduced = ReduceReference(wide, static_cast<int>(pixels), c.in, seed);
                    std::copy(reduced.begin(), reduced.end(), eight.begin());
                }
                Bytes alpha(pixels + 1, 0xEE), wantAlpha = alpha;
                const Bytes want = Reference(c, eight, pixels, &wantAlpha);
                conv->Convert(line.data(), pixels, alpha.data());
                EXPECT_EQ(line, want) << c.name << " " << pixels << " px, 16-bit " << sixteen;
                if (c.kind == ConverterKind::kRGBXtoGray || c.kind == ConverterKind::kBGRXtoGray)
                    EXPECT_EQ(alpha, wantAlpha) << c.name;
                else
                    EXPECT_EQ(alpha, Bytes(pixels + 1, 0xEE)) << c.name << " writes no alpha";
            }
        }
    }
}

TEST(ConverterTest, GrayGoldens) {
    // (30 x 255) / 100 = 76.5 truncates to 76; white stays 255, black 0.
    const struct {
        Bytes pixel;
        uint8_t gray;
    } golden[] = {{{0, 0, 255}, 76}, {{255, 255, 255}, 255}, {{0, 0, 0}, 0}, {{255, 0, 0}, 28}, {{0, 255, 0}, 150}};
    for (const auto& g : golden) {
        CBGRto8BITGRAY conv(0);
        Bytes line = g.pixel;
        line.push_back(0);
        conv.Convert(line.data(), 1, nullptr);
        EXPECT_EQ(line[0], g.gray);
        EXPECT_EQ(line[1], 255);
    }
    // 16-bit flag carries the seed from line to line: two one-pixel lines
    // advance it twice.
    CRGBXtoXRGB conv(1);
    uint16_t px[4] = {0x0101, 0x0202, 0x0303, 0x0404};
    conv.Convert(reinterpret_cast<unsigned char*>(px), 1, nullptr);
    EXPECT_EQ(conv.Seed(), 1u);
    conv.Convert(reinterpret_cast<unsigned char*>(px), 1, nullptr);
    EXPECT_EQ(conv.Seed(), 48828126u);
    // With 0 pixels only the terminator is written.
    CCMYKto8BITGRAY k(0);
    unsigned char one = 7;
    k.Convert(&one, 0, nullptr);
    EXPECT_EQ(one, 0);
}

TEST(ConverterTest, SelectionTable) {
    using K = ConverterKind;
    const struct {
        int format, type, mono;
        ConverterKind want;
    } rows[] = {
        {7, 0, 0, K::kRGBXtoGray}, {8, 0, 0, K::kBGRXtoGray}, {4, 0, 0, K::kCMYKtoGray}, {2, 0, 1, K::kBGRtoGray},
        {1, 0, 0, K::kBase},       {2, 1, 0, K::kBGRtoRGB},   {7, 1, 0, K::kBase},       {2, 2, 1, K::kBGRtoGray},
        {2, 2, 0, K::kBase},       {7, 3, 0, K::kRGBXtoXRGB}, {8, 3, 1, K::kBGRXtoXRGB}, {2, 3, 0, K::kBase},
        {4, 4, 1, K::kCMYKtoGray}, {4, 4, 0, K::kBase},       {7, 7, 1, K::kRGBXtoGray}, {8, 7, 1, K::kBGRXtoGray},
        {7, 7, 0, K::kBase},       {8, 7, 0, K::kBase},       {104, 104, 0, K::kBase},   {7, 10, 1, K::kBase},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SelectConverter(r.format, r.type, r.mono), r.want) << r.format << "/" << r.type << "/" << r.mono;
    // The base converter keeps its given components and does only the 16-bit step.
    auto base = MakeConverter(K::kBase, 10, 1);
    std::vector<uint16_t> line(10, 0xFFFF);
    base->Convert(reinterpret_cast<unsigned char*>(line.data()), 1, nullptr);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(line.data())[9], 255);
    EXPECT_EQ(base->Seed(), 1u);
}

}  // namespace
