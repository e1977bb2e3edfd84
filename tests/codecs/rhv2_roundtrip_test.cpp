// RHV2 round trips: every pixel format and coder option through the line
// coders, with the stream invariants checked on the way.
#include "codecs/rhv2/rhv2.h"
#include "common/byte_cursor.h"
#include "rhv2_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace ovcg_test {
namespace {

using namespace rhv2t;

TEST(Rhv2Trip, SmoothContentCompresses) {
    const uint32_t w = 1000, lines = 8;
    Bytes img = make_image(Content::kRepetitive, w, lines, 3, w * 3, 7);
    Bytes s = encode(2, w, lines, w * 3, img);
    ASSERT_FALSE(s.empty());
    EXPECT_LT(s.size(), img.size() / 4);
}

// ---- line coders: every pixel format and option --------------------------

// Bytes per image pixel of a line-coder format.
uint32_t format_bpp(uint32_t format) {
    return format <= 3 || format == 14 ? 4 : format >= 10 && format <= 13 ? 5 : format == 15 ? 3 : 1;
}

uint8_t widen(uint8_t v, unsigned depth) {
    // Repeats the low `depth` bits over the byte.
    unsigned out = 0, val = v & ((1u << depth) - 1);
    for (int shift = 8 - int(depth); shift > -int(depth); shift -= int(depth))
        out |= shift >= 0 ? val << shift : val >> -shift;
    return static_cast<uint8_t>(out);
}

// What the decoder must give back for one input line of a format.
Bytes expected_line(uint32_t format, unsigned depth, const uint8_t* in, uint32_t w) {
    Bytes out(in, in + size_t(w) * format_bpp(format));
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
    const uint32_t bpp = format_bpp(c.format);
    for (uint32_t w : {2u, 6u, 37u, 300u}) {
        if (c.format == 2 && (w & 1)) continue;  // pairs share U and V
        for (Content content : {Content::kMixed, Content::kNoisy, Content::kRepetitive}) {
            const uint32_t lines = 5;
            const uint32_t line_bytes = w * bpp;
            const uint32_t stride = line_bytes + 3;
            ovcg::Rhv2Params p = coder_params(c.format, w, lines, c.depth);
            p.line_advance = c.advance;
            p.line_padding = c.padding;
            p.stride = stride;
            p.context_carry = c.carry;
            p.raw_escape = c.escape;

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
                             std::ostringstream name;
                             name << 'f' << c.format << "_d" << int(c.depth) << "_a" << c.advance << "_c"
                                  << c.carry << "_e" << c.escape << "_p" << c.padding;
                             return name.str();
                         });

// ---- coder options ---------------------------------------------------------

ovcg::Rhv2Params gray_params(uint32_t w, uint32_t lines) { return coder_params(ovcg::kRhv2FmtGray, w, lines); }

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

// A limit of exactly the bytes needed (the longest line, or the whole coded
// area) suffices; one byte less fails.
TEST(Rhv2Options, LimitsAreInclusive) {
    for (uint32_t mode : {ovcg::kRhv2LimitPerLine, ovcg::kRhv2LimitTotal}) {
        auto p = gray_params(64, 4);
        Bytes img = make_image(mode == ovcg::kRhv2LimitPerLine ? Content::kMixed : Content::kSmooth, 64, 4, 1, 64, 5 + mode);
        Coded free_run = compress(p, img);
        ASSERT_EQ(free_run.rc, 0u);
        uint32_t longest = 0;
        for (int i = 0; i < 4; ++i) longest = std::max(longest, ovcg::load_u32be(&free_run.table[4 * i]));
        p.limit_mode = mode;
        p.first_limit = mode == ovcg::kRhv2LimitPerLine ? longest : static_cast<uint32_t>(free_run.coded.size());
        Coded at = compress(p, img);
        EXPECT_EQ(at.rc, 0u) << mode;
        EXPECT_EQ(at.coded, free_run.coded) << mode;
        p.first_limit -= 1;
        EXPECT_EQ(compress(p, img).rc, ovcg::kRhv2Fail) << mode;
    }
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
