// Re-gridding: a resource table of Ns nodes per axis (any levels) becomes
// the kernels' grid of N nodes per axis at the engine's fixed levels.
//
// Interpolation runs in linear ink amounts: every vertex code is decoded
// through the double-gamma decode table, weighted, and the sum encoded back.
// Decoded amounts reach 6.5 million once the double gamma at 255 is small, so
// weighted sums are 64-bit. The same node interpolator, templated on the
// dimension, serves the re-gridding (nodes of K bytes) and the single-pixel
// queries (lane-layout nodes of the rebuilt grid).
#include "hxr/control/hxr_lut_build.h"

#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_tetra.h"

#include <cmath>

namespace {

constexpr uint32_t kFull = 128;  // grid positions are in 1/128 node steps

// Node and fraction of a level on an axis of ns >= 2 nodes; the last node
// becomes the last interval at its full fraction.
struct Axis {
    uint32_t node;
    uint32_t frac;
};
inline Axis axis_at(const uint32_t* index, uint32_t level, uint32_t ns) {
    const uint32_t s = index[level];
    Axis a{s >> 7, s & 127};
    if (a.node >= ns - 1) a = {ns - 2, kFull};
    return a;
}

// The 8-bit code of a linear amount; the arithmetic of HXREncodeDoubleGamma,
// inline for the hot loops (amounts above 65535 take the last interval, whose
// entries are equal).
inline uint8_t encode_amount(const uint32_t* enc, uint64_t v) {
    const uint32_t i = v >= 65536 ? 255u : uint32_t(v >> 8);
    const uint32_t f = uint32_t(v) & 255;
    return uint8_t((enc[i] + (((enc[i + 1] - enc[i]) * f) >> 8) + 16) >> 5);
}

// Nodes of K bytes (the work table).
struct ByteNodes {
    const uint8_t* table;
    const uint32_t* dec;
    uint64_t operator()(size_t node, uint32_t c) const { return dec[table[node + c]]; }
};
// Lane-layout nodes (the rebuilt grid): node offsets in words.
struct LaneNodes {
    const uint32_t* grid;
    const uint32_t* dec;
    uint64_t operator()(size_t node, uint32_t c) const {
        return dec[(grid[node + c / 4] >> kLaneShift[c % 4]) & 255];
    }
    static constexpr uint32_t kLaneShift[4] = {0, 16, 8, 24};
};

// The tetrahedron t's weighted sum of the decoded amounts of channel c at
// `base` (weights of 128).
template <class Nodes>
inline uint64_t tetra_sum(const HXRTetra& t, size_t base, uint32_t c, const Nodes& nodes) {
    uint64_t sum = 0;
    for (int v = 0; v < 4; ++v) sum += uint64_t(t.w[v]) * nodes(base + t.off[v], c);
    return sum;
}

// The node interpolator over the tetrahedron sums: sums(j, c) is the sum of
// channel c at fourth-axis node j = 0 or 1 past the base. D = 3 encodes the
// sum at the base; D = 4 blends the sums at j = 0 and 1 linearly with f3.
template <int D, class Sums>
inline void interpolate_node(uint8_t* out, uint32_t f3, uint32_t channels, const Sums& sums, const uint32_t* enc) {
    for (uint32_t c = 0; c < channels; ++c) {
        if constexpr (D == 3)
            out[c] = encode_amount(enc, sums(0, c) >> 7);
        else
            out[c] = encode_amount(enc, (sums(0, c) * (kFull - f3) + sums(1, c) * f3) >> 14);
    }
}

// floor(sqrt(s)) exactly, s < 2^52.
inline uint32_t isqrt(uint64_t s) {
    uint64_t r = uint64_t(std::sqrt(double(s)));
    while (r * r > s) --r;
    while ((r + 1) * (r + 1) <= s) ++r;
    return uint32_t(r);
}

// Levels above 255 are clamped; the boost B = 255 + floor(sqrt(sum of the
// squared excesses)) raises channels 0, 2, 4, 5 (all four with four channels)
// by B / 255, capped at 255.
inline void boost_channels(uint8_t* out, uint32_t channels, uint64_t excess2) {
    if (excess2 == 0) return;
    const uint32_t b = 255 + isqrt(excess2);
    for (uint32_t c = 0; c < channels; ++c) {
        if (channels != 4 && c != 0 && c != 2 && c != 4 && c != 5) continue;
        const uint32_t v = out[c] * b / 255;
        out[c] = uint8_t(v > 255 ? 255 : v);
    }
}

inline uint32_t clamp_level(uint32_t level, uint64_t& excess2) {
    if (level <= 255) return level;
    const uint64_t e = level - 255;
    excess2 += e * e;
    return 255;
}

}  // namespace

