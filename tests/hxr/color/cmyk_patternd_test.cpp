// The CMYK PatternD kernels: every entry of the four 4D PatternD tables byte
// for byte against the literal reference model over ink count, walk and
// scale, input layout, span parity, one or two tables, clear position and
// pattern upper values, on bands with exact repeats; goldens derived by hand
// for the hold; the kernels against their counterparts without PatternD and
// against each other; and the PatternD tables behind the converter.
#include "cmyk_kernel_fixture.h"

#include <random>

namespace {

using namespace color_test;

// Pattern upper values of channels 0 and 2: off, light codes only, most
// codes, every non-zero code (the last three).
constexpr uint32_t kUppers[] = {0, 1, 40, 100, 160, 255, 256, 0xFFFFFFFF};

// A table of an ink count with pattern upper values of its own: a copy of
// the LUT object (the grid is shared), the other channels' values anything.
HXRLutData with_uppers(const HXRLutData* lut, uint32_t upper0, uint32_t upper2, uint32_t others = 0x5A5A5A5A) {
    HXRLutData copy = *lut;
    for (uint32_t& u : copy.patternUpper) u = others;
    copy.patternUpper[0] = upper0;
    copy.patternUpper[2] = upper2;
    return copy;
}

class CmykPatternDTest : public CmykKernelTest {
protected:
    // Bands with exact repeats (the hold's repeat blocks), blank runs and
    // the CMYK attribute bytes.
    CmykBand patches(const Case& c) {
        CmykBand band(c.end(), c.lines(), c.depth, c.pixelOffset, c.attrStride);
        fill_patches(band, c.seed, kCmykContent);
        return band;
    }
};

// ---------------------------------------------------------------- matrix

// Every PatternD table entry (family x ink count x walk and scale), eight
// cases each from a running number: sample size, pixel and attribute
// strides, odd/even start and count, reduction method, intent rows, clear
// position, one or two tables and the pattern upper values of both. Flat,
// non-flat, smoothed, user and cleared cells, computed and repeated holds
// must all occur.
TEST_F(CmykPatternDTest, EveryTableEntryAgainstTheReference) {
    CmykStats total[4];
    uint32_t n = 1;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        for (int f = 0; f < 4; ++f) {
            const Family family = kPdFamilies[f];
            for (const WalkScale& w : kWalks) {
                if (features_of(family).user && w.walk == CmykWalk::Expand) continue;  // their Normal kernel
                if (kernel_of(family, inks, w.walk) == HXRColorConvertDummy) continue;
                const bool reduce = w.walk == CmykWalk::Reduce;
                for (int i = 0; i < 8; ++i, ++n) {
                    Case c{.family = family, .inks = inks, .walk = w.walk, .scale = w.scale};
                    c.depth = 1 + (n & 1);
                    c.pixelOffset = std::array<uint32_t, 3>{4, 1, 5}[n % 3];
                    c.attrStride = std::array<uint32_t, 4>{1, 0, 3, 1}[i % 4];
                    c.start = 2 * int32_t(n % 5) + (reduce ? 0 : i & 1);
                    c.count = (reduce ? 2 : 1) * (12 + int32_t(n % 29)) + (reduce ? 0 : (i >> 1) & 1);
                    c.method = reduce ? uint32_t(i & 1) : 0;
                    c.intents = n % 7 != 0;
                    c.clear = std::array<int32_t, 4>{-1, 0, 2, int32_t(n % 13) % inks}[n % 4];
                    c.seed = n * 0x9E3779B9u;
                    std::mt19937 rng(n);
                    const HXRLutData lut0 = with_uppers(tables.luts[0], kUppers[rng() % 8], kUppers[rng() % 8]);
                    const HXRLutData lut1 = with_uppers(tables.luts[i & 1], kUppers[rng() % 8], kUppers[rng() % 8]);
                    const HXRLutData* luts[2] = {&lut0, &lut1};
                    const CmykStats s = expect_match(c, patches(c), luts, tables.user.data());
                    CmykStats& t = total[f];
                    t.flat += s.flat, t.nonFlat += s.nonFlat, t.smoothed += s.smoothed;
                    t.userPixels += s.userPixels, t.cleared += s.cleared;
                    t.holdComputed += s.holdComputed, t.holdRepeated += s.holdRepeated;
                    if (HasFailure()) return;
                }
            }
        }
    }
    for (int f = 0; f < 4; ++f) {
        SCOPED_TRACE(f);
        const CmykStats& t = total[f];
        EXPECT_GT(t.flat, 2000u);
        EXPECT_GT(t.nonFlat, 1000u);
        EXPECT_GT(t.smoothed, 1000u);
        EXPECT_GT(t.holdComputed, 500u);
        EXPECT_GT(t.holdRepeated, 500u);
        EXPECT_EQ(t.userPixels > 300, features_of(kPdFamilies[f]).user);
        EXPECT_EQ(t.cleared > 100, features_of(kPdFamilies[f]).underWhite);
    }
}

