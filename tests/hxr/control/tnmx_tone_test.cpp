#include "hxr/control/hxr_lut_adjust.h"
#include "lut_build_fixture.h"
#include "support/model.h"

#include <cmath>

namespace {

using namespace ovcg_test;
using TnmxTone = LutBuildTest;

constexpr double kPi = 3.14159265358979323846;

// ---- Literal double-precision reference of the tone curve and resampling.

double clip(double v) { return std::min(1.0, std::max(0.0, v)); }

std::vector<uint32_t> ref_tone(const std::vector<uint32_t>& table, uint32_t k, const int32_t* v, uint32_t gamma) {
    double x[256];
    for (int i = 0; i < 256; ++i) x[i] = i / 255.0;
    const int32_t br = v[3], co = v[4], sh = v[5], hi = v[6], od = v[7];
    for (double& t : x) {
        if (br < 0) {
            const double f = t <= 0.502 ? ((1.5101 * t - 0.3422) * t + 0.0941) * t : ((-1.3267 * t + 3.7487) * t - 1.6008) * t + 0.1787;
            t = clip((f - t) * br / -25 + t);
        } else if (br > 0) {
            const double f = t <= 0.502 ? ((-1.5101 * t + 0.3422) * t + 1.9059) * t : ((1.3267 * t - 3.7487) * t + 3.6008) * t - 0.1787;
            t = clip((f - t) * br / 25 + t);
        }
    }
    for (double& t : x) {
        const double before = t;
        if (co < 0) {
            double r = ((t < 1e-6 ? 0 : t > 0.999999 ? 1 : 0.5 * t + 0.251) - t) * co / -25 + t;
            if (before > 1e-6 && before < 0.2) r *= 1 - std::pow(std::asin(1 - 5 * before) * 2 / kPi, 2);
            if (before > 0.8 && before < 0.999999) {
                const double s = std::pow(std::asin(5 * before - 4) * 2 / kPi, 2);
                r = r * (1 - s) + s;
            }
            t = clip(r);
        } else if (co > 0) {
            const double y = 1 - t;
            const double f = t <= 0.5 ? ((2.9941 * t + 0.3343) * t + 0.0833) * t : (-2.9941 * y - 0.3343) * y * y + 0.0833 * t + 0.9167;
            t = clip((f - t) * co / 25 + t);
        }
    }
    if (sh != 0) {
        int n = 0;
        while (n < 256 && x[n] < 60 / 255.0) ++n;
        for (int i = 0; i < n; ++i) {
            const double y = x[i] / (60 / 255.0);
            const double f = sh < 0 ? ((-0.9551 * y + 1.8544) * y + 0.1006) * y : ((0.9631 * y - 1.8606) * y + 1.8977) * y;
            const double r = (f - y) * sh / (sh < 0 ? -25 : 25) + y;
            x[i] = r > 1 ? 60 / 255.0 : r < 0 ? 0 : r * (60 / 255.0);
        }
    }
    if (hi != 0) {
        int n = 0;
        while (n < 255 && x[n] <= 192 / 255.0) ++n;
        for (int i = n; i < 256 && n < 255; ++i) {
            const double y = (x[i] - 192 / 255.0) / (63 / 255.0);
            double f;
            if (hi < 0) f = y <= 0.6349 ? ((0.9806 * y - 0.8906) * y + 0.8059) * y : ((-6.2314 * y + 16.601) * y - 12.807) * y + 3.4372;
            else f = y <= 0.6349 ? ((-1.0175 * y + 0.9372) * y + 1.1909) * y : ((4.3528 * y - 11.956) * y + 11.02) * y - 2.4163;
            const double r = (f - y) * hi / (hi < 0 ? -25 : 25) + y;
            x[i] = r > 1 ? 1 : r < 0 ? 192 / 255.0 : r * (63 / 255.0) + 192 / 255.0;
        }
    }
    for (double& t : x) {
        if (od < 0) t = clip((((-0.0824 * t + 0.3291) * t + 0.0303) * t + 0.7232 - t) * od / -50 + t);
        if (v[8] == 1) t *= 0.9608;
        if (uint32_t(v[2]) != gamma && t > 1e-6) t = std::min(1.0, std::exp(std::log(t) * v[2] / gamma));
    }
    std::vector<uint32_t> out(table.size());
    for (uint32_t i = 0; i < 256; ++i) {
        const double z = x[i] * 255;
        const uint32_t lo = uint32_t(z), up = std::min(lo + 1, 255u);
        for (uint32_t c = 0; c < k; ++c) {
            const double a = table[lo * k + c], b = table[up * k + c];
            out[i * k + c] = lo == up ? uint32_t(a) : uint32_t((b - a) * (z - lo) + a);
        }
    }
    return out;
}

// A table of the CMYK ink set: C and M rise with the level, Y at half, K 0;
// its ink limit far above every row.
LutSpec tnmx_spec(uint16_t top = 255 << 8, int16_t duty = 32000) {
    LutSpec s = model_lut_tnmx(default_model());
    s.tnmx->table.clear();
    for (uint32_t g = 0; g < 256; ++g)
        for (uint32_t c : {g * top / 255, g * top / 255, g * top / 510, 0u}) s.tnmx->table.push_back(uint16_t(c));
    s.inkd = std::vector<std::pair<uint8_t, int16_t>>{{kLutInkdTotalCode, duty}};
    // Tone pairs (input, output): the identity through -75, -40, -10, 10, 40, 75.
    s.ctcn->tones.assign(6, {-40, -10, 10, 40});
    s.ctcn->rates.assign(6, {75, -75, -40, -10, 10, 40});
    return s;
}

std::vector<uint32_t> rows_of(const LutTnmx& t) { return {t.table.begin(), t.table.end()}; }

TEST_F(TnmxTone, EachCurveAloneMatchesReference) {
    const LutSpec recipe = tnmx_spec();
    HXRLutResParser* p = parse(recipe);
    ASSERT_NE(p, nullptr);
    const int32_t base[9] = {0, 0, 100, 0, 0, 0, 0, 0, 0};  // mono gamma = the table's: no curve
    const struct {
        uint32_t word;
        int32_t value;
    } cases[] = {{3, -25}, {3, 7},  {4, -25}, {4, 25}, {4, -3}, {5, -25}, {5, 25}, {6, -25},
                 {6, 25},  {7, -50}, {7, -9}, {8, 1},  {2, 220}, {2, 45}, {2, 0}, {2, 100}};
    for (const auto& c : cases) {
        int32_t v[9];
        std::copy(base, base + 9, v);
        v[c.word] = c.value;
        HXRLutTNMXData* t = HXRCreateTRAQ2LutTNMXData(p, 1, 256, 7, v, clr(1), mm);
        ASSERT_NE(t, nullptr) << c.word << " " << c.value;
        EXPECT_EQ(t->gridNum, 256u);
        EXPECT_EQ(t->channels, 4u);
        const std::vector<uint32_t> want = ref_tone(rows_of(*recipe.tnmx), 4, v, 100);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), t->table)) << c.word << " " << c.value;
        EXPECT_EQ(HXRDeleteTRAQ2LutTNMXData(t, mm), 0u);
    }
}

