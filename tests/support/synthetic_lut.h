// Synthetic colour tables (HXRLutData) for the colour-kernel tests, the
// fuzz target and the benchmarks: no resource is read, every byte follows
// from the LutSpec below.
//
// Grids (lane layout of hxr_lut_data.h, ink k of a node in word k / 4 at
// bit shift 0, 16, 8, 24):
//  Scrambled    code(node, k) = (P[(37 g0 + 101 g1 + 13 g2 [+ 71 g3] + 29 salt) & 255]
//                                + 59 k + 17 salt) & 255
//               with P a fixed byte permutation: injective along every axis
//               (odd factors, coordinates below 256) and across the inks of a
//               node, and not linear across axes, so a wrong node, axis,
//               lane or table shows in the codes. `salt` tells tables apart.
//  Coordinates  code(node, k) = g[k mod D] + 64 (k div D) (D = dimension), or
//               255 minus that with `invert`: the node can be read back from
//               the codes, for hand-derived expectations.
//  Smooth       a photo-like separation: neighbouring nodes differ little
//               (3D: inks from the complements of RGB; 4D: ink k follows
//               channel k mod 4).
//  Constant     code(node, k) = constant + 7 k for every node.
// The pre-table follows from the node levels (default: the engine's
// 64-node 3D or 32-node 4D levels): for the first node k with
// levels[k] >= v, pre[v] = 256 k - floor(256 (levels[k] - v) /
// (levels[k] - levels[k-1])), 256 k at a node. Decode and encode tables come
// from a double-gamma pair. The source-grid index is filled with a poison
// value: nothing the kernels may read lies there, and a read past the 257
// encode entries lands in it.
#pragma once

#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_data.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace ovcg_test {

enum class LutGrid { Scrambled, Coordinates, Smooth, Constant };

inline constexpr uint32_t kLutPoison = 0xDEADBEEF;

struct LutSpec {
    uint32_t inks = 4;
    uint32_t dimension = 3;  // 3: 64 nodes per axis, 4: 32
    LutGrid grid = LutGrid::Scrambled;
    uint32_t salt = 0;        // Scrambled
    bool invert = false;      // Coordinates
    uint32_t constant = 0;    // Constant
    std::vector<uint32_t> levels{};  // node levels; empty: the engine's grid
    uint32_t gamma0 = 100, gamma255 = 100;
    std::array<uint32_t, 12> patternUpper{};
};

class SyntheticLut {
public:
    explicit SyntheticLut(const LutSpec& recipe) : spec_(recipe) {
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
    SyntheticLut(const SyntheticLut&) = delete;
    SyntheticLut& operator=(const SyntheticLut&) = delete;

    const HXRLutData* get() const { return &lut_; }
    HXRLutData* get() { return &lut_; }
    const std::vector<uint32_t>& levels() const { return levels_; }

    // The code the grid holds for ink k at node coordinates g (D of them).
    uint32_t code_at(const uint32_t* g, uint32_t k) const {
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

    static constexpr uint32_t kShift[4] = {0, 16, 8, 24};

private:
    // A fixed byte permutation (multiplier 167 is odd, so i -> 167 i + 91 is
    // a bijection mod 256), folded with a second bijection for spread.
    static const std::array<uint8_t, 256>& permutation() {
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

    LutSpec spec_;
    uint32_t gridNum_ = 0;
    uint32_t words_ = 0;
    std::vector<uint32_t> levels_;
    std::vector<uint32_t> grid_;
    HXRLutData lut_{};
};

// A user colour table of N inks (HXRLutUserData): 256 entries of ceil(N/4)
// words in node layout, entry i holding code (167 i + 59 k + 17 salt + 91)
// & 255 for ink k: every ink tells the 256 entries apart (167 is odd), so a
// wrong entry, lane or word shows. Bytes no ink uses are 0.
inline std::vector<uint32_t> synthetic_user_table(uint32_t inks, uint32_t salt = 0) {
    if (inks < 1 || inks > 12) throw std::invalid_argument("synthetic user table: inks 1..12");
    const uint32_t words = (inks + 3) / 4;
    std::vector<uint32_t> table(256 * words, 0);
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t k = 0; k < inks; ++k)
            table[i * words + k / 4] |= ((167 * i + 59 * k + 17 * salt + 91) & 255) << SyntheticLut::kShift[k % 4];
    return table;
}

}  // namespace ovcg_test
