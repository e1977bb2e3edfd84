// The CMYK kernel tests' fixture: the families and their table entries,
// a case (layout, span, descriptor settings), runs of a table entry or the
// reference on a band, and the two tables and user table of an ink count.
#pragma once

#include "color_test_util.h"
#include "kernel_outcome.h"
#include "lut_band.h"

#include "hxr/color/hxr_color_cvt.h"
#include "support/cmyk_reference.h"
#include "support/synthetic_lut.h"

#include <array>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace color_test {

using ovcg_test::CmykFeatures;
using ovcg_test::CmykReference;
using ovcg_test::CmykStats;
using ovcg_test::CmykWalk;
using ovcg_test::LutGrid;
using ovcg_test::LutSpec;
using ovcg_test::SyntheticLut;
using CmykBand = LutBand<4>;

// A family's value is its features: user colour 1, under-white 2, PatternD 4.
enum class Family { Plain, User, UnderWhite, UserUnderWhite, Pd, UserPd, UnderWhitePd, UserUnderWhitePd };
constexpr Family kFamilies[] = {Family::Plain, Family::User, Family::UnderWhite, Family::UserUnderWhite};
constexpr Family kPdFamilies[] = {Family::Pd, Family::UserPd, Family::UnderWhitePd, Family::UserUnderWhitePd};
constexpr int kInks[] = {4, 5, 6, 7, 8, 9, 10, 12};

// Every walk with the scales it serves (and the odd scale 3).
struct WalkScale {
    CmykWalk walk;
    int32_t scale;
};
constexpr WalkScale kWalks[] = {{CmykWalk::Normal, 1}, {CmykWalk::Normal, 2}, {CmykWalk::Normal, 3},
                                {CmykWalk::Normal, 4}, {CmykWalk::Normal, 8}, {CmykWalk::Expand, 2},
                                {CmykWalk::Expand, 4}, {CmykWalk::Expand, 8}, {CmykWalk::Reduce, kHxrScaleHalf}};

inline HXRColorFamily table_of(Family f) {
    constexpr HXRColorFamily kTables[] = {kColor4D,         kColor4DUserSpec,        kColor4DUnderWhite,
                                          kColor4DUserSpecUnderWhite, kColor4DPatternD, kColor4DUserSpecPatternD,
                                          kColor4DUnderWhitePatternD, kColor4DUserSpecUnderWhitePatternD};
    return kTables[int(f)];
}
inline CmykFeatures features_of(Family f) { return {(int(f) & 1) != 0, (int(f) & 2) != 0, (int(f) & 4) != 0}; }
// The family with PatternD added.
inline Family with_pd(Family f) { return Family(int(f) | 4); }
// The table entry of a family for an ink count and walk.
inline HXRColorKernel kernel_of(Family f, int inks, CmykWalk walk) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[table_of(f)]; row->count != -1; ++row)
        if (row->count == inks)
            return walk == CmykWalk::Normal ? row->normal : walk == CmykWalk::Expand ? row->expandH2NxV2 : row->reduceH;
    return nullptr;
}

struct Case {
    Family family = Family::Plain;
    int inks = 4;
    CmykWalk walk = CmykWalk::Normal;
    int32_t scale = 1;
    uint32_t depth = 1, pixelOffset = 4, attrStride = 1;
    int32_t start = 0, count = 8;
    uint32_t method = 0;
    bool intents = true;
    bool sameLines = false;  // the converter marks a one-line band as vertically expanded
    int32_t clear = -1;      // the descriptor's clear position
    uint32_t seed = 0;

    int32_t end() const { return start + count; }
    int32_t columns() const { return walk == CmykWalk::Reduce ? end() / 2 : end() * scale; }
    int lines() const { return walk == CmykWalk::Expand ? 1 : 2; }
    std::string describe() const {
        std::ostringstream s;
        s << "family " << int(family) << " inks " << inks << " walk " << int(walk) << " scale " << scale << " depth "
          << depth << " stride " << pixelOffset << " attr " << attrStride << " start " << start << " count " << count
          << " method " << method << " clear " << clear << " seed " << seed;
        return s.str();
    }
};

// Attribute bytes of photo-like CMYK content: both LUT choices, user
// colours (bit 2) and exemptions (bit 4) among blank runs.
const PhotoOptions kCmykContent{true, {0, 1, 1, 2, 3, 4, 5, 0x10, 0x11, 0x14, 0x15, 0xFD, 0x20, 0, 0}};

using Outcome = KernelOutcome<8>;