// ---------------------------------------------------------------- goldens

// Four inks on node levels 0, 192, 193, 195, ..., 251, 255: levels below
// 192 lie between nodes 0 and 1 at pre[v] = 256 - floor(256 (192 - v) /
// 192), so level 47 sits 63/256 of a node above node 0, level 45 60/256 and
// level 36 48/256. Ink k of a node is 40 + 20 g_k (255 from g_k = 11 on).
// A level with fraction f reads node 1 at offset t when f + t >= 256, so the
// hold's four reads at h + 0, 64, 128, 192 hold node 1 once (ink 0 held at
// (3 x 40 + 60) / 4 = 45) when h >= 64 - f, else never (40): level 47 while
// h >= 1, 45 while h >= 4, 36 only at h = 16. The hold offsets of a call
// run 16, 4, 1, 0, 0. Unit levels (v, 0, 0, 0) give ink 2 the level 40,
// also held at 40; a separator unit (255, 0, 255, 0) is 255 in inks 0 and 2,
// above the upper values (100), and turns the hold off.
class CmykPatternDGolden : public CmykPatternDTest {
public:
    struct Unit {
        uint8_t v0, v1, v2;
        uint8_t attr;
    };

protected:
    CmykPatternDGolden() {
        std::vector<uint32_t> levels = {0, 192};
        for (uint32_t g = 2; g < 31; ++g) levels.push_back(193 + 2 * (g - 2));
        levels.push_back(255);
        table_ = std::make_unique<SyntheticLut>(LutSpec{.inks = 4, .dimension = 4, .levels = levels});
        grid_.resize(size_t{1} << 20);
        for (uint32_t n = 0; n < grid_.size(); ++n) {
            const auto ink = [&](uint32_t k) { return std::min<uint32_t>(255, 40 + 20 * ((n >> (15 - 5 * k)) & 31)); };
            grid_[n] = ink(0) | ink(1) << 16 | ink(2) << 8 | ink(3) << 24;
        }
        lut_ = with_uppers(table_->get(), 100, 100);
        lut_.grid = grid_.data();
    }
    // Runs `family` in `walk` (Normal at scale 1, ExpandH2NxV2 at scale 2,
    // ReduceH) over one uniform unit per entry (two pixels, one for
    // ExpandH2NxV2), LUT1 the same table as LUT0; the reference must agree.
    // Returns ink 0 and ink 2 of each unit (from its first column, which
    // every column of the unit on both rows must equal).
    std::array<std::vector<int>, 2> run_units(Family family, CmykWalk walk, const std::vector<Unit>& units,
                                              int32_t clear = -1) {
        const int32_t per = walk == CmykWalk::Expand ? 1 : 2;
        Case c{.family = family, .walk = walk, .scale = walk == CmykWalk::Expand ? 2 : walk == CmykWalk::Reduce ? kHxrScaleHalf : 1};
        c.count = per * int32_t(units.size());
        c.clear = clear;
        c.seed = 0xE82F2E4F;
        CmykBand band(c.end(), c.lines(), 1, 4, 1);
        for (int l = 0; l < band.lines(); ++l)
            for (int32_t x = 0; x < c.end(); ++x) {
                const Unit& u = units[size_t(x / per)];
                const uint8_t v[4] = {u.v0, u.v1, u.v2, 0};
                band.set(l, x, v, u.attr);
            }
        const HXRLutData* luts[2] = {&lut_, &lut_};
        const Outcome got = run(c, band, luts, user_.data());
        EXPECT_TRUE(got == run(nullptr, c, band, luts, user_.data())) << c.describe();
        const int32_t columns = c.columns() / int32_t(units.size());
        std::array<std::vector<int>, 2> out;
        for (int ink : {0, 2}) {
            for (int l = 0; l < c.lines(); ++l) {
                const uint8_t* r = HXRGetInkQuantityBuf(got.d, ink, uint32_t(l));
                for (int32_t x = 0; x < c.columns(); ++x)
                    EXPECT_EQ(r[x], r[x - x % columns]) << "ink " << ink << " column " << x;
            }
            for (size_t u = 0; u < units.size(); ++u)
                out[ink / 2].push_back(HXRGetInkQuantityBuf(got.d, ink, 0)[int32_t(u) * columns]);
        }
        return out;
    }
    std::unique_ptr<SyntheticLut> table_;
    std::vector<uint32_t> grid_;
    HXRLutData lut_;
    const std::vector<uint32_t> user_ = ovcg_test::synthetic_user_table(4);
};

