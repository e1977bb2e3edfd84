#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_adjust.h"
#include "lut_build_fixture.h"
#include "support/model.h"
#include "support/model_index.h"

#include <array>
#include <cmath>
#include <functional>
#include <tuple>

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
    std::vector<uint8_t> out(k);
    for (uint32_t c = 0; c < k; ++c) out[c] = lane(grid + index * ((k + 3) / 4), c);
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
    HXRLutWork w{t.bytes.data(), uint32_t(t.levels.size()), {}, t.width, t.dim, 100, clear >= 0, clear, duty};
    std::copy(t.levels.begin(), t.levels.end(), w.gridPos);
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
        byChannel.bytes.reserve(nodes * c.k);
        for (uint64_t i = 0; i < nodes; ++i)
            for (uint32_t b = 0; b < c.k; ++b) byChannel.bytes.push_back(lane(grid + i * ((c.k + 3) / 4), b));
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

// ---- Builds from resources

RefTable ref_of(const LutClut& c) {
    RefTable t{c.table, {c.pos.begin(), c.pos.end()}, 0, c.dim};
    for (uint8_t code : c.inks) t.width += code != 255;
    return t;
}

// Every node of a built table against the reference.
void expect_grid(const HXRLutData* lut, const RefTable& t, const RefGray* gray, int32_t clear, uint32_t duty,
                 const uint32_t* dec, const uint32_t* enc) {
    ASSERT_NE(lut, nullptr);
    const uint32_t n = lut->gridNum;
    uint64_t nodes = 1;
    for (uint32_t a = 0; a < t.dim; ++a) nodes *= n;
    int bad = 0;
    for (uint64_t i = 0; i < nodes && bad < 5; ++i) {
        uint32_t idx[4];
        for (uint32_t a = t.dim, rest = uint32_t(i); a-- > 0; rest /= n) idx[a] = rest % n;
        if (node_of(lut->grid, i, t.width) != ref_node(t, gray, n, idx, clear, duty, dec, enc)) {
            ++bad;
            ADD_FAILURE() << "node " << i;
        }
    }
}

_HXR_HALFTONE_INFO halftone(uint32_t inkSet, uint32_t docType) {
    _HXR_HALFTONE_INFO h{};
    h.inkSet = inkSet;
    h.docType = docType;
    return h;
}

