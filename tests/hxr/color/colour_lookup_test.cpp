// The single-colour lookups of the LUT converters and the controller:
// against a direct tetrahedral computation on the synthetic tables, and
// their refusals (which write nothing).
#include "color_test_util.h"
#include "recording_kernels.h"

#include "hxr/color/hxr_color_ctrl.h"
#include "hxr/color/hxr_color_cvt.h"
#include "support/synthetic_lut.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <random>

namespace {

using namespace color_test;
using ovcg_test::LutSpec;
using ovcg_test::SyntheticLut;

// Written straight from the interpolation's description: a level's position
// on the grid in 1/128 node steps (rounded within its interval), the last
// node taken as the one before with fraction 128; the three axes'
// fractions sorted, weights 128 - a, a - b, b - c, c on the walk from the
// base node along the axes in that order; amounts decoded, summed, and
// encoded; a fourth axis linear between two such sums.
class DirectInterpolation {
public:
    DirectInterpolation(const SyntheticLut& lut, uint32_t dimension)
        : lut_(lut), d_(dimension), levels_(lut.levels()) {}

    std::vector<uint8_t> codes(const uint8_t* pixel, uint32_t inks) const {
        uint32_t node[4] = {}, frac[4] = {};
        for (uint32_t a = 0; a < d_; ++a) place(pixel[a], node[a], frac[a]);
        std::vector<uint8_t> out(inks);
        for (uint32_t k = 0; k < inks; ++k) {
            uint64_t amount;
            if (d_ == 3) {
                amount = sum(node, frac, k) >> 7;
            } else {
                uint32_t next[4] = {node[0], node[1], node[2], node[3] + 1};
                amount = (sum(node, frac, k) * (128 - frac[3]) + sum(next, frac, k) * frac[3]) >> 14;
            }
            out[k] = static_cast<uint8_t>(encode(static_cast<uint32_t>(amount)));
        }
        return out;
    }

private:
    void place(uint32_t v, uint32_t& node, uint32_t& frac) const {
        const uint32_t n = static_cast<uint32_t>(levels_.size());
        uint32_t pos = 128 * (n - 1);
        for (uint32_t k = 0; k + 1 < n; ++k) {
            if (v >= levels_[k] && v < levels_[k + 1]) {
                const uint32_t s = levels_[k + 1] - levels_[k];
                pos = 128 * k + ((v - levels_[k]) * 128 + s / 2) / s;
                break;
            }
        }
        node = pos >> 7;
        frac = pos & 127;
        if (node == n - 1) node = n - 2, frac = 128;
    }
    // Sum of weight x decoded amount over the tetrahedron's four corners
    // (first three axes; the fourth stays at node[3]).
    uint64_t sum(const uint32_t* node, const uint32_t* frac, uint32_t k) const {
        std::array<uint32_t, 3> axes = {0, 1, 2};
        std::stable_sort(axes.begin(), axes.end(), [&](uint32_t x, uint32_t y) { return frac[x] > frac[y]; });
        const uint32_t f[4] = {128, frac[axes[0]], frac[axes[1]], frac[axes[2]]};
        uint32_t g[4] = {node[0], node[1], node[2], node[3]};
        uint64_t total = 0;
        for (uint32_t corner = 0; corner < 4; ++corner) {
            if (corner > 0) ++g[axes[corner - 1]];
            const uint32_t weight = f[corner] - (corner < 3 ? f[corner + 1] : 0);
            total += uint64_t(weight) * lut_.get()->decode[lut_.code_at(g, k)];
        }
        return total;
    }
    uint32_t encode(uint32_t v) const {
        const uint32_t* e = lut_.get()->encode;
        const uint32_t i = std::min(v >> 8, 255u), f = v & 255;
        return (e[i] + (((e[i + 1] - e[i]) * f) >> 8) + 16) >> 5;
    }

