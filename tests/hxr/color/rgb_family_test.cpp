// The RGB user-colour and white-print kernels: byte for byte against the
// literal reference models over every ink count, walk, scale, layout and
// parameter profile; goldens derived by hand; the kernels against the plain
// ones where they must agree; and both families behind the converter.
#include "rgb_kernel_fixture.h"

#include "hxr/color/hxr_color_cvt.h"
#include "hxr/color/hxr_color_wprint.h"
#include "support/synthetic_lut.h"

#include <array>
#include <random>

namespace {

using namespace color_test;
using ovcg_test::LutGrid;
using ovcg_test::LutSpec;
using ovcg_test::RefStats;
using ovcg_test::RgbWalk;
using ovcg_test::SyntheticLut;

// A curve set of `curves` curves, curve i entry j from `entry(i, j)`.
template <class Entry>
std::vector<uint8_t> curve_set(uint32_t curves, Entry entry) {
    std::vector<uint8_t> set = {uint8_t(curves), 0x00, 0x01, 2, 12};
    for (uint32_t i = 0; i < curves; ++i)
        for (uint32_t j = 0; j < 256; ++j) {
            const uint32_t v = entry(i, j);
            set.push_back(uint8_t(v));
            set.push_back(uint8_t(v >> 8));
        }
    return set;
}

class RgbFamilyTest : public RgbKernelTest {
protected:
    // Random parameters within the setters' limits, set through the setters
    // as a job sets them and completed as the converter completes them (a
    // random W channel, its weight and cap 0), for output mode `mode` and
    // info flags `flags` (bit 2 alone: the stage runs without W info or
    // reduction).
    HXRColorCvtWPrintParam random_block(int inks, int32_t mode, uint32_t flags, std::mt19937& rng) {
        HXRColorCvtWPrintParam p;
        HXRSetHXRColorCvtWPrintParamDefaultValue(&p);
        const HXRColorCvtWPrintOutputInfo out{uint32_t(mode)};
        if (mode >= 0 && mode <= 2) {
            EXPECT_EQ(HXRSetColorCvtWPrintOutputInfo(&p.outputMode, &out), 1u);
        }
        p.outputMode = mode;
        HXRColorCvtWPrintWInfo w{};
        const uint32_t profile = rng() % 3;  // weights small, around 1.0, or up to 8.0
        for (uint32_t k = 0; k < 12; ++k) {
            w.weight[k] = profile == 0 ? rng() % 1024 : profile == 1 ? 3000 + rng() % 2000 : rng() % 32769;
            w.cap[k] = rng() % 4 == 0 ? rng() % 0x20000 : 0xFF000;
        }
        w.upperBound = rng() % 0xFF001;
        w.lowerBound = rng() % (w.upperBound + 1);
        w.factor = rng() % 17;
        EXPECT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), 1u);
        // Curves around 1.0, some entries up to 4.0 (amounts past 65535).
        const std::vector<uint8_t> set =
            curve_set(3, [&](uint32_t, uint32_t) { return rng() % 8 == 0 ? rng() % 16384 : 2048 + rng() % 4096; });
        const uint32_t range = rng() % 4 == 0 ? 0 : uint32_t(rng() % 256);
        const uint32_t third = uint32_t(rng() % (range + 1)), colour = uint32_t(rng() % 3),
                       white = uint32_t(rng() % 3);
        const HXRColorCvtWPrintReductionInfo r{3, {1, 2, 3, 9}, {range, range / 2, third, 9}, colour, white,
                                               set.data()};
        EXPECT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), 1u);
        p.infoFlags = flags;
        p.wChannel = int32_t(rng() % uint32_t(inks));
        p.weight[p.wChannel] = p.cap[p.wChannel] = 0;
        return p;
    }

    // A matrix band: the layout's varying parts (pixel stride, start, count,
    // intent rows, seed) from the running number `n`; `parity` makes the
    // start (bit 0) and the count (bit 1) odd. Counts the reference's blocks.
    void expect_layout(KernelCase k, int parity, uint32_t& n, const HXRLutData* const* luts) {
        k.pixelOffset = std::array<uint32_t, 3>{3, 1, 4}[n % 3];
        k.start = 2 * int32_t(n % 5) + (parity & 1);
        k.count = 10 + int32_t(n % 23) + ((parity >> 1) & 1);
        k.intents = n % 7 != 0;
        k.seed = n++ * 0x9E3779B9u;
        const RefStats s = expect_match(k, luts);
        total.flat += s.flat, total.nonFlat += s.nonFlat, total.smoothed += s.smoothed;
    }
    void expect_all_kinds_of_block() {
        EXPECT_GT(total.flat, 1000u);
        EXPECT_GT(total.nonFlat, 1000u);
        EXPECT_GT(total.smoothed, 1000u);
    }
    RefStats total;
};

