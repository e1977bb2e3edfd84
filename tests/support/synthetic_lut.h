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
    // Out of line, in the support library: it is built with optimisation,
    // and the grids (up to 64^3 nodes of 12 inks) are filled code by code.
    explicit SyntheticLut(const LutSpec& recipe);
    SyntheticLut(const SyntheticLut&) = delete;
    SyntheticLut& operator=(const SyntheticLut&) = delete;

    const HXRLutData* get() const { return &lut_; }
    HXRLutData* get() { return &lut_; }
    const std::vector<uint32_t>& levels() const { return levels_; }

    // The code the grid holds for ink k at node coordinates g (D of them).
    uint32_t code_at(const uint32_t* g, uint32_t k) const;

    static constexpr uint32_t kShift[4] = {0, 16, 8, 24};

private:
    // A fixed byte permutation (see the .cpp).
    static const std::array<uint8_t, 256>& permutation();

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
