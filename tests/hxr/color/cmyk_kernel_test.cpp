// The CMYK LUT kernels: every entry of the four 4D tables byte for byte
// against the literal reference model over ink count, walk and scale, input
// layout, span parity, one or two tables, user colours and the clear
// position; goldens derived by hand from the kernels' edge cases;
// invariants between the families; and the kernels behind the converter.
#include "cmyk_kernel_fixture.h"

namespace {

using namespace color_test;

// ---------------------------------------------------------------- matrix

// Every table entry (family x ink count x walk and scale) x sample size x
// attribute stride x odd/even start and count x one or two tables, with the
// reduction methods and clear positions -1, 0, N - 1 and between; flat,
// non-flat, smoothed, user and cleared cells must all occur.
TEST_F(CmykKernelTest, EveryTableEntryAgainstTheReference) {
    CmykStats total[4];
    uint32_t seed = 1;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        for (Family family : kFamilies) {
            for (const WalkScale& w : kWalks) {
                // The user families' expansion slot holds their Normal kernel
                // (BehindTheConverter), their reduction slot a dummy.
                if (features_of(family).user && w.walk == CmykWalk::Expand) continue;
                if (kernel_of(family, inks, w.walk) == HXRColorConvertDummy) continue;
                const bool reduce = w.walk == CmykWalk::Reduce;
                for (uint32_t depth : {1u, 2u})
                    for (uint32_t attrStride : {0u, 1u, 3u})
                        for (int parity = 0; parity < (reduce ? 2 : 4); ++parity)
                            for (bool two : {false, true}) {
                                Case c{.family = family, .inks = inks, .walk = w.walk, .scale = w.scale};
                                c.depth = depth;
                                c.pixelOffset = std::array<uint32_t, 3>{4, 1, 5}[seed % 3];
                                c.attrStride = attrStride;
                                c.start = 2 * int32_t(seed % 5) + (reduce ? 0 : parity & 1);
                                c.count = (reduce ? 2 : 1) * (8 + int32_t(seed % 19)) + (reduce ? 0 : parity >> 1);
                                c.method = reduce ? uint32_t(parity) : 0;
                                c.intents = seed % 7 != 0;
                                c.clear = std::array<int32_t, 4>{-1, 0, inks - 1, int32_t(seed % 13) % inks}[seed % 4];
                                c.seed = seed++ * 0x9E3779B9u;
                                const HXRLutData* luts[2] = {tables.luts[0], tables.luts[two]};
                                const CmykStats s = expect_match(c, luts, tables.user.data());
                                CmykStats& t = total[int(family)];
                                t.flat += s.flat, t.nonFlat += s.nonFlat, t.smoothed += s.smoothed;
                                t.userPixels += s.userPixels, t.cleared += s.cleared;
                                if (HasFailure()) return;
                            }
            }
        }
    }
    for (Family f : kFamilies) {
        SCOPED_TRACE(int(f));
        const CmykStats& t = total[int(f)];
        EXPECT_GT(t.flat, 1000u);
        EXPECT_GT(t.nonFlat, 1000u);
        EXPECT_GT(t.smoothed, 1000u);
        EXPECT_EQ(t.userPixels > 1000, features_of(f).user);
        EXPECT_EQ(t.cleared > 300, features_of(f).underWhite);
    }
}

// A band that starts far into its planes: start x stride x sample size and
// start x attribute stride are pointer-width products.
TEST_F(CmykKernelTest, FarStartOffsets) {
    const SyntheticLut lut(LutSpec{.inks = 4, .dimension = 4, .grid = LutGrid::Coordinates});
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    SparseSpace space(kFarOffset + 2 * 4096);
    ASSERT_NE(space.base(), nullptr);
    // Pixel 3 of stride 0x7FFFFFFF (depth 1) lies at kFarOffset: 255 there
    // reads node 31 on every channel; a wrapped product would read 0.
    *space.at(kFarOffset) = 255;
    *space.at(kWrappedOffset) = 0;
    for (bool attr : {false, true}) {
        const uint8_t* planes[8];
        for (const uint8_t*& p : planes) p = space.base();
        static const uint8_t kZero = 0;
        const uint8_t* attrs[2] = {attr ? space.base() : &kZero, attr ? space.base() : &kZero};
        HXRIntermediateData* d = buffer(4, 8);
        kernel_of(Family::Plain, 4, CmykWalk::Normal)(luts, nullptr, d, 0, 0x7FFFFFFF, 1, 1, planes, attrs,
                                                      attr ? 0x7FFFFFFFu : 0u, 3, 4);
        EXPECT_EQ(HXRGetInkQuantityBuf(d, 2, 1)[3], 31);
        EXPECT_EQ(HXRGetIntentBuf(d, 1)[4], attr ? 255 : 0);
        EXPECT_EQ(planes[7], space.base() + kFarOffset + 2 * size_t{0x7FFFFFFF});
        EXPECT_EQ(attrs[1], attr ? space.base() + kFarOffset + 2 * size_t{0x7FFFFFFF} : &kZero);
    }
}

