// The RGB PatternD kernels (every walk, and the user-colour form): byte for
// byte against the literal reference models over every ink count, walk,
// scale, layout and pattern upper values; goldens derived by hand for the
// hold; the kernels against their plain and user-colour counterparts; and
// both forms behind the converter.
#include "rgb_kernel_fixture.h"

#include "hxr/color/hxr_color_cvt.h"
#include "hxr/color/hxr_color_rgb_kernels.h"
#include "hxr/color/hxr_color_wprint.h"
#include "support/synthetic_lut.h"

#include <algorithm>
#include <array>
#include <random>

namespace {

using namespace color_test;
using ovcg_test::LutGrid;
using ovcg_test::LutSpec;
using ovcg_test::RefStats;
using ovcg_test::RgbWalk;
using ovcg_test::SyntheticLut;

constexpr int kPdInks[] = {4, 5, 6, 7, 8, 9, 10, 12};

// Pattern upper values of channels 0 and 2: off, light codes only, most
// codes, every non-zero code (the last three).
constexpr uint32_t kUppers[] = {0, 1, 40, 100, 160, 255, 256, 0xFFFFFFFF};

// Node levels 0, 4, ..., 248, 255: pre[v] = 64 v up to 248.
std::vector<uint32_t> quarter_levels() {
    std::vector<uint32_t> levels(64);
    for (uint32_t k = 0; k < 63; ++k) levels[k] = 4 * k;
    levels[63] = 255;
    return levels;
}

void set_upper(SyntheticLut& lut, uint32_t upper0, uint32_t upper2) {
    lut.get()->patternUpper[0] = upper0;
    lut.get()->patternUpper[2] = upper2;
}

// The units of a golden band: one pixel per unit for ExpandH2NxV2 at scale
// 2, two for Normal at scale 1 and ReduceH; each unit uniform on both lines.
struct Form {
    RgbFamily family;
    RgbWalk walk;
    int32_t scale;
};
constexpr Form kForms[] = {{RgbFamily::Pd, RgbWalk::Normal, 1},
                           {RgbFamily::Pd, RgbWalk::Expand, 2},
                           {RgbFamily::Pd, RgbWalk::Reduce, kHxrScaleHalf},
                           {RgbFamily::UserPd, RgbWalk::Normal, 1}};

struct Unit {
    uint8_t r, g, b;
};

class RgbPatternDTest : public RgbKernelTest {
protected:
    // The pattern upper values of both tables for case `n`: channels 0 and 2
    // from kUppers, the other channels anything (never read).
    void draw_uppers(SyntheticLut& lut0, SyntheticLut& lut1, uint32_t n) {
        std::mt19937 rng(n);
        for (SyntheticLut* lut : {&lut0, &lut1}) {
            for (uint32_t& u : lut->get()->patternUpper) u = rng();
            set_upper(*lut, kUppers[rng() % 8], kUppers[rng() % 8]);
        }
    }
    // A matrix case: the layout's varying parts (pixel stride, start, count,
    // reduction method, intent rows, seed) and the pattern upper values from
    // the running number `n`; `parity` makes the start (bit 0) and the count
    // (bit 1) odd, or ReduceH use method 1 (bit 0). Kernel against reference;
    // the reference's counts add up.
    void expect_case(KernelCase k, int parity, uint32_t& n, SyntheticLut& lut0, SyntheticLut& lut1, bool two) {
        const bool reduce = k.walk == RgbWalk::Reduce;
        k.pixelOffset = std::array<uint32_t, 3>{3, 1, 4}[n % 3];
        k.start = 2 * int32_t(n % 5) + (reduce ? 0 : parity & 1);
        k.count = (reduce ? 2 : 1) * (12 + int32_t(n % 29)) + (reduce ? 0 : (parity >> 1) & 1);
        k.method = reduce ? uint32_t(parity & 1) : 0;
        k.intents = n % 7 != 0;
        k.seed = n * 0x9E3779B9u;
        k.patches = true;
        draw_uppers(lut0, lut1, n++);
        const HXRLutData* luts[2] = {lut0.get(), two ? lut1.get() : lut0.get()};
        const RefStats s = expect_match(k, luts);
        total.flat += s.flat, total.nonFlat += s.nonFlat, total.smoothed += s.smoothed;
        total.holdComputed += s.holdComputed, total.holdRepeated += s.holdRepeated;
    }
    void expect_every_kind_of_hold() {
        EXPECT_GT(total.flat, 1000u);
        EXPECT_GT(total.nonFlat, 1000u);
        EXPECT_GT(total.holdComputed, 1000u);
        EXPECT_GT(total.holdRepeated, 1000u);
    }
    // Runs `form` over one unit per entry of `units` (attribute byte 0) with
    // four inks; returns the codes of ink 0 and ink 2, one per unit, read from
    // the unit's first column of both rows (every column of a unit must agree).
    std::array<std::vector<int>, 2> run_units(const Form& form, const std::vector<Unit>& units,
                                              const HXRLutData* const* luts, uint32_t seed, const void* aux) {
        const int32_t per = form.walk == RgbWalk::Expand ? 1 : 2;
        KernelCase k{.family = form.family, .inks = 4, .walk = form.walk, .scale = form.scale, .attrStride = 1,
                     .count = per * int32_t(units.size()), .seed = seed, .aux = aux};
        RgbBand band(k.end(), k.lines(), 1, 3, 1);
        for (int l = 0; l < band.lines(); ++l)
            for (int32_t x = 0; x < k.end(); ++x) {
                const Unit& u = units[size_t(x / per)];
                band.set(l, x, {u.r, u.g, u.b, 0});
            }
        const Outcome got = run(family_kernel(form.family, 4, form.walk), k, band, luts);
        EXPECT_TRUE(got == run(nullptr, k, band, luts)) << k.describe();
        const int32_t columns = k.columns() / int32_t(units.size());
        std::array<std::vector<int>, 2> out;
        for (int ink : {0, 2}) {
            for (int l = 0; l < k.lines(); ++l) {
                const uint8_t* r = HXRGetInkQuantityBuf(got.d, ink, uint32_t(l));
                for (int32_t x = 0; x < k.columns(); ++x)
                    EXPECT_EQ(r[x], r[x - x % columns]) << "ink " << ink << " column " << x;
            }
            for (size_t u = 0; u < units.size(); ++u)
                out[ink / 2].push_back(HXRGetInkQuantityBuf(got.d, ink, 0)[int32_t(u) * columns]);
        }
        return out;
    }
    RefStats total;
};

// ---------------------------------------------------------------- matrix

// Every ink count x walk and scale x sample size x attribute stride x
// odd/even start and count x reduction method x one or two tables, on
// bands with exact repeats, each case with pattern upper values of its own.
TEST_F(RgbPatternDTest, EveryWalkAgainstReference) {
    const std::pair<RgbWalk, int32_t> walks[] = {{RgbWalk::Normal, 1}, {RgbWalk::Normal, 2}, {RgbWalk::Normal, 4},
                                                 {RgbWalk::Normal, 8}, {RgbWalk::Expand, 2}, {RgbWalk::Expand, 4},
                                                 {RgbWalk::Expand, 8}, {RgbWalk::Reduce, kHxrScaleHalf}};
    uint32_t n = 1;
    for (int inks : kPdInks) {
        SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 61});
        std::vector<uint32_t> levels(64);
        for (uint32_t k = 0; k < 64; ++k) levels[k] = k * 255 / 63;
        SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 62, .levels = levels, .gamma0 = 160, .gamma255 = 80});
        for (const auto& [walk, scale] : walks)
            for (uint32_t depth : {1u, 2u})
                for (uint32_t attrStride : {0u, 1u, 3u})
                    for (int parity = 0; parity < 4; ++parity) {
                        const KernelCase k{.family = RgbFamily::Pd, .inks = inks, .walk = walk, .scale = scale,
                                           .depth = depth, .attrStride = attrStride};
                        expect_case(k, parity, n, lut0, lut1, parity & 2);
                        if (HasFailure()) return;
                    }
    }
    expect_every_kind_of_hold();
}

