#include "hxr/control/hxr_dblgamma.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// D(x) and decode(x) written out literally, in 128-bit arithmetic so that
// nothing can wrap.
unsigned __int128 ref_d(uint32_t g0, uint32_t g255, uint32_t x) {
    const unsigned __int128 rest = 8160 - x;
    const unsigned __int128 first = (unsigned __int128)(g0 - g255) * rest / 100;
    return first * rest / 8160 + (unsigned __int128)g255 * 8160 / 100;
}
uint64_t ref_decode(uint32_t g0, uint32_t g255, uint32_t x) {
    return uint64_t((unsigned __int128)65280 * x / ref_d(g0, g255, x));
}

// The encode table by exhaustive search: for every code the smallest x not
// below the previous entry that reaches the target. False when none does.
bool ref_encode(uint32_t g0, uint32_t g255, std::vector<uint32_t>& enc) {
    enc.assign(257, 0);
    const uint64_t cap = 532684800ull / (uint64_t(g255) * 8160 / 100);
    for (uint32_t i = 1; i < 256; ++i) {
        const uint64_t target = std::min<uint64_t>(256ull * i, cap);
        bool found = false;
        for (uint32_t x = 0; x <= 8160 && !found; ++x) {
            if (x < enc[i - 1]) continue;
            if (ref_decode(g0, g255, x) >= target) {
                enc[i] = x;
                found = true;
            }
        }
        if (!found) return false;
    }
    enc[256] = enc[255];
    return true;
}

TEST(DoubleGamma, HundredHundredIsLinear) {
    uint32_t dec[256], enc[257];
    ASSERT_EQ(HXRGetDbgDecTable(dec, 100, 100), 0u);
    ASSERT_EQ(HXRGetDbgEncTable(enc, 100, 100), 0u);
    for (uint32_t j = 0; j < 256; ++j) EXPECT_EQ(dec[j], 256 * j) << j;
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(enc[i], 32 * i) << i;
    EXPECT_EQ(enc[256], enc[255]);
    // (32 i + 32 f / 256 + 16) >> 5: a linear value lands on about a 32nd of x.
    const struct {
        uint32_t value, code;
    } codes[] = {{0, 0}, {127, 0}, {128, 1}, {256, 1}, {383, 1}, {384, 2}, {65280, 255}, {65535, 255}};
    for (const auto& c : codes) EXPECT_EQ(HXREncodeDoubleGamma(enc, c.value), c.code) << c.value;
}

// The fast tables against the literal formulas and the exhaustive search, on
// random valid pairs (some beyond the point where 32 bits wrapped).
TEST(DoubleGamma, TablesEqualExhaustiveSearch) {
    std::mt19937 rng(16);
    int compared = 0;
    for (int n = 0; n < 200; ++n) {
        const uint32_t g255 = 1 + rng() % 400;
        const uint32_t g0 = g255 + (n % 4 == 0 ? 6400 + rng() % 3000 : rng() % 600);
        uint32_t dec[256], enc[257];
        ASSERT_EQ(HXRGetDbgDecTable(dec, g0, g255), 0u);
        for (uint32_t j = 0; j < 256; ++j) ASSERT_EQ(dec[j], ref_decode(g0, g255, 32 * j)) << g0 << "/" << g255;
        std::vector<uint32_t> ref;
        const bool ok = ref_encode(g0, g255, ref);
        ASSERT_EQ(HXRGetDbgEncTable(enc, g0, g255), ok ? 0u : 1u) << g0 << "/" << g255;
        if (!ok) continue;
        ++compared;
        for (uint32_t i = 0; i < 257; ++i) ASSERT_EQ(enc[i], ref[i]) << g0 << "/" << g255 << " at " << i;
    }
    EXPECT_GT(compared, 150);
}

TEST(DoubleGamma, WideGapsComputeWithoutWrapping) {
    // g0 - g255 = 7000: the first product 571200 x 8160 exceeds 32 bits.
    EXPECT_EQ(HXRDbgDenominator(7100, 100, 0), 571200u + 8160u);
    uint32_t dec[256];
    ASSERT_EQ(HXRGetDbgDecTable(dec, 7100, 100), 0u);
    EXPECT_EQ(dec[1], 65280u * 32 / (uint64_t(7000) * 8128 / 100 * 8128 / 8160 + 8160));
}

TEST(DoubleGamma, PairsWithoutATable) {
    uint32_t dec[256], enc[257];
    const struct {
        uint32_t g0, g255;
    } pairs[] = {{100, 0}, {0, 0}, {99, 100}, {0, 1}};
    for (const auto& p : pairs) {
        EXPECT_EQ(HXRGetDbgDecTable(dec, p.g0, p.g255), 1u) << p.g0 << "/" << p.g255;
        EXPECT_EQ(HXRGetDbgEncTable(enc, p.g0, p.g255), 1u) << p.g0 << "/" << p.g255;
    }
    EXPECT_EQ(HXRGetDbgDecTable(nullptr, 100, 100), 1u);
    EXPECT_EQ(HXRGetDbgEncTable(nullptr, 100, 100), 1u);
}