// The default model's tables through the slice builders: colour (with its
// gray table), 4D at duty 1536, and monochrome.
TEST_F(LutBuild, ModelTablesMatchReference) {
    const ModelDescription model = default_model();
    const LutSpec s3 = model_lut_3d(model, 0), s4 = model_lut_4d(model);
    HXRLutResParser* p3 = parse(s3);
    HXRLutResParser* p4 = parse(s4);
    ASSERT_TRUE(p3 && p4);
    const DecEnc colour(kModelColourDbg0, kModelColourDbg255), mono(kModelMonoDbg0, kModelMonoDbg255);
    const _HXR_HALFTONE_INFO ht = halftone(1, 0), htMono = halftone(0, 0);

    HXRLutSlc* slice = HXRCreateTRAQ2LutSlc(p3, 3, 64, 0, &ht, &options, kHxrDutyModeId, 0, clr(1), mm);
    ASSERT_NE(slice, nullptr);
    HXRLutData* lut = HXRGetTRAQ2Lut3DColor(slice);
    const RefTable t3 = ref_of(*s3.clut);
    RefGray gray{{}, {s3.egry->pos.begin(), s3.egry->pos.end()}};
    for (int16_t v : s3.egry->table) gray.values.push_back(uint32_t(v));
    expect_grid(lut, t3, &gray, -1, 1024, colour.dec, colour.enc);
    EXPECT_EQ(lut->gridNum, 64u);
    EXPECT_EQ(lut->dimension, 3u);
    EXPECT_EQ(lut->channels, 4u);
    EXPECT_TRUE(std::equal(t3.bytes.begin(), t3.bytes.end(), lut->paddedTable));  // K = 4: no padding
    uint32_t pre[256], index[256];
    HXRGetPreTable(pre, 64, 3);
    HXRGetSrcLutGridPosIndex(index, 17, std::vector<uint32_t>(t3.levels).data());
    EXPECT_TRUE(std::equal(pre, pre + 256, lut->preTable));
    EXPECT_EQ(HXRGetTRAQ2LutGridPosTable(slice), lut->srcGridIndex);
    EXPECT_TRUE(std::equal(index, index + 256, lut->srcGridIndex));
    EXPECT_TRUE(std::equal(colour.dec, colour.dec + 256, HXRGetTRAQ2LutDbgDecTable(slice)));
    EXPECT_TRUE(std::equal(colour.enc, colour.enc + 257, HXRGetTRAQ2LutDbgEncTable(slice)));
    ASSERT_NE(lut->grayAxis, nullptr);
    for (uint32_t i = 0; i < 64; ++i)
        for (uint32_t c = 0; c < 4; ++c) EXPECT_EQ(lut->grayAxis[4 * i + c], lane(lut->grid + i * 4161, c));
    EXPECT_EQ(HXRGetTRAQ2Lut4DColor(slice), nullptr);
    EXPECT_EQ(HXRGetTRAQ2LutTNMX(slice), nullptr);
    EXPECT_EQ(HXRSetTRAQ2LUTSlcPatternDitherUpperValue(slice, 77, 2), 1u);
    EXPECT_EQ(lut->patternUpper[2], 77u);
    EXPECT_EQ(HXRSetTRAQ2LUTSlcPatternDitherUpperValue(slice, 77, 12), 0u);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(slice, mm), 0u);

    _HXR_OPTION_INFO duty = options;
    set_duty(duty, 1536);
    slice = HXRCreateTRAQ2LutSlc(p4, 4, 32, 0, &ht, &duty, kHxrDutyModeId, 0, clr(1), mm);
    ASSERT_NE(slice, nullptr);
    expect_grid(HXRGetTRAQ2Lut4DColor(slice), ref_of(*s4.clut), nullptr, -1, 1536, colour.dec, colour.enc);
    EXPECT_EQ(HXRGetTRAQ2Lut4DColor(slice)->grayAxis, nullptr);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(slice, mm), 0u);

    // Monochrome: the mono table on the diagonal of a 17-node grid, no colour
    // table needed (the padded copy follows the work table).
    LutSpec monoSpec = s3;
    monoSpec.clut.reset();
    slice = HXRCreateTRAQ2LutSlc(parse(monoSpec), 3, 64, 0, &htMono, &options, kHxrDutyModeId, 0, clr(0), mm);
    ASSERT_NE(slice, nullptr);
    const uint32_t ns = uint32_t(s3.mlut->pos.size());
    RefTable tm{std::vector<uint8_t>(ns * ns * ns), {s3.mlut->pos.begin(), s3.mlut->pos.end()}, 1, 3};
    for (uint32_t j = 0; j < ns; ++j) tm.bytes[j * (ns * ns + ns + 1)] = s3.mlut->table[j];
    lut = HXRGetTRAQ2Lut3DColor(slice);
    expect_grid(lut, tm, nullptr, -1, 1024, mono.dec, mono.enc);
    EXPECT_EQ(HXRGetMemSize(mm, lut->paddedTable), ns * ns * ns * 4);
    EXPECT_EQ(lut->paddedTable[4 * (ns * ns + ns + 1)], s3.mlut->table[1]);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(slice, mm), 0u);
}

// A small resource of the CMYK ink set: a 3D table of 5 nodes at 200, gray
// table, mono table, gammas 100 (the coding is then exact: code c <-> 256 c).
LutSpec small_spec(const std::vector<uint8_t>& codes = {1, 2, 3, 0}, uint8_t dim = 3, uint32_t ns = 5) {
    LutSpec s;
    LutClut c;
    c.dim = dim;
    c.inks = codes;
    c.pos = model_grid(ns);
    size_t nodes = 1;
    for (int a = 0; a < dim; ++a) nodes *= ns;
    c.table.assign(nodes * codes.size(), 200);
    s.clut = c;
    s.egry = LutGray{1, 0, 2, 100, codes, model_grid(9), std::vector<int16_t>(9 * codes.size(), 200)};
    s.mlut = LutMono{1, 1, 0, model_grid(5), {0, 60, 120, 180, 240}};
    s.cdbg = s.mdbg = {100, 100};
    s.gama = 100;
    return s;
}