// ---------------------------------------------------------------- matrix

// User colour: every ink count x scale x one line given twice or two lines
// x sample size x attribute stride x odd/even start and count x one or two
// tables, photo-like bands whose attribute bytes mark user pixels.
TEST_F(RgbFamilyTest, UserColourAgainstReference) {
    uint32_t n = 11;
    for (int inks : {1, 4, 5, 6, 7, 8, 9, 10, 12}) {
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 21});
        const SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 22, .gamma0 = 160, .gamma255 = 80});
        const std::vector<uint32_t> table = user_table(inks, uint32_t(inks));
        for (int32_t scale : {1, 2, 4, 8})
            for (bool same : {false, true})
                for (uint32_t depth : {1u, 2u})
                    for (uint32_t attrStride : {0u, 1u, 3u})
                        for (int parity = 0; parity < 4; ++parity) {
                            const KernelCase k{.family = RgbFamily::User, .inks = inks, .scale = scale,
                                               .depth = depth, .attrStride = attrStride, .sameLines = same,
                                               .aux = table.data()};
                            const HXRLutData* luts[2] = {lut0.get(), parity & 1 ? lut1.get() : lut0.get()};
                            expect_layout(k, parity, n, luts);
                            if (HasFailure()) return;
                        }
    }
    expect_all_kinds_of_block();
}

// White print: every ink count x Normal at scales 1 to 8 and ExpandH2NxV2 at
// 2 to 8 x sample size x attribute stride x odd/even start and count, each
// band with a parameter profile of its own: output modes 2, 1, 0 and two
// outside 0..2, info flags 0 to 4, random weights, caps, bounds, factor,
// range and curves; LUT1 decodes past 65535. A W channel outside the inks
// and a missing curve must not take the kernel outside its arrays (the
// address sanitizer watches).
TEST_F(RgbFamilyTest, WhitePrintAgainstReference) {
    const std::pair<RgbWalk, int32_t> walks[] = {{RgbWalk::Normal, 1}, {RgbWalk::Normal, 2}, {RgbWalk::Normal, 4},
                                                 {RgbWalk::Normal, 8}, {RgbWalk::Expand, 2}, {RgbWalk::Expand, 4},
                                                 {RgbWalk::Expand, 8}};
    const int32_t modes[] = {2, 1, 0, 3, -1, 2, 0};
    std::mt19937 rng(5);
    uint32_t n = 3;
    for (int inks : {1, 4, 5, 6, 7, 8, 9, 10, 12}) {
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 31});
        const SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 32, .gamma0 = 160, .gamma255 = 80});
        for (const auto& [walk, scale] : walks)
            for (uint32_t depth : {1u, 2u})
                for (uint32_t attrStride : {0u, 1u})
                    for (int parity = 0; parity < 4; ++parity) {
                        HXRColorCvtWPrintParam p = random_block(inks, modes[n % 7], n % 11 == 0 ? 4 : n % 4, rng);
                        // Blocks the converter never passes: no W channel
                        // among the inks, a reduction flag without curves.
                        if (n % 13 == 0) p.wChannel = n % 2 ? -1 : inks + int32_t(n % 3);
                        if (n % 17 == 0) p.wCurve = nullptr;
                        const KernelCase k{.family = RgbFamily::Wprint, .inks = inks, .walk = walk, .scale = scale,
                                           .depth = depth, .attrStride = attrStride, .aux = &p};
                        const HXRLutData* luts[2] = {lut0.get(), parity & 2 ? lut1.get() : lut0.get()};
                        expect_layout(k, parity, n, luts);
                        if (HasFailure()) return;
                    }
    }
    expect_all_kinds_of_block();
}

// ---------------------------------------------------------------- goldens