constexpr CmykPatternDGolden::Unit kSeparator = {255, 0, 255, 0};

// The hold offset falls 16, 4, 1, 0 over a call's recomputes, and a unit
// repeats only on the same levels and LUT choice with the hold on. Rows:
// five light units of channel-0 level v, and what lies between or changes
// between them; the held ink 0 of each. Every walk, every family.
TEST_F(CmykPatternDGolden, HoldOffsetsAndRepeats) {
    struct Row {
        const char* what;
        std::vector<Unit> units;  // the light units are those with v0 < 255
        std::vector<int> ink0;
    };
    const auto spaced = [](uint8_t v) {
        std::vector<Unit> u;
        for (int i = 0; i < 5; ++i) u.insert(u.end(), {{v, 0, 0, 0}, kSeparator});
        return u;
    };
    const Row rows[] = {
        {"level 47, hold off between: recomputed at 16, 4, 1, 0, 0", spaced(47), {45, 45, 45, 40, 40}},
        {"level 45", spaced(45), {45, 45, 40, 40, 40}},
        {"level 36", spaced(36), {45, 40, 40, 40, 40}},
        {"one level throughout: computed once, then repeated",
         std::vector<Unit>(5, {47, 0, 0, 0}), {45, 45, 45, 45, 45}},
        {"channel 1 alternates: never a repeat",
         {{47, 0, 0, 0}, {47, 3, 0, 0}, {47, 0, 0, 0}, {47, 3, 0, 0}, {47, 0, 0, 0}}, {45, 45, 45, 40, 40}},
        {"LUT choice alternates (the same table): never a repeat",
         {{47, 0, 0, 0}, {47, 0, 0, 1}, {47, 0, 0, 0}, {47, 0, 0, 1}, {47, 0, 0, 0}}, {45, 45, 45, 40, 40}},
        {"attribute 2 and 3 are LUT0 as 0 is: repeats",
         {{47, 0, 0, 0}, {47, 0, 0, 2}, {47, 0, 0, 3}, {47, 0, 0, 0x10}, {47, 0, 0, 0}}, {45, 45, 45, 45, 45}},
    };
    for (const Row& r : rows)
        for (Family family : kPdFamilies)
            for (CmykWalk walk : {CmykWalk::Normal, CmykWalk::Expand, CmykWalk::Reduce}) {
                if (kernel_of(family, 4, walk) == HXRColorConvertDummy) continue;
                if (features_of(family).user && walk == CmykWalk::Expand) continue;
                SCOPED_TRACE(testing::Message() << r.what << ", family " << int(family) << " walk " << int(walk));
                const auto out = run_units(family, walk, r.units, features_of(family).underWhite ? 1 : -1);
                std::vector<int> light;
                for (size_t u = 0; u < r.units.size(); ++u)
                    if (r.units[u].v0 != 255) {
                        light.push_back(out[0][u]);
                        EXPECT_EQ(out[1][u], 40) << u;  // ink 2: level 40 at every offset, held 40
                    } else {
                        EXPECT_EQ(out[0][u], 255);
                    }
                EXPECT_EQ(light, r.ink0);
            }
}

// Under-white on the clear ink 0 comes after the hold and changes only what
// is written. A blank unit (all levels 0: ink 0 reads 40 at every offset,
// light) with attribute 0 is cleared yet computes the held level at h = 16,
// so a level-36 unit after a separator computes at h = 4 (40, not 45). A
// blank unit with attribute 0x10 after it repeats (writes the held 40), so
// the hold offset stays: level 45 then computes at h = 4 (45) and level 47
// at h = 1 (45).
TEST_F(CmykPatternDGolden, UnderWhiteAfterTheHold) {
    const Unit blank = {0, 0, 0, 0}, exempt = {0, 0, 0, 0x10};
    struct Row {
        std::vector<Unit> units;
        std::vector<int> ink0;
    };
    const Row rows[] = {
        {{blank, kSeparator, {36, 0, 0, 0}}, {0, 255, 40}},
        {{blank, exempt, kSeparator, {45, 0, 0, 0}, kSeparator, {47, 0, 0, 0}}, {0, 40, 255, 45, 255, 45}},
    };
    for (const Row& r : rows)
        for (Family family : {Family::UnderWhitePd, Family::UserUnderWhitePd})
            for (CmykWalk walk : {CmykWalk::Normal, CmykWalk::Expand}) {
                if (features_of(family).user && walk == CmykWalk::Expand) continue;
                SCOPED_TRACE(testing::Message() << "family " << int(family) << " walk " << int(walk));
                EXPECT_EQ(run_units(family, walk, r.units, 0)[0], r.ink0);
            }
}