// The channel mode of the intent against ink sets with (7) and without (1)
// a colour-code-10 channel.
TEST_F(LutBuild, ChannelModesReadAndClear) {
    const std::vector<uint8_t> withClear = {1, 8, 2, 9, 3, 0, 10};  // ink set 7: code 10 at order 6
    const uint64_t n = 32;
    const struct {
        uint32_t inkSet, mode, dim;
        uint8_t clear[3], others;  // colour-code-10 channel at node 0, an inner node, the white node; the rest
    } cases[] = {
        {7, 0, 3, {200, 200, 200}, 200}, {7, 1, 3, {0, 0, 0}, 200},         {7, 2, 3, {0, 0, 0}, 200},
        {7, 3, 3, {200, 200, 0}, 200},   {7, 4, 3, {200, 200, 200}, 0},     {7, 5, 3, {200, 200, 0}, 0},
        {7, 6, 3, {200, 200, 200}, 200}, {7, 0xFFFFFFFF, 3, {200, 200, 200}, 200},
        {7, 3, 4, {0, 200, 200}, 200},   {7, 5, 4, {0, 200, 200}, 0},       {1, 1, 3, {200, 200, 200}, 200},
        {1, 4, 3, {0, 0, 0}, 0},         {1, 3, 3, {200, 200, 200}, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ink set " << c.inkSet << " mode " << c.mode << " dim " << c.dim);
        const std::vector<uint8_t> codes = c.inkSet == 7 ? withClear : std::vector<uint8_t>{1, 2, 3, 0};
        const uint32_t k = uint32_t(codes.size()), clearAt = c.inkSet == 7 ? 6 : 3;
        HXRLutData* lut = HXRCreateTRAQ2LutColorData(parse(small_spec(codes, uint8_t(c.dim), 3)), c.dim, 32, 1, 4,
                                                     &options, options.colorValue, kHxrDutyModeId, c.mode,
                                                     clr(c.inkSet), mm);
        ASSERT_NE(lut, nullptr);
        const uint64_t white = c.dim == 3 ? n * n * n - 1 : n * n * n * n - 1;
        const uint64_t nodes[3] = {0, 4242, white};
        for (int i = 0; i < 3; ++i) {
            const auto v = node_of(lut->grid, nodes[i], k);
            for (uint32_t ch = 0; ch < k; ++ch) EXPECT_EQ(v[ch], ch == clearAt ? c.clear[i] : c.others) << i << " " << ch;
        }
        EXPECT_EQ(HXRDeleteTRAQ2LutColorData(lut, mm), 0u);
    }
}

// Every code of the colour build, one field broken at a time; a failed build
// leaves no block behind.
TEST_F(LutBuild, ColourBuildRefusals) {
    auto gray_values = [](LutSpec& s, int16_t v) { s.egry->table[5] = v; };
    const struct {
        const char* what;
        uint32_t code, inkSet, lutType, gridNum, docType;
        std::function<void(LutSpec&, _HXR_OPTION_INFO&)> breakIt;
        uint8_t node0 = 200;  // a build that goes through: node 0's first code, gray table used
        bool gray = false;
    } cases[] = {
        {"ink count", 6351, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.clut->inks = {1, 2, 3, 255}; }},
        {"ink code", 6352, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.clut->inks = {1, 2, 0, 3}; }},
        {"no colour table", 6351, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.clut.reset(); }},
        {"grid count", 6354, 1, 3, 64, 0, [](LutSpec& s, auto&) { s = small_spec({1, 2, 3, 0}, 3, 33); }},
        {"gamma low", 6355, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.gama = 49, s.egry->gamma = 49; }},
        {"gamma high", 6355, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.gama = 301, s.egry->gamma = 301; }},
        {"no gamma", 6355, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.gama.reset(); }},
        {"mono ink count", 6356, 0, 3, 64, 0, [](LutSpec& s, auto&) { s.mlut->unit = 0, s.mlut->table.clear(); }},
        {"no mono table", 6356, 0, 3, 64, 0, [](LutSpec& s, auto&) { s.mlut.reset(); }},
        {"mono dimension", 6358, 0, 3, 64, 0, [](LutSpec& s, auto&) { s.mlut->dim = 2; }},
        {"mono grid", 6359, 0, 3, 64, 0,
         [](LutSpec& s, auto&) { s.mlut->pos = model_grid(33), s.mlut->table.assign(33, 9); }},
        {"gray ink count", 6360, 1, 3, 64, 0,
         [](LutSpec& s, auto&) { s.egry->inks = {1, 2, 3}, s.egry->table.resize(9 * 3); }},
        {"gray ink code", 6361, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.egry->inks = {2, 1, 3, 0}; }},
        {"gray dimension", 6362, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.egry->dim = 3; }},
        {"gray grid", 6363, 1, 3, 64, 0,
         [](LutSpec& s, auto&) { s.egry->pos = model_grid(65), s.egry->table.assign(65 * 4, 1); }},
        {"gray maximum", 6364, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.egry->selector = 3; }},
        {"gray value 256", 6364, 1, 3, 64, 0, [=](LutSpec& s, auto&) { gray_values(s, 256); }},
        {"gray value -1", 6364, 1, 3, 64, 0, [=](LutSpec& s, auto&) { gray_values(s, -1); }},
        {"lut type", 6366, 1, 4, 32, 0, [](LutSpec&, auto&) {}},
        {"lut type 4D", 6366, 1, 3, 64, 0, [](LutSpec& s, auto&) { s = small_spec({1, 2, 3, 0}, 4, 3); }},
        {"double gamma 0", 6367, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.cdbg.reset(); }},
        {"double gamma 255", 6368, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.cdbg = {120, -1}; }},
        {"no coding", 6367, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.cdbg = {50, 100}; }},
        {"mono double gamma", 6367, 0, 3, 64, 0, [](LutSpec& s, auto&) { s.mdbg.reset(); }},
        {"target grid", 6369, 1, 3, 48, 0, [](LutSpec&, auto&) {}},
        {"4D target grid", 6369, 1, 4, 64, 0, [](LutSpec& s, auto&) { s = small_spec({1, 2, 3, 0}, 4, 3); }},
        {"brightness", 9031, 1, 3, 64, 0, [](LutSpec&, auto& o) { o.tone[1] = 51; }},
        {"balance", 9031, 1, 3, 64, 0, [](LutSpec&, auto& o) { o.tone[6] = -51; }},
        {"gamma option", 9032, 1, 3, 64, 0, [](LutSpec&, auto& o) { o.tone[0] = 49; }},
        {"gamma option 0", 9032, 1, 3, 64, 0, [](LutSpec&, auto& o) { o.tone[0] = 0; }},
        {"mono saturation", 9033, 0, 3, 64, 0, [](LutSpec&, auto& o) { o.tone[3] = 1; }},
        {"duty 127", 9034, 1, 3, 64, 0, [](LutSpec&, auto& o) { set_duty(o, 127); }},
        {"duty 8193", 9034, 1, 4, 32, 0,
         [](LutSpec& s, auto& o) { s = small_spec({1, 2, 3, 0}, 4, 3), set_duty(o, 8193); }},
        // Not refusals: the gray table is skipped for document type 4, with
        // balances, and for a 4D table; a block without the identifier is 100 %.
        {"gray off for doc 4", 0, 1, 3, 64, 4, [](LutSpec& s, auto&) { s.egry->selector = 3; }},
        {"gray off with balance", 0, 1, 3, 64, 0, [](LutSpec& s, auto& o) { s.egry->dim = 3, o.tone[4] = 5; }},
        {"gray off with balance 2 alone", 0, 1, 3, 64, 0, [](LutSpec& s, auto& o) { s.egry->dim = 3, o.tone[5] = 5; }},
        {"gray off with balance 3 alone", 0, 1, 3, 64, 0, [](LutSpec& s, auto& o) { s.egry->dim = 3, o.tone[6] = -5; }},
        // The ends of the gamma range build, the gray table's too.
        {"gamma 50", 0, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.gama = 50, s.egry->gamma = 50; }, 200, true},
        {"gamma 300", 0, 1, 3, 64, 0, [](LutSpec& s, auto&) { s.gama = 300, s.egry->gamma = 300; }, 200, true},
        {"gray off for 4D", 0, 1, 4, 32, 0,
         [](LutSpec& s, auto&) { s = small_spec({1, 2, 3, 0}, 4, 3), s.egry->selector = 3; }},
        {"no identifier", 0, 1, 3, 64, 0, [](LutSpec&, auto& o) { set_duty(o, 127), o.colorValue[0] ^= 1; }, 200, true},
        {"trailing word", 0, 1, 3, 64, 0, [](LutSpec&, auto& o) { set_duty(o, 127), o.colorValue[11] = 0; }, 200, true},
        {"ink set 26: 4 LUT colours of 5 outputs", 0, 26, 3, 64, 0, [](LutSpec&, auto&) {}, 200, true},
        {"duty 128", 0, 1, 3, 64, 0, [](LutSpec&, auto& o) { set_duty(o, 128); }, 25, true},  // (200 x 128 + 512) >> 10
        {"duty 8192", 0, 1, 4, 32, 0, [](LutSpec& s, auto& o) { s = small_spec({1, 2, 3, 0}, 4, 3), set_duty(o, 8192); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LutSpec recipe = small_spec();
        _HXR_OPTION_INFO o = options;
        c.breakIt(recipe, o);
        HXRLutResParser* p = parse(recipe);
        ASSERT_NE(p, nullptr);
        const HXRClrMgr* colours = clr(c.inkSet);
        const uint32_t blocks = HXRGetMemBlockCount(mm);
        HXRLutData* lut = HXRCreateTRAQ2LutColorData(p, c.lutType, c.gridNum, c.inkSet != 0, c.docType, &o,
                                                     o.colorValue, kHxrDutyModeId, 0, colours, mm);
        EXPECT_EQ(error(), c.code);
        HXRSetErrorInfo(0);
        if (c.code != 0) {
            EXPECT_EQ(lut, nullptr);
            EXPECT_EQ(HXRGetMemBlockCount(mm), blocks);
        } else {
            ASSERT_NE(lut, nullptr);
            EXPECT_EQ(lut->grayAxis != nullptr, c.gray);
            EXPECT_EQ(lane(lut->grid, 0), c.node0);
            EXPECT_EQ(HXRDeleteTRAQ2LutColorData(lut, mm), 0u);
        }
    }
    // Arguments and the slice's own refusals.
    const _HXR_HALFTONE_INFO ht = halftone(1, 0);
    HXRLutResParser* p = parse(small_spec());
    for (uint32_t type : {0u, 1u, 2u, 5u, 16u, 18u})
        EXPECT_EQ(HXRCreateTRAQ2LutSlc(p, type, 64, 0, &ht, &options, kHxrDutyModeId, 0, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutSlc(p, 3, 64, 0, nullptr, &options, kHxrDutyModeId, 0, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutSlc(p, 3, 64, 0, &ht, nullptr, kHxrDutyModeId, 0, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutColorData(p, 3, 64, 1, 0, &options, nullptr, nullptr, 0, nullptr, mm), nullptr);
    EXPECT_EQ(error(), 0u);
    HXRLutSlc odd{nullptr, 9};
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(&odd, mm), 6202u);
    expect_error(6202);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(nullptr, mm), 6201u);
    expect_error(6201);
    EXPECT_EQ(HXRDeleteTRAQ2LutColorData(nullptr, mm), 6301u);
    expect_error(6301);
    EXPECT_EQ(HXRDeleteTRAQ2LutTNMXData(nullptr, mm), 7401u);
    expect_error(7401);
    EXPECT_EQ(HXRSetTRAQ2LUTSlcPatternDitherUpperValue(nullptr, 1, 0), 0u);
    EXPECT_EQ(HXRGetTRAQ2LutDbgDecTable(nullptr), nullptr);
}

// Every allocation of a 3D build with its gray table fails in turn: null,
// nothing left behind, until the build goes through.
TEST_F(LutBuild, AllocationFailuresLeaveNothing) {
    HXRLutResParser* p = parse(small_spec());
    const _HXR_HALFTONE_INFO ht = halftone(1, 0);
    const HXRClrMgr* colours = clr(1);
    options.tone[2] = 10;
    const uint32_t blocks = HXRGetMemBlockCount(mm);
    for (long n = 0;; ++n) {
        svc.fail_allocation_after(n);
        HXRLutSlc* s = HXRCreateTRAQ2LutSlc(p, 3, 64, 0, &ht, &options, kHxrDutyModeId, 0, colours, mm);
        svc.fail_allocation_after(-1);
        if (s) {
            EXPECT_GT(n, 5);
            EXPECT_EQ(HXRDeleteTRAQ2LutSlc(s, mm), 0u);
            break;
        }
        EXPECT_EQ(HXRGetMemBlockCount(mm), blocks) << n;
        ASSERT_LT(n, 50);
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), blocks);
}

