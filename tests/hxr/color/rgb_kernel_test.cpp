// The plain RGB LUT kernels: byte for byte against the literal reference
// model over every ink count, walk, scale and input layout; goldens derived
// by hand; invariants that hold whatever the tables; and the kernels behind
// the converter.
#include "rgb_kernel_fixture.h"

#include "hxr/color/hxr_color_cvt.h"
#include "hxr/color/hxr_color_rgb_kernels.h"
#include "support/synthetic_lut.h"

#include <array>
#include <sstream>
#include <string>

namespace {

using namespace color_test;
using ovcg_test::LutGrid;
using ovcg_test::LutSpec;
using ovcg_test::RefStats;
using ovcg_test::RgbReference;
using ovcg_test::RgbWalk;
using ovcg_test::SyntheticLut;

// ---------------------------------------------------------------- matrix

class RgbKernelVsReference : public RgbKernelTest {};

// Every ink count x walk and scale x sample size x attribute stride x
// odd/even start and count x reduction method x one or two tables, on
// photo-like bands; flat, non-flat and smoothed blocks must all occur.
TEST_F(RgbKernelVsReference, EveryInkCountWalkAndLayout) {
    struct WalkScale {
        RgbWalk walk;
        int32_t scale;
    };
    const WalkScale walks[] = {{RgbWalk::Normal, 1}, {RgbWalk::Normal, 2}, {RgbWalk::Normal, 4},
                               {RgbWalk::Normal, 8}, {RgbWalk::Expand, 2}, {RgbWalk::Expand, 4},
                               {RgbWalk::Expand, 8}, {RgbWalk::Reduce, kHxrScaleHalf}};
    RefStats total[3];
    uint32_t seed = 1;
    for (int inks : {1, 4, 5, 6, 7, 8, 9, 10, 12}) {
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 1});
        // LUT1 on other node levels: its pre-table must never be read.
        std::vector<uint32_t> levels(64);
        for (uint32_t k = 0; k < 64; ++k) levels[k] = k * 255 / 63;
        const SyntheticLut lut1(
            LutSpec{.inks = uint32_t(inks), .salt = 2, .levels = levels, .gamma0 = 160, .gamma255 = 80});
        for (const WalkScale& w : walks) {
            const bool reduce = w.walk == RgbWalk::Reduce;
            for (uint32_t depth : {1u, 2u})
                for (uint32_t attrStride : {0u, 1u, 3u})
                    for (int parity = 0; parity < (reduce ? 1 : 4); ++parity)
                        for (uint32_t method : {0u, 1u}) {
                            if (method && !reduce) continue;
                            for (bool two : {false, true}) {
                                KernelCase k{.inks = inks, .walk = w.walk, .scale = w.scale, .depth = depth};
                                k.pixelOffset = std::array<uint32_t, 3>{3, 1, 4}[seed % 3];
                                k.attrStride = attrStride;
                                k.start = 2 * int32_t(seed % 5) + (parity & 1);
                                k.count = (reduce ? 2 : 1) * (10 + int32_t(seed % 23)) + ((parity >> 1) & 1);
                                k.method = method;
                                k.intents = seed % 7 != 0;
                                k.seed = seed++ * 0x9E3779B9u;
                                const HXRLutData* luts[2] = {lut0.get(), two ? lut1.get() : lut0.get()};
                                const RefStats s = expect_match(k, luts);
                                RefStats& t = total[int(w.walk)];
                                t.flat += s.flat, t.nonFlat += s.nonFlat, t.smoothed += s.smoothed;
                                if (HasFailure()) return;
                            }
                        }
        }
    }
    for (int w = 0; w < 3; ++w) {
        SCOPED_TRACE(w);
        EXPECT_GT(total[w].flat, 100u);
        if (w == int(RgbWalk::Expand)) {
            EXPECT_EQ(total[w].nonFlat, 0u);  // every pair is a flat block
        } else {
            EXPECT_GT(total[w].nonFlat, 100u);
        }
        if (w != int(RgbWalk::Reduce)) {
            EXPECT_GT(total[w].smoothed, 100u);
        }
    }
}