// User colours: a user pixel's entry is written as it is, light or not;
// the block holding it ends the run, so the next flat block recomputes
// (the hold offset falls one step: level 47 is still held at 45 with h = 4,
// then 45 with h = 1, then 40 with h = 0).
TEST_F(CmykPatternDGolden, UserPixelsAreNeverHeld) {
    // Entry 0 of the synthetic user table: 91, 150, 209, 12.
    const std::vector<Unit> units = {{47, 0, 0, 0}, {47, 0, 0, 4}, {47, 0, 0, 0}, {47, 0, 0, 4},
                                     {47, 0, 0, 0}, {47, 0, 0, 4}, {47, 0, 0, 0}};
    for (Family family : {Family::UserPd, Family::UserUnderWhitePd}) {
        const auto out = run_units(family, CmykWalk::Normal, units, family == Family::UserPd ? -1 : 2);
        EXPECT_EQ(out[0], (std::vector<int>{45, 91, 45, 91, 45, 91, 40}));
        EXPECT_EQ(out[1], (std::vector<int>{40, 209, 40, 209, 40, 209, 40}));
    }
}

// ---------------------------------------------------------------- invariants

// For every ink count and walk, on bands with exact repeats:
//  - with upper values 0 in channels 0 and 2 (the others anything) every
//    PatternD kernel writes what its counterpart without PatternD writes;
//  - with upper values set, a PatternD kernel differs from its counterpart
//    only in inks 0 and 2;
//  - the PatternD families meet as their counterparts do: under-white with
//    clear position -1 is the kernel without it, user colour without bit 2
//    is the kernel without it;
//  - ExpandH2NxV2 writes what Normal writes to row 0 when both lines are
//    the same line.
TEST_F(CmykPatternDTest, Invariants) {
    uint32_t seed = 7;
    size_t held = 0;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        const uint32_t* user = tables.user.data();
        for (const WalkScale& w : kWalks) {
            SCOPED_TRACE(testing::Message() << inks << " walk " << int(w.walk) << " scale " << w.scale);
            Case c{.inks = inks, .walk = w.walk, .scale = w.scale, .start = 2, .count = 40};
            c.seed = seed++ * 2654435761u;
            const CmykBand band = patches(c);
            const auto with = [&](Family f, const HXRLutData* const* luts, int32_t clear = -1) {
                Case v = c;
                v.family = f;
                v.clear = clear;
                return run(v, band, luts, user);
            };
            const HXRLutData off0 = with_uppers(tables.luts[0], 0, 0, 0xFFFFFFFF);
            const HXRLutData off1 = with_uppers(tables.luts[1], 0, 0, 0xFFFFFFFF);
            const HXRLutData on0 = with_uppers(tables.luts[0], 160, 255), on1 = with_uppers(tables.luts[1], 255, 100);
            const HXRLutData* off[2] = {&off0, &off1};
            const HXRLutData* on[2] = {&on0, &on1};
            const int32_t clear = int32_t(seed % uint32_t(inks));
            for (Family f : kFamilies) {
                if (kernel_of(f, inks, c.walk) == HXRColorConvertDummy) continue;
                if (features_of(f).user && w.walk == CmykWalk::Expand) continue;
                const int32_t cl = features_of(f).underWhite ? clear : -1;
                EXPECT_TRUE(with(with_pd(f), off, cl) == with(f, off, cl)) << int(f);
                const Outcome pd = with(with_pd(f), on, cl), plain = with(f, on, cl);
                const uint32_t rowLength = pd.d->linePixelSize;
                for (size_t i = 0; i < plain.snap.block.size(); ++i) {
                    if (pd.snap.block[i] == plain.snap.block[i]) continue;
                    const size_t ink = i / rowLength / 2;
                    ASSERT_TRUE(ink == 0 || ink == 2) << "ink " << ink << " family " << int(f);
                    ++held;
                }
            }
            if (w.walk == CmykWalk::Reduce) continue;
            const Outcome pd = with(Family::Pd, on);
            EXPECT_TRUE(with(Family::UnderWhitePd, on, -1) == pd);
            EXPECT_TRUE(with(Family::UnderWhitePd, on, inks) == pd);
            if (w.walk == CmykWalk::Normal) {
                Case noUser = c;
                noUser.family = Family::UserPd;
                CmykBand plainBand = patches(noUser);
                for (int l = 0; l < 2; ++l)
                    for (int32_t x = 0; x < c.end(); ++x) const_cast<uint8_t*>(plainBand.attrs[l])[x] &= ~4;
                const Outcome userPd = run(noUser, plainBand, on, user);
                noUser.family = Family::Pd;
                EXPECT_TRUE(userPd == run(noUser, plainBand, on, user));
                noUser.family = Family::UserUnderWhitePd;
                noUser.clear = clear;
                const Outcome both = run(noUser, plainBand, on, user);
                noUser.family = Family::UnderWhitePd;
                EXPECT_TRUE(both == run(noUser, plainBand, on, user));
                EXPECT_TRUE(with(Family::UserUnderWhitePd, on, -1) == with(Family::UserPd, on));
            }
            if (w.walk != CmykWalk::Expand) continue;
            expect_expand_as_normal(c, band, on, user, Family::Pd, Family::UnderWhitePd, clear);
        }
    }
    EXPECT_GT(held, 1000u) << "the hold must show";
}

