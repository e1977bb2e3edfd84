// RHV2 round trips: every colour type through Rhv2CompDecomp, every pixel
// format and coder option through the line coders, with the stream
// invariants checked on the way.
#include "codecs/rhv2/rhv2.h"
#include "common/byte_cursor.h"
#include "rhv2_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ovcg_test {
namespace {

using namespace rhv2t;

// Header, row table and coded area add up, and no line is longer than its
// raw bytes plus the escape byte.
void check_stream(const Bytes& s, uint32_t type, uint32_t width, uint32_t lines) {
    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
    ASSERT_GE(s.size(), 8u);
    EXPECT_EQ(s[0], 0xFF);
    EXPECT_EQ(s[1], 0x00);
    EXPECT_EQ(s[2], cs);
    EXPECT_EQ(s[3], type == 2 ? 1 : 0);
    EXPECT_EQ(ovcg::load_u32be(&s[4]), lines);
    const size_t table = ovcg::Rhv2GetRATSize(type, lines);
    ASSERT_GE(s.size(), 8 + table);
    uint64_t sum = 0;
    const uint32_t coded_width = std::max(width, 3u);
    for (size_t i = 0; i < table / 4; ++i) {
        uint32_t e = ovcg::load_u32be(&s[8 + 4 * i]);
        EXPECT_GE(e, 1u);
        EXPECT_LE(e, coded_width + 1);
        sum += e;
    }
    EXPECT_EQ(s.size(), 8 + table + sum);
}

// The image as the decoder gives it back: each line's bytes past the
// pixels are zero.
Bytes expected_image(const Bytes& img, uint32_t width, uint32_t cs, uint32_t stride,
                     uint32_t lines) {
    Bytes out(size_t(stride) * lines, 0);
    for (uint32_t y = 0; y < lines; ++y)
        std::copy_n(img.begin() + size_t(y) * stride, size_t(width) * cs,
                    out.begin() + size_t(y) * stride);
    return out;
}

struct TripCase {
    uint32_t type;
    uint32_t width;
    uint32_t lines;
    uint32_t pad;  // stride = width x colour size + pad
    Content content;
};

std::string trip_name(const ::testing::TestParamInfo<TripCase>& info) {
    static const char* names[] = {"smooth", "repetitive", "noisy", "zero", "mixed"};
    const TripCase& c = info.param;
    return "t" + std::to_string(c.type) + "_w" + std::to_string(c.width) + "_l" +
           std::to_string(c.lines) + "_p" + std::to_string(c.pad) + "_" +
           names[static_cast<int>(c.content)];
}

std::vector<TripCase> trip_cases() {
    std::vector<TripCase> v;
    const uint32_t widths[] = {1, 2, 3, 4, 7, 64, 255, 256, 600};
    const Content contents[] = {Content::kSmooth, Content::kRepetitive, Content::kNoisy,
                                Content::kZero, Content::kMixed};
    for (uint32_t type = 0; type < 3; ++type)
        for (uint32_t w : widths)
            for (uint32_t lines : {1u, 2u, 5u, 8u})
                for (Content c : contents) v.push_back({type, w, lines, (w + lines) % 3 == 0 ? 5u : 0u, c});
    return v;
}

class Rhv2Trip : public ::testing::TestWithParam<TripCase> {};

TEST_P(Rhv2Trip, DecodesToTheImage) {
    const TripCase& c = GetParam();
    const uint32_t cs = ovcg::Rhv2GetColorSize(c.type);
    const uint32_t stride = c.width * cs + c.pad;
    Bytes img = make_image(c.content, c.width, c.lines, cs, stride, c.width * 31 + c.lines);
    uint32_t rc = 1;
    Bytes s = encode(c.type, c.width, c.lines, stride, img, &rc);
    ASSERT_EQ(rc, 0u);
    check_stream(s, c.type, c.width, c.lines);
    EXPECT_LE(s.size(), ovcg::Rhv2GetRhv2BufSize(0, c.type, c.width, c.lines, stride));
    Bytes back = decode(c.type, c.width, c.lines, stride, s, &rc);
    ASSERT_EQ(rc, 0u);
    EXPECT_EQ(back, expected_image(img, c.width, cs, stride, c.lines));
}

INSTANTIATE_TEST_SUITE_P(All, Rhv2Trip, ::testing::ValuesIn(trip_cases()), trip_name);

TEST(Rhv2Trip, SmoothContentCompresses) {
    const uint32_t w = 1000, lines = 8;
    Bytes img = make_image(Content::kRepetitive, w, lines, 3, w * 3, 7);
    Bytes s = encode(2, w, lines, w * 3, img);
    ASSERT_FALSE(s.empty());
    EXPECT_LT(s.size(), img.size() / 4);
}

TEST(Rhv2Trip, NoiseIsEscapedLineByLine) {
    const uint32_t w = 300, lines = 4;
    Bytes img = make_image(Content::kNoisy, w, lines, 1, w, 11);
    Bytes s = encode(0, w, lines, w, img);
    ASSERT_EQ(s.size(), 8 + 4 * lines + lines * (w + 1));
    for (uint32_t y = 0; y < lines; ++y) {
        EXPECT_EQ(ovcg::load_u32be(&s[8 + 4 * y]), w + 1);
        size_t at = 8 + 4 * lines + size_t(y) * (w + 1);
        EXPECT_EQ(s[at], 0x7F);
        EXPECT_TRUE(std::equal(img.begin() + y * w, img.begin() + (y + 1) * w, s.begin() + at + 1));
    }
}

// ---- line coders: every pixel format and option --------------------------

uint8_t widen(uint8_t v, unsigned depth) {
    // Repeats the low `depth` bits over the byte.
    unsigned out = 0, val = v & ((1u << depth) - 1);
    for (int shift = 8 - int(depth); shift > -int(depth); shift -= int(depth))
        out |= shift >= 0 ? val << shift : val >> -shift;
    return static_cast<uint8_t>(out);
}

// What the decoder must give back for one input line of a format.
Bytes expected_line(uint32_t format, unsigned depth, const uint8_t* in, uint32_t w) {
    const unsigned bpp = format <= 3 || format == 14 ? 4 : format >= 10 && format <= 13 ? 5
                         : format == 15                ? 3
                                                       : 1;
    Bytes out(in, in + size_t(w) * bpp);
    const unsigned sh = 8 - depth;
    switch (format) {
    case 2:
        ovcg::Rhv2YuvConv(in, w, out.data());
        ovcg::Rhv2YuvDeconv(out.data(), w, out.data());
        break;
    case 5: case 7:
        for (auto& b : out) b = widen(static_cast<uint8_t>(b >> sh), depth);
        break;
    case 8: case 9:
        for (auto& b : out) b &= 1;
        break;
    case 10:
        for (uint32_t p = 0; p < w; ++p) out[5 * p + 4] &= 1;
        break;
    case 11: case 13:
        for (uint32_t p = 0; p < w; ++p) {
            for (int c = 0; c < 4; ++c) out[5 * p + c] = widen(static_cast<uint8_t>(out[5 * p + c] >> sh), depth);
            out[5 * p + 4] &= 1;
        }
        break;
    case 12:  // planar: plane 4 keeps bit 0
        for (uint32_t p = 0; p < w; ++p) out[4 * w + p] &= 1;
        break;
    default:
        break;
    }
    return out;
}

struct CoderCase {
    uint32_t format;
    uint8_t depth;
    uint32_t advance;  // 0, 1 or 2
    uint32_t carry;
    uint32_t escape;
    uint32_t padding;
};

std::vector<CoderCase> coder_cases() {
    std::vector<CoderCase> v;
    for (uint32_t f = 0; f < 16; ++f) {
        const bool depthy = f == 5 || f == 7 || f == 11 || f == 13;
        for (uint8_t depth : depthy ? std::vector<uint8_t>{1, 3, 8} : std::vector<uint8_t>{0})
            for (uint32_t adv : {0u, 1u, 2u})
                for (uint32_t carry : {0u, 1u})
                    for (uint32_t escape : {0u, 1u})
                        for (uint32_t padding : {0u, 1u})
                            v.push_back({f, depth, adv, carry, escape, padding});
    }
    return v;
}

class Rhv2Coders : public ::testing::TestWithParam<CoderCase> {};

TEST_P(Rhv2Coders, RoundTripEveryFormat) {
    const CoderCase& c = GetParam();
    const uint32_t cc = ovcg::Rhv2FormatComponents(c.format);
    const uint32_t bpp = c.format <= 3 || c.format == 14 ? 4 : c.format >= 10 && c.format <= 13 ? 5
                         : c.format == 15                ? 3
                                                         : 1;
    for (uint32_t w : {2u, 6u, 37u, 300u}) {
        if (c.format == 2 && (w & 1)) continue;  // pairs share U and V
        for (Content content : {Content::kMixed, Content::kNoisy, Content::kRepetitive}) {
            const uint32_t lines = 5;
            const uint32_t line_bytes = w * bpp;
            const uint32_t stride = line_bytes + 3;
            ovcg::Rhv2Params p;
            p.width = w;
            p.lines = lines;
            p.format = c.format;
            p.depth = c.depth;
            p.line_advance = c.advance;
            p.line_padding = c.padding;
            p.stride = stride;
            p.context_carry = c.carry;
            p.raw_escape = c.escape;
            p.limit_mode = 2;

            auto offset = [&](uint32_t y) -> size_t {
                size_t off = 0;
                for (uint32_t i = 0; i < y; ++i)
                    off = c.advance == 1 ? (off + line_bytes + 7) / 8 * 8
                          : c.advance == 2 ? off + stride
                                           : off + line_bytes;
                return off;
            };
            const size_t image_size = offset(lines);
            Bytes img(image_size + stride, 0);
            Bytes lines_data = make_image(content, w, lines, bpp, line_bytes, w + c.format);
            for (uint32_t y = 0; y < lines; ++y)
                std::copy_n(lines_data.begin() + size_t(y) * line_bytes, line_bytes, img.begin() + offset(y));

            Bytes coded(size_t(lines) * cc * (2 * w + 64) + 64);
            Bytes table(4 * cc * lines);
            Bytes work(2 * w * cc);
            uint32_t size = 0;
            ASSERT_EQ(ovcg::Vip2Rhv2Compress(img.data(), img.size(), coded.data(), coded.size(),
                                             table.data(), table.size(), work.data(), work.size(),
                                             &p, &size),
                      0u)
                << "w=" << w;
            // Coded lines sit back to back (or on 8-byte boundaries).
            uint64_t sum = 0;
            for (size_t i = 0; i < table.size() / 4; ++i) {
                sum += ovcg::load_u32be(&table[4 * i]);
                if (c.padding) sum = (sum + 7) / 8 * 8;
            }
            EXPECT_EQ(size, sum);

            Bytes out(image_size, 0xCC);
            Bytes dwork(w * cc);
            ASSERT_EQ(ovcg::Vip2Rhv2Decompress(coded.data(), size, out.data(), out.size(), table.data(),
                                               table.size(), dwork.data(), dwork.size(), &p),
                      0u)
                << "w=" << w;
            for (uint32_t y = 0; y < lines; ++y) {
                Bytes want = expected_line(c.format, c.depth, &lines_data[size_t(y) * line_bytes], w);
                want.resize(offset(y + 1) - offset(y), 0);  // padding written as zeros
                Bytes got(out.begin() + offset(y), out.begin() + offset(y + 1));
                ASSERT_EQ(got, want) << "w=" << w << " line " << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Rhv2Coders, ::testing::ValuesIn(coder_cases()),
                         [](const auto& info) {
                             const CoderCase& c = info.param;
                             return "f" + std::to_string(c.format) + "_d" + std::to_string(c.depth) +
                                    "_a" + std::to_string(c.advance) + "_c" + std::to_string(c.carry) +
                                    "_e" + std::to_string(c.escape) + "_p" + std::to_string(c.padding);
                         });

// ---- coder options ---------------------------------------------------------

ovcg::Rhv2Params gray_params(uint32_t w, uint32_t lines) {
    ovcg::Rhv2Params p;
    p.width = w;
    p.lines = lines;
    p.format = 4;
    p.line_advance = 0;
    p.stride = w;
    p.context_carry = 1;
    p.raw_escape = 1;
    p.limit_mode = 2;
    return p;
}

struct Coded {
    uint32_t rc;
    Bytes coded;
    Bytes table;
};

Coded compress(const ovcg::Rhv2Params& p, const Bytes& img, uint32_t cc = 1) {
    Coded r;
    r.coded.resize(size_t(p.lines) * cc * (2 * p.width + 16) + 64);
    r.table.resize(4 * cc * p.lines);
    Bytes work(2 * p.width * cc);
    uint32_t size = 0;
    r.rc = ovcg::Vip2Rhv2Compress(img.data(), img.size(), r.coded.data(), r.coded.size(), r.table.data(),
                                  r.table.size(), work.data(), work.size(), &p, &size);
    r.coded.resize(size);
    return r;
}

TEST(Rhv2Options, WithoutCarryEveryLineStartsAfresh) {
    auto p = gray_params(16, 3);
    p.context_carry = 0;
    Bytes line = {10, 10, 10, 12, 14, 16, 200, 200, 200, 200, 0, 0, 0, 5, 5, 9};
    Bytes img;
    for (int i = 0; i < 3; ++i) img.insert(img.end(), line.begin(), line.end());
    Coded c = compress(p, img);
    ASSERT_EQ(c.rc, 0u);
    const uint32_t e = ovcg::load_u32be(&c.table[0]);
    ASSERT_EQ(c.coded.size(), 3u * e);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(ovcg::load_u32be(&c.table[4 * i]), e);
        EXPECT_TRUE(std::equal(c.coded.begin(), c.coded.begin() + e, c.coded.begin() + i * e));
    }
}

TEST(Rhv2Options, WithoutEscapeLongLinesStayCoded) {
    auto p = gray_params(64, 2);
    p.raw_escape = 0;
    Bytes img = make_image(Content::kNoisy, 64, 2, 1, 64, 3);
    Coded c = compress(p, img);
    ASSERT_EQ(c.rc, 0u);
    EXPECT_GT(ovcg::load_u32be(&c.table[0]), 64u);
    EXPECT_NE(c.coded[0], 0x7F);
}

TEST(Rhv2Options, PerLineLimitIsInclusiveOfTheLastByte) {
    auto p = gray_params(64, 4);
    Bytes img = make_image(Content::kMixed, 64, 4, 1, 64, 5);
    Coded free_run = compress(p, img);
    ASSERT_EQ(free_run.rc, 0u);
    uint32_t longest = 0;
    for (int i = 0; i < 4; ++i) longest = std::max(longest, ovcg::load_u32be(&free_run.table[4 * i]));
    p.limit_mode = 0;
    p.first_limit = longest;
    Coded at = compress(p, img);
    EXPECT_EQ(at.rc, 0u);
    EXPECT_EQ(at.coded, free_run.coded);
    p.first_limit = longest - 1;
    EXPECT_EQ(compress(p, img).rc, ovcg::kRhv2Fail);
}

TEST(Rhv2Options, TotalLimit) {
    auto p = gray_params(64, 4);
    Bytes img = make_image(Content::kSmooth, 64, 4, 1, 64, 6);
    Coded free_run = compress(p, img);
    ASSERT_EQ(free_run.rc, 0u);
    p.limit_mode = 1;
    p.first_limit = static_cast<uint32_t>(free_run.coded.size());
    EXPECT_EQ(compress(p, img).rc, 0u);
    p.first_limit -= 1;
    EXPECT_EQ(compress(p, img).rc, ovcg::kRhv2Fail);
}

TEST(Rhv2Options, SecondLimitGovernsTheLastPlaneOnly) {
    // Format 10: planes 0-3 noisy (escaped, 17 bytes), plane 4 only 0/1.
    ovcg::Rhv2Params p = gray_params(16, 1);
    p.format = 10;
    p.stride = 80;
    Bytes img = make_image(Content::kNoisy, 16, 1, 5, 80, 9);
    for (int px = 0; px < 16; ++px) img[5 * px + 4] = 0;  // plane 4: zero line, 1 byte
    p.limit_mode = 0;
    p.first_limit = 17;
    p.second_limit = 1;
    EXPECT_EQ(compress(p, img, 5).rc, 0u);
    p.second_limit = 0;
    EXPECT_EQ(compress(p, img, 5).rc, ovcg::kRhv2Fail);
    p.second_limit = 100;
    p.first_limit = 16;
    EXPECT_EQ(compress(p, img, 5).rc, ovcg::kRhv2Fail);
}

}  // namespace
}  // namespace ovcg_test