// ---------------------------------------------------------------- goldens

// Four inks on node levels 0, 8, 16, ..., 240, 255, so pre[v] = 32 v for
// v <= 240: a level of 8 k is node k exactly, and every quarter node is 2
// levels. Tables: "coords" ink k = g_k (the node coordinate of channel k),
// "inverted" 255 - g_k, "constant" 200 + 7 k. User entry i, ink k:
// (167 i + 59 k + 91) & 255 (entry 0: 91, 150, 209, 12; entry 200: 211,
// 14, 73, 132). The seed is line 0's, 0xE82F2E4F: the first block (x0)
// takes offset 232, rho 0, beta 0, delta 1, gamma 0; the second (x1,
// 0x81720A76) offset 232 XOR 128 = 104, rho 2, beta 1, delta 3, gamma 1.
class CmykGolden : public CmykKernelTest {
protected:
    struct Px {
        uint8_t v[4];
        uint8_t attr;
    };
    static const HXRLutData* table(const char* name) {
        static std::map<std::string, std::unique_ptr<SyntheticLut>> cache;
        auto& t = cache[name];
        if (!t) {
            std::vector<uint32_t> levels;
            for (uint32_t k = 0; k < 31; ++k) levels.push_back(8 * k);
            levels.push_back(255);
            LutSpec recipe{.inks = 4, .dimension = 4, .grid = LutGrid::Coordinates, .levels = levels};
            if (std::string(name) == "inverted") recipe.invert = true;
            if (std::string(name) == "constant") recipe.grid = LutGrid::Constant, recipe.constant = 200;
            t = std::make_unique<SyntheticLut>(recipe);
        }
        return t->get();
    }
    // Runs the table's kernel of `c` on `line0` (and `line1`, default line
    // 0 again) through LUT0 `t0` and LUT1 `t1`.
    HXRIntermediateData* convert(Case c, const char* t0, const char* t1, const std::vector<Px>& line0,
                                 const std::vector<Px>& line1 = {}, uint8_t low = 0) {
        HXRRandNum* random = HXRCreateRandNum(mm);
        c.seed = HXRGetRandNum(random, 0);
        EXPECT_EQ(c.seed, 0xE82F2E4Fu);
        CmykBand band(int32_t(line0.size()), c.lines(), c.depth, c.pixelOffset, c.attrStride);
        for (int l = 0; l < band.lines(); ++l)
            for (size_t x = 0; x < line0.size(); ++x) {
                const Px& p = l == 1 && !line1.empty() ? line1[x] : line0[x];
                band.set(l, int32_t(x), p.v, p.attr, low);
            }
        const HXRLutData* luts[2] = {table(t0), table(t1)};
        return run(c, band, luts, user_.data()).d;
    }
    // Ink k of rows 0 and 1, columns [from, to).
    std::array<std::vector<uint8_t>, 2> ink(const HXRIntermediateData* d, int k, int32_t from, int32_t to) {
        return {row(d, k, 0, from, to), row(d, k, 1, from, to)};
    }
    const std::vector<uint32_t> user_ = ovcg_test::synthetic_user_table(4);
};

