// The fixture of the RGB kernel tests: a case (family, ink count, walk,
// scale, input layout, seed, aux block), a run of the named kernel or of the
// literal reference on a copy of the band's pointer arrays into a painted
// descriptor, and the comparison of two runs (rows, intent rows, span, where
// the pointers stopped).
#pragma once

#include "color_test_util.h"
#include "kernel_outcome.h"
#include "rgb_kernel_util.h"

#include "hxr/color/hxr_color_cvt.h"
#include "support/rgb_reference.h"

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace color_test {

enum class RgbFamily { Plain, User, Wprint, Pd, UserPd };

// The named kernel of a family, ink count and walk, from the tables the
// converters use (user colour: the Normal slot, which serves both lines).
inline HXRColorKernel family_kernel(RgbFamily family, int inks, ovcg_test::RgbWalk walk) {
    if (family == RgbFamily::Plain) return plain_kernel(inks, walk);
    static constexpr HXRColorFamily kTables[] = {kColor3D, kColor3DUserSpec, kColor3DWprint, kColor3DPatternD,
                                                 kColor3DUserSpecPatternD};
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[kTables[int(family)]]; row->count != -1; ++row) {
        if (row->count != inks) continue;
        return walk == ovcg_test::RgbWalk::Expand ? row->expandH2NxV2
               : walk == ovcg_test::RgbWalk::Normal ? row->normal
                                                    : row->reduceH;
    }
    return nullptr;
}

inline std::unique_ptr<ovcg_test::RgbReference> family_reference(RgbFamily family, int inks, ovcg_test::RgbWalk walk) {
    switch (family) {
        case RgbFamily::User: return std::make_unique<ovcg_test::RgbUserReference>(inks);
        case RgbFamily::Wprint: return std::make_unique<ovcg_test::RgbWprintReference>(inks, walk);
        case RgbFamily::Pd: return std::make_unique<ovcg_test::RgbPatternDReference>(inks, walk);
        case RgbFamily::UserPd: return std::make_unique<ovcg_test::RgbUserPatternDReference>(inks);
        default: return std::make_unique<ovcg_test::RgbReference>(inks, walk);
    }
}

// A user colour table of N inks: 256 entries of random words.
inline std::vector<uint32_t> user_table(int inks, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> t(256 * size_t((inks + 3) / 4));
    for (uint32_t& w : t) w = rng();
    return t;
}

struct KernelCase {
    RgbFamily family = RgbFamily::Plain;
    int inks = 4;
    ovcg_test::RgbWalk walk = ovcg_test::RgbWalk::Normal;
    int32_t scale = 1;
    uint32_t depth = 1, pixelOffset = 3, attrStride = 0;
    int32_t start = 0, count = 8;
    uint32_t method = 0;
    bool intents = true;
    bool sameLines = false;  // the converter marks one-line bands as vertically expanded
    uint32_t seed = 0;
    const void* aux = nullptr;  // user table or white-print block
    bool patches = false;       // band content: fill_patches, else fill_photo

    int32_t end() const { return start + count; }
    int32_t columns() const { return walk == ovcg_test::RgbWalk::Reduce ? end() / 2 : end() * scale; }
    int lines() const { return walk == ovcg_test::RgbWalk::Expand || sameLines ? 1 : 2; }
    std::string describe() const {
        std::ostringstream s;
        s << "family " << int(family) << " " << inks << " inks walk " << int(walk) << " scale " << scale << " depth "
          << depth << " stride " << pixelOffset << " attr " << attrStride << " start " << start << " count " << count
          << " method " << method << " same lines " << sameLines << " seed " << seed;
        return s.str();
    }
};

using Outcome = KernelOutcome<6>;

class RgbKernelTest : public ColorTest {
protected:
    HXRIntermediateData* descriptor(const KernelCase& k) {
        HXRIntermediateData* d = buffer(k.inks, std::max(k.columns(), 1), 1, k.intents ? 1 : 0);
        paint(d);
        HXRSetReductionMethod(d, k.method);
        HXRSetVExpansion(d, k.lines() == 1 ? 1 : 0);
        return d;
    }
    // Runs `kernel` (null: the family's reference) on the band; the band's
    // pointer arrays are copied, as the converter copies them.
    Outcome run(HXRColorKernel kernel, const KernelCase& k, const RgbBand& band, const HXRLutData* const* luts,
                ovcg_test::RefStats* stats = nullptr) {
        HXRIntermediateData* d = descriptor(k);
        Outcome out{};
        out.d = d;
        std::copy(band.planes, band.planes + 6, out.planes.begin());
        std::copy(band.attrs, band.attrs + 2, out.attrs.begin());
        if (kernel) {
            kernel(luts, k.aux, d, k.seed, k.pixelOffset, k.depth, k.scale, out.planes.data(), out.attrs.data(),
                   k.attrStride, k.start, k.end());
        } else {
            const auto ref = family_reference(k.family, k.inks, k.walk);
            ref->run(luts, k.aux, d, k.seed, k.pixelOffset, k.depth, k.scale, out.planes.data(), out.attrs.data(),
                     k.attrStride, k.start, k.end());
            if (stats) *stats = ref->stats;
        }
        out.snap = snap(d);
        return out;
    }
    RgbBand band_for(const KernelCase& k) {
        RgbBand band(k.end(), k.lines(), k.depth, k.pixelOffset, k.attrStride);
        if (k.patches)
            fill_patches(band, k.seed);
        else
            fill_photo(band, k.seed);
        return band;
    }
    // Kernel and reference agree byte for byte; the reference's counts.
    ovcg_test::RefStats expect_match(const KernelCase& k, const HXRLutData* const* luts) {
        const RgbBand band = band_for(k);
        ovcg_test::RefStats stats;
        const Outcome want = run(nullptr, k, band, luts, &stats);
        const Outcome got = run(family_kernel(k.family, k.inks, k.walk), k, band, luts);
        EXPECT_TRUE(got == want) << k.describe() << difference(got, want);
        return stats;
    }
    static std::string difference(const Outcome& got, const Outcome& want) { return outcome_difference(got, want); }
    static std::vector<uint8_t> row(const HXRIntermediateData* d, int k, uint32_t l, int32_t from, int32_t to) {
        return ink_row(d, k, l, from, to);
    }
};

}  // namespace color_test