// a = 75, b = 0 puts the axes at d0 = -64.95..., d1 = 64.95..., d2 = 0; with
// the identity pairs the multipliers are 1 + d / 100: C x 0.35048, M x 1.64952
// (clamped at the maximum 65280), Y unchanged.
TEST_F(TnmxTone, ColourToneGoldens) {
    const int32_t tone[9] = {75, 0, 100, 0, 0, 0, 0, 0, 0};
    HXRLutTNMXData* t = HXRCreateTRAQ2LutTNMXData(parse(tnmx_spec()), 1, 256, 7, tone, clr(1), mm);
    ASSERT_NE(t, nullptr);
    const uint32_t* top = t->table + 255 * 4;
    EXPECT_EQ(top[0], 22879u);  // 65280 x 0.350481
    EXPECT_EQ(top[1], 65280u);  // 107680, clamped
    EXPECT_EQ(top[2], 32640u);
    EXPECT_EQ(t->table[4 * 85 + 0], 7626u);   // 21760 x 0.350481
    EXPECT_EQ(t->table[4 * 85 + 1], 35893u);  // 21760 x 1.649519
    // b = -75 puts d2 at -75, where three equal inputs meet: the zero-width
    // segment gives its lower output (-75: Y x 0.25).
    LutSpec flat = tnmx_spec();
    flat.ctcn->tones[2] = {-75, -75, -75, -75};
    flat.ctcn->rates[2] = {50, 20, 10, -10, -75, 30};
    const int32_t down[9] = {0, -75, 100, 0, 0, 0, 0, 0, 0};
    HXRLutTNMXData* f = HXRCreateTRAQ2LutTNMXData(parse(flat), 1, 256, 7, down, clr(1), mm);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->table[255 * 4 + 2], 8160u);  // 32640 x 0.25
}