// Levels on nodes read their node whatever the offset; at scale 3 the
// column pairs are (p0 p0), (p0 p1), (p1 p1), (p2 p2), (p2 p3), (p3 p3), so
// each pixel fills three columns, flat or not (neighbours 80 apart are never
// flat nor smoothed). Attribute 2 and 3 read LUT0, 1 LUT1 (inverted), and
// 16-bit samples read their high byte whatever the low one.
TEST_F(CmykGolden, NodeLevelsAndScale3) {
    const std::vector<Px> line = {{{0, 8, 16, 255}, 0}, {{80, 88, 96, 104}, 2}, {{160, 168, 176, 184}, 3},
                                  {{240, 255, 0, 8}, 1}};
    const std::array<std::array<uint8_t, 4>, 4> nodes = {{{0, 1, 2, 31}, {10, 11, 12, 13}, {20, 21, 22, 23},
                                                          {225, 224, 255, 254}}};
    for (uint32_t depth : {1u, 2u}) {
        const HXRIntermediateData* d =
            convert({.scale = 3, .depth = depth, .count = 4}, "coords", "inverted", line, {}, 0xFF);
        for (int k = 0; k < 4; ++k) {
            std::vector<uint8_t> want;
            for (const auto& n : nodes) want.insert(want.end(), 3, n[k]);
            EXPECT_EQ(ink(d, k, 0, 12), (std::array{want, want})) << k;
        }
        EXPECT_EQ(row(d, 0, 0, 12, 13), std::vector<uint8_t>{0xA5});
    }
}

// Two uniform blocks at level 96 (node 12, every ink 12), the second one
// changed by d in one channel, both on LUT0 unless said. Block 1 at offset
// 104 (q 26) with delta 3: 88 is node 11; 87 (position 10 + 224/256) reads
// node 10 at q only: (10 + 3 x 11 + 3) >> 2 = 11; 76 (9 + 128/256) gives
// (9 + 9 + 10 + 10 + 3) >> 2 = 10; 75 (9 + 96/256) (9 x 3 + 10 + 3) >> 2 =
// 10. Smoothing within 8, 8, 20, 8 of block 0's first pixel and on its LUT
// choice takes (12 + v + gamma 1) >> 1: 12 for 11, 11 for 10. On LUT1
// (inverted) block 1 is 255 - 12 and is not smoothed.
TEST_F(CmykGolden, Smoothing) {
    struct Row {
        int channel, delta;
        uint8_t attr, want;
    };
    const Row rows[] = {{0, -8, 0, 12}, {0, -9, 0, 11},  {1, -8, 0, 12},  {1, -9, 0, 11},
                        {2, -20, 0, 11}, {2, -21, 0, 10}, {3, -8, 0, 12}, {3, -9, 0, 11},
                        {0, 0, 1, 243},  {0, -8, 2, 12},  {0, -8, 3, 12}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.channel << " " << r.delta << " attr " << int(r.attr));
        std::vector<Px> line(4, {{96, 96, 96, 96}, 0});
        for (size_t x = 2; x < 4; ++x) {
            line[x].v[r.channel] = uint8_t(96 + r.delta);
            line[x].attr = r.attr;
        }
        const HXRIntermediateData* d = convert({.count = 4}, "coords", "inverted", line);
        const std::vector<uint8_t> want = {12, 12, r.want, r.want};
        EXPECT_EQ(ink(d, r.channel, 0, 4), (std::array{want, want}));
    }
}