// The user-colour form: every ink count x scale x one line given twice or
// two lines x sample size x attribute stride x odd/even start and count.
TEST_F(RgbPatternDTest, UserColourAgainstReference) {
    uint32_t n = 7;
    for (int inks : kPdInks) {
        SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 71});
        SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 72});
        const std::vector<uint32_t> table = user_table(inks, uint32_t(inks) + 40);
        for (int32_t scale : {1, 2, 4, 8})
            for (bool same : {false, true})
                for (uint32_t depth : {1u, 2u})
                    for (uint32_t attrStride : {1u, 3u})
                        for (int parity = 0; parity < 4; ++parity) {
                            const KernelCase k{.family = RgbFamily::UserPd, .inks = inks, .scale = scale,
                                               .depth = depth, .attrStride = attrStride, .sameLines = same,
                                               .aux = table.data()};
                            expect_case(k, parity, n, lut0, lut1, parity & 1);
                            if (HasFailure()) return;
                        }
    }
    expect_every_kind_of_hold();
}

// ---------------------------------------------------------------- goldens

// Four inks on a grid whose codes are the node coordinates (ink 0 = gR,
// ink 2 = gB), node levels 0, 4, ..., 248, 255 (pre[v] = 64 v), pattern
// upper values 10 (ink 0) and 0 (ink 2). R 11: pre 704 = 2 x 256 + 192, so
// the nodes at offsets 96 and 224 both have gR = 3 (704 + 96 >= 768): held
// ink 0 = 3; at 48 and 176: gR 2 and 3, held 2. R 7: pre 448 = 256 + 192:
// at 48 and 176 gR 1 and 2, held 1. The block loop itself gives ink 0 of R
// 11 as 2 or 3 and of R 7 as 1 to 3 (random offsets, smoothing): always
// light. R 200: pre 12800, gR 50 at every offset: not light. B 200 gives ink
// 2 = 50 always (upper 0: never held). Every unit is uniform.
TEST_F(RgbPatternDTest, HoldGoldens) {
    SyntheticLut lut(LutSpec{.inks = 4, .grid = LutGrid::Coordinates, .levels = quarter_levels()});
    set_upper(lut, 10, 0);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    const std::vector<uint32_t> table = user_table(4, 9);
    struct Case {
        const char* what;
        std::vector<Unit> units;
        std::vector<int> ink0;
    };
    const Unit a{11, 100, 200}, b{7, 100, 200}, dark{200, 100, 200};
    const Case cases[] = {
        // The first light block computes at 96/224, the repeats keep it; a
        // new colour computes again at 48/176 and keeps that.
        {"two areas", {a, a, a, a, b, b, b, b}, {3, 3, 3, 3, 1, 1, 1, 1}},
        // A block with no light ink turns the hold off: the same colour
        // after it computes again, at 48/176.
        {"hold off between", {a, a, dark, a, a}, {3, 3, 50, 2, 2}},
        // Three computations: 96, 48, 24 (R 11 at 24/152: gR 2 and 3 -> 2).
        {"back and forth", {a, b, a, a}, {3, 1, 2, 2}},
    };
    for (const Form& form : kForms)
        for (const Case& c : cases)
            for (uint32_t seed : {0u, 0x80000000u, 0x12345678u, 0xFFFFFFFFu}) {
                SCOPED_TRACE(testing::Message() << c.what << " family " << int(form.family) << " walk "
                                                << int(form.walk) << " seed " << seed);
                const auto got = run_units(form, c.units, luts, seed, table.data());
                EXPECT_EQ(got[0], c.ink0);
                EXPECT_EQ(got[1], std::vector<int>(c.units.size(), 50));
            }
}