// Decoded amounts above 65535 (double gamma 255 below 100) put the mean of
// reduction method 1 beyond the encode table; it stays on the table's last
// interval (the poisoned index block after the table would show otherwise).
TEST_F(RgbKernelVsReference, ReductionMeanOfHeavyGamma) {
    for (int inks : {1, 5, 12}) {
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 3, .gamma0 = 100, .gamma255 = 50});
        const SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 4, .gamma0 = 300, .gamma255 = 50});
        const HXRLutData* luts[2] = {lut0.get(), lut1.get()};
        for (uint32_t seed = 1; seed < 20; ++seed) {
            const KernelCase k{.inks = inks, .walk = RgbWalk::Reduce, .scale = kHxrScaleHalf, .attrStride = 1,
                               .start = 2, .count = 60, .method = 1, .seed = seed};
            expect_match(k, luts);
        }
    }
    uint32_t top = 0;
    const SyntheticLut heavy(LutSpec{.inks = 1, .gamma0 = 100, .gamma255 = 50});
    for (uint32_t d : heavy.get()->decode) top = std::max(top, d);
    EXPECT_GT(top, 65535u) << "the tables must reach past the encoder's range";
}

// A band that starts far into its planes: start x stride x sample size and
// start x attribute stride are pointer-width products.
TEST_F(RgbKernelVsReference, FarStartOffsets) {
    const SyntheticLut lut(LutSpec{.inks = 4, .salt = 5});
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    SparseSpace space(kFarOffset + 2 * 4096);
    ASSERT_NE(space.base(), nullptr);
    // Pixel 3 of stride 0x7FFFFFFF (one sample per plane, depth 1) lies at
    // kFarOffset; with a wrapped product the kernel would read kWrappedOffset.
    uint8_t* far = space.at(kFarOffset);
    far[0] = 255;
    *space.at(kWrappedOffset) = 0;
    for (bool attr : {false, true}) {
        const uint8_t* planes[6] = {space.base(), space.base(), space.base(), space.base(), space.base(), space.base()};
        static const uint8_t kZero = 0;
        const uint8_t* attrs[2] = {attr ? space.base() : &kZero, attr ? space.base() : &kZero};
        HXRIntermediateData* d = buffer(4, 8);
        HXRColorConvert3D4CNormal(luts, nullptr, d, 0, 0x7FFFFFFF, 1, 1, planes, attrs, attr ? 0x7FFFFFFFu : 0u, 3, 4);
        // Every channel at level 255 (node 63 whatever the offset), attribute
        // 255 (LUT0) when the attribute plane is far as well.
        const uint32_t g[3] = {63, 63, 63};
        EXPECT_EQ(HXRGetInkQuantityBuf(d, 0, 0)[3], lut.code_at(g, 0));
        EXPECT_EQ(HXRGetIntentBuf(d, 1)[4], attr ? 255 : 0);
        EXPECT_EQ(planes[5], space.base() + kFarOffset + 2 * size_t{0x7FFFFFFF});
        EXPECT_EQ(attrs[1], attr ? space.base() + kFarOffset + 2 * size_t{0x7FFFFFFF} : &kZero);
    }
}

// ---------------------------------------------------------------- goldens