// 4D at duty 1536: a flat table is extrapolated flat, and the boost
// 255 + floor(sqrt(sum of squared excesses)) raises channels 0, 2, 4, 5 only
// (all four of a four-channel table).
TEST_F(LutBuild, DutyBoostsTheNamedChannels) {
    const DecEnc de(100, 100);
    for (uint32_t k : {4u, 5u, 6u, 7u, 12u}) {
        std::vector<uint8_t> table(3 * 3 * 3 * 3 * k, 100);
        HXRLutWork w{table.data(), 3, {0, 128, 255}, k, 4, 100, 0, -1, 1536};
        uint32_t index[256];
        HXRGetSrcLutGridPosIndex(index, 3, w.gridPos);
        uint32_t* grid = HXRRebuildLut(&w, nullptr, de.dec, de.enc, index, 32, mm, nullptr);
        ASSERT_NE(grid, nullptr);
        for (uint32_t i = 0; i < 32 * 32 * 32 * 32; i += 7) {
            uint64_t s = 0;
            for (int a = 0; a < 4; ++a) {
                const int64_t q = (int64_t(Rebuild4DGridPos32[(i >> (5 * a)) & 31]) * 1536 + 512) >> 10;
                if (q > 255) s += uint64_t((q - 255) * (q - 255));
            }
            const uint32_t boosted = std::min(255u, 100 * (255 + uint32_t(std::floor(std::sqrt(double(s))))) / 255);
            const auto v = node_of(grid, i, k);
            for (uint32_t c = 0; c < k; ++c) {
                const bool named = k == 4 || c == 0 || c == 2 || c == 4 || c == 5;
                ASSERT_EQ(v[c], named ? boosted : 100) << "k " << k << " node " << i << " channel " << c;
            }
        }
        EXPECT_EQ(HXRFreeMem(mm, grid), 0u);
    }
}