// The hold offset runs 96, 48, 24, 12, 6, 3, 1, 0, 0 over the computations
// of a call, whatever the generator. Node levels 0, 1, ..., 62, 255: above
// 62, pre[v] = 16128 - floor(256 (255 - v) / 193), so the fraction f = pre
// mod 256 takes almost every value, and the node at offset t < 128 has
// coordinate 62 + (f + t >= 256), the one at t + 128 coordinate 63: held =
// 62 + (f + t >= 256). R is picked so that this offset gives 63 and the next
// smaller one 62, B so that it gives 62 and the previous larger one (192
// before the first halving) 63. G tells the units apart, so each computes.
//   t   R (pre, f)        B (pre, f)
//   96  218 (16079, 207)  110 (15936, 64)
//   48  236 (16103, 231)  182 (16032, 160)
//   24  245 (16115, 243)  219 (16081, 209)
//   12  249 (16121, 249)  237 (16105, 233)
//    6  251 (16123, 251)  246 (16117, 245)
//    3  253 (16126, 254)  250 (16122, 250)
//    1  254 (16127, 255)  252 (16125, 253)
//    0  254 -> 62         254 -> 62
TEST_F(RgbPatternDTest, HoldOffsetsRunDown) {
    std::vector<uint32_t> levels(64);
    for (uint32_t k = 0; k < 63; ++k) levels[k] = k;
    levels[63] = 255;
    SyntheticLut lut(LutSpec{.inks = 4, .grid = LutGrid::Coordinates, .levels = levels});
    set_upper(lut, 255, 255);
    ASSERT_EQ(lut.get()->preTable[218], 16079u);
    ASSERT_EQ(lut.get()->preTable[252], 16125u);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    const std::vector<uint32_t> table = user_table(4, 10);
    const std::vector<Unit> units = {{218, 0, 110},  {236, 5, 182},  {245, 10, 219}, {249, 15, 237}, {251, 20, 246},
                                     {253, 25, 250}, {254, 30, 252}, {254, 35, 254}, {254, 40, 254}};
    for (const Form& form : kForms)
        for (uint32_t seed : {1u, 0xDEADBEEFu}) {
            SCOPED_TRACE(testing::Message() << "family " << int(form.family) << " walk " << int(form.walk));
            const auto got = run_units(form, units, luts, seed, table.data());
            EXPECT_EQ(got[0], (std::vector<int>{63, 63, 63, 63, 63, 63, 63, 62, 62}));
            EXPECT_EQ(got[1], (std::vector<int>{62, 62, 62, 62, 62, 62, 62, 62, 62}));
        }
}