// Under-white, clear position 2, LUT0 inverted (blank reads 255, level 200
// reads 230), LUT1 constant (blank reads 214 in ink 2). Each row is a band
// at scale 1 and the cells of ink 2 it must hold, rows 0 and 1.
TEST_F(CmykGolden, UnderWhite) {
    const Px blank = {{0, 0, 0, 0}, 0}, full = {{200, 200, 200, 200}, 0};
    const auto attr = [](Px p, uint8_t a) { return p.attr = a, p; };
    struct Row {
        const char* what;
        Family family;
        std::vector<Px> line0, line1;
        std::vector<uint8_t> ink0, ink1;  // ink 2, rows 0 and 1
        uint8_t low = 0;
    };
    std::vector<Row> rows = {
        {"four blanks on both LUTs: not flat, each cell by its own byte", Family::UnderWhite,
         {blank, attr(blank, 0x11)}, {attr(blank, 0x01), attr(blank, 0x05)}, {0, 214}, {0, 214}},
        // Flat blank blocks: the top-left byte alone exempts all four cells.
        {"flat blank, top left 0x10", Family::UnderWhite, {attr(blank, 0x10), blank}, {blank, blank}, {255, 255},
         {255, 255}},
        {"flat blank, top right 0x10", Family::UnderWhite, {blank, attr(blank, 0x10)}, {blank, blank}, {0, 0}, {0, 0}},
        {"flat blank, bottom left 0x04", Family::UnderWhite, {blank, blank}, {attr(blank, 0x04), blank}, {0, 0},
         {0, 0}},
        // One sample of 3: the mean rounds to 0 with rho 0 (block 0) and to
        // 1 with rho 2 (block 1), which then reads 255 and is smoothed with
        // block 0's value before its clear, 255.
        {"mean rounding to blank", Family::UnderWhite,
         {{{3, 0, 0, 0}, 0}, blank, {{3, 0, 0, 0}, 0}, blank}, {blank, blank, blank, blank}, {0, 0, 255, 255},
         {0, 0, 255, 255}},
        // Blocks 0 and 1 blank and cleared; block 2 (level 8 in channel 0,
        // node 1) is smoothed against block 1's 255, not its 0.
        {"smoothing after cleared blocks", Family::UnderWhite,
         {blank, blank, blank, blank, {{8, 0, 0, 0}, 0}, {{8, 0, 0, 0}, 0}}, {},
         {0, 0, 0, 0, 255, 255}, {0, 0, 0, 0, 255, 255}},
        {"16-bit samples below 0x100 are blank", Family::UnderWhite, {blank, blank}, {}, {0, 0}, {0, 0}, 0xFF},
        // An odd span: the last block is pixel 2 alone, also in column 3.
        {"odd span", Family::UnderWhite, {full, full, blank}, {}, {230, 230, 0, 0}, {230, 230, 0, 0}},
        // User colours: entry 0 holds 209 in ink 2, entry 200 73.
        {"four blank user pixels", Family::UserUnderWhite, {attr(blank, 4), attr(blank, 4)}, {}, {209, 209},
         {209, 209}},
        {"user, plain, exempt and user on LUT1", Family::UserUnderWhite, {attr(blank, 4), blank},
         {attr(blank, 0x10), attr(blank, 0x05)}, {209, 0}, {255, 209}},
        {"a user pixel of level 200 in channel 3 only is not blank", Family::UserUnderWhite,
         {{{0, 0, 0, 200}, 0x04}, {{0, 0, 0, 200}, 0x04}}, {}, {73, 73}, {73, 73}},
    };
    // A blank pixel beside three of level 200: cleared unless bit 2 or 4.
    for (uint8_t a : {0x04, 0x10, 0x14, 0x15, 0x00, 0x01, 0x02, 0x03, 0x08, 0x20}) {
        const bool kept = (a & 0x14) != 0;
        rows.push_back({"blank by attribute", Family::UnderWhite, {attr(blank, a), full}, {full, full},
                        {uint8_t(kept ? ((a & 3) == 1 ? 214 : 255) : 0), 230}, {230, 230}});
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const int32_t count = int32_t(r.line0.size());
        const Case c{.family = r.family, .depth = r.low ? 2u : 1u, .count = count, .clear = 2};
        const HXRIntermediateData* d = convert(c, "inverted", "constant", r.line0, r.line1, r.low);
        EXPECT_EQ(ink(d, 2, 0, int32_t(r.ink0.size())), (std::array{r.ink0, r.ink1}));
    }
}