// A table linear in decoded ink amount comes out of the re-gridding within
// one code of the same function at the new levels.
TEST_F(LutBuild, LinearTableStaysWithinOneCode) {
    std::mt19937 rng(5);
    for (auto [g0, g255, ns, repeats] : {std::tuple{100u, 100u, 17u, false}, {120u, 100u, 9u, true},
                                         {150u, 110u, 32u, false}, {100u, 100u, 5u, true}}) {
        const DecEnc de(g0, g255);
        const uint32_t k = 3;
        const double weight[k][3] = {{0.5, 0.3, 0.2}, {0.1, 0.1, 0.8}, {0.0, 1.0, 0.0}};
        // Within the coding's range: code 255 decodes to dec[255].
        auto amount = [&](uint32_t c, const uint32_t* l) {
            return uint32_t(de.dec[255] / 255.0 * (weight[c][0] * l[0] + weight[c][1] * l[1] + weight[c][2] * l[2]));
        };
        const std::vector<uint8_t> levels = random_levels(rng, ns, repeats);
        std::vector<uint8_t> table;
        for (uint32_t n = 0; n < ns * ns * ns; ++n) {
            const uint32_t l[3] = {levels[n / (ns * ns)], levels[n / ns % ns], levels[n % ns]};
            for (uint32_t c = 0; c < k; ++c) table.push_back(uint8_t(HXREncodeDoubleGamma(de.enc, amount(c, l))));
        }
        HXRLutWork w{table.data(), ns, {}, k, 3, 100, 0, -1, 1024};
        for (uint32_t i = 0; i < ns; ++i) w.gridPos[i] = levels[i];
        uint32_t index[256];
        HXRGetSrcLutGridPosIndex(index, ns, w.gridPos);
        uint32_t* grid = HXRRebuildLut(&w, nullptr, de.dec, de.enc, index, 64, mm, nullptr);
        ASSERT_NE(grid, nullptr);
        for (uint32_t n = 0; n < 64 * 64 * 64; ++n) {
            const uint32_t l[3] = {Rebuild3DGridPos64[n >> 12], Rebuild3DGridPos64[(n >> 6) & 63], Rebuild3DGridPos64[n & 63]};
            for (uint32_t c = 0; c < k; ++c) {
                const int want = int(HXREncodeDoubleGamma(de.enc, amount(c, l)));
                ASSERT_LE(std::abs(int(lane(grid + n, c)) - want), 1) << "ns " << ns << " node " << n << " c " << c;
            }
        }
        EXPECT_EQ(HXRFreeMem(mm, grid), 0u);
    }
}