// The hold compares a block with the block before, in the user-colour form
// as in the others: a uniform area that follows another with a light ink 0
// computes its own held level (here 1, not the 3 of the area before); a
// user-colour block between breaks the hold, and the user pixels keep their
// entries.
TEST_F(RgbPatternDTest, UserColourHoldFollowsTheInput) {
    SyntheticLut lut(LutSpec{.inks = 4, .grid = LutGrid::Coordinates, .levels = quarter_levels()});
    set_upper(lut, 10, 0);
    const HXRLutData* luts[2] = {lut.get(), lut.get()};
    std::vector<uint32_t> table(256, 0);
    table[200] = 0x44332211;  // inks 0..3: 0x11, 0x33, 0x22, 0x44
    KernelCase k{.family = RgbFamily::UserPd, .attrStride = 1, .count = 12, .seed = 0x2468ACE0, .aux = table.data()};
    RgbBand band(12, 2, 1, 3, 1);
    for (int l = 0; l < 2; ++l)
        for (int32_t x = 0; x < 12; ++x)
            band.set(l, x, x < 4 ? RgbPixelIn{11, 100, 200, 0} : x < 6 ? RgbPixelIn{7, 100, 200, 4}
                                                                       : RgbPixelIn{7, 100, 200, 0});
    const Outcome got = run(family_kernel(k.family, 4, k.walk), k, band, luts);
    EXPECT_TRUE(got == run(nullptr, k, band, luts));
    for (uint32_t l = 0; l < 2; ++l) {
        EXPECT_EQ(row(got.d, 0, l, 0, 12), (std::vector<uint8_t>{3, 3, 3, 3, 0x11, 0x11, 1, 1, 1, 1, 1, 1}));
        EXPECT_EQ(row(got.d, 2, l, 4, 6), (std::vector<uint8_t>{0x22, 0x22}));
    }
    // Without the user block the second area follows the first directly.
    for (int l = 0; l < 2; ++l)
        for (int32_t x = 4; x < 6; ++x) band.set(l, x, {7, 100, 200, 0});
    const Outcome plain = run(family_kernel(k.family, 4, k.walk), k, band, luts);
    EXPECT_EQ(row(plain.d, 0, 0, 0, 12), (std::vector<uint8_t>{3, 3, 3, 3, 1, 1, 1, 1, 1, 1, 1, 1}));
}

// ---------------------------------------------------------------- invariants