    const SyntheticLut& lut_;
    uint32_t d_;
    std::vector<uint32_t> levels_;
};

class ColourLookup : public ColorTest {
protected:
    // A converter of `dimension` with tables attached (the other families'
    // slots record: the creators need a kernel in every slot they fill).
    HXRColorCvt* converter(uint32_t dimension, uint32_t inks) {
        HXRValueSettings v{};
        v.wprint.outputMode = kHxrWPrintOff;
        const _HXR_IMAGE_INFO im = image(dimension, 16, dimension);
        HXRColorCvt* c = dimension == 3 ? HXRCreateColorCvt3D(&im, &v, 1, clr(inks), mm)
                                        : HXRCreateColorCvt4D(&im, &v, 1, clr(inks), mm);
        EXPECT_NE(c, nullptr);
        return c;
    }
    std::unique_ptr<SyntheticLut> table(uint32_t dimension, uint32_t inks, uint32_t salt, uint32_t g0, uint32_t g255) {
        LutSpec recipe;
        recipe.inks = inks;
        recipe.dimension = dimension;
        recipe.salt = salt;
        recipe.gamma0 = g0;
        recipe.gamma255 = g255;
        return std::make_unique<SyntheticLut>(recipe);
    }
    BoundTables bound_;
};

// Every ink count, both dimensions, both tables, every channel count: the
// codes of random pixels, and nothing written past them.
TEST_F(ColourLookup, AgainstDirectInterpolation) {
    std::mt19937 rng(2024);
    for (uint32_t dimension : {3u, 4u}) {
        for (uint32_t inks : kCounts) {
            if (dimension == 4 && inks == 1) continue;  // no 4D one-ink converter
            SCOPED_TRACE(testing::Message() << dimension << "D " << inks);
            const auto lut0 = table(dimension, inks, 1, 100, 100);
            const auto lut1 = table(dimension, inks, 2, 160, 80);
            HXRColorCvtLutSet set{};
            (dimension == 3 ? set.lut3D : set.lut4D)[0] = lut0->get();
            (dimension == 3 ? set.lut3D : set.lut4D)[1] = lut1->get();
            HXRColorCvt* c = converter(dimension, inks);
            ASSERT_NE(c, nullptr);
            ASSERT_EQ(dimension == 3 ? HXRSetColorCvt3DData(c, &set) : HXRSetColorCvt4DData(c, &set), 0u);
            const DirectInterpolation direct[2] = {{*lut0, dimension}, {*lut1, dimension}};
            for (int i = 0; i < 60; ++i) {
                uint8_t pixel[5];
                for (uint8_t& b : pixel) b = static_cast<uint8_t>(rng());
                if (i < 4) std::fill(pixel, pixel + dimension, i % 2 ? 255 : 0);  // the grid's corners
                const uint32_t use = rng() % 2;
                const auto channels = static_cast<int32_t>(1 + rng() % inks);
                const int lut = use == 1 && (pixel[dimension] & 3) == 1 ? 1 : 0;
                std::vector<uint8_t> want = direct[lut].codes(pixel, inks);
                want.resize(size_t(channels));
                want.push_back(0xEE);
                std::vector<uint8_t> out(size_t(channels) + 1, 0xEE);
                const uint32_t r = dimension == 3 ? HXRGetColorConvert3DData(c, out.data(), pixel, 1, use, channels)
                                                  : HXRGetColorConvert4DData(c, out.data(), pixel, 1, use, channels);
                ASSERT_EQ(r, 0u);
                ASSERT_EQ(out, want) << "pixel " << int(pixel[0]) << " " << int(pixel[1]) << " " << int(pixel[2])
                                     << " attr " << int(pixel[dimension]) << " use " << use;
            }
        }
    }
}

// The lookups write `channels` codes and read a node of N inks, so they
// refuse a channel count outside 1..N, a missing out or pixel, a converter
// without tables, of the other dimension, or a mode other than 1; the
// controller answers only a 3D converter with colour mode 3 and a 4D one
// with mode 4.
TEST_F(ColourLookup, Refusals) {
    const auto lut3 = table(3, 6, 1, 100, 100);
    const auto lut4 = table(4, 6, 1, 100, 100);
    HXRColorCvtLutSet set{};
    set.lut3D[0] = lut3->get();
    set.lut4D[0] = lut4->get();
    HXRColorCvt* c3 = converter(3, 6);
    HXRColorCvt* c4 = converter(4, 6);
    HXRColorCvt* bare = converter(3, 6);
    ASSERT_TRUE(c3 && c4 && bare);
    ASSERT_EQ(HXRSetColorCvt3DData(c3, &set), 0u);
    ASSERT_EQ(HXRSetColorCvt4DData(c4, &set), 0u);

    const uint8_t pixel[5] = {10, 200, 90, 40, 1};
    using Lookup = std::function<uint32_t(uint8_t*)>;
    const struct {
        const char* what;
        Lookup lookup;
    } cases[] = {
        {"null converter", [&](uint8_t* o) { return HXRGetColorConvert3DData(nullptr, o, pixel, 1, 0, 6); }},
        {"null out", [&](uint8_t*) { return HXRGetColorConvert3DData(c3, nullptr, pixel, 1, 0, 6); }},
        {"null pixel", [&](uint8_t* o) { return HXRGetColorConvert3DData(c3, o, nullptr, 1, 0, 6); }},
        {"mode 0", [&](uint8_t* o) { return HXRGetColorConvert3DData(c3, o, pixel, 0, 0, 6); }},
        {"mode 2", [&](uint8_t* o) { return HXRGetColorConvert4DData(c4, o, pixel, 2, 0, 6); }},
        {"channels 0", [&](uint8_t* o) { return HXRGetColorConvert3DData(c3, o, pixel, 1, 0, 0); }},
        {"channels -1", [&](uint8_t* o) { return HXRGetColorConvert3DData(c3, o, pixel, 1, 0, -1); }},
        {"channels N + 1", [&](uint8_t* o) { return HXRGetColorConvert4DData(c4, o, pixel, 1, 1, 7); }},
        {"no tables", [&](uint8_t* o) { return HXRGetColorConvert3DData(bare, o, pixel, 1, 0, 6); }},
        {"4D lookup on 3D", [&](uint8_t* o) { return HXRGetColorConvert4DData(c3, o, pixel, 1, 0, 6); }},
        {"3D lookup on 4D", [&](uint8_t* o) { return HXRGetColorConvert3DData(c4, o, pixel, 1, 0, 6); }},
    };
    for (const auto& c : cases) {
        std::array<uint8_t, 16> out;
        out.fill(0xEE);
        EXPECT_EQ(c.lookup(out.data()), 1u) << c.what;
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xEE; })) << c.what;
    }

    // Through the controller: the converter's answer for its own colour mode.
    _HXR_IMAGE_INFO im = image(3, 16);
    _HXR_HALFTONE_INFO ht{};
    ht.scale = 1;
    HXRValueSettings v{};
    v.wprint.outputMode = kHxrWPrintOff;
    HXRColorCvtController* ctrl = HXRCreateColorCvtController(&im, &ht, &v, clr(6), mm);
    ASSERT_NE(ctrl, nullptr);
    ASSERT_EQ(HXRSetColorCvtData(ctrl, &set), 0u);
    uint8_t direct[6], forwarded[6];
    ASSERT_EQ(HXRGetColorConvert3DData(static_cast<HXRColorCvt*>(ctrl->converter), direct, pixel, 1, 1, 6), 0u);
    ASSERT_EQ(HXRGetColorConvertColorConvertData(ctrl, forwarded, pixel, 3, 1, 1, 6), 0u);
    EXPECT_EQ(std::memcmp(direct, forwarded, 6), 0);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl, forwarded, pixel, 4, 1, 1, 6), 1u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl, forwarded, pixel, 3, 1, 1, 7), 1u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(nullptr, forwarded, pixel, 3, 1, 1, 6), 1u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl, nullptr, pixel, 3, 1, 1, 6), 1u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl, forwarded, nullptr, 3, 1, 1, 6), 1u);
    im.colorMode = 4;
    HXRColorCvtController* ctrl4 = HXRCreateColorCvtController(&im, &ht, &v, clr(6), mm);
    ASSERT_NE(ctrl4, nullptr);
    ASSERT_EQ(HXRSetColorCvtData(ctrl4, &set), 0u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl4, forwarded, pixel, 4, 1, 1, 6), 0u);
    EXPECT_EQ(HXRGetColorConvertColorConvertData(ctrl4, forwarded, pixel, 3, 1, 1, 6), 1u);
}

}  // namespace