TEST_F(LutBuild, UserColourTable) {
    const std::vector<uint8_t> codes7 = {1, 8, 2, 9, 3, 0, 10};
    auto blob = [](uint32_t k, uint32_t entries, int16_t count) {
        Bytes b = {uint8_t(k), 0, uint8_t(count), uint8_t(uint16_t(count) >> 8)};
        for (uint32_t e = 0; e < entries; ++e)
            for (uint32_t c = 0; c < k; ++c) b.push_back(uint8_t(e + 16 * c + 1));
        return b;
    };
    const struct {
        uint32_t inkSet, mode, entries, code;
        int16_t count;
    } cases[] = {
        {7, 0, 3, 0, 3}, {7, 2, 3, 0, 3}, {7, 4, 256, 0, 256}, {7, 5, 3, 0, 3}, {1, 2, 3, 0, 3}, {1, 4, 3, 0, 3},
        {7, 1, 3, 0, 3}, {1, 0, 2, 6551, 2}, {7, 0, 2, 5451, 0}, {7, 0, 2, 5451, 257}, {7, 0, 2, 6552, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ink set " << c.inkSet << " mode " << c.mode << " count " << c.count);
        const uint32_t k = c.inkSet == 7 ? 7 : 4;
        const Bytes b = blob(c.code == 6551 ? 3 : k, c.entries, c.count);
        const uint32_t blocks = HXRGetMemBlockCount(mm);
        HXRLutUserData* u = HXRCreateTRAQ2LutUserData(b.data(), uint32_t(b.size()), c.mode, clr(c.inkSet), mm);
        expect_error(c.code);
        if (c.code != 0) {
            EXPECT_EQ(u, nullptr);
            EXPECT_EQ(HXRGetMemBlockCount(mm), blocks + 1);  // the colour manager
            continue;
        }
        ASSERT_NE(u, nullptr);
        const uint32_t words = (k + 3) / 4;
        EXPECT_EQ(HXRGetMemSize(mm, u), 256 * words * 4);
        for (uint32_t e = 0; e < 256; ++e) {
            for (uint32_t ch = 0; ch < k; ++ch) {
                const bool isClear = k == 7 && ch == 6;
                const bool cleared = (c.mode == 2 && isClear) || ((c.mode == 4 || c.mode == 5) && k == 7 && !isClear);
                const uint8_t want = e < c.entries && !cleared ? uint8_t(e + 16 * ch + 1) : 0;
                ASSERT_EQ(lane(u + e * words, ch), want) << e << " " << ch;
            }
        }
    }
    EXPECT_EQ(HXRCreateTRAQ2LutUserData(nullptr, 4, 0, clr(1), mm), nullptr);
}

TEST_F(LutBuild, AdditionalTableAndDoubleGammaSlice) {
    const _HXR_HALFTONE_INFO ht = halftone(1, 0), htMono = halftone(0, 0);
    HXRLutResParser* p = parse(small_spec());
    HXRLutSlc* slice = HXRCreateTRAQ2LutSlc(p, 3, 32, 0, &ht, &options, kHxrDutyModeId, 0, clr(1), mm);
    ASSERT_NE(slice, nullptr);
    uint8_t bytes[8] = {0, 1, 100, 200, 255, 128, 64, 10};
    const HXRAdditionalLut blob{8, bytes};
    _HXR_OPTION_INFO duty = options;
    set_duty(duty, 1536);
    EXPECT_EQ(HXR8SetTRAQ2LutSlcCopyAdditionalLUT(slice, &blob, 3, &duty, kHxrDutyModeId, clr(1), mm), 1u);
    expect_error(20403);  // 8 bytes, 3 x 4 expected
    EXPECT_EQ(HXR8SetTRAQ2LutSlcCopyAdditionalLUT(slice, &blob, 2, &options, kHxrDutyModeId, clr(1), mm), 0u);
    EXPECT_EQ(HXR8SetTRAQ2LutSlcCopyAdditionalLUT(slice, &blob, 2, &duty, kHxrDutyModeId, clr(1), mm), 0u);
    const HXRAdditionalLut* a = HXRGetTRAQ2Lut3DColor(slice)->additional;
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->size, 8u);
    const uint8_t scaled[8] = {0, 2, 150, 255, 255, 192, 96, 15};  // (v 1536 + 512) >> 10, capped
    EXPECT_TRUE(std::equal(scaled, scaled + 8, a->data));
    set_duty(duty, 8193);
    EXPECT_EQ(HXR8SetTRAQ2LutSlcCopyAdditionalLUT(slice, &blob, 2, &duty, kHxrDutyModeId, clr(1), mm), 1u);
    expect_error(9034);
    EXPECT_EQ(HXRGetTRAQ2Lut3DColor(slice)->additional, a);  // the previous copy stays
    EXPECT_EQ(HXR8SetTRAQ2LutSlcCopyAdditionalLUT(nullptr, &blob, 2, &duty, kHxrDutyModeId, clr(1), mm), 1u);
    const uint32_t blocks = HXRGetMemBlockCount(mm);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(slice, mm), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(mm), blocks - 7);  // grid, copies, additional bytes and record, object, slice
    // Double-gamma-only slices: modes 1, 2 and 5; the mono pair for ink set 0.
    for (uint32_t mode = 0; mode < 7; ++mode) {
        HXRLutSlc* s = HXRCreateTRAQ2LutSlcOnlyDbg(p, mode, mode == 5 ? &htMono : &ht, mm);
        EXPECT_EQ(s != nullptr, mode == 1 || mode == 2 || mode == 5) << mode;
        if (!s) continue;
        EXPECT_EQ(HXRGetTRAQ2Lut3DColor(s)->grid, nullptr);
        EXPECT_EQ(HXRGetTRAQ2LutDbgDecTable(s)[3], 768u);
        EXPECT_EQ(HXRDeleteTRAQ2LutSlc(s, mm), 0u);
    }
    LutSpec noGamma = small_spec();
    noGamma.mdbg = {100, -1};
    EXPECT_EQ(HXRCreateTRAQ2LutSlcOnlyDbg(parse(noGamma), 1, &htMono, mm), nullptr);
    expect_error(6368);
    noGamma.cdbg.reset();
    EXPECT_EQ(HXRCreateTRAQ2LutSlcOnlyDbg(parse(noGamma), 1, &ht, mm), nullptr);
    expect_error(6367);
}

}  // namespace
