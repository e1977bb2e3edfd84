#include "hxr/control/hxr_lut_adjust.h"
#include "lut_build_fixture.h"

#include <cmath>
#include <map>

namespace {

using namespace ovcg_test;
using ColorAdjust = LutBuildTest;

std::vector<uint32_t> primes_to(uint32_t n) {
    std::vector<uint32_t> p;
    for (uint32_t v = 2; v <= n; ++v) {
        bool prime = true;
        for (uint32_t q : p) prime &= v % q != 0;
        if (prime) p.push_back(v);
    }
    return p;
}

TEST_F(ColorAdjust, PrimeLogarithms) {
    const std::vector<uint32_t> primes = primes_to(509);
    ASSERT_EQ(primes.size(), kHxrLogPrimes);
    std::map<uint32_t, uint32_t> entry;
    for (size_t j = 0; j < primes.size(); ++j) {
        EXPECT_EQ(LogTable[j], uint32_t(std::lround(5000 * std::log(double(primes[j]))))) << primes[j];
        entry[primes[j]] = LogTable[j];
    }
    for (uint32_t n = 1; n <= 511; ++n) {  // the sum over n's prime factors, by trial division
        uint32_t sum = 0, rest = n;
        for (uint32_t p = 2; rest > 1; ++p)
            while (rest % p == 0) rest /= p, sum += entry[p];
        EXPECT_EQ(LogInteger(n), sum) << n;
    }
}

// Goldens from the curve formulas in 64-bit integers, truncating divisions.
TEST_F(ColorAdjust, BrightnessAndContrastCurves) {
    const int at[6] = {0, 10, 64, 128, 200, 255};
    const struct {
        int32_t brightness, contrast;
        int32_t want[6];
    } cases[] = {
        {1, 0, {0, 10, 64, 129, 202, 255}},   {-1, 0, {0, 7, 62, 126, 199, 254}},
        {25, 0, {0, 13, 85, 170, 248, 255}},  {-25, 0, {0, 0, 12, 85, 181, 254}},
        {50, 0, {0, 20, 129, 219, 253, 255}}, {-50, 0, {0, 0, 4, 37, 144, 254}},
        {0, 1, {0, 8, 63, 128, 200, 255}},    {0, -1, {1, 11, 64, 128, 199, 253}},
        {0, 25, {0, 0, 42, 128, 223, 255}},   {0, -25, {32, 39, 80, 128, 182, 223}},
        {0, 50, {0, 0, 18, 128, 244, 255}},   {0, -50, {64, 69, 96, 128, 164, 191}},
    };
    for (const auto& c : cases) {
        int32_t curve[256];
        for (int i = 0; i < 256; ++i) curve[i] = i;
        AdjustBrightness(curve, c.brightness);
        AdjustContrast(curve, c.contrast);
        for (int j = 0; j < 6; ++j) EXPECT_EQ(curve[at[j]], c.want[j]) << c.brightness << " " << c.contrast << " @" << at[j];
    }
    // Contrast after brightness: at index 95 the low knee cubes 181 with a
    // coefficient of 474 (2.8e9, past 32 bits) and clamps to 255.
    int32_t curve[256];
    for (int i = 0; i < 256; ++i) curve[i] = i;
    AdjustBrightness(curve, 50);
    AdjustContrast(curve, 50);
    const std::pair<int, int32_t> golden[] = {{40, 37}, {60, 124}, {95, 255}, {96, 238}, {150, 255}};
    for (auto [i, v] : golden) EXPECT_EQ(curve[i], v) << i;
}

// The gamma tone is close to 255 (i / 255)^(gamma / table gamma); its search
// ends at tone 255 where no smaller odd m satisfies it.
TEST_F(ColorAdjust, GammaToneAndBalances) {
    const int at[6] = {1, 10, 64, 128, 200, 254};
    const struct {
        uint32_t gamma, table;
        int32_t balance;
        int32_t want[6];
    } cases[] = {
        {220, 180, 0, {0, 5, 47, 110, 190, 254}},
        {50, 300, 0, {105, 152, 205, 229, 246, 255}},
        {50, 100, 0, {16, 51, 128, 181, 226, 255}},
        {100, 100, 30, {31, 40, 94, 158, 230, 255}},
        {100, 100, -30, {0, 0, 34, 98, 170, 224}},
    };
    for (const auto& c : cases) {
        int32_t curve[3][256];
        for (auto& k : curve)
            for (int i = 0; i < 256; ++i) k[i] = i;
        AdjustStrengthAndGamma(curve[0], curve[1], curve[2], c.balance, 0, -c.balance, c.gamma, c.table);
        for (int j = 0; j < 6; ++j) EXPECT_EQ(curve[0][at[j]], c.want[j]) << c.gamma << "/" << c.table << " @" << at[j];
        EXPECT_EQ(curve[1][0], 0);
        EXPECT_EQ(curve[1][255], 255);
        for (int i = 1; i < 256; ++i) EXPECT_GE(curve[1][i], curve[1][i - 1]) << i;
        for (int i = 0; i < 256 && c.balance == 0; ++i)
            EXPECT_LE(std::abs(curve[1][i] - 255 * std::pow(i / 255.0, double(c.gamma) / c.table)), 5.0) << i;
    }
}

// A 3D work table over random nodes with its gray table.
struct Work {
    std::vector<uint8_t*> owned;
    HXRLutWork w{};
    HXRGrayLutWork g{};
};

Work make_work(HXRMemMgr* mm, std::mt19937& rng, uint32_t ns, uint32_t k, const std::vector<uint8_t>& levels,
               bool repeats) {
    Work t;
    t.w = {static_cast<uint8_t*>(HXRAllocMem(mm, ns * ns * ns * k)), ns, {}, k, 3, 180, 0, -1, 1024};
    for (uint32_t i = 0; i < ns * ns * ns * k; ++i) t.w.table[i] = uint8_t(rng());
    for (uint32_t i = 0; i < ns; ++i) t.w.gridPos[i] = levels[i];
    const std::vector<uint8_t> gl = random_levels(rng, 9, repeats);
    t.g = {static_cast<uint32_t*>(HXRAllocMem(mm, 9 * k * 4)), 9, {}, k, 180, 0, -1};
    for (uint32_t i = 0; i < 9 * k; ++i) t.g.table[i] = rng() % 256;
    for (uint32_t i = 0; i < 9; ++i) t.g.gridPos[i] = gl[i];
    return t;
}

TEST_F(ColorAdjust, InvariantsOfTheResampling) {
    std::mt19937 rng(111);
    for (uint32_t ns : {2u, 5u, 17u}) {
        for (bool repeats : {false, true}) {
            const std::vector<uint8_t> levels = random_levels(rng, ns, repeats);
            Work base = make_work(mm, rng, ns, 5, levels, repeats);
            const std::vector<uint8_t> table(base.w.table, base.w.table + ns * ns * ns * 5);
            const std::vector<uint32_t> gray(base.g.table, base.g.table + 45);
            auto adjusted = [&](int32_t saturation, int32_t brightness) {
                Work t = base;
                t.w.table = static_cast<uint8_t*>(HXRAllocMem(mm, uint32_t(table.size())));
                std::copy(table.begin(), table.end(), t.w.table);
                t.g.table = static_cast<uint32_t*>(HXRAllocMem(mm, 45 * 4));
                std::copy(gray.begin(), gray.end(), t.g.table);
                _HXR_OPTION_INFO o = options;
                o.tone[3] = saturation;
                o.tone[1] = brightness;
                EXPECT_EQ(HXRAdjustColor(&t.w, &t.g, &o, 0, mm), 0u);
                std::vector<uint8_t> out(t.w.table, t.w.table + table.size());
                out.insert(out.end(), t.g.table, t.g.table + 45);
                return out;
            };
            const std::vector<uint8_t> same = adjusted(0, 0);
            if (!repeats) {  // all controls 0, gamma kept: nothing moves
                EXPECT_TRUE(std::equal(table.begin(), table.end(), same.begin())) << ns;
                for (size_t i = 0; i < 45; ++i) EXPECT_EQ(same[table.size() + i], gray[i]) << i;
            }
            for (int32_t s : {-50, 50}) {
                const std::vector<uint8_t> sat = adjusted(s, 0), lit = adjusted(s, 20);
                for (uint32_t a = 0; a < ns; ++a) {  // equal-level nodes ignore saturation
                    const size_t at = (a * ns * ns + a * ns + a) * 5;
                    EXPECT_TRUE(std::equal(sat.begin() + long(at), sat.begin() + long(at) + 5, same.begin() + long(at)));
                }
                for (size_t at : {size_t(0), table.size() - 5})  // black and white never change
                    for (const auto* v : {&sat, &lit})
                        EXPECT_TRUE(std::equal(v->begin() + long(at), v->begin() + long(at) + 5, table.begin() + long(at)));
            }
        }
    }
    // A 4D table is left alone.
    std::vector<uint8_t> t4(3 * 3 * 3 * 3, 9);
    HXRLutWork w4{t4.data(), 3, {0, 128, 255}, 1, 4, 100, 0, -1, 1024};
    options.tone[3] = 50;
    EXPECT_EQ(HXRAdjustColor(&w4, nullptr, &options, 0, mm), 0u);
    EXPECT_EQ(w4.table, t4.data());
}

// Saturation multiplies first, 80 % as strong when blue is the smallest: on
// a table whose channels are its own levels (equal spans, so the resampling
// is exact) a node lands on the pushed levels.
TEST_F(ColorAdjust, SaturationPushesAwayFromTheSmallest) {
    const uint32_t ns = 6, k = 3;  // levels 0, 51, ..., 255
    const struct {
        uint32_t node[3];
        int32_t s;
        uint8_t want[3];
    } cases[] = {
        {{4, 2, 3}, 50, {255, 102, 178}},  // G smallest: (204 - 102) 150 / 100 + 102 capped, (153 - 102) 150 / 100 + 102
        {{3, 4, 2}, 50, {173, 244, 102}},  // B smallest: factor 100 + 50 x 80 / 100 = 140
        {{2, 3, 4}, -50, {102, 127, 153}}, // R smallest: factor 50
        {{2, 2, 2}, 50, {102, 102, 102}},  // equal levels
    };
    for (const auto& c : cases) {
        HXRLutWork w{static_cast<uint8_t*>(HXRAllocMem(mm, ns * ns * ns * k)), ns, {}, k, 3, 180, 0, -1, 1024};
        for (uint32_t i = 0; i < ns; ++i) w.gridPos[i] = 51 * i;
        for (uint32_t n = 0; n < ns * ns * ns; ++n)
            for (uint32_t a = 0; a < 3; ++a) w.table[n * k + a] = uint8_t(51 * (a == 0 ? n / 36 : a == 1 ? n / 6 % 6 : n % 6));
        options.tone[3] = c.s;
        ASSERT_EQ(HXRAdjustColor(&w, nullptr, &options, 0, mm), 0u);
        const uint8_t* v = w.table + ((c.node[0] * ns + c.node[1]) * ns + c.node[2]) * k;
        EXPECT_EQ(std::vector<uint8_t>(v, v + 3), std::vector<uint8_t>(c.want, c.want + 3)) << c.s;
    }
}

TEST_F(ColorAdjust, DutyFactor) {
    uint32_t block[12];
    _HXR_OPTION_INFO o = options;
    const struct {
        uint32_t value;
        int broken;  // 0 none, 1 identifier, 2 trailing word, 3 no id given
        uint32_t check;
    } checks[] = {{1536, 0, 0}, {128, 0, 0}, {8192, 0, 0}, {127, 0, 2}, {8193, 0, 2}, {1536, 1, 1}, {1536, 2, 1}, {127, 3, 1}};
    for (const auto& c : checks) {
        set_duty(o, c.value);
        std::copy(o.colorValue, o.colorValue + 12, block);
        if (c.broken == 1) reinterpret_cast<uint8_t*>(block)[15] = 'e';
        if (c.broken == 2) block[8] = 0xFFFFFFFEu;
        EXPECT_EQ(HXRCheckTRAQ2LutSlcDutyFactorParam(block, c.broken == 3 ? nullptr : kHxrDutyModeId), c.check)
            << c.value << " " << c.broken;
    }
    // Duty 1536 on codes: (v x 1536 + 512) >> 10, capped at 255.
    set_duty(o, 1536);
    uint8_t bytes[8] = {0, 1, 100, 169, 170, 200, 255, 7};
    uint32_t gray[2] = {100, 255};
    HXRLutWork w{bytes, 2, {0, 255}, 1, 3, 100, 0, -1, 1024};
    HXRGrayLutWork g{gray, 2, {0, 255}, 1, 100, 0, -1};
    ASSERT_EQ(HXRAdjustDuty(&w, &g, o.colorValue, kHxrDutyModeId), 0u);
    const uint8_t want[8] = {0, 2, 150, 254, 255, 255, 255, 11};
    EXPECT_TRUE(std::equal(want, want + 8, bytes));
    EXPECT_EQ(gray[0], 150u);
    EXPECT_EQ(w.duty, 1024u);
    w.dimension = 4;  // a 4D table keeps its codes and records the duty
    ASSERT_EQ(HXRAdjustDuty(&w, nullptr, o.colorValue, kHxrDutyModeId), 0u);
    EXPECT_EQ(w.duty, 1536u);
    EXPECT_TRUE(std::equal(want, want + 8, bytes));
    set_duty(o, 127);
    EXPECT_EQ(HXRAdjustDuty(&w, nullptr, o.colorValue, kHxrDutyModeId), 1u);
    expect_error(9034);
}

}  // namespace