// Where the PatternD forms must agree with their counterparts: with every
// pattern upper value 0 they are the plain (user-colour) kernels; with any
// values only inks 0 and 2 may differ; the user-colour form on bands
// without user pixels is the PatternD Normal kernel.
TEST_F(RgbPatternDTest, AgainstTheirCounterparts) {
    const std::pair<RgbWalk, int32_t> walks[] = {{RgbWalk::Normal, 1},
                                                 {RgbWalk::Normal, 4},
                                                 {RgbWalk::Expand, 2},
                                                 {RgbWalk::Expand, 8},
                                                 {RgbWalk::Reduce, kHxrScaleHalf}};
    uint32_t seed = 5;
    for (int inks : kPdInks) {
        SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 81});
        SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 82});
        const HXRLutData* luts[2] = {lut0.get(), lut1.get()};
        const std::vector<uint32_t> table = user_table(inks, 17);
        for (const auto& [walk, scale] : walks)
            for (uint32_t upper : {0u, 0xFFFFFFFFu, 120u}) {
                SCOPED_TRACE(testing::Message() << inks << " walk " << int(walk) << " upper " << upper);
                for (SyntheticLut* l : {&lut0, &lut1}) {
                    for (uint32_t& u : l->get()->patternUpper) u = upper ? 0x5A5A : 0;  // never read
                    set_upper(*l, upper, upper);
                }
                KernelCase k{.inks = inks, .walk = walk, .scale = scale, .attrStride = 2, .start = 4, .count = 48,
                             .patches = true};
                k.seed = seed++ * 2654435761u;
                RgbBand band = band_for(k);
                for (int l = 0; l < band.lines(); ++l)
                    for (int32_t x = 0; x < k.end(); ++x) const_cast<uint8_t*>(band.attrs[l])[2 * x] &= ~4;
                const Outcome plain = run(plain_kernel(inks, walk), k, band, luts);
                const Outcome pd = run(family_kernel(RgbFamily::Pd, inks, walk), k, band, luts);
                const uint32_t size = plain.d->linePixelSize;
                for (size_t i = 0; i < plain.snap.block.size(); ++i) {
                    const size_t ink = i / size / 2;
                    if (upper == 0 || (ink != 0 && ink != 2)) {
                        ASSERT_EQ(pd.snap.block[i], plain.snap.block[i]) << i;
                    }
                }
                EXPECT_EQ(pd.planes, plain.planes);
                EXPECT_EQ(pd.d->writtenEnd, plain.d->writtenEnd);
                if (upper != 0) {
                    EXPECT_NE(pd.snap.block, plain.snap.block) << "the hold must show somewhere";
                }
                if (walk != RgbWalk::Normal) continue;
                KernelCase user = k;
                user.aux = table.data();
                const Outcome userPd = run(family_kernel(RgbFamily::UserPd, inks, walk), user, band, luts);
                EXPECT_TRUE(userPd == pd);
                if (upper == 0) {
                    EXPECT_TRUE(run(family_kernel(RgbFamily::User, inks, walk), user, band, luts) == userPd);
                }
            }
    }
}

// ---------------------------------------------------------------- converter