// The ink limit T = duty / 255 x maximum: afterwards no row sum exceeds T;
// a table already within it is untouched.
TEST_F(TnmxTone, InkLimit) {
    const int32_t none[9] = {0, 0, 100, 0, 0, 0, 0, 0, 0};
    for (int16_t duty : {int16_t(150), int16_t(255), int16_t(400), int16_t(640)}) {
        const LutSpec recipe = tnmx_spec(255 << 8, duty);
        HXRLutTNMXData* t = HXRCreateTRAQ2LutTNMXData(parse(recipe), 1, 256, 7, none, clr(1), mm);
        ASSERT_NE(t, nullptr);
        const uint64_t limit = uint64_t(duty / 255.0 * 65280);
        bool changed = false;
        for (uint32_t r = 0; r < 256; ++r) {
            uint64_t sum = 0;
            for (uint32_t c = 0; c < 4; ++c) {
                sum += t->table[r * 4 + c];
                changed |= t->table[r * 4 + c] != recipe.tnmx->table[r * 4 + c];
                EXPECT_LE(t->table[r * 4 + c], recipe.tnmx->table[r * 4 + c]);
            }
            EXPECT_LE(sum, limit) << duty << " row " << r;
        }
        EXPECT_EQ(changed, duty < 640) << duty;  // the heaviest row sums to 2.5 x 65280
    }
    // One heavy row of C = M = Y = 3000 against T = 30 / 255 x 65280 = 7680:
    // e = 1320, C and M x (1 - (3e/7) / 3000), Y x (1 - (e/7) / 3000); the
    // sum 7679 then meets the limit.
    LutSpec one = tnmx_spec(255 << 8, 30);
    std::fill(one.tnmx->table.begin(), one.tnmx->table.end(), 0);
    std::fill(one.tnmx->table.end() - 4, one.tnmx->table.end() - 1, 3000);
    HXRLutTNMXData* t = HXRCreateTRAQ2LutTNMXData(parse(one), 1, 256, 7, none, clr(1), mm);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(t->table + 255 * 4, t->table + 256 * 4), (std::vector<uint32_t>{2434, 2434, 2811, 0}));
}

TEST_F(TnmxTone, Refusals) {
    const struct {
        uint32_t word;
        int32_t value;
    } controls[] = {{0, 76}, {1, -76}, {0, 60}, {2, -1}, {3, 26}, {4, -26}, {5, 26}, {6, -26}, {7, 1}, {7, -51}, {8, 2}};
    HXRLutResParser* p = parse(tnmx_spec());
    for (const auto& c : controls) {
        int32_t v[9] = {0, 60, 100, 0, 0, 0, 0, 0, 0};  // 60 x 60 + 60 x 60 passes the radius of 75
        if (c.word != 0) v[1] = 0;
        v[c.word] = c.value;
        EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(p, 1, 256, 7, v, clr(1), mm), nullptr) << c.word << " " << c.value;
    }
    const int32_t ok[9] = {0, 0, 220, 0, 0, 0, 0, 0, 0};
    LutSpec noDuty = tnmx_spec(), noCtcn = tnmx_spec(), rate = tnmx_spec();
    noDuty.inkd.reset();
    noCtcn.ctcn.reset();
    rate.ctcn->rate_mode = 3;
    const int32_t tone[9] = {30, 0, 100, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(parse(noDuty), 1, 256, 7, ok, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(parse(noCtcn), 1, 256, 7, ok, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(parse(rate), 1, 256, 7, tone, clr(1), mm), nullptr);
    EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(p, 1, 256, 7, ok, clr(3), mm), nullptr);  // six inks, four in the table
    EXPECT_EQ(HXRCreateTRAQ2LutTNMXData(p, 3, 256, 7, ok, clr(1), mm), nullptr);
    EXPECT_EQ(error(), 0u);  // no code for any of them
    // The default model's table through the slice, with the engine's default
    // controls (gamma 220 over the table's 100).
    _HXR_HALFTONE_INFO ht{};
    ht.inkSet = 1;
    ht.docType = 7;
    const LutSpec model = model_lut_tnmx(default_model());
    HXRLutSlc* s = HXRCreateTRAQ2LutSlc(parse(model), 17, 256, 0, &ht, &options, kHxrDutyModeId, 0, clr(1), mm);
    ASSERT_NE(s, nullptr);
    const std::vector<uint32_t> want = ref_tone(rows_of(*model.tnmx), 4, options.tone + 7, 100);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), HXRGetTRAQ2LutTNMX(s)->table));
    EXPECT_EQ(HXRGetTRAQ2LutDbgDecTable(s), nullptr);
    EXPECT_EQ(HXRSetTRAQ2LUTSlcPatternDitherUpperValue(s, 1, 0), 0u);
    EXPECT_EQ(HXRDeleteTRAQ2LutSlc(s, mm), 0u);
    int32_t in[5] = {3, -1, 3, 0, 7}, out[5] = {1, 2, 3, 4, 5};
    tnmx_sort(in, out, 5);
    EXPECT_EQ(std::vector<int32_t>(in, in + 5), (std::vector<int32_t>{-1, 0, 3, 3, 7}));
    EXPECT_EQ(std::vector<int32_t>(out, out + 5), (std::vector<int32_t>{2, 4, 1, 3, 5}));
}

}  // namespace