// Four inks on a grid whose codes are the node coordinates (ink k = g[k mod
// 3] + 64 (k div 3)), node levels 0, 4, 8, ..., 248, 255: pre[v] = 64 v for
// v <= 248, so level v lies a quarter node per unit along; pre[252] = 62 x
// 256 + 147. Line 0's seed is 0xE82F2E4F: block 0 takes offset 232 (flat:
// nodes at 116 and 244; rho, beta, gamma 0); x then 0x81720A76, block 1 takes
// 232 XOR 128 = 104 (52 and 180; rho 2, beta 1, gamma 1); x 0x7D5150B1, block
// 2 offset 124 (62 and 190; beta 1, gamma 1).
class RgbKernelGolden : public RgbKernelTest {
protected:
    void SetUp() override {
        RgbKernelTest::SetUp();
        std::vector<uint32_t> levels;
        for (uint32_t k = 0; k < 63; ++k) levels.push_back(4 * k);
        levels.push_back(255);
        lut0_ = std::make_unique<SyntheticLut>(LutSpec{.inks = 4, .grid = LutGrid::Coordinates, .levels = levels});
        lut1_ = std::make_unique<SyntheticLut>(
            LutSpec{.inks = 4, .grid = LutGrid::Coordinates, .invert = true, .levels = levels});
        luts_[0] = lut0_->get();
        luts_[1] = lut1_->get();
    }
    // Runs the kernel of `k` on `line0` (and `line1`, default line 0 again)
    // with line 0's seed.
    HXRIntermediateData* convert(KernelCase k, const std::vector<RgbPixelIn>& line0,
                                 const std::vector<RgbPixelIn>& line1 = {}) {
        HXRRandNum* random = HXRCreateRandNum(mm);
        k.seed = HXRGetRandNum(random, 0);
        EXPECT_EQ(k.seed, 0xE82F2E4Fu);
        RgbBand band(int32_t(line0.size()), k.walk == RgbWalk::Expand ? 1 : 2, k.depth, k.pixelOffset, k.attrStride);
        for (size_t x = 0; x < line0.size(); ++x) {
            band.set(0, int32_t(x), line0[x]);
            if (band.lines() == 2) band.set(1, int32_t(x), line1.empty() ? line0[x] : line1[x]);
        }
        HXRIntermediateData* d = descriptor(k);
        const uint8_t* planes[6];
        const uint8_t* attrs[2];
        std::copy(band.planes, band.planes + 6, planes);
        std::copy(band.attrs, band.attrs + 2, attrs);
        plain_kernel(k.inks, k.walk)(luts_, nullptr, d, k.seed, k.pixelOffset, k.depth, k.scale, planes, attrs,
                                     k.attrStride, k.start, k.end());
        return d;
    }
    std::unique_ptr<SyntheticLut> lut0_, lut1_;
    const HXRLutData* luts_[2] = {};
};