// Five inks through a constant grid (codes 10, 17, 24, 31, 38 at every node)
// with gammas 100/100 (code c decodes to 256 c; an amount re-encodes to the
// nearest code, halves up); W is ink 4. Weights 1.0 (4096), caps and upper
// bound full (0xFF000 given, 65280 x 4096 stored), lower 0, factor 1: S =
// (2560 + 4352 + 6144 + 7936) x 4096, t = (65280 - 20992) x 4096, W = 44288
// -> code 173. A lower bound given as 200 << 12 (51200 x 4096 stored) is
// above upper - S: W = 51200 -> 200. Weights 0:
// W = 65280 -> 255; factor 0: W = 0. Reduction range 200, colour curve 16 i,
// W curve 32 i: a pixel peaking at 100 takes entry (25500 + 100) / 200 =
// 128: colour x 0.5 -> 1280, 2176, 3072, 3968 -> 5, 9, 12, 16; W x 1.0. Peak
// 201 is not scaled; range 0 scales peak 0 to nothing and leaves peak 1. A
// colour entry of 0xFFFF lifts 2560 to 40959 -> 160 and the others past
// 65535 -> 255. Every band is uniform, so flat and expanded blocks give the
// same codes as single lookups.
TEST_F(RgbFamilyTest, WhitePrintGoldens) {
    const SyntheticLut lut(LutSpec{.inks = 5, .grid = LutGrid::Constant, .constant = 10});
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    const std::vector<uint8_t> curves = curve_set(2, [](uint32_t i, uint32_t j) { return i == 0 ? 16 * j : 32 * j; });
    std::array<uint32_t, 256> lifted{};
    for (uint32_t j = 0; j < 256; ++j) lifted[j] = j == 128 ? 0xFFFF : 16 * j;
    struct Case {
        const char* what;
        int32_t mode;
        uint32_t flags;
        uint8_t level;  // R; G and B are 0
        uint32_t range, weight, lower, factor, colourCurve;
        std::array<int, 5> codes;  // -1: untouched
    };
    const Case cases[] = {
        {"plain codes", 2, 0, 100, 200, 4096, 0, 1, 0, {10, 17, 24, 31, 38}},
        {"colour only", 1, 0, 100, 200, 4096, 0, 1, 0, {10, 17, 24, 31, 0}},
        {"W only", 0, 0, 100, 200, 4096, 0, 1, 0, {0, 0, 0, 0, 38}},
        {"mode 3", 3, 1, 100, 200, 4096, 0, 1, 0, {-1, -1, -1, -1, -1}},
        {"mode -1", -1, 1, 100, 200, 4096, 0, 1, 0, {-1, -1, -1, -1, -1}},
        {"W amount", 2, 1, 100, 200, 4096, 0, 1, 0, {10, 17, 24, 31, 173}},
        {"W amount, W only", 0, 1, 100, 200, 4096, 0, 1, 0, {0, 0, 0, 0, 173}},
        {"lower bound", 2, 1, 100, 200, 4096, 200 << 12, 1, 0, {10, 17, 24, 31, 200}},
        {"weights 0", 2, 1, 100, 200, 0, 0, 1, 0, {10, 17, 24, 31, 255}},
        {"factor 0", 2, 1, 100, 200, 4096, 0, 0, 0, {10, 17, 24, 31, 0}},
        {"reduction entry 128", 2, 3, 100, 200, 4096, 0, 1, 0, {5, 9, 12, 16, 173}},
        {"reduction without W info", 2, 2, 100, 200, 4096, 0, 1, 0, {5, 9, 12, 16, 38}},
        {"peak above the range", 2, 3, 201, 200, 4096, 0, 1, 0, {10, 17, 24, 31, 173}},
        {"range 0, peak 0", 2, 3, 0, 0, 4096, 0, 1, 0, {0, 0, 0, 0, 0}},
        {"range 0, peak 1", 2, 3, 1, 0, 4096, 0, 1, 0, {10, 17, 24, 31, 173}},
        {"curve past 65535", 2, 3, 100, 200, 4096, 0, 1, 1, {160, 255, 255, 255, 173}},
    };
    for (const Case& c : cases) {
        HXRColorCvtWPrintParam p;
        HXRSetHXRColorCvtWPrintParamDefaultValue(&p);
        HXRColorCvtWPrintWInfo w{};
        for (uint32_t k = 0; k < 12; ++k) {
            w.weight[k] = c.weight;
            w.cap[k] = 0xFF000;
        }
        w.upperBound = 0xFF000;
        w.lowerBound = c.lower;
        w.factor = c.factor;
        ASSERT_EQ(HXRSetColorCvtWPrintWInfo(&p, &w), 1u);
        const HXRColorCvtWPrintReductionInfo r{3, {0, 0, 0, 0}, {c.range, 0, 0, 0}, 0, 1, curves.data()};
        ASSERT_EQ(HXRSetColorCvtWPrintReductionInfo(&p, &r, mm), 1u);
        if (c.colourCurve) p.colourCurve = lifted.data();
        p.outputMode = c.mode;
        p.infoFlags = c.flags;
        p.wChannel = 4;
        p.weight[4] = p.cap[4] = 0;
        for (const auto& [walk, scale] : {std::pair{RgbWalk::Normal, 1}, std::pair{RgbWalk::Expand, 2}}) {
            SCOPED_TRACE(testing::Message() << c.what << " walk " << int(walk));
            KernelCase k{.family = RgbFamily::Wprint, .walk = walk, .scale = scale, .attrStride = 1, .count = 5};
            k.inks = 5;
            k.seed = 0x12345678;
            k.aux = &p;
            RgbBand band(k.end(), k.lines(), 1, 3, 1);
            for (int l = 0; l < band.lines(); ++l)
                for (int32_t x = 0; x < k.end(); ++x) band.set(l, x, {c.level, 0, 0, 0x10});
            const Outcome got = run(family_kernel(k.family, 5, walk), k, band, luts);
            for (int ink = 0; ink < 5; ++ink) {
                const uint8_t want = c.codes[ink] < 0 ? 0xA5 : uint8_t(c.codes[ink]);
                EXPECT_EQ(row(got.d, ink, 0, 0, k.columns()), std::vector<uint8_t>(size_t(k.columns()), want)) << ink;
            }
            EXPECT_EQ(HXRGetIntentBuf(got.d, 0)[k.columns() - 1], 0x10) << "intent rows in every mode";
            EXPECT_TRUE(got == run(nullptr, k, band, luts));
        }
    }
}