// A job with a pattern word in 1..255 runs the PatternD kernels, for every
// ink count: Normal for distinct lines and at scale 1, ExpandH2NxV2 at an
// even scale for one line or a line given twice, ReduceH at the 2:1 scale
// for one or two lines, and with a user table and an attribute plane the
// user-colour form (in white-print mode too); a user table without an
// attribute plane leaves the plain PatternD kernels in charge. User colours
// at 2:1 have no kernel: the band is refused and the descriptor untouched.
// (Which slot ran is checked with recording kernels in lut_frame_test.)
struct NamedPd {
    int inks;
    HXRColorKernel expand, normal, reduce, user;
};
#define OVCG_NAMED_PD(n)                                                                                     \
    {n, HXRColorConvert3D##n##CPdExpandH2NxV2, HXRColorConvert3D##n##CPdNormal, HXRColorConvert3D##n##CPdReduceH, \
     HXRColorConvert3D##n##CUserPdNormal}
constexpr NamedPd kNamedPd[] = {OVCG_NAMED_PD(4), OVCG_NAMED_PD(5), OVCG_NAMED_PD(6),  OVCG_NAMED_PD(7),
                                OVCG_NAMED_PD(8), OVCG_NAMED_PD(9), OVCG_NAMED_PD(10), OVCG_NAMED_PD(12)};
#undef OVCG_NAMED_PD

TEST_F(RgbPatternDTest, BehindTheConverter) {
    struct Case {
        const char* what;
        int32_t scale, lines;
        bool sameLines;  // two lines at one address
        uint32_t attrStride;
        bool user, wprint;
        RgbFamily family;  // Plain: refused
        RgbWalk walk;
    };
    const Case cases[] = {
        {"two lines at 2", 2, 2, false, 0, false, false, RgbFamily::Pd, RgbWalk::Normal},
        {"one line at 2", 2, 1, false, 0, false, false, RgbFamily::Pd, RgbWalk::Expand},
        {"one line twice at 8", 8, 2, true, 1, false, false, RgbFamily::Pd, RgbWalk::Expand},
        {"two lines at 4", 4, 2, false, 3, false, false, RgbFamily::Pd, RgbWalk::Normal},
        {"one line at 1", 1, 1, false, 1, false, false, RgbFamily::Pd, RgbWalk::Normal},
        {"two lines at 2:1", kHxrScaleHalf, 2, false, 1, false, false, RgbFamily::Pd, RgbWalk::Reduce},
        {"one line at 2:1", kHxrScaleHalf, 1, false, 0, false, false, RgbFamily::Pd, RgbWalk::Reduce},
        {"user table, no attributes", 1, 2, false, 0, true, false, RgbFamily::Pd, RgbWalk::Normal},
        {"user colours at 1", 1, 2, false, 1, true, false, RgbFamily::UserPd, RgbWalk::Normal},
        {"user colours, one line at 4", 4, 1, false, 1, true, false, RgbFamily::UserPd, RgbWalk::Normal},
        {"user colours in white print", 2, 2, false, 2, true, true, RgbFamily::UserPd, RgbWalk::Normal},
        {"user colours at 2:1", kHxrScaleHalf, 2, false, 1, true, false, RgbFamily::Plain, RgbWalk::Reduce},
    };
    HXRRandNum* random = HXRCreateRandNum(mm);
    const uint32_t seed = HXRGetRandNum(random, 6);
    for (int inks : kPdInks) {
        SyntheticLut lut0(LutSpec{.inks = uint32_t(inks), .salt = 91});
        SyntheticLut lut1(LutSpec{.inks = uint32_t(inks), .salt = 92});
        set_upper(lut0, 128, 64);
        set_upper(lut1, 255, 0);
        const std::vector<uint32_t> table = user_table(inks, 4);
        for (const Case& c : cases) {
            // White print needs an ink set with a W channel: six inks.
            if (c.wprint && inks != 6) continue;
            SCOPED_TRACE(testing::Message() << inks << " inks, " << c.what);
            HXRValueSettings v{};
            HXRSetHXRColorCvtWPrintParamDefaultValue(&v.wprint);
            if (c.wprint) v.wprint.outputMode = kHxrWPrintBoth;
            v.patternD[1][5] = 37;
            const _HXR_IMAGE_INFO im = image(3, 48, 3, 1, c.attrStride);
            HXRColorCvt* cvt =
                HXRCreateColorCvt3D(&im, &v, c.scale, c.wprint ? clr_of_set(35) : clr(uint32_t(inks)), mm);
            ASSERT_NE(cvt, nullptr);
            const HXRColorCvtLutSet set{{lut0.get(), lut1.get()}, {}, {}, c.user ? table.data() : nullptr,
                                        uint32_t(inks)};
            ASSERT_EQ(HXRSetColorCvt3DData(cvt, &set), 0u);
            const bool refused = c.family == RgbFamily::Plain;
            const KernelCase k{.family = c.family, .inks = inks, .walk = c.walk, .scale = c.scale,
                               .attrStride = c.attrStride, .start = 4, .count = 40,
                               .sameLines = c.lines == 1 || c.sameLines, .seed = seed,
                               .aux = c.family == RgbFamily::UserPd ? table.data() : nullptr, .patches = true};
            const RgbBand band = band_for(k);
            HXRIntermediateData* d = descriptor(k);
            HXRSetVExpansion(d, c.lines == 1 || c.sameLines ? 0 : 1);  // the converter must set it
            const Snapshot before = snap(d);
            ASSERT_EQ(HXRColorConvert3D(cvt, d, random, band.planes, band.attrs, k.count, k.start, c.lines, 13),
                      refused ? 1u : 0u);
            if (refused) {
                EXPECT_TRUE(snap(d) == before);
                continue;
            }
            // The slot the band took holds the named kernel: the output alone
            // cannot tell ExpandH2NxV2 from Normal on a line given twice.
            const uint32_t vexp = c.lines == 1 || c.sameLines ? 1 : 0;
            EXPECT_EQ(d->vExpansion, vexp);
            const NamedPd& named = *std::find_if(std::begin(kNamedPd), std::end(kNamedPd),
                                                 [&](const NamedPd& r) { return r.inks == inks; });
            EXPECT_EQ((c.user && c.attrStride ? cvt->userSpecFunc : cvt->colorFunc)[vexp],
                      c.family == RgbFamily::UserPd ? named.user
                      : c.walk == RgbWalk::Expand   ? named.expand
                      : c.walk == RgbWalk::Normal   ? named.normal
                                                    : named.reduce);
            EXPECT_EQ(snap(d).block, run(nullptr, k, band, set.lut3D).snap.block);
        }
    }
}

}  // namespace
