#include "synthetic_lut.h"

namespace ovcg_test {

SyntheticLut::SyntheticLut(const LutSpec& recipe) : spec_(recipe) {
    if (recipe.inks < 1 || recipe.inks > 12 || (recipe.dimension != 3 && recipe.dimension != 4))
        throw std::invalid_argument("synthetic LUT: inks 1..12, dimension 3 or 4");
    gridNum_ = recipe.dimension == 3 ? 64 : 32;
    levels_ = recipe.levels;
    if (levels_.empty()) {
        const uint32_t* p = recipe.dimension == 3 ? Rebuild3DGridPos64 : Rebuild4DGridPos32;
        levels_.assign(p, p + gridNum_);
    }
    if (levels_.size() != gridNum_ || levels_.front() != 0 || levels_.back() != 255)
        throw std::invalid_argument("synthetic LUT: levels run from 0 to 255 over the grid");
    for (uint32_t k = 1; k < gridNum_; ++k)
        if (levels_[k] <= levels_[k - 1]) throw std::invalid_argument("synthetic LUT: levels must rise");
    words_ = (recipe.inks + 3) / 4;
    size_t nodes = 1;
    for (uint32_t d = 0; d < recipe.dimension; ++d) nodes *= gridNum_;
    grid_.assign(nodes * words_, 0);
    uint32_t g[4] = {};
    for (size_t n = 0; n < nodes; ++n) {
        size_t rest = n;
        for (int d = static_cast<int>(recipe.dimension) - 1; d >= 0; --d) {
            g[d] = static_cast<uint32_t>(rest % gridNum_);
            rest /= gridNum_;
        }
        for (uint32_t k = 0; k < recipe.inks; ++k) grid_[n * words_ + k / 4] |= code_at(g, k) << kShift[k % 4];
    }
    lut_.grid = grid_.data();
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t k = 0;
        while (levels_[k] < v) ++k;
        lut_.preTable[v] = levels_[k] == v ? 256 * k
                                           : 256 * k - 256 * (levels_[k] - v) / (levels_[k] - levels_[k - 1]);
    }
    if (HXRGetDbgDecTable(lut_.decode, recipe.gamma0, recipe.gamma255) != 0 ||
        HXRGetDbgEncTable(lut_.encode, recipe.gamma0, recipe.gamma255) != 0)
        throw std::invalid_argument("synthetic LUT: no double-gamma tables for the pair");
    for (uint32_t& w : lut_.srcGridIndex) w = kLutPoison;
    for (uint32_t k = 0; k < 12; ++k) lut_.patternUpper[k] = recipe.patternUpper[k];
    lut_.gridNum = gridNum_;
    lut_.dimension = recipe.dimension;
    lut_.channels = recipe.inks;
}

uint32_t SyntheticLut::code_at(const uint32_t* g, uint32_t k) const {
    const uint32_t d = spec_.dimension;
    switch (spec_.grid) {
        case LutGrid::Scrambled: {
            static constexpr uint32_t kMul[4] = {37, 101, 13, 71};
            uint32_t s = 29 * spec_.salt;
            for (uint32_t i = 0; i < d; ++i) s += kMul[i] * g[i];
            return (permutation()[s & 255] + 59 * k + 17 * spec_.salt) & 255;
        }
        case LutGrid::Coordinates: {
            const uint32_t c = g[k % d] + 64 * (k / d);
            return spec_.invert ? 255 - c : c;
        }
        case LutGrid::Smooth: {
            if (d == 4) {
                // CMYK in: each ink follows its channel's level, light
                // inks as fractions.
                const uint32_t base = levels_[g[k % 4]];
                return (k / 4 == 0 ? base : base / (1 + k / 4)) & 255;
            }
            // Cyan, magenta, yellow from the complements of the node's
            // levels, a grey component, and light inks as halves.
            uint32_t comp[4] = {};
            for (uint32_t i = 0; i < d && i < 4; ++i) comp[i] = 255 - levels_[g[i]];
            uint32_t grey = comp[0] < comp[1] ? comp[0] : comp[1];
            grey = grey < comp[2] ? grey : comp[2];
            const uint32_t base = k % 4 == 3 ? grey : comp[k % 4] - grey / 2;
            return (k / 4 == 0 ? base : base / (1 + k / 4)) & 255;
        }
        case LutGrid::Constant: return (spec_.constant + 7 * k) & 255;
    }
    return 0;
}

// A fixed byte permutation (multiplier 167 is odd, so i -> 167 i + 91 is
// a bijection mod 256), folded with a second bijection for spread.
const std::array<uint8_t, 256>& SyntheticLut::permutation() {
    static const std::array<uint8_t, 256> p = [] {
        std::array<uint8_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t a = (167 * i + 91) & 255;
            t[i] = static_cast<uint8_t>(a ^ (a >> 3));
        }
        return t;
    }();
    return p;
}

}  // namespace ovcg_test