// User colour on a constant grid (codes 40 + 7 k) with user entry i holding
// (i + 3 k) & 255 for ink k. Six pixels at scale 1: pixels 0 and 1 marked
// (B 7 and 250, attribute 5: bits 0-1 would pick LUT1), the rest plain and
// uniform: block 0 is four single entries, block 1 flat and not smoothed
// (it follows a user block), block 2 smoothed with block 1. At scale 2 the
// marked line-0 pixel fills both columns of row 0.
TEST_F(RgbFamilyTest, UserColourGoldens) {
    const int inks = 6;
    const SyntheticLut lut0(LutSpec{.inks = inks, .grid = LutGrid::Constant, .constant = 40});
    const SyntheticLut lut1(LutSpec{.inks = inks, .grid = LutGrid::Constant, .constant = 90});
    const HXRLutData* luts[2] = {lut0.get(), lut1.get()};
    std::vector<uint32_t> table(256 * 2, 0);
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t k = 0; k < uint32_t(inks); ++k)
            table[i * 2 + k / 4] |= ((i + 3 * k) & 255) << SyntheticLut::kShift[k % 4];
    const auto entry = [](uint32_t i, int k) { return uint8_t((i + 3 * uint32_t(k)) & 255); };

    KernelCase k{.family = RgbFamily::User, .inks = inks, .attrStride = 1, .count = 6};
    k.seed = 0xCAFEF00D;
    k.aux = table.data();
    RgbBand band(6, 2, 1, 3, 1);
    for (int32_t x = 0; x < 6; ++x) {
        band.set(0, x, x < 2 ? RgbPixelIn{uint8_t(x * 90), 33, uint8_t(x ? 250 : 7), 5} : RgbPixelIn{60, 60, 60, 0});
        band.set(1, x, x < 2 ? RgbPixelIn{0, 0, uint8_t(x ? 7 : 250), 4} : RgbPixelIn{61, 60, 59, 0});
    }
    RefStats stats;
    const Outcome want = run(nullptr, k, band, luts, &stats);
    const Outcome got = run(family_kernel(k.family, inks, k.walk), k, band, luts);
    EXPECT_TRUE(got == want);
    EXPECT_EQ(stats.nonFlat, 1u);
    EXPECT_EQ(stats.flat, 2u);
    EXPECT_EQ(stats.smoothed, 1u);
    for (int ink = 0; ink < inks; ++ink) {
        const uint8_t c = uint8_t(40 + 7 * ink);
        EXPECT_EQ(row(got.d, ink, 0, 0, 6), (std::vector<uint8_t>{entry(7, ink), entry(250, ink), c, c, c, c}));
        EXPECT_EQ(row(got.d, ink, 1, 0, 6), (std::vector<uint8_t>{entry(250, ink), entry(7, ink), c, c, c, c}));
    }
    EXPECT_EQ(HXRGetIntentBuf(got.d, 0)[1], 5);

    // Scale 2: pixel 0 alone, a one-column block of its marked line-0 pixel
    // and its line-1 pixel.
    KernelCase two = k;
    two.scale = 2;
    two.count = 1;
    const Outcome wide = run(family_kernel(two.family, inks, two.walk), two, band, luts);
    for (int ink = 0; ink < inks; ++ink) {
        EXPECT_EQ(row(wide.d, ink, 0, 0, 2), (std::vector<uint8_t>{entry(7, ink), entry(7, ink)}));
        EXPECT_EQ(row(wide.d, ink, 1, 0, 2), (std::vector<uint8_t>{entry(250, ink), entry(250, ink)}));
    }
}

