// A slow, literal RHV2 encoder built on strings of '0' and '1' (codes
// spelled out from their textual form, no shared tables), compared byte for
// byte with the codec on random bands; its streams must also decode back.
#include "codecs/rhv2/rhv2.h"
#include "common/byte_cursor.h"
#include "rhv2_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace ovcg_test {
namespace {

using namespace rhv2t;

struct RefCtx {
    int last = 255, second = 0, run1 = 1, run2 = 1, state = 2;
};

std::string low_bits(unsigned v, int k) {
    std::string s;
    for (int i = 0; i < k; ++i) s += ((v >> i) & 1) ? '1' : '0';
    return s;
}

// The difference code of d in -128..127.
std::string diff_code(int d) {
    if (d == 0) return "101";
    if (d == -128) return "1111110";
    const int mag = std::abs(d);
    static const std::map<int, std::string> prefix = {{1, "00"},   {2, "01"},    {3, "100"},
                                                      {4, "110"},  {5, "1110"},  {6, "11110"},
                                                      {7, "111110"}};
    int k = 1;
    while ((1 << k) <= mag) ++k;
    const unsigned extra = static_cast<unsigned>(d > 0 ? d : d - 1 + (1 << k));
    return prefix.at(k) + low_bits(extra, k);
}

std::string run_code(int run, bool to_end) {
    if (to_end) return diff_code(-128);
    std::string s;
    while (run >= 255) {
        s += diff_code(127);
        run -= 255;
    }
    const int d = run == 0 ? -128 : (run % 2 ? (run - 1) / 2 : -(run / 2));
    return s + diff_code(d);
}

std::string prefix(int state, const std::string& token) {
    static const std::map<std::string, std::map<int, std::string>> table = {
        {"above", {{2, "0"}, {3, "110"}, {4, "110"}}},
        {"last", {{2, "110"}, {3, "1110"}, {4, "1110"}}},
        {"second", {{2, "10"}, {3, "11110"}, {4, "11110"}}},
        {"diffrun", {{2, "1110"}, {3, "10"}, {4, "10"}}},
        {"short", {{4, "0"}}},
        {"diffseq", {{2, "11110"}, {3, "0"}, {4, "111110"}}},
    };
    return table.at(token).at(state);
}

void new_last(RefCtx& c, int v) {
    if (v != c.last) {
        c.second = c.last;
        c.last = v;
    }
}
void new_run(RefCtx& c, int run) {
    if (run == c.run1) c.run2 = run;
    c.run1 = run;
}

// One component line as bytes: tokens, or 7F and the samples when longer.
Bytes ref_line(const Bytes& cur, const Bytes& above, bool first_line, RefCtx& ctx) {
    const int n = static_cast<int>(cur.size());
    const RefCtx saved = ctx;
    auto pred = [&](int i) -> int {
        if (!first_line) return i == 0 ? above[0] : (cur[i - 1] + above[i]) / 2;
        return i == 0 ? 0 : cur[i - 1];
    };
    auto diff = [&](int i) { return diff_code(static_cast<int8_t>(static_cast<uint8_t>(cur[i] - pred(i)))); };
    auto same_from = [&](int from, int v) {
        int k = from;
        while (k < n && cur[k] == v) ++k;
        return k - from;
    };
    std::string s;
    int i = 0;
    while (i < n) {
        const int x = cur[i];
        if (x == above[i]) {
            int k = i;
            while (k < n && cur[k] == above[k]) ++k;
            s += prefix(ctx.state, "above") + run_code(k - i, k == n);
            new_last(ctx, cur[k - 1]);
            i = k;
        } else if (x == ctx.last) {
            int run = same_from(i, x);
            s += prefix(ctx.state, "last") + run_code(run, i + run == n);
            new_run(ctx, run);
            i += run;
        } else if (x == ctx.second && std::abs(ctx.second - ctx.last) >= 8) {
            int run = same_from(i, x);
            s += prefix(ctx.state, "second") + run_code(run, i + run == n);
            new_last(ctx, x);
            new_run(ctx, run);
            ctx.state = 2;
            i += run;
        } else if (i == n - 1 || cur[i + 1] == x) {
            int run = i == n - 1 ? 0 : same_from(i + 1, x);
            if (ctx.state == 4 && run == ctx.run2) {
                s += prefix(4, "short") + diff(i);
                ctx.run1 = ctx.run2;
            } else {
                s += prefix(ctx.state, "diffrun") + diff(i);
                if (run > 0) {
                    s += run_code(run, i + 1 + run == n);
                    new_run(ctx, run);
                }
            }
            new_last(ctx, x);
            ctx.state = 4;
            i += 1 + run;
        } else {
            s += prefix(ctx.state, "diffseq");
            for (int j = i;; ++j) {
                s += diff(j);
                new_last(ctx, cur[j]);
                if (j + 1 == n) {
                    i = n;
                    break;
                }
                if (j + 2 < n && cur[j + 1] == cur[j] && cur[j + 2] == cur[j]) {
                    int run = same_from(j + 1, cur[j]);
                    s += "1111111" + run_code(run, j + 1 + run == n);
                    new_run(ctx, run);
                    i = j + 1 + run;
                    break;
                }
            }
            ctx.state = 3;
        }
    }
    Bytes coded = bits(s);
    if (coded.size() > cur.size()) {
        ctx = saved;
        coded.assign(1, 0x7F);
        coded.insert(coded.end(), cur.begin(), cur.end());
    }
    return coded;
}

// The whole stream of a colour type for an image at `stride`.
Bytes ref_stream(uint32_t type, uint32_t width, uint32_t lines, uint32_t stride, const Bytes& img) {
    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
    const uint32_t w = std::max(width, 3u);
    std::vector<RefCtx> ctx(cs);
    std::vector<Bytes> above(cs, Bytes(w, 0));
    std::vector<Bytes> coded;
    for (uint32_t y = 0; y < lines; ++y) {
        for (uint32_t c = 0; c < cs; ++c) {
            Bytes cur(w, 0);
            for (uint32_t x = 0; x < width; ++x) cur[x] = img[size_t(y) * stride + size_t(x) * cs + c];
            coded.push_back(ref_line(cur, above[c], y == 0, ctx[c]));
            above[c] = cur;
        }
    }
    return stream(static_cast<uint8_t>(cs), type == 2 ? 1 : 0, lines, coded);
}

// Every colour type, widths around 3 and 255, 1 to 8 lines, every kind of
// content, with and without bytes past the pixels: the codec's stream is the
// literal encoder's, its size is header + row table + the row entries, and
// it decodes back to the image (line tails zero).
TEST(Rhv2Reference, CodecMatchesTheLiteralEncoderAndDecodesBack) {
    const Content contents[] = {Content::kSmooth, Content::kRepetitive, Content::kNoisy, Content::kZero,
                                Content::kMixed};
    uint32_t seed = 1;
    for (uint32_t type = 0; type < 3; ++type) {
        for (uint32_t width : {1u, 2u, 3u, 4u, 7u, 64u, 255u, 256u, 600u}) {
            for (uint32_t lines : {1u, 2u, 5u, 8u}) {
                for (Content content : contents) {
                    SCOPED_TRACE("type " + std::to_string(type) + " width " + std::to_string(width) + " lines " +
                                 std::to_string(lines) + " content " + std::to_string(static_cast<int>(content)));
                    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
                    const uint32_t stride = width * cs + (seed % 2) * 5;
                    Bytes img = make_image(content, width, lines, cs, stride, seed++);
                    uint32_t rc = 1;
                    Bytes got = encode(type, width, lines, stride, img, &rc);
                    ASSERT_EQ(rc, 0u);
                    ASSERT_EQ(got, ref_stream(type, width, lines, stride, img));
                    uint64_t sum = 8 + ovcg::Rhv2GetRATSize(type, lines);
                    for (uint32_t i = 0; i < lines * cs; ++i) sum += ovcg::load_u32be(&got[8 + 4 * i]);
                    EXPECT_EQ(got.size(), sum);
                    EXPECT_LE(got.size(), ovcg::Rhv2GetRhv2BufSize(0, type, width, lines, stride));
                    ASSERT_EQ(decode(type, width, lines, stride, got, &rc), img);
                    ASSERT_EQ(rc, 0u);
                }
            }
        }
    }
}

// Runs around the 255 boundary, second values near the threshold of 8, and
// lines that repeat the line above in part.
TEST(Rhv2Reference, StructuredLines) {
    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        const uint32_t width = 3 + rng() % 700, lines = 1 + rng() % 8;
        Bytes img(size_t(width) * lines);
        const uint8_t palette[4] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                    static_cast<uint8_t>(rng() % 16), static_cast<uint8_t>(rng() % 16)};
        for (uint32_t y = 0; y < lines; ++y) {
            uint32_t x = 0;
            while (x < width) {
                uint32_t len = rng() % 4 == 0 ? 250 + rng() % 12 : 1 + rng() % 6;
                const int mode = static_cast<int>(rng() % 4);
                for (uint32_t k = 0; k < len && x < width; ++k, ++x) {
                    uint8_t v = mode == 0 && y > 0 ? img[size_t(y - 1) * width + x]
                              : mode == 1          ? palette[rng() % 4]
                              : mode == 2          ? static_cast<uint8_t>(x * 3)
                                                   : palette[(x / 2) % 2];
                    img[size_t(y) * width + x] = v;
                }
            }
        }
        uint32_t rc = 1;
        Bytes got = encode(0, width, lines, width, img, &rc);
        ASSERT_EQ(rc, 0u);
        ASSERT_EQ(got, ref_stream(0, width, lines, width, img)) << "round " << round;
        Bytes back = decode(0, width, lines, width, got, &rc);
        ASSERT_EQ(rc, 0u);
        ASSERT_EQ(back, img) << "round " << round;
    }
}

}  // namespace
}  // namespace ovcg_test