TEST(DoubleGamma, AmountsAboveTheScaleClampToTheLastCode) {
    // g255 = 50 decodes code 255 to about 130560.
    uint32_t dec[256], enc[257];
    ASSERT_EQ(HXRGetDbgDecTable(dec, 100, 50), 0u);
    ASSERT_EQ(HXRGetDbgEncTable(enc, 100, 50), 0u);
    EXPECT_GT(dec[255], 65535u);
    const uint32_t top = (enc[255] + 16) >> 5;
    for (uint32_t v : {65535u, 65536u, 130560u, 0xFFFFFFFFu}) EXPECT_EQ(HXREncodeDoubleGamma(enc, v), top) << v;
    const uint32_t codes[2] = {255, 255};
    const uint32_t* tables[2] = {dec, dec};
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(codes, tables, enc), top);
    // Every code decodes and re-encodes to itself or below, never above 255.
    uint32_t last = 0;
    for (uint32_t v = 0; v < 70000; v += 7) {
        const uint32_t c = HXREncodeDoubleGamma(enc, v);
        EXPECT_LE(c, 255u);
        EXPECT_GE(c, last);
        last = c;
    }
}

TEST(DoubleGamma, MeanOfTwoInks) {
    uint32_t dec[256], enc[257];
    ASSERT_EQ(HXRGetDbgDecTable(dec, 100, 100), 0u);
    ASSERT_EQ(HXRGetDbgEncTable(enc, 100, 100), 0u);
    const uint32_t* tables[2] = {dec, dec};
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
            const uint32_t codes[2] = {a, b};
            ASSERT_EQ(HXRGetMeanInkValueDecodeEncode(codes, tables, enc), (a + b + 1) >> 1) << a << "," << b;
        }
    const uint32_t codes[2] = {10, 20}, bad[2] = {256, 0};
    const uint32_t* half[2] = {dec, nullptr};
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(nullptr, tables, enc), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(codes, nullptr, enc), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(codes, half, enc), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(codes, tables, nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetMeanInkValueDecodeEncode(bad, tables, enc), 0xFFFFFFFFu);
}

TEST(DoubleGamma, GridsAndPreTables) {
    const struct {
        uint32_t count, type;
        const uint32_t* levels;
    } grids[] = {{32, 3, Rebuild3DGridPos32}, {64, 3, Rebuild3DGridPos64}, {32, 4, Rebuild4DGridPos32}};
    for (const auto& g : grids) {
        uint32_t out[256], pre[256];
        ASSERT_EQ(HXRGetRebuildGridPos(out, g.count, g.type), 0u);
        ASSERT_EQ(HXRGetPreTable(pre, g.count, g.type), 0u);
        EXPECT_EQ(out[0], 0u);
        EXPECT_EQ(out[g.count - 1], 255u);
        for (uint32_t k = 0; k < g.count; ++k) EXPECT_EQ(out[k], g.levels[k]);
        // Literally: the first node at or above v, and the step back from it.
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t k = 0;
            while (g.levels[k] < v) ++k;
            const uint32_t want =
                g.levels[k] == v ? 256 * k : 256 * k - 256 * (g.levels[k] - v) / (g.levels[k] - g.levels[k - 1]);
            ASSERT_EQ(pre[v], want) << g.count << "/" << g.type << " at " << v;
            EXPECT_LE((pre[v] + 255) >> 8, g.count - 1);
        }
    }
    uint32_t pre[256], out[256];
    ASSERT_EQ(HXRGetPreTable(pre, 32, 4), 0u);
    EXPECT_EQ(pre[5], 308u);  // 512 - floor(256 x 4 / 5)
    EXPECT_EQ(pre[255], 7936u);
    ASSERT_EQ(HXRGetRebuildGridPos(out, 256, 1), 0u);
    for (uint32_t v = 0; v < 256; ++v) EXPECT_EQ(out[v], v);
    const struct {
        uint32_t count, type;
    } bad[] = {{16, 3}, {64, 4}, {32, 1}, {256, 3}, {32, 2}};
    for (const auto& b : bad) {
        EXPECT_EQ(HXRGetRebuildGridPos(out, b.count, b.type), 1u) << b.count << "/" << b.type;
        EXPECT_EQ(HXRGetPreTable(pre, b.count, b.type), 1u) << b.count << "/" << b.type;
    }
    EXPECT_EQ(HXRGetPreTable(pre, 256, 1), 1u);
    EXPECT_EQ(HXRGetRebuildGridPos(nullptr, 32, 3), 1u);
    EXPECT_EQ(HXRGetPreTable(nullptr, 32, 3), 1u);
}

}  // namespace