// ---------------------------------------------------------------- invariants

// Where the families must give the plain codes, against the plain kernels
// themselves: user colour on bands without bit 2 is plain Normal; white
// print with flags 0 in mode 2 is the plain kernel, in mode 1 the plain
// kernel with the W row's span 0.
TEST_F(RgbFamilyTest, FamiliesAgainstThePlainKernels) {
    uint32_t seed = 101;
    for (int inks : {1, 4, 6, 9, 12}) {
        const SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 41});
        const SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 42});
        const HXRLutData* luts[2] = {lut0.get(), lut1.get()};
        const std::vector<uint32_t> table = user_table(inks, 7);
        for (const auto& [walk, scale] : {std::pair{RgbWalk::Normal, 1}, std::pair{RgbWalk::Normal, 4},
                                          std::pair{RgbWalk::Expand, 2}, std::pair{RgbWalk::Expand, 8}}) {
            SCOPED_TRACE(testing::Message() << inks << " walk " << int(walk) << " scale " << scale);
            KernelCase k{.inks = inks, .walk = walk, .scale = scale, .attrStride = 2, .start = 3, .count = 40};
            k.seed = seed++ * 2654435761u;
            RgbBand band = band_for(k);
            for (int l = 0; l < band.lines(); ++l)
                for (int32_t x = 0; x < k.end(); ++x) const_cast<uint8_t*>(band.attrs[l])[2 * x] &= ~4;
            const Outcome plain = run(plain_kernel(inks, walk), k, band, luts);
            if (walk == RgbWalk::Normal) {
                const KernelCase user{.family = RgbFamily::User, .inks = inks, .scale = scale, .attrStride = 2,
                                      .start = 3, .count = 40, .seed = k.seed, .aux = table.data()};
                EXPECT_TRUE(run(family_kernel(RgbFamily::User, inks, walk), user, band, luts) == plain);
            }
            HXRColorCvtWPrintParam p;
            HXRSetHXRColorCvtWPrintParamDefaultValue(&p);
            p.outputMode = kHxrWPrintBoth;
            p.wChannel = inks - 1;
            KernelCase wp = k;
            wp.family = RgbFamily::Wprint;
            wp.aux = &p;
            EXPECT_TRUE(run(family_kernel(RgbFamily::Wprint, inks, walk), wp, band, luts) == plain);
            p.outputMode = kHxrWPrintColourOnly;
            const Outcome colour = run(family_kernel(RgbFamily::Wprint, inks, walk), wp, band, luts);
            const uint32_t row0 = uint32_t(2 * (inks - 1)) * plain.d->linePixelSize;
            for (size_t i = 0; i < plain.snap.block.size(); ++i) {
                const uint32_t x = uint32_t(i % plain.d->linePixelSize);
                const bool whiteSpan = i >= row0 && i < row0 + uint32_t(k.lines()) * plain.d->linePixelSize &&
                                       x >= uint32_t(k.start * scale) && x < uint32_t(k.columns());
                ASSERT_EQ(colour.snap.block[i], whiteSpan ? 0 : plain.snap.block[i]) << i;
            }
        }
    }
}