uint32_t HXRRearrangeLut(uint32_t* dst, const uint32_t* values, int32_t count) {
    if (!dst || !values || count < 1) return 0;
    const uint32_t words = HXRGetLutUnitSizeU32(uint32_t(count));
    for (uint32_t w = 0; w < words; ++w) dst[w] = 0;
    for (uint32_t k = 0; k < uint32_t(count); ++k) dst[k / 4] |= (values[k] & 255) << LaneNodes::kLaneShift[k % 4];
    return words;
}

uint32_t HXRGetSrcLutGridPosIndex(uint32_t* index, uint32_t n, const uint32_t* levels) {
    if (!index || !levels) return 1;
    if (n < 2) {
        index[0] = 0;
        return 0;
    }
    for (uint32_t k = 0; k < n; ++k)
        if (levels[k] > 255 || (k > 0 && levels[k] < levels[k - 1])) return 1;
    for (uint32_t k = 0; k + 1 < n; ++k) {
        const uint32_t s = levels[k + 1] - levels[k];
        for (uint32_t v = levels[k]; v < levels[k + 1]; ++v) index[v] = 128 * k + ((v - levels[k]) * 128 + s / 2) / s;
    }
    index[levels[n - 1]] = 128 * (n - 1);
    return 0;
}

namespace {

// One pixel of a lane-layout grid: the node interpolator over the channels.
template <int D>
uint32_t interpolate_pixel(uint8_t* out, const uint32_t* level, const uint32_t* dec, const uint32_t* enc,
                           const uint32_t* grid, uint32_t n, uint32_t k, const uint32_t* index) {
    if (!out || !dec || !enc || !grid || !index || n < 2 || k < 1 || k > kHxrMaxInks) return 1;
    const uint32_t words = HXRGetLutUnitSizeU32(k);
    size_t stride[4];
    stride[D - 1] = words;
    for (int a = D - 1; a > 0; --a) stride[a - 1] = stride[a] * n;
    uint64_t excess2 = 0;
    Axis ax[4];
    size_t base = 0;
    for (int a = 0; a < D; ++a) {
        ax[a] = axis_at(index, clamp_level(level[a], excess2), n);
        base += ax[a].node * stride[a];
    }
    const uint32_t f[3] = {ax[0].frac, ax[1].frac, ax[2].frac};
    const HXRTetra t = HXRTetraWeights(kFull, f, stride);
    const LaneNodes nodes{grid, dec};
    const size_t stride3 = D == 4 ? stride[3] : 0;
    interpolate_node<D>(out, D == 4 ? ax[3].frac : 0, k,
                        [&](uint32_t j, uint32_t c) { return tetra_sum(t, base + j * stride3, c, nodes); }, enc);
    if constexpr (D == 4) boost_channels(out, k, excess2);
    return 0;
}

}  // namespace

uint32_t HXR8TRAQ2LutInterpolate3D(uint8_t* out, uint32_t l0, uint32_t l1, uint32_t l2, const uint32_t* decode,
                                   const uint32_t* encode, const uint32_t* grid, uint32_t gridNum, uint32_t inkNum,
                                   const uint32_t* index) {
    const uint32_t level[3] = {l0 > 255 ? 255 : l0, l1 > 255 ? 255 : l1, l2 > 255 ? 255 : l2};
    return interpolate_pixel<3>(out, level, decode, encode, grid, gridNum, inkNum, index);
}

uint32_t HXR8TRAQ2LutInterpolate4D(uint8_t* out, uint32_t l0, uint32_t l1, uint32_t l2, uint32_t l3,
                                   const uint32_t* decode, const uint32_t* encode, const uint32_t* grid,
                                   uint32_t gridNum, uint32_t inkNum, const uint32_t* index) {
    const uint32_t level[4] = {l0, l1, l2, l3};
    return interpolate_pixel<4>(out, level, decode, encode, grid, gridNum, inkNum, index);
}