// The clear of a blank flat block follows its top-left attribute byte
// alone, in all four under-white families, as the flat block takes its LUT
// from it: a flat blank block whose top-left byte is 0x10 keeps the clear ink
// in all four cells even when the other three bytes are 0; one whose
// top-left byte is 0 is cleared in all four cells even when another byte is
// 0x10. Clear position 1 (an ink the PatternD hold never touches); LUT0
// inverted, so a blank block reads 255 there. At scale 2 a block is one
// pixel per line, replicated: line 0's byte decides both lines.
TEST_F(CmykGolden, FlatBlankBlockIsExemptedByItsTopLeftByte) {
    const Px blank = {{0, 0, 0, 0}, 0};
    const auto attr = [](Px p, uint8_t a) { return p.attr = a, p; };
    const std::vector<uint8_t> kept = {255, 255}, cleared = {0, 0};
    struct Row {
        const char* what;
        int32_t scale;
        std::vector<Px> line0, line1;
        bool keep;
    };
    const Row rows[] = {
        {"top left 0x10, the others 0", 1, {attr(blank, 0x10), blank}, {blank, blank}, true},
        {"top left 0x10, the others 0x10", 1, {attr(blank, 0x10), attr(blank, 0x10)},
         {attr(blank, 0x10), attr(blank, 0x10)}, true},
        {"top left 0x12 (LUT0, exempt), the others 0x02", 1, {attr(blank, 0x12), attr(blank, 0x02)},
         {attr(blank, 0x02), attr(blank, 0x02)}, true},
        {"top left 0, top right 0x10", 1, {blank, attr(blank, 0x10)}, {blank, blank}, false},
        {"top left 0, bottom left 0x10", 1, {blank, blank}, {attr(blank, 0x10), blank}, false},
        {"top left 0, bottom right 0x10", 1, {blank, blank}, {blank, attr(blank, 0x10)}, false},
        {"top left 0, the others 0x10", 1, {blank, attr(blank, 0x10)}, {attr(blank, 0x10), attr(blank, 0x10)},
         false},
        {"top left 0x20 (not exempt), the others 0x10", 1, {attr(blank, 0x20), attr(blank, 0x10)},
         {attr(blank, 0x10), attr(blank, 0x10)}, false},
        // Not all samples 0, every mean 0 (rho 0): cleared whole all the same.
        {"means 0, top left 0, top right 0x10", 1, {blank, {{3, 0, 0, 0}, 0x10}}, {blank, blank}, false},
        {"replicated: line 0 0x10, line 1 0", 2, {attr(blank, 0x10)}, {blank}, true},
        {"replicated: line 0 0, line 1 0x10", 2, {blank}, {attr(blank, 0x10)}, false},
    };
    for (Family family :
         {Family::UnderWhite, Family::UserUnderWhite, Family::UnderWhitePd, Family::UserUnderWhitePd})
        for (const Row& r : rows) {
            SCOPED_TRACE(testing::Message() << r.what << ", family " << int(family));
            const int32_t count = int32_t(r.line0.size());
            const Case c{.family = family, .scale = r.scale, .count = count, .clear = 1};
            const HXRIntermediateData* d = convert(c, "inverted", "inverted", r.line0, r.line1);
            const std::vector<uint8_t>& want = r.keep ? kept : cleared;
            EXPECT_EQ(ink(d, 1, 0, 2), (std::array{want, want}));
            // Only the clear ink changes: ink 3 reads the blank node's 255.
            EXPECT_EQ(ink(d, 3, 0, 2), (std::array{kept, kept}));
            // The attribute bytes reach the intent rows as they were.
            EXPECT_EQ(HXRGetIntentBuf(d, 0)[r.scale == 1 ? 1 : 0], r.line0.back().attr);
        }
}

// User colours, no clear: a user pixel (here on LUT1, channels 0-2
// anything) reads entry 200 in every ink; the block with it is not flat, so
// its ordinary pixels read their own node (level 96: 255 - 12).
TEST_F(CmykGolden, UserPixels) {
    const std::vector<Px> line0 = {{{17, 99, 3, 200}, 0x05}, {{96, 96, 96, 96}, 0}};
    const HXRIntermediateData* d = convert({.family = Family::User, .count = 2}, "inverted", "coords", line0);
    const uint8_t entry200[4] = {211, 14, 73, 132};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(ink(d, k, 0, 2), (std::array{std::vector<uint8_t>{entry200[k], 243},
                                               std::vector<uint8_t>{entry200[k], 243}}))
            << k;
    EXPECT_EQ(HXRGetIntentBuf(d, 0)[0], 0x05);
}

// ReduceH at start 10, count 10 writes columns 5 to 9: pixels alternate
// (80, 0, 0, 0) and (104, 200, 0, 0), never flat; codes 10 and 13 (ink 0),
// 0 and 25 (ink 1) merge with method 0 to 11 and 12; with method 1 (gammas
// 100/100: code c decodes to 256 c) the mean 11.5 x 256 and 12.5 x 256
// re-encode to 12 and 13.
TEST_F(CmykGolden, Reduction) {
    std::vector<Px> line(20, {{80, 0, 0, 0}, 0});
    for (size_t x = 1; x < line.size(); x += 2) line[x] = {{104, 200, 0, 0}, 0};
    for (uint32_t method : {0u, 1u}) {
        SCOPED_TRACE(method);
        const HXRIntermediateData* d = convert(
            {.walk = CmykWalk::Reduce, .scale = kHxrScaleHalf, .start = 10, .count = 10, .method = method}, "coords",
            "coords", line);
        const std::vector<uint8_t> ink0(5, method ? 12 : 11), ink1(5, method ? 13 : 12);
        EXPECT_EQ(ink(d, 0, 5, 10), (std::array{ink0, ink0}));
        EXPECT_EQ(ink(d, 1, 5, 10), (std::array{ink1, ink1}));
        EXPECT_EQ(row(d, 0, 0, 4, 5), std::vector<uint8_t>{0xA5});
        uint32_t first, n;
        HXRGetWrittenArea(d, &first, &n);
        EXPECT_EQ(first, 5u);
        EXPECT_EQ(n, 5u);
    }
}