class CmykKernelTest : public ColorTest {
protected:
    HXRIntermediateData* descriptor(const Case& c) {
        HXRIntermediateData* d = HXRCreateIntermediateData(c.inks, std::max(c.columns(), 1), 1, c.intents ? 1 : 0,
                                                           nullptr, -1, mm);
        EXPECT_NE(d, nullptr);
        d->clearPos = c.clear;  // also positions the descriptor itself refuses
        paint(d);
        HXRSetReductionMethod(d, c.method);
        HXRSetVExpansion(d, c.walk == CmykWalk::Expand || c.sameLines ? 1 : 0);
        return d;
    }
    // Runs `kernel` (null: the reference of the case's family) on the band,
    // on copies of its pointer arrays as the converter makes them.
    Outcome run(HXRColorKernel kernel, const Case& c, const CmykBand& band, const HXRLutData* const* luts,
                const uint32_t* user, CmykStats* stats = nullptr) {
        Outcome out{};
        out.d = descriptor(c);
        std::copy(band.planes, band.planes + 8, out.planes.begin());
        std::copy(band.attrs, band.attrs + 2, out.attrs.begin());
        if (kernel) {
            kernel(luts, user, out.d, c.seed, c.pixelOffset, c.depth, c.scale, out.planes.data(), out.attrs.data(),
                   c.attrStride, c.start, c.end());
        } else {
            CmykReference ref(c.inks, c.walk, features_of(c.family));
            ref.run(luts, user, out.d, c.seed, c.pixelOffset, c.depth, c.scale, out.planes.data(), out.attrs.data(),
                    c.attrStride, c.start, c.end());
            if (stats) *stats = ref.stats;
        }
        out.snap = snap(out.d);
        return out;
    }
    Outcome run(const Case& c, const CmykBand& band, const HXRLutData* const* luts, const uint32_t* user) {
        return run(kernel_of(c.family, c.inks, c.walk), c, band, luts, user);
    }
    CmykBand band_for(const Case& c) {
        CmykBand band(c.end(), c.lines(), c.depth, c.pixelOffset, c.attrStride);
        fill_photo(band, c.seed, kCmykContent);
        return band;
    }
    // The table's kernel and the reference agree byte for byte.
    CmykStats expect_match(const Case& c, const HXRLutData* const* luts, const uint32_t* user) {
        return expect_match(c, band_for(c), luts, user);
    }
    CmykStats expect_match(const Case& c, const CmykBand& band, const HXRLutData* const* luts, const uint32_t* user) {
        CmykStats stats;
        const Outcome want = run(nullptr, c, band, luts, user, &stats);
        const Outcome got = run(c, band, luts, user);
        EXPECT_TRUE(got == want) << c.describe() << outcome_difference(got, want);
        for (const Outcome* o : {&want, &got}) {  // the manager's lookups walk every block
            HXRFreeMem(mm, o->d->inkQuantityBuf);
            HXRFreeMem(mm, o->d);
        }
        return stats;
    }
    // ExpandH2NxV2 of `c` (pixel stride 4, 8-bit samples) on `band` writes
    // to row 0 what Normal writes on the band's line given twice, for the
    // family `plain` (no clear) and `underWhite` (clear position `clear`).
    void expect_expand_as_normal(Case c, const CmykBand& band, const HXRLutData* const* luts, const uint32_t* user,
                                 Family plain, Family underWhite, int32_t clear) {
        Case same = c;
        same.walk = CmykWalk::Normal;
        CmykBand twice(c.end(), 2, 1, 4, 1);
        for (int32_t x = 0; x < c.end(); ++x) {
            uint8_t v[4];
            for (int ch = 0; ch < 4; ++ch) v[ch] = band.planes[ch][size_t(x) * 4];
            twice.set(0, x, v, band.attrs[0][x]);
            twice.set(1, x, v, band.attrs[0][x]);
        }
        for (Family f : {plain, underWhite}) {
            same.family = c.family = f;
            same.clear = c.clear = f == plain ? -1 : clear;
            const Outcome normal = run(same, twice, luts, user);
            const Outcome expand = run(c, band, luts, user);
            for (int k = 0; k < c.inks; ++k)
                EXPECT_EQ(row(expand.d, k, 0, 0, c.columns()), row(normal.d, k, 0, 0, c.columns())) << k;
        }
    }
    static std::vector<uint8_t> row(const HXRIntermediateData* d, int k, uint32_t l, int32_t from, int32_t to) {
        return ink_row(d, k, l, from, to);
    }
};

// The two tables of an ink count and a user table: LUT1 on other node
// levels and gammas, so that reading its pre-table or mixing the tables'
// decoders shows.
struct TablePair {
    SyntheticLut lut0, lut1;
    std::vector<uint32_t> user;
    const HXRLutData* luts[2];
    explicit TablePair(int inks)
        : lut0(LutSpec{.inks = uint32_t(inks), .dimension = 4, .salt = 1}),
          lut1(LutSpec{.inks = uint32_t(inks), .dimension = 4, .salt = 2, .levels = even_levels(), .gamma0 = 160,
                       .gamma255 = 80}),
          user(ovcg_test::synthetic_user_table(uint32_t(inks), 3)),
          luts{lut0.get(), lut1.get()} {}
    static std::vector<uint32_t> even_levels() {
        std::vector<uint32_t> levels(32);
        for (uint32_t k = 0; k < 32; ++k) levels[k] = k * 255 / 31;
        return levels;
    }
};
// Built once per ink count for every test (a 4D table takes 32^4 nodes).
inline const TablePair& tables_for(int inks) {
    static std::map<int, std::unique_ptr<TablePair>> cache;
    auto& t = cache[inks];
    if (!t) t = std::make_unique<TablePair>(inks);
    return *t;
}

}  // namespace color_test