// ---------------------------------------------------------------- converter

// Both families behind the converter with the description's tables: a
// user table and an attribute plane run the user kernel (both line cases);
// a white-print block (set through
// the setters, completed by the converter) runs the white-print kernels on
// its copy, W being LUT channel 4 of ink set 34.
TEST_F(RgbFamilyTest, BehindTheConverter) {
    for (int32_t lines : {1, 2}) {
        SCOPED_TRACE(lines);
        const SyntheticLut lut0(LutSpec{.inks = 5, .salt = 51});
        const SyntheticLut lut1(LutSpec{.inks = 5, .salt = 52});
        const std::vector<uint32_t> table = user_table(5, 3);
        const HXRColorCvtLutSet set{{lut0.get(), lut1.get()}, {}, {}, table.data(), 5};
        RgbBand withAttr(48, lines, 1, 3, 1), noAttr(48, lines, 1, 3, 0);
        fill_photo(withAttr, 77);
        fill_photo(noAttr, 77);
        HXRRandNum* random = HXRCreateRandNum(mm);
        const uint32_t seed = HXRGetRandNum(random, 5);

        const auto convert = [&](HXRColorCvt* cvt, const KernelCase& k, const RgbBand& band) {
            HXRIntermediateData* d = descriptor(k);
            HXRSetVExpansion(d, 0);
            EXPECT_EQ(HXRColorConvert3D(cvt, d, random, band.planes, band.attrs, k.count, k.start, lines, 10), 0u);
            return snap(d);
        };
        {
            HXRValueSettings v{};
            HXRSetHXRColorCvtWPrintParamDefaultValue(&v.wprint);
            const _HXR_IMAGE_INFO im = image(3, 48, 3, 1, 1);
            HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &v, 2, clr(5), mm);
            ASSERT_NE(cvt, nullptr);
            ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
            const KernelCase k{.family = RgbFamily::User, .inks = 5, .scale = 2, .attrStride = 1, .start = 4,
                               .count = 40, .sameLines = lines == 1, .seed = seed, .aux = table.data()};
            EXPECT_EQ(convert(cvt, k, withAttr).block, run(nullptr, k, withAttr, set.lut3D).snap.block);
        }

        HXRValueSettings v{};
        HXRSetHXRColorCvtWPrintParamDefaultValue(&v.wprint);
        const HXRColorCvtWPrintOutputInfo both{2};
        ASSERT_EQ(HXRSetColorCvtWPrintOutputInfo(&v.wprint.outputMode, &both), 1u);
        HXRColorCvtWPrintWInfo w{};
        for (uint32_t k = 0; k < 12; ++k) {
            w.weight[k] = 4096;
            w.cap[k] = 0xFF000;
        }
        w.upperBound = 0xC0000;
        w.lowerBound = 0x10000;
        w.factor = 1;
        ASSERT_EQ(HXRSetColorCvtWPrintWInfo(&v.wprint, &w), 1u);
        ASSERT_EQ(HXRCheckColorCvtWPrintParam(&v.wprint), 1u);
        const _HXR_IMAGE_INFO im = image(3, 48, 3, 1, 0);
        HXRColorCvt* cvt = HXRCreateColorCvt3D(&im, &v, 2, clr_of_set(34), mm);
        ASSERT_NE(cvt, nullptr);
        ASSERT_EQ(cvt->wprintParam.wChannel, 4);
        ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
        KernelCase k{.family = RgbFamily::Wprint, .inks = 5, .scale = 2, .start = 4, .count = 40, .seed = seed};
        k.walk = lines == 1 ? RgbWalk::Expand : RgbWalk::Normal;
        k.sameLines = lines == 1;
        k.aux = &cvt->wprintParam;
        const Snapshot got = convert(cvt, k, noAttr);
        const Outcome want = run(nullptr, k, noAttr, set.lut3D);
        EXPECT_EQ(got.block, want.snap.block);
        // The white row carries computed amounts, not the table's codes.
        KernelCase plainCase = k;
        plainCase.family = RgbFamily::Plain;
        EXPECT_NE(run(nullptr, plainCase, noAttr, set.lut3D).snap.block, got.block);
    }
}

}  // namespace
