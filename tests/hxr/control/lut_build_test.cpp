#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_adjust.h"
#include "hxr/control/hxr_lut_tetra.h"
#include "lut_build_fixture.h"
#include "support/model.h"
#include "support/model_index.h"

#include <array>

namespace {

using namespace ovcg_test;

// ---- Slow reference: the re-gridding transcribed node by node, byte by byte,
// with nothing precomputed but the decode and encode tables.

struct RefTable {
    std::vector<uint8_t> bytes;  // Ns^D nodes of `width` bytes
    std::vector<uint32_t> levels;
    uint32_t width = 0, dim = 3;
};

uint32_t ref_index(const std::vector<uint32_t>& L, uint32_t v) {
    const size_t n = L.size();
    if (v == L[n - 1]) return uint32_t(128 * (n - 1));
    for (size_t k = 0; k + 1 < n; ++k) {
        const uint32_t s = L[k + 1] - L[k];
        if (s > 0 && L[k] <= v && v < L[k + 1]) return uint32_t(128 * k + ((v - L[k]) * 128 + s / 2) / s);
    }
    ADD_FAILURE() << "level " << v << " off the grid";
    return 0;
}

// The six tetrahedra in the order the builder documents them.
std::array<int, 3> ref_order(const uint32_t* f) {
    if (f[0] >= f[1] && f[1] >= f[2]) return {0, 1, 2};
    if (f[0] >= f[2] && f[2] > f[1]) return {0, 2, 1};
    if (f[2] > f[0] && f[0] >= f[1]) return {2, 0, 1};
    if (f[1] > f[0] && f[0] >= f[2]) return {1, 0, 2};
    if (f[1] >= f[2] && f[2] > f[0]) return {1, 2, 0};
    return {2, 1, 0};
}

// One interpolated node of a table at input levels l[0..dim).
std::vector<uint8_t> ref_interpolate(const RefTable& t, const uint32_t* level, const uint32_t* dec, const uint32_t* enc) {
    const uint32_t ns = uint32_t(t.levels.size());
    uint32_t l[4], node[4], f[4];
    uint64_t excess = 0;
    for (uint32_t a = 0; a < t.dim; ++a) {
        l[a] = level[a];
        if (l[a] > 255) excess += uint64_t(l[a] - 255) * (l[a] - 255), l[a] = 255;
        const uint32_t s = ref_index(t.levels, l[a]);
        node[a] = s >> 7, f[a] = s & 127;
        if (node[a] == ns - 1) node[a] = ns - 2, f[a] = 128;
    }
    const std::array<int, 3> o = ref_order(f);
    const uint32_t w[4] = {128 - f[o[0]], f[o[0]] - f[o[1]], f[o[1]] - f[o[2]], f[o[2]]};
    auto byte_at = [&](const uint32_t* n, uint32_t c) {
        size_t idx = 0;
        for (uint32_t a = 0; a < t.dim; ++a) idx = idx * ns + n[a];
        return t.bytes[idx * t.width + c];
    };
    // Weighted sum of the tetrahedron's vertices at fourth-axis node j.
    auto sum_at = [&](uint32_t j, uint32_t c) {
        uint32_t v[4] = {node[0], node[1], node[2], j};
        uint64_t sum = uint64_t(w[0]) * dec[byte_at(v, c)];
        for (int k = 0; k < 3; ++k) {
            ++v[o[k]];
            sum += uint64_t(w[k + 1]) * dec[byte_at(v, c)];
        }
        return sum;
    };
    std::vector<uint8_t> out(t.width);
    for (uint32_t c = 0; c < t.width; ++c) {
        if (t.dim == 3) {
            out[c] = uint8_t(HXREncodeDoubleGamma(enc, uint32_t(sum_at(0, c) >> 7)));
        } else {
            const uint64_t mix = sum_at(node[3], c) * (128 - f[3]) + sum_at(node[3] + 1, c) * f[3];
            out[c] = uint8_t(HXREncodeDoubleGamma(enc, uint32_t(mix >> 14)));
        }
    }
    if (excess > 0) {
        uint64_t x = (1 + excess) / 2;  // integer Newton iteration
        for (uint64_t y = (excess / x + x) / 2; y < x; y = (excess / x + x) / 2) x = y;
        const uint32_t boost = uint32_t(255 + x);
        for (uint32_t c = 0; c < t.width; ++c)
            if (t.width == 4 || c == 0 || c == 2 || c == 4 || c == 5) out[c] = uint8_t(std::min(255u, out[c] * boost / 255));
    }
    return out;
}

struct RefGray {
    std::vector<uint32_t> values;  // Ng x K
    std::vector<uint32_t> levels;
};

// A rebuilt node of the reference: re-gridded, then the white node and the
// gray diagonal as the builder documents them.
std::vector<uint8_t> ref_node(const RefTable& t, const RefGray* gray, uint32_t n, const uint32_t* idx, int32_t clear,
                              uint32_t duty, const uint32_t* dec, const uint32_t* enc) {
    const uint32_t* p = t.dim == 4 ? Rebuild4DGridPos32 : n == 64 ? Rebuild3DGridPos64 : Rebuild3DGridPos32;
    const bool diagonal = idx[0] == idx[1] && idx[1] == idx[2];
    std::vector<uint8_t> out;
    if (t.dim == 3 && gray && diagonal) {
        const uint32_t target = p[idx[0]], k = t.width;
        size_t j = 0;
        while (gray->levels[j] < target) ++j;
        for (uint32_t c = 0; c < k; ++c) {
            if (gray->levels[j] == target) {
                out.push_back(uint8_t(gray->values[j * k + c]));
            } else {
                const uint64_t lo = gray->levels[j - 1], hi = gray->levels[j];
                const uint64_t mix = ((hi - target) * dec[gray->values[(j - 1) * k + c]] +
                                      (target - lo) * dec[gray->values[j * k + c]]) * 128 / (hi - lo);
                out.push_back(uint8_t(HXREncodeDoubleGamma(enc, uint32_t(mix >> 7))));
            }
        }
    } else {
        uint32_t level[4];
        for (uint32_t a = 0; a < t.dim; ++a) level[a] = uint32_t((uint64_t(p[idx[a]]) * duty + 512) >> 10);
        out = ref_interpolate(t, level, dec, enc);
    }
    const bool white = t.dim == 3 ? diagonal && idx[0] == n - 1 : (idx[0] | idx[1] | idx[2] | idx[3]) == 0;
    if (white && clear >= 0) out[clear] = 0;
    return out;
}

// Channel k of a lane-layout node, read from its word.
uint8_t lane(const uint32_t* node, uint32_t k) {
    static const int shift[4] = {0, 16, 8, 24};
    return uint8_t(node[k / 4] >> shift[k % 4]);
}

std::vector<uint8_t> node_of(const uint32_t* grid, uint64_t index, uint32_t k) {
    std::vector<uint8_t> out;
    for (uint32_t c = 0; c < k; ++c) out.push_back(lane(grid + index * ((k + 3) / 4), c));
    return out;
}

struct DecEnc {
    uint32_t dec[256], enc[257];
    DecEnc(uint32_t g0, uint32_t g255) {
        EXPECT_EQ(HXRGetDbgDecTable(dec, g0, g255), 0u);
        EXPECT_EQ(HXRGetDbgEncTable(enc, g0, g255), 0u);
    }
};

RefTable random_table(std::mt19937& rng, uint32_t dim, uint32_t ns, uint32_t k, bool repeats) {
    RefTable t;
    t.dim = dim;
    t.width = k;
    for (uint8_t l : random_levels(rng, ns, repeats)) t.levels.push_back(l);
    size_t nodes = 1;
    for (uint32_t a = 0; a < dim; ++a) nodes *= ns;
    t.bytes.resize(nodes * k);
    for (uint8_t& b : t.bytes) b = uint8_t(rng());
    return t;
}

HXRLutWork work_of(RefTable& t, int32_t clear, uint32_t duty) {
    HXRLutWork w{};
    w.table = t.bytes.data();
    w.gridNum = uint32_t(t.levels.size());
    for (uint32_t i = 0; i < kHxrLutSrcMaxGrid; ++i) w.gridPos[i] = i < w.gridNum ? t.levels[i] : 0xFFFFFFFFu;
    w.colorNum = t.width;
    w.dimension = t.dim;
    w.gamma = 100;
    w.whiteNode = clear >= 0;
    w.clearOrder = clear;
    w.duty = duty;
    return w;
}

using LutBuild = LutBuildTest;

TEST_F(LutBuild, RearrangePutsChannelsInLanes) {
    uint32_t values[12], out[3];
    for (uint32_t k = 0; k < 12; ++k) values[k] = 0x10 + k;
    for (int32_t count = 1; count <= 12; ++count) {
        std::fill(std::begin(out), std::end(out), 0xDEADBEEFu);
        ASSERT_EQ(HXRRearrangeLut(out, values, count), uint32_t((count + 3) / 4));
        for (int32_t w = 0; w < (count + 3) / 4; ++w) {
            uint8_t bytes[4];
            for (int b = 0; b < 4; ++b) bytes[b] = uint8_t(out[w] >> (8 * b));  // memory order
            const int channel[4] = {0, 2, 1, 3};                                 // byte -> channel
            for (int b = 0; b < 4; ++b) {
                const int c = 4 * w + channel[b];
                EXPECT_EQ(bytes[b], c < count ? 0x10 + c : 0) << count << " " << b;
                if (c < count) {
                    EXPECT_EQ(HXRSortIndexLutResToRebuildLut(uint32_t(c)), uint32_t(4 * w + b));
                }
            }
        }
    }
    EXPECT_EQ(HXRRearrangeLut(out, values, 0), 0u);
}

TEST_F(LutBuild, SourceGridIndexGoldens) {
    uint32_t idx[256];
    const uint32_t three[3] = {0, 100, 255};
    ASSERT_EQ(HXRGetSrcLutGridPosIndex(idx, 3, three), 0u);
    // 128 k + ((v - L[k]) 128 + s/2) / s: s = 100 then 155.
    const std::pair<uint32_t, uint32_t> golden[] = {{0, 0},     {1, 1},     {50, 64},   {99, 127}, {100, 128},
                                                    {101, 129}, {178, 192}, {254, 255}, {255, 256}};
    for (auto [v, want] : golden) EXPECT_EQ(idx[v], want) << v;
    // Repeated levels: the empty first interval still counts as node 0.
    const uint32_t rep[4] = {0, 0, 128, 255};
    ASSERT_EQ(HXRGetSrcLutGridPosIndex(idx, 4, rep), 0u);
    EXPECT_EQ(idx[0], 128u);
    EXPECT_EQ(idx[64], 192u);
    EXPECT_EQ(idx[255], 384u);
    idx[0] = idx[1] = 77;
    ASSERT_EQ(HXRGetSrcLutGridPosIndex(idx, 1, three), 0u);
    EXPECT_EQ(idx[0], 0u);
    EXPECT_EQ(idx[1], 77u);
    EXPECT_EQ(HXRGetSrcLutGridPosIndex(nullptr, 3, three), 1u);
    EXPECT_EQ(HXRGetSrcLutGridPosIndex(idx, 3, nullptr), 1u);
    const uint32_t falling[3] = {0, 200, 100};
    EXPECT_EQ(HXRGetSrcLutGridPosIndex(idx, 3, falling), 1u);
}

TEST_F(LutBuild, TetrahedronOrderFollowsTheFractions) {
    const size_t stride[3] = {100, 10, 1};
    const struct {
        uint32_t f[3];
        size_t off1, off2;
    } cases[] = {{{9, 5, 2}, 100, 110}, {{9, 5, 5}, 100, 110}, {{9, 2, 5}, 100, 101}, {{5, 2, 9}, 1, 101},
                 {{5, 5, 9}, 1, 101},   {{5, 9, 2}, 10, 110},  {{2, 9, 5}, 10, 11},   {{2, 9, 9}, 10, 11},
                 {{2, 5, 9}, 1, 11},    {{7, 7, 7}, 100, 110}};
    for (const auto& c : cases) {
        const HXRTetra t = HXRTetraWeights(128, c.f, stride);
        const std::array<int, 3> o = ref_order(c.f);
        EXPECT_EQ(t.off[1], c.off1);
        EXPECT_EQ(t.off[2], c.off2);
        EXPECT_EQ(t.off[3], 111u);
        EXPECT_EQ(t.off[1], stride[o[0]]);
        EXPECT_EQ(t.w[0] + t.w[1] + t.w[2] + t.w[3], 128u);
        EXPECT_EQ(t.w[0], 128 - c.f[o[0]]);
        EXPECT_EQ(t.w[3], c.f[o[2]]);
    }
}

// The fast build against the reference on random tables: every node of 3D
// grids, a sample of every 4D grid plus its corners.
TEST_F(LutBuild, RebuildMatchesReference) {
    std::mt19937 rng(19);
    const struct {
        uint32_t dim, n, ns, k, g0, g255, duty;
        int32_t clear;
        bool gray, repeats;
    } cases[] = {
        {3, 32, 17, 6, 120, 100, 1024, 5, true, false}, {3, 64, 5, 4, 100, 100, 1024, -1, false, true},
        {3, 32, 2, 1, 150, 30, 1024, 0, true, true},     {3, 32, 32, 12, 100, 60, 1024, 11, false, true},
        {3, 32, 9, 7, 300, 99, 1024, -1, true, true},    {4, 32, 9, 4, 120, 100, 1536, 3, false, false},
        {4, 32, 5, 6, 100, 40, 8192, -1, false, true},   {4, 32, 3, 5, 100, 100, 128, 2, false, true},
        {4, 32, 2, 12, 200, 100, 1024, -1, false, false}, {4, 32, 12, 1, 100, 100, 2048, 0, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dim " << c.dim << " ns " << c.ns << " k " << c.k << " duty " << c.duty);
        RefTable t = random_table(rng, c.dim, c.ns, c.k, c.repeats);
        const DecEnc de(c.g0, c.g255);
        RefGray gray;
        for (uint8_t l : random_levels(rng, 2 + rng() % 63, c.repeats)) gray.levels.push_back(l);
        for (size_t i = 0; i < gray.levels.size() * c.k; ++i) gray.values.push_back(rng() % 256);
        HXRGrayLutWork gw{gray.values.data(), uint32_t(gray.levels.size()), {}, c.k, 100, 1, c.clear};
        for (size_t i = 0; i < gray.levels.size(); ++i) gw.gridPos[i] = gray.levels[i];
        HXRLutWork w = work_of(t, c.clear, c.duty);
        uint32_t index[256];
        ASSERT_EQ(HXRGetSrcLutGridPosIndex(index, w.gridNum, w.gridPos), 0u);
        std::vector<uint8_t> grayOut(c.n * 4 * ((c.k + 3) / 4), 0xEE);
        uint32_t* grid = HXRRebuildLut(&w, c.gray ? &gw : nullptr, de.dec, de.enc, index, c.n, mm, grayOut.data());
        ASSERT_NE(grid, nullptr);
        const uint64_t nodes = c.dim == 3 ? uint64_t(c.n) * c.n * c.n : uint64_t(c.n) * c.n * c.n * c.n;
        std::vector<uint64_t> check;
        if (c.dim == 3) {
            for (uint64_t i = 0; i < nodes; ++i) check.push_back(i);
        } else {
            for (int i = 0; i < 3000; ++i) check.push_back(rng() % nodes);
            for (uint64_t corner = 0; corner < 16; ++corner)
                check.push_back(((corner & 8) ? 31u << 15 : 0) | ((corner & 4) ? 31u << 10 : 0) |
                                ((corner & 2) ? 31u << 5 : 0) | ((corner & 1) ? 31u : 0));
        }
        int bad = 0;
        for (uint64_t i : check) {
            uint32_t idx[4];
            for (uint32_t a = c.dim, rest = uint32_t(i); a-- > 0; rest /= c.n) idx[a] = rest % c.n;
            const auto want = ref_node(t, c.gray ? &gray : nullptr, c.n, idx, c.clear, c.dim == 4 ? c.duty : 1024,
                                       de.dec, de.enc);
            if (node_of(grid, i, c.k) != want && ++bad < 5) ADD_FAILURE() << "node " << i;
            for (uint32_t b = c.k; b < 4 * ((c.k + 3) / 4); ++b)
                if (lane(grid + i * ((c.k + 3) / 4), b) != 0 && ++bad < 5) ADD_FAILURE() << "padding of node " << i;
        }
        if (c.gray) {  // the gray-axis copy holds the diagonal before the white-node rule
            for (uint32_t i = 0; i < c.n; ++i) {
                const uint32_t idx[3] = {i, i, i};
                auto want = ref_node(t, &gray, c.n, idx, -1, 1024, de.dec, de.enc);
                EXPECT_TRUE(std::equal(want.begin(), want.end(), grayOut.begin() + i * 4 * ((c.k + 3) / 4))) << i;
            }
        }
        // Single-pixel queries over the rebuilt grid against the reference
        // read channel by channel from the lanes (4D levels past 255 boost).
        RefTable byChannel{{}, {}, c.k, c.dim};
        const uint32_t* p = c.dim == 4 ? Rebuild4DGridPos32 : c.n == 64 ? Rebuild3DGridPos64 : Rebuild3DGridPos32;
        byChannel.levels.assign(p, p + c.n);
        for (uint64_t i = 0; i < nodes; ++i) {
            const auto v = node_of(grid, i, c.k);
            byChannel.bytes.insert(byChannel.bytes.end(), v.begin(), v.end());
        }
        uint32_t gindex[256];
        ASSERT_EQ(HXRGetSrcLutGridPosIndex(gindex, c.n, byChannel.levels.data()), 0u);
        for (int q = 0; q < 100; ++q) {
            const uint32_t l[4] = {uint32_t(rng() % 256), uint32_t(rng() % 256), uint32_t(rng() % 256),
                                   uint32_t(q < 20 ? 256 + rng() % 200 : rng() % 256)};
            uint8_t out[12];
            const uint32_t rc = c.dim == 3 ? HXR8TRAQ2LutInterpolate3D(out, l[0], l[1], l[2], de.dec, de.enc, grid,
                                                                        c.n, c.k, gindex)
                                            : HXR8TRAQ2LutInterpolate4D(out, l[0], l[1], l[2], l[3], de.dec, de.enc,
                                                                        grid, c.n, c.k, gindex);
            ASSERT_EQ(rc, 0u);
            const auto want = ref_interpolate(byChannel, l, de.dec, de.enc);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), out)) << q;
        }
        EXPECT_EQ(HXRFreeMem(mm, grid), 0u);
    }
    uint8_t out[4];
    const DecEnc de(100, 100);
    uint32_t grid[8] = {}, index[256] = {};
    EXPECT_EQ(HXR8TRAQ2LutInterpolate3D(out, 0, 0, 0, de.dec, de.enc, grid, 1, 1, index), 1u);
    EXPECT_EQ(HXR8TRAQ2LutInterpolate3D(out, 0, 0, 0, de.dec, de.enc, grid, 2, 13, index), 1u);
    EXPECT_EQ(HXR8TRAQ2LutInterpolate4D(nullptr, 0, 0, 0, 0, de.dec, de.enc, grid, 2, 1, index), 1u);
}

}  // namespace