// Under-white expansion at scale 8, clear position 2: blank pixels with 0x04
// and 0x10 keep ink 2 (255), with 0x01 (LUT1, 214) and 0x00 lose it; the
// pixel after them (level 8 in channel 0) is smoothed against the last
// blank block's 255, not its 0.
TEST_F(CmykGolden, UnderWhiteExpansion) {
    const std::vector<Px> line = {{{0, 0, 0, 0}, 0x04}, {{0, 0, 0, 0}, 0x10}, {{0, 0, 0, 0}, 0x01},
                                  {{0, 0, 0, 0}, 0x00}, {{8, 0, 0, 0}, 0x00}};
    const HXRIntermediateData* d = convert(
        {.family = Family::UnderWhite, .walk = CmykWalk::Expand, .scale = 8, .count = 5, .clear = 2}, "inverted",
        "constant", line);
    std::vector<uint8_t> want;
    for (uint8_t v : {255, 255, 0, 0, 255}) want.insert(want.end(), 8, v);
    EXPECT_EQ(row(d, 2, 0, 0, 40), want);
    EXPECT_EQ(HXRGetIntentBuf(d, 0)[17], 0x01);
}

// Spans: an empty one records (first, first), writes nothing and leaves
// the pointers at the start pixel; ReduceH with divisor 0 records nothing
// and moves nothing. With and without PatternD.
TEST_F(CmykKernelTest, EmptySpans) {
    const TablePair& tables = tables_for(4);
    struct Row {
        CmykWalk walk;
        int32_t scale, start;
        int32_t first;  // -1: the area set before stays
    };
    for (Family f : {Family::Plain, Family::Pd})
        for (const Row& r : {Row{CmykWalk::Normal, 2, 3, 6}, Row{CmykWalk::Expand, 4, 1, 4},
                             Row{CmykWalk::Reduce, kHxrScaleHalf, 4, 2}, Row{CmykWalk::Reduce, 1, 4, -1}}) {
            const Case c{.walk = r.walk, .scale = r.scale, .start = r.start, .count = 0};
            CmykBand band(8, c.lines(), 1, 4, 1);
            HXRIntermediateData* d = descriptor(c);
            HXRSetWritingArea(d, 1, 2);
            const Snapshot before = snap(d);
            const uint8_t* planes[8];
            const uint8_t* attrs[2] = {band.attrs[0], band.attrs[1]};
            std::copy(band.planes, band.planes + 8, planes);
            kernel_of(f, 4, c.walk)(tables.luts, nullptr, d, 1, 4, 1, c.scale, planes, attrs, 1, c.start, c.start);
            EXPECT_EQ(snap(d).block, before.block);
            EXPECT_EQ(d->writtenStart, r.first < 0 ? 1 : r.first);
            EXPECT_EQ(d->writtenEnd, r.first < 0 ? 2 : r.first);
            const int32_t moved = r.first < 0 ? 0 : r.start;
            EXPECT_EQ(planes[0], band.planes[0] + 4 * moved);
            EXPECT_EQ(attrs[0], band.attrs[0] + moved);
        }
}

// ---------------------------------------------------------------- invariants