// Non-flat blocks show their offset r: level 252 reaches node 63 when
// r >= 109 - ... precisely when 147 + r >= 256, i.e. r >= 109: 232 -> 63,
// 104 -> 62, 124 -> 63. A band starting at column 2 or 3 begins with 104; at
// 3 with count 3 the last block is a lone column of pixel 5 that also fills
// column 6, and its fresh offset comes from x after one step (0x81: 128).
TEST_F(RgbKernelGolden, OffsetsPerBlock) {
    std::vector<RgbPixelIn> line(6);
    for (size_t x = 0; x < line.size(); ++x) line[x] = {252, uint8_t(x % 2 ? 100 : 0), 0, 0};  // G 0/100: never flat
    struct Case {
        int32_t start, count;
        std::vector<uint8_t> ink0, ink1;  // columns start .. end (one past the span)
    };
    const Case cases[] = {
        {0, 6, {63, 63, 62, 62, 63, 63, 0xA5}, {0, 25, 0, 25, 0, 25, 0xA5}},
        {2, 4, {62, 62, 63, 63, 0xA5}, {0, 25, 0, 25, 0xA5}},
        {3, 3, {62, 62, 63, 63}, {25, 0, 25, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        const HXRIntermediateData* d = convert({.start = c.start, .count = c.count}, line);
        const int32_t to = c.start + int32_t(c.ink0.size());
        for (uint32_t l = 0; l < 2; ++l) {
            EXPECT_EQ(row(d, 0, l, c.start, to), c.ink0);
            EXPECT_EQ(row(d, 1, l, c.start, to), c.ink1);
            std::vector<uint8_t> ink3 = c.ink0;
            for (uint8_t& v : ink3) v = v == 0xA5 ? v : uint8_t(v + 64);
            EXPECT_EQ(row(d, 3, l, c.start, to), ink3);
            if (c.start > 0) {
                EXPECT_EQ(row(d, 0, l, c.start - 1, c.start), std::vector<uint8_t>{0xA5});
            }
        }
        uint32_t first, n;
        HXRGetWrittenArea(d, &first, &n);
        EXPECT_EQ(first, uint32_t(c.start));
        EXPECT_EQ(n, uint32_t(c.count));
    }
}

// Uniform level 102 (a half node past node 25): block 0 averages nodes 25 and
// 26 with beta 0 -> 25; block 1 (52: 25, 180: 26, beta 1) -> 26, smoothed
// with 25 and gamma 1 -> 26; block 2 likewise 26. Ink 3 is 64 more.
TEST_F(RgbKernelGolden, UniformFlatBlocks) {
    const std::vector<RgbPixelIn> line(6, {102, 102, 102, 0});
    const HXRIntermediateData* d = convert({.count = 6}, line);
    for (uint32_t l = 0; l < 2; ++l) {
        EXPECT_EQ(row(d, 0, l, 0, 7), (std::vector<uint8_t>{25, 25, 26, 26, 26, 26, 0xA5}));
        EXPECT_EQ(row(d, 3, l, 0, 6), (std::vector<uint8_t>{89, 89, 90, 90, 90, 90}));
    }
}

// The flat test on one block (offset 232) around level 100 = node 25, one
// channel changed at a time: flat blocks average to 25 in every cell, non-flat
// ones look each pixel up at 232 (75 -> 19, 74 -> 19, 84 -> 21, 110 -> 28,
// 126 -> 32). BL against BR is not tested.
TEST_F(RgbKernelGolden, FlatTest) {
    struct Case {
        const char* what;
        uint8_t tl, tr, bl, br;  // the changed channel
        std::array<uint8_t, 4> cells;  // TL, TR, BL, BR cells of that ink
    };
    const Case cases[] = {
        {"25 on every tested pair", 100, 125, 100, 75, {25, 25, 25, 25}},
        {"TR - TL 26", 100, 126, 100, 75, {25, 32, 25, 19}},
        {"TL - BR 26", 100, 100, 100, 74, {25, 25, 25, 19}},
        {"TR - BL 26", 100, 110, 84, 100, {25, 28, 21, 25}},
        {"BL - BR 26 alone", 100, 100, 113, 87, {25, 25, 25, 25}},
    };
    for (const Case& c : cases) {
        for (int ch = 0; ch < 3; ++ch) {
            SCOPED_TRACE(testing::Message() << c.what << " channel " << ch);
            std::vector<RgbPixelIn> top(2, {100, 100, 100, 0}), bottom = top;
            uint8_t* t[2] = {&top[0].r + ch, &top[1].r + ch};
            uint8_t* b[2] = {&bottom[0].r + ch, &bottom[1].r + ch};
            *t[0] = c.tl, *t[1] = c.tr, *b[0] = c.bl, *b[1] = c.br;
            const HXRIntermediateData* d = convert({.count = 2}, top, bottom);
            for (int k = 0; k < 3; ++k) {
                const std::array<uint8_t, 4> want = k == ch ? c.cells : std::array<uint8_t, 4>{25, 25, 25, 25};
                EXPECT_EQ(row(d, k, 0, 0, 2), (std::vector<uint8_t>{want[0], want[1]})) << k;
                EXPECT_EQ(row(d, k, 1, 0, 2), (std::vector<uint8_t>{want[2], want[3]})) << k;
            }
        }
    }
    // Mixed LUT choices are never flat: BR through LUT1 (codes 255 - node).
    std::vector<RgbPixelIn> top(2, {100, 100, 100, 0}), bottom = top;
    bottom[1].attr = 1;
    const HXRIntermediateData* d = convert({.attrStride = 1, .count = 2}, top, bottom);
    EXPECT_EQ(row(d, 0, 1, 0, 2), (std::vector<uint8_t>{25, 230}));
    EXPECT_EQ(HXRGetIntentBuf(d, 1)[1], 1);
}

// Two uniform blocks, the second one level d away in one channel: smoothed
// (with gamma 1) within 8, 8, 20 of the first block's TL on the same LUT.
// Block 0 gives 25; block 1 at offsets 52/180 with beta 1 gives 27 (108), 27
// (109), 23 (92), 23 (91), 30 (120), 30 (121), 20 (80); smoothed with 25:
// 26, 24, 28, 23. On LUT1 block 1 gives 255 - 25 and is not smoothed.
TEST_F(RgbKernelGolden, Smoothing) {
    struct Case {
        int channel, delta;
        uint8_t attr, ink;
    };
    const Case cases[] = {{0, 8, 0, 26}, {0, 9, 0, 27}, {1, -8, 0, 24}, {1, -9, 0, 23}, {2, 20, 0, 28},
                          {2, 21, 0, 30}, {2, -20, 0, 23}, {0, 0, 1, 230}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channel << " " << c.delta);
        std::vector<RgbPixelIn> line(4, {100, 100, 100, 0});
        for (size_t x = 2; x < 4; ++x) {
            (&line[x].r)[c.channel] = uint8_t(100 + c.delta);
            line[x].attr = c.attr;
        }
        const HXRIntermediateData* d = convert({.attrStride = 1, .count = 4}, line);
        for (uint32_t l = 0; l < 2; ++l)
            EXPECT_EQ(row(d, c.channel, l, 0, 4), (std::vector<uint8_t>{25, 25, c.ink, c.ink}));
    }
}

// ReduceH: codes 10 (level 40) and 13 (level 52) merge to 11 with method 0
// and to 12 with method 1 (gammas 100/100 decode code c to 256 c; the mean
// 11.5 x 256 re-encodes to 12); G 0 and 100 (codes 0, 25) to 12 and 13; ink 3
// (74, 77) to 75 and 76. Start 10, end 20 writes columns 5 to 9 only.
TEST_F(RgbKernelGolden, Reduction) {
    std::vector<RgbPixelIn> line(20, {40, 0, 0, 0});
    for (size_t x = 1; x < line.size(); x += 2) line[x] = {52, 100, 0, 0};
    for (uint32_t method : {0u, 1u}) {
        SCOPED_TRACE(method);
        const HXRIntermediateData* d = convert(
            {.walk = RgbWalk::Reduce, .scale = kHxrScaleHalf, .start = 10, .count = 10, .method = method}, line);
        const uint8_t m0 = method ? 12 : 11, m1 = method ? 13 : 12, m3 = method ? 76 : 75;
        for (uint32_t l = 0; l < 2; ++l) {
            EXPECT_EQ(row(d, 0, l, 4, 11), (std::vector<uint8_t>{0xA5, m0, m0, m0, m0, m0, 0xA5}));
            EXPECT_EQ(row(d, 1, l, 5, 10), std::vector<uint8_t>(5, m1));
            EXPECT_EQ(row(d, 3, l, 5, 10), std::vector<uint8_t>(5, m3));
        }
        uint32_t first, n;
        HXRGetWrittenArea(d, &first, &n);
        EXPECT_EQ(first, 5u);
        EXPECT_EQ(n, 5u);
    }
}

// ---------------------------------------------------------------- invariants

// Whatever the content, for every ink count, walk and scale: a constant grid
// gives constant rows; 16-bit samples equal their high bytes as 8-bit ones;
// without an attribute plane every pixel uses LUT0 and the intent rows get 0;
// level 255 reaches node 63 at every offset.
TEST_F(RgbKernelVsReference, Invariants) {
    const std::pair<RgbWalk, int32_t> walks[] = {
        {RgbWalk::Normal, 1}, {RgbWalk::Normal, 4}, {RgbWalk::Expand, 2}, {RgbWalk::Reduce, kHxrScaleHalf}};
    uint32_t seed = 77;
    for (int inks : {1, 4, 7, 9, 12}) {
        const SyntheticLut constant(LutSpec{.inks = uint32_t(inks), .grid = LutGrid::Constant, .constant = 40});
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 6});
        const SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 7});
        const SyntheticLut coords(LutSpec{.inks = uint32_t(inks), .grid = LutGrid::Coordinates});
        for (const auto& [walk, scale] : walks) {
            for (uint32_t method : {0u, 1u}) {
                SCOPED_TRACE(testing::Message() << inks << " walk " << int(walk) << " method " << method);
                KernelCase k{.inks = inks, .walk = walk, .scale = scale, .attrStride = 1, .start = 4, .count = 40};
                k.method = method;
                k.seed = seed++ * 2654435761u;
                const HXRColorKernel kernel = plain_kernel(inks, walk);
                const RgbBand band = band_for(k);
                const int32_t from = walk == RgbWalk::Reduce ? k.start / 2 : k.start * scale;

                const HXRLutData* same[2] = {constant.get(), constant.get()};
                const Outcome flat = run(kernel, k, band, same);
                for (int ink = 0; ink < inks; ++ink)
                    EXPECT_EQ(row(flat.d, ink, 0, from, k.columns()),
                              std::vector<uint8_t>(size_t(k.columns() - from), uint8_t(40 + 7 * ink)));

                const HXRLutData* two[2] = {lut0.get(), lut1.get()};
                KernelCase wide = k;
                wide.depth = 2;
                EXPECT_TRUE(run(kernel, wide, band_for(wide), two).same_rows(run(kernel, k, band, two))) << "16-bit";

                KernelCase plain = k;
                plain.attrStride = 0;
                const RgbBand noAttr = band_for(plain);
                const HXRLutData* first[2] = {lut0.get(), lut0.get()};
                const Outcome one = run(kernel, plain, noAttr, two);
                EXPECT_TRUE(one == run(kernel, plain, noAttr, first)) << "attribute stride 0 reads LUT0";
                for (uint32_t l = 0; l < 2; ++l)
                    for (int32_t x = from; x < k.columns(); ++x) EXPECT_EQ(HXRGetIntentBuf(one.d, l)[x], 0) << x;

                RgbBand white(k.end(), walk == RgbWalk::Expand ? 1 : 2, 1, 3, 1);
                for (int l = 0; l < white.lines(); ++l)
                    for (int32_t x = 0; x < k.end(); ++x) white.set(l, x, {255, 255, uint8_t(x * 37), uint8_t(x % 3)});
                const HXRLutData* cc[2] = {coords.get(), coords.get()};
                const Outcome top = run(kernel, k, white, cc);
                for (int ink = 0; ink < inks; ++ink) {
                    if (ink % 3 == 2) continue;  // B varies
                    EXPECT_EQ(row(top.d, ink, 0, from, k.columns()),
                              std::vector<uint8_t>(size_t(k.columns() - from), uint8_t(63 + 64 * (ink / 3))));
                }
            }
        }
    }
}