// ---------------------------------------------------------------- rebuild

namespace {

// Stores K codes as one lane-layout node.
inline void store_node(uint32_t* node, const uint8_t* codes, uint32_t k) {
    for (uint32_t c = 0; c < k; ++c) node[c / 4] |= uint32_t(codes[c]) << LaneNodes::kLaneShift[c % 4];
}

void rebuild_3d(const HXRLutWork& w, const uint32_t* p, uint32_t n, const uint32_t* dec, const uint32_t* enc,
                const uint32_t* index, uint32_t* grid) {
    const uint32_t k = w.colorNum, ns = w.gridNum, words = HXRGetLutUnitSizeU32(k);
    const size_t stride[3] = {size_t(ns) * ns * k, size_t(ns) * k, k};
    Axis ax[64];
    for (uint32_t i = 0; i < n; ++i) ax[i] = axis_at(index, p[i], ns);
    const ByteNodes nodes{w.table, dec};
    uint8_t codes[kHxrMaxInks];
    uint32_t* node = grid;
    for (uint32_t i0 = 0; i0 < n; ++i0) {
        for (uint32_t i1 = 0; i1 < n; ++i1) {
            const size_t base01 = ax[i0].node * stride[0] + ax[i1].node * stride[1];
            for (uint32_t i2 = 0; i2 < n; ++i2, node += words) {
                const uint32_t f[3] = {ax[i0].frac, ax[i1].frac, ax[i2].frac};
                const HXRTetra t = HXRTetraWeights(kFull, f, stride);
                const size_t base = base01 + ax[i2].node * stride[2];
                interpolate_node<3>(codes, 0, k, [&](uint32_t, uint32_t c) { return tetra_sum(t, base, c, nodes); },
                                    enc);
                store_node(node, codes, k);
            }
        }
    }
}

void rebuild_4d(const HXRLutWork& w, const uint32_t* p, uint32_t n, const uint32_t* dec, const uint32_t* enc,
                const uint32_t* index, uint32_t* grid) {
    const uint32_t k = w.colorNum, ns = w.gridNum, words = HXRGetLutUnitSizeU32(k);
    const size_t stride[4] = {size_t(ns) * ns * ns * k, size_t(ns) * ns * k, size_t(ns) * k, k};
    Axis ax[32];
    uint64_t ex2[32];
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t q = w.duty == kHxrDuty100 ? p[i] : uint32_t((uint64_t(p[i]) * w.duty + 512) >> 10);
        ex2[i] = 0;
        ax[i] = axis_at(index, clamp_level(q, ex2[i]), ns);
    }
    const ByteNodes nodes{w.table, dec};
    // The tetrahedron of axes 0..2 is the same for every node of the fourth
    // axis: its sums at each source node j are taken once.
    uint64_t sums[kHxrLutSrcMaxGrid * kHxrMaxInks];
    uint8_t codes[kHxrMaxInks];
    uint32_t* node = grid;
    for (uint32_t i0 = 0; i0 < n; ++i0) {
        for (uint32_t i1 = 0; i1 < n; ++i1) {
            for (uint32_t i2 = 0; i2 < n; ++i2) {
                const uint32_t f[3] = {ax[i0].frac, ax[i1].frac, ax[i2].frac};
                const HXRTetra t = HXRTetraWeights(kFull, f, stride);
                const size_t base = ax[i0].node * stride[0] + ax[i1].node * stride[1] + ax[i2].node * stride[2];
                for (uint32_t j = 0; j < ns; ++j)
                    for (uint32_t c = 0; c < k; ++c) sums[j * k + c] = tetra_sum(t, base + j * stride[3], c, nodes);
                const uint64_t ex012 = ex2[i0] + ex2[i1] + ex2[i2];
                for (uint32_t i3 = 0; i3 < n; ++i3, node += words) {
                    const uint64_t* at = sums + ax[i3].node * k;
                    interpolate_node<4>(codes, ax[i3].frac, k, [&](uint32_t j, uint32_t c) { return at[j * k + c]; },
                                        enc);
                    boost_channels(codes, k, ex012 + ex2[i3]);
                    store_node(node, codes, k);
                }
            }
        }
    }
}