// For every ink count, on photo-like bands:
//  - a constant grid gives constant rows; 16-bit samples equal their high
//    bytes; without an attribute plane every pixel reads LUT0 and the intent
//    rows get 0;
//  - under-white with clear position -1 (or one beyond the inks) is the
//    kernel without it; user colours without bit 2 are the plain kernel;
//  - under-white differs from its kernel without it only in the clear ink,
//    and only by 0s;
//  - ExpandH2NxV2 writes what Normal writes to row 0 when both lines are
//    the same line, at every even scale.
TEST_F(CmykKernelTest, Invariants) {
    uint32_t seed = 5;
    size_t cleared = 0;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        const SyntheticLut constant(LutSpec{.inks = uint32_t(inks), .dimension = 4, .grid = LutGrid::Constant,
                                            .constant = 40});
        const HXRLutData* flatLuts[2] = {constant.get(), constant.get()};
        const HXRLutData* lut0[2] = {tables.luts[0], tables.luts[0]};
        const uint32_t* user = tables.user.data();
        for (const WalkScale& w : kWalks) {
            SCOPED_TRACE(testing::Message() << inks << " walk " << int(w.walk) << " scale " << w.scale);
            Case c{.inks = inks, .walk = w.walk, .scale = w.scale, .start = 2, .count = 40};
            c.seed = seed++ * 2654435761u;
            const CmykBand band = band_for(c);
            const int32_t from = c.walk == CmykWalk::Reduce ? 1 : 2 * c.scale;
            const Outcome flat = run(c, band, flatLuts, user);
            for (int k = 0; k < inks; ++k)
                EXPECT_EQ(row(flat.d, k, 0, from, c.columns()),
                          std::vector<uint8_t>(size_t(c.columns() - from), uint8_t(40 + 7 * k)));

            Case wide = c;
            wide.depth = 2;
            EXPECT_TRUE(run(wide, band_for(wide), tables.luts, user).same_rows(run(c, band, tables.luts, user)));

            Case noAttr = c;
            noAttr.attrStride = 0;
            const CmykBand plainBand = band_for(noAttr);
            const Outcome one = run(noAttr, plainBand, tables.luts, user);
            EXPECT_TRUE(one == run(noAttr, plainBand, lut0, user)) << "attribute stride 0 reads LUT0";
            for (uint32_t l = 0; l < uint32_t(c.lines()); ++l)
                for (int32_t x = from; x < c.columns(); ++x) EXPECT_EQ(HXRGetIntentBuf(one.d, l)[x], 0) << x;
            if (w.walk == CmykWalk::Reduce) continue;

            // The families against each other on one band.
            const auto with = [&](Family f, int32_t clear) {
                Case v = c;
                v.family = f;
                v.clear = clear;
                return run(v, band, tables.luts, user);
            };
            const Outcome plain = with(Family::Plain, -1);
            EXPECT_TRUE(with(Family::UnderWhite, -1) == plain);
            EXPECT_TRUE(with(Family::UnderWhite, inks) == plain);
            if (w.walk == CmykWalk::Normal) {
                const Outcome userOut = with(Family::User, -1);
                EXPECT_TRUE(with(Family::UserUnderWhite, -1) == userOut);
                EXPECT_TRUE(run(kernel_of(Family::User, inks, c.walk), noAttr, plainBand, tables.luts, user) ==
                            run(noAttr, plainBand, tables.luts, user));
            }
            const int32_t clear = int32_t(seed % uint32_t(inks));
            const Outcome uw = with(Family::UnderWhite, clear);
            const uint32_t rowLength = uw.d->linePixelSize;
            for (size_t i = 0; i < plain.snap.block.size(); ++i) {
                if (uw.snap.block[i] == plain.snap.block[i]) continue;
                EXPECT_EQ(i / rowLength / 2, size_t(clear)) << i;
                EXPECT_EQ(uw.snap.block[i], 0) << i;
                ++cleared;
            }

            if (w.walk != CmykWalk::Expand) continue;
            expect_expand_as_normal(c, band, tables.luts, user, Family::Plain, Family::UnderWhite, clear);
        }
    }
    EXPECT_GT(cleared, 100u);
}

// ---------------------------------------------------------------- converter