// The kernels behind the converter: the table rows for every ink count at
// scales 1, 2 (two lines: Normal; one line: ExpandH2NxV2) and 0x20001 write
// what the reference writes for the band's seed; the same line number gives
// the same bytes, line numbers 6 and 7 share their seed.
TEST_F(RgbKernelVsReference, BehindTheConverter) {
    HXRValueSettings v{};
    v.wprint.outputMode = kHxrWPrintOff;
    for (uint32_t inks : kCounts) {
        const SyntheticLut lut0(LutSpec{.inks = inks, .salt = 8});
        const SyntheticLut lut1(LutSpec{.inks = inks, .salt = 9});
        const HXRColorCvtLutSet set{{lut0.get(), lut1.get()}, {}, {}, nullptr, 0};
        for (int32_t scale : {1, 2, kHxrScaleHalf}) {
            for (int32_t lines : {1, 2}) {
                SCOPED_TRACE(testing::Message() << inks << " scale " << scale << " lines " << lines);
                const _HXR_IMAGE_INFO im = image(3, 48, 3, 1, 1);
                HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &v, scale, clr(inks), mm);
                ASSERT_NE(cvt, nullptr);
                ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
                KernelCase k{.inks = int(inks), .scale = scale, .attrStride = 1, .start = 6, .count = 40};
                k.sameLines = lines == 1;
                k.walk = scale == kHxrScaleHalf ? RgbWalk::Reduce : lines == 1 && scale == 2 ? RgbWalk::Expand
                                                                                            : RgbWalk::Normal;
                RgbBand band(48, lines, 1, 3, 1);
                fill_photo(band, inks * 100 + uint32_t(scale));
                HXRRandNum* random = HXRCreateRandNum(mm);
                k.seed = HXRGetRandNum(random, 3);
                const Outcome want = run(nullptr, k, band, set.lut3D);
                Snapshot got[3];
                for (int32_t i = 0; i < 3; ++i) {
                    HXRIntermediateData* d = descriptor(k);
                    HXRSetVExpansion(d, 0);
                    ASSERT_EQ(HXRColorConvert3D(cvt, d, random, band.planes, band.attrs, k.count, k.start, lines,
                                                i == 2 ? 8 : 6 + i),
                              0u);
                    got[i] = snap(d);
                }
                EXPECT_EQ(got[0].block, want.snap.block);
                EXPECT_EQ(got[0].record.writtenStart, want.d->writtenStart);
                EXPECT_EQ(got[0].record.writtenEnd, want.d->writtenEnd);
                EXPECT_EQ(got[1].block, got[0].block) << "line 7 shares line 6's seed";
                EXPECT_NE(got[2].block, got[0].block) << "line 8 has a seed of its own";
            }
        }
    }
}

}  // namespace