// The neutral axis from the gray table: at each target level t the gray
// node of that level, or the blend of the two gray nodes around t in linear
// amounts. The values before the white-node rule go to grayOut in LUT order.
void rebuild_gray(const HXRGrayLutWork& g, const HXRLutWork& w, const uint32_t* p, uint32_t n, const uint32_t* dec,
                  const uint32_t* enc, uint32_t* grid, uint8_t* grayOut) {
    const uint32_t k = w.colorNum, words = HXRGetLutUnitSizeU32(k);
    const uint64_t diagonal = (uint64_t(n) * n + n + 1) * words;
    uint8_t codes[kHxrMaxInks];
    auto amount = [&](uint32_t node, uint32_t c) -> uint64_t {
        const uint32_t v = g.table[size_t(node) * k + c];
        return dec[v > 255 ? 255 : v];
    };
    uint32_t j = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t t = p[i];
        while (j + 1 < g.gridNum && g.gridPos[j] < t) ++j;  // the last gray level is 255
        for (uint32_t c = 0; c < k; ++c) {
            if (g.gridPos[j] == t) {
                const uint32_t v = g.table[size_t(j) * k + c];
                codes[c] = uint8_t(v > 255 ? 255 : v);
            } else {
                const uint64_t lo = g.gridPos[j - 1], hi = g.gridPos[j];
                const uint64_t mix = (hi - t) * amount(j - 1, c) + (t - lo) * amount(j, c);
                codes[c] = encode_amount(enc, (mix * 128 / (hi - lo)) >> 7);
            }
        }
        uint8_t* copy = grayOut + size_t(i) * 4 * words;
        for (uint32_t c = 0; c < k; ++c) copy[c] = codes[c];
        if (i == n - 1 && g.whiteNode == 1 && g.clearOrder >= 0 && uint32_t(g.clearOrder) < k) codes[g.clearOrder] = 0;
        uint32_t* node = grid + diagonal * i;
        for (uint32_t c = 0; c < words; ++c) node[c] = 0;
        store_node(node, codes, k);
    }
}

// A gray table spans 0..255 in non-decreasing levels with the grid's channels.
bool gray_usable(const HXRGrayLutWork* g, uint32_t k) {
    return g && g->table && g->colorNum == k && HXRLutLevelsValid(g->gridPos, g->gridNum, kHxrLutGrayMaxGrid);
}

}  // namespace

uint32_t* HXRRebuildLut(const HXRLutWork* w, const HXRGrayLutWork* g, const uint32_t* dec, const uint32_t* enc,
                        const uint32_t* index, uint32_t n, HXRMemMgr* mem, uint8_t* grayOut) {
    if (!w || !w->table || !dec || !enc || !index || !mem) return nullptr;
    if (w->gridNum < 2 || w->gridNum > kHxrLutSrcMaxGrid || w->colorNum < 1 || w->colorNum > kHxrMaxInks)
        return nullptr;
    uint32_t p[64];
    if ((w->dimension != 3 && w->dimension != 4) || HXRGetRebuildGridPos(p, n, w->dimension) != 0) {
        HXRSetErrorInfo(kHxrLutTargetGrid);
        return nullptr;
    }
    const uint32_t words = HXRGetLutUnitSizeU32(w->colorNum);
    uint64_t nodes = 1;
    for (uint32_t a = 0; a < w->dimension; ++a) nodes *= n;
    const uint64_t bytes = nodes * words * 4;
    if (bytes > 0xFFFFFFFFu) return nullptr;
    auto* grid = static_cast<uint32_t*>(HXRAllocMem(mem, uint32_t(bytes)));
    if (!grid) return nullptr;
    const bool white = w->whiteNode == 1 && w->clearOrder >= 0 && uint32_t(w->clearOrder) < w->colorNum;
    const uint32_t clearWord = white ? uint32_t(w->clearOrder) / 4 : 0;
    const uint32_t clearMask = white ? ~(255u << LaneNodes::kLaneShift[w->clearOrder % 4]) : ~0u;
    if (w->dimension == 3) {
        rebuild_3d(*w, p, n, dec, enc, index, grid);
        if (white) grid[(nodes - 1) * words + clearWord] &= clearMask;
        if (gray_usable(g, w->colorNum) && grayOut) rebuild_gray(*g, *w, p, n, dec, enc, grid, grayOut);
    } else {
        rebuild_4d(*w, p, n, dec, enc, index, grid);
        if (white) grid[clearWord] &= clearMask;
    }
    return grid;
}