// ---------------------------------------------------------------- converter

// A job with a PatternD word in 1..255 runs the PatternD tables: for every
// ink count, the under-white setting, a user table with an attribute plane
// or none, scales 1, 2 and 0x20001, one or two lines; the band is what the
// reference of the chosen family and walk writes for the band's seed.
// Reduction with user colours or under-white goes to a dummy and is
// refused, the descriptor unchanged.
TEST_F(CmykPatternDTest, BehindTheConverter) {
    HXRValueSettings v{};
    v.wprint.outputMode = kHxrWPrintOff;
    v.patternD[0][3] = 12;
    for (int inks : kInks) {
        const TablePair& tables = tables_for(inks);
        const HXRLutData lut0 = with_uppers(tables.luts[0], 200, 120), lut1 = with_uppers(tables.luts[1], 90, 255);
        const HXRLutData* luts[2] = {&lut0, &lut1};
        const HXRColorCvtLutSet set{{}, {&lut0, &lut1}, {}, tables.user.data(), uint32_t(inks)};
        for (uint32_t underWhite : {0u, 1u})
            for (uint32_t attrStride : {0u, 1u})
                for (int32_t scale : {1, 2, kHxrScaleHalf})
                    for (int32_t lines : {1, 2}) {
                        SCOPED_TRACE(testing::Message() << inks << " uw " << underWhite << " attr " << attrStride
                                                        << " scale " << scale << " lines " << lines);
                        v.underWhite = underWhite;
                        const _HXR_IMAGE_INFO im = image(4, 48, 4, 1, attrStride);
                        HXRColorCvt* cvt = HXRCreateColorCvt4D(&im, &v, scale, clr(uint32_t(inks)), mm);
                        ASSERT_NE(cvt, nullptr);
                        ASSERT_EQ(HXRSetColorCvt4DData(cvt, &set), 0u);
                        const bool user = attrStride != 0;
                        Case c{.family = Family(int(Family::Pd) | (user ? 1 : 0) | (underWhite ? 2 : 0)),
                               .inks = inks,
                               .scale = scale};
                        c.attrStride = attrStride;
                        c.start = 6, c.count = 40, c.clear = underWhite ? inks / 2 : -1;
                        c.walk = scale == kHxrScaleHalf       ? CmykWalk::Reduce
                                 : scale == 2 && lines == 1 && !user ? CmykWalk::Expand
                                                                     : CmykWalk::Normal;
                        c.sameLines = lines == 1;
                        HXRRandNum* random = HXRCreateRandNum(mm);
                        c.seed = HXRGetRandNum(random, 3);
                        CmykBand band(48, lines, 1, 4, attrStride);
                        fill_patches(band, uint32_t(inks * 100 + scale), kCmykContent);
                        HXRIntermediateData* d = descriptor(c);
                        HXRSetVExpansion(d, 1 - c.sameLines);
                        const Snapshot before = snap(d);
                        const uint32_t answer =
                            HXRColorConvert4D(cvt, d, random, band.planes, band.attrs, c.count, c.start, lines, 7);
                        if (scale == kHxrScaleHalf && (user || underWhite)) {
                            EXPECT_EQ(answer, 1u);
                            EXPECT_TRUE(snap(d) == before);
                            continue;
                        }
                        ASSERT_EQ(answer, 0u);
                        const Outcome want = run(nullptr, c, band, luts, tables.user.data());
                        EXPECT_EQ(snap(d).block, want.snap.block);
                        EXPECT_EQ(d->writtenEnd, want.d->writtenEnd);
                    }
    }
}

}  // namespace