// The converter's choices for every ink count: the under-white setting, a
// user table with an attribute plane, scales 1, 2 and 0x20001, one or two
// lines; the band is what the reference of the chosen family and walk
// writes for the band's seed. Reduction with user colours or under-white
// goes to a dummy and is refused, the descriptor unchanged.
TEST_F(CmykKernelTest, BehindTheConverter) {
    HXRValueSettings v{};
    v.wprint.outputMode = kHxrWPrintOff;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        const HXRColorCvtLutSet set{{}, {tables.luts[0], tables.luts[1]}, {}, tables.user.data(), uint32_t(inks)};
        for (uint32_t underWhite : {0u, 1u})
            for (int32_t scale : {1, 2, kHxrScaleHalf})
                for (int32_t lines : {1, 2}) {
                    SCOPED_TRACE(testing::Message() << inks << " uw " << underWhite << " scale " << scale << " lines "
                                                    << lines);
                    v.underWhite = underWhite;
                    const _HXR_IMAGE_INFO im = image(4, 48, 4, 1, 1);
                    HXRColorCvt* cvt = HXRCreateColorCvt4D(&im, &v, scale, clr(uint32_t(inks)), mm);
                    ASSERT_NE(cvt, nullptr);
                    ASSERT_EQ(HXRSetColorCvt4DData(cvt, &set), 0u);
                    Case c{.family = underWhite ? Family::UserUnderWhite : Family::User, .inks = inks, .scale = scale};
                    c.start = 6, c.count = 40, c.clear = underWhite ? inks / 2 : -1;
                    c.walk = scale == kHxrScaleHalf ? CmykWalk::Reduce : CmykWalk::Normal;
                    c.sameLines = lines == 1;
                    HXRRandNum* random = HXRCreateRandNum(mm);
                    c.seed = HXRGetRandNum(random, 3);
                    CmykBand band(48, lines, 1, 4, 1);
                    fill_photo(band, uint32_t(inks * 100 + scale), kCmykContent);
                    HXRIntermediateData* d = descriptor(c);
                    HXRSetVExpansion(d, 1 - c.sameLines);
                    const Snapshot before = snap(d);
                    const uint32_t answer =
                        HXRColorConvert4D(cvt, d, random, band.planes, band.attrs, c.count, c.start, lines, 7);
                    if (scale == kHxrScaleHalf) {
                        EXPECT_EQ(answer, 1u);
                        EXPECT_TRUE(snap(d) == before);
                        continue;
                    }
                    ASSERT_EQ(answer, 0u);
                    const Outcome want = run(nullptr, c, band, tables.luts, tables.user.data());
                    EXPECT_EQ(snap(d).block, want.snap.block);
                    EXPECT_EQ(d->writtenEnd, want.d->writtenEnd);
                }
        // Without a user table the main kernels run, with an attribute plane
        // or without: Normal for distinct lines and for one line at an odd
        // scale, ExpandH2NxV2 for one line at an even scale, the plain
        // reduction at 0x20001 (under-white has none: refused).
        const HXRColorCvtLutSet plainSet{{}, {tables.luts[0], tables.luts[1]}, {}, nullptr, 0};
        for (uint32_t underWhite : {0u, 1u})
            for (uint32_t attrStride : {0u, 2u})
                for (int32_t scale : {1, 4, kHxrScaleHalf})
                    for (int32_t lines : {1, 2}) {
                        SCOPED_TRACE(testing::Message() << inks << " uw " << underWhite << " attr " << attrStride
                                                        << " scale " << scale << " lines " << lines);
                        v.underWhite = underWhite;
                        const _HXR_IMAGE_INFO im = image(4, 48, 4, 2, attrStride);
                        HXRColorCvt* cvt = HXRCreateColorCvt4D(&im, &v, scale, clr(uint32_t(inks)), mm);
                        ASSERT_NE(cvt, nullptr);
                        ASSERT_EQ(HXRSetColorCvt4DData(cvt, &plainSet), 0u);
                        const bool reduce = scale == kHxrScaleHalf;
                        Case c{.family = underWhite ? Family::UnderWhite : Family::Plain, .inks = inks, .scale = scale};
                        c.walk = reduce ? CmykWalk::Reduce
                                        : lines == 1 && scale % 2 == 0 ? CmykWalk::Expand : CmykWalk::Normal;
                        c.sameLines = lines == 1;
                        c.depth = 2, c.attrStride = attrStride, c.start = 4, c.count = 40;
                        c.clear = underWhite ? inks - 1 : -1;
                        HXRRandNum* random = HXRCreateRandNum(mm);
                        c.seed = HXRGetRandNum(random, 5);
                        CmykBand band(48, lines, c.depth, c.pixelOffset, attrStride);
                        fill_photo(band, uint32_t(inks * 31 + scale + lines), kCmykContent);
                        HXRIntermediateData* d = descriptor(c);
                        HXRSetVExpansion(d, 1 - c.sameLines);
                        const Snapshot before = snap(d);
                        const uint32_t answer =
                            HXRColorConvert4D(cvt, d, random, band.planes, band.attrs, c.count, c.start, lines, 10);
                        if (reduce && underWhite) {
                            EXPECT_EQ(answer, 1u);
                            EXPECT_TRUE(snap(d) == before);
                            continue;
                        }
                        ASSERT_EQ(answer, 0u);
                        const Outcome want = run(nullptr, c, band, tables.luts, nullptr);
                        EXPECT_EQ(snap(d).block, want.snap.block);
                        EXPECT_EQ(d->writtenEnd, want.d->writtenEnd);
                    }
    }
}

}  // namespace
